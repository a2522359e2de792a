#include "OutputPassTest.h"

#include "core/LineReader.h"
#include "core/PathClaims.h"
#include "output/OverwriteQuestion.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>

// The question both passes ask before a file is written, and what each answer does.
class tst_OverwriteQuestion : public OutputPassTest {
    Q_OBJECT

private slots:
    void init() { newFolder(); }

    // Targets asked in turn (names in a folder holding the novel "novel.txt", existing files
    // and a sub-folder "dir"); the front end's answers, a name standing for a typed path. Each
    // outcome: W and the name written, S (kept), C (cancelled), F (refused, reported).
    void answers_data()
    {
        QTest::addColumn<QStringList>("existing");
        QTest::addColumn<QStringList>("targets");
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<bool>("unattended"); // nobody to ask: repeats get free names
        QTest::addColumn<QString>("outcomes");
        QTest::addColumn<QStringList>("asked");
        QTest::addColumn<int>("kept");
        QTest::newRow("new file: no question") << QStringList() << QStringList{u"a"_qs} << QStringList() << false
                                               << u"W a"_qs << QStringList() << 0;
        QTest::newRow("yes, no") << QStringList{u"a"_qs, u"b"_qs} << QStringList{u"a"_qs, u"b"_qs}
                                 << QStringList{u":Yes"_qs, u":No"_qs} << false << u"W a|S"_qs
                                 << QStringList{u"a"_qs, u"b"_qs} << 1;
        QTest::newRow("all: no more questions") << QStringList{u"a"_qs, u"b"_qs} << QStringList{u"a"_qs, u"b"_qs}
                                                << QStringList{u":All"_qs} << false << u"W a|W b"_qs
                                                << QStringList{u"a"_qs} << 0;
        // Text of this run is never replaced without a question, whatever was answered before.
        QTest::newRow("written this pass: asked after all")
            << QStringList{u"a"_qs} << QStringList{u"a"_qs, u"a"_qs} << QStringList{u":All"_qs, u":No"_qs} << false
            << u"W a|S"_qs << QStringList{u"a"_qs, u"a"_qs} << 1;
        QTest::newRow("written this pass, nobody to ask: a free name")
            << QStringList() << QStringList{u"a"_qs, u"a"_qs, u"a"_qs} << QStringList() << true
            << u"W a|W a (2)|W a (3)"_qs << QStringList() << 0;
        QTest::newRow("cancel, nothing or an unknown answer")
            << QStringList{u"a"_qs} << QStringList{u"a"_qs, u"a"_qs, u"a"_qs}
            << QStringList{u":Cancel"_qs, QString(), u":Later"_qs} << false << u"C|C|C"_qs
            << QStringList{u"a"_qs, u"a"_qs, u"a"_qs} << 0;
        // The front end has asked about a path the user typed: it is written without a second question.
        QTest::newRow("typed path, taken and confirmed") << QStringList{u"a"_qs, u"b"_qs} << QStringList{u"a"_qs}
                                                         << QStringList{u"b"_qs} << false << u"W b"_qs
                                                         << QStringList{u"a"_qs} << 0;
        QTest::newRow("typed path in a missing folder") << QStringList{u"a"_qs} << QStringList{u"a"_qs}
                                                        << QStringList{u"missing/x"_qs} << false << u"F"_qs
                                                        << QStringList{u"a"_qs} << 0;
        QTest::newRow("typed path: the novel itself") << QStringList{u"a"_qs} << QStringList{u"a"_qs}
                                                      << QStringList{u"novel.txt"_qs} << false << u"F"_qs
                                                      << QStringList{u"a"_qs} << 0;
        QTest::newRow("the novel, a folder: refused unasked")
            << QStringList() << QStringList{u"novel.txt"_qs, u"dir"_qs} << QStringList() << false << u"F|F"_qs
            << QStringList() << 0;
    }

    void answers()
    {
        QFETCH(QStringList, existing);
        QFETCH(QStringList, targets);
        QFETCH(QStringList, answers);
        QFETCH(bool, unattended);
        QTemporaryDir dir;
        const QString root = dir.path() + u'/';
        for (const QString& name : existing + QStringList{u"novel.txt"_qs}) {
            QFile f(root + name);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("old\r\n");
        }
        QVERIFY(QDir(root).mkdir(u"dir"_qs));
        LineReader novel;
        QVERIFY(novel.open(root + u"novel.txt"_qs));

        struct Host : FakeHost {
            bool unattended = false;
            bool freeNamesForRepeats() const override { return unattended; }
        } host;
        host.unattended = unattended;
        for (const QString& a : std::as_const(answers)) {
            host.overwriteAnswers << (a.isEmpty() || a.startsWith(u':') ? a : root + a);
        }
        QStringList reports;
        OverwriteQuestion question(host, novel, [&](const QString& text, int) { reports << text; });
        QStringList outcomes;
        for (const QString& name : std::as_const(targets)) {
            QString target = root + name;
            switch (question.ask(target)) {
            case OverwriteQuestion::Write: outcomes << u"W "_qs + target.mid(root.size()); break;
            case OverwriteQuestion::Skip: outcomes << u"S"_qs; break;
            case OverwriteQuestion::Cancel: outcomes << u"C"_qs; break;
            case OverwriteQuestion::Fail: outcomes << u"F"_qs; break;
            }
        }
        QTEST(outcomes.join(u'|'), "outcomes");
        QStringList asked;
        for (const QString& path : std::as_const(host.overwriteAsked)) {
            asked << path.mid(root.size());
        }
        QTEST(asked, "asked");
        QTEST(question.kept(), "kept");
        QCOMPARE(reports.size(), outcomes.count(u"F"_qs));
    }

    // The text pass waits for its files before it asks: a failure among them ends the pass
    // instead of a question. A folder the pass made needs no look at what is there.
    void beforeQuestionAndMadeFolders()
    {
        QTemporaryDir dir;
        QFile f(dir.filePath(u"a"_qs));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        LineReader novel;
        FakeHost host;
        OverwriteQuestion question(host, novel, [](const QString&, int) {});
        question.setBeforeQuestion([] { return false; });
        QString target = dir.filePath(u"a"_qs);
        QCOMPARE(question.ask(target), OverwriteQuestion::Fail);
        QVERIFY(host.overwriteAsked.isEmpty());
        question.addMadeFolder(dir.path() + u'/');
        QCOMPARE(question.ask(target), OverwriteQuestion::Write);
        QVERIFY(host.overwriteAsked.isEmpty());
        QVERIFY(question.taken(target));
    }

    // The same through the text pass, which asks before each file it writes.
    void overwriteAnswers()
    {
        const QStringList lines = {u"前"_qs, u"第1章 甲"_qs, u"a"_qs, u"第2章 乙"_qs, u"b"_qs, u"第3章 丙"_qs, u"c"_qs};
        const QString novel = writeNovel(text(lines));
        Settings s = plain();
        s.FilesInDir = 0;
        const QString root = OutputRoot(novel, s.OutPath);
        auto prepare = [&] {
            QDir(root).removeRecursively();
            QDir().mkpath(root);
            for (const QString& n : {u"Index.txt"_qs, u"001-甲.txt"_qs, u"002-乙.txt"_qs, u"003-丙.txt"_qs}) {
                QFile f(root + n);
                f.open(QIODevice::WriteOnly);
                f.write("old");
            }
        };
        {
            // No for chapter 1: untouched, and chapter 2 still starts with its own title line.
            prepare();
            Run r;
            r.host.overwriteAnswers = {u":Yes"_qs, u":No"_qs, u":Yes"_qs, u":Yes"_qs};
            run(r, novel, s);
            const Tree t = tree(root);
            QCOMPARE(t[u"001-甲.txt"_qs], QByteArray("old"));
            QCOMPARE(t[u"002-乙.txt"_qs], text(lines.mid(3, 2)));
            QCOMPARE(r.host.overwriteAsked.size(), 4);
        }
        {
            // All at the front-matter prompt: nothing else is asked.
            prepare();
            Run r;
            r.host.overwriteAnswers = {u":All"_qs};
            run(r, novel, s);
            QCOMPARE(r.host.overwriteAsked, QStringList{root + u"Index.txt"_qs});
            QCOMPARE(tree(root)[u"003-丙.txt"_qs], text(lines.mid(5, 2)));
        }
        {
            // Cancel at chapter 2: the files written so far stay, nothing after.
            prepare();
            Run r;
            r.host.overwriteAnswers = {u":Yes"_qs, u":Yes"_qs, u":Cancel"_qs};
            run(r, novel, s);
            QCOMPARE(r.result.kind, OutputResult::Cancelled);
            QCOMPARE(r.host.statuses.last(), u"用户取消操作..."_qs);
            QVERIFY(r.host.notices.isEmpty());
            const Tree t = tree(root);
            QCOMPARE(t[u"001-甲.txt"_qs], text(lines.mid(1, 2)));
            QCOMPARE(t[u"002-乙.txt"_qs], QByteArray("old"));
            QCOMPARE(t[u"003-丙.txt"_qs], QByteArray("old"));
            QCOMPARE(r.doc.DocState, int(Analysed));
            QCOMPARE(r.host.progressVisible, 0);
        }
        {
            // A typed path takes the file; a path in a missing folder is an error, not a write.
            prepare();
            Run r;
            const QString renamed = m_dir->filePath(u"改名.txt"_qs);
            r.host.overwriteAnswers = {u":Yes"_qs, renamed, u":Yes"_qs, m_dir->filePath(u"missing/x.txt"_qs)};
            run(r, novel, s);
            QCOMPARE(QFileInfo(renamed).size(), text(lines.mid(1, 2)).size());
            QCOMPARE(tree(root)[u"001-甲.txt"_qs], QByteArray("old"));
            QCOMPARE(r.result.kind, OutputResult::Failed);
            QCOMPARE(r.host.errors.size(), 1);
            QVERIFY(r.host.notices.isEmpty());
            QCOMPARE(r.doc.DocState, int(Analysed));
        }
        {
            // Append: the prompt still comes; Yes appends.
            prepare();
            Settings a = s;
            a.AppendText = true;
            Run r;
            run(r, novel, a);
            QCOMPARE(r.host.overwriteAsked.size(), 4);
            QCOMPARE(tree(root)[u"002-乙.txt"_qs], QByteArray("old") + text(lines.mid(3, 2)));
        }
    }

    // Whatever is at a target name (a file of this very pass, a link to nothing, a pipe, the
    // novel itself) is seen before anything is written there.
    void targetsAlreadyTaken()
    {
        const QStringList lines = {u"第1章 同"_qs, u"a"_qs, u"第2章 同"_qs, u"b"_qs, u"第3章 同"_qs, u"c"_qs};
        Settings s = plain();
        s.FilesInDir = 0;
        s.OutFile = u"%title%"_qs;
        const QString novel = writeNovel(text(lines));
        const QString root = OutputRoot(novel, s.OutPath);
        {
            // The files this pass queued count as existing for the questions and for a new
            // name typed in answer, though they may not be on disk yet.
            Run r;
            QStringList takenSeen;
            r.host.onOverwrite = [&](const QString& path) {
                takenSeen << QString::number(r.host.pathTaken(path)) + QString::number(r.host.pathTaken(root + u"x.txt"_qs));
                return root + u"x.txt"_qs;
            };
            r.host.yesNoAnswers = {true, true};
            run(r, novel, s);
            QCOMPARE(r.result.kind, OutputResult::Done);
            QCOMPARE(takenSeen, (QStringList{u"10"_qs, u"11"_qs}));
            QCOMPARE(r.host.overwriteAsked, (QStringList{root + u"同.txt"_qs, root + u"同.txt"_qs}));
            QVERIFY(!r.host.pathTaken(root + u"y.txt"_qs));
        }
        {
            // A link to nothing is asked about like a file, and "Yes" replaces the link itself:
            // nothing is created where it leads.
            QDir(root).removeRecursively();
            QDir().mkpath(root);
            const QString outside = m_dir->filePath(u"outside.txt"_qs);
            QVERIFY(QFile::link(outside, root + u"同.txt"_qs));
            Run r;
            r.host.yesNoAnswers = {true};
            r.host.overwriteAnswers = {u":Yes"_qs, root + u"2.txt"_qs, root + u"3.txt"_qs};
            run(r, novel, s);
            QCOMPARE(r.result.kind, OutputResult::Done);
            QCOMPARE(r.host.overwriteAsked.first(), root + u"同.txt"_qs);
            QVERIFY(!QFileInfo::exists(outside));
            QVERIFY(!QFileInfo(root + u"同.txt"_qs).isSymLink());
            QCOMPARE(tree(root).value(u"同.txt"_qs), text(lines.mid(0, 2)));
        }
        {
            // A named pipe at a target, even after "All": refused, never opened (it would hang).
            QDir(root).removeRecursively();
            QDir().mkpath(root);
            QCOMPARE(mkfifo(QFile::encodeName(root + u"同.txt"_qs).constData(), 0600), 0);
            Run r;
            r.host.yesNoAnswers = {true};
            r.host.overwriteAnswers = {u":All"_qs};
            run(r, novel, s);
            QCOMPARE(r.result.kind, OutputResult::Failed);
            QVERIFY(r.host.errors.value(0).contains(u"不是普通文件"_qs));
        }
        {
            // A folder at a target name: refused with what it is, the folder and what is in
            // it left alone.
            QDir(root).removeRecursively();
            QVERIFY(QDir().mkpath(root + u"同.txt/inside"_qs));
            Run r;
            r.host.yesNoAnswers = {true};
            r.host.overwriteAnswers = {u":All"_qs};
            run(r, novel, s);
            QCOMPARE(r.result.kind, OutputResult::Failed);
            QVERIFY2(r.host.errors.value(0).contains(root + u"同.txt 是一个文件夹"_qs), qPrintable(r.host.errors.value(0)));
            QVERIFY(QFileInfo(root + u"同.txt/inside"_qs).isDir());
            QVERIFY(r.host.notices.isEmpty());
        }
    }

    // The files another pass of the same run (another novel of a batch) has written are never
    // taken for strangers': asked about even after "All", or, with nobody to ask, the new file
    // goes beside them under a free name.
    void otherPassesFiles_areNeverReplacedSilently()
    {
        struct Unattended : FakeHost {
            using FakeHost::FakeHost;
            bool freeNamesForRepeats() const override { return true; }
        };
        Settings s = plain();
        s.FilesInDir = 0;
        s.OutPath = m_dir->filePath(u"out"_qs);
        const QString root = s.OutPath + u"/书/"_qs;
        auto novel = [&](const QString& folder, const QString& text1) {
            QDir().mkpath(m_dir->filePath(folder));
            return writeNovel(text({u"前言"_qs, u"第1章 甲"_qs, text1, u"第2章 乙"_qs, u"b"_qs}), folder + u"/书.txt"_qs);
        };
        PathClaims claims;
        Run first;
        first.host.setSharedClaims(&claims);
        run(first, novel(u"one"_qs, u"first"_qs), s);
        QCOMPARE(first.result.kind, OutputResult::Done);
        const Tree before = tree(root);
        QCOMPARE(before.size(), 3);

        Run asked;
        asked.host.setSharedClaims(&claims);
        asked.host.overwriteAnswers = {u":All"_qs, u":No"_qs, u":No"_qs};
        run(asked, novel(u"two"_qs, u"second"_qs), s);
        QCOMPARE(asked.host.overwriteAsked,
                 (QStringList{root + u"Index.txt"_qs, root + u"001-甲.txt"_qs, root + u"002-乙.txt"_qs}));
        QCOMPARE(tree(root), before);
        QVERIFY(asked.host.notices.value(0).contains(u"写入 1 个文件，2 个已有的文件按要求保留未覆盖"_qs));

        Run unattended{};
        Unattended host(&unattended.doc);
        host.setSharedClaims(&claims);
        QVERIFY(unattended.doc.OpenTextFile(novel(u"three"_qs, u"third"_qs), nullptr));
        QVERIFY(RunAnalysis(unattended.doc, s, host));
        QCOMPARE(RunOutput(unattended.doc, s, host).kind, OutputResult::Done);
        QVERIFY(host.overwriteAsked.isEmpty());
        Tree after = tree(root);
        QCOMPARE(after.take(u"001-甲 (2).txt"_qs), text({u"第1章 甲"_qs, u"third"_qs}));
        QVERIFY(after.remove(u"Index (2).txt"_qs) && after.remove(u"002-乙 (2).txt"_qs));
        QCOMPARE(after, before);
    }
};

QTEST_GUILESS_MAIN(tst_OverwriteQuestion)
#include "tst_overwritequestion.moc"
