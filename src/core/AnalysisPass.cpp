#include "AnalysisPass.h"

#include "core/Document.h"
#include "core/GbkCodec.h"
#include "core/PassHost.h"
#include "core/ByteSearch.h"
#include "core/cRegExp.h"

#include <QElapsedTimer>
#include <QFile>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

namespace {

const QString Context = QStringLiteral("frmMain::mnuO_Analyze_Click()");

// An error ends the pass; the window must not stay busy with a hidden list, so it goes back
// to Opened with no rows.
void failPass(Document& doc, PassHost& host, const QString& description, int number)
{
    host.progressEnd();
    host.setProcessText(QString());
    doc.model().clearRows();
    doc.model().endBatch();
    host.setListVisible(true);
    const CommandStates c = doc.SetState(Opened);
    host.setStatusText(c.statusText);
    doc.reader().rewind();
    host.error(description, number, Context);
}

QString tooManyLines(const Document& doc)
{
    return QStringLiteral(u"文件行数超过 %1 行，无法处理。").arg(doc.lineLimit());
}

// The quick test a line must pass before it is decoded and matched: it holds the pattern's
// required text, and (when every match starts with that text and a character of a known
// class) some occurrence of the text is followed by such a character.
struct Prefilter {
    QByteArray needle;
    std::vector<quint8> follows;
    qsizetype literalBytes = 0;
    const GbkCodec* dbcs = nullptr;

    bool worthDecoding(QByteArrayView line) const
    {
        if (follows.empty()) {
            return true;
        }
        const char* b = line.data();
        const char* e = b + line.size();
        for (const char* at = b; (at = findBytes(at, size_t(e - at), needle.data(), size_t(literalBytes)));
             ++at) {
            if (followedByClass(at + literalBytes, e)) {
                return true;
            }
        }
        return false;
    }

    /// Whether the character at `after` is one of the class's (none at the end).
    bool followedByClass(const char* after, const char* end) const
    {
        const auto* p = reinterpret_cast<const unsigned char*>(after);
        const auto* e = reinterpret_cast<const unsigned char*>(end);
        return p < e && follows[dbcs->charAt(p, e)] != 0;
    }

    /// The same test for one occurrence, from the bytes after it, for the reader's search.
    LineReader::NeedleTest needleTest() const
    {
        if (follows.empty()) {
            return {};
        }
        return {[](const void* context, const char* after, const char* end) {
                    // A character cut off by the end of the buffer is left to the whole line.
                    return end - after < 4 || static_cast<const Prefilter*>(context)->followedByClass(after, end);
                },
                this};
    }
};

/// Reads the second part of a large novel on another core while the pass reads the first,
/// and keeps only the lines the pattern matches (numbered from the part's first line), for
/// the pass to take in order once it gets there.
class AheadScan {
public:
    struct Hit {
        qint64 line = 0;
        qint64 offset = 0;
        QString text;
    };
    enum Result { Got, Waiting, Done, Failed };

    AheadScan(const QString& path, qint64 from, const QString& pattern, const Prefilter& filter, const TextCodec& codec)
        : m_path(path), m_from(from), m_pattern(pattern), m_filter(filter), m_codec(codec)
    {
        m_thread = std::thread([this] { run(); });
    }
    ~AheadScan()
    {
        {
            std::lock_guard lock(m_mutex);
            m_cancel = true;
        }
        m_room.notify_all();
        m_thread.join();
    }

    /// The next hit, waiting up to `waitMs` for it.
    Result take(Hit& hit, int waitMs)
    {
        std::unique_lock lock(m_mutex);
        m_ready.wait_for(lock, std::chrono::milliseconds(waitMs), [this] { return !m_hits.empty() || m_finished; });
        if (!m_hits.empty()) {
            hit = std::move(m_hits.front());
            m_hits.pop_front();
            m_room.notify_all();
            return Got;
        }
        if (!m_finished) {
            return Waiting;
        }
        return m_error.isEmpty() ? Done : Failed;
    }
    /// Lines in the part (once take() has said Done).
    qint64 lines() const { return m_lines; }
    QString errorString() const { return m_error; }

private:
    void run()
    {
        LineReader reader;
        reader.setCancelFlag(&m_cancel); // Stop is heard between reads, also in a stretch without the needle
        cRegExp re;
        re.InitRegexp(m_pattern);
        re.setTrustedInput(true);
        QString error;
        QString text;
        QByteArrayView line, terminator;
        bool ok = reader.open(m_path, &error) && reader.rewindTo(m_from, -1, &error);
        while (ok && !m_cancel.load(std::memory_order_relaxed)) {
            const LineReader::Result r = reader.nextContaining(m_filter.needle, line, terminator, m_filter.needleTest());
            if (r != LineReader::Line) {
                ok = r == LineReader::End;
                error = reader.errorString();
                break;
            }
            if (!m_filter.worthDecoding(line)) {
                continue;
            }
            m_codec.decode(line.data(), line.size(), text);
            if (!re.GetMatch(text)) {
                continue;
            }
            std::unique_lock lock(m_mutex);
            // The pass takes hits only once it has read its own part: a pattern that matches
            // nearly every line must not fill memory meanwhile.
            m_room.wait(lock, [this] { return m_hits.size() < 4096 || m_cancel; });
            if (m_cancel) {
                return;
            }
            m_hits.push_back({reader.lineNumber(), reader.lineOffset(), text});
            m_ready.notify_one();
        }
        std::lock_guard lock(m_mutex);
        if (ok) {
            m_lines = reader.lineNumber();
        } else {
            m_error = error.isEmpty() ? QStringLiteral(u"读取文件出错") : error;
        }
        m_finished = true;
        m_ready.notify_one();
    }

    const QString m_path;
    const qint64 m_from;
    const QString m_pattern;
    const Prefilter& m_filter;
    const TextCodec& m_codec;
    std::mutex m_mutex;
    std::condition_variable m_ready; // a hit, or the end
    std::condition_variable m_room;  // room for hits, or cancelled
    std::deque<Hit> m_hits;
    bool m_finished = false;
    std::atomic<bool> m_cancel{false};
    qint64 m_lines = 0;
    QString m_error;
    std::thread m_thread;
};

// Where a second reader may start: just after the first LF past the middle of the text, so
// both parts hold whole lines. -1 when the file is too small to be worth it or has no LF there.
qint64 splitPoint(Document& doc)
{
    constexpr qint64 Worthwhile = 8 << 20;
    if (doc.codec().unitSize() != 1 || doc.textSize() < Worthwhile) {
        return -1;
    }
    QFile file(doc.reader().openFilePath());
    const qint64 middle = doc.bomLength() + doc.textSize() / 2;
    if (!file.open(QIODevice::ReadOnly) || !file.seek(middle)) {
        return -1;
    }
    const QByteArray chunk = file.read(1 << 20);
    const qsizetype lf = chunk.indexOf('\n');
    return lf < 0 ? -1 : middle + lf + 1;
}

} // namespace

bool RunAnalysis(Document& doc, const Settings& settings, PassHost& host)
{
    if (doc.LineCount == 0) {
        host.messageBox(QStringLiteral(u"文件为空,无法分析!"), QStringLiteral(u"分析"), PassHost::Warning);
        host.setStatusText(QStringLiteral(u"文件为空文件..."));
        return false;
    }
    if (!doc.isOpen()) {
        host.messageBox(QStringLiteral(u"文件未打开!"), QStringLiteral(u"分析"), PassHost::Warning);
        host.setStatusText(QStringLiteral(u"文件未打开..."));
        return false;
    }
    // A novel too long for its line numbers is refused whole, not cut short.
    if (doc.LineCount > doc.lineLimit()) {
        host.error(tooManyLines(doc), 6, Context);
        return false;
    }
    doc.SetState(Busy);
    // Lines not counted yet: the progress goes by bytes read.
    const bool byBytes = doc.LineCount < 0;
    host.progressStart(byBytes ? doc.textSize() : doc.LineCount);
    host.setStatusText(QStringLiteral(u"正在分析文件..."));
    host.processEvents();

    ChapterModel& model = doc.model();
    model.SortByColumn(-1, 0);
    model.clearRows();
    host.setListVisible(false);
    model.beginBatch();

    cRegExp re;
    re.InitRegexp(settings.TitleText);
    re.setTrustedInput(true);
    if (!re.isValid()) {
        failPass(doc, host, re.errorString(), 5);
        return false;
    }
    // Lines without the pattern's required text cannot match and are skipped undecoded.
    Prefilter filter;
    if (!re.requiredLiteral().isEmpty()) {
        qsizetype bad = 0;
        doc.codec().encode(re.requiredLiteral(), filter.needle, &bad);
        if (bad) {
            filter.needle.clear();
        }
    }
    filter.dbcs = dynamic_cast<const GbkCodec*>(&doc.codec());
    {
        QString literal, chars;
        if (!filter.needle.isEmpty() && filter.dbcs
            && cRegExp::leadingLiteralAndClass(settings.TitleText, &literal, &chars)
            && literal == re.requiredLiteral()) {
            filter.follows.assign(0x10000, 0);
            for (QChar c : std::as_const(chars)) {
                filter.follows[c.unicode()] = 1;
            }
            filter.literalBytes = filter.needle.size();
        }
    }

    LineReader& reader = doc.reader();
    if (!reader.rewind()) {
        failPass(doc, host, reader.errorString(), 75);
        return false;
    }
    // A large novel is read in two parts at once: this thread reads up to the split point
    // while a second one reads the rest.
    std::optional<AheadScan> ahead;
    if (const qint64 split = splitPoint(doc); split > 0) {
        if (!reader.rewindTo(doc.bomLength(), split)) {
            failPass(doc, host, reader.errorString(), 75);
            return false;
        }
        // The file the document has open, even if its name now stands for another one.
        ahead.emplace(reader.openFilePath(), split, settings.TitleText, filter, doc.codec());
    }
    qint64 firstPartLines = -1; // lines before the split point, once this thread has read them
    int k = 0;
    int j = 0;
    QString text;
    QByteArrayView line, terminator;
    qint64 offset = 0; // of the line last looked at, for the progress by bytes
    const double lineCount = double(byBytes ? std::max<qint64>(1, doc.textSize()) : doc.LineCount);
    // One turn of the event loop with the progress and the stop question; false when the
    // user chose to stop (the pass has then been wound up).
    // The balloon text changes a hundred times at most, not once per title.
    int shownPercent = -1;
    QString percentText;
    const QString progressTitle = QStringLiteral(u"正在分析...");
    auto turn = [&](qint64 i) {
        if (byBytes) {
            i = offset - doc.bomLength();
        }
        const int p = std::clamp(int(double(i) * 100.0 / lineCount), 0, 100);
        if (p != shownPercent) {
            shownPercent = p;
            percentText = QStringLiteral(u"已经分析：%1%").arg(p);
        }
        host.progress(i, p, percentText, progressTitle);
        host.processEvents();
        if (doc.DocState != StopRequested) {
            return true;
        }
        if (host.askYesNo(QStringLiteral(u"是否确定中断分析操作？"), QStringLiteral(u"分析"))) {
            ahead.reset();
            host.progressEnd();
            doc.SetState(Opened);
            host.setStatusText(QStringLiteral(u"分析被中断！"));
            host.setProcessText(QString());
            model.clearRows();
            model.endBatch();
            host.setListVisible(true);
            reader.rewind();
            return false;
        }
        doc.DocState = Busy;
        return true;
    };
    // A long stretch without a title (or a pattern that backtracks badly) still gets a turn
    // now and then, so that the window answers and Stop works.
    QElapsedTimer sinceTurn;
    sinceTurn.start();
    quint32 skipped = 0;
    qint64 lastLine = 0;
    for (;;) {
        qint64 i = 0;
        if (firstPartLines < 0) {
            const LineReader::Result r = reader.nextContaining(filter.needle, line, terminator, filter.needleTest());
            if (r == LineReader::Error) {
                failPass(doc, host, reader.errorString(), 57);
                return false;
            }
            if (r == LineReader::End) {
                if (!ahead) {
                    break;
                }
                firstPartLines = reader.lineNumber();
                continue;
            }
            offset = reader.lineOffset();
            const bool candidate = filter.worthDecoding(line);
            if (candidate) {
                doc.codec().decode(line.data(), line.size(), text);
            }
            if (!candidate || !re.GetMatch(text)) {
                // The clock is read after every pattern run, and only now and then for lines
                // the quick check threw out (those cost next to nothing).
                if ((candidate || (++skipped & 63) == 0) && sinceTurn.elapsed() >= 200) {
                    if (!turn(reader.lineNumber())) {
                        return false;
                    }
                    sinceTurn.restart();
                }
                continue;
            }
            i = reader.lineNumber();
        } else {
            AheadScan::Hit hit;
            const AheadScan::Result r = ahead->take(hit, 100);
            if (r == AheadScan::Failed) {
                failPass(doc, host, ahead->errorString(), 57);
                return false;
            }
            if (r == AheadScan::Done) {
                break;
            }
            if (r == AheadScan::Waiting) {
                if (sinceTurn.elapsed() >= 200) {
                    if (!turn(lastLine)) {
                        return false;
                    }
                    sinceTurn.restart();
                }
                continue;
            }
            text = std::move(hit.text);
            // The same pattern matched it over there; this fills in number and title.
            if (!re.GetMatch(text)) {
                continue;
            }
            i = firstPartLines + hit.line;
            offset = hit.offset;
        }
        lastLine = i;
        if (!turn(i)) {
            return false;
        }
        sinceTurn.restart();
        if (i > doc.lineLimit()) {
            failPass(doc, host, tooManyLines(doc), 6);
            return false;
        }
        const QString title = re.ChaptorTitle();
        const qint16 num = re.ChaptorNum();
        const int row = model.AddChapItem(k + 1, num, title, text, qint32(i), settings.OutFile);
        doc.TitleOffsets.resize(k + 1);
        doc.TitleOffsets[k] = offset;
        if (k > 0 && settings.SetInvalidTitle && i - model.chapline().at(k - 1) <= settings.InvalidLines) {
            model.setChecked(settings.FilterAfterLine ? row : row - 1, true);
            ++j;
        }
        ++k;
    }
    model.endBatch();
    if (byBytes) {
        doc.LineCount = ahead ? firstPartLines + ahead->lines() : reader.lineNumber();
    }
    if (ahead) {
        ahead.reset();
        reader.rewind(); // lifts the split point
    }
    if (doc.LineCount > doc.lineLimit()) {
        failPass(doc, host, tooManyLines(doc), 6); // lines past the last title count too
        return false;
    }
    host.progressEnd();
    host.setProcessText(QString());
    host.setListVisible(true);
    if (k == 0) {
        doc.SetState(Opened);
        host.setStatusText(QStringLiteral(u"一共: 0/0 章"));
        host.noTitleFound(QStringLiteral(u"未发现章节标题，请检查“章节标题”正则表达式是否符合"), doc.codec().name());
    } else {
        doc.SetState(Analysed);
        host.setStatusText(ChapCountText(model.recordCount(), j));
        host.balloonIfHidden(QStringLiteral(u"分析完成，一共 %1 章节！").arg(k), QStringLiteral(u"分析"));
    }
    return true;
}
