#include "CliTest.h"

#include <QElapsedTimer>
#include <QStandardPaths>
#include <QThread>

#include <csignal>
#include <unistd.h>

// Batches: several novels or folders of them in one run, each with its summary line.
class tst_Batch : public CliTest {
    Q_OBJECT

private slots:
    // A batch whose summary lines go to `| head -n 1`: the reader leaves after the first novel,
    // the next line is written into nothing (SIGPIPE) while the last novel is still being split.
    void signals_readerGone_stopsBatchWithoutPartFiles()
    {
        const QString dir = m_dir.filePath(u"pipe-batch"_qs);
        QVERIFY(QDir().mkpath(dir));
        QVERIFY(QFile::copy(novel(u"a.txt"_qs, {u"第1章 甲"_qs, u"a"_qs}), dir + u"/a.txt"_qs));
        QVERIFY(QFile::copy(bigNovel(u"中.txt"_qs, 3000), dir + u"/b.txt"_qs));
        QVERIFY(QFile::copy(bigNovel(u"大.txt"_qs, 60000), dir + u"/c.txt"_qs));
        const QString out = m_dir.filePath(u"pipe-out"_qs);
        const QString cfg = config(u"[text]\r\nFilesInDir=0\r\nSetInvalidTitle=False\r\nConvertToSimple=False\r\n"_qs);
        QProcess p;
        p.start(u"bash"_qs, {u"-c"_qs, u"\"$0\" split --jobs 2 --yes --config \"$1\" --out \"$2\" \"$3\" | head -n 1; "
                                      u"echo \"${PIPESTATUS[0]}\" >&2"_qs,
                             QStringLiteral(VELLOMAR_CLI), cfg, out, dir});
        QVERIFY(p.waitForFinished(60000));
        const QString err = QString::fromUtf8(p.readAllStandardError()).trimmed();
        QVERIFY2(err.endsWith(u"\n4"_qs), qPrintable(err.right(300)));
        QVERIFY(err.contains(u"(SIGPIPE)"_qs));
        QCOMPARE(partFiles(out), QStringList());
    }

    // Novels whose names start with a dot get folders of their own (".h.txt" gives "h", ".txt"
    // gives "未命名"): never the novel's own folder, so the other novels there are novels still.
    void hiddenNovelNames_getFoldersOfTheirOwn()
    {
        const QString dir = m_dir.filePath(u"hid"_qs);
        QVERIFY(QDir().mkpath(dir));
        const QStringList lines{u"前言"_qs, u"第1章 甲"_qs, u"a"_qs};
        novel(u"hid/.h.txt"_qs, lines);
        novel(u"hid/.txt"_qs, lines);
        novel(u"hid/a.txt"_qs, lines);
        Result r = cli({u"split"_qs, u"--yes"_qs, dir + u"/.h.txt"_qs, dir});
        QCOMPARE(r.code, 0);
        QVERIFY2(!r.err.contains(u"跳过"_qs), qPrintable(r.err));
        QVERIFY(r.out.contains(u"总计: 2 部小说，完成 2"_qs));
        QVERIFY(!QFileInfo::exists(dir + u"/Index.txt"_qs));
        QCOMPARE(fileCount(dir + u"/h"_qs), 2);
        QCOMPARE(fileCount(dir + u"/a"_qs), 2);
        r = cli({u"split"_qs, u"--yes"_qs, dir + u"/.txt"_qs});
        QCOMPARE(r.code, 0);
        QCOMPARE(fileCount(dir + u"/未命名"_qs), 2);
        // Whatever the output folder, never the novel's own.
        const QString own = novel(u"hid/hid.txt"_qs, lines);
        r = cli({u"split"_qs, u"--yes"_qs, u"--out"_qs, m_dir.path(), own});
        QCOMPARE(r.code, 1);
        QVERIFY(r.err.contains(u"小说所在的文件夹"_qs));
        QVERIFY(!QFileInfo::exists(dir + u"/Index.txt"_qs));
    }

    // A batch of books is checked by the names the books will have: the same 书名 line, or file
    // names alike in their first 80 characters, stop both novels before anything is written;
    // the same file name with different titles in the front matter does not.
    void epubBatch_sameBookNames_neitherWritten()
    {
        const QString dir = m_dir.filePath(u"books"_qs);
        const QString out = m_dir.filePath(u"books-out"_qs);
        QVERIFY(QDir().mkpath(dir + u"/x"_qs) && QDir().mkpath(dir + u"/y"_qs));
        const QStringList text{u"第1章 甲"_qs, u"正文"_qs, u"正文"_qs, u"第2章 乙"_qs, u"正文"_qs};
        const QString long80 = QString(80, u'长');
        novel(u"books/a.txt"_qs, QStringList{u"书名：同名之书"_qs} + text);
        novel(u"books/b.txt"_qs, QStringList{u"书名：同名之书"_qs} + text);
        novel(u"books/"_qs + long80 + u"一.txt"_qs, text);
        novel(u"books/"_qs + long80 + u"二.txt"_qs, text);
        novel(u"books/x/第一部.txt"_qs, QStringList{u"书名：风"_qs} + text);
        novel(u"books/y/第一部.txt"_qs, QStringList{u"书名：雨"_qs} + text);
        const Result r = cli({u"epub"_qs, u"--yes"_qs, u"--jobs"_qs, u"2"_qs, u"--out"_qs, out, dir});
        QCOMPARE(r.code, 1);
        QStringList lines = r.out.split(u'\n', Qt::SkipEmptyParts);
        QVERIFY(lines.takeLast().startsWith(u"总计: 6 部小说，完成 2，无标题 0，失败 4"_qs));
        lines.sort();
        QCOMPARE(lines.size(), 6);
        for (int i = 0; i < 4; ++i) {
            const QString book = out + u'/' + (i < 2 ? u"同名之书"_qs : long80) + u".epub，两部都不写"_qs;
            QVERIFY2(lines[i].startsWith(u"失败\t"_qs) && lines[i].contains(book), qPrintable(lines[i]));
        }
        QCOMPARE(QDir(out).entryList(QDir::Files, QDir::Name), (QStringList{u"雨.epub"_qs, u"风.epub"_qs}));
    }

    // A folder of a batch that cannot be read is named and counted as a failure.
    void batch_unreadableFolder_isAFailure()
    {
        QStringList command{QStringLiteral(VELLOMAR_CLI)};
        if (geteuid() == 0) {
            // Root reads any folder; without these capabilities it is refused as anyone is.
            const QString setpriv = QStandardPaths::findExecutable(u"setpriv"_qs);
            if (setpriv.isEmpty()) {
                if (qEnvironmentVariable("CI") == u"true"_qs) {
                    QFAIL("setpriv (util-linux) is needed to run this test as root");
                }
                QSKIP("setpriv (util-linux) is needed to run this test as root");
            }
            command = QStringList{setpriv, u"--bounding-set"_qs, u"-dac_override,-dac_read_search"_qs} + command;
        }
        const QString dir = m_dir.filePath(u"locked"_qs);
        QVERIFY(QDir().mkpath(dir + u"/shut"_qs));
        novel(u"locked/a.txt"_qs, {u"第1章 甲"_qs, u"a"_qs});
        novel(u"locked/shut/b.txt"_qs, {u"第1章 乙"_qs, u"b"_qs});
        QVERIFY(QFile::setPermissions(dir + u"/shut"_qs, QFileDevice::Permissions()));
        QProcess p;
        p.start(command.takeFirst(), command + QStringList{u"split"_qs, u"--yes"_qs, dir});
        const bool finished = p.waitForFinished(60000);
        QFile::setPermissions(dir + u"/shut"_qs, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QVERIFY(finished);
        const QString out = QString::fromUtf8(p.readAllStandardOutput());
        const QString err = QString::fromUtf8(p.readAllStandardError());
        QCOMPARE(p.exitCode(), 1);
        QVERIFY2(err.contains(u"无法读取文件夹: "_qs + dir + u"/shut（没有权限）"_qs), qPrintable(err));
        QVERIFY2(out.contains(u"完成\t"_qs + dir + u"/a.txt"_qs), qPrintable(out));
        QVERIFY(out.contains(u"；1 个文件夹无法读取"_qs));
    }

    // A folder of novels: each gets its summary line, a novel without titles or two novels
    // bound for one folder do not stop the others, and a second run does not take the chapter
    // files of the first for novels.
    void batch_summaryPerNovelAndWorstCode()
    {
        const QString dir = m_dir.filePath(u"batch"_qs);
        QVERIFY(QDir().mkpath(dir + u"/sub"_qs));
        auto chapters = [](int n) {
            QStringList lines{u"书名：批量"_qs};
            for (int c = 1; c <= n; ++c) {
                lines << QStringLiteral(u"第%1回 回目%1").arg(c);
                for (int k = 0; k < 10; ++k) {
                    lines << QStringLiteral(u"正文%1-%2").arg(c).arg(k); // far enough apart to be kept
                }
            }
            return lines;
        };
        novel(u"batch/sub/甲.txt"_qs, chapters(12)); // GBK, read as GB18030
        QFile utf8(dir + u"/sub/乙.txt"_qs);
        QVERIFY(utf8.open(QIODevice::WriteOnly));
        utf8.write(chapters(30).join(u"\r\n"_qs).toUtf8() + "\r\n");
        utf8.close();
        novel(u"batch/plain.txt"_qs, {u"没有标题的一行"_qs});
        novel(u"batch/same.1.txt"_qs, {u"第一章 甲"_qs, u"正文"_qs});
        novel(u"batch/same.2.txt"_qs, {u"第一章 乙"_qs, u"正文"_qs});
        for (int run = 0; run < 2; ++run) {
            const Result r = cli({u"split"_qs, u"--config"_qs, huiConfig(), u"--yes"_qs, u"--overwrite"_qs, u"all"_qs,
                                  u"--jobs"_qs, u"2"_qs, dir});
            QCOMPARE(r.code, 1); // an error outweighs a novel without titles
            QStringList lines = r.out.split(u'\n', Qt::SkipEmptyParts);
            QCOMPARE(lines.size(), 6);
            QVERIFY2(lines.last().startsWith(QStringLiteral(u"总计: 5 部小说，完成 2，无标题 1，失败 2，中止 0；章节 42/42；文件 42")),
                     qPrintable(lines.last()));
            lines.removeLast();
            lines.sort();
            QVERIFY(lines[0].startsWith(u"失败\t"_qs + dir + u"/same.1.txt\t"_qs));
            QVERIFY(lines[1].startsWith(u"失败\t"_qs + dir + u"/same.2.txt\t"_qs));
            QCOMPARE(lines[2].section(u'\t', 0, 3), u"完成\t"_qs + dir + u"/sub/乙.txt\tUTF-8（自动识别）\t30/30 章"_qs);
            QCOMPARE(lines[3].section(u'\t', 0, 3), u"完成\t"_qs + dir + u"/sub/甲.txt\tGB18030（自动识别）\t12/12 章"_qs);
            QVERIFY(lines[4].startsWith(u"无标题\t"_qs + dir + u"/plain.txt\t"_qs));
            QVERIFY(!QFileInfo::exists(dir + u"/same"_qs));
            QCOMPARE(fileCount(dir + u"/sub/乙"_qs), 31); // Index.txt and 30 chapters
        }
        QCOMPARE(cli({u"split"_qs, u"--ignore"_qs, u"1"_qs, dir}).code, 2);
    }
};

QTEST_GUILESS_MAIN(tst_Batch)
#include "tst_batch.moc"
