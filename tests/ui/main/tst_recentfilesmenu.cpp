#include "Prompts.h"
#include "main/RecentFilesMenu.h"

#include "config/Settings.h"
#include "core/Document.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

// The window's side of the menu: what it was asked to open, and how often to keep the list.
class FakeWindow : public RecentFilesMenu::Window {
public:
    bool busy = false;
    int kept = 0;
    QStringList opened; // "path|encoding"

    bool passRunning() const override { return busy; }
    void openWithEncoding(const QString& path, bool detect, TextCodec::Id id) override
    {
        opened << path + u'|' + (detect ? u"auto"_s : TextCodec::forId(id).name());
    }
    void recentFilesChanged() override { ++kept; }
};

class tst_RecentFilesMenu : public QObject {
    Q_OBJECT

    QStringList labels(const QMenu& menu)
    {
        QStringList texts;
        for (const QAction* a : menu.actions()) {
            texts << a->text();
        }
        return texts;
    }

private slots:
    void init()
    {
        Prompts::setTestMode(true);
        Prompts::reset();
    }

    // Novels of the same name are told apart by their folders; an encoding chosen by hand is
    // named; "&" is a character, not a shortcut.
    void labels_tellSameNamesApart()
    {
        FakeWindow window;
        QMenu menu;
        QList<RecentFile> files = {
            {u"/a/x.txt"_s, u"auto"_s}, {u"/b/x.txt"_s, u"gbk"_s}, {u"/b/y&z.txt"_s, u"utf-8"_s}};
        RecentFilesMenu recent(window, nullptr, &menu, files);
        recent.rebuild();
        QCOMPARE(labels(menu),
                 (QStringList{u"&1 /a/x.txt"_s, u"&2 /b/x.txt  [GBK]"_s, u"&3 y&&z.txt  [UTF-8]"_s}));
        recent.opened(u"/c/new.txt"_s, false, TextCodec::Big5);
        QCOMPARE(files.first(), (RecentFile{u"/c/new.txt"_s, u"big5"_s}));
        QCOMPARE(window.kept, 1);
        QCOMPARE(labels(menu).first(), u"&1 new.txt  [Big5-HKSCS]"_s);
    }

    // Choosing an entry opens its novel with its encoding; a novel that is gone leaves the
    // list (which is kept at once) and the user is told; during a pass nothing happens.
    void choosingAnEntry_data()
    {
        QTest::addColumn<bool>("there");
        QTest::addColumn<bool>("busy");
        QTest::addColumn<bool>("opens");
        QTest::addColumn<int>("left");
        QTest::addColumn<int>("told");
        QTest::newRow("there") << true << false << true << 2 << 0;
        QTest::newRow("gone") << false << false << false << 1 << 1;
        QTest::newRow("during a pass") << true << true << false << 2 << 0;
        QTest::newRow("gone, during a pass") << false << true << false << 2 << 0;
    }

    void choosingAnEntry()
    {
        QFETCH(bool, there);
        QFETCH(bool, busy);
        QFETCH(bool, opens);
        QFETCH(int, left);
        QFETCH(int, told);
        QTemporaryDir dir;
        const QString novel = dir.filePath(u"n.txt"_s);
        if (there) {
            QFile f(novel);
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        FakeWindow window;
        window.busy = busy;
        QMenu menu;
        QList<RecentFile> files = {{dir.filePath(u"other.txt"_s), u"auto"_s}, {novel, u"utf-16le"_s}};
        RecentFilesMenu recent(window, nullptr, &menu, files);
        recent.rebuild();
        menu.findChild<QAction*>(u"mnuF_Recent1"_s)->trigger();
        QCOMPARE(window.opened, opens ? QStringList{novel + u"|UTF-16LE"_s} : QStringList());
        QCOMPARE(files.size(), left);
        QCOMPARE(menu.actions().size(), left);
        QCOMPARE(window.kept, 2 - left);
        QCOMPARE(Prompts::log().size(), told);
    }
};

QTEST_MAIN(tst_RecentFilesMenu)
#include "tst_recentfilesmenu.moc"
