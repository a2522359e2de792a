#include "core/NumberingReview.h"

#include <QTest>

class tst_NumberingReview : public QObject {
    Q_OBJECT

private slots:
    void review_data()
    {
        QTest::addColumn<QVector<qint16>>("numbers");
        QTest::addColumn<QVector<bool>>("ignored");
        QTest::addColumn<QString>("marks"); // one letter per record: . g d b z
        using N = QVector<qint16>;
        using I = QVector<bool>;
        QTest::newRow("clean") << N{1, 2, 3, 4} << I{} << u"...."_qs;
        QTest::newRow("gap") << N{1, 2, 5, 6} << I{} << u"..g."_qs;
        QTest::newRow("duplicate") << N{1, 2, 2, 3} << I{} << u"..d."_qs;
        QTest::newRow("restart") << N{1, 2, 3, 1, 2} << I{} << u"...b."_qs;
        QTest::newRow("zero is skipped over") << N{1, 0, 2, 3} << I{} << u".z.."_qs;
        QTest::newRow("first may start anywhere") << N{5, 6} << I{} << u".."_qs;
        QTest::newRow("first zero") << N{0, 1} << I{} << u"z."_qs;
        QTest::newRow("ignored rows are not chapters") << N{1, 99, 2, 3} << I{false, true, false, false} << u"...."_qs;
        QTest::newRow("ignored duplicate hides nothing") << N{1, 2, 2, 4} << I{false, false, true, false} << u"...g"_qs;
        QTest::newRow("empty") << N{} << I{} << QString();
    }

    void review()
    {
        QFETCH(QVector<qint16>, numbers);
        QFETCH(QVector<bool>, ignored);
        QFETCH(QString, marks);
        const QVector<NumberingAnomaly> got = reviewNumbering(numbers, ignored);
        QString letters;
        for (NumberingAnomaly a : got) {
            letters += a == NumberingAnomaly::Gap         ? u'g'
                       : a == NumberingAnomaly::Duplicate ? u'd'
                       : a == NumberingAnomaly::StepBack  ? u'b'
                       : a == NumberingAnomaly::Zero      ? u'z'
                                                          : u'.';
        }
        QCOMPARE(letters, marks);
    }

    void texts()
    {
        QCOMPARE(anomalyDescription(NumberingAnomaly::Gap, 5, 2), u"章节号 5 跳过了 3 到 4（前一章是 2）"_qs);
        QCOMPARE(anomalyKey(NumberingAnomaly::StepBack), u"back"_qs);
        QVERIFY(anomalyText(NumberingAnomaly::None).isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_NumberingReview)
#include "tst_numberingreview.moc"
