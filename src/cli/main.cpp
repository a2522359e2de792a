// vellomar-cli: the engine for scripts and batch jobs, with the window's settings and messages.
#include "Arguments.h"
#include "Batch.h"
#include "CliHost.h"

#include "azw3/Azw3Pass.h"
#include "config/SystemError.h"
#include "config/ConfigFile.h"
#include "config/Settings.h"
#include "config/StartUp.h"
#include "core/AnalysisPass.h"
#include "core/Document.h"
#include "core/NumberingReview.h"
#include "core/RepeatedChapters.h"
#include "core/TextCodec.h"
#include "core/TidyTitles.h"
#include "core/TitleRules.h"
#include "epub/Cover.h"
#include "output/OutputPass.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <QTextStream>

#include <algorithm>
#include <cerrno>
#include <memory>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif

namespace {

const char* const HelpText = R"(Usage:
  vellomar-cli list  [--config PATH] [--encoding E] [--title-rule auto] [--tidy]
                     [--review FILE | --resume] NOVEL
      One line per detected title, tab-separated: ID, ignored (0/1), chapter number,
      title, line number, output-name preview, numbering review (gap, duplicate, back,
      zero, repeat (the body is the same as an earlier chapter's) or empty; with --tidy, why tidying changed the title: toc, quoted,
      repeated-title, too-close, guess), and when the novel has volumes the volume's title.
      The count line goes to stderr.
  vellomar-cli volumes [--config PATH] [--encoding E] NOVEL
      One line per volume heading, tab-separated: volume number, title, line number,
      number of kept chapters (0 for a volume without a chapter).
  vellomar-cli split [--config PATH] [--encoding E] [--out DIR] [--ignore ID[,ID...]]
                     [--overwrite ask|all|none|cancel] [--yes] [--jobs N]
                     [--title-rule auto] [--tidy] [--reflow] NOVEL|FOLDER...
      Analyses the novel and writes its chapter files with the configured settings.
      Several novels, or folders (every *.txt inside, recursively), make a batch: N novels
      at a time (default: one per core), one tab-separated line per novel as it ends
      (完成/无标题/失败/中止, novel, encoding, kept/found chapters, files written or the
      problem), then a total; the exit status is the worst of the batch. Novels whose
      files would go to the same folder (or books get the same name) are named before
      anything starts and not written; a folder that cannot be read is a failure.
  vellomar-cli epub  [--config PATH] [--encoding E] [--ignore ID[,ID...]] [--title T]
                     [--author A] [--cover IMG] [--chaps-in-book N] [--max-book-mb M] [--vertical|--horizontal]
                     [--out FILE|DIR]
                     [--overwrite ask|all|none|cancel] [--yes] [--jobs N]
                     [--title-rule auto] [--tidy] [--format epub|azw3] NOVEL|FOLDER...
      Analyses the novel and writes it as an EPUB 3 book (or, with --format azw3 or an --out
      ending in .azw3, a Kindle AZW3 book with the same pages and contents): a cover page (the image given,
      or one drawn from the title and author), the front matter, one page per kept
      chapter, the contents. Title and author come from the file name and the front
      matter unless given. With --chaps-in-book N, one book per N chapters:
      "书名 (0001-0500).epub", ... (each its own title, cover and place in the series);
      with --max-book-mb M a book also ends at the chapter that would take it past about
      M MB (Send-to-Kindle takes up to 50 MB; a larger book is warned of). --out names the book, or the folder it goes to (default:
      the configured output folder). Several novels or folders make a batch as for split.
  vellomar-cli clean --dry-run [--config PATH] [--encoding E] [--title-rule auto] [--tidy] NOVEL
      Analyses the novel and shows what the cleanup (filter strings, replace rules, and
      [clean]'s repeated title lines and paragraph indents) would change in text output, rule
      by rule with the first examples (the 清理报告), without writing anything.
  vellomar-cli rules [--import RULES.json] [--encoding E] NOVEL
      Tries every title rule (the built-in ones, or those of a shared JSON rule list) on the
      whole novel (16 samples spread over it when it is over 8 MB): count of titles, score (the
      length of the chapter sequence the titles make) and name per rule, with the error
      of a rule that does not compile or how importing rewrote it, then the suggested
      rule (its name says the chapter unit) and its pattern.
  vellomar-cli --help | --version

Options:
  --config PATH   settings file to use instead of the program's config.ini; the replace
                  rules are in the file beside it named after it (config.rules.json)
  --encoding E    how the novel is read: auto (default: byte-order mark, else detected
                  among UTF-8, GB18030 (GBK) and Big5-HKSCS, UTF-16 too), gbk, gb18030,
                  utf-8, utf-16le, utf-16be, big5. Chapter files are written in the same
                  encoding.
  --out DIR       output folder for this run (instead of the configured one)
  --ignore IDS    chapter IDs to ignore (their lines stay in the chapter before)
  --overwrite X   existing files: ask (on a terminal), all, none (keep them), cancel
  --yes           create a missing output folder without asking
  --import FILE   a JSON rule list (name, rule, example, enable) for the rules command
  --jobs N        novels split at the same time in a batch
  --title T, --author A, --cover IMG (JPEG or PNG), --chaps-in-book N,
  --format epub|azw3   for epub
  --vertical, --horizontal  epub: set the text vertically (columns and pages from right
                  to left), or across; default: [epub] Vertical in the settings
  --title-rule auto  find the titles with the rule the rules command suggests for each
                  novel instead of the configured pattern
  --report        split, epub: print the cleanup's report (清理报告) after the pass
  --reflow        split, epub, clean: 重新分段, join the lines of a hard-wrapped novel back
                  into paragraphs (as [clean] Reflow=True); the analysis says when a novel
                  looks hard-wrapped
  --tidy          after the analysis, tidy the titles by their numbers: ignore contents
                  entries, titles quoted in running text and repeated titles, keep real
                  chapters the too-close rule ignored (the window's 按编号整理)
  --review FILE   list, split, epub, clean: take up a review the window saved (a .json
                  file of the novel's ignored, edited and hand-added titles, with its rule
                  and encoding); refused when it is of another novel or the novel changed
  --resume        the same with each novel's own saved review, where there is one (in
                  $XDG_DATA_HOME/vellomar/reviews, by default ~/.local/share/...); --tidy
                  then applies only to novels without one

Exit status: 0 done, 1 error, 2 usage error, 3 no title found, 4 cancelled or stopped.
A batch exits with its worst: stopped, then usage error, then error, then no title.
)";

QString escapeField(const QString& s)
{
    QString out;
    out.reserve(s.size());
    for (QChar c : s) {
        switch (c.unicode()) {
        case u'\t': out += QLatin1String("\\t"); break;
        case u'\r': out += QLatin1String("\\r"); break;
        case u'\n': out += QLatin1String("\\n"); break;
        case u'\\': out += QLatin1String("\\\\"); break;
        default: out += c;
        }
    }
    return out;
}

int runRules(const Options& o, Document& doc, QTextStream& out, QTextStream& err)
{
    QList<TitleRule> rules = builtInTitleRules();
    if (!o.rules.isEmpty()) {
        QFile f(o.rules);
        QString error;
        errno = 0;
        if (!f.open(QIODevice::ReadOnly)) {
            err << "vellomar-cli: " << QStringLiteral(u"无法读取文件: %1（%2）").arg(o.rules, fileFailureReason(o.rules, errno, f.errorString()))
                << Qt::endl;
            return Failed;
        }
        if (!importTitleRules(f.readAll(), &rules, &error)) {
            err << "vellomar-cli: " << o.rules << ": " << error << Qt::endl;
            return Failed;
        }
    }
    const QList<RuleTrial> trials = tryTitleRules(doc.reader(), doc.codec(), rules);
    for (int i = 0; i < rules.size(); ++i) {
        out << trials[i].titles << '\t' << QString::number(trials[i].score, 'f', 1) << '\t' << escapeField(rules[i].name);
        if (!rules[i].error.isEmpty()) {
            out << '\t' << QStringLiteral(u"错误: ") << escapeField(rules[i].error);
        } else if (!rules[i].rewritten.isEmpty()) {
            out << '\t' << QStringLiteral(u"已改写: ") << escapeField(rules[i].rewritten);
        }
        out << '\n';
    }
    const int best = suggestTitleRule(trials);
    if (best < 0) {
        err << QStringLiteral(u"没有合适的规则") << Qt::endl;
        return NoTitle;
    }
    out << QStringLiteral(u"推荐: ") << suggestionName(rules[best], trials[best]) << '\n' << rules[best].rule << Qt::endl;
    return Ok;
}

// Page faults are slow on virtual machines (some 15 us each on the benchmark's), and writing
// a novel's files frees and takes again buffers of every size: the heap keeps what is freed
// for reuse instead of handing it back to be faulted in again, and its threads share one heap.
// Blocks of a megabyte or more are mapped apart, so that a growing chapter table moves without
// a copy.
void prepareHeap()
{
    mallopt(M_ARENA_MAX, 1);
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    mallopt(M_TRIM_THRESHOLD, 64 << 20);
}

} // namespace

int main(int argc, char** argv)
{
    // Only for the commands that write files: it would add its megabytes to a list's memory.
    if (const QByteArrayView command = commandWord(argc, argv); command == "split" || command == "epub") {
        prepareHeap();
    }
    // A book's drawn cover needs fonts, which come with a GUI application; no display is needed.
    std::unique_ptr<QCoreApplication> app;
    if (wantsGui(argc, argv)) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
        if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
            // What Qt would choose itself, without its warning on every run.
            const QByteArray dir = QDir::tempPath().toLocal8Bit() + "/runtime-" + QByteArray::number(getuid());
            ::mkdir(dir.constData(), 0700);
            qputenv("XDG_RUNTIME_DIR", dir);
        }
        app.reset(makeBookApplication(argc, argv));
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName(QStringLiteral("vellomar"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QStringList args = QCoreApplication::arguments();
    if (args.contains(QLatin1String("--help")) || args.contains(QLatin1String("-h"))) {
        out << HelpText;
        return Ok;
    }
    if (args.contains(QLatin1String("--version"))) {
        out << AppTitle() << Qt::endl;
        return Ok;
    }
    Options o;
    if (const QString problem = parse(args, o); !problem.isEmpty()) {
        err << "vellomar-cli: " << problem << Qt::endl << "Try 'vellomar-cli --help'." << Qt::endl;
        return Usage;
    }

    Settings settings = Settings::defaults();
    const QString configPath = o.config.isEmpty() ? ConfigPath() : o.config;
    if (!o.config.isEmpty() && !QFileInfo(o.config).isFile()) {
        err << "vellomar-cli: no such settings file: " << o.config << Qt::endl;
        return Usage;
    }
    if (!QFileInfo(configPath).isFile()) {
        LoadReplaceRules(settings, configPath);
    } else if (QString why; !LoadConfig(settings, configPath, &why)) {
        err << "vellomar-cli: " << why << " (using the default settings)" << Qt::endl;
    }
    for (const QString& problem : std::as_const(settings.ReplaceRuleProblems)) {
        err << "vellomar-cli: " << problem << Qt::endl;
    }
    settings.Reflow = settings.Reflow || o.reflow;
    if (!o.out.isEmpty() && o.command != QLatin1String("epub")) {
        settings.OutPath = QFileInfo(o.out).absoluteFilePath();
    }

    const bool interactive = isatty(STDIN_FILENO) && isatty(STDERR_FILENO);
    CliHost::installInterruptHandler();
    SplitRequest request;
    request.settings = settings;
    request.detect = o.detect;
    request.encoding = o.encoding;
    request.ignore = o.ignore;
    request.overwrite = o.overwrite;
    request.yes = o.yes;
    request.autoRule = o.autoRule;
    request.tidy = o.tidy;
    request.report = o.report;
    request.reviewFile = o.review;
    request.resume = o.resume;
    request.epub = o.command == QLatin1String("epub");
    request.epubOptions.title = o.title;
    request.epubOptions.author = o.author;
    request.epubOptions.coverPath = o.cover.isEmpty() ? QString() : QFileInfo(o.cover).absoluteFilePath();
    request.epubOptions.chapsInBook = o.chapsInBook >= 0 ? o.chapsInBook : settings.EpubChapsInBook;
    request.epubOptions.vertical = o.vertical >= 0 ? o.vertical == 1 : settings.EpubVertical;
    request.epubOptions.maxBookMB = o.maxBookMB >= 0 ? o.maxBookMB : settings.EpubMaxBookMB;
    request.epubOptions.target = o.out.isEmpty() ? QString() : QFileInfo(o.out).absoluteFilePath();
    request.epubOptions.format = o.format == QLatin1String("azw3") ? BookFormat::Azw3
                                 : o.format.isEmpty()             ? bookFormatOf(o.out, BookFormat::Epub)
                                                                  : BookFormat::Epub;

    if ((o.command == QLatin1String("split") || request.epub) && (o.novels.size() > 1 || QFileInfo(o.novels[0]).isDir())) {
        if (!o.ignore.isEmpty() || !o.title.isEmpty() || !o.author.isEmpty()) {
            err << "vellomar-cli: --ignore, --title and --author go with one novel" << Qt::endl;
            return Usage;
        }
        if (request.epub && (o.out.endsWith(QLatin1String(".epub"), Qt::CaseInsensitive)
                             || o.out.endsWith(QLatin1String(".azw3"), Qt::CaseInsensitive))) {
            err << "vellomar-cli: --out names a folder for a batch of books" << Qt::endl;
            return Usage;
        }
        QStringList problems;
        QStringList unreadable;
        int skipped = 0;
        const QStringList novels = collectNovels(o.novels, settings.OutPath, &problems, &skipped, &unreadable);
        for (const QString& p : std::as_const(problems) + unreadable) {
            err << "vellomar-cli: " << p << Qt::endl;
        }
        if (skipped > 0) {
            err << QStringLiteral(u"跳过 %1 个位于其他小说输出文件夹中的 .txt 文件").arg(skipped) << Qt::endl;
        }
        if (novels.isEmpty()) {
            err << QStringLiteral(u"vellomar-cli: 没有找到小说（*.txt）") << Qt::endl;
            return Failed;
        }
        const int jobs = o.jobs > 0 ? o.jobs : std::max(1, QThread::idealThreadCount());
        const int worst = runBatch(novels, request, jobs, interactive, out, err, int(unreadable.size()));
        return problems.isEmpty() || worst == Interrupted || worst == Usage ? worst : Failed;
    }

    Document doc;
    CliHost host(doc, out, err);
    host.overwrite = o.overwrite;
    host.yes = o.yes;
    host.interactive = interactive;
    host.showProgress = isatty(STDERR_FILENO);
    const QString novel = QFileInfo(o.novels[0]).absoluteFilePath();
    if (o.command == QLatin1String("split") || request.epub) {
        const SplitOutcome outcome = splitNovel(novel, request, doc, host, err);
        if (!outcome.report.isEmpty()) {
            out << outcome.report;
            out.flush();
        }
        return outcome.code;
    }

    if (o.command == QLatin1String("rules")) {
        QString error;
        doc.setEncodingChoice(o.detect, o.encoding);
        if (!doc.OpenTextFile(novel, &error, false)) {
            host.error(error, 53, QStringLiteral("frmMain::OpenTextFile()"));
            return Failed;
        }
        doc.SetState(Opened);
        return runRules(o, doc, out, err);
    }
    if (const int code = analyseNovel(novel, request, doc, host, err); code != Ok) {
        return code;
    }
    ChapterModel& model = doc.model();
    if (o.command == QLatin1String("clean")) {
        CleanupLedger ledger;
        QString error;
        if (!PreviewCleanup(doc, settings, host, &ledger, &error)) {
            if (CliHost::interrupted()) {
                err << error << Qt::endl;
                return Interrupted;
            }
            host.error(error, 75, QStringLiteral("vellomar-cli clean"));
            return Failed;
        }
        reportCleanupTrouble(ledger, err);
        out << ledger.text();
        out.flush();
        return Ok;
    }
    QVector<bool> ignored(model.recordCount(), false);
    for (int row = 0; row < model.rowCount(); ++row) {
        ignored[model.tag(row)] = model.isChecked(row);
    }
    if (o.command == QLatin1String("volumes")) {
        for (const Volume& v : model.volumes().all()) {
            const int kept = int(std::count(ignored.cbegin() + v.firstRecord, ignored.cbegin() + v.endRecord, false));
            out << v.number << '\t' << escapeField(v.title) << '\t' << v.line << '\t' << kept << '\n';
        }
        out.flush();
        err << QStringLiteral(u"一共: %1 卷").arg(model.volumes().size()) << Qt::endl;
        return Ok;
    }
    QVector<NumberingAnomaly> review = reviewNumbering(model.chapnum(), ignored, model.volumes().starts());
    const QVector<qint32> repeats = findRepeatedChapters(doc);
    for (qsizetype r = 0; r < repeats.size() && r < review.size(); ++r) {
        if (repeats[r] > 0 && !ignored[r]) {
            review[r] = NumberingAnomaly::Repeat;
        }
    }
    // The volume column is there when the novel has volumes, so that a novel without them is
    // listed as it always was.
    const bool volumes = !model.volumes().isEmpty();
    for (int row = 0; row < model.rowCount(); ++row) {
        const int r = model.tag(row);
        out << (r + 1) << '\t' << (model.isChecked(row) ? 1 : 0) << '\t' << model.chapnum().at(r) << '\t'
            << escapeField(model.title().at(r)) << '\t' << model.chapline().at(r) << '\t'
            << escapeField(model.cellText(row, 1)) << '\t';
        const TidyReason why = model.tidyReason(row);
        out << (why != TidyReason::None ? tidyReasonKey(why) : anomalyKey(review.at(r)));
        if (volumes) {
            out << '\t' << escapeField(model.cellText(row, ChapterModel::VolumeColumn));
        }
        out << '\n';
    }
    out.flush();
    err << ChapCountText(model.recordCount(), model.checkedCount()) << QStringLiteral(u"，编码 ")
        << doc.encodingLabel() << Qt::endl;
    return Ok;
}
