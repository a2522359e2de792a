#include "Kf8Text.h"

#include "azw3/PalmDoc.h"

#include <algorithm>

namespace {

// Text goes to the packers in batches of this many records.
constexpr qsizetype BatchRecords = 16;
// More threads than this gain nothing for the few megabytes in flight.
constexpr unsigned MaxThreads = 8;

inline bool continuation(char c)
{
    return (quint8(c) & 0xC0) == 0x80;
}

} // namespace

QByteArray kf8Aid(int part)
{
    return QByteArray::number(part, 32).toUpper();
}

// Whole records of text, with the bytes after the last one that a cut character needs: a
// range of a buffer the batches of one hand-over share.
struct Kf8Text::Batch {
    QByteArray buffer;
    qsizetype from = 0;
    qsizetype to = 0; // the records' end; up to 3 bytes after it are read
    int records = 0;
    QByteArray packed;
    QList<quint32> sizes;
};

Kf8Text::Kf8Text(int maxRecords)
    : m_maxRecords(maxRecords),
      m_packers(InFlightLimit, [this](Batch& b, int&) { pack(b); }, [this](Batch& b) { return writePacked(b); })
{
}

Kf8Text::~Kf8Text() = default;

bool Kf8Text::open(const QString& folder)
{
    m_file.setFileTemplate(folder + QStringLiteral("/.vellomar-XXXXXX.part"));
    m_file.setAutoRemove(true);
    if (!m_file.open()) {
        return false;
    }
    m_packers.start(MaxThreads);
    return true;
}

QString Kf8Text::errorString() const
{
    if (m_tooLong) {
        return QStringLiteral(u"正文超过 %1 MB，一本 AZW3 书放不下；请用“分册”或“每本书最大 MB”分成几本书")
            .arg(qint64(m_maxRecords) * RecordSize >> 20);
    }
    return m_file.errorString();
}

bool Kf8Text::write(QByteArrayView bytes)
{
    m_pending += bytes;
    m_length += quint32(bytes.size());
    return m_pending.size() < BatchRecords * RecordSize + 3 || emitRecords(false);
}

bool Kf8Text::addPart(const QByteArray& head, const QByteArray& tail, QByteArrayView content)
{
    const int part = int(m_skeletons.size());
    m_skeletons.append({m_length, quint32(head.size() + tail.size()), int(m_fragments.size())});
    Skeleton& skeleton = m_skeletons.last();
    // Each fragment goes in after the body's start tag and the fragments before it.
    const quint32 body = m_length + quint32(head.size());
    qsizetype at = 0;
    while (at < content.size()) {
        qsizetype end = content.size();
        if (content.size() - at > FragmentSize) {
            const qsizetype line = content.indexOf('\n', at + FragmentSize - 1);
            end = line < 0 ? content.size() : line + 1;
        }
        m_fragments.append({body + quint32(at), quint32(at), quint32(end - at), part});
        ++skeleton.fragments;
        at = end;
    }
    return write(head) && write(tail) && write(content);
}

bool Kf8Text::finish(const QByteArray& css)
{
    m_flows.append({0, m_length});
    const quint32 cssStart = m_length;
    m_pending += css;
    m_length += quint32(css.size());
    m_flows.append({cssStart, m_length});
    const bool handed = emitRecords(true);
    const bool written = m_packers.drain();
    return handed && written && m_file.flush();
}

// Hands the waiting text to the packers in whole records; the last, shorter one only when
// `all`. Waits while too much is in flight.
bool Kf8Text::emitRecords(bool all)
{
    qsizetype at = 0;
    const qsizetype n = m_pending.size();
    while (n - at >= RecordSize + 3 || (all && at < n)) {
        auto batch = std::make_unique<Batch>();
        batch->buffer = m_pending; // shared, not copied
        batch->from = at;
        while (batch->records < BatchRecords && (n - at >= RecordSize + 3 || (all && at < n))) {
            if (m_records >= m_maxRecords) {
                m_tooLong = true;
                return false;
            }
            at += std::min<qsizetype>(RecordSize, n - at);
            ++batch->records;
            ++m_records;
        }
        batch->to = at;
        const qsizetype size = batch->to - batch->from;
        if (!m_packers.hand(std::move(batch), size)) {
            return false;
        }
    }
    // The rest starts the next buffer; the batches keep theirs.
    m_pending = m_pending.mid(at);
    return true;
}

// On a packing thread: packs the batch record by record. A record keeps back the bytes of a
// character that runs into the next one and repeats them after its packed text, with their
// count.
void Kf8Text::pack(Batch& b)
{
    const char* text = b.buffer.constData();
    const qsizetype end = b.buffer.size();
    for (qsizetype at = b.from; at < b.to; at += RecordSize) {
        const qsizetype size = std::min<qsizetype>(RecordSize, b.to - at);
        const qsizetype before = b.packed.size();
        b.packed += palmDocCompress(QByteArrayView(text + at, size));
        int overlap = 0;
        while (overlap < 3 && at + size + overlap < end && continuation(text[at + size + overlap])) {
            ++overlap;
        }
        b.packed.append(text + at + size, overlap);
        b.packed.append(char(overlap));
        b.sizes.append(quint32(b.packed.size() - before));
    }
}

// Writes a packed batch, in order, on one thread at a time.
bool Kf8Text::writePacked(const Batch& b)
{
    m_recordSizes += b.sizes;
    return m_file.write(b.packed) == b.packed.size();
}
