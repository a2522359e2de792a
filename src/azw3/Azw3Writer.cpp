#include "Azw3Writer.h"

#include "config/Settings.h"
#include "core/Document.h"
#include "core/ScriptSample.h"
#include "epub/BookModel.h"
#include "epub/BookPages.h"
#include "epub/BookText.h"
#include "epub/BookXml.h"
#include "epub/Cover.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImage>

namespace {

// Text is handed on in pieces of about this many characters, each ending with a paragraph.
constexpr qsizetype PieceSize = 2048;

const QLatin1String BlankParagraph("<p class=\"blank\"></p>\n");

QString pageHead(const QString& title, const QString& lang)
{
    QString s = QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                               "<html xmlns=\"http://www.w3.org/1999/xhtml\" xml:lang=\"%1\">\n<head>\n"
                               "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\"/>\n<title>")
                    .arg(lang);
    appendXmlText(s, title);
    s += QLatin1String("</title>\n<link rel=\"stylesheet\" type=\"text/css\" href=\"kindle:flow:0001?mime=text/css\"/>\n"
                       "</head>\n<body>\n");
    return s;
}

} // namespace

QByteArray coverThumbnail(const QByteArray& cover)
{
    QImage image;
    if (!image.loadFromData(cover)) {
        return QByteArray();
    }
    if (image.height() > 330) {
        image = image.scaledToHeight(330, Qt::SmoothTransformation);
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.convertToFormat(QImage::Format_RGB32).save(&buffer, "JPEG", 80);
    return bytes;
}

bool Azw3Writer::open(const QString& target, const QDateTime& stamp)
{
    m_target = target;
    m_stamp = stamp;
    if (!m_text.open(QFileInfo(target).absolutePath())) {
        m_error = QStringLiteral(u"无法写入文件: %1（%2）").arg(target, m_text.errorString());
        return false;
    }
    return true;
}

QString Azw3Writer::errorText() const
{
    if (!m_error.isEmpty()) {
        return m_error;
    }
    if (!m_container.errorText().isEmpty()) {
        return m_container.errorText();
    }
    return QStringLiteral(u"无法写入文件: %1（%2）").arg(m_target, m_text.errorString());
}

// A page's frame: the head, a division named after the page that its content goes into.
bool Azw3Writer::beginPart(const QString& id, const QString& title, const QString& kind)
{
    const int part = int(m_text.skeletons().size());
    m_parts.insert(id, part);
    const QByteArray head = (pageHead(title, m_src.model.meta().language)
                             + QStringLiteral("<div class=\"%1\" id=\"%2\" aid=\"%3\">").arg(kind, id, QString::fromLatin1(kf8Aid(part))))
                                .toUtf8();
    return m_text.beginPart(head, QByteArrayLiteral("</div>\n</body>\n</html>\n"));
}

bool Azw3Writer::flush(QString& page, bool force)
{
    if (page.size() < PieceSize && !force) {
        return true;
    }
    const bool ok = m_text.append(page.toUtf8());
    page.clear();
    return ok;
}

bool Azw3Writer::endPart(QString& page)
{
    if (page.isEmpty() && m_text.fragments().size() == m_text.skeletons().last().firstFragment) {
        page = BlankParagraph; // every part has a fragment for the contents to lead to
    }
    return flush(page, true) && m_text.endPart();
}

bool Azw3Writer::writeFront(BookOutline& outline)
{
    const QList<BookSection>& sections = m_src.model.sections();
    const qint64 end = sections.isEmpty() ? m_src.doc.LineCount + 1 : sections.first().start;
    BookText& in = m_src.text;
    QString text;
    QString page;
    bool open = false;
    bool intro = false;
    while (in.lineNo() + 1 < end) {
        if (!in.next(text)) {
            return false;
        }
        if (in.dropped()) {
            continue;
        }
        if (in.isBlank(text)) {
            if (!m_src.settings.DelSpaceLine && open) {
                page += BlankParagraph;
            }
            continue;
        }
        const QString p = xmlSafe(trimmedParagraph(text), &m_src.doc.codec(), m_src.replaced);
        if (!open) {
            intro = p.startsWith(QStringLiteral(u"简介")) || p.startsWith(QStringLiteral(u"内容简介"));
            if (!beginPart(frontPageId(), intro ? QStringLiteral(u"简介") : QStringLiteral(u"前言"),
                           intro ? QStringLiteral("introduction") : QStringLiteral("preface"))) {
                return false;
            }
            open = true;
        }
        page += QLatin1String("<p>");
        appendXmlText(page, p);
        page += QLatin1String("</p>\n");
        if (!flush(page)) {
            return false;
        }
    }
    if (open) {
        if (!endPart(page)) {
            return false;
        }
        outline.addFront(intro ? QStringLiteral(u"简介") : QStringLiteral(u"前言"));
    }
    return true;
}

bool Azw3Writer::writeSection(int k, BookOutline& outline)
{
    const BookModel& model = m_src.model;
    const QList<BookSection>& sections = model.sections();
    const BookSection& seg = sections[k];
    const qint64 end = k + 1 < sections.size() ? sections[k + 1].start : m_src.doc.LineCount + 1;
    const bool volume = seg.volume >= 0;
    const bool convert = model.converts();
    BookText& in = m_src.text;
    QString text;
    QString first;
    if (seg.start < end) {
        if (!in.next(text)) {
            return false;
        }
        if (convert) {
            text = simplifiedLine(text);
        }
        first = xmlSafe(trimmedParagraph(text), &m_src.doc.codec(), m_src.replaced);
    }
    const QString heading = model.sectionHeading(k, first);
    const QString id = volume ? volumePageId(seg.volume) : chapterPageId(seg.chapter);
    if (!beginPart(id, heading, volume ? QStringLiteral("volume") : QStringLiteral("chapter"))) {
        return false;
    }
    QString page = volume ? QStringLiteral("<h1>") : QStringLiteral("<h2>");
    appendXmlText(page, heading);
    page += volume ? QLatin1String("</h1>\n") : QLatin1String("</h2>\n");
    while (in.lineNo() + 1 < end) {
        if (!in.next(text)) {
            return false;
        }
        if (in.dropped()) {
            continue;
        }
        if (in.isBlank(text)) {
            if (!m_src.settings.DelSpaceLine) {
                page += BlankParagraph;
            }
            continue;
        }
        if (convert) {
            text = simplifiedLine(text);
        }
        page += QLatin1String("<p>");
        appendXmlText(page, trimmedParagraph(text), &m_src.doc.codec(), m_src.replaced);
        page += QLatin1String("</p>\n");
        if (!flush(page)) {
            return false;
        }
    }
    if (!endPart(page)) {
        return false;
    }
    if (volume) {
        outline.addVolume(seg.volume, heading);
    } else {
        const int chapterVolume = model.volumeOfChapter(seg.chapter);
        outline.addChapter(seg.chapter, chapterVolume, heading,
                           chapterVolume >= 0 ? model.volumeTitle(chapterVolume) : QString());
    }
    return true;
}

QList<Kf8NcxEntry> Azw3Writer::ncxEntries(const BookOutline& outline, const Kf8Text& text,
                                          const QHash<QString, int>& parts)
{
    auto entry = [&](const BookOutline::Entry& e, int depth, int parent) {
        const Kf8Text::Skeleton& part = text.skeletons()[parts.value(e.page)];
        quint32 length = 0;
        for (int f = part.firstFragment; f < part.firstFragment + part.fragments; ++f) {
            length += text.fragments()[f].length;
        }
        Kf8NcxEntry n;
        n.label = e.label;
        n.depth = depth;
        n.fragment = part.firstFragment;
        n.pos = text.fragments()[part.firstFragment].insertAt;
        n.length = length;
        n.parent = parent;
        return n;
    };
    QList<Kf8NcxEntry> out;
    const QList<BookOutline::Entry>& top = outline.contents();
    for (const BookOutline::Entry& e : top) {
        out << entry(e, 0, -1);
    }
    // The chapters under the volumes, after every top entry.
    for (int i = 0; i < top.size(); ++i) {
        if (top[i].children.isEmpty()) {
            continue;
        }
        out[i].firstChild = int(out.size());
        for (const BookOutline::Entry& c : top[i].children) {
            out << entry(c, 1, i);
        }
        out[i].lastChild = int(out.size()) - 1;
    }
    return out;
}

bool Azw3Writer::finish(const BookOutline& outline, const QString& uid)
{
    QByteArray css = pageStyleSheet();
    css += "div.volume h1 { margin-top: 30%; }\n";
    if (!m_text.finish(css)) {
        return false;
    }
    const BookMeta& meta = m_src.model.meta();
    return m_container.write(m_target, m_text, ncxEntries(outline, m_text, m_parts), m_src.cover.bytes,
                             coverThumbnail(m_src.cover.bytes),
                             {meta.title, meta.author, meta.language, uid, meta.modified});
}
