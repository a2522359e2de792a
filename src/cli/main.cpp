// vellomar-cli: the engine for scripts and batch jobs, with the window's settings and messages.
#include "CliHost.h"

#include "config/SystemError.h"
#include "config/ConfigFile.h"
#include "config/Settings.h"
#include "config/StartUp.h"
#include "core/AnalysisPass.h"
#include "core/Document.h"
#include "core/NumberingReview.h"
#include "core/TextCodec.h"
#include "core/TitleRules.h"
#include "output/OutputPass.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTextStream>

#include <algorithm>
#include <cerrno>

#include <cstdio>
#include <unistd.h>

namespace {

enum Exit { Ok = 0, Failed = 1, Usage = 2, NoTitle = 3, Interrupted = 4 };

const char* const HelpText = R"(Usage:
  vellomar-cli list  [--config PATH] [--encoding E] NOVEL
      One line per detected title, tab-separated: ID, ignored (0/1), chapter number,
      title, line number, output-name preview, numbering review (gap, duplicate, back,
      zero or empty), and when the novel has volumes the volume's title. The count line
      goes to stderr.
  vellomar-cli volumes [--config PATH] [--encoding E] NOVEL
      One line per volume heading, tab-separated: volume number, title, line number,
      number of kept chapters (0 for a volume without a chapter).
  vellomar-cli split [--config PATH] [--encoding E] [--out DIR] [--ignore ID[,ID...]]
                     [--overwrite ask|all|none|cancel] [--yes] NOVEL
      Analyses the novel and writes its chapter files with the configured settings.
  vellomar-cli rules [--import RULES.json] [--encoding E] NOVEL
      Tries every title rule (the built-in ones, or those of a shared JSON rule list) on the
      first 512 KB of the novel: count of titles, score and name per rule, then the
      suggested rule and its pattern.
  vellomar-cli --help | --version

Options:
  --config PATH   settings file to use instead of the program's config.ini
  --encoding E    how the novel is read: auto (default: byte-order mark, UTF-8, else GBK
                  with GB18030's extra characters), gbk, gb18030, utf-8, utf-16le, utf-16be,
                  big5. Chapter files are written in the same encoding.
  --out DIR       output folder for this run (instead of the configured one)
  --ignore IDS    chapter IDs to ignore (their lines stay in the chapter before)
  --overwrite X   existing files: ask (on a terminal), all, none (keep them), cancel
  --yes           create a missing output folder without asking
  --import FILE   a JSON rule list (name, rule, example, enable) for the rules command

Exit status: 0 done, 1 error, 2 usage error, 3 no title found, 4 cancelled or stopped.
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

struct Options {
    QString command;
    QString config;
    QString rules;
    bool detect = true;
    TextCodec::Id encoding = TextCodec::Gbk;
    QString out;
    QString novel;
    QList<int> ignore;
    CliHost::Overwrite overwrite = CliHost::Ask;
    bool yes = false;
};

// Returns an error text, or an empty one when the arguments are sound.
QString parse(const QStringList& args, Options& o)
{
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        auto value = [&](QString& into) -> bool {
            // An empty value would silently mean the default: take it as missing.
            if (i + 1 >= args.size() || args[i + 1].isEmpty()) {
                return false;
            }
            into = args[++i];
            return true;
        };
        if (a == QLatin1String("--config")) {
            if (!value(o.config)) return QStringLiteral("--config needs a path");
        } else if (a == QLatin1String("--out")) {
            if (!value(o.out)) return QStringLiteral("--out needs a folder");
        } else if (a == QLatin1String("--ignore")) {
            QString ids;
            if (!value(ids)) return QStringLiteral("--ignore needs IDs");
            for (const QString& id : ids.split(u',', Qt::SkipEmptyParts)) {
                bool ok = false;
                const int n = id.trimmed().toInt(&ok);
                if (!ok || n < 1) return QStringLiteral("--ignore: not an ID: ") + id;
                o.ignore << n;
            }
        } else if (a == QLatin1String("--overwrite")) {
            QString v;
            if (!value(v)) return QStringLiteral("--overwrite needs ask, all, none or cancel");
            if (v == QLatin1String("ask")) o.overwrite = CliHost::Ask;
            else if (v == QLatin1String("all")) o.overwrite = CliHost::All;
            else if (v == QLatin1String("none")) o.overwrite = CliHost::None;
            else if (v == QLatin1String("cancel")) o.overwrite = CliHost::CancelAll;
            else return QStringLiteral("--overwrite: unknown answer ") + v;
        } else if (a == QLatin1String("--encoding")) {
            QString v;
            if (!value(v) || !TextCodec::fromName(v, &o.encoding, &o.detect)) {
                return QStringLiteral("--encoding needs one of ") + TextCodec::names().join(QStringLiteral(", "));
            }
        } else if (a == QLatin1String("--import")) {
            if (!value(o.rules)) return QStringLiteral("--import needs a JSON file");
        } else if (a == QLatin1String("--yes")) {
            o.yes = true;
        } else if (a.startsWith(QLatin1String("--"))) {
            return QStringLiteral("unknown option ") + a;
        } else if (o.command.isEmpty()) {
            o.command = a;
        } else if (o.novel.isEmpty()) {
            o.novel = a;
        } else {
            return QStringLiteral("unexpected argument ") + a;
        }
    }
    if (o.command != QLatin1String("list") && o.command != QLatin1String("split")
        && o.command != QLatin1String("rules") && o.command != QLatin1String("volumes")) {
        return o.command.isEmpty() ? QStringLiteral("no command given") : QStringLiteral("unknown command ") + o.command;
    }
    if (o.novel.isEmpty()) {
        return QStringLiteral("no novel given");
    }
    if ((o.command == QLatin1String("list") || o.command == QLatin1String("volumes"))
        && (!o.out.isEmpty() || !o.ignore.isEmpty() || o.yes || !o.rules.isEmpty())) {
        return o.command + QStringLiteral(" takes only --config");
    }
    if (o.command == QLatin1String("rules") && (!o.out.isEmpty() || !o.ignore.isEmpty() || o.yes)) {
        return QStringLiteral("rules takes only --import");
    }
    if (o.command == QLatin1String("split") && !o.rules.isEmpty()) {
        return QStringLiteral("--import goes with the rules command");
    }
    return QString();
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
        }
        out << '\n';
    }
    const int best = suggestTitleRule(trials);
    if (best < 0) {
        err << QStringLiteral(u"没有合适的规则") << Qt::endl;
        return NoTitle;
    }
    out << QStringLiteral(u"推荐: ") << rules[best].name << '\n' << rules[best].rule << Qt::endl;
    return Ok;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
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
    if (QString why; QFileInfo(configPath).isFile() && !LoadConfig(settings, configPath, &why)) {
        err << "vellomar-cli: " << why << " (using the default settings)" << Qt::endl;
    }
    if (!o.out.isEmpty()) {
        settings.OutPath = QFileInfo(o.out).absoluteFilePath();
    }

    Document doc;
    CliHost host(doc, out, err);
    host.overwrite = o.overwrite;
    host.yes = o.yes;
    host.interactive = isatty(STDIN_FILENO) && isatty(STDERR_FILENO);
    host.showProgress = isatty(STDERR_FILENO);
    CliHost::installInterruptHandler();

    QString error;
    const QString novel = QFileInfo(o.novel).absoluteFilePath();
    doc.setEncodingChoice(o.detect, o.encoding);
    // The analysis counts the lines as it reads; no separate pass for it.
    if (!doc.OpenTextFile(novel, &error, false)) {
        host.error(error, 53, QStringLiteral("frmMain::OpenTextFile()"));
        return Failed;
    }
    doc.SetState(Opened);
    if (o.command == QLatin1String("rules")) {
        return runRules(o, doc, out, err);
    }
    if (!RunAnalysis(doc, settings, host)) {
        return host.reportedError ? Failed : (doc.LineCount == 0 ? NoTitle : Interrupted);
    }
    ChapterModel& model = doc.model();
    if (doc.DocState != Analysed) {
        return NoTitle;
    }

    if (o.command == QLatin1String("list")) {
        QVector<bool> ignored(model.recordCount(), false);
        for (int row = 0; row < model.rowCount(); ++row) {
            ignored[model.tag(row)] = model.isChecked(row);
        }
        const QVector<NumberingAnomaly> review = reviewNumbering(model.chapnum(), ignored, model.volumes().starts());
        // The volume column is there when the novel has volumes, so that a novel without
        // them is listed as it always was.
        const bool volumes = !model.volumes().isEmpty();
        for (int row = 0; row < model.rowCount(); ++row) {
            const int r = model.tag(row);
            out << (r + 1) << '\t' << (model.isChecked(row) ? 1 : 0) << '\t' << model.chapnum().at(r) << '\t'
                << escapeField(model.title().at(r)) << '\t' << model.chapline().at(r) << '\t'
                << escapeField(model.cellText(row, 1)) << '\t' << anomalyKey(review.at(r));
            if (volumes) {
                out << '\t' << escapeField(model.cellText(row, ChapterModel::VolumeColumn));
            }
            out << '\n';
        }
        out.flush();
        err << ChapCountText(model.recordCount(), model.checkedCount()) << Qt::endl;
        return Ok;
    }

    if (o.command == QLatin1String("volumes")) {
        const VolumeList& volumes = model.volumes();
        const QVector<bool> ignored = model.ignoredRecords();
        for (const Volume& v : volumes.all()) {
            const int kept = int(std::count(ignored.cbegin() + v.firstRecord, ignored.cbegin() + v.endRecord, false));
            out << v.number << '\t' << escapeField(v.title) << '\t' << v.line << '\t' << kept << '\n';
        }
        out.flush();
        err << QStringLiteral(u"一共: %1 卷").arg(volumes.size()) << Qt::endl;
        return Ok;
    }

    const QSet<int> ignore(o.ignore.cbegin(), o.ignore.cend());
    for (int row = 0; row < model.rowCount(); ++row) {
        if (ignore.contains(model.tag(row) + 1)) {
            model.setChecked(row, true);
        }
    }
    for (int id : ignore) {
        if (id > model.recordCount()) {
            err << "vellomar-cli: --ignore: no chapter with ID " << id << Qt::endl;
            return Usage;
        }
    }
    err << ChapCountText(model.recordCount(), model.checkedCount()) << Qt::endl;
    const OutputResult result = RunOutput(doc, settings, host);
    switch (result.kind) {
    case OutputResult::Done:
        return Ok;
    case OutputResult::Failed:
        return Failed;
    case OutputResult::Refused:
        return Failed;
    case OutputResult::Declined:
    case OutputResult::Cancelled:
    case OutputResult::Stopped:
        return Interrupted;
    }
    return Failed;
}
