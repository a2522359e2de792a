#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>

class BookModel;
class BookOutline;
class BookText;
class Document;
class TextCodec;
struct CoverImage;
struct Settings;

/// The stylesheet every page links to ("style.css" beside the package document): justified
/// paragraphs indented 2em without a gap, the line height left to the reader; `vertical` sets
/// the text in columns from right to left.
QByteArray pageStyleSheet(bool vertical = false);
/// A page's text beyond about this many bytes goes on in another page, between two
/// paragraphs: readers lay out a page at a time, and slow down or fail on very long ones.
constexpr qsizetype PageLimit = 250 * 1024;

/// The identity of the `part`th page (from 2) that a long page `id` goes on in: "c00001-2".
QString continuedPageId(const QString& id, int part);
/// Where page `id` lies, relative to the package document: "text/c00001.xhtml".
QString pageHref(const QString& id);
/// An XHTML page up to its body: the title (escaped here), the language, the stylesheet.
QString xhtmlHead(const QString& title, const QString& lang, const QString& css);
/// The cover page: the image, scaled to the screen at its own proportions.
QString coverPage(const CoverImage& cover, const QString& lang);

/// Where a page writer's pages go: each format frames a page its own way.
class PageSink {
public:
    enum Kind { Preface, Introduction, Volume, Chapter };
    virtual ~PageSink() = default;
    /// The bytes page `id` starts with, before its heading and paragraphs; asked again, with
    /// the same title, for each page a long page goes on in.
    virtual QByteArray pageOpening(const QString& id, const QString& title, Kind kind) = 0;
    /// Page `id` whole: its opening, then its content, a heading or paragraph a line. False
    /// when the book has failed.
    virtual bool addPage(const QString& id, QByteArray page) = 0;
};

/// Writes a book's text pages as XHTML from the novel's lines: the front matter, and a page
/// per section (a chapter, or a volume's heading with the text after it), each with its
/// heading; blank lines as DelSpaceLine says, conversion as the model says. A page is built as
/// UTF-8 bytes and goes to the sink whole; past PageLimit it goes on in a page of its own, so
/// that a long chapter is never held whole. Each takes its place in the book's outline.
class PageWriter {
public:
    /// `replaced` counts the bytes that were not text, each now U+FFFD.
    PageWriter(Document& doc, const Settings& settings, const BookModel& model, BookText& text, PageSink& sink,
               qint64* replaced);

    /// The front matter (the lines before the first section), when it holds any text: a page
    /// named 简介 or 前言 after its first words. False when reading or writing failed.
    bool writeFront(BookOutline& outline);
    /// Section `k` of the model, its first line being the next to read.
    bool writeSection(int k, BookOutline& outline);

private:
    void startPage(const QString& id, const QString& title, PageSink::Kind kind);
    bool makeRoom();
    bool endPage();
    void addParagraph(QStringView text, const TextCodec* novel = nullptr);

    Document& m_doc;
    const Settings& m_s;
    const BookModel& m_model;
    BookText& m_text;
    PageSink& m_sink;
    qint64* m_replaced;
    // The page being built, and what a page it goes on in repeats.
    QByteArray m_page;
    QString m_id;
    QString m_title;
    PageSink::Kind m_kind = PageSink::Chapter;
    QStringList m_parts; // the pages it went on in
};
