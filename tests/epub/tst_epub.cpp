#include "FakeHost.h"

#include "config/Settings.h"
#include "core/AnalysisPass.h"
#include "core/Document.h"
#include "core/GbkCodec.h"
#include "core/PathClaims.h"
#include "epub/BookMeta.h"
#include "epub/Cover.h"
#include "epub/EpubPass.h"

#include <quazip/quazip.h>
#include <quazip/quazipfile.h>

#include <QBuffer>
#include <QImage>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

#include <climits>
#include <sys/stat.h>
#include <utime.h>

// Books read back: their text is the novel's, in order, with only the asked-for changes.
Q_DECLARE_METATYPE(TextCodec::Id)

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

    static QString writeNovel(const QString& path, const QByteArray& bytes)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) {
            return QString();
        }
        return path;
    }

    // Opens and analyses the novel at `path`, then writes its books as asked.
    static EpubResult book(const QString& path, const Settings& s, const EpubOptions& o, FakeHost* seen = nullptr)
    {
        Document doc;
        FakeHost host(&doc);
        EpubResult r;
        if (doc.OpenTextFile(path, nullptr) && RunAnalysis(doc, s, host)) {
            r = RunEpub(doc, s, o, host);
        }
        if (seen) {
            seen->notices = host.notices;
            seen->errors = host.errors;
            seen->messages = host.messages;
        }
        return r;
    }

    // The XML files of a book that do not parse, with the parser's reason; empty when all do.
    static QStringList illFormed(const QString& path)
    {
        QuaZip zip(path);
        if (!zip.open(QuaZip::mdUnzip)) {
            return {u"not a zip"_qs};
        }
        QStringList bad;
        for (const QString& name : zip.getFileNameList()) {
            if (!name.endsWith(u".xhtml"_qs) && !name.endsWith(u".opf"_qs) && !name.endsWith(u".ncx"_qs)
                && !name.endsWith(u".xml"_qs)) {
                continue;
            }
            QXmlStreamReader xml(entry(zip, name));
            while (!xml.atEnd()) {
                xml.readNext();
            }
            if (xml.hasError()) {
                bad << name + u": "_qs + xml.errorString();
            }
        }
        return bad;
    }

private slots:
    void bookReadsBackAsTheNovel()
    {
        // GBK lines, traditional script but for the metadata; 0x80 alone is no GBK character.
        const QList<QByteArray> novel{
            GbkCodec::instance().encode(u"书名：测试之书"),
            GbkCodec::instance().encode(u"作者：某人"),
            GbkCodec::instance().encode(u"　　這是前言。广告"),
            "",
            GbkCodec::instance().encode(u"第一章 開始"),
            GbkCodec::instance().encode(u"　　第一段說話。"),
            "   ",
            GbkCodec::instance().encode(u"第二章 假標題"),
            GbkCodec::instance().encode(u"　　第二段 & <b>標籤</b>"),
            GbkCodec::instance().encode(u"第三章 真的"),
            GbkCodec::instance().encode(u"　　第三段") + "\x80",
            GbkCodec::instance().encode(u"第四章 最後"),
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
        QVERIFY2(host.notices.last().contains(u"字符过滤修改了 2 行，例如第 3 行：“　　這是前言。广告” → “　　這是前言。”"_qs),
                 qPrintable(host.notices.last()));
        // The same input gives the same book, byte for byte.
        for (const QString& book : books) {
            QFile a(book), b(QString(book).replace(u"/b/"_qs, u"/a/"_qs));
            QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
            QVERIFY(a.readAll() == b.readAll());
        }

        QString opf;
        QStringList text = bookText(books[0], &opf) + bookText(books[1]);
        QCOMPARE(text, (QStringList{u"书名：测试之书"_qs, u"作者：某人"_qs, u"這是前言。"_qs, u"第一章 开始"_qs,
                                    u"第一段说话。"_qs, u"第二章 假标题"_qs, u"第二段 & <b>标签</b>"_qs,
                                    u"第三章 真的"_qs, u"第三段\uFFFD"_qs, u"第四章 最后"_qs, u"第四段"_qs}));
        QVERIFY(opf.contains(u"<dc:title>测试之书 (1-2)</dc:title>"_qs));
        QVERIFY(opf.contains(u"<dc:creator>某人</dc:creator>"_qs));
        QVERIFY(opf.contains(u"<dc:language>zh-CN</dc:language>"_qs));
        QVERIFY(opf.contains(QRegularExpression(u"<dc:identifier id=\"bookid\">urn:uuid:[0-9a-f]{8}-[0-9a-f]{4}-5"_qs)));
        // The edition kept in traditional script is another book, with an identifier of its own.
        s.ConvertToSimple = false;
        o.target = m_dir.filePath(u"c"_qs);
        QVERIFY(QDir().mkpath(o.target));
        QString kept;
        const EpubResult traditional = RunEpub(doc, s, o, host);
        QCOMPARE(traditional.kind, EpubResult::Done);
        QVERIFY(bookText(traditional.books[0], &kept).contains(u"第一章 開始"_qs));
        const QRegularExpression id(u"<dc:identifier id=\"bookid\">([^<]+)<"_qs);
        QVERIFY(id.match(kept).captured(1) != id.match(opf).captured(1));

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
        // Title pages as downloaded novels write them.
        QTest::newRow("one line") << u"a.txt"_qs << QStringList{u"书名：雪落 作者：某乙"_qs} << u"雪落"_qs << u"某乙"_qs;
        QTest::newRow("book, 作者, dynasty") << u"a.txt"_qs << QStringList{u"《東周列國志》作者：清·蔡元放"_qs}
                                            << u"東周列國志"_qs << u"蔡元放"_qs;
        QTest::newRow("book and name") << u"a.txt"_qs << QStringList{u"《红楼梦》曹雪芹"_qs, u"第一回"_qs} << u"红楼梦"_qs
                                       << u"曹雪芹"_qs;
        QTest::newRow("slash") << u"xiyouji_gb.txt"_qs << QStringList{u"[西游记 / 吴承恩（明） 著 ]"_qs, u"书籍介绍:"_qs}
                               << u"西游记"_qs << u"吴承恩"_qs;
        QTest::newRow("title, author line") << u"gc.txt"_qs << QStringList{u"官場現形記"_qs, u"作者：李寶嘉"_qs, u"目　錄"_qs}
                                            << u"官場現形記"_qs << u"李寶嘉"_qs;
        QTest::newRow("title, who compiled") << u"h.txt"_qs << QStringList{u"歡喜冤家"_qs, u"（明）西湖漁隱編"_qs, u"序"_qs}
                                             << u"歡喜冤家"_qs << u"西湖漁隱"_qs;
        QTest::newRow("title, dynasty·name") << u"s.txt"_qs << QStringList{u"施公案"_qs, u"清·佚名 編撰"_qs} << u"施公案"_qs
                                             << u"佚名"_qs;
        QTest::newRow("spaced") << u"t.txt"_qs << QStringList{u"鐵樹記   明 鄧志謨著"_qs} << u"鐵樹記"_qs << u"鄧志謨"_qs;
        QTest::newRow("bare first line") << u"hg.txt"_qs << QStringList{u"海公大紅袍傳"_qs} << u"海公大紅袍傳"_qs << QString();
        QTest::newRow("Chinese name over a bare line") << u"大红袍.txt"_qs << QStringList{u"海公傳"_qs} << u"大红袍"_qs
                                                       << QString();
        QTest::newRow("title, spaced 作者") << u"l.txt"_qs << QStringList{u"遼海丹忠錄  作者：陸人龍"_qs} << u"遼海丹忠錄"_qs
                                           << u"陸人龍"_qs;
        QTest::newRow("title, dynasty, name") << u"r.txt"_qs << QStringList{u"熱血痕    清 李亮丞"_qs, u"熱血痕"_qs}
                                              << u"熱血痕"_qs << u"李亮丞"_qs;
        QTest::newRow("book, other name, 作者") << u"y.txt"_qs << QStringList{u"《喻世明言》(《古今小說》)作者：[明]馮夢龍"_qs}
                                                << u"喻世明言"_qs << u"馮夢龍"_qs;
        QTest::newRow("book, no author") << u"h.txt"_qs << QStringList{u"*****"_qs, u"《紅樓夢》120回"_qs} << u"紅樓夢"_qs
                                         << QString();
        QTest::newRow("title, edition, author") << u"l.txt"_qs << QStringList{u"綠野仙蹤　（一百回本）清李百川著"_qs, u"目錄"_qs}
                                                << u"綠野仙蹤"_qs << u"李百川"_qs;
        QTest::newRow("title, a word apart") << u"e.txt"_qs << QStringList{u"斗破苍穹  完结"_qs} << u"e"_qs << QString();
        QTest::newRow("book, its preface") << u"g.txt"_qs << QStringList{u"臨海逸叟醉筆"_qs, u"《鼓掌絕塵》題辭"_qs}
                                           << u"鼓掌絕塵"_qs << QString();
        QTest::newRow("a poem's title") << u"g.txt"_qs << QStringList{u"佳會絕句"_qs, u"情似膠漆味正好，風吹紙窗忌人俏。"_qs}
                                        << u"g"_qs << QString();
        QTest::newRow("who wrote it, no title") << u"d.txt"_qs << QStringList{u"結水滸全傳山陰忽來道人俞萬春仲華甫手著"_qs}
                                                << u"d"_qs << QString();
        QTest::newRow("page word") << u"p.txt"_qs << QStringList{u"前言"_qs, u"作者：某丙"_qs} << u"p"_qs << u"某丙"_qs;
        QTest::newRow("sentence") << u"r.txt"_qs << QStringList{u"《儒林外史》是一部讽刺小说，摹绘世故人情。"_qs} << u"r"_qs
                                  << QString();
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

    // Random characters (control characters, U+FFFE/U+FFFF, half surrogate pairs, private use,
    // markup, bytes that are no text) through every way text reaches a book: the options, the
    // front matter, the file name, volume and chapter titles, the text itself. Every XML file of
    // every book parses, and the book has a title.
    void anyText_givesWellFormedBooks()
    {
        QRandomGenerator rng(20261209);
        auto randomText = [&](int maxLength) {
            QString t;
            for (int n = 1 + int(rng.bounded(maxLength)); n > 0; --n) {
                switch (rng.bounded(8)) {
                case 0: t += QChar(char16_t(rng.bounded(0x20))); break;
                case 1: t += QChar(char16_t(0xFFFD + rng.bounded(3))); break;
                case 2: t += QChar(char16_t(0xD800 + rng.bounded(0x800))); break;
                case 3: t += QChar(char16_t(0xE000 + rng.bounded(0x1900))); break;
                case 4: t += QString::fromUcs4(std::array<char32_t, 1>{char32_t(0x10000 + rng.bounded(0x100000))}.data(), 1); break;
                case 5: t += QChar(char16_t(0x4E00 + rng.bounded(0x5000))); break;
                case 6: t += QStringLiteral("&<>\"'")[rng.bounded(5)]; break;
                default: t += QChar(char16_t(0x20 + rng.bounded(0x5F))); break;
                }
            }
            return t;
        };
        const QString folder = m_dir.filePath(u"random"_qs);
        for (int trial = 0; trial < 40; ++trial) {
            const QStringList lines{u"书名："_qs + randomText(10), u"作者："_qs + randomText(6), randomText(20),
                                    u"第一卷 "_qs + randomText(8), u"第1章 "_qs + randomText(8), randomText(30),
                                    u"第2章 平常"_qs, randomText(30), u"正文"_qs, u"第3章 "_qs + randomText(8), u"尾"_qs};
            const QString text = lines.join(u"\r\n"_qs);
            QByteArray bytes;
            switch (trial % 3) {
            case 0: bytes = text.toUtf8(); break;
            case 1:
                bytes = QByteArray("\xFF\xFE");
                for (QChar c : text) {
                    bytes += char(c.unicode() & 0xFF);
                    bytes += char(c.unicode() >> 8);
                }
                break;
            default: bytes = GbkCodec::gb18030().encode(text) + "\x80\xFF"; break;
            }
            QString name = randomText(6);
            name.remove(u'/');
            name.remove(QChar(0));
            const QString novel = writeNovel(folder + QStringLiteral("/%1-").arg(trial) + name + u".txt"_qs, bytes);
            QVERIFY(!novel.isEmpty());
            EpubOptions o;
            if (trial % 2) {
                o.title = randomText(10);
                o.author = randomText(10);
            }
            o.chapsInBook = trial % 4 == 3 ? 2 : 0;
            o.coverPath = QStringLiteral(VELLOMAR_TEST_DATA "/cover.png");
            o.target = folder + QStringLiteral("/books-%1").arg(trial);
            QVERIFY(QDir().mkpath(o.target));
            FakeHost seen(nullptr);
            const EpubResult r = book(novel, Settings::defaults(), o, &seen);
            QVERIFY2(r.kind == EpubResult::Done, qPrintable(QString::number(trial) + u": "_qs + lines.join(u'|') + seen.notices.join(u'|')));
            for (const QString& b : r.books) {
                QVERIFY2(illFormed(b).isEmpty(), qPrintable(illFormed(b).join(u'\n') + u" in "_qs + lines.join(u'|')));
                QString opf;
                bookText(b, &opf);
                QVERIFY(opf.contains(QRegularExpression(u"<dc:title>[^<]+</dc:title>"_qs)));
            }
        }
    }

    // A book another pass of the run (another novel of a batch) has written is asked about, or,
    // with nobody to ask, the new book goes beside it under a free name.
    void otherPassesBooks_areNeverReplacedSilently()
    {
        struct Unattended : FakeHost {
            using FakeHost::FakeHost;
            bool freeNamesForRepeats() const override { return true; }
        };
        PathClaims claims;
        EpubOptions o;
        o.coverPath = QStringLiteral(VELLOMAR_TEST_DATA "/cover.png");
        o.target = m_dir.filePath(u"claims"_qs);
        QVERIFY(QDir().mkpath(o.target));
        const QString book = o.target + u"/同.epub"_qs;
        QStringList asked;
        for (const QString& name : {u"one"_qs, u"two"_qs, u"three"_qs}) {
            const QString novel = writeNovel(m_dir.filePath(u"claims/"_qs + name + u".txt"_qs),
                                             (u"书名：同\r\n第1章 甲\r\n"_qs + name + u"\r\n"_qs).toUtf8());
            Document doc;
            std::unique_ptr<FakeHost> host = name == u"three"_qs ? std::make_unique<Unattended>(&doc) : std::make_unique<FakeHost>(&doc);
            host->setSharedClaims(&claims);
            host->overwriteAnswers = {u":No"_qs};
            QVERIFY(doc.OpenTextFile(novel, nullptr));
            QVERIFY(RunAnalysis(doc, Settings::defaults(), *host));
            const EpubResult r = RunEpub(doc, Settings::defaults(), o, *host);
            QCOMPARE(r.kind, EpubResult::Done);
            asked += host->overwriteAsked;
            QCOMPARE(r.kept, name == u"two"_qs ? 1 : 0);
            QCOMPARE(r.books, name == u"one"_qs ? QStringList{book} : name == u"two"_qs ? QStringList() : QStringList{o.target + u"/同 (2).epub"_qs});
        }
        QCOMPARE(asked, QStringList{book});
        QVERIFY(bookText(book).contains(u"one"_qs));
        QVERIFY(bookText(o.target + u"/同 (2).epub"_qs).contains(u"three"_qs));
    }

    // A book's dates: what a zip can hold (1980 to 2107) and never empty, whatever the novel's
    // modification time.
    void bookDates_stayInTheZipRange_data()
    {
        QTest::addColumn<qint64>("mtime");
        QTest::addColumn<QString>("modified");
        QTest::newRow("none (0)") << qint64(0) << u"1980-01-02T00:00:00Z"_qs;
        QTest::newRow("1975") << qint64(157766400) << u"1980-01-02T00:00:00Z"_qs;
        QTest::newRow("2001") << qint64(1000000000) << u"2001-09-09T01:46:40Z"_qs;
        QTest::newRow("2200") << qint64(7258118400) << u"2107-12-30T00:00:00Z"_qs;
    }

    void bookDates_stayInTheZipRange()
    {
        QFETCH(qint64, mtime);
        QFETCH(QString, modified);
        const QString novel = writeNovel(m_dir.filePath(u"dates/日期.txt"_qs), GbkCodec::instance().encode(u"第1章 a\r\nb\r\n"));
        struct utimbuf times{time_t(mtime), time_t(mtime)};
        QCOMPARE(::utime(QFile::encodeName(novel).constData(), &times), 0);
        EpubOptions o;
        o.coverPath = QStringLiteral(VELLOMAR_TEST_DATA "/cover.png");
        o.target = m_dir.filePath(u"dates/%1.epub"_qs.arg(mtime));
        const EpubResult r = book(novel, Settings::defaults(), o);
        QCOMPARE(r.kind, EpubResult::Done);
        QString opf;
        bookText(r.books.value(0), &opf);
        QVERIFY2(opf.contains(u"<meta property=\"dcterms:modified\">"_qs + modified + u"</meta>"_qs), qPrintable(opf));
        QuaZip zip(r.books.value(0));
        QVERIFY(zip.open(QuaZip::mdUnzip));
        for (bool more = zip.goToFirstFile(); more; more = zip.goToNextFile()) {
            QuaZipFileInfo64 info;
            QVERIFY(zip.getCurrentFileInfo(&info));
            QVERIFY2(info.dateTime.isValid() && info.dateTime.date().year() >= 1980 && info.dateTime.date().year() <= 2107,
                     qPrintable(info.dateTime.toString()));
        }
    }

    // The book's name: cut at a character, never hidden, never empty; one book whatever the
    // number of chapters per book.
    void bookNames_data()
    {
        QTest::addColumn<QString>("novel");
        QTest::addColumn<QString>("title");
        QTest::addColumn<int>("chapsInBook");
        QTest::addColumn<QString>("expected");
        const QString long79 = QString(79, u'长');
        QTest::newRow("pair at 80") << u"a.txt"_qs << long79 + u"😀尾"_qs << 0 << long79 + u".epub"_qs;
        QTest::newRow("pair before 80") << u"a.txt"_qs << QString(78, u'长') + u"😀尾"_qs << 0
                                        << QString(78, u'长') + u"😀.epub"_qs;
        QTest::newRow("leading dots") << u"a.txt"_qs << u"..秘密"_qs << 0 << u"秘密.epub"_qs;
        QTest::newRow("control characters only") << u"b.txt"_qs << u"\x01\x02"_qs << 0 << u"b.epub"_qs;
        QTest::newRow("hidden novel") << u".h.txt"_qs << QString() << 0 << u"h.epub"_qs;
        QTest::newRow("no name at all") << u".txt"_qs << QString() << 0 << u"未命名.epub"_qs;
        QTest::newRow("all chapters in one book") << u"c.txt"_qs << u"大"_qs << INT_MAX << u"大.epub"_qs;
    }

    void bookNames()
    {
        QFETCH(QString, novel);
        QFETCH(QString, title);
        QFETCH(int, chapsInBook);
        QFETCH(QString, expected);
        const QString folder = m_dir.filePath(QStringLiteral("names-%1").arg(QString::fromUtf8(QTest::currentDataTag())));
        const QString path = writeNovel(folder + u'/' + novel, QByteArray("chapter 1\r\na\r\nchapter 2\r\nb\r\n"));
        Settings s = Settings::defaults();
        s.TitleText = u"chapter ([0-9]+)"_qs;
        s.SetInvalidTitle = false;
        EpubOptions o;
        o.title = title;
        o.chapsInBook = chapsInBook;
        o.coverPath = QStringLiteral(VELLOMAR_TEST_DATA "/cover.png");
        o.target = folder + u"/books"_qs;
        QVERIFY(QDir().mkpath(o.target));
        const EpubResult r = book(path, s, o);
        QCOMPARE(r.kind, EpubResult::Done);
        QCOMPARE(r.books, QStringList{o.target + u'/' + expected});
        QVERIFY(illFormed(r.books[0]).isEmpty());
    }

    // Lines of blanks are blank lines, whatever the blanks; private use characters are text in
    // every encoding, and only bytes that are no text become U+FFFD.
    // 重新分段 in books: one paragraph per joined paragraph, in the front matter and in every
    // book of a set (whose parts read past the lines of the books before); titles apart.
    void reflow_oneParagraphPerJoinedParagraph_data()
    {
        QTest::addColumn<int>("chapsInBook");
        QTest::newRow("one book") << 0;
        QTest::newRow("a book per chapter") << 1;
    }

    void reflow_oneParagraphPerJoinedParagraph()
    {
        QFETCH(int, chapsInBook);
        const QStringList body = {u"精兵五百，命先锋张飞"_qs, u"引兵追赶。贼众大败，"_qs, u"四散奔走。"_qs,
                                  u"玄德收兵回城，众将各"_qs, u"自领赏。"_qs, u"次日，太守亲自出城迎"_qs,
                                  u"接，设宴款待三人。"_qs};
        const QStringList joined = {u"精兵五百，命先锋张飞引兵追赶。贼众大败，四散奔走。"_qs,
                                    u"玄德收兵回城，众将各自领赏。"_qs, u"次日，太守亲自出城迎接，设宴款待三人。"_qs};
        QByteArray bytes;
        for (const QString& l : body + QStringList{u"第1章 甲"_qs} + body + QStringList{u"第2章 乙"_qs} + body) {
            bytes += GbkCodec::instance().encode(l) + "\r\n";
        }
        const QString dir = m_dir.filePath(u"reflow%1"_qs.arg(chapsInBook));
        const QString novel = writeNovel(dir + u"/断行.txt"_qs, bytes);
        Settings s = Settings::defaults();
        s.ConvertToSimple = false;
        s.TextFilters.clear();
        s.Reflow = true;
        EpubOptions o;
        o.coverPath = QStringLiteral(VELLOMAR_TEST_DATA "/cover.png");
        o.chapsInBook = chapsInBook;
        o.target = dir;
        const EpubResult r = book(novel, s, o);
        QCOMPARE(r.kind, EpubResult::Done);
        QStringList text;
        for (const QString& b : r.books) {
            text += bookText(b);
        }
        QCOMPARE(text, joined + QStringList{u"第1章 甲"_qs} + joined + QStringList{u"第2章 乙"_qs} + joined);
        QVERIFY2(r.ledger.text().contains(u"[重新分段] 修改 12 行"_qs), qPrintable(r.ledger.text()));
    }

    // A set of books: each part its own title and place in the series, names that sort in
    // order; with a size limit, every book stays under it and no chapter is lost or repeated.
    void setsOfBooks_data()
    {
        QTest::addColumn<int>("chapsInBook");
        QTest::addColumn<int>("maxBookMB");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("5 chapters a book")
            << 5 << 0 << QStringList{u"长书 (01-05).epub"_qs, u"长书 (06-10).epub"_qs, u"长书 (11-12).epub"_qs};
        QTest::newRow("1 MB a book") << 0 << 1 << QStringList();
        QTest::newRow("1 MB and 3 chapters a book") << 3 << 1 << QStringList();
    }

    void setsOfBooks()
    {
        QFETCH(int, chapsInBook);
        QFETCH(int, maxBookMB);
        QFETCH(QStringList, names);
        // 12 chapters of about 240 KB each in GBK: characters drawn at random compress little.
        const QString pool = u"的一是了我不人在他有这个上们来到时大地为子中你说生国年着就那和要她出也得里后自以会家可下而过天去能对小多然于心学么之都好看起发当"_qs;
        quint32 seed = 7;
        QByteArray bytes = GbkCodec::instance().encode(u"书名：长书\r\n"_qs);
        QStringList titles;
        for (int c = 1; c <= 12; ++c) {
            titles << u"第%1章 章%1"_qs.arg(c);
            bytes += GbkCodec::instance().encode(titles.last() + u"\r\n"_qs);
            for (int l = 0; l < 1200; ++l) {
                QString line = u"　　"_qs;
                for (int k = 0; k < 98; ++k) {
                    seed = seed * 1103515245 + 12345;
                    line += pool.at((seed >> 16) % pool.size());
                }
                bytes += GbkCodec::instance().encode(line + u"。\r\n"_qs);
            }
        }
        const QString dir = m_dir.filePath(u"set-%1-%2"_qs.arg(chapsInBook).arg(maxBookMB));
        const QString novel = writeNovel(dir + u"/长书.txt"_qs, bytes);
        Settings s = Settings::defaults();
        s.ConvertToSimple = false;
        s.SetInvalidTitle = false;
        EpubOptions o;
        o.chapsInBook = chapsInBook;
        o.maxBookMB = maxBookMB;
        o.target = dir;
        const EpubResult r = book(novel, s, o);
        QCOMPARE(r.kind, EpubResult::Done);
        QVERIFY(r.books.size() > 1);
        if (!names.isEmpty()) {
            QStringList written;
            for (const QString& b : r.books) {
                written << QFileInfo(b).fileName();
            }
            QCOMPARE(written, names);
        }
        QStringList sorted = r.books;
        sorted.sort();
        QCOMPARE(sorted, r.books);
        QStringList headings;
        for (int b = 0; b < r.books.size(); ++b) {
            if (maxBookMB > 0) {
                QVERIFY2(QFileInfo(r.books[b]).size() <= qint64(maxBookMB) << 20, qPrintable(r.books[b]));
            }
            QString opf;
            for (const QString& line : bookText(r.books[b], &opf)) {
                if (line.startsWith(u'第')) {
                    headings << line;
                }
            }
            const QRegularExpression range(u"\\((\\d+)-(\\d+)\\)\\.epub$"_qs);
            const QRegularExpressionMatch m = range.match(r.books[b]);
            QVERIFY(m.hasMatch());
            QVERIFY2(opf.contains(u"<dc:title>长书 (%1-%2)</dc:title>"_qs.arg(m.captured(1).toInt()).arg(m.captured(2).toInt())),
                     qPrintable(opf));
            QVERIFY(opf.contains(u"<meta property=\"belongs-to-collection\" id=\"series\">长书</meta>"_qs));
            QVERIFY(opf.contains(u"<meta refines=\"#series\" property=\"group-position\">%1</meta>"_qs.arg(b + 1)));
        }
        QCOMPARE(headings, titles);
    }

    // What a reader's library and old readers look for: the 简介 as description, the guide,
    // accessibility metadata; a traditional book labelled in its own script.
    void metadataAndLabels_data()
    {
        QTest::addColumn<bool>("traditional");
        QTest::newRow("simplified") << false;
        QTest::newRow("traditional") << true;
    }

    void metadataAndLabels()
    {
        QFETCH(bool, traditional);
        const QStringList lines = traditional
            ? QStringList{u"簡介：這是一個關於舊時的故事。"_qs, u"兩位主人翁相遇。"_qs, u""_qs, u"第一章 開始"_qs,
                          u"　　從前，有一個國家，國王與王后說話。這裡的東西很舊，還有許多書與畫，讓人覺得歡樂。"_qs}
            : QStringList{u"内容简介"_qs, u"这是一个新的故事。"_qs, u""_qs, u"第一章 开始"_qs, u"　　从前。"_qs};
        QByteArray bytes;
        for (const QString& l : lines) {
            bytes += QStringEncoder(QStringEncoder::Utf8).encode(l + u"\r\n"_qs);
        }
        const QString dir = m_dir.filePath(u"meta-%1"_qs.arg(traditional));
        const QString novel = writeNovel(dir + u"/书.txt"_qs, bytes);
        Settings s = Settings::defaults();
        s.ConvertToSimple = false;
        EpubOptions o;
        o.target = dir;
        const EpubResult r = book(novel, s, o);
        QCOMPARE(r.kind, EpubResult::Done);
        QString opf;
        bookText(r.books.value(0), &opf);
        const QString description = traditional ? u"這是一個關於舊時的故事。\n兩位主人翁相遇。"_qs : u"这是一个新的故事。"_qs;
        QVERIFY2(opf.contains(u"<dc:description>"_qs + description + u"</dc:description>"_qs), qPrintable(opf));
        QVERIFY(opf.contains(u"<reference type=\"toc\" title=\"%1\" href=\"nav.xhtml\"/>"_qs.arg(traditional ? u"目錄"_qs : u"目录"_qs)));
        QVERIFY(opf.contains(u"<reference type=\"text\" title=\"正文\" href=\"text/c00001.xhtml\"/>"_qs));
        for (const QString& property : {u"accessMode"_qs, u"accessModeSufficient"_qs, u"accessibilityFeature"_qs,
                                        u"accessibilityHazard"_qs, u"accessibilitySummary"_qs}) {
            QVERIFY2(opf.contains(u"<meta property=\"schema:%1\">"_qs.arg(property)), qPrintable(property));
        }
        QVERIFY(!opf.contains(u"belongs-to-collection"_qs));
        QuaZip zip(r.books.value(0));
        QVERIFY(zip.open(QuaZip::mdUnzip));
        const QString nav = QString::fromUtf8(entry(zip, u"OEBPS/nav.xhtml"_qs));
        const QStringList labels = traditional ? QStringList{u"<h1>目錄</h1>"_qs, u"<h2>導航</h2>"_qs, u">簡介</a>"_qs}
                                               : QStringList{u"<h1>目录</h1>"_qs, u"<h2>导航</h2>"_qs, u">简介</a>"_qs};
        for (const QString& label : labels) {
            QVERIFY2(nav.contains(label), qPrintable(nav));
        }
    }

    void blankLinesAndPrivateUse_data()
    {
        QTest::addColumn<TextCodec::Id>("encoding");
        QTest::addColumn<QString>("privateUse");
        const QString all = QStringLiteral(u"\uE000\uE5E5\uF700\uF7FF\uF8FF");
        QTest::newRow("gb18030") << TextCodec::Gb18030 << all;
        QTest::newRow("utf-8") << TextCodec::Utf8 << all;
        QTest::newRow("utf-16le") << TextCodec::Utf16LE << all;
        QTest::newRow("gbk") << TextCodec::Gbk << QStringLiteral(u"\uE000\uE5E5");
    }

    void blankLinesAndPrivateUse()
    {
        QFETCH(TextCodec::Id, encoding);
        QFETCH(QString, privateUse);
        // Encoded by ICU: our own codec takes U+F700..U+F7FF for byte escapes.
        QStringEncoder codec(encoding == TextCodec::Gbk       ? "GBK"
                             : encoding == TextCodec::Gb18030 ? "GB18030"
                             : encoding == TextCodec::Utf8    ? "UTF-8"
                                                              : "UTF-16LE");
        const QStringList lines{u"第1章 甲"_qs, u"字"_qs + privateUse + u"字"_qs, u" \t \t"_qs, u"\t"_qs, u"\u3000\t\u3000"_qs,
                                u"乙"_qs};
        QByteArray bytes = encoding == TextCodec::Utf16LE ? QByteArray("\xFF\xFE") : QByteArray();
        for (const QString& line : lines) {
            bytes += QByteArray(codec.encode(line + u"\r\n"_qs));
        }
        bytes += QByteArray(codec.encode(u"坏"_qs)) + (encoding == TextCodec::Utf16LE ? QByteArray("\x00\xDC", 2) : QByteArray("\x81"));
        const QString novel = writeNovel(m_dir.filePath(u"pua/%1.txt"_qs.arg(QString::fromUtf8(QTest::currentDataTag()))), bytes);
        Settings s = Settings::defaults();
        s.DelSpaceLine = false;
        s.ConvertToSimple = false;
        s.TextFilters.clear();
        EpubOptions o;
        o.coverPath = QStringLiteral(VELLOMAR_TEST_DATA "/cover.png");
        o.target = m_dir.filePath(u"pua/%1.epub"_qs.arg(QString::fromUtf8(QTest::currentDataTag())));
        Document doc;
        FakeHost host(&doc);
        doc.setEncodingChoice(false, encoding);
        QVERIFY(doc.OpenTextFile(novel, nullptr));
        QVERIFY(RunAnalysis(doc, s, host));
        EpubResult r = RunEpub(doc, s, o, host);
        QCOMPARE(r.kind, EpubResult::Done);
        const int bad = encoding == TextCodec::Utf16LE ? 2 : 1; // a byte, or the two of half a pair
        QCOMPARE(bookText(r.books.value(0)), (QStringList{u"第1章 甲"_qs, u"字"_qs + privateUse + u"字"_qs, u"乙"_qs,
                                                          u"坏"_qs + QString(bad, QChar::ReplacementCharacter)}));
        QCOMPARE(r.replaced, bad);
        QuaZip zip(r.books.value(0));
        QVERIFY(zip.open(QuaZip::mdUnzip));
        QCOMPARE(QString::fromUtf8(entry(zip, u"OEBPS/text/c00001.xhtml"_qs)).count(u"<p class=\"blank\"></p>"_qs), 3);
        // Dropped with the other blank lines.
        s.DelSpaceLine = true;
        QVERIFY(QFile::remove(r.books.value(0)));
        r = RunEpub(doc, s, o, host);
        QVERIFY(QFile(r.books.value(0)).open(QIODevice::ReadOnly));
        QuaZip again(r.books.value(0));
        QVERIFY(again.open(QuaZip::mdUnzip));
        QVERIFY(!QString::fromUtf8(entry(again, u"OEBPS/text/c00001.xhtml"_qs)).contains(u"blank"_qs));
    }

    // A cover is read only from a regular file of reasonable size and is decoded first: a cut
    // image is written again from what could be read, one that cannot be read is refused.
    void coverFiles_checkedBeforeUse_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("error"); // empty: usable
        QTest::addColumn<bool>("sameBytes");
        QTest::newRow("whole png") << u"png"_qs << QString() << true;
        QTest::newRow("whole jpeg") << u"jpeg"_qs << QString() << true;
        QTest::newRow("cut jpeg") << u"cut jpeg"_qs << QString() << false;
        QTest::newRow("cut png") << u"cut png"_qs << u"已损坏"_qs << false;
        QTest::newRow("named pipe") << u"fifo"_qs << u"不是普通文件"_qs << false;
        QTest::newRow("device") << u"/dev/zero"_qs << u"不是普通文件"_qs << false;
        QTest::newRow("too large") << u"large"_qs << u"太大"_qs << false;
        QTest::newRow("not an image") << u"text"_qs << u"JPEG 或 PNG"_qs << false;
    }

    void coverFiles_checkedBeforeUse()
    {
        QFETCH(QString, kind);
        QFETCH(QString, error);
        QFETCH(bool, sameBytes);
        QImage picture(300, 400, QImage::Format_RGB32);
        for (int y = 0; y < picture.height(); ++y) {
            for (int x = 0; x < picture.width(); ++x) {
                picture.setPixel(x, y, qRgb(x % 256, y % 256, (x * y) % 256));
            }
        }
        QByteArray png, jpeg;
        QBuffer pb(&png), jb(&jpeg);
        QVERIFY(pb.open(QIODevice::WriteOnly) && picture.save(&pb, "PNG"));
        QVERIFY(jb.open(QIODevice::WriteOnly) && picture.save(&jb, "JPEG", 90));
        QString path = m_dir.filePath(u"covers/"_qs + kind);
        QDir().mkpath(m_dir.filePath(u"covers"_qs));
        QByteArray bytes;
        if (kind == u"fifo"_qs) {
            QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else if (kind.startsWith(u'/')) {
            path = kind;
        } else if (kind == u"large"_qs) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(png) == png.size() && f.resize(21 * 1024 * 1024));
        } else {
            bytes = kind == u"png"_qs ? png : kind == u"jpeg"_qs ? jpeg : kind == u"cut jpeg"_qs ? jpeg.left(jpeg.size() / 2)
                  : kind == u"cut png"_qs ? png.left(png.size() / 2) : QByteArray("not an image at all");
            QVERIFY(!writeNovel(path, bytes).isEmpty());
        }
        const CoverImage cover = loadCover(path);
        if (!error.isEmpty()) {
            QVERIFY2(cover.error.contains(error), qPrintable(cover.error));
            return;
        }
        QVERIFY2(cover.error.isEmpty(), qPrintable(cover.error));
        QCOMPARE(cover.bytes == bytes, sameBytes);
        QCOMPARE(QSize(cover.width, cover.height), picture.size());
        // What the book holds is a whole image: it ends where its format says it ends.
        QVERIFY(cover.bytes.endsWith(kind.endsWith(u"png"_qs) ? QByteArray("IEND\xAE\x42\x60\x82") : QByteArray("\xFF\xD9")));
        QCOMPARE(QImage::fromData(cover.bytes).size(), picture.size());
    }

    // A page past PageLimit goes on in pages of its own, split between paragraphs, with the
    // text whole and in order; a vertical book turns its pages from right to left.
    void longPages_goOnBetweenParagraphs_data()
    {
        QTest::addColumn<bool>("titleFirst");
        QTest::addColumn<bool>("vertical");
        QTest::addColumn<QString>("continued");
        QTest::newRow("one title, one long chapter") << true << false << u"c00001-2"_qs;
        QTest::newRow("long front matter, vertical") << false << true << u"front-2"_qs;
    }

    void longPages_goOnBetweenParagraphs()
    {
        QFETCH(bool, titleFirst);
        QFETCH(bool, vertical);
        QFETCH(QString, continued);
        QStringList lines;
        QRandomGenerator rng(7);
        for (int i = 0; i < 5000; ++i) {
            QString p = u"　　"_qs + QString::number(i) + u"："_qs;
            for (int n = 20 + int(rng.bounded(80)); n > 0; --n) {
                p += QChar(char16_t(0x4E00 + rng.bounded(0x3000)));
            }
            lines << p;
        }
        if (titleFirst) {
            lines.prepend(u"第一章 长夜"_qs);
        } else {
            lines << u"第一章 长夜"_qs << u"　　完。"_qs;
        }
        const QString novel = writeNovel(m_dir.filePath(u"long/%1.txt"_qs.arg(vertical)), lines.join(u"\r\n"_qs).toUtf8());
        EpubOptions o;
        o.coverPath = QStringLiteral(VELLOMAR_TEST_DATA "/cover.png");
        o.target = m_dir.filePath(u"long/%1.epub"_qs.arg(vertical));
        o.vertical = vertical;
        Settings s = Settings::defaults();
        s.TextFilters.clear();
        s.ConvertToSimple = false;
        QCOMPARE(book(novel, s, o).kind, EpubResult::Done);
        QString opf;
        const QStringList text = bookText(o.target, &opf);
        QStringList expected;
        for (const QString& line : std::as_const(lines)) {
            expected << line.mid(line.startsWith(u"　"_qs) ? 2 : 0);
        }
        QCOMPARE(text, expected);
        QVERIFY2(illFormed(o.target).isEmpty(), qPrintable(illFormed(o.target).join(u'\n')));
        QuaZip zip(o.target);
        QVERIFY(zip.open(QuaZip::mdUnzip));
        int pages = 0;
        for (const QString& name : zip.getFileNameList()) {
            if (name.startsWith(u"OEBPS/text/"_qs)) {
                ++pages;
                QVERIFY2(entry(zip, name).size() < 250 * 1024 + 1024, qPrintable(name));
            }
        }
        QVERIFY2(pages >= 4, qPrintable(QString::number(pages)));
        QVERIFY2(opf.contains(u"<itemref idref=\"%1\"/>"_qs.arg(continued)), qPrintable(opf));
        QCOMPARE(opf.contains(u"page-progression-direction=\"rtl\""_qs), vertical);
        QCOMPARE(entry(zip, u"OEBPS/style.css"_qs).contains("writing-mode: vertical-rl"), vertical);
    }

    // A contents page longer than a page stays out of the reading order; a short one stays in.
    void longContents_outOfTheReadingOrder_data()
    {
        QTest::addColumn<int>("chapters");
        QTest::addColumn<bool>("inOrder");
        QTest::newRow("40 chapters") << 40 << true;
        QTest::newRow("2,600 chapters") << 2600 << false;
    }

    void longContents_outOfTheReadingOrder()
    {
        QFETCH(int, chapters);
        QFETCH(bool, inOrder);
        QString text;
        for (int i = 1; i <= chapters; ++i) {
            text += u"第%1章 风雨如晦鸡鸣不已既见君子云胡不喜风雨潇潇鸡鸣胶胶既见君子云胡不瘳\r\n　　正文。\r\n"_qs.arg(i);
        }
        const QString novel = writeNovel(m_dir.filePath(u"contents/%1.txt"_qs.arg(chapters)), text.toUtf8());
        EpubOptions o;
        o.coverPath = QStringLiteral(VELLOMAR_TEST_DATA "/cover.png");
        o.target = m_dir.filePath(u"contents/%1.epub"_qs.arg(chapters));
        Settings s = Settings::defaults();
        s.SetInvalidTitle = false; // chapters of one line are chapters
        const EpubResult r = book(novel, s, o);
        QCOMPARE(r.kind, EpubResult::Done);
        QCOMPARE(r.chapters, chapters);
        QString opf;
        QCOMPARE(bookText(o.target, &opf).size(), 2 * chapters);
        QVERIFY(opf.contains(inOrder ? u"<itemref idref=\"nav\"/>"_qs : u"<itemref idref=\"nav\" linear=\"no\"/>"_qs));
    }

    // A drawn cover uses a font that has the title's characters, and says so when none has.
    void drawnCover_saysWhenNoFontHasTheTitle()
    {
        const CoverImage plain = drawCover(u"西游记"_qs, u"吴承恩"_qs);
        QVERIFY2(plain.warning.isEmpty(), qPrintable(plain.warning));
        QCOMPARE(QImage::fromData(plain.bytes).size(), QSize(1600, 2560));
        const CoverImage odd = drawCover(u"西游\u0378记"_qs, QString()); // U+0378: no character at all
        QVERIFY2(odd.warning.contains(u"方框"_qs), qPrintable(odd.warning));
        QVERIFY(odd.error.isEmpty() && !odd.bytes.isEmpty());
    }
};

QTEST_MAIN(tst_Epub)
#include "tst_epub.moc"
