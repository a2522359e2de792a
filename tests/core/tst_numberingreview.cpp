#include "core/NumberingReview.h"

#include <QTest>

class tst_NumberingReview : public QObject {
    Q_OBJECT

    static QString letters(const QVector<NumberingAnomaly>& marks)
    {
        QString out;
        for (NumberingAnomaly a : marks) {
            out += a == NumberingAnomaly::Gap         ? u'g'
                   : a == NumberingAnomaly::Duplicate ? u'd'
                   : a == NumberingAnomaly::StepBack  ? u'b'
                   : a == NumberingAnomaly::Zero      ? u'z'
                                                      : u'.';
        }
        return out;
    }

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
        QTEST(letters(reviewNumbering(numbers, ignored)), "marks");
    }

    // Volumes start at the given records: a volume's first chapter may start the numbers again,
    // judged against 0 ("judged" lists what each kept chapter was compared with).
    void review_withVolumes_data()
    {
        QTest::addColumn<QVector<qint16>>("numbers");
        QTest::addColumn<QVector<bool>>("ignored");
        QTest::addColumn<QVector<qint32>>("starts");
        QTest::addColumn<QString>("marks");
        QTest::addColumn<QVector<qint16>>("judged");
        using N = QVector<qint16>;
        using I = QVector<bool>;
        using S = QVector<qint32>;
        QTest::newRow("restart at a volume") << N{1, 2, 3, 1, 2} << I{} << S{0, 3} << u"....."_qs << N{0, 1, 2, 0, 1};
        QTest::newRow("restart inside a volume") << N{1, 2, 3, 1, 2} << I{} << S{0} << u"...b."_qs << N{0, 1, 2, 3, 1};
        QTest::newRow("numbers go on across volumes") << N{1, 2, 3, 4} << I{} << S{0, 2} << u"...."_qs << N{0, 1, 2, 3};
        QTest::newRow("gap across volumes") << N{1, 2, 5} << I{} << S{0, 2} << u"..g"_qs << N{0, 1, 2};
        QTest::newRow("restart above 1 is a gap") << N{1, 2, 3, 3, 4} << I{} << S{0, 3} << u"...g."_qs << N{0, 1, 2, 0, 3};
        QTest::newRow("same number at a volume start is no duplicate")
            << N{1, 2, 2, 3} << I{} << S{0, 2} << u"..g."_qs << N{0, 1, 0, 2};
        QTest::newRow("duplicate inside a volume") << N{1, 2, 1, 1} << I{} << S{2} << u"...d"_qs << N{0, 1, 0, 1};
        QTest::newRow("zero at a volume start") << N{1, 2, 0, 1, 2} << I{} << S{0, 2} << u"..z.."_qs << N{0, 1, 0, 0, 1};
        QTest::newRow("empty volume between") << N{1, 2, 3, 3, 4} << I{} << S{0, 3, 3} << u"...g."_qs << N{0, 1, 2, 0, 3};
        // The volume's kept chapters start at 2: its 1 is missing.
        QTest::newRow("ignored first chapter of a volume") << N{1, 2, 1, 2} << I{false, false, true, false} << S{0, 2}
                                                           << u"...g"_qs << N{0, 1, 0, 0};
        QTest::newRow("chapters before the first volume") << N{1, 2, 1} << I{} << S{2} << u"..."_qs << N{0, 1, 0};
    }

    void review_withVolumes()
    {
        QFETCH(QVector<qint16>, numbers);
        QFETCH(QVector<bool>, ignored);
        QFETCH(QVector<qint32>, starts);
        QVector<qint16> judged;
        QTEST(letters(reviewNumbering(numbers, ignored, starts, &judged)), "marks");
        QTEST(judged, "judged");
    }

    void texts()
    {
        QCOMPARE(anomalyDescription(NumberingAnomaly::Gap, 5, 2), u"章节号 5 跳过了 3 到 4（前一章是 2）"_qs);
        QCOMPARE(anomalyDescription(NumberingAnomaly::Gap, 3, 0), u"章节号 3 跳过了 1 到 2（本卷从头编号）"_qs);
        QCOMPARE(anomalyKey(NumberingAnomaly::StepBack), u"back"_qs);
        QVERIFY(anomalyText(NumberingAnomaly::None).isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_NumberingReview)
#include "tst_numberingreview.moc"
