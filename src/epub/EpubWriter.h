#pragma once

#include "epub/BookPages.h"
#include "epub/BookWriter.h"
#include "epub/ZipContainer.h"

/// One book of a set as EPUB 3: the zip with its fixed files (container, stylesheet, cover),
/// the pages, the contents (nav and NCX) and the package document.
class EpubWriter : public BookWriter, private PageSink {
public:
    explicit EpubWriter(const BookSource& src);

    bool open(const QString& target, const QDateTime& stamp) override;
    bool writeFront(BookOutline& outline) override { return m_pages.writeFront(outline); }
    bool writeSection(int k, BookOutline& outline) override { return m_pages.writeSection(k, outline); }
    bool finish(const BookOutline& outline, const BookMeta& meta, const QString& uid) override;
    QString errorText() const override { return m_zip.errorText(); }

private:
    QByteArray pageOpening(const QString& id, const QString& title, Kind kind) override;
    bool addPage(const QString& id, QByteArray page) override;

    BookSource m_src;
    ZipContainer m_zip;
    PageWriter m_pages;
};
