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
    bool done = false;
};

Kf8Text::Kf8Text(int maxRecords) : m_maxRecords(maxRecords) {}

Kf8Text::~Kf8Text()
{
    stopPacking();
}

bool Kf8Text::open(const QString& folder)
{
    m_file.setFileTemplate(folder + QStringLiteral("/.vellomar-XXXXXX.part"));
    m_file.setAutoRemove(true);
    if (!m_file.open()) {
        return false;
    }
    const unsigned threads = std::clamp(std::thread::hardware_concurrency(), 1u, MaxThreads);
    for (unsigned i = 0; i < threads; ++i) {
        m_threads.emplace_back([this] { pack(); });
    }
    return true;
}

void Kf8Text::stopPacking()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_work.notify_all();
    for (std::thread& t : m_threads) {
        t.join();
    }
    m_threads.clear();
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
    stopPacking();
    return handed && !m_failed && m_file.flush();
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
        std::unique_lock lock(m_mutex);
        m_room.wait(lock, [this] { return m_failed || m_inFlight < InFlightLimit; });
        if (m_failed || m_threads.empty()) {
            return false;
        }
        m_inFlight += batch->to - batch->from;
        m_batches.push_back(std::move(batch));
        m_work.notify_one();
    }
    // The rest starts the next buffer; the batches keep theirs.
    m_pending = m_pending.mid(at);
    return true;
}

// A packing thread: packs the next batch, record by record, then writes whatever packed
// batches lead the queue, unless another thread is writing them already. A record keeps back
// the bytes of a character that runs into the next one and repeats them after its packed
// text, with their count.
void Kf8Text::pack()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_work.wait(lock, [this] { return m_stop || m_taken < m_batches.size(); });
        if (m_taken == m_batches.size() || (m_stop && m_failed)) {
            return;
        }
        Batch& b = *m_batches[m_taken++];
        lock.unlock();
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
        lock.lock();
        b.done = true;
        if (!m_writing) {
            writeFinished(lock);
        }
    }
}

// Writes the packed batches at the front of the queue, in order. Called with the lock held and
// m_writing false; the lock is let go while the bytes are written.
void Kf8Text::writeFinished(std::unique_lock<std::mutex>& lock)
{
    m_writing = true;
    while (!m_failed && !m_batches.empty() && m_batches.front()->done) {
        std::unique_ptr<Batch> b = std::move(m_batches.front());
        m_batches.pop_front();
        --m_taken;
        lock.unlock();
        const bool ok = m_file.write(b->packed) == b->packed.size();
        m_recordSizes += b->sizes;
        const qsizetype size = b->to - b->from;
        b.reset();
        lock.lock();
        m_inFlight -= size;
        m_failed = m_failed || !ok;
        m_room.notify_all();
    }
    m_writing = false;
}
