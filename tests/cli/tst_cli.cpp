#include "CliTest.h"
#include "Corpus.h"

#include "config/SystemError.h"
#include "config/Settings.h"
#include "core/GbkCodec.h"
#include "core/Review.h"

#include <quazip/quazip.h>
#include <quazip/quazipfile.h>

#include <QCryptographicHash>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QStandardPaths>
#include <QStringEncoder>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

// Drives the real vellomar-cli binary, as scripts do.
class tst_Cli : public CliTest {
    Q_OBJECT

private slots:
    void list_escapesFieldsAndCounts()
    {
        const QString path = novel(u"list.txt"_qs, {u"前言"_qs, u"第1章 甲\t乙\\丙"_qs, u"x"_qs, u"第2章 丁"_qs, u"y"_qs,
                                                   u"z"_qs, u"w"_qs, u"v"_qs, u"u"_qs, u"第三章 戊"_qs});
        const Result r = cli({u"list"_qs, u"--config"_qs, config(u"[text]\r\nChapsInFile=1\r\n"_qs), path});
        QCOMPARE(r.code, 0);
        const QStringList rows = r.out.split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows[0], u"1\t0\t1\t甲\\t乙\\\\丙\t2\t001-甲乙丙\t"_qs); // no control character in a name
        QCOMPARE(rows[1], u"2\t1\t2\t丁\t4\t002-丁\t"_qs); // two lines below the previous title
        QCOMPARE(rows[2], u"3\t0\t3\t戊\t10\t003-戊\tgap"_qs); // chapter 2 is ignored
        QVERIFY(r.err.contains(u"一共: 2/3 章"_qs));
    }

    // The web-novel fixture with cleanup on: list marks the chapter scraped twice, clean
    // --dry-run shows the report and writes nothing, split --report prints the same report.
    void cleanup_repeatDryRunAndReport()
    {
        const QString path = m_dir.filePath(u"雾港.txt"_qs);
        QFile::remove(path);
        QVERIFY(QFile::copy(QStringLiteral(VELLOMAR_TEST_DATA "/webnovel.txt"), path));
        const QString ini = config(u"[text]\r\nInvalidLines=1\r\nDelSpaceLine=1\r\n[clean]\r\nDropRepeatedTitle=1\r\n"
                                   u"IndentParagraphs=0\r\nrule0={\"name\":\"翻页提示\",\"pattern\":\"本章未完，请点击下一页继续阅读\"}\r\n"
                                   u"[textfilter]\r\nfilter0=口袋\r\n"_qs);
        const Result list = cli({u"list"_qs, u"--config"_qs, ini, path});
        QCOMPARE(list.code, 0);
        const QStringList rows = list.out.split(u'\n', Qt::SkipEmptyParts);
        QStringList repeats;
        for (const QString& row : rows) {
            if (row.endsWith(u"\trepeat"_qs)) {
                repeats << row.section(u'\t', 3, 3);
            }
        }
        QCOMPARE(repeats, QStringList{u"灯塔"_qs});

        const Result dry = cli({u"clean"_qs, u"--dry-run"_qs, u"--config"_qs, ini, path});
        QCOMPARE(dry.code, 0);
        QVERIFY2(dry.out.contains(u"[翻页提示] 修改 0 行，删除 3 行"_qs), qPrintable(dry.out));
        QVERIFY(dry.out.contains(u"[重复标题] 修改 0 行，删除 3 行"_qs));
        QVERIFY2(dry.out.contains(u"[字符过滤] 修改 1 行，删除 0 行"_qs), qPrintable(dry.out));
        QVERIFY(!QFileInfo::exists(m_dir.filePath(u"雾港"_qs)));
        QCOMPARE(cli({u"clean"_qs, path}).code, 2);

        const QString out = m_dir.filePath(u"cleaned"_qs);
        const Result split = cli({u"split"_qs, u"--report"_qs, u"--yes"_qs, u"--out"_qs, out, u"--config"_qs, ini, path});
        QCOMPARE(split.code, 0);
        QVERIFY2(split.out.contains(dry.out), qPrintable(split.out));
    }

    // Rules are kept beside whatever config.ini is in use, whole: a rule longer than a value of
    // config.ini runs, and one that cannot be read is named on stderr, at every run.
    void cleanup_rulesBesideTheConfigWhole()
    {
        const QString word = QString(150, u'广');
        const QString path = novel(u"长规则.txt"_qs, {u"第1章 甲"_qs, u"前"_qs + word + u"后"_qs});
        const QString ini = config(u"[clean]\r\nrule0={\"name\":\"长\",\"pattern\":\""_qs + word
                                   + u"\",\"replacement\":\"·\"}\r\nrule1=不是规则\r\n"_qs);
        for (int run = 0; run < 2; ++run) {
            const Result dry = cli({u"clean"_qs, u"--dry-run"_qs, u"--config"_qs, ini, path});
            QCOMPARE(dry.code, 0);
            QVERIFY2(dry.out.contains(u"[长] 修改 1 行"_qs) && dry.out.contains(u"→ 前·后"_qs), qPrintable(dry.out));
            QVERIFY2(dry.err.contains(u"rule1"_qs), qPrintable(dry.err));
            QVERIFY(QFileInfo(QFileInfo(ini).path() + u'/' + QFileInfo(ini).completeBaseName() + u".rules.json"_qs).isFile());
        }
    }

    // A signal stops a running split (or a dry run) as Ctrl+C does: within a second, exit 4, and
    // no half-written file left behind. The reader of `| head` going away is such a signal.
    void signals_stopWithoutPartFiles_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("signal");
        QTest::newRow("split, SIGINT") << u"split"_qs << SIGINT;
        QTest::newRow("split, SIGTERM") << u"split"_qs << SIGTERM;
        QTest::newRow("split, SIGHUP") << u"split"_qs << SIGHUP;
        QTest::newRow("epub, SIGTERM") << u"epub"_qs << SIGTERM;
        QTest::newRow("clean --dry-run, SIGINT") << u"clean"_qs << SIGINT;
    }

    void signals_stopWithoutPartFiles()
    {
        QFETCH(QString, command);
        QFETCH(int, signal);
        const bool dryRun = command == u"clean"_qs;
        const QString out = m_dir.filePath(u"signal-"_qs + QString::number(signal) + command);
        QDir(out).removeRecursively();
        QVERIFY(QDir().mkpath(out));
        QStringList args{command, u"--config"_qs};
        if (dryRun) {
            // Lines of 2,000 characters and a rule that searches the rest of the line from every
            // position: some milliseconds a line, well inside its budget, for many seconds.
            args << config(u"[text]\r\nSetInvalidTitle=False\r\n[clean]\r\n"
                           u"rule0={\"name\":\"慢\",\"pattern\":\".(?=.*[yz])\",\"isRegex\":true}\r\n"_qs)
                 << u"--dry-run"_qs << longLineNovel();
        } else {
            args << config(u"[text]\r\nFilesInDir=0\r\nSetInvalidTitle=False\r\nConvertToSimple=False\r\n"_qs)
                 << u"--yes"_qs << u"--overwrite"_qs << u"all"_qs << u"--out"_qs << out << bigNovel(u"大.txt"_qs, 60000);
        }
        QProcess p;
        p.start(QStringLiteral(VELLOMAR_CLI), args);
        QVERIFY(p.waitForStarted());
        // Under way: the output pass has begun (the count line), a chapter file is being written,
        // or the dry run is well past its analysis.
        QByteArray err;
        QElapsedTimer started;
        started.start();
        if (dryRun) {
            QTest::qWait(1000);
        } else {
            while (!err.contains(QStringLiteral(u"一共:").toUtf8())
                   && p.state() == QProcess::Running && started.elapsed() < 30000) {
                p.waitForReadyRead(10);
                err += p.readAllStandardError();
            }
            while (command == u"split"_qs && partFiles(out).isEmpty() && p.state() == QProcess::Running
                   && started.elapsed() < 30000) {
                QThread::msleep(1);
            }
            if (command == u"epub"_qs) {
                QThread::msleep(100);
            }
        }
        QCOMPARE(p.state(), QProcess::Running);
        QCOMPARE(::kill(pid_t(p.processId()), signal), 0);
        QElapsedTimer stopping;
        stopping.start();
        QVERIFY(p.waitForFinished(30000));
        qInfo("stopped %lld ms after the signal", stopping.elapsed());
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 4);
        QCOMPARE(partFiles(out), QStringList());
    }

    // With volumes, list gains the volume's title as an eighth column (a restart at a volume is
    // no anomaly); volumes lists them, one without a chapter too.
    // A review saved by the window, taken up by --review (the very novel only) and --resume
    // (the novel's own saved review; a damaged one is named and passed over).
    void review_takenUpByReviewAndResume()
    {
        const QString path = novel(u"审阅.txt"_qs, {u"第1章 甲"_qs, u"a"_qs, u"b"_qs, u"c"_qs, u"第2章 乙"_qs, u"d"_qs,
                                                   u"遗漏的一章"_qs, u"e"_qs, u"f"_qs, u"第3章 丙"_qs, u"g"_qs});
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        const QJsonObject review{
            {u"format"_qs, 1},
            {u"size"_qs, QString::number(bytes.size())},
            {u"sample"_qs, u""_qs},
            {u"sha1"_qs, QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex())},
            {u"encoding"_qs, u"GBK"_qs},
            {u"titleRule"_qs, Settings::defaultTitleText()},
            {u"volumeRule"_qs, u""_qs},
            {u"ignored"_qs, QJsonArray{5}},
            {u"edited"_qs, QJsonArray{QJsonObject{{u"line"_qs, 10}, {u"number"_qs, 30}, {u"title"_qs, u"改"_qs}}}},
            {u"added"_qs, QJsonArray{QJsonObject{{u"line"_qs, 7}, {u"number"_qs, 2}, {u"title"_qs, u"遗漏"_qs}}}},
        };
        const QString file = m_dir.filePath(u"review.json"_qs);
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(QJsonDocument(review).toJson());
        out.close();
        auto firstFields = [](const QString& listing) {
            QStringList rows;
            for (const QString& row : listing.split(u'\n', Qt::SkipEmptyParts)) {
                rows << row.section(u'\t', 0, 4);
            }
            return rows;
        };
        const QStringList reviewed = {u"1\t0\t1\t甲\t1"_qs, u"2\t1\t2\t乙\t5"_qs, u"3\t0\t2\t遗漏\t7"_qs, u"4\t0\t30\t改\t10"_qs};
        const QStringList plain = {u"1\t0\t1\t甲\t1"_qs, u"2\t0\t2\t乙\t5"_qs, u"3\t0\t3\t丙\t10"_qs};
        const QString ini = config(u"[text]\r\nSetInvalidTitle=0\r\n"_qs);

        Result r = cli({u"list"_qs, u"--config"_qs, ini, u"--review"_qs, file, path});
        QCOMPARE(r.code, 0);
        QCOMPARE(firstFields(r.out), reviewed);

        // Another novel, or this one changed: refused.
        const QString other = novel(u"改过.txt"_qs, {u"第1章 甲"_qs, u"a"_qs});
        r = cli({u"list"_qs, u"--config"_qs, ini, u"--review"_qs, file, other});
        QCOMPARE(r.code, 2);
        QVERIFY2(r.err.contains(u"不是这部小说的"_qs), qPrintable(r.err));
        QCOMPARE(cli({u"list"_qs, u"--review"_qs, file, u"--resume"_qs, path}).code, 2);

        // --resume finds it in the data folder by the novel's content.
        const QString data = m_dir.filePath(u"data"_qs);
        qputenv("XDG_DATA_HOME", data.toUtf8());
        NovelKey key;
        QVERIFY(NovelKey::sampled(path, &key));
        const QString saved = data + u"/vellomar/reviews/"_qs + key.fileName();
        QVERIFY(QDir().mkpath(QFileInfo(saved).absolutePath()));
        QVERIFY(QFile::copy(file, saved));
        r = cli({u"list"_qs, u"--config"_qs, ini, u"--resume"_qs, path});
        QCOMPARE(r.code, 0);
        QCOMPARE(firstFields(r.out), reviewed);
        QFile damaged(saved);
        QVERIFY(damaged.open(QIODevice::WriteOnly | QIODevice::Truncate));
        damaged.write("{\"format\":1,");
        damaged.close();
        r = cli({u"list"_qs, u"--config"_qs, ini, u"--resume"_qs, path});
        qunsetenv("XDG_DATA_HOME");
        QCOMPARE(r.code, 0);
        QCOMPARE(firstFields(r.out), plain);
        QVERIFY2(r.err.contains(u"已忽略上次的审阅"_qs), qPrintable(r.err));
    }

    void volumes_listColumnAndCommand()
    {
        QFile fixture(QStringLiteral(VELLOMAR_TEST_DATA "/volumes.txt"));
        QVERIFY(fixture.open(QIODevice::ReadOnly));
        QStringList lines = QString::fromUtf8(fixture.readAll()).split(u'\n');
        lines.removeLast();
        const QString path = novel(u"星河.txt"_qs, lines);
        const int line = int(lines.indexOf(u"第二卷 风雨路 第一章 渡口"_qs)) + 1;
        const QString cfg = config(u"[text]\r\nChapsInFile=1\r\n"_qs);
        const Result list = cli({u"list"_qs, u"--config"_qs, cfg, path});
        QCOMPARE(list.out.split(u'\n').value(3), u"4\t0\t1\t渡口\t%1\t001-渡口\t\t第二卷 风雨路"_qs.arg(line));
        const Result volumes = cli({u"volumes"_qs, u"--config"_qs, cfg, path});
        QCOMPARE(volumes.code, 0);
        const QStringList heads = volumes.out.split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(heads.size(), 4);
        QCOMPARE(heads[1], u"2\t第二卷 风雨路\t%1\t2"_qs.arg(line));
        QVERIFY(heads[2].startsWith(u"3\t第三卷 雪落无声\t"_qs) && heads[2].endsWith(u"\t0"_qs));
        QCOMPARE(cli({u"volumes"_qs, u"--out"_qs, m_dir.path(), path}).code, 2);
    }

    void noTitle_exit3()
    {
        const QString path = novel(u"none.txt"_qs, {u"没有标题"_qs});
        const Result r = cli({u"split"_qs, u"--yes"_qs, path});
        QCOMPARE(r.code, 3);
        QVERIFY(r.err.contains(u"未发现章节标题"_qs));
        QVERIFY(!QFileInfo::exists(m_dir.filePath(u"none"_qs)));
        const QString empty = novel(u"empty.txt"_qs, {});
        const Result e = cli({u"list"_qs, empty});
        QCOMPARE(e.code, 3);
        QVERIFY(e.err.contains(u"文件为空"_qs));
    }

    // The command line counts lines while it analyses; a last line without a line end still
    // belongs to the last chapter.
    void lastLineWithoutEnd_isWritten()
    {
        const QString path = m_dir.filePath(u"tail.txt"_qs);
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(GbkCodec::instance().encode(u"第1章 甲\r\na\r\n第2章 乙\r\n最后"_qs));
        f.close();
        const QString out = m_dir.filePath(u"tail-out"_qs);
        QDir().mkpath(out);
        const Result r = cli({u"split"_qs, u"--config"_qs, config(u"[text]\r\nFilesInDir=0\r\nDelSpaceLine=False\r\nSetInvalidTitle=False\r\n"_qs),
                              u"--out"_qs, out, u"--yes"_qs, path});
        QCOMPARE(r.code, 0);
        QFile last(out + u"/tail/002-乙.txt"_qs);
        QVERIFY(last.open(QIODevice::ReadOnly));
        QCOMPARE(last.readAll(), GbkCodec::instance().encode(u"第2章 乙\r\n最后\r\n"_qs));
    }

    void split_overwriteAndIgnore()
    {
        const QString path = novel(u"book.txt"_qs, {u"第1章 甲"_qs, u"a"_qs, u"第2章 乙"_qs, u"b"_qs, u"第3章 丙"_qs, u"c"_qs});
        const QString out = m_dir.filePath(u"out"_qs);
        QDir().mkpath(out);
        const QString cfg = config(u"[text]\r\nFilesInDir=0\r\nSetInvalidTitle=False\r\n"_qs);
        // Not a terminal and no --yes: the folder question is refused, nothing written.
        Result r = cli({u"split"_qs, u"--config"_qs, cfg, u"--out"_qs, out, path});
        QCOMPARE(r.code, 4);
        QVERIFY(!QFileInfo::exists(out + u"/book"_qs));
        r = cli({u"split"_qs, u"--config"_qs, cfg, u"--out"_qs, out, u"--yes"_qs, u"--ignore"_qs, u"2"_qs, path});
        QCOMPARE(r.code, 0);
        QVERIFY(r.out.contains(u"输出完成，共: 2 个文件!"_qs));
        QCOMPARE(fileCount(out + u"/book"_qs), 2);
        // Existing files: cancel when not a terminal, keep with none, replace with all.
        r = cli({u"split"_qs, u"--config"_qs, cfg, u"--out"_qs, out, path});
        QCOMPARE(r.code, 4);
        QFile f(out + u"/book/001-甲.txt"_qs);
        f.open(QIODevice::WriteOnly);
        f.write("mine");
        f.close();
        r = cli({u"split"_qs, u"--config"_qs, cfg, u"--out"_qs, out, u"--overwrite"_qs, u"none"_qs, path});
        QCOMPARE(r.code, 0);
        QCOMPARE(QFileInfo(f).size(), 4);
        r = cli({u"split"_qs, u"--config"_qs, cfg, u"--out"_qs, out, u"--overwrite"_qs, u"all"_qs, path});
        QCOMPARE(r.code, 0);
        QVERIFY(QFileInfo(f).size() > 4);
        QCOMPARE(fileCount(out + u"/book"_qs), 3);
        QCOMPARE(cli({u"split"_qs, u"--ignore"_qs, u"9"_qs, u"--yes"_qs, path}).code, 2);
    }

    void sameNames_getFreeNamesWithoutAPerson()
    {
        const QString path = novel(u"vols.txt"_qs, {u"第1章 序"_qs, u"一"_qs, u"第1章 序"_qs, u"二"_qs});
        const QString cfg = config(u"[text]\r\nFilesInDir=0\r\nSetInvalidTitle=False\r\n"_qs);
        const Result r = cli({u"split"_qs, u"--config"_qs, cfg, u"--yes"_qs, u"--overwrite"_qs, u"all"_qs, path});
        QCOMPARE(r.code, 0);
        QVERIFY(QFileInfo::exists(m_dir.filePath(u"vols/001-序.txt"_qs)));
        QVERIFY(QFileInfo::exists(m_dir.filePath(u"vols/001-序 (2).txt"_qs)));
    }

    // Existing files kept with --overwrite none are said to be kept, not counted as written.
    void overwriteNone_saysWhatWasKept()
    {
        const QStringList lines{u"前言"_qs, u"第1章 甲"_qs, u"a"_qs, u"第2章 乙"_qs, u"b"_qs};
        const QString path = novel(u"keep.txt"_qs, lines);
        const QString other = novel(u"keep2.txt"_qs, lines);
        const QString cfg = config(u"[text]\r\nFilesInDir=0\r\nSetInvalidTitle=False\r\n"_qs);
        Result r = cli({u"split"_qs, u"--yes"_qs, u"--config"_qs, cfg, path, other});
        QCOMPARE(r.code, 0);
        r = cli({u"split"_qs, u"--yes"_qs, u"--config"_qs, cfg, u"--overwrite"_qs, u"none"_qs, path});
        QCOMPARE(r.code, 0);
        QVERIFY2(r.out.contains(u"输出完成，写入 0 个文件，3 个已有的文件按要求保留未覆盖!"_qs), qPrintable(r.out));
        r = cli({u"split"_qs, u"--yes"_qs, u"--config"_qs, cfg, u"--overwrite"_qs, u"none"_qs, path, other});
        QVERIFY2(r.out.contains(u"\t0 个文件，3 个已有的文件保留未覆盖\n"_qs), qPrintable(r.out));
        QVERIFY(r.out.contains(u"；文件 0\n"_qs));
        const QString book = m_dir.filePath(u"keep.epub"_qs);
        QCOMPARE(cli({u"epub"_qs, u"--yes"_qs, u"--out"_qs, book, path}).code, 0);
        r = cli({u"epub"_qs, u"--yes"_qs, u"--overwrite"_qs, u"none"_qs, u"--out"_qs, book, path});
        QVERIFY2(r.out.contains(u"共: 0 本书、0 章!\r\n1 本已有的书按要求保留未覆盖"_qs), qPrintable(r.out));
    }

    // Whatever the titles, template and earlier files, a run without a person to ask writes
    // every kept chapter exactly once: a name taken by this run's own files is never reused.
    void everyChapterExactlyOnce_whateverTheNames()
    {
        const QStringList pool = {u"a"_qs, u"a (2)"_qs, u"a (3)"_qs, u"同"_qs, u"b"_qs};
        const QStringList templates = {u"%title%"_qs, u"x"_qs, u"%chap1%"_qs, u"%title% (2)"_qs};
        QRandomGenerator rng(20261208);
        for (int trial = 0; trial < 30; ++trial) {
            QStringList lines;
            const int chapters = 2 + int(rng.bounded(5));
            for (int c = 0; c < chapters; ++c) {
                lines << QStringLiteral(u"第%1章 %2").arg(1 + rng.bounded(2)).arg(pool[rng.bounded(pool.size())])
                      << QStringLiteral("M%1-%2").arg(trial).arg(c);
            }
            const QString out = m_dir.filePath(QStringLiteral("inv-%1").arg(trial));
            const QString folder = out + QStringLiteral("/inv%1").arg(trial);
            const bool all = rng.bounded(2);
            QDir().mkpath(out);
            if (all) {
                // Files from an earlier run, replaced by "all" and then counted as this run's.
                QDir().mkpath(folder);
                for (const QString& name : pool) {
                    if (rng.bounded(2)) {
                        QFile old(folder + u'/' + name + u".txt"_qs);
                        QVERIFY(old.open(QIODevice::WriteOnly));
                        old.write("OLD\r\n");
                    }
                }
            }
            const QString cfg = config(QStringLiteral("[text]\r\nFilesInDir=0\r\nSetInvalidTitle=False\r\nDelSpaceLine=False\r\n"
                                                      "ChapsInFile=%1\r\n[outfile]\r\nfile1=%2\r\n")
                                           .arg(1 + rng.bounded(2))
                                           .arg(templates[rng.bounded(templates.size())]));
            const Result r = cli({u"split"_qs, u"--config"_qs, cfg, u"--out"_qs, out, u"--yes"_qs, u"--overwrite"_qs,
                                  all ? u"all"_qs : u"none"_qs, novel(QStringLiteral("inv%1.txt").arg(trial), lines)});
            QVERIFY2(r.code == 0, qPrintable(r.err));
            QString written;
            for (QDirIterator it(folder, QDir::Files | QDir::Hidden); it.hasNext();) {
                QFile f(it.next());
                QVERIFY(f.open(QIODevice::ReadOnly));
                written += QString::fromLatin1(f.readAll());
            }
            for (int c = 0; c < chapters; ++c) {
                QVERIFY2(written.count(QStringLiteral("M%1-%2\r\n").arg(trial).arg(c)) == 1,
                         qPrintable(lines.join(u'|') + u" -> "_qs + r.err));
            }
        }
    }

    // A new name typed at the terminal is asked about again when something is there already.
    void renameAtTerminal_asksBeforeReplacing()
    {
        if (QStandardPaths::findExecutable(u"script"_qs).isEmpty()) {
            QSKIP("script(1) is needed for a terminal");
        }
        const QString path = novel(u"tty.txt"_qs, {u"第1章 甲"_qs, u"a"_qs});
        const QString out = m_dir.filePath(u"tty-out"_qs);
        QDir().mkpath(out + u"/tty"_qs);
        const QString target = out + u"/tty/001-甲.txt"_qs;
        const QString other = out + u"/other.txt"_qs;
        for (const QString& p : {target, other}) {
            QFile f(p);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("KEEP");
        }
        const QString cfg = config(u"[text]\r\nFilesInDir=0\r\nSetInvalidTitle=False\r\n"_qs);
        const QString command = QStringLiteral("'%1' split --config '%2' --out '%3' '%4'").arg(QStringLiteral(VELLOMAR_CLI), cfg, out, path);
        QProcess p;
        p.start(u"script"_qs, {u"-qec"_qs, command, u"/dev/null"_qs});
        // Rename to the other existing file, refuse to replace it, then cancel.
        p.write(("r\n" + other.toUtf8() + "\nn\nc\n"));
        p.closeWriteChannel();
        QVERIFY(p.waitForFinished(30000));
        const QString screen = QString::fromUtf8(p.readAll());
        QVERIFY2(screen.contains(u"已存在，是否覆盖？"_qs), qPrintable(screen));
        for (const QString& path : {target, other}) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), QByteArray("KEEP"));
        }
    }

    // Things that are not what they seem are refused before anything is written: a pipe as the
    // novel (it would hang), conversion without its dictionaries.
    void unusableInput_isRefused()
    {
        const QString fifo = m_dir.filePath(u"pipe.txt"_qs);
        QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        Result r = cli({u"list"_qs, fifo});
        QCOMPARE(r.code, 1);
        QVERIFY(r.err.contains(u"不是普通文件"_qs));

        const QString path = novel(u"trad.txt"_qs, {u"第1章 甲"_qs, u"後來"_qs});
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"VELLOMAR_OPENCC_DIR"_qs, m_dir.filePath(u"no-dictionaries"_qs));
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(VELLOMAR_CLI), {u"split"_qs, u"--yes"_qs, u"--config"_qs,
                                               config(u"[text]\r\nConvertToSimple=True\r\n"_qs), path});
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 1);
        QVERIFY(QString::fromUtf8(p.readAllStandardError()).contains(u"繁简转换词典"_qs));
        QVERIFY(!QFileInfo::exists(m_dir.filePath(u"trad"_qs)));
    }

    // --out may name folders that do not exist yet: the whole path is made.
    void outFolder_madeWithItsParents()
    {
        const QString path = novel(u"deep.txt"_qs, {u"第1章 甲"_qs, u"a"_qs});
        const QString out = m_dir.filePath(u"new/deeper"_qs);
        const Result r = cli({u"split"_qs, u"--yes"_qs, u"--out"_qs, out, path});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QCOMPARE(fileCount(out + u"/deep"_qs), 1);
    }

    void errors_exit1WithContext()
    {
        const QString path = novel(u"err.txt"_qs, {u"第1章 甲"_qs});
        Result r = cli({u"list"_qs, m_dir.filePath(u"missing.txt"_qs)});
        QCOMPARE(r.code, 1);
        QVERIFY(r.err.contains(u"frmMain::OpenTextFile()"_qs));
        QVERIFY(r.err.contains(u"（文件或文件夹不存在）"_qs));
        r = cli({u"split"_qs, u"--yes"_qs, u"--out"_qs, path + u"/sub"_qs, path});
        QCOMPARE(r.code, 1);
        QVERIFY(r.err.contains(u"frmMain::mnuO_SaveOut_Click()"_qs));
        r = cli({u"list"_qs, u"--config"_qs, config(u"[text]\r\nTitleText=第([\r\n"_qs), path});
        QCOMPARE(r.code, 1);
        QVERIFY(r.err.contains(u"frmMain::mnuO_Analyze_Click()"_qs));
        // The pattern's fault in the regular-expression library's own words.
        const QRegularExpression bad(u"第(["_qs);
        QVERIFY2(r.err.contains(u"章节标题正则表达式有误"_qs) && r.err.contains(bad.errorString()), qPrintable(r.err));
    }

    // Errors give the system's reason in Chinese, as met for real: a folder that may not be
    // written (for root, whom permissions do not stop, the command runs as nobody), a full disk
    // and a read-only file system (small file systems of a private mount namespace).
    void errors_giveTheSystemsReasonInChinese_data()
    {
        QTest::addColumn<QString>("setup"); // "" or the tmpfs mount options
        QTest::addColumn<QString>("reason");
        QTest::newRow("no permission") << QString() << u"没有权限"_qs;
        QTest::newRow("disk full") << u"size=64k"_qs << u"磁盘已满"_qs;
        QTest::newRow("read-only") << u"ro,size=64k"_qs << u"只读文件系统"_qs;
    }

    void errors_giveTheSystemsReasonInChinese()
    {
        QFETCH(QString, setup);
        QFETCH(QString, reason);
        QTemporaryDir dir; // open to everyone, for the run as nobody
        const QFileDevice::Permissions open = QFileDevice::Permissions(0x7555);
        QVERIFY(QFile::setPermissions(dir.path(), open));
        QStringList lines{u"第1回 甲"_qs};
        lines << QStringList(5000, u"正文正文正文正文正文正文正文正文"_qs); // more than the small disk holds
        QFile f(dir.filePath(u"书.txt"_qs));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(GbkCodec::instance().encode(lines.join(u"\r\n"_qs)));
        f.close();
        QVERIFY(QFile::setPermissions(f.fileName(), open));
        const QString cfg = dir.filePath(u"config.ini"_qs);
        QVERIFY(QFile::copy(config(u"[text]\r\nFilesInDir=0\r\nTitleText=第([0-9]+)回(.*)\r\n"_qs), cfg));
        QVERIFY(QFile::setPermissions(cfg, open));
        const QString out = dir.filePath(u"out"_qs);
        QVERIFY(QDir().mkpath(out + u"/书"_qs));
        QStringList command{QStringLiteral(VELLOMAR_CLI), u"split"_qs, u"--yes"_qs, u"--config"_qs, cfg,
                            u"--out"_qs, out, f.fileName()};
        QString written = out + u"/书/001-甲.txt"_qs;
        if (setup.isEmpty()) {
            QVERIFY(QFile::setPermissions(out + u"/书"_qs, open & ~QFileDevice::Permissions(0x2222)));
            if (geteuid() == 0) {
                command = QStringList{u"setpriv"_qs, u"--reuid=65534"_qs, u"--regid=65534"_qs, u"--clear-groups"_qs, u"--"_qs}
                          + command;
            }
        } else {
            QProcess probe;
            probe.start(u"unshare"_qs, {u"-Urm"_qs, u"true"_qs});
            if (!probe.waitForFinished() || probe.exitCode() != 0) {
                // No mount namespace here: the words at least.
                QCOMPARE(systemErrorText(setup.startsWith(u"ro"_qs) ? EROFS : ENOSPC), reason);
                return;
            }
            command = QStringList{u"unshare"_qs, u"-Urm"_qs, u"sh"_qs, u"-c"_qs,
                                  u"mount -t tmpfs -o \"$0\" vellomar \"$1\" && shift && exec \"$@\""_qs, setup, out}
                      + command;
            if (setup.startsWith(u"ro"_qs)) {
                written = out + u"/书"_qs; // the folder cannot be made
            }
        }
        QProcess p;
        p.start(command.takeFirst(), command);
        QVERIFY(p.waitForFinished(60000));
        const QString err = QString::fromUtf8(p.readAllStandardError());
        QCOMPARE(p.exitCode(), 1);
        QVERIFY2(err.contains(written + u"（"_qs + reason + u"）"_qs), qPrintable(err));
    }

    void rules_suggestsTheHuiRule()
    {
        const QString src = corpusPath(u"rulinwaishi_gbk.txt"_qs);
        VELLOMAR_REQUIRE_CORPUS(src);
        Result r = cli({u"rules"_qs, src});
        QCOMPARE(r.code, 0);
        QVERIFY(r.out.contains(u"推荐: 第…回"_qs));
        r = cli({u"rules"_qs, u"--import"_qs, corpusPath(u"../data/txtTocRule.json"_qs), src});
        QCOMPARE(r.code, 0);
        QVERIFY(r.out.contains(u"错误: "_qs)); // rules that PCRE2 rejects are listed with the reason
        QCOMPARE(cli({u"rules"_qs, u"--import"_qs, m_dir.filePath(u"none.json"_qs), src}).code, 1);
    }

    // The reading options: --encoding decodes the novel as told, --tidy ignores a table of
    // contents and keeps the chapter the too-close rule took for one of its lines, --title-rule
    // auto finds 回 titles the configured 章 pattern misses. Without them: the rows before.
    void readingOptions_data()
    {
        QTest::addColumn<QByteArray>("codec");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("without"); // "ignored title" of each row, or the exit status
        QTest::addColumn<QString>("with");
        auto chapters = [](const QString& heading, const QStringList& titles) {
            QStringList lines{u"书名：星河"_qs};
            for (int c = 0; c < titles.size(); ++c) {
                lines << heading.arg(c + 1) + u' ' + titles[c];
                for (int k = 0; k < 8; ++k) {
                    lines << QStringLiteral(u"正文%1-%2").arg(c + 1).arg(k);
                }
            }
            return lines;
        };
        QStringList toc = chapters(u"第%1章"_qs, {u"甲"_qs, u"乙"_qs, u"丙"_qs});
        toc.insert(1, u"目录"_qs);
        toc.insert(2, u"第1章 甲"_qs);
        toc.insert(3, u"第2章 乙"_qs);
        toc.insert(4, u"第3章 丙"_qs);
        QTest::newRow("--tidy") << QByteArray("GBK") << toc << QStringList{u"--tidy"_qs}
                                << u"0 甲|1 乙|1 丙|1 甲|0 乙|0 丙"_qs << u"1 甲|1 乙|1 丙|0 甲|0 乙|0 丙"_qs;
        // Detected without the option; read as told with it, even when that is wrong.
        QTest::newRow("--encoding gbk") << QByteArray("Big5")
                                        << chapters(u"第%1章"_qs, {u"劉備說話"_qs, u"關羽"_qs})
                                        << QStringList{u"--encoding"_qs, u"gbk"_qs} << u"0 劉備說話|0 關羽"_qs
                                        << u"3"_qs;
        QTest::newRow("--title-rule auto") << QByteArray("GBK")
                                           << chapters(u"第%1回"_qs, {u"甲"_qs, u"乙"_qs, u"丙"_qs, u"丁"_qs})
                                           << QStringList{u"--title-rule"_qs, u"auto"_qs} << u"3"_qs
                                           << u"0 甲|0 乙|0 丙|0 丁"_qs;
    }

    void readingOptions()
    {
        QFETCH(QByteArray, codec);
        QFETCH(QStringList, lines);
        QFETCH(QStringList, options);
        QStringEncoder encode(codec.constData());
        const QString path = m_dir.filePath(QStringLiteral("reading-%1.txt").arg(QString::fromUtf8(QTest::currentDataTag())));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(encode(lines.join(u"\r\n"_qs) + u"\r\n"_qs));
        f.close();
        auto rows = [&](const QStringList& more) {
            const Result r = cli(QStringList{u"list"_qs} + more + QStringList{path});
            if (r.code != 0) {
                return QString::number(r.code);
            }
            QStringList shown;
            for (const QString& row : r.out.split(u'\n', Qt::SkipEmptyParts)) {
                shown << row.section(u'\t', 1, 1) + u' ' + row.section(u'\t', 3, 3);
            }
            return shown.join(u'|');
        };
        QTEST(rows({}), "without");
        QTEST(rows(options), "with");
        QCOMPARE(cli({u"list"_qs, u"--encoding"_qs, u"klingon"_qs, path}).code, 2);
    }

    // epub writes the book with the title and author given; split writes the chapter files in
    // the encoding the novel was read in (Big5 stays Big5 without conversion).
    void writers_epubAndSplitInTheNovelsEncoding()
    {
        QStringList lines{u"前言"_qs};
        for (int c = 1; c <= 12; ++c) {
            lines << QStringLiteral(u"第%1回 回目%1").arg(c) << QStringLiteral(u"正文%1").arg(c).repeated(9);
            lines << QStringList(6, QStringLiteral(u"這個國家%1").arg(c));
        }
        const QString path = novel(u"书.txt"_qs, lines);
        const QString book = m_dir.filePath(u"books/新书.epub"_qs);
        const QString cfg = config(u"[text]\r\nConvertToSimple=False\r\n"_qs);
        const Result r = cli({u"epub"_qs, u"--config"_qs, cfg, u"--yes"_qs, u"--title-rule"_qs, u"auto"_qs, u"--title"_qs,
                              u"新书"_qs, u"--author"_qs, u"某人"_qs, u"--out"_qs, book, path});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QVERIFY(r.out.contains(u"EPUB 输出完成，共: 1 本书、12 章!"_qs));
        QuaZip zip(book);
        QVERIFY(zip.open(QuaZip::mdUnzip));
        QCOMPARE(zip.getFileNameList().first(), u"mimetype"_qs);
        QString opf;
        int pages = 0;
        for (bool more = zip.goToFirstFile(); more; more = zip.goToNextFile()) {
            pages += zip.getCurrentFileName().startsWith(u"OEBPS/text/c"_qs);
            if (zip.getCurrentFileName().endsWith(u".opf"_qs)) {
                QuaZipFile entry(&zip);
                QVERIFY(entry.open(QIODevice::ReadOnly));
                opf = QString::fromUtf8(entry.readAll());
            }
        }
        QCOMPARE(pages, 12);
        QVERIFY2(opf.contains(u">新书</dc:title>"_qs) && opf.contains(u">某人</dc:creator>"_qs), qPrintable(opf));

        QStringEncoder big5("Big5");
        QFile f(m_dir.filePath(u"big5.txt"_qs));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(big5(u"第1章 劉備\r\n這個國家\r\n"_qs));
        f.close();
        const QString out = m_dir.filePath(u"big5-out"_qs);
        QCOMPARE(cli({u"split"_qs, u"--config"_qs, config(u"[text]\r\nConvertToSimple=False\r\nFilesInDir=0\r\n"_qs),
                      u"--encoding"_qs, u"big5"_qs, u"--yes"_qs, u"--out"_qs, out, f.fileName()})
                     .code,
                 0);
        QFile chapter(out + u"/big5/001-劉備.txt"_qs);
        QVERIFY(chapter.open(QIODevice::ReadOnly));
        QCOMPARE(chapter.readAll(), QByteArray(big5(u"第1章 劉備\r\n這個國家\r\n"_qs)));
    }

    void corpus_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("titles");
        QTest::addColumn<int>("kept");
        QTest::addColumn<int>("index"); // 1 when text stands before the first title
        // The pattern is not anchored: a few lines of running text that quote a chapter
        // heading are found too, and the too-close rule ignores two of them.
        QTest::newRow("rulinwaishi") << u"rulinwaishi_gbk.txt"_qs << 56 << 56 << 1;
        QTest::newRow("xiyouji") << u"xiyouji_gb.txt"_qs << 100 << 100 << 1;
        QTest::newRow("hongloumeng") << u"hongloumeng_zhang_gb.txt"_qs << 123 << 121 << 0;
        QTest::newRow("hongloumeng traditional") << u"hongloumeng_trad_in_gbk.txt"_qs << 121 << 121 << 1;
    }

    void corpus()
    {
        QFETCH(QString, file);
        QFETCH(int, titles);
        QFETCH(int, kept);
        QFETCH(int, index);
        const QString src = corpusPath(file);
        VELLOMAR_REQUIRE_CORPUS(src);
        const QString copy = m_dir.filePath(file);
        QVERIFY(QFile::copy(src, copy));
        Result r = cli({u"list"_qs, u"--config"_qs, huiConfig(), copy});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out.count(u'\n'), titles);
        QVERIFY(r.err.contains(QStringLiteral(u"一共: %1/%2 章").arg(kept).arg(titles)));
        r = cli({u"split"_qs, u"--config"_qs, huiConfig(), u"--yes"_qs, copy});
        QCOMPARE(r.code, 0);
        QVERIFY(r.out.contains(QStringLiteral(u"输出完成，共: %1 个文件!").arg(kept)));
        QCOMPARE(fileCount(m_dir.filePath(QFileInfo(file).completeBaseName())), kept + index);
    }
};

QTEST_GUILESS_MAIN(tst_Cli)
#include "tst_cli.moc"
