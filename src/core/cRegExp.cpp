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
        m_literal = PatternLiterals::requiredLiteral(pattern);
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
