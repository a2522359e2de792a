#include "output/FileName.h"

#include <QRegularExpression>

#include <algorithm>

namespace {

constexpr qsizetype MaxNameLength = 80;
constexpr int DefaultWidth = 3;
const QString IllegalNameChars = QStringLiteral("\\/:*?\"<>|");

bool isControlChar(QChar c) {
    return c.unicode() < 0x20 || c.unicode() == 0x7F;
}

bool isIllegalChar(QChar c) {
    return isControlChar(c) || IllegalNameChars.contains(c);
}

// Every distinct match is replaced wherever its whole text occurs, in match order, so a repeated
// placeholder is filled by its first match and later identical matches find nothing left.
void fillPlaceholder(QString& text, const QRegularExpression& pattern, qint64 value) {
    QStringList matched;
    QList<int> widths;
    for (auto it = pattern.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const QString digit = m.captured(1);
        const int width = digit.isEmpty() ? 0 : digit.toInt();
        matched.append(m.captured(0));
        widths.append(width == 0 ? DefaultWidth : width);
    }
    for (qsizetype i = 0; i < matched.size(); ++i)
        text.replace(matched.at(i), ZeroFill(value, widths.at(i)));
}

} // namespace

QString ZeroFill(qint64 value, int width) {
    // Work on the magnitude as unsigned so the smallest qint64 does not overflow when negated.
    const quint64 magnitude = value < 0 ? quint64(0) - quint64(value) : quint64(value);
    const QString digits = QString::number(magnitude).rightJustified(width, u'0');
    return value < 0 ? u'-' + digits : digits;
}

QString MakeFileName(const QString& outFile, qint32 number, qint16 chapNum, const QString& title) {
    static const QRegularExpression idPattern(QStringLiteral("%id([0-9]?)%"));
    static const QRegularExpression chapPattern(QStringLiteral("%chap([0-9]?)%"));

    QString name = outFile;
    fillPlaceholder(name, idPattern, number);
    fillPlaceholder(name, chapPattern, chapNum);
    // The title goes in last so that placeholder-like text inside it stays literal.
    name.replace(QStringLiteral("%title%"), title);

    if (name.size() > MaxNameLength) {
        name.truncate(MaxNameLength);
        // A cut through a surrogate pair would leave half a character that no file system can encode.
        if (name.back().isHighSurrogate())
            name.chop(1);
    }
    // The ".txt" appended here also keeps a name part of "." or ".." from naming a directory entry.
    return StripIllegalChars(name) + QStringLiteral(".txt");
}

QString StripIllegalChars(const QString& name) {
    QString result = name;
    result.removeIf(isIllegalChar);
    return result;
}

bool IsLegalFileName(const QString& name) {
    if (name == u"." || name == u"..")
        return false;
    return std::none_of(name.cbegin(), name.cend(), isIllegalChar);
}
