#pragma once

#include <QPlainTextEdit>

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

protected:
    /// The window's shortcuts do not take the pane's own editing keys (Ctrl+A selects its text).
    bool event(QEvent* e) override;

public:
    /// Follows a line the output leaves out.
    static const QString DroppedMark;
    /// The last line when the chapter is longer than what is shown.
    static const QString CutMark;
};
