#include "Corpus.h"
#include "FakeHost.h"

#include "config/ConfigFile.h"
#include "config/Settings.h"
#include "core/AnalysisPass.h"
#include "core/Document.h"
#include "core/GbkCodec.h"
#include "core/TidyTitles.h"
#include "core/HeadingMatcher.h"
#include "core/LineReader.h"
#include "core/TitleRules.h"
#include "core/cRegExp.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

class tst_TitleRules : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_files = 0;

    // A short novel: each heading line, then a body that mentions no chapter.
    static QStringList novel(const QStringList& headings, int bodyLines = 6)
    {
        QStringList lines{u"书名"_qs, u"作者：某人"_qs, QString()};
        for (const QString& h : headings) {
            lines << h;
            for (int i = 0; i < bodyLines; ++i) {
                lines << u"　　众人说了许多的话，听的人都笑了，又说起前些日子的事来。"_qs;
            }
            lines << QString();
        }
        return lines;
    }

    QString write(const QStringList& lines)
    {
        QByteArray bytes;
        for (const QString& l : lines) {
            bytes += GbkCodec::instance().encode(l) + "\r\n";
        }
        const QString path = m_dir.filePath(QStringLiteral("n%1.txt").arg(++m_files));
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return path;
    }

private slots:
    void builtIns_matchTheirExamples()
    {
        const QList<TitleRule> rules = builtInTitleRules();
        QVERIFY(rules.size() >= 7);
        const QList<std::pair<int, QString>> expected = {
            {103, u"风起"_qs}, {12, u"史湘云醉眠"_qs}, {15, u"出山"_qs}, {12, u"The Storm"_qs},
            {0, u"番外一 旧事"_qs}, {12, u"重逢"_qs}, {3, u"归来"_qs}, {12, u"重逢"_qs}, {3, u"俞伯牙摔琴谢知音"_qs},
            {7, u"于少保奉旨"_qs}, {51, u"邱一所抢伞"_qs}};
        for (int i = 0; i < expected.size(); ++i) {
            cRegExp re;
            re.InitRegexp(rules[i].rule);
            QVERIFY2(re.isValid(), qPrintable(rules[i].name + u": "_qs + re.errorString()));
            QVERIFY2(re.GetMatch(rules[i].example), qPrintable(rules[i].name));
            QCOMPARE(int(re.ChaptorNum()), expected[i].first);
            QCOMPARE(re.ChaptorTitle(), expected[i].second);
        }
    }

    // 推荐规则 saves the rule it applies; config.ini keeps 254 bytes of a value, so every
    // built-in pattern must come back whole.
    void builtIns_surviveTheSettingsFile()
    {
        const QString path = m_dir.filePath(u"config.ini"_qs);
        for (const TitleRule& rule : builtInTitleRules()) {
            Settings s = Settings::defaults();
            s.TitleText = rule.rule;
            s.VolumeText = rule.volume.value_or(s.VolumeText);
            QVERIFY(SaveConfig(s, path));
            Settings back = Settings::defaults();
            QVERIFY(LoadConfig(back, path));
            QVERIFY2(back.TitleText == s.TitleText, qPrintable(rule.name));
            QVERIFY2(back.VolumeText == s.VolumeText, qPrintable(rule.name));
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
        // Look-behinds of varying length are rewritten where the meaning allows: of the 6 rules
        // PCRE2 refuses, only the one whose look-behind varies past its start still fails.
        const int rewritten = int(std::count_if(rules.cbegin(), rules.cend(), [](const TitleRule& r) {
            return !r.rewritten.isEmpty();
        }));
        QCOMPARE(rewritten, 5);
        QCOMPARE(broken, 2); // that one, and the empty rule
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

    // The heading forms of the long tail: the suggestion picks the rule of the novel's unit
    // (and says it by its name), and the analysis with it, tidied, keeps the real chapters.
    void longTail_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("rule"); // as the suggestion names it
        QTest::addColumn<QList<int>>("kept"); // numbers of the kept chapters

        QTest::newRow("spaced numerals") << novel(u"第 一 回 甲|第二 回 乙|第 三  回丙|第四回 丁|第五 回 戊"_qs.split(u'|'))
                                         << u"第…回"_qs << QList<int>{1, 2, 3, 4, 5};
        QTest::newRow("卷 as the unit") << novel(u"第一卷 甲|第二卷 乙|第三卷 丙|第四卷 丁"_qs.split(u'|'))
                                        << u"第…卷/卷之…（以卷为章）"_qs << QList<int>{1, 2, 3, 4};
        QTest::newRow("卷之 and 卷 without 第") << novel(u"卷之一 甲|卷之二 乙|卷三 丙|卷四 丁"_qs.split(u'|'))
                                               << u"第…卷/卷之…（以卷为章）"_qs << QList<int>{1, 2, 3, 4};
        QTest::newRow("book name before the heading")
            << novel(u"警世通言第一卷　甲|警世通言第二卷　乙|警世通言第三卷　丙"_qs.split(u'|'))
            << u"第…卷/卷之…（以卷为章）"_qs << QList<int>{1, 2, 3};
        QTest::newRow("卷 over 回 stay volumes")
            << novel(u"第一卷 上|第一回 甲|第二回 乙|第三回 丙|第二卷 下|第四回 丁|第五回 戊|第六回 己"_qs.split(u'|'))
            << u"第…回"_qs << QList<int>{1, 2, 3, 4, 5, 6};
        QTest::newRow("傳, named as found") << novel(u"第一傳 甲|第二傳 乙|第三傳 丙|第四傳 丁"_qs.split(u'|'))
                                          << u"第…传/则/篇/话/折（以“傳”为单位）"_qs << QList<int>{1, 2, 3, 4};
        QStringList contents = u"第一则 甲|第二则 乙|第三则 丙|第四则 丁"_qs.split(u'|');
        QTest::newRow("则 after its contents") << (contents + novel(contents)) << u"第…传/则/篇/话/折"_qs
                                              << QList<int>{1, 2, 3, 4};
        QStringList late;
        for (int n = 201; n <= 212; ++n) {
            late << u"第二百%1回 某"_qs.arg(n < 210 ? u"零"_qs + QString(QChar(u"一二三四五六七八九"[n - 201])) : n == 210 ? u"一十"_qs : n == 211 ? u"一十一"_qs : u"一十二"_qs);
        }
        QStringList lateNovel = novel(late);
        lateNovel.insert(6, u"　　他说这是第一回见面。"_qs); // a sequence of its own, starting at 1
        QTest::newRow("numbers begin at 201") << lateNovel << u"第…回"_qs
                                              << QList<int>{201, 202, 203, 204, 205, 206, 207, 208, 209, 210, 211, 212};
        QTest::newRow("bare numbers") << novel(u"一 甲乙 丙丁|二 戊己|三支 庚辛|四 壬癸|五 子丑"_qs.split(u'|'))
                                      << u"一 标题（无“第”）"_qs << QList<int>{1, 2, 3, 4, 5};
        // 迴 is 回; a dash for 一 and 日 or 四 for 回 are misreadings the sequence accepts where
        // it needs them, and nowhere else.
        QStringList malformed = novel(u"第一回 甲|第二迴 乙|第三回 丙|第四日　丁|第五回 戊|第六回 己|第七回 庚|第八回 辛|第九回 壬|"
                                      u"第十回 癸|第十—回 子|第十二四 丑|第十三回 寅|第十四 回 卯"_qs.split(u'|'));
        malformed.insert(5, u"第二日"_qs);
        malformed.insert(6, u"　　第三日，他又来了。"_qs);
        QTest::newRow("malformed headings") << malformed << u"第…回"_qs
                                            << QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14};
    }

    void longTail()
    {
        QFETCH(QStringList, lines);
        QFETCH(QString, rule);
        QFETCH(QList<int>, kept);
        Document doc;
        QVERIFY(doc.OpenTextFile(write(lines), nullptr));
        const QList<TitleRule> rules = builtInTitleRules();
        const QList<RuleTrial> trials = tryTitleRules(doc.reader(), doc.codec(), rules);
        const int best = suggestTitleRule(trials);
        QVERIFY(best >= 0);
        QCOMPARE(suggestionName(rules[best], trials[best]), rule);

        Settings s = Settings::defaults();
        s.TitleText = rules[best].rule;
        s.VolumeText = rules[best].volume.value_or(s.VolumeText);
        FakeHost host(&doc);
        QVERIFY(RunAnalysis(doc, s, host));
        doc.model().applyTidy(tidyTitles(tidyInput(doc, {})));
        QList<int> numbers;
        for (int row = 0; row < doc.model().rowCount(); ++row) {
            if (!doc.model().isChecked(row)) {
                numbers << doc.model().chapnum().at(doc.model().tag(row));
            }
        }
        QCOMPARE(numbers, kept);
    }

    // A large novel is tried on samples of its whole length: a foreword of 600 KB with its
    // own chapters at the start does not decide.
    void suggestion_samplesTheWholeNovel()
    {
        QStringList lines;
        for (int n = 1; n <= 20; ++n) {
            lines << u"第%1章 序论"_qs.arg(n);
            for (int i = 0; i < 500; ++i) {
                lines << u"　　这是一篇很长的序言，说的是作者写书的缘故，又说了许多闲话。"_qs;
            }
        }
        for (int n = 1; n <= 1200; ++n) {
            lines << u"第%1回 正文"_qs.arg(n);
            for (int i = 0; i < 120; ++i) {
                lines << u"　　众人说了许多的话，听的人都笑了，又说起前些日子的事来。"_qs;
            }
        }
        Document doc;
        QVERIFY(doc.OpenTextFile(write(lines), nullptr));
        QVERIFY(QFileInfo(doc.FilePath).size() > WholeNovelLimit);
        const QList<TitleRule> rules = builtInTitleRules();
        const QList<RuleTrial> trials = tryTitleRules(doc.reader(), doc.codec(), rules);
        const int best = suggestTitleRule(trials);
        QVERIFY(best >= 0);
        QCOMPARE(rules[best].name, u"第…回"_qs);
        QVERIFY(trials[best].titles > 40); // from samples all over the novel
    }

    // Look-behinds of varying length, which PCRE2 refuses, rewritten to ones that mean the same.
    void lookbehinds_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("fixed"); // empty: left as it is
        QTest::addColumn<QString>("line");  // matched by the rewritten pattern where `match`
        QTest::addColumn<bool>("match");
        QTest::newRow("optional blanks go") << u"(?<=[\\s　]{0,4})第.{1,8}章$"_qs << u"第.{1,8}章$"_qs << u"第十章"_qs << true;
        QTest::newRow("starred blanks go") << u"(?<=\\s*)【.+】$"_qs << u"【.+】$"_qs << u"【楔子】"_qs << true;
        QTest::newRow("fewest repeats") << u"(?<=\\={3,6}).{1,40}?(?=\\=)"_qs << u"(?<=\\={3}).{1,40}?(?=\\=)"_qs
                                        << u"===第一章 风起==="_qs << true;
        QTest::newRow("fewest repeats, nothing less") << u"(?<=\\={3,6}).{1,40}?(?=\\=)"_qs << u"(?<=\\={3}).{1,40}?(?=\\=)"_qs
                                                      << u"==第一章 风起=="_qs << false;
        QTest::newRow("one or more is one") << u"(?<=[ 　]+)第\\d+章"_qs << u"(?<=[ 　])第\\d+章"_qs << u"第12章"_qs << false;
        QTest::newRow("varying after the start stays")
            << u"(?<=[ ]{0,4}第\\d{1,8}章)第"_qs << QString() << QString() << false;
        QTest::newRow("negative that could match nothing stays") << u"(?<![ ]{0,4})第"_qs << QString() << QString() << false;
        QTest::newRow("alternatives stay") << u"(?<=a{1,2}|b)c"_qs << QString() << QString() << false;
    }

    void lookbehinds()
    {
        QFETCH(QString, pattern);
        QFETCH(QString, fixed);
        QFETCH(QString, line);
        QFETCH(bool, match);
        const QByteArray json = QJsonDocument(QJsonArray{QJsonObject{{u"name"_qs, u"r"_qs}, {u"rule"_qs, pattern}}}).toJson();
        QList<TitleRule> rules;
        QString error;
        QVERIFY(importTitleRules(json, &rules, &error));
        QCOMPARE(rules.size(), 1);
        if (fixed.isEmpty()) {
            QCOMPARE(rules[0].rule, pattern);
            QVERIFY(!rules[0].error.isEmpty()); // still listed with PCRE2's reason
            QVERIFY(rules[0].rewritten.isEmpty());
            return;
        }
        QCOMPARE(rules[0].rule, fixed);
        QVERIFY2(rules[0].error.isEmpty(), qPrintable(rules[0].error));
        QVERIFY(rules[0].rewritten.contains(pattern.left(pattern.indexOf(u')') + 1)));
        cRegExp re;
        re.InitRegexp(rules[0].rule);
        QCOMPARE(re.GetMatch(line), match);
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
