#include "BookPages.h"

#include "config/Settings.h"
#include "core/Document.h"
#include "core/ScriptSample.h"
#include "epub/BookModel.h"
#include "epub/BookText.h"
#include "epub/BookXml.h"
#include "epub/Cover.h"

namespace {

// One mark per paragraph (the indent, no gap), and no line height: readers let the user set it.
const char* const StyleSheet = R"(body { margin: 0; padding: 0; }
h1, h2 { text-align: center; font-weight: bold; margin: 1.2em 0 1em 0; }
h1 { font-size: 1.5em; }
h2 { font-size: 1.3em; }
p { text-align: justify; text-indent: 2em; margin: 0; }
p.blank { margin: 0; height: 1em; }
section.volume h1 { margin-top: 30%; }
div.cover { margin: 0; padding: 0; text-align: center; height: 100%; }
div.cover svg { height: 100%; width: 100%; }
nav ol { list-style-type: none; }
)";

// Columns from right to left: what was above a block is now to its right.
const char* const VerticalStyle = R"(html { writing-mode: vertical-rl; -epub-writing-mode: vertical-rl; }
h1, h2 { margin: 0 1.2em 0 1em; }
p.blank { height: auto; width: 1em; }
section.volume h1 { margin-top: 0; margin-right: 30%; }
)";

const QByteArray BlankParagraph("<p class=\"blank\"></p>\n");

} // namespace

QByteArray pageStyleSheet(bool vertical)
{
    return vertical ? QByteArray(StyleSheet) + VerticalStyle : QByteArray(StyleSheet);
}

QString continuedPageId(const QString& id, int part)
{
    return QStringLiteral("%1-%2").arg(id).arg(part);
}

QString pageHref(const QString& id)
{
    return QStringLiteral("text/%1.xhtml").arg(id);
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

QString coverPage(const CoverImage& cover, const QString& lang)
{
    return xhtmlHead(QStringLiteral(u"封面"), lang, QStringLiteral("style.css"))
           + QStringLiteral("<body>\n<div class=\"cover\">\n<svg xmlns=\"http://www.w3.org/2000/svg\" "
                            "xmlns:xlink=\"http://www.w3.org/1999/xlink\" version=\"1.1\" width=\"100%\" height=\"100%\" "
                            "viewBox=\"0 0 %1 %2\" preserveAspectRatio=\"xMidYMid meet\">\n"
                            "<image width=\"%1\" height=\"%2\" xlink:href=\"images/cover.%3\"/>\n</svg>\n</div>\n</body>\n</html>\n")
                 .arg(cover.width)
                 .arg(cover.height)
                 .arg(cover.extension);
}

PageWriter::PageWriter(Document& doc, const Settings& settings, const BookModel& model, BookText& text,
                       PageSink& sink, qint64* replaced)
    : m_doc(doc), m_s(settings), m_model(model), m_text(text), m_sink(sink), m_replaced(replaced)
{
}

void PageWriter::startPage(const QString& id, const QString& title, PageSink::Kind kind)
{
    m_id = id;
    m_title = title;
    m_kind = kind;
    m_parts.clear();
    m_page = m_sink.pageOpening(id, title, kind);
}

bool PageWriter::makeRoom()
{
    if (m_page.size() < PageLimit) {
        return true;
    }
    // A long page goes on in a page of its own, between two paragraphs.
    if (!m_sink.addPage(m_parts.isEmpty() ? m_id : m_parts.last(), std::move(m_page))) {
        return false;
    }
    m_parts << continuedPageId(m_id, int(m_parts.size()) + 2);
    m_page = m_sink.pageOpening(m_parts.last(), m_title, m_kind);
    return true;
}

bool PageWriter::endPage()
{
    return m_sink.addPage(m_parts.isEmpty() ? m_id : m_parts.last(), std::move(m_page));
}

void PageWriter::addParagraph(QStringView text, const TextCodec* novel)
{
    m_page += "<p>";
    appendXmlUtf8(m_page, text, novel, m_replaced);
    m_page += "</p>\n";
}

bool PageWriter::writeFront(BookOutline& outline)
{
    const QList<BookSection>& sections = m_model.sections();
    const qint64 end = sections.isEmpty() ? m_doc.LineCount + 1 : sections.first().start;
    QString text;
    bool open = false;
    bool intro = false;
    while (m_text.lineNo() + 1 < end) {
        if (!m_text.next(text)) {
            return false;
        }
        if (m_text.dropped()) {
            continue;
        }
        if (m_text.isBlank(text)) {
            if (!m_s.DelSpaceLine && open) {
                if (!makeRoom()) {
                    return false;
                }
                m_page += BlankParagraph;
            }
            continue;
        }
        const QString p = xmlSafe(trimmedParagraph(text), &m_doc.codec(), m_replaced);
        if (!open) {
            intro = startsIntro(p);
            startPage(frontPageId(), bookLabel(intro ? BookLabel::Intro : BookLabel::Preface, m_model.meta()),
                      intro ? PageSink::Introduction : PageSink::Preface);
            open = true;
        }
        if (!makeRoom()) {
            return false;
        }
        addParagraph(p);
    }
    if (open) {
        if (!endPage()) {
            return false;
        }
        outline.addFront(bookLabel(intro ? BookLabel::Intro : BookLabel::Preface, m_model.meta()));
        for (const QString& id : std::as_const(m_parts)) {
            outline.addContinued(id);
        }
    }
    return true;
}

bool PageWriter::writeSection(int k, BookOutline& outline)
{
    const QList<BookSection>& sections = m_model.sections();
    const BookSection& seg = sections[k];
    const qint64 end = k + 1 < sections.size() ? sections[k + 1].start : m_doc.LineCount + 1;
    const bool volume = seg.volume >= 0;
    const VolumeList& volumes = m_doc.model().volumes();
    const int record = volume ? -1 : m_model.chapters()[seg.chapter].record;
    const int chapterVolume = volume ? -1 : volumes.volumeOf(record);
    // Front matter is never converted; chapters and volume pages are.
    const bool convert = m_model.converts();
    QString text;
    QString heading;
    if (seg.start < end) {
        if (!m_text.next(text)) {
            return false;
        }
        if (convert) {
            text = simplifiedLine(text);
        }
        heading = xmlSafe(trimmedParagraph(text), &m_doc.codec(), m_replaced);
    }
    if (volume) {
        // A heading that shares its line with the first chapter's title: the volume's words only.
        if (seg.start >= end || heading.isEmpty()) {
            heading = m_model.volumeTitle(seg.volume);
        }
    } else {
        // The chapter's own words when its line starts with its volume's heading or word.
        if (chapterVolume >= 0) {
            heading = m_model.chapterHeading(chapterVolume, heading);
        }
        if (heading.isEmpty()) {
            heading = xmlSafe(m_doc.model().title().at(record).trimmed(), &m_doc.codec());
        }
        if (heading.isEmpty()) {
            heading = QStringLiteral(u"第 %1 章").arg(seg.chapter + 1);
        }
    }
    startPage(volume ? volumePageId(seg.volume) : chapterPageId(seg.chapter), heading,
              volume ? PageSink::Volume : PageSink::Chapter);
    m_page += volume ? "<h1>" : "<h2>";
    appendXmlUtf8(m_page, heading);
    m_page += volume ? "</h1>\n" : "</h2>\n";
    while (m_text.lineNo() + 1 < end) {
        if (!m_text.next(text)) {
            return false;
        }
        if (m_text.dropped()) {
            continue;
        }
        if (m_text.isBlank(text)) {
            if (!m_s.DelSpaceLine) {
                if (!makeRoom()) {
                    return false;
                }
                m_page += BlankParagraph;
            }
            continue;
        }
        if (convert) {
            text = simplifiedLine(text);
        }
        if (!makeRoom()) {
            return false;
        }
        addParagraph(trimmedParagraph(text), &m_doc.codec());
    }
    if (!endPage()) {
        return false;
    }
    if (volume) {
        outline.addVolume(seg.volume, heading);
    } else {
        outline.addChapter(seg.chapter, chapterVolume, heading,
                           chapterVolume >= 0 ? m_model.volumeTitle(chapterVolume) : QString());
    }
    for (const QString& id : std::as_const(m_parts)) {
        outline.addContinued(id);
    }
    return true;
}
