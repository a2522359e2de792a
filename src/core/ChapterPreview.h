#pragma once

#include <QList>
#include <QPair>
#include <QString>

class TextCodec;
class cRegExp;
struct WrapProfile;

/// One line of a chapter preview, with what the output pass would do to it.
struct PreviewLine {
    QString text;                     ///< the line as decoded
    QList<QPair<int, int>> filtered;  ///< (start, length) of filter strings that would be removed
    bool dropped = false;             ///< blank: DelSpaceLine would leave it out
    int lines = 1;                    ///< lines of the novel it was joined from (重新分段)
};

struct ChapterPreview {
    QList<PreviewLine> lines;
    bool cut = false;   ///< more lines follow than were read
    QString error;      ///< why the text could not be read; empty on success
};

/// Reads one chapter straight from the file: from the title line at byte `offset` up to
/// `endOffset` (the next title, or -1 for the end of the file), at most `maxLines` lines.
/// Costs one seek and a short read, whatever the size of the file. With `wrap` (重新分段 on a
/// hard-wrapped novel) the lines are joined into paragraphs as output joins them, the title
/// line kept apart, and `maxLines` counts paragraphs.
ChapterPreview readChapterPreview(const QString& path, qint64 offset, qint64 endOffset, const TextCodec& codec,
                                  const cRegExp& filters, bool delSpaceLine, int maxLines = 200,
                                  const WrapProfile* wrap = nullptr);
