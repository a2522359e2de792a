#include "Kf8Index.h"

namespace {

constexpr int IndexHeaderLength = 192;
// Room left in a data record for its own header, the offsets table and alignment.
constexpr int DataRecordLimit = 0x10000 - IndexHeaderLength - 2048;
constexpr int StringRecordLimit = 0x10000 - 1024;
constexpr quint32 None = 0xFFFFFFFFu;

void padTo4(QByteArray& out)
{
    while (out.size() % 4 != 0) {
        out.append('\0');
    }
}

// The common first words of an index record; `type` 0 for the header record, 1 for data.
QByteArray recordHead(quint32 type, quint32 offsetsAt, quint32 count)
{
    QByteArray h("INDX");
    putU32(h, IndexHeaderLength);
    putU32(h, 0);
    putU32(h, type);
    putU32(h, type == 0 ? 2 : 0);
    putU32(h, offsetsAt);
    putU32(h, count);
    return h;
}

} // namespace

void putU16(QByteArray& out, quint32 v)
{
    out.append(char(v >> 8 & 0xFF));
    out.append(char(v & 0xFF));
}

void putU32(QByteArray& out, quint32 v)
{
    out.append(char(v >> 24));
    out.append(char(v >> 16 & 0xFF));
    out.append(char(v >> 8 & 0xFF));
    out.append(char(v & 0xFF));
}

void putForwardVarint(QByteArray& out, quint32 v)
{
    char groups[5];
    int n = 0;
    do {
        groups[n++] = char(v & 0x7F);
        v >>= 7;
    } while (v != 0);
    groups[0] = char(groups[0] | 0x80);
    while (n > 0) {
        out.append(groups[--n]);
    }
}

quint32 IndexStrings::add(const QByteArray& text)
{
    QByteArray entry;
    putForwardVarint(entry, quint32(text.size()));
    entry += text;
    if (m_records.isEmpty() || m_records.last().size() + entry.size() > StringRecordLimit) {
        m_records.append(QByteArray());
    }
    const quint32 ref = quint32(m_records.size() - 1) * 0x10000u + quint32(m_records.last().size());
    m_records.last() += entry;
    return ref;
}

QList<QByteArray> IndexStrings::records() const
{
    QList<QByteArray> out = m_records;
    for (QByteArray& r : out) {
        padTo4(r);
    }
    return out;
}

void IndexTable::add(const QByteArray& name, const QList<QList<quint32>>& values)
{
    Entry e{name, QByteArray()};
    e.bytes.append(char(name.size()));
    e.bytes += name;
    quint8 control = 0;
    for (int t = 0; t < m_tags.size() && t < values.size(); ++t) {
        if (!values[t].isEmpty()) {
            control |= m_tags[t].mask;
        }
    }
    e.bytes.append(char(control));
    for (int t = 0; t < m_tags.size() && t < values.size(); ++t) {
        for (quint32 v : values[t]) {
            putForwardVarint(e.bytes, v);
        }
    }
    m_entries.append(e);
}

QByteArray IndexTable::header(const QList<QList<Entry>>& blocks, int stringRecords) const
{
    QByteArray tagx("TAGX");
    putU32(tagx, quint32(12 + 4 * (m_tags.size() + 1)));
    putU32(tagx, 1); // control bytes per entry
    for (const Tag& t : m_tags) {
        tagx.append(char(t.number));
        tagx.append(char(t.values));
        tagx.append(char(t.mask));
        tagx.append('\0');
    }
    tagx.append("\0\0\0\1", 4); // the end of the control byte's tags
    // Each data record's last name and its count, for a reader to find an entry's record.
    QByteArray geometry;
    QList<int> places;
    for (const QList<Entry>& block : blocks) {
        places << int(IndexHeaderLength + tagx.size() + geometry.size());
        geometry.append(char(block.last().name.size()));
        geometry += block.last().name;
        putU16(geometry, quint32(block.size()));
    }
    QByteArray body = tagx + geometry;
    padTo4(body);
    const quint32 offsetsAt = quint32(IndexHeaderLength + body.size());
    body += "IDXT";
    for (int p : places) {
        putU16(body, quint32(p));
    }
    padTo4(body);

    QByteArray h = recordHead(0, offsetsAt, quint32(blocks.size()));
    putU32(h, 65001); // names and strings in UTF-8
    putU32(h, None);
    putU32(h, quint32(m_entries.size()));
    putU32(h, 0); // no ordering table
    putU32(h, 0); // no ligatures
    putU32(h, 0);
    putU32(h, quint32(stringRecords));
    h.append(QByteArray(180 - h.size(), '\0'));
    putU32(h, IndexHeaderLength); // where TAGX starts
    h.append(QByteArray(IndexHeaderLength - h.size(), '\0'));
    return h + body;
}

QList<QByteArray> IndexTable::records(const IndexStrings& strings) const
{
    QList<QList<Entry>> blocks;
    qsizetype used = 0;
    for (const Entry& e : m_entries) {
        if (blocks.isEmpty() || used + e.bytes.size() + 2 * (blocks.last().size() + 1) > DataRecordLimit) {
            blocks.append(QList<Entry>());
            used = 0;
        }
        blocks.last().append(e);
        used += e.bytes.size();
    }
    const QList<QByteArray> stringRecords = strings.records();
    QList<QByteArray> out;
    out << header(blocks, int(stringRecords.size()));
    for (const QList<Entry>& block : blocks) {
        QByteArray entries;
        QList<int> places;
        for (const Entry& e : block) {
            places << int(IndexHeaderLength + entries.size());
            entries += e.bytes;
        }
        padTo4(entries);
        QByteArray r = recordHead(1, quint32(IndexHeaderLength + entries.size()), quint32(block.size()));
        putU32(r, None);
        putU32(r, None);
        r.append(QByteArray(IndexHeaderLength - r.size(), '\0'));
        r += entries;
        r += "IDXT";
        for (int p : places) {
            putU16(r, quint32(p));
        }
        padTo4(r);
        out << r;
    }
    out += stringRecords;
    return out;
}
