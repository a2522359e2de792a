#include "BookContents.h"

#include "epub/BookMeta.h"
#include "epub/BookModel.h"
#include "epub/BookPages.h"
#include "epub/BookXml.h"

#include <QHash>

namespace {

void appendNav(QString& nav, const QList<BookOutline::Entry>& entries)
{
    for (const BookOutline::Entry& e : entries) {
        nav += QStringLiteral("<li><a href=\"%1\">%2</a>").arg(pageHref(e.page), xmlText(e.label));
        if (e.children.isEmpty()) {
            nav += QLatin1String("</li>\n");
            continue;
        }
        nav += QLatin1String("\n<ol>\n");
        appendNav(nav, e.children);
        nav += QLatin1String("</ol>\n</li>\n");
    }
}

struct NcxPoints {
    explicit NcxPoints(QString& out) : ncx(out) {}

    QString& ncx;
    int number = 0;             // navPoint ids in document order
    int order = 0;              // places in the reading order
    QHash<QString, int> places; // page -> its place

    void append(const QList<BookOutline::Entry>& entries)
    {
        for (const BookOutline::Entry& e : entries) {
            const QString href = pageHref(e.page);
            int place = places.value(href);
            if (place == 0) {
                place = ++order;
                places.insert(href, place);
            }
            ncx += QStringLiteral("<navPoint id=\"np%1\" playOrder=\"%2\"><navLabel><text>%3</text></navLabel>"
                                  "<content src=\"%4\"/>")
                       .arg(++number)
                       .arg(place)
                       .arg(xmlText(e.label), href);
            if (!e.children.isEmpty()) {
                ncx += u'\n';
                append(e.children);
            }
            ncx += QLatin1String("</navPoint>\n");
        }
    }
};

} // namespace

QString navDocument(const BookOutline& outline, const BookMeta& meta)
{
    const QString contents = bookLabel(BookLabel::Contents, meta);
    QString nav = xhtmlHead(contents, meta.language, QStringLiteral("style.css"))
                  + QStringLiteral("<body>\n<nav epub:type=\"toc\" id=\"toc\">\n<h1>%1</h1>\n<ol>\n").arg(contents);
    appendNav(nav, outline.contents());
    nav += QStringLiteral("</ol>\n</nav>\n<nav epub:type=\"landmarks\" id=\"landmarks\" hidden=\"hidden\">\n<h2>%1</h2>\n<ol>\n"
                          "<li><a epub:type=\"cover\" href=\"cover.xhtml\">%2</a></li>\n"
                          "<li><a epub:type=\"toc\" href=\"nav.xhtml#toc\">%3</a></li>\n")
               .arg(bookLabel(BookLabel::Landmarks, meta), bookLabel(BookLabel::Cover, meta), contents);
    if (const QString first = outline.firstChapterPage(); !first.isEmpty()) {
        nav += QStringLiteral("<li><a epub:type=\"bodymatter\" href=\"%1\">%2</a></li>\n")
                   .arg(pageHref(first), bookLabel(BookLabel::Text, meta));
    }
    nav += QLatin1String("</ol>\n</nav>\n</body>\n</html>\n");
    return nav;
}

QString ncxDocument(const BookOutline& outline, const BookMeta& meta, const QString& uid)
{
    QString ncx = QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                                 "<ncx xmlns=\"http://www.daisy.org/z3986/2005/ncx/\" version=\"2005-1\" xml:lang=\"%1\">\n"
                                 "<head>\n<meta name=\"dtb:uid\" content=\"%2\"/>\n<meta name=\"dtb:depth\" content=\"%3\"/>\n"
                                 "<meta name=\"dtb:totalPageCount\" content=\"0\"/>\n<meta name=\"dtb:maxPageNumber\" content=\"0\"/>\n"
                                 "</head>\n<docTitle><text>%4</text></docTitle>\n")
                      .arg(meta.language, uid)
                      .arg(outline.isNested() ? 2 : 1)
                      .arg(xmlText(meta.title));
    if (!meta.author.isEmpty()) {
        ncx += QStringLiteral("<docAuthor><text>%1</text></docAuthor>\n").arg(xmlText(meta.author));
    }
    ncx += QLatin1String("<navMap>\n");
    NcxPoints(ncx).append(outline.contents());
    ncx += QLatin1String("</navMap>\n</ncx>\n");
    return ncx;
}
