#include "FakeHost.h"

#include "config/Settings.h"
#include "core/AnalysisPass.h"
#include "core/ChapterPreview.h"
#include "core/Document.h"
#include "core/Reflow.h"
#include "core/cRegExp.h"

#include <QTemporaryDir>
#include <QTest>

class tst_ChapterPreview : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void previewFromRecordedOffsets()
    {
        QStringList lines = {u"前言"_qs, u"第1章 甲"_qs, u"　　广告在此"_qs, u"　"_qs, u"正文一"_qs, u"第2章 乙"_qs};
        for (int i = 0; i < 250; ++i) {
            lines << QStringLiteral(u"乙的第%1行").arg(i);
        }
        lines << u"第3章 丙"_qs << u"末行"_qs;
        QByteArray bytes;
        for (int i = 0; i < lines.size(); ++i) {
            // Mixed line ends, the last line without one.
            bytes += GbkCodec::instance().encode(lines[i]) + (i + 1 == lines.size() ? "" : (i % 2 ? "\n" : "\r\n"));
        }
        const QString path = m_dir.filePath(u"n.txt"_qs);
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        f.close();

        Settings s = Settings::defaults();
        Document doc;
        QVERIFY(doc.OpenTextFile(path, nullptr));
        FakeHost host(&doc);
        QVERIFY(RunAnalysis(doc, s, host));
        QCOMPARE(doc.TitleOffsets.size(), 3);
        cRegExp re;
        re.SetFilters(QString(), s.TextFilters);

        // Chapter 1: title to the line before the next title, filters and blank lines marked.
        ChapterPreview p = readChapterPreview(path, doc.TitleOffsets[0], doc.TitleOffsets[1], doc.codec(), re, true);
        QVERIFY(p.error.isEmpty());
        QCOMPARE(p.lines.size(), 4);
        QCOMPARE(p.lines[0].text, u"第1章 甲"_qs);
        QCOMPARE(p.lines[1].filtered, (QList<QPair<int, int>>{{2, 2}}));
        QVERIFY(!p.lines[1].dropped);
        QVERIFY(p.lines[2].dropped);
        QVERIFY(!p.cut);

        // Chapter 2 is longer than the preview: cut after 200 lines.
        p = readChapterPreview(path, doc.TitleOffsets[1], doc.TitleOffsets[2], doc.codec(), re, true);
        QCOMPARE(p.lines.size(), 200);
        QCOMPARE(p.lines[1].text, u"乙的第0行"_qs);
        QVERIFY(p.cut);

        // The last chapter runs to the end of the file.
        p = readChapterPreview(path, doc.TitleOffsets[2], -1, doc.codec(), re, false);
        QCOMPARE(p.lines.size(), 2);
        QCOMPARE(p.lines[1].text, u"末行"_qs);
        QVERIFY(!p.cut);

        // A file that went away is reported, not shown empty.
        p = readChapterPreview(m_dir.filePath(u"gone.txt"_qs), 0, -1, doc.codec(), re, false);
        QVERIFY(!p.error.isEmpty());
    }

    // 重新分段 on: the preview shows the paragraphs output writes, the title line apart; the
    // paragraph still open when the preview is full is shown as far as it was read.
    void reflow_showsJoinedParagraphs()
    {
        const QStringList body = {u"精兵五百，命先锋张飞"_qs, u"引兵追赶。贼众大败，"_qs, u"四散奔走。"_qs,
                                  u"玄德收兵回城，众将各"_qs, u"自领赏。"_qs, u"次日，太守亲自出城迎"_qs,
                                  u"接，设宴款待三人。"_qs};
        const WrapProfile wrap = surveyLines(body + body);
        QVERIFY(wrap.wrapped);
        QByteArray bytes = GbkCodec::instance().encode(u"第1章 引兵追赶，贼"_qs) + "\r\n";
        for (const QString& l : body) {
            bytes += GbkCodec::instance().encode(l) + "\r\n";
        }
        const QString path = m_dir.filePath(u"wrapped.txt"_qs);
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
        f.close();
        cRegExp re;
        ChapterPreview p = readChapterPreview(path, 0, -1, GbkCodec::instance(), re, true, 200, &wrap);
        QStringList shown;
        for (const PreviewLine& l : p.lines) {
            shown << l.text;
        }
        QCOMPARE(shown, (QStringList{u"第1章 引兵追赶，贼"_qs, u"精兵五百，命先锋张飞引兵追赶。贼众大败，四散奔走。"_qs,
                                     u"玄德收兵回城，众将各自领赏。"_qs, u"次日，太守亲自出城迎接，设宴款待三人。"_qs}));
        QCOMPARE(p.lines[1].lines, 3);
        QVERIFY(!p.cut);
        p = readChapterPreview(path, 0, -1, GbkCodec::instance(), re, true, 2, &wrap);
        QCOMPARE(p.lines.size(), 2);
        QVERIFY(p.cut);
    }
};

QTEST_GUILESS_MAIN(tst_ChapterPreview)
#include "tst_chapterpreview.moc"
