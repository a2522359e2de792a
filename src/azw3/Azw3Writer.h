#pragma once

#include "azw3/Kf8Container.h"
#include "azw3/Kf8Text.h"
#include "epub/BookWriter.h"

#include <QHash>

/// One book of a set as AZW3 (KF8): the pages of the same model an EPUB is made from, each a
/// part of the text (a skeleton with the page's frame, its content in fragments), the
/// stylesheet as a second flow, the contents as an NCX index where a volume holds its
/// chapters, the cover and a thumbnail of it.
class Azw3Writer : public BookWriter {
public:
    explicit Azw3Writer(const BookSource& src) : m_src(src) {}

    bool open(const QString& target, const QDateTime& stamp) override;
    bool writeFront(BookOutline& outline) override;
    bool writeSection(int k, BookOutline& outline) override;
    bool finish(const BookOutline& outline, const QString& uid) override;
    QString errorText() const override;

    /// The contents in the order a KF8 reader numbers them: each level whole before the next,
    /// children of one entry together, with their parents and children by number. `place`
    /// gives an entry's page as (part, fragment, position, length).
    static QList<Kf8NcxEntry> ncxEntries(const BookOutline& outline, const Kf8Text& text,
                                         const QHash<QString, int>& parts);

private:
    bool beginPart(const QString& id, const QString& title, const QString& kind);
    bool endPart(QString& page);
    bool flush(QString& page, bool force = false);

    BookSource m_src;
    QString m_target;
    QDateTime m_stamp;
    Kf8Text m_text;
    Kf8Container m_container;
    QHash<QString, int> m_parts; // page id -> its part
    QString m_error;
};

/// The cover shrunk for a library's list: a JPEG at most 330 pixels high; empty when the
/// image cannot be read.
QByteArray coverThumbnail(const QByteArray& cover);
