#pragma once

#include <QString>

class BookOutline;
struct BookMeta;

/// The navigation document (nav.xhtml): the contents, volumes holding their chapters, and the
/// landmarks (cover, contents, the first chapter).
QString navDocument(const BookOutline& outline, const BookMeta& meta);

/// The same contents as an NCX (toc.ncx) for older readers; entries that lead to one page
/// share its place in the reading order. `uid` is the book's identifier.
QString ncxDocument(const BookOutline& outline, const BookMeta& meta, const QString& uid);
