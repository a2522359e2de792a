#include "StartArguments.h"

#include <QDir>
#include <QTest>

class tst_StartArguments : public QObject {
    Q_OBJECT

private slots:
    void novelAndIgnored_data();
    void novelAndIgnored();
    void relativePath_isMadeAbsolute();
};

void tst_StartArguments::novelAndIgnored_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("novel");
    QTest::addColumn<QStringList>("ignored");

    const QString a = QStringLiteral(u"/tmp/小说.txt");
    const QString b = QStringLiteral("/tmp/other.txt");
    QTest::newRow("nothing") << QStringList() << QString() << QStringList();
    QTest::newRow("one novel") << QStringList{a} << a << QStringList();
    QTest::newRow("extras after the novel, in order")
        << QStringList{a, QStringLiteral("--verbose"), b} << a << QStringList{QStringLiteral("--verbose"), b};
    QTest::newRow("option before the novel")
        << QStringList{QStringLiteral("--help"), a} << a << QStringList{QStringLiteral("--help")};
    QTest::newRow("lone dash is no novel (the text cannot be re-read from a pipe)")
        << QStringList{QStringLiteral("-")} << QString() << QStringList{QStringLiteral("-")};
    QTest::newRow("empty argument is skipped, not the current folder")
        << QStringList{QString(), a} << a << QStringList{QString()};
    QTest::newRow("after -- a dash name is a path")
        << QStringList{QStringLiteral("--"), QStringLiteral("/tmp/-x.txt")} << QStringLiteral("/tmp/-x.txt")
        << QStringList();
    QTest::newRow("a second -- is a path like any other")
        << QStringList{QStringLiteral("--"), QStringLiteral("--")}
        << QDir::current().absoluteFilePath(QStringLiteral("--")) << QStringList();
    QTest::newRow("only options") << QStringList{QStringLiteral("-a"), QStringLiteral("--b")} << QString()
                                  << QStringList{QStringLiteral("-a"), QStringLiteral("--b")};
}

void tst_StartArguments::novelAndIgnored() {
    QFETCH(QStringList, args);
    QFETCH(QString, novel);
    QFETCH(QStringList, ignored);

    args.prepend(QStringLiteral("/usr/bin/vellomar"));
    const StartArguments parsed = parseStartArguments(args);
    QCOMPARE(parsed.novel, novel);
    QCOMPARE(parsed.ignored, ignored);
}

void tst_StartArguments::relativePath_isMadeAbsolute() {
    const StartArguments parsed =
        parseStartArguments({QStringLiteral("vellomar"), QStringLiteral("books/../novel.txt")});
    QCOMPARE(parsed.novel, QDir::currentPath() + QStringLiteral("/novel.txt"));
    QVERIFY(parsed.ignored.isEmpty());
}

QTEST_GUILESS_MAIN(tst_StartArguments)
#include "tst_startarguments.moc"
