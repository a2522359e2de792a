#include "FileWriter.h"

#include "config/SystemError.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A batch goes to the thread once it holds this much, and at most this many wait for it.
constexpr size_t BatchBytes = 128 << 10;
constexpr size_t BatchOps = 1024;
constexpr size_t QueuedBatches = 4;
constexpr qsizetype HugeLine = 1 << 20;

bool writeAll(int fd, const char* p, size_t n)
{
    while (n > 0) {
        const ssize_t k = ::write(fd, p, n);
        if (k < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        p += k;
        n -= size_t(k);
    }
    return true;
}

} // namespace

FileWriter::FileWriter() : m_random(std::random_device{}()), m_thread([this] { work(); }) {}

FileWriter::~FileWriter()
{

    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void FileWriter::setEncoding(const QByteArray& eol, const QByteArray& bom)
{
    m_eol = eol;
    m_bom = bom;
}

bool FileWriter::open(const QString& path, bool append, bool checked)
{
    if (failed()) {
        return false;
    }
    m_batch.paths.push_back(path);
    Op op{Op::Open, qsizetype(m_batch.paths.size() - 1), 0, append};
    op.checked = checked;
    m_batch.ops.push_back(op);
    m_open = true;
    return true;
}

bool FileWriter::writeLine(QByteArrayView bytes, QByteArrayView terminator)
{
    std::string& data = m_batch.data;
    const qsizetype from = qsizetype(data.size());
    if (bytes.size() >= HugeLine) {
        // A huge line is written from where it lies, not copied: the thread writes it while
        // this one waits, so the bytes stay valid.
        Op view{Op::WriteView};
        view.view = bytes;
        m_batch.ops.push_back(view);
        data.append(m_eol.constData(), size_t(m_eol.size()));
        m_batch.ops.push_back({Op::Write, from, qsizetype(data.size())});
        send();
        return finish();
    }
    if (terminator == QByteArrayView(m_eol) && terminator.data() == bytes.data() + bytes.size()) {
        data.append(bytes.data(), size_t(bytes.size() + terminator.size()));
    } else {
        data.append(bytes.data(), size_t(bytes.size()));
        data.append(m_eol.constData(), size_t(m_eol.size()));
    }
    // Consecutive lines of one file make one write.
    if (!m_batch.ops.empty() && m_batch.ops.back().kind == Op::Write && m_batch.ops.back().to == from) {
        m_batch.ops.back().to = qsizetype(data.size());
    } else {
        m_batch.ops.push_back({Op::Write, from, qsizetype(data.size())});
    }
    if (data.size() >= BatchBytes) {
        send();
    }
    return !failed();
}

bool FileWriter::close()
{
    if (m_open) {
        m_batch.ops.push_back({Op::Close});
        m_open = false;
        if (m_batch.data.size() >= BatchBytes || m_batch.ops.size() >= BatchOps) {
            send();
        }
    }
    return !failed();
}

bool FileWriter::finish()
{
    send();
    std::unique_lock lock(m_mutex);
    m_done.wait(lock, [this] { return m_queue.empty() && !m_busy; });
    return !m_failed;
}

void FileWriter::abandon()
{
    if (m_open) {
        // What is still here belongs to the current file after its last Open or Close.
        while (!m_batch.ops.empty()
               && (m_batch.ops.back().kind == Op::Write || m_batch.ops.back().kind == Op::WriteView)) {
            m_batch.ops.pop_back();
        }
        m_batch.ops.push_back({Op::Abort});
        m_open = false;
    }
    finish();
}

QString FileWriter::errorMessage() const
{
    std::lock_guard lock(m_mutex);
    return m_error;
}

void FileWriter::send()
{
    if (m_batch.empty()) {
        m_batch.data.clear();
        return;
    }
    push(std::move(m_batch));
    std::lock_guard lock(m_mutex);
    if (!m_spare.empty()) {
        m_batch = std::move(m_spare.back());
        m_spare.pop_back();
    } else {
        m_batch = Batch();
    }
}

void FileWriter::push(Batch&& batch)
{
    std::unique_lock lock(m_mutex);

    m_done.wait(lock, [this] { return m_queue.size() < QueuedBatches || m_failed; });
    if (m_failed) {
        return;
    }
    m_queue.push_back(std::move(batch));
    if (m_waiting) {
        m_wake.notify_one();
    }
}

void FileWriter::recycle(Batch&& batch)
{
    batch.data.clear();
    batch.ops.clear();
    batch.paths.clear();
    if (batch.data.capacity() <= 4 * BatchBytes) {
        m_spare.push_back(std::move(batch));
    }
}

// The folder of `path`, opened once for all the files that go there, so that each file's
// system calls name it relative to the folder instead of walking the whole path again.
bool FileWriter::enterFolder(const QString& path, Current& cur)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    const QString folder = slash < 0 ? QStringLiteral(".") : path.left(slash + 1);
    cur.name = QFile::encodeName(path.mid(slash + 1));
    if (m_dirFd >= 0 && folder == m_dirPath) {
        return true;
    }
    if (m_dirFd >= 0) {
        ::close(m_dirFd);
    }
    m_dirPath = folder;
    m_dirFd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    return m_dirFd >= 0;
}

// Creates an empty file with a name of its own in the current folder, for the text to go to
// until it is complete. The name starts with a dot so that file managers hide a left-over one.
int FileWriter::createTemporary(Current& cur)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        cur.temp = ".vellomar-" + QByteArray::number(quint32(m_random()), 16) + ".part";
        const int fd = ::openat(m_dirFd, cur.temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

// Throws the current file away: a new file's temporary goes, an appended file is cut back to
// the length it had before.
void FileWriter::discard(Current& cur)
{
    if (cur.fd < 0) {
        return;
    }
    if (cur.temp.isEmpty()) {
        if (::ftruncate(cur.fd, cur.appendFrom) != 0) {
            // Nothing more can be done; the report already names the file.
        }
    }
    ::close(cur.fd);
    if (!cur.temp.isEmpty()) {
        ::unlinkat(m_dirFd, cur.temp.constData(), 0);
    }
    cur = Current();
}

// Runs one batch's operations; false with `error` set at the first that failed (the file that
// failed is discarded, see discard()).
bool FileWriter::run(const Batch& batch, Current& cur, QString& error, int& number)
{
    auto failWrite = [&](int err) {
        error = fileErrorText(QStringLiteral(u"写入文件失败"), cur.path, err);
        number = 61;
        discard(cur);
        return false;
    };
    auto refuse = [&] {
        error = QStringLiteral(u"无法写入文件: %1").arg(notRegularFileText(cur.path));
        number = 75;
        cur = Current();
        return false;
    };
    for (const Op& op : batch.ops) {
        switch (op.kind) {
        case Op::Open: {
            discard(cur);
            cur.path = batch.paths[size_t(op.from)];
            if (!enterFolder(cur.path, cur)) {
                const int err = errno;
                error = fileErrorText(QStringLiteral(u"无法写入文件"), cur.path, err);
                number = 75;
                cur = Current();
                return false;
            }
            const char* name = cur.name.constData();
            struct stat st;
            // Only a regular file is written: a folder, a pipe or a device at the name is
            // refused (a pipe would hang the open). A link is replaced, never written through,
            // unless a file it leads to is added to.
            if (!op.checked && ::fstatat(m_dirFd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISREG(st.st_mode)
                && !S_ISLNK(st.st_mode)) {
                return refuse();
            }
            const bool append = op.append && ::fstatat(m_dirFd, name, &st, 0) == 0;
            if (append && !S_ISREG(st.st_mode)) {
                return refuse();
            }
            if (append) {
                cur.fd = ::openat(m_dirFd, name, O_WRONLY | O_APPEND | O_CLOEXEC | O_NONBLOCK);
                if (cur.fd >= 0 && (::fstat(cur.fd, &st) != 0 || !S_ISREG(st.st_mode))) {
                    ::close(cur.fd);
                    return refuse();
                }
                if (cur.fd >= 0) {
                    ::fcntl(cur.fd, F_SETFL, ::fcntl(cur.fd, F_GETFL) & ~O_NONBLOCK);
                    cur.appendFrom = st.st_size;
                }
            } else {
                cur.fd = createTemporary(cur);
            }
            if (cur.fd < 0) {
                const int err = errno;
                error = fileErrorText(QStringLiteral(u"无法写入文件"), cur.path, err);
                number = 75;
                cur = Current();
                return false;
            }
            if (!m_bom.isEmpty() && (!append || cur.appendFrom == 0)
                && !writeAll(cur.fd, m_bom.constData(), size_t(m_bom.size()))) {
                return failWrite(errno);
            }
            break;
        }
        case Op::Write:
            if (cur.fd >= 0 && !writeAll(cur.fd, batch.data.data() + op.from, size_t(op.to - op.from))) {
                return failWrite(errno);
            }
            break;
        case Op::WriteView:
            if (cur.fd >= 0 && !writeAll(cur.fd, op.view.data(), size_t(op.view.size()))) {
                return failWrite(errno);
            }
            break;
        case Op::Close:
            if (cur.fd >= 0) {
                const int rc = ::close(cur.fd);
                cur.fd = -1;
                int err = errno;
                bool ok = rc == 0 || err == EINTR;
                // Only a complete file takes the chapter's name; a file it replaces stays until then.
                if (ok && !cur.temp.isEmpty()) {
                    ok = ::renameat(m_dirFd, cur.temp.constData(), m_dirFd, cur.name.constData()) == 0;
                    err = errno;
                }
                if (!ok) {
                    if (!cur.temp.isEmpty()) {
                        ::unlinkat(m_dirFd, cur.temp.constData(), 0);
                    }
                    error = fileErrorText(QStringLiteral(u"写入文件失败"), cur.path, err);
                    number = 61;
                    cur = Current();
                    return false;
                }
                cur = Current();
            }
            break;
        case Op::Abort:
            discard(cur);
            break;
        }
    }
    return true;
}

void FileWriter::work()
{
    Current cur;
    for (;;) {
        Batch batch;
        {
            std::unique_lock lock(m_mutex);
            m_waiting = true;
            m_wake.wait(lock, [this] { return m_quit || !m_queue.empty(); });
            m_waiting = false;
            if (m_queue.empty()) {
                break;
            }
            batch = std::move(m_queue.front());
            m_queue.pop_front();
            m_busy = true;
        }
        QString error;
        int number = 0;
        const bool ok = run(batch, cur, error, number);
        {
            std::lock_guard lock(m_mutex);
            if (!ok && !m_failed) {
                m_error = error;
                m_errorNumber = number;
                m_failed = true;
                m_queue.clear(); // nothing more is written after a failure
            }
            if (!ok) {
                discard(cur);
            }
            recycle(std::move(batch));
            m_busy = false;
        }
        m_done.notify_all();
    }
    // A file never closed was not complete.
    discard(cur);
    if (m_dirFd >= 0) {
        ::close(m_dirFd);
        m_dirFd = -1;
    }
}
