// Arbitrary bytes as a novel: the lines with their terminators give back the input, the line
// count agrees with the lines read, skipping to lines holding a needle finds exactly the lines
// that hold it (also when reading one by one and skipping alternate, and with a needle test
// that turns some occurrences down), two ranges split at any line start give every line once,
// every line decodes and encodes back to its bytes, and read as UTF-16 the same bytes still
// give themselves back.
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

    // One by one and skipping, alternately: the numbers agree with a plain reading.
    r.rewind();
    QList<qint64> starts; // byte offset where each line starts, and the end
    for (bool skip = false;; skip = !skip) {
        const LineReader::Result got = skip ? r.nextContaining(QByteArrayView(needle, 2), line, term) : r.next(line, term);
        if (got != LineReader::Line) {
            break;
        }
        const qint64 n = r.lineNumber();
        if (n < 1 || n > lines || (skip && !withNeedle.contains(n))) {
            abort();
        }
    }
    if (r.lineNumber() != lines) {
        abort();
    }

    // A needle test that wants only occurrences followed by an odd byte: every line with such
    // an occurrence is found (others may come when the buffer cuts the needle off).
    const LineNeedleTest oddAfter{[](const void*, const char* after, const char* end) {
                                      return after == end || (*after & 1) != 0;
                                  },
                                  nullptr};
    QList<qint64> wanted;
    r.rewind();
    while (r.next(line, term) == LineReader::Line) {
        starts << r.lineOffset();
        for (qsizetype at = line.indexOf(QByteArrayView(needle, 2)); at >= 0;
             at = line.indexOf(QByteArrayView(needle, 2), at + 1)) {
            if (at + 2 < line.size() && (line[at + 2] & 1)) {
                wanted << r.lineNumber();
                break;
            }
        }
    }
    starts << bytes.size();
    r.rewind();
    found.clear();
    while (r.nextContaining(QByteArrayView(needle, 2), line, term, oddAfter) == LineReader::Line) {
        found << r.lineNumber();
    }
    for (qint64 n : wanted) {
        if (!found.contains(n)) {
            abort();
        }
    }
    if (r.lineNumber() != lines) {
        abort();
    }

    // Two ranges split at a line start picked by the input.
    if (!starts.isEmpty()) {
        const qsizetype k = qsizetype(data[1]) % starts.size();
        LineReader a(chunk), b(chunk);
        if (!a.open(path) || !b.open(path) || !a.rewindTo(0, starts[k]) || !b.rewindTo(starts[k], -1)) {
            abort();
        }
        QByteArray both;
        while (a.next(line, term) == LineReader::Line) {
            both += line.toByteArray() + term.toByteArray();
        }
        const qint64 first = a.lineNumber();
        while (b.nextContaining(QByteArrayView(needle, 2), line, term) == LineReader::Line) {
        }
        if (first != k || first + b.lineNumber() != lines) {
            abort();
        }
        b.rewindTo(starts[k], -1);
        while (b.next(line, term) == LineReader::Line) {
            both += line.toByteArray() + term.toByteArray();
        }
        if (both != bytes) {
            abort();
        }
    }

    // The same bytes as UTF-16 (the needle byte's low bit picks the byte order): lines with
    // their terminators give back the input, no line holds a CR or LF unit, and the count agrees.
    const bool little = (data[1] & 1) != 0;
    LineReader w(chunk);
    w.setLayout(0, 2, little);
    if (!w.open(path)) {
        abort();
    }
    QByteArray wideJoined;
    qint64 wideLines = 0;
    while (w.next(line, term) == LineReader::Line) {
        ++wideLines;
        wideJoined += line.toByteArray() + term.toByteArray();
        for (qsizetype i = 0; i + 1 < line.size(); i += 2) {
            const char low = line[i + (little ? 0 : 1)];
            const char high = line[i + (little ? 1 : 0)];
            if (high == 0 && (low == '\r' || low == '\n')) {
                abort();
            }
        }
    }
    if (wideJoined != bytes || w.lineNumber() != wideLines || !w.rewind() || w.skipToEnd() != wideLines) {
        abort();
    }
    return 0;
}
