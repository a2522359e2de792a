#include "OutputPassTest.h"

#include <QRegularExpression>

// Where the text pass puts each chapter: files, folders, names, and the names checked before
// anything is written.
class tst_OutputPlan : public OutputPassTest {
    Q_OBJECT

private slots:
    void init() { newFolder(); }

    void grouping_data()
    {
        QTest::addColumn<int>("chapters");
        QTest::addColumn<int>("chapsInFile");
        QTest::addColumn<int>("filesInDir");
        QTest::addColumn<QStringList>("files"); // path: first-last chapter
        QTest::newRow("3 per file") << 7 << 3 << 0
                                    << QStringList{u"001-c1.txt:1-3"_qs, u"004-c4.txt:4-6"_qs, u"007-c7.txt:7-7"_qs};
        QTest::newRow("2 per folder") << 5 << 1 << 2
                                      << QStringList{u"001-002(第1章+)/001-c1.txt:1-1"_qs, u"001-002(第1章+)/002-c2.txt:2-2"_qs,
                                                     u"003-004(第3章+)/003-c3.txt:3-3"_qs, u"003-004(第3章+)/004-c4.txt:4-4"_qs,
                                                     u"005-005(第5章+)/005-c5.txt:5-5"_qs};
        QTest::newRow("2 per file and folder") << 5 << 2 << 2
                                               << QStringList{u"001-002(第1章+)/001-c1.txt:1-2"_qs,
                                                              u"001-002(第1章+)/003-c3.txt:3-4"_qs,
                                                              u"003-004(第5章+)/005-c5.txt:5-5"_qs};
    }

    void grouping()
    {
        QFETCH(int, chapters);
        QFETCH(int, chapsInFile);
        QFETCH(int, filesInDir);
        QFETCH(QStringList, files);
        QStringList lines;
        for (int c = 1; c <= chapters; ++c) {
            lines << QStringLiteral(u"第%1章 c%1").arg(c) << QStringLiteral("text %1").arg(c);
        }
        Settings s = plain();
        s.ChapsInFile = qint16(chapsInFile);
        s.FilesInDir = qint16(filesInDir);
        Run r;
        run(r, writeNovel(text(lines)), s);
        Tree expected;
        for (const QString& f : files) {
            const QStringList parts = f.split(u':');
            const QStringList range = parts[1].split(u'-');
            const int first = range[0].toInt(), last = range[1].toInt();
            expected.insert(parts[0], text(lines.mid((first - 1) * 2, (last - first + 1) * 2)));
        }
        QCOMPARE(tree(r.root), expected);
    }

    // A folder per volume, named by the volume's place and title; each volume's heading and
    // 卷首语 open its first file, files do not reach across volumes, the volume without a
    // chapter stays with the chapter before, and the files in order give back the novel.
    void folderPerVolume_data()
    {
        QTest::addColumn<int>("chapsInFile");
        QTest::addColumn<QList<int>>("files"); // of the one-chapter-a-file list below
        QTest::newRow("one chapter a file") << 1 << QList<int>{0, 1, 2, 3, 4, 5, 6, 7, 8};
        QTest::newRow("two chapters a file") << 2 << QList<int>{0, 1, 3, 4, 6, 8};
    }

    void folderPerVolume()
    {
        QFETCH(int, chapsInFile);
        QFETCH(QList<int>, files);
        QStringList lines;
        const QString novel = volumeNovel(&lines);
        QVERIFY(!novel.isEmpty());
        Settings s = plain();
        s.FolderPerVolume = true;
        s.ChapsInFile = qint16(chapsInFile);
        Run r;
        run(r, novel, s);
        QCOMPARE(r.result.kind, OutputResult::Done);
        // Each file from the line that starts with `from` to the next file's.
        const QString v1 = u"01-第一卷 少年游/"_qs, v2 = u"02-第二卷 风雨路/"_qs, v4 = u"04-第四卷 星河/"_qs;
        const QList<std::pair<QString, QString>> all = {
            {u"Index.txt"_qs, lines[0]},         {v1 + u"001-小镇.txt"_qs, u"第一卷"_qs},
            {v1 + u"002-铁匠铺.txt"_qs, u"第二章"_qs}, {v1 + u"003-远行.txt"_qs, u"第三章"_qs},
            {v2 + u"001-渡口.txt"_qs, u"第二卷"_qs}, {v2 + u"002-荒原.txt"_qs, u"第二章 荒原"_qs},
            {v4 + u"001-归来.txt"_qs, u"第四卷"_qs}, {v4 + u"002-重逢.txt"_qs, u"第二章 重逢"_qs},
            {v4 + u"004-星河长歌.txt"_qs, u"第四章"_qs}};
        Tree expected;
        int from = 0;
        for (qsizetype f = 0; f < files.size(); ++f) {
            int to = int(lines.size());
            if (f + 1 < files.size()) {
                for (to = from + 1; !lines[to].startsWith(all[files[f + 1]].second); ++to) {
                }
            }
            expected.insert(all[files[f]].first, text(lines.mid(from, to - from)));
            from = to;
        }
        const Tree got = tree(r.root);
        QCOMPARE(got, expected);
        QByteArray joined = got[u"Index.txt"_qs];
        for (auto it = got.cbegin(); it != got.cend(); ++it) {
            joined += it.key() == u"Index.txt"_qs ? QByteArray() : it.value(); // names sort in book order
        }
        QCOMPARE(joined, text(lines));
    }

    // With volumes but no volume folders, without volumes, or with volume folders asked for
    // a novel read without volumes, the files are byte for byte the ones written before
    // volumes were known.
    void volumesWithoutFolders_writeAsBefore()
    {
        QStringList lines;
        const QString novel = volumeNovel(&lines);
        QList<Tree> trees;
        for (const auto& [volumes, folders] : {std::pair(false, false), std::pair(true, false), std::pair(false, true)}) {
            Settings s = Settings::defaults();
            s.FilesInDir = 3;
            s.OutPath = m_dir->filePath(QStringLiteral("out%1").arg(trees.size()));
            s.VolumeText = volumes ? s.VolumeText : QString();
            s.FolderPerVolume = folders;
            Run r;
            run(r, novel, s);
            QCOMPARE(r.doc.model().volumes().size(), volumes ? 4 : 0);
            trees << tree(r.root);
        }
        QVERIFY(trees[0].contains(u"001-003(第1章+)/003-远行.txt"_qs));
        QCOMPARE(trees[1], trees[0]);
        QCOMPARE(trees[2], trees[0]);
    }

    void sameNames_inOnePass_neverReplaceSilently()
    {
        // Two volumes both starting at chapter 1 with the same titles, template without %id%.
        const QStringList lines = {u"第1章 序"_qs, u"卷一"_qs, u"第2章 战"_qs, u"a"_qs, u"第1章 序"_qs, u"卷二"_qs,
                                   u"第2章 战"_qs, u"b"_qs};
        Settings s = plain();
        s.FilesInDir = 0;
        const QString novel = writeNovel(text(lines));
        const QString root = OutputRoot(novel, s.OutPath);
        {
            // Declining the warning writes nothing.
            Run r;
            r.host.yesNoAnswers = {false};
            run(r, novel, s);
            QCOMPARE(r.result.kind, OutputResult::Declined);
            QVERIFY(r.host.questions.first().contains(u"2 个输出文件重名"_qs));
            QVERIFY(!QFileInfo::exists(root));
        }
        {
            // Going on after ":All" for an older file: the repeated names are still asked
            // about, and a rename keeps both texts.
            QDir().mkpath(root);
            QFile old(root + u"001-序.txt"_qs);
            old.open(QIODevice::WriteOnly);
            old.close();
            Run r;
            const QString renamed = root + u"001-序-卷二.txt"_qs;
            r.host.overwriteAnswers = {u":All"_qs, renamed, u":No"_qs};
            run(r, novel, s);
            QCOMPARE(r.result.kind, OutputResult::Done);
            QCOMPARE(r.host.overwriteAsked, (QStringList{root + u"001-序.txt"_qs, root + u"001-序.txt"_qs,
                                                         root + u"002-战.txt"_qs}));
            const Tree t = tree(root);
            QCOMPARE(t[u"001-序.txt"_qs], text(lines.mid(0, 2)));
            QCOMPARE(t[u"001-序-卷二.txt"_qs], text(lines.mid(4, 2)));
            QCOMPARE(t[u"002-战.txt"_qs], text(lines.mid(2, 2)));
        }
    }

    void novelAsItsOwnTarget_isRefused_data()
    {
        QTest::addColumn<QString>("novelName");
        QTest::addColumn<QString>("outPath");   // relative to the temporary folder
        QTest::addColumn<QString>("linkName");  // a link to the novel in the output folder
        QTest::addColumn<QString>("reason");
        QTest::addColumn<bool>("hard");
        QTest::newRow("front matter file") << u"Index/Index.txt"_qs << u"."_qs << QString() << u"小说本身"_qs << false;
        QTest::newRow("link at a chapter's name") << u"小说.txt"_qs << u"out"_qs << u"out/小说/001-甲.txt"_qs
                                                  << u"小说本身"_qs << false;
        QTest::newRow("hard link at a chapter's name") << u"小说.txt"_qs << u"out"_qs << u"out/小说/001-甲.txt"_qs
                                                       << u"小说本身"_qs << true;
        // The novel's folder is never the output folder: its files would mix with the novels.
        QTest::newRow("the novel's own folder") << u"书/书.txt"_qs << u"."_qs << QString() << u"小说所在的文件夹"_qs << false;
        QTest::newRow("no name") << u"书/.txt"_qs << u"书"_qs << QString() << QString() << false;
    }

    void novelAsItsOwnTarget_isRefused()
    {
        QFETCH(QString, novelName);
        QFETCH(QString, outPath);
        QFETCH(QString, linkName);
        QFETCH(QString, reason);
        const QByteArray bytes = text({u"书名"_qs, u"第1章 甲"_qs, u"a"_qs});
        QDir().mkpath(QFileInfo(m_dir->filePath(novelName)).absolutePath());
        const QString novel = writeNovel(bytes, novelName);
        Settings s = plain();
        s.FilesInDir = 0;
        s.OutPath = m_dir->filePath(outPath);
        if (!linkName.isEmpty()) {
            QDir().mkpath(QFileInfo(m_dir->filePath(linkName)).absolutePath());
            QFETCH(bool, hard);
            const QByteArray target = QFile::encodeName(m_dir->filePath(linkName));
            QVERIFY(hard ? ::link(QFile::encodeName(novel).constData(), target.constData()) == 0
                         : QFile::link(novel, m_dir->filePath(linkName)));
        }
        Run r;
        run(r, novel, s);
        QFile same(novel);
        QVERIFY(same.open(QIODevice::ReadOnly));
        QCOMPARE(same.readAll(), bytes);
        if (reason.isEmpty()) {
            // A name with nothing before ".txt" has a folder of its own all the same.
            QCOMPARE(r.result.kind, OutputResult::Done);
            QCOMPARE(r.root, QFileInfo(novel).absolutePath() + u"/未命名/"_qs);
            QCOMPARE(tree(r.root).size(), 2);
            return;
        }
        QCOMPARE(r.result.kind, OutputResult::Refused);
        QVERIFY2(r.host.messages.value(0).contains(reason), qPrintable(r.host.messages.value(0)));
        QVERIFY(r.host.overwriteAsked.isEmpty());
        QCOMPARE(r.doc.DocState, int(Analysed));
    }
};

QTEST_GUILESS_MAIN(tst_OutputPlan)
#include "tst_outputplan.moc"
