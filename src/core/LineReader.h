#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QFile>
#include <QString>

#include "core/ByteSearch.h"

#include <atomic>
#include <optional>

/// A further quick test of a needle the reader found, given the bytes buffered after it.
using LineNeedleTest = NeedleTest;

/// Several needles at once, each with its own quick test (none: every occurrence counts).
struct LineNeedles {
    NeedleBytes bytes;
    LineNeedleTest tests[NeedleBytes::MaxNeedles];
};

/// Streams a text file line by line with the novel's line rules: a line ends at CR LF, at a
/// lone CR or at a lone LF; the terminator is not part of the line; a terminator at the very
/// end makes no extra empty line; an empty file has no lines.
///
/// Only a buffer of the file is held (256 KiB, or the longest line when that is longer), so
/// memory does not grow with the file. The views handed out stay valid until the next call.
class LineReader {
public:
    enum Result { Line, End, Error };

    /// Reads `chunkSize` bytes at a time: small enough that the bytes are still in the processor's
    /// cache when they are searched.
    explicit LineReader(qsizetype chunkSize = 256 << 10);

    /// Opens a regular file; anything else (a folder, a named pipe, a device) is refused.
    bool open(const QString& path, QString* error = nullptr);
    void close();
    bool isOpen() const { return m_file.isOpen(); }
    QString path() const { return m_path; }
    /// True when `path` (links followed) is the very file this reader has open, whatever its
    /// name: writing there would destroy the text being read.
    bool isSameFile(const QString& path) const;
    /// A path naming the very file this reader has open, even if its name has since been
    /// given to another file (empty when not open).
    QString openFilePath() const;
    /// While `*flag` is true, reading more of the file fails at once (another thread's way
    /// to stop a long skip); none when null.
    void setCancelFlag(const std::atomic<bool>* flag) { m_cancel = flag; }

    /// Back to the first byte (after `skip` bytes, see setLayout); the next line read is line 1.
    bool rewind(QString* error = nullptr);
    /// Reads only the bytes in [from, to) from now on (`to` < 0: to the end of the file);
    /// `from` must be where a line starts, and that line is line 1. rewind() undoes it.
    bool rewindTo(qint64 from, qint64 to, QString* error = nullptr);

    /// How the text is laid out: `skip` bytes at the start that belong to no line (a
    /// byte-order mark), and 2-byte units (UTF-16, little or big endian) instead of bytes.
    /// Takes effect at the next rewind.
    void setLayout(qint64 skip, int unitSize, bool littleEndian)
    {
        m_skip = skip;
        m_wide = unitSize == 2;
        m_littleEndian = littleEndian;
    }

    /// Reads the next line and its terminator ("\r\n", "\r", "\n", or empty for an unterminated
    /// last line).
    Result next(QByteArrayView& line, QByteArrayView& terminator);

    using NeedleTest = LineNeedleTest;

    /// Skips to the next line whose bytes hold `needle` (an occurrence `test` accepts, when
    /// given), counting the lines passed over, and reads it. Far faster than next() when few
    /// lines can be of interest.
    Result nextContaining(QByteArrayView needle, QByteArrayView& line, QByteArrayView& terminator,
                          NeedleTest test = {});
    /// The same for lines holding any of the needles (at least one).
    Result nextContainingAny(const LineNeedles& needles, QByteArrayView& line, QByteArrayView& terminator);

    /// Reads to the end; returns the number of lines in the file (-1 on a read error).
    qint64 skipToEnd();

    /// Number of the line last returned (1-based); after End, the number of lines in the file.
    /// Counted when asked, so skipping through lines that nobody numbers costs no counting.
    qint64 lineNumber() const;
    /// Byte offset in the file of the line last returned.
    qint64 lineOffset() const { return m_lineOffset; }
    /// The file's bytes [from, to) (`to` < 0: to the end of what has been read) when the buffer
    /// still holds them all, else a null view; valid until the next read. A caller can look at
    /// text it has passed without reading it again: what was read before the line last returned
    /// is held back to the start of the buffer, and back to holdFrom() across refills.
    QByteArrayView held(qint64 from, qint64 to = -1) const
    {
        const qint64 end = m_bufOffset + m_end;
        to = to < 0 ? end : to;
        if (from < m_bufOffset || from > to || to > end) {
            return {};
        }
        return QByteArrayView(m_buf.constData() + (from - m_bufOffset), to - from);
    }

    /// Keeps the bytes from file offset `offset` on (at most MaxHold of them) in the buffer when
    /// it is refilled, until the next rewind; -1 for none.
    void holdFrom(qint64 offset) { m_holdFrom = offset; }
    static constexpr qint64 MaxHold = 128 << 10;

    QString errorString() const { return m_error; }

    /// Opens the file, counts its lines and closes it again; -1 with `error` set on failure.
    static qint64 countLines(const QString& path, QString* error = nullptr);

private:
    bool fill();
    Result advance(const LineNeedles* needles, QByteArrayView* line, QByteArrayView* terminator);
    Result nextWide(QByteArrayView& line, QByteArrayView& terminator);
    Result take(QByteArrayView& line, QByteArrayView& terminator, qsizetype end, qsizetype termLen);
    std::optional<Result> refillOrFinish(QByteArrayView& line, QByteArrayView& terminator);
    qsizetype lineStartBefore(qsizetype pos) const;
    qint64 countTerminators(qsizetype from, qsizetype to) const;

    QFile m_file;
    QString m_path;
    quint64 m_device = 0;
    quint64 m_inode = 0;
    QByteArray m_buf;
    qsizetype m_chunk;
    qsizetype m_pos = 0;    // start of the next line in the buffer
    qsizetype m_end = 0;    // bytes held in the buffer
    qsizetype m_scan = 0;   // no line end in [m_pos, m_scan)
    qint64 m_bufOffset = 0; // file offset of m_buf[0]
    bool m_eof = false;
    // Lines are counted lazily: m_counted terminators lie before buffer index m_mark.
    mutable qint64 m_counted = 0;
    mutable qsizetype m_mark = 0;
    qsizetype m_curStart = 0; // start of the line last returned
    bool m_atEnd = false;
    qint64 m_lineOffset = 0;
    qint64 m_skip = 0;
    qint64 m_limit = -1; // file offset where reading stops, -1 for none
    qint64 m_holdFrom = -1;
    const std::atomic<bool>* m_cancel = nullptr;
    bool m_wide = false;
    bool m_littleEndian = true;
    // Lines read one by one are counted as they are handed out; once lines are passed over
    // unread (nextContaining), terminators are counted from the bytes instead.
    qint64 m_taken = 0;
    bool m_lastTerminated = true;
    bool m_skipping = false;
    QString m_error;
};
