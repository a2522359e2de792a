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
    : m_doc(doc), m_s(settings), m_report(std::move(report)), m_clean(settings, false)
{
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
    return true;
}

bool BookText::next(QString& text)
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
    ++m_lineNo;
    m_hash.addData(line);
    m_hash.addData(terminator);
    m_doc.codec().decode(line.data(), line.size(), text);
    m_clean.filter(text, m_lineNo);
    m_dropped = m_clean.isActive() && m_clean.apply(text, m_lineNo) == Cleaner::Dropped;
    return true;
}

bool BookText::isBlank(const QString& text) const
{
    return m_re.IsSpaceLine(text) || trimmedParagraph(text).isEmpty();
}
