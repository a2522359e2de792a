#include "LineReader.h"

#include "ByteSearch.h"
#include "config/SystemError.h"

#include <QCoreApplication>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Both searches look for CR and LF in one pass: a text of lone CRs is not searched to the end
// of the buffer for an LF at every line.
const char* findLineEnd(const char* p, const char* e)
{
    return findLineBreak(p, e);
}

const char* lastLineEnd(const char* b, const char* e)
{
    return findLastLineBreak(b, e);
}

} // namespace

LineReader::LineReader(qsizetype chunkSize) : m_chunk(chunkSize) {}

bool LineReader::open(const QString& path, QString* error)
{
    close();
    auto failed = [&](const QString& why) {
        m_error = why;
        if (error) {
            *error = m_error;
        }
        return false;
    };
    // Without O_NONBLOCK a named pipe would hang the open until someone writes to it.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return failed(fileErrorText(QStringLiteral(u"无法打开文件"), path, errno));
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return failed(notRegularFileText(path));
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    m_device = st.st_dev;
    m_inode = st.st_ino;
    if (!m_file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return failed(m_file.errorString());
    }
    m_path = path;
    m_buf.resize(m_chunk);
    return rewind(error);
}

bool LineReader::isSameFile(const QString& path) const
{
    struct stat st;
    return m_file.isOpen() && ::stat(QFile::encodeName(path).constData(), &st) == 0 && st.st_dev == m_device
           && st.st_ino == m_inode;
}

QString LineReader::openFilePath() const
{
    // Through the process's own descriptor: the same file, with a read position of its own.
    return m_file.isOpen() ? QStringLiteral("/proc/self/fd/%1").arg(m_file.handle()) : QString();
}

void LineReader::close()
{
    m_file.close();
    m_path.clear();
    m_buf = QByteArray();
    m_pos = m_end = m_scan = 0;
    m_bufOffset = 0;
    m_eof = false;
    m_counted = m_lineOffset = 0;
    m_mark = m_curStart = 0;
    m_atEnd = false;
}

bool LineReader::rewind(QString* error)
{
    return rewindTo(m_skip, -1, error);
}

bool LineReader::rewindTo(qint64 from, qint64 to, QString* error)
{
    m_limit = to;
    m_holdFrom = -1;
    m_pos = m_end = m_scan = 0;
    m_bufOffset = from;
    m_eof = false;
    m_counted = m_lineOffset = 0;
    m_mark = m_curStart = 0;
    m_atEnd = false;
    m_taken = 0;
    m_lastTerminated = true;
    m_skipping = false;
    if (!m_file.isOpen() || !m_file.seek(from)) {
        m_error = m_file.isOpen() ? m_file.errorString()
                                  : QCoreApplication::translate("LineReader", "文件未打开!");
        if (error) {
            *error = m_error;
        }
        return false;
    }
    return true;
}

// Moves the unread part to the front and reads more; grows the buffer only for a line longer
// than it. False on a read error.
bool LineReader::fill()
{
    if (m_cancel && m_cancel->load(std::memory_order_relaxed)) {
        m_error = QCoreApplication::translate("LineReader", "读取已取消");
        return false;
    }
    if (m_pos > 0) {
        // Count what is about to leave the buffer, or is passed over.
        if (m_skipping) {
            m_counted += countTerminators(m_mark, m_pos);
        }
        // What was read before m_pos goes, but for the bytes a caller asked to keep.
        qsizetype drop = m_pos;
        if (m_holdFrom >= 0) {
            const qint64 from = std::max(m_holdFrom, m_bufOffset + m_pos - MaxHold);
            drop = qsizetype(std::clamp<qint64>(from - m_bufOffset, 0, m_pos));
        }
        const qsizetype keep = m_end - drop;
        std::memmove(m_buf.data(), m_buf.constData() + drop, size_t(keep));
        m_bufOffset += drop;
        m_scan -= drop;
        m_end = keep;
        m_pos -= drop;
        m_mark = m_pos;
        m_curStart = m_pos;
    }
    if (m_end == m_buf.size()) {
        m_buf.resize(m_buf.size() * 2);
    }
    qint64 room = m_buf.size() - m_end;
    if (m_limit >= 0) {
        room = std::clamp<qint64>(m_limit - (m_bufOffset + m_end), 0, room);
    }
    errno = 0;
    const qint64 got = room > 0 ? m_file.read(m_buf.data() + m_end, room) : 0;
    if (got < 0) {
        m_error = errno ? fileErrorText(QStringLiteral(u"读取文件失败"), m_path, errno) : m_file.errorString();
        return false;
    }
    if (got == 0) {
        m_eof = true;
    }
    m_end += got;
    return true;
}

// Hands out the line from m_pos to `end` and the terminator of `termLen` bytes after it.
LineReader::Result LineReader::take(QByteArrayView& line, QByteArrayView& terminator, qsizetype end, qsizetype termLen)
{
    const char* b = m_buf.constData();
    line = QByteArrayView(b + m_pos, end - m_pos);
    terminator = QByteArrayView(b + end, termLen);
    m_lineOffset = m_bufOffset + m_pos;
    m_curStart = m_pos;
    m_pos = m_scan = end + termLen;
    ++m_taken;
    m_lastTerminated = termLen > 0;
    return Line;
}

LineReader::Result LineReader::next(QByteArrayView& line, QByteArrayView& terminator)
{
    if (m_wide) {
        return nextWide(line, terminator);
    }
    for (;;) {
        const char* b = m_buf.constData();
        const char* hit = findLineEnd(b + std::max(m_pos, m_scan), b + m_end);
        const qsizetype k = hit - b;
        if (k < m_end && !(*hit == '\r' && k + 1 == m_end && !m_eof)) {
            return take(line, terminator, k, (*hit == '\r' && k + 1 < m_end && b[k + 1] == '\n') ? 2 : 1);
        }
        m_scan = k; // a CR waiting for its possible LF is scanned again
        if (const std::optional<Result> r = refillOrFinish(line, terminator)) {
            return *r;
        }
    }
}

// No line end is left in the buffer: reads more (nothing to return yet), or at the end of the
// file hands out an unterminated last line or says End.
std::optional<LineReader::Result> LineReader::refillOrFinish(QByteArrayView& line, QByteArrayView& terminator)
{
    if (!m_eof) {
        return fill() ? std::nullopt : std::optional(Error);
    }
    if (m_pos < m_end) {
        return take(line, terminator, m_end, 0);
    }
    m_atEnd = true;
    return End;
}

qsizetype LineReader::lineStartBefore(qsizetype pos) const
{
    const char* b = m_buf.constData();
    const char* eol = lastLineEnd(b + m_pos, b + pos);
    return eol ? (eol - b) + 1 : m_pos;
}

// Lines ended in [from, to): every LF, and every CR that no LF follows. The caller makes sure
// a CR right before `to` is followed by a known byte.
qint64 LineReader::countTerminators(qsizetype from, qsizetype to) const
{
    const char* b = m_buf.constData();
    // A CR at the end of the buffer is alone as far as anyone can tell.
    return countLineEnds(b + from, size_t(to - from), to >= m_end || b[to] != '\n');
}

// UTF-16: line ends are the units CR and LF, at even offsets from the start of the text.
LineReader::Result LineReader::nextWide(QByteArrayView& line, QByteArrayView& terminator)
{
    const int lo = m_littleEndian ? 0 : 1; // index of the low byte in a unit
    for (;;) {
        const char* b = m_buf.constData();
        qsizetype k = std::max(m_pos, m_scan);
        for (; k + 1 < m_end; k += 2) {
            if (b[k + 1 - lo] == 0 && (b[k + lo] == '\n' || b[k + lo] == '\r')) {
                break;
            }
        }
        const bool found = k + 1 < m_end;
        const bool isCr = found && b[k + lo] == '\r';
        if (found && !(isCr && k + 3 >= m_end && !m_eof)) {
            const bool crlf = isCr && k + 3 < m_end && b[k + 3 - lo] == 0 && b[k + 2 + lo] == '\n';
            return take(line, terminator, k, crlf ? 4 : 2);
        }
        m_scan = k; // a CR waiting for its possible LF is looked at again
        if (const std::optional<Result> r = refillOrFinish(line, terminator)) {
            return *r;
        }
    }
}

LineReader::Result LineReader::nextContaining(QByteArrayView needle, QByteArrayView& line,
                                              QByteArrayView& terminator, NeedleTest test)
{
    if (m_wide || needle.isEmpty() || needle.contains('\r') || needle.contains('\n')) {
        return next(line, terminator);
    }
    LineNeedles one;
    one.bytes.data[0] = needle.data();
    one.bytes.size[0] = size_t(needle.size());
    one.bytes.count = 1;
    one.tests[0] = test;
    return advance(&one, &line, &terminator);
}

LineReader::Result LineReader::nextContainingAny(const LineNeedles& needles, QByteArrayView& line,
                                                 QByteArrayView& terminator)
{
    bool usable = !m_wide && needles.bytes.count > 0;
    for (int k = 0; usable && k < needles.bytes.count; ++k) {
        const QByteArrayView n(needles.bytes.data[k], qsizetype(needles.bytes.size[k]));
        usable = !n.isEmpty() && !n.contains('\r') && !n.contains('\n');
    }
    return usable ? advance(&needles, &line, &terminator) : next(line, terminator);
}

// Skips whole lines up to the first one holding one of the needles (none: to the end).
LineReader::Result LineReader::advance(const LineNeedles* needles, QByteArrayView* line, QByteArrayView* terminator)
{
    if (!m_skipping) {
        // Every line before m_pos was handed out, each with its terminator but perhaps the last.
        m_skipping = true;
        m_counted = m_taken - (m_lastTerminated ? 0 : 1);
        m_mark = m_pos;
    }
    for (;;) {
        const char* b = m_buf.constData();
        const char* e = b + m_end;
        const char* found = nullptr;
        if (needles) {
            // Occurrences the test throws out cost no line finding at all.
            int k = 0;
            found = findAnyBytes(b + m_pos, size_t(e - b - m_pos), needles->bytes, needles->tests, &k);
        }
        if (found) {
            m_pos = m_scan = lineStartBefore(found - b);
            return next(*line, *terminator);
        }
        if (m_eof) {
            m_pos = m_scan = m_end;
            m_atEnd = true;
            return End;
        }
        // Keep the last, possibly partial line so a needle cut by the buffer is still found;
        // a trailing CR stays with it until we know whether an LF follows.
        qsizetype keep = lineStartBefore(m_end);
        if (keep == m_end && m_end > m_pos && b[m_end - 1] == '\r') {
            keep = m_end - 1;
        }
        m_pos = m_scan = keep;
        if (!fill()) {
            return Error;
        }
    }
}

qint64 LineReader::skipToEnd()
{
    if (m_wide) {
        QByteArrayView line, terminator;
        Result r;
        while ((r = nextWide(line, terminator)) == Line) {
        }
        return r == Error ? -1 : m_taken;
    }
    if (advance(nullptr, nullptr, nullptr) == Error) {
        return -1;
    }
    return lineNumber();
}

qint64 LineReader::lineNumber() const
{
    if (m_wide || !m_skipping) {
        return m_taken;
    }
    if (m_atEnd) {
        const char* b = m_buf.constData();
        const bool unterminated = m_end > 0 && b[m_end - 1] != '\n' && b[m_end - 1] != '\r';
        return m_counted + countTerminators(m_mark, m_end) + (unterminated ? 1 : 0);
    }
    // A CR just before the line start is followed by the line's first byte, so the count
    // up to the start is exact.
    m_counted += countTerminators(m_mark, m_curStart);
    m_mark = m_curStart;
    return m_counted + 1;
}

qint64 LineReader::countLines(const QString& path, QString* error)
{
    LineReader reader;
    if (!reader.open(path, error)) {
        return -1;
    }
    const qint64 n = reader.skipToEnd();
    if (n < 0 && error) {
        *error = reader.errorString();
    }
    return n;
}
