#include "ZipContainer.h"

#include "config/SystemError.h"

#include <QFileInfo>

#include <libdeflate.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Deflate level: 1 packs Chinese text nearly as well as 6 at several times the speed.
constexpr int DeflateLevel = 1;
// More threads than this gain nothing for a book's few megabytes in flight.
constexpr unsigned MaxThreads = 8;
constexpr quint32 Max32 = 0xFFFFFFFFu;

void put16(QByteArray& out, quint32 v)
{
    out += char(v & 0xFF);
    out += char((v >> 8) & 0xFF);
}

void put32(QByteArray& out, quint32 v)
{
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

void put64(QByteArray& out, quint64 v)
{
    put32(out, quint32(v & Max32));
    put32(out, quint32(v >> 32));
}

bool isAscii(const QByteArray& s)
{
    return std::all_of(s.cbegin(), s.cend(), [](char c) { return uchar(c) < 0x80; });
}

} // namespace

// A compressor for the life of a packing thread.
struct ZipContainer::Deflater {
    libdeflate_compressor* c = libdeflate_alloc_compressor(DeflateLevel);
    ~Deflater() { libdeflate_free_compressor(c); }
    Deflater() = default;
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;
};

struct ZipContainer::Entry {
    QByteArray name; // UTF-8
    QByteArray bytes; // as given; packed in place when deflated pays
    qsizetype size = 0;
    quint32 crc = 0;
    bool deflated = false;
    bool wanted = true; // Deflated was asked for
};

ZipContainer::ZipContainer()
    : m_packers(InFlightLimit, [this](Entry& e, Deflater& d) { pack(e, d); }, [this](Entry& e) { return writePacked(e); })
{
}

ZipContainer::~ZipContainer()
{
    abandon();
}

bool ZipContainer::open(const QString& target, const QDateTime& stamp)
{
    m_target = target;
    // The book's dates lie in the range a zip can hold (bookDate); the zip's clock is local.
    const QDate d = stamp.date();
    const QTime t = stamp.time();
    m_dosDate = quint16(((std::clamp(d.year(), 1980, 2107) - 1980) << 9) | (d.month() << 5) | d.day());
    m_dosTime = quint16((t.hour() << 11) | (t.minute() << 5) | (t.second() / 2));
    m_file.setFileTemplate(QFileInfo(target).absolutePath() + QStringLiteral("/.vellomar-XXXXXX.part"));
    m_file.setAutoRemove(true);
    errno = 0;
    if (!m_file.open()) {
        m_errno = errno;
        m_error = m_file.errorString();
        return false;
    }
    m_packers.start(MaxThreads);
    return true;
}

bool ZipContainer::add(const QString& name, QByteArray bytes, Packing packing)
{
    auto e = std::make_unique<Entry>();
    e->name = name.toUtf8();
    e->size = bytes.size();
    e->bytes = std::move(bytes);
    e->wanted = packing == Deflated;
    const qsizetype size = e->size;
    return m_packers.hand(std::move(e), size);
}

// On a packing thread: deflates the entry and checksums it.
void ZipContainer::pack(Entry& e, Deflater& deflater)
{
    const char* data = e.bytes.constData();
    e.crc = quint32(libdeflate_crc32(0, data, size_t(e.size)));
    if (e.wanted && e.size > 0) {
        QByteArray out(qsizetype(libdeflate_deflate_compress_bound(deflater.c, size_t(e.size))), Qt::Uninitialized);
        const size_t n = libdeflate_deflate_compress(deflater.c, data, size_t(e.size), out.data(), size_t(out.size()));
        // Text that will not pack (it never happens with pages) is stored as it is.
        if (n > 0 && qsizetype(n) < e.size) {
            out.truncate(qsizetype(n));
            e.bytes = std::move(out);
            e.deflated = true;
        }
    }
}

// Writes a packed entry, in order, on one thread at a time.
bool ZipContainer::writePacked(const Entry& e)
{
    errno = 0;
    QString why;
    if (writeEntry(e, &why)) {
        return true;
    }
    m_errno = errno;
    m_error = why;
    return false;
}

// The entry's local header and bytes, and its record for the central directory.
bool ZipContainer::writeEntry(const Entry& e, QString* why)
{
    const quint64 packedSize = quint64(e.bytes.size());
    if (quint64(e.size) >= Max32 || packedSize >= Max32) {
        errno = 0;
        *why = QStringLiteral(u"书中的一页超过 4 GB");
        return false;
    }
    const quint16 method = e.deflated ? 8 : 0;
    const quint16 needed = e.deflated ? 20 : 10;
    const quint16 flags = isAscii(e.name) ? 0 : 0x0800; // bit 11: the name is UTF-8
    QByteArray local;
    put32(local, 0x04034b50);
    put16(local, needed);
    put16(local, flags);
    put16(local, method);
    put16(local, m_dosTime);
    put16(local, m_dosDate);
    put32(local, e.crc);
    put32(local, quint32(packedSize));
    put32(local, quint32(e.size));
    put16(local, quint32(e.name.size()));
    put16(local, 0);
    local += e.name;
    if (!writeBytes(local, why) || !writeBytes(e.bytes, why)) {
        return false;
    }
    // A book past 4 GB keeps its entries' places in a ZIP64 field.
    const bool far = m_offset >= Max32;
    put32(m_central, 0x02014b50);
    put16(m_central, (3 << 8) | 45); // made on Unix, by a writer that knows ZIP64
    put16(m_central, far ? 45 : needed);
    put16(m_central, flags);
    put16(m_central, method);
    put16(m_central, m_dosTime);
    put16(m_central, m_dosDate);
    put32(m_central, e.crc);
    put32(m_central, quint32(packedSize));
    put32(m_central, quint32(e.size));
    put16(m_central, quint32(e.name.size()));
    put16(m_central, far ? 12 : 0);
    put16(m_central, 0); // comment
    put16(m_central, 0); // disk
    put16(m_central, 0); // internal attributes
    put32(m_central, quint32(0100644) << 16);
    put32(m_central, far ? Max32 : quint32(m_offset));
    m_central += e.name;
    if (far) {
        put16(m_central, 0x0001);
        put16(m_central, 8);
        put64(m_central, m_offset);
    }
    m_offset += quint64(local.size()) + packedSize;
    ++m_count;
    return true;
}

bool ZipContainer::writeBytes(const QByteArray& bytes, QString* why)
{
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(m_file.handle(), p, size_t(left));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            if (n == 0) {
                errno = EIO;
            }
            *why = QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}

bool ZipContainer::finish()
{
    if (!m_packers.started() || !m_packers.drain()) {
        m_packers.stop();
        return false;
    }
    // The central directory, with the ZIP64 end records when the count or a place needs them.
    QByteArray end = m_central;
    const quint64 centralStart = m_offset;
    const quint64 centralSize = quint64(m_central.size());
    const bool zip64 = m_count >= 0xFFFF || centralStart >= Max32 || centralSize >= Max32;
    if (zip64) {
        put32(end, 0x06064b50);
        put64(end, 44);
        put16(end, (3 << 8) | 45);
        put16(end, 45);
        put32(end, 0);
        put32(end, 0);
        put64(end, m_count);
        put64(end, m_count);
        put64(end, centralSize);
        put64(end, centralStart);
        put32(end, 0x07064b50);
        put32(end, 0);
        put64(end, centralStart + centralSize);
        put32(end, 1);
    }
    put32(end, 0x06054b50);
    put16(end, 0);
    put16(end, 0);
    put16(end, quint32(std::min<quint64>(m_count, 0xFFFF)));
    put16(end, quint32(std::min<quint64>(m_count, 0xFFFF)));
    put32(end, quint32(std::min<quint64>(centralSize, Max32)));
    put32(end, quint32(std::min<quint64>(centralStart, Max32)));
    put16(end, 0);
    errno = 0;
    if (!writeBytes(end, &m_error) || ::fsync(m_file.handle()) != 0) {
        m_errno = errno;
        return false;
    }
    if (std::rename(QFile::encodeName(m_file.fileName()).constData(), QFile::encodeName(m_target).constData()) != 0) {
        m_errno = errno;
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    m_file.setAutoRemove(false);
    m_file.close();
    // A temporary file is private; the book gets the mode any new file gets here.
    ::chmod(QFile::encodeName(m_target).constData(), newFileMode());
    return true;
}

void ZipContainer::abandon()
{
    // The threads finish the entry in hand and take no other.
    m_packers.abandon();
    m_file.close(); // removes the temporary file unless it was renamed
}

QString ZipContainer::errorText() const
{
    return m_errno != 0 ? fileErrorText(QStringLiteral(u"无法写入文件"), m_target, m_errno)
                        : QStringLiteral(u"无法写入文件: %1（%2）").arg(m_target, m_error);
}
