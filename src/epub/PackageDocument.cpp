#include "PackageDocument.h"

#include "epub/BookMeta.h"
#include "epub/BookModel.h"
#include "epub/BookPages.h"
#include "epub/BookXml.h"
#include "epub/Cover.h"

namespace {

const char* const Container = R"(<?xml version="1.0" encoding="utf-8"?>
<container version="1.0" xmlns="urn:oasis:names:tc:opendocument:xmlns:container">
  <rootfiles>
    <rootfile full-path="OEBPS/content.opf" media-type="application/oebps-package+xml"/>
  </rootfiles>
</container>
)";

} // namespace

QString packageDocumentPath()
{
    return QStringLiteral("OEBPS/content.opf");
}

QByteArray containerDocument()
{
    return QByteArray(Container);
}

QString packageDocument(const BookOutline& outline, const BookMeta& meta, const QString& uid, const CoverImage& cover,
                        const SpineLayout& layout)
{
    const QString& lang = meta.language;
    QString opf = QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                                 "<package xmlns=\"http://www.idpf.org/2007/opf\" version=\"3.0\" unique-identifier=\"bookid\" "
                                 "xml:lang=\"%1\">\n<metadata xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\n"
                                 "<dc:identifier id=\"bookid\">%2</dc:identifier>\n<dc:title>%3</dc:title>\n")
                      .arg(lang, uid, xmlText(meta.title));
    if (!meta.author.isEmpty()) {
        opf += QStringLiteral("<dc:creator>%1</dc:creator>\n").arg(xmlText(meta.author));
    }
    if (!meta.description.isEmpty()) {
        opf += QStringLiteral("<dc:description>%1</dc:description>\n").arg(xmlText(meta.description));
    }
    if (meta.seriesPosition > 0) {
        // The set as a series, for readers' libraries: EPUB 3's collection, and the older
        // calibre keys that many libraries still read.
        opf += QStringLiteral("<meta property=\"belongs-to-collection\" id=\"series\">%1</meta>\n"
                              "<meta refines=\"#series\" property=\"collection-type\">series</meta>\n"
                              "<meta refines=\"#series\" property=\"group-position\">%2</meta>\n"
                              "<meta name=\"calibre:series\" content=\"%1\"/>\n"
                              "<meta name=\"calibre:series_index\" content=\"%2\"/>\n")
                   .arg(xmlText(meta.series))
                   .arg(meta.seriesPosition);
    }
    // What a reader needs to know before choosing the book: text throughout, navigable, no
    // hazards; the cover is the one picture and the title says what it shows.
    opf += QStringLiteral("<meta property=\"schema:accessMode\">textual</meta>\n"
                          "<meta property=\"schema:accessMode\">visual</meta>\n"
                          "<meta property=\"schema:accessModeSufficient\">textual</meta>\n"
                          "<meta property=\"schema:accessibilityFeature\">structuralNavigation</meta>\n"
                          "<meta property=\"schema:accessibilityFeature\">tableOfContents</meta>\n"
                          "<meta property=\"schema:accessibilityFeature\">readingOrder</meta>\n"
                          "<meta property=\"schema:accessibilityHazard\">none</meta>\n"
                          "<meta property=\"schema:accessibilitySummary\">%1</meta>\n")
               .arg(meta.isTraditional()
                        ? QStringLiteral(u"純文字小說：每章一頁，標題為章節標題，附目錄；封面圖片僅顯示書名與作者。")
                        : QStringLiteral(u"纯文字小说：每章一页，标题为章节标题，附目录；封面图片仅显示书名与作者。"));
    opf += QStringLiteral("<dc:language>%1</dc:language>\n<meta property=\"dcterms:modified\">%2</meta>\n"
                          "<meta name=\"cover\" content=\"cover-image\"/>\n%5</metadata>\n<manifest>\n"
                          "<item id=\"nav\" href=\"nav.xhtml\" media-type=\"application/xhtml+xml\" properties=\"nav\"/>\n"
                          "<item id=\"ncx\" href=\"toc.ncx\" media-type=\"application/x-dtbncx+xml\"/>\n"
                          "<item id=\"css\" href=\"style.css\" media-type=\"text/css\"/>\n"
                          "<item id=\"cover-image\" href=\"images/cover.%3\" media-type=\"%4\" properties=\"cover-image\"/>\n"
                          "<item id=\"cover\" href=\"cover.xhtml\" media-type=\"application/xhtml+xml\" properties=\"svg\"/>\n")
               .arg(lang, meta.modified.toString(Qt::ISODate), cover.extension, cover.mediaType,
                    // Kindle's converters read the writing mode from here, not from the stylesheet.
                    layout.vertical ? QStringLiteral("<meta name=\"primary-writing-mode\" content=\"vertical-rl\"/>\n")
                                    : QString());
    for (const BookOutline::Page& p : outline.spine()) {
        opf += QStringLiteral("<item id=\"%1\" href=\"%2\" media-type=\"application/xhtml+xml\"/>\n").arg(p.id, pageHref(p.id));
    }
    // The contents come after the front matter, before the text.
    opf += layout.vertical ? QLatin1String("</manifest>\n<spine toc=\"ncx\" page-progression-direction=\"rtl\">\n")
                           : QLatin1String("</manifest>\n<spine toc=\"ncx\">\n");
    opf += QLatin1String("<itemref idref=\"cover\"/>\n");
    const QLatin1String navRef = layout.contentsInOrder ? QLatin1String("<itemref idref=\"nav\"/>\n")
                                                        : QLatin1String("<itemref idref=\"nav\" linear=\"no\"/>\n");
    bool navDone = false;
    for (const BookOutline::Page& p : outline.spine()) {
        if (!navDone && p.kind != BookOutline::Front) {
            opf += navRef;
            navDone = true;
        }
        opf += QStringLiteral("<itemref idref=\"%1\"/>\n").arg(p.id);
    }
    if (!navDone) {
        opf += navRef;
    }
    opf += QLatin1String("</spine>\n");
    // For readers that know only EPUB 2: where the cover, the contents and the text start.
    opf += QStringLiteral("<guide>\n<reference type=\"cover\" title=\"%1\" href=\"cover.xhtml\"/>\n"
                          "<reference type=\"toc\" title=\"%2\" href=\"nav.xhtml\"/>\n")
               .arg(bookLabel(BookLabel::Cover, meta), bookLabel(BookLabel::Contents, meta));
    if (const QString first = outline.firstChapterPage(); !first.isEmpty()) {
        opf += QStringLiteral("<reference type=\"text\" title=\"%1\" href=\"%2\"/>\n")
                   .arg(bookLabel(BookLabel::Text, meta), pageHref(first));
    }
    opf += QLatin1String("</guide>\n</package>\n");
    return opf;
}
