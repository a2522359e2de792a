#include "core/Volumes.h"

#include "core/FileName.h"

#include <algorithm>

int VolumeList::volumeOf(int record) const
{
    // The last volume whose records start at or before this one: of an empty volume and the
    // next, which start at the same record, the next one holds it.
    const auto after = std::upper_bound(m_volumes.cbegin(), m_volumes.cend(), record,
                                        [](int r, const Volume& v) { return r < v.firstRecord; });
    return int(after - m_volumes.cbegin()) - 1;
}

QVector<qint32> VolumeList::starts() const
{
    QVector<qint32> s;
    s.reserve(m_volumes.size());
    for (const Volume& v : m_volumes) {
        s.append(v.firstRecord);
    }
    return s;
}

void VolumeList::rebind(const QVector<qint32>& chapline)
{
    for (Volume& v : m_volumes) {
        v.firstRecord = qint32(std::lower_bound(chapline.cbegin(), chapline.cend(), v.line) - chapline.cbegin());
    }
    for (qsizetype v = 0; v < m_volumes.size(); ++v) {
        m_volumes[v].endRecord = v + 1 < m_volumes.size() ? m_volumes[v + 1].firstRecord : qint32(chapline.size());
    }
}

int VolumeList::emptyCount() const
{
    return int(std::count_if(m_volumes.cbegin(), m_volumes.cend(), [](const Volume& v) { return v.isEmpty(); }));
}

QString VolumeFolderName(int ordinal, int volumeCount, const QString& title)
{
    int width = 2;
    for (int n = volumeCount; n >= 100; n /= 10) {
        ++width;
    }
    // The name rules of chapter files: cut to length, no character a folder name may not hold.
    return MakeFileName(QStringLiteral("%id%1%-%title%").arg(width), ordinal, 0, title).chopped(4);
}
