#include "Corpus.h"

#include "core/GbkCodec.h"
#include "core/ScriptConverter.h"

#include <QFile>
#include <QTest>

#include <opencc/opencc.h>

// Our converter must give exactly what OpenCC's own t2s conversion gives.
class tst_ScriptConverter : public QObject {
    Q_OBJECT

    static QString opencc(opencc_t h, const QString& text)
    {
        const QByteArray utf8 = text.toUtf8();
        char* out = opencc_convert_utf8(h, utf8.constData(), size_t(utf8.size()));
        const QString s = QString::fromUtf8(out);
        opencc_convert_utf8_free(out);
        return s;
    }

private slots:
    void matchesOpenCC_onTraditionalNovel()
    {
        const QString path = corpusPath(u"hongloumeng_trad_in_gbk.txt"_qs);
        VELLOMAR_REQUIRE_CORPUS(path);
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const ScriptConverter& t2s = ScriptConverter::traditionalToSimplified();
        QVERIFY2(t2s.isAvailable(), qPrintable(t2s.errorString()));
        opencc_t h = opencc_open("/usr/share/opencc/t2s.json");
        QVERIFY(h != reinterpret_cast<opencc_t>(-1));
        int lines = 0, changed = 0;
        while (!f.atEnd()) {
            const QString line = GbkCodec::instance().decode(f.readLine().trimmed());
            const QString ours = t2s.convert(line);
            QCOMPARE(ours.size(), line.size());
            const QString theirs = opencc(h, line);
            if (theirs.size() == line.size()) { // same-length results must agree exactly
                QCOMPARE(ours, theirs);
            }
            ++lines;
            changed += ours != line;
        }
        opencc_close(h);
        QVERIFY(lines > 1000);
        QVERIFY2(changed > 1000, qPrintable(QString::number(changed)));
    }

    void phrasesBeatCharacters()
    {
        // 乾 alone becomes 干, but the phrase 乾隆 keeps it; the check is against OpenCC itself.
        opencc_t h = opencc_open("/usr/share/opencc/t2s.json");
        for (const QString& s : {u"乾隆皇帝"_qs, u"乾燥"_qs, u"著作與著名"_qs, u"一隻藉口"_qs}) {
            QCOMPARE(ScriptConverter::traditionalToSimplified().convert(s), opencc(h, s));
        }
        opencc_close(h);
    }
};

QTEST_GUILESS_MAIN(tst_ScriptConverter)
#include "tst_scriptconverter.moc"
