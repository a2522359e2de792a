#pragma once

#include <QList>
#include <QString>

/// What the text of a title or cleanup pattern proves about every match, read without running
/// it: a text each match contains, or the texts each match begins with. The passes search for
/// these first and run the pattern only where they stand, so every reading here gives an answer
/// only when it is certain: a missing shortcut costs time, a wrong one loses titles.
namespace PatternLiterals {

/// A text that every match of the pattern must contain (for skipping lines cheaply), or empty
/// when the pattern does not make one provable.
QString requiredLiteral(const QString& pattern);

/// When every match begins with `literal` directly followed by one character of a plain class
/// (as in "第([0-9一二…]+)章"), gives the literal and the class's characters.
bool leadingLiteralAndClass(const QString& pattern, QString* literal, QString* classChars);

/// A text that begins a match, and the characters that may follow it (empty: any).
struct LeadingText {
    QString literal;
    QString follows;
};

/// When every match begins, after an optional "^" and optional blanks ("[\s　]*"), with one of
/// the given texts (the alternatives of a group each naming their own, as in
/// "^(?:第([一二…]+)卷|卷([一二…]+)|([上下])卷)"), gives them. Alternatives that begin with a
/// class followed by plain text ("[上下]卷") give that text. False when the pattern does not
/// make this provable; no text is then safe to search for.
bool leadingTexts(const QString& pattern, QList<LeadingText>* texts);

} // namespace PatternLiterals
