#include "FakeHost.h"

#include "core/LineReader.h"
#include "output/OverwriteQuestion.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// The question both passes ask before a file is written, and what each answer does.
class tst_OverwriteQuestion : public QObject {
    Q_OBJECT

private slots:
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
};

QTEST_GUILESS_MAIN(tst_OverwriteQuestion)
#include "tst_overwritequestion.moc"
