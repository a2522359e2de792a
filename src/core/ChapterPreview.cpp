#include "ChapterPreview.h"

#include "core/Reflow.h"
#include "core/TextCodec.h"
#include "core/cRegExp.h"

#include <QFile>

namespace {

// Where the filters would cut the line, found on the line as it stands (the real pass removes
// them one after the other, which can rarely join new text; a preview shows the plain cases).
QList<QPair<int, int>> filterSpans(const QString& text, const cRegExp& re)
{
    QList<QPair<int, int>> spans;
    for (const QString& f : re.filters()) {
        if (f.isEmpty()) {
            continue;
        }
        for (qsizetype at = text.indexOf(f); at >= 0; at = text.indexOf(f, at + f.size())) {
            spans.append({int(at), int(f.size())});
        }
    }
    std::sort(spans.begin(), spans.end());
    return spans;
}

} // namespace

ChapterPreview readChapterPreview(const QString& path, qint64 offset, qint64 endOffset, const TextCodec& codec,
                                  const cRegExp& filters, bool delSpaceLine, int maxLines, const WrapProfile* wrap)
{
    ChapterPreview preview;
    ParagraphJoiner join(wrap ? *wrap : WrapProfile());
    ReflowParagraph paragraph;
    qint64 lineNo = 0;
    QString text;
    const auto add = [&] {
        PreviewLine line;
        line.text.swap(paragraph.text);
        line.lines = paragraph.lines;
        line.filtered = filterSpans(line.text, filters);
        QString rest = line.text;
        filters.FilterString(rest);
        line.dropped = delSpaceLine && filters.IsSpaceLine(rest);
        preview.lines.append(line);
    };
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly) || !f.seek(offset)) {
        preview.error = f.errorString();
        return preview;
    }
    const qint64 end = endOffset < 0 ? f.size() : endOffset;
    QByteArray pending;
    qint64 pos = offset;
    const qint64 chunk = 64 * 1024;
    bool eof = false;
    while (preview.lines.size() < maxLines) {
        // Find the next line end in what has been read, reading more when needed.
        qsizetype k = -1;
        for (qsizetype i = 0; i < pending.size(); ++i) {
            if (pending[i] == '\n' || pending[i] == '\r') {
                k = i;
                break;
            }
        }
        if ((k < 0 || (pending[k] == '\r' && k + 1 == pending.size())) && !eof) {
            const qint64 want = std::min(chunk, end - pos);
            if (want <= 0) {
                eof = true;
                continue;
            }
            const QByteArray more = f.read(want);
            if (more.isEmpty()) {
                eof = true;
            }
            pos += more.size();
            pending += more;
            continue;
        }
        if (k < 0 && pending.isEmpty()) {
            break;
        }
        const QByteArray bytes = k < 0 ? pending : pending.left(k);
        const qsizetype used = k < 0 ? pending.size()
                                     : k + ((pending[k] == '\r' && k + 1 < pending.size() && pending[k + 1] == '\n') ? 2 : 1);
        pending.remove(0, used);
        codec.decode(bytes.constData(), bytes.size(), text);
        ++lineNo;
        if (join.push(text, lineNo, lineNo == 1, paragraph)) {
            add();
        }
    }
    const bool more = !pending.isEmpty() || (pos < end && !eof);
    if (join.finish(paragraph) && (!more || preview.lines.size() < maxLines)) {
        add(); // when more follows, the paragraph may go on: shown only while there is room
    }
    preview.cut = more;
    return preview;
}
