#include "EpubPass.h"

#include "config/SystemError.h"
#include "core/Document.h"
#include "core/FileName.h"
#include "core/PassHost.h"
#include "core/ScriptConverter.h"
#include "epub/BookPages.h"
#include "epub/BookText.h"
#include "epub/Cover.h"
#include "epub/EpubWriter.h"
#include "output/OutputPass.h"
#include "output/OverwriteQuestion.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>

namespace {

const QString Context = QStringLiteral("frmMain::mnuO_SaveEpub_Click()");
enum ErrorNumber { PathFile = 75, PathNotFound = 76 };

class Pass {
public:
    Pass(Document& doc, const Settings& s, const EpubOptions& o, PassHost& host, BookWriterFactory writers)
        : m_doc(doc), m_s(s), m_o(o), m_host(host), m_writers(std::move(writers)),
          m_question(host, doc.reader(), [this](const QString& text, int number) { fail(text, number); }),
          m_text(doc, s, [this](const QString& text, int number) { fail(text, number); })
    {
    }
    CleanupLedger takeLedger() { return m_text.takeLedger(); }
    EpubResult run();
    bool plan();
    QStringList targets() const { return m_targets; }

private:
    bool writePages(BookWriter& book, int bookNo, BookOutline& outline);
    QString planTarget(int first, int last, int books) const;
    void fail(const QString& description, int number);
    EpubResult stopped();

    Document& m_doc;
    const Settings& m_s;
    const EpubOptions& m_o;
    PassHost& m_host;
    BookWriterFactory m_writers;
    OverwriteQuestion m_question;
    BookText m_text;
    BookModel m_model;
    EpubResult m_result;
    CoverImage m_cover;
    QStringList m_targets; // a path per book
    bool m_reported = false;
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

QString Pass::planTarget(int first, int last, int books) const
{
    QString stem;
    const QString t = m_o.target;
    const QString extension = u'.' + bookExtension(m_o.format);
    if (t.endsWith(extension, Qt::CaseInsensitive) && !QFileInfo(t).isDir()) {
        stem = QFileInfo(t).absoluteFilePath();
        stem.chop(extension.size());
    } else {
        const QString folder = t.isEmpty() ? OutputFolder(m_doc.FilePath, m_s.OutPath)
                                           : QFileInfo(t).absoluteFilePath() + u'/';
        stem = QDir::cleanPath(folder + BookFileName(m_model.meta().title, m_doc.FilePath));
    }
    if (books > 1) {
        // Zero-padded, so that the parts sort in order by name: "(0501-1000)" before "(1001-1500)".
        const int digits = int(QString::number(m_model.chapters().size()).size());
        stem += QStringLiteral(" (%1-%2)").arg(first + 1, digits, 10, QLatin1Char('0')).arg(last + 1, digits, 10, QLatin1Char('0'));
    }
    return stem + extension;
}

// The book's pages (the front matter in the first book), reading past the lines of the books
// before.
bool Pass::writePages(BookWriter& book, int bookNo, BookOutline& outline)
{
    if (bookNo == 0 && !book.writeFront(outline)) {
        return false;
    }
    const QList<BookSection>& sections = m_model.sections();
    const int total = int(m_model.chapters().size());
    for (int k = 0; k < sections.size(); ++k) {
        const BookSection& seg = sections[k];
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
        while (m_text.lineNo() + 1 < seg.start) {
            if (!m_text.next(skipped)) {
                return false;
            }
        }
        if (!book.writeSection(k, outline)) {
            return false;
        }
        m_result.chapters += seg.chapter >= 0 ? 1 : 0;
    }
    return true;
}

// The book's model and a path per book; false when no chapter is kept.
bool Pass::plan()
{
    m_model = BookModel::fromDocument(m_doc, m_s,
                                      {m_o.title, m_o.author, m_o.chapsInBook, qint64(std::max(0, m_o.maxBookMB)) << 20,
                                       m_o.format == BookFormat::Azw3});
    if (m_model.isEmpty()) {
        return false;
    }
    const int books = m_model.bookCount();
    for (int b = 0; b < books; ++b) {
        m_targets << planTarget(m_model.firstChapter(b), m_model.lastChapter(b), books);
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
    const BookMeta& meta = m_model.meta();
    const int n = int(m_model.chapters().size());
    const QStringList& targets = m_targets;
    const int books = int(targets.size());
    // A set's first book gets its part's cover now: drawn once, not again when it is written.
    const BookMeta first = books > 1 ? m_model.partMeta(0) : meta;
    m_cover = m_o.coverPath.isEmpty() ? drawCover(first.title, first.author) : loadCover(m_o.coverPath);
    if (!m_cover.error.isEmpty()) {
        m_host.error(m_cover.error, PathFile, Context);
        m_result.kind = EpubResult::Failed;
        return m_result;
    }
    if (!m_cover.warning.isEmpty()) {
        m_host.notice(m_cover.warning, QStringLiteral(u"封面"), 1);
    }
    // A book that a store will not take is said before it is written (the store takes no AZW3).
    for (int b = 0; b < books && m_o.format == BookFormat::Epub; ++b) {
        const qint64 mb = (m_model.estimatedBytes(b) + (1 << 20) - 1) >> 20;
        if (mb > KindleBookMB && (m_o.maxBookMB <= 0 || m_o.maxBookMB > KindleBookMB)) {
            m_host.notice(QStringLiteral(u"%1约有 %2 MB，超过 Send-to-Kindle 能接收的 %3 MB。"
                                         u"可以设置“每本书最大 MB”（命令行 --max-book-mb），按章节分成几本书。")
                              .arg(books > 1 ? QStringLiteral(u"第 %1 本书").arg(b + 1) : QStringLiteral(u"这本书"))
                              .arg(mb)
                              .arg(KindleBookMB),
                          QStringLiteral(u"EPUB"), 1);
            break;
        }
    }
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
    QVector<qint64> titleLines;
    QStringList titles;
    for (const BookChapter& c : m_model.chapters()) {
        titleLines << c.start;
        titles << m_doc.model().title().at(c.record);
    }
    if (!m_text.start(titleLines, titles)) {
        return m_result;
    }
    m_host.progressStart(n);
    const QString format = bookExtension(m_o.format).toUpper();
    m_host.setProcessText(QStringLiteral(u"正在输出 ") + format);
    for (int b = 0; b < books; ++b) {
        QString target = targets[b];
        const OverwriteQuestion::Answer a = m_question.ask(target);
        if (a == OverwriteQuestion::Fail) {
            return m_result;
        }
        if (a == OverwriteQuestion::Cancel) {
            m_host.progressEnd();
            m_host.setProcessText(QString());
            m_doc.SetState(Analysed);
            m_doc.reader().rewind();
            m_result.kind = EpubResult::Cancelled;
            return m_result;
        }
        if (a == OverwriteQuestion::Skip) {
            continue; // the next book reads past this one's lines
        }
        const BookMeta part = m_model.partMeta(b);
        if (books > 1 && b > 0 && m_o.coverPath.isEmpty()) {
            // Each part's cover says which part it is.
            m_cover = drawCover(part.title, part.author);
            if (!m_cover.error.isEmpty()) {
                fail(m_cover.error, PathFile);
                return m_result;
            }
        }
        const std::unique_ptr<BookWriter> writer =
            m_writers({m_doc, m_s, m_model, m_text, m_cover, &m_result.replaced, m_o.vertical});
        BookWriter& book = *writer;
        BookOutline outline;
        if (!book.open(target, meta.modified)) {
            fail(book.errorText(), PathFile);
            return m_result;
        }
        if (!writePages(book, b, outline)) {
            if (m_result.kind == EpubResult::Stopped) {
                return stopped();
            }
            if (!m_reported) {
                fail(book.errorText(), PathFile);
            }
            return m_result;
        }
        // The book's identity: the novel's bytes up to its end, the part, title and author.
        QCryptographicHash partHash(QCryptographicHash::Sha1);
        partHash.addData(m_text.digest());
        // A converted edition is another book than the one kept in traditional script.
        partHash.addData(QStringLiteral("%1|%2|%3|%4|%5")
                             .arg(b)
                             .arg(books)
                             .arg(meta.title, meta.author, m_model.converts() ? QStringLiteral("zh-Hans") : QString())
                             .toUtf8());
        if (!book.finish(outline, part, uuidFromDigest(partHash.result()))) {
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
    QString text = QStringLiteral(u"%1 输出完成，共: %2 本书、%3 章!").arg(format).arg(m_result.books.size()).arg(m_result.chapters)
                   + conversionNote(m_s, m_model.script(), false) + filterNoticeText(m_text.ledger())
                   + reflowNoticeText(m_s.Reflow, m_text.reflowTally());
    m_result.kept = m_question.kept();
    if (m_result.kept > 0) {
        text += QStringLiteral(u"\r\n%1 本已有的书按要求保留未覆盖").arg(m_result.kept);
    }
    if (m_result.replaced > 0) {
        text += QStringLiteral(u"\r\n%1 处无法解码的字节已替换").arg(m_result.replaced);
    }
    m_host.outputDone(text, m_result.books.isEmpty() ? folder : QFileInfo(m_result.books.first()).absolutePath());
    return m_result;
}

} // namespace

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
    Pass pass(doc, settings, options, host, nullptr);
    return pass.plan() ? pass.targets() : QStringList();
}

QString defaultEpubFolder(const QString& novelPath, const QString& outPath)
{
    return OutputFolder(novelPath, outPath);
}

QString bookExtension(BookFormat format)
{
    return format == BookFormat::Azw3 ? QStringLiteral("azw3") : QStringLiteral("epub");
}

EpubResult RunBookPass(Document& doc, const Settings& settings, const EpubOptions& options, PassHost& host,
                       const BookWriterFactory& writers)
{
    Pass pass(doc, settings, options, host, writers);
    EpubResult result = pass.run();
    result.ledger = pass.takeLedger();
    return result;
}

EpubResult RunEpub(Document& doc, const Settings& settings, const EpubOptions& options, PassHost& host)
{
    EpubOptions epub = options;
    epub.format = BookFormat::Epub;
    return RunBookPass(doc, settings, epub, host,
                       [](const BookSource& src) { return std::make_unique<EpubWriter>(src); });
}
