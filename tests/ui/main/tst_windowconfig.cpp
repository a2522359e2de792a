#include "Prompts.h"
#include "main/WindowConfig.h"

#include "config/ConfigFile.h"
#include "config/Settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class tst_WindowConfig : public QObject {
    Q_OBJECT

    static QByteArray bytes(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private slots:
    void init()
    {
        Prompts::setTestMode(true);
        Prompts::reset();
    }

    // The window's quick saves never go into a config.ini that is missing (it is written anew
    // whole, at the first activation) or that could not be read (what is in it is the user's);
    // saving every setting, as a command does, writes a missing one.
    void quickSaves_data()
    {
        QTest::addColumn<QString>("file"); // "missing", "unreadable" or "readable"
        QTest::addColumn<QString>("save");
        QTest::addColumn<bool>("written");
        for (const char* save : {"preview", "recent", "columns", "settings"}) {
            const QString s = QString::fromLatin1(save);
            QTest::addRow("missing, %s", save) << u"missing"_s << s << (s == u"settings");
            QTest::addRow("unreadable, %s", save) << u"unreadable"_s << s << false;
            QTest::addRow("readable, %s", save) << u"readable"_s << s << true;
        }
    }

    void quickSaves()
    {
        QFETCH(QString, file);
        QFETCH(QString, save);
        QFETCH(bool, written);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"config.ini"_s);
        if (file == u"unreadable") {
            QVERIFY(QDir(dir.path()).mkdir(u"config.ini"_s)); // there, but nothing to read
        } else if (file == u"readable") {
            QVERIFY(WriteDefaultConfig(Settings::defaults(), path));
        }
        const QByteArray before = bytes(path);
        Settings settings = Settings::defaults();
        WindowConfig config(settings, path, nullptr);
        config.load();
        QCOMPARE(config.unreadable(), file == u"unreadable");

        if (save == u"preview") {
            config.saveShowPreview(!settings.ShowPreview);
        } else if (save == u"recent") {
            settings.RecentFiles = {{dir.filePath(u"n.txt"_s), u"gbk"_s}};
            config.saveRecentFiles();
        } else if (save == u"columns") {
            config.saveColumnWidths({40, 0, 120});
        } else {
            settings.TitleText = u"^第(\\d+)回(.*)"_s;
            QString error;
            QVERIFY2(config.saveSettings(&error), qPrintable(error));
        }
        QCOMPARE(QFileInfo(path).isFile() && bytes(path) != before, written);
        QCOMPARE(QFileInfo(path).isDir(), file == u"unreadable");
        QVERIFY2(Prompts::log().isEmpty(), qPrintable(Prompts::log().join(u'\n')));
    }
};

QTEST_MAIN(tst_WindowConfig)
#include "tst_windowconfig.moc"
