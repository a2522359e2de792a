#pragma once

#include <QByteArray>
#include <QString>

class BookOutline;
struct BookMeta;
struct CoverImage;

/// Where the package document lies in the book.
QString packageDocumentPath();

/// META-INF/container.xml: the pointer to the package document.
QByteArray containerDocument();

/// The package document (content.opf): the metadata, the manifest of every file of the book
/// and the spine (the cover, the front matter, the contents, then the text pages).
QString packageDocument(const BookOutline& outline, const BookMeta& meta, const QString& uid, const CoverImage& cover);
