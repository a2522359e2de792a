#include "core/Cleanup.h"
#include "core/Reflow.h"
#include "core/ScriptConverter.h"
#include "core/TextCodec.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// Short novels hard-wrapped at 10 Chinese characters (20 columns) unless said otherwise, with
// their paragraphs as a reader wants them, written by hand. A line starting with '#' is a
// chapter title (the '#' is not part of it).
class tst_Reflow : public QObject {
    Q_OBJECT

    struct Joined {
        QList<ReflowParagraph> paragraphs;
        WrapProfile profile;
        ReflowTally tally;
    };

    // Surveys the novel and joins it as a pass would: one buffer decoded into line after line.
    static Joined join(const QStringList& novel)
    {
        QStringList lines;
        QVector<bool> titles;
        for (const QString& l : novel) {
            titles << l.startsWith(u'#');
            lines << (titles.last() ? l.mid(1) : l);
        }
        Joined j;
        j.profile = surveyLines(lines);
        ParagraphJoiner joiner(j.profile);
        QString buffer;
        ReflowParagraph p;
        for (qsizetype i = 0; i < lines.size(); ++i) {
            buffer.resize(0);
            buffer += lines[i];
            if (joiner.push(buffer, i + 1, titles[i], p)) {
                j.paragraphs << p;
            }
        }
        if (joiner.finish(p)) {
            j.paragraphs << p;
        }
        j.tally = joiner.tally();
        return j;
    }

    static QStringList wrappedChinese()
    {
        return {u"精兵五百，命先锋张飞"_qs, u"引兵追赶。贼众大败，"_qs, u"四散奔走。"_qs,
                u"玄德收兵回城，众将各"_qs, u"自领赏。"_qs, u"次日，太守亲自出城迎"_qs,
                u"接，设宴款待三人。"_qs, u"关公提刀上马，直取敌"_qs, u"「将」，斩于马下。"_qs,
                // Lines the tool ended early rather than start the next with a mark.
                u"玄德引兵来至城下，"_qs, u"「开门！」城上守军大"_qs, u"惊。"_qs};
    }

    static QStringList indented()
    {
        return {u"　　精兵五百，命先锋"_qs, u"张飞引兵追赶。贼众大"_qs, u"败，四散奔走。"_qs,
                u"　　玄德收兵回城，众"_qs, u"将领赏毕，各自回营。"_qs, u"次日太守出城相迎，设"_qs,
                u"宴款待。"_qs, u"　　张飞大怒。"_qs, u"　　关公闻之，叹诗云"_qs,
                u"　　　　天下英雄谁可敌。"_qs, u"　　众将闻言，皆拜服。"_qs, u"此乃天意也。"_qs};
    }

    static QStringList notWrapped()
    {
        return {u"第一回　宴桃园豪杰三结义"_qs,
                u"话说天下大势，分久必合，合久必分。周末七国分争，并入于秦。及秦灭之后，楚、汉分争，又并入于汉。"_qs,
                u"汉朝自高祖斩白蛇而起义，一统天下，后来光武中兴，传至献帝，遂分为三国。"_qs,
                u"推其致乱之由，殆始于桓、灵二帝。桓帝禁锢善类，崇信宦官。"_qs,
                u""_qs,
                u"第二回　张翼德怒鞭督邮"_qs,
                u"且说董卓字仲颖，陇西临洮人也，官拜河东太守，自来骄傲。"_qs,
                u"当日怠慢了玄德，张飞性发，便欲杀之。"_qs,
                u"玄德与关公急止之曰：「他是朝廷命官，岂可擅杀？」"_qs};
    }

private slots:
    void joining_data()
    {
        QTest::addColumn<QStringList>("novel");
        QTest::addColumn<QStringList>("paragraphs");
        QTest::newRow("wrapped Chinese: no space, marks pushed or pulled across the break")
            << wrappedChinese()
            << QStringList{u"精兵五百，命先锋张飞引兵追赶。贼众大败，四散奔走。"_qs, u"玄德收兵回城，众将各自领赏。"_qs,
                           u"次日，太守亲自出城迎接，设宴款待三人。"_qs, u"关公提刀上马，直取敌「将」，斩于马下。"_qs,
                           u"玄德引兵来至城下，「开门！」城上守军大惊。"_qs};
        QTest::newRow("indents mark paragraphs: a complete sentence at the width goes on, indented verse does not")
            << indented()
            << QStringList{u"　　精兵五百，命先锋张飞引兵追赶。贼众大败，四散奔走。"_qs,
                           u"　　玄德收兵回城，众将领赏毕，各自回营。次日太守出城相迎，设宴款待。"_qs,
                           u"　　张飞大怒。"_qs, u"　　关公闻之，叹诗云"_qs, u"　　　　天下英雄谁可敌。"_qs,
                           u"　　众将闻言，皆拜服。"_qs, u"此乃天意也。"_qs};
        QTest::newRow("every line indented: the indent of a line going on is dropped")
            << QStringList{u"　　精兵五百，命先锋"_qs, u"　　张飞引兵追赶，贼"_qs, u"　　众大败。"_qs,
                           u"　　玄德收兵回城，众"_qs, u"　　将各自领赏。"_qs, u"　　次日，太守亲自出"_qs,
                           u"　　城迎接。"_qs}
            << QStringList{u"　　精兵五百，命先锋张飞引兵追赶，贼众大败。"_qs, u"　　玄德收兵回城，众将各自领赏。"_qs,
                           u"　　次日，太守亲自出城迎接。"_qs};
        QTest::newRow("a title between wrapped lines joins neither")
            << QStringList{u"话说天下大势，分久必"_qs, u"合，合久必分。周末七"_qs, u"国分争，并入于秦，且"_qs,
                           u"#第一回　宴桃园豪杰"_qs, u"三结义，斩黄巾英雄首"_qs, u"立功。"_qs}
            << QStringList{u"话说天下大势，分久必合，合久必分。周末七国分争，并入于秦，且"_qs, u"第一回　宴桃园豪杰"_qs,
                           u"三结义，斩黄巾英雄首立功。"_qs};
        QTest::newRow("never across a blank line; blank lines stay as they are")
            << QStringList{u"精兵五百，命先锋张飞"_qs, u""_qs, u"引兵追赶。贼众大败，"_qs, u"四散奔走。"_qs, u"   "_qs,
                           u"玄德收兵回城，众将各"_qs, u"自领赏。"_qs, u"次日，太守亲自出城迎"_qs,
                           u"接，设宴款待三人。"_qs}
            << QStringList{u"精兵五百，命先锋张飞"_qs, u""_qs, u"引兵追赶。贼众大败，四散奔走。"_qs, u"   "_qs,
                           u"玄德收兵回城，众将各自领赏。"_qs, u"次日，太守亲自出城迎接，设宴款待三人。"_qs};
        QTest::newRow("speech ending in 」 ends its paragraph where indents say nothing")
            << QStringList{u"玄德曰：「吾乃中山靖"_qs, u"王之后，欲破贼安民。」"_qs, u"张飞曰：「吾颇有资财，"_qs,
                           u"愿与公同举大事。」"_qs, u"玄德甚喜，遂与关张二"_qs, u"人同入桃园。"_qs}
            << QStringList{u"玄德曰：「吾乃中山靖王之后，欲破贼安民。」"_qs, u"张飞曰：「吾颇有资财，愿与公同举大事。」"_qs,
                           u"玄德甚喜，遂与关张二人同入桃园。"_qs};
        QTest::newRow("not wrapped: nothing joined") << notWrapped() << notWrapped();
        QTest::newRow("Latin words keep one space, none next to Chinese")
            << QStringList{u"他念道 hello and"_qs, u"welcome，众人大笑。"_qs, u"随后他又拿出一部手机"_qs,
                           u"iPhone，看了一眼时"_qs, u"间，连忙起身告辞。"_qs, u"次日，他又乘飞机返回"_qs,
                           u"北京，一路平安无事。"_qs}
            << QStringList{u"他念道 hello and welcome，众人大笑。"_qs, u"随后他又拿出一部手机iPhone，看了一眼时间，连忙起身告辞。"_qs,
                           u"次日，他又乘飞机返回北京，一路平安无事。"_qs};
        QTest::newRow("rules and boxes are lines of their own")
            << QStringList{u"精兵五百，命先锋张飞"_qs, u"引兵追赶。贼众大败，"_qs, u"四散奔走。"_qs,
                           u"--------------------"_qs, u"玄德收兵回城，众将各"_qs, u"自领赏。"_qs,
                           u"次日，太守亲自出城迎"_qs, u"接，设宴款待三人。"_qs}
            << QStringList{u"精兵五百，命先锋张飞引兵追赶。贼众大败，四散奔走。"_qs, u"--------------------"_qs,
                           u"玄德收兵回城，众将各自领赏。"_qs, u"次日，太守亲自出城迎接，设宴款待三人。"_qs};
    }

    void joining()
    {
        QFETCH(QStringList, novel);
        QFETCH(QStringList, paragraphs);
        const Joined j = join(novel);
        QStringList texts;
        qint64 next = 1;
        for (const ReflowParagraph& p : j.paragraphs) {
            texts << p.text;
            // Every line handed out once, in order, a title as a title.
            QCOMPARE(p.line, next);
            QCOMPARE(p.title, novel[p.line - 1].startsWith(u'#'));
            next += p.lines;
        }
        QCOMPARE(texts, paragraphs);
        QCOMPARE(next, novel.size() + 1);
        QCOMPARE(j.tally.joins, novel.size() - paragraphs.size());
    }

    void detection_data()
    {
        QTest::addColumn<QStringList>("novel");
        QTest::addColumn<bool>("wrapped");
        QTest::addColumn<int>("width"); // in characters
        QTest::addColumn<bool>("characters");
        QTest::addColumn<bool>("indentMarks");
        QTest::newRow("wrapped") << wrappedChinese() << true << 10 << false << false;
        QTest::newRow("wrapped, paragraphs indented") << indented() << true << 10 << false << true;
        QTest::newRow("not wrapped") << notWrapped() << false << 0 << false << false;
        QStringList poem;
        for (int i = 0; i < 10; ++i) {
            poem << notWrapped()[1] << notWrapped()[2];
        }
        poem << u"词曰：湖上月，偏照列"_qs << u"仙家。水浸寒光铺枕簟，"_qs << u"浪摇晴影走金蛇。偏称"_qs << u"泛灵槎。"_qs;
        QTest::newRow("one wrapped poem in a novel of long lines") << poem << false << 10 << false << false;
        // A tool that counted characters, Latin letters as one each.
        QTest::newRow("counted in characters")
            << QStringList{u"他用iPad看了一会"_qs, u"书，又放下了。次日他"_qs, u"买了一本Java入门"_qs,
                           u"书，读到第三章就睡着"_qs, u"了。"_qs}
            << true << 10 << true << false;
    }

    void detection()
    {
        QFETCH(QStringList, novel);
        QFETCH(bool, wrapped);
        QFETCH(int, width);
        QFETCH(bool, characters);
        QFETCH(bool, indentMarks);
        const WrapProfile p = surveyLines(novel);
        QCOMPARE(p.wrapped, wrapped);
        QCOMPARE(p.widthInCharacters(), width);
        QCOMPARE(p.measure == WrapMeasure::Characters, characters);
        QCOMPARE(p.indentMarksParagraphs, indentMarks);
        QCOMPARE(p.reason().contains(u"重新分段"_qs), wrapped);
    }

    // The profile from a file's samples, whatever its encoding or size, is the whole text's.
    void sample_data()
    {
        QTest::addColumn<int>("codec");
        QTest::addColumn<int>("copies");
        QTest::newRow("GB18030, read whole") << int(TextCodec::Gb18030) << 20;
        QTest::newRow("GB18030, 3 MB in samples") << int(TextCodec::Gb18030) << 12000;
        QTest::newRow("Big5") << int(TextCodec::Big5) << 200;
        QTest::newRow("UTF-16LE with its mark, in samples") << int(TextCodec::Utf16LE) << 12000;
    }

    void sample()
    {
        QFETCH(int, codec);
        QFETCH(int, copies);
        const TextCodec& c = TextCodec::forId(TextCodec::Id(codec));
        QTemporaryDir dir;
        const QString path = dir.filePath(u"novel.txt"_qs);
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        const QByteArray bom = c.unitSize() == 2 ? c.byteOrderMark() : QByteArray();
        f.write(bom);
        QString text = indented().join(u"\r\n"_qs) + u"\r\n"_qs;
        if (c.id() == TextCodec::Big5) {
            text = ScriptConverter::simplifiedToTraditional().convert(text);
        }
        const QByteArray one = c.encode(text);
        QCOMPARE(c.decode(one), text); // every character written as it is
        for (int i = 0; i < copies; ++i) {
            f.write(one);
        }
        f.close();
        const WrapProfile p = sampleNovelWrap(path, c, int(bom.size()));
        QVERIFY(p.wrapped);
        QCOMPARE(p.widthInCharacters(), 10);
        QVERIFY(p.indentMarksParagraphs);
        QVERIFY(p.lines > 0);

        const WrapProfile none = sampleNovelWrap(dir.filePath(u"missing.txt"_qs), c, 0);
        QVERIFY(!none.wrapped);
        QCOMPARE(none.lines, 0);
    }

    void ledger_countsEveryJoinWithTheFirstExamples()
    {
        const Joined j = join(wrappedChinese());
        CleanupLedger ledger;
        j.tally.addTo(ledger);
        QCOMPARE(ledger.entries().size(), 1);
        const CleanupLedger::Entry& e = ledger.entries().first();
        QCOMPARE(e.rule, reflowRuleName());
        QCOMPARE(e.changed, 7);
        QCOMPARE(e.removed, 0);
        QCOMPARE(e.examples.size(), CleanupLedger::MaxExamples);
        QCOMPARE(e.examples[0].line, 2);
        QCOMPARE(e.examples[0].before, u"精兵五百，命先锋张飞 / 引兵追赶。贼众大败，"_qs);
        QCOMPARE(e.examples[0].after, u"精兵五百，命先锋张飞引兵追赶。贼众大败，"_qs);
        // A line joined to an already joined one shows the end of the paragraph so far.
        QCOMPARE(e.examples[1].line, 3);
        QCOMPARE(e.examples[1].before, u"张飞引兵追赶。贼众大败， / 四散奔走。"_qs);
        QCOMPARE(j.tally.paragraphs, 5);
        QVERIFY(ledger.text().contains(u"[重新分段] 修改 7 行"_qs));
        CleanupLedger none;
        ReflowTally().addTo(none);
        QVERIFY(none.entries().isEmpty()); // a novel without joins has no line in the report
    }
};

QTEST_GUILESS_MAIN(tst_Reflow)
#include "tst_reflow.moc"
