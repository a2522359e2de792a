#include "AnalysisPass.h"

#include "core/Document.h"
#include "core/GbkCodec.h"
#include "core/PassHost.h"
#include "core/ByteSearch.h"
#include "core/HeadingMatcher.h"
#include "core/RepeatedChapters.h"
#include "core/TidyTitles.h"
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

// The quick test a line must pass before it is decoded and matched: it holds one of the texts
// every title or volume heading contains, and (where every match starts with that text and a
// character of a known class) some occurrence of the text is followed by such a character.
// No needle at all: every line is decoded.
struct Prefilter {
    Prefilter() = default;
    Prefilter(const Prefilter&) = delete; // the needle set points into the struct
    Prefilter& operator=(const Prefilter&) = delete;

    struct Needle {
        QByteArray bytes;
        std::vector<quint8> follows; // empty: any character may follow
        const GbkCodec* dbcs = nullptr;
    };
    Needle needles[NeedleBytes::MaxNeedles];
    LineNeedles set;
    const GbkCodec* dbcs = nullptr;

    bool active() const { return set.bytes.count > 0; }

    /// Adds a text with the class that follows it (empty: any); false when it cannot be used.
    bool add(const TextCodec& codec, const QString& text, const QString& follows)
    {
        QByteArray bytes;
        qsizetype bad = 0;
        codec.encode(text, bytes, &bad);
        if (bad || bytes.isEmpty()) {
            return false;
        }
        int k = 0;
        while (k < set.bytes.count && needles[k].bytes != bytes) {
            ++k;
        }
        const bool fresh = k == set.bytes.count;
        if (fresh) {
            if (k == NeedleBytes::MaxNeedles) {
                return false;
            }
            needles[k].bytes = bytes;
            ++set.bytes.count;
        }
        Needle& n = needles[k];
        // A class is only of use on a double-byte code page, and only while every use of the
        // text names one.
        if (!dbcs || follows.isEmpty() || (!fresh && n.follows.empty())) {
            n.follows.clear();
        } else {
            n.follows.resize(0x10000, 0);
            for (QChar c : follows) {
                n.follows[c.unicode()] = 1;
            }
        }
        return true;
    }

    /// Points the reader's needle set at the texts (once all are added).
    void seal()
    {
        for (int k = 0; k < set.bytes.count; ++k) {
            Needle& n = needles[k];
            n.dbcs = dbcs;
            set.bytes.data[k] = n.bytes.constData();
            set.bytes.size[k] = size_t(n.bytes.size());
            set.tests[k] = {};
            if (!n.follows.empty()) {
                set.tests[k] = {[](const void* context, const char* after, const char* end) {
                                    // A character cut off by the end of the buffer is left to the whole line.
                                    return end - after < 4 || followedBy(*static_cast<const Needle*>(context), after, end);
                                },
                                &n};
            }
        }
    }

    bool worthDecoding(QByteArrayView line) const
    {
        const char* b = line.data();
        const char* e = b + line.size();
        for (int k = 0; k < set.bytes.count; ++k) {
            const Needle& n = needles[k];
            if (n.follows.empty()) {
                if (set.bytes.count == 1 || findBytes(b, size_t(e - b), n.bytes.data(), size_t(n.bytes.size()))) {
                    return true;
                }
                continue;
            }
            const size_t len = size_t(n.bytes.size());
            for (const char* at = b; (at = findBytes(at, size_t(e - at), n.bytes.data(), len)); ++at) {
                if (followedBy(n, at + len, e)) {
                    return true;
                }
            }
        }
        return !active();
    }

    /// Whether the character at `after` is one of the needle's class (none at the end).
    static bool followedBy(const Needle& n, const char* after, const char* end)
    {
        const auto* p = reinterpret_cast<const unsigned char*>(after);
        const auto* e = reinterpret_cast<const unsigned char*>(end);
        return p < e && n.follows[n.dbcs->charAt(p, e)] != 0;
    }
};

/// Notes the body from the title line at `from` (none: -1) to `to` (-1: the end of the file) for
/// the check for repeated chapters, while the reader still holds its bytes.
void noteBody(const LineReader& reader, BodyNoteTaker& taker, qint64 from, qint64 to, QVector<BodyNote>& notes)
{
    if (from < 0) {
        return;
    }
    const QByteArrayView body = reader.held(from, to);
    if (!body.isNull()) {
        taker.note(from, body, notes);
    }
}

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

    AheadScan(const QString& path, qint64 from, const Settings& settings, const Prefilter& filter, const TextCodec& codec)
        : m_path(path), m_from(from), m_titleText(settings.TitleText), m_volumeText(settings.VolumeText),
          m_filter(filter), m_codec(codec)
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
    /// Lines the patterns gave up on as too slow to match (once take() has said Done).
    int linesGivenUp() const { return m_givenUp; }
    /// Notes of the bodies between the part's titles (once take() has said Done).
    QVector<BodyNote>& bodyNotes() { return m_notes; }
    QString errorString() const { return m_error; }

private:
    void run()
    {
        LineReader reader;
        reader.setCancelFlag(&m_cancel); // Stop is heard between reads, also in a stretch without the needle
        HeadingMatcher matcher(m_titleText, m_volumeText, true);
        QString error;
        QString text;
        QByteArrayView line, terminator;
        BodyNoteTaker notes(m_codec);
        qint64 lastTitle = -1; // offset of the part's latest title
        bool ok = reader.open(m_path, &error) && reader.rewindTo(m_from, -1, &error);
        while (ok && !m_cancel.load(std::memory_order_relaxed)) {
            const LineReader::Result r = reader.nextContainingAny(m_filter.set, line, terminator);
            if (r != LineReader::Line) {
                ok = r == LineReader::End;
                error = reader.errorString();
                break;
            }
            if (!m_filter.worthDecoding(line)) {
                continue;
            }
            m_codec.decode(line.data(), line.size(), text);
            if (!matcher.match(text)) {
                continue;
            }
            if (matcher.isTitle) {
                noteBody(reader, notes, lastTitle, reader.lineOffset(), m_notes);
                lastTitle = reader.lineOffset();
                reader.holdFrom(lastTitle);
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
        if (ok) {
            noteBody(reader, notes, lastTitle, -1, m_notes);
        }
        std::lock_guard lock(m_mutex);
        m_givenUp = matcher.title.linesGivenUp() + matcher.volume.linesGivenUp();
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
    const QString m_titleText;
    const QString m_volumeText;
    const Prefilter& m_filter;
    const TextCodec& m_codec;
    std::mutex m_mutex;
    std::condition_variable m_ready; // a hit, or the end
    std::condition_variable m_room;  // room for hits, or cancelled
    std::deque<Hit> m_hits;
    bool m_finished = false;
    std::atomic<bool> m_cancel{false};
    qint64 m_lines = 0;
    int m_givenUp = 0;
    QString m_error;
    QVector<BodyNote> m_notes; // written by the thread until it has finished
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
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered) || !file.seek(middle)) {
        return -1;
    }
    // A line is seldom long: a little is read at a time, up to 1 MiB.
    for (qint64 read = 0; read < (1 << 20);) {
        const QByteArray chunk = file.read(16 << 10);
        if (chunk.isEmpty()) {
            return -1;
        }
        if (const qsizetype lf = chunk.indexOf('\n'); lf >= 0) {
            return middle + read + lf + 1;
        }
        read += chunk.size();
    }
    return -1;
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
    // Whether the novel looks hard-wrapped is asked of samples of it, whatever the settings say
    // (the suggestion is for a novel it is off for).
    std::optional<WrapProfile> wrap;
    // Lines not counted yet: the progress goes by bytes read.
    const bool byBytes = doc.LineCount < 0;
    host.progressStart(byBytes ? doc.textSize() : doc.LineCount);
    host.setStatusText(QStringLiteral(u"正在分析文件..."));
    host.processEvents();

    ChapterModel& model = doc.model();
    doc.TitleShapes.clear();
    doc.BodyNotes.clear();
    model.SortByColumn(-1, 0);
    model.clearRows();
    host.setListVisible(false);
    model.beginBatch();

    HeadingMatcher matcher(settings.TitleText, settings.VolumeText, true);
    cRegExp& re = matcher.title;
    if (!re.isValid()) {
        failPass(doc, host, re.errorString(), 5);
        return false;
    }
    if (matcher.volumesOn && !matcher.volume.isValid()) {
        failPass(doc, host, QStringLiteral(u"分卷标题正则表达式有误: %1").arg(matcher.volume.errorDetail()), 5);
        return false;
    }
    // Lines without a text that every title (and every volume heading) contains cannot match
    // and are skipped undecoded.
    Prefilter filter;
    filter.dbcs = dynamic_cast<const GbkCodec*>(&doc.codec());
    {
        QString literal, chars;
        const QString required = re.requiredLiteral();
        const bool leading = cRegExp::leadingLiteralAndClass(settings.TitleText, &literal, &chars) && literal == required;
        bool usable = !required.isEmpty() && filter.add(doc.codec(), required, leading ? chars : QString());
        QList<cRegExp::LeadingText> heads;
        if (usable && matcher.volumesOn) {
            usable = cRegExp::leadingTexts(settings.VolumeText, &heads);
            for (const cRegExp::LeadingText& head : std::as_const(heads)) {
                usable = usable && filter.add(doc.codec(), head.literal, head.follows);
            }
        }
        if (usable) {
            filter.seal();
        } else {
            filter.set.bytes.count = 0;
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
        ahead.emplace(reader.openFilePath(), split, settings, filter, doc.codec());
    }
    qint64 firstPartLines = -1; // lines before the split point, once this thread has read them
    int k = 0;
    int j = 0;
    qint16 lastNumber = 0; // of the latest title with a number, for numerals that read two ways
    QVector<Volume> volumes;
    QString volumeWords; // of the current volume's heading, without its own title
    BodyNoteTaker notes(doc.codec());
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
            const LineReader::Result r = reader.nextContainingAny(filter.set, line, terminator);
            if (r == LineReader::Error) {
                failPass(doc, host, reader.errorString(), 57);
                return false;
            }
            if (r == LineReader::End) {
                if (!ahead) {
                    break;
                }
                firstPartLines = reader.lineNumber();
                // The second reader started later and is still at work: time for the samples.
                wrap = sampleNovelWrap(doc.FilePath, doc.codec(), doc.bomLength());
                continue;
            }
            offset = reader.lineOffset();
            const bool candidate = filter.worthDecoding(line);
            if (candidate) {
                doc.codec().decode(line.data(), line.size(), text);
            }
            if (!candidate || !matcher.match(text)) {
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
            // The same patterns matched it over there; this fills in numbers and titles.
            if (!matcher.match(text)) {
                continue;
            }
            i = firstPartLines + hit.line;
            offset = hit.offset;
        }
        lastLine = i;
        // A volume heading alone is no chapter and gets no turn of its own.
        if (matcher.isTitle || sinceTurn.elapsed() >= 200) {
            if (!turn(i)) {
                return false;
            }
            sinceTurn.restart();
        }
        if (i > doc.lineLimit()) {
            failPass(doc, host, tooManyLines(doc), 6);
            return false;
        }
        if (matcher.isVolume) {
            Volume v;
            v.number = matcher.volume.ChaptorNum();
            v.title = matcher.volume.matchedText().trimmed();
            v.name = matcher.volume.ChaptorTitle().trimmed();
            v.line = qint32(i);
            v.offset = offset;
            v.firstRecord = k;
            // A heading that repeats the current volume's words ("上卷" before every chapter
            // title, "上卷 第一回 …", or before an appendix, "上卷 附录 …") goes on with it.
            const QString words = matcher.volume.textBeforeTitle();
            if (volumes.isEmpty() || words != volumeWords) {
                volumes.append(std::move(v));
                volumeWords = words;
            }
        }
        if (!matcher.isTitle) {
            continue;
        }
        const QString title = re.ChaptorTitle();
        const qint16 num = re.ChaptorNum(lastNumber);
        lastNumber = num > 0 ? num : lastNumber;
        const int row = model.AddChapItem(k + 1, num, title, text, qint32(i), settings.OutFile);
        doc.TitleOffsets.resize(k + 1);
        doc.TitleOffsets[k] = offset;
        if (firstPartLines < 0 && k > 0) {
            // The body before this title, read by this thread: a note while the bytes are here
            // (the second part's bodies are noted over there).
            noteBody(reader, notes, doc.TitleOffsets[k - 1], offset, doc.BodyNotes);
        }
        if (firstPartLines < 0) {
            reader.holdFrom(offset); // the body that starts here, until the next title
        }
        doc.TitleShapes.append(titleShape(text, re.matchStart(), re.titleStart(), re.isGuess()));
        if (k > 0 && settings.SetInvalidTitle && i - model.chapline().at(k - 1) <= settings.InvalidLines) {
            model.setChecked(settings.FilterAfterLine ? row : row - 1, true);
            ++j;
        }
        ++k;
    }
    if (ahead) {
        // The first part's last body runs on into the second: left without a note.
        doc.BodyNotes.append(std::move(ahead->bodyNotes()));
    } else if (k > 0) {
        noteBody(reader, notes, doc.TitleOffsets[k - 1], -1, doc.BodyNotes);
    }
    if (k > 0) {
        for (qsizetype v = 0; v < volumes.size(); ++v) {
            volumes[v].endRecord = v + 1 < volumes.size() ? volumes[v + 1].firstRecord : k;
        }
        model.setVolumes(VolumeList(std::move(volumes)));
    }
    model.endBatch();
    if (byBytes) {
        doc.LineCount = ahead ? firstPartLines + ahead->lines() : reader.lineNumber();
    }
    const int givenUp = re.linesGivenUp() + matcher.volume.linesGivenUp() + (ahead ? ahead->linesGivenUp() : 0);
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
    if (givenUp > 0) {
        host.messageBox(QStringLiteral(u"有 %1 个很长的行，标题规则在其上匹配太久，已跳过，未当作标题。"
                                       u"请检查“章节标题”正则表达式。").arg(givenUp),
                        QStringLiteral(u"分析"), PassHost::Warning);
    }
    if (k == 0) {
        doc.SetState(Opened);
        host.setStatusText(QStringLiteral(u"一共: 0/0 章"));
        host.noTitleFound(QStringLiteral(u"未发现章节标题，请检查“章节标题”正则表达式是否符合"), doc.codec().name());
    } else {
        doc.SetState(Analysed);
        doc.Wrap = wrap ? *wrap : sampleNovelWrap(doc.FilePath, doc.codec(), doc.bomLength());
        QString status = ChapCountText(model.recordCount(), j);
        if (doc.Wrap.wrapped && !settings.Reflow) {
            status += QStringLiteral(u"。") + doc.Wrap.reason();
        }
        host.setStatusText(status);
        host.balloonIfHidden(QStringLiteral(u"分析完成，一共 %1 章节！").arg(k), QStringLiteral(u"分析"));
    }
    return true;
}
