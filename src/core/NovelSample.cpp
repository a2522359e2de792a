#include "NovelSample.h"

#include "TextCodec.h"

#include <QFile>

#include <algorithm>

bool readNovelSamples(const QString& path, const TextCodec& codec, int bomLength, int slices,
                      qint64 sliceSize, const std::function<void(const QString& text)>& take) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    const qint64 size = file.size();
    const int unit = codec.unitSize();
    const QByteArray newline = codec.encode(u"\n");
    QString text;
    qint64 previousEnd = 0;
    for (qint64 k = 0; k < slices; ++k) {
        qint64 at = std::max<qint64>(bomLength, size / slices * k);
        at = std::max(at, previousEnd) / unit * unit;
        if (at >= size || !file.seek(at)) {
            break;
        }
        const QByteArray bytes = file.read(sliceSize);
        previousEnd = at + bytes.size();
        // Whole lines only: a slice that starts or ends inside a character would read as others.
        qsizetype from = 0;
        if (at > bomLength) {
            from = bytes.indexOf(newline);
            while (from >= 0 && from % unit) {
                from = bytes.indexOf(newline, from + 1);
            }
            if (from < 0) {
                continue;
            }
            from += newline.size();
        }
        qsizetype to = bytes.size();
        if (previousEnd < size) {
            to = bytes.lastIndexOf(newline);
            while (to >= from && to % unit) {
                to = bytes.lastIndexOf(newline, to - 1);
            }
            if (to < from) {
                continue;
            }
        }
        codec.decode(bytes.constData() + from, to - from, text);
        take(text);
    }
    return true;
}
