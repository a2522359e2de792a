#include "EpubWriter.h"

#include "epub/BookContents.h"
#include "epub/BookModel.h"
#include "epub/Cover.h"
#include "epub/PackageDocument.h"

EpubWriter::EpubWriter(const BookSource& src)
    : m_src(src), m_pages(src.doc, src.settings, src.model, src.text, *this, src.replaced)
{
}

bool EpubWriter::open(const QString& target, const QDateTime& stamp)
{
    const CoverImage& cover = m_src.cover;
    return m_zip.open(target, stamp)
           && m_zip.add(QStringLiteral("mimetype"), QByteArrayLiteral("application/epub+zip"), ZipContainer::Stored)
           && m_zip.add(QStringLiteral("META-INF/container.xml"), containerDocument())
           && m_zip.add(QStringLiteral("OEBPS/style.css"), pageStyleSheet(m_src.vertical))
           // Images are packed already: storing them costs nothing.
           && m_zip.add(QStringLiteral("OEBPS/images/cover.") + cover.extension, cover.bytes, ZipContainer::Stored)
           && m_zip.add(QStringLiteral("OEBPS/cover.xhtml"), coverPage(cover, m_src.model.meta().language).toUtf8());
}

QByteArray EpubWriter::pageOpening(const QString&, const QString& title, Kind kind)
{
    static const char* const Sections[] = {
        "<body>\n<section epub:type=\"preface\">\n",
        "<body>\n<section epub:type=\"introduction\">\n",
        "<body>\n<section class=\"volume\" epub:type=\"part\">\n",
        "<body>\n<section epub:type=\"chapter\">\n",
    };
    return xhtmlHead(title, m_src.model.meta().language, QStringLiteral("../style.css")).toUtf8() + Sections[kind];
}

bool EpubWriter::addPage(const QString& id, QByteArray page)
{
    page += "</section>\n</body>\n</html>\n";
    return m_zip.add(QStringLiteral("OEBPS/") + pageHref(id), std::move(page));
}

// The contents and the package document, once the pages are in.
bool EpubWriter::finish(const BookOutline& outline, const BookMeta& meta, const QString& uid)
{
    QByteArray nav = navDocument(outline, meta).toUtf8();
    // A contents page longer than a page would be turned through for minutes: it is reached
    // from the reader's contents menu instead.
    SpineLayout layout;
    layout.vertical = m_src.vertical;
    layout.contentsInOrder = nav.size() <= PageLimit;
    return m_zip.add(QStringLiteral("OEBPS/nav.xhtml"), std::move(nav))
           && m_zip.add(QStringLiteral("OEBPS/toc.ncx"), ncxDocument(outline, meta, uid).toUtf8())
           && m_zip.add(packageDocumentPath(), packageDocument(outline, meta, uid, m_src.cover, layout).toUtf8())
           && m_zip.finish();
}
