// Arbitrary bytes as a novel: the lines with their terminators give back the input, the line
// count agrees with the lines read, skipping to lines holding a needle finds exactly the lines
// that hold it, and every line decodes and encodes back to its bytes.
#include "core/GbkCodec.h"
#include "core/LineReader.h"

#include <QFile>
#include <QString>

#include <cstdint>
#include <cstdlib>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2) {
        return 0;
    }
    // The first byte picks the buffer size (tiny buffers cross refills everywhere), the second a needle byte.
    const qsizetype chunk = 1 + data[0] % 64;
    const char needle[2] = {char(data[1] | 0x80), 'x'};
    const QByteArray bytes(reinterpret_cast<const char*>(data + 2), qsizetype(size - 2));
    static const QString path = QStringLiteral("/tmp/vellomar-fuzz-lines-%1.txt").arg(getpid());
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size()) {
            abort();
        }
    }
    LineReader r(chunk);
    if (!r.open(path)) {
        abort();
    }
    QByteArray joined;
    QList<qint64> withNeedle;
    QByteArrayView line, term;
    QString text;
    while (r.next(line, term) == LineReader::Line) {
        joined += line.toByteArray() + term.toByteArray();
        if (line.contains(QByteArrayView(needle, 2))) {
            withNeedle << r.lineNumber();
        }
        GbkCodec::instance().decode(line.data(), line.size(), text);
        if (GbkCodec::instance().encode(text) != line) {
            abort();
        }
    }
    const qint64 lines = r.lineNumber();
    if (joined != bytes || LineReader::countLines(path) != lines) {
        abort();
    }
    r.rewind();
    QList<qint64> found;
    while (r.nextContaining(QByteArrayView(needle, 2), line, term) == LineReader::Line) {
        found << r.lineNumber();
    }
    if (found != withNeedle || r.lineNumber() != lines) {
        abort();
    }
    return 0;
}
