#include "config/Settings.h"
#include "core/PatternLiterals.h"

#include <QRegularExpression>
#include <QTest>

#include <algorithm>

class tst_PatternLiterals : public QObject {
    Q_OBJECT

private slots:
    void requiredLiteral_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("literal");
        QTest::newRow("default") << Settings::defaultTitleText() << u"第"_qs;
        QTest::newRow("longest run") << u"^第.*卷\\s*第(\\d+)章(.*)"_qs << u"第"_qs;
        QTest::newRow("two chars") << u"正文(.*)"_qs << u"正文"_qs;
        QTest::newRow("optional char dropped") << u"第?(\\d+)回(.*)"_qs << u"回"_qs;
        QTest::newRow("top alternation") << u"第(\\d+)章|楔子"_qs << QString();
        QTest::newRow("inner alternation ok") << u"第(\\d+)(章|回)(.*)"_qs << u"第"_qs;
        QTest::newRow("letters are caseless") << u"Chapter (\\d+)(.*)"_qs << u" "_qs;
        QTest::newRow("option setting") << u"(?x)第 (\\d+)"_qs << QString();
        QTest::newRow("escaped dot") << u"(\\d+)\\.(.*)"_qs << u"."_qs;
        QTest::newRow("counted repeat") << u"第{1,2}(\\d)"_qs << QString();
        QTest::newRow("plus keeps one") << u"第+章"_qs << u"第"_qs;
    }

    void leadingLiteralAndClass_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("literal");
        QTest::addColumn<QString>("mustHold"); // characters the class must contain; empty: no answer
        QTest::newRow("default") << Settings::defaultTitleText() << u"第"_qs << u"0９一千〇Ｏ两"_qs;
        QTest::newRow("non-capturing") << u"第(?:[0-9]+)回"_qs << u"第"_qs << u"05"_qs;
        QTest::newRow("bare class") << u"卷[一二三]"_qs << u"卷"_qs << u"一二三"_qs;
        QTest::newRow("digits escape") << u"第([\\d十]+)"_qs << u"第"_qs << u"7十"_qs;
        QTest::newRow("letters both cases") << u"X([a-c]+)"_qs << QString() << QString(); // X has case
        QTest::newRow("class letters both cases") << u"第([a-c]+)"_qs << u"第"_qs << u"aBc"_qs;
        QTest::newRow("alternative in group") << u"第([0-9]+|序)章"_qs << QString() << QString();
        QTest::newRow("optional class") << u"第([0-9]*)章"_qs << QString() << QString();
        QTest::newRow("negated class") << u"第([^章]+)章"_qs << QString() << QString();
        QTest::newRow("lookahead") << u"第(?=1)([0-9]+)"_qs << QString() << QString();
        QTest::newRow("quantified literal") << u"第+([0-9]+)"_qs << QString() << QString();
        QTest::newRow("not at start") << u"^第([0-9]+)"_qs << QString() << QString();
        QTest::newRow("posix class") << u"第([[:digit:]]+)"_qs << QString() << QString();
    }

    void leadingLiteralAndClass()
    {
        QFETCH(QString, pattern);
        QFETCH(QString, literal);
        QFETCH(QString, mustHold);
        QString gotLiteral, chars;
        const bool ok = PatternLiterals::leadingLiteralAndClass(pattern, &gotLiteral, &chars);
        QCOMPARE(ok, !literal.isEmpty());
        if (ok) {
            QCOMPARE(gotLiteral, literal);
            for (QChar c : mustHold) {
                QVERIFY2(chars.contains(c), qPrintable(QString(c)));
            }
            // Soundness: any single character the class matches must be in the set.
            const QRegularExpression re(pattern, QRegularExpression::CaseInsensitiveOption);
            for (char16_t u = 0x20; u < 0xA000; u += 7) {
                const QString line = literal + QChar(u) + u"章回"_qs;
                const QRegularExpressionMatch m = re.match(line);
                if (m.hasMatch() && m.capturedStart() == 0 && !QChar(u).isSurrogate()) {
                    QVERIFY2(chars.contains(QChar(u)), qPrintable(QString::number(u, 16)));
                }
            }
        }
    }

    void leadingTexts_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QStringList>("literals"); // empty: no answer
        QTest::addColumn<QStringList>("matching"); // lines the pattern matches
        const QStringList volumeLines = {u"第一卷 风起"_qs, u"　卷三"_qs, u"上卷"_qs, u"第２部分"_qs, u"第十集 终"_qs};
        QTest::newRow("built-in volume pattern") << Settings::defaultVolumeText() << QStringList{u"第"_qs, u"卷"_qs}
                                                  << volumeLines;
        QTest::newRow("top alternatives") << u"^第(\\d+)卷|^\\s*卷([一二三]+)"_qs << QStringList{u"第"_qs, u"卷"_qs}
                                          << QStringList{u"第12卷"_qs, u" 卷二"_qs};
        QTest::newRow("class then text") << u"^([上中下])部(.*)"_qs << QStringList{u"部"_qs} << QStringList{u"下部 终"_qs};
        QTest::newRow("plain sequence") << u"^[\\s　]+第([一二]+)篇"_qs << QStringList{u"第"_qs} << QStringList{u"　第二篇"_qs};
        QTest::newRow("letters have case") << u"^(?:volume|book) (\\d+)"_qs << QStringList() << QStringList();
        QTest::newRow("empty alternative") << u"^(?:|第)卷"_qs << QStringList() << QStringList();
        QTest::newRow("optional group") << u"^(?:第)?卷([一二])"_qs << QStringList() << QStringList();
        QTest::newRow("quoting") << u"^\\Q|\\E卷"_qs << QStringList() << QStringList();
    }

    // Every line the pattern matches holds one of the texts the code gives, followed by a
    // character of its class: searching for them never misses a heading.
    void leadingTexts()
    {
        QFETCH(QString, pattern);
        QFETCH(QStringList, literals);
        QList<PatternLiterals::LeadingText> texts;
        QCOMPARE(PatternLiterals::leadingTexts(pattern, &texts), !literals.isEmpty());
        QStringList got;
        for (const PatternLiterals::LeadingText& t : std::as_const(texts)) {
            got << (got.contains(t.literal) ? QStringList() : QStringList{t.literal});
        }
        QCOMPARE(got, literals);
        QFETCH(QStringList, matching);
        for (const QString& line : std::as_const(matching)) {
            QVERIFY(QRegularExpression(pattern, QRegularExpression::CaseInsensitiveOption).match(line).hasMatch());
            const bool found = std::any_of(texts.cbegin(), texts.cend(), [&](const PatternLiterals::LeadingText& t) {
                for (qsizetype at = line.indexOf(t.literal); at >= 0; at = line.indexOf(t.literal, at + 1)) {
                    const qsizetype after = at + t.literal.size();
                    if (t.follows.isEmpty() || (after < line.size() && t.follows.contains(line[after]))) {
                        return true;
                    }
                }
                return false;
            });
            QVERIFY2(found, qPrintable(line));
        }
    }

    void requiredLiteral()
    {
        QFETCH(QString, pattern);
        QFETCH(QString, literal);
        QCOMPARE(PatternLiterals::requiredLiteral(pattern), literal);
    }
};

QTEST_GUILESS_MAIN(tst_PatternLiterals)
#include "tst_patternliterals.moc"
