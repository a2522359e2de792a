#pragma once

#include <QString>

#include <sys/types.h>

/// Why a system call failed, in the user's language for the errors people meet with files
/// (not found, no permission, a folder, disk full …); the system's own text otherwise.
QString systemErrorText(int errnum);

/// "<what>: <path>（<reason>）", the form every file error of the program takes.
QString fileErrorText(const QString& what, const QString& path, int errnum);

/// The reason a file operation on `path` failed: a folder where a file was wanted, or the
/// errno the failing call left (`savedErrno`, read right after it, 0 when none), in the
/// words above; the library's own text (`fallback`) when neither says more.
QString fileFailureReason(const QString& path, int savedErrno, const QString& fallback);

/// The reason given when a path names something that is not a regular file (a folder, a named
/// pipe, a device): reading or replacing it would hang, fail or destroy it.
QString notRegularFileText(const QString& path);

/// Replaces the file at `path` with `data` through a temporary file, written unbuffered: a
/// buffered QSaveFile takes a short write (a full disk) for success and puts a cut file in
/// place. On failure the old file is untouched and `reason` (when given) says why.
bool replaceFileWhole(const QString& path, QByteArrayView data, QString* reason);

/// The kind of directory entry at a path, without following a link at it.
enum class EntryKind { None, File, Link, Directory, Special };
EntryKind entryKind(const QString& path);

/// The mode a newly created file gets here: 0666 less the process's umask, which is read without
/// changing it (umask() would race with other threads). For files written under a private
/// temporary name and renamed into place.
mode_t newFileMode();
