#include "core/FileName.h"

#include <QList>
#include <QStringList>

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

// Finds "%<key>%" or "%<key><digit>%" at or after `from`; returns its start (or -1) and sets
// `length` and `width` (0 without a digit).
qsizetype findPlaceholder(const QString& text, QLatin1StringView key, qsizetype from, qsizetype* length, int* width) {
    const qsizetype n = text.size();
    for (qsizetype i = text.indexOf(u'%', from); i >= 0 && i < n; i = text.indexOf(u'%', i + 1)) {
        if (i + 1 + key.size() > n || QStringView(text).sliced(i + 1, key.size()) != key)
            continue;
        const qsizetype j = i + 1 + key.size();
        if (j + 1 < n && text[j] >= u'0' && text[j] <= u'9' && text[j + 1] == u'%') {
            *length = j + 2 - i;
            *width = text[j].unicode() - u'0';
            return i;
        }
        if (j < n && text[j] == u'%') {
            *length = j + 1 - i;
            *width = 0;
            return i;
        }
    }
    return -1;
}

// Every distinct match is replaced wherever its whole text occurs, in match order, so a repeated
// placeholder is filled by its first match and later identical matches find nothing left.
void fillPlaceholder(QString& text, QLatin1StringView key, qint64 value) {
    QStringList matched;
    QList<int> widths;
    qsizetype length = 0;
    int width = 0;
    for (qsizetype at = findPlaceholder(text, key, 0, &length, &width); at >= 0;
         at = findPlaceholder(text, key, at + length, &length, &width)) {
        matched.append(text.mid(at, length));
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
    QString name = outFile;
    fillPlaceholder(name, QLatin1StringView("id"), number);
    fillPlaceholder(name, QLatin1StringView("chap"), chapNum);
    // The title goes in last so that placeholder-like text inside it stays literal.
    name.replace(QStringLiteral("%title%"), title);

    // The ".txt" appended here also keeps a name part of "." or ".." from naming a directory entry.
    return StripIllegalChars(CutAtCharacter(name, MaxNameLength)) + QStringLiteral(".txt");
}

QString CutAtCharacter(const QString& text, qsizetype maxUnits) {
    if (text.size() <= maxUnits)
        return text;
    qsizetype n = std::max<qsizetype>(maxUnits, 0);
    if (n > 0 && text.at(n - 1).isHighSurrogate())
        --n;
    return text.left(n);
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
