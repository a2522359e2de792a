#pragma once

#include <QDateTime>
#include <QString>

#include <functional>
#include <memory>

class BookModel;
class BookOutline;
class BookText;
class Document;
struct BookMeta;
struct CoverImage;
struct Settings;

/// What the pass hands every format's writer: the novel, the book's model, the text as a book
/// reads it, the cover of the book being written and how it is set.
struct BookSource {
    Document& doc;
    const Settings& settings;
    const BookModel& model;
    BookText& text;
    const CoverImage& cover;
    qint64* replaced; ///< bytes that were not text, each now U+FFFD
    bool vertical;    ///< columns and pages from right to left
};

/// One book of a set in one format. The pass opens it, hands it the pages in reading order (it
/// reads past the lines of other books itself), then the book's identity; the book is whole
/// under its name after finish, or not there.
class BookWriter {
public:
    virtual ~BookWriter() = default;
    virtual bool open(const QString& target, const QDateTime& stamp) = 0;
    /// The front matter's page, when it holds any text.
    virtual bool writeFront(BookOutline& outline) = 0;
    /// Section `k` of the model, its first line being the next to read.
    virtual bool writeSection(int k, BookOutline& outline) = 0;
    /// The contents and what follows the pages; `meta` is the book's own (a part's title and
    /// place in its set), `uid` its identifier ("urn:uuid:…").
    virtual bool finish(const BookOutline& outline, const BookMeta& meta, const QString& uid) = 0;
    /// Why a step failed, naming the target.
    virtual QString errorText() const = 0;
};

using BookWriterFactory = std::function<std::unique_ptr<BookWriter>(const BookSource&)>;
