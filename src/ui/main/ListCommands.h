#pragma once

#include "core/TidyTitles.h"

#include <QPoint>
#include <QString>

#include <functional>

struct MainWidgets;
struct Settings;
class Document;
class QAction;
class QMenu;
class QWidget;

/// The commands that edit the chapter list: check marks and their undo, sorting, title and
/// number edits, copying a title line, and the walk through numbering anomalies. They act on
/// the document's list as the window shows it, and take the list's own triggers (a column
/// clicked, a row double-clicked, the 可整理 button, a check or number changed) themselves.
class ListCommands {
public:
    /// `window` owns the questions asked; `itemMenu` is the chapter menu a right click pops
    /// up; a double click edits a title only while `editTitle` is enabled.
    ListCommands(Document& doc, Settings& settings, QWidget* window, const MainWidgets& ui, QMenu* itemMenu,
                 QAction* editTitle);

    void mnuI_SelAll_Click();
    void mnuI_SelReverse_Click();
    void mnuI_SelNone_Click();
    void mnuI_SelUndo_Click();
    void mnuIE_Title_Click();
    void mnuIE_ChapNum_Click();
    void mnuI_Copy_Click();
    void mnuI_NextAnomaly_Click();
    /// "勾选所选" / "取消勾选所选": the checks of every selected row, as one undo group.
    void mnuI_CheckSelected_Click();
    void mnuI_UncheckSelected_Click();
    /// Space: the selected rows all take the opposite of the current row's check.
    void toggleSelectedChecks();
    void lvwTitles_ColumnClick(int column);
    void lvwTitles_DblClick();
    void lvwTitles_MouseUp(const QPoint& globalPos);
    /// Reviews the chapter numbers of an analysed list against the current check marks.
    void ReviewNumbering();
    /// "按编号整理": applies tidying's proposal as one undo group.
    void mnuI_Tidy_Click();
    /// "忽略重复章节": checks every kept chapter whose body repeats an earlier one, as one undo group.
    void mnuI_IgnoreRepeats_Click();
    /// A new analysis: what tidying knows of the old one is dropped; with 分析后自动整理 the
    /// new list is tidied at once.
    void analysisDone();

    /// "设为章节标题": makes line `line` of the novel a title, after the user has checked the
    /// number and title read from it; undoable.
    void makeTitleAt(qint32 line);
    /// "删除此标题": removes the selected title when it was added by hand; undoable.
    void mnuI_RemoveTitle_Click();
    /// The list takes the keyboard, so that the first ↓ after an analysis moves in it.
    void focusList();

    int selectedRow() const;
    void selectRow(int row);

private:
    /// Asks for a new value of the selected row's field, starting from `current(record)`;
    /// false when no row is selected (the user is told) or the box was cancelled.
    QList<int> selectedRows() const;
    void setSelectedChecks(bool checked);
    bool askForSelected(const QString& prompt, const QString& caption,
                        const std::function<QString(int)>& current, int* row, QString* answer);

    /// What tidying would change now (status bar, menu); computed only for lists it is quick on.
    void reviewTidy();
    QVector<TidyChange> tidyProposal();
    /// A command's outcome in the status bar, after the chapter count, which stays in sight.
    void showOutcome(const QString& text);
    void syncRemoveTitle();

    Document& m_doc;
    Settings& m_settings;
    QWidget* m_window;
    const MainWidgets& m_ui;
    QMenu* m_itemMenu;
    QAction* m_editTitle;
    QAction* m_removeTitle = nullptr;
    QVector<TidyTitle> m_tidyInput; // the analysis's part of tidying's input, read once
    QVector<TidyChange> m_tidyChanges;
};
