#include "FakeHost.h"

#include "config/Settings.h"
#include "core/AnalysisPass.h"
#include "core/Document.h"
#include "core/GbkCodec.h"
#include "core/TidyTitles.h"
#include "core/cRegExp.h"

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
        Settings s = Settings::defaults(); // with its volume pattern
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
        QStringList glued = chapters(1, 4);
        glued[22] += QStringLiteral(u"　话说那日天气晴好，众人都到了庄上，一个个说说笑笑，好不热闹，直到天黑方才散去。");
        QTest::newRow("heading with its first paragraph on its line") << glued << QList<int>{1, 12, 23, 34};
        QTest::newRow("contents list of two")
            << (QStringList{chapter(1).first(), chapter(2).first(), QString()} + chapters(1, 4)) << QList<int>{4, 15, 26, 37};
        QTest::newRow("contents list at the end") << (chapters(1, 4) + toc) << QList<int>{1, 12, 23, 34};
        QTest::newRow("chapters copied twice") << (chapters(1, 4) + chapters(2, 3)) << QList<int>{1, 12, 23, 34};

        // Entries with the chapter's title on a line of its own.
        QStringList twoLineToc{QStringLiteral(u"目录")};
        for (int n = 1; n <= 5; ++n) {
            const QStringList heading = chapter(n).first().split(u' ');
            twoLineToc << heading;
        }
        QTest::newRow("contents entries over two lines")
            << (twoLineToc + QStringList{QString()} + chapters(1, 5)) << QList<int>{13, 24, 35, 46, 57};

        // As many entries as chapters, and one quote more: the sequence is still the body's.
        QTest::newRow("contents list as long as the novel")
            << (toc + QStringList{QString()} + chapters(1, 5) + QStringList{QStringLiteral(u"　　他笑道：这才第二回呢。")})
            << body;

        // A heading that asks beats a sentence that names the same chapter before it.
        QStringList asks = chapters(1, 4);
        asks[22] = QStringLiteral(u"第三回 真的是他？");
        asks.insert(16, QStringLiteral(u"　　他一直翻到第三回，看了半天也没看懂。"));
        QTest::newRow("title that asks") << asks << QList<int>{1, 12, 24, 35};

        // Numbers quoted at the start of a line or after a book name in running text.
        QStringList quotedAtStart = chapters(1, 3);
        quotedAtStart.insert(5, QStringLiteral(u"　　第三回中既將薛家母子之事表明，此回再說。"));
        quotedAtStart.insert(30, QStringLiteral(u"　　海上花○第一回趙樸齋訪舅"));
        QTest::newRow("quoted at a line start") << quotedAtStart << QList<int>{1, 13, 24};

        // Numbers start again under a part line; the second part's titles ask, glued to their
        // numbers, which alone would make them sentences outside the sequence.
        QStringList parts = chapters(1, 5);
        parts << QStringLiteral(u"【第二部】") << QString();
        for (int n = 1; n <= 3; ++n) {
            QStringList c = chapter(n);
            c[0] = c[0].remove(u' ') + u"？"_qs;
            parts << c;
        }
        QTest::newRow("part line in brackets") << parts << QList<int>{1, 12, 23, 34, 45, 58, 69, 80};
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

    // Lines as novels have them: heading, or sentence that mentions a chapter.
    void headingOrSentence_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("heading");
        QTest::newRow("plain") << u"　　第一回　折資本豪商返里　積薪工貧友登門"_qs << true;
        QTest::newRow("title glued to the number") << u"第七回於侍御保友赴京"_qs << true;
        QTest::newRow("book name before it") << u"警世通言第一回　俞伯牙摔琴謝知音"_qs << true;
        QTest::newRow("long book name before it") << u"新刻出像通俗演義三寶太監西洋記第一回　碧峰長老下凡"_qs << true;
        QTest::newRow("asks") << u"第三回 真的是他？"_qs << true;
        QTest::newRow("ends with a full stop, apart") << u"第三十回　聞叛逆於冰隨征旅，論戰守文煒說軍機。"_qs << true;
        QTest::newRow("no title") << u"第十二回"_qs << true;
        QTest::newRow("sentence after the number") << u"他一直翻到第三回，看了半天也没看懂。"_qs << false;
        QTest::newRow("words on both sides") << u"他翻到第三回看了半天"_qs << false;
        QTest::newRow("quoted at line start") << u"　　第四回中既將薛家母子之事表明，此回再說，一說便是許多的話。"_qs << false;
        QTest::newRow("glued and asking") << u"第三十八回前附記："_qs << false;
        QTest::newRow("in brackets") << u"　　粘在門首。（第三十五回）"_qs << false;
        QTest::newRow("long prefix") << u"這部小說的作者在他的第一回開頭"_qs << false;
    }

    void headingOrSentence()
    {
        QFETCH(QString, line);
        QFETCH(bool, heading);
        cRegExp re;
        re.InitRegexp(u"第([一二三四五六七八九十]+)回[\\s　]*(.*)"_qs);
        QVERIFY(re.GetMatch(line));
        QCOMPARE(looksLikeHeading(line, re.matchStart(), re.titleStart()), heading);
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
