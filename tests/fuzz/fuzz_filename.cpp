// Arbitrary templates and titles: a name always ends in ".txt", holds no character that a
// file name may not hold, is never longer than 84 units, and its placeholders are filled as
// the regular expressions %id([0-9]?)% and %chap([0-9]?)% find them (in valid UTF-16).
#include "core/FileName.h"

#include <QRegularExpression>

#include <cstdint>
#include <cstdlib>

namespace {

// The placeholder rule written with regular expressions, to hold the fast scan to.
void fillByPattern(QString& text, const QRegularExpression& pattern, qint64 value)
{
    QStringList matched;
    QList<int> widths;
    for (auto it = pattern.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const int width = m.captured(1).isEmpty() ? 0 : m.captured(1).toInt();
        matched.append(m.captured(0));
        widths.append(width == 0 ? 3 : width);
    }
    for (qsizetype i = 0; i < matched.size(); ++i) {
        text.replace(matched.at(i), ZeroFill(value, widths.at(i)));
    }
}

QString byPattern(const QString& outFile, qint32 number, qint16 chapNum, const QString& title)
{
    static const QRegularExpression id(QStringLiteral("%id([0-9]?)%"));
    static const QRegularExpression chap(QStringLiteral("%chap([0-9]?)%"));
    QString name = outFile;
    fillByPattern(name, id, number);
    fillByPattern(name, chap, chapNum);
    name.replace(QStringLiteral("%title%"), title);
    if (name.size() > 80) {
        name.truncate(80);
        if (name.back().isHighSurrogate()) {
            name.chop(1);
        }
    }
    return StripIllegalChars(name) + QStringLiteral(".txt");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 6) {
        return 0;
    }
    const qint32 number = qint32(data[0] | data[1] << 8 | data[2] << 16) - 0x400000;
    const qint16 chap = qint16(data[3] | data[4] << 8);
    const size_t split = 5 + data[5] % (size - 5);
    const QString all = QString::fromUtf8(reinterpret_cast<const char*>(data + 6), qsizetype(size - 6));
    const QString templ = all.left(qsizetype(split));
    const QString title = all.mid(qsizetype(split));
    const QString name = MakeFileName(templ, number, chap, title);
    // A regular expression matches nothing in text with a broken surrogate pair; the scan
    // fills such a template's placeholders all the same.
    if (templ.isValidUtf16() && name != byPattern(templ, number, chap, title)) {
        abort();
    }
    if (!name.endsWith(QLatin1String(".txt")) || name.size() > 84) {
        abort();
    }
    const QString stem = name.left(name.size() - 4);
    if (!IsLegalFileName(stem) && stem != QLatin1String(".") && stem != QLatin1String("..")) {
        abort();
    }
    for (QChar c : stem) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F || QStringLiteral("\\/:*?\"<>|").contains(c)) {
            abort();
        }
    }
    return 0;
}
