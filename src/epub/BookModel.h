#pragma once

#include "core/ScriptSample.h"
#include "epub/BookMeta.h"

#include <QHash>
#include <QList>
#include <QString>

class Document;
class TextCodec;
struct Settings;

/// A kept chapter: the line of its title and its record in the chapter list.
struct BookChapter {
    qint64 start;
    int record;
};

/// A page's stretch of the novel: a kept chapter, or a volume's heading with the text after it.
struct BookSection {
    qint64 start;     ///< first line
    int chapter = -1; ///< index into the kept chapters
    int volume = -1;  ///< index into the volumes
    int book = 0;     ///< the book of the set it goes to
};

/// The book (or set of books) an analysed novel makes, whatever the format it is written in:
/// its metadata, the kept chapters, the pages in the novel's order, each in its book.
class BookModel {
public:
    /// What the user chose beside the settings: title and author (empty: as detected), chapters
    /// per book (0: one book).
    struct Choices {
        QString title;
        QString author;
        int chapsInBook = 0;
        qint64 maxBookBytes = 0; ///< a book's size limit (0: none); a book holds one chapter at least
        bool palmDoc = false;    ///< the text packed the PalmDOC way (AZW3), which leaves it larger
    };

    /// The model of the analysed novel; empty (no chapters) when no chapter is kept.
    static BookModel fromDocument(Document& doc, const Settings& settings, const Choices& choices);

    bool isEmpty() const { return m_chapters.isEmpty(); }
    const BookMeta& meta() const { return m_meta; }
    /// Whether the text is converted to simplified script: a novel written in traditional
    /// script, with 转换成简体 on.
    bool converts() const { return m_convert; }
    /// What the novel was found to be written in (Unknown when conversion is off).
    NovelScript script() const { return m_script; }
    const QList<BookChapter>& chapters() const { return m_chapters; }
    /// The pages after the front matter, in file order.
    const QList<BookSection>& sections() const { return m_sections; }
    int bookCount() const { return int(m_bookStarts.size()); }
    /// The first and the last chapter (indices into chapters()) of book `b`.
    int firstChapter(int b) const;
    int lastChapter(int b) const;
    /// About how large book `b` will be, from the size of its chapters in the novel.
    qint64 estimatedBytes(int b) const { return m_bookBytes.value(b); }
    /// The metadata of book `b`: for a part of a set, its own title ("书名 (1-50)") and its
    /// place in the set.
    BookMeta partMeta(int b) const;
    /// A volume's heading as the book shows it: converted like the text, every character one
    /// a book can hold.
    QString volumeTitle(int volume) const;
    /// A chapter's heading of volume `volume` as the contents and the page show it: without
    /// the volume's heading or word in front ("上卷 第二回 …" under 上卷 is "第二回 …").
    QString chapterHeading(int volume, const QString& heading) const;

private:
    void planSections();

    Document* m_doc = nullptr;
    BookMeta m_meta;
    NovelScript m_script = NovelScript::Unknown;
    bool m_convert = false;
    QList<BookChapter> m_chapters; // kept chapters in file order
    QList<BookSection> m_sections;
    void planBooks(const Choices& choices);
    int bookOf(int chapter) const;

    QList<int> m_bookStarts;   // the first chapter of each book
    QList<qint64> m_bookBytes; // each book's estimated size
};

/// `heading` without a leading `volumeTitle` ("第一卷 风起") or `volumeWord` ("第一卷") and the
/// separators after it; as it is when neither stands in front as a word of its own, or when
/// nothing would be left.
QString withoutVolumePrefix(const QString& heading, const QString& volumeTitle, const QString& volumeWord);

/// About how many bytes `novelBytes` of a novel in `codec` take in a book (pages as UTF-8,
/// deflated, or PalmDOC-packed when `palmDoc`), on the safe side: what splitting books by size
/// goes by.
qint64 estimatedBookBytes(qint64 novelBytes, const TextCodec& codec, bool palmDoc = false);

/// A page's identity within a book, also the base of its file name: "front", "v001", "c00001".
QString frontPageId();
QString volumePageId(int volume);
QString chapterPageId(int chapter);

/// One book of a set as its pages are written: the pages in reading order (the spine) and
/// the contents, where a volume holds its chapters.
class BookOutline {
public:
    enum Kind { Front, Volume, Chapter };
    struct Page {
        QString id;
        Kind kind;
    };
    struct Entry {
        QString label;
        QString page; ///< the page the entry leads to
        QList<Entry> children;
    };

    /// The front matter's page.
    void addFront(const QString& label);
    /// A volume's page.
    void addVolume(int volume, const QString& label);
    /// A chapter's page, under its volume (-1: none). A volume begun in an earlier book of
    /// the set gets an entry (`volumeLabel`) that leads to its first chapter here.
    void addChapter(int chapter, int volume, const QString& label, const QString& volumeLabel);
    /// A page that the page before goes on in: in the reading order, not in the contents.
    void addContinued(const QString& id);

    const QList<Page>& spine() const { return m_spine; }
    const QList<Entry>& contents() const { return m_contents; }
    /// Whether any entry holds others.
    bool isNested() const;
    /// The first chapter's page; empty when the book has none.
    QString firstChapterPage() const;

private:
    QList<Page> m_spine;
    QList<Entry> m_contents;
    QHash<int, qsizetype> m_volumeEntries; // volume -> its entry in m_contents
};

/// Title and author as the book would get them: from the novel's file name and the lines
/// before its first kept title.
BookMeta proposedBookMeta(Document& doc);
