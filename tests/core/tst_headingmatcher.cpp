#include "config/Settings.h"
#include "core/HeadingMatcher.h"

#include <QStringEncoder>
#include <QTest>

// The built-in volume pattern beside the built-in title pattern: what a reader calls a volume
// or part is one, running text that begins like one is not.
class tst_HeadingMatcher : public QObject {
    Q_OBJECT

private slots:
    void defaultPatterns_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("volume"); // the heading as listed; empty: no volume
        QTest::addColumn<int>("number");
        QTest::addColumn<int>("chapter"); // -1: no chapter title

        QTest::newRow("volume and title") << u"第一卷 风起"_qs << u"第一卷 风起"_qs << 1 << -1;
        QTest::newRow("indented, colon") << u"　　第十二卷：归途"_qs << u"第十二卷：归途"_qs << 12 << -1;
        QTest::newRow("title attached") << u"第三卷风雨"_qs << u"第三卷风雨"_qs << 3 << -1;
        QTest::newRow("卷 first") << u"卷三 江湖远"_qs << u"卷三 江湖远"_qs << 3 << -1;
        QTest::newRow("上卷") << u"上卷"_qs << u"上卷"_qs << 0 << -1;
        QTest::newRow("部") << u"第二部 天下"_qs << u"第二部 天下"_qs << 2 << -1;
        QTest::newRow("篇") << u"第一篇 序"_qs << u"第一篇 序"_qs << 1 << -1;
        QTest::newRow("part heading alone") << u"第一部分"_qs << u"第一部分"_qs << 1 << -1;
        QTest::newRow("part in brackets") << u"【第二部】"_qs << u"【第二部】"_qs << 2 << -1;
        QTest::newRow("part in brackets, named") << u"　【第三部】 风云"_qs << u"【第三部】 风云"_qs << 3 << -1;
        QTest::newRow("volume then chapter") << u"第一卷 风起 第一章 少年"_qs << u"第一卷 风起"_qs << 1 << 1;
        QTest::newRow("chapter first is a chapter only") << u"第一章 第一卷"_qs << QString() << 0 << 1;

        // Running text that starts like a heading.
        QTest::newRow("部队") << u"第九部队的士兵冲了上去。"_qs << QString() << 0 << -1;
        QTest::newRow("部分 in a sentence") << u"第三部分的内容我们稍后再谈"_qs << QString() << 0 << -1;
        QTest::newRow("部门") << u"第三部门负责此事"_qs << QString() << 0 << -1;
        QTest::newRow("集团") << u"第二集团军开进了城"_qs << QString() << 0 << -1;
        QTest::newRow("篇幅") << u"第一篇幅太长"_qs << QString() << 0 << -1;
        QTest::newRow("a sentence") << u"第一卷书看完了，他又拿起一本。"_qs << QString() << 0 << -1;
        QTest::newRow("not at the start") << u"他读到第三卷的时候"_qs << QString() << 0 << -1;
        QTest::newRow("too long to be a heading")
            << u"第一卷 这是一句很长很长很长的话它比三十个字还要长得多得多得多得多得多的呀"_qs << QString() << 0 << -1;
    }

    void defaultPatterns()
    {
        QFETCH(QString, line);
        QFETCH(QString, volume);
        QFETCH(int, chapter);
        HeadingMatcher m(Settings::defaultTitleText(), Settings::defaultVolumeText());
        QVERIFY(m.title.isValid() && m.volume.isValid());
        QCOMPARE(m.match(line), !volume.isEmpty() || chapter >= 0);
        QCOMPARE(m.isVolume, !volume.isEmpty());
        QCOMPARE(m.isTitle, chapter >= 0);
        if (m.isVolume) {
            QCOMPARE(m.volume.matchedText().trimmed(), volume);
            QVERIFY(!m.volume.ChaptorTitle().contains(u'】')); // the bracket is no part of its name
            QTEST(int(m.volume.ChaptorNum()), "number");
        }
        if (m.isTitle) {
            QCOMPARE(int(m.title.ChaptorNum()), chapter);
        }
    }

    // config.ini keeps 254 bytes of a value: the built-in pattern must survive being saved.
    void defaultVolumePattern_fitsAnIniValue()
    {
        QStringEncoder gb18030("GB18030");
        QVERIFY(QByteArray(gb18030.encode(Settings::defaultVolumeText())).size() <= 254);
    }
};

QTEST_GUILESS_MAIN(tst_HeadingMatcher)
#include "tst_headingmatcher.moc"
