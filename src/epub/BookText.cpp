#include "BookText.h"

#include "config/Settings.h"
#include "core/Document.h"

namespace {

enum ErrorNumber { PastEnd = 62, PathFile = 75 };

bool isIndent(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\u3000' || c == u'\u00A0';
}

} // namespace

QStringView trimmedParagraph(QStringView line)
{
    qsizetype start = 0;
    qsizetype end = line.size();
    while (start < end && isIndent(line[start])) {
        ++start;
    }
    while (end > start && isIndent(line[end - 1])) {
        --end;
    }
    return line.mid(start, end - start);
}

BookText::BookText(Document& doc, const Settings& settings, Report report)
    : m_doc(doc), m_s(settings), m_report(std::move(report)), m_clean(settings, false),
      m_join(settings.Reflow ? doc.Wrap : WrapProfile())
{
}

CleanupLedger BookText::takeLedger()
{
    CleanupLedger ledger = m_clean.takeLedger();
    m_join.tally().addTo(ledger);
    return ledger;
}

bool BookText::start(const QVector<qint64>& titleLines, const QStringList& titles)
{
    if (!m_doc.reader().rewind()) {
        m_report(m_doc.reader().errorString(), PathFile);
        return false;
    }
    m_re.SetFilters(QString(), m_s.TextFilters);
    if (m_clean.isActive()) {
        m_clean.setChapters(titleLines, titles);
    }
    m_lineNo = 0;
    m_readNo = 0;
    if (m_join.isActive()) {
        m_join = ParagraphJoiner(m_doc.Wrap);
        m_headings = HeadingLines(m_doc.headingLines());
    }
    return true;
}

bool BookText::next(QString& text)
{
    if (!m_join.isActive()) {
        if (!readLine(text)) {
            return false;
        }
        m_lineNo = m_readNo;
        clean(text, m_lineNo);
        return true;
    }
    // A paragraph is known to end only when the line after it is read: that line stays held.
    for (;;) {
        if (m_readNo >= m_doc.LineCount) {
            if (m_join.finish(m_paragraph)) {
                break;
            }
            return readLine(m_line); // reports the novel as shorter
        }
        if (!readLine(m_line)) {
            return false;
        }
        if (m_join.push(m_line, m_readNo, m_headings.contains(m_readNo), m_paragraph)) {
            break;
        }
    }
    m_lineNo = m_paragraph.line + m_paragraph.lines - 1;
    text.swap(m_paragraph.text);
    clean(text, m_paragraph.line);
    return true;
}

void BookText::clean(QString& text, qint64 lineNo)
{
    m_clean.filter(text, lineNo);
    m_dropped = m_clean.isActive() && m_clean.apply(text, lineNo) == Cleaner::Dropped;
}

// One line of the novel, decoded, its bytes counted into the digest.
bool BookText::readLine(QString& text)
{
    QByteArrayView line, terminator;
    LineReader& reader = m_doc.reader();
    const LineReader::Result r = reader.next(line, terminator);
    if (r != LineReader::Line) {
        m_report(r == LineReader::Error ? reader.errorString()
                                        : QStringLiteral(u"文件在打开后被改短了：只读到 %1 行，应有 %2 行。请重新打开文件。")
                                              .arg(reader.lineNumber())
                                              .arg(m_doc.LineCount),
                 r == LineReader::Error ? PathFile : PastEnd);
        return false;
    }
    ++m_readNo;
    if (terminator.data() == line.data() + line.size()) {
        m_hash.addData(QByteArrayView(line.data(), line.size() + terminator.size()));
    } else {
        m_hash.addData(line);
        m_hash.addData(terminator);
    }
    m_doc.codec().decode(line.data(), line.size(), text);
    return true;
}

bool BookText::isBlank(const QString& text) const
{
    return m_re.IsSpaceLine(text) || trimmedParagraph(text).isEmpty();
}
