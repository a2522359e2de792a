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

/// How the spine runs: pages turned from right to left for a vertical book; the contents page
/// in the reading order, or only reached through links (a long one).
struct SpineLayout {
    bool vertical = false;
    bool contentsInOrder = true;
};

/// The package document (content.opf): the metadata, the manifest of every file of the book
/// and the spine (the cover, the front matter, the contents, then the text pages).
QString packageDocument(const BookOutline& outline, const BookMeta& meta, const QString& uid, const CoverImage& cover,
                        const SpineLayout& layout = {});
