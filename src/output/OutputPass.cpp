#include "OutputPass.h"

#include "core/Cleanup.h"
#include "core/Document.h"
#include "core/GbkCodec.h"
#include "core/PassHost.h"
#include "core/Reflow.h"
#include "core/ScriptConverter.h"
#include "core/ScriptSample.h"
#include "config/SystemError.h"
#include "core/cRegExp.h"
#include "output/FileWriter.h"
#include "output/OutputPlan.h"
#include "output/OverwriteQuestion.h"
#include "output/RawLineTest.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <optional>
#include <sys/stat.h>

namespace {

const QString Context = QStringLiteral("frmMain::mnuO_SaveOut_Click()");

// Error numbers follow the run-time library's classic ones, which users quote in reports.
enum ErrorNumber { BadCall = 5, DivisionByZero = 11, PastEnd = 62, DiskFull = 61, PathFile = 75, PathNotFound = 76 };

QString cleanAbsolute(const QString& path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

class Pass {
public:
    Pass(Document& doc, const Settings& s, PassHost& host)
        : m_doc(doc), m_s(s), m_host(host),
          m_question(host, doc.reader(), [this](const QString& text, int number) { fail(text, number); }),
          m_clean(s, true),
          m_join(s.Reflow ? doc.Wrap : WrapProfile(), dynamic_cast<const GbkCodec*>(&doc.codec()))
    {
        // A failure among the files before ends the pass before any further question.
        m_question.setBeforeQuestion([this] {
            if (!m_out.finish()) {
                failWriting();
                return false;
            }
            return true;
        });
    }
    OutputResult run();
    CleanupLedger takeLedger()
    {
        CleanupLedger ledger = m_clean.takeLedger();
        m_join.tally().addTo(ledger);
        return ledger;
    }

private:
    OverwriteQuestion::Answer ask(QString& target) { return m_question.ask(target); }
    bool makeFolder(const QString& path);
    bool copyLines(qint64 count, bool convert);
    bool copyParagraphs(qint64 count, bool convert);
    bool writeParagraph(bool convert);
    bool toSimplified(QString& text) const;
    void failReading(LineReader::Result r);
    bool startFile(const QString& target);
    bool endFile();
    OutputResult refuse(const QString& text);
    OutputResult cancelled(int files);
    void fail(const QString& description, int number);
    void failWriting();
    void end();

    Document& m_doc;
    const Settings& m_s;
    PassHost& m_host;
    cRegExp m_re;
    FileWriter m_out;
    bool m_writeThis = true;
    QString m_text;
    QByteArray m_bytes;
    OverwriteQuestion m_question;
    std::optional<OutputPlan> m_plan;
    bool m_reported = false; // an error has gone to the report
    int m_keptChapters = 0;  // existing chapter files kept, as the user answered
    RawLineTest m_lines;
    Cleaner m_clean;
    qint64 m_lineNo = 0; // the last line read, for the cleanup's title lines and its ledger
    // 重新分段, active only when asked for and the novel is hard-wrapped.
    ParagraphJoiner m_join;
    HeadingLines m_headings;
    ReflowParagraph m_paragraph;
    // Conversion runs only on a novel written in traditional script: simplified text holds
    // characters (孙乾, 麴义) that conversion would change into others.
    NovelScript m_script = NovelScript::Unknown;
    bool m_convert = false;
    // What the files are written in: the novel's encoding, unless it cannot hold the simplified
    // text (Big5), when every line is decoded and written in GB18030.
    const TextCodec* m_outCodec = nullptr;
    bool m_transcode = false;
};

void Pass::fail(const QString& description, int number)
{
    m_reported = true;
    // The open file is closed and the window made usable again before the report.
    m_out.abandon();
    m_host.progressEnd();
    m_host.setProcessText(QString());
    m_host.setStatusText(QStringLiteral(u"输出失败！"));
    end();
    m_host.error(description, number, Context);
}

// A failure the writing thread met, reported with its own text.
void Pass::failWriting()
{
    fail(m_out.errorMessage(), m_out.errorNumber());
}

void Pass::end()
{
    // A stop or a cancel still waits for the files written so far, and a failure among them
    // is reported rather than lost.
    if (!m_out.finish() && !m_reported) {
        m_reported = true;
        m_host.error(m_out.errorMessage(), m_out.errorNumber(), Context);
    }
    m_doc.SetState(Analysed);
    m_doc.reader().rewind();
}

// Creates a folder and any missing folders above it; false when that failed (reported).
bool Pass::makeFolder(const QString& path)
{
    const QString clean = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    qsizetype from = 1;
    for (;;) {
        const qsizetype slash = clean.indexOf(u'/', from);
        const QString part = slash < 0 ? clean : clean.left(slash);
        struct stat st;
        if (::stat(QFile::encodeName(part).constData(), &st) != 0) {
            if (::mkdir(QFile::encodeName(part).constData(), 0777) != 0 && errno != EEXIST) {
                fail(fileErrorText(QStringLiteral(u"无法创建文件夹"), part, errno), PathNotFound);
                return false;
            }
        } else if (!S_ISDIR(st.st_mode)) {
            fail(QStringLiteral(u"无法创建文件夹: %1（已有同名的文件）").arg(part), PathNotFound);
            return false;
        }
        if (slash < 0) {
            return true;
        }
        from = slash + 1;
    }
}

// Reads `count` lines and writes them through the filters (and conversion) while the current
// target is written; a declined file's lines are read all the same.
bool Pass::copyLines(qint64 count, bool convert)
{
    if (m_join.isActive()) {
        return copyParagraphs(count, convert);
    }
    LineReader& reader = m_doc.reader();
    const TextCodec& codec = m_doc.codec();
    QByteArrayView line, terminator;
    for (qint64 n = 0; n < count; ++n) {
        const LineReader::Result r = reader.next(line, terminator);
        if (r != LineReader::Line) {
            fail(r == LineReader::Error
                     ? reader.errorString()
                     : QStringLiteral(u"文件在打开后被改短了：只读到 %1 行，应有 %2 行。请重新打开文件。")
                           .arg(reader.lineNumber())
                           .arg(m_doc.LineCount),
                 r == LineReader::Error ? PathFile : PastEnd);
            return false;
        }
        ++m_lineNo;
        bool swap = false;
        // Cleanup looks at every line; without it the raw test spares most lines the decoding.
        if (!m_clean.isActive() && !m_transcode && m_lines.isPlain(line, convert, &swap)) {
            if (swap && m_writeThis) {
                m_lines.swapPairs(line, m_bytes);
                line = m_bytes;
            }
            if (m_writeThis && !m_out.writeLine(line, terminator)) {
                failWriting();
                return false;
            }
            continue;
        }
        // One decoding pass says whether a filter may apply, whether conversion may change
        // the line and whether it can be blank; most lines need none of the later steps.
        const quint8 flags = codec.decode(line.data(), line.size(), m_text, m_lines.characterFlags());
        bool changed = false;
        if (flags & RawLineTest::FilterStart) {
            changed = m_clean.filter(m_text, m_lineNo);
        }
        bool cleaned = false;
        if (m_clean.isActive()) {
            const Cleaner::Outcome o = m_clean.apply(m_text, m_lineNo);
            if (o == Cleaner::Dropped) {
                continue;
            }
            cleaned = o == Cleaner::Changed;
            changed = changed || cleaned;
        }
        if (m_s.DelSpaceLine && (cleaned || !(flags & RawLineTest::Solid)) && m_re.IsSpaceLine(m_text)) {
            continue;
        }
        if (!m_writeThis) {
            continue;
        }
        // A line written in simplified script is left as it is.
        const bool wanted = cleaned ? lineWantsConversion(m_text) : RawLineTest::wantsConversion(flags);
        if (convert && (cleaned || (flags & RawLineTest::Convertible)) && wanted && toSimplified(m_text)) {
            changed = true;
        }
        bool ok;
        if (changed || m_transcode) {
            m_bytes.clear();
            m_outCodec->encode(m_text, m_bytes);
            ok = m_out.writeLine(m_bytes);
        } else {
            ok = m_out.writeLine(line, terminator);
        }
        if (!ok) {
            failWriting();
            return false;
        }
    }
    return true;
}

void Pass::failReading(LineReader::Result r)
{
    LineReader& reader = m_doc.reader();
    fail(r == LineReader::Error
             ? reader.errorString()
             : QStringLiteral(u"文件在打开后被改短了：只读到 %1 行，应有 %2 行。请重新打开文件。")
                   .arg(reader.lineNumber())
                   .arg(m_doc.LineCount),
         r == LineReader::Error ? PathFile : PastEnd);
}

// 重新分段: reads `count` lines and writes them joined into paragraphs, one line each. A
// stretch ends before a title, which is never joined, so no paragraph goes on past it.
bool Pass::copyParagraphs(qint64 count, bool convert)
{
    LineReader& reader = m_doc.reader();
    const TextCodec& codec = m_doc.codec();
    // As in copyLines: without cleanup most lines are joined and written from their bytes.
    const bool raw = !m_clean.isActive() && !m_transcode;
    QByteArrayView line, terminator;
    for (qint64 n = 0; n < count; ++n) {
        const LineReader::Result r = reader.next(line, terminator);
        if (r != LineReader::Line) {
            failReading(r);
            return false;
        }
        ++m_lineNo;
        const bool title = m_headings.contains(m_lineNo);
        bool ready;
        if (raw && m_lines.isJoinable(line, convert)) {
            ready = m_join.pushPairs(line, m_lineNo, title, m_paragraph);
        } else {
            codec.decode(line.data(), line.size(), m_text);
            ready = m_join.push(m_text, m_lineNo, title, m_paragraph);
        }
        if (ready && !writeParagraph(convert)) {
            return false;
        }
    }
    return !m_join.finish(m_paragraph) || writeParagraph(convert);
}

// A joined paragraph through the steps a line goes through: filters, cleanup, blank lines,
// conversion; encoded, unless it was joined from bytes that need none of these.
bool Pass::writeParagraph(bool convert)
{
    if (m_paragraph.inPairs) {
        // Its lines passed RawLineTest::isJoinable: no step would change it.
        if (m_writeThis && !m_out.writeLine(m_paragraph.bytes)) {
            failWriting();
            return false;
        }
        return true;
    }
    QString& text = m_paragraph.text;
    const qint64 lineNo = m_paragraph.line;
    m_clean.filter(text, lineNo);
    if (m_clean.isActive() && m_clean.apply(text, lineNo) == Cleaner::Dropped) {
        return true;
    }
    if ((m_s.DelSpaceLine && m_re.IsSpaceLine(text)) || !m_writeThis) {
        return true;
    }
    if (convert && lineWantsConversion(text)) {
        toSimplified(text);
    }
    m_bytes.clear();
    m_outCodec->encode(text, m_bytes);
    if (!m_out.writeLine(m_bytes)) {
        failWriting();
        return false;
    }
    return true;
}

// The text in simplified script, but for characters the file's code page cannot hold, which
// keep their original form; false when nothing changed.
bool Pass::toSimplified(QString& text) const
{
    QString simple = ScriptConverter::traditionalToSimplified().convert(text);
    if (simple.isSharedWith(text)) {
        return false;
    }
    for (qsizetype i = 0; i < simple.size() && i < text.size(); ++i) {
        if (!m_outCodec->canEncode(simple[i].unicode())) {
            simple[i] = text[i];
        }
    }
    if (simple == text) {
        return false;
    }
    text = std::move(simple);
    return true;
}

// Starts the output file, unless it was declined; false when that failed (reported).
bool Pass::startFile(const QString& target)
{
    // ask() has looked at what is at the target (or it lies in a folder this pass made).
    if (m_writeThis && !m_out.open(target, m_s.AppendText, true)) {
        failWriting();
        return false;
    }
    return true;
}

// The current file is complete and takes its name.
bool Pass::endFile()
{
    if (!m_out.close()) {
        failWriting();
        return false;
    }
    return true;
}

OutputResult Pass::refuse(const QString& text)
{
    m_host.messageBox(text, QStringLiteral(u"输出"), PassHost::Critical);
    m_doc.SetState(Analysed);
    m_host.setStatusText(QStringLiteral(u"就绪"));
    return OutputResult();
}

OutputResult Pass::cancelled(int files)
{
    m_host.setStatusText(QStringLiteral(u"用户取消操作..."));
    m_host.progressEnd();
    end();
    OutputResult result;
    result.kind = OutputResult::Cancelled;
    result.files = files;
    return result;
}

OutputResult Pass::run()
{
    OutputResult result;
    if (!m_doc.IsAnalysed) {
        m_host.messageBox(QStringLiteral(u"还未分析,请先分析!"), QStringLiteral(u"输出"), PassHost::Warning);
        m_host.setStatusText(QStringLiteral(u"请先分析..."));
        return result;
    }
    if (m_s.ChapsInFile < 1) {
        m_host.messageBox(QStringLiteral(u"“每个文件包含章节数”必须大于 0，请在选项中修改后再输出。"),
                          QStringLiteral(u"输出"), PassHost::Warning);
        m_host.setStatusText(QStringLiteral(u"就绪"));
        return result;
    }
    ChapterModel& model = m_doc.model();
    model.SortByColumn(-1, 0);
    m_doc.SetState(Busy);
    m_host.setStatusText(QStringLiteral(u"开始输出，请稍侯..."));

    if (m_s.ConvertToSimple && !ScriptConverter::traditionalToSimplified().isAvailable()) {
        // Writing unconverted text while claiming conversion would be a silent wrong result.
        fail(QStringLiteral(u"无法把繁体转换为简体：找不到繁简转换词典（%1）。请安装 libopencc-data，"
                            u"或在选项中关闭“繁体转简体”后再输出。")
                 .arg(ScriptConverter::traditionalToSimplified().errorString()),
             PathNotFound);
        result.kind = OutputResult::Failed;
        return result;
    }

    if (m_s.ConvertToSimple) {
        m_script = sampleNovelScript(m_doc.FilePath, m_doc.codec(), m_doc.bomLength());
        m_convert = m_script == NovelScript::Traditional;
    }
    m_transcode = m_convert && m_doc.codec().id() == TextCodec::Big5;
    m_outCodec = m_transcode ? &TextCodec::forId(TextCodec::Gb18030) : &m_doc.codec();

    // Every path of the pass is built on a clean absolute folder, so that it is its own key.
    m_plan.emplace(model, m_s, m_doc.LineCount, cleanAbsolute(OutputRoot(m_doc.FilePath, m_s.OutPath)) + u'/', m_convert);
    const OutputPlan& plan = *m_plan;
    const QString& root = plan.root();
    const int n = plan.chapters();
    const QList<OutputPlan::Entry>& entries = plan.entries();

    // Before anything is written: the names that repeat, and whether any is the novel itself.
    const OutputPlan::Collisions collisions = plan.collisions(m_doc.reader());
    if (!collisions.novel.isEmpty()) {
        return refuse(QStringLiteral(u"输出文件“%1”就是正在处理的小说本身，写入会毁掉小说。\r\n"
                                     u"请换一个输出文件夹或文件名模板后再输出。")
                          .arg(collisions.novel));
    }
    const QStringList& same = collisions.repeated;
    if (root == cleanAbsolute(QFileInfo(m_doc.FilePath).absolutePath()) + u'/') {
        // Its chapter files would lie among the novel and its neighbours, Index.txt too.
        return refuse(QStringLiteral(u"输出文件夹“%1”就是小说所在的文件夹，章节文件会和小说及其他文件混在一起。\r\n"
                                     u"请换一个输出文件夹后再输出。")
                          .arg(root));
    }
    if (!same.isEmpty()) {
        const QString question =
            QStringLiteral(u"有 %1 个输出文件重名（例如“%2”），同一次输出中后写的文件会覆盖先写的。\r\n"
                           u"是否继续？继续时，每个重名的文件都会先询问。")
                .arg(same.size())
                .arg(Document::fileNamePart(same.first()));
        if (!m_host.askYesNo(question, QStringLiteral(u"输出"))) {
            m_doc.SetState(Analysed);
            m_host.setStatusText(QStringLiteral(u"就绪"));
            result.kind = OutputResult::Declined;
            return result;
        }
    }
    if (const EntryKind kind = entryKind(root); kind != EntryKind::Directory && !QFileInfo(root).isDir()) {
        if (kind != EntryKind::None) {
            fail(QStringLiteral(u"无法创建文件夹: %1（已有同名的文件）").arg(root), PathNotFound);
            result.kind = OutputResult::Failed;
            return result;
        }
        if (!m_host.askYesNo(QStringLiteral(u"文件夹: %1 不存在,是否创建?").arg(root), QStringLiteral(u"输出"))) {
            m_doc.SetState(Analysed);
            m_host.setStatusText(QStringLiteral(u"就绪"));
            result.kind = OutputResult::Declined;
            return result;
        }
        if (!makeFolder(root)) {
            result.kind = OutputResult::Failed;
            return result;
        }
        m_question.addMadeFolder(root);
    }
    if (!m_doc.reader().rewind()) {
        fail(m_doc.reader().errorString(), PathFile);
        result.kind = OutputResult::Failed;
        return result;
    }
    m_host.progressStart(n);
    m_re.SetFilters(QString(), m_s.TextFilters);
    if (m_clean.isActive()) {
        QVector<qint64> titleLines;
        QStringList titles;
        for (int i = 0; i < n; ++i) {
            titleLines << model.chapline().at(entries.at(i).record);
            titles << model.title().at(entries.at(i).record);
        }
        m_clean.setChapters(titleLines, titles);
    }
    m_lines.build(m_doc.codec(), m_re, m_s.DelSpaceLine);
    if (m_join.isActive()) {
        m_headings = HeadingLines(m_doc.headingLines());
    }
    m_out.setEncoding(m_outCodec->encode(u"\r\n"), m_doc.bomLength() > 0 ? m_outCodec->byteOrderMark() : QByteArray());

    const qint64 frontEnd = entries.first().start;
    if (frontEnd >= 2) {
        QString target = root + QStringLiteral("Index.txt");
        const OverwriteQuestion::Answer a = ask(target);
        if (a == OverwriteQuestion::Cancel) {
            return cancelled(0);
        }
        m_writeThis = a == OverwriteQuestion::Write;
        if (a == OverwriteQuestion::Fail || !startFile(target) || !copyLines(frontEnd - 1, false) || !endFile()) {
            result.kind = OutputResult::Failed;
            return result;
        }
    }

    int fileNo = 0;
    QString folder = root;
    m_writeThis = false;
    for (int i = 0; i < n; ++i) {
        const OutputPlan::Entry& e = entries.at(i);
        const int p = int(qint64(i) * 100 / n);
        m_host.progress(i, p, QStringLiteral(u"已经输出：%1%").arg(p), QStringLiteral(u"正在输出"));
        m_host.processEvents();
        if (m_doc.DocState == StopRequested) {
            if (m_host.askYesNo(QStringLiteral(u"是否确定中断输出操作？"), QStringLiteral(u"输出"))) {
                // The chapters of the current file written so far are kept.
                if (!endFile()) {
                    result.kind = OutputResult::Failed;
                    return result;
                }
                m_host.setStatusText(QStringLiteral(u"输出被中断！"));
                m_host.setProcessText(QString());
                m_host.progressEnd();
                end();
                result.kind = OutputResult::Stopped;
                result.files = fileNo;
                return result;
            }
            m_doc.DocState = Busy;
        }
        if (plan.startsFile(i, fileNo)) {
            if (!endFile()) {
                result.kind = OutputResult::Failed;
                return result;
            }
            ++fileNo;
            const QString name = plan.fileName(fileNo);
            if (plan.byVolume() ? plan.folderOf(fileNo) != folder : plan.opensGroup(fileNo)) {
                folder = plan.folderOf(fileNo);
                if (m_out.failed()) {
                    failWriting();
                    result.kind = OutputResult::Failed;
                    return result;
                }
                if (!QFileInfo(folder).isDir()) {
                    if (!makeFolder(folder)) {
                        result.kind = OutputResult::Failed;
                        return result;
                    }
                    m_question.addMadeFolder(folder);
                }
            }
            QString target = folder + name;
            m_writeThis = true;
            const OverwriteQuestion::Answer a = ask(target);
            if (a == OverwriteQuestion::Fail) {
                result.kind = OutputResult::Failed;
                return result;
            }
            if (a == OverwriteQuestion::Cancel) {
                return cancelled(fileNo);
            }
            m_keptChapters += a == OverwriteQuestion::Skip ? 1 : 0;
            m_writeThis = a == OverwriteQuestion::Write;
            if (!startFile(target)) {
                result.kind = OutputResult::Failed;
                return result;
            }
        }
        if (!copyLines(entries.at(i + 1).start - e.start, m_convert)) {
            result.kind = OutputResult::Failed;
            return result;
        }
    }
    if (!endFile()) {
        result.kind = OutputResult::Failed;
        return result;
    }
    if (!m_out.finish()) {
        failWriting();
        result.kind = OutputResult::Failed;
        return result;
    }
    // Files kept as they were are not counted as written.
    const int written = fileNo - m_keptChapters;
    const int kept = m_question.kept(); // Index.txt too
    m_host.outputDone((kept == 0 ? QStringLiteral(u"输出完成，共: %1 个文件!").arg(fileNo)
                                   : QStringLiteral(u"输出完成，写入 %1 个文件，%2 个已有的文件按要求保留未覆盖!")
                                         .arg(written + (frontEnd >= 2 ? 1 : 0) - (kept - m_keptChapters))
                                         .arg(kept))
                          + conversionNote(m_s, m_script, m_transcode) + filterNoticeText(m_clean.ledger())
                          + reflowNoticeText(m_s.Reflow, m_join.tally()),
                      root);
    m_host.setStatusText(QStringLiteral(u"输出完毕！"));
    m_host.setProcessText(QString());
    m_host.progressEnd();
    end();
    result.kind = OutputResult::Done;
    result.files = written;
    result.kept = kept;
    return result;
}

} // namespace

QString conversionNote(const Settings& settings, NovelScript script, bool transcoded)
{
    if (transcoded) {
        return QStringLiteral(u"\r\n已转换为简体，按 GB18030 编码写出（Big5 编码容不下简体字）");
    }
    if (settings.ConvertToSimple && script == NovelScript::Simplified) {
        return QStringLiteral(u"\r\n原文已是简体，未做繁简转换");
    }
    return QString();
}

OutputResult RunOutput(Document& doc, const Settings& settings, PassHost& host)
{
    Pass pass(doc, settings, host);
    OutputResult result = pass.run();
    result.ledger = pass.takeLedger();
    return result;
}

bool PreviewCleanup(Document& doc, const Settings& settings, PassHost& host, CleanupLedger* ledger, QString* error)
{
    const ChapterModel& model = doc.model();
    QList<QPair<qint64, int>> kept; // title line, record
    for (int row = 0; row < model.rowCount(); ++row) {
        if (!model.isChecked(row)) {
            kept.append({model.chapline().at(model.tag(row)), model.tag(row)});
        }
    }
    std::sort(kept.begin(), kept.end());
    QVector<qint64> titleLines;
    QStringList titles;
    for (const auto& k : std::as_const(kept)) {
        titleLines << k.first;
        titles << model.title().at(k.second);
    }
    Cleaner clean(settings, true);
    clean.setChapters(titleLines, titles);
    LineReader& reader = doc.reader();
    if (!reader.rewind()) {
        *error = reader.errorString();
        return false;
    }
    QByteArrayView line, terminator;
    QString text;
    qint64 lineNo = 0;
    LineReader::Result r;
    ParagraphJoiner join(settings.Reflow ? doc.Wrap : WrapProfile());
    HeadingLines headings(join.isActive() ? doc.headingLines() : QVector<qint64>());
    ReflowParagraph paragraph;
    const auto cleanParagraph = [&clean, &paragraph] {
        clean.filter(paragraph.text, paragraph.line);
        clean.apply(paragraph.text, paragraph.line);
    };
    doc.SetState(Busy);
    QElapsedTimer sinceTurn;
    sinceTurn.start();
    while ((r = reader.next(line, terminator)) == LineReader::Line) {
        doc.codec().decode(line.data(), line.size(), text);
        ++lineNo;
        if (join.push(text, lineNo, headings.contains(lineNo), paragraph)) {
            cleanParagraph();
        }
        if (sinceTurn.hasExpired(100)) {
            sinceTurn.restart();
            host.processEvents();
            if (doc.DocState == StopRequested) {
                if (host.askYesNo(QStringLiteral(u"是否确定中断清理预览？"), QStringLiteral(u"清理"))) {
                    reader.rewind();
                    doc.SetState(Analysed);
                    *error = QStringLiteral(u"清理预览被中断！");
                    return false;
                }
                doc.DocState = Busy;
            }
        }
    }
    if (join.finish(paragraph)) {
        cleanParagraph();
    }
    doc.SetState(Analysed);
    reader.rewind();
    if (r == LineReader::Error) {
        *error = reader.errorString();
        return false;
    }
    *ledger = clean.takeLedger();
    join.tally().addTo(*ledger);
    return true;
}
