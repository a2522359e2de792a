#include "Corpus.h"
#include "FakeHost.h"

#include "config/Settings.h"
#include "core/AnalysisPass.h"
#include "core/Document.h"
#include "core/cRegExp.h"

#include <QAbstractItemModelTester>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

class tst_Analysis : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_files = 0;

    // A GBK novel whose titles stand on the given 1-based lines, `total` lines in all.
    QString novel(const QList<int>& titleLines, int total)
    {
        QByteArray bytes;
        for (int i = 1; i <= total; ++i) {
            const int k = int(titleLines.indexOf(i));
            const QString line = k >= 0 ? QStringLiteral(u"第%1章 标题%1").arg(k + 1) : QStringLiteral(u"正文 %1").arg(i);
            bytes += GbkCodec::instance().encode(line) + "\r\n";
        }
        const QString path = m_dir.filePath(QStringLiteral("n%1.txt").arg(++m_files));
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return path;
    }

    // Line numbers of the titles the analysis finds with `pattern`, and of the lines the
    // pattern itself matches: the quick tests before the pattern must not make them differ.
    QPair<QList<int>, QList<int>> foundAndMatching(const QString& pattern, const QStringList& lines)
    {
        QByteArray bytes;
        QList<int> matching;
        const QRegularExpression re(pattern, QRegularExpression::CaseInsensitiveOption);
        for (int i = 0; i < lines.size(); ++i) {
            bytes += GbkCodec::instance().encode(lines.at(i)) + "\r\n";
            if (re.match(lines.at(i)).hasMatch()) {
                matching << i + 1;
            }
        }
        const QString path = m_dir.filePath(QStringLiteral("p%1.txt").arg(++m_files));
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        f.close();
        Settings s = Settings::defaults();
        s.TitleText = pattern;
        Document doc;
        FakeHost host(&doc);
        QList<int> found;
        if (doc.OpenTextFile(path, nullptr) && RunAnalysis(doc, s, host)) {
            for (int row = 0; row < doc.model().rowCount(); ++row) {
                found << doc.model().chapline().at(doc.model().tag(row));
            }
        }
        return {found, matching};
    }

    // Analyses a GBK copy of the fixture novel with volumes; `lines` gets its lines.
    bool analyseVolumeNovel(Document& doc, const Settings& s, QStringList* lines)
    {
        QFile in(QStringLiteral(VELLOMAR_TEST_DATA "/volumes.txt"));
        if (!in.open(QIODevice::ReadOnly)) {
            return false;
        }
        const QByteArray text = in.readAll();
        *lines = QString::fromUtf8(text).split(u'\n');
        lines->removeLast(); // after the last line end
        const QString path = m_dir.filePath(QStringLiteral("v%1.txt").arg(++m_files));
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(GbkCodec::instance().encode(QString::fromUtf8(text).replace(u"\n"_qs, u"\r\n"_qs)));
        f.close();
        FakeHost host(&doc);
        return doc.OpenTextFile(path, nullptr) && RunAnalysis(doc, s, host);
    }

    // "line title chapters" of each volume found.
    static QStringList volumesFound(const Document& doc)
    {
        QStringList found;
        for (const Volume& v : doc.model().volumes().all()) {
            found << QStringLiteral("%1 %2 %3").arg(v.line).arg(v.title).arg(v.chapterCount());
        }
        return found;
    }

    static QList<int> checkedLines(Document& doc)
    {
        QList<int> lines;
        for (int row = 0; row < doc.model().rowCount(); ++row) {
            if (doc.model().isChecked(row)) {
                lines << doc.model().chapline().at(doc.model().tag(row));
            }
        }
        return lines;
    }

private slots:
    void invalidTitles_data()
    {
        QTest::addColumn<QList<int>>("titles");
        QTest::addColumn<bool>("setInvalid");
        QTest::addColumn<bool>("afterLine");
        QTest::addColumn<QList<int>>("checked");
        QTest::addColumn<QString>("status");
        using L = QList<int>;
        QTest::newRow("later one ignored") << L{10, 12, 40} << true << true << L{12} << u"一共: 2/3 章"_qs;
        QTest::newRow("earlier one ignored") << L{10, 12, 40} << true << false << L{10} << u"一共: 2/3 章"_qs;
        QTest::newRow("rule off") << L{10, 12, 40} << false << true << L{} << u"一共: 3/3 章"_qs;
        QTest::newRow("exactly the limit is too close") << L{10, 15} << true << true << L{15} << u"一共: 1/2 章"_qs;
        QTest::newRow("one past the limit") << L{10, 16} << true << true << L{} << u"一共: 2/2 章"_qs;
        QTest::newRow("a run, earlier ignored") << L{10, 11, 12} << true << false << L{10, 11} << u"一共: 1/3 章"_qs;
        QTest::newRow("a run, later ignored") << L{10, 11, 12} << true << true << L{11, 12} << u"一共: 1/3 章"_qs;
    }

    void invalidTitles()
    {
        QFETCH(QList<int>, titles);
        QFETCH(bool, setInvalid);
        QFETCH(bool, afterLine);
        QFETCH(QList<int>, checked);
        QFETCH(QString, status);
        Settings s = Settings::defaults();
        s.SetInvalidTitle = setInvalid;
        s.FilterAfterLine = afterLine;
        Document doc;
        QVERIFY(doc.OpenTextFile(novel(titles, 50), nullptr));
        QCOMPARE(doc.LineCount, 50);
        FakeHost host(&doc);
        QVERIFY(RunAnalysis(doc, s, host));
        QCOMPARE(doc.DocState, int(Analysed));
        QVERIFY(doc.IsAnalysed);
        QCOMPARE(doc.model().rowCount(), titles.size());
        QCOMPARE(checkedLines(doc), checked);
        QCOMPARE(host.statuses.last(), status);
        QVERIFY(host.listVisible);
        QCOMPARE(host.progressVisible, 0);
        // The progress moved once per title, with the title's line number.
        QCOMPARE(host.progressValues, QList<qint64>(titles.cbegin(), titles.cend()));
    }

    void rows_holdWhatTheTitleLineGives()
    {
        Settings s = Settings::defaults();
        Document doc;
        QVERIFY(doc.OpenTextFile(novel({3, 20}, 30), nullptr));
        FakeHost host(&doc);
        QVERIFY(RunAnalysis(doc, s, host));
        const ChapterModel& m = doc.model();
        QCOMPARE(m.cellText(1, 0), u"2"_qs);
        QCOMPARE(m.cellText(1, 1), u"002-标题2"_qs);
        QCOMPARE(m.cellText(1, 2), u"第2章 标题2"_qs);
        QCOMPARE(m.cellText(1, 3), u"002"_qs);
        QCOMPARE(m.cellText(1, 4), u"标题2"_qs);
        QCOMPARE(m.cellText(1, 5), u"20"_qs);
        // Analysing again gives the same rows.
        QVERIFY(RunAnalysis(doc, s, host));
        QCOMPARE(m.rowCount(), 2);
        QCOMPARE(m.cellText(1, 5), u"20"_qs);
    }

    // A numeral that reads two ways ("一百五") takes the reading the chapter before asks for.
    void numbers_readTwoWays_followTheSequence_data()
    {
        QTest::addColumn<QStringList>("numerals");
        QTest::addColumn<QList<int>>("expected");
        QTest::newRow("heading style")
            << u"九十九 一百 一百一 一百二 一百九 一百十 一百一十一"_qs.split(u' ') << QList<int>{99, 100, 101, 102, 109, 110, 111};
        QTest::newRow("spoken style")
            << u"一百四十八 一百四十九 一百五 一百五十一"_qs.split(u' ') << QList<int>{148, 149, 150, 151};
    }

    void numbers_readTwoWays_followTheSequence()
    {
        QFETCH(QStringList, numerals);
        QFETCH(QList<int>, expected);
        QStringList lines;
        for (const QString& n : std::as_const(numerals)) {
            lines << u"第"_qs + n + u"回 标题"_qs << u"正文。"_qs;
        }
        QByteArray bytes;
        for (const QString& l : std::as_const(lines)) {
            bytes += GbkCodec::instance().encode(l) + "\r\n";
        }
        const QString path = m_dir.filePath(QStringLiteral("s%1.txt").arg(++m_files));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.close();
        Settings s = Settings::defaults();
        s.TitleText = u"第([一二三四五六七八九十百]+)回[\\s　]*(.*)"_qs;
        Document doc;
        FakeHost host(&doc);
        QVERIFY(doc.OpenTextFile(path, nullptr));
        QVERIFY(RunAnalysis(doc, s, host));
        QList<int> numbers;
        for (qint16 n : doc.model().chapnum()) {
            numbers << n;
        }
        QCOMPARE(numbers, expected);
    }

    void noTitle_endsOpenedWithNotice()
    {
        Document doc;
        QVERIFY(doc.OpenTextFile(novel({}, 5), nullptr));
        FakeHost host(&doc);
        QVERIFY(RunAnalysis(doc, Settings::defaults(), host));
        QCOMPARE(doc.DocState, int(Opened));
        QCOMPARE(host.statuses.last(), u"一共: 0/0 章"_qs);
        QCOMPARE(host.notices.size(), 1);
        QVERIFY(host.notices.first().contains(u"正则表达式"_qs));
        QVERIFY(host.notices.first().contains(u"GB18030 编码"_qs)); // what it was read as, not Notepad advice
        QCOMPARE(doc.model().rowCount(), 0);
    }

    void emptyOrClosed_isRefused()
    {
        Document doc;
        FakeHost host(&doc);
        QVERIFY(!RunAnalysis(doc, Settings::defaults(), host));
        QCOMPARE(host.messages, QStringList{u"文件为空,无法分析!"_qs});
        const QString empty = m_dir.filePath(QStringLiteral("empty.txt"));
        QFile(empty).open(QIODevice::WriteOnly);
        QVERIFY(doc.OpenTextFile(empty, nullptr));
        QCOMPARE(doc.LineCount, 0);
        QVERIFY(!RunAnalysis(doc, Settings::defaults(), host));
        QCOMPARE(host.statuses.last(), u"文件为空文件..."_qs);
    }

    // Line numbers are 32-bit: a longer novel is refused, never cut short. The limit is
    // lowered for the test; counted at opening or by the pass itself.
    void tooManyLines_isRefusedAndNothingAnalysed_data()
    {
        QTest::addColumn<bool>("countFirst");
        QTest::addColumn<QList<int>>("titles");
        QTest::addColumn<qint64>("limit");
        QTest::addColumn<bool>("refused");
        using L = QList<int>;
        QTest::newRow("counted, one line too many") << true << L{10, 20} << qint64(49) << true;
        QTest::newRow("counted, exactly the limit") << true << L{10, 20} << qint64(50) << false;
        QTest::newRow("by the pass, title past the limit") << false << L{10, 40} << qint64(30) << true;
        QTest::newRow("by the pass, only text past it") << false << L{10, 20} << qint64(30) << true;
        QTest::newRow("by the pass, exactly the limit") << false << L{10, 20} << qint64(50) << false;
    }

    void tooManyLines_isRefusedAndNothingAnalysed()
    {
        QFETCH(bool, countFirst);
        QFETCH(QList<int>, titles);
        QFETCH(qint64, limit);
        QFETCH(bool, refused);
        Document doc;
        doc.setLineLimit(limit);
        QVERIFY(doc.OpenTextFile(novel(titles, 50), nullptr, countFirst));
        doc.SetState(Opened);
        FakeHost host(&doc);
        QCOMPARE(RunAnalysis(doc, Settings::defaults(), host), !refused);
        if (!refused) {
            QCOMPARE(doc.model().rowCount(), titles.size());
            return;
        }
        QCOMPARE(host.errors.size(), 1);
        QVERIFY(host.errors.first().startsWith(u"文件行数超过 %1 行，无法处理。"_qs.arg(limit)));
        QCOMPARE(doc.model().rowCount(), 0);
        QCOMPARE(doc.DocState, int(Opened));
        QVERIFY(!doc.IsAnalysed);
        QVERIFY(host.listVisible);
    }

    void stop_noGoesOn_yesClears()
    {
        Document doc;
        QVERIFY(doc.OpenTextFile(novel({10, 20, 30, 40}, 50), nullptr));
        FakeHost host(&doc);
        host.stopAtTurn = 2; // turn 0 is before reading; turn 2 is at the second title
        host.yesNoAnswers = {false};
        QVERIFY(RunAnalysis(doc, Settings::defaults(), host));
        QCOMPARE(host.questions, QStringList{u"是否确定中断分析操作？"_qs});
        QCOMPARE(doc.model().rowCount(), 4); // the title being handled was kept

        FakeHost stopper(&doc);
        stopper.stopAtTurn = 2;
        stopper.yesNoAnswers = {true};
        QVERIFY(!RunAnalysis(doc, Settings::defaults(), stopper));
        QCOMPARE(doc.DocState, int(Opened));
        QCOMPARE(stopper.statuses.last(), u"分析被中断！"_qs);
        QCOMPARE(doc.model().rowCount(), 0);
        QVERIFY(stopper.listVisible);
    }

    void badPattern_isReportedAndWindowUsable()
    {
        Settings s = Settings::defaults();
        s.TitleText = QStringLiteral("第([");
        Document doc;
        QVERIFY(doc.OpenTextFile(novel({2}, 5), nullptr));
        FakeHost host(&doc);
        QVERIFY(!RunAnalysis(doc, s, host));
        QCOMPARE(host.errors.size(), 1);
        QVERIFY(host.errors.first().endsWith(u"frmMain::mnuO_Analyze_Click()"_qs));
        QCOMPARE(doc.DocState, int(Opened));
        QVERIFY(host.listVisible);
    }

    void badlyBacktrackingPattern_canBeStopped()
    {
        // Each line costs PCRE2 its whole match limit and no line is a title: the pass must
        // still give the event loop turns, where Stop is honoured.
        QByteArray bytes;
        for (int i = 0; i < 400; ++i) {
            bytes += QByteArray(28, 'a') + "b\r\n";
        }
        const QString path = m_dir.filePath(QStringLiteral("bt.txt"));
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        f.close();
        Settings s = Settings::defaults();
        s.TitleText = QStringLiteral("(a+)+$");
        Document doc;
        QVERIFY(doc.OpenTextFile(path, nullptr));
        FakeHost host(&doc);
        host.stopAtTurn = 1; // the first turn after the one before reading
        QVERIFY(!RunAnalysis(doc, s, host));
        QCOMPARE(host.statuses.last(), u"分析被中断！"_qs);
        QCOMPARE(doc.DocState, int(Opened));
    }

    void longLines_matchedOrGivenUpInTime()
    {
        // On a long line the pattern below searches the rest of the line from every position
        // (minutes without a clock): that line is given up and said so; a long title line is
        // still found whole.
        const QByteArray bytes = "第1章 甲\n正文\n" + QByteArray(200000, 'a') + "\n第2章 乙\n第3章 " + QByteArray(5000, 'z') + "\n";
        const QString path = m_dir.filePath(QStringLiteral("long.txt"));
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        f.close();
        Settings s = Settings::defaults();
        s.TitleText = QStringLiteral("第([0-9]+)章 (.*)|a(?=.*b)");
        s.VolumeText.clear();
        Document doc;
        QVERIFY(doc.OpenTextFile(path, nullptr));
        FakeHost host(&doc);
        QVERIFY(RunAnalysis(doc, s, host));
        QCOMPARE(doc.model().rowCount(), 3);
        QCOMPARE(int(doc.model().chapnum().at(2)), 3);
        QCOMPARE(doc.model().title().value(2), QString(5000, u'z'));
        QCOMPARE(host.messages.size(), 1);
        QVERIFY2(host.messages.first().contains(u"有 1 个很长的行"_qs), qPrintable(host.messages.first()));
    }

    void prefilter_findsTitlesAcrossLineEndStyles()
    {
        // LF-only and lone CR files, titles found with the right line numbers.
        for (const QByteArray& eol : {QByteArray("\n"), QByteArray("\r"), QByteArray("\r\n")}) {
            QByteArray bytes;
            for (int i = 1; i <= 2000; ++i) {
                bytes += GbkCodec::instance().encode(i % 100 == 0 ? QStringLiteral(u"第%1章 x").arg(i / 100)
                                                                  : QStringLiteral(u"次第而行 %1").arg(i)) + eol;
            }
            const QString path = m_dir.filePath(QStringLiteral("eol%1.txt").arg(++m_files));
            QFile f(path);
            f.open(QIODevice::WriteOnly);
            f.write(bytes);
            f.close();
            Document doc;
            QVERIFY(doc.OpenTextFile(path, nullptr));
            QCOMPARE(doc.LineCount, 2000);
            FakeHost host(&doc);
            QVERIFY(RunAnalysis(doc, Settings::defaults(), host));
            QCOMPARE(doc.model().rowCount(), 20);
            QCOMPARE(doc.model().chapline().at(19), 2000);
            QCOMPARE(doc.model().chapnum().at(19), qint16(20));
        }
    }

    // A novel large enough to be read in two parts at once: titles on both sides of where the
    // second part starts give the same rows, line numbers, offsets and too-close marks as one
    // reading would. Every line has the same length, so where the parts meet is known.
    void prefilter_findsWhatThePatternFinds_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("posix class before the literal") << u"第([0-9]+)[[:space:]]章(.*)"_qs
                                                        << QStringList{u"第12 章 风起"_qs, u"正文"_qs};
        QTest::newRow("bracket first in class") << u"第[]一]章"_qs << QStringList{u"第]章"_qs, u"第一章"_qs};
        QTest::newRow("escaped bracket") << u"第[\\]一]章"_qs << QStringList{u"第]章"_qs};
        QTest::newRow("quoted text") << u"\\Q第]\\E章"_qs << QStringList{u"第]章"_qs};
        QTest::newRow("hex escape") << u"\\x{7B2C}1章"_qs << QStringList{u"第1章"_qs};
        QTest::newRow("short hex escape") << u"\\x41章"_qs << QStringList{u"A章"_qs};
        QTest::newRow("counted group") << u"第(一){2}章"_qs << QStringList{u"第一一章"_qs};
        QTest::newRow("optional number group") << u"第([0-9]+)?章"_qs << QStringList{u"第章"_qs, u"第1章"_qs};
        QTest::newRow("accept verb") << u"(*ACCEPT)章章"_qs << QStringList{u"第一"_qs};
    }

    void prefilter_findsWhatThePatternFinds()
    {
        QFETCH(QString, pattern);
        QFETCH(QStringList, lines);
        const auto [found, matching] = foundAndMatching(pattern, lines);
        QVERIFY(!matching.isEmpty());
        QCOMPARE(found, matching);
    }

    // Random patterns made of the constructs a quick reading of a pattern can get wrong, over
    // random lines made of their characters: the analysis finds exactly the matching lines.
    void prefilter_randomPatterns_findWhatThePatternFinds()
    {
        const QStringList atoms = {
            u"第"_qs, u"章"_qs, u"一"_qs, u"1"_qs, u"a"_qs, u" "_qs, u"]"_qs, u"}"_qs, u"{"_qs, u"-"_qs, u"#"_qs,
            u"[0-9]"_qs, u"[[:space:]]"_qs, u"[[:digit:]一]"_qs, u"[]章]"_qs, u"[^章]"_qs, u"[\\]章]"_qs,
            u"[一二]"_qs, u"[a-c]"_qs, u"[\\s　]"_qs, u"[\\d十]"_qs, u"\\]"_qs, u"\\Q章]\\E"_qs,
            u"\\x{7AE0}"_qs, u"\\x31"_qs, u"\\s"_qs, u"\\d"_qs, u"\\061"_qs, u"\\p{Han}"_qs, u"\\N"_qs,
            u"\\."_qs, u"\\E"_qs, u"\\cA"_qs, u"\\w"_qs, u"\\b"_qs, u"("_qs, u")"_qs, u"(?:"_qs,
            u"(?="_qs, u"(?!"_qs, u"(?x)"_qs, u"(?-i)"_qs, u"(*ACCEPT)"_qs, u"|"_qs, u"?"_qs, u"*"_qs,
            u"+"_qs, u"{2}"_qs, u"{0}"_qs, u"{,2}"_qs, u"{1,}"_qs, u"."_qs, u"^"_qs, u"$"_qs};
        const QStringList bits = {u"第"_qs, u"章"_qs, u"一"_qs, u"二"_qs, u"十"_qs, u"1"_qs, u"a"_qs, u"A"_qs,
                                  u" "_qs, u"]"_qs, u"["_qs, u"{"_qs, u"}"_qs, u"-"_qs, u"#"_qs, u"　"_qs,
                                  u"\t"_qs, u"Ｏ"_qs, u":"_qs, u"."_qs, u"\x01"_qs, u"x"_qs};
        QRandomGenerator rng(20261208);
        auto pick = [&](const QStringList& from) { return from.at(rng.bounded(int(from.size()))); };
        int tried = 0;
        for (int n = 0; n < 20000 && tried < 500; ++n) {
            QString pattern;
            for (int k = 1 + rng.bounded(7); k > 0; --k) {
                pattern += pick(atoms);
            }
            if (!QRegularExpression(pattern).isValid() || cRegExp::requiredLiteralOf(pattern).isEmpty()) {
                continue; // the cases without a shortcut are not what this is about
            }
            ++tried;
            QStringList lines;
            for (int l = 0; l < 40; ++l) {
                QString line;
                for (int k = rng.bounded(9); k > 0; --k) {
                    line += pick(bits);
                }
                lines << line;
            }
            const auto [found, matching] = foundAndMatching(pattern, lines);
            QVERIFY2(found == matching, qPrintable(pattern));
        }
        QCOMPARE(tried, 500);
    }

    void largeNovel_readInTwoParts_data()
    {
        QTest::addColumn<QByteArray>("codec");
        QTest::addColumn<QByteArray>("bom");
        QTest::addColumn<QByteArray>("eol");
        QTest::addColumn<bool>("countFirst");
        QTest::newRow("gbk crlf") << QByteArray("GBK") << QByteArray() << QByteArray("\r\n") << true;
        QTest::newRow("gbk lf, lines counted by the pass") << QByteArray("GBK") << QByteArray() << QByteArray("\n") << false;
        QTest::newRow("utf-8 with bom") << QByteArray("UTF-8") << QByteArray("\xEF\xBB\xBF") << QByteArray("\r\n") << false;
    }

    void largeNovel_readInTwoParts()
    {
        QFETCH(QByteArray, codec);
        QFETCH(QByteArray, bom);
        QFETCH(QByteArray, eol);
        QFETCH(bool, countFirst);
        constexpr int Width = 30;
        constexpr qint64 N = 300000; // about 9 MB
        const qint64 lineBytes = Width + eol.size();
        const qint64 middle = qint64(bom.size()) + N * lineBytes / 2;
        const qint64 k = middle / lineBytes + 1; // 0-based index of the first line starting past the middle
        const QList<qint64> titles{4, k - 2, k, k + 1, k + 3, k + 200, N - 1};
        // Volume headings: one before the first title, one without a chapter on the last line
        // of the first part, one on the line where the second part starts (with a title), one
        // after it.
        const QList<qint64> volumes{2, k - 1, k, k + 2};
        QStringEncoder encode(codec.constData());
        auto fixed = [&](const QString& text) {
            QByteArray b = encode(text);
            b.append(Width - b.size(), 'x');
            return b + eol;
        };
        const QByteArray body = fixed(u"次第而行"_qs);
        QByteArray bytes = bom;
        bytes.reserve(bom.size() + N * lineBytes);
        for (qint64 i = 0; i < N; ++i) {
            const int t = int(titles.indexOf(i));
            const int v = int(volumes.indexOf(i));
            const QString volume = v >= 0 ? QStringLiteral(u"第%1卷 ").arg(v + 1) : QString();
            bytes += t >= 0 ? fixed(volume + QStringLiteral(u"第%1章 ").arg(t + 1)) : v >= 0 ? fixed(volume) : body;
        }
        const QString path = m_dir.filePath(QStringLiteral("large%1.txt").arg(++m_files));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QCOMPARE(f.write(bytes), bytes.size());
        f.close();

        Settings s = Settings::defaults();
        s.SetInvalidTitle = true;
        s.FilterAfterLine = true;
        s.InvalidLines = 5;
        Document doc;
        QVERIFY(doc.OpenTextFile(path, nullptr, countFirst));
        QCOMPARE(doc.LineCount, countFirst ? N : -1);

        // Stopped halfway, then read again in full: the stop leaves nothing behind.
        FakeHost stopper(&doc);
        stopper.stopAtTurn = 2;
        QVERIFY(!RunAnalysis(doc, s, stopper));
        QCOMPARE(doc.DocState, int(Opened));
        QCOMPARE(doc.model().rowCount(), 0);
        QVERIFY(doc.model().volumes().isEmpty());

        FakeHost host(&doc);
        QVERIFY(RunAnalysis(doc, s, host));
        QCOMPARE(doc.LineCount, N);
        QCOMPARE(doc.model().rowCount(), titles.size());
        for (int r = 0; r < titles.size(); ++r) {
            QCOMPARE(doc.model().chapline().at(r), int(titles[r] + 1));
            QCOMPARE(doc.model().chapnum().at(r), qint16(r + 1));
            QCOMPARE(doc.TitleOffsets.at(r), bom.size() + titles[r] * lineBytes);
        }
        QCOMPARE(checkedLines(doc), (QList<int>{int(k + 1), int(k + 2), int(k + 4)}));
        // The fixture's equal lines without a full stop also draw the 重新分段 suggestion after the count.
        QVERIFY2(host.statuses.last().startsWith(u"一共: 4/7 章"_qs), qPrintable(host.statuses.last()));
        QStringList found;
        for (const Volume& v : doc.model().volumes().all()) {
            found << QStringLiteral("%1 %2 %3").arg(v.line).arg(v.offset).arg(v.chapterCount());
        }
        QStringList expected; // each volume holds the titles from its line to the next volume's
        for (int v = 0; v < volumes.size(); ++v) {
            const qint64 end = v + 1 < volumes.size() ? volumes[v + 1] : N;
            const auto chapters = std::count_if(titles.cbegin(), titles.cend(), [&](qint64 t) { return t >= volumes[v] && t < end; });
            expected << QStringLiteral("%1 %2 %3").arg(volumes[v] + 1).arg(bom.size() + volumes[v] * lineBytes).arg(chapters);
        }
        QCOMPARE(found, expected);
        // The reader is whole again for the next pass.
        QCOMPARE(doc.reader().skipToEnd(), N);
    }

    // The fixture: three volumes with chapters numbered from 1 in each, a 卷首语, a volume line
    // with the first chapter on it, a volume without a chapter, and running text that begins
    // with 第九部队 and 第三部分. Volume headings are no rows: without a volume pattern the
    // rows are the same.
    void volumes_fixtureNovel()
    {
        QStringList lines;
        Document off;
        Settings s = Settings::defaults();
        s.VolumeText.clear();
        QVERIFY(analyseVolumeNovel(off, s, &lines));
        Document doc;
        QAbstractItemModelTester tester(&doc.model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        QVERIFY(analyseVolumeNovel(doc, Settings::defaults(), &lines));
        QList<qint32> expected; // the lines holding a chapter title
        for (int i = 0; i < lines.size(); ++i) {
            if (lines[i].contains(QRegularExpression(u"第[一二三四]章"_qs))) {
                expected << i + 1;
            }
        }
        QCOMPARE(expected.size(), 8);
        QCOMPARE(doc.model().chapline(), expected);
        QCOMPARE(off.model().chapline(), expected);
        QVERIFY(off.model().volumes().isEmpty());
        auto lineOf = [&](const QString& start) { return int(lines.indexOf(QRegularExpression(start + u".*"_qs))) + 1; };
        QCOMPARE(volumesFound(doc), (QStringList{u"%1 第一卷 少年游 3"_qs.arg(lineOf(u"第一卷"_qs)),
                                                 u"%1 第二卷 风雨路 2"_qs.arg(lineOf(u"第二卷"_qs)),
                                                 u"%1 第三卷 雪落无声 0"_qs.arg(lineOf(u"第三卷"_qs)),
                                                 u"%1 第四卷 星河 3"_qs.arg(lineOf(u"第四卷"_qs))}));
        ChapterModel& m = doc.model();
        QCOMPARE(m.volumes().at(1).name, u"风雨路"_qs);
        QCOMPARE(m.cellText(3, ChapterModel::VolumeColumn), u"第二卷 风雨路"_qs); // 第一章 渡口, same line
        // The volume without a chapter is told on the first row of the next volume.
        QVERIFY(m.index(5, ChapterModel::VolumeColumn).data(ChapterModel::EmptyVolumeRole).toBool());
        QVERIFY(m.volumeToolTip(5).endsWith(u"没有章节的卷：第三卷 雪落无声（第 %1 行）"_qs.arg(lineOf(u"第三卷"_qs))));
        // Sorted by volume, descending: the volumes' order, the rows of a volume as they were.
        m.SortByColumn(ChapterModel::VolumeColumn + 1, 1);
        QCOMPARE(m.tag(0), 5);
        QCOMPARE(m.tag(7), 2);
    }

    // The quick byte tests before the patterns miss no heading the patterns find, in GBK and
    // UTF-8, in both parts of a novel large enough to be read on two cores. A heading that
    // repeats the words of the one before goes on with that volume.
    void prefilter_findsTheVolumesThePatternFinds_data()
    {
        QTest::addColumn<QByteArray>("codec");
        QTest::newRow("gbk") << QByteArray("GBK");
        QTest::newRow("utf-8") << QByteArray("UTF-8");
    }

    void prefilter_findsTheVolumesThePatternFinds()
    {
        QFETCH(QByteArray, codec);
        const QStringList bits = {u"第"_qs, u"卷"_qs, u"部"_qs, u"分"_qs, u"队"_qs, u"集"_qs, u"一"_qs, u"十"_qs,
                                  u"２"_qs, u"上"_qs, u"下"_qs, u"章"_qs, u"　"_qs, u" "_qs, u"，"_qs, u"x"_qs};
        QRandomGenerator rng(20261209);
        QStringEncoder encode(codec.constData());
        const QByteArray filler = QByteArray(encode(u"正文"_qs)).repeated(700) + "\r\n";
        const Settings s = Settings::defaults();
        // The patterns alone decide: a volume heading is looked for in the text before a chapter
        // title (the whole line without one); its words are what stands before its name.
        const QRegularExpression title(s.TitleText, QRegularExpression::CaseInsensitiveOption);
        const QRegularExpression volume(s.VolumeText, QRegularExpression::CaseInsensitiveOption);
        QList<int> expected;
        QString words;
        QByteArray bytes;
        for (int l = 0; l < 6000; l += 2) {
            QString line;
            for (int k = rng.bounded(7); k > 0; --k) {
                line += bits.at(rng.bounded(int(bits.size())));
            }
            bytes += QByteArray(encode(line)) + "\r\n" + filler;
            const QRegularExpressionMatch t = title.match(line);
            const QString before = t.hasMatch() ? line.left(t.capturedStart()) : line;
            const QRegularExpressionMatch v = volume.match(before);
            if (!before.isEmpty() && v.hasMatch()) {
                const QString w = v.captured(0).left(v.capturedStart(2) - v.capturedStart(0)).trimmed();
                if (expected.isEmpty() || w != words) {
                    expected << l + 1;
                    words = w;
                }
            }
        }
        QVERIFY(bytes.size() > 8 << 20 && expected.size() > 20);
        const QString path = m_dir.filePath(QStringLiteral("rv%1.txt").arg(++m_files));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.close();
        Document doc;
        QVERIFY(doc.OpenTextFile(path, nullptr));
        FakeHost host(&doc);
        QVERIFY(RunAnalysis(doc, s, host));
        QList<int> found;
        for (const Volume& v : doc.model().volumes().all()) {
            found << v.line;
        }
        QCOMPARE(found, expected);
    }

    // "上卷" before every chapter title of the first half and before an appendix is one volume,
    // "下卷" the other; no other corpus novel has a volume heading.
    void corpus_volumes_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("volumes");
        QTest::newRow("xiyouji") << u"xiyouji_gb.txt"_qs << QStringList{u"8 上卷 49"_qs, u"2083 下卷 51"_qs};
        QTest::newRow("rulinwaishi") << u"rulinwaishi_gbk.txt"_qs << QStringList();
        QTest::newRow("hongloumeng") << u"hongloumeng_trad_in_gbk.txt"_qs << QStringList();
        QTest::newRow("sanguo") << u"sanguo_utf8_crlf.txt"_qs << QStringList();
    }

    void corpus_volumes()
    {
        QFETCH(QString, file);
        Settings s = Settings::defaults();
        s.TitleText = u"第([0-9○〇一二三四五六七八九十百千万零两]+)[章回节][\\s\\t　]*(.*)"_qs;
        const QString path = corpusPath(file);
        VELLOMAR_REQUIRE_CORPUS(path);
        Document doc;
        QVERIFY(doc.OpenTextFile(path, nullptr));
        FakeHost host(&doc);
        QVERIFY(RunAnalysis(doc, s, host));
        QVERIFY(doc.model().rowCount() >= 50);
        QTEST(volumesFound(doc), "volumes");
    }

    // An editor that saves through a new file gives the novel's name to another file: the
    // analysis still reads the file that was opened (the one the output will read), also in
    // the part read on the second core.
    void replacedAfterOpen_readsTheOpenFile()
    {
        auto make = [](int every) {
            QByteArray b;
            for (int i = 1; b.size() < (9 << 20); ++i) {
                b += GbkCodec::instance().encode(i % every == 0 ? QStringLiteral(u"第%1章 标题").arg(i)
                                                                : QStringLiteral(u"正文正文正文 %1").arg(i))
                     + "\r\n";
            }
            return b;
        };
        const QString path = m_dir.filePath(u"replaced.txt"_qs);
        const QString other = m_dir.filePath(u"replacement.txt"_qs);
        for (const auto& [file, every] : {std::pair{path, 1000}, std::pair{other, 777}}) {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(make(every));
        }
        Document doc;
        QVERIFY(doc.OpenTextFile(path, nullptr));
        QVERIFY(QFile::remove(path) && QFile::rename(other, path));
        FakeHost host(&doc);
        QVERIFY(RunAnalysis(doc, Settings::defaults(), host));
        QVERIFY(doc.model().recordCount() > 200);
        for (int r = 0; r < doc.model().recordCount(); ++r) {
            QCOMPARE(doc.model().chapline().at(r) % 1000, 0);
        }
    }
};

QTEST_GUILESS_MAIN(tst_Analysis)
#include "tst_analysis.moc"
