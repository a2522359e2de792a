#pragma once

#include "config/Settings.h"
#include "core/Cleanup.h"
#include "epub/BookMeta.h"
#include "epub/BookModel.h" // proposedBookMeta, which the window shows before it asks
#include "epub/BookWriter.h"

#include <QString>
#include <QStringList>

class Document;
class PassHost;

/// The formats a book is written in.
enum class BookFormat { Epub, Azw3 };

/// A format's file name extension without the dot: "epub", "azw3".
QString bookExtension(BookFormat format);

/// What the user chose for the book, beside the text settings.
struct EpubOptions {
    QString title;      ///< empty: as detected
    QString author;     ///< empty: as detected
    QString coverPath;  ///< a JPEG or PNG; empty: a cover drawn from the title and author
    int chapsInBook = 0; ///< chapters per book; 0: one book
    bool vertical = false; ///< set vertically, columns and pages from right to left
    int maxBookMB = 0;   ///< a book's size limit in MB (a new book starts before a chapter that would pass it); 0: none
    QString target;     ///< a book file (".epub", ".azw3"), or a folder; empty: the output folder
    BookFormat format = BookFormat::Epub;
};

struct EpubResult {
    enum Kind { Done, Refused, Declined, Cancelled, Stopped, Failed };
    Kind kind = Refused;
    QStringList books;   ///< the books written
    int kept = 0;        ///< existing books kept as the user answered
    int chapters = 0;
    qint64 replaced = 0; ///< bytes that were not text, each now U+FFFD
    CleanupLedger ledger; ///< what cleanup changed and removed, when it was on
};

/// The size a store takes books up to (Send-to-Kindle's limit): a larger book is warned of.
constexpr int KindleBookMB = 50;

/// The file name (without the extension) of a book with this title: the title without the characters
/// a file name cannot hold, cut to 80 characters, without leading dots; the novel's base name
/// when nothing is left.
QString BookFileName(const QString& title, const QString& novelPath);

/// The books RunEpub would write (after the metadata and the cutting into parts), before any
/// question is asked; empty when it would write none.
QStringList plannedBooks(Document& doc, const Settings& settings, const EpubOptions& options, PassHost& host);

/// The folder a book goes to when no target is given: the folder OutPath names (OutputFolder),
/// with a final "/".
QString defaultEpubFolder(const QString& novelPath, const QString& outPath);

/// Writes the analysed novel as EPUB 3: a cover page, the front matter, every kept chapter as
/// one page with its title line as heading, the contents (nav and NCX); filters, blank lines
/// and conversion as in text output. Streams the text: memory does not grow with the novel.
/// Each book is written under a temporary name and renamed into place when complete.
EpubResult RunEpub(Document& doc, const Settings& settings, const EpubOptions& options, PassHost& host);

/// The same pass for any format: plans, asks and reports as RunEpub does, each book written by
/// a writer from `writers`. The text says "EPUB" or "AZW3" after options.format.
EpubResult RunBookPass(Document& doc, const Settings& settings, const EpubOptions& options, PassHost& host,
                       const BookWriterFactory& writers);
