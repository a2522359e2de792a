// 重新分段 on real novels, for a person to check: per novel, whether it reads as hard-wrapped
// (the width, the share of lines broken there), the joins made and a random sample of them with
// the text around each, and the places left broken (a line at the width that does not end a
// sentence and was not joined). Not part of the test suite: the novels are not in the repository.
//
//   bench_reflow [--show N] [--seed S] [--forced] NOVEL...     the report per novel
//   bench_reflow --wrap W [--no-indent] [-v] NOVEL...          novels wrapped here at W columns
//                                                              and joined back, against the original
//                                                              (-v: the profile and every miss)
//   bench_reflow --speed NOVEL                                 lines per second, and a read-decode-
//                                                              write pass with and without joining
//
// Chapter titles are told by a simple pattern here (第…回/章/卷…, short lines); the program
// takes them from its analysis.
#include "core/LineReader.h"
#include "core/Reflow.h"
#include "core/TextCodec.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

struct Novel {
    QString name;
    QStringList lines;
    QVector<bool> titles;
    const TextCodec* codec = nullptr;
    int bom = 0;
};

void out(const QString& s)
{
    std::fputs(s.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
}

bool looksLikeTitle(const QString& line)
{
    static const QRegularExpression re(
        QStringLiteral(u"^[\\s\u3000]*(正文[\\s\u3000]*)?((上|中|下)卷[\\s\u3000]*)?第[\\s\u3000]*[0-9０-"
                       u"９零〇一二三四五六七八九十百千两兩]+"
                       u"[\\s\u3000]*[回章卷节節傳传則则]"));
    return line.size() <= 60 && re.match(line).hasMatch();
}

bool load(const QString& path, Novel* n)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "bench_reflow: cannot read %s\n", qPrintable(path));
        return false;
    }
    QByteArray head, more;
    TextCodec::readSample(f, &head, &more);
    const TextCodec::Id id = TextCodec::detect(head, more, &n->bom);
    n->codec = &TextCodec::forId(id);
    f.seek(0);
    const QByteArray bytes = f.readAll();
    QString text = n->codec->decode(QByteArrayView(bytes).sliced(n->bom));
    text.replace(QStringLiteral(u"\r\n"), QStringLiteral(u"\n"));
    text.replace(u'\r', u'\n');
    n->lines = text.split(u'\n');
    if (!n->lines.isEmpty() && n->lines.last().isEmpty()) {
        n->lines.removeLast();
    }
    n->titles.resize(n->lines.size());
    for (qsizetype i = 0; i < n->lines.size(); ++i) {
        n->titles[i] = looksLikeTitle(n->lines[i]);
    }
    n->name = QFileInfo(path).fileName();
    return true;
}

QVector<ReflowParagraph> joinAll(const WrapProfile& profile, const QStringList& lines,
                                 const QVector<bool>& titles, ReflowTally* tally = nullptr) {
    ParagraphJoiner joiner(profile);
    QVector<ReflowParagraph> paragraphs;
    ReflowParagraph p;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QString text = lines[i];
        if (joiner.push(text, i + 1, titles[i], p)) {
            paragraphs.append(p);
        }
    }
    if (joiner.finish(p)) {
        paragraphs.append(p);
    }
    if (tally) {
        *tally = joiner.tally();
    }
    return paragraphs;
}

QString around(const Novel& n, qsizetype above)
{
    const QString a = n.lines[above].trimmed();
    const QString b = n.lines[above + 1].trimmed();
    return QStringLiteral(u"%1 / %2").arg(a.right(18), b.left(18));
}

int report(const QStringList& paths, int show, quint32 seed, bool forced)
{
    out(QStringLiteral(u"novel\twrapped\twidth\tlines\tat_width%\tbroken%\tlonger%"
                       u"\tindent\tjoins\tparagraphs\tleft_broken"));
    for (const QString& path : paths) {
        Novel n;
        if (!load(path, &n)) {
            return 1;
        }
        QElapsedTimer t;
        t.start();
        WrapProfile profile = sampleNovelWrap(path, *n.codec, n.bom);
        const double surveyMs = double(t.nsecsElapsed()) / 1e6;
        const WrapProfile whole = surveyLines(n.lines);
        const bool wrapped = profile.wrapped;
        if (forced) {
            profile.wrapped = profile.width > 0;
        }
        const QVector<ReflowParagraph> paragraphs = joinAll(profile, n.lines, n.titles);
        // Which line breaks were taken out, and which lines at the width were left broken.
        QVector<qsizetype> joins, left;
        QVector<bool> joinedBelow(n.lines.size());
        for (const ReflowParagraph& p : paragraphs) {
            for (int k = 0; k + 1 < p.lines; ++k) {
                joins.append(p.line - 1 + k);
                joinedBelow[p.line - 1 + k] = true;
            }
        }
        if (profile.width > 0) {
            const int tol = profile.measure == WrapMeasure::Columns ? 4 : 2;
            for (qsizetype i = 0; i + 1 < n.lines.size(); ++i) {
                const WrapSurvey::Shape a = WrapSurvey::shapeOf(n.lines[i], profile.measure);
                const WrapSurvey::Shape b = WrapSurvey::shapeOf(n.lines[i + 1], profile.measure);
                if (!joinedBelow[i] && !n.titles[i] && !n.titles[i + 1] && a.open && !b.blank &&
                    std::abs(a.width - profile.width) <= tol) {
                    left.append(i);
                }
            }
        }
        auto pct = [&](qint64 k) {
            return profile.lines ? QString::number(100.0 * k / profile.lines, 'f', 1) : QString();
        };
        out(QStringLiteral(u"%1\t%2\t%3%4\t%5\t%6\t%7\t%8\t%9\t%10\t%11\t%12")
                .arg(n.name, wrapped ? QStringLiteral(u"yes") : QStringLiteral(u"no"))
                .arg(profile.widthInCharacters())
                .arg(profile.measure == WrapMeasure::Columns ? QStringLiteral(u"") : QStringLiteral(u"ch"))
                .arg(profile.lines)
                .arg(pct(profile.atWidth), pct(profile.broken), pct(profile.longer),
                     profile.indentMarksParagraphs ? QStringLiteral(u"marks")
                     : profile.everyLineIndented   ? QStringLiteral(u"every")
                                                   : QStringLiteral(u"-"))
                .arg(joins.size())
                .arg(std::count_if(paragraphs.begin(), paragraphs.end(),
                                   [](const ReflowParagraph& p) { return p.lines > 1; }))
                .arg(left.size()));
        out(QStringLiteral(
                u"  survey of the sample %1 ms; of the whole novel: %2 width %3, broken %4 of %5 lines; %6")
                .arg(surveyMs, 0, 'f', 2)
                .arg(whole.wrapped ? QStringLiteral(u"wrapped") : QStringLiteral(u"not wrapped"))
                .arg(whole.widthInCharacters())
                .arg(whole.broken)
                .arg(whole.lines)
                .arg(profile.reason()));
        QRandomGenerator rng(seed);
        auto sample = [&](QVector<qsizetype> v, const QString& caption) {
            std::shuffle(v.begin(), v.end(), rng);
            v.resize(std::min<qsizetype>(v.size(), show));
            std::sort(v.begin(), v.end());
            if (!v.isEmpty()) {
                out(QStringLiteral(u"  %1 (%2):").arg(caption).arg(v.size()));
            }
            for (qsizetype i : v) {
                const WrapSurvey::Shape a = WrapSurvey::shapeOf(n.lines[i], profile.measure);
                const WrapSurvey::Shape b = WrapSurvey::shapeOf(n.lines[i + 1], profile.measure);
                out(QStringLiteral(u"    %1\t%2\t(%3+%4%5)")
                        .arg(i + 2)
                        .arg(around(n, i))
                        .arg(a.width)
                        .arg(b.firstUnit)
                        .arg(b.indented ? QStringLiteral(u" indented") : QString()));
            }
        };
        sample(joins, QStringLiteral(u"joins, a random sample"));
        sample(left, QStringLiteral(u"left broken at the width, a random sample"));
    }
    return 0;
}

// A wrapping tool of the usual kind: at `width` columns, a closing mark pushed onto the line
// rather than starting the next one.
QStringList wrapped(const QString& paragraph, int width)
{
    QStringList lines;
    QString line;
    int w = 0;
    for (qsizetype i = 0; i < paragraph.size(); ++i) {
        const QChar c = paragraph[i];
        const int cw = c.unicode() < 0x80 ? 1 : c.isLowSurrogate() ? 0 : 2;
        const bool closing = QStringLiteral(u"，。、；：？！」』）”’…").contains(c);
        if (w + cw > width && !closing && !c.isLowSurrogate()) {
            lines << line;
            line.clear();
            w = 0;
        }
        line += c;
        w += cw;
    }
    lines << line;
    return lines;
}

int roundTrip(const QStringList& paths, int width, bool indent, bool verbose)
{
    out(QStringLiteral(u"novel\twrapped\twidth\toriginal_paragraphs\twrapped_lines\tjoins\trestored\tjoined_"
                       u"two\tleft_split"));
    qint64 allJoins = 0, allOver = 0, allUnder = 0, allWrappedParas = 0;
    for (const QString& path : paths) {
        Novel n;
        if (!load(path, &n)) {
            return 1;
        }
        // The novel as a wrapping tool leaves it; where each line came from.
        QStringList lines;
        QVector<bool> titles;
        QVector<qsizetype> from;
        for (qsizetype i = 0; i < n.lines.size(); ++i) {
            QString text = n.lines[i];
            while (text.endsWith(u' ') || text.endsWith(u'\u3000')) {
                text.chop(1);
            }
            if (!indent) {
                text = text.trimmed();
            }
            const QStringList parts = n.titles[i] ? QStringList{text} : wrapped(text, width);
            for (const QString& p : parts) {
                lines << p;
                titles << bool(n.titles[i]);
                from << i;
            }
        }
        const WrapProfile profile = surveyLines(lines);
        const QVector<ReflowParagraph> paragraphs = joinAll(profile, lines, titles);
        if (verbose) {
            out(QStringLiteral(u"  profile: width %1 %2, indent marks %3 (%8 of %9 starts), every line %4, "
                               u"broken %5 of %6, longer %7")
                    .arg(profile.width)
                    .arg(profile.measure == WrapMeasure::Columns ? u"columns"_qs : u"characters"_qs)
                    .arg(profile.indentMarksParagraphs)
                    .arg(profile.everyLineIndented)
                    .arg(profile.broken)
                    .arg(profile.lines)
                    .arg(profile.longer)
                    .arg(profile.indentedStarts)
                    .arg(profile.starts));
        }
        qint64 joins = 0, over = 0, under = 0, restored = 0, wrappedParas = 0;
        QVector<int> outputs(n.lines.size());
        for (const ReflowParagraph& p : paragraphs) {
            joins += p.lines - 1;
            const qsizetype first = from[p.line - 1];
            const qsizetype last = from[p.line - 1 + p.lines - 1];
            over += last - first; // originals run together
            for (qsizetype o = first; o < last && verbose; ++o) {
                out(QStringLiteral(u"  joined two: %1 / %2")
                        .arg(n.lines[o].right(20), n.lines[o + 1].left(20)));
            }
            for (qsizetype o = first; o <= last; ++o) {
                ++outputs[o];
            }
        }
        for (qsizetype i = 0; i < n.lines.size(); ++i) {
            const qsizetype pieces = std::count(from.begin(), from.end(), i);
            wrappedParas += pieces > 1;
            under += outputs[i] > 1 ? outputs[i] - 1 : 0;
            if (outputs[i] > 1 && verbose) {
                for (qsizetype k = 0; k < lines.size(); ++k) {
                    if (from[k] == i && k + 1 < lines.size() && from[k + 1] == i) {
                        const WrapSurvey::Shape a = WrapSurvey::shapeOf(lines[k], profile.measure);
                        const WrapSurvey::Shape b = WrapSurvey::shapeOf(lines[k + 1], profile.measure);
                        out(QStringLiteral(u"  left: %1 / %2 (%3+%4)")
                                .arg(lines[k].right(20), lines[k + 1].left(20))
                                .arg(a.width)
                                .arg(b.firstUnit));
                    }
                }
            }
            restored += pieces > 1 && outputs[i] == 1;
        }
        out(QStringLiteral(u"%1\t%2\t%3\t%4\t%5\t%6\t%7\t%8\t%9")
                .arg(n.name, profile.wrapped ? QStringLiteral(u"yes") : QStringLiteral(u"NO"))
                .arg(profile.widthInCharacters())
                .arg(n.lines.size())
                .arg(lines.size())
                .arg(joins)
                .arg(QStringLiteral(u"%1/%2").arg(restored).arg(wrappedParas))
                .arg(over)
                .arg(under));
        allJoins += joins;
        allOver += over;
        allUnder += under;
        allWrappedParas += wrappedParas;
    }
    out(QStringLiteral(
            u"all: %1 joins, %2 paragraphs wrapped, %3 times two paragraphs joined, %4 breaks left")
            .arg(allJoins)
            .arg(allWrappedParas)
            .arg(allOver)
            .arg(allUnder));
    return 0;
}

int speed(const QString& path)
{
    Novel n;
    if (!load(path, &n)) {
        return 1;
    }
    WrapProfile profile = surveyLines(n.lines);
    // Every line shaped and tested, wrapped or not.
    if (profile.width == 0) {
        profile.width = 40;
    }
    profile.wrapped = true;
    // The joiner alone, on decoded lines, as a pass hands them over.
    std::vector<double> rates;
    qint64 joins = 0;
    for (int run = 0; run < 7; ++run) {
        ParagraphJoiner joiner(profile);
        ReflowParagraph p;
        QString buffer;
        qint64 chars = 0;
        QElapsedTimer t;
        t.start();
        for (qsizetype i = 0; i < n.lines.size(); ++i) {
            buffer.resize(0);
            buffer += n.lines[i]; // as a decoder fills the pass's buffer
            if (joiner.push(buffer, i + 1, n.titles[i], p)) {
                chars += p.text.size();
            }
        }
        joiner.finish(p);
        rates.push_back(n.lines.size() / (double(t.nsecsElapsed()) / 1e9));
        joins = joiner.tally().joins + (chars < 0);
    }
    std::sort(rates.begin(), rates.end());
    out(QStringLiteral(u"joiner: %1 lines, %2 joins: %3 million lines/s (median of 7)")
            .arg(n.lines.size())
            .arg(joins)
            .arg(rates[rates.size() / 2] / 1e6, 0, 'f', 2));

    // A pass's own work around it: read, decode, encode and write every line of a novel of about
    // 50 MB (this one repeated), with and without the joiner in between.
    QTemporaryDir dir;
    const QString big = dir.filePath(QStringLiteral(u"big.txt"));
    {
        QFile in(path);
        in.open(QIODevice::ReadOnly);
        const QByteArray bytes = in.readAll();
        QFile f(big);
        f.open(QIODevice::WriteOnly);
        for (qint64 written = 0; written < 50 << 20; written += bytes.size()) {
            f.write(bytes);
        }
    }
    const TextCodec& codec = *n.codec;
    // What a split does with a line that needs no cleanup: its bytes go out as they are.
    auto raw = [&]() {
        LineReader reader;
        reader.open(big);
        reader.setLayout(n.bom, codec.unitSize(), true);
        reader.rewind();
        QByteArray out;
        qint64 written = 0;
        QByteArrayView line, terminator;
        QElapsedTimer t;
        t.start();
        while (reader.next(line, terminator) == LineReader::Line) {
            out.resize(0);
            out.append(line.data(), line.size());
            written += out.size();
        }
        return std::make_pair(double(t.nsecsElapsed()) / 1e9, written);
    };
    auto pass = [&](bool join) {
        LineReader reader;
        reader.open(big);
        reader.setLayout(n.bom, codec.unitSize(), true);
        reader.rewind();
        ParagraphJoiner joiner(profile);
        ReflowParagraph p;
        QString text;
        QByteArray bytes;
        qint64 written = 0;
        QByteArrayView line, terminator;
        auto write = [&](const QString& s) {
            bytes.clear();
            codec.encode(s, bytes);
            written += bytes.size();
        };
        QElapsedTimer t;
        t.start();
        while (reader.next(line, terminator) == LineReader::Line) {
            codec.decode(line.data(), line.size(), text);
            if (!join) {
                write(text);
            } else if (joiner.push(text, reader.lineNumber(), false, p)) {
                write(p.text);
            }
        }
        if (join && joiner.finish(p)) {
            write(p.text);
        }
        return std::make_pair(double(t.nsecsElapsed()) / 1e9, written);
    };
    std::vector<double> bytes, plain, joined;
    for (int run = 0; run < 5; ++run) {
        bytes.push_back(raw().first);
        plain.push_back(pass(false).first);
        joined.push_back(pass(true).first);
    }
    std::sort(bytes.begin(), bytes.end());
    std::sort(plain.begin(), plain.end());
    std::sort(joined.begin(), joined.end());
    const double r = bytes[bytes.size() / 2], a = plain[plain.size() / 2], b = joined[joined.size() / 2];
    out(QStringLiteral(u"%1 MB line by line: bytes as they are %2 s; decoded and encoded %3 s; with the joiner "
                       u"between %4 s (%5 x decoded, %6 x bytes)")
            .arg(QFileInfo(big).size() >> 20)
            .arg(r, 0, 'f', 3)
            .arg(a, 0, 'f', 3)
            .arg(b, 0, 'f', 3)
            .arg(b / a, 0, 'f', 2)
            .arg(b / r, 0, 'f', 2));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    int show = 100, wrapWidth = 0;
    quint32 seed = 27;
    bool forced = false, indent = true, speedRun = false, verbose = false;
    QStringList paths;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == u"--show" && i + 1 < args.size()) {
            show = args[++i].toInt();
        } else if (a == u"--seed" && i + 1 < args.size()) {
            seed = args[++i].toUInt();
        } else if (a == u"--wrap" && i + 1 < args.size()) {
            wrapWidth = args[++i].toInt();
        } else if (a == u"--forced") {
            forced = true;
        } else if (a == u"--no-indent") {
            indent = false;
        } else if (a == u"-v") {
            verbose = true;
        } else if (a == u"--speed") {
            speedRun = true;
        } else {
            paths << a;
        }
    }
    if (paths.isEmpty()) {
        std::fprintf(stderr, "usage: bench_reflow [--show N] [--seed S] [--forced] | --wrap W [--no-indent] [-v] "
                             "| --speed  NOVEL...\n");
        return 2;
    }
    if (speedRun) {
        return speed(paths.first());
    }
    return wrapWidth > 0 ? roundTrip(paths, wrapWidth, indent, verbose) : report(paths, show, seed, forced);
}
