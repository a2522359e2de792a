#pragma once

#include "azw3/Kf8Container.h"
#include "azw3/Kf8Text.h"
#include "epub/BookPages.h"
#include "epub/BookWriter.h"

#include <QHash>

/// One book of a set as AZW3 (KF8): the pages an EPUB has, from the same page writer, each a
/// part of the text (a skeleton with the page's frame, its content in fragments), the
/// stylesheet as a second flow, the contents as an NCX index where a volume holds its
/// chapters, the cover and a thumbnail of it.
class Azw3Writer : public BookWriter, private PageSink {
public:
    explicit Azw3Writer(const BookSource& src);

    bool open(const QString& target, const QDateTime& stamp) override;
    bool writeFront(BookOutline& outline) override { return m_pages.writeFront(outline); }
    bool writeSection(int k, BookOutline& outline) override { return m_pages.writeSection(k, outline); }
    bool finish(const BookOutline& outline, const BookMeta& meta, const QString& uid) override;
    QString errorText() const override;

    /// The contents in the order a KF8 reader numbers them: each level whole before the next,
    /// children of one entry together, with their parents and children by number. `parts`
    /// gives a page's first part; the parts a long page goes on in follow it.
    static QList<Kf8NcxEntry> ncxEntries(const BookOutline& outline, const Kf8Text& text,
                                         const QHash<QString, int>& parts, const QList<bool>& continued);

    /// The stylesheet the book's pages share, set across or in columns from right to left.
    static QByteArray styleSheet(bool vertical);

private:
    QByteArray pageOpening(const QString& id, const QString& title, Kind kind) override;
    bool addPage(const QString& id, QByteArray page) override;

    BookSource m_src;
    PageWriter m_pages;
    QString m_target;
    Kf8Text m_text;
    Kf8Container m_container;
    QString m_title; // of the page being built
    Kind m_kind = Chapter;
    QHash<QString, int> m_parts; // page id -> its part
    QList<bool> m_continued;     // per part: a long page going on
};
