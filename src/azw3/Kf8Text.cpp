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
    return m_pending.size() < Batch || emitRecords(false);
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
        if (m_recordSizes.size() >= m_maxRecords) {
            m_tooLong = true;
            return false;
        }
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
