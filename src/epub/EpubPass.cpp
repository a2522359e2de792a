#include "EpubPass.h"

#include "core/Cleanup.h"

#include "config/SystemError.h"
#include "core/Document.h"
#include "core/FileName.h"
#include "core/PassHost.h"
#include "core/ScriptConverter.h"
#include "core/ScriptSample.h"
#include "core/TextCodec.h"
#include "core/cRegExp.h"
#include "epub/BookXml.h"
#include "epub/Cover.h"
#include "output/OutputPass.h"

#include <quazip/quazip.h>
#include <quazip/quazipfile.h>
#include <quazip/quazipnewinfo.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QTemporaryFile>

#include <QSet>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace {

const QString Context = QStringLiteral("frmMain::mnuO_SaveEpub_Click()");
enum ErrorNumber { PastEnd = 62, PathFile = 75, PathNotFound = 76 };

// Deflate level: 1 packs Chinese text nearly as well as 6 at several times the speed.
constexpr int DeflateLevel = 1;
// A page's text is handed to the zip in pieces of about this size.
constexpr qsizetype FlushSize = 256 * 1024;

// The process's umask, read without changing it (umask() would race with other threads).
mode_t processUmask()
{
    static const mode_t mask = [] {
        QFile status(QStringLiteral("/proc/self/status"));
        if (status.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : status.readAll().split('\n')) {
                if (line.startsWith("Umask:")) {
                    return mode_t(line.mid(6).trimmed().toUInt(nullptr, 8));
                }
            }
        }
        return mode_t(022);
    }();
    return mask;
}

bool isIndent(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\u3000' || c == u'\u00A0';
}

// The text of a line as a paragraph: indentation and trailing blanks dropped.
QStringView trimmedParagraph(QStringView line)
{
    qsizetype start = 0;
    qsizetype end = line.size();
    while (start < end && isIndent(line[start])) {
        ++start;
    }
    while (end > start && isIndent(line[end - 1])) {
        --end;
    }
    return line.mid(start, end - start);
}

QString xhtmlHead(const QString& title, const QString& lang, const QString& css)
{
    QString s = QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!DOCTYPE html>\n"
                               "<html xmlns=\"http://www.w3.org/1999/xhtml\" xmlns:epub=\"http://www.idpf.org/2007/ops\" "
                               "lang=\"%1\" xml:lang=\"%1\">\n<head>\n<meta charset=\"utf-8\"/>\n<title>")
                    .arg(lang);
    appendXmlText(s, title);
    s += QStringLiteral("</title>\n<link rel=\"stylesheet\" type=\"text/css\" href=\"%1\"/>\n</head>\n").arg(css);
    return s;
}

const char* const StyleSheet = R"(body { margin: 0; padding: 0; }
h1, h2 { text-align: center; font-weight: bold; margin: 1.2em 0 1em 0; }
h1 { font-size: 1.5em; }
h2 { font-size: 1.3em; }
p { text-indent: 2em; margin: 0 0 0.4em 0; line-height: 1.6; }
p.blank { margin: 0; height: 1em; }
section.volume h1 { margin-top: 30%; }
div.cover { margin: 0; padding: 0; text-align: center; height: 100%; }
div.cover svg { height: 100%; width: 100%; }
nav ol { list-style-type: none; }
)";

const char* const Container = R"(<?xml version="1.0" encoding="utf-8"?>
<container version="1.0" xmlns="urn:oasis:names:tc:opendocument:xmlns:container">
  <rootfiles>
    <rootfile full-path="OEBPS/content.opf" media-type="application/oebps-package+xml"/>
  </rootfiles>
</container>
)";

// One content page of a book, in spine order.
struct Page {
    QString id;    // manifest id, also the file's base name
    QString label; // contents entry
    int level = 0; // 0: top; 1: under the volume before it
    bool file = true; // false: a contents entry only (a volume begun in an earlier book)
    QString href;     // where a contents-only entry leads
};

// A zip written under a temporary name beside its target and renamed into place when complete.
class Book {
public:
    ~Book() { abandon(); }

    bool open(const QString& target, const QDateTime& stamp)
    {
        m_target = target;
        m_stamp = stamp;
        m_file.setFileTemplate(QFileInfo(target).absolutePath() + QStringLiteral("/.vellomar-XXXXXX.part"));
        m_file.setAutoRemove(true);
        errno = 0;
        if (!m_file.open()) {
            m_errno = errno;
            m_error = m_file.errorString();
            return false;
        }
        m_zip.setIoDevice(&m_file);
        if (!m_zip.open(QuaZip::mdCreate)) {
            m_error = QStringLiteral("zip %1").arg(m_zip.getZipError());
            return false;
        }
        return true;
    }

    bool begin(const QString& name, bool store = false)
    {
        QuaZipNewInfo info(name);
        info.dateTime = m_stamp;
        info.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
                            | QFileDevice::ReadOther);
        m_entry.setZip(&m_zip);
        if (!m_entry.open(QIODevice::WriteOnly, info, nullptr, 0, store ? 0 : Z_DEFLATED, store ? 0 : DeflateLevel)) {
            return fail();
        }
        return true;
    }

    bool write(const QByteArray& bytes) { return m_entry.write(bytes) == bytes.size() || fail(); }
    bool write(const QString& text) { return write(text.toUtf8()); }

    bool end()
    {
        m_entry.close();
        return m_entry.getZipError() == 0 || fail();
    }

    bool add(const QString& name, const QByteArray& bytes, bool store = false)
    {
        return begin(name, store) && write(bytes) && end();
    }

    // Completes the zip and gives it its name; false (with the reason) when any step failed.
    bool finish()
    {
        m_zip.close();
        if (m_zip.getZipError() != 0 || m_file.error() != QFileDevice::NoError) {
            return fail();
        }
        // The zip closes its device; the bytes are made durable through a second handle.
        QFile written(m_file.fileName());
        errno = 0;
        if (!written.open(QIODevice::ReadOnly) || ::fsync(written.handle()) != 0) {
            m_errno = errno;
            return fail();
        }
        written.close();
        if (std::rename(QFile::encodeName(m_file.fileName()).constData(), QFile::encodeName(m_target).constData()) != 0) {
            m_errno = errno;
            m_error = QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
        m_file.setAutoRemove(false);
        m_file.close();
        // A temporary file is private; the book gets the mode any new file gets here.
        ::chmod(QFile::encodeName(m_target).constData(), 0666 & ~processUmask());
        return true;
    }

    void abandon()
    {
        if (m_zip.isOpen()) {
            m_zip.close();
        }
        m_file.close(); // removes the temporary file unless it was renamed
    }

    QString errorText() const
    {
        return m_errno != 0 ? fileErrorText(QStringLiteral(u"无法写入文件"), m_target, m_errno)
                            : QStringLiteral(u"无法写入文件: %1（%2）").arg(m_target, m_error);
    }

private:
    bool fail()
    {
        if (m_errno == 0) {
            m_errno = errno;
        }
        if (m_error.isEmpty()) {
            m_error = m_file.error() != QFileDevice::NoError ? m_file.errorString()
                                                             : QStringLiteral("zip %1").arg(m_zip.getZipError());
        }
        return false;
    }

    QString m_target;
    QDateTime m_stamp;
    QTemporaryFile m_file;
    QuaZip m_zip;
    QuaZipFile m_entry;
    int m_errno = 0;
    QString m_error;
};

struct Chapter {
    qint64 start; // the title's line
    int record;
};

// A page's place in the novel: a kept chapter, or a volume heading with the text after it.
struct Segment {
    qint64 start;     // first line
    int chapter = -1; // index into the kept chapters
    int volume = -1;  // index into the volumes
    int book = 0;
};

class Pass {
public:
    Pass(Document& doc, const Settings& s, const EpubOptions& o, PassHost& host)
        : m_doc(doc), m_s(s), m_o(o), m_host(host), m_clean(s, false)
    {
    }
    CleanupLedger takeLedger() { return m_clean.takeLedger(); }
    EpubResult run();
    bool plan();
    QStringList targets() const { return m_targets; }

private:
    enum Answer { Write, Skip, Cancel, Fail };
    Answer ask(QString& target);
    bool readLine(QString& text);
    bool isBlank(const QString& text) const;
    QString novelText(const QString& raw) const { return xmlSafe(raw, &m_doc.codec()); }
    void planSegments(int per);
    bool writePages(Book& book, int bookNo);
    bool writeFront(Book& book);
    bool writeSegment(Book& book, int k);
    bool writeContents(Book& book, const QString& uid);
    QString planTarget(int first, int last, int books) const;
    void fail(const QString& description, int number);
    EpubResult stopped();

    Document& m_doc;
    const Settings& m_s;
    const EpubOptions& m_o;
    PassHost& m_host;
    cRegExp m_re;
    Cleaner m_clean;
    bool m_dropped = false; // readLine's line was removed by cleanup: not even a blank paragraph
    EpubResult m_result;
    BookMeta m_meta;
    CoverImage m_cover;
    QList<Chapter> m_chapters; // kept chapters in file order
    int m_per = 1;             // chapters per book
    QStringList m_targets;     // a path per book
    QList<Segment> m_segments; // pages after the front matter, in file order
    qint64 m_lineNo = 0;       // the last line read
    QList<Page> m_pages;       // of the book being written
    QCryptographicHash m_hash{QCryptographicHash::Sha1};
    bool m_overwriteAll = false;
    bool m_reported = false;
    // Conversion runs only on a novel written in traditional script (see the text pass).
    NovelScript m_script = NovelScript::Unknown;
    bool m_convert = false;
    int m_kept = 0; // existing books kept, as the user answered
    QSet<QString> m_written;
};

void Pass::fail(const QString& description, int number)
{
    m_reported = true;
    m_host.progressEnd();
    m_host.setProcessText(QString());
    m_host.setStatusText(QStringLiteral(u"输出失败！"));
    m_doc.SetState(Analysed);
    m_doc.reader().rewind();
    m_host.error(description, number, Context);
    m_result.kind = EpubResult::Failed;
}

EpubResult Pass::stopped()
{
    m_host.setStatusText(QStringLiteral(u"输出被中断！"));
    m_host.setProcessText(QString());
    m_host.progressEnd();
    m_doc.SetState(Analysed);
    m_doc.reader().rewind();
    m_result.kind = EpubResult::Stopped;
    return m_result;
}

// Reads the next line of the novel as text, with the filters applied; false at a read error
// (reported). Blank lines that DelSpaceLine drops come back empty with m_lineNo advanced.
bool Pass::readLine(QString& text)
{
    QByteArrayView line, terminator;
    LineReader& reader = m_doc.reader();
    const LineReader::Result r = reader.next(line, terminator);
    if (r != LineReader::Line) {
        fail(r == LineReader::Error ? reader.errorString()
                                    : QStringLiteral(u"文件在打开后被改短了：只读到 %1 行，应有 %2 行。请重新打开文件。")
                                          .arg(reader.lineNumber())
                                          .arg(m_doc.LineCount),
             r == LineReader::Error ? PathFile : PastEnd);
        return false;
    }
    ++m_lineNo;
    m_hash.addData(line);
    m_hash.addData(terminator);
    m_doc.codec().decode(line.data(), line.size(), text);
    m_clean.filter(text, m_lineNo);
    m_dropped = m_clean.isActive() && m_clean.apply(text, m_lineNo) == Cleaner::Dropped;
    return true;
}

// A line of blanks only: what IsSpaceLine says, and a line of tabs or other indentation too,
// which a book would otherwise show as an empty paragraph.
bool Pass::isBlank(const QString& text) const
{
    return m_re.IsSpaceLine(text) || trimmedParagraph(text).isEmpty();
}

Pass::Answer Pass::ask(QString& target)
{
    bool confirmed = false; // the front end has already asked about the path it chose
    for (;;) {
        const EntryKind kind = entryKind(target);
        if (kind != EntryKind::None && m_doc.reader().isSameFile(target)) {
            fail(QStringLiteral(u"不能写入文件: %1（这就是正在处理的小说本身）").arg(target), PathFile);
            return Fail;
        }
        if (kind == EntryKind::Directory || kind == EntryKind::Special) {
            fail(QStringLiteral(u"无法写入文件: %1").arg(notRegularFileText(target)), PathFile);
            return Fail;
        }
        const QString key = QDir::cleanPath(target);
        const auto taken = [this](const QString& p) {
            return m_written.contains(QDir::cleanPath(p)) || entryKind(p) != EntryKind::None || m_host.takenByOtherPass(p);
        };
        // A book another novel of the batch has written is text of this run, never replaced
        // without a question.
        const bool ours = m_written.contains(key) || m_host.takenByOtherPass(target);
        QString answer = QStringLiteral(":Yes");
        if (!confirmed && ours && m_host.freeNamesForRepeats()) {
            const QString from = target;
            target = FreeNameBeside(target, taken);
            m_host.renamedRepeat(from, target);
            confirmed = true;
            continue;
        }
        if ((kind != EntryKind::None && !m_overwriteAll) || (ours && !confirmed)) {
            m_host.setTakenTest(taken);
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
            target = QDir::cleanPath(info.absoluteFilePath());
            confirmed = true;
            continue;
        }
        if (!m_host.claimPath(target, confirmed || ours)) {
            continue; // another novel of the batch took it since the check: ask again
        }
        m_written.insert(key);
        return Write;
    }
}

QString Pass::planTarget(int first, int last, int books) const
{
    QString stem;
    const QString t = m_o.target;
    if (t.endsWith(QLatin1String(".epub"), Qt::CaseInsensitive) && !QFileInfo(t).isDir()) {
        stem = QFileInfo(t).absoluteFilePath();
        stem.chop(5);
    } else {
        const QString folder = t.isEmpty() ? defaultEpubFolder(m_doc.FilePath, m_s.OutPath)
                                           : QFileInfo(t).absoluteFilePath() + u'/';
        stem = QDir::cleanPath(folder + BookFileName(m_meta.title, m_doc.FilePath));
    }
    if (books > 1) {
        stem += QStringLiteral(" (%1-%2)").arg(first + 1).arg(last + 1);
    }
    return stem + QStringLiteral(".epub");
}

bool Pass::writeFront(Book& book)
{
    const qint64 end = m_segments.isEmpty() ? m_doc.LineCount + 1 : m_segments.first().start;
    QString text;
    QString page;
    bool open = false;
    bool intro = false;
    while (m_lineNo + 1 < end) {
        if (!readLine(text)) {
            return false;
        }
        if (m_dropped) {
            continue;
        }
        if (isBlank(text)) {
            if (!m_s.DelSpaceLine && open) {
                page += QLatin1String("<p class=\"blank\"></p>\n");
            }
            continue;
        }
        const QString p = xmlSafe(trimmedParagraph(text), &m_doc.codec(), &m_result.replaced);
        if (!open) {
            intro = p.startsWith(QStringLiteral(u"简介")) || p.startsWith(QStringLiteral(u"内容简介"));
            if (!book.begin(QStringLiteral("OEBPS/text/front.xhtml"))) {
                return false;
            }
            page = xhtmlHead(intro ? QStringLiteral(u"简介") : QStringLiteral(u"前言"), m_meta.language,
                             QStringLiteral("../style.css"))
                   + QStringLiteral("<body>\n<section epub:type=\"%1\">\n").arg(intro ? QStringLiteral("introduction")
                                                                                 : QStringLiteral("preface"));
            open = true;
        }
        page += QLatin1String("<p>");
        appendXmlText(page, p);
        page += QLatin1String("</p>\n");
        if (page.size() > FlushSize) {
            if (!book.write(page)) {
                return false;
            }
            page.clear();
        }
    }
    if (open) {
        page += QLatin1String("</section>\n</body>\n</html>\n");
        if (!book.write(page) || !book.end()) {
            return false;
        }
        m_pages.append({QStringLiteral("front"), intro ? QStringLiteral(u"简介") : QStringLiteral(u"前言"), 0, true, QString()});
    }
    return true;
}

bool Pass::writeSegment(Book& book, int k)
{
    const Segment& seg = m_segments[k];
    const qint64 end = k + 1 < m_segments.size() ? m_segments[k + 1].start : m_doc.LineCount + 1;
    const bool volume = seg.volume >= 0;
    const VolumeList& volumes = m_doc.model().volumes();
    // Front matter is never converted; chapters and volume pages are.
    const bool convert = m_convert;
    QString text;
    QString heading;
    if (seg.start < end) {
        if (!readLine(text)) {
            return false;
        }
        if (convert) {
            text = simplifiedLine(text);
        }
        heading = xmlSafe(trimmedParagraph(text), &m_doc.codec(), &m_result.replaced);
    }
    if (volume) {
        // A heading that shares its line with the first chapter's title: the volume's words only.
        const QString title = novelText(convert ? simplifiedLine(volumes.at(seg.volume).title) : volumes.at(seg.volume).title);
        if (seg.start >= end || heading.isEmpty()) {
            heading = title;
        }
    } else {
        // The chapter's own words when its line starts with its volume's heading.
        const int v = volumes.volumeOf(m_chapters[seg.chapter].record);
        if (v >= 0 && volumes.at(v).line == seg.start) {
            const QString title = novelText(convert ? simplifiedLine(volumes.at(v).title) : volumes.at(v).title);
            if (heading.startsWith(title) && heading.size() > title.size()) {
                heading = trimmedParagraph(heading.mid(title.size())).toString();
            }
        }
        if (heading.isEmpty()) {
            heading = novelText(m_doc.model().title().at(m_chapters[seg.chapter].record).trimmed());
        }
        if (heading.isEmpty()) {
            heading = QStringLiteral(u"第 %1 章").arg(seg.chapter + 1);
        }
    }
    const QString id = volume ? QStringLiteral("v%1").arg(seg.volume + 1, 3, 10, QLatin1Char('0'))
                              : QStringLiteral("c%1").arg(seg.chapter + 1, 5, 10, QLatin1Char('0'));
    if (!book.begin(QStringLiteral("OEBPS/text/%1.xhtml").arg(id))) {
        return false;
    }
    QString page = xhtmlHead(heading, m_meta.language, QStringLiteral("../style.css"));
    if (volume) {
        page += QStringLiteral("<body>\n<section class=\"volume\" epub:type=\"part\">\n<h1>");
    } else {
        page += QStringLiteral("<body>\n<section epub:type=\"chapter\">\n<h2>");
    }
    appendXmlText(page, heading);
    page += volume ? QLatin1String("</h1>\n") : QLatin1String("</h2>\n");
    while (m_lineNo + 1 < end) {
        if (!readLine(text)) {
            return false;
        }
        if (m_dropped) {
            continue;
        }
        if (isBlank(text)) {
            if (!m_s.DelSpaceLine) {
                page += QLatin1String("<p class=\"blank\"></p>\n");
            }
            continue;
        }
        if (convert) {
            text = simplifiedLine(text);
        }
        page += QLatin1String("<p>");
        appendXmlText(page, trimmedParagraph(text), &m_doc.codec(), &m_result.replaced);
        page += QLatin1String("</p>\n");
        if (page.size() > FlushSize) {
            if (!book.write(page)) {
                return false;
            }
            page.clear();
        }
    }
    page += QLatin1String("</section>\n</body>\n</html>\n");
    if (!book.write(page) || !book.end()) {
        return false;
    }
    Page p{id, heading, 0, true, QString()};
    if (!volume) {
        // Under its volume when the volume's page or entry is in this book.
        const int v = volumes.volumeOf(m_chapters[seg.chapter].record);
        if (v >= 0) {
            const bool listed = std::any_of(m_pages.cbegin(), m_pages.cend(), [&](const Page& q) {
                return q.id == QStringLiteral("v%1").arg(v + 1, 3, 10, QLatin1Char('0'));
            });
            if (!listed) {
                // The volume began in an earlier book: an entry leads to its first chapter here.
                const QString title = novelText(convert ? simplifiedLine(volumes.at(v).title) : volumes.at(v).title);
                m_pages.append({QStringLiteral("v%1").arg(v + 1, 3, 10, QLatin1Char('0')), title, 0, false,
                                QStringLiteral("text/%1.xhtml").arg(id)});
            }
            p.level = 1;
        }
    }
    m_pages.append(p);
    return true;
}

bool Pass::writeContents(Book& book, const QString& uid)
{
    const QString lang = m_meta.language;
    const QString title = xmlText(m_meta.title);
    QString firstChapter;
    for (const Page& p : std::as_const(m_pages)) {
        if (p.id.startsWith(u'c')) {
            firstChapter = p.id;
            break;
        }
    }

    // nav.xhtml: the contents, nested by level, and the landmarks.
    QString nav = xhtmlHead(QStringLiteral(u"目录"), lang, QStringLiteral("style.css"))
                  + QStringLiteral("<body>\n<nav epub:type=\"toc\" id=\"toc\">\n<h1>目录</h1>\n<ol>\n");
    QString ncx = QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                                 "<ncx xmlns=\"http://www.daisy.org/z3986/2005/ncx/\" version=\"2005-1\" xml:lang=\"%1\">\n"
                                 "<head>\n<meta name=\"dtb:uid\" content=\"%2\"/>\n<meta name=\"dtb:depth\" content=\"%3\"/>\n"
                                 "<meta name=\"dtb:totalPageCount\" content=\"0\"/>\n<meta name=\"dtb:maxPageNumber\" content=\"0\"/>\n"
                                 "</head>\n<docTitle><text>%4</text></docTitle>\n")
                      .arg(lang, uid)
                      .arg(std::any_of(m_pages.cbegin(), m_pages.cend(), [](const Page& p) { return p.level > 0; }) ? 2 : 1)
                      .arg(title);
    if (!m_meta.author.isEmpty()) {
        ncx += QStringLiteral("<docAuthor><text>%1</text></docAuthor>\n").arg(xmlText(m_meta.author));
    }
    ncx += QLatin1String("<navMap>\n");
    int order = 0;
    QHash<QString, int> playOrder;
    int open = 0; // nested lists open in nav, navPoints open in the NCX
    for (int k = 0; k < m_pages.size(); ++k) {
        const Page& p = m_pages[k];
        const QString href = p.file ? QStringLiteral("text/%1.xhtml").arg(p.id) : p.href;
        const bool parent = k + 1 < m_pages.size() && m_pages[k + 1].level > p.level;
        while (open > p.level) {
            nav += QLatin1String("</ol>\n</li>\n");
            ncx += QLatin1String("</navPoint>\n");
            --open;
        }
        nav += QStringLiteral("<li><a href=\"%1\">%2</a>").arg(href, xmlText(p.label));
        // Entries that lead to one page share its place in the reading order.
        int place = playOrder.value(href);
        if (place == 0) {
            place = ++order;
            playOrder.insert(href, place);
        }
        ncx += QStringLiteral("<navPoint id=\"np%1\" playOrder=\"%2\"><navLabel><text>%3</text></navLabel>"
                              "<content src=\"%4\"/>")
                   .arg(k + 1)
                   .arg(place)
                   .arg(xmlText(p.label), href);
        if (parent) {
            nav += QLatin1String("\n<ol>\n");
            ncx += u'\n';
            ++open;
        } else {
            nav += QLatin1String("</li>\n");
            ncx += QLatin1String("</navPoint>\n");
        }
    }
    while (open > 0) {
        nav += QLatin1String("</ol>\n</li>\n");
        ncx += QLatin1String("</navPoint>\n");
        --open;
    }
    nav += QStringLiteral("</ol>\n</nav>\n<nav epub:type=\"landmarks\" id=\"landmarks\" hidden=\"hidden\">\n<h2>导航</h2>\n<ol>\n"
                          "<li><a epub:type=\"cover\" href=\"cover.xhtml\">封面</a></li>\n"
                          "<li><a epub:type=\"toc\" href=\"nav.xhtml#toc\">目录</a></li>\n");
    if (!firstChapter.isEmpty()) {
        nav += QStringLiteral("<li><a epub:type=\"bodymatter\" href=\"text/%1.xhtml\">正文</a></li>\n").arg(firstChapter);
    }
    nav += QLatin1String("</ol>\n</nav>\n</body>\n</html>\n");
    ncx += QLatin1String("</navMap>\n</ncx>\n");

    QString opf = QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                                 "<package xmlns=\"http://www.idpf.org/2007/opf\" version=\"3.0\" unique-identifier=\"bookid\" "
                                 "xml:lang=\"%1\">\n<metadata xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\n"
                                 "<dc:identifier id=\"bookid\">%2</dc:identifier>\n<dc:title>%3</dc:title>\n")
                      .arg(lang, uid, title);
    if (!m_meta.author.isEmpty()) {
        opf += QStringLiteral("<dc:creator>%1</dc:creator>\n").arg(xmlText(m_meta.author));
    }
    opf += QStringLiteral("<dc:language>%1</dc:language>\n<meta property=\"dcterms:modified\">%2</meta>\n"
                          "<meta name=\"cover\" content=\"cover-image\"/>\n</metadata>\n<manifest>\n"
                          "<item id=\"nav\" href=\"nav.xhtml\" media-type=\"application/xhtml+xml\" properties=\"nav\"/>\n"
                          "<item id=\"ncx\" href=\"toc.ncx\" media-type=\"application/x-dtbncx+xml\"/>\n"
                          "<item id=\"css\" href=\"style.css\" media-type=\"text/css\"/>\n"
                          "<item id=\"cover-image\" href=\"images/cover.%3\" media-type=\"%4\" properties=\"cover-image\"/>\n"
                          "<item id=\"cover\" href=\"cover.xhtml\" media-type=\"application/xhtml+xml\" properties=\"svg\"/>\n")
               .arg(lang, m_meta.modified.toString(Qt::ISODate), m_cover.extension, m_cover.mediaType);
    for (const Page& p : std::as_const(m_pages)) {
        if (p.file) {
            opf += QStringLiteral("<item id=\"%1\" href=\"text/%1.xhtml\" media-type=\"application/xhtml+xml\"/>\n").arg(p.id);
        }
    }
    opf += QLatin1String("</manifest>\n<spine toc=\"ncx\">\n<itemref idref=\"cover\"/>\n");
    bool navDone = false;
    for (const Page& p : std::as_const(m_pages)) {
        if (!p.file) {
            continue;
        }
        if (!navDone && p.id != QLatin1String("front")) {
            opf += QLatin1String("<itemref idref=\"nav\"/>\n");
            navDone = true;
        }
        opf += QStringLiteral("<itemref idref=\"%1\"/>\n").arg(p.id);
    }
    if (!navDone) {
        opf += QLatin1String("<itemref idref=\"nav\"/>\n");
    }
    opf += QLatin1String("</spine>\n</package>\n");
    return book.add(QStringLiteral("OEBPS/nav.xhtml"), nav.toUtf8()) && book.add(QStringLiteral("OEBPS/toc.ncx"), ncx.toUtf8())
           && book.add(QStringLiteral("OEBPS/content.opf"), opf.toUtf8());
}

bool Pass::writePages(Book& book, int bookNo)
{
    const QString cover =
        xhtmlHead(QStringLiteral(u"封面"), m_meta.language, QStringLiteral("style.css"))
        + QStringLiteral("<body>\n<div class=\"cover\">\n<svg xmlns=\"http://www.w3.org/2000/svg\" "
                         "xmlns:xlink=\"http://www.w3.org/1999/xlink\" version=\"1.1\" width=\"100%\" height=\"100%\" "
                         "viewBox=\"0 0 %1 %2\" preserveAspectRatio=\"xMidYMid meet\">\n"
                         "<image width=\"%1\" height=\"%2\" xlink:href=\"images/cover.%3\"/>\n</svg>\n</div>\n</body>\n</html>\n")
              .arg(m_cover.width)
              .arg(m_cover.height)
              .arg(m_cover.extension);
    if (!book.add(QStringLiteral("mimetype"), QByteArrayLiteral("application/epub+zip"), true)
        || !book.add(QStringLiteral("META-INF/container.xml"), QByteArray(Container))
        || !book.add(QStringLiteral("OEBPS/style.css"), QByteArray(StyleSheet))
        // Images are packed already: storing them costs nothing.
        || !book.add(QStringLiteral("OEBPS/images/cover.") + m_cover.extension, m_cover.bytes, true)
        || !book.add(QStringLiteral("OEBPS/cover.xhtml"), cover.toUtf8())) {
        return false;
    }
    if (bookNo == 0 && !writeFront(book)) {
        return false;
    }
    const int total = int(m_chapters.size());
    for (int k = 0; k < m_segments.size(); ++k) {
        const Segment& seg = m_segments[k];
        if (seg.book != bookNo) {
            continue;
        }
        const int done = seg.chapter >= 0 ? seg.chapter : m_result.chapters;
        const int percent = int(qint64(done) * 100 / std::max(1, total));
        m_host.progress(done, percent, QStringLiteral(u"已经输出：%1%").arg(percent), QStringLiteral(u"正在输出"));
        m_host.processEvents();
        if (m_doc.DocState == StopRequested) {
            if (m_host.askYesNo(QStringLiteral(u"是否确定中断输出操作？"), QStringLiteral(u"输出"))) {
                m_result.kind = EpubResult::Stopped;
                return false;
            }
            m_doc.DocState = Busy;
        }
        // Lines before the page (when a book starts later in the novel) are read past.
        QString skipped;
        while (m_lineNo + 1 < seg.start) {
            if (!readLine(skipped)) {
                return false;
            }
        }
        if (!writeSegment(book, k)) {
            return false;
        }
        m_result.chapters += seg.chapter >= 0 ? 1 : 0;
    }
    return true;
}

// The pages in file order, each in its book: a chapter by its place among the kept chapters, a
// volume's page with the chapter that follows it (the last book when none does).
void Pass::planSegments(int per)
{
    m_segments.clear();
    for (int i = 0; i < m_chapters.size(); ++i) {
        m_segments.append({m_chapters[i].start, i, -1, i / per});
    }
    const VolumeList& volumes = m_doc.model().volumes();
    for (int v = 0; v < volumes.size(); ++v) {
        m_segments.append({volumes.at(v).line, -1, v, 0});
    }
    std::stable_sort(m_segments.begin(), m_segments.end(), [](const Segment& a, const Segment& b) {
        return a.start != b.start ? a.start < b.start : a.volume > b.volume; // a volume before its chapter
    });
    int book = m_chapters.isEmpty() ? 0 : (int(m_chapters.size()) - 1) / per;
    for (int k = int(m_segments.size()) - 1; k >= 0; --k) {
        if (m_segments[k].chapter >= 0) {
            book = m_segments[k].book;
        } else {
            m_segments[k].book = book;
        }
    }
}

// The kept chapters, the book's metadata and a path per book; false when no chapter is kept.
bool Pass::plan()
{
    const ChapterModel& model = m_doc.model();
    for (int row = 0; row < model.rowCount(); ++row) {
        if (!model.isChecked(row)) {
            m_chapters.append({model.chapline().at(model.tag(row)), model.tag(row)});
        }
    }
    std::sort(m_chapters.begin(), m_chapters.end(), [](const Chapter& a, const Chapter& b) { return a.start < b.start; });
    if (m_chapters.isEmpty()) {
        return false;
    }
    m_meta = proposedBookMeta(m_doc);
    if (m_s.ConvertToSimple) {
        m_script = sampleNovelScript(m_doc.FilePath, m_doc.codec(), m_doc.bomLength());
        m_convert = m_script == NovelScript::Traditional;
    }
    if (m_convert) {
        // A converted book reads as simplified throughout, its title and author too.
        m_meta.title = simplifiedLine(m_meta.title);
        m_meta.author = simplifiedLine(m_meta.author);
        m_meta.language = QStringLiteral("zh-CN");
    }
    if (!m_o.title.trimmed().isEmpty()) {
        m_meta.title = m_o.title.trimmed();
    }
    if (!m_o.author.trimmed().isEmpty()) {
        m_meta.author = m_o.author.trimmed();
    }
    // In 64 bits: chapters per book may be as large as an int goes.
    const qint64 n = m_chapters.size();
    m_per = m_o.chapsInBook > 0 ? m_o.chapsInBook : int(n);
    const qint64 books = (n + m_per - 1) / m_per;
    for (qint64 b = 0; b < books; ++b) {
        m_targets << planTarget(int(b * m_per), int(std::min(n, (b + 1) * m_per) - 1), int(books));
    }
    return true;
}

EpubResult Pass::run()
{
    if (!m_doc.IsAnalysed) {
        m_host.messageBox(QStringLiteral(u"请先分析文件！"), QStringLiteral(u"输出"), PassHost::Information);
        return m_result;
    }
    if (m_s.ConvertToSimple && !ScriptConverter::traditionalToSimplified().isAvailable()) {
        m_host.error(QStringLiteral(u"繁简转换所需的 OpenCC 数据文件不可用，无法转换为简体。"), PathFile, Context);
        m_result.kind = EpubResult::Failed;
        return m_result;
    }
    if (!plan()) {
        m_host.messageBox(QStringLiteral(u"没有要输出的章节！"), QStringLiteral(u"输出"), PassHost::Information);
        return m_result;
    }
    const ChapterModel& model = m_doc.model();
    const int n = int(m_chapters.size());
    const QStringList& targets = m_targets;
    const int books = int(targets.size());
    m_cover = m_o.coverPath.isEmpty() ? drawCover(m_meta.title, m_meta.author) : loadCover(m_o.coverPath);
    if (!m_cover.error.isEmpty()) {
        m_host.error(m_cover.error, PathFile, Context);
        m_result.kind = EpubResult::Failed;
        return m_result;
    }
    if (!m_cover.warning.isEmpty()) {
        m_host.notice(m_cover.warning, QStringLiteral(u"封面"), 1);
    }
    planSegments(m_per);
    const QString folder = QFileInfo(targets.first()).absolutePath();
    if (!QFileInfo(folder).isDir()) {
        if (!m_host.askYesNo(QStringLiteral(u"文件夹: %1/ 不存在,是否创建?").arg(folder), QStringLiteral(u"输出"))) {
            m_result.kind = EpubResult::Declined;
            return m_result;
        }
        errno = 0;
        if (!QDir().mkpath(folder)) {
            m_host.error(fileErrorText(QStringLiteral(u"无法创建文件夹"), folder, errno), PathNotFound, Context);
            m_result.kind = EpubResult::Failed;
            return m_result;
        }
    }

    m_doc.SetState(Busy);
    if (!m_doc.reader().rewind()) {
        fail(m_doc.reader().errorString(), PathFile);
        return m_result;
    }
    m_re.SetFilters(QString(), m_s.TextFilters);
    if (m_clean.isActive()) {
        QVector<qint64> titleLines;
        QStringList titles;
        for (const Chapter& c : m_chapters) {
            titleLines << c.start;
            titles << model.title().at(c.record);
        }
        m_clean.setChapters(titleLines, titles);
    }
    m_host.progressStart(n);
    m_host.setProcessText(QStringLiteral(u"正在输出 EPUB"));
    m_lineNo = 0;
    for (int b = 0; b < books; ++b) {
        QString target = targets[b];
        const Answer a = ask(target);
        if (a == Fail) {
            return m_result;
        }
        if (a == Cancel) {
            m_host.progressEnd();
            m_host.setProcessText(QString());
            m_doc.SetState(Analysed);
            m_doc.reader().rewind();
            m_result.kind = EpubResult::Cancelled;
            return m_result;
        }
        if (a == Skip) {
            continue; // the next book reads past this one's lines
        }
        m_pages.clear();
        Book book;
        // The book's identity: the novel's bytes up to its end, the part, title and author.
        QCryptographicHash partHash(QCryptographicHash::Sha1);
        if (!book.open(target, m_meta.modified)) {
            fail(book.errorText(), PathFile);
            return m_result;
        }
        if (!writePages(book, b)) {
            if (m_result.kind == EpubResult::Stopped) {
                return stopped();
            }
            if (!m_reported) {
                fail(book.errorText(), PathFile);
            }
            return m_result;
        }
        partHash.addData(m_hash.result());
        // A converted edition is another book than the one kept in traditional script.
        partHash.addData(QStringLiteral("%1|%2|%3|%4|%5")
                             .arg(b)
                             .arg(books)
                             .arg(m_meta.title, m_meta.author, m_convert ? QStringLiteral("zh-Hans") : QString())
                             .toUtf8());
        if (!writeContents(book, uuidFromDigest(partHash.result())) || !book.finish()) {
            fail(book.errorText(), PathFile);
            return m_result;
        }
        m_result.books << target;
    }
    m_host.progressEnd();
    m_host.setProcessText(QString());
    m_doc.SetState(Analysed);
    m_doc.reader().rewind();
    m_result.kind = EpubResult::Done;
    QString text = QStringLiteral(u"EPUB 输出完成，共: %1 本书、%2 章!").arg(m_result.books.size()).arg(m_result.chapters)
                   + conversionNote(m_s, m_script, false) + filterNoticeText(m_clean.ledger());
    m_result.kept = m_kept;
    if (m_kept > 0) {
        text += QStringLiteral(u"\r\n%1 本已有的书按要求保留未覆盖").arg(m_kept);
    }
    if (m_result.replaced > 0) {
        text += QStringLiteral(u"\r\n%1 处无法解码的字节已替换").arg(m_result.replaced);
    }
    m_host.outputDone(text, m_result.books.isEmpty() ? folder : QFileInfo(m_result.books.first()).absolutePath());
    return m_result;
}

} // namespace

BookMeta proposedBookMeta(Document& doc)
{
    // The front matter: the lines before the first kept title, at most 200 of them.
    qint64 first = doc.LineCount + 1;
    const ChapterModel& model = doc.model();
    for (int row = 0; row < model.rowCount(); ++row) {
        if (!model.isChecked(row)) {
            first = std::min<qint64>(first, model.chapline().at(model.tag(row)));
        }
    }
    QStringList lines;
    LineReader& reader = doc.reader();
    if (reader.rewind()) {
        QByteArrayView line, terminator;
        while (lines.size() < 200 && lines.size() + 1 < first && reader.next(line, terminator) == LineReader::Line) {
            // Bytes that are no text cannot name a book: the metadata holds their U+FFFD.
            QString text = doc.codec().decode(line);
            doc.codec().resolveEscapes(text);
            lines << text;
        }
        reader.rewind();
    }
    BookMeta meta = detectBookMeta(doc.FilePath, lines);
    if (meta.title.trimmed().isEmpty()) {
        meta.title = NovelBaseName(doc.FilePath);
    }
    meta.modified = bookDate(QFileInfo(doc.FilePath).lastModified());
    // A traditional novel is marked as such for the reader's fonts (unless it is converted).
    if (ScriptConverter::traditionalToSimplified().isAvailable()
        && sampleNovelScript(doc.FilePath, doc.codec(), doc.bomLength()) == NovelScript::Traditional) {
        meta.language = QStringLiteral("zh-TW");
    }
    return meta;
}

QString BookFileName(const QString& title, const QString& novelPath)
{
    // Cut at a character, never a hidden file, never empty.
    QString name = CutAtCharacter(StripIllegalChars(title), 80).trimmed();
    qsizetype dots = 0;
    while (dots < name.size() && name[dots] == u'.') {
        ++dots;
    }
    name = name.mid(dots).trimmed();
    return name.isEmpty() ? NovelBaseName(novelPath) : name;
}

QStringList plannedBooks(Document& doc, const Settings& settings, const EpubOptions& options, PassHost& host)
{
    if (!doc.IsAnalysed) {
        return {};
    }
    Pass pass(doc, settings, options, host);
    return pass.plan() ? pass.targets() : QStringList();
}

QString defaultEpubFolder(const QString& novelPath, const QString& outPath)
{
    QString base;
    if (outPath == QLatin1String("(default)") || outPath.isEmpty()) {
        base = QFileInfo(novelPath).absolutePath();
    } else if (outPath == QLatin1String("~") || outPath.startsWith(QLatin1String("~/"))) {
        base = QDir::homePath() + outPath.mid(1);
    } else {
        base = outPath;
    }
    return base.endsWith(u'/') ? base : base + u'/';
}

EpubResult RunEpub(Document& doc, const Settings& settings, const EpubOptions& options, PassHost& host)
{
    Pass pass(doc, settings, options, host);
    EpubResult result = pass.run();
    result.ledger = pass.takeLedger();
    return result;
}
