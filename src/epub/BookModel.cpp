#include "BookModel.h"

#include "config/Settings.h"
#include "core/Document.h"
#include "core/ScriptConverter.h"
#include "epub/BookXml.h"
#include "output/OutputNames.h"

#include <QFileInfo>

#include <algorithm>

BookModel BookModel::fromDocument(Document& doc, const Settings& settings, const Choices& choices)
{
    BookModel m;
    m.m_doc = &doc;
    const ChapterModel& model = doc.model();
    for (int row = 0; row < model.rowCount(); ++row) {
        if (!model.isChecked(row)) {
            m.m_chapters.append({model.chapline().at(model.tag(row)), model.tag(row)});
        }
    }
    std::sort(m.m_chapters.begin(), m.m_chapters.end(),
              [](const BookChapter& a, const BookChapter& b) { return a.start < b.start; });
    if (m.m_chapters.isEmpty()) {
        return m;
    }
    m.m_meta = proposedBookMeta(doc);
    if (settings.ConvertToSimple) {
        // Conversion runs only on a novel written in traditional script (see the text pass).
        m.m_script = sampleNovelScript(doc.FilePath, doc.codec(), doc.bomLength());
        m.m_convert = m.m_script == NovelScript::Traditional;
    }
    if (m.m_convert) {
        // A converted book reads as simplified throughout, its title and author too.
        m.m_meta.title = simplifiedLine(m.m_meta.title);
        m.m_meta.author = simplifiedLine(m.m_meta.author);
        m.m_meta.description = simplifiedLine(m.m_meta.description);
        m.m_meta.language = QStringLiteral("zh-CN");
    }
    if (!choices.title.trimmed().isEmpty()) {
        m.m_meta.title = choices.title.trimmed();
    }
    if (!choices.author.trimmed().isEmpty()) {
        m.m_meta.author = choices.author.trimmed();
    }
    m.planBooks(choices);
    m.planSections();
    return m;
}

int BookModel::firstChapter(int b) const
{
    return m_bookStarts.at(b);
}

int BookModel::lastChapter(int b) const
{
    return (b + 1 < m_bookStarts.size() ? m_bookStarts.at(b + 1) : int(m_chapters.size())) - 1;
}

int BookModel::bookOf(int chapter) const
{
    return int(std::upper_bound(m_bookStarts.cbegin(), m_bookStarts.cend(), chapter) - m_bookStarts.cbegin()) - 1;
}

BookMeta BookModel::partMeta(int b) const
{
    BookMeta meta = m_meta;
    if (bookCount() > 1) {
        meta.series = m_meta.title;
        meta.seriesPosition = b + 1;
        meta.title = QStringLiteral("%1 (%2-%3)").arg(m_meta.title).arg(firstChapter(b) + 1).arg(lastChapter(b) + 1);
    }
    return meta;
}

qint64 estimatedBookBytes(qint64 novelBytes, const TextCodec& codec, bool palmDoc)
{
    // Chinese text grows by half from two bytes a character to UTF-8's three, and deflate
    // leaves about half of that; 0.9 of the novel's two-byte size stays on the safe side.
    // PalmDOC leaves about 0.7 of UTF-8 (1.05 to 1.1 of the two-byte size): 1.25 and 0.85.
    const bool utf8 = codec.id() == TextCodec::Utf8;
    if (palmDoc) {
        return utf8 ? novelBytes * 85 / 100 : novelBytes * 125 / 100;
    }
    return utf8 ? novelBytes * 6 / 10 : novelBytes * 9 / 10;
}

// Books of ChapsInBook chapters, each ended early where the next chapter would take it past
// the size limit. The front matter, the cover and the book's fixed files count in the size.
void BookModel::planBooks(const Choices& choices)
{
    constexpr qint64 FixedBytes = 256 * 1024;
    const qint64 n = m_chapters.size();
    const qint64 per = choices.chapsInBook > 0 ? choices.chapsInBook : n;
    const qint64 fileEnd = QFileInfo(m_doc->FilePath).size();
    const QVector<qint64>& offsets = m_doc->TitleOffsets;
    const auto offsetOf = [&](int i) { return i < n ? offsets.value(m_chapters[i].record, fileEnd) : fileEnd; };
    m_bookStarts = {0};
    m_bookBytes = {FixedBytes + estimatedBookBytes(offsetOf(0), m_doc->codec(), choices.palmDoc)};
    qint64 inBook = 0;
    for (int i = 0; i < n; ++i) {
        const qint64 bytes =
            estimatedBookBytes(std::max<qint64>(0, offsetOf(i + 1) - offsetOf(i)), m_doc->codec(), choices.palmDoc);
        if (inBook > 0 && (inBook >= per || (choices.maxBookBytes > 0 && m_bookBytes.last() + bytes > choices.maxBookBytes))) {
            m_bookStarts << i;
            m_bookBytes << FixedBytes;
            inBook = 0;
        }
        m_bookBytes.last() += bytes;
        ++inBook;
    }
}

QString BookModel::volumeTitle(int volume) const
{
    const QString& title = m_doc->model().volumes().at(volume).title;
    return xmlSafe(m_convert ? simplifiedLine(title) : title, &m_doc->codec());
}

QString BookModel::chapterHeading(int volume, const QString& heading) const
{
    const Volume& v = m_doc->model().volumes().at(volume);
    QString word = v.title.endsWith(v.name) ? v.title.left(v.title.size() - v.name.size()).trimmed() : QString();
    word = xmlSafe(m_convert ? simplifiedLine(word) : word, &m_doc->codec());
    return withoutVolumePrefix(heading, volumeTitle(volume), word);
}

QString withoutVolumePrefix(const QString& heading, const QString& volumeTitle, const QString& volumeWord)
{
    const auto isSeparator = [](QChar c) {
        return c.isSpace() || c == u'\u3000' || c == u':' || c == u'：' || c == u'、' || c == u'·' || c == u'—'
               || c == u'-' || c == u'】';
    };
    for (const QString& prefix : {volumeTitle, volumeWord}) {
        if (prefix.isEmpty() || !heading.startsWith(prefix) || heading.size() == prefix.size()) {
            continue;
        }
        // "上卷之战" is no volume word: a separator or the chapter's own 第 must follow.
        const QChar next = heading.at(prefix.size());
        if (!isSeparator(next) && next != u'第') {
            continue;
        }
        qsizetype at = prefix.size();
        while (at < heading.size() && isSeparator(heading.at(at))) {
            ++at;
        }
        if (at < heading.size()) {
            return heading.mid(at);
        }
    }
    return heading;
}

// The pages in file order, each in its book: a chapter by its place among the kept chapters, a
// volume's page with the chapter that follows it (the last book when none does).
void BookModel::planSections()
{
    m_sections.clear();
    for (int i = 0; i < m_chapters.size(); ++i) {
        m_sections.append({m_chapters[i].start, i, -1, bookOf(i)});
    }
    const VolumeList& volumes = m_doc->model().volumes();
    for (int v = 0; v < volumes.size(); ++v) {
        m_sections.append({volumes.at(v).line, -1, v, 0});
    }
    std::stable_sort(m_sections.begin(), m_sections.end(), [](const BookSection& a, const BookSection& b) {
        return a.start != b.start ? a.start < b.start : a.volume > b.volume; // a volume before its chapter
    });
    int book = m_chapters.isEmpty() ? 0 : bookOf(int(m_chapters.size()) - 1);
    for (int k = int(m_sections.size()) - 1; k >= 0; --k) {
        if (m_sections[k].chapter >= 0) {
            book = m_sections[k].book;
        } else {
            m_sections[k].book = book;
        }
    }
}

QString frontPageId()
{
    return QStringLiteral("front");
}

QString volumePageId(int volume)
{
    return QStringLiteral("v%1").arg(volume + 1, 3, 10, QLatin1Char('0'));
}

QString chapterPageId(int chapter)
{
    return QStringLiteral("c%1").arg(chapter + 1, 5, 10, QLatin1Char('0'));
}

void BookOutline::addFront(const QString& label)
{
    m_spine.append({frontPageId(), Front});
    m_contents.append({label, frontPageId(), {}});
}

void BookOutline::addVolume(int volume, const QString& label)
{
    const QString id = volumePageId(volume);
    m_spine.append({id, Volume});
    m_volumeEntries.insert(volume, m_contents.size());
    m_contents.append({label, id, {}});
}

void BookOutline::addContinued(const QString& id)
{
    m_spine.append({id, m_spine.isEmpty() ? Chapter : m_spine.last().kind});
}

void BookOutline::addChapter(int chapter, int volume, const QString& label, const QString& volumeLabel)
{
    const QString id = chapterPageId(chapter);
    m_spine.append({id, Chapter});
    if (volume < 0) {
        m_contents.append({label, id, {}});
        return;
    }
    auto at = m_volumeEntries.constFind(volume);
    if (at == m_volumeEntries.cend()) {
        // The volume began in an earlier book: an entry leads to its first chapter here.
        at = m_volumeEntries.insert(volume, m_contents.size());
        m_contents.append({volumeLabel, id, {}});
    }
    m_contents[at.value()].children.append({label, id, {}});
}

bool BookOutline::isNested() const
{
    return std::any_of(m_contents.cbegin(), m_contents.cend(), [](const Entry& e) { return !e.children.isEmpty(); });
}

QString BookOutline::firstChapterPage() const
{
    for (const Page& p : m_spine) {
        if (p.kind == Chapter) {
            return p.id;
        }
    }
    return QString();
}

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
    meta.description = introFromFrontMatter(lines);
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
