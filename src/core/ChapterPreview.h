#pragma once

#include <QList>
#include <QPair>
#include <QString>

class TextCodec;
class cRegExp;

/// One line of a chapter preview, with what the output pass would do to it.
struct PreviewLine {
    QString text;                     ///< the line as decoded
    QList<QPair<int, int>> filtered;  ///< (start, length) of filter strings that would be removed
    bool dropped = false;             ///< blank: DelSpaceLine would leave it out
};

struct ChapterPreview {
    QList<PreviewLine> lines;
    bool cut = false;   ///< more lines follow than were read
    QString error;      ///< why the text could not be read; empty on success
};

/// Reads one chapter straight from the file: from the title line at byte `offset` up to
/// `endOffset` (the next title, or -1 for the end of the file), at most `maxLines` lines.
/// Costs one seek and a short read, whatever the size of the file.
ChapterPreview readChapterPreview(const QString& path, qint64 offset, qint64 endOffset, const TextCodec& codec,
                                  const cRegExp& filters, bool delSpaceLine, int maxLines = 200);
