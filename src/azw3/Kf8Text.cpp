#include "Kf8Text.h"

#include "azw3/PalmDoc.h"

namespace {

// Text is packed once this much waits.
constexpr qsizetype Batch = 64 * 1024;

inline bool continuation(char c)
{
    return (quint8(c) & 0xC0) == 0x80;
}

} // namespace

QByteArray kf8Aid(int part)
{
    return QByteArray::number(part, 32).toUpper();
}

bool Kf8Text::open(const QString& folder)
{
    m_file.setFileTemplate(folder + QStringLiteral("/.vellomar-XXXXXX.part"));
    m_file.setAutoRemove(true);
    return m_file.open();
}

bool Kf8Text::write(const QByteArray& bytes)
{
    m_pending += bytes;
    m_length += quint32(bytes.size());
    return m_pending.size() < Batch || emitRecords(false);
}

bool Kf8Text::beginPart(const QByteArray& head, const QByteArray& tail)
{
    m_skeletons.append({m_length, quint32(head.size() + tail.size()), int(m_fragments.size())});
    m_partOffset = 0;
    m_headLength = quint32(head.size());
    m_fragment.clear();
    return write(head + tail);
}

bool Kf8Text::append(const QByteArray& bytes, bool paragraphEnd)
{
    m_fragment += bytes;
    return !paragraphEnd || m_fragment.size() < FragmentSize || closeFragment();
}

bool Kf8Text::endPart()
{
    return closeFragment();
}

bool Kf8Text::closeFragment()
{
    if (m_fragment.isEmpty()) {
        return true;
    }
    Skeleton& part = m_skeletons.last();
    // Inserted after the body's start tag and the fragments before it.
    const quint32 insertAt = part.start + m_headLength + m_partOffset;
    m_fragments.append({insertAt, m_partOffset, quint32(m_fragment.size()), int(m_skeletons.size() - 1)});
    ++part.fragments;
    m_partOffset += quint32(m_fragment.size());
    const QByteArray bytes = m_fragment;
    m_fragment.clear();
    return write(bytes);
}

bool Kf8Text::finish(const QByteArray& css)
{
    m_flows.append({0, m_length});
    const quint32 cssStart = m_length;
    m_pending += css;
    m_length += quint32(css.size());
    m_flows.append({cssStart, m_length});
    return emitRecords(true) && m_file.flush();
}

// Cuts the waiting text into records; the last, shorter one only when `all`. A record keeps
// back the bytes of a character that runs into the next one and repeats them after its
// packed text, with their count.
bool Kf8Text::emitRecords(bool all)
{
    qsizetype at = 0;
    const qsizetype n = m_pending.size();
    QByteArray out;
    while (n - at >= RecordSize + 3 || (all && at < n)) {
        const qsizetype size = std::min<qsizetype>(RecordSize, n - at);
        QByteArray record = palmDocCompress(QByteArrayView(m_pending.constData() + at, size));
        int overlap = 0;
        while (overlap < 3 && at + size + overlap < n && continuation(m_pending[at + size + overlap])) {
            ++overlap;
        }
        record.append(m_pending.constData() + at + size, overlap);
        record.append(char(overlap));
        m_recordSizes.append(quint32(record.size()));
        out += record;
        at += size;
    }
    m_pending.remove(0, at);
    return m_file.write(out) == out.size();
}
