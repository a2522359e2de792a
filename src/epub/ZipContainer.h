#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QTemporaryFile>

#include "core/OrderedWork.h"

/// The zip a book is packed in, written under a temporary name beside its target and renamed
/// into place when complete: a book is whole under its name, or not there.
///
/// Every entry is handed over as finished bytes. Entries are independent, so they are deflated
/// on every core while the caller builds the next ones; they reach the file in the order they
/// were added, and the same entries always make the same zip, byte for byte.
class ZipContainer {
public:
    enum Packing { Deflated, Stored };

    /// Entries handed over but not yet in the file hold at most about this many bytes: add()
    /// waits for room, so memory stays bounded whatever the number of pages.
    static constexpr qsizetype InFlightLimit = 4 * 1024 * 1024;

    ZipContainer();
    ~ZipContainer();
    ZipContainer(const ZipContainer&) = delete;
    ZipContainer& operator=(const ZipContainer&) = delete;

    /// Starts the zip for `target`; every entry is dated `stamp`.
    bool open(const QString& target, const QDateTime& stamp);
    /// One whole entry; false when the zip has failed (see errorText).
    bool add(const QString& name, QByteArray bytes, Packing packing = Deflated);
    /// Completes the zip, makes it durable and gives it its name; false (with the reason) when
    /// any step failed.
    bool finish();
    /// Drops the zip: the temporary file goes, the target is untouched.
    void abandon();
    /// Why a step failed, naming the target.
    QString errorText() const;

private:
    struct Entry;
    struct Deflater;

    void pack(Entry& e, Deflater& deflater);
    bool writePacked(const Entry& e);
    bool writeEntry(const Entry& e, QString* why);
    bool writeBytes(const QByteArray& bytes, QString* why);

    QString m_target;
    quint16 m_dosTime = 0;
    quint16 m_dosDate = 0;
    QTemporaryFile m_file;

    int m_errno = 0;
    QString m_error;
    // Used by the thread that writes packed entries, then by finish().
    quint64 m_offset = 0;
    quint64 m_count = 0;
    QByteArray m_central;
    // Last: its threads stop before the members they use go.
    OrderedWork<Entry, Deflater> m_packers;
};
