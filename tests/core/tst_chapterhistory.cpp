#include "core/ChapterHistory.h"

#include <QTest>

using namespace Qt::StringLiterals;

class tst_ChapterHistory : public QObject {
    Q_OBJECT

private slots:
    // A script of commands ("b": a step begins, a number: that record's check flips), what the
    // history then offers, and the steps it gives back, newest first, each "records,…".
    void steps_comeBackNewestFirst_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<bool>("canUndo");
        QTest::addColumn<QStringList>("takenBack");
        QTest::newRow("nothing") << u""_s << false << QStringList();
        QTest::newRow("one click") << u"b 4"_s << true << QStringList{u"4"_s};
        QTest::newRow("bulk, then a click") << u"b 1 2 3 b 7"_s << true
                                            << QStringList{u"7"_s, u"1,2,3"_s};
        QTest::newRow("a toggle with no step begins one") << u"5 6"_s << true << QStringList{u"5,6"_s};
        QTest::newRow("empty steps alone offer nothing") << u"b b"_s << false << QStringList{u""_s, u""_s};
        QTest::newRow("an empty step on top still counts") << u"b 2 b"_s << true << QStringList{u""_s, u"2"_s};
        QTest::newRow("the same record twice") << u"b 3 b 3"_s << true << QStringList{u"3"_s, u"3"_s};
    }

    void steps_comeBackNewestFirst()
    {
        QFETCH(QString, script);
        QFETCH(bool, canUndo);
        QFETCH(QStringList, takenBack);
        ChapterHistory history;
        for (const QString& word : script.split(u' ', Qt::SkipEmptyParts)) {
            if (word == u"b") {
                history.beginStep();
            } else {
                history.addToggle(word.toInt());
            }
        }
        QCOMPARE(history.canUndo(), canUndo);
        QCOMPARE(history.stepCount(), takenBack.size());
        QStringList taken;
        while (history.stepCount() > 0) {
            QStringList records;
            for (qint32 r : history.takeNewest().toggled) {
                records << QString::number(r);
            }
            taken << records.join(u',');
            // Undo is offered until the last step is taken back.
            QCOMPARE(history.canUndo(), canUndo && history.stepCount() > 0);
        }
        QCOMPARE(taken, takenBack);
        QVERIFY(history.takeNewest().toggled.isEmpty());
        QVERIFY(!history.canUndo());
    }

    // A title added or removed renumbers the records after it; the older steps follow, and a
    // removed record's mentions come back to it when the removal is taken back.
    void recordsMove_withTitlesAddedAndRemoved()
    {
        ChapterHistory history;
        history.beginStep();
        history.addToggle(2);
        history.addToggle(5);
        history.addEdit({7, 3, u"旧"_s});
        // A title put in at record 4: 5 and 7 move up.
        history.recordInserted(4);
        history.addInsert(4);
        // Record 2 removed: what came after it moves down, 2 itself is kept aside.
        const qint32 tombstone = history.recordRemoved(2);
        QVERIFY(tombstone < -1);
        history.addRemoval(2, ChapterRecord{}, tombstone);

        ChapterHistory::Step removal = history.takeNewest();
        QCOMPARE(removal.removedAt, 2);
        history.recordInserted(removal.removedAt, removal.tombstone);
        QCOMPARE(history.takeNewest().added, 4);
        history.recordRemoved(4);
        QCOMPARE(history.takeNewest().edits.first().record, 7);
        QCOMPARE(history.takeNewest().toggled, (QList<qint32>{2, 5}));
        QVERIFY(!history.canUndo());
    }
};

QTEST_GUILESS_MAIN(tst_ChapterHistory)
#include "tst_chapterhistory.moc"
