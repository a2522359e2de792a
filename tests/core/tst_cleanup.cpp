#include "config/ReplaceRules.h"
#include "core/Cleanup.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

class tst_Cleanup : public QObject {
    Q_OBJECT

    // The rules as a user would apply them by hand, one after another over the whole line; a
    // line that becomes blank is emptied and stays so (what the cleaner promises).
    static QString appliedOneByOne(const QList<CompiledRule>& rules, const QString& line)
    {
        QString text = line;
        const bool wasBlank = isBlankText(text);
        for (const CompiledRule& r : rules) {
            if (!r.rule.isRegex) {
                text.replace(r.rule.pattern, r.rule.replacement);
            } else {
                const QRegularExpression re(r.rule.pattern);
                QString out;
                qsizetype from = 0;
                for (QRegularExpressionMatchIterator it = re.globalMatch(text); it.hasNext();) {
                    const QRegularExpressionMatch m = it.next();
                    out += text.mid(from, m.capturedStart() - from);
                    QString with = r.rule.replacement;
                    for (int g = 9; g >= 0; --g) {
                        with.replace(u"$"_qs + QString::number(g), m.captured(g));
                    }
                    out += with;
                    from = m.capturedEnd();
                }
                text = out + text.mid(from);
            }
            if (!wasBlank && isBlankText(text)) {
                return QString();
            }
        }
        return text;
    }

    static QString describe(const QList<ReplaceRule>& rules)
    {
        QStringList parts;
        for (const ReplaceRule& r : rules) {
            parts << u"%1%2→%3 (%4)"_qs.arg(r.isRegex ? u"re:"_qs : QString(), r.pattern, r.replacement).arg(r.order);
        }
        return parts.join(u", "_qs);
    }

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

    // Each rule works on what the rules before it made of the line, whatever shortcut the
    // cleaner takes to skip rules that cannot match.
    void rules_chain_data()
    {
        QTest::addColumn<QStringList>("rules"); // pattern, replacement, "re" or "", ...
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("expected");
        const QStringList plain = {u"甲"_qs, u"乙"_qs, u""_qs, u"乙"_qs, u"丙"_qs, u""_qs};
        QTest::newRow("plain into plain, alone") << plain << u"甲"_qs << u"丙"_qs;
        QTest::newRow("plain into plain, beside") << plain << u"甲乙"_qs << u"丙丙"_qs;
        QTest::newRow("regex makes a plain rule's text")
            << QStringList{u"a(\\d)"_qs, u"乙$1"_qs, u"re"_qs, u"乙1"_qs, u"丙"_qs, u""_qs} << u"xa1"_qs << u"x丙"_qs;
        QTest::newRow("plain makes a regex rule's text")
            << QStringList{u"甲"_qs, u"ab"_qs, u""_qs, u"a(b)"_qs, u"<$1>"_qs, u"re"_qs} << u"甲"_qs << u"<b>"_qs;
        QTest::newRow("conditional pattern beside another")
            << QStringList{u"[0-9]([0-9])?"_qs, u"N"_qs, u"re"_qs, u"([a])?(?(1)[b]|[c])"_qs, u"X"_qs, u"re"_qs}
            << u"ab"_qs << u"X"_qs;
        QTest::newRow("group numbers of the first rule")
            << QStringList{u"(q)(r)"_qs, u"$2"_qs, u"re"_qs, u"(a)\\1"_qs, u"B"_qs, u"re"_qs} << u"aaqr"_qs << u"Br"_qs;
        QTest::newRow("a later rule undoes an earlier one")
            << QStringList{u"广告"_qs, u"[广告]"_qs, u""_qs, u"\\[广告\\]"_qs, u"广告"_qs, u"re"_qs} << u"有广告"_qs
            << u"有广告"_qs;
    }

    void rules_chain()
    {
        QFETCH(QStringList, rules);
        QFETCH(QString, line);
        QFETCH(QString, expected);
        Settings s = Settings::defaults();
        for (qsizetype i = 0; i + 2 < rules.size(); i += 3) {
            s.ReplaceRules << rule(rules[i], rules[i + 1], rules[i + 2] == u"re"_qs);
        }
        for (const Cleaner::Shortcut shortcut : {Cleaner::Shortcut::On, Cleaner::Shortcut::Off}) {
            Cleaner c(s, false, shortcut);
            QString text = line;
            c.apply(text, 1);
            QCOMPARE(text, expected);
        }
    }

    // Random rules on random lines: the cleaner with its shortcut, without it, and the rules
    // applied one after the other by plain means all give the same lines.
    void shortcut_neverChangesAResult()
    {
        QRandomGenerator rng(20240611);
        const QStringList atoms = {u"a"_qs, u"b"_qs, u"甲"_qs, u"乙"_qs, u" "_qs, u"[ab]"_qs, u"a+"_qs, u"(a|b)"_qs,
                                   u"(?:甲乙)?"_qs, u"^"_qs, u"$"_qs, u"."_qs, u"(a)\\1"_qs, u"([a])?(?(1)b|甲)"_qs,
                                   u"\\s*"_qs, u"(?=b)"_qs, u"[^a]"_qs, u"乙{2}"_qs};
        const QStringList replacements = {QString(), u"a"_qs, u"乙"_qs, u"$1"_qs, u"[$0]"_qs, u"甲 "_qs, u"  "_qs};
        const QString alphabet = u"ab甲乙 "_qs;
        int changedLines = 0;
        for (int trial = 0; trial < 400; ++trial) {
            Settings s = Settings::defaults();
            const int n = 1 + rng.bounded(6);
            for (int i = 0; i < n; ++i) {
                const bool regex = rng.bounded(3) != 0;
                QString pattern;
                const int parts = 1 + rng.bounded(3);
                for (int k = 0; k < parts; ++k) {
                    pattern += regex ? atoms[rng.bounded(atoms.size())] : QString(alphabet[rng.bounded(4)]);
                }
                s.ReplaceRules << rule(pattern, replacements[rng.bounded(replacements.size())], regex);
                s.ReplaceRules.last().order = rng.bounded(3);
            }
            Cleaner with(s, false, Cleaner::Shortcut::On);
            Cleaner without(s, false, Cleaner::Shortcut::Off);
            const QList<CompiledRule> compiled = runnableRules(s.ReplaceRules);
            for (int l = 0; l < 20; ++l) {
                QString line;
                for (int k = rng.bounded(10); k > 0; --k) {
                    line += alphabet[rng.bounded(alphabet.size())];
                }
                QString a = line, b = line;
                const Cleaner::Outcome oa = with.apply(a, l + 1);
                const Cleaner::Outcome ob = without.apply(b, l + 1);
                const QString expected = appliedOneByOne(compiled, line);
                const QString context = u"rules %1, line \"%2\""_qs.arg(describe(s.ReplaceRules), line);
                QVERIFY2(a == expected && b == expected && oa == ob, qPrintable(context + u" gave \"%1\", \"%2\", expected \"%3\""_qs.arg(a, b, expected)));
                changedLines += a != line;
            }
            QCOMPARE(with.ledger().text(), without.ledger().text());
        }
        QVERIFY(changedLines > 1000); // the rules did change lines, often
    }

    // A rule that takes too long on a line gives up on it within its budget, leaves it as the
    // rules before made it (the rules after still run), and is named; after three such lines it
    // is no longer used.
    void slowRule_givesUpAndIsNamed_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("why");
        QTest::newRow("searches the rest of a long line from every position")
            << u"x(?=.*y)"_qs << QString(200000, u'x') + u'b' << u"用时超过 120 毫秒"_qs;
        QTest::newRow("backtracks without end on a short line")
            << u"(a|aa)+$"_qs << QString(40, u'a') + u'b' << u"回溯过多"_qs;
    }

    void slowRule_givesUpAndIsNamed()
    {
        QFETCH(QString, pattern);
        QFETCH(QString, line);
        QFETCH(QString, why);
        Settings s = Settings::defaults();
        s.ReplaceRules = {rule(pattern, u"!"_qs, true), rule(u"b"_qs, u"c"_qs, false)};
        s.ReplaceRules[0].name = u"慢"_qs;
        Cleaner c(s, false);
        for (int n = 1; n <= Cleaner::MaxTimeouts + 1; ++n) {
            QString text = line;
            QCOMPARE(c.apply(text, n), Cleaner::Changed);
            QCOMPARE(text, QString(line).replace(u'b', u'c'));
        }
        const QStringList timeouts = c.ledger().timeouts;
        QCOMPARE(timeouts.size(), Cleaner::MaxTimeouts);
        for (int n = 1; n <= Cleaner::MaxTimeouts; ++n) {
            QVERIFY2(timeouts[n - 1].startsWith(u"“慢”在第 %1 行"_qs.arg(n)) && timeouts[n - 1].contains(why),
                     qPrintable(timeouts[n - 1]));
        }
        QVERIFY(timeouts.last().contains(u"之后的行都不再使用"_qs));
        QVERIFY(c.ledger().text().contains(u"规则超时: “慢”在第 1 行"_qs));
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
