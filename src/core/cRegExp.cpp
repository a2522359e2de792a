#include "cRegExp.h"

#include "ScriptConverter.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdlib>

namespace {
// Lines from this length on are matched within a time budget.
constexpr qsizetype LongLine = 4096;
constexpr int LongLineBudgetMs = 500;
enum Kind { Other, Digit, Unit };
struct NumeralChar {
    Kind kind;
    int value;
};
NumeralChar classify(char16_t c);
// Dashes that stand for 一 in headings typed or scanned carelessly.
bool isDashForOne(char16_t c)
{
    return c == 0x2014 || c == 0x2015 || c == 0x2500;
}
} // namespace

void cRegExp::InitRegexp(const QString& pattern)
{
    m_title = QRegularExpression(pattern, QRegularExpression::CaseInsensitiveOption);
    m_pattern = pattern;
    m_bounded.reset();
    m_givenUp = 0;
    m_valid = m_title.isValid();
    m_hasMatch = false;
    m_current = QRegularExpressionMatch();
    // Groups named "num" and "title" take the places of groups 1 and 2, so that a pattern may
    // hold other groups (an "odd" one) before its title.
    const QStringList names = m_valid ? m_title.namedCaptureGroups() : QStringList();
    m_hasOdd = names.contains(QLatin1String("odd"));
    m_namesDash = std::any_of(pattern.cbegin(), pattern.cend(), [](QChar c) { return isDashForOne(c.unicode()); });
    m_numberGroup = names.contains(QLatin1String("num")) ? int(names.indexOf(QLatin1String("num"))) : 1;
    m_titleGroup = names.contains(QLatin1String("title")) ? int(names.indexOf(QLatin1String("title"))) : 2;
    if (m_valid) {
        m_title.optimize();
        m_error.clear();
        m_errorDetail.clear();
        m_literal = requiredLiteralOf(pattern);
    } else {
        m_errorDetail = QStringLiteral("%1 (位置 %2)").arg(m_title.errorString()).arg(m_title.patternErrorOffset());
        m_error = QCoreApplication::translate("cRegExp", "章节标题正则表达式有误: %1").arg(m_errorDetail);
        m_literal.clear();
    }
}

bool cRegExp::GetMatch(const QString& line)
{
    if (!m_valid) {
        return false;
    }
    // Decoded lines never hold lone surrogates, so PCRE2's UTF-16 check of every line is
    // skipped; text from elsewhere is checked.
    QRegularExpression::MatchOptions options = m_trusted ? QRegularExpression::DontCheckSubjectStringMatchOption
                                                         : QRegularExpression::NoMatchOption;
    qsizetype from = 0;
    // On a long line a pattern that backtracks badly may search for minutes, out of reach of
    // Stop: there the search runs against a clock, and the match it finds is taken again
    // from where it starts, which costs one position's work.
    if (line.size() >= LongLine) {
        if (!m_bounded) {
            m_bounded = std::make_shared<BoundedRegex>(m_pattern, true);
        }
        BoundedRegex::Scan scan(*m_bounded, line, std::chrono::milliseconds(LongLineBudgetMs));
        const BoundedRegex::Result r = scan.next();
        if (r != BoundedRegex::Match) {
            m_givenUp += r != BoundedRegex::NoMatch;
            return false;
        }
        from = scan.start();
        options |= QRegularExpression::AnchorAtOffsetMatchOption;
    }
    QRegularExpressionMatch m = m_title.match(line, from, QRegularExpression::NormalMatch, options);
    if (!m.hasMatch()) {
        return false;
    }
    m_current = std::move(m);
    m_hasMatch = true;
    return true;
}

QString cRegExp::ChaptorTitle() const
{
    if (!m_hasMatch) {
        return QString();
    }
    // Rules shared by reader apps often have no groups at all: the whole match is the title.
    QStringView t = m_title.captureCount() == 0 ? m_current.capturedView(0).trimmed() : m_current.capturedView(m_titleGroup);
    qsizetype b = 0, e = t.size();
    while (b < e && t[b] == u' ') {
        ++b;
    }
    while (e > b && t[e - 1] == u' ') {
        --e;
    }
    return t.mid(b, e - b).toString();
}

qsizetype cRegExp::titleStart() const
{
    return m_hasMatch && m_title.captureCount() >= m_titleGroup ? m_current.capturedStart(m_titleGroup) : -1;
}

bool cRegExp::isGuess() const
{
    if (!m_hasMatch) {
        return false;
    }
    if (m_hasOdd && m_current.capturedStart(QStringLiteral("odd")) >= 0) {
        return true;
    }
    if (!m_namesDash) {
        return false;
    }
    const QStringView number = numberText();
    return std::any_of(number.begin(), number.end(), [](QChar c) { return isDashForOne(c.unicode()); });
}

QString cRegExp::textBeforeTitle() const
{
    if (!m_hasMatch) {
        return QString();
    }
    const qsizetype title = m_title.captureCount() >= m_titleGroup ? m_current.capturedStart(m_titleGroup) : -1;
    const qsizetype start = m_current.capturedStart(0);
    return (title < start ? m_current.captured(0) : m_current.captured(0).left(title - start)).trimmed();
}

QStringView cRegExp::numberText() const
{
    if (!m_hasMatch) {
        return {};
    }
    if (m_title.captureCount() == 0) {
        // Without groups, the number is the first run of numeral characters in the match.
        const QStringView whole = m_current.capturedView(0);
        qsizetype b = 0;
        while (b < whole.size() && classify(whole[b].unicode()).kind == Other) {
            ++b;
        }
        qsizetype e = b;
        while (e < whole.size() && classify(whole[e].unicode()).kind != Other) {
            ++e;
        }
        return whole.mid(b, e - b);
    }
    return m_current.capturedView(m_numberGroup);
}

qint16 cRegExp::ChaptorNum() const
{
    return m_hasMatch ? ParseChaptorNum(numberText()) : qint16(0);
}

qint16 cRegExp::ChaptorNum(qint16 previous) const
{
    return m_hasMatch ? ParseChaptorNum(numberText(), previous) : qint16(0);
}

void cRegExp::SetFilters(const QString& text, const QString& textFilters)
{
    m_filters = (text.isEmpty() ? textFilters : text).split(QStringLiteral("\r\n"));
    m_hasFilters = false;
    m_filterChar.assign(0x10000, 0);
    m_filterFirst.assign(0x10000, 0);
    for (const QString& f : std::as_const(m_filters)) {
        if (!f.isEmpty()) {
            m_hasFilters = true;
            m_filterFirst[f.at(0).unicode()] = 1;
            for (QChar c : f) {
                m_filterChar[c.unicode()] = 1;
            }
        }
    }
}

QString& cRegExp::FilterString(QString& line) const
{
    if (!m_hasFilters) {
        return line;
    }
    // Most lines hold no filter's first character at all: one cheap scan settles them.
    bool candidate = false;
    for (QChar c : std::as_const(line)) {
        if (m_filterFirst[c.unicode()]) {
            candidate = true;
            break;
        }
    }
    if (!candidate) {
        return line;
    }
    for (const QString& f : m_filters) {
        if (!f.isEmpty() && line.contains(f)) {
            line.remove(f);
        }
    }
    return line;
}

bool cRegExp::IsSpaceLine(QStringView line) const
{
    // Quick answers: a line of spaces only is blank; a line with a character that no removal
    // step can take away is not.
    bool onlySpaces = true;
    for (QChar c : line) {
        const char16_t u = c.unicode();
        if (u == u' ' || u == u'\r' || u == u'\n' || u == 0x3000) {
            continue;
        }
        onlySpaces = false;
        if (!m_hasFilters || !m_filterChar[c.unicode()]) {
            return false;
        }
    }
    if (onlySpaces) {
        return true;
    }
    QString s = line.toString();
    s.remove(u'\r');
    s.remove(u'\n');
    s.remove(QChar(0x3000));
    s.remove(QStringLiteral("   "));
    FilterString(s);
    for (QChar c : std::as_const(s)) {
        if (c != u' ') {
            return false;
        }
    }
    return true;
}

QString cRegExp::GetSimpleStr(const QString& text)
{
    return ScriptConverter::traditionalToSimplified().convert(text);
}

QString cRegExp::GetTraditionStr(const QString& text)
{
    return ScriptConverter::simplifiedToTraditional().convert(text);
}

namespace {

NumeralChar classify(char16_t c)
{
    if (c >= u'0' && c <= u'9') {
        return {Digit, c - u'0'};
    }
    if (c >= 0xFF10 && c <= 0xFF19) { // full-width digits
        return {Digit, c - 0xFF10};
    }
    static const char16_t chinese[] = u"一二三四五六七八九";
    static const char16_t financial[] = u"壹贰叁肆伍陆柒捌玖";
    for (int i = 0; i < 9; ++i) {
        if (c == chinese[i] || c == financial[i]) {
            return {Digit, i + 1};
        }
    }
    if (isDashForOne(c)) {
        return {Digit, 1};
    }
    switch (c) {
    case u'零': case u'○': case u'〇': case 0xFF2F: // Ｏ
        return {Digit, 0};
    case u'两': case u'兩': case u'貳':
        return {Digit, 2};
    case u'參':
        return {Digit, 3};
    case u'陸':
        return {Digit, 6};
    case u'廿': // 二十, 三十, 四十 in one character
        return {Unit, 20};
    case u'卅':
        return {Unit, 30};
    case u'卌':
        return {Unit, 40};
    case u'十': case u'拾':
        return {Unit, 10};
    case u'百': case u'佰':
        return {Unit, 100};
    case u'千': case u'仟':
        return {Unit, 1000};
    case u'万': case u'萬':
        return {Unit, 10000};
    default:
        return {Other, 0};
    }
}

constexpr qint64 Limit = 32767;

} // namespace

namespace {

// Reads a numeral. In unit style a lone digit after a hundreds or thousands unit is the ones
// ("一百一" is 101, as chapter headings write it) unless `colloquial` reads it as the next lower
// place ("一百一" is 110, as in speech); `ambiguous` tells whether the two readings differ.
qint16 parseNumeral(QStringView text, bool colloquial, bool* ambiguous)
{
    *ambiguous = false;
    qsizetype b = 0, e = text.size();
    while (b < e && text[b] == u' ') {
        ++b;
    }
    while (e > b && text[e - 1] == u' ') {
        --e;
    }
    text = text.mid(b, e - b);
    if (text.isEmpty()) {
        return 0;
    }
    bool hasUnit = false;
    for (QChar c : text) {
        if (classify(c.unicode()).kind == Unit) {
            hasUnit = true;
            break;
        }
    }
    qint64 result = 0;
    if (!hasUnit) {
        // Digit by digit: "一〇二" is 102, "0012" is 12.
        for (QChar c : text) {
            const NumeralChar n = classify(c.unicode());
            if (n.kind == Digit) {
                result = result * 10 + n.value;
                if (result > Limit) {
                    return 0;
                }
            }
        }
        return qint16(result);
    }
    // Unit style. `pending` is the digit run not yet given a unit.
    qint64 total = 0;   // whole ten-thousands
    qint64 section = 0; // below ten thousand
    qint64 pending = -1;
    int lastUnit = 0;
    bool zeroSinceUnit = false;
    for (QChar c : text) {
        const NumeralChar n = classify(c.unicode());
        if (n.kind == Digit) {
            if (n.value == 0) {
                zeroSinceUnit = true;
                if (pending > 0) {
                    pending *= 10;
                    if (pending > Limit * 10) {
                        return 0;
                    }
                }
                continue;
            }
            pending = pending < 0 ? n.value : pending * 10 + n.value;
        } else if (n.kind == Unit) {
            if (n.value == 10000) {
                section += pending < 0 ? 0 : pending;
                total += (section == 0 ? 1 : section) * 10000;
                section = 0;
            } else {
                section += (pending < 0 ? 1 : pending) * n.value;
            }
            pending = -1;
            lastUnit = n.value;
            zeroSinceUnit = false;
        }
        if (total + section > Limit * 10 || pending > Limit * 10) {
            return 0;
        }
    }
    if (pending >= 0) {
        // "两万三" is 23000 either way; after 百 and 千 the two readings part.
        const bool lone = lastUnit >= 100 && !zeroSinceUnit && pending < 10;
        *ambiguous = lone && lastUnit < 10000;
        section += lone && (colloquial || lastUnit >= 10000) ? pending * (lastUnit / 10) : pending;
    }
    result = total + section;
    return result > Limit ? 0 : qint16(result);
}

} // namespace

qint16 cRegExp::ParseChaptorNum(QStringView text)
{
    bool ambiguous = false;
    return parseNumeral(text, false, &ambiguous);
}

qint16 cRegExp::ParseChaptorNum(QStringView text, qint16 previous)
{
    bool ambiguous = false;
    const qint16 heading = parseNumeral(text, false, &ambiguous);
    if (!ambiguous || previous <= 0) {
        return heading;
    }
    const qint16 colloquial = parseNumeral(text, true, &ambiguous);
    const int next = previous + 1;
    return colloquial > 0 && std::abs(colloquial - next) < std::abs(heading - next) ? colloquial : heading;
}

namespace {

// Index just past the character class that opens at `open`, or -1 when the class holds
// something this reading does not follow (quoting, control escapes, a broken POSIX name).
qsizetype classEnd(const QString& p, qsizetype open)
{
    const qsizetype n = p.size();
    qsizetype i = open + 1;
    if (i < n && p[i] == u'^') {
        ++i;
    }
    if (i < n && p[i] == u']') {
        ++i; // a "]" first in the class is one of its characters
    }
    while (i < n) {
        const QChar c = p[i];
        if (c == u']') {
            return i + 1;
        }
        if (c == u'\\') {
            if (i + 1 >= n || p[i + 1] == u'Q' || p[i + 1] == u'E' || p[i + 1] == u'c') {
                return -1; // "\c]" is a character, "\Q]\E" quotes one
            }
            i += 2;
            continue;
        }
        if (c == u'[' && i + 1 < n && (p[i + 1] == u':' || p[i + 1] == u'.' || p[i + 1] == u'=')) {
            // "[:space:]" and its kin end at their own ":]"; "]" inside one ends nothing.
            const QChar kind = p[i + 1];
            qsizetype j = i + 2;
            while (j < n && (p[j].isLetter() || p[j] == u'^' || p[j] == u'<' || p[j] == u'>')) {
                ++j;
            }
            if (j + 1 >= n || p[j] != kind || p[j + 1] != u']') {
                return -1;
            }
            i = j + 2;
            continue;
        }
        ++i;
    }
    return -1;
}

// Escapes that stand for one character of a set or for a position, with no argument.
bool isPlainEscape(QChar e)
{
    return QStringView(u"dDsSwWhHvVRXbBAzZGKtnrfae").contains(e);
}

} // namespace

QString cRegExp::requiredLiteralOf(const QString& pattern)
{
    // Only the plain top-level sequence is read. Whatever this reading does not follow
    // (alternation at the top, option settings, verbs, quoting, escapes with an argument,
    // a brace that may or may not be a repeat) gives no literal at all: a missing shortcut
    // costs time, a wrong one loses titles.
    auto caseless = [](QChar c) {
        return !c.isSurrogate() && c.toLower() == c && c.toUpper() == c && c.toCaseFolded() == c;
    };
    QString best, cur;
    auto flush = [&] {
        if (cur.size() > best.size()) {
            best = cur;
        }
        cur.clear();
    };
    int depth = 0;
    const qsizetype n = pattern.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = pattern[i];
        // The atom just read, if it is a literal character.
        QChar literal;
        bool isLiteral = false;
        if (c == u'\\') {
            if (i + 1 >= n) {
                return QString();
            }
            const QChar e = pattern[i + 1];
            i += 2;
            if (e.unicode() < 0x80 && !e.isLetterOrNumber()) {
                literal = e;
                isLiteral = true;
            } else if (!isPlainEscape(e)) {
                return QString(); // \x{..}, \Q..\E, \p{..}, \1, \cX, \N{..}, \g{..} and the like
            }
        } else if (c == u'[') {
            i = classEnd(pattern, i);
            if (i < 0) {
                return QString();
            }
        } else if (c == u'(') {
            if (i + 1 < n && pattern[i + 1] == u'*') {
                return QString(); // (*ACCEPT) and other verbs
            }
            if (i + 1 < n && pattern[i + 1] == u'?') {
                const QChar k = i + 2 < n ? pattern[i + 2] : QChar();
                const QChar k2 = i + 3 < n ? pattern[i + 3] : QChar();
                const bool plain = k == u':' || k == u'=' || k == u'!' || k == u'>'
                                   || (k == u'<' && (k2 == u'=' || k2 == u'!' || k2.isLetter()));
                if (!plain) {
                    return QString(); // option settings, comments, recursion, conditions
                }
            }
            ++depth;
            ++i;
            flush();
            continue;
        } else if (c == u')') {
            if (--depth < 0) {
                return QString();
            }
            ++i;
            flush();
        } else if (c == u'|') {
            if (depth == 0) {
                return QString();
            }
            ++i;
            continue;
        } else if (c == u'{') {
            return QString(); // a literal brace or a repeat, depending on what follows
        } else if (c == u'.' || c == u'^' || c == u'$' || c == u'*' || c == u'+' || c == u'?') {
            ++i; // quantifiers here follow a quantifier: the pattern would not compile
        } else {
            literal = c;
            isLiteral = true;
            ++i;
        }
        // What quantifies the atom?
        bool optional = false;
        bool repeated = false;
        if (i < n) {
            const QChar q = pattern[i];
            if (q == u'*' || q == u'?') {
                optional = true;
                ++i;
            } else if (q == u'+') {
                repeated = true;
                ++i;
            } else if (q == u'{') {
                qsizetype j = i + 1;
                while (j < n && (pattern[j].isDigit() || pattern[j] == u',')) {
                    ++j;
                }
                if (j < n && pattern[j] == u'}' && j > i + 1) {
                    optional = true; // a counted repeat: do not reason about it
                    i = j + 1;
                }
            }
            if ((optional || repeated) && i < n && (pattern[i] == u'?' || pattern[i] == u'+')) {
                ++i; // lazy or possessive
            }
        }
        if (depth == 0 && isLiteral && !optional && caseless(literal)) {
            cur += literal;
            if (repeated) {
                flush();
            }
        } else {
            flush();
        }
    }
    flush();
    return best;
}

bool cRegExp::leadingLiteralAndClass(const QString& pattern, QString* literal, QString* classChars)
{
    // The literal: plain characters from the very start, without case and not quantified.
    qsizetype i = 0;
    const qsizetype n = pattern.size();
    QString lit;
    while (i < n) {
        const QChar c = pattern[i];
        if (QStringLiteral("\\[](){}.*+?|^$").contains(c) || c.isSurrogate() || c.toLower() != c
            || c.toUpper() != c || c.toCaseFolded() != c) {
            break;
        }
        lit += c;
        ++i;
    }
    if (lit.isEmpty() || i >= n) {
        return false;
    }
    if (pattern[i] == u'*' || pattern[i] == u'?' || pattern[i] == u'{' || pattern[i] == u'+') {
        return false; // the last character is quantified
    }
    // An optional group opening, which must not hold an alternative at its own level.
    if (pattern[i] == u'(') {
        qsizetype j = i + 1;
        if (pattern.mid(j, 2) == QLatin1String("?:")) {
            j += 2;
        } else if (j < n && pattern[j] == u'?') {
            return false; // lookaround, named group or option setting
        }
        int depth = 1;
        qsizetype k = j;
        while (k < n && depth > 0) {
            const QChar c = pattern[k];
            if (c == u'\\') {
                k += 2;
                continue;
            }
            if (c == u'[') {
                k = classEnd(pattern, k);
                if (k < 0) {
                    return false;
                }
                continue;
            }
            if (c == u'(') {
                ++depth;
            } else if (c == u')') {
                --depth;
            } else if (c == u'|' && depth == 1) {
                return false;
            }
            ++k;
        }
        // The group may be left out as a whole ("第([0-9]+)?章" matches "第章").
        if (depth > 0 || (k < n && (pattern[k] == u'?' || pattern[k] == u'*' || pattern[k] == u'{'))) {
            return false;
        }
        i = j;
    }
    if (i >= n || pattern[i] != u'[' || (i + 1 < n && pattern[i + 1] == u'^')) {
        return false;
    }
    // The class: plain characters, ranges and the escapes \s \t \d only.
    QString set;
    qsizetype k = i + 1;
    QChar prev;
    bool havePrev = false;
    if (k < n && pattern[k] == u']') {
        set += u']'; // first in the class, "]" is one of its characters
        prev = u']';
        havePrev = true;
        ++k;
    }
    while (k < n && pattern[k] != u']') {
        QChar c = pattern[k];
        if (c == u'\\') {
            if (k + 1 >= n) {
                return false;
            }
            const QChar e = pattern[k + 1];
            k += 2;
            if (e == u's') {
                set += QStringLiteral(" \t\n\r\f\v");
                havePrev = false;
                continue;
            }
            if (e == u'd') {
                set += QStringLiteral("0123456789");
                havePrev = false;
                continue;
            }
            if (e == u't') {
                c = u'\t';
            } else if (!e.isLetterOrNumber() && e.unicode() < 0x80) {
                c = e;
            } else {
                return false;
            }
        } else if (c == u'[') {
            return false; // POSIX classes and the like
        } else if (c == u'-' && havePrev && k + 1 < n && pattern[k + 1] != u']') {
            const QChar to = pattern[k + 1];
            if (to == u'\\' || to.isSurrogate() || prev.isSurrogate() || to < prev) {
                return false;
            }
            for (char16_t u = prev.unicode() + 1; u <= to.unicode(); ++u) {
                set += QChar(u);
            }
            k += 2;
            havePrev = false;
            continue;
        } else {
            ++k;
        }
        if (c.isSurrogate()) {
            return false;
        }
        set += c;
        prev = c;
        havePrev = true;
    }
    if (k >= n) {
        return false;
    }
    const QChar after = k + 1 < n ? pattern[k + 1] : QChar();
    if (after == u'*' || after == u'?' || after == u'{') {
        return false; // the class may match nothing
    }
    // The pattern is case-insensitive: a letter stands for every character that folds to
    // the same case (full-width Ｏ and ｏ, k and the Kelvin sign).
    QString cased;
    for (QChar c : std::as_const(set)) {
        if (c.toLower() != c || c.toUpper() != c || c.toCaseFolded() != c) {
            const QChar folded = c.toCaseFolded();
            for (char32_t u = 0; u < 0x10000; ++u) {
                if (!QChar::isSurrogate(u) && QChar(char16_t(u)).toCaseFolded() == folded) {
                    cased += QChar(char16_t(u));
                }
            }
        }
    }
    *literal = lit;
    *classChars = set + cased;
    return true;
}

namespace {

// Index of the character that ends what starts at `i` when it is an escape or a class (the
// last index that belongs to it), or -1 when the class is beyond this reading.
qsizetype atomEnd(const QString& p, qsizetype i)
{
    if (p[i] == u'\\') {
        return i + 1 < p.size() ? i + 1 : -1;
    }
    if (p[i] == u'[') {
        const qsizetype e = classEnd(p, i);
        return e < 0 ? -1 : e - 1;
    }
    return i;
}

// The top-level alternatives of `p`; empty when its structure is beyond this reading.
QStringList topAlternatives(const QString& p)
{
    QStringList parts;
    int depth = 0;
    qsizetype from = 0;
    for (qsizetype i = 0; i < p.size(); ++i) {
        const qsizetype end = atomEnd(p, i);
        if (end < 0) {
            return {};
        }
        if (end > i) {
            i = end;
            continue;
        }
        if (p[i] == u'(') {
            ++depth;
        } else if (p[i] == u')') {
            if (--depth < 0) {
                return {};
            }
        } else if (p[i] == u'|' && depth == 0) {
            parts << p.mid(from, i - from);
            from = i + 1;
        }
    }
    if (depth != 0) {
        return {};
    }
    parts << p.mid(from);
    return parts;
}

// Index of the ")" closing the group that opens at `open`, or -1.
qsizetype groupClose(const QString& p, qsizetype open)
{
    int depth = 0;
    for (qsizetype i = open; i < p.size(); ++i) {
        const qsizetype end = atomEnd(p, i);
        if (end < 0) {
            return -1;
        }
        if (end > i) {
            i = end;
        } else if (p[i] == u'(') {
            ++depth;
        } else if (p[i] == u')' && --depth == 0) {
            return i;
        }
    }
    return -1;
}

// Length of the group opener at `i` that this reading follows: "(", "(?:" or "(?|"; 0 otherwise.
qsizetype groupOpener(const QString& p, qsizetype i)
{
    if (i >= p.size() || p[i] != u'(') {
        return 0;
    }
    if (i + 1 < p.size() && p[i + 1] == u'?') {
        return i + 2 < p.size() && (p[i + 2] == u':' || p[i + 2] == u'|') ? 3 : 0;
    }
    return i + 1 < p.size() && p[i + 1] == u'*' ? 0 : 1;
}

bool isQuantifier(QChar c)
{
    return c == u'*' || c == u'?' || c == u'{' || c == u'+';
}

// Plain characters without case from `i` on, less a last one that is optional.
QString literalRun(const QString& p, qsizetype i)
{
    QString run;
    for (; i < p.size(); ++i) {
        const QChar c = p[i];
        if (QStringLiteral("\\[](){}.*+?|^$").contains(c) || c.isSurrogate() || c.toLower() != c || c.toUpper() != c
            || c.toCaseFolded() != c) {
            break;
        }
        run += c;
    }
    if (!run.isEmpty() && i < p.size() && isQuantifier(p[i]) && p[i] != u'+') {
        run.chop(1);
    }
    return run;
}

// The text that begins every match of one alternative (no "|" at its top level).
bool alternativeLead(const QString& alt, QList<cRegExp::LeadingText>* texts)
{
    QString literal, chars;
    if (cRegExp::leadingLiteralAndClass(alt, &literal, &chars)) {
        texts->append({literal, chars});
        return true;
    }
    if (const QString run = literalRun(alt, 0); !run.isEmpty()) {
        texts->append({run, QString()});
        return true;
    }
    // A class, alone or in a group of its own, then plain text: "[上下]卷", "([上下])卷".
    qsizetype i = groupOpener(alt, 0);
    const bool grouped = i > 0;
    if (i >= alt.size() || alt[i] != u'[') {
        return false;
    }
    i = classEnd(alt, i);
    if (i < 0 || (grouped && (i >= alt.size() || alt[i++] != u')'))) {
        return false;
    }
    if (i < alt.size() && isQuantifier(alt[i])) {
        if (alt[i] != u'+') {
            return false;
        }
        ++i;
    }
    const QString run = literalRun(alt, i);
    if (run.isEmpty()) {
        return false;
    }
    texts->append({run, QString()});
    return true;
}

bool sequenceLeads(const QString& seq, QList<cRegExp::LeadingText>* texts)
{
    // A "^" and runs of blanks before the heading itself.
    qsizetype i = 0;
    if (i < seq.size() && seq[i] == u'^') {
        ++i;
    }
    for (;;) {
        qsizetype end = -1;
        if (i < seq.size() && seq[i] == u'[') {
            end = classEnd(seq, i);
        } else if (i + 1 < seq.size() && seq[i] == u'\\' && (seq[i + 1] == u's' || seq[i + 1] == u't')) {
            end = i + 2;
        }
        if (end < 0 || end >= seq.size() || (seq[end] != u'*' && seq[end] != u'+' && seq[end] != u'?')) {
            break;
        }
        i = end + 1;
    }
    const QString rest = seq.mid(i);
    if (alternativeLead(rest, texts)) {
        return true;
    }
    // A group of alternatives, each beginning with its own text.
    const qsizetype open = groupOpener(rest, 0);
    if (open == 0) {
        return false;
    }
    const qsizetype close = groupClose(rest, 0);
    if (close < 0 || (close + 1 < rest.size() && isQuantifier(rest[close + 1]) && rest[close + 1] != u'+')) {
        return false;
    }
    const QStringList alts = topAlternatives(rest.mid(open, close - open));
    if (alts.isEmpty()) {
        return false;
    }
    for (const QString& alt : alts) {
        if (!sequenceLeads(alt, texts)) {
            return false;
        }
    }
    return true;
}

} // namespace

bool cRegExp::leadingTexts(const QString& pattern, QList<LeadingText>* texts)
{
    if (pattern.contains(QLatin1String("\\Q"))) {
        return false; // quoted text may hold any of the characters read as structure here
    }
    QList<LeadingText> found;
    const QStringList alts = topAlternatives(pattern);
    if (alts.isEmpty()) {
        return false;
    }
    for (const QString& alt : alts) {
        if (!sequenceLeads(alt, &found)) {
            return false;
        }
    }
    *texts = found;
    return true;
}
