#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

#include <optional>

/// One chapter record with everything that goes with it: what a title removed by hand takes
/// along, so that undoing the removal puts it back as it was.
struct ChapterRecord {
    qint32 line = 0;      ///< 1-based line of the title
    qint64 offset = 0;    ///< byte offset of that line
    quint8 shape = 0;     ///< TitleShape flags
    qint16 chapnum = 0;
    QString title;
    QString lineText;     ///< the whole title line as read
    bool checked = false; ///< ignored
};

/// What the user did to the chapter list, oldest first, so that 恢复选择 takes it back one
/// command at a time, in the order the commands were made: a check box clicked, a bulk
/// selection, tidying, ignoring repeats, a title or number edited, a title added or removed
/// by hand. A step names the records it changed, not their rows, so that a sort between a
/// change and its undo moves nothing out of reach; a title added or removed renumbers the
/// records after it, and the history follows (recordInserted, recordRemoved).
class ChapterHistory {
public:
    /// A title or number as it was before an edit.
    struct Edit {
        qint32 record = 0;
        qint16 chapnum = 0;
        QString title;
    };

    /// One command's changes.
    struct Step {
        QList<qint32> toggled; ///< records whose check mark flipped, in the order they flipped
        QList<Edit> edits;     ///< records edited, with their values before
        qint32 added = -1;     ///< a record added by hand (taken back: removed again)
        std::optional<ChapterRecord> removed; ///< a record removed by hand, at removedAt
        qint32 removedAt = -1;
        qint32 tombstone = 0;  ///< what older steps call the removed record meanwhile
    };

    /// Begins a step; what is recorded next belongs to it. A step that stays empty still
    /// counts: taking it back changes nothing.
    void beginStep();
    /// Records a flipped check mark in the newest step, beginning one when there is none.
    void addToggle(qint32 record);
    /// Records an edit as a step of its own.
    void addEdit(const Edit& before);
    /// Records a title added by hand at `record`, as a step of its own (recordInserted has
    /// moved the older steps' records already).
    void addInsert(qint32 record);
    /// Records a title removed by hand from `record`, as a step of its own, with the tombstone
    /// recordRemoved gave the older steps' mentions of it.
    void addRemoval(qint32 record, const ChapterRecord& removed, qint32 tombstone);

    /// A record was inserted at `record`: the older steps' records from there on move up.
    /// `tombstone` (when not 0) names the record in the older steps that now comes back here.
    void recordInserted(qint32 record, qint32 tombstone = 0);
    /// The record at `record` is gone: the ones after it move down, and the older steps'
    /// mentions of it are kept under the tombstone returned, until it comes back.
    qint32 recordRemoved(qint32 record);

    int stepCount() const { return int(m_steps.size()); }
    /// Removes the newest step and gives it back for reverting; an empty step without one.
    Step takeNewest();
    /// Forgets every step.
    void clear();

    /// Whether undo is offered: from the first change recorded until the last step is taken
    /// back or the history cleared. Steps that changed nothing do not offer it on their own.
    bool canUndo() const { return m_canUndo; }

private:
    template <typename F> void forEachRecord(F f);

    QList<Step> m_steps;
    bool m_canUndo = false;
    qint32 m_nextTombstone = -2;
};
