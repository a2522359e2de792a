#include "FakeHost.h"

#include "azw3/Azw3Pass.h"
#include "azw3/Kf8Text.h"
#include "azw3/PalmDoc.h"
#include "config/Settings.h"
#include "core/AnalysisPass.h"
#include "core/Document.h"

#include <quazip/quazip.h>
#include <quazip/quazipfile.h>

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

// AZW3 books read back by a reader of our own, written from the format's description: the
// Palm database, the headers, the packed text, the skeletons and fragments and the indices.
class tst_Azw3 : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    static quint32 u32(const QByteArray& b, qsizetype at)
    {
        return quint32(quint8(b[at])) << 24 | quint32(quint8(b[at + 1])) << 16 | quint32(quint8(b[at + 2])) << 8
               | quint8(b[at + 3]);
    }
    static quint32 u16(const QByteArray& b, qsizetype at) { return quint32(quint8(b[at])) << 8 | quint8(b[at + 1]); }

    static QList<QByteArray> records(const QByteArray& file)
    {
        QList<QByteArray> out;
        const quint32 n = u16(file, 76);
        for (quint32 i = 0; i < n; ++i) {
            const quint32 from = u32(file, 78 + 8 * i);
            const quint32 to = i + 1 < n ? u32(file, 78 + 8 * (i + 1)) : quint32(file.size());
            out << file.mid(from, to - from);
        }
        return out;
    }

    static QByteArray unpack(const QByteArray& in)
    {
        QByteArray out;
        for (qsizetype i = 0; i < in.size();) {
            const quint8 c = quint8(in[i++]);
            if (c >= 1 && c <= 8) {
                out += in.mid(i, c);
                i += c;
            } else if (c < 0x80) {
                out += char(c);
            } else if (c >= 0xC0) {
                out += ' ';
                out += char(c ^ 0x80);
            } else {
                const quint32 pair = quint32(c) << 8 | quint8(in[i++]);
                const int distance = int(pair >> 3 & 0x7FF);
                const int length = int(pair & 7) + 3;
                for (int k = 0; k < length; ++k) {
                    out += out[out.size() - distance];
                }
            }
        }
        return out;
    }

    static QMap<quint32, QByteArray> exth(const QByteArray& r0)
    {
        QMap<quint32, QByteArray> out;
        const qsizetype at = 16 + u32(r0, 20);
        if (r0.mid(at, 4) != "EXTH") {
            return out;
        }
        qsizetype p = at + 12;
        for (quint32 k = 0, n = u32(r0, at + 8); k < n; ++k) {
            const quint32 len = u32(r0, p + 4);
            out.insert(u32(r0, p), r0.mid(p + 8, len - 8));
            p += len;
        }
        return out;
    }

    static quint32 varint(const QByteArray& b, qsizetype& at)
    {
        quint32 v = 0;
        while (true) {
            const quint8 c = quint8(b[at++]);
            v = v << 7 | (c & 0x7F);
            if (c & 0x80) {
                return v;
            }
        }
    }

    struct Entry {
        QByteArray name;
        QMap<int, QList<quint32>> tags;
    };

    // An index's entries in order; `strings` gets its string records.
    static QList<Entry> index(const QList<QByteArray>& recs, quint32 at, QList<QByteArray>* strings = nullptr)
    {
        const QByteArray& head = recs[at];
        const quint32 tagx = u32(head, 180);
        struct Tag { int number, values, mask; };
        QList<Tag> tags;
        for (quint32 p = tagx + 12; p < tagx + u32(head, tagx + 4); p += 4) {
            if (head[p + 3] == 0) {
                tags << Tag{quint8(head[p]), quint8(head[p + 1]), quint8(head[p + 2])};
            }
        }
        const quint32 dataRecords = u32(head, 24);
        if (strings) {
            *strings = recs.mid(at + 1 + dataRecords, u32(head, 52));
        }
        QList<Entry> out;
        for (quint32 d = 0; d < dataRecords; ++d) {
            const QByteArray& r = recs[at + 1 + d];
            const quint32 offsets = u32(r, 20);
            for (quint32 e = 0, n = u32(r, 24); e < n; ++e) {
                qsizetype p = u16(r, offsets + 4 + 2 * e);
                Entry entry;
                entry.name = r.mid(p + 1, quint8(r[p]));
                p += 1 + entry.name.size();
                const quint8 control = quint8(r[p++]);
                for (const Tag& t : tags) {
                    if (control & t.mask) {
                        for (int v = 0; v < t.values; ++v) {
                            entry.tags[t.number] << varint(r, p);
                        }
                    }
                }
                out << entry;
            }
        }
        return out;
    }

    static QString string(const QList<QByteArray>& strings, quint32 ref)
    {
        const QByteArray& r = strings[ref >> 16];
        qsizetype p = ref & 0xFFFF;
        const quint32 len = varint(r, p);
        return QString::fromUtf8(r.mid(p, len));
    }

    struct Book {
        QList<QByteArray> recs;
        QByteArray text; // unpacked, trailing bytes dropped
        QMap<quint32, QByteArray> exth;
    };

    static Book read(const QString& path)
    {
        QFile f(path);
        Book b;
        if (!f.open(QIODevice::ReadOnly)) {
            return b;
        }
        const QByteArray file = f.readAll();
        b.recs = records(file);
        const QByteArray& r0 = b.recs[0];
        for (quint32 i = 1; i <= u16(r0, 8); ++i) {
            const QByteArray& r = b.recs[i];
            b.text += unpack(r.left(r.size() - 1 - (quint8(r.back()) & 3)));
        }
        b.exth = exth(r0);
        return b;
    }

    static EpubResult write(const QString& novel, const EpubOptions& o, Settings s = Settings::defaults(),
                            BookFormat format = BookFormat::Azw3)
    {
        s.TextFilters.clear();
        Document doc;
        FakeHost host(&doc);
        if (!doc.OpenTextFile(novel, nullptr) || !RunAnalysis(doc, s, host)) {
            return {};
        }
        return format == BookFormat::Azw3 ? RunAzw3(doc, s, o, host) : RunEpub(doc, s, o, host);
    }

    // Each part (skeleton) with its fragments inserted where the fragment index says.
    static QList<QByteArray> assembled(const Book& b)
    {
        const QByteArray& r0 = b.recs[0];
        const QList<Entry> skeletons = index(b.recs, u32(r0, 0xFC));
        const QList<Entry> fragments = index(b.recs, u32(r0, 0xF8));
        QList<QByteArray> parts;
        int f = 0;
        for (const Entry& s : skeletons) {
            const quint32 start = s.tags[6][0];
            QByteArray page = b.text.mid(start, s.tags[6][1]);
            quint32 next = start + s.tags[6][1];
            for (quint32 k = 0; k < s.tags[1][0] && f < fragments.size(); ++k, ++f) {
                page.insert(fragments[f].name.toUInt() - start, b.text.mid(next, fragments[f].tags[6][1]));
                next += fragments[f].tags[6][1];
            }
            parts << page;
        }
        return parts;
    }

    // The headings and paragraphs of pages, markup stripped, in order.
    static QStringList blocks(const QList<QByteArray>& pages)
    {
        static const QRegularExpression block(QStringLiteral("<(h1|h2|p)>(.*?)</\\1>"));
        QStringList lines;
        for (const QByteArray& page : pages) {
            for (auto m = block.globalMatch(QString::fromUtf8(page)); m.hasNext();) {
                QString t = m.next().captured(2);
                t.replace(QLatin1String("&lt;"), QLatin1String("<")).replace(QLatin1String("&gt;"), QLatin1String(">"));
                t.replace(QLatin1String("&quot;"), QLatin1String("\"")).replace(QLatin1String("&amp;"), QLatin1String("&"));
                lines << t;
            }
        }
        return lines;
    }

    // The contents, a line per top entry: "label [child|child]".
    static QStringList outline(const Book& b)
    {
        QList<QByteArray> labels;
        const QList<Entry> ncx = index(b.recs, u32(b.recs[0], 0xF4), &labels);
        QStringList out;
        for (const Entry& e : ncx) {
            if (e.tags.contains(21)) {
                continue;
            }
            QString line = string(labels, e.tags[3][0]);
            if (e.tags.contains(22)) {
                QStringList children;
                for (quint32 c = e.tags[22][0]; c <= e.tags[23][0]; ++c) {
                    children << string(labels, ncx[int(c)].tags[3][0]);
                }
                line += QStringLiteral(" [") + children.join(u'|') + u']';
            }
            out << line;
        }
        return out;
    }

    static QByteArray zipEntry(QuaZip& zip, const QString& name)
    {
        zip.setCurrentFile(name);
        QuaZipFile f(&zip);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // An EPUB's pages in reading order, its contents as outline() gives them, its package
    // document and cover image.
    struct Epub {
        QList<QByteArray> pages;
        QStringList outline;
        QString opf;
        QByteArray cover;
    };
    static Epub readEpub(const QString& path)
    {
        Epub e;
        QuaZip zip(path);
        if (!zip.open(QuaZip::mdUnzip)) {
            return e;
        }
        e.opf = QString::fromUtf8(zipEntry(zip, QStringLiteral("OEBPS/content.opf")));
        static const QRegularExpression itemref(QStringLiteral("<itemref idref=\"([^\"]+)\""));
        for (auto it = itemref.globalMatch(e.opf); it.hasNext();) {
            const QString id = it.next().captured(1);
            if (id != QLatin1String("cover") && id != QLatin1String("nav")) {
                e.pages << zipEntry(zip, QStringLiteral("OEBPS/text/%1.xhtml").arg(id));
            }
        }
        for (const QString& name : zip.getFileNameList()) {
            if (name.startsWith(QLatin1String("OEBPS/images/cover."))) {
                e.cover = zipEntry(zip, name);
            }
        }
        // Top entries with their children's labels.
        QList<QPair<QString, QStringList>> top;
        QXmlStreamReader xml(zipEntry(zip, QStringLiteral("OEBPS/toc.ncx")));
        int depth = 0;
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.name() == QLatin1String("navPoint")) {
                depth += xml.isStartElement() ? 1 : xml.isEndElement() ? -1 : 0;
            } else if (xml.isStartElement() && xml.name() == QLatin1String("text") && depth > 0) {
                const QString label = xml.readElementText();
                if (depth == 1) {
                    top.append({label, {}});
                } else if (!top.isEmpty()) {
                    top.last().second << label;
                }
            }
        }
        for (const auto& [label, children] : top) {
            e.outline << (children.isEmpty() ? label : label + QStringLiteral(" [") + children.join(u'|') + u']');
        }
        return e;
    }

    static QString writeNovel(const QString& path, const QStringList& lines)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        const QByteArray bytes = lines.join(u"\r\n"_qs).toUtf8();
        return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() ? path : QString();
    }

private slots:
    void palmDoc_unpacksToTheRecord_data()
    {
        QTest::addColumn<QByteArray>("record");
        QTest::addColumn<int>("atMost"); // packed size
        QByteArray all;
        for (int c = 0; c < 256; ++c) {
            all += char(c);
        }
        QByteArray noise(4096, '\0');
        QRandomGenerator rng(7);
        for (char& c : noise) {
            c = char(rng.bounded(256));
        }
        QTest::newRow("empty") << QByteArray() << 0;
        QTest::newRow("every byte") << all << 256 + 256 / 8 + 1;
        QTest::newRow("noise") << noise << 4096 + 4096 / 8 + 1;
        QTest::newRow("one letter, overlapping copies") << QByteArray(4096, 'a') << 4096 / 10 * 2 + 4;
        QTest::newRow("spaces before letters") << QByteArray("a b c Hello World  x ~ \x7f end ") << 40;
        QTest::newRow("counts and high bytes") << QByteArray("\x01\x02\x08\x09\x80\xBF\xC0\xFF text") << 24;
        QTest::newRow("chinese repeated") << QStringLiteral(u"<p>他说：“你好。”</p>\n").repeated(150).left(1365).toUtf8()
                                          << 600;
    }
    void palmDoc_unpacksToTheRecord()
    {
        QFETCH(QByteArray, record);
        QFETCH(int, atMost);
        const QByteArray packed = palmDocCompress(record);
        QCOMPARE(unpack(packed), record);
        QVERIFY2(packed.size() <= atMost, QByteArray::number(packed.size()));
    }

    // One model, two formats: the AZW3 has the EPUB's text, contents, titles, description,
    // cover and setting, book by book. Volume names left out of chapter headings, sets of books
    // with each part's title and drawn cover, 重新分段 and labels in the book's own script, long
    // pages going on in parts of their own.
    void book_readsAsTheEpubDoes_data()
    {
        QTest::addColumn<QString>("novel"); // a fixture, or what the test writes
        QTest::addColumn<int>("chapsInBook");
        QTest::addColumn<bool>("vertical");
        QTest::addColumn<QStringList>("titles");
        QTest::addColumn<QString>("line"); // a heading or paragraph the first book shows
        QTest::addColumn<int>("parts");    // of the first book
        QTest::newRow("volumes, 3 chapters a book")
            << QStringLiteral(VELLOMAR_TEST_DATA "/volumes.txt") << 3 << false
            << QStringList{u"星河长歌 (1-3)"_qs, u"星河长歌 (4-6)"_qs, u"星河长歌 (7-8)"_qs} << u"第一章 小镇"_qs << 5;
        QTest::newRow("hard-wrapped traditional, vertical")
            << u"wrapped"_qs << 0 << true << QStringList{u"夜路"_qs} << u"精兵五百，命先鋒張飛引兵追趕。賊眾大敗，四散奔走。"_qs << 4;
        QTest::newRow("one long chapter") << u"long"_qs << 0 << false << QStringList{u"長夜"_qs} << u"第一章 長夜"_qs << 3;
    }

    void book_readsAsTheEpubDoes()
    {
        QFETCH(QString, novel);
        QFETCH(int, chapsInBook);
        QFETCH(bool, vertical);
        QFETCH(QStringList, titles);
        QFETCH(QString, line);
        QFETCH(int, parts);
        Settings s = Settings::defaults();
        s.ConvertToSimple = false;
        const QString dir = m_dir.filePath(QString::number(QTest::currentDataTag()[0]));
        if (novel == u"wrapped"_qs) {
            s.Reflow = true;
            const QStringList body = {u"精兵五百，命先鋒張飛"_qs, u"引兵追趕。賊眾大敗，"_qs, u"四散奔走。"_qs,
                                      u"玄德收兵回城，眾將各"_qs, u"自領賞。"_qs, u"次日，太守親自出城迎"_qs,
                                      u"接，設宴款待三人。"_qs};
            novel = writeNovel(dir + u"/夜路.txt"_qs, QStringList{u"簡介：兩個人走夜路的故事。"_qs, u""_qs}
                                                          + QStringList{u"第一章 出城"_qs} + body
                                                          + QStringList{u"第二章 進城"_qs} + body
                                                          + QStringList{u"第三章 住店"_qs} + body);
        } else if (novel == u"long"_qs) {
            QStringList lines{u"第一章 長夜"_qs};
            QRandomGenerator rng(5);
            for (int i = 0; i < 3000; ++i) {
                QString p = u"　　"_qs;
                for (int n = 40 + int(rng.bounded(60)); n > 0; --n) {
                    p += QChar(char16_t(0x4E00 + rng.bounded(0x3000)));
                }
                lines << p;
            }
            novel = writeNovel(dir + u"/長夜.txt"_qs, lines);
        }
        QVERIFY(QDir().mkpath(dir));
        EpubOptions o;
        o.chapsInBook = chapsInBook;
        o.vertical = vertical;
        o.target = dir;
        const EpubResult azw3 = write(novel, o, s);
        const EpubResult epub = write(novel, o, s, BookFormat::Epub);
        QCOMPARE(azw3.kind, EpubResult::Done);
        QCOMPARE(epub.kind, EpubResult::Done);
        QCOMPARE(azw3.books.size(), titles.size());
        QCOMPARE(epub.books.size(), titles.size());
        QByteArray lastCover;
        for (int i = 0; i < titles.size(); ++i) {
            const Book b = read(azw3.books[i]);
            const Epub e = readEpub(epub.books[i]);
            const QList<QByteArray> pages = assembled(b);
            QCOMPARE(blocks(pages), blocks(e.pages));
            QCOMPARE(outline(b), e.outline);
            QCOMPARE(QString::fromUtf8(b.exth.value(503)), titles[i]);
            QVERIFY2(e.opf.contains(u"<dc:title>"_qs + titles[i] + u"</dc:title>"_qs), qPrintable(e.opf));
            const QRegularExpression description(u"<dc:description>(.*)</dc:description>"_qs,
                                                 QRegularExpression::DotMatchesEverythingOption);
            QCOMPARE(QString::fromUtf8(b.exth.value(103)), description.match(e.opf).captured(1));
            const QByteArray cover = b.recs[u32(b.recs[0], 0x6C) + u32(b.exth.value(201), 0)];
            QCOMPARE(cover, e.cover);
            QVERIFY(cover != lastCover); // each part's cover says which part it is
            lastCover = cover;
            QCOMPARE(b.exth.value(525), vertical ? QByteArray("vertical-rl") : QByteArray());
            QCOMPARE(b.exth.value(527), vertical ? QByteArray("rtl") : QByteArray());
            const QByteArray& fdst = b.recs[u32(b.recs[0], 0xC0)];
            QCOMPARE(b.text.mid(u32(fdst, 20)).contains("writing-mode: vertical-rl"), vertical);
            if (i == 0) {
                QVERIFY2(blocks(pages).contains(line), qPrintable(blocks(pages).join(u'\n')));
                QCOMPARE(pages.size(), parts);
            }
        }
    }

    // A size limit holds for AZW3, whose text packs less tightly than an EPUB's: every book
    // stays under it, and every chapter is in one of them.
    void sizeLimit_keepsEachBookUnder()
    {
        // 100 chapters of about 40 KB each, books filling up to the limit in small steps; 400
        // characters drawn at random pack about as well as a novel does.
        QRandomGenerator rng(9);
        QStringList lines;
        QStringList titles;
        for (int c = 1; c <= 100; ++c) {
            titles << u"第%1章 章%1"_qs.arg(c);
            lines << titles.last();
            for (int l = 0; l < 200; ++l) {
                QString line = u"　　"_qs;
                for (int k = 0; k < 98; ++k) {
                    line += QChar(char16_t(0x4E00 + rng.bounded(400)));
                }
                lines << line + u"。"_qs;
            }
        }
        const QString dir = m_dir.filePath(u"limit"_qs);
        const QString novel = writeNovel(dir + u"/长书.txt"_qs, lines);
        Settings s = Settings::defaults();
        s.ConvertToSimple = false;
        s.SetInvalidTitle = false;
        EpubOptions o;
        o.maxBookMB = 3;
        o.target = dir;
        const EpubResult r = write(novel, o, s);
        QCOMPARE(r.kind, EpubResult::Done);
        QStringList headings;
        for (const QString& book : r.books) {
            QVERIFY2(QFileInfo(book).size() <= 3 << 20, qPrintable(u"%1: %2"_qs.arg(book).arg(QFileInfo(book).size())));
            for (const QString& line : blocks(assembled(read(book)))) {
                if (line.startsWith(u'第')) {
                    headings << line;
                }
            }
        }
        QCOMPARE(headings, titles);
    }

    // A text longer than one book's records can number fails with its reason, and no book.
    void textTooLong_failsWithItsReason()
    {
        Kf8Text text(2);
        QVERIFY(text.open(m_dir.path()));
        QVERIFY(text.addPart("<html><body>", "</body></html>", QByteArray("<p>x</p>\n").repeated(2000)));
        QVERIFY(!text.finish("p {}"));
        QVERIFY2(text.errorString().contains(u"一本 AZW3 书放不下"_qs), qPrintable(text.errorString()));
    }

    // The volumes novel as one book: headers, metadata, every page whole and in order, the
    // contents nested volume → chapter and leading to the pages' headings.
    void book_readsBackWithItsHeadersAndContents()
    {
        EpubOptions o;
        o.target = m_dir.filePath(QStringLiteral("one/star.azw3"));
        o.author = QStringLiteral(u"青衫客");
        QVERIFY(QDir().mkpath(m_dir.filePath(QStringLiteral("one"))));
        const QString novel = QStringLiteral(VELLOMAR_TEST_DATA "/volumes.txt");
        const EpubResult r = write(novel, o);
        QCOMPARE(r.kind, EpubResult::Done);
        QCOMPARE(r.books, QStringList{o.target});
        const Book b = read(o.target);
        const QByteArray& r0 = b.recs[0];
        QFile f(o.target);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.read(68).mid(60, 8), QByteArray("BOOKMOBI"));

        QCOMPARE(u16(r0, 0), 2u);                      // PalmDOC packing
        QCOMPARE(u32(r0, 4), quint32(b.text.size()));  // text length
        QCOMPARE(r0.mid(16, 4), QByteArray("MOBI"));
        QCOMPARE(u32(r0, 0x1C), 65001u);               // UTF-8
        QCOMPARE(u32(r0, 0x24), 8u);                   // KF8
        QCOMPARE(u32(r0, 0x5C), 0x804u);               // zh-CN
        QCOMPARE(b.exth.value(503), QStringLiteral(u"星河长歌").toUtf8());
        QCOMPARE(b.exth.value(100), QStringLiteral(u"青衫客").toUtf8());
        QCOMPARE(b.exth.value(524), QByteArray("zh-CN"));
        QVERIFY(b.exth.value(112).startsWith("urn:uuid:"));
        QVERIFY(!b.exth.contains(113)); // no ASIN
        const quint32 firstImage = u32(r0, 0x6C);
        const QByteArray cover = b.recs[firstImage + u32(b.exth.value(201), 0)];
        QVERIFY(cover.startsWith("\xFF\xD8") || cover.startsWith("\x89PNG"));
        QVERIFY(b.recs[firstImage + u32(b.exth.value(202), 0)].startsWith("\xFF\xD8"));
        QCOMPARE(QByteArray(b.recs.last()), QByteArray("\xE9\x8E\r\n", 4));

        // Two flows: the pages, then the stylesheet.
        const QByteArray& fdst = b.recs[u32(r0, 0xC0)];
        QCOMPARE(fdst.left(4), QByteArray("FDST"));
        QCOMPARE(u32(fdst, 8), 2u);
        const quint32 pagesEnd = u32(fdst, 16);
        QCOMPARE(u32(fdst, 20), pagesEnd);
        QCOMPARE(u32(fdst, 24), quint32(b.text.size()));
        QVERIFY(b.text.mid(pagesEnd).contains("p {"));

        // Each skeleton with its fragments inserted where they say is a well-formed page.
        QList<QByteArray> selectors;
        const QList<Entry> skeletons = index(b.recs, u32(r0, 0xFC));
        const QList<Entry> fragments = index(b.recs, u32(r0, 0xF8), &selectors);
        QStringList headings;
        QStringList pageText;
        QHash<quint32, QString> headingAt; // a fragment's place -> the page's heading
        int f0 = 0;
        for (const Entry& s : skeletons) {
            const quint32 start = s.tags[6][0];
            QByteArray page = b.text.mid(start, s.tags[6][1]);
            quint32 next = start + s.tags[6][1];
            for (quint32 k = 0; k < s.tags[1][0]; ++k, ++f0) {
                const Entry& fr = fragments[f0];
                const quint32 insertAt = fr.name.toUInt();
                const QString selector = string(selectors, fr.tags[2][0]);
                const QString aid = QRegularExpression(QStringLiteral("@aid='([0-9A-V]+)'")).match(selector).captured(1);
                QVERIFY2(page.left(insertAt - start).endsWith("aid=\"" + aid.toLatin1() + "\">"), selector.toUtf8());
                page.insert(insertAt - start, b.text.mid(next, fr.tags[6][1]));
                next += fr.tags[6][1];
            }
            QXmlStreamReader xml(page);
            QString heading;
            while (!xml.atEnd()) {
                if (xml.readNext() != QXmlStreamReader::StartElement) {
                    continue;
                }
                const bool isHeading = xml.name() == QLatin1String("h1") || xml.name() == QLatin1String("h2");
                if (!isHeading && xml.name() != QLatin1String("p")) {
                    continue;
                }
                const QString t = xml.readElementText();
                if (isHeading) {
                    heading = t;
                    headings << t;
                }
                if (!t.isEmpty()) {
                    pageText << t;
                }
            }
            QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
            headingAt.insert(fragments[int(s.tags[1][0] ? f0 - int(s.tags[1][0]) : f0)].name.toUInt(),
                             heading.isEmpty() ? QStringLiteral(u"前言") : heading);
        }
        QCOMPARE(f0, fragments.size());
        QVERIFY(!pageText.isEmpty());
        QCOMPARE(pageText.first(), QStringLiteral(u"《星河长歌》"));
        QCOMPARE(pageText.last(), QStringLiteral(u"全书完。"));
        QCOMPARE(headings.size(), 4 + 8); // volumes and chapters

        // The contents: top entries, then each volume's chapters, leading to their pages.
        QList<QByteArray> labels;
        const QList<Entry> ncx = index(b.recs, u32(r0, 0xF4), &labels);
        QStringList outline;
        for (int i = 0; i < ncx.size(); ++i) {
            const Entry& e = ncx[i];
            if (e.tags.contains(21)) {
                continue;
            }
            QString line = string(labels, e.tags[3][0]);
            QCOMPARE(headingAt.value(e.tags[1][0]), line);
            QCOMPARE(fragments[int(e.tags[6][0])].name.toUInt(), e.tags[1][0]);
            if (e.tags.contains(22)) {
                QStringList children;
                for (quint32 c = e.tags[22][0]; c <= e.tags[23][0]; ++c) {
                    QCOMPARE(ncx[int(c)].tags[21][0], quint32(i));
                    QCOMPARE(ncx[int(c)].tags[4][0], 1u);
                    children << string(labels, ncx[int(c)].tags[3][0]);
                    QCOMPARE(headingAt.value(ncx[int(c)].tags[1][0]), children.last());
                }
                line += QStringLiteral(" [") + children.join(u'|') + u']';
            }
            outline << line;
        }
        QCOMPARE(outline, QStringList({QStringLiteral(u"前言"),
                                       QStringLiteral(u"第一卷 少年游 [第一章 小镇|第二章 铁匠铺|第三章 远行]"),
                                       QStringLiteral(u"第二卷 风雨路 [第一章 渡口|第二章 荒原]"),
                                       QStringLiteral(u"第三卷 雪落无声"),
                                       QStringLiteral(u"第四卷 星河 [第一章 归来|第二章 重逢|第四章 星河长歌]")}));

        // The same novel, the same identifier; another title, another book.
        o.target = m_dir.filePath(QStringLiteral("one/again.azw3"));
        QCOMPARE(write(novel, o).kind, EpubResult::Done);
        QCOMPARE(read(o.target).exth.value(112), b.exth.value(112));
        o.title = QStringLiteral(u"别的书");
        o.target = m_dir.filePath(QStringLiteral("one/other.azw3"));
        QCOMPARE(write(novel, o).kind, EpubResult::Done);
        QVERIFY(read(o.target).exth.value(112) != b.exth.value(112));
    }

    // A long Chinese novel: records of 4096 bytes each, a character cut at a record's end
    // repeated after it; books of a set named after their chapters.
    void textRecords_repeatTheCutCharacter()
    {
        QByteArray novel;
        QRandomGenerator rng(3);
        for (int c = 1; c <= 30; ++c) {
            novel += QStringLiteral(u"第%1章 标题\n").arg(c).toUtf8();
            for (int p = 0; p < 40; ++p) {
                QString line = QStringLiteral(u"　　");
                for (int k = 0; k < 40; ++k) {
                    line += QChar(0x4E00 + rng.bounded(3000));
                }
                novel += (line + u'\n').toUtf8();
            }
        }
        const QString path = m_dir.filePath(QStringLiteral("long.txt"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(novel) == novel.size());
        f.close();
        EpubOptions o;
        o.target = m_dir.filePath(QStringLiteral("set"));
        o.title = QStringLiteral(u"长书");
        o.chapsInBook = 20;
        QVERIFY(QDir().mkpath(o.target));
        const EpubResult r = write(path, o);
        QCOMPARE(r.kind, EpubResult::Done);
        QCOMPARE(r.books, QStringList({o.target + QStringLiteral(u"/长书 (01-20).azw3"), o.target + QStringLiteral(u"/长书 (21-30).azw3")}));
        const Book b = read(r.books.first());
        const quint32 count = u16(b.recs[0], 8);
        QVERIFY(count > 20);
        QByteArray whole;
        for (quint32 i = 1; i <= count; ++i) {
            const QByteArray& rec = b.recs[i];
            const int overlap = quint8(rec.back()) & 3;
            const QByteArray text = unpack(rec.left(rec.size() - 1 - overlap));
            if (i < count) {
                QCOMPARE(text.size(), 4096);
            }
            whole += text;
            // The repeated bytes are the rest of the character the record ends in.
            const QByteArray next = b.text.mid(whole.size(), 3);
            int expected = 0;
            while (expected < next.size() && (quint8(next[expected]) & 0xC0) == 0x80) {
                ++expected;
            }
            QCOMPARE(overlap, expected);
            QCOMPARE(rec.mid(rec.size() - 1 - overlap, overlap), next.left(expected));
        }
        QVERIFY(QString::fromUtf8(b.text).contains(QStringLiteral(u"第20章 标题")));
        QVERIFY(!QString::fromUtf8(b.text).contains(QStringLiteral(u"第21章 标题")));
    }
};

QTEST_MAIN(tst_Azw3)
#include "tst_azw3.moc"
