#include "MainMenus.h"

#include "MainCommands.h"
#include "ToolIcons.h"

#include "core/Document.h"

#include <QAction>
#include <QActionGroup>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>

MainMenus::MainMenus(QMainWindow& window, MainCommands& commands) : m_window(window), m_commands(commands) {
    buildMenus();
    buildToolbar();
}

QAction* MainMenus::addMenuEntry(QMenu* menu, const char* name, const QString& caption,
                                 const QKeySequence& shortcut, std::function<void()> handler) {
    QAction* a = menu->addAction(caption);
    a->setObjectName(QString::fromLatin1(name));
    a->setShortcut(shortcut);
    if (handler) {
        QObject::connect(a, &QAction::triggered, &m_window, std::move(handler));
    }
    m_menus.insert(a->objectName(), a);
    return a;
}

QAction* MainMenus::addSeparator(QMenu* menu, const char* name) {
    QAction* a = menu->addSeparator();
    a->setObjectName(QString::fromLatin1(name));
    return a;
}

void MainMenus::buildMenus() {
    QMenuBar* bar = m_window.menuBar();
    auto menu = [bar](const char* name, const QString& caption) {
        QMenu* m = bar->addMenu(caption);
        m->setObjectName(QString::fromLatin1(name));
        m->menuAction()->setObjectName(QString::fromLatin1(name));
        return m;
    };
    const QKeySequence none;
    QMainWindow* w = &m_window;
    MainCommands* c = &m_commands;

    QMenu* menuFile = menu("menuFile", QStringLiteral(u"文件(&F)"));
    addMenuEntry(menuFile, "mnuF_Open", QStringLiteral(u"打开(&O)..."), QKeySequence(Qt::CTRL | Qt::Key_O),
                 [c] { c->mnuF_Open_Click(); });
    addMenuEntry(menuFile, "mnuF_Close", QStringLiteral(u"关闭(&C)"), none, [c] { c->mnuF_Close_Click(); });
    m_menuRecent = menuFile->addMenu(QStringLiteral(u"最近打开的文件(&R)"));
    m_menuRecent->setObjectName(QStringLiteral("mnuF_Recent"));
    m_menuRecent->menuAction()->setObjectName(QStringLiteral("mnuF_Recent"));
    addSeparator(menuFile, "mnuF_Bar");
    addMenuEntry(menuFile, "mnuF_Exit", QStringLiteral(u"退出(&E)"), none, [c] { c->mnuF_Exit_Click(); });

    // The view entries flip their own check mark when chosen; the handlers act on the new mark.
    QMenu* menuView = menu("menuView", QStringLiteral(u"查看(&V)"));
    QAction* viewTool = addMenuEntry(menuView, "mnuV_Toolbar", QStringLiteral(u"工具栏(&T)"), none, nullptr);
    QAction* viewStatus =
        addMenuEntry(menuView, "mnuV_Statusbar", QStringLiteral(u"状态栏(&S)"), none, nullptr);
    for (QAction* a : {viewTool, viewStatus}) {
        a->setCheckable(true);
        a->setChecked(true);
    }
    QObject::connect(viewTool, &QAction::triggered, w, [this](bool on) {
        m_toolConfig->setVisible(on);
        m_buttons.value(QStringLiteral("tool"))->setChecked(on);
    });
    QObject::connect(viewStatus, &QAction::triggered, w, [this](bool on) {
        m_window.statusBar()->setVisible(on);
        m_buttons.value(QStringLiteral("status"))->setChecked(on);
    });
    addSeparator(menuView, "mnuV_Bar");
    QAction* viewPreview =
        addMenuEntry(menuView, "mnuV_Preview", QStringLiteral(u"章节预览(&P)"), none, nullptr);
    viewPreview->setCheckable(true);
    viewPreview->setChecked(true);
    QObject::connect(viewPreview, &QAction::triggered, w, [c](bool on) { c->mnuV_Preview_Click(on); });

    // How the next novel is read; the choice stays until changed.
    m_menuEncoding = menu("mnuE_Encoding", QStringLiteral(u"编码(&E)"));
    m_encodingGroup = new QActionGroup(w);
    m_encodingGroup->setExclusive(true);
    auto encoding = [this, w, c](const char* name, const QString& caption, bool detect,
                                 TextCodec::Id id) {
        QAction* a = addMenuEntry(m_menuEncoding, name, caption, QKeySequence(), nullptr);
        a->setCheckable(true);
        a->setData(detect ? -1 : int(id));
        m_encodingGroup->addAction(a);
        QObject::connect(a, &QAction::triggered, w, [c, detect, id] { c->mnuE_Encoding_Click(detect, id); });
    };
    encoding("mnuE_Auto", QStringLiteral(u"自动检测(&A)"), true, TextCodec::Gbk);
    addSeparator(m_menuEncoding, "mnuE_Bar");
    const std::pair<const char*, TextCodec::Id> codecs[] = {
        {"mnuE_GBK", TextCodec::Gbk},         {"mnuE_GB18030", TextCodec::Gb18030},
        {"mnuE_UTF8", TextCodec::Utf8},       {"mnuE_UTF16LE", TextCodec::Utf16LE},
        {"mnuE_UTF16BE", TextCodec::Utf16BE}, {"mnuE_Big5", TextCodec::Big5},
    };
    for (const auto& [name, id] : codecs) {
        encoding(name, TextCodec::forId(id).name(), false, id);
    }

    QMenu* menuOperate = menu("menuOperate", QStringLiteral(u"操作(&O)"));
    addMenuEntry(menuOperate, "mnuO_Analyze", QStringLiteral(u"重新分析(&A)"),
                 QKeySequence(Qt::CTRL | Qt::Key_L), [c] { c->mnuO_Analyze_Click(); });
    addMenuEntry(menuOperate, "mnuO_SaveOut", QStringLiteral(u"输出(&T)"), QKeySequence(Qt::CTRL | Qt::Key_S),
                 [c] { c->mnuO_SaveOut_Click(); });
    addMenuEntry(menuOperate, "mnuO_SaveEpub", QStringLiteral(u"输出 EPUB(&E)..."), QKeySequence(Qt::CTRL | Qt::Key_E),
                 [c] { c->mnuO_SaveEpub_Click(); });
    addMenuEntry(menuOperate, "mnuO_Stop", QStringLiteral(u"停止(&S)"), QKeySequence(Qt::Key_F11),
                 [c] { c->mnuO_Stop_Click(); });
    addSeparator(menuOperate, "mnuO_Bar");
    addMenuEntry(menuOperate, "mnuO_Option", QStringLiteral(u"选项(&O)..."), QKeySequence(Qt::Key_F4),
                 [c] { c->mnuO_Option_Click(); });

    m_menuItem = menu("menuItem", QStringLiteral(u"标题(&I)"));
    addMenuEntry(m_menuItem, "mnuI_SelAll", QStringLiteral(u"全选(&S)"), QKeySequence(Qt::CTRL | Qt::Key_A),
                 [c] { c->mnuI_SelAll_Click(); });
    addMenuEntry(m_menuItem, "mnuI_SelReverse", QStringLiteral(u"反选(&R)"), none,
                 [c] { c->mnuI_SelReverse_Click(); });
    addMenuEntry(m_menuItem, "mnuI_SelNone", QStringLiteral(u"全不选(&N)"), none,
                 [c] { c->mnuI_SelNone_Click(); });
    addMenuEntry(m_menuItem, "mnuI_SelUndo", QStringLiteral(u"恢复选择(&U)"),
                 QKeySequence(Qt::CTRL | Qt::Key_Z), [c] { c->mnuI_SelUndo_Click(); });
    addSeparator(m_menuItem, "mnuI_Bar");
    QMenu* edit = m_menuItem->addMenu(QStringLiteral(u"编辑(&E)"));
    edit->setObjectName(QStringLiteral("mnuI_Edit"));
    edit->menuAction()->setObjectName(QStringLiteral("mnuI_Edit"));
    addMenuEntry(edit, "mnuIE_Title", QStringLiteral(u"章节标题(&T)"), QKeySequence(Qt::CTRL | Qt::Key_T),
                 [c] { c->mnuIE_Title_Click(); });
    addMenuEntry(edit, "mnuIE_ChapNum", QStringLiteral(u"章节序号(&N)"), QKeySequence(Qt::CTRL | Qt::Key_N),
                 [c] { c->mnuIE_ChapNum_Click(); });
    addMenuEntry(m_menuItem, "mnuI_Copy", QStringLiteral(u"复制(&C)"), none, [c] { c->mnuI_Copy_Click(); });
    addMenuEntry(m_menuItem, "mnuI_RemoveTitle", QStringLiteral(u"删除此标题(&M)"), none,
                 [c] { c->mnuI_RemoveTitle_Click(); });
    addSeparator(m_menuItem, "mnuI_Bar2");
    addMenuEntry(m_menuItem, "mnuI_NextAnomaly", QStringLiteral(u"下一个异常(&X)"), QKeySequence(Qt::Key_F3),
                 [c] { c->mnuI_NextAnomaly_Click(); });
    addMenuEntry(m_menuItem, "mnuI_Tidy", QStringLiteral(u"按编号整理(&B)"), none, [c] { c->mnuI_Tidy_Click(); });
    addMenuEntry(m_menuItem, "mnuI_IgnoreRepeats", QStringLiteral(u"忽略重复章节(&D)"), none,
                 [c] { c->mnuI_IgnoreRepeats_Click(); });
    addSeparator(m_menuItem, "mnuI_Bar3");
    addMenuEntry(m_menuItem, "mnuI_CheckSelected", QStringLiteral(u"勾选所选(&K)"), none,
                 [c] { c->mnuI_CheckSelected_Click(); });
    addMenuEntry(m_menuItem, "mnuI_UncheckSelected", QStringLiteral(u"取消勾选所选(&J)"), none,
                 [c] { c->mnuI_UncheckSelected_Click(); });

    QMenu* menuHelp = menu("menuHelp", QStringLiteral(u"帮助(&H)"));
    addMenuEntry(menuHelp, "mnuH_HomePage", QStringLiteral(u"我的主页(&H)"), none,
                 [c] { c->mnuH_HomePage_Click(); });
    addSeparator(menuHelp, "mnuH_Bar");
    addMenuEntry(menuHelp, "mnuH_About", QStringLiteral(u"关于(&A)..."), QKeySequence(Qt::Key_F1),
                 [c] { c->mnuH_About_Click(); });

    // The notification-area menu; it never shows on the menu bar.
    m_menuTray = new QMenu(QStringLiteral("menuTray"), w);
    m_menuTray->setObjectName(QStringLiteral("menuTray"));
    QAction* show = addMenuEntry(m_menuTray, "mnu_T_Show", QStringLiteral(u"显示窗口(&S)"), none,
                                 [c] { c->mnu_T_Show_Click(); });
    m_menuTray->setDefaultAction(show);
    addMenuEntry(m_menuTray, "mnu_T_Hide", QStringLiteral(u"隐藏窗口(&H)"), none,
                 [c] { c->mnu_T_Hide_Click(); });
    addSeparator(m_menuTray, "mnu_T_Bar");
    addMenuEntry(m_menuTray, "mnu_T_About", QStringLiteral(u"关于(&A)..."), none,
                 [c] { c->mnuH_About_Click(); });
    addMenuEntry(m_menuTray, "mnu_T_Exit", QStringLiteral(u"退出(&E)"), none, [c] { c->mnuF_Exit_Click(); });
}

void MainMenus::addToolButton(const char* key, int image, const QString& tip) {
    const QString name = QString::fromLatin1(key);
    QAction* a = m_toolConfig->addAction(toolIcon(image), QString());
    a->setObjectName(name);
    a->setToolTip(tip);
    m_toolConfig->widgetForAction(a)->setObjectName(name);
    QObject::connect(a, &QAction::triggered, &m_window, [this, name] { toolConfig_ButtonClick(name); });
    m_buttons.insert(name, a);
}

void MainMenus::addToolSeparator(const char* key) {
    m_toolConfig->addSeparator()->setObjectName(QString::fromLatin1(key));
}

void MainMenus::buildToolbar() {
    m_toolConfig = new QToolBar(&m_window);
    m_toolConfig->setObjectName(QStringLiteral("toolConfig"));
    m_toolConfig->setMovable(false);
    m_toolConfig->setFloatable(false);
    m_toolConfig->setIconSize(QSize(16, 16));
    m_toolConfig->setToolButtonStyle(Qt::ToolButtonIconOnly);
    m_window.addToolBar(Qt::TopToolBarArea, m_toolConfig);

    auto* holder = new QWidget(m_toolConfig);
    holder->setObjectName(QStringLiteral("holder1"));
    holder->setFixedWidth(6);
    m_toolConfig->addWidget(holder)->setObjectName(QStringLiteral("holder1"));
    addToolButton("open", 1, QStringLiteral(u"打开文本"));
    addToolButton("close", 2, QStringLiteral(u"关闭"));
    addToolSeparator("bar1");
    addToolButton("analyze", 3, QStringLiteral(u"重新分析"));
    addToolButton("saveout", 4, QStringLiteral(u"输出"));
    addToolButton("saveepub", 16, QStringLiteral(u"输出 EPUB"));
    addToolButton("stop", 5, QStringLiteral(u"停止"));
    addToolSeparator("bar2");
    addToolButton("tool", 6, QStringLiteral(u"工具栏"));
    addToolButton("status", 7, QStringLiteral(u"状态栏"));
    addToolSeparator("bar3");
    addToolButton("selall", 8, QStringLiteral(u"全选"));
    addToolButton("selreverse", 9, QStringLiteral(u"反选"));
    addToolButton("selnone", 10, QStringLiteral(u"全不选"));
    addToolButton("selundo", 11, QStringLiteral(u"恢复选择"));
    addToolSeparator("bar4");
    addToolButton("edit", 12, QStringLiteral(u"编辑"));
    addToolButton("copy", 13, QStringLiteral(u"复制"));
    addToolButton("config", 14, QStringLiteral(u"选项设置"));
    addToolSeparator("bar5");
    addToolButton("about", 15, QStringLiteral(u"关于"));

    for (const char* key : {"tool", "status"}) {
        QAction* a = m_buttons.value(QString::fromLatin1(key));
        a->setCheckable(true);
        a->setChecked(true);
    }

    auto* editMenu = new QMenu(m_toolConfig);
    editMenu->setObjectName(QStringLiteral("editMenu"));
    auto entry = [this, editMenu](const char* key, const QString& text) {
        const QString name = QString::fromLatin1(key);
        QAction* a = editMenu->addAction(text);
        a->setObjectName(name);
        QObject::connect(a, &QAction::triggered, &m_window,
                         [this, name] { toolConfig_ButtonMenuClick(name); });
        m_buttons.insert(name, a);
    };
    entry("editTitle", QStringLiteral(u"章节标题(&T)"));
    entry("editChapNum", QStringLiteral(u"章节序号(&N)"));
    auto* editButton =
        qobject_cast<QToolButton*>(m_toolConfig->widgetForAction(m_buttons.value(QStringLiteral("edit"))));
    editButton->setMenu(editMenu);
    editButton->setPopupMode(QToolButton::MenuButtonPopup);
}

void MainMenus::enableFor(int state) {
    const CommandStates c = commandStatesFor(state);
    for (const QString& name : stateMenus()) {
        m_menus.value(name)->setEnabled(false);
    }
    for (const QString& key : stateButtons()) {
        m_buttons.value(key)->setEnabled(false);
    }
    for (const QString& name : c.menus) {
        m_menus.value(name)->setEnabled(true);
    }
    for (const QString& key : c.buttons) {
        m_buttons.value(key)->setEnabled(true);
    }
    // Not in the command table: reviewing needs an analysed list, and a new encoding means a
    // new open, which waits for any pass to end.
    for (const char* name : {"mnuI_NextAnomaly", "mnuI_Tidy", "mnuI_IgnoreRepeats", "mnuI_CheckSelected", "mnuI_UncheckSelected"}) {
        m_menus.value(QString::fromLatin1(name))->setEnabled(state == Analysed);
    }
    m_menuEncoding->menuAction()->setEnabled(state == Opened || state == Analysed || state == Closed);
    // A book is written whenever the chapter files could be.
    m_menus.value(QStringLiteral("mnuO_SaveEpub"))->setEnabled(m_menus.value(QStringLiteral("mnuO_SaveOut"))->isEnabled());
    m_buttons.value(QStringLiteral("saveepub"))->setEnabled(m_buttons.value(QStringLiteral("saveout"))->isEnabled());
}

void MainMenus::syncEncoding(bool detect, TextCodec::Id id) {
    const int wanted = detect ? -1 : int(id);
    for (QAction* a : m_encodingGroup->actions()) {
        if (a->data().toInt() == wanted) {
            a->setChecked(true);
        }
    }
}

void MainMenus::toolConfig_ButtonClick(const QString& key) {
    static const QHash<QString, void (MainCommands::*)()> commands = {
        {QStringLiteral("open"), &MainCommands::mnuF_Open_Click},
        {QStringLiteral("close"), &MainCommands::mnuF_Close_Click},
        {QStringLiteral("analyze"), &MainCommands::mnuO_Analyze_Click},
        {QStringLiteral("saveout"), &MainCommands::mnuO_SaveOut_Click},
        {QStringLiteral("saveepub"), &MainCommands::mnuO_SaveEpub_Click},
        {QStringLiteral("stop"), &MainCommands::mnuO_Stop_Click},
        {QStringLiteral("selall"), &MainCommands::mnuI_SelAll_Click},
        {QStringLiteral("selreverse"), &MainCommands::mnuI_SelReverse_Click},
        {QStringLiteral("selnone"), &MainCommands::mnuI_SelNone_Click},
        {QStringLiteral("selundo"), &MainCommands::mnuI_SelUndo_Click},
        {QStringLiteral("edit"), &MainCommands::mnuIE_Title_Click},
        {QStringLiteral("copy"), &MainCommands::mnuI_Copy_Click},
        {QStringLiteral("config"), &MainCommands::mnuO_Option_Click},
        {QStringLiteral("about"), &MainCommands::mnuH_About_Click},
    };
    if (key == QLatin1String("tool")) {
        mnuV_Toolbar_Click();
        m_menus.value(QStringLiteral("mnuV_Toolbar"))->setChecked(m_buttons.value(key)->isChecked());
    } else if (key == QLatin1String("status")) {
        mnuV_Statusbar_Click();
        m_menus.value(QStringLiteral("mnuV_Statusbar"))->setChecked(m_buttons.value(key)->isChecked());
    } else if (const auto command = commands.value(key)) {
        (m_commands.*command)();
    }
}

void MainMenus::toolConfig_ButtonMenuClick(const QString& key) {
    if (key == QLatin1String("editTitle")) {
        m_commands.mnuIE_Title_Click();
    } else if (key == QLatin1String("editChapNum")) {
        m_commands.mnuIE_ChapNum_Click();
    }
}

void MainMenus::mnuV_Toolbar_Click() {
    QAction* entry = m_menus.value(QStringLiteral("mnuV_Toolbar"));
    entry->setChecked(!entry->isChecked());
    m_toolConfig->setVisible(entry->isChecked());
    m_buttons.value(QStringLiteral("tool"))->setChecked(entry->isChecked());
}

void MainMenus::mnuV_Statusbar_Click() {
    QAction* entry = m_menus.value(QStringLiteral("mnuV_Statusbar"));
    entry->setChecked(!entry->isChecked());
    m_window.statusBar()->setVisible(entry->isChecked());
    m_buttons.value(QStringLiteral("status"))->setChecked(entry->isChecked());
}
