#include "Corpus.h"

#include "config/Settings.h"
#include "core/GbkCodec.h"
#include "core/Reflow.h"
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

    // 重新分段 joins the lines the test lets out from their bytes: every paragraph must come
    // out as decoding, joining and the later steps would write it, whatever mix of lines makes
    // it: indents and trailing blanks, sentence ends, marks that may not start or end a line,
    // rules, ASCII, Greek words (a space between), a line ending in half a character, a
    // filter's first character, characters outside GB2312, a four-byte character, and
    // characters conversion changes; lines measured in columns or in characters.
    void joiningFromBytes_writesWhatDecodingWould_data()
    {
        QTest::addColumn<int>("codec");
        QTest::addColumn<bool>("convert");
        QTest::addColumn<int>("profile"); // 0: indents say nothing, 1: they mark paragraphs, 2: every line has one, 3: in characters
        for (const TextCodec::Id id : {TextCodec::Gbk, TextCodec::Gb18030, TextCodec::Big5}) {
            for (int i = 0; i < 8; ++i) {
                QTest::addRow("%s, profile %d%s", qPrintable(TextCodec::forId(id).name()), i % 4, i < 4 ? "" : ", converted")
                    << int(id) << (i >= 4) << i % 4;
            }
        }
    }

    void joiningFromBytes_writesWhatDecodingWould()
    {
        QFETCH(int, codec);
        QFETCH(bool, convert);
        QFETCH(int, profile);
        const auto& c = static_cast<const GbkCodec&>(TextCodec::forId(TextCodec::Id(codec)));
        // Lines of ten characters (twenty columns) but for the ends of paragraphs; '#' marks a title.
        const QStringList text = {
            u"#第一回　天下大事"_qs, u"　　玄德收兵回城，太"_qs, u"守出城相迎，設宴款待"_qs, u"三人。"_qs,
            u"　　天下大勢，分久必"_qs, u"，合久必分。"_qs, u""_qs, u"　　　　"_qs,
            u"玄德曰：「吾乃中山靖"_qs, u"王之後，欲破賊安民。」"_qs, u"他念道 hello and"_qs, u"welcome，眾人大笑"_qs,
            u"。眾人齊聲高唱道αβγ"_qs, u"δεζ，聲震四野……"_qs, u"且說那城門前等候的眾"_qs, u"人，都散去了。"_qs,
            u"＊＊＊＊＊＊＊＊＊＊"_qs, u"他們說這樣做不行，還"_qs, u"是回去吧——"_qs, u"　　　　天下英雄誰可敵。"_qs,
            u"　　張飛大怒，拍案起。"_qs, u"次日太守出城相迎，設"_qs, u"宴款待。"_qs, u"　　一二三四五六七八"_qs,
            u"　　九十，天下大同。"_qs, u"玄德收兵回城，太守出　"_qs, u"　城相迎。"_qs, u"#第二回　兄弟"_qs,
            u"　　一二三四五六七八"_qs, u"　　九十，天下大同，《"_qs, u"　　三國》。"_qs, u"他走了很遠的路才到城"_qs,
            u"城下，眾人迎接。"_qs, u"他走了很遠的路才到城"_qs, u"下，眾人迎接。"_qs,
            u"一二三四五六七八九十"_qs, u"，天下太平。ＡＢＣ"_qs};
        QList<QByteArray> lines;
        QVector<bool> titles;
        for (const QString& t : text) {
            titles << t.startsWith(u'#');
            lines << c.encode(titles.last() ? t.mid(1) : t);
            QCOMPARE(c.decode(lines.last()), titles.last() ? t.mid(1) : t); // every character held
        }
        lines[31].chop(1); // ends in half a character
        lines[33] += QByteArray("\x81\x30\x81\x30"); // a four-byte character (escapes but in GB18030)
        WrapProfile wrap;
        wrap.wrapped = true;
        wrap.measure = profile == 3 ? WrapMeasure::Characters : WrapMeasure::Columns;
        wrap.width = profile == 3 ? 10 : 20;
        wrap.indentMarksParagraphs = profile == 1;
        wrap.everyLineIndented = profile == 2;

        cRegExp re;
        re.SetFilters(QString(), Settings::defaults().TextFilters); // (过滤字符串), 广告, 等等
        RawLineTest test;
        test.build(c, re, true);
        ParagraphJoiner decoding(wrap);
        ParagraphJoiner fromBytes(wrap, &c);
        QList<ReflowParagraph> expected, joined;
        ReflowParagraph p;
        QString buffer;
        int pairLines = 0;
        for (qsizetype i = 0; i <= lines.size(); ++i) {
            const bool end = i == lines.size();
            if (!end) {
                c.decode(lines[i].constData(), lines[i].size(), buffer);
            }
            if (end ? decoding.finish(p) : decoding.push(buffer, i + 1, titles[i], p)) {
                expected << p;
            }
            const bool pairs = !end && test.isJoinable(lines[i], convert);
            pairLines += pairs;
            if (!end && !pairs) {
                c.decode(lines[i].constData(), lines[i].size(), buffer);
            }
            if (end ? fromBytes.finish(p)
                    : pairs ? fromBytes.pushPairs(lines[i], i + 1, titles[i], p)
                            : fromBytes.push(buffer, i + 1, titles[i], p)) {
                joined << p;
            }
        }

        const ScriptConverter& t2s = ScriptConverter::traditionalToSimplified();
        QVERIFY2(t2s.isAvailable(), qPrintable(t2s.errorString()));
        QCOMPARE(joined.size(), expected.size());
        int joinedAsBytes = 0;
        for (qsizetype i = 0; i < joined.size(); ++i) {
            const ReflowParagraph& x = expected[i];
            const ReflowParagraph& y = joined[i];
            QCOMPARE(QList<qint64>({y.line, y.lines, y.title}), QList<qint64>({x.line, x.lines, x.title}));
            if (!y.inPairs) {
                QCOMPARE(y.text, x.text);
                continue;
            }
            // Written as they stand: the bytes are the text's, and no later step would change it.
            joinedAsBytes += y.lines > 1;
            QCOMPARE(y.bytes, c.encode(x.text));
            QString filtered = x.text;
            QCOMPARE(re.FilterString(filtered), x.text);
            QVERIFY(!re.IsSpaceLine(x.text));
            if (convert && lineWantsConversion(x.text)) {
                QString simple = t2s.convert(x.text);
                for (qsizetype k = 0; k < simple.size(); ++k) {
                    if (!c.canEncode(simple[k].unicode())) {
                        simple[k] = x.text[k]; // kept, as the pass keeps what the file cannot hold
                    }
                }
                QCOMPARE(simple, x.text);
            }
        }
        const auto tally = [](const ParagraphJoiner& j) {
            QStringList t{QString::number(j.tally().joins), QString::number(j.tally().paragraphs)};
            for (const ReflowExample& x : j.tally().examples) {
                t << QString::number(x.line) << x.before << x.after;
            }
            return t;
        };
        QCOMPARE(tally(fromBytes), tally(decoding));
        // The paragraphs joined from bytes alone are the shortcut's point: many must be.
        QVERIFY2(pairLines >= 12, qPrintable(QString::number(pairLines)));
        QVERIFY2(joinedAsBytes >= (convert ? 1 : 3), qPrintable(QString::number(joinedAsBytes)));
        if (profile == 0 && !convert) {
            // Built by hand: the first paragraph, joined from bytes.
            QVERIFY(joined[1].inPairs);
            QCOMPARE(joined[1].bytes, c.encode(u"　　玄德收兵回城，太守出城相迎，設宴款待三人。"_qs));
        }
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
