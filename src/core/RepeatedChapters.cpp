#include "RepeatedChapters.h"

#include "core/Document.h"
#include "core/TextCodec.h"

#include <QFile>
#include <QHash>

#include <algorithm>
#include <cstring>
#include <thread>

namespace {

// Appends the line's characters without blanks (space, tab, U+3000, U+00A0) and returns how
// many were kept. The byte encodings are walked character by character without decoding,
// which costs a fraction of it; UTF-16 is decoded.
qsizetype appendWithoutBlanks(const TextCodec& codec, QByteArrayView line, QByteArray& bytes, QString& text)
{
    const auto* p = reinterpret_cast<const unsigned char*>(line.data());
    const qsizetype n = line.size();
    qsizetype kept = 0;
    // Written through a pointer into room made once: appending byte by byte costs more than the rest.
    bytes.resize(std::max<qsizetype>(bytes.size(), 2 * n + 8));
    char* out = bytes.data();
    char* const start = out;
    auto put = [&out](const void* from, qsizetype len) {
        std::memcpy(out, from, size_t(len));
        out += len;
    };
    switch (codec.id()) {
    case TextCodec::Utf8:
        for (qsizetype i = 0; i < n;) {
            const unsigned char c = p[i];
            if (c < 0x80) {
                if (c != ' ' && c != '\t') {
                    *out++ = char(c);
                    ++kept;
                }
                ++i;
                continue;
            }
            if ((c == 0xE3 && i + 2 < n && p[i + 1] == 0x80 && p[i + 2] == 0x80)) {
                i += 3;
                continue;
            }
            if (c == 0xC2 && i + 1 < n && p[i + 1] == 0xA0) {
                i += 2;
                continue;
            }
            // A character is its lead byte and the continuation bytes after it.
            *out++ = char(c);
            ++i;
            while (i < n && (p[i] & 0xC0) == 0x80) {
                *out++ = char(p[i++]);
            }
            ++kept;
        }
        bytes.truncate(out - start);
        return kept;
    case TextCodec::Gbk:
    case TextCodec::Gb18030:
    case TextCodec::Big5: {
        const unsigned char spaceTrail = codec.id() == TextCodec::Big5 ? 0x40 : 0xA1;
        const bool fourByte = codec.id() != TextCodec::Big5;
        for (qsizetype i = 0; i < n;) {
            const unsigned char c = p[i];
            if (c < 0x81 || i + 1 >= n) {
                if (c != ' ' && c != '\t') {
                    *out++ = char(c);
                    ++kept;
                }
                ++i;
                continue;
            }
            const unsigned char t = p[i + 1];
            if (fourByte && t >= 0x30 && t <= 0x39 && i + 3 < n) {
                // 81 30 84 32 is U+00A0, a blank as in the other encodings.
                if (!(c == 0x81 && t == 0x30 && p[i + 2] == 0x84 && p[i + 3] == 0x32)) {
                    std::memcpy(out, p + i, 4);
                    out += 4;
                    ++kept;
                }
                i += 4;
                continue;
            }
            if (!(c == 0xA1 && t == spaceTrail)) {
                out[0] = char(c);
                out[1] = char(t);
                out += 2;
                ++kept;
            }
            i += 2;
        }
        bytes.truncate(out - start);
        return kept;
    }
    default:
        codec.decode(line.data(), line.size(), text);
        bytes.resize(std::max<qsizetype>(bytes.size(), 2 * text.size() + 8));
        out = bytes.data();
        for (QChar c : std::as_const(text)) {
            if (c != u' ' && c != u'\t' && c != QChar(0x3000) && c != QChar(0xA0)) {
                put(&c, 2);
                ++kept;
            }
        }
        bytes.truncate(out - bytes.data());
        return kept;
    }
}

} // namespace

namespace {

// The byte encodings: each kept chapter's body is read as one stretch of bytes (from the end of
// its title line to the next kept title) and walked without splitting it into lines.
bool hashBodyRange(const Document& doc, const QString& path, const QList<QPair<qint32, int>>& kept, qsizetype first,
                   qsizetype last, QVector<QPair<size_t, size_t>>* hashes, QVector<qsizetype>* sizes, size_t seedA,
                   size_t seedB)
{
    const TextCodec& codec = doc.codec();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    const qint64 fileEnd = file.size();
    constexpr qint64 Chunk = 1 << 20;
    QByteArray chunk;
    QByteArray bytes;
    QString text;
    for (qsizetype k = first; k < last; ++k) {
        const int record = kept[k].second;
        if (record >= doc.TitleOffsets.size()) {
            return false;
        }
        qint64 from = doc.TitleOffsets[record];
        const qint64 to = k + 1 < kept.size() && kept[k + 1].second < doc.TitleOffsets.size()
                              ? doc.TitleOffsets[kept[k + 1].second]
                              : fileEnd;
        size_t a = seedA;
        size_t b = seedB;
        qsizetype chars = 0;
        bool titleLine = true;
        QByteArray carry;
        while (from < to) {
            if (!file.seek(from)) {
                return false;
            }
            chunk = carry + file.read(std::min(Chunk, to - from));
            if (chunk.size() == carry.size()) {
                return false;
            }
            from += chunk.size() - carry.size();
            const char* d = chunk.constData();
            qsizetype begin = 0;
            if (titleLine) {
                // The body starts after the title line's end.
                while (begin < chunk.size() && d[begin] != '\n' && d[begin] != '\r') {
                    ++begin;
                }
                titleLine = begin >= chunk.size();
            }
            // A line cut by the chunk's end waits for the rest: a line is hashed whole wherever
            // the chunks of its chapter happen to end, and a character is never cut.
            qsizetype end = chunk.size();
            if (from < to) {
                while (end > begin && d[end - 1] != '\n' && d[end - 1] != '\r') {
                    --end;
                }
            }
            carry = chunk.mid(end);
            // Line ends are blanks too: split the stretch at them and walk each piece.
            qsizetype piece = begin;
            for (qsizetype i = begin; i <= end; ++i) {
                if (i == end || d[i] == '\n' || d[i] == '\r') {
                    if (i > piece) {
                        const qsizetype n = appendWithoutBlanks(codec, QByteArrayView(d + piece, i - piece), bytes, text);
                        if (n > 0) {
                            a = qHashBits(bytes.constData(), size_t(bytes.size()), a);
                            b = qHashBits(bytes.constData(), size_t(bytes.size()), b ^ size_t(bytes.size()));
                            chars += n;
                        }
                    }
                    piece = i + 1;
                }
            }
        }
        (*hashes)[k] = {a, b};
        (*sizes)[k] = chars;
    }
    return true;
}

// Two halves of the chapters on two threads: the walk is bound by the processor.
bool hashBodiesByBytes(Document& doc, const QList<QPair<qint32, int>>& kept, QVector<QPair<size_t, size_t>>* hashes,
                       QVector<qsizetype>* sizes, size_t seedA, size_t seedB)
{
    if (doc.codec().unitSize() != 1 || doc.TitleOffsets.isEmpty()) {
        return false;
    }
    const QString path = doc.reader().openFilePath();
    const qsizetype half = kept.size() / 2;
    bool secondOk = true;
    std::thread second([&] { secondOk = hashBodyRange(doc, path, kept, half, kept.size(), hashes, sizes, seedA, seedB); });
    const bool firstOk = hashBodyRange(doc, path, kept, 0, half, hashes, sizes, seedA, seedB);
    second.join();
    return firstOk && secondOk;
}

} // namespace

QVector<qint32> findRepeatedChapters(Document& doc)
{
    constexpr qsizetype MinBody = 20;
    const ChapterModel& model = doc.model();
    QVector<qint32> sameAs(model.recordCount(), 0);
    QList<QPair<qint32, int>> kept; // title line, record
    for (int row = 0; row < model.rowCount(); ++row) {
        if (!model.isChecked(row)) {
            kept.append({model.chapline().at(model.tag(row)), model.tag(row)});
        }
    }
    std::sort(kept.begin(), kept.end());
    if (kept.size() < 2) {
        return sameAs;
    }
    // Two chained 64-bit hashes with different seeds: 128 bits, at memory speed.
    constexpr size_t SeedA = 0x9E3779B97F4A7C15ull;
    constexpr size_t SeedB = 0xC2B2AE3D27D4EB4Full;
    QHash<QPair<size_t, size_t>, qint32> firstWith; // body hash -> title line
    {
        QVector<QPair<size_t, size_t>> hashes(kept.size());
        QVector<qsizetype> sizes(kept.size());
        if (hashBodiesByBytes(doc, kept, &hashes, &sizes, SeedA, SeedB)) {
            for (qsizetype k = 0; k < kept.size(); ++k) {
                // Short bodies ("正文", "待续") are alike by chance, not scraped twice.
                if (sizes[k] < MinBody) {
                    continue;
                }
                const auto it = firstWith.constFind(hashes[k]);
                if (it == firstWith.cend()) {
                    firstWith.insert(hashes[k], kept[k].first);
                } else {
                    sameAs[kept[k].second] = *it;
                }
            }
            return sameAs;
        }
    }
    LineReader& reader = doc.reader();
    if (!reader.rewind()) {
        return sameAs;
    }
    size_t a = SeedA;
    size_t b = SeedB;
    QByteArrayView line, terminator;
    QByteArray bytes;
    QString text;
    qint64 lineNo = 0;
    int current = -1;
    qsizetype bodySize = 0;
    auto finish = [&] {
        // Short bodies ("正文", "待续") are alike by chance, not scraped twice.
        if (current >= 0 && bodySize >= MinBody) {
            const QPair<size_t, size_t> h{a, b};
            const auto it = firstWith.constFind(h);
            if (it == firstWith.cend()) {
                firstWith.insert(h, kept[current].first);
            } else {
                sameAs[kept[current].second] = *it;
            }
        }
        a = SeedA;
        b = SeedB;
        bodySize = 0;
    };
    const TextCodec& codec = doc.codec();
    while (reader.next(line, terminator) == LineReader::Line) {
        ++lineNo;
        if (current + 1 < kept.size() && kept[current + 1].first == lineNo) {
            finish();
            ++current;
            continue;
        }
        if (current < 0) {
            continue;
        }
        // Re-scraped copies differ in indents and spacing, not in words.
        const qsizetype chars = appendWithoutBlanks(codec, line, bytes, text);
        if (chars > 0) {
            a = qHashBits(bytes.constData(), size_t(bytes.size()), a);
            b = qHashBits(bytes.constData(), size_t(bytes.size()), b ^ size_t(bytes.size()));
            bodySize += chars;
        }
    }
    finish();
    reader.rewind();
    return sameAs;
}
