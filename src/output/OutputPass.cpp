#include "OutputPass.h"

#include "core/Cleanup.h"
#include "core/Document.h"
#include "core/PassHost.h"
#include "core/ScriptConverter.h"
#include "core/ScriptSample.h"
#include "config/SystemError.h"
#include "core/cRegExp.h"
#include "core/FileName.h"
#include "output/FileWriter.h"
#include "output/RawLineTest.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <cerrno>
#include <sys/stat.h>

namespace {

const QString Context = QStringLiteral("frmMain::mnuO_SaveOut_Click()");

// Error numbers follow the run-time library's classic ones, which users quote in reports.
enum ErrorNumber { BadCall = 5, DivisionByZero = 11, PastEnd = 62, DiskFull = 61, PathFile = 75, PathNotFound = 76 };

struct Entry {
    qint64 start;
    qint16 chapnum;
    int record; // -1 for the end marker
};

// How a path is known in the pass's sets: a 64-bit hash of its clean absolute form. Two paths
// that collide would only make the pass ask (or pick a free name) once too often.
quint64 pathKey(const QString& cleanPath)
{
    return quint64(qHash(cleanPath, size_t(0x9E3779B97F4A7C15ull)));
}

QString cleanAbsolute(const QString& path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

class Pass {
public:
    Pass(Document& doc, const Settings& s, PassHost& host) : m_doc(doc), m_s(s), m_host(host), m_clean(s, true) {}
    OutputResult run();
    CleanupLedger takeLedger() { return m_clean.takeLedger(); }

private:
    enum Answer { Write, Skip, Cancel, Fail };
    Answer ask(QString& target);
    QString folderOf(int fileNo) const;
    int firstEntry(int fileNo) const;
    bool startsFile(int entry, int filesSoFar) const;
    void planVolumes();
    QString plannedPath(int fileNo, const QString& folder = QString()) const;
    bool taken(const QString& path) const;
    bool makeFolder(const QString& path);
    bool copyLines(qint64 count, bool convert);
    QString nameTitle(const QString& title) const;
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
    bool m_overwriteAll = false;
    QString m_text;
    QByteArray m_bytes;
    QSet<quint64> m_written;     // files this pass has written or is about to, by pathKey
    QSet<QString> m_madeFolders; // folders this pass created: nothing in them but its own files
    QList<Entry> m_entries;      // the output chapters in file order, then the end marker
    int m_chapters = 0;
    QString m_root;              // the output folder, clean and absolute, with a final "/"
    // One sub-folder per volume: the first entry of each file (files do not cross volumes) and
    // each volume's folder name.
    bool m_byVolume = false;
    QVector<int> m_fileFirst;
    QStringList m_volumeFolders;
    bool m_reported = false; // an error has gone to the report
    int m_kept = 0;          // existing files kept, as the user answered (Index.txt too)
    int m_keptChapters = 0;  // of them, chapter files
    RawLineTest m_lines;
    Cleaner m_clean;
    qint64 m_lineNo = 0; // the last line read, for the cleanup's title lines and its ledger
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

// Something is at the path already, or will be: a file this pass has written or queued, or
// any directory entry (a link to nothing included).
bool Pass::taken(const QString& path) const
{
    return m_written.contains(pathKey(cleanAbsolute(path))) || entryKind(path) != EntryKind::None
           || m_host.takenByOtherPass(path);
}

Pass::Answer Pass::ask(QString& target)
{
    bool confirmed = false; // the front end has already asked about the path it chose
    for (;;) {
        // A folder this pass made holds only the pass's own files: nothing there to look at.
        const bool fresh = m_madeFolders.contains(target.left(target.lastIndexOf(u'/') + 1));
        const EntryKind kind = fresh ? EntryKind::None : entryKind(target);
        if (kind != EntryKind::None && m_doc.reader().isSameFile(target)) {
            fail(QStringLiteral(u"不能写入文件: %1（这就是正在处理的小说本身）").arg(target), PathFile);
            return Fail;
        }
        if (kind == EntryKind::Directory || kind == EntryKind::Special) {
            fail(QStringLiteral(u"无法写入文件: %1").arg(notRegularFileText(target)), PathFile);
            return Fail;
        }
        const quint64 key = pathKey(target);
        // Another novel's file of the same batch is as much this run's text as our own.
        const bool ours = m_written.contains(key) || m_host.takenByOtherPass(target);
        QString answer = QStringLiteral(":Yes");
        if (!confirmed && ours && m_host.freeNamesForRepeats()) {
            const QString from = target;
            target = FreeNameBeside(target, [this](const QString& path) { return taken(path); });
            m_host.renamedRepeat(from, target);
            confirmed = true;
            continue;
        }
        if (!confirmed && (ours || (!m_overwriteAll && kind != EntryKind::None))) {
            // A failure among the files before ends the pass before any further question.
            if (!m_out.finish()) {
                failWriting();
                return Fail;
            }
            m_host.setTakenTest([this](const QString& path) { return taken(path); });
            answer = ours ? m_host.askOverwriteWrittenThisPass(target) : m_host.askOverwrite(target);
            m_host.setTakenTest(nullptr);
        }
        if (answer == QLatin1String(":All")) {
            m_overwriteAll = true;
        } else if (answer == QLatin1String(":No")) {
            ++m_kept;
            return Skip;
        } else if (answer == QLatin1String(":Cancel") || answer.isEmpty()
                   || (answer.startsWith(u':') && answer != QLatin1String(":Yes"))) {
            return Cancel;
        } else if (answer != QLatin1String(":Yes")) {
            const QFileInfo info(answer);
            if (!info.absoluteDir().exists()) {
                fail(QStringLiteral(u"文件夹不存在: %1").arg(info.absolutePath()), PathNotFound);
                return Fail;
            }
            target = cleanAbsolute(answer);
            confirmed = true;
            continue; // the new path is checked like any other
        }
        if (!m_host.claimPath(target, confirmed || ours)) {
            continue; // another novel of the batch took it since the check: ask again
        }
        m_written.insert(key); // target is unchanged since the key was made
        return Write;
    }
}

// The entry that file `fileNo` (from 1) starts with.
int Pass::firstEntry(int fileNo) const
{
    return m_byVolume ? m_fileFirst.at(fileNo - 1) : (fileNo - 1) * m_s.ChapsInFile;
}

// Whether output chapter `entry` starts a new file, `filesSoFar` files having been started.
bool Pass::startsFile(int entry, int filesSoFar) const
{
    if (m_byVolume) {
        return filesSoFar < m_fileFirst.size() && m_fileFirst.at(filesSoFar) == entry;
    }
    return entry % m_s.ChapsInFile == 0;
}

// With a folder per volume, a volume's first output chapter starts at its heading, so that the
// heading and the text before the chapter open the volume's folder; every volume starts a file.
void Pass::planVolumes()
{
    const VolumeList& volumes = m_doc.model().volumes();
    for (int v = 0; v < volumes.size(); ++v) {
        m_volumeFolders << VolumeFolderName(v + 1, volumes.size(), nameTitle(volumes.at(v).title)) + u'/';
    }
    int previous = -2;
    int inGroup = 0;
    for (int i = 0; i < m_chapters; ++i) {
        Entry& e = m_entries[i];
        const int v = volumes.volumeOf(e.record);
        if (v != previous) {
            if (v >= 0) {
                e.start = volumes.at(v).line;
            }
            previous = v;
            inGroup = 0;
        }
        if (inGroup++ % m_s.ChapsInFile == 0) {
            m_fileFirst.append(i);
        }
    }
}

// The folder file `fileNo` (from 1) goes to: its sub-folder, or the output folder.
QString Pass::folderOf(int fileNo) const
{
    if (m_byVolume) {
        const int v = m_doc.model().volumes().volumeOf(m_entries.at(firstEntry(fileNo)).record);
        return v < 0 ? m_root : m_root + m_volumeFolders.at(v);
    }
    if (m_s.FilesInDir < 1) {
        return m_root;
    }
    const int firstFile = (fileNo - 1) / m_s.FilesInDir * m_s.FilesInDir + 1;
    const Entry& first = m_entries.at((firstFile - 1) * m_s.ChapsInFile);
    return m_root + SubFolderName(fileNo, m_s.FilesInDir, m_chapters, first.chapnum);
}

// Where file `fileNo` goes when no answer changes it (0 is the front matter), in `folder` when
// the caller knows it.
QString Pass::plannedPath(int fileNo, const QString& folder) const
{
    if (fileNo == 0) {
        return m_root + QStringLiteral("Index.txt");
    }
    const Entry& e = m_entries.at(firstEntry(fileNo));
    return (folder.isNull() ? folderOf(fileNo) : folder)
           + MakeFileName(m_s.OutFile, fileNo, e.chapnum, nameTitle(m_doc.model().title().at(e.record)));
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
    LineReader& reader = m_doc.reader();
    const TextCodec& codec = m_doc.codec();
    const ScriptConverter& t2s = ScriptConverter::traditionalToSimplified();
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
        if (convert && (cleaned || (flags & RawLineTest::Convertible)) && wanted) {
            QString simple = t2s.convert(m_text);
            if (!simple.isSharedWith(m_text)) {
                // A character the file's code page cannot hold keeps its original form.
                for (qsizetype i = 0; i < simple.size(); ++i) {
                    if (!m_outCodec->canEncode(simple[i].unicode())) {
                        simple[i] = m_text[i];
                    }
                }
                if (simple != m_text) {
                    m_text = std::move(simple);
                    changed = true;
                }
            }
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

// A title as it goes into a file or folder name: converted like the chapter's text.
QString Pass::nameTitle(const QString& title) const
{
    return m_convert ? simplifiedLine(title) : title;
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
    m_root = cleanAbsolute(OutputRoot(m_doc.FilePath, m_s.OutPath)) + u'/';
    const QString& root = m_root;
    for (int row = 0; row < model.rowCount(); ++row) {
        if (!model.isChecked(row)) {
            const int r = model.tag(row);
            m_entries.append({model.chapline().at(r), model.chapnum().at(r), r});
        }
    }
    const int n = m_chapters = int(m_entries.size());
    m_entries.append({m_doc.LineCount + 1, 0, -1});
    // Without a volume the folders go by FilesInDir as ever.
    m_byVolume = m_s.FolderPerVolume && !model.volumes().isEmpty();
    if (m_byVolume) {
        planVolumes();
    }
    const QList<Entry>& entries = m_entries;

    // Before anything is written: the names that repeat, and whether any is the novel itself.
    QHash<quint64, int> seen; // pathKey -> the first file with that path
    QSet<QString> repeated;
    QStringList same;
    QString lastFolder;
    bool folderThere = false;
    const int files = m_byVolume ? int(m_fileFirst.size()) : (n + m_s.ChapsInFile - 1) / m_s.ChapsInFile;
    QString groupFolder = m_root;
    for (int k = entries.first().start >= 2 ? 0 : 1; k <= files; ++k) {
        if (k >= 1 && (m_byVolume || (m_s.FilesInDir >= 1 && (k - 1) % m_s.FilesInDir == 0))) {
            groupFolder = folderOf(k);
        }
        const QString path = plannedPath(k, groupFolder);
        const quint64 key = pathKey(path);
        const auto first = seen.constFind(key);
        if (first == seen.cend()) {
            seen.insert(key, k);
        } else if (plannedPath(first.value()) == path && !repeated.contains(path)) {
            repeated.insert(path);
            same << path;
        }
        const QString folder = path.left(path.lastIndexOf(u'/') + 1);
        if (folder != lastFolder) {
            lastFolder = folder;
            folderThere = QFileInfo(folder).isDir();
        }
        if (folderThere && m_doc.reader().isSameFile(path)) {
            return refuse(QStringLiteral(u"输出文件“%1”就是正在处理的小说本身，写入会毁掉小说。\r\n"
                                         u"请换一个输出文件夹或文件名模板后再输出。")
                              .arg(path));
        }
    }
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
        m_madeFolders.insert(root);
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
    m_out.setEncoding(m_outCodec->encode(u"\r\n"), m_doc.bomLength() > 0 ? m_outCodec->byteOrderMark() : QByteArray());
    m_overwriteAll = false;

    const qint64 frontEnd = entries.first().start;
    if (frontEnd >= 2) {
        QString target = root + QStringLiteral("Index.txt");
        const Answer a = ask(target);
        if (a == Cancel) {
            return cancelled(0);
        }
        m_writeThis = a == Write;
        if (a == Fail || !startFile(target) || !copyLines(frontEnd - 1, false) || !endFile()) {
            result.kind = OutputResult::Failed;
            return result;
        }
    }

    int fileNo = 0;
    QString folder = root;
    m_writeThis = false;
    for (int i = 0; i < n; ++i) {
        const Entry& e = entries.at(i);
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
        if (startsFile(i, fileNo)) {
            if (!endFile()) {
                result.kind = OutputResult::Failed;
                return result;
            }
            ++fileNo;
            const QString name = MakeFileName(m_s.OutFile, fileNo, e.chapnum, nameTitle(model.title().at(e.record)));
            if (m_byVolume ? folderOf(fileNo) != folder : m_s.FilesInDir >= 1 && (fileNo - 1) % m_s.FilesInDir == 0) {
                folder = folderOf(fileNo);
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
                    m_madeFolders.insert(folder);
                }
            }
            QString target = folder + name;
            m_writeThis = true;
            const Answer a = ask(target);
            if (a == Fail) {
                result.kind = OutputResult::Failed;
                return result;
            }
            if (a == Cancel) {
                return cancelled(fileNo);
            }
            m_keptChapters += a == Skip ? 1 : 0;
            m_writeThis = a == Write;
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
    m_host.outputDone((m_kept == 0 ? QStringLiteral(u"输出完成，共: %1 个文件!").arg(fileNo)
                                   : QStringLiteral(u"输出完成，写入 %1 个文件，%2 个已有的文件按要求保留未覆盖!")
                                         .arg(written + (frontEnd >= 2 ? 1 : 0) - (m_kept - m_keptChapters))
                                         .arg(m_kept))
                          + conversionNote(m_s, m_script, m_transcode) + filterNoticeText(m_clean.ledger()),
                      m_root);
    m_host.setStatusText(QStringLiteral(u"输出完毕！"));
    m_host.setProcessText(QString());
    m_host.progressEnd();
    end();
    result.kind = OutputResult::Done;
    result.files = written;
    result.kept = m_kept;
    return result;
}

} // namespace

QString NovelBaseName(const QString& filePath)
{
    // A name that starts with a dot would give an empty base name: the output folder would be
    // the novel's own folder.
    QString name = Document::fileNamePart(filePath);
    if (name.endsWith(QLatin1String(".txt"), Qt::CaseInsensitive)) {
        name.chop(4);
    }
    qsizetype from = 0;
    while (from < name.size() && name[from] == u'.') {
        ++from;
    }
    const qsizetype dot = name.indexOf(u'.', from);
    const QString base = name.mid(from, dot < 0 ? -1 : dot - from);
    return base.isEmpty() ? QStringLiteral(u"未命名") : base;
}

QString FreeNameBeside(const QString& path, const std::function<bool(const QString&)>& taken)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    const qsizetype dot = path.lastIndexOf(u'.');
    const bool hasSuffix = dot > slash + 1;
    const QString stem = hasSuffix ? path.left(dot) : path;
    const QString suffix = hasSuffix ? path.mid(dot) : QString();
    for (int k = 2;; ++k) {
        const QString other = stem + QStringLiteral(" (%1)").arg(k) + suffix;
        if (!taken(other)) {
            return other;
        }
    }
}

QString OutputRoot(const QString& filePath, const QString& outPath)
{
    QString base;
    if (outPath == QLatin1String("(default)")) {
        base = QFileInfo(filePath).absolutePath();
    } else if (outPath == QLatin1String("~") || outPath.startsWith(QLatin1String("~/"))) {
        base = QDir::homePath() + outPath.mid(1);
    } else {
        base = outPath;
    }
    if (!base.endsWith(u'/')) {
        base += u'/';
    }
    return base + NovelBaseName(filePath) + u'/';
}

QString SubFolderName(int fileNo, int filesInDir, int chapters, qint16 chapNum)
{
    const int g = (fileNo - 1) / filesInDir;
    const int first = g * filesInDir + 1;
    const int last = std::min((g + 1) * filesInDir, chapters);
    return QStringLiteral(u"%1-%2(第%3章+)/").arg(ZeroFill(first, 3), ZeroFill(last, 3)).arg(chapNum);
}

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
    doc.SetState(Busy);
    QElapsedTimer sinceTurn;
    sinceTurn.start();
    while ((r = reader.next(line, terminator)) == LineReader::Line) {
        doc.codec().decode(line.data(), line.size(), text);
        clean.filter(text, ++lineNo);
        clean.apply(text, lineNo);
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
    doc.SetState(Analysed);
    reader.rewind();
    if (r == LineReader::Error) {
        *error = reader.errorString();
        return false;
    }
    *ledger = clean.takeLedger();
    return true;
}
