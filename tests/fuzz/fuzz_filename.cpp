// Arbitrary templates and titles: a name always ends in ".txt", holds no character that a
// file name may not hold, and is never longer than 84 units.
#include "output/FileName.h"

#include <cstdint>
#include <cstdlib>

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
