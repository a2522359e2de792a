#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QTemporaryFile>

#include <quazip/quazip.h>
#include <quazip/quazipfile.h>

/// The zip a book is packed in, written under a temporary name beside its target and renamed
/// into place when complete: a book is whole under its name, or not there.
///
/// Every entry is handed over as finished bytes: whole (add), or, for a page too long to hold,
/// in pieces between begin and end. Nothing the writers do depends on when the bytes reach the
/// file, so the compressing can move elsewhere (other cores) behind this interface.
class ZipContainer {
public:
    enum Packing { Deflated, Stored };

    ZipContainer() = default;
    ~ZipContainer() { abandon(); }
    ZipContainer(const ZipContainer&) = delete;
    ZipContainer& operator=(const ZipContainer&) = delete;

    /// Starts the zip for `target`; every entry is dated `stamp`.
    bool open(const QString& target, const QDateTime& stamp);
    /// One whole entry.
    bool add(const QString& name, const QByteArray& bytes, Packing packing = Deflated);
    /// An entry given in pieces, in order.
    bool begin(const QString& name, Packing packing = Deflated);
    bool append(const QByteArray& piece);
    bool end();
    /// Completes the zip, makes it durable and gives it its name; false (with the reason) when
    /// any step failed.
    bool finish();
    /// Drops the zip: the temporary file goes, the target is untouched.
    void abandon();
    /// Why a step failed, naming the target.
    QString errorText() const;

private:
    bool fail();

    QString m_target;
    QDateTime m_stamp;
    QTemporaryFile m_file;
    QuaZip m_zip;
    QuaZipFile m_entry;
    int m_errno = 0;
    QString m_error;
};
