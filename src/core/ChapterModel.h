#pragma once

#include "core/ChapterHistory.h"
#include "core/NumberingReview.h"
#include "core/TextColumn.h"
#include "core/TidyChange.h"
#include "core/Volumes.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QSet>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVector>

/// "一共: kept/found 章", the chapter count shown after an analysis and after every check change.
QString ChapCountText(int found, int ignored);

/// The chapter table and its rows.
///
/// Records (chapline, chapnum, title, and the title line as read) are kept in file order; a record's
/// index is its row's Tag and never changes. Rows are kept in display order, which sorting changes; a
/// row holds only its Tag and check mark, and its cells are made from its record when asked for, so
/// that a million titles fit in little memory. A checked row is an ignored
/// title. Check toggles made by the user, and the bulk selection commands, are recorded in the list's
/// history (ChapterHistory) by record, so that an undo after a sort restores the rows that changed.
class ChapterModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column {
        IdColumn,
        PreviewColumn,
        MemoColumn,
        ChapNumColumn,
        TitleColumn,
        ChapLineColumn,
        ColumnCount,                ///< the columns every list has
        VolumeColumn = ColumnCount, ///< "卷", after them while the novel has volumes
    };

    /// A 章节号 cell's NumberingAnomaly (as int) for the list's marker; 0 on other columns.
    static constexpr int AnomalyRole = Qt::UserRole + 1;
    /// On a 卷 cell: true when volumes without a chapter are listed in its tool tip.
    static constexpr int EmptyVolumeRole = Qt::UserRole + 2;

    /// Column captions without sort arrows, in column order (the 卷 column's last).
    static const QStringList ColumnCaptions;
    /// Column keys: "id", "preview", "memo", "chapnum", "title", "chapline", "volume".
    static const QStringList ColumnKeys;

    /// Sort key of a cell text: a number becomes its rounded integer zero-filled to ten digits, so that
    /// text order is numeric order for non-negative integers; any other text is its own key.
    static QString sortKey(const QString& text);

    explicit ChapterModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    /// Qt::CheckStateRole on the ID column is the user's own toggle (see userToggle).
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // --- Chapter records, in file order --------------------------------------------------------------

    const QVector<qint32>& chapline() const { return m_chapline; }
    const QVector<qint16>& chapnum() const { return m_chapnum; }
    const TextColumn& title() const { return m_title; }
    /// The whole title lines as read.
    const TextColumn& lines() const { return m_memo; }
    /// Number of records (upper bound + 1); 1 for a closed document.
    int recordCount() const { return int(m_chapnum.size()); }

    /// Back to the closed state: one empty record, no rows.
    void resetTable();
    /// Removes every row and keeps the records, which the next analysis overwrites from index 0.
    void clearRows();

    /// Between these, rows are added and checked without per-row signals; endBatch resets the views once.
    void beginBatch();
    void endBatch();

    /// Stores record id - 1 (the arrays take exactly id elements, keeping the others) and appends an
    /// unchecked row for it. The preview is the name `outFile` gives this chapter, without ".txt".
    /// Returns the new row's position, or -1 for an id below 1.
    int AddChapItem(qint32 id, qint16 chapNum, const QString& title, const QString& lineText, qint32 lineNo,
                    const QString& outFile);

    /// Rewrites the row's record number and title with its preview, chapter number and title cells;
    /// while recording, as an undo step of its own.
    void UpdateChapItem(int row, qint16 chapNum, const QString& title, const QString& outFile);

    // --- Titles added by hand ----------------------------------------------------------------------

    /// Where the records' byte offsets and shapes are kept (the document's), so that a title
    /// added or removed by hand moves them with the records.
    void attachRecordColumns(QVector<qint64>* offsets, QVector<quint8>* shapes);
    /// Adds a title the analysis missed, in file order among the records (those after it are
    /// renumbered), with a row after the row of the title before it. Undoable while recording.
    /// Returns the new row, or -1 when the list has no rows or a title stands on that line.
    int addTitle(const ChapterRecord& record, const QString& outFile);
    /// Removes a title added by hand; undoable while recording. False for any other row.
    bool removeTitle(int row);
    bool isHandAdded(int row) const { return m_handAdded.contains(m_rows.at(row).tag); }
    /// The records added by hand, ascending.
    QList<qint32> handAddedRecords() const;
    /// The row of record `record`, or -1.
    int rowOfTag(qint32 record) const { return rowOfRecord(record); }
    /// The record whose title stands on `line`, or -1.
    qint32 recordAtLine(qint32 line) const;
    /// Grows with every change the user makes to the list (and every undo), so that a front end
    /// can tell whether the review has changed since it last kept it.
    quint64 revision() const { return m_revision; }
    /// A hash of what a review keeps: every title's line, number and text, and the check
    /// marks; equal again when every change since has been undone.
    size_t reviewFingerprint() const;
    /// Whether a title or chapter number was edited since the table was last filled.
    bool hasEdits() const { return m_edited; }
    /// By record index: edited, or checked or unchecked by the user row by row, since the table
    /// was last filled. Tidying leaves these alone.
    QVector<bool> handTouched() const;

    // --- Volumes ---------------------------------------------------------------------------------------

    /// The volumes the analysis found (emptied with the rows). Volume headings are not rows.
    void setVolumes(VolumeList volumes);
    const VolumeList& volumes() const { return m_volumes; }
    /// The 卷 cell's tool tip: the row's volume, and the volumes without a chapter listed there.
    QString volumeToolTip(int row) const;

    // --- Rows, in display order -----------------------------------------------------------------------

    /// The row's record index.
    qint32 tag(int row) const { return m_rows.at(row).tag; }
    bool isChecked(int row) const { return m_rows.at(row).checked; }
    /// The whole title line as read.
    QString memo(int row) const { return m_memo.value(m_rows.at(row).tag); }
    /// Text of a cell, as shown.
    QString cellText(int row, int column) const;
    int checkedCount() const { return m_checkedCount; }

    /// Sets a check mark without recording it for undo (the analysis marks invalid titles with it).
    void setChecked(int row, bool checked);

    // --- Sorting ---------------------------------------------------------------------------------------

    /// Sorts by a 1-based column: order 1 descending, anything else ascending; marks the column's caption
    /// with ▼ or ▲ and stores the opposite order for the next click. Column -1 restores ID order without
    /// an arrow and makes the next click ascending.
    void SortByColumn(int column, int order);
    /// Reorders the rows by the sort keys of a 1-based column (order 0 ascending, 1 descending); stable,
    /// case-insensitive. Captions and the stored order are left alone.
    void SortItem(int column, int order);
    /// "0" or "1": the order the next column click applies; empty (reads as 0) until the first sort.
    QString sortOrderTag() const { return m_sortOrderTag; }

    // --- Check marks with undo ---------------------------------------------------------------------

    /// Whether user toggles are recorded; on only while the chapter table is analysed.
    void setUndoRecording(bool on) { m_undoRecording = on; }
    bool undoRecording() const { return m_undoRecording; }

    /// Opens a new undo group unless `cont`, then adds the record of the row at a 1-based position (0 adds
    /// nothing). Enables undo once the current group holds a position. Does nothing while there are no rows.
    void PushUndo(int position, bool cont);
    /// The user toggled a row's check box: toggles it, records it as a group of its own when recording,
    /// and refreshes the count.
    void userToggle(int row);
    void SelAll();
    void SelNone();
    void SelReverse();
    /// Checks (or unchecks) the given rows; the rows that change make one undo group.
    void setRowsChecked(const QList<int>& rows, bool checked);
    /// Applies tidying's changes as one undo group; each changed row tells why in its tool tip.
    /// Returns the number of rows changed.
    int applyTidy(const QVector<TidyChange>& changes);
    /// Why tidying last changed the row (None when it did not).
    TidyReason tidyReason(int row) const;
    /// Reverts the newest group and removes it. Returns the row to select and scroll to (the row of the
    /// group's last record), or -1 when there is none.
    int SelUndo();
    /// Forgets every undo group; undo disabled.
    void resetUndo();
    bool canUndo() const { return m_history.canUndo(); }
    /// Undo groups held.
    int undoGroupCount() const { return m_history.stepCount(); }

    /// Announces the current number of checked rows.
    void UpdateChapCount();

    // --- Numbering review --------------------------------------------------------------------------

    /// By record index: whether the record's row is checked (an ignored title). Records without a row
    /// count as kept.
    QVector<bool> ignoredRecords() const;
    /// Stores the numbering anomalies by record index, as reviewNumbering gives them. Each one is described
    /// against the previous kept number as the check marks stand now, through the 章节号 cell's tool tip
    /// and AnomalyRole. Cleared by clearRows and resetTable.
    void setAnomalies(const QVector<NumberingAnomaly>& anomalies);
    NumberingAnomaly anomaly(int row) const;
    /// Stores, by record index, the title line of the earlier chapter each chapter repeats (0:
    /// none), as findRepeatedChapters gives it. A kept repeat is then a Repeat anomaly, whatever
    /// its number says. Cleared by clearRows and resetTable.
    void setRepeats(const QVector<qint32>& sameAs);
    /// Checks every kept repeated chapter as one undo group; the number of rows checked.
    int ignoreRepeats();
    /// Kept rows that repeat an earlier chapter.
    int repeatCount() const;
    /// Rows with an anomaly.
    int anomalyCount() const { return m_anomalyCount; }

signals:
    void undoAvailableChanged(bool available);
    /// A title was added or removed: record indexes from some point on have moved.
    void recordsChanged();
    void checkCountChanged(int checked);

private:
    struct Row {
        qint32 tag = 0;
        bool checked = false;
    };

    void toggleRow(int row);
    /// Puts a record in at `record` with a row at display position `row` (everything by record
    /// from there moves up), or takes one out with its row; neither records history.
    void insertRecord(qint32 record, const ChapterRecord& rec, int row, qint32 tombstone = 0);
    ChapterRecord takeRecord(qint32 record, qint32* tombstone);
    int rowOfRecord(qint32 record) const;
    /// Where a row for a record inserted at `record` goes: after the row of the record before.
    int rowForNewRecord(qint32 record) const;
    void bindEmptyVolumes();
    void setRowChecked(int row, bool checked);
    void emitCheckChanged(int first, int last);
    /// Announces a change of canUndo() since `before`.
    void undoChanged(bool before);
    template <typename Pred> void selectWhere(Pred shouldToggle);

    QVector<qint32> m_chapline;
    QVector<qint16> m_chapnum;
    TextColumn m_title;
    TextColumn m_memo;
    // The output-name template of the previews; a record whose preview was made with another one
    // keeps it here.
    QString m_outFile;
    QHash<qint32, QString> m_otherPreviews;

    QList<Row> m_rows;
    int m_checkedCount = 0;
    VolumeList m_volumes;
    QHash<qint32, QVector<int>> m_emptyVolumesAt; // record -> volumes without a chapter shown there
    bool m_edited = false;
    QSet<qint32> m_touched;                 // records edited or checked by hand
    QSet<qint32> m_handAdded;               // records added by hand
    QVector<qint64>* m_offsets = nullptr;   // the document's, by record
    QVector<quint8>* m_shapes = nullptr;
    quint64 m_revision = 0;
    QHash<qint32, TidyReason> m_tidyReasons; // records tidying changed, and why

    // By record index; empty until a review. The previous kept number is what a tool tip names.
    QVector<NumberingAnomaly> m_anomalies;
    QVector<qint16> m_anomalyPrevious;
    QVector<qint32> m_repeatOf; // by record: the earlier chapter's title line, or 0
    int m_anomalyCount = 0;
    int m_batchDepth = 0;

    QStringList m_captions;
    QString m_sortOrderTag;

    ChapterHistory m_history;
    bool m_undoRecording = false;
};
