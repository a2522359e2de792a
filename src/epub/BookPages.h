#pragma once

#include <QByteArray>
#include <QString>

class BookModel;
class BookOutline;
class BookText;
class Document;
class ZipContainer;
struct CoverImage;
struct Settings;

/// The stylesheet every page links to ("style.css" beside the package document).
QByteArray pageStyleSheet();
/// Where page `id` lies, relative to the package document: "text/c00001.xhtml".
QString pageHref(const QString& id);
/// An XHTML page up to its body: the title (escaped here), the language, the stylesheet.
QString xhtmlHead(const QString& title, const QString& lang, const QString& css);
/// The cover page: the image, scaled to the screen at its own proportions.
QString coverPage(const CoverImage& cover, const QString& lang);

/// Writes a book's text pages as XHTML from the novel's lines: the front matter, and a page
/// per section (a chapter, or a volume's heading with the text after it), each with its
/// heading; blank lines as DelSpaceLine says, conversion as the model says. Each page goes to
/// the container in pieces, so that a long chapter is never held whole, and takes its place
/// in the book's outline.
class PageWriter {
public:
    /// `replaced` counts the bytes that were not text, each now U+FFFD.
    PageWriter(Document& doc, const Settings& settings, const BookModel& model, BookText& text, ZipContainer& zip,
               qint64* replaced);

    /// The front matter (the lines before the first section), when it holds any text: a page
    /// named 简介 or 前言 after its first words. False when reading or writing failed.
    bool writeFront(BookOutline& outline);
    /// Section `k` of the model, its first line being the next to read.
    bool writeSection(int k, BookOutline& outline);

private:
    Document& m_doc;
    const Settings& m_s;
    const BookModel& m_model;
    BookText& m_text;
    ZipContainer& m_zip;
    qint64* m_replaced;
};
