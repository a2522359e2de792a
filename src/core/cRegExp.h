#pragma once

#include "core/BoundedRegex.h"
#include "core/PatternLiterals.h"

#include <memory>

#include <QRegularExpression>
#include <QRegularExpressionMatch>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <vector>

/// Knows what a chapter title looks like: title matching, chapter numbers, filter strings,
/// the blank-line test and traditional-to-simplified conversion. One instance per pass.
class cRegExp {
public:
    /// Compiles the title pattern (case-insensitive, "." never matches a line feed, "\s" is
    /// the ASCII white-space set). An invalid pattern makes GetMatch fail with errorString().
    void InitRegexp(const QString& pattern);
    bool isValid() const { return m_valid; }
    /// Why the pattern does not compile, with the offset of the fault; empty when it does.
    QString errorString() const { return m_error; }
    /// The reason alone, "… (位置 n)", for callers that name the pattern themselves.
    QString errorDetail() const { return m_errorDetail; }

    /// Tests the line; on a match keeps the leftmost one as the current match.
    bool GetMatch(const QString& line);
    /// Where the current match starts in its line (after a "\K", where that puts it); 0 without one.
    qsizetype matchStart() const { return m_hasMatch ? m_current.capturedStart(0) : 0; }
    /// The whole text of the current match; empty without one.
    QString matchedText() const { return m_hasMatch ? m_current.captured(0) : QString(); }
    /// The current match up to its title (group 2 or "title"), blanks trimmed: "第一卷" of "第一卷 风起";
    /// the whole match when the title group took no part.
    QString textBeforeTitle() const;
    /// Where the title text (group 2 or "title") of the current match starts in its line; -1
    /// without one.
    qsizetype titleStart() const;
    /// Whether the current match is a doubtful form of heading: it took a group named "odd" (a
    /// pattern's way to accept a misread unit, as "(?<odd>日)" for 回), or its number holds a dash
    /// read as 一 ("第十—回") that the pattern names.
    bool isGuess() const;
    /// Lines given to GetMatch are known to be valid UTF-16 (decoded text), which saves a check.
    void setTrustedInput(bool on) { m_trusted = on; }

    /// Title text of the current match (group 2, or the group named "title"), ASCII spaces
    /// trimmed; empty on any failure.
    QString ChaptorTitle() const;
    /// Chapter number of the current match (group 1, or the group named "num"); 0 on any failure.
    qint16 ChaptorNum() const;
    /// The same, where the numeral reads two ways taking the reading nearer `previous` + 1:
    /// the sequence decides whether "一百五" after 149 is 150.
    qint16 ChaptorNum(qint16 previous) const;

    /// Loads the filter strings from `text` split at CR LF, or from `textFilters` (the
    /// configured list) when `text` is empty. Empty pieces are kept and skipped when used.
    void SetFilters(const QString& text, const QString& textFilters);
    const QStringList& filters() const { return m_filters; }
    bool hasFilters() const { return m_hasFilters; }
    /// 1 for the first character of some filter / for any character of some filter.
    bool isFilterFirst(char16_t c) const { return m_hasFilters && m_filterFirst[c]; }
    bool isFilterChar(char16_t c) const { return m_hasFilters && m_filterChar[c]; }

    /// Removes every filter string, in list order, exact and case-sensitive.
    QString& FilterString(QString& line) const;

    /// True when the line holds nothing but CR, LF, U+3000, spaces and filter strings.
    bool IsSpaceLine(QStringView line) const;

    /// Traditional to simplified script, character for character (same length as the input).
    static QString GetSimpleStr(const QString& text);
    /// Simplified to traditional script, character for character.
    static QString GetTraditionStr(const QString& text);

    /// Reads a chapter-number text: unit style ("一百二十三", "两千零五") arithmetically,
    /// digit sequences ("一〇二", "０１２") digit by digit. 0 when empty or above 32767.
    /// A lone digit after 百 or 千 is the ones, as headings write it: "一百一" is 101,
    /// "一百十" and "一百一十" are 110.
    static qint16 ParseChaptorNum(QStringView text);
    /// The same, except that a numeral with a second reading ("一百五" spoken as 150) takes
    /// the reading nearer `previous` + 1 (the first one when `previous` is 0).
    static qint16 ParseChaptorNum(QStringView text, qint16 previous);

    /// A text that every match of the pattern must contain (for skipping lines cheaply),
    /// or empty when the pattern does not make one provable.
    QString requiredLiteral() const { return m_literal; }

    // What a pattern's text proves about its matches, read without running it (PatternLiterals).
    using LeadingText = PatternLiterals::LeadingText;
    static QString requiredLiteralOf(const QString& pattern)
    {
        return PatternLiterals::requiredLiteral(pattern);
    }
    static bool leadingLiteralAndClass(const QString& pattern, QString* literal, QString* classChars)
    {
        return PatternLiterals::leadingLiteralAndClass(pattern, literal, classChars);
    }
    static bool leadingTexts(const QString& pattern, QList<LeadingText>* texts)
    {
        return PatternLiterals::leadingTexts(pattern, texts);
    }

    /// Lines this pattern gave up on since it was set: lines so long, and a pattern backtracking
    /// so much on them, that matching ran out of time. They count as not matching.
    int linesGivenUp() const { return m_givenUp; }

private:
    QStringView numberText() const;

    QRegularExpression m_title;
    QRegularExpressionMatch m_current;
    QString m_pattern;
    std::shared_ptr<BoundedRegex> m_bounded; // long lines; made when first needed
    int m_givenUp = 0;
    bool m_valid = false;
    bool m_hasMatch = false;
    bool m_trusted = false;
    bool m_hasOdd = false;
    bool m_namesDash = false; // the pattern names a dash that the number reader reads as 一
    int m_numberGroup = 1;
    int m_titleGroup = 2;
    QString m_error;
    QString m_errorDetail;
    QString m_literal;
    QStringList m_filters;
    bool m_hasFilters = false;
    std::vector<quint8> m_filterChar;  // every character of every filter, for the quick tests
    std::vector<quint8> m_filterFirst; // first characters of the filters
};
