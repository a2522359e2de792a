#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

/// Output files, written by a second thread so that the kernel's work of creating and filling
/// files overlaps the reading and filtering of the next lines. Files are opened, filled and
/// closed strictly in the order asked; the first failure stops all writing and is reported
/// at the caller's next call (and by finish(), which a pass calls before it claims success).
///
/// A new file is written under a temporary name in its folder and takes its own name only
/// when it is complete; a file added to (append) is cut back to its old length when writing
/// it fails. So no file is ever left half-written under a chapter's name.
///
/// Work goes to the thread in batches of about a megabyte (many small chapter files at once),
/// so the threads hand over rarely and memory stays bounded whatever the disk's speed.
class FileWriter {
public:
    FileWriter();
    ~FileWriter();
    FileWriter(const FileWriter&) = delete;
    FileWriter& operator=(const FileWriter&) = delete;

    /// Line ends in the novel's encoding, and the byte-order mark a new file starts with.
    void setEncoding(const QByteArray& eol, const QByteArray& bom);
    /// Starts a file (replacing any file of that name, or appended to when `append` and a file
    /// is there); false when an earlier write failed. `checked`: the caller has made sure that
    /// nothing but a regular file or a link is at the path, so the thread need not look.
    bool open(const QString& path, bool append, bool checked = false);
    /// Adds a line and the line end. A line given with its own terminator that is already
    /// the output's line end goes in with one copy.
    bool writeLine(QByteArrayView bytes, QByteArrayView terminator = {});
    /// Ends the current file: it takes its name now (once the thread gets to it).
    bool close();
    /// Waits until everything asked has been written; false when something failed.
    bool finish();
    /// Throws the current file away (see above) and waits for the files before.
    void abandon();

    bool failed() const { return m_failed.load(); }
    QString errorMessage() const;
    int errorNumber() const { return m_errorNumber; }

private:
    struct Op {
        enum Kind { Open, Write, WriteView, Close, Abort } kind;
        qsizetype from = 0; // Open: index in paths; Write: range in the batch's data
        qsizetype to = 0;
        bool append = false;
        QByteArrayView view = {}; // bytes owned by the caller, who waits (see writeLine)
        bool checked = false;     // Open: the caller looked at what is at the path
    };
    struct Batch {
        std::string data;
        std::vector<Op> ops;
        std::vector<QString> paths;
        bool empty() const { return ops.empty(); }
    };

    struct Current { // the file the thread is writing
        int fd = -1;
        QString path;
        QByteArray name;       // its name in the folder
        QByteArray temp;       // a new file's text goes here until it is complete
        qint64 appendFrom = 0; // an appended file's length before
    };

    void send();
    void push(Batch&& batch);
    void work();
    bool run(const Batch& batch, Current& cur, QString& error, int& number);
    bool enterFolder(const QString& path, Current& cur);
    int createTemporary(Current& cur);
    void discard(Current& cur);
    void recycle(Batch&& batch);

    Batch m_batch; // being filled by the caller
    QByteArray m_eol = QByteArray("\r\n");
    QByteArray m_bom;
    bool m_open = false;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake; // work for the thread
    std::condition_variable m_done; // room in the queue, or a batch finished
    std::deque<Batch> m_queue;
    std::vector<Batch> m_spare; // emptied batches, kept for their capacity
    bool m_busy = false;
    bool m_waiting = false; // the thread sleeps for work
    bool m_quit = false;
    std::atomic<bool> m_failed{false};
    QString m_error;
    int m_errorNumber = 0;
    // Used by the thread only: temporary names, and the folder of the files being written.
    std::minstd_rand m_random;
    int m_dirFd = -1;
    QString m_dirPath;
    std::thread m_thread;
};
