#include "FileWriter.h"

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

FileWriter::FileWriter() : m_thread([this] { work(); }) {}

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

bool FileWriter::open(const QString& path, bool append)
{
    if (failed()) {
        return false;
    }
    m_batch.paths.push_back(path);
    m_batch.ops.push_back({Op::Open, qsizetype(m_batch.paths.size() - 1), 0, append});
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
        m_batch.ops.push_back({Op::Close});
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

// Runs one batch's operations; false with `error` set at the first that failed.
bool FileWriter::run(const Batch& batch, int& fd, QString& path, QString& error, int& number)
{
    auto failWrite = [&] {
        error = QStringLiteral(u"写入文件失败: %1 (%2)").arg(path, qt_error_string(errno));
        number = 61;
        return false;
    };
    for (const Op& op : batch.ops) {
        switch (op.kind) {
        case Op::Open: {
            if (fd >= 0) {
                ::close(fd);
            }
            path = batch.paths[size_t(op.from)];
            const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (op.append ? O_APPEND : O_TRUNC);
            fd = ::open(QFile::encodeName(path).constData(), flags, 0666);
            if (fd < 0) {
                error = QStringLiteral(u"无法写入文件: %1 (%2)").arg(path, qt_error_string(errno));
                number = 75;
                return false;
            }
            if (!m_bom.isEmpty()) {
                struct stat st;
                if (::fstat(fd, &st) != 0 || (st.st_size == 0 && !writeAll(fd, m_bom.constData(), size_t(m_bom.size())))) {
                    return failWrite();
                }
            }
            break;
        }
        case Op::Write:
            if (fd >= 0 && !writeAll(fd, batch.data.data() + op.from, size_t(op.to - op.from))) {
                return failWrite();
            }
            break;
        case Op::WriteView:
            if (fd >= 0 && !writeAll(fd, op.view.data(), size_t(op.view.size()))) {
                return failWrite();
            }
            break;
        case Op::Close:
            if (fd >= 0) {
                const int rc = ::close(fd);
                fd = -1;
                if (rc != 0 && errno != EINTR) {
                    return failWrite();
                }
            }
            break;
        }
    }
    return true;
}

void FileWriter::work()
{
    int fd = -1;
    QString path;
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
        const bool ok = run(batch, fd, path, error, number);
        {
            std::lock_guard lock(m_mutex);
            if (!ok && !m_failed) {
                m_error = error;
                m_errorNumber = number;
                m_failed = true;
                m_queue.clear(); // nothing more is written after a failure
                if (fd >= 0) {
                    ::close(fd);
                    fd = -1;
                }
            }
            recycle(std::move(batch));
            m_busy = false;
        }
        m_done.notify_all();
    }
    if (fd >= 0) {
        ::close(fd);
    }
}
