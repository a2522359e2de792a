#include "FakeHost.h"

#include "config/Settings.h"
#include "core/AnalysisPass.h"
#include "core/Document.h"
#include "core/RepeatedChapters.h"
#include "core/TextCodec.h"

#include <QHash>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

// Random novels in each encoding, chapters scraped twice with other blanks, blank lines and line
// ends, some bodies longer than the walkers' 1 MB chunks (one with a line longer than a chunk),
// some titles ignored: the repeats found are the ones a plain reading of the decoded text finds.
class tst_RepeatedChapters : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    static bool isBlank(char32_t c) { return c == U' ' || c == U'\t' || c == 0x3000 || c == 0xA0; }

    // The reference: the whole novel decoded and cut into lines; a kept chapter's body is its
    // lines up to the next kept title, blanks removed and empty lines left out; one of at least
    // 20 characters repeats the first earlier body that is the same.
    static QVector<qint32> reference(const QString& text, const ChapterModel& model)
    {
        const QStringList lines = text.split(QRegularExpression(u"\r\n|\r|\n"_qs));
        QList<QPair<qint32, int>> kept; // title line, record
        for (int row = 0; row < model.rowCount(); ++row) {
            if (!model.isChecked(row)) {
                kept.append({model.chapline().at(model.tag(row)), model.tag(row)});
            }
        }
        std::sort(kept.begin(), kept.end());
        QVector<qint32> sameAs(model.recordCount(), 0);
        QHash<QString, qint32> first;
        for (qsizetype k = 0; k < kept.size(); ++k) {
            const qsizetype end = k + 1 < kept.size() ? kept[k + 1].first - 1 : lines.size();
            QStringList body;
            qsizetype characters = 0;
            for (qsizetype i = kept[k].first; i < end; ++i) {
                QString line;
                for (char32_t c : lines[i].toUcs4()) {
                    if (!isBlank(c)) {
                        line += QString::fromUcs4(&c, 1);
                        ++characters;
                    }
                }
                if (!line.isEmpty()) {
                    body << line;
                }
            }
            const QString key = body.join(u'\n');
            if (characters < 20) {
                continue;
            }
            if (first.contains(key)) {
                sameAs[kept[k].second] = first.value(key);
            } else {
                first.insert(key, kept[k].first);
            }
        }
        return sameAs;
    }

private slots:
    void repeatsAsTheDecodedTextShows_data()
    {
        QTest::addColumn<int>("codec");
        QTest::newRow("UTF-8") << int(TextCodec::Utf8);
        QTest::newRow("GBK") << int(TextCodec::Gbk);
        QTest::newRow("GB18030") << int(TextCodec::Gb18030);
        QTest::newRow("Big5") << int(TextCodec::Big5);
        QTest::newRow("UTF-16LE (read line by line)") << int(TextCodec::Utf16LE);
    }

    void repeatsAsTheDecodedTextShows()
    {
        QFETCH(int, codec);
        const TextCodec& c = TextCodec::forId(TextCodec::Id(codec));
        QRandomGenerator rng(20261210 + codec);
        // Characters every one of these encodings holds, and the blanks each can write.
        QStringList letters = u"的一是了我人在有他中大上天下不出心手山水火木日月，。abcXYZ019"_qs.split(QString(), Qt::SkipEmptyParts);
        QStringList blanks{u" "_qs, u"\t"_qs, u"\u3000"_qs};
        if (c.canEncode(0xA0)) {
            blanks << u"\u00A0"_qs;
        }
        if (c.canEncode(QChar::highSurrogate(0x20000))) {
            letters << QString::fromUcs4(U"\U00020000");
        }
        auto pick = [&](const QStringList& from) { return from.at(rng.bounded(int(from.size()))); };
        auto word = [&](int length) {
            QString w;
            for (int i = 0; i < length; ++i) {
                w += pick(letters);
            }
            return w;
        };
        // Bodies to copy: short ones (alike by chance, never repeats), ordinary ones, and two
        // longer than a chunk, one of them with a line longer than a chunk.
        QList<QStringList> bodies;
        for (int b = 0; b < 3; ++b) {
            bodies.append({word(1 + b), word(2)});
        }
        for (int b = 0; b < 6; ++b) {
            QStringList body;
            for (int l = 3 + rng.bounded(20); l > 0; --l) {
                body << word(10 + rng.bounded(60));
            }
            bodies << body;
        }
        for (int b = 0; b < 2; ++b) {
            QStringList body;
            for (int l = 0; l < 4000; ++l) {
                body << word(100 + rng.bounded(200));
            }
            if (b == 1) {
                body[1000] = word(700000);
            }
            bodies << body;
        }
        // A copy as scraped again: other blanks inside and around lines, blank lines added.
        auto rescraped = [&](const QStringList& body) {
            QStringList lines;
            for (const QString& line : body) {
                if (rng.bounded(8) == 0) {
                    lines << pick(blanks).repeated(rng.bounded(3));
                }
                QString l = line;
                for (int k = rng.bounded(3); k > 0; --k) {
                    qsizetype at = rng.bounded(int(l.size()) + 1);
                    if (at > 0 && at < l.size() && l.at(at).isLowSurrogate()) {
                        --at;
                    }
                    l.insert(at, pick(blanks));
                }
                lines << l;
            }
            return lines;
        };
        const QStringList ends{u"\r\n"_qs, u"\n"_qs, u"\r"_qs};
        QString text = u"书名：测试\r\n"_qs;
        int chapters = 0;
        auto addChapter = [&](const QStringList& body) {
            ++chapters;
            text += QStringLiteral(u"第%1章 %2").arg(chapters).arg(word(1 + rng.bounded(12)));
            const QString end = pick(ends);
            for (const QString& line : body) {
                text += end + line;
            }
            text += end;
        };
        for (const QStringList& body : std::as_const(bodies)) {
            addChapter(rescraped(body)); // each body at least once
        }
        for (int n = 0; n < 40; ++n) {
            const int b = rng.bounded(int(bodies.size()) - 2); // the long ones once more below
            QStringList body = rescraped(bodies.at(b));
            if (rng.bounded(4) == 0) {
                body[rng.bounded(int(body.size()))] += letters.at(0); // nearly the same is not the same
            }
            addChapter(body);
        }
        addChapter(rescraped(bodies.at(bodies.size() - 1)));
        addChapter(rescraped(bodies.at(bodies.size() - 2)));

        QByteArray bytes = c.encode(text);
        QVERIFY(bytes.size() > (3 << 20));
        const QString path = m_dir.filePath(QStringLiteral("novel%1.txt").arg(codec));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QCOMPARE(f.write(bytes), bytes.size());
        f.close();

        Settings s = Settings::defaults();
        s.SetInvalidTitle = false;
        Document doc;
        doc.setEncodingChoice(false, c.id());
        QVERIFY(doc.OpenTextFile(path, nullptr));
        FakeHost host(&doc);
        QVERIFY(RunAnalysis(doc, s, host));
        QCOMPARE(doc.model().rowCount(), chapters);
        // Ignored titles among the copies: their lines then belong to the chapter before.
        for (int row = int(bodies.size()) + 1; row < chapters - 2; ++row) {
            if (rng.bounded(7) == 0) {
                doc.model().setChecked(row, true);
            }
        }
        const QVector<qint32> expected = reference(c.decode(bytes), doc.model());
        QVERIFY(std::count_if(expected.cbegin(), expected.cend(), [](qint32 v) { return v > 0; }) >= 8);
        QVERIFY(expected.at(chapters - 1) > 0 && expected.at(chapters - 2) > 0); // the long ones
        QCOMPARE(findRepeatedChapters(doc), expected);
        QCOMPARE(findRepeatedChapters(doc), expected); // the novel was rewound for the next reader
    }
};

QTEST_GUILESS_MAIN(tst_RepeatedChapters)
#include "tst_repeatedchapters.moc"
