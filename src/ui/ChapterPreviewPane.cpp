#include "ChapterPreviewPane.h"

#include "config/Settings.h"
#include "core/ChapterPreview.h"
#include "core/Document.h"
#include "core/cRegExp.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QTextBlock>
#include <QTextCursor>

#include <algorithm>
#include <memory>

const QString ChapterPreviewPane::DroppedMark = QStringLiteral(u"（空行，输出时删除）");
const QString ChapterPreviewPane::CutMark = QStringLiteral(u"…");

namespace {

// Dimmed, so that what the program adds never reads as the novel's own text.
QTextCharFormat noteFormat(const QPalette& palette)
{
    QTextCharFormat f;
    QColor grey = palette.color(QPalette::Text);
    grey.setAlphaF(0.45);
    f.setForeground(grey);
    f.setFontItalic(true);
    return f;
}

} // namespace

ChapterPreviewPane::ChapterPreviewPane(QWidget* parent) : QPlainTextEdit(parent)
{
    setObjectName(QStringLiteral("txtPreview"));
    setReadOnly(true);
    setUndoRedoEnabled(false);
    setPlaceholderText(QStringLiteral(u"选择一个章节，在这里预览它的正文"));
}

void ChapterPreviewPane::showPreview(const ChapterPreview& preview)
{
    clear();
    m_firstLine = -1;
    m_lineBlocks = preview.error.isEmpty() ? int(preview.lines.size()) : 0;
    QTextCursor c(document());
    const QTextCharFormat plain;
    const QTextCharFormat note = noteFormat(palette());
    QTextCharFormat removed;
    removed.setFontStrikeOut(true);
    removed.setForeground(note.foreground());

    if (!preview.error.isEmpty()) {
        QTextCharFormat error;
        error.setForeground(QColor(0xC0, 0x20, 0x20));
        c.insertText(QStringLiteral(u"无法读取章节：") + preview.error, error);
        return;
    }
    bool first = true;
    for (const PreviewLine& line : preview.lines) {
        if (!first) {
            c.insertBlock();
        }
        first = false;
        int at = 0;
        for (const auto& [start, length] : line.filtered) {
            // Spans of different filters may overlap; each character is struck out once.
            const int from = std::max(start, at);
            const int to = std::min(int(line.text.size()), start + length);
            if (to <= from) {
                continue;
            }
            c.insertText(line.text.mid(at, from - at), plain);
            c.insertText(line.text.mid(from, to - from), removed);
            at = to;
        }
        c.insertText(line.text.mid(at), plain);
        if (line.dropped) {
            c.insertText(DroppedMark, note);
        }
    }
    if (preview.cut) {
        if (!first) {
            c.insertBlock();
        }
        c.insertText(CutMark, note);
    }
    moveCursor(QTextCursor::Start);
}

void ChapterPreviewPane::showChapter(const Document& doc, int row, const Settings& settings)
{
    const ChapterModel& model = doc.model();
    const int r = row < 0 ? -1 : model.tag(row);
    if (!doc.isOpen() || r < 0 || r >= doc.TitleOffsets.size()) {
        clear();
        m_firstLine = -1;
        m_lineBlocks = 0;
        return;
    }
    // The chapter runs to the next title that is kept: an ignored title's lines go with it.
    const QVector<bool> ignored = model.ignoredRecords();
    qint64 end = -1;
    for (qsizetype next = r + 1; next < doc.TitleOffsets.size(); ++next) {
        if (next >= ignored.size() || !ignored.at(next)) {
            end = doc.TitleOffsets.at(next);
            break;
        }
    }
    cRegExp filters;
    filters.SetFilters(QString(), settings.TextFilters);
    showPreview(readChapterPreview(doc.FilePath, doc.TitleOffsets.at(r), end, doc.codec(), filters,
                                   settings.DelSpaceLine, 200, settings.Reflow ? &doc.Wrap : nullptr));
    m_firstLine = model.chapline().at(r);
}

qint32 ChapterPreviewPane::novelLine(int block) const
{
    if (m_firstLine < 1 || block < 1 || block >= m_lineBlocks) {
        return -1;
    }
    return m_firstLine + block;
}

void ChapterPreviewPane::contextMenuEvent(QContextMenuEvent* e)
{
    std::unique_ptr<QMenu> menu(createStandardContextMenu(e->pos()));
    const qint32 line = novelLine(cursorForPosition(e->pos()).blockNumber());
    if (m_makeTitle) {
        menu->addSeparator();
        QAction* make = menu->addAction(QStringLiteral(u"设为章节标题(&H)"));
        make->setObjectName(QStringLiteral("mnuP_MakeTitle"));
        make->setEnabled(line > 0);
        connect(make, &QAction::triggered, this, [this, line] { m_makeTitle(line); });
    }
    menu->exec(e->globalPos());
}

bool ChapterPreviewPane::event(QEvent* e)
{
    if (e->type() == QEvent::ShortcutOverride && static_cast<QKeyEvent*>(e)->matches(QKeySequence::SelectAll)) {
        e->accept();
        return true;
    }
    return QPlainTextEdit::event(e);
}
