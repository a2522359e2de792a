#pragma once

#include <QString>

struct Settings;
class ChapterModel;
class ChapterPreviewPane;
class ListColumns;
class QLabel;
class QMainWindow;
class QProgressBar;
class QSplitter;
class QStatusBar;
class QToolButton;
class QTreeView;
class QWidget;

/// The main window's client area (the chapter list over the preview) and its status bar. The
/// window makes them once, holds them here and connects them to its commands.
struct MainWidgets {
    QTreeView* lvwTitles = nullptr;
    ListColumns* columns = nullptr; ///< sizes lvwTitles' columns; a child of the list
    QSplitter* splTitles = nullptr;
    ChapterPreviewPane* txtPreview = nullptr;
    QStatusBar* staStatus = nullptr;
    QLabel* textPanel = nullptr;     ///< status panel "text"; the numbering review is its tool tip
    QToolButton* btnTidy = nullptr;  ///< "可整理: …", shown while tidying would change titles
    QWidget* processPanel = nullptr; ///< status panel "process": the percentage and prgDone
    QLabel* percentPanel = nullptr;
    QProgressBar* prgDone = nullptr;
    QLabel* encodingPanel = nullptr;

    /// Builds them on `window` for the document's `model`. `settings` gives the colour of
    /// checked rows and takes the column widths the user drags.
    static MainWidgets build(QMainWindow& window, ChapterModel& model, Settings& settings);

    /// Text and tool tip of the status panel "text", "process" or "encoding"; empty for others.
    QString panelText(const QString& key) const;
    QString panelToolTip(const QString& key) const;
};
