#include "FakeHost.h"

#include "config/Settings.h"
#include "core/AnalysisPass.h"
#include "core/Document.h"
#include "core/GbkCodec.h"
#include "core/TidyTitles.h"

#include <QTemporaryDir>
#include <QTest>

// Tidying on small novels analysed for real: the kept titles after it, and undo.
class tst_TidyTitles : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_files = 0;

    static QStringList chapter(int n, int bodyLines = 8)
    {
        static const char16_t* const digits[] = {u"零", u"一", u"二", u"三", u"四", u"五", u"六", u"七", u"八", u"九", u"十"};
        QStringList lines{QStringLiteral(u"第%1回 好汉%2").arg(QString::fromUtf16(digits[n])).arg(n), QString()};
        for (int i = 0; i < bodyLines; ++i) {
            lines << QStringLiteral(u"　　正文第 %1 回第 %2 段，说了许多的话。").arg(n).arg(i);
        }
        lines << QString();
        return lines;
    }

    static QStringList chapters(int from, int to)
    {
        QStringList lines;
        for (int n = from; n <= to; ++n) {
            lines << chapter(n);
        }
        return lines;
    }

    // Analyses the lines with a 回 pattern; `doc` holds the result.
    void analyse(Document& doc, const QStringList& lines)
    {
        QByteArray bytes;
        for (const QString& l : lines) {
            bytes += GbkCodec::instance().encode(l) + "\r\n";
        }
        const QString path = m_dir.filePath(QStringLiteral("t%1.txt").arg(++m_files));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.close();
        Settings s = Settings::defaults();
        s.TitleText = QStringLiteral(u"第([一二三四五六七八九十]+)回[\\s　]*(.*)");
        FakeHost host(&doc);
        QVERIFY(doc.OpenTextFile(path, nullptr));
        QVERIFY(RunAnalysis(doc, s, host));
        doc.model().setUndoRecording(true);
    }

    // Line numbers of the kept titles.
    static QList<int> kept(const Document& doc)
    {
        QList<int> lines;
        for (int row = 0; row < doc.model().rowCount(); ++row) {
            if (!doc.model().isChecked(row)) {
                lines << doc.model().chapline().at(doc.model().tag(row));
            }
        }
        return lines;
    }

    static int tidy(Document& doc)
    {
        return doc.model().applyTidy(tidyTitles(tidyInput(doc, doc.model().handTouched())));
    }

private slots:
    void keepsTheRealChapters_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QList<int>>("expected"); // lines of the titles kept after tidying

        QStringList toc{QStringLiteral(u"目录")};
        QStringList spacedToc{QStringLiteral(u"目录"), QString()};
        for (int n = 1; n <= 5; ++n) {
            toc << chapter(n).first();
            spacedToc << chapter(n).first() << QString();
        }
        const QList<int> body{8, 19, 30, 41, 52}; // after a 6-line contents list and a blank line
        QTest::newRow("contents list") << (toc + QStringList{QString()} + chapters(1, 5)) << body;
        QTest::newRow("spaced contents list")
            << (spacedToc + chapters(1, 5)) << QList<int>{13, 24, 35, 46, 57};

        QStringList quoted = chapters(1, 4);
        quoted.insert(14, QStringLiteral(u"　　他笑道：“这已是第二回了，你还不信么？”说罢便走。"));
        QTest::newRow("quoted in a sentence") << quoted << QList<int>{1, 12, 24, 35};

        QStringList twice = chapters(1, 4);
        twice.insert(22, chapter(3).first()); // the title line given twice
        QTest::newRow("title line twice") << twice << QList<int>{1, 12, 24, 35};

        QStringList shortOne = chapters(1, 2);
        shortOne << chapter(3, 1) << chapters(4, 5);
        QTest::newRow("short chapter ignored as too close") << shortOne << QList<int>{1, 12, 23, 27, 38};

        QTest::newRow("already right") << chapters(1, 4) << QList<int>{1, 12, 23, 34};
    }

    void keepsTheRealChapters()
    {
        QFETCH(QStringList, lines);
        QFETCH(QList<int>, expected);
        Document doc;
        analyse(doc, lines);
        const QVector<bool> before = doc.model().ignoredRecords();
        const bool changes = tidy(doc) > 0;
        QCOMPARE(kept(doc), expected);
        QCOMPARE(changes, doc.model().undoGroupCount() == 1);
        if (changes) {
            doc.model().SelUndo();
            QCOMPARE(doc.model().ignoredRecords(), before);
            for (int row = 0; row < doc.model().rowCount(); ++row) {
                QCOMPARE(doc.model().tidyReason(row), TidyReason::None);
            }
        }
    }

    // Without numbers there is no sequence to go by; a title the user checked stays as it is.
    void leavesAloneWhatItCannotJudge()
    {
        Document doc;
        analyse(doc, {QStringLiteral(u"第甲回 无号"), QStringLiteral(u"第乙回 无号")});
        QCOMPARE(tidyTitles(tidyInput(doc, {})).size(), 0);

        QStringList toc;
        for (int n = 1; n <= 4; ++n) {
            toc << chapter(n).first();
        }
        analyse(doc, toc + QStringList{QString()} + chapters(1, 4));
        const int last = 0; // the contents list's first entry, which the too-close rule keeps
        QVERIFY(!doc.model().isChecked(last));
        doc.model().setRowsChecked({last}, true);
        doc.model().setRowsChecked({last}, false); // checked and unchecked by hand
        tidy(doc);
        QVERIFY(!doc.model().isChecked(last));
        QCOMPARE(doc.model().tidyReason(last), TidyReason::None);
        QVERIFY(doc.model().isChecked(2));
    }

    void reasons()
    {
        // Contents entries, a restored chapter and its repeat.
        QVector<TidyTitle> t(8);
        const int numbers[] = {1, 2, 3, 1, 2, 3, 3, 4};
        for (int i = 0; i < 8; ++i) {
            t[i].number = qint16(numbers[i]);
            t[i].key = QString::number(i);
            t[i].textAfter = i > 2;
        }
        t[5].ignored = true; // chapter 3, ignored as too close
        t[6].key = t[5].key; // and given once more
        QVector<TidyChange> c = tidyTitles(t);
        QCOMPARE(c.size(), 5);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(c[i].record, i);
            QCOMPARE(c[i].reason, TidyReason::TableOfContents);
        }
        QCOMPARE(c[3].record, 5);
        QCOMPARE(c[3].reason, TidyReason::WronglyIgnored);
        QCOMPARE(c[4].record, 6);
        QCOMPARE(c[4].reason, TidyReason::RepeatedTitle);

        // Numbers that start again with a new volume make one sequence.
        QVector<TidyTitle> v(6);
        for (int i = 0; i < 6; ++i) {
            v[i].number = qint16(i % 3 + 1);
            v[i].volume = i / 3;
            v[i].key = QString::number(i);
        }
        v[4].ignored = true;
        c = tidyTitles(v);
        QCOMPARE(c.size(), 1);
        QCOMPARE(c[0].record, 4);
        QVERIFY(!c[0].ignore);
    }
};

QTEST_GUILESS_MAIN(tst_TidyTitles)
#include "tst_tidytitles.moc"
