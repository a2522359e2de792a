#include "core/ByteSearch.h"
#include "core/GbkCodec.h"
#include "core/LineReader.h"

#include <QTemporaryDir>
#include <QTest>

class tst_LineReader : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString write(const QByteArray& bytes)
    {
        static int n = 0;
        const QString path = m_dir.filePath(QStringLiteral("f%1.txt").arg(++n));
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) {
            qFatal("cannot write fixture");
        }
        return path;
    }

    struct Read {
        QList<QByteArray> lines;
        QByteArray joined; // lines with their terminators: must give back the file
    };

    static Read readAll(LineReader& r)
    {
        Read out;
        QByteArrayView line, term;
        while (r.next(line, term) == LineReader::Line) {
            out.lines << line.toByteArray();
            out.joined += line.toByteArray() + term.toByteArray();
        }
        return out;
    }

private slots:
    void lineEndings_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QList<QByteArray>>("lines");
        using L = QList<QByteArray>;
        QTest::newRow("empty file") << QByteArray() << L{};
        QTest::newRow("crlf with final") << QByteArray("a\r\nb\r\nc\r\n") << L{"a", "b", "c"};
        QTest::newRow("crlf without final") << QByteArray("a\r\nb\r\nc") << L{"a", "b", "c"};
        QTest::newRow("lf only") << QByteArray("a\nb\nc\n") << L{"a", "b", "c"};
        QTest::newRow("cr only") << QByteArray("a\rb\rc") << L{"a", "b", "c"};
        QTest::newRow("lf cr is two ends") << QByteArray("a\n\rb") << L{"a", "", "b"};
        QTest::newRow("mixed") << QByteArray("a\r\nb\nc\rd") << L{"a", "b", "c", "d"};
        QTest::newRow("only crlf") << QByteArray("\r\n") << L{""};
        QTest::newRow("blank lines") << QByteArray("\r\n\r\nx\r\n\r\n") << L{"", "", "x", ""};
        QTest::newRow("nul bytes") << QByteArray("a\0b\r\n\0", 6) << L{QByteArray("a\0b", 3), QByteArray("\0", 1)};
        QTest::newRow("no terminator at all") << QByteArray("single") << L{"single"};
    }

    void lineEndings()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QList<QByteArray>, lines);
        // A tiny buffer makes every line cross a refill, the hard case.
        for (qsizetype chunk : {qsizetype(1), qsizetype(2), qsizetype(3), qsizetype(1 << 20)}) {
            LineReader r(chunk);
            QVERIFY(r.open(write(bytes)));
            const Read got = readAll(r);
            QCOMPARE(got.lines, lines);
            QCOMPARE(got.joined, bytes);
            QCOMPARE(r.lineNumber(), qint64(lines.size()));
            QCOMPARE(LineReader::countLines(r.path()), qint64(lines.size()));
            // Counting by skipping and reading again after a rewind agree.
            QVERIFY(r.rewind());
            QCOMPARE(r.skipToEnd(), qint64(lines.size()));
            QVERIFY(r.rewind());
            QCOMPARE(readAll(r).lines, lines);
        }
    }

    // With the text since the last needle held across refills (as the analysis holds a chapter's
    // body), the lines are still counted right and the held bytes are the file's.
    void nextContaining_countsSkippedLines_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<qsizetype>("chunk");
        QTest::addColumn<bool>("hold");
        QByteArray text;
        for (int i = 1; i <= 300; ++i) {
            const char* end = (i % 3 == 0) ? "\r\n" : (i % 3 == 1 ? "\n" : "\r");
            text += (i % 7 == 0 ? QByteArray("xx NEEDLE ") : QByteArray("plain "));
            text += QByteArray::number(i) + end;
        }
        for (qsizetype chunk : {4, 7, 64, 1 << 20}) {
            QTest::addRow("chunk %d", int(chunk)) << text << chunk << false;
            QTest::addRow("chunk %d, holding", int(chunk)) << text << chunk << true;
        }
    }

    void nextContaining_countsSkippedLines()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(qsizetype, chunk);
        QFETCH(bool, hold);
        LineReader r(chunk);
        QVERIFY(r.open(write(bytes)));
        QByteArrayView line, term;
        QList<qint64> numbers;
        qint64 previous = -1;
        while (r.nextContaining("NEEDLE", line, term) == LineReader::Line) {
            QVERIFY(line.contains(QByteArrayView("NEEDLE")));
            QVERIFY(line.endsWith(QByteArray::number(r.lineNumber())));
            numbers << r.lineNumber();
            if (hold) {
                if (previous >= 0) {
                    const QByteArrayView since = r.held(previous, r.lineOffset());
                    QVERIFY(!since.isNull());
                    QCOMPARE(since, bytes.mid(previous, r.lineOffset() - previous));
                }
                previous = r.lineOffset();
                r.holdFrom(previous);
            }
        }
        if (hold) {
            QCOMPARE(r.held(previous), bytes.mid(previous)); // to the end of the file
        }
        QCOMPARE(numbers.size(), 300 / 7);
        QCOMPARE(numbers.first(), 7);
        QCOMPARE(r.lineNumber(), 300); // after the end, every line was counted
    }

    // Lines read one by one, then skipped to, then read one by one again: the numbers stay
    // right whichever way the lines were counted, also after an unterminated last line.
    void mixedReading_keepsLineNumbers_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<qsizetype>("chunk");
        for (const char* last : {"\r\n", ""}) {
            QByteArray text;
            for (int i = 1; i <= 60; ++i) {
                const char* end = i == 60 ? last : ((i % 3 == 0) ? "\r\n" : (i % 3 == 1 ? "\n" : "\r"));
                text += (i % 9 == 0 || i == 60 ? QByteArray("NEEDLE ") : QByteArray("line ")) + QByteArray::number(i) + end;
            }
            for (qsizetype chunk : {5, 64, 1 << 20}) {
                QTest::addRow("%s, chunk %d", *last ? "terminated" : "unterminated", int(chunk)) << text << chunk;
            }
        }
    }

    void mixedReading_keepsLineNumbers()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(qsizetype, chunk);
        LineReader r(chunk);
        QVERIFY(r.open(write(bytes)));
        QByteArrayView line, term;
        auto numberOf = [&] { return line.sliced(line.lastIndexOf(' ') + 1).toByteArray().toLongLong(); };
        for (int i = 1; i <= 4; ++i) {
            QCOMPARE(r.next(line, term), LineReader::Line);
            QCOMPARE(r.lineNumber(), i);
        }
        QCOMPARE(r.nextContaining("NEEDLE", line, term), LineReader::Line);
        QCOMPARE(r.lineNumber(), 9);
        QCOMPARE(numberOf(), 9);
        QCOMPARE(r.next(line, term), LineReader::Line);
        QCOMPARE(r.lineNumber(), 10);
        QCOMPARE(numberOf(), 10);
        QList<qint64> found;
        while (r.nextContaining("NEEDLE", line, term) == LineReader::Line) {
            QCOMPARE(r.lineNumber(), numberOf());
            found << r.lineNumber();
        }
        QCOMPARE(found, (QList<qint64>{18, 27, 36, 45, 54, 60}));
        QCOMPARE(r.lineNumber(), 60);

        // All read one by one, then a skip that finds nothing more.
        QVERIFY(r.rewind());
        while (r.next(line, term) == LineReader::Line) {
        }
        QCOMPARE(r.lineNumber(), 60);
        QCOMPARE(r.nextContaining("NEEDLE", line, term), LineReader::End);
        QCOMPARE(r.lineNumber(), 60);
    }

    // A needle the test turns down does not make its line a result; one it wants is found
    // however the buffer cuts it.
    void nextContaining_needleTest()
    {
        QByteArray text;
        QList<qint64> expected;
        for (int i = 1; i <= 200; ++i) {
            // Needles followed by 'x' are wanted; by 'y' not; some lines hold both kinds.
            const bool wanted = i % 5 == 0;
            text += "a NDy b " + QByteArray(wanted ? "NDx" : "NDy") + " " + QByteArray::number(i) + "\r\n";
            if (wanted) {
                expected << i;
            }
        }
        const LineNeedleTest test{[](const void*, const char* after, const char* end) {
                                      return after == end || *after != 'y';
                                  },
                                  nullptr};
        for (qsizetype chunk : {3, 8, 64, 1 << 20}) {
            LineReader r(chunk);
            QVERIFY(r.open(write(text)));
            QByteArrayView line, term;
            QList<qint64> found;
            while (r.nextContaining("ND", line, term, test) == LineReader::Line) {
                QCOMPARE(line.sliced(line.lastIndexOf(' ') + 1).toByteArray().toLongLong(), r.lineNumber());
                found << r.lineNumber();
            }
            // Where the buffer cuts a needle off from what follows, the test cannot tell and
            // the line is handed out for the caller to judge whole; with the file in one
            // buffer, exactly the wanted lines come out.
            for (qint64 n : expected) {
                QVERIFY2(found.contains(n), qPrintable(QString::number(n)));
            }
            if (chunk > text.size()) {
                QCOMPARE(found, expected);
            }
            QCOMPARE(r.lineNumber(), 200);
        }
    }

    // Reading a file in two ranges split at a line start gives every line once, the second
    // range numbered from its own first line.
    void rewindTo_readsARange()
    {
        const QByteArray bytes("one\r\ntwo\nthree\rfour\r\n\r\nsix NEEDLE\nseven");
        QList<qsizetype> starts{0};
        LineReader whole;
        QVERIFY(whole.open(write(bytes)));
        const QList<QByteArray> all = readAll(whole).lines;
        QByteArrayView line, term;
        QVERIFY(whole.rewind());
        while (whole.next(line, term) == LineReader::Line) {
            starts << whole.lineOffset() + line.size() + term.size();
        }
        for (int k = 0; k < starts.size(); ++k) {
            const qint64 split = starts[k];
            LineReader first(4), second(4);
            QVERIFY(first.open(whole.path()) && second.open(whole.path()));
            QVERIFY(first.rewindTo(0, split));
            QVERIFY(second.rewindTo(split, -1));
            const QList<QByteArray> a = readAll(first).lines;
            const Read b = readAll(second);
            QCOMPARE(a + b.lines, all);
            QCOMPARE(first.lineNumber(), qint64(k));
            QCOMPARE(b.joined, bytes.mid(split));
            // Skipping through a range counts its lines too.
            QVERIFY(first.rewindTo(0, split));
            QCOMPARE(first.nextContaining("NEEDLE", line, term), k > 5 ? LineReader::Line : LineReader::End);
            QVERIFY(second.rewindTo(split, -1));
            QCOMPARE(second.skipToEnd(), qint64(all.size() - k));
            // rewind() lifts the range.
            QVERIFY(first.rewind());
            QCOMPARE(first.skipToEnd(), qint64(all.size()));
        }
    }

    void lineOffsets_pointAtLineStarts()
    {
        const QByteArray bytes("ab\r\ncd\nef\rgh");
        LineReader r(3);
        QVERIFY(r.open(write(bytes)));
        QByteArrayView line, term;
        while (r.next(line, term) == LineReader::Line) {
            QCOMPARE(bytes.mid(r.lineOffset(), line.size()), line.toByteArray());
        }
    }

    void longLine_isNeverCut()
    {
        QByteArray big(3 * 1000 * 1000, 'x');
        big += "\nend";
        LineReader r(4096);
        QVERIFY(r.open(write(big)));
        const Read got = readAll(r);
        QCOMPARE(got.lines.size(), 2);
        QCOMPARE(got.lines[0].size(), 3 * 1000 * 1000);
        QCOMPARE(got.joined, big);
    }

    void missingFile_reportsError()
    {
        LineReader r;
        QString error;
        QVERIFY(!r.open(m_dir.filePath(QStringLiteral("nope.txt")), &error));
        QVERIFY(!error.isEmpty());
        QCOMPARE(LineReader::countLines(m_dir.filePath(QStringLiteral("nope.txt"))), qint64(-1));
    }

    void findBytes_agreesWithMemmem()
    {
        // Random haystacks over a tiny alphabet so that partial matches abound.
        std::srand(7);
        for (int round = 0; round < 2000; ++round) {
            QByteArray hay(std::rand() % 80, '\0');
            for (char& c : hay) {
                c = "ab\r\n"[std::rand() % 4];
            }
            QByteArray needle(1 + std::rand() % 4, '\0');
            for (char& c : needle) {
                c = "ab"[std::rand() % 2];
            }
            const void* want = memmem(hay.constData(), size_t(hay.size()), needle.constData(), size_t(needle.size()));
            const char* got = findBytes(hay.constData(), size_t(hay.size()), needle.constData(), size_t(needle.size()));
            QCOMPARE(static_cast<const void*>(got), want);
        }
    }

    // Several needles in one pass: the earliest start of any, and the first needle listed there;
    // with tests, the earliest that passes its needle's test. Haystacks long enough for every
    // way of searching (32 and 16 positions at a time, and the bytes one by one).
    void findAnyBytes_agreesWithPlainSearch()
    {
        std::srand(11);
        // Passes an occurrence unless an 'a' follows it (one at the end passes: cannot tell).
        const NeedleTest notBeforeA{[](const void*, const char* after, const char* end) { return after == end || *after != 'a'; }};
        for (int round = 0; round < 6000; ++round) {
            QByteArray hay(std::rand() % 200, '\0');
            for (char& c : hay) {
                c = "abc\n"[std::rand() % 4];
            }
            QByteArray stored[NeedleBytes::MaxNeedles];
            NeedleBytes needles;
            NeedleTest tests[NeedleBytes::MaxNeedles];
            needles.count = 1 + std::rand() % 3;
            const bool tested = round % 3 == 0;
            const int length = 1 + std::rand() % 3; // often all of one length, as in a code page
            for (int k = 0; k < needles.count; ++k) {
                stored[k] = QByteArray(round % 2 ? length : 1 + std::rand() % 3, '\0');
                for (char& c : stored[k]) {
                    c = "abc"[std::rand() % 3];
                }
                needles.data[k] = stored[k].constData();
                needles.size[k] = size_t(stored[k].size());
                if (tested && std::rand() % 2) {
                    tests[k] = notBeforeA;
                }
            }
            const char* want = nullptr;
            int wantWhich = -1;
            for (qsizetype i = 0; i < hay.size() && !want; ++i) {
                for (int k = 0; k < needles.count && !want; ++k) {
                    const qsizetype after = i + stored[k].size();
                    if (hay.mid(i).startsWith(stored[k]) && (!tests[k].accept || after == hay.size() || hay[after] != 'a')) {
                        want = hay.constData() + i;
                        wantWhich = k;
                    }
                }
            }
            int which = -1;
            const char* got = tested ? findAnyBytes(hay.constData(), size_t(hay.size()), needles, tests, &which)
                                     : findAnyBytes(hay.constData(), size_t(hay.size()), needles, &which);
            QCOMPARE(got, want);
            if (want) {
                QCOMPARE(which, wantWhich);
            }
        }
    }

    void gbk_roundTripsAnyBytes_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        const GbkCodec& c = GbkCodec::instance();
        QTest::newRow("chinese") << c.encode(u"第一章 风起") << QStringLiteral(u"第一章 风起");
        QTest::newRow("euro single byte") << QByteArray("\x80") << QStringLiteral(u"€");
        QTest::newRow("lead at end") << QByteArray("a\xB5") << (u"a"_qs + QChar(0xF7B5));
        QTest::newRow("bad trail") << QByteArray("\x81\x20z") << (QString(QChar(0xF781)) + u" z"_qs);
        QTest::newRow("gb18030 four bytes") << QByteArray("\x81\x30\x81\x30") << QString();
        QTest::newRow("nul") << QByteArray("\0", 1) << QString(QChar(0));
    }

    void gbk_roundTripsAnyBytes()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        const GbkCodec& c = GbkCodec::instance();
        const QString decoded = c.decode(bytes);
        if (!text.isNull()) {
            QCOMPARE(decoded, text);
        }
        QCOMPARE(c.encode(decoded), bytes);
    }

    void gbk_everyByteSequenceRoundTrips()
    {
        // All single bytes and all byte pairs, then an edited line: escapes survive edits.
        const GbkCodec& c = GbkCodec::instance();
        QByteArray all;
        for (int a = 0; a < 256; ++a) {
            for (int b = 0; b < 256; ++b) {
                all += char(a);
                all += char(b);
            }
        }
        QCOMPARE(c.encode(c.decode(all)), all);
        QString edited = c.decode(QByteArray("\xFF\x81 ") + c.encode(u"广告") + QByteArray("\xB5"));
        edited.remove(QStringLiteral(u"广告"));
        QCOMPARE(c.encode(edited), QByteArray("\xFF\x81 \xB5"));
    }

    void gbk_unencodableIsCounted()
    {
        qsizetype bad = 0;
        QByteArray out;
        GbkCodec::instance().encode(QStringView(u"a😀"), out, &bad);
        QCOMPARE(bad, qsizetype(2)); // both surrogate halves
        QVERIFY(!GbkCodec::instance().canEncode(char16_t(0xD83D)));
        QVERIFY(GbkCodec::instance().canEncode(u'第'));
    }
};

QTEST_GUILESS_MAIN(tst_LineReader)
#include "tst_linereader.moc"
