#include "config/StartUp.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace Qt::StringLiterals;

class tst_StartUp : public QObject {
    Q_OBJECT

private slots:
    void makeAppTitle_data();
    void makeAppTitle();
    void configPathIn_data();
    void configPathIn();
    void chooseConfigPath_writableProgramFolder();
    void chooseConfigPath_readOnlyProgramFolder_usesFallback();
    void chooseConfigPath_systemFolder_usesFallbackEvenForRoot();
};

void tst_StartUp::makeAppTitle_data() {
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("minor");
    QTest::addColumn<int>("revision");
    QTest::addColumn<QString>("title");

    QTest::newRow("test build") << 8 << 3 << 1 << u"维洛玛 Vellomar - v8.3 beta1 [墨川]"_s;
    QTest::newRow("release") << 8 << 3 << 0 << u"维洛玛 Vellomar - v8.3 [墨川]"_s;
    QTest::newRow("two-digit revision") << 1 << 0 << 12 << u"维洛玛 Vellomar - v1.0 beta12 [墨川]"_s;
    QTest::newRow("two-digit minor") << 10 << 12 << 0 << u"维洛玛 Vellomar - v10.12 [墨川]"_s;
}

void tst_StartUp::makeAppTitle() {
    QFETCH(int, major);
    QFETCH(int, minor);
    QFETCH(int, revision);
    QFETCH(QString, title);
    QCOMPARE(::makeAppTitle(major, minor, revision), title);
}

void tst_StartUp::configPathIn_data() {
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("path");

    QTest::newRow("folder") << u"/opt/vellomar"_s << u"/opt/vellomar/config.ini"_s;
    QTest::newRow("folder with separator") << u"/opt/vellomar/"_s << u"/opt/vellomar/config.ini"_s;
    QTest::newRow("root") << u"/"_s << u"/config.ini"_s;
}

void tst_StartUp::configPathIn() {
    QFETCH(QString, folder);
    QFETCH(QString, path);
    QCOMPARE(::configPathIn(folder), path);
}

void tst_StartUp::chooseConfigPath_writableProgramFolder() {
    QTemporaryDir program;
    QTemporaryDir other;
    const QString fallback = other.filePath(u"fallback"_s);
    QCOMPARE(chooseConfigPath(program.path(), fallback), program.filePath(u"config.ini"_s));
    QVERIFY(!QFileInfo::exists(fallback));
}

void tst_StartUp::chooseConfigPath_readOnlyProgramFolder_usesFallback() {
    if (geteuid() == 0)
        QSKIP("folder permissions do not stop root");
    QTemporaryDir program;
    QTemporaryDir other;
    const QString fallback = other.filePath(u"fallback/vellomar"_s);
    const auto writable = QFile::permissions(program.path());
    QVERIFY(QFile::setPermissions(program.path(), QFile::ReadOwner | QFile::ExeOwner));
    const QString chosen = chooseConfigPath(program.path(), fallback);
    QVERIFY(QFile::setPermissions(program.path(), writable));

    QCOMPARE(chosen, fallback + u"/config.ini"_s);
    QVERIFY(QFileInfo(fallback).isDir());
}

void tst_StartUp::chooseConfigPath_systemFolder_usesFallbackEvenForRoot() {
    QTemporaryDir other;
    const QString fallback = other.filePath(u"fallback/vellomar"_s);
    QCOMPARE(chooseConfigPath(u"/usr/bin"_s, fallback), fallback + u"/config.ini"_s);
}

QTEST_GUILESS_MAIN(tst_StartUp)
#include "tst_startup.moc"
