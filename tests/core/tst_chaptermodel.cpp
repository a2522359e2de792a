#include "core/ChapterModel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString Template = u"%chap3%-%title%"_s;

// Rows for ids 1..n: chapter number id * 2, title "t<id>", title line on line id * 10.
void fill(ChapterModel& m, int n) {
    for (int id = 1; id <= n; ++id)
        m.AddChapItem(id, qint16(id * 2), u"t%1"_s.arg(id), u"第%1章 t%1"_s.arg(id), id * 10, Template);
}

QList<int> checkedRows(const ChapterModel& m) {
    QList<int> rows;
    for (int r = 0; r < m.rowCount(); ++r)
        if (m.isChecked(r))
            rows.append(r);
    return rows;
}

QStringList cells(const ChapterModel& m, int row) {
    QStringList texts;
    for (int c = 0; c < ChapterModel::ColumnCount; ++c)
        texts.append(m.cellText(row, c));
    return texts;
}

} // namespace

class tst_ChapterModel : public QObject {
    Q_OBJECT

private slots:
    void modelTester_acceptsEveryOperation();
    void addChapItem_fillsRowAndRecord_data();
    void addChapItem_fillsRowAndRecord();
    void newAnalysis_overwritesRecordsFromZero();
    void sortByColumn_alternatesOrderAndArrows_data();
    void sortByColumn_alternatesOrderAndArrows();
    void sortItem_numericAndTextKeys_data();
    void sortItem_numericAndTextKeys();
    void sortItem_equalKeysKeepOrder();
    void undo_restoresGroupByGroup();
    void undo_emptyGroupRemovedWithoutChange();
    void undo_afterSort_restoresTheRowsChanged_data();
    void undo_afterSort_restoresTheRowsChanged();
    void updateChapItem_rewritesPreviewAndRecord();
    void checkCount_text();
    void anomalies_markTheirRecordsChapNumCell();
    void volumeColumn_showsSortsAndGoesWithTheRows();
    void repeats_markedAndIgnoredAsOneUndoStep();
};

void tst_ChapterModel::modelTester_acceptsEveryOperation() {
    ChapterModel m;
    QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::QtTest);
    fill(m, 12);
    const QPersistentModelIndex tracked = m.index(8, ChapterModel::TitleColumn);
    m.SortByColumn(1, 1);
    QCOMPARE(tracked.data().toString(), u"t9"_s); // the persistent index follows its row through the sort
    m.setUndoRecording(true);
    QVERIFY(m.setData(m.index(0, 0), Qt::Checked, Qt::CheckStateRole));
    QCOMPARE(m.undoGroupCount(), 1); // a check through the view is the user's toggle
    m.SelReverse();
    m.SelUndo();
    m.UpdateChapItem(3, 99, u"x"_s, Template);
    m.setAnomalies(reviewNumbering(m.chapnum(), m.ignoredRecords()));
    m.beginBatch();
    m.clearRows();
    fill(m, 30);
    m.setChecked(4, true);
    m.endBatch();
    m.resetTable();
}

void tst_ChapterModel::addChapItem_fillsRowAndRecord_data() {
    QTest::addColumn<qint32>("id");
    QTest::addColumn<qint16>("chapNum");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("outFile");
    QTest::addColumn<QString>("preview");
    QTest::addColumn<QString>("chapCell");

    QTest::newRow("plain") << 1 << qint16(7) << u"风起"_s << Template << u"007-风起"_s << u"007"_s;
    QTest::newRow("id template") << 12 << qint16(7) << u"问答?"_s << u"%id3%-%chap%_%title%"_s
                                 << u"012-007_问答"_s << u"007"_s;
    QTest::newRow("four digits") << 3 << qint16(1234) << u"长"_s << Template << u"1234-长"_s << u"1234"_s;
    QTest::newRow("negative") << 2 << qint16(-5) << QString() << Template << u"-005-"_s << u"-005"_s;
    QTest::newRow("empty template") << 4 << qint16(0) << u"x"_s << QString() << QString() << u"000"_s;
}

void tst_ChapterModel::addChapItem_fillsRowAndRecord() {
    QFETCH(qint32, id);
    QFETCH(qint16, chapNum);
    QFETCH(QString, title);
    QFETCH(QString, outFile);
    const QString line = u"　第七章 风起  "_s;

    ChapterModel m;
    QCOMPARE(m.recordCount(), 1); // closed state: one empty record, no rows
    QCOMPARE(m.AddChapItem(id, chapNum, title, line, 4321, outFile), 0);
    QFETCH(QString, preview);
    QFETCH(QString, chapCell);
    QCOMPARE(cells(m, 0), (QStringList{QString::number(id), preview, line, chapCell, title, u"4321"_s}));
    QCOMPARE(m.tag(0), id - 1);
    QVERIFY(!m.isChecked(0));
    QCOMPARE(m.recordCount(), id);
    QCOMPARE(m.chapline().at(id - 1), 4321);
    QCOMPARE(m.chapnum().at(id - 1), chapNum);
    QCOMPARE(m.title().at(id - 1), title);
}

void tst_ChapterModel::newAnalysis_overwritesRecordsFromZero() {
    ChapterModel m;
    fill(m, 5);
    m.clearRows();
    QCOMPARE(m.recordCount(), 5); // rows gone, records kept until overwritten
    m.AddChapItem(1, 40, u"n1"_s, u"l"_s, 3, Template);
    m.AddChapItem(2, 41, u"n2"_s, u"l"_s, 7, Template);
    QCOMPARE(m.recordCount(), 2);
    QCOMPARE(m.chapline(), (QVector<qint32>{3, 7}));
    m.resetTable();
    QCOMPARE(m.rowCount(), 0);
    QCOMPARE(m.chapline(), QVector<qint32>{0});
    QCOMPARE(m.title().size(), 1);
    QCOMPARE(m.title().at(0), QString());
}

void tst_ChapterModel::sortByColumn_alternatesOrderAndArrows_data() {
    QTest::addColumn<QList<int>>("clicks");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("nextOrder");

    QTest::newRow("chapnum once") << QList<int>{4} << u"章节号▲"_s << u"1"_s;
    QTest::newRow("chapnum twice") << QList<int>{4, 4} << u"章节号▼"_s << u"0"_s;
    QTest::newRow("chapnum then id") << QList<int>{4, 1} << u"ID▼"_s << u"0"_s;
    QTest::newRow("three clicks") << QList<int>{6, 2, 3} << u"内容▲"_s << u"1"_s;
}

void tst_ChapterModel::sortByColumn_alternatesOrderAndArrows() {
    QFETCH(QList<int>, clicks);
    QFETCH(QString, caption);

    ChapterModel m;
    fill(m, 11);
    for (int c : clicks)
        m.SortByColumn(c, m.sortOrderTag().toInt());
    const int sorted = clicks.last() - 1;
    for (int c = 0; c < ChapterModel::ColumnCount; ++c) {
        const QString shown = m.headerData(c, Qt::Horizontal).toString();
        QCOMPARE(shown, c == sorted ? caption : ChapterModel::ColumnCaptions.at(c));
    }
    QTEST(m.sortOrderTag(), "nextOrder");
    for (int r = 0; r < m.rowCount(); ++r) // rows keep their records
        QCOMPARE(m.cellText(r, ChapterModel::ChapLineColumn), QString::number(m.chapline().at(m.tag(r))));

    m.SortByColumn(-1, 1);
    QCOMPARE(m.sortOrderTag(), u"0"_s);
    for (int c = 0; c < ChapterModel::ColumnCount; ++c)
        QCOMPARE(m.headerData(c, Qt::Horizontal).toString(), ChapterModel::ColumnCaptions.at(c));
    for (int r = 0; r < m.rowCount(); ++r)
        QCOMPARE(m.tag(r), r);
}

void tst_ChapterModel::sortItem_numericAndTextKeys_data() {
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("order");
    QTest::addColumn<QList<int>>("tags");

    // Rows start in descending ID order; equal keys ("a"/"A", "b", "B2") must keep that order.
    QTest::newRow("id ascending, 10 after 9") << 1 << 0 << QList<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    QTest::newRow("title ascending") << 5 << 0 << QList<int>{10, 4, 9, 3, 8, 6, 2, 5, 0, 7, 1};
    QTest::newRow("title descending") << 5 << 1 << QList<int>{7, 1, 5, 0, 8, 6, 2, 9, 3, 10, 4};
}

void tst_ChapterModel::sortItem_numericAndTextKeys() {
    QFETCH(int, column);
    QFETCH(int, order);
    const QStringList titles = {u"b"_s, u"B2"_s, u"a"_s, u"10"_s, u"9"_s, u"b"_s,
                                u"A"_s, u"B2"_s, u"a"_s, u"10"_s, u"9"_s};
    ChapterModel m;
    for (int i = 0; i < titles.size(); ++i)
        m.AddChapItem(i + 1, 1, titles.at(i), {}, i + 1, Template);
    m.SortItem(1, 1);
    m.SortItem(column, order);
    QList<int> tags;
    for (int r = 0; r < m.rowCount(); ++r)
        tags.append(m.tag(r));
    QTEST(tags, "tags");
}

void tst_ChapterModel::sortItem_equalKeysKeepOrder() {
    ChapterModel m;
    for (int id = 1; id <= 50; ++id) // enough rows that an unstable sort would show
        m.AddChapItem(id, 3, u"同"_s, {}, id, Template);
    m.SortItem(1, 1);
    for (int order : {0, 1}) {
        for (int column : {4, 5}) {
            m.SortItem(column, order);
            for (int r = 0; r < m.rowCount(); ++r)
                QCOMPARE(m.tag(r), 49 - r);
        }
    }
}

void tst_ChapterModel::undo_restoresGroupByGroup() {
    ChapterModel m;
    QSignalSpy undoSpy(&m, &ChapterModel::undoAvailableChanged);
    fill(m, 6);
    m.userToggle(0); // not recorded before the table counts as analysed
    QCOMPARE(m.undoGroupCount(), 0);
    m.setUndoRecording(true);
    m.userToggle(3);
    QVERIFY(m.canUndo());
    m.SelNone();
    QVERIFY(checkedRows(m).isEmpty());
    QCOMPARE(m.SelUndo(), 3); // the group's last position is selected
    QCOMPARE(checkedRows(m), (QList<int>{0, 3}));
    QCOMPARE(m.SelUndo(), 3);
    QCOMPARE(checkedRows(m), QList<int>{0});
    QVERIFY(!m.canUndo());
    QCOMPARE(undoSpy.size(), 2);
    QCOMPARE(undoSpy.last().first().toBool(), false);
    QCOMPARE(m.SelUndo(), -1);
    QCOMPARE(checkedRows(m), QList<int>{0});

    m.SelReverse();
    QCOMPARE(checkedRows(m), (QList<int>{1, 2, 3, 4, 5}));
    QCOMPARE(m.SelUndo(), 5);
    QCOMPARE(checkedRows(m), QList<int>{0});
    m.SelAll();
    m.resetUndo();
    QVERIFY(!m.canUndo());
    QCOMPARE(m.undoGroupCount(), 0);
}

void tst_ChapterModel::undo_emptyGroupRemovedWithoutChange() {
    ChapterModel m;
    fill(m, 4);
    m.SelAll();
    m.SelAll();
    QCOMPARE(m.undoGroupCount(), 2);
    QCOMPARE(m.SelUndo(), -1);
    QCOMPARE(m.checkedCount(), 4);
    QVERIFY(m.canUndo());
    QCOMPARE(m.SelUndo(), 3);
    QCOMPARE(m.checkedCount(), 0);
    QVERIFY(!m.canUndo());

    ChapterModel empty;
    empty.PushUndo(1, false); // no rows, nothing to record
    QCOMPARE(empty.undoGroupCount(), 0);
}

void tst_ChapterModel::undo_afterSort_restoresTheRowsChanged_data() {
    QTest::addColumn<QList<int>>("toggled"); // rows the user toggles one by one, in ID order
    QTest::addColumn<bool>("selNone");       // then Select none as one more group
    QTest::addColumn<int>("sortColumn");
    QTest::addColumn<int>("sortOrder");
    QTest::newRow("one toggle, ID descending") << QList<int>{0} << false << 1 << 1;
    QTest::newRow("two toggles, chapter number descending") << QList<int>{1, 3} << false << 4 << 1;
    QTest::newRow("select none, ID descending") << QList<int>{0, 2, 4} << true << 1 << 1;
    QTest::newRow("title ascending reorders t10 before t2") << QList<int>{1, 9} << false << 5 << 0;
}

void tst_ChapterModel::undo_afterSort_restoresTheRowsChanged() {
    QFETCH(QList<int>, toggled);
    QFETCH(bool, selNone);
    QFETCH(int, sortColumn);
    QFETCH(int, sortOrder);
    ChapterModel m;
    fill(m, 12);
    m.setUndoRecording(true);
    auto checkedRecords = [&m] {
        QList<int> records;
        for (int r : checkedRows(m))
            records.append(m.tag(r));
        std::sort(records.begin(), records.end());
        return records;
    };
    QList<QList<int>> before; // the checked records before each group
    QList<int> lastRecord;    // and the group's last record, whose row Undo selects
    for (int row : toggled) {
        before.append(checkedRecords());
        lastRecord.append(row);
        m.userToggle(row);
    }
    if (selNone) {
        before.append(checkedRecords());
        lastRecord.append(before.last().last());
        m.SelNone();
    }
    m.SortByColumn(sortColumn, sortOrder);
    QVERIFY(m.tag(1) != 1); // the sort has moved rows
    while (!before.isEmpty()) {
        const int selected = m.SelUndo();
        QCOMPARE(checkedRecords(), before.takeLast());
        QCOMPARE(m.tag(selected), lastRecord.takeLast());
    }
    QVERIFY(!m.canUndo());
}

void tst_ChapterModel::updateChapItem_rewritesPreviewAndRecord() {
    ChapterModel m;
    fill(m, 3);
    m.setChecked(2, true);
    m.SortByColumn(1, 1);
    QCOMPARE(m.tag(0), 2);
    QSignalSpy changed(&m, &QAbstractItemModel::dataChanged);
    m.UpdateChapItem(0, 12, u"新题?"_s, u"%id3%-%chap%_%title%"_s);
    QCOMPARE(changed.size(), 1);
    QCOMPARE(cells(m, 0),
             (QStringList{u"3"_s, u"003-012_新题"_s, u"第3章 t3"_s, u"012"_s, u"新题?"_s, u"30"_s}));
    QCOMPARE(m.chapnum().at(2), qint16(12));
    QCOMPARE(m.title().at(2), u"新题?"_s);
    QVERIFY(m.isChecked(0));
    // A longer title for the first record leaves the next one alone.
    m.UpdateChapItem(2, 5, u"很长很长的标题"_s, Template);
    QCOMPARE(m.title().at(0), u"很长很长的标题"_s);
    QCOMPARE(m.title().at(1), u"t2"_s);
    QCOMPARE(m.cellText(2, ChapterModel::PreviewColumn), u"005-很长很长的标题"_s);
    QCOMPARE(m.cellText(0, ChapterModel::PreviewColumn), u"003-012_新题"_s);
}

void tst_ChapterModel::checkCount_text() {
    ChapterModel m;
    QSignalSpy count(&m, &ChapterModel::checkCountChanged);
    m.beginBatch();
    fill(m, 100);
    for (int r = 10; r < 15; ++r)
        m.setChecked(r, true);
    m.endBatch();
    m.UpdateChapCount();
    QCOMPARE(count.last().first().toInt(), 5);
    QCOMPARE(ChapCountText(m.recordCount(), m.checkedCount()), u"一共: 95/100 章"_s);
    m.userToggle(10);
    QCOMPARE(count.last().first().toInt(), 4);
    QCOMPARE(ChapCountText(0, 0), u"一共: 0/0 章"_s);
}

void tst_ChapterModel::anomalies_markTheirRecordsChapNumCell() {
    // Numbers 1 2 9 4 4 2 0, the 9 an ignored title: a gap, a duplicate, a step back and no number.
    ChapterModel m;
    const QList<qint16> numbers = {1, 2, 9, 4, 4, 2, 0};
    for (int id = 1; id <= numbers.size(); ++id)
        m.AddChapItem(id, numbers.at(id - 1), u"t"_s, u"t"_s, id * 10, Template);
    m.setChecked(2, true);
    QSignalSpy changed(&m, &QAbstractItemModel::dataChanged);
    m.setAnomalies(reviewNumbering(m.chapnum(), m.ignoredRecords()));
    QVERIFY(changed.last().at(2).value<QList<int>>().contains(ChapterModel::AnomalyRole));

    using A = NumberingAnomaly;
    const QList<A> expected = {A::None, A::None, A::None, A::Gap, A::Duplicate, A::StepBack, A::Zero};
    auto cell = [&m](int row, int role, int column = ChapterModel::ChapNumColumn) {
        return m.index(row, column).data(role);
    };
    QCOMPARE(m.anomalyCount(), 4);
    for (int row = 0; row < m.rowCount(); ++row) {
        QCOMPARE(A(cell(row, ChapterModel::AnomalyRole).toInt()), expected.at(row));
        QVERIFY(!cell(row, Qt::ToolTipRole, ChapterModel::TitleColumn).isValid());
    }
    QVERIFY(!cell(0, Qt::ToolTipRole).isValid());
    // The ignored 9 is not the number the 4 follows.
    QCOMPARE(cell(3, Qt::ToolTipRole).toString(), anomalyDescription(A::Gap, 4, 2));
    QCOMPARE(cell(5, Qt::ToolTipRole).toString(), anomalyDescription(A::StepBack, 2, 4));

    // Unchecking the 9 makes it a chapter again: a new review judges the 4 after it against it.
    m.setChecked(2, false);
    m.setAnomalies(reviewNumbering(m.chapnum(), m.ignoredRecords()));
    QCOMPARE(m.anomaly(2), A::Gap);
    QCOMPARE(m.anomaly(3), A::StepBack);
    QCOMPARE(cell(3, Qt::ToolTipRole).toString(), u"章节号 4 比前一章 9 小（新的一卷？）"_s);
    m.setChecked(2, true);
    m.setAnomalies(reviewNumbering(m.chapnum(), m.ignoredRecords()));

    m.SortByColumn(1, 1); // a mark belongs to its record, wherever the row goes
    for (int row = 0; row < m.rowCount(); ++row)
        QCOMPARE(m.anomaly(row), expected.at(m.tag(row)));
    m.clearRows();
    fill(m, 7);
    QCOMPARE(m.anomalyCount(), 0);
    QCOMPARE(m.anomaly(3), A::None);
}

// Rows 1-2 before any volume, 3-4 in the first, 5-6 in the third; the second has no chapter.
void tst_ChapterModel::volumeColumn_showsSortsAndGoesWithTheRows() {
    ChapterModel m;
    QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::QtTest);
    fill(m, 6);
    QCOMPARE(m.columnCount(), int(ChapterModel::ColumnCount));
    auto volume = [](const QString& title, qint32 line, qint32 first, qint32 end) {
        Volume v;
        v.title = title;
        v.line = line;
        v.firstRecord = first;
        v.endRecord = end;
        return v;
    };
    m.setVolumes(VolumeList({volume(u"第一卷 甲"_s, 25, 2, 4), volume(u"第二卷 乙"_s, 41, 4, 4),
                             volume(u"第三卷 丙"_s, 45, 4, 6)}));
    QCOMPARE(m.columnCount(), ChapterModel::VolumeColumn + 1);
    QCOMPARE(m.headerData(ChapterModel::VolumeColumn, Qt::Horizontal).toString(), u"卷"_s);
    QStringList shown;
    for (int r = 0; r < m.rowCount(); ++r)
        shown << m.cellText(r, ChapterModel::VolumeColumn);
    QCOMPARE(shown, (QStringList{QString(), QString(), u"第一卷 甲"_s, u"第一卷 甲"_s, u"第三卷 丙"_s, u"第三卷 丙"_s}));
    // The volume without a chapter is told on the first row of the next volume.
    QCOMPARE(m.volumeToolTip(4), u"第三卷 丙（第 45 行）\n没有章节的卷：第二卷 乙（第 41 行）"_s);
    QVERIFY(m.index(4, ChapterModel::VolumeColumn).data(ChapterModel::EmptyVolumeRole).toBool());
    QVERIFY(!m.index(5, ChapterModel::VolumeColumn).data(ChapterModel::EmptyVolumeRole).toBool());

    // Sorting by volume goes by the volumes' order, rows without one first; within a volume
    // the rows keep the order they had.
    m.SortByColumn(1, 1);
    m.SortByColumn(ChapterModel::VolumeColumn + 1, 0);
    QCOMPARE(m.headerData(ChapterModel::VolumeColumn, Qt::Horizontal).toString(), u"卷▲"_s);
    QList<int> tags;
    for (int r = 0; r < m.rowCount(); ++r)
        tags << m.tag(r);
    QCOMPARE(tags, (QList<int>{1, 0, 3, 2, 5, 4}));

    // The checks, the count and the undo work on chapters only.
    m.setUndoRecording(true);
    m.userToggle(2);
    QCOMPARE(m.checkedCount(), 1);
    QCOMPARE(m.SelUndo(), 2);
    QCOMPARE(m.checkedCount(), 0);

    m.clearRows();
    QCOMPARE(m.columnCount(), int(ChapterModel::ColumnCount));
    QVERIFY(m.volumes().isEmpty());
}

QTEST_GUILESS_MAIN(tst_ChapterModel)
#include "tst_chaptermodel.moc"

// Chapters 3 and 5 repeat chapter 1 (its title on line 10), chapter 5 already checked: only 3 is
// marked, wins over its numbering mark, and one command checks it; one undo brings it back.
void tst_ChapterModel::repeats_markedAndIgnoredAsOneUndoStep() {
    ChapterModel m;
    fill(m, 6);
    m.setUndoRecording(true);
    m.setChecked(4, true);
    m.setRepeats({0, 0, 10, 0, 10, 0});
    m.setAnomalies(reviewNumbering(m.chapnum(), m.ignoredRecords()));
    QCOMPARE(m.anomaly(2), NumberingAnomaly::Repeat);
    QCOMPARE(m.anomaly(4), NumberingAnomaly::None);
    QCOMPARE(m.index(2, ChapterModel::ChapNumColumn).data(Qt::ToolTipRole).toString(), u"重复章节: 与第 10 行的章节相同"_s);
    QCOMPARE(m.repeatCount(), 1);
    const int groups = m.undoGroupCount();
    QCOMPARE(m.ignoreRepeats(), 1);
    QCOMPARE(checkedRows(m), (QList<int>{2, 4}));
    QCOMPARE(m.undoGroupCount(), groups + 1);
    QCOMPARE(m.ignoreRepeats(), 0); // nothing left: no empty undo group either
    QCOMPARE(m.undoGroupCount(), groups + 1);
    m.SelUndo();
    QCOMPARE(checkedRows(m), (QList<int>{4}));
    m.clearRows();
    fill(m, 6);
    QCOMPARE(m.repeatCount(), 0);
}
