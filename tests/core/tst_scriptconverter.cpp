#include "Corpus.h"
#include "OpenCC.h"

#include "core/GbkCodec.h"
#include "core/ScriptConverter.h"

#include <QFile>
#include <QTest>

#include <thread>
#include <vector>

// Our converter must give exactly what OpenCC's own command line gives.
class tst_ScriptConverter : public QObject {
    Q_OBJECT

private slots:
    // The phrases are read on first use, by whichever thread comes first (this test runs first):
    // threads that convert at once all get OpenCC's answer, and ThreadSanitizer sees no race.
    void firstUseFromSeveralThreads_agreesWithOpenCC()
    {
        const QStringList lines = {u"乾隆皇帝"_qs, u"著作與著名"_qs, u"一隻藉口"_qs};
        const QStringList theirs = openccT2s(lines);
        QCOMPARE(theirs.size(), lines.size());
        std::vector<QStringList> ours(4);
        std::vector<std::thread> threads;
        for (size_t t = 0; t < ours.size(); ++t) {
            threads.emplace_back([&lines, &ours, t] {
                for (const QString& line : lines) {
                    ours[t] << ScriptConverter::traditionalToSimplified().convert(line);
                }
            });
        }
        for (std::thread& t : threads) {
            t.join();
        }
        for (const QStringList& o : ours) {
            QCOMPARE(o, theirs);
        }
    }

    void matchesOpenCC_onTraditionalNovel()
    {
        const QString path = corpusPath(u"hongloumeng_trad_in_gbk.txt"_qs);
        VELLOMAR_REQUIRE_CORPUS(path);
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const ScriptConverter& t2s = ScriptConverter::traditionalToSimplified();
        QVERIFY2(t2s.isAvailable(), qPrintable(t2s.errorString()));
        QStringList lines;
        while (!f.atEnd()) {
            lines << GbkCodec::instance().decode(f.readLine().trimmed());
        }
        const QStringList theirs = openccT2s(lines);
        QCOMPARE(theirs.size(), lines.size()); // the opencc package is missing when this fails
        int changed = 0, compared = 0;
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const QString ours = t2s.convert(lines[i]);
            QCOMPARE(ours.size(), lines[i].size());
            // A mapping that changes the length is left out by design; every other one agrees.
            if (theirs[i].size() == lines[i].size()) {
                QCOMPARE(ours, theirs[i]);
                ++compared;
            }
            changed += ours != lines[i];
        }
        QVERIFY(lines.size() > 1000);
        QVERIFY2(compared > lines.size() * 99 / 100, qPrintable(QString::number(compared)));
        QVERIFY2(changed > 1000, qPrintable(QString::number(changed)));
    }

    void phrasesBeatCharacters()
    {
        // 乾 alone becomes 干, but the phrase 乾隆 keeps it.
        const QStringList lines = {u"乾隆皇帝"_qs, u"乾燥"_qs, u"著作與著名"_qs, u"一隻藉口"_qs};
        const QStringList theirs = openccT2s(lines);
        QCOMPARE(theirs.size(), lines.size());
        QCOMPARE(theirs[0], u"乾隆皇帝"_qs);
        for (qsizetype i = 0; i < lines.size(); ++i) {
            QCOMPARE(ScriptConverter::traditionalToSimplified().convert(lines[i]), theirs[i]);
        }
    }
};

QTEST_GUILESS_MAIN(tst_ScriptConverter)
#include "tst_scriptconverter.moc"
