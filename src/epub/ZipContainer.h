#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QTemporaryFile>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

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

    void pack();
    void writeFinished(std::unique_lock<std::mutex>& lock);
    bool writeEntry(const Entry& e, QString* why);
    bool writeBytes(const QByteArray& bytes, QString* why);
    void stopPacking();
    bool fail(int error, const QString& text);

    QString m_target;
    quint16 m_dosTime = 0;
    quint16 m_dosDate = 0;
    QTemporaryFile m_file;

    // Shared with the packing threads, under m_mutex.
    std::mutex m_mutex;
    std::condition_variable m_work; // an entry to pack, or the end
    std::condition_variable m_room; // an entry written, or a failure
    std::deque<std::unique_ptr<Entry>> m_entries; // added and not yet written, in order
    size_t m_taken = 0;       // entries at the front of m_entries that a thread has taken
    qsizetype m_inFlight = 0; // bytes in m_entries
    bool m_writing = false;   // a thread is writing finished entries
    bool m_stop = false;
    bool m_failed = false;
    int m_errno = 0;
    QString m_error;
    std::vector<std::thread> m_threads;

    // Used by the thread that holds m_writing, then by finish().
    quint64 m_offset = 0;
    quint64 m_count = 0;
    QByteArray m_central;
};
