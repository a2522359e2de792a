#include "core/FileName.h"

#include <QTest>

using namespace Qt::StringLiterals;

class tst_FileName : public QObject {
    Q_OBJECT

private slots:
    void makeFileName_fillsTemplate_data();
    void makeFileName_fillsTemplate();
    void isLegalFileName_data();
    void isLegalFileName();
};

void tst_FileName::makeFileName_fillsTemplate_data() {
    QTest::addColumn<QString>("outFile");
    QTest::addColumn<qint32>("number");
    QTest::addColumn<qint16>("chapNum");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("expected");

    auto row = [](const char* name, const QString& tpl, qint32 n, qint16 c, const QString& t,
                  const QString& e) { QTest::newRow(name) << tpl << n << c << t << e; };
    row("chapter and title", u"%chap3%-%title%"_s, 1, 7, u"风起"_s, u"007-风起.txt"_s);
    row("id, chap, illegal title", u"%id3%-%chap%_%title%"_s, 12, 7, u"问答?"_s, u"012-007_问答.txt"_s);
    row("empty template", QString(), 3, 3, u"x"_s, u".txt"_s);
    row("id no digit is 3", u"%id%"_s, 12, 0, {}, u"012.txt"_s);
    row("id digit 0 is 3", u"%id0%"_s, 12, 0, {}, u"012.txt"_s);
    row("id1 never cuts", u"%id1%"_s, 12, 0, {}, u"12.txt"_s);
    row("width 5", u"%chap5%"_s, 0, 42, {}, u"00042.txt"_s);
    row("wider number kept whole", u"(%chap3%)%title%"_s, 1, 1234, u"长"_s, u"(1234)长.txt"_s);
    row("capitals are literal", u"%ID%-%Title%"_s, 5, 0, u"t"_s, u"%ID%-%Title%.txt"_s);
    row("same placeholder twice", u"%id%%id%"_s, 5, 0, {}, u"005005.txt"_s);
    row("mixed widths", u"%chap%-%chap1%-%chap%"_s, 0, 7, {}, u"007-7-007.txt"_s);
    row("two digits stay literal", u"%id12%%chap10%"_s, 5, 5, {}, u"%id12%%chap10%.txt"_s);
    row("chapter 0", u"%chap%"_s, 1, 0, {}, u"000.txt"_s);
    row("percent before placeholder", u"%%id%%"_s, 5, 0, {}, u"%005%.txt"_s);
    row("id filled before chap", u"%chap%id%"_s, 5, 9, {}, u"%chap005.txt"_s);
    row("unclosed at the end", u"a%id5"_s, 5, 0, {}, u"a%id5.txt"_s);
    row("negative chapter", u"%chap%"_s, 1, -5, {}, u"-005.txt"_s);
    row("negative narrow", u"%id1%"_s, -5, 0, {}, u"-5.txt"_s);
    row("title slash and colon", u"%title%"_s, 1, 1, u"a/b:c"_s, u"abc.txt"_s);
    row("all nine stripped", u"%title%"_s, 1, 1, u"a\\b/c:d*e?f\"g<h>i|j"_s, u"abcdefghij.txt"_s);
    row("full-width forms kept", u"%title%"_s, 1, 1, u"问：答？"_s, u"问：答？.txt"_s);
    row("title placeholders literal", u"%id%_%title%"_s, 5, 1, u"%title%%id%%chap%"_s,
        u"005_%title%%id%%chap%.txt"_s);
    row("control chars stripped", u"%title%"_s, 1, 1,
        (u"a\tb\nc\rd\x7f"
         u"e"_s) +
            QChar(0) + u"f"_s,
        u"abcdef.txt"_s);
    row("dot title stays a file", u"%title%"_s, 1, 1, u".."_s, u"...txt"_s);
    // Cut first, strip after: illegal characters inside the first 80 shorten the name.
    row("cut before strip", u"%title%"_s, 1, 1, QString(10, u'?') + QString(80, u'x'),
        QString(70, u'x') + u".txt"_s);
    row("90 chars cut to 80", u"%id%-%title%"_s, 1, 1, QString(86, u'y'),
        u"001-"_s + QString(76, u'y') + u".txt"_s);
    row("split surrogate dropped", u"%title%"_s, 1, 1, QString(79, u'a') + u"\U00020000b"_s,
        QString(79, u'a') + u".txt"_s);
}

void tst_FileName::makeFileName_fillsTemplate() {
    QFETCH(QString, outFile);
    QFETCH(qint32, number);
    QFETCH(qint16, chapNum);
    QFETCH(QString, title);
    QFETCH(QString, expected);
    QCOMPARE(MakeFileName(outFile, number, chapNum, title), expected);
}

void tst_FileName::isLegalFileName_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("legal");

    QTest::newRow("empty") << QString() << true;
    QTest::newRow("chinese") << u"第一章 风起.txt"_s << true;
    QTest::newRow("full-width question mark") << u"问答？"_s << true;
    QTest::newRow("three dots") << u"..."_s << true;
    QTest::newRow("hidden name") << u".txt"_s << true;
    QTest::newRow("dot") << u"."_s << false;
    QTest::newRow("dot dot") << u".."_s << false;
    const QString illegal = u"\\/:*?\"<>|"_s;
    for (QChar c : illegal)
        QTest::addRow("illegal %c", c.toLatin1()) << u"ab"_s + c + u"cd"_s << false;
    QTest::newRow("tab") << u"a\tb"_s << false;
    QTest::newRow("nul") << (u"a"_s + QChar(0)) << false;
    QTest::newRow("del") << u"a\x7f"_s << false;
}

void tst_FileName::isLegalFileName() {
    QFETCH(QString, name);
    QFETCH(bool, legal);
    QCOMPARE(IsLegalFileName(name), legal);
    // Stripping always yields what the check accepts, unless only the dot rule objects.
    if (name != u"." && name != u"..")
        QVERIFY(IsLegalFileName(StripIllegalChars(name)));
    QCOMPARE(StripIllegalChars(name) == name, legal || name == u"." || name == u"..");
}

QTEST_GUILESS_MAIN(tst_FileName)
#include "tst_filename.moc"
