#include "Azw3Writer.h"

#include "epub/BookModel.h"
#include "epub/BookXml.h"
#include "epub/Cover.h"

#include <QFileInfo>

namespace {

// How high the thumbnail a reader's list of books shows is.
constexpr int ThumbnailHeight = 330;

QByteArray partHead(const QString& title, const QString& lang)
{
    QString s = QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                               "<html xmlns=\"http://www.w3.org/1999/xhtml\" xml:lang=\"%1\">\n<head>\n"
                               "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\"/>\n<title>")
                    .arg(lang);
    appendXmlText(s, title);
    s += QLatin1String("</title>\n<link rel=\"stylesheet\" type=\"text/css\" href=\"kindle:flow:0001?mime=text/css\"/>\n"
                       "</head>\n<body>\n");
    return s.toUtf8();
}

} // namespace

Azw3Writer::Azw3Writer(const BookSource& src)
    : m_src(src), m_pages(src.doc, src.settings, src.model, src.text, *this, src.replaced)
{
}

QByteArray Azw3Writer::styleSheet(bool vertical)
{
    // The pages' frame is a division rather than a section, for the older KF8 readers.
    QByteArray css = pageStyleSheet(vertical).replace("section.volume", "div.volume");
    if (vertical) {
        css += "html { -webkit-writing-mode: vertical-rl; }\n";
    }
    return css;
}

bool Azw3Writer::open(const QString& target, const QDateTime&)
{
    m_target = target;
    if (!m_text.open(QFileInfo(target).absolutePath())) {
        return false;
    }
    return true;
}

QString Azw3Writer::errorText() const
{
    if (!m_container.errorText().isEmpty()) {
        return m_container.errorText();
    }
    return QStringLiteral(u"无法写入文件: %1（%2）").arg(m_target, m_text.errorString());
}

// The content is kept apart from the frame: the frame goes to the part's skeleton.
QByteArray Azw3Writer::pageOpening(const QString&, const QString& title, Kind kind)
{
    m_title = title;
    m_kind = kind;
    return QByteArray();
}

bool Azw3Writer::addPage(const QString& id, QByteArray page)
{
    static const char* const Classes[] = {"preface", "introduction", "volume", "chapter"};
    const int part = int(m_text.skeletons().size());
    m_continued << m_parts.contains(id.section(u'-', 0, 0));
    m_parts.insert(id, part);
    if (page.isEmpty()) {
        page = "<p class=\"blank\"></p>\n"; // every part has a fragment for the contents to lead to
    }
    // The fragments' selector finds the body's division by its aid; the id is the page's own,
    // which a converter keeps as the contents' target (else it makes one up).
    const QByteArray head = partHead(m_title, m_src.model.meta().language) + "<div class=\"" + Classes[m_kind]
                            + "\" id=\"" + id.toLatin1() + "\" aid=\"" + kf8Aid(part) + "\">";
    return m_text.addPart(head, QByteArrayLiteral("</div>\n</body>\n</html>\n"), page);
}

QList<Kf8NcxEntry> Azw3Writer::ncxEntries(const BookOutline& outline, const Kf8Text& text,
                                          const QHash<QString, int>& parts, const QList<bool>& continued)
{
    auto entry = [&](const BookOutline::Entry& e, int depth, int parent) {
        const int first = parts.value(e.page);
        // The page with the parts it goes on in.
        quint32 length = 0;
        for (int p = first; p < text.skeletons().size() && (p == first || continued.value(p)); ++p) {
            const Kf8Text::Skeleton& part = text.skeletons()[p];
            for (int f = part.firstFragment; f < part.firstFragment + part.fragments; ++f) {
                length += text.fragments()[f].length;
            }
        }
        const Kf8Text::Skeleton& part = text.skeletons()[first];
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

bool Azw3Writer::finish(const BookOutline& outline, const BookMeta& meta, const QString& uid)
{
    if (!m_text.finish(styleSheet(m_src.vertical))) {
        return false;
    }
    const Kf8Meta kf8{meta.title, meta.author, meta.language, uid, meta.modified, meta.description, m_src.vertical};
    return m_container.write(m_target, m_text, ncxEntries(outline, m_text, m_parts, m_continued), m_src.cover.bytes,
                             coverThumbnail(m_src.cover.bytes, ThumbnailHeight), kf8);
}
