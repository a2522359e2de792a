#include "OutputPassTest.h"

#include "config/ReplaceRules.h"
#include "core/PathClaims.h"

#include "FileSizeLimit.h"
#include "OpenCC.h"

#include <QRegularExpression>
#include <QRandomGenerator>
#include <QStringEncoder>

#include <sys/stat.h>
#include <unistd.h>

class tst_OutputPass : public OutputPassTest {
    Q_OBJECT

private slots:
    void init() { newFolder(); }

    // The filter strings' changes are counted like a rule's (with examples) and told in the
    // completion notice; a pass they did not touch says what it always said.
    void filters_countedAndTold_data()
    {
        QTest::addColumn<bool>("delSpaceLine");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("notice");
        QTest::addColumn<QString>("report");
        const QString done = u"输出完成，共: 1 个文件!"_qs;
        QTest::newRow("a word inside a line")
            << false << QStringList{u"第1章 甲"_qs, u"是无等等咒"_qs, u"无关"_qs}
            << done + u"\r\n字符过滤修改了 1 行，例如第 2 行：“是无等等咒” → “是无咒”"_qs
            << u"[字符过滤] 修改 1 行，删除 0 行\n  第 2 行: 是无等等咒\n    → 是无咒"_qs;
        QTest::newRow("a line of filter strings, blank lines dropped")
            << true << QStringList{u"第1章 甲"_qs, u"广告 等等"_qs, u"等等看"_qs}
            << done + u"\r\n字符过滤修改了 2 行（其中 1 行因此成为空行，已删除），例如第 2 行：“广告 等等” → (删除)"_qs
            << u"[字符过滤] 修改 1 行，删除 1 行\n  第 2 行: 广告 等等\n    → (删除)\n  第 3 行: 等等看\n    → 看"_qs;
        QTest::newRow("nothing to filter") << true << QStringList{u"第1章 甲"_qs, u"等着"_qs} << done
                                           << u"没有修改或删除任何行"_qs;
    }

    void filters_countedAndTold()
    {
        QFETCH(bool, delSpaceLine);
        QFETCH(QStringList, lines);
        QFETCH(QString, notice);
        QFETCH(QString, report);
        Settings s = plain();
        s.FilesInDir = 0;
        s.DelSpaceLine = delSpaceLine;
        s.TextFilters = Settings::defaults().TextFilters; // 广告 and 等等
        Run r;
        run(r, writeNovel(text(lines)), s);
        QCOMPARE(r.result.kind, OutputResult::Done);
        QCOMPARE(r.host.notices, QStringList{notice});
        QVERIFY2(r.result.ledger.text().contains(report), qPrintable(r.result.ledger.text()));
    }

    // 重新分段: a hard-wrapped novel's chapters come out one paragraph a line, the titles apart,
    // every join in the ledger and the notice; off, the analysis suggests it and the bytes stay
    // as they were; a novel that is not hard-wrapped is written byte for byte either way. Joined
    // paragraphs of a traditional novel are converted as lines are (儸 -> 㑩, which GBK cannot
    // hold, stays as it was).
    void reflow_joinsWrappedNovelsOnly_data()
    {
        QTest::addColumn<bool>("wrapped");
        QTest::addColumn<bool>("on");
        QTest::addColumn<bool>("traditional");
        QTest::newRow("hard-wrapped, on") << true << true << false;
        QTest::newRow("hard-wrapped, off") << true << false << false;
        QTest::newRow("not wrapped, on") << false << true << false;
        QTest::newRow("hard-wrapped traditional, on") << true << true << true;
    }

    void reflow_joinsWrappedNovelsOnly()
    {
        QFETCH(bool, wrapped);
        QFETCH(bool, on);
        QFETCH(bool, traditional);
        const QStringList body = traditional
            ? QStringList{u"精兵五百，命先鋒張飛"_qs, u"引兵追趕。賊眾大敗，"_qs, u"四散奔走。"_qs,
                          u"玄德收兵回城，眾將各"_qs, u"自領賞儸。"_qs, u"次日，太守親自出城迎"_qs,
                          u"接，設宴款待三人。"_qs, u"關公提刀上馬，直取敵"_qs, u"將，斬於馬下。"_qs}
            : wrapped
            ? QStringList{u"精兵五百，命先锋张飞"_qs, u"引兵追赶。贼众大败，"_qs, u"四散奔走。"_qs,
                          u"玄德收兵回城，众将各"_qs, u"自领赏。"_qs, u"次日，太守亲自出城迎"_qs,
                          u"接，设宴款待三人。"_qs, u"关公提刀上马，直取敌"_qs, u"将，斩于马下。"_qs}
            : QStringList{u"话说天下大势，分久必合，合久必分。周末七国分争，并入于秦。"_qs,
                          u"汉朝自高祖斩白蛇而起义，一统天下。"_qs, u"推其致乱之由，殆始于桓、灵二帝。"_qs};
        const QStringList joined = {u"精兵五百，命先锋张飞引兵追赶。贼众大败，四散奔走。"_qs,
                                    traditional ? u"玄德收兵回城，众将各自领赏儸。"_qs : u"玄德收兵回城，众将各自领赏。"_qs,
                                    u"次日，太守亲自出城迎接，设宴款待三人。"_qs,
                                    u"关公提刀上马，直取敌将，斩于马下。"_qs};
        const QStringList novel = QStringList{u"第1章 甲"_qs} + body + QStringList{u"第2章 乙"_qs} + body;
        Settings s = plain();
        s.FilesInDir = 0;
        s.Reflow = on;
        s.ConvertToSimple = traditional;
        Run r;
        r.doc.setEncodingChoice(false, TextCodec::Gbk); // GB18030 would hold 㑩
        run(r, writeNovel(text(novel)), s);
        QCOMPARE(r.result.kind, OutputResult::Done);
        const bool joins = wrapped && on;
        const QStringList written = joins ? joined : body;
        const Tree expected = {{u"001-甲.txt"_qs, text(QStringList{u"第1章 甲"_qs} + written)},
                               {u"002-乙.txt"_qs, text(QStringList{u"第2章 乙"_qs} + written)}};
        QCOMPARE(tree(r.root), expected);
        const bool suggested = std::any_of(r.host.statuses.cbegin(), r.host.statuses.cend(),
                                           [](const QString& t) { return t.contains(u"建议开启“重新分段”"_qs); });
        QCOMPARE(suggested, wrapped && !on);
        QCOMPARE(r.host.notices.size(), 1);
        QCOMPARE(r.host.notices.first().contains(u"重新分段：10 处断行接回，合成 8 个段落"_qs), joins);
        QCOMPARE(r.host.notices.first().contains(u"未接行"_qs), on && !wrapped);
        const QString report = r.result.ledger.text();
        QCOMPARE(report.contains(u"[重新分段] 修改 10 行"_qs), joins);
        QVERIFY2(!joins || report.contains(body[0] + u" / "_qs + body[1]), qPrintable(report));
    }

    void frontMatterAndChapters()
    {
        const QStringList lines = {u"书名"_qs, u"作者"_qs, u"第1章 甲"_qs, u"a1"_qs, u"第2章 乙"_qs, u"b1"_qs, u"b2"_qs};
        Settings s = plain();
        s.FilesInDir = 0;
        Run r;
        run(r, writeNovel(text(lines)), s);
        QCOMPARE(r.result.kind, OutputResult::Done);
        QCOMPARE(r.result.files, 2);
        const Tree expected = {
            {u"Index.txt"_qs, text(lines.mid(0, 2))},
            {u"001-甲.txt"_qs, text(lines.mid(2, 2))},
            {u"002-乙.txt"_qs, text(lines.mid(4, 3))},
        };
        QCOMPARE(tree(r.root), expected);
        QCOMPARE(r.host.notices, QStringList{u"输出完成，共: 2 个文件!"_qs});
        QCOMPARE(r.host.statuses.last(), u"输出完毕！"_qs);
        QCOMPARE(r.doc.DocState, int(Analysed));
        QCOMPARE(r.host.questions.size(), 1); // the folder question
        // A title on line 1: no front matter file.
        Run r2;
        QDir(r.root).removeRecursively();
        run(r2, writeNovel(text(lines.mid(2)), u"b.txt"_qs), s);
        QVERIFY(!tree(r2.root).contains(u"Index.txt"_qs));
        QCOMPARE(tree(r2.root).size(), 2);
    }

    void checkedRows_joinTheirChapter()
    {
        const QStringList lines = {u"前"_qs, u"第1章 甲"_qs, u"a"_qs, u"第2章 乙"_qs, u"b"_qs, u"第3章 丙"_qs, u"c"_qs};
        Settings s = plain();
        s.FilesInDir = 0;
        s.OutFile = QStringLiteral("%id3%-%chap%_%title%");
        {
            Run r;
            run(r, writeNovel(text(lines)), s, {2});
            const Tree expected = {
                {u"Index.txt"_qs, text(lines.mid(0, 1))},
                {u"001-001_甲.txt"_qs, text(lines.mid(1, 4))},
                {u"002-003_丙.txt"_qs, text(lines.mid(5, 2))}, // FileNo 2 although the ID is 3
            };
            QCOMPARE(tree(r.root), expected);
            QCOMPARE(r.result.files, 2);
            QDir(r.root).removeRecursively();
        }
        {
            Run r;
            run(r, writeNovel(text(lines)), s, {1});
            const Tree expected = {
                {u"Index.txt"_qs, text(lines.mid(0, 3))},
                {u"001-002_乙.txt"_qs, text(lines.mid(3, 2))},
                {u"002-003_丙.txt"_qs, text(lines.mid(5, 2))},
            };
            QCOMPARE(tree(r.root), expected);
            QDir(r.root).removeRecursively();
        }
        {
            // Every row checked: the whole text goes to Index.txt and no chapter file is made.
            Run r;
            run(r, writeNovel(text(lines)), s, {1, 2, 3});
            QCOMPARE(tree(r.root), (Tree{{u"Index.txt"_qs, text(lines)}}));
            QCOMPARE(r.host.notices, QStringList{u"输出完成，共: 0 个文件!"_qs});
        }
    }

    void filtersBlankLinesAndScript()
    {
        const QStringList lines = {u"廣告前言"_qs, u"　"_qs, u"第1章 甲"_qs, u"這是廣告內容"_qs, u"  广告  "_qs,
                                   u""_qs, u"國家"_qs};
        Settings s = plain();
        s.FilesInDir = 0;
        s.TextFilters = QStringLiteral(u"广告\r\n廣告");
        s.ConvertToSimple = true;
        {
            Run r;
            run(r, writeNovel(text(lines)), s);
            const Tree expected = {
                {u"Index.txt"_qs, text({u"前言"_qs, u"　"_qs})},                    // no conversion here
                {u"001-甲.txt"_qs, text({u"第1章 甲"_qs, u"这是内容"_qs, u"    "_qs, u""_qs, u"国家"_qs})},
            };
            QCOMPARE(tree(r.root), expected);
            QDir(r.root).removeRecursively();
        }
        {
            s.DelSpaceLine = true;
            Run r;
            run(r, writeNovel(text(lines)), s);
            const Tree expected = {
                {u"Index.txt"_qs, text({u"前言"_qs})},
                {u"001-甲.txt"_qs, text({u"第1章 甲"_qs, u"这是内容"_qs, u"国家"_qs})},
            };
            QCOMPARE(tree(r.root), expected);
        }
    }

    // Characters that convert alone and ones whose result depends on a phrase around them,
    // inside GB2312 and outside it, in random lines of a traditional novel: each line comes
    // out as OpenCC converts it, but for a line in simplified script (a character only
    // simplified script writes, none only traditional), which stays as it is.
    void conversion_eachLineAsOpenCCGivesIt()
    {
        const QStringList traditional = {u"稜"_qs, u"國"_qs, u"說"_qs, u"個"_qs, u"們"_qs, u"會"_qs, u"髮"_qs,
                                         u"發"_qs, u"隻"_qs, u"麵"_qs, u"乾淨"_qs, u"頭髮"_qs, u"會計"_qs};
        const QStringList simplified = {u"这"_qs, u"说"_qs};
        const QStringList either = {u"的"_qs, u"一"_qs, u"是"_qs, u"了"_qs, u"我"_qs, u"人"_qs, u"，"_qs,
                                    u"。"_qs, u"　"_qs, u"乾"_qs, u"著"_qs, u"於"_qs, u"乾隆"_qs, u"著作"_qs,
                                    u"看著"_qs, u"於是"_qs};
        const QStringList pieces = traditional + traditional + simplified + either;
        QRandomGenerator rng(20261208);
        QStringList lines = {u"第1章 甲"_qs};
        QList<bool> wanted = {true};
        for (int i = 0; i < 3000; ++i) {
            QString line;
            bool t = false, s = false;
            for (int k = 1 + rng.bounded(20); k > 0; --k) {
                const QString& piece = pieces.at(rng.bounded(int(pieces.size())));
                t = t || traditional.contains(piece);
                s = s || simplified.contains(piece);
                line += piece;
            }
            lines << line;
            wanted << (t || !s);
        }
        const QStringList converted = openccT2s(lines);
        QCOMPARE(converted.size(), lines.size()); // the opencc package is missing when this fails
        QStringList expected;
        for (qsizetype i = 0; i < lines.size(); ++i) {
            expected << (wanted.at(i) ? converted.at(i) : lines.at(i));
        }
        Settings s = plain();
        s.FilesInDir = 0;
        s.ConvertToSimple = true;
        Run r;
        run(r, writeNovel(text(lines)), s);
        QCOMPARE(tree(r.root).value(u"001-甲.txt"_qs), text(expected));
    }

    // Only a novel in traditional script is converted, and wherever its text goes the converted
    // characters go too: a Big5 novel is written in GB18030, its names converted as well; a
    // simplified novel comes out as it went in (names such as 孙乾 and 麴义 included).
    void conversion_onlyTraditionalNovels_data()
    {
        QTest::addColumn<int>("codec");
        QTest::addColumn<QString>("heading");
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expectedBody");
        QTest::addColumn<int>("outCodec");
        QTest::addColumn<QString>("note");
        QTest::newRow("Big5") << int(TextCodec::Big5) << u"第一回 劉備說話"_qs << u"　　這個國家，後來發達了。"_qs
                              << u"001-刘备说话.txt"_qs << u"　　这个国家，后来发达了。"_qs << int(TextCodec::Gb18030)
                              << u"按 GB18030 编码写出"_qs;
        QTest::newRow("GBK traditional") << int(TextCodec::Gbk) << u"第一回 劉備說話"_qs
                                         << u"　　這個國家，後來發達了。"_qs << u"001-刘备说话.txt"_qs
                                         << u"　　这个国家，后来发达了。"_qs << int(TextCodec::Gbk) << QString();
        // 儸 becomes 㑩, which GBK cannot hold: it stays as it was (乾, converted by context, takes
        // the line through conversion whole).
        QTest::newRow("GBK traditional, a form GBK lacks") << int(TextCodec::Gbk) << u"第一回 劉備說話"_qs
                                                           << u"　　這個嘍儸很乾淨。"_qs << u"001-刘备说话.txt"_qs
                                                           << u"　　这个喽儸很干净。"_qs << int(TextCodec::Gbk) << QString();
        QTest::newRow("GBK simplified") << int(TextCodec::Gbk) << u"第一回 孙乾说话"_qs
                                        << u"　　麴义说：舟将覆，这个国家。"_qs << u"001-孙乾说话.txt"_qs
                                        << u"　　麴义说：舟将覆，这个国家。"_qs << int(TextCodec::Gbk)
                                        << u"原文已是简体，未做繁简转换"_qs;
    }
    void conversion_onlyTraditionalNovels()
    {
        QFETCH(int, codec);
        QFETCH(QString, heading);
        QFETCH(QString, body);
        QFETCH(QString, name);
        QFETCH(QString, expectedBody);
        QFETCH(int, outCodec);
        QFETCH(QString, note);
        const TextCodec& in = TextCodec::forId(TextCodec::Id(codec));
        const TextCodec& out = TextCodec::forId(TextCodec::Id(outCodec));
        const QString front = u"這本書"_qs;
        QByteArray bytes;
        for (const QString& line : {front, heading, body}) {
            bytes += in.encode(line) + "\r\n";
        }
        Settings s = plain();
        s.FilesInDir = 0;
        s.ConvertToSimple = true;
        s.TitleText = u"^第(.{1,4})回(.*)$"_qs;
        Run r;
        r.doc.setEncodingChoice(false, in.id());
        run(r, writeNovel(bytes), s);
        QCOMPARE(r.result.files, 1);
        const Tree t = tree(r.root);
        QCOMPARE(t.keys(), (QStringList{name, u"Index.txt"_qs}));
        // The heading goes as its name does (the name's title between "001-" and ".txt").
        const QString title = name.mid(4).chopped(4);
        QCOMPARE(out.decode(t.value(name)), u"第一回 "_qs + title + u"\r\n"_qs + expectedBody + u"\r\n"_qs);
        QCOMPARE(out.decode(t.value(u"Index.txt"_qs)), front + u"\r\n"_qs); // front matter is never converted
        if (note.isEmpty()) {
            QVERIFY(!r.host.notices.last().contains(u"简体"_qs));
        } else {
            QVERIFY2(r.host.notices.last().contains(note), qPrintable(r.host.notices.last()));
        }
    }

    // The lines of `bytes` as the README defines them (ending at CR LF, a lone CR or a lone LF,
    // the last one with or without an end), each followed by CR LF as output files write them.
    static QByteArray withCrLf(const QByteArray& bytes)
    {
        QByteArray out;
        qsizetype from = 0;
        for (qsizetype i = 0; i < bytes.size(); ++i) {
            if (bytes[i] == '\n' || bytes[i] == '\r') {
                out += bytes.mid(from, i - from) + "\r\n";
                i += bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n';
                from = i + 1;
            }
        }
        return from < bytes.size() ? out + bytes.mid(from) + "\r\n" : out;
    }

    // Whatever the bytes and whatever encoding they are read in (detected, or a wrong one chosen
    // by hand): Index.txt and the chapter files give back every line byte for byte.
    void roundTrip_isByteExact_data()
    {
        QTest::addColumn<QByteArray>("written");
        QTest::addColumn<int>("reading"); // -1: detected
        QTest::addColumn<int>("longLine");
        QTest::newRow("GBK, a 50 MB line") << QByteArray("GBK") << -1 << (50 << 20);
        QTest::newRow("GBK read as Big5") << QByteArray("GBK") << int(TextCodec::Big5) << 0;
        QTest::newRow("GBK read as UTF-8") << QByteArray("GBK") << int(TextCodec::Utf8) << 0;
        QTest::newRow("UTF-8 read as GBK") << QByteArray("UTF-8") << int(TextCodec::Gbk) << 0;
        QTest::newRow("Big5 read as GB18030") << QByteArray("Big5") << int(TextCodec::Gb18030) << 0;
    }

    void roundTrip_isByteExact()
    {
        QFETCH(QByteArray, written);
        QFETCH(int, reading);
        QFETCH(int, longLine);
        QStringEncoder encode(written.constData());
        // Invalid bytes, NULs, a lone LF and a lone CR inside the text, a line longer than the
        // write buffer; no final line end either.
        QByteArray bytes = QByteArray(encode(u"封面"_qs)) + "\r\n" + QByteArray("\xFF\x81 bad") + '\0'
                           + "nul\nlone LF\rlone CR\r\n";
        for (int c = 1; c <= 30; ++c) {
            bytes += "Chapter " + QByteArray::number(c) + ' ' + QByteArray(encode(u"標題"_qs)) + "\r\n";
            if (c == 2) {
                bytes += QByteArray(std::max(longLine, 3 << 20), 'x') + "\r\n";
            }
            bytes += QByteArray("\x81\x30\x81\x30 gb18030 ") + QByteArray(encode(u"正文"_qs)) + "\n\r\n";
        }
        bytes += "end";
        Settings s = plain();
        s.TitleText = u"^Chapter (\\d+) (.*)"_qs;
        Run r;
        if (reading >= 0) {
            r.doc.setEncodingChoice(false, TextCodec::Id(reading));
        }
        run(r, writeNovel(bytes), s);
        QCOMPARE(r.result.kind, OutputResult::Done);
        const Tree t = tree(r.root);
        QCOMPARE(r.result.files, 30);
        QByteArray joined = t[u"Index.txt"_qs];
        for (auto it = t.cbegin(); it != t.cend(); ++it) {
            if (it.key() != u"Index.txt"_qs) {
                joined += it.value(); // map order is the folder and file-number order here
            }
        }
        QVERIFY(joined == withCrLf(bytes)); // not QCOMPARE: it would print 50 MB
    }

    // Rules that are all switched off change nothing: the bytes come back as they were.
    void disabledRules_keepTheRoundTripExact()
    {
        QByteArray bytes = text({u"封面"_qs}) + QByteArray("\xFF\x81 bad\r\n");
        for (int c = 1; c <= 3; ++c) {
            bytes += gbk(QStringLiteral(u"第%1章 标题 广告").arg(c)) + "\r\n  " + gbk(u"正文广告"_qs) + "\r\n\r\n";
        }
        Settings s = plain();
        ReplaceRule off;
        off.pattern = u"广告"_qs;
        off.isEnabled = false;
        off.scopeTitle = true;
        s.ReplaceRules = {off};
        Run r;
        run(r, writeNovel(bytes), s);
        QByteArray joined;
        for (const QByteArray& b : tree(r.root)) {
            joined = b.startsWith(gbk(u"封面"_qs)) ? b + joined : joined + b;
        }
        QCOMPARE(joined, bytes);
        QVERIFY(r.result.ledger.isEmpty());
    }

    // The web-novel fixture with its ads, repeated titles and ragged indents: the ledger counts
    // exactly the lines that differ between the novel and the output, aligned line by line; no
    // line of blanks is left behind; every paragraph has two U+3000.
    void cleanup_ledgerCountsWhatChanged_data()
    {
        QTest::addColumn<bool>("delSpaceLine");
        QTest::newRow("blank lines kept") << false;
        QTest::newRow("blank lines dropped") << true;
    }

    void cleanup_ledgerCountsWhatChanged()
    {
        QFETCH(bool, delSpaceLine);
        QFile f(QStringLiteral(VELLOMAR_TEST_DATA "/webnovel.txt"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        QFile json(QStringLiteral(VELLOMAR_TEST_DATA "/webnovel-rules.json"));
        QVERIFY(json.open(QIODevice::ReadOnly));
        Settings s = plain();
        QVERIFY(importReplaceRules(json.readAll(), &s.ReplaceRules, nullptr));
        s.DropRepeatedTitle = true;
        s.IndentParagraphs = true;
        s.DelSpaceLine = delSpaceLine;
        s.SetInvalidTitle = true;
        s.ChapsInFile = 100;
        s.FilesInDir = 0;
        Run r;
        run(r, writeNovel(bytes, u"雾港.txt"_qs), s);
        QCOMPARE(r.result.kind, OutputResult::Done);
        const Tree t = tree(r.root);
        QCOMPARE(t.size(), 2);
        const QStringList in = QString::fromUtf8(bytes).split(u"\r\n"_qs).mid(0, bytes.count('\n'));
        const QString all = QString::fromUtf8(t[u"Index.txt"_qs] + t.first()); // then the one chapter file
        const QStringList out = all.split(u"\r\n"_qs).mid(0, all.count(u'\n'));

        // Fewest changed lines over every way of removing in.size() - out.size() lines.
        const qsizetype n = in.size(), m = out.size();
        QVector<QVector<int>> cost(n + 1, QVector<int>(m + 1, 1 << 20));
        cost[0][0] = 0;
        for (qsizetype i = 1; i <= n; ++i) {
            for (qsizetype j = 0; j <= std::min(i, m); ++j) {
                cost[i][j] = cost[i - 1][j]; // line i removed
                if (j > 0) {
                    cost[i][j] = std::min(cost[i][j], cost[i - 1][j - 1] + (in[i - 1] == out[j - 1] ? 0 : 1));
                }
            }
        }
        const qint64 blanksDropped = delSpaceLine ? in.count(QString()) : 0;
        const CleanupLedger& ledger = r.result.ledger;
        QCOMPARE(ledger.totalRemoved() + blanksDropped, n - m);
        QCOMPARE(ledger.totalChanged(), qint64(cost[n][m]));
        QCOMPARE(ledger.errors.size(), 1); // the broken rule of the fixture
        for (const QString& line : out) {
            QVERIFY2(line.isEmpty() || !line.trimmed().remove(u'\u3000').isEmpty(), qPrintable(line));
            QVERIFY(!line.contains(u"本章未完"_qs) && !line.contains(u"qiushu99"_qs));
            if (!line.isEmpty() && !line.startsWith(u'第') && !line.startsWith(u'《') && !line.startsWith(u"作者"_qs)) {
                QVERIFY2(line.startsWith(u"\u3000\u3000"_qs) && !line.at(2).isSpace() && line.at(2) != u'\u3000',
                         qPrintable(line));
            }
        }
        QCOMPARE(out.count(u"第一章 雾港"_qs), 1);
        QVERIFY(!out.contains(u"\u3000\u3000来信"_qs));
    }

    void stopBetweenChapters_leavesWholeFiles()
    {
        QStringList lines;
        for (int c = 1; c <= 6; ++c) {
            lines << QStringLiteral(u"第%1章 c%1").arg(c) << QStringLiteral("x");
        }
        Settings s = plain();
        s.FilesInDir = 0;
        s.ChapsInFile = 2;
        Run r;
        QVERIFY(r.doc.OpenTextFile(writeNovel(text(lines)), nullptr));
        QVERIFY(RunAnalysis(r.doc, s, r.host));
        FakeHost host(&r.doc);
        host.stopAtTurn = 3; // before chapter 4 (turn i is chapter i + 1)
        host.yesNoAnswers = {true, false, true}; // folder yes; stop: no (once), then yes
        host.onTurn = [&] {
            if (host.turns == 4) {
                r.doc.DocState = StopRequested;
            }
        };
        r.result = RunOutput(r.doc, s, host);
        QCOMPARE(r.result.kind, OutputResult::Stopped);
        QCOMPARE(host.statuses.last(), u"输出被中断！"_qs);
        const Tree t = tree(OutputRoot(r.doc.FilePath, s.OutPath));
        QCOMPARE(t, (Tree{{u"001-c1.txt"_qs, text(lines.mid(0, 4))}, {u"003-c3.txt"_qs, text(lines.mid(4, 4))}}));
        QCOMPARE(r.doc.DocState, int(Analysed));
    }

    void refusalsAndFailures()
    {
        const QString novel = writeNovel(text({u"第1章 甲"_qs, u"a"_qs}));
        {
            // Not analysed.
            Document doc;
            FakeHost host(&doc);
            QVERIFY(doc.OpenTextFile(novel, nullptr));
            QCOMPARE(RunOutput(doc, plain(), host).kind, OutputResult::Refused);
            QCOMPARE(host.messages, QStringList{u"还未分析,请先分析!"_qs});
        }
        {
            // Zero chapters per file is refused before anything is written.
            Settings s = plain();
            s.ChapsInFile = 0;
            Run r;
            run(r, novel, s);
            QCOMPARE(r.result.kind, OutputResult::Refused);
            QVERIFY(!QFileInfo::exists(r.root));
            QCOMPARE(r.doc.DocState, int(Analysed));
        }
        {
            // The folder question answered No.
            Run r;
            r.host.yesNoAnswers = {false};
            run(r, novel, plain());
            QCOMPARE(r.result.kind, OutputResult::Declined);
            QCOMPARE(r.host.statuses.last(), u"就绪"_qs);
            QVERIFY(!QFileInfo::exists(r.root));
        }
        {
            // An output folder that cannot be made: reported, never "输出完成".
            Settings s = plain();
            s.OutPath = novel + u"/"_qs; // below a file
            Run r;
            run(r, novel, s);
            QCOMPARE(r.result.kind, OutputResult::Failed);
            QCOMPARE(r.host.errors.size(), 1);
            QVERIFY(r.host.errors.first().endsWith(u"frmMain::mnuO_SaveOut_Click()"_qs));
            QVERIFY(r.host.notices.isEmpty());
            QCOMPARE(r.host.statuses.last(), u"输出失败！"_qs);
            QCOMPARE(r.doc.DocState, int(Analysed));
        }
        {
            // A full disk (the file-size limit) under a new name typed in answer: the write
            // failure is reported with its reason, and nothing is left under that name.
            Settings s = plain();
            s.FilesInDir = 0;
            Run r;
            const QString root = OutputRoot(novel, s.OutPath);
            QDir().mkpath(root);
            QFile f(root + u"001-甲.txt"_qs);
            f.open(QIODevice::WriteOnly);
            f.close();
            const QString renamed = m_dir->filePath(u"改名.txt"_qs);
            r.host.overwriteAnswers = {renamed};
            QVERIFY(r.doc.OpenTextFile(novel, nullptr));
            QVERIFY(RunAnalysis(r.doc, s, r.host));
            {
                FileSizeLimit limit(4);
                r.result = RunOutput(r.doc, s, r.host);
            }
            QCOMPARE(r.result.kind, OutputResult::Failed);
            QCOMPARE(r.host.errors.size(), 1);
            QVERIFY2(r.host.errors.first().contains(renamed) && r.host.errors.first().contains(u"文件过大"_qs),
                     qPrintable(r.host.errors.first()));
            QVERIFY(r.host.notices.isEmpty());
            QVERIFY(!QFileInfo::exists(renamed));
            QCOMPARE(QDir(m_dir->path()).entryList({u".vellomar-*"_qs}, QDir::Files | QDir::Hidden), QStringList());
        }
    }

    void truncatedNovel_isReported()
    {
        QStringList lines;
        for (int c = 1; c <= 3; ++c) {
            lines << QStringLiteral(u"第%1章 c%1").arg(c) << QStringLiteral("x");
        }
        const QString novel = writeNovel(text(lines));
        Run r;
        QVERIFY(r.doc.OpenTextFile(novel, nullptr));
        QVERIFY(RunAnalysis(r.doc, plain(), r.host));
        QFile::resize(novel, text(lines.mid(0, 3)).size());
        r.result = RunOutput(r.doc, plain(), r.host);
        QCOMPARE(r.result.kind, OutputResult::Failed);
        QCOMPARE(r.host.errors.size(), 1);
        QVERIFY(r.host.notices.isEmpty());
        // The chapter cut short leaves no file under its name, nor anything temporary.
        const QString folder = OutputRoot(novel, plain().OutPath) + u"001-003(第1章+)"_qs;
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{u"001-c1.txt"_qs});
    }

    // A file that fails to be written ends the pass before any later question or file.
    void writeFailure_endsThePassAtOnce()
    {
        QStringList lines = {u"第1章 甲"_qs, QString(3000, u'长'), u"第2章 乙"_qs, u"b"_qs, u"第3章 丙"_qs, u"c"_qs};
        Settings s = plain();
        s.FilesInDir = 0;
        const QString novel = writeNovel(text(lines));
        const QString root = OutputRoot(novel, s.OutPath);
        QDir().mkpath(root);
        QFile old(root + u"002-乙.txt"_qs);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.close();
        Run r;
        QVERIFY(r.doc.OpenTextFile(novel, nullptr));
        QVERIFY(RunAnalysis(r.doc, s, r.host));
        {
            FileSizeLimit limit(4096);
            r.result = RunOutput(r.doc, s, r.host);
        }
        QCOMPARE(r.result.kind, OutputResult::Failed);
        QVERIFY(r.host.overwriteAsked.isEmpty());
        QCOMPARE(r.host.errors.size(), 1);
        QVERIFY(r.host.errors.first().contains(u"文件过大"_qs));
        QCOMPARE(QDir(root).entryList(QDir::Files | QDir::Hidden), QStringList{u"002-乙.txt"_qs});
    }
};

QTEST_GUILESS_MAIN(tst_OutputPass)
#include "tst_outputpass.moc"
