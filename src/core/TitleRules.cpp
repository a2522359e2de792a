#include "TitleRules.h"

#include "config/Settings.h"
#include "core/TextCodec.h"
#include "core/LineReader.h"
#include "core/TidyTitles.h"
#include "core/cRegExp.h"

#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <algorithm>
#include <utility>

namespace {

const QString Numerals = QStringLiteral(u"0-9○〇一二三四五六七八九十百千万零两壹贰叁肆伍陆柒捌玖拾佰仟萬兩０-９Ｏ");
const QString Space = QStringLiteral(u"[\\s\\t　]*");
// The rules below are saved to config.ini by 推荐规则, which keeps 254 bytes of a value: their
// classes stay short. Numerals of chapter headings in older texts: 廿 and 卅 besides, and the
// dash that careless typing or scanning leaves for 一 (read as 一, a doubtful form).
const QString OldNumerals = QStringLiteral(u"0-9０-９〇○零一二三四五六七八九十百千两兩廿卅—");
const QString Blank = QStringLiteral(u"[\\s　]*");

// A chapter number that may be spaced out, as typeset headings are ("第 十七 回", "第二 十 回"):
// blanks inside it and on either side (the group may end with some: the number reader passes
// over them). Greedy, so that a misread unit is only tried where the real one is missing.
// `group` opens its group: "(", or "(?<num>" in a pattern with an "odd" group (see
// cRegExp::isGuess).
QString spacedNumber(const QString& chars, const QString& group = QStringLiteral("("))
{
    return Blank + group + u'[' + chars + u"]["_qs + chars + u"\\s　]*)"_qs + Blank;
}

// Volume headings without 卷, for novels whose 卷 are their chapters: parts (第二部, 【第二部】),
// collections (集) and books (篇).
QString partVolumes()
{
    const QString num = QStringLiteral(u"[0-9０-９〇○零一二三四五六七八九十百]+");
    const QString sep = QStringLiteral(u"[\\s　:：、·—】-]");
    return QStringLiteral(u"^[\\s　]*[【]?(?|第(%1)(?:部分(?=%2|$)|部(?![队分门长落位下署件族属])|集(?![团合中体结市会])"
                          u"|篇(?!幅))|([上中下])部)%2*([^。，；]{0,30})$")
        .arg(num, sep);
}

TitleRule make(const QString& name, const QString& rule, const QString& example, qint64 serial,
               std::optional<QString> volume = std::nullopt)
{
    TitleRule r;
    r.name = name;
    r.rule = rule;
    r.volume = std::move(volume);
    r.example = example;
    r.id = 7000 + serial; // clear of the negative ids reader apps give their own defaults
    r.serialNumber = serial;
    return r;
}

// Index just past the atom that starts at `i` (an escape, a class, "." or a character), or -1
// when it is a group or beyond this reading.
qsizetype atomAfter(const QString& p, qsizetype i)
{
    const qsizetype n = p.size();
    if (i >= n) {
        return -1;
    }
    const QChar c = p[i];
    if (c == u'\\') {
        if (i + 1 >= n) {
            return -1;
        }
        const QChar e = p[i + 1];
        if (e == u'x' || e == u'p' || e == u'P' || e == u'N' || e == u'o') {
            if (i + 2 < n && p[i + 2] == u'{') {
                const qsizetype close = p.indexOf(u'}', i + 3);
                return close < 0 ? -1 : close + 1;
            }
            return e == u'x' ? -1 : i + 2; // "\xhh" is read no further
        }
        if (e.isDigit() || e == u'g' || e == u'k' || e == u'Q' || e == u'E' || e == u'c' || e == u'K') {
            return -1; // back-references, quoting, controls
        }
        return i + 2;
    }
    if (c == u'[') {
        qsizetype k = i + 1;
        if (k < n && p[k] == u'^') {
            ++k;
        }
        if (k < n && p[k] == u']') {
            ++k;
        }
        while (k < n && p[k] != u']') {
            if (p[k] == u'\\') {
                ++k;
            } else if (p[k] == u'[' && k + 1 < n && p[k + 1] == u':') {
                const qsizetype close = p.indexOf(QLatin1String(":]"), k + 2);
                if (close < 0) {
                    return -1;
                }
                k = close + 1;
            }
            ++k;
        }
        return k < n ? k + 1 : -1;
    }
    if (QStringLiteral("()|*+?{}^$").contains(c)) {
        return -1;
    }
    return i + 1;
}

// The quantifier at `i`: its least and greatest count (-1: no limit) and where it ends; false
// when there is none.
bool quantifierAt(const QString& p, qsizetype i, int* least, int* most, qsizetype* end)
{
    if (i >= p.size()) {
        return false;
    }
    const QChar q = p[i];
    qsizetype e = i + 1;
    if (q == u'*') {
        *least = 0, *most = -1;
    } else if (q == u'+') {
        *least = 1, *most = -1;
    } else if (q == u'?') {
        *least = 0, *most = 1;
    } else if (q == u'{') {
        const qsizetype close = p.indexOf(u'}', i);
        if (close < 0) {
            return false;
        }
        const QStringList bounds = p.mid(i + 1, close - i - 1).split(u',');
        bool okLeast = false, okMost = true;
        *least = bounds.value(0).toInt(&okLeast);
        *most = bounds.size() == 1 ? *least : bounds[1].isEmpty() ? -1 : bounds[1].toInt(&okMost);
        if (!okLeast || !okMost || bounds.size() > 2) {
            return false;
        }
        e = close + 1;
    } else {
        return false;
    }
    if (e < p.size() && (p[e] == u'?' || p[e] == u'+')) {
        ++e; // lazy or possessive: the same in an assertion, which matches once
    }
    *end = e;
    return true;
}

// Index of the ")" that closes the group opening at `open`, or -1.
qsizetype closingParen(const QString& p, qsizetype open)
{
    int depth = 0;
    for (qsizetype i = open; i < p.size(); ++i) {
        if (p[i] == u'\\' || p[i] == u'[') {
            const qsizetype after = atomAfter(p, i);
            if (after < 0) {
                return -1;
            }
            i = after - 1;
        } else if (p[i] == u'(') {
            ++depth;
        } else if (p[i] == u')' && --depth == 0) {
            return i;
        }
    }
    return -1;
}

// Whether `p` has a "|" outside any group (or cannot be read).
bool hasTopAlternative(const QString& p)
{
    int depth = 0;
    for (qsizetype i = 0; i < p.size(); ++i) {
        if (p[i] == u'\\' || p[i] == u'[') {
            const qsizetype after = atomAfter(p, i);
            if (after < 0) {
                return true;
            }
            i = after - 1;
        } else if (p[i] == u'(') {
            ++depth;
        } else if (p[i] == u')') {
            --depth;
        } else if (p[i] == u'|' && depth == 0) {
            return true;
        }
    }
    return false;
}

QString compileError(const QString& pattern)
{
    if (pattern.isEmpty()) {
        return QStringLiteral(u"规则为空");
    }
    const QRegularExpression re(pattern, QRegularExpression::CaseInsensitiveOption);
    if (re.isValid()) {
        return QString();
    }
    return QStringLiteral(u"%1 (位置 %2)").arg(re.errorString()).arg(re.patternErrorOffset());
}

} // namespace

QList<TitleRule> builtInTitleRules()
{
    const QString num = u'[' + Numerals + u']';
    const QString volumes = Settings::defaultVolumeText();
    return {
        make(QStringLiteral(u"第…章/节（默认）"), Settings::defaultTitleText(), QStringLiteral(u"第一百零三章 风起"), 0, volumes),
        // 迴 廻 囘 囬 are 回 written otherwise; 日 and 四 before a blank are 回 misread (a doubtful form).
        make(QStringLiteral(u"第…回"),
             u"第"_qs + spacedNumber(OldNumerals, u"(?<num>"_qs) + u"(?:[回迴廻囘囬]|(?<odd>[日四])(?=[\\s　]|$))"_qs + Blank
                 + u"(?<title>.*)"_qs,
             QStringLiteral(u"第十二回 史湘云醉眠"), 1, volumes),
        // The match starts at the chapter ("\K"): the volume before it on the line is a volume.
        make(QStringLiteral(u"第…卷 + 第…章"),
             u"第"_qs + num + u"+[卷部集]"_qs + Space + u"\\K第("_qs + num + u"+)[章节回]"_qs + Space + u"(.*)"_qs,
             QStringLiteral(u"第二卷 第十五章 出山"), 2, volumes),
        make(QStringLiteral(u"Chapter N"), QStringLiteral(u"^\\s*chapter\\s*([0-9]+)[\\s:.：-]*(.*)"),
             QStringLiteral(u"Chapter 12: The Storm"), 3,
             QStringLiteral(u"^\\s*(?:volume|book|part)\\s*([0-9]+)[\\s:.：-]*(.{0,40})$")),
        make(QStringLiteral(u"序章/楔子/番外/尾声"),
             u"^"_qs + Space + u"()((?:序章|序言|楔子|引子|尾声|后记|终章|番外)[^，。！？]{0,30})$"_qs,
             QStringLiteral(u"番外一 旧事"), 4),
        make(QStringLiteral(u"1、标题"), u"^"_qs + Space + u"([0-9０-９]{1,5})[、.．:：]"_qs + Space + u"(\\S.{0,40})$"_qs,
             QStringLiteral(u"12、重逢"), 5),
        make(QStringLiteral(u"【…】括号标题"),
             u"^"_qs + Space + u"【"_qs + Space + u"(?:第("_qs + num + u"+)[章回节])?"_qs + Space + u"([^】]*)】"_qs + Space + u"$"_qs,
             QStringLiteral(u"【第三章 归来】"), 6, volumes),
        make(QStringLiteral(u"第 … 章/节（数字带空格）"),
             u"第"_qs + spacedNumber(Numerals) + u"[章节節]"_qs + Blank + u"(.*)"_qs, QStringLiteral(u"第 12 章 重逢"), 7, volumes),
        // Novels whose every 卷 is a story or a chapter, with no 回 or 章 below it; their
        // volumes are parts.
        make(QStringLiteral(u"第…卷/卷之…（以卷为章）"),
             u"(?|第"_qs + Blank + u"(["_qs + OldNumerals + u"]+)"_qs + Blank + u"卷|卷"_qs + Blank + u"之?"_qs + Blank
                 + u"(["_qs + OldNumerals + u"]+)(?=[\\s　]|$))"_qs + Blank + u"(.*)"_qs,
             QStringLiteral(u"卷之三 俞伯牙摔琴谢知音"), 8, partVolumes()),
        // Other units of older prose and plays.
        make(QStringLiteral(u"第…传/则/篇/话/折"),
             u"第"_qs + spacedNumber(OldNumerals) + u"[傳传則则篇話话折齣]"_qs + Blank + u"(.*)"_qs, QStringLiteral(u"第七则 于少保奉旨"),
             9, volumes),
        // A bare number, a blank and a title. One stray character glued to the number
        // ("二十五支 弘度…") makes a doubtful form.
        make(QStringLiteral(u"一 标题（无“第”）"),
             u"^"_qs + Blank + u"(?<num>["_qs + OldNumerals + u"]+)(?:(?<odd>[^\\s　"_qs + OldNumerals
                 + u"，。、；：！？「」『』“”（）…]))?[\\s　]+(?<title>\\S.{0,40})$"_qs,
             QStringLiteral(u"五十一 邱一所抢伞"), 10, volumes),
    };
}

QString fixLookbehinds(const QString& pattern, QStringList* notes)
{
    QString p = pattern;
    for (qsizetype i = 0; i + 3 < p.size(); ++i) {
        if (p[i] == u'\\') {
            ++i;
            continue;
        }
        if (p[i] == u'[') {
            const qsizetype after = atomAfter(p, i);
            if (after < 0) {
                break;
            }
            i = after - 1;
            continue;
        }
        if (p.mid(i, 4) != QLatin1String("(?<=") && p.mid(i, 4) != QLatin1String("(?<!")) {
            continue;
        }
        const bool positive = p[i + 3] == u'=';
        const qsizetype close = closingParen(p, i);
        const qsizetype atomEnd = atomAfter(p, i + 4);
        int least = 0, most = 0;
        qsizetype end = 0;
        if (close < 0 || atomEnd < 0 || !quantifierAt(p, atomEnd, &least, &most, &end) || least == most
            || end > close || hasTopAlternative(p.mid(i + 4, close - i - 4))) {
            continue;
        }
        const QString atom = p.mid(i + 4, atomEnd - i - 4);
        const QString fixed = least == 0 ? QString() : least == 1 ? atom : atom + u'{' + QString::number(least) + u'}';
        const QString before = p.mid(i, close + 1 - i);
        QString after = p.mid(i, 4) + fixed + p.mid(end, close + 1 - end);
        if (after.size() == 5) { // "(?<=)" or "(?<!)"
            if (!positive) {
                continue; // never holds: not ours to change
            }
            after.clear();
        }
        p.replace(i, before.size(), after);
        notes->append(after.isEmpty() ? QStringLiteral(u"去掉总能成立的后行断言 %1").arg(before)
                                      : QStringLiteral(u"%1 改为 %2").arg(before, after));
        i += after.size() - 1;
    }
    return p;
}

bool importTitleRules(const QByteArray& json, QList<TitleRule>* rules, QString* error)
{
    QJsonParseError parse;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parse);
    if (parse.error != QJsonParseError::NoError) {
        *error = QStringLiteral(u"不是有效的 JSON：%1（位置 %2）").arg(parse.errorString()).arg(parse.offset);
        return false;
    }
    if (!doc.isArray()) {
        *error = QStringLiteral(u"JSON 不是规则数组");
        return false;
    }
    rules->clear();
    for (const QJsonValue& v : doc.array()) {
        const QJsonObject o = v.toObject();
        TitleRule r;
        r.name = o.value(QLatin1String("name")).toString();
        r.rule = o.value(QLatin1String("rule")).toString();
        r.example = o.value(QLatin1String("example")).toString();
        r.enable = o.value(QLatin1String("enable")).toBool(true);
        r.id = qint64(o.value(QLatin1String("id")).toDouble());
        r.serialNumber = qint64(o.value(QLatin1String("serialNumber")).toDouble());
        if (const QJsonValue volume = o.value(QLatin1String("volume")); volume.isString()) {
            r.volume = volume.toString();
        }
        r.error = compileError(r.rule);
        if (!r.error.isEmpty() && r.rule.contains(QLatin1String("(?<"))) {
            QStringList notes;
            const QString fixed = fixLookbehinds(r.rule, &notes);
            if (!notes.isEmpty() && compileError(fixed).isEmpty()) {
                r.rule = fixed;
                r.error.clear();
                r.rewritten = notes.join(QStringLiteral(u"；"));
            }
        }
        rules->append(r);
    }
    return true;
}

QByteArray exportTitleRules(const QList<TitleRule>& rules)
{
    QJsonArray array;
    for (const TitleRule& r : rules) {
        QJsonObject o;
        o.insert(QLatin1String("id"), double(r.id));
        o.insert(QLatin1String("enable"), r.enable);
        o.insert(QLatin1String("name"), r.name);
        o.insert(QLatin1String("rule"), r.rule);
        o.insert(QLatin1String("example"), r.example);
        o.insert(QLatin1String("serialNumber"), double(r.serialNumber));
        if (r.volume) {
            o.insert(QLatin1String("volume"), *r.volume);
        }
        array.append(o);
    }
    return QJsonDocument(array).toJson(QJsonDocument::Indented);
}

namespace {

// The text the rules are tried on, in parts that each hold whole lines in file order: the
// whole novel, or samples spread evenly over a large one (a long preface or an appendix
// must not decide).
QList<QStringList> readForTrial(LineReader& reader, const TextCodec& codec, qint64 wholeLimit)
{
    constexpr int Samples = TrialSamples;
    constexpr qint64 SampleBytes = TrialSampleBytes;
    const qint64 size = QFileInfo(reader.openFilePath()).size();
    QList<QStringList> parts;
    QByteArrayView line, term;
    if (size <= wholeLimit) {
        QStringList lines;
        reader.rewind();
        while (reader.next(line, term) == LineReader::Line) {
            lines.append(codec.decode(line));
        }
        parts.append(lines);
    } else {
        for (int k = 0; k < Samples; ++k) {
            // Even offsets keep a UTF-16 text on its units; the first and last lines of a
            // sample other than the novel's own are cut and left out.
            const qint64 from = (size - SampleBytes) * k / (Samples - 1) & ~qint64(1);
            const qint64 to = std::min(size, from + SampleBytes);
            if (!(k == 0 ? reader.rewind() : reader.rewindTo(from, to))) {
                break;
            }
            QStringList lines;
            bool first = k > 0;
            while (reader.next(line, term) == LineReader::Line && (k > 0 || reader.lineOffset() < to)) {
                if (!std::exchange(first, false)) {
                    lines.append(codec.decode(line));
                }
            }
            if (to < size && !lines.isEmpty()) {
                lines.removeLast();
            }
            parts.append(lines);
        }
    }
    reader.rewind();
    return parts;
}

struct PartTrial {
    int titles = 0;
    double evidence = 0;
    QHash<QChar, int> units; ///< how often each unit ends a heading of the sequence
};

// What one rule finds in one part.
PartTrial tryOnPart(cRegExp& re, const QStringList& lines, const QVector<int>& filled)
{
    PartTrial t;
    QList<int> at;
    QVector<TidyTitle> finds;
    QVector<QChar> units; // the character that ends each heading, when it is no numeral
    qint16 lastNumber = 0;
    for (int i = 0; i < lines.size(); ++i) {
        if (re.GetMatch(lines[i])) {
            at.append(i);
            const QString heading = re.textBeforeTitle();
            const QChar last = heading.isEmpty() ? QChar() : heading.back();
            units.append(last.isLetter() && !OldNumerals.contains(last) && !Numerals.contains(last) ? last : QChar());
            TidyTitle f;
            f.number = re.ChaptorNum(lastNumber);
            lastNumber = f.number > 0 ? f.number : lastNumber;
            f.standalone = looksLikeHeading(lines[i], re.matchStart(), re.titleStart());
            f.guess = re.isGuess();
            f.runningText = inRunningText(lines[i], re.matchStart());
            finds.append(f);
        }
    }
    t.titles = int(at.size());
    if (t.titles < 2) {
        return t;
    }
    for (int k = 0; k < t.titles; ++k) {
        const int end = k + 1 < t.titles ? at[k + 1] : int(lines.size());
        int body = 0;
        for (int i = at[k] + 1; i < end && body < BodyCap; ++i) {
            body += filled[i];
        }
        finds[k].body = std::min(body, BodyCap);
        finds[k].textAfter = body > 0 || k + 1 == t.titles;
    }
    // The evidence is the chapter sequence the finds make (numbers rising, headings rather
    // than sentences, contents lists left out), and weakly the headings without a number.
    int numbered = 0;
    const QVector<bool> sequence = tidySequence(finds, &numbered);
    t.evidence = double(std::count(sequence.cbegin(), sequence.cend(), true));
    for (int k = 0; k < t.titles; ++k) {
        if (sequence[k] && !finds[k].guess && !units[k].isNull()) {
            ++t.units[units[k]];
        }
    }
    for (const TidyTitle& f : std::as_const(finds)) {
        t.evidence += f.number <= 0 && f.standalone ? 0.2 : 0.0;
    }
    return t;
}

} // namespace

QList<RuleTrial> tryTitleRules(LineReader& reader, const TextCodec& codec, const QList<TitleRule>& rules, qint64 wholeLimit)
{
    // The lines are read once and kept, and every rule sees them.
    const QList<QStringList> parts = readForTrial(reader, codec, wholeLimit);
    // Non-blank characters of each line, for what stands between two titles.
    QList<QVector<int>> filled;
    qsizetype lineCount = 0;
    for (const QStringList& lines : parts) {
        QVector<int> f(lines.size());
        for (qsizetype i = 0; i < lines.size(); ++i) {
            f[i] = int(std::count_if(lines[i].cbegin(), lines[i].cend(), [](QChar c) {
                return !c.isSpace() && c != u'\u3000';
            }));
        }
        filled.append(f);
        lineCount += lines.size();
    }

    QList<RuleTrial> trials;
    for (const TitleRule& rule : rules) {
        RuleTrial t;
        cRegExp re;
        re.InitRegexp(rule.rule);
        if (!re.isValid() || rule.rule.isEmpty()) {
            trials.append(t);
            continue;
        }
        double evidence = 0;
        QHash<QChar, int> units;
        for (qsizetype p = 0; p < parts.size(); ++p) {
            const PartTrial part = tryOnPart(re, parts[p], filled[p]);
            t.titles += part.titles;
            evidence += part.evidence;
            for (auto it = part.units.cbegin(); it != part.units.cend(); ++it) {
                units[it.key()] += it.value();
            }
        }
        // A unit that ends most headings of the sequence, not a stray one.
        int most = int(evidence) / 2;
        for (auto it = units.cbegin(); it != units.cend(); ++it) {
            if (it.value() > most) {
                most = it.value();
                t.unit = it.key();
            }
        }
        // A pattern that takes a large share of all lines is not finding titles; a text of a
        // few dozen lines is too short to tell.
        constexpr qsizetype FewLines = 200;
        const double share = double(t.titles) / std::max<qsizetype>(1, lineCount);
        t.score = evidence * (share > 0.2 && lineCount >= FewLines ? 0.1 : 1.0);
        trials.append(t);
    }
    return trials;
}

QString suggestionName(const TitleRule& rule, const RuleTrial& trial)
{
    if (trial.unit.isNull() || rule.name.contains(trial.unit)) {
        return rule.name;
    }
    return QStringLiteral(u"%1（以“%2”为单位）").arg(rule.name, trial.unit);
}

int suggestTitleRule(const QList<RuleTrial>& trials)
{
    int best = -1;
    double bestScore = 1.0; // below two plausible titles there is nothing to suggest
    for (int i = 0; i < trials.size(); ++i) {
        if (trials[i].score > bestScore) {
            best = i;
            bestScore = trials[i].score;
        }
    }
    return best;
}

QString trialScope(qint64 size, qint64 wholeLimit)
{
    if (size <= wholeLimit) {
        return QStringLiteral(u"全文中");
    }
    auto mb = [](qint64 bytes) { return QString::number(double(bytes) / (1024 * 1024), 'f', bytes < (10 << 20) ? 1 : 0); };
    return QStringLiteral(u"全文各处抽取的 %1 段（共 %2 MB，全文 %3 MB）中")
        .arg(TrialSamples)
        .arg(mb(TrialSamples * TrialSampleBytes), mb(size));
}
