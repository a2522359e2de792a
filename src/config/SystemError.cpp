#include "SystemError.h"

#include <QFile>
#include <QSaveFile>

#include <cerrno>
#include <sys/stat.h>

QString systemErrorText(int errnum) {
    switch (errnum) {
    case ENOENT:
        return QStringLiteral(u"文件或文件夹不存在");
    case EACCES:
    case EPERM:
        return QStringLiteral(u"没有权限");
    case EISDIR:
        return QStringLiteral(u"这是一个文件夹");
    case ENOTDIR:
        return QStringLiteral(u"路径中有一项不是文件夹");
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral(u"磁盘已满");
    case EROFS:
        return QStringLiteral(u"只读文件系统");
    case EFBIG:
        return QStringLiteral(u"文件过大");
    case EMFILE:
    case ENFILE:
        return QStringLiteral(u"打开的文件过多");
    case ENAMETOOLONG:
        return QStringLiteral(u"文件名过长");
    case EEXIST:
        return QStringLiteral(u"已存在");
    case EIO:
        return QStringLiteral(u"读写设备出错");
    default:
        return qt_error_string(errnum);
    }
}

QString fileErrorText(const QString& what, const QString& path, int errnum) {
    return QStringLiteral(u"%1: %2（%3）").arg(what, path, systemErrorText(errnum));
}

QString fileFailureReason(const QString& path, int savedErrno, const QString& fallback)
{
    if (entryKind(path) == EntryKind::Directory) {
        return systemErrorText(EISDIR);
    }
    if (savedErrno != 0 && systemErrorText(savedErrno) != qt_error_string(savedErrno)) {
        return systemErrorText(savedErrno);
    }
    return fallback;
}

bool replaceFileWhole(const QString& path, QByteArrayView data, QString* reason)
{
    QSaveFile file(path);
    errno = 0;
    bool ok = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    for (qsizetype done = 0; ok && done < data.size();) {
        errno = 0;
        const qint64 n = file.write(data.data() + done, data.size() - done);
        ok = n > 0;
        done += ok ? n : 0;
    }
    if (ok && file.commit()) {
        return true;
    }
    const int saved = errno;
    file.cancelWriting();
    if (reason) {
        *reason = fileFailureReason(path, saved, file.errorString());
    }
    return false;
}

QString notRegularFileText(const QString& path) {
    return entryKind(path) == EntryKind::Directory
               ? QStringLiteral(u"%1 是一个文件夹，不是普通文件").arg(path)
               : QStringLiteral(u"%1 不是普通文件").arg(path);
}

EntryKind entryKind(const QString& path) {
    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) {
        return EntryKind::None;
    }
    if (S_ISREG(st.st_mode)) {
        return EntryKind::File;
    }
    if (S_ISLNK(st.st_mode)) {
        return EntryKind::Link;
    }
    return S_ISDIR(st.st_mode) ? EntryKind::Directory : EntryKind::Special;
}

mode_t newFileMode()
{
    static const mode_t mode = [] {
        QFile status(QStringLiteral("/proc/self/status"));
        if (status.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : status.readAll().split('\n')) {
                if (line.startsWith("Umask:")) {
                    return mode_t(0666 & ~line.mid(6).trimmed().toUInt(nullptr, 8));
                }
            }
        }
        return mode_t(0644);
    }();
    return mode;
}
