#pragma once

#include <QPlainTextEdit>

#include <functional>

struct ChapterPreview;
struct Settings;
class Document;

/// The selected chapter as the output will hold it, read-only: filter strings struck out and
/// dimmed, blank lines that the output leaves out marked, a "…" line when the chapter goes on.
/// One block per line of the chapter, so that line n of the chapter is block n.
class ChapterPreviewPane : public QPlainTextEdit {
public:
    explicit ChapterPreviewPane(QWidget* parent = nullptr);

    void showPreview(const ChapterPreview& preview);
    /// Shows the chapter of list row `row` (none when -1) as the output would hold it, read
    /// from the open file: up to the next title that is kept.
    void showChapter(const Document& doc, int row, const Settings& settings);
    /// Line `block` of the pane as a line of the novel (1-based); -1 for the title line itself,
    /// the "…" line and a pane showing no chapter.
    qint32 novelLine(int block) const;
    /// What "设为章节标题" in the pane's right-click menu does with the novel line under the mouse.
    void setMakeTitle(std::function<void(qint32 line)> makeTitle) { m_makeTitle = std::move(makeTitle); }

protected:
    /// The window's shortcuts do not take the pane's own editing keys (Ctrl+A selects its text).
    bool event(QEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;

private:
    std::function<void(qint32)> m_makeTitle;
    qint32 m_firstLine = -1; // the novel line of block 0, -1 while no chapter is shown
    int m_lineBlocks = 0;    // blocks that are lines of the novel

public:
    /// Follows a line the output leaves out.
    static const QString DroppedMark;
    /// The last line when the chapter is longer than what is shown.
    static const QString CutMark;
};
