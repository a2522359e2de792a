#pragma once

#include <QString>
#include <QVector>

/// One volume (卷, 部, 集, 篇 …) of a novel: the second title level above the chapters.
struct Volume {
    qint16 number = 0;     ///< read with the chapter-number reader; 0 when it has no readable number
    QString title;         ///< the heading as it stands in the book, blanks trimmed: "第一卷 风起"
    QString name;          ///< the heading's own words after the volume word: "风起" (may be empty)
    qint32 line = 0;       ///< 1-based line of the heading (a line may hold a chapter title too)
    qint64 offset = 0;     ///< byte offset of that line in the file
    qint32 firstRecord = 0; ///< the chapter records [firstRecord, endRecord) belong to the volume
    qint32 endRecord = 0;   ///< equal to firstRecord for a volume without a chapter

    bool isEmpty() const { return endRecord <= firstRecord; }
    int chapterCount() const { return endRecord - firstRecord; }
};

/// The volumes of an analysed novel, in file order. The chapter records they hold follow one
/// another: every record from a volume's firstRecord up to the next volume's belongs to it, and
/// the records before the first volume belong to none.
class VolumeList {
public:
    VolumeList() = default;
    explicit VolumeList(QVector<Volume> volumes) : m_volumes(std::move(volumes)) {}

    const QVector<Volume>& all() const { return m_volumes; }
    bool isEmpty() const { return m_volumes.isEmpty(); }
    int size() const { return int(m_volumes.size()); }
    const Volume& at(int v) const { return m_volumes.at(v); }
    void clear() { m_volumes.clear(); }

    /// Index of the volume that record `record` belongs to; -1 for none.
    int volumeOf(int record) const;
    /// The first record of each volume, in order (what the numbering review groups by).
    QVector<qint32> starts() const;
    int emptyCount() const;
    /// Binds the volumes to the records again after a title was added or removed by hand: a
    /// volume's chapters are the records from its heading's line up to the next volume's.
    void rebind(const QVector<qint32>& chapline);

private:
    QVector<Volume> m_volumes;
};

/// The sub-folder of one volume: its place in the book zero-filled ("01", or wider when there
/// are a hundred volumes or more), "-" and its title, under the file-name rules: "01-第一卷 风起".
QString VolumeFolderName(int ordinal, int volumeCount, const QString& title);
