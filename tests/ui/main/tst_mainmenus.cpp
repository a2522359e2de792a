#include "main/MainCommands.h"
#include "main/MainMenus.h"

#include <QAction>
#include <QMainWindow>
#include <QTest>

using namespace Qt::StringLiterals;

// The window's side of the menus: records every command run, by the entry it is named after.
class Recorder : public MainCommands {
public:
    QStringList ran;

    void mnuF_Open_Click() override { ran << u"mnuF_Open"_s; }
    void mnuF_Close_Click() override { ran << u"mnuF_Close"_s; }
    void mnuF_Exit_Click() override { ran << u"mnuF_Exit"_s; }
    void mnuV_Preview_Click(bool shown) override
    {
        ran << (shown ? u"mnuV_Preview on"_s : u"mnuV_Preview off"_s);
    }
    void mnuE_Encoding_Click(bool detect, TextCodec::Id id) override
    {
        ran << u"mnuE_Encoding "_s + (detect ? u"auto"_s : TextCodec::forId(id).name());
    }
    void mnuO_Analyze_Click() override { ran << u"mnuO_Analyze"_s; }
    void mnuO_SaveOut_Click() override { ran << u"mnuO_SaveOut"_s; }
    void mnuO_SaveEpub_Click() override { ran << u"mnuO_SaveEpub"_s; }
    void mnuO_Stop_Click() override { ran << u"mnuO_Stop"_s; }
    void mnuO_Option_Click() override { ran << u"mnuO_Option"_s; }
    void mnuI_SelAll_Click() override { ran << u"mnuI_SelAll"_s; }
    void mnuI_SelReverse_Click() override { ran << u"mnuI_SelReverse"_s; }
    void mnuI_SelNone_Click() override { ran << u"mnuI_SelNone"_s; }
    void mnuI_SelUndo_Click() override { ran << u"mnuI_SelUndo"_s; }
    void mnuIE_Title_Click() override { ran << u"mnuIE_Title"_s; }
    void mnuIE_ChapNum_Click() override { ran << u"mnuIE_ChapNum"_s; }
    void mnuI_Copy_Click() override { ran << u"mnuI_Copy"_s; }
    void mnuI_NextAnomaly_Click() override { ran << u"mnuI_NextAnomaly"_s; }
    void mnuI_Tidy_Click() override { ran << u"mnuI_Tidy"_s; }
    void mnuI_IgnoreRepeats_Click() override { ran << u"mnuI_IgnoreRepeats"_s; }
    void mnuI_CheckSelected_Click() override { ran << u"mnuI_CheckSelected"_s; }
    void mnuI_UncheckSelected_Click() override { ran << u"mnuI_UncheckSelected"_s; }
    void mnuH_HomePage_Click() override { ran << u"mnuH_HomePage"_s; }
    void mnuH_About_Click() override { ran << u"mnuH_About"_s; }
    void mnu_T_Show_Click() override { ran << u"mnu_T_Show"_s; }
    void mnu_T_Hide_Click() override { ran << u"mnu_T_Hide"_s; }
};

class tst_MainMenus : public QObject {
    Q_OBJECT

private slots:
    // Every menu entry, toolbar button and tray entry runs its own command, once: the menus
    // hold no command of their own and know the window only as its list of commands.
    void everyEntry_runsItsCommand_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("command");
        for (const char* name :
             {"mnuF_Open", "mnuF_Close", "mnuF_Exit", "mnuO_Analyze", "mnuO_SaveOut", "mnuO_SaveEpub", "mnuO_Stop",
              "mnuO_Option", "mnuI_SelAll", "mnuI_SelReverse", "mnuI_SelNone", "mnuI_SelUndo", "mnuIE_Title",
              "mnuIE_ChapNum", "mnuI_Copy", "mnuI_NextAnomaly", "mnuI_Tidy", "mnuI_IgnoreRepeats",
              "mnuI_CheckSelected", "mnuI_UncheckSelected", "mnuH_HomePage", "mnuH_About", "mnu_T_Show",
              "mnu_T_Hide"}) {
            QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(name);
        }
        QTest::newRow("tray about") << u"mnu_T_About"_s << u"mnuH_About"_s;
        QTest::newRow("tray exit") << u"mnu_T_Exit"_s << u"mnuF_Exit"_s;
        QTest::newRow("preview, checked at first") << u"mnuV_Preview"_s << u"mnuV_Preview off"_s;
        QTest::newRow("detect encoding") << u"mnuE_Auto"_s << u"mnuE_Encoding auto"_s;
        QTest::newRow("big5") << u"mnuE_Big5"_s << u"mnuE_Encoding Big5-HKSCS"_s;
        QTest::newRow("utf-16be") << u"mnuE_UTF16BE"_s << u"mnuE_Encoding UTF-16BE"_s;
        const QList<std::pair<const char*, const char*>> buttons = {
            {"open", "mnuF_Open"},         {"close", "mnuF_Close"},       {"analyze", "mnuO_Analyze"},
            {"saveout", "mnuO_SaveOut"},   {"saveepub", "mnuO_SaveEpub"}, {"stop", "mnuO_Stop"},
            {"selall", "mnuI_SelAll"},     {"selreverse", "mnuI_SelReverse"},
            {"selnone", "mnuI_SelNone"},
            {"selundo", "mnuI_SelUndo"},   {"edit", "mnuIE_Title"},       {"copy", "mnuI_Copy"},
            {"config", "mnuO_Option"},     {"about", "mnuH_About"},       {"editTitle", "mnuIE_Title"},
            {"editChapNum", "mnuIE_ChapNum"},
        };
        for (const auto& [key, command] : buttons) {
            QTest::newRow(key) << QString::fromLatin1(key) << QString::fromLatin1(command);
        }
    }

    void everyEntry_runsItsCommand()
    {
        QFETCH(QString, entry);
        QFETCH(QString, command);
        QMainWindow window;
        Recorder commands;
        MainMenus menus(window, commands);
        QAction* action = window.findChild<QAction*>(entry);
        QVERIFY2(action, qPrintable(entry));
        action->trigger();
        QCOMPARE(commands.ran, QStringList{command});
    }
};

QTEST_MAIN(tst_MainMenus)
#include "tst_mainmenus.moc"
