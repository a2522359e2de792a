#include "config/ReplaceRules.h"
#include "core/Cleanup.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

class tst_Cleanup : public QObject {
    Q_OBJECT

    static ReplaceRule rule(const QString& pattern, const QString& replacement, bool regex)
    {
        ReplaceRule r;
        r.name = pattern;
        r.pattern = pattern;
        r.replacement = replacement;
        r.isRegex = regex;
        return r;
    }

private slots:
    void rules_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("replacement");
        QTest::addColumn<bool>("regex");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain, every place") << u"广告"_qs << u""_qs << false << u"甲广告乙广告"_qs << u"甲乙"_qs;
        QTest::newRow("plain takes dots literally") << u"a.c"_qs << u"x"_qs << false << u"abc a.c"_qs << u"abc x"_qs;
        QTest::newRow("regex") << u"w{3}\\.\\w+\\.com"_qs << u""_qs << true << u"看www.abc.com书"_qs << u"看书"_qs;
        QTest::newRow("regex $1 as reader apps write it")
            << u"【(\\d+)】"_qs << u"[$1]"_qs << true << u"第【12】页"_qs << u"第[12]页"_qs;
        QTest::newRow("regex \\1 and $$") << u"(a)"_qs << u"\\1$$"_qs << true << u"ba"_qs << u"ba$"_qs;
        QTest::newRow("regex without match") << u"^广告"_qs << u""_qs << true << u"不是广告"_qs << u"不是广告"_qs;
    }

    void rules()
    {
        QFETCH(QString, pattern);
        QFETCH(QString, replacement);
        QFETCH(bool, regex);
        QFETCH(QString, line);
        QFETCH(QString, expected);
        const CompiledRule c = compileRule(rule(pattern, replacement, regex));
        QVERIFY(c.error.isEmpty());
        QString text = line;
        QCOMPARE(applyRule(c, text), line != expected);
        QCOMPARE(text, expected);
    }

    // A broken rule is named with its error and left out; disabled rules never run; order wins
    // over list position.
    void runnable_listsBrokenRulesAndKeepsOrder()
    {
        ReplaceRule broken = rule(u"(未闭合"_qs, u""_qs, true);
        broken.name = u"坏规则"_qs;
        ReplaceRule off = rule(u"x"_qs, u"y"_qs, false);
        off.isEnabled = false;
        ReplaceRule second = rule(u"b"_qs, u"c"_qs, false);
        second.order = 2;
        ReplaceRule first = rule(u"a"_qs, u"b"_qs, false);
        first.order = 1;
        QStringList errors;
        const QList<CompiledRule> rules = runnableRules({broken, off, second, first}, &errors);
        QCOMPARE(errors.size(), 1);
        QVERIFY(errors.first().startsWith(u"坏规则: "_qs));
        QCOMPARE(rules.size(), 2);
        QString text = u"ax"_qs;
        for (const CompiledRule& r : rules) {
            applyRule(r, text);
        }
        QCOMPARE(text, u"cx"_qs);
    }

    // Title rules touch title lines only, body rules the rest; the first body line that repeats
    // the title goes, blanks or 第…章 aside; indentation is two U+3000, once.
    void cleaner_scopesRepeatedTitleAndIndent()
    {
        Settings s = Settings::defaults();
        s.DelSpaceLine = false;
        ReplaceRule t = rule(u"【VIP】"_qs, u""_qs, false);
        t.scopeTitle = true;
        t.scopeContent = false;
        s.ReplaceRules = {t};
        s.DropRepeatedTitle = true;
        s.IndentParagraphs = true;
        Cleaner c(s, true);
        QVERIFY(c.isActive());
        c.setChapters({2, 6}, {u"雾港"_qs, u"来信"_qs});
        const QStringList in = {u"前言【VIP】"_qs, u"第一章 雾港【VIP】"_qs, u""_qs, u"第一章　雾港"_qs,
                                u" \t正文【VIP】"_qs, u"第二章 来信"_qs, u"　来信"_qs, u"　　已缩进"_qs};
        const QStringList out = {u"前言【VIP】"_qs, u"第一章 雾港"_qs, u""_qs, QString(),
                                 u"\u3000\u3000正文【VIP】"_qs, u"第二章 来信"_qs, QString(), u"　　已缩进"_qs};
        for (int i = 0; i < in.size(); ++i) {
            QString text = in[i];
            const Cleaner::Outcome o = c.apply(text, i + 1);
            if (out[i].isNull()) {
                QCOMPARE(o, Cleaner::Dropped);
            } else {
                QCOMPARE(text, out[i]);
                QCOMPARE(o, text == in[i] ? Cleaner::Unchanged : Cleaner::Changed);
            }
        }
        const CleanupLedger& l = c.ledger();
        QCOMPARE(l.totalChanged(), 2);
        QCOMPARE(l.totalRemoved(), 2);
        QVERIFY(l.text().contains(u"[重复标题] 修改 0 行，删除 2 行"_qs));
    }

    // A line a rule empties is gone with DelSpaceLine, else an empty line, never blanks.
    void emptiedLine_droppedOrEmpty()
    {
        for (const bool del : {true, false}) {
            Settings s = Settings::defaults();
            s.DelSpaceLine = del;
            s.ReplaceRules = {rule(u"本章未完"_qs, u""_qs, false)};
            Cleaner c(s, false);
            QString text = u"　 本章未完 "_qs;
            QCOMPARE(c.apply(text, 1), del ? Cleaner::Dropped : Cleaner::Changed);
            QCOMPARE(text, QString());
            QCOMPARE(c.ledger().entries().first().removed, del ? 1 : 0);
        }
    }

    // The reader-app JSON comes back as it went in, unknown fields included.
    void json_roundTripKeepsUnknownFields()
    {
        QFile f(QStringLiteral(VELLOMAR_TEST_DATA "/webnovel-rules.json"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray original = f.readAll();
        QList<ReplaceRule> rules;
        QString error;
        QVERIFY(importReplaceRules(original, &rules, &error));
        QCOMPARE(rules.size(), 3);
        QCOMPARE(rules[1].isRegex, true);
        QCOMPARE(rules[1].scopeTitle, true);
        QList<ReplaceRule> again;
        QVERIFY(importReplaceRules(exportReplaceRules(rules), &again, &error));
        QCOMPARE(again, rules);
        QCOMPARE(QJsonDocument::fromJson(exportReplaceRules(rules)), QJsonDocument::fromJson(original));
        QVERIFY(!importReplaceRules("[{\"name\":\"x\"}]", &rules, &error));
        QVERIFY(!importReplaceRules("[{", &rules, &error));
        QVERIFY(!error.isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_Cleanup)
#include "tst_cleanup.moc"
