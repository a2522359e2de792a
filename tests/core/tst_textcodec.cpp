#include "FakeHost.h"

#include "config/Settings.h"
#include "core/AnalysisPass.h"
#include "core/Document.h"
#include "core/GbkCodec.h"
#include "core/TextCodec.h"
#include "output/OutputPass.h"

#include <QDirIterator>
#include <QRandomGenerator>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(TextCodec::Id)

class tst_TextCodec : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    static QByteArray utf16(const QString& s, bool little)
    {
        QByteArray b;
        for (QChar c : s) {
            // Two bytes appended one by one: QByteArray{lo, hi} would be `lo` copies of `hi`.
            const char lo = char(c.unicode() & 0xFF), hi = char(c.unicode() >> 8);
            b.append(little ? lo : hi);
            b.append(little ? hi : lo);
        }
        return b;
    }

private slots:
    void detect_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<TextCodec::Id>("id");
        QTest::addColumn<int>("bom");
        const QString text = u"第一章 风起\r\n正文"_qs;
        QTest::newRow("utf-8 bom") << (QByteArray("\xEF\xBB\xBF") + text.toUtf8()) << TextCodec::Utf8 << 3;
        QTest::newRow("utf-16le bom") << (QByteArray("\xFF\xFE") + utf16(text, true)) << TextCodec::Utf16LE << 2;
        QTest::newRow("utf-16be bom") << (QByteArray("\xFE\xFF") + utf16(text, false)) << TextCodec::Utf16BE << 2;
        QTest::newRow("utf-8") << text.toUtf8() << TextCodec::Utf8 << 0;
        QTest::newRow("utf-8, one bad byte") << (text.repeated(20).toUtf8() + "\xFF" + text.toUtf8()) << TextCodec::Utf8 << 0;
        QTest::newRow("utf-8 cut at the end") << text.toUtf8().chopped(1) << TextCodec::Utf8 << 0;
        QTest::newRow("gbk") << GbkCodec::instance().encode(text) << TextCodec::Gb18030 << 0;
        QTest::newRow("gb18030 only bytes") << QByteArray("\x81\x30\x81\x30\x95\x32\x82\x36") << TextCodec::Gb18030 << 0;
        QTest::newRow("ascii") << QByteArray("Chapter 1") << TextCodec::Gb18030 << 0;

        // Hard cases: little text, a stray bad byte, a little Chinese among much ASCII.
        const TextCodec& big5 = TextCodec::forId(TextCodec::Big5);
        const TextCodec& gbk = GbkCodec::instance();
        const QString trad = u"第一回　甄士隱夢幻識通靈　賈雨村風塵懷閨秀\r\n"
                             u"　　此開卷第一回也。作者自云：因曾歷過一番夢幻之後，故將真事隱去，而借通靈之說，撰此書也。\r\n"_qs;
        const QString simp = u"第一回　甄士隐梦幻识通灵　贾雨村风尘怀闺秀\r\n"
                             u"　　此开卷第一回也。作者自云：因曾历过一番梦幻之后，故将真事隐去，而借通灵之说，撰此书也。\r\n"_qs;
        QByteArray english;
        for (int i = 0; i < 100; ++i) {
            english += "This text is free to copy; see https://example.org/licence for the terms. Line "
                       + QByteArray::number(i) + "\r\n";
        }
        QTest::newRow("short novel, big5") << big5.encode(trad) << TextCodec::Big5 << 0;
        QTest::newRow("short novel, gbk") << gbk.encode(simp) << TextCodec::Gb18030 << 0;
        QTest::newRow("short novel, traditional in gbk") << gbk.encode(trad) << TextCodec::Gb18030 << 0;
        QTest::newRow("one heading, big5") << big5.encode(trad.first(12)) << TextCodec::Big5 << 0;
        QTest::newRow("mostly ascii, big5") << english + big5.encode(trad.first(24)) + english << TextCodec::Big5 << 0;
        QTest::newRow("mostly ascii, gbk") << english + gbk.encode(simp.first(24)) + english << TextCodec::Gb18030 << 0;
        QTest::newRow("mostly ascii, utf-8") << english + simp.first(24).toUtf8() + english << TextCodec::Utf8 << 0;
        QTest::newRow("gbk, a stray bad byte") << gbk.encode(simp) + "\xFF" + gbk.encode(simp) << TextCodec::Gb18030 << 0;
        QTest::newRow("big5, a stray bad byte") << big5.encode(trad) + "\xFF" + big5.encode(trad) << TextCodec::Big5 << 0;
        QTest::newRow("utf-8, one bad byte in a short text") << simp.toUtf8().insert(40, '\xFF') << TextCodec::Utf8 << 0;
        QTest::newRow("utf-16le, no bom") << utf16(simp, true) << TextCodec::Utf16LE << 0;
        QTest::newRow("utf-16be, no bom") << utf16(trad, false) << TextCodec::Utf16BE << 0;
        // Odd characters (controls, a NUL, private use, rare ones) do not make a text another encoding.
        const QString odd = u"书名：\uE123\u0001乂\uF8FF\r\n\u0000第一卷 \uE000\u0007鿠\r\n第1章 龘\uE801\r\n"_qs;
        QTest::newRow("gb18030, odd characters") << GbkCodec::gb18030().encode(odd) << TextCodec::Gb18030 << 0;
        QTest::newRow("utf-8, odd characters") << odd.toUtf8() << TextCodec::Utf8 << 0;
    }

    void detect()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(TextCodec::Id, id);
        QFETCH(int, bom);
        int got = -1;
        QCOMPARE(TextCodec::detect(bytes, &got), id);
        QCOMPARE(got, bom);
    }

    // Slices of real novels (tests/data/encoding, a few KB each, cut at line ends) whole, cut to
    // their first 150 characters, and set among English lines: the detected encoding is the one
    // that reads the novel without loss (no undecodable byte but the novel's own).
    void detectRealNovels_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<TextCodec::Id>("id");
        QTest::addColumn<int>("undecodable");
        QTest::newRow("big5 (code page 950)") << u"shisheng_big5.txt"_qs << TextCodec::Big5 << 0;
        QTest::newRow("big5-hkscs, an hkscs character") << u"shigongan_big5hkscs.txt"_qs << TextCodec::Big5 << 0;
        QTest::newRow("big5-hkscs, an undecodable pair") << u"yushi_mingyan_big5.txt"_qs << TextCodec::Big5 << 2;
        QTest::newRow("gbk, traditional characters") << u"hongloumeng_trad_in_gbk.txt"_qs << TextCodec::Gb18030 << 0;
        QTest::newRow("gb, user-defined area") << u"xiyouji_gb.txt"_qs << TextCodec::Gb18030 << 0;
        QTest::newRow("gb, a private-use character") << u"hongloumeng_zhang_gb.txt"_qs << TextCodec::Gb18030 << 0;
        QTest::newRow("gbk, a garbled passage") << u"rulinwaishi_gbk.txt"_qs << TextCodec::Gb18030 << 0;
        QTest::newRow("utf-8") << u"sanguo_utf8_crlf.txt"_qs << TextCodec::Utf8 << 0;
    }

    void detectRealNovels()
    {
        QFETCH(QString, file);
        QFETCH(TextCodec::Id, id);
        QFETCH(int, undecodable);
        QFile f(QStringLiteral(VELLOMAR_TEST_DATA "/encoding/") + file);
        QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(f.fileName()));
        const QByteArray whole = f.readAll();
        const TextCodec& codec = TextCodec::forId(id);
        const QString text = codec.decode(whole);
        QCOMPARE(std::count_if(text.cbegin(), text.cend(), [](QChar c) { return TextCodec::isEscape(c.unicode()); }),
                 undecodable);
        const QByteArray start = codec.encode(QStringView(text).first(150));
        const QByteArray english = QByteArray("Produced for a free library; no rights reserved.\n").repeated(200);
        int bom = -1;
        QCOMPARE(TextCodec::detect(whole, &bom), id);
        QCOMPARE(TextCodec::detect(start, &bom), id);
        QCOMPARE(TextCodec::detect(english + start + english, &bom), id);
        QCOMPARE(bom, 0);
    }

    // A large file is judged by a bounded sample of whole lines from all over it: a Big5 novel
    // whose first 100 KB are English is still read as Big5, and the window says it was detected.
    void detectLargeFileFromSample()
    {
        QFile slice(QStringLiteral(VELLOMAR_TEST_DATA "/encoding/shisheng_big5.txt"));
        QVERIFY(slice.open(QIODevice::ReadOnly));
        const QByteArray big5 = slice.readAll();
        const QString path = m_dir.filePath(u"large.txt"_qs);
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("An English preface, line after line.\r\n").repeated(2600));
        while (f.size() < 4 << 20) {
            f.write(big5);
        }
        f.close();
        QVERIFY(f.open(QIODevice::ReadOnly));
        QByteArray head, more;
        QVERIFY(TextCodec::readSample(f, &head, &more));
        QCOMPARE(head.size(), 32 * 1024);
        QVERIFY(more.size() > 8 * 1024 && more.size() <= 8 * 8 * 1024);
        QVERIFY(more.endsWith('\n'));
        const QString text = TextCodec::forId(TextCodec::Big5).decode(more);
        QVERIFY(std::none_of(text.cbegin(), text.cend(), [](QChar c) { return TextCodec::isEscape(c.unicode()); }));
        int bom = -1;
        QCOMPARE(TextCodec::detect(head, &bom), TextCodec::Gb18030); // the start alone is ASCII
        QCOMPARE(TextCodec::detect(head, more, &bom), TextCodec::Big5);

        Document doc;
        QVERIFY(doc.OpenTextFile(path, nullptr, false));
        QCOMPARE(doc.codec().id(), TextCodec::Big5);
        QCOMPARE(doc.encodingLabel(), u"Big5-HKSCS（自动识别）"_qs);
        doc.setEncodingChoice(false, TextCodec::Gbk);
        QVERIFY(doc.OpenTextFile(path, nullptr, false));
        QCOMPARE(doc.encodingLabel(), u"GBK"_qs);
    }

    void anyBytesRoundTrip_data()
    {
        QTest::addColumn<TextCodec::Id>("id");
        for (TextCodec::Id id : {TextCodec::Gbk, TextCodec::Gb18030, TextCodec::Utf8, TextCodec::Utf16LE,
                                 TextCodec::Utf16BE, TextCodec::Big5}) {
            QTest::newRow(qPrintable(TextCodec::forId(id).name())) << id;
        }
    }

    void anyBytesRoundTrip()
    {
        QFETCH(TextCodec::Id, id);
        const TextCodec& codec = TextCodec::forId(id);
        QRandomGenerator rng(42);
        for (int round = 0; round < 3000; ++round) {
            QByteArray bytes(rng.bounded(24), '\0');
            for (char& c : bytes) {
                // Mostly high bytes and digits, where multi-byte forms live.
                const int r = rng.bounded(10);
                c = char(r < 6 ? 0x80 + rng.bounded(128) : (r < 8 ? '0' + rng.bounded(10) : rng.bounded(128)));
            }
            const QString text = codec.decode(bytes);
            QCOMPARE(codec.encode(text), bytes);
            for (QChar c : text) {
                QVERIFY(!c.isSurrogate() || id == TextCodec::Utf8 || id == TextCodec::Utf16LE
                        || id == TextCodec::Utf16BE || id == TextCodec::Gb18030 || id == TextCodec::Big5);
            }
        }
    }

    void readableText()
    {
        const QString text = u"甄士隱夢幻識通靈 𠀀 €"_qs;
        for (TextCodec::Id id : {TextCodec::Gb18030, TextCodec::Utf8, TextCodec::Utf16LE, TextCodec::Utf16BE}) {
            const TextCodec& codec = TextCodec::forId(id);
            QCOMPARE(codec.decode(codec.encode(text)), text);
        }
        // GB18030's four-byte forms are real characters, not escapes.
        QCOMPARE(TextCodec::forId(TextCodec::Gb18030).decode(QByteArray("\x81\x30\x81\x30")), QString(QChar(0x80)));
        QCOMPARE(TextCodec::forId(TextCodec::Gbk).decode(QByteArray("\x81\x30")).size(), 2); // strict GBK: escape + '0'
        QCOMPARE(TextCodec::forId(TextCodec::Big5).decode(TextCodec::forId(TextCodec::Big5).encode(u"施公案"_qs)), u"施公案"_qs);
    }

    // Private use characters are text: a book (resolveEscapes) gets them back whole in every
    // encoding that holds them (ICU, not our codec, says which and how), the bytes are written
    // back unchanged, and only a byte that is no text becomes U+FFFD.
    void privateUse_readsBackForBooks_data()
    {
        QTest::addColumn<TextCodec::Id>("id");
        QTest::addColumn<QByteArray>("icuName");
        QTest::addColumn<bool>("escapeRange"); // holds U+F700..U+F7FF, which escapes look like
        QTest::newRow("GBK") << TextCodec::Gbk << QByteArray("GBK") << false;
        QTest::newRow("GB18030") << TextCodec::Gb18030 << QByteArray("GB18030") << true;
        QTest::newRow("UTF-8") << TextCodec::Utf8 << QByteArray("UTF-8") << true;
        QTest::newRow("UTF-16LE") << TextCodec::Utf16LE << QByteArray("UTF-16LE") << true;
        QTest::newRow("UTF-16BE") << TextCodec::Utf16BE << QByteArray("UTF-16BE") << true;
        QTest::newRow("Big5-HKSCS") << TextCodec::Big5 << QByteArray("Big5-HKSCS") << false;
    }

    void privateUse_readsBackForBooks()
    {
        QFETCH(TextCodec::Id, id);
        QFETCH(QByteArray, icuName);
        QFETCH(bool, escapeRange);
        const TextCodec& codec = TextCodec::forId(id);
        QString text = u"甲"_qs;
        for (char16_t c : {0xE000, 0xE5E5, 0xF700, 0xF739, 0xF7FF, 0xF8F5, 0xF8FF}) {
            const QString one(QChar{c});
            QStringEncoder encoder(icuName.constData(), QStringConverter::Flag::Stateless);
            const QByteArray bytes = encoder.encode(one);
            QStringDecoder decoder(icuName.constData(), QStringConverter::Flag::Stateless);
            if (!encoder.hasError() && QString(decoder.decode(bytes)) == one) {
                text += one;
            }
        }
        text += u"乙"_qs;
        QCOMPARE(text.contains(QChar(0xF700)), escapeRange);
        QStringEncoder encoder(icuName.constData(), QStringConverter::Flag::Stateless);
        const QByteArray bytes = encoder.encode(text);
        QString decoded = codec.decode(bytes);
        QCOMPARE(codec.encode(decoded), bytes);
        qint64 bad = 0;
        codec.resolveEscapes(decoded, &bad);
        QCOMPARE(decoded, text);
        QCOMPARE(bad, 0);
        QString broken = codec.decode(bytes + "\x81");
        codec.resolveEscapes(broken, &bad);
        QCOMPARE(broken, text + QChar::ReplacementCharacter);
        QCOMPARE(bad, 1);
    }

    // The double-byte tables were read from the platform's converters when the program was built:
    // every pair the converter reads as one character that writes back to the pair reads so here,
    // and no other pair does.
    void everyPairAsTheConverterReadsIt_data()
    {
        QTest::addColumn<TextCodec::Id>("id");
        QTest::addColumn<QByteArray>("icuName");
        QTest::newRow("GBK") << TextCodec::Gbk << QByteArray("GBK");
        QTest::newRow("GB18030") << TextCodec::Gb18030 << QByteArray("GB18030");
        QTest::newRow("Big5-HKSCS") << TextCodec::Big5 << QByteArray("Big5-HKSCS");
    }

    void everyPairAsTheConverterReadsIt()
    {
        QFETCH(TextCodec::Id, id);
        QFETCH(QByteArray, icuName);
        const TextCodec& codec = TextCodec::forId(id);
        QStringDecoder decoder(icuName.constData(), QStringConverter::Flag::Stateless);
        QStringEncoder encoder(icuName.constData(), QStringConverter::Flag::Stateless);
        int characters = 0;
        for (int lead = 0x81; lead <= 0xFE; ++lead) {
            for (int trail = 0x40; trail <= 0xFE; ++trail) {
                const char two[2] = {char(lead), char(trail)};
                const QString alone = decoder.decode(QByteArrayView(two, 2));
                if (alone.size() == 1 && alone[0] != QChar::ReplacementCharacter && !alone[0].isSurrogate()
                    && !TextCodec::isEscape(alone[0].unicode()) && QByteArray(encoder.encode(alone)) == QByteArrayView(two, 2)) {
                    QCOMPARE(codec.decode(QByteArrayView(two, 2)), alone);
                    QCOMPARE(codec.encode(alone), QByteArray(two, 2));
                    ++characters;
                } else {
                    // Nothing else reads as one character: two escapes, an escape and a letter,
                    // or a supplementary character.
                    QCOMPARE(codec.decode(QByteArrayView(two, 2)).size(), 2);
                }
            }
        }
        QVERIFY(characters > 13000);
    }

    void names()
    {
        TextCodec::Id id;
        bool detect = false;
        QVERIFY(TextCodec::fromName(u"UTF-16LE"_qs, &id, &detect));
        QCOMPARE(id, TextCodec::Utf16LE);
        QVERIFY(TextCodec::fromName(u"auto"_qs, &id, &detect) && detect);
        QVERIFY(!TextCodec::fromName(u"latin1"_qs, &id, &detect));
    }

    void outputInTheNovelsEncoding_data()
    {
        QTest::addColumn<TextCodec::Id>("id");
        QTest::addColumn<bool>("bom");
        QTest::newRow("utf-8") << TextCodec::Utf8 << false;
        QTest::newRow("utf-8 with bom") << TextCodec::Utf8 << true;
        QTest::newRow("utf-16le") << TextCodec::Utf16LE << true;
        QTest::newRow("utf-16be") << TextCodec::Utf16BE << true;
        QTest::newRow("gb18030") << TextCodec::Gb18030 << false;
    }

    void outputInTheNovelsEncoding()
    {
        QFETCH(TextCodec::Id, id);
        QFETCH(bool, bom);
        const TextCodec& codec = TextCodec::forId(id);
        const QStringList lines = {u"序"_qs, u"第1章 甲"_qs, u"正文 €"_qs, u"第2章 乙"_qs, u"末"_qs};
        QByteArray body;
        for (const QString& l : lines) {
            body += codec.encode(l + u"\r\n"_qs);
        }
        // A stray byte (an unpaired surrogate in UTF-16) survives too.
        const bool wide = id == TextCodec::Utf16LE || id == TextCodec::Utf16BE;
        body += (wide ? utf16(QString(QChar(0xD800)), id == TextCodec::Utf16LE) : QByteArray("\xC3"))
                + codec.encode(u"\r\n"_qs);
        const QByteArray mark = bom ? codec.byteOrderMark() : QByteArray();
        const QString name = QStringLiteral("enc-%1-%2.txt").arg(int(id)).arg(bom);
        const QString path = m_dir.filePath(name);
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(mark + body);
        f.close();

        Settings s = Settings::defaults();
        s.FilesInDir = 0;
        s.SetInvalidTitle = false;
        s.DelSpaceLine = false;
        s.TextFilters.clear();
        Document doc;
        QVERIFY(doc.OpenTextFile(path, nullptr));
        QCOMPARE(doc.codec().id(), id);
        QCOMPARE(doc.LineCount, 6);
        FakeHost host(&doc);
        QVERIFY(RunAnalysis(doc, s, host));
        QCOMPARE(doc.model().rowCount(), 2);
        QCOMPARE(RunOutput(doc, s, host).kind, OutputResult::Done);
        const QString root = OutputRoot(path, s.OutPath);
        QByteArray joined;
        for (const QString& file : {u"Index.txt"_qs, u"001-甲.txt"_qs, u"002-乙.txt"_qs}) {
            QFile out(root + file);
            QVERIFY(out.open(QIODevice::ReadOnly));
            QByteArray bytes = out.readAll();
            QVERIFY(bytes.startsWith(mark));
            joined += bytes.mid(mark.size());
        }
        QCOMPARE(joined, body);
    }
};

QTEST_GUILESS_MAIN(tst_TextCodec)
#include "tst_textcodec.moc"
