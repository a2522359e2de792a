#include "Batch.h"

#include "azw3/Azw3Pass.h"
#include "core/AnalysisPass.h"
#include "core/Document.h"
#include "core/Review.h"
#include "core/TidyTitles.h"
#include "core/TitleRules.h"
#include "config/SystemError.h"
#include "core/PathClaims.h"
#include "core/ScriptConverter.h"
#include "output/OutputPass.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QSet>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <functional>
#include <future>
#include <optional>
#include <thread>

#include <dirent.h>
#include <sys/stat.h>

namespace {

// The review the request names for this novel: a file given (which must be of this very
// novel), or the novel's saved one. Ok with none; the exit code when the novel cannot go on.
int reviewFor(const QString& novel, const SplitRequest& request, CliHost& host, QTextStream& err,
              std::optional<Review>* review)
{
    if (!request.reviewFile.isEmpty()) {
        Review r;
        QString error;
        NovelKey key;
        if (!Review::load(request.reviewFile, &r, &error) || !NovelKey::sampled(novel, &key, &error)
            || !key.addDigest(novel, &error)) {
            err << "vellomar-cli: --review: " << error << Qt::endl;
            return Failed;
        }
        if (r.novel.digest != key.digest) {
            err << "vellomar-cli: --review: " << QStringLiteral(u"审阅文件不是这部小说的（或小说已改动）") << Qt::endl;
            return Usage;
        }
        *review = std::move(r);
    } else if (request.resume) {
        SavedReview saved = findSavedReview(novel);
        if (saved.kind == SavedReview::Unreadable) {
            err << "vellomar-cli: " << saved.error << QStringLiteral(u"（已忽略上次的审阅）") << Qt::endl;
        } else if (saved.kind == SavedReview::Found) {
            *review = std::move(saved.review);
        } else if (!host.quietNotices) {
            err << QStringLiteral(u"没有保存的审阅：") << Document::fileNamePart(novel) << Qt::endl;
        }
    }
    return Ok;
}

} // namespace

int analyseNovel(const QString& novel, const SplitRequest& request, Document& doc, CliHost& host, QTextStream& err)
{
    QString error;
    std::optional<Review> review;
    if (const int code = reviewFor(novel, request, host, err, &review); code != Ok) {
        return code;
    }
    TextCodec::Id reviewCodec = TextCodec::Gbk;
    bool reviewDetect = false;
    if (review && TextCodec::fromName(review->encoding, &reviewCodec, &reviewDetect) && !reviewDetect) {
        // The novel is read as it was when the review was made.
        doc.setEncodingChoice(false, reviewCodec);
    } else {
        doc.setEncodingChoice(request.detect, request.encoding);
    }
    // The analysis counts the lines as it reads; no separate pass for it.
    if (!doc.OpenTextFile(novel, &error, false)) {
        host.error(error, 53, QStringLiteral("frmMain::OpenTextFile()"));
        return Failed;
    }
    doc.SetState(Opened);
    Settings settings = request.settings;
    if (review) {
        settings.TitleText = review->titleRule;
        settings.VolumeText = review->volumeRule;
    }
    if (request.autoRule) {
        const QList<TitleRule> rules = builtInTitleRules();
        const QList<RuleTrial> trials = tryTitleRules(doc.reader(), doc.codec(), rules);
        const int best = suggestTitleRule(trials);
        if (best < 0) {
            host.noTitleFound(QStringLiteral(u"没有合适的标题规则"), doc.codec().name());
            return NoTitle;
        }
        settings.TitleText = rules[best].rule;
        if (rules[best].volume) {
            settings.VolumeText = *rules[best].volume;
        }
        if (!host.quietNotices) {
            err << QStringLiteral(u"标题规则: ") << suggestionName(rules[best], trials[best]) << Qt::endl;
        }
    }
    if (!RunAnalysis(doc, settings, host)) {
        return host.reportedError ? Failed : (doc.LineCount == 0 ? NoTitle : Interrupted);
    }
    if (doc.DocState != Analysed) {
        return NoTitle;
    }
    if (doc.Wrap.wrapped && !settings.Reflow && !host.quietNotices) {
        err << QStringLiteral(u"重新分段: ") << doc.Wrap.reason() << QStringLiteral(u"（--reflow）") << Qt::endl;
    }
    if (review) {
        QStringList notes;
        applyReview(doc, *review, settings.OutFile, &notes);
        for (const QString& note : std::as_const(notes)) {
            err << QStringLiteral(u"审阅：") << note << Qt::endl;
        }
        if (!host.quietNotices) {
            err << QStringLiteral(u"已使用审阅：忽略 %1 个标题，修改 %2 个，手动加入 %3 个")
                       .arg(review->ignored.size())
                       .arg(review->edited.size())
                       .arg(review->added.size())
                << Qt::endl;
        }
    } else if (request.tidy) {
        ChapterModel& model = doc.model();
        model.applyTidy(tidyTitles(tidyInput(doc, model.handTouched())));
    }
    return Ok;
}

void reportCleanupTrouble(const CleanupLedger& ledger, QTextStream& err)
{
    for (const QString& e : ledger.errors) {
        err << QStringLiteral(u"未使用的规则（无法编译）: ") << e << Qt::endl;
    }
    for (const QString& t : ledger.timeouts) {
        err << QStringLiteral(u"规则超时: ") << t << Qt::endl;
    }
}

SplitOutcome splitNovel(const QString& novel, const SplitRequest& request, Document& doc, CliHost& host,
                        QTextStream& err)
{
    SplitOutcome outcome;
    // The conversion tables are read while the novel is opened and analysed, on the core the
    // analysis leaves free part of the time, instead of before the first line is written.
    std::future<void> tables;
    if (request.settings.ConvertToSimple) {
        tables = std::async(std::launch::async, &ScriptConverter::preload);
    }
    outcome.code = analyseNovel(novel, request, doc, host, err);
    outcome.encoding = doc.isOpen() ? doc.encodingLabel() : QString();
    if (outcome.code != Ok) {
        return outcome;
    }
    ChapterModel& model = doc.model();
    const QSet<int> ignore(request.ignore.cbegin(), request.ignore.cend());
    for (int id : ignore) {
        if (id > model.recordCount()) {
            err << "vellomar-cli: --ignore: no chapter with ID " << id << Qt::endl;
            outcome.code = Usage;
            return outcome;
        }
    }
    for (int row = 0; row < model.rowCount(); ++row) {
        if (ignore.contains(model.tag(row) + 1)) {
            model.setChecked(row, true);
        }
    }
    outcome.found = model.recordCount();
    outcome.kept = model.recordCount() - model.checkedCount();
    err << ChapCountText(model.recordCount(), model.checkedCount()) << QStringLiteral(u"，编码 ")
        << doc.encodingLabel() << Qt::endl;
    if (request.epub) {
        const EpubResult book = RunBook(doc, request.settings, request.epubOptions, host);
        reportCleanupTrouble(book.ledger, err);
        outcome.files = int(book.books.size());
        outcome.keptFiles = book.kept;
        outcome.replaced = book.replaced;
        if (request.report) {
            outcome.report = book.ledger.text();
        }
        switch (book.kind) {
        case EpubResult::Done: outcome.code = Ok; break;
        case EpubResult::Failed:
        case EpubResult::Refused: outcome.code = Failed; break;
        default: outcome.code = Interrupted; break;
        }
        return outcome;
    }
    const OutputResult result = RunOutput(doc, request.settings, host);
    reportCleanupTrouble(result.ledger, err);
    if (request.report) {
        outcome.report = result.ledger.text();
    }
    switch (result.kind) {
    case OutputResult::Done:
        outcome.code = Ok;
        outcome.files = result.files;
        outcome.keptFiles = result.kept;
        break;
    case OutputResult::Failed:
    case OutputResult::Refused:
        outcome.code = Failed;
        break;
    case OutputResult::Declined:
    case OutputResult::Cancelled:
    case OutputResult::Stopped:
        outcome.code = Interrupted;
        break;
    }
    return outcome;
}

namespace {

bool isNovelName(const QString& name)
{
    return name.endsWith(QLatin1String(".txt"), Qt::CaseInsensitive);
}

bool isInside(const QString& path, const QString& folder)
{
    return path.startsWith(folder);
}

// Severity of an exit code: a stopped batch is incomplete, a failure is worse than a novel
// without titles.
int severity(int code)
{
    switch (code) {
    case Ok: return 0;
    case NoTitle: return 1;
    case Failed: return 2;
    case Usage: return 3;
    default: return 4;
    }
}

QString statusWord(int code)
{
    switch (code) {
    case Ok: return QStringLiteral(u"完成");
    case NoTitle: return QStringLiteral(u"无标题");
    case Interrupted: return QStringLiteral(u"中止");
    default: return QStringLiteral(u"失败");
    }
}

// Every "*.txt" below `folder` (files and links to files; names with a leading dot are hidden
// and passed over, as links to folders are); a folder that cannot be read goes to
// `unreadable` with the reason.
void findNovels(const QString& folder, QStringList* found, QStringList* unreadable)
{
    errno = 0;
    DIR* dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir) {
        unreadable->append(fileErrorText(QStringLiteral(u"无法读取文件夹"), folder, errno));
        return;
    }
    QStringList folders;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (!entry) {
            if (errno != 0) {
                unreadable->append(fileErrorText(QStringLiteral(u"无法读取文件夹"), folder, errno));
            }
            break;
        }
        const QString name = QFile::decodeName(entry->d_name);
        if (name.startsWith(u'.')) {
            continue;
        }
        const QString path = folder + u'/' + name;
        struct stat st;
        if (::lstat(QFile::encodeName(path).constData(), &st) != 0) {
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            folders << path;
        } else if (isNovelName(name)
                   && (S_ISREG(st.st_mode)
                       || (S_ISLNK(st.st_mode) && ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode)))) {
            found->append(path);
        }
    }
    ::closedir(dir);
    for (const QString& sub : std::as_const(folders)) {
        findNovels(sub, found, unreadable);
    }
}

QString oneLine(QString s)
{
    s.replace(QLatin1String("\r\n"), QLatin1String(" "));
    s.replace(u'\n', u' ');
    s.replace(u'\t', u' ');
    return s.trimmed();
}

} // namespace

QStringList collectNovels(const QStringList& args, const QString& outPath, QStringList* problems, int* skipped,
                          QStringList* unreadable)
{
    QStringList named;
    QStringList found;
    for (const QString& arg : args) {
        const QFileInfo info(arg);
        if (info.isDir()) {
            QStringList inside;
            findNovels(QDir::cleanPath(info.absoluteFilePath()), &inside, unreadable);
            inside.sort();
            found << inside;
        } else if (info.exists()) {
            named << info.absoluteFilePath();
        } else {
            problems->append(QStringLiteral(u"找不到文件或文件夹: ") + arg);
        }
    }
    // Chapter files of an earlier run sit in the output folder of their novel: a folder taken
    // whole must not offer them as novels of their own.
    QList<QString> roots;
    for (const QString& path : named + found) {
        // A novel is never written into its own folder (the pass refuses): that folder is no
        // output folder.
        const QString root = QDir::cleanPath(OutputRoot(path, outPath)) + u'/';
        if (root != QDir::cleanPath(QFileInfo(path).absolutePath()) + u'/') {
            roots << root;
        }
    }
    QStringList novels = named;
    *skipped = 0;
    for (const QString& path : std::as_const(found)) {
        const bool inOutput = std::any_of(roots.cbegin(), roots.cend(), [&](const QString& r) { return isInside(path, r); });
        if (inOutput) {
            ++*skipped;
        } else {
            novels << path;
        }
    }
    QSet<QString> seen;
    QStringList unique;
    for (const QString& path : std::as_const(novels)) {
        const QString key = QFileInfo(path).canonicalFilePath();
        if (!seen.contains(key)) {
            seen.insert(key);
            unique << path;
        }
    }
    return unique;
}

namespace {

// Runs `work(i)` for every novel, `jobs` at a time.
void forEachNovel(int n, int jobs, const std::function<void(int)>& work)
{
    std::atomic<int> next{0};
    auto loop = [&] {
        for (int i = next.fetch_add(1); i < n; i = next.fetch_add(1)) {
            work(i);
        }
    };
    std::vector<std::thread> workers;
    const int count = std::clamp(jobs, 1, std::max(1, n));
    for (int w = 1; w < count; ++w) {
        workers.emplace_back(loop);
    }
    loop();
    for (std::thread& t : workers) {
        t.join();
    }
}

// The paths each novel's output will take: its folder for chapter files; for books, the books
// as they will be named, which takes the analysis (the title may come from the front matter,
// the parts from the chapters), done here once more before anything is written.
QVector<QStringList> plannedOutputs(const QStringList& novels, const SplitRequest& request, int jobs)
{
    const int n = int(novels.size());
    QVector<QStringList> paths(n);
    if (!request.epub) {
        for (int i = 0; i < n; ++i) {
            paths[i] << QDir::cleanPath(OutputRoot(novels[i], request.settings.OutPath));
        }
        return paths;
    }
    forEachNovel(n, jobs, [&](int i) {
        if (CliHost::interrupted()) {
            return;
        }
        // Quiet: the split itself reports whatever goes wrong.
        QString ignored;
        QTextStream quiet(&ignored);
        Document doc;
        CliHost host(doc, quiet, quiet);
        host.quietNotices = true;
        if (analyseNovel(novels[i], request, doc, host, quiet) == Ok) {
            paths[i] = plannedBooks(doc, request.settings, request.epubOptions, host);
        }
    });
    return paths;
}

} // namespace

int runBatch(const QStringList& novels, const SplitRequest& request, int jobs, bool interactive, QTextStream& out,
             QTextStream& err, int unreadable)
{
    const int n = int(novels.size());
    QVector<SplitOutcome> outcomes(n);
    QVector<QString> problems(n);
    QVector<bool> done(n, false);

    // Two novels whose files would go to one folder, or whose books would have one name, would
    // mix or replace each other's files: neither is written, and both are named before
    // anything starts.
    const QVector<QStringList> planned = plannedOutputs(novels, request, jobs);
    QHash<QString, int> byPath;
    for (int i = 0; i < n; ++i) {
        for (const QString& path : planned[i]) {
            const auto it = byPath.constFind(path);
            if (it == byPath.cend()) {
                byPath.insert(path, i);
                continue;
            }
            for (int k : {*it, i}) {
                problems[k] = (request.epub ? QStringLiteral(u"与“%1”输出到同一个文件 %2，两部都不写")
                                            : QStringLiteral(u"与“%1”输出到同一个文件夹 %2，两部都不写"))
                                  .arg(novels[k == i ? *it : i], path);
                outcomes[k].code = Failed;
                done[k] = true;
            }
        }
    }

    for (int i = 0; i < n; ++i) {
        if (done[i]) {
            err << novels[i] << ": " << problems[i] << Qt::endl;
        }
    }

    QMutex printLock;
    auto report = [&](int i) {
        const SplitOutcome& o = outcomes[i];
        QString last = statusWord(o.code) + u'\t' + novels[i] + u'\t' + o.encoding + u'\t';
        if (o.code == Ok || o.found > 0) {
            last += QStringLiteral(u"%1/%2 章").arg(o.kept).arg(o.found);
        }
        last += u'\t';
        if (o.code != Ok) {
            last += oneLine(problems[i]);
        } else if (request.epub) {
            last += QStringLiteral(u"%1 本书").arg(o.files);
            if (o.replaced > 0) {
                last += QStringLiteral(u"，%1 处无法解码的字节已替换").arg(o.replaced);
            }
        } else {
            last += QStringLiteral(u"%1 个文件").arg(o.files);
        }
        if (o.code == Ok && o.keptFiles > 0) {
            last += QStringLiteral(u"，%1 个已有的文件保留未覆盖").arg(o.keptFiles);
        }
        out << last << Qt::endl;
        if (!o.report.isEmpty()) {
            out << o.report << Qt::endl;
        }
    };
    for (int i = 0; i < n; ++i) {
        if (done[i]) {
            report(i);
        }
    }

    // Whatever a novel writes or is about to write, the others see as taken.
    PathClaims claims;
    forEachNovel(n, jobs, [&](int i) {
        if (done[i]) {
            return;
        }
        {
            if (CliHost::interrupted()) {
                outcomes[i].code = Interrupted;
                problems[i] = QStringLiteral(u"未开始（已按 Ctrl+C）");
            } else {
                QString buffer;
                QTextStream bufferOut(&buffer);
                QTextStream bufferErr(&buffer);
                Document doc;
                CliHost host(doc, bufferOut, bufferErr);
                host.overwrite = request.overwrite;
                host.yes = request.yes;
                host.interactive = interactive;
                host.quietNotices = true;
                host.label = novels[i];
                host.terminal = &err;
                host.terminalLock = &printLock;
                host.setSharedClaims(&claims);
                QString countLine; // the summary line has the counts
                QTextStream counts(&countLine);
                outcomes[i] = splitNovel(novels[i], request, doc, host, counts);
                problems[i] = host.lastProblem;
                if (outcomes[i].code == Interrupted && problems[i].isEmpty()) {
                    problems[i] = QStringLiteral(u"已取消或中断");
                }
                bufferErr.flush();
                if (!buffer.isEmpty()) {
                    QMutexLocker lock(&printLock);
                    err << novels[i] << ":\n" << buffer;
                    err.flush();
                }
            }
            QMutexLocker lock(&printLock);
            report(i);
        }
    });

    int worst = Ok;
    int counts[5] = {};
    qint64 found = 0, kept = 0, files = 0;
    for (const SplitOutcome& o : std::as_const(outcomes)) {
        if (severity(o.code) > severity(worst)) {
            worst = o.code;
        }
        ++counts[std::clamp(o.code, 0, 4)];
        found += o.found;
        kept += o.kept;
        files += o.files;
    }
    out << (request.epub ? QStringLiteral(u"总计: %1 部小说，完成 %2，无标题 %3，失败 %4，中止 %5；章节 %6/%7；书 %8")
                         : QStringLiteral(u"总计: %1 部小说，完成 %2，无标题 %3，失败 %4，中止 %5；章节 %6/%7；文件 %8"))
               .arg(n)
               .arg(counts[Ok])
               .arg(counts[NoTitle])
               .arg(counts[Failed] + counts[Usage])
               .arg(counts[Interrupted])
               .arg(kept)
               .arg(found)
               .arg(files);
    // A folder the batch could not look into is a failure, though of no novel.
    if (unreadable > 0) {
        out << QStringLiteral(u"；%1 个文件夹无法读取").arg(unreadable);
        if (severity(Failed) > severity(worst)) {
            worst = Failed;
        }
    }
    out << Qt::endl;
    return worst;
}
