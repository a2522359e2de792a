#pragma once

#include "core/Cleanup.h"
#include "core/Reflow.h"
#include "core/Sha1.h"
#include "core/cRegExp.h"

#include <QString>
#include <QStringView>

#include <functional>

class Document;
struct Settings;

/// The text of a line as a paragraph: indentation and trailing blanks dropped.
QStringView trimmedParagraph(QStringView line);

/// The novel's lines as a book reads them, whatever its format: decoded, with the filter
/// strings and the cleanup applied, every line's bytes counted into the book's identity.
/// With 重新分段 on a hard-wrapped novel, each "line" handed out is a paragraph joined from
/// the novel's lines, and lineNo() is the last line it was made of.
class BookText {
public:
    /// The pass's error report, with the error number.
    using Report = std::function<void(const QString& description, int number)>;

    BookText(Document& doc, const Settings& settings, Report report);

    /// Back to the first line, ready for the kept chapters' titles (line, title as listed);
    /// false when the novel cannot be read (reported).
    bool start(const QVector<qint64>& titleLines, const QStringList& titles);
    /// The next line (or paragraph); false at a read error or when the novel has become
    /// shorter (reported).
    bool next(QString& text);
    /// The last line was removed by cleanup: not even a blank paragraph.
    bool dropped() const { return m_dropped; }
    /// A line of blanks only: what IsSpaceLine says, and a line of tabs or other indentation
    /// too, which a book would otherwise show as an empty paragraph.
    bool isBlank(const QString& text) const;
    /// The number of the last line handed out (0 before the first).
    qint64 lineNo() const { return m_lineNo; }
    /// The digest of every line read so far, terminators included.
    QByteArray digest() const { return m_hash.result(); }
    const CleanupLedger& ledger() const { return m_clean.ledger(); }
    /// The cleanup's ledger with 重新分段's joins counted in.
    CleanupLedger takeLedger();
    /// What 重新分段 did so far.
    const ReflowTally& reflowTally() const { return m_join.tally(); }

private:
    bool readLine(QString& text);
    void clean(QString& text, qint64 lineNo);

    Document& m_doc;
    const Settings& m_s;
    Report m_report;
    cRegExp m_re;
    Cleaner m_clean;
    bool m_dropped = false;
    qint64 m_lineNo = 0;
    qint64 m_readNo = 0; // the last line read, ahead of m_lineNo while a paragraph is held
    ParagraphJoiner m_join;
    HeadingLines m_headings;
    ReflowParagraph m_paragraph;
    QString m_line;
    Sha1 m_hash;
};
