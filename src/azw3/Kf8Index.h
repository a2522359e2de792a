#pragma once

#include <QByteArray>
#include <QList>

/// Big-endian numbers, the way every header of the file is written.
void putU16(QByteArray& out, quint32 v);
void putU32(QByteArray& out, quint32 v);
/// A number in 7-bit groups, most significant first, the last group marked by its high bit:
/// how index entries and their strings hold values.
void putForwardVarint(QByteArray& out, quint32 v);

/// The strings an index refers to (labels, selectors), kept in records of their own beside
/// it; a string's reference is its record number × 0x10000 plus its place in that record.
class IndexStrings {
public:
    quint32 add(const QByteArray& text);
    QList<QByteArray> records() const;

private:
    QList<QByteArray> m_records;
};

/// One index of the book (skeletons, fragments, contents): a header record describing the
/// tags each entry may carry, then data records of entries (each under 64 KB), then the
/// records of its strings.
class IndexTable {
public:
    struct Tag {
        quint8 number;
        quint8 values; ///< values per entry
        quint8 mask;   ///< its bit in the entry's control byte
    };

    explicit IndexTable(QList<Tag> tags) : m_tags(std::move(tags)) {}

    /// An entry: its name (unique in the index) and, per tag in the order given, its values
    /// (none: the entry does not carry the tag).
    void add(const QByteArray& name, const QList<QList<quint32>>& values);
    int size() const { return int(m_entries.size()); }
    /// The header record, the data records, the strings' records.
    QList<QByteArray> records(const IndexStrings& strings) const;

private:
    struct Entry {
        QByteArray name;
        QByteArray bytes; // name, control byte, values
    };
    QByteArray header(const QList<QList<Entry>>& blocks, int stringRecords) const;

    QList<Tag> m_tags;
    QList<Entry> m_entries;
};
