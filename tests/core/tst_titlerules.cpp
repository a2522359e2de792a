#include "Corpus.h"

#include "core/GbkCodec.h"
#include "core/HeadingMatcher.h"
#include "core/LineReader.h"
#include "core/TitleRules.h"
#include "core/cRegExp.h"

#include <QFile>
#include <QTest>

class tst_TitleRules : public QObject {
    Q_OBJECT

private slots:
    void builtIns_matchTheirExamples()
    {
        const QList<TitleRule> rules = builtInTitleRules();
        QVERIFY(rules.size() >= 7);
        const QList<std::pair<int, QString>> expected = {
            {103, u"风起"_qs}, {12, u"史湘云醉眠"_qs}, {15, u"出山"_qs}, {12, u"The Storm"_qs},
            {0, u"番外一 旧事"_qs}, {12, u"重逢"_qs}, {3, u"归来"_qs}};
        for (int i = 0; i < expected.size(); ++i) {
            cRegExp re;
            re.InitRegexp(rules[i].rule);
            QVERIFY2(re.isValid(), qPrintable(rules[i].name + u": "_qs + re.errorString()));
            QVERIFY2(re.GetMatch(rules[i].example), qPrintable(rules[i].name));
            QCOMPARE(int(re.ChaptorNum()), expected[i].first);
            QCOMPARE(re.ChaptorTitle(), expected[i].second);
        }
    }

    // The "第…卷 + 第…章" rule's match starts at the chapter, so that its volume part finds the
    // volume before it; our own "volume" field goes out and comes back, and a rule without one
    // stays without one.
    void volumeParts_findVolumesAndSurviveExport()
    {
        QList<TitleRule> rules = builtInTitleRules();
        const TitleRule& both = rules[2];
        QVERIFY(both.volume.has_value());
        HeadingMatcher m(both.rule, *both.volume);
        QVERIFY(m.match(both.example) && m.isTitle && m.isVolume);
        QCOMPARE(int(m.volume.ChaptorNum()), 2);
        QCOMPARE(int(m.title.ChaptorNum()), 15);

        rules[1].volume = QString(); // no volumes with this rule
        QList<TitleRule> again;
        QString error;
        QVERIFY(importTitleRules(exportTitleRules(rules), &again, &error));
        QCOMPARE(again.size(), rules.size());
        for (int i = 0; i < rules.size(); ++i) {
            QCOMPARE(again[i].volume, rules[i].volume);
        }
        QVERIFY(!rules[4].volume.has_value());
    }

    void importShared_listsBrokenRulesWithErrors()
    {
        const QString path = corpusPath(u"../data/txtTocRule.json"_qs);
        VELLOMAR_REQUIRE_CORPUS(path);
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QList<TitleRule> rules;
        QString error;
        QVERIFY(importTitleRules(f.readAll(), &rules, &error));
        QCOMPARE(rules.size(), 26);
        int broken = 0;
        for (const TitleRule& r : rules) {
            broken += r.error.isEmpty() ? 0 : 1;
        }
        QVERIFY(broken > 0 && broken < rules.size());
        // A rule with a lookahead runs unchanged.
        const TitleRule& toc = rules[1];
        QCOMPARE(toc.name, u"目录"_qs);
        QVERIFY(toc.rule.contains(u"(?!"_qs));
        QVERIFY2(toc.error.isEmpty(), qPrintable(toc.error));
        cRegExp re;
        re.InitRegexp(toc.rule);
        QVERIFY(re.GetMatch(u"第一百二十章 大结局"_qs));
        QCOMPARE(int(re.ChaptorNum()), 120); // no groups: the first numeral run of the match
        QVERIFY(!re.GetMatch(u"正文完"_qs));
        // The empty rule is listed, with an error, not dropped.
        QVERIFY(!rules.last().error.isEmpty());
        QCOMPARE(rules.last().serialNumber, 99);
        QVERIFY(!rules[2].enable);

        // Export and import again: every field survives.
        QList<TitleRule> again;
        QVERIFY(importTitleRules(exportTitleRules(rules), &again, &error));
        QCOMPARE(again.size(), rules.size());
        for (int i = 0; i < rules.size(); ++i) {
            QCOMPARE(again[i].name, rules[i].name);
            QCOMPARE(again[i].rule, rules[i].rule);
            QCOMPARE(again[i].example, rules[i].example);
            QCOMPARE(again[i].enable, rules[i].enable);
            QCOMPARE(again[i].id, rules[i].id);
            QCOMPARE(again[i].serialNumber, rules[i].serialNumber);
            QCOMPARE(again[i].error, rules[i].error);
        }
    }

    void importRejectsWhatIsNotARuleList()
    {
        QList<TitleRule> rules;
        QString error;
        QVERIFY(!importTitleRules("{\"name\": 1}", &rules, &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(!importTitleRules("[{\"name\": ", &rules, &error));
        QVERIFY(error.contains(u"JSON"_qs));
    }

    void suggestion_onRealNovels_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("rule");
        QTest::newRow("回 novel") << u"rulinwaishi_gbk.txt"_qs << u"第…回"_qs;
        QTest::newRow("回 novel, traditional") << u"hongloumeng_trad_in_gbk.txt"_qs << u"第…回"_qs;
        QTest::newRow("章 novel") << u"hongloumeng_zhang_gb.txt"_qs << u"第…章/节（默认）"_qs;
    }

    void suggestion_onRealNovels()
    {
        QFETCH(QString, file);
        QFETCH(QString, rule);
        const QString path = corpusPath(file);
        VELLOMAR_REQUIRE_CORPUS(path);
        LineReader reader;
        QVERIFY(reader.open(path));
        const QList<TitleRule> rules = builtInTitleRules();
        const QList<RuleTrial> trials = tryTitleRules(reader, GbkCodec::instance(), rules);
        const int best = suggestTitleRule(trials);
        QVERIFY(best >= 0);
        QCOMPARE(rules[best].name, rule);
        QVERIFY(trials[best].titles >= 10);
    }
};

QTEST_GUILESS_MAIN(tst_TitleRules)
#include "tst_titlerules.moc"
