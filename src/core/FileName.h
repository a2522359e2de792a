#pragma once

#include <QString>

/// Builds an output file name from a name template. The placeholders "%idn%" and "%chapn%" take the
/// number and the chapter number zero-filled to n digits (no digit or 0: three), "%title%" the title.
/// The part before the extension is cut to 80 UTF-16 units, cleared of characters a file name may not
/// hold, and ".txt" is appended; an empty result still gets ".txt".
QString MakeFileName(const QString& outFile, qint32 number, qint16 chapNum, const QString& title);

/// The text cut to at most `maxUnits` UTF-16 units, never between the two halves of a surrogate
/// pair (half a character no file system can encode).
QString CutAtCharacter(const QString& text, qsizetype maxUnits);

/// Removes every character that may not appear in a file name: \ / : * ? " < > | and the control
/// characters U+0000 to U+001F and U+007F.
QString StripIllegalChars(const QString& name);

/// True when the name holds none of the characters StripIllegalChars removes and is not "." or "..".
/// The empty name is legal: whether a name is missing is the caller's concern.
bool IsLegalFileName(const QString& name);

/// Formats a number with at least `width` digits, zero-filled on the left and never cut; a negative
/// number keeps its minus sign in front of the zeros (-5 with width 3 gives "-005").
QString ZeroFill(qint64 value, int width);
