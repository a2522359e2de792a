#include "FakeHost.h"

#include "config/Settings.h"
#include "core/AnalysisPass.h"
#include "core/Document.h"
#include "core/GbkCodec.h"
#include "epub/BookMeta.h"
#include "epub/EpubPass.h"

#include <quazip/quazip.h>
#include <quazip/quazipfile.h>

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

// Books read back: their text is the novel's, in order, with only the asked-for changes.
class tst_Epub : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    static QByteArray entry(QuaZip& zip, const QString& name)
    {
        if (!zip.setCurrentFile(name)) {
            return QByteArray();
        }
        QuaZipFile f(&zip);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }

    // The headings and paragraphs of the book's pages in spine order, markup stripped.
    static QStringList bookText(const QString& path, QString* opf = nullptr)
    {
        QuaZip zip(path);
        if (!zip.open(QuaZip::mdUnzip)) {
            return {QStringLiteral("not a zip")};
        }
        const QString package = QString::fromUtf8(entry(zip, QStringLiteral("OEBPS/content.opf")));
        if (opf) {
            *opf = package;
        }
        static const QRegularExpression itemref(QStringLiteral("<itemref idref=\"([^\"]+)\""));
        static const QRegularExpression block(QStringLiteral("<(h1|h2|p)>(.*?)</\\1>"));
        QStringList lines;
        for (auto it = itemref.globalMatch(package); it.hasNext();) {
            const QString id = it.next().captured(1);
            if (id == QLatin1String("cover") || id == QLatin1String("nav")) {
                continue;
            }
            const QString page = QString::fromUtf8(entry(zip, QStringLiteral("OEBPS/text/%1.xhtml").arg(id)));
            for (auto b = block.globalMatch(page); b.hasNext();) {
                QString t = b.next().captured(2);
                t.replace(QLatin1String("&lt;"), QLatin1String("<")).replace(QLatin1String("&gt;"), QLatin1String(">"));
                t.replace(QLatin1String("&quot;"), QLatin1String("\"")).replace(QLatin1String("&amp;"), QLatin1String("&"));
                lines << t;
            }
        }
        return lines;
    }

private slots:
    void bookReadsBackAsTheNovel()
    {
        // GBK lines; 0x80 alone is no GBK character.
        const QList<QByteArray> novel{
            GbkCodec::instance().encode(u"书名：测试之书"),
            GbkCodec::instance().encode(u"作者：某人"),
            GbkCodec::instance().encode(u"　　这是前言。广告"),
            "",
            GbkCodec::instance().encode(u"第一章 開始"),
            GbkCodec::instance().encode(u"　　第一段說話。"),
            "   ",
            GbkCodec::instance().encode(u"第二章 假标题"),
            GbkCodec::instance().encode(u"　　第二段 & <b>标签</b>"),
            GbkCodec::instance().encode(u"第三章 真的"),
            GbkCodec::instance().encode(u"　　第三段") + "\x80",
            GbkCodec::instance().encode(u"第四章 最后"),
            GbkCodec::instance().encode(u"广告第四段"),
        };
        const QString path = m_dir.filePath(u"测试.txt"_qs);
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(novel.join("\r\n"));
        f.close();

        Settings s = Settings::defaults();
        s.SetInvalidTitle = false;
        s.DelSpaceLine = true;
        s.ConvertToSimple = true;
        s.TextFilters = u"广告"_qs;
        Document doc;
        FakeHost host(&doc);
        QVERIFY(doc.OpenTextFile(path, nullptr));
        QVERIFY(RunAnalysis(doc, s, host));
        QCOMPARE(doc.model().rowCount(), 4);
        doc.model().setChecked(1, true); // 第二章 is no chapter: its lines stay in 第一章

        EpubOptions o;
        o.chapsInBook = 2;
        QStringList books;
        for (const QString& folder : {u"a"_qs, u"b"_qs}) {
            o.target = m_dir.filePath(folder);
            QVERIFY(QDir().mkpath(o.target));
            const EpubResult r = RunEpub(doc, s, o, host);
            QCOMPARE(r.kind, EpubResult::Done);
            QCOMPARE(r.replaced, 1);
            QCOMPARE(r.books, (QStringList{o.target + u"/测试之书 (1-2).epub"_qs, o.target + u"/测试之书 (3-3).epub"_qs}));
            books = r.books;
        }
        QVERIFY(host.notices.last().contains(u"1 处无法解码的字节已替换"_qs));
        // What the filter string took away is told, and counted in the report.
        QVERIFY2(host.notices.last().contains(u"字符过滤修改了 2 行，例如第 3 行：“　　这是前言。广告” → “　　这是前言。”"_qs),
                 qPrintable(host.notices.last()));
        // The same input gives the same book, byte for byte.
        for (const QString& book : books) {
            QFile a(book), b(QString(book).replace(u"/b/"_qs, u"/a/"_qs));
            QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
            QVERIFY(a.readAll() == b.readAll());
        }

        QString opf;
        QStringList text = bookText(books[0], &opf) + bookText(books[1]);
        QCOMPARE(text, (QStringList{u"书名：测试之书"_qs, u"作者：某人"_qs, u"这是前言。"_qs, u"第一章 开始"_qs,
                                    u"第一段说话。"_qs, u"第二章 假标题"_qs, u"第二段 & <b>标签</b>"_qs,
                                    u"第三章 真的"_qs, u"第三段\uFFFD"_qs, u"第四章 最后"_qs, u"第四段"_qs}));
        QVERIFY(opf.contains(u"<dc:title>测试之书</dc:title>"_qs));
        QVERIFY(opf.contains(u"<dc:creator>某人</dc:creator>"_qs));
        QVERIFY(opf.contains(u"<dc:language>zh-CN</dc:language>"_qs));
        QVERIFY(opf.contains(QRegularExpression(u"<dc:identifier id=\"bookid\">urn:uuid:[0-9a-f]{8}-[0-9a-f]{4}-5"_qs)));

        // The mimetype entry comes first and is stored.
        QuaZip zip(books[0]);
        QVERIFY(zip.open(QuaZip::mdUnzip));
        QVERIFY(zip.goToFirstFile());
        QuaZipFileInfo64 info;
        QVERIFY(zip.getCurrentFileInfo(&info));
        QCOMPARE(info.name, u"mimetype"_qs);
        QCOMPARE(info.method, quint16(0));
        QCOMPARE(info.extra.size(), 0);
    }

    // Volumes: a page for each (an empty one too), the text in order across three books, and
    // a line holding a volume and a chapter title split between the two pages.
    void volumesReadBackInOrder()
    {
        const QString novel = QStringLiteral(VELLOMAR_TEST_DATA "/volumes.txt");
        Settings s = Settings::defaults();
        s.TextFilters.clear();
        Document doc;
        FakeHost host(&doc);
        QVERIFY(doc.OpenTextFile(novel, nullptr));
        QVERIFY(RunAnalysis(doc, s, host));
        QCOMPARE(doc.model().volumes().size(), 4);
        EpubOptions o;
        o.chapsInBook = 3;
        o.target = m_dir.filePath(u"v/parts.epub"_qs);
        QVERIFY(QDir().mkpath(m_dir.filePath(u"v"_qs)));
        const EpubResult r = RunEpub(doc, s, o, host);
        QCOMPARE(r.kind, EpubResult::Done);
        QCOMPARE(r.books.size(), 3);
        QStringList text;
        for (const QString& book : r.books) {
            text += bookText(book);
        }
        QFile f(novel);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QStringList expected;
        for (QString line : QString::fromUtf8(f.readAll()).split(u'\n')) {
            line = line.trimmed().remove(QRegularExpression(u"^\u3000+"_qs));
            if (line.isEmpty()) {
                continue;
            }
            if (line == u"第二卷 风雨路 第一章 渡口"_qs) {
                expected << u"第二卷 风雨路"_qs << u"第一章 渡口"_qs;
            } else {
                expected << line;
            }
        }
        QCOMPARE(text, expected);
    }

    void metadataFromNameAndFrontMatter_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("front");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("author");
        QTest::newRow("brackets") << u"《雪中》作者：烽火.txt"_qs << QStringList{u"书名：别的"_qs} << u"雪中"_qs << u"烽火"_qs;
        QTest::newRow("space author") << u"斗破 作者：土豆.txt"_qs << QStringList() << u"斗破"_qs << u"土豆"_qs;
        QTest::newRow("front matter") << u"novel_123.txt"_qs << QStringList{u"　书名：《真名》"_qs, u"作者: 某甲"_qs}
                                      << u"真名"_qs << u"某甲"_qs;
        QTest::newRow("bracket line") << u"v.txt"_qs << QStringList{u"《星河长歌》"_qs, u"作者：青衫客"_qs} << u"星河长歌"_qs
                                      << u"青衫客"_qs;
        QTest::newRow("name only") << u"西游记.TXT"_qs << QStringList{u"正文"_qs} << u"西游记"_qs << QString();
    }

    void metadataFromNameAndFrontMatter()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, front);
        QFETCH(QString, title);
        QFETCH(QString, author);
        const BookMeta m = detectBookMeta(u"/x/"_qs + file, front);
        QCOMPARE(m.title, title);
        QCOMPARE(m.author, author);
    }
};

QTEST_MAIN(tst_Epub)
#include "tst_epub.moc"
