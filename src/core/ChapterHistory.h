#pragma once

#include <QList>
#include <QtGlobal>

/// What the user did to the chapter list, oldest first, so that 恢复选择 takes it back one
/// command at a time. A step is one command (a check box clicked, a bulk selection, tidying,
/// ignoring repeats) and names the records it changed, not their rows, so that a sort between
/// a change and its undo moves nothing out of reach.
///
/// The history knows no rows: the model records into it and reverts what it gives back. A step
/// holds check toggles today; title and number edits are meant to become steps of this same
/// history (a step's other kind of change: the record with its values before), so that undo
/// takes back toggles, edits and tidying in the order the user made them.
class ChapterHistory {
public:
    /// One command's changes.
    struct Step {
        QList<qint32> toggled; ///< records whose check mark flipped, in the order they flipped
    };

    /// Begins a step; what is recorded next belongs to it. A step that stays empty still
    /// counts: taking it back changes nothing.
    void beginStep();
    /// Records a flipped check mark in the newest step, beginning one when there is none.
    void addToggle(qint32 record);

    int stepCount() const { return int(m_steps.size()); }
    /// Removes the newest step and gives it back for reverting; an empty step without one.
    Step takeNewest();
    /// Forgets every step.
    void clear();

    /// Whether undo is offered: from the first change recorded until the last step is taken
    /// back or the history cleared. Steps that changed nothing do not offer it on their own.
    bool canUndo() const { return m_canUndo; }

private:
    QList<Step> m_steps;
    bool m_canUndo = false;
};
