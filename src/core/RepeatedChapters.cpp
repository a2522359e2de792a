#include "RepeatedChapters.h"

#include "core/Document.h"

#include <QCryptographicHash>
#include <QHash>

#include <algorithm>

QVector<qint32> findRepeatedChapters(Document& doc)
{
    constexpr qsizetype MinBody = 20;
    const ChapterModel& model = doc.model();
    QVector<qint32> sameAs(model.recordCount(), 0);
    QList<QPair<qint32, int>> kept; // title line, record
    for (int row = 0; row < model.rowCount(); ++row) {
        if (!model.isChecked(row)) {
            kept.append({model.chapline().at(model.tag(row)), model.tag(row)});
        }
    }
    std::sort(kept.begin(), kept.end());
    LineReader& reader = doc.reader();
    if (kept.size() < 2 || !reader.rewind()) {
        return sameAs;
    }
    QHash<QByteArray, qint32> firstWith; // body hash -> title line
    QCryptographicHash hash(QCryptographicHash::Sha1);
    QByteArrayView line, terminator;
    QString text;
    qint64 lineNo = 0;
    int current = -1;
    qsizetype bodySize = 0;
    auto finish = [&] {
        // Short bodies ("正文", "待续") are alike by chance, not scraped twice.
        if (current >= 0 && bodySize >= MinBody) {
            const QByteArray h = hash.result();
            const auto it = firstWith.constFind(h);
            if (it == firstWith.cend()) {
                firstWith.insert(h, kept[current].first);
            } else {
                sameAs[kept[current].second] = *it;
            }
        }
        hash.reset();
        bodySize = 0;
    };
    while (reader.next(line, terminator) == LineReader::Line) {
        ++lineNo;
        if (current + 1 < kept.size() && kept[current + 1].first == lineNo) {
            finish();
            ++current;
            continue;
        }
        if (current < 0) {
            continue;
        }
        doc.codec().decode(line.data(), line.size(), text);
        // Re-scraped copies differ in indents and spacing, not in words.
        text.remove(QChar(u' ')).remove(QChar(0x3000)).remove(QChar(u'\t')).remove(QChar(0xA0));
        if (!text.isEmpty()) {
            hash.addData(QByteArrayView(reinterpret_cast<const char*>(text.utf16()), text.size() * 2));
            bodySize += text.size();
        }
    }
    finish();
    reader.rewind();
    return sameAs;
}
