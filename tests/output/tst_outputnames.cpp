#include "output/OutputNames.h"

#include <QDir>
#include <QSet>
#include <QTest>

// Where the files of a novel go: the folder names every front end shows and the passes use.
class tst_OutputNames : public QObject {
    Q_OBJECT

private slots:
    void novelBaseName_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("base");
        QTest::newRow("plain") << u"/书/三国.txt"_qs << u"三国"_qs;
        QTest::newRow("from the first dot") << u"/x/a.b.txt"_qs << u"a"_qs;
        QTest::newRow("no suffix") << u"/x/noext"_qs << u"noext"_qs;
        // A base name that starts with a dot would make the novel's own folder the output folder.
        QTest::newRow("hidden") << u"/x/.h.txt"_qs << u"h"_qs;
        QTest::newRow("dots and upper case") << u"/x/..a.b.TXT"_qs << u"a"_qs;
        QTest::newRow("nothing left") << u"/x/.txt"_qs << u"未命名"_qs;
    }

    void novelBaseName()
    {
        QFETCH(QString, path);
        QTEST(NovelBaseName(path), "base");
    }

    // Books go to the folder OutPath names, chapter files to the novel's folder inside it.
    void outputFolders_data()
    {
        QTest::addColumn<QString>("outPath");
        QTest::addColumn<QString>("folder");
        QTest::newRow("(default)") << u"(default)"_qs << u"/书/"_qs;
        // Nothing at all is the default too, never the top of the file system.
        QTest::newRow("empty") << QString() << u"/书/"_qs;
        QTest::newRow("folder") << u"/out"_qs << u"/out/"_qs;
        QTest::newRow("with slash") << u"/out/"_qs << u"/out/"_qs;
        QTest::newRow("home") << u"~/e/"_qs << QDir::homePath() + u"/e/"_qs;
        QTest::newRow("home alone") << u"~"_qs << QDir::homePath() + u"/"_qs;
        QTest::newRow("tilde in a name") << u"~x/"_qs << u"~x/"_qs;
    }

    void outputFolders()
    {
        QFETCH(QString, outPath);
        QFETCH(QString, folder);
        QCOMPARE(OutputFolder(u"/书/三国.txt"_qs, outPath), folder);
        QCOMPARE(OutputRoot(u"/书/三国.txt"_qs, outPath), folder + u"三国/"_qs);
    }

    void subFolderNames()
    {
        QCOMPARE(SubFolderName(1, 50, 120, 1), u"001-050(第1章+)/"_qs);
        QCOMPARE(SubFolderName(50, 50, 120, 1), u"001-050(第1章+)/"_qs);
        QCOMPARE(SubFolderName(101, 50, 120, 101), u"101-120(第101章+)/"_qs);
    }

    void freeNames_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QStringList>("taken");
        QTest::addColumn<QString>("free");
        QTest::newRow("first free") << u"/o/001-甲.txt"_qs << QStringList() << u"/o/001-甲 (2).txt"_qs;
        QTest::newRow("past taken ones") << u"/o/书.epub"_qs << QStringList{u"/o/书 (2).epub"_qs, u"/o/书 (3).epub"_qs}
                                         << u"/o/书 (4).epub"_qs;
        // A dot in a folder's name, or one that starts the name, is no suffix.
        QTest::newRow("dot in the folder") << u"/o.d/名"_qs << QStringList() << u"/o.d/名 (2)"_qs;
        QTest::newRow("hidden name") << u"/o/.名"_qs << QStringList() << u"/o/.名 (2)"_qs;
    }

    void freeNames()
    {
        QFETCH(QString, path);
        QFETCH(QStringList, taken);
        const QSet<QString> held(taken.cbegin(), taken.cend());
        QTEST(FreeNameBeside(path, [&](const QString& p) { return held.contains(p); }), "free");
    }
};

QTEST_GUILESS_MAIN(tst_OutputNames)
#include "tst_outputnames.moc"
