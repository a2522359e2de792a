#include "config/Settings.h"
#include "core/cRegExp.h"

#include <QTest>

class tst_cRegExp : public QObject {
    Q_OBJECT

private slots:
    void defaultPattern_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("matches");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("title");
        QTest::newRow("plain") << u"第十二章 风起"_qs << true << 12 << u"风起"_qs;
        QTest::newRow("no title") << u"第二十章"_qs << true << 20 << QString();
        QTest::newRow("section word") << u"第一百零三节"_qs << true << 103 << QString();
        QTest::newRow("leading ten") << u"第十章"_qs << true << 10 << QString();
        QTest::newRow("full-width") << u"第１２章"_qs << true << 12 << QString();
        QTest::newRow("circle zero") << u"第○五章"_qs << true << 5 << QString();
        QTest::newRow("financial") << u"第壹佰章"_qs << true << 100 << QString();
        QTest::newRow("grass typo") << u"第12草"_qs << true << 12 << QString();
        QTest::newRow("overflow") << u"第40000章"_qs << true << 0 << QString();
        QTest::newRow("ideographic spaces") << u"　　第三章　离别"_qs << true << 3 << u"离别"_qs;
        QTest::newRow("not anchored") << u"他读到第三章的时候"_qs << true << 3 << u"的时候"_qs;
        QTest::newRow("thousands") << u"第一千零一章 归来"_qs << true << 1001 << u"归来"_qs;
        QTest::newRow("ideographic zero") << u"第一〇二章 x"_qs << true << 102 << u"x"_qs;
        QTest::newRow("liang") << u"第两千章"_qs << true << 2000 << QString();
        QTest::newRow("ascii spaces trimmed, tab kept") << u"第1章 \t标题  "_qs << true << 1 << u"标题"_qs;
        QTest::newRow("hui is not in the default") << u"第一回 灵根"_qs << false << 0 << QString();
        QTest::newRow("plain text") << u"他说了一句话"_qs << false << 0 << QString();
    }

    void defaultPattern()
    {
        QFETCH(QString, line);
        QFETCH(bool, matches);
        QFETCH(int, number);
        QFETCH(QString, title);
        cRegExp re;
        re.InitRegexp(Settings::defaultTitleText());
        QVERIFY(re.isValid());
        QCOMPARE(re.GetMatch(line), matches);
        if (matches) {
            QCOMPARE(re.ChaptorTitle(), title);
            QCOMPARE(int(re.ChaptorNum()), number);
            QCOMPARE(int(re.ChaptorNum()), number); // reading twice gives the same
        }
    }

    void currentMatch_survivesMiss()
    {
        cRegExp re;
        QCOMPARE(int(re.ChaptorNum()), 0); // nothing matched yet
        QCOMPARE(re.ChaptorTitle(), QString());
        re.InitRegexp(Settings::defaultTitleText());
        QVERIFY(re.GetMatch(u"第五章 甲"_qs));
        QVERIFY(!re.GetMatch(u"正文"_qs));
        QCOMPARE(int(re.ChaptorNum()), 5);
        QCOMPARE(re.ChaptorTitle(), u"甲"_qs);
    }

    void engineBehaviour()
    {
        cRegExp re;
        // Case-insensitive, one group only: the title reads empty, never fails.
        re.InitRegexp(u"chapter (\\d+)"_qs);
        QVERIFY(re.GetMatch(u"CHAPTER 7 x"_qs));
        QCOMPARE(int(re.ChaptorNum()), 7);
        QCOMPARE(re.ChaptorTitle(), QString());
        // A group that did not take part reads as empty.
        re.InitRegexp(u"第(\\d+)章(?:(x)|y)"_qs);
        QVERIFY(re.GetMatch(u"第3章y"_qs));
        QCOMPARE(re.ChaptorTitle(), QString());
        // \s is the ASCII set: U+3000 is not white space for it.
        re.InitRegexp(u"^\\s+(1)(x)"_qs);
        QVERIFY(!re.GetMatch(u"　1x"_qs));
        QVERIFY(re.GetMatch(u" \t1x"_qs));
        // The leftmost match wins.
        re.InitRegexp(u"(\\d)(.)"_qs);
        QVERIFY(re.GetMatch(u"a1b2c"_qs));
        QCOMPARE(re.ChaptorTitle(), u"b"_qs);
    }

    void invalidPattern_failsWithMessage()
    {
        cRegExp re;
        re.InitRegexp(u"第(["_qs);
        QVERIFY(!re.isValid());
        QVERIFY(!re.GetMatch(u"第一章"_qs));
        QVERIFY(re.errorString().contains(u"正则表达式"_qs));
    }

    void numerals_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value");
        const QList<std::pair<const char16_t*, int>> rows = {
            {u"一百二十三", 123}, {u"一百零五", 105}, {u"十五", 15}, {u"十", 10}, {u"二十", 20},
            {u"二百十五", 215}, {u"一百五", 105}, {u"一千零一", 1001}, {u"三千二", 3002},
            {u"一百一", 101}, {u"一百九", 109}, {u"一百十", 110}, {u"一百一十", 110}, {u"一百十一", 111},
            {u"两千零五", 2005}, {u"兩百", 200}, {u"一千零五十", 1050}, {u"一万", 10000},
            {u"两万三", 23000}, {u"三万二千七百六十七", 32767}, {u"三万二千七百六十八", 0},
            {u"十万", 0}, {u"壹佰", 100}, {u"壹仟贰佰叁拾肆", 1234}, {u"拾", 10}, {u"萬", 10000},
            {u"一〇二", 102}, {u"一二零", 120}, {u"○五", 5}, {u"０１２", 12}, {u"0012", 12},
            {u"12", 12}, {u"1百2十", 120}, {u"Ｏ", 0}, {u"  7  ", 7}, {u"", 0}, {u"   ", 0},
            {u"abc", 0}, {u"40000", 0}, {u"99999999999999999999", 0}, {u"千", 1000},
            {u"一百五000000000000000000000", 0}, // a long run of zeros is too big, never an overflow
        };
        for (const auto& [text, value] : rows) {
            QTest::newRow(QString::fromUtf16(text).toUtf8().constData()) << QString::fromUtf16(text) << value;
        }
    }

    void numerals()
    {
        QFETCH(QString, text);
        QFETCH(int, value);
        QCOMPARE(int(cRegExp::ParseChaptorNum(text)), value);
    }

    // Where a numeral reads two ways the chapter before decides; elsewhere it does not matter.
    void numerals_bySequence_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("previous");
        QTest::addColumn<int>("value");
        QTest::newRow("heading reading goes on") << u"一百一"_qs << 100 << 101;
        QTest::newRow("spoken reading goes on") << u"一百五"_qs << 149 << 150;
        QTest::newRow("spoken reading after a gap") << u"一百五"_qs << 147 << 150;
        QTest::newRow("no chapter before") << u"一百五"_qs << 0 << 105;
        QTest::newRow("thousands") << u"一千二"_qs << 1199 << 1200;
        QTest::newRow("one reading only") << u"一百一十"_qs << 101 << 110;
        QTest::newRow("ten-thousands stay spoken") << u"两万三"_qs << 5 << 23000;
    }

    void numerals_bySequence()
    {
        QFETCH(QString, text);
        QFETCH(int, previous);
        QFETCH(int, value);
        QCOMPARE(int(cRegExp::ParseChaptorNum(text, qint16(previous))), value);
    }

    void filters()
    {
        cRegExp re;
        re.SetFilters(u"广告\r\n等等"_qs, QString());
        QString line = u"广告abc等等"_qs;
        QCOMPARE(re.FilterString(line), u"abc"_qs);
        QCOMPARE(line, u"abc"_qs); // changed in place too
        // Removal is sequential: a later filter sees what an earlier removal joined.
        re.SetFilters(u"xy\r\nab"_qs, QString());
        line = u"axyb"_qs;
        QCOMPARE(re.FilterString(line), QString());
        // Empty text takes the configured list; empty pieces are kept but skipped.
        re.SetFilters(QString(), u"(过滤字符串)\r\n\r\n广告\r\n"_qs);
        QCOMPARE(re.filters().size(), 4);
        line = u"看广告"_qs;
        QCOMPARE(re.FilterString(line), u"看"_qs);
        // No filters at all: lines come back unchanged.
        re.SetFilters(QString(), QString());
        QVERIFY(!re.hasFilters());
        line = u"广告"_qs;
        QCOMPARE(re.FilterString(line), u"广告"_qs);
        // Case-sensitive.
        re.SetFilters(u"AD"_qs, QString());
        line = u"ad AD"_qs;
        QCOMPARE(re.FilterString(line), u"ad "_qs);
    }

    void spaceLine_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("blank");
        QTest::newRow("empty") << QString() << true;
        QTest::newRow("spaces and ideographic") << u"  　 "_qs << true;
        QTest::newRow("tab") << u" \t "_qs << false;
        QTest::newRow("filter and spaces") << u"  广告 　"_qs << true;
        QTest::newRow("filter joined by U+3000 removal") << u"广　告"_qs << true;
        QTest::newRow("text") << u"　　他说"_qs << false;
        QTest::newRow("cr lf inside") << u"\r\n"_qs << true;
        QTest::newRow("filter char alone is text") << u"广"_qs << false;
    }

    void spaceLine()
    {
        QFETCH(QString, line);
        QFETCH(bool, blank);
        cRegExp re;
        re.SetFilters(u"广告\r\n等等"_qs, QString());
        QCOMPARE(re.IsSpaceLine(line), blank);
    }

    void simplified_keepsLength_data()
    {
        QTest::addColumn<QString>("traditional");
        QTest::addColumn<QString>("simplified");
        QTest::newRow("words") << u"甄士隱夢幻識通靈"_qs << u"甄士隐梦幻识通灵"_qs;
        QTest::newRow("already simplified") << u"第一章 风起"_qs << u"第一章 风起"_qs;
        QTest::newRow("mixed with ascii") << u"abc 國家 123"_qs << u"abc 国家 123"_qs;
        QTest::newRow("nul inside") << (u"國"_qs + QChar(0) + u"家"_qs) << (u"国"_qs + QChar(0) + u"家"_qs);
        QTest::newRow("empty") << QString() << QString();
    }

    void simplified_keepsLength()
    {
        QFETCH(QString, traditional);
        QFETCH(QString, simplified);
        const QString got = cRegExp::GetSimpleStr(traditional);
        QCOMPARE(got, simplified);
        QCOMPARE(got.size(), traditional.size());
    }

    void traditional_keepsLength()
    {
        const QString s = u"国家发展"_qs;
        const QString t = cRegExp::GetTraditionStr(s);
        QCOMPARE(t.size(), s.size());
        QCOMPARE(t, u"國家發展"_qs);
    }
};

QTEST_GUILESS_MAIN(tst_cRegExp)
#include "tst_cregexp.moc"
