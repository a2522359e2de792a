#include "Corpus.h"

#include "config/Settings.h"
#include "core/GbkCodec.h"
#include "core/ScriptConverter.h"
#include "core/ScriptSample.h"
#include "core/cRegExp.h"
#include "output/RawLineTest.h"

#include <QFile>
#include <QTest>

// The raw-byte test lets a line out without decoding it: it must never pass a line that the
// filters, the blank-line rule or conversion would change.
class tst_RawLineTest : public QObject {
    Q_OBJECT

    static QByteArray gbk(const QString& s) { return GbkCodec::gb18030().encode(s); }

private slots:
    void judgesLineFromItsBytes_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<bool>("plain");
        const QString body = u"他走了很远的路才到"_qs; // nine characters: the eight-pair steps and a tail
        QTest::newRow("Chinese text") << gbk(u"　　"_qs + body + u"。"_qs) << true;
        QTest::newRow("a filter's first character") << gbk(body + u"广场"_qs) << false;
        QTest::newRow("a filter's first character in the tail") << gbk(body + body + u"等"_qs) << false;
        QTest::newRow("letters at the start") << gbk(u"ab"_qs + body) << false;
        QTest::newRow("letters after eight characters") << gbk(body.left(8) + u"ab"_qs + body) << false;
        QTest::newRow("letters in the tail") << gbk(body + u"ab"_qs) << false;
        QTest::newRow("odd length") << gbk(body + u"a"_qs) << false;
        QTest::newRow("ideographic spaces only") << gbk(u"　　　　"_qs) << false;
        QTest::newRow("filter characters only") << gbk(u"告告告告告告告告告告"_qs) << false;
        QTest::newRow("characters outside GB2312") << gbk(u"　　他們說這樣"_qs + body) << true;
        QTest::newRow("a byte no pair has") << gbk(body) + QByteArray("\xFF\xA1") << false;
        QTest::newRow("a four-byte character") << gbk(body) + QByteArray("\x81\x30\x81\x30") << false;
    }

    void judgesLineFromItsBytes()
    {
        QFETCH(QByteArray, line);
        QFETCH(bool, plain);
        cRegExp re;
        re.SetFilters(QString(), Settings::defaults().TextFilters); // (过滤字符串), 广告, 等等
        RawLineTest test;
        test.build(GbkCodec::gb18030(), re, true);
        bool swap = false;
        QCOMPARE(test.isPlain(line, false, &swap), plain);
        QVERIFY(!swap);
    }

    // Every line of the corpus's GBK novels that the test lets out, with and without conversion,
    // is one the decoding path would write unchanged (or, swapped, as it would write it); and
    // many lines are let out, or the shortcut would be lost without a test noticing.
    void plainLinesAreWhatDecodingWouldWrite_data()
    {
        QTest::addColumn<QString>("novel");
        QTest::addColumn<bool>("convert");
        for (const char* name : {"hongloumeng_trad_in_gbk.txt", "xiyouji_gb.txt", "rulinwaishi_gbk.txt"}) {
            QTest::addRow("%s", name) << QString::fromLatin1(name) << false;
            QTest::addRow("%s, converted", name) << QString::fromLatin1(name) << true;
        }
    }

    void plainLinesAreWhatDecodingWouldWrite()
    {
        QFETCH(QString, novel);
        QFETCH(bool, convert);
        const QString path = corpusPath(novel);
        VELLOMAR_REQUIRE_CORPUS(path);
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const TextCodec& codec = GbkCodec::gb18030();
        cRegExp re;
        re.SetFilters(QString(), Settings::defaults().TextFilters);
        RawLineTest test;
        test.build(codec, re, true);
        const ScriptConverter& t2s = ScriptConverter::traditionalToSimplified();
        QVERIFY2(t2s.isAvailable(), qPrintable(t2s.errorString()));
        int lines = 0, plain = 0, swapped = 0;
        QByteArray swappedBytes;
        while (!f.atEnd()) {
            QByteArray line = f.readLine();
            while (line.endsWith('\n') || line.endsWith('\r')) {
                line.chop(1);
            }
            ++lines;
            bool swap = false;
            if (!test.isPlain(line, convert, &swap)) {
                continue;
            }
            ++plain;
            QString text = codec.decode(line);
            QString filtered = text;
            re.FilterString(filtered);
            QCOMPARE(filtered, text);
            QVERIFY2(!re.IsSpaceLine(text), line.constData());
            QByteArray expected = line;
            if (convert && lineWantsConversion(text)) {
                QString simple = t2s.convert(text);
                for (qsizetype i = 0; i < simple.size(); ++i) {
                    if (!codec.canEncode(simple[i].unicode())) {
                        simple[i] = text[i];
                    }
                }
                expected = codec.encode(simple);
            }
            if (swap) {
                ++swapped;
                test.swapPairs(line, swappedBytes);
                QCOMPARE(swappedBytes, expected);
            } else {
                QCOMPARE(line, expected);
            }
        }
        QVERIFY(lines > 1000);
        if (convert && novel.contains(u"trad"_qs)) {
            // Most lines of a traditional novel need the phrases; those that need none swap pairs.
            QVERIFY2(swapped > 20, qPrintable(QString::number(swapped)));
        } else {
            // These novels' long paragraphs often hold 广 or 等, which a filter starts with.
            QVERIFY2(plain > lines / 5, qPrintable(QStringLiteral("%1 of %2").arg(plain).arg(lines)));
        }
    }
};

QTEST_GUILESS_MAIN(tst_RawLineTest)
#include "tst_rawlinetest.moc"
