#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTemporaryFile>

#include "core/OrderedWork.h"

/// The name (`aid`) of part `part`'s body, which its fragments are inserted into.
QByteArray kf8Aid(int part);

/// The book's text as a KF8 reader takes it, streamed: each page (a "part") as a skeleton, the
/// page without its body's content, followed by that content in fragments the reader inserts
/// into the body; after the pages, the stylesheet as a flow of its own. The text goes out in
/// records of 4096 bytes, PalmDOC-packed, each followed by the bytes that complete a character
/// cut at its end; the records wait in a temporary file beside the book until it is assembled.
///
/// Records are independent: they are packed on every core while the caller builds the next
/// pages, and reach the file in order; the same text always makes the same records.
class Kf8Text {
public:
    struct Skeleton {
        quint32 start;     ///< where the part begins in the text
        quint32 length;    ///< the skeleton's own bytes
        int firstFragment;
        int fragments = 0;
    };
    struct Fragment {
        quint32 insertAt; ///< where it goes in the assembled text (after the fragments before it)
        quint32 offset;   ///< from the part's first fragment
        quint32 length;
        int part;
    };
    /// A fragment is closed at the first line's end past this size.
    static constexpr int FragmentSize = 8192;
    static constexpr int RecordSize = 4096;
    /// A book's records are numbered in 16 bits: room is left for the indices and images.
    static constexpr int MaxRecords = 60000;

    /// Text handed over but not yet packed holds at most about this many bytes.
    static constexpr qsizetype InFlightLimit = 4 * 1024 * 1024;

    explicit Kf8Text(int maxRecords = MaxRecords);
    ~Kf8Text();
    Kf8Text(const Kf8Text&) = delete;
    Kf8Text& operator=(const Kf8Text&) = delete;

    /// Opens the records' temporary file in `folder`.
    bool open(const QString& folder);
    /// A part: its skeleton, the page up to its body's start tag (`head`) and from the end tag
    /// on (`tail`), and the body's content, cut into fragments after a line's end.
    bool addPart(const QByteArray& head, const QByteArray& tail, QByteArrayView content);
    /// Closes the page flow, appends `css` as the second flow and writes the last record;
    /// every record is in the file after it (or it failed).
    bool finish(const QByteArray& css);

    const QList<Skeleton>& skeletons() const { return m_skeletons; }
    const QList<Fragment>& fragments() const { return m_fragments; }
    /// [start, end) of each flow: the pages, the stylesheet.
    const QList<QPair<quint32, quint32>>& flows() const { return m_flows; }
    quint32 length() const { return m_length; }
    const QList<quint32>& recordSizes() const { return m_recordSizes; }
    QTemporaryFile& records() { return m_file; }
    /// Why writing failed: the file's error, or a text too long for one book.
    QString errorString() const;

private:
    struct Batch;

    bool write(QByteArrayView bytes);
    bool emitRecords(bool all);
    void pack(Batch& b);
    bool writePacked(const Batch& b);

    int m_maxRecords;
    bool m_tooLong = false;
    QTemporaryFile m_file;
    QByteArray m_pending; // text not yet handed to the packers
    quint32 m_length = 0; // bytes of text written (or pending)
    int m_records = 0;    // records handed to the packers
    QList<Skeleton> m_skeletons;
    QList<Fragment> m_fragments;
    QList<QPair<quint32, quint32>> m_flows;

    // Written by the thread that writes packed batches, read once the threads are gone.
    QList<quint32> m_recordSizes;
    // Last: its threads stop before the members they use go.
    OrderedWork<Batch> m_packers;
};
