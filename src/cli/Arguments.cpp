#include "Arguments.h"

#include <QByteArray>

#include <iterator>

namespace {

// One option of the command line: whether a value follows it, and what it does with the
// value (null when the value is missing); the usage error, or an empty text.
struct Option {
    const char* name;
    bool takesValue;
    QString (*apply)(Options& o, const QString* value);
};

const Option Table[] = {
    {"--config", true,
     [](Options& o, const QString* v) {
         return v ? (o.config = *v, QString()) : QStringLiteral("--config needs a path");
     }},
    {"--out", true,
     [](Options& o, const QString* v) { return v ? (o.out = *v, QString()) : QStringLiteral("--out needs a folder"); }},
    {"--ignore", true,
     [](Options& o, const QString* v) {
         if (!v) return QStringLiteral("--ignore needs IDs");
         for (const QString& id : v->split(u',', Qt::SkipEmptyParts)) {
             bool ok = false;
             const int n = id.trimmed().toInt(&ok);
             if (!ok || n < 1) return QStringLiteral("--ignore: not an ID: ") + id;
             o.ignore << n;
         }
         return QString();
     }},
    {"--overwrite", true,
     [](Options& o, const QString* v) {
         if (!v) return QStringLiteral("--overwrite needs ask, all, none or cancel");
         if (*v == QLatin1String("ask")) o.overwrite = CliHost::Ask;
         else if (*v == QLatin1String("all")) o.overwrite = CliHost::All;
         else if (*v == QLatin1String("none")) o.overwrite = CliHost::None;
         else if (*v == QLatin1String("cancel")) o.overwrite = CliHost::CancelAll;
         else return QStringLiteral("--overwrite: unknown answer ") + *v;
         return QString();
     }},
    {"--encoding", true,
     [](Options& o, const QString* v) {
         if (!v || !TextCodec::fromName(*v, &o.encoding, &o.detect)) {
             return QStringLiteral("--encoding needs one of ") + TextCodec::names().join(QStringLiteral(", "));
         }
         return QString();
     }},
    {"--import", true,
     [](Options& o, const QString* v) {
         return v ? (o.rules = *v, QString()) : QStringLiteral("--import needs a JSON file");
     }},
    {"--jobs", true,
     [](Options& o, const QString* v) {
         bool ok = false;
         if (!v || (o.jobs = v->toInt(&ok), !ok || o.jobs < 1)) {
             return QStringLiteral("--jobs needs a number of novels, 1 or more");
         }
         return QString();
     }},
    {"--title-rule", true,
     [](Options& o, const QString* v) {
         if (!v || *v != QLatin1String("auto")) {
             return QStringLiteral("--title-rule takes auto");
         }
         o.autoRule = true;
         return QString();
     }},
    {"--title", true,
     [](Options& o, const QString* v) { return v ? (o.title = *v, QString()) : QStringLiteral("--title needs a title"); }},
    {"--author", true,
     [](Options& o, const QString* v) {
         return v ? (o.author = *v, QString()) : QStringLiteral("--author needs a name");
     }},
    {"--cover", true,
     [](Options& o, const QString* v) { return v ? (o.cover = *v, QString()) : QStringLiteral("--cover needs an image"); }},
    {"--chaps-in-book", true,
     [](Options& o, const QString* v) {
         bool ok = false;
         if (!v || (o.chapsInBook = v->toInt(&ok), !ok || o.chapsInBook < 0)) {
             return QStringLiteral("--chaps-in-book needs a number of chapters (0: one book)");
         }
         return QString();
     }},
    {"--format", true,
     [](Options& o, const QString* v) {
         if (!v || (*v != QLatin1String("epub") && *v != QLatin1String("azw3"))) {
             return QStringLiteral("--format takes epub or azw3");
         }
         o.format = *v;
         return QString();
     }},
    {"--review", true,
     [](Options& o, const QString* v) {
         return v ? (o.review = *v, QString()) : QStringLiteral("--review needs a review file");
     }},
    {"--resume", false, [](Options& o, const QString*) { return o.resume = true, QString(); }},
    {"--vertical", false, [](Options& o, const QString*) { return o.vertical = 1, QString(); }},
    {"--horizontal", false, [](Options& o, const QString*) { return o.vertical = 0, QString(); }},
    {"--max-book-mb", true,
     [](Options& o, const QString* v) {
         bool ok = false;
         if (!v || (o.maxBookMB = v->toInt(&ok), !ok || o.maxBookMB < 0)) {
             return QStringLiteral("--max-book-mb needs a size in MB (0: no limit)");
         }
         return QString();
     }},
    {"--tidy", false, [](Options& o, const QString*) { return o.tidy = true, QString(); }},
    {"--report", false, [](Options& o, const QString*) { return o.report = true, QString(); }},
    {"--reflow", false, [](Options& o, const QString*) { return o.reflow = true, QString(); }},
    {"--dry-run", false, [](Options& o, const QString*) { return o.dryRun = true, QString(); }},
    {"--yes", false, [](Options& o, const QString*) { return o.yes = true, QString(); }},
};

const Option* findOption(QByteArrayView name)
{
    for (const Option& option : Table) {
        if (name == option.name) {
            return &option;
        }
    }
    return nullptr;
}

} // namespace

QString parse(const QStringList& args, Options& o)
{
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        if (const Option* option = findOption(a.toUtf8())) {
            // An empty value would silently mean the default: take it as missing.
            const QString* value = nullptr;
            if (option->takesValue && i + 1 < args.size() && !args[i + 1].isEmpty()) {
                value = &args[++i];
            }
            if (const QString problem = option->apply(o, value); !problem.isEmpty()) {
                return problem;
            }
        } else if (a.startsWith(QLatin1String("--"))) {
            return QStringLiteral("unknown option ") + a;
        } else if (o.command.isEmpty()) {
            o.command = a;
        } else {
            o.novels << a;
        }
    }
    const bool epub = o.command == QLatin1String("epub");
    if (o.command != QLatin1String("list") && o.command != QLatin1String("split") && !epub
        && o.command != QLatin1String("rules") && o.command != QLatin1String("volumes")
        && o.command != QLatin1String("clean")) {
        return o.command.isEmpty() ? QStringLiteral("no command given") : QStringLiteral("unknown command ") + o.command;
    }
    if (o.novels.isEmpty()) {
        return QStringLiteral("no novel given");
    }
    if (o.novels.size() > 1 && o.command != QLatin1String("split") && !epub) {
        return QStringLiteral("unexpected argument ") + o.novels[1];
    }
    if (o.jobs > 0 && o.command != QLatin1String("split") && !epub) {
        return QStringLiteral("--jobs goes with the split and epub commands");
    }
    if (!epub && (!o.title.isEmpty() || !o.author.isEmpty() || !o.cover.isEmpty() || o.chapsInBook >= 0 || o.vertical >= 0
                  || o.maxBookMB >= 0 || !o.format.isEmpty())) {
        return QStringLiteral("--title, --author, --cover, --chaps-in-book, --max-book-mb, --vertical, --horizontal and --format go with the epub command");
    }
    for (const char* other : {"epub", "azw3"}) {
        if (!o.format.isEmpty() && o.format != QLatin1String(other)
            && o.out.endsWith(u'.' + QLatin1String(other), Qt::CaseInsensitive)) {
            return QStringLiteral("--out names a .%1 book but --format is %2").arg(QLatin1String(other), o.format);
        }
    }
    if (o.command == QLatin1String("list") && (!o.out.isEmpty() || !o.ignore.isEmpty() || o.yes || !o.rules.isEmpty())) {
        return QStringLiteral("list takes only --config");
    }
    if (o.command == QLatin1String("volumes")
        && (!o.out.isEmpty() || !o.ignore.isEmpty() || o.yes || !o.rules.isEmpty() || o.tidy || o.autoRule)) {
        return QStringLiteral("volumes takes only --config");
    }
    if (o.command == QLatin1String("rules") && (!o.out.isEmpty() || !o.ignore.isEmpty() || o.yes || o.tidy || o.autoRule)) {
        return QStringLiteral("rules takes only --import");
    }
    if (o.report && o.command != QLatin1String("split") && !epub) {
        return QStringLiteral("--report goes with the split and epub commands");
    }
    if (o.command == QLatin1String("clean")
        && (!o.dryRun || !o.out.isEmpty() || !o.ignore.isEmpty() || o.yes || !o.rules.isEmpty())) {
        return QStringLiteral("clean takes --dry-run (it never writes)");
    }
    if (o.reflow && o.command != QLatin1String("split") && !epub && o.command != QLatin1String("clean")) {
        return QStringLiteral("--reflow goes with the split, epub and clean commands");
    }
    if (o.dryRun && o.command != QLatin1String("clean")) {
        return QStringLiteral("--dry-run goes with the clean command");
    }
    if (!o.review.isEmpty() && o.resume) {
        return QStringLiteral("--review and --resume exclude each other");
    }
    if ((!o.review.isEmpty() || o.resume)
        && (o.command == QLatin1String("rules") || o.command == QLatin1String("volumes"))) {
        return QStringLiteral("--review and --resume go with the list, split, epub and clean commands");
    }
    if ((!o.review.isEmpty() || o.resume) && o.autoRule) {
        return QStringLiteral("--review and --resume bring their own title rule: no --title-rule auto");
    }
    if (!o.review.isEmpty() && o.novels.size() > 1) {
        return QStringLiteral("--review goes with one novel");
    }
    if ((o.command == QLatin1String("split") || epub) && !o.rules.isEmpty()) {
        return QStringLiteral("--import goes with the rules command");
    }
    return QString();
}

QByteArrayView commandWord(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const QByteArrayView a(argv[i]);
        if (const Option* option = findOption(a); option && option->takesValue) {
            ++i;
        } else if (!a.startsWith("--")) {
            return a;
        }
    }
    return {};
}

bool wantsGui(int argc, char** argv)
{
    return commandWord(argc, argv) == "epub";
}
