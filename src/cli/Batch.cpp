#include "Batch.h"

#include "core/AnalysisPass.h"
#include "core/Document.h"
#include "core/TidyTitles.h"
#include "core/TitleRules.h"
#include "core/FileName.h"
#include "epub/BookMeta.h"
#include "output/OutputPass.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QSet>

#include <algorithm>
#include <atomic>
#include <thread>

int analyseNovel(const QString& novel, const SplitRequest& request, Document& doc, CliHost& host, QTextStream& err)
{
    QString error;
    doc.setEncodingChoice(request.detect, request.encoding);
    // The analysis counts the lines as it reads; no separate pass for it.
    if (!doc.OpenTextFile(novel, &error, false)) {
        host.error(error, 53, QStringLiteral("frmMain::OpenTextFile()"));
        return Failed;
    }
    doc.SetState(Opened);
    Settings settings = request.settings;
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
    if (request.tidy) {
        ChapterModel& model = doc.model();
        model.applyTidy(tidyTitles(tidyInput(doc, model.handTouched())));
    }
    return Ok;
}

SplitOutcome splitNovel(const QString& novel, const SplitRequest& request, Document& doc, CliHost& host,
                        QTextStream& err)
{
    SplitOutcome outcome;
    outcome.code = analyseNovel(novel, request, doc, host, err);
    outcome.encoding = doc.isOpen() ? doc.codec().name() : QString();
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
    err << ChapCountText(model.recordCount(), model.checkedCount()) << Qt::endl;
    if (request.epub) {
        const EpubResult book = RunEpub(doc, request.settings, request.epubOptions, host);
        outcome.files = int(book.books.size());
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
    if (request.report) {
        outcome.report = result.ledger.text();
    }
    switch (result.kind) {
    case OutputResult::Done:
        outcome.code = Ok;
        outcome.files = result.files;
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

QString oneLine(QString s)
{
    s.replace(QLatin1String("\r\n"), QLatin1String(" "));
    s.replace(u'\n', u' ');
    s.replace(u'\t', u' ');
    return s.trimmed();
}

} // namespace

QStringList collectNovels(const QStringList& args, const QString& outPath, QStringList* problems, int* skipped)
{
    QStringList named;
    QStringList found;
    for (const QString& arg : args) {
        const QFileInfo info(arg);
        if (info.isDir()) {
            QStringList inside;
            for (QDirIterator it(info.absoluteFilePath(), QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
                const QString path = it.next();
                if (isNovelName(path)) {
                    inside << path;
                }
            }
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
        roots << QDir::cleanPath(OutputRoot(path, outPath)) + u'/';
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

int runBatch(const QStringList& novels, const SplitRequest& request, int jobs, bool interactive, QTextStream& out,
             QTextStream& err)
{
    const int n = int(novels.size());
    QVector<SplitOutcome> outcomes(n);
    QVector<QString> problems(n);
    QVector<bool> done(n, false);

    // Two novels whose files would go to one folder would mix or replace each other's files:
    // neither is written, and both are named before anything starts.
    QHash<QString, int> byRoot;
    for (int i = 0; i < n; ++i) {
        // A book's name comes from the title, which the file name gives here.
        const QString root = request.epub
                                 ? QDir::cleanPath((request.epubOptions.target.isEmpty()
                                                        ? defaultEpubFolder(novels[i], request.settings.OutPath)
                                                        : request.epubOptions.target + u'/')
                                                   + StripIllegalChars(detectBookMeta(novels[i], {}).title))
                                       + QStringLiteral(".epub")
                                 : QDir::cleanPath(OutputRoot(novels[i], request.settings.OutPath));
        const auto it = byRoot.constFind(root);
        if (it == byRoot.cend()) {
            byRoot.insert(root, i);
            continue;
        }
        for (int k : {*it, i}) {
            problems[k] = (request.epub ? QStringLiteral(u"与“%1”输出到同一个文件 %2，两部都不写")
                                        : QStringLiteral(u"与“%1”输出到同一个文件夹 %2，两部都不写"))
                              .arg(novels[k == i ? *it : i], root);
            outcomes[k].code = Failed;
            done[k] = true;
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

    std::atomic<int> next{0};
    auto work = [&] {
        for (;;) {
            const int i = next.fetch_add(1);
            if (i >= n) {
                return;
            }
            if (done[i]) {
                continue;
            }
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
    };
    std::vector<std::thread> workers;
    const int count = std::clamp(jobs, 1, std::max(1, n));
    for (int w = 1; w < count; ++w) {
        workers.emplace_back(work);
    }
    work();
    for (std::thread& t : workers) {
        t.join();
    }

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
               .arg(files)
        << Qt::endl;
    return worst;
}
