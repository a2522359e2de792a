#include "ZipContainer.h"

#include "config/SystemError.h"

#include <quazip/quazipnewinfo.h>

#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace {

// Deflate level: 1 packs Chinese text nearly as well as 6 at several times the speed.
constexpr int DeflateLevel = 1;

// The process's umask, read without changing it (umask() would race with other threads).
mode_t processUmask()
{
    static const mode_t mask = [] {
        QFile status(QStringLiteral("/proc/self/status"));
        if (status.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : status.readAll().split('\n')) {
                if (line.startsWith("Umask:")) {
                    return mode_t(line.mid(6).trimmed().toUInt(nullptr, 8));
                }
            }
        }
        return mode_t(022);
    }();
    return mask;
}

} // namespace

bool ZipContainer::open(const QString& target, const QDateTime& stamp)
{
    m_target = target;
    m_stamp = stamp;
    m_file.setFileTemplate(QFileInfo(target).absolutePath() + QStringLiteral("/.vellomar-XXXXXX.part"));
    m_file.setAutoRemove(true);
    errno = 0;
    if (!m_file.open()) {
        m_errno = errno;
        m_error = m_file.errorString();
        return false;
    }
    m_zip.setIoDevice(&m_file);
    if (!m_zip.open(QuaZip::mdCreate)) {
        m_error = QStringLiteral("zip %1").arg(m_zip.getZipError());
        return false;
    }
    return true;
}

bool ZipContainer::begin(const QString& name, Packing packing)
{
    QuaZipNewInfo info(name);
    info.dateTime = m_stamp;
    info.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
                        | QFileDevice::ReadOther);
    m_entry.setZip(&m_zip);
    const bool store = packing == Stored;
    if (!m_entry.open(QIODevice::WriteOnly, info, nullptr, 0, store ? 0 : Z_DEFLATED, store ? 0 : DeflateLevel)) {
        return fail();
    }
    return true;
}

bool ZipContainer::append(const QByteArray& piece)
{
    return m_entry.write(piece) == piece.size() || fail();
}

bool ZipContainer::end()
{
    m_entry.close();
    return m_entry.getZipError() == 0 || fail();
}

bool ZipContainer::add(const QString& name, const QByteArray& bytes, Packing packing)
{
    return begin(name, packing) && append(bytes) && end();
}

bool ZipContainer::finish()
{
    m_zip.close();
    if (m_zip.getZipError() != 0 || m_file.error() != QFileDevice::NoError) {
        return fail();
    }
    // The zip closes its device; the bytes are made durable through a second handle.
    QFile written(m_file.fileName());
    errno = 0;
    if (!written.open(QIODevice::ReadOnly) || ::fsync(written.handle()) != 0) {
        m_errno = errno;
        return fail();
    }
    written.close();
    if (std::rename(QFile::encodeName(m_file.fileName()).constData(), QFile::encodeName(m_target).constData()) != 0) {
        m_errno = errno;
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    m_file.setAutoRemove(false);
    m_file.close();
    // A temporary file is private; the book gets the mode any new file gets here.
    ::chmod(QFile::encodeName(m_target).constData(), 0666 & ~processUmask());
    return true;
}

void ZipContainer::abandon()
{
    if (m_zip.isOpen()) {
        m_zip.close();
    }
    m_file.close(); // removes the temporary file unless it was renamed
}

QString ZipContainer::errorText() const
{
    return m_errno != 0 ? fileErrorText(QStringLiteral(u"无法写入文件"), m_target, m_errno)
                        : QStringLiteral(u"无法写入文件: %1（%2）").arg(m_target, m_error);
}

bool ZipContainer::fail()
{
    if (m_errno == 0) {
        m_errno = errno;
    }
    if (m_error.isEmpty()) {
        m_error = m_file.error() != QFileDevice::NoError ? m_file.errorString()
                                                         : QStringLiteral("zip %1").arg(m_zip.getZipError());
    }
    return false;
}
