#include "frmMain.h"

#include "ChapterPreviewPane.h"
#include "ErrorHook.h"
#include "Prompts.h"
#include "ToolIcons.h"
#include "WindowStyle.h"
#include "cCommonDialog.h"
#include "cTrayIcon.h"
#include "frmAbout.h"
#include "frmConfig.h"
#include "frmErr.h"
#include "frmYesAllNo.h"

#include "config/ConfigFile.h"
#include "config/Settings.h"
#include "config/StartUp.h"
#include "config/cInifile.h"
#include "core/AnalysisPass.h"
#include "core/ChapterPreview.h"
#include "core/NumberingReview.h"
#include "core/TitleRules.h"
#include "core/cRegExp.h"
#include "output/OutputPass.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QProgressBar>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <cmath>
#include <new>
#include <stdexcept>
#include <utility>

namespace {

constexpr int TwipsPerPixel = 15;
const QSize DesignedClientSize(598, 375);
const QSize MinimumTrackingSize(532, 400);

// Error numbers as the classic run-time library numbers them; users quote them in reports.
enum ErrorNumber { BadCall = 5, Overflow = 6, OutOfMemory = 7, TypeMismatch = 13, FileNotFound = 53, PathFile = 75 };

const QString NoSelection = QStringLiteral(u"请先选择一项！");
const QString EditCaption = QStringLiteral(u"编辑");

QString trimSpaces(const QString& s)
{
    qsizetype b = 0;
    qsizetype e = s.size();
    while (b < e && s.at(b) == u' ') {
        ++b;
    }
    while (e > b && s.at(e - 1) == u' ') {
        --e;
    }
    return s.mid(b, e - b);
}

// The colour of a numbering anomaly's marker, by kind.
QColor anomalyColor(NumberingAnomaly a)
{
    switch (a) {
    case NumberingAnomaly::Gap: return QColor(0xF0, 0x80, 0x00);       // orange
    case NumberingAnomaly::Duplicate: return QColor(0xE0, 0x20, 0x20); // red
    case NumberingAnomaly::StepBack: return QColor(0x90, 0x30, 0xC0);  // purple, unlike the selection
    case NumberingAnomaly::Zero: return QColor(0x80, 0x80, 0x80);      // grey
    case NumberingAnomaly::None: break;
    }
    return QColor();
}

// A short bar at the left of the cell, edged in white so that it stands out on a checked or
// selected row too.
QIcon anomalyMarker(NumberingAnomaly a)
{
    QPixmap bar(6, 14);
    bar.fill(Qt::white);
    QPainter p(&bar);
    p.fillRect(1, 1, 4, 12, anomalyColor(a));
    p.end();
    QIcon icon;
    for (QIcon::Mode mode : {QIcon::Normal, QIcon::Selected, QIcon::Active}) {
        icon.addPixmap(bar, mode);
    }
    return icon;
}

// Checked rows (ignored titles) are painted in their own colour; a 章节号 that breaks the
// numbering gets a marker.
class CheckedRowDelegate : public QStyledItemDelegate {
public:
    CheckedRowDelegate(const Settings& settings, QObject* parent) : QStyledItemDelegate(parent), m_settings(settings)
    {
        for (NumberingAnomaly a : {NumberingAnomaly::Gap, NumberingAnomaly::Duplicate, NumberingAnomaly::StepBack,
                                   NumberingAnomaly::Zero}) {
            m_markers[int(a)] = anomalyMarker(a);
        }
    }

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (index.siblingAtColumn(0).data(Qt::CheckStateRole).toInt() == Qt::Checked) {
            option->backgroundBrush = ColorFromNumber(m_settings.ItemBackColor);
        }
        if (index.column() == ChapterModel::ChapNumColumn) {
            const int a = index.data(ChapterModel::AnomalyRole).toInt();
            if (a > 0 && a < MarkerCount) {
                option->features |= QStyleOptionViewItem::HasDecoration;
                option->icon = m_markers[a];
                option->decorationSize = QSize(6, 14);
            }
        }
    }

private:
    static constexpr int MarkerCount = int(NumberingAnomaly::Zero) + 1;
    const Settings& m_settings;
    QIcon m_markers[MarkerCount];
};

// Balloons are cut short or rebuilt by the next one, and on some desktops each one is a
// notification of its own: progress goes out at most this often, and only when it changed.
constexpr qint64 ProgressBalloonInterval = 1000; // ms

// While the window is hidden, how often to check that the notification area is still there.
constexpr int TrayWatchInterval = 2000; // ms

// ShowNotice's kinds (information, warning, error) as balloon pictures; others have none.
qint32 balloonFlag(int kind) { return kind >= 0 && kind <= 2 ? kind + 1 : 0; }

} // namespace

// --- Construction ------------------------------------------------------------------------------------

frmMain::frmMain(Settings& settings, const QString& configPath, QWidget* parent)
    : frmMain(settings, configPath, TrayBackendFactory(), parent)
{
}

frmMain::frmMain(Settings& settings, const QString& configPath, TrayBackendFactory trayBackend, QWidget* parent)
    : QMainWindow(parent), m_settings(settings), m_configPath(configPath), m_trayBackend(std::move(trayBackend))
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowIcon(appIcon());
    QFont face(QStringLiteral(u"微软雅黑"), 9);
    setFont(face);
    // The toolbar's own show/hide menu would bypass the view menu's check marks.
    setContextMenuPolicy(Qt::NoContextMenu);
    frmErr::setLogFile(QFileInfo(configPath).absolutePath() + QStringLiteral("/err.log"));
    // The other windows report their trapped errors through the same report.
    setErrorReporter([this](const QString& description, qint32 number, const QString& context, QWidget* owner) {
        frmErr::ShowErrMsg(description, number, context, owner ? owner : this, m_settings);
    });

    buildMenus();
    buildToolbar();
    buildList();
    buildStatusBar();
    applyCommands(-1, false);
    resize(DesignedClientSize + QSize(0, menuBar()->sizeHint().height()));

    connect(&m_doc.model(), &ChapterModel::undoAvailableChanged, this, &frmMain::updateUndoCommand);
    connect(&m_doc.model(), &ChapterModel::checkCountChanged, this, &frmMain::ShowChapCount);

    // A window hidden in a notification area that has gone away would have no way back.
    m_trayWatch.setInterval(TrayWatchInterval);
    connect(&m_trayWatch, &QTimer::timeout, this, [this] {
        if (!isVisible() && !TrayAvailable()) {
            mnu_T_Show_Click();
        }
    });

    Form_Load();
}

frmMain::~frmMain()
{
    setErrorReporter({});
    g_SysTray.reset();
}

QAction* frmMain::addMenuEntry(QMenu* menu, const char* name, const QString& caption, const QKeySequence& shortcut,
                               void (frmMain::*handler)())
{
    QAction* a = menu->addAction(caption);
    a->setObjectName(QString::fromLatin1(name));
    a->setShortcut(shortcut);
    if (handler) {
        connect(a, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
    }
    m_menus.insert(a->objectName(), a);
    return a;
}

QAction* frmMain::addSeparator(QMenu* menu, const char* name)
{
    QAction* a = menu->addSeparator();
    a->setObjectName(QString::fromLatin1(name));
    return a;
}

void frmMain::buildMenus()
{
    QMenuBar* bar = menuBar();
    auto menu = [this, bar](const char* name, const QString& caption) {
        QMenu* m = bar->addMenu(caption);
        m->setObjectName(QString::fromLatin1(name));
        m->menuAction()->setObjectName(QString::fromLatin1(name));
        return m;
    };
    const QKeySequence none;

    QMenu* menuFile = menu("menuFile", QStringLiteral(u"文件(&F)"));
    addMenuEntry(menuFile, "mnuF_Open", QStringLiteral(u"打开(&O)..."), QKeySequence(Qt::CTRL | Qt::Key_O),
                 &frmMain::mnuF_Open_Click);
    addMenuEntry(menuFile, "mnuF_Close", QStringLiteral(u"关闭(&C)"), none, &frmMain::mnuF_Close_Click);
    addSeparator(menuFile, "mnuF_Bar");
    addMenuEntry(menuFile, "mnuF_Exit", QStringLiteral(u"退出(&E)"), none, &frmMain::mnuF_Exit_Click);

    // The view entries flip their own check mark when chosen; the handlers act on the new mark.
    QMenu* menuView = menu("menuView", QStringLiteral(u"查看(&V)"));
    QAction* viewTool = addMenuEntry(menuView, "mnuV_Toolbar", QStringLiteral(u"工具栏(&T)"), none, nullptr);
    QAction* viewStatus = addMenuEntry(menuView, "mnuV_Statusbar", QStringLiteral(u"状态栏(&S)"), none, nullptr);
    for (QAction* a : {viewTool, viewStatus}) {
        a->setCheckable(true);
        a->setChecked(true);
    }
    connect(viewTool, &QAction::triggered, this, [this](bool on) {
        toolConfig->setVisible(on);
        m_buttons.value(QStringLiteral("tool"))->setChecked(on);
    });
    connect(viewStatus, &QAction::triggered, this, [this](bool on) {
        staStatus->setVisible(on);
        m_buttons.value(QStringLiteral("status"))->setChecked(on);
    });
    addSeparator(menuView, "mnuV_Bar");
    QAction* viewPreview = addMenuEntry(menuView, "mnuV_Preview", QStringLiteral(u"章节预览(&P)"), none, nullptr);
    viewPreview->setCheckable(true);
    viewPreview->setChecked(true);
    connect(viewPreview, &QAction::triggered, this, [this](bool on) {
        setPreviewShown(on);
        m_settings.ShowPreview = on;
        // Kept at once, like the window position: a view choice is not worth a trip to the options.
        if (QFileInfo::exists(m_configPath) && !m_configUnreadable) {
            cInifile ini;
            ini.setPath(m_configPath);
            ini.setSection(QStringLiteral("favorite"));
            ini.setKey(QStringLiteral("ShowPreview"));
            ini.setValue(on ? QStringLiteral("True") : QStringLiteral("False"));
            if (!ini.Success()) {
                ShowErrMsg(ini.errorString(), PathFile, QStringLiteral("frmMain::mnuV_Preview_Click()"));
            }
        }
    });

    // How the next novel is read; the choice stays until changed.
    menuEncoding = menu("mnuE_Encoding", QStringLiteral(u"编码(&E)"));
    m_encodingGroup = new QActionGroup(this);
    m_encodingGroup->setExclusive(true);
    auto encoding = [this](const char* name, const QString& caption, bool detect, TextCodec::Id id) {
        QAction* a = addMenuEntry(menuEncoding, name, caption, QKeySequence(), nullptr);
        a->setCheckable(true);
        a->setData(detect ? -1 : int(id));
        m_encodingGroup->addAction(a);
        connect(a, &QAction::triggered, this, [this, detect, id] { mnuE_Encoding_Click(detect, id); });
    };
    encoding("mnuE_Auto", QStringLiteral(u"自动检测(&A)"), true, TextCodec::Gbk);
    addSeparator(menuEncoding, "mnuE_Bar");
    const std::pair<const char*, TextCodec::Id> codecs[] = {
        {"mnuE_GBK", TextCodec::Gbk},         {"mnuE_GB18030", TextCodec::Gb18030},
        {"mnuE_UTF8", TextCodec::Utf8},       {"mnuE_UTF16LE", TextCodec::Utf16LE},
        {"mnuE_UTF16BE", TextCodec::Utf16BE}, {"mnuE_Big5", TextCodec::Big5},
    };
    for (const auto& [name, id] : codecs) {
        encoding(name, TextCodec::forId(id).name(), false, id);
    }
    syncEncodingMenu();

    QMenu* menuOperate = menu("menuOperate", QStringLiteral(u"操作(&O)"));
    addMenuEntry(menuOperate, "mnuO_Analyze", QStringLiteral(u"重新分析(&A)"), QKeySequence(Qt::CTRL | Qt::Key_L),
                 &frmMain::mnuO_Analyze_Click);
    addMenuEntry(menuOperate, "mnuO_SaveOut", QStringLiteral(u"输出(&T)"), QKeySequence(Qt::CTRL | Qt::Key_S),
                 &frmMain::mnuO_SaveOut_Click);
    addMenuEntry(menuOperate, "mnuO_Stop", QStringLiteral(u"停止(&S)"), QKeySequence(Qt::Key_F11),
                 &frmMain::mnuO_Stop_Click);
    addSeparator(menuOperate, "mnuO_Bar");
    addMenuEntry(menuOperate, "mnuO_Option", QStringLiteral(u"选项(&O)..."), QKeySequence(Qt::Key_F4),
                 &frmMain::mnuO_Option_Click);

    menuItem = menu("menuItem", QStringLiteral(u"标题(&I)"));
    addMenuEntry(menuItem, "mnuI_SelAll", QStringLiteral(u"全选(&S)"), QKeySequence(Qt::CTRL | Qt::Key_A),
                 &frmMain::mnuI_SelAll_Click);
    addMenuEntry(menuItem, "mnuI_SelReverse", QStringLiteral(u"反选(&R)"), none, &frmMain::mnuI_SelReverse_Click);
    addMenuEntry(menuItem, "mnuI_SelNone", QStringLiteral(u"全不选(&N)"), none, &frmMain::mnuI_SelNone_Click);
    addMenuEntry(menuItem, "mnuI_SelUndo", QStringLiteral(u"恢复选择(&U)"), QKeySequence(Qt::CTRL | Qt::Key_Z),
                 &frmMain::mnuI_SelUndo_Click);
    addSeparator(menuItem, "mnuI_Bar");
    QMenu* edit = menuItem->addMenu(QStringLiteral(u"编辑(&E)"));
    edit->setObjectName(QStringLiteral("mnuI_Edit"));
    edit->menuAction()->setObjectName(QStringLiteral("mnuI_Edit"));
    addMenuEntry(edit, "mnuIE_Title", QStringLiteral(u"章节标题(&T)"), QKeySequence(Qt::CTRL | Qt::Key_T),
                 &frmMain::mnuIE_Title_Click);
    addMenuEntry(edit, "mnuIE_ChapNum", QStringLiteral(u"章节序号(&N)"), QKeySequence(Qt::CTRL | Qt::Key_N),
                 &frmMain::mnuIE_ChapNum_Click);
    addMenuEntry(menuItem, "mnuI_Copy", QStringLiteral(u"复制(&C)"), none, &frmMain::mnuI_Copy_Click);
    addSeparator(menuItem, "mnuI_Bar2");
    addMenuEntry(menuItem, "mnuI_NextAnomaly", QStringLiteral(u"下一个异常(&X)"), QKeySequence(Qt::Key_F3),
                 &frmMain::mnuI_NextAnomaly_Click);

    QMenu* menuHelp = menu("menuHelp", QStringLiteral(u"帮助(&H)"));
    addMenuEntry(menuHelp, "mnuH_HomePage", QStringLiteral(u"我的主页(&H)"), none, &frmMain::mnuH_HomePage_Click);
    addSeparator(menuHelp, "mnuH_Bar");
    addMenuEntry(menuHelp, "mnuH_About", QStringLiteral(u"关于(&A)..."), QKeySequence(Qt::Key_F1),
                 &frmMain::mnuH_About_Click);

    // The notification-area menu; it never shows on the menu bar.
    menuTray = new QMenu(QStringLiteral("menuTray"), this);
    menuTray->setObjectName(QStringLiteral("menuTray"));
    QAction* show = addMenuEntry(menuTray, "mnu_T_Show", QStringLiteral(u"显示窗口(&S)"), none,
                                 &frmMain::mnu_T_Show_Click);
    menuTray->setDefaultAction(show);
    addMenuEntry(menuTray, "mnu_T_Hide", QStringLiteral(u"隐藏窗口(&H)"), none, &frmMain::mnu_T_Hide_Click);
    addSeparator(menuTray, "mnu_T_Bar");
    addMenuEntry(menuTray, "mnu_T_About", QStringLiteral(u"关于(&A)..."), none, &frmMain::mnuH_About_Click);
    addMenuEntry(menuTray, "mnu_T_Exit", QStringLiteral(u"退出(&E)"), none, &frmMain::mnuF_Exit_Click);
}

void frmMain::addToolButton(const char* key, int image, const QString& tip)
{
    const QString name = QString::fromLatin1(key);
    QAction* a = toolConfig->addAction(toolIcon(image), QString());
    a->setObjectName(name);
    a->setToolTip(tip);
    toolConfig->widgetForAction(a)->setObjectName(name);
    connect(a, &QAction::triggered, this, [this, name] { toolConfig_ButtonClick(name); });
    m_buttons.insert(name, a);
}

void frmMain::addToolSeparator(const char* key)
{
    toolConfig->addSeparator()->setObjectName(QString::fromLatin1(key));
}

void frmMain::buildToolbar()
{
    toolConfig = new QToolBar(this);
    toolConfig->setObjectName(QStringLiteral("toolConfig"));
    toolConfig->setMovable(false);
    toolConfig->setFloatable(false);
    toolConfig->setIconSize(QSize(16, 16));
    toolConfig->setToolButtonStyle(Qt::ToolButtonIconOnly);
    addToolBar(Qt::TopToolBarArea, toolConfig);

    auto* holder = new QWidget(toolConfig);
    holder->setObjectName(QStringLiteral("holder1"));
    holder->setFixedWidth(6);
    toolConfig->addWidget(holder)->setObjectName(QStringLiteral("holder1"));
    addToolButton("open", 1, QStringLiteral(u"打开文本"));
    addToolButton("close", 2, QStringLiteral(u"关闭"));
    addToolSeparator("bar1");
    addToolButton("analyze", 3, QStringLiteral(u"重新分析"));
    addToolButton("saveout", 4, QStringLiteral(u"输出"));
    addToolButton("stop", 5, QStringLiteral(u"停止"));
    addToolSeparator("bar2");
    addToolButton("tool", 6, QStringLiteral(u"工具栏"));
    addToolButton("status", 7, QStringLiteral(u"状态栏"));
    addToolSeparator("bar3");
    addToolButton("selall", 8, QStringLiteral(u"全选"));
    addToolButton("selreverse", 9, QStringLiteral(u"反选"));
    addToolButton("selnone", 10, QStringLiteral(u"全不选"));
    addToolButton("selundo", 11, QStringLiteral(u"撤消选择"));
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

    auto* editMenu = new QMenu(toolConfig);
    editMenu->setObjectName(QStringLiteral("editMenu"));
    auto entry = [this, editMenu](const char* key, const QString& text) {
        const QString name = QString::fromLatin1(key);
        QAction* a = editMenu->addAction(text);
        a->setObjectName(name);
        connect(a, &QAction::triggered, this, [this, name] { toolConfig_ButtonMenuClick(name); });
        m_buttons.insert(name, a);
    };
    entry("editTitle", QStringLiteral(u"章节标题(&T)"));
    entry("editChapNum", QStringLiteral(u"章节序号(&N)"));
    auto* editButton = qobject_cast<QToolButton*>(toolConfig->widgetForAction(m_buttons.value(QStringLiteral("edit"))));
    editButton->setMenu(editMenu);
    editButton->setPopupMode(QToolButton::MenuButtonPopup);
}

void frmMain::buildList()
{
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(client);
    layout->setContentsMargins(0, 0, 0, 0);

    lvwTitles = new QTreeView(client);
    lvwTitles->setObjectName(QStringLiteral("lvwTitles"));
    lvwTitles->setModel(&m_doc.model());
    lvwTitles->setRootIsDecorated(false);
    lvwTitles->setUniformRowHeights(true);
    lvwTitles->setAllColumnsShowFocus(true);
    lvwTitles->setSelectionMode(QAbstractItemView::SingleSelection);
    lvwTitles->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvwTitles->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvwTitles->setSortingEnabled(false);
    lvwTitles->setItemDelegate(new CheckedRowDelegate(m_settings, lvwTitles));
    lvwTitles->setAcceptDrops(true);
    lvwTitles->viewport()->setAcceptDrops(true);
    lvwTitles->viewport()->installEventFilter(this);
    QHeaderView* header = lvwTitles->header();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(false);
    header->setSectionsMovable(false);
    header->setStretchLastSection(false);
    const int widths[ChapterModel::ColumnCount] = {64, 150, 190, 64, 150, 60};
    for (int c = 0; c < ChapterModel::ColumnCount; ++c) {
        lvwTitles->setColumnWidth(c, widths[c]);
    }
    connect(header, &QHeaderView::sectionClicked, this, &frmMain::lvwTitles_ColumnClick);
    // A check mark colours its whole row, not only the cell that holds it.
    connect(&m_doc.model(), &QAbstractItemModel::dataChanged, lvwTitles,
            [this](const QModelIndex&, const QModelIndex&, const QList<int>& roles) {
                if (roles.isEmpty() || roles.contains(Qt::CheckStateRole)) {
                    lvwTitles->viewport()->update();
                }
            });
    connect(lvwTitles, &QTreeView::doubleClicked, this, &frmMain::lvwTitles_DblClick);

    // A check mark or a chapter number changes the review, and the end of the chapter shown.
    connect(&m_doc.model(), &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& from, const QModelIndex& to, const QList<int>& roles) {
                const bool checks = roles.isEmpty() || roles.contains(Qt::CheckStateRole);
                const bool numbers = roles.contains(Qt::DisplayRole) && from.column() <= ChapterModel::ChapNumColumn &&
                                     to.column() >= ChapterModel::ChapNumColumn;
                if (checks || numbers) {
                    ReviewNumbering();
                }
                if (checks) {
                    ShowPreview();
                }
            });

    splTitles = new QSplitter(Qt::Vertical, client);
    splTitles->setObjectName(QStringLiteral("splTitles"));
    splTitles->setChildrenCollapsible(false);
    splTitles->addWidget(lvwTitles);
    txtPreview = new ChapterPreviewPane(splTitles);
    splTitles->addWidget(txtPreview);
    splTitles->setStretchFactor(0, 3);
    splTitles->setStretchFactor(1, 2);
    connect(lvwTitles->selectionModel(), &QItemSelectionModel::selectionChanged, this, &frmMain::ShowPreview);
    // A new analysis, or closing, empties the list without a selection change.
    connect(&m_doc.model(), &QAbstractItemModel::modelReset, txtPreview, &QPlainTextEdit::clear);
    layout->addWidget(splTitles);
    setCentralWidget(client);
}

void frmMain::buildStatusBar()
{
    staStatus = new QStatusBar(this);
    staStatus->setObjectName(QStringLiteral("staStatus"));
    staStatus->setMinimumHeight(22);
    setStatusBar(staStatus);

    m_panelText = new QLabel(QStringLiteral(u"就绪"), staStatus);
    m_panelText->setObjectName(QStringLiteral("text"));
    m_panelText->setMinimumWidth(96);
    // Panels are ordinary status-bar widgets, so a drag message (single-text mode) hides both.
    staStatus->addWidget(m_panelText, 1);

    m_panelProcess = new QWidget(staStatus);
    m_panelProcess->setObjectName(QStringLiteral("process"));
    m_panelProcess->setFixedWidth(220);
    auto* layout = new QHBoxLayout(m_panelProcess);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_panelPercent = new QLabel(m_panelProcess);
    m_panelPercent->setObjectName(QStringLiteral("processText"));
    m_panelPercent->setFixedWidth(44);
    prgDone = new QProgressBar(m_panelProcess);
    prgDone->setObjectName(QStringLiteral("prgDone"));
    prgDone->setFixedSize(172, 14);
    prgDone->setTextVisible(false);
    prgDone->hide();
    layout->addWidget(m_panelPercent);
    layout->addWidget(prgDone);
    layout->addStretch(1);
    staStatus->addWidget(m_panelProcess, 0);

    m_panelEncoding = new QLabel(staStatus);
    m_panelEncoding->setObjectName(QStringLiteral("encoding"));
    m_panelEncoding->setMinimumWidth(72);
    m_panelEncoding->setAlignment(Qt::AlignCenter);
    staStatus->addWidget(m_panelEncoding, 0);
}

// --- Lifecycle -------------------------------------------------------------------------------------------

template <typename Body> void frmMain::trap(const QString& context, Body body)
{
    try {
        body();
    } catch (const std::bad_alloc&) {
        ShowErrMsg(QStringLiteral(u"内存不足"), OutOfMemory, context);
    } catch (const std::exception& e) {
        ShowErrMsg(QString::fromLocal8Bit(e.what()), BadCall, context);
    }
}

void frmMain::ShowErrMsg(const QString& description, int number, const QString& context)
{
    frmErr::ShowErrMsg(description, number, context, this, m_settings);
}

void frmMain::Form_Load()
{
    trap(QStringLiteral("frmMain::Form_Load()"), [this] {
        ActivatedOnce = false;
        if (QFileInfo::exists(m_configPath)) {
            // Told at the first activation, when there is a window to stand over.
            m_configUnreadable = !LoadConfig(m_settings, m_configPath, &m_configError);
        }
        setWindowTitle(AppTitle());

        const Settings& s = m_settings;
        // The saved values are twips; the limits are compared with them as they are stored.
        if (s.PositionTop > 0 && s.PositionLeft > 0 && s.PositionWidth >= MinimumTrackingSize.width() &&
            s.PositionHeight >= MinimumTrackingSize.height()) {
            move(qRound(double(s.PositionLeft) / TwipsPerPixel), qRound(double(s.PositionTop) / TwipsPerPixel));
            const QRect screenRect = screen() ? screen()->geometry() : QRect();
            if (s.PositionWidth < screenRect.width() * TwipsPerPixel &&
                s.PositionHeight < screenRect.height() * TwipsPerPixel) {
                m_savedSize = QSize(qRound(double(s.PositionWidth) / TwipsPerPixel),
                                    qRound(double(s.PositionHeight) / TwipsPerPixel));
                resize(m_savedSize);
            }
        }
        if (s.TopMost) {
            setWindowFlag(Qt::WindowStaysOnTopHint, true);
        }
        m_menus.value(QStringLiteral("mnuV_Preview"))->setChecked(s.ShowPreview);
        setPreviewShown(s.ShowPreview);
    });
}

void frmMain::Form_Activate()
{
    if (ActivatedOnce) {
        return;
    }
    // Set first: a failed set-up is not retried, and the warning box below must not re-enter.
    ActivatedOnce = true;
    trap(QStringLiteral("frmMain::Form_Activate()"), [this] {
        m_doc.model().resetUndo();
        updateUndoCommand();
        if (m_configUnreadable) {
            // Left as it is: whatever is in it is the user's, and it may be readable again later.
            Prompts::messageBox(this,
                                QStringLiteral(u"配置文件 config.ini 无法读取,本次使用默认设置,退出时不保存窗口位置。\r\n") +
                                    m_configError,
                                QStringLiteral(u"初始化"), QMessageBox::Warning);
        } else if (!QFileInfo::exists(m_configPath)) {
            Prompts::messageBox(this, QStringLiteral(u"配置文件 config.ini 丢失,即将重建!"),
                                QStringLiteral(u"初始化"), QMessageBox::Warning);
            QString error;
            if (!WriteDefaultConfig(m_settings, m_configPath, &error)) {
                ShowErrMsg(error, PathFile, QStringLiteral("frmMain::Form_Activate()"));
            }
        }
        applyListColor();

        prgDone->setValue(0);
        prgDone->hide();
        m_buttons.value(QStringLiteral("tool"))->setChecked(true);
        m_buttons.value(QStringLiteral("status"))->setChecked(true);

        g_SysTray = std::make_unique<cTrayIcon>(m_trayBackend ? m_trayBackend() : std::make_unique<QtTrayBackend>());
        g_SysTray->Initialize(windowIcon(), AppTitle());
        connect(g_SysTray.get(), &cTrayIcon::DblClick, this, &frmMain::mnu_T_Show_Click);
        connect(g_SysTray.get(), &cTrayIcon::BalloonClick, this, &frmMain::mnu_T_Show_Click);
        connect(g_SysTray.get(), &cTrayIcon::RightMouseUp, this, &frmMain::g_SysTray_RightMouseUp);
        connect(g_SysTray.get(), &cTrayIcon::NIError, this, [this] { m_trayRefused = true; });

        ApplyFont();
        SetState(Closed);

        m_framePending = true;
        fitToFrame();
    });
    if (!m_openAfterActivation.isEmpty()) {
        const QString path = std::exchange(m_openAfterActivation, QString());
        QMetaObject::invokeMethod(this, [this, path] { OpenTextFile(path); }, Qt::QueuedConnection);
    }
}

QSize frmMain::frameExtent() const
{
    return frameGeometry().size() - size();
}

// Saved sizes and the minimum size are outer sizes, but the frame is known only once the
// desktop has framed the window: at the first activation, or later with the move that framing
// causes. Until then the window keeps its outer size as its inner one, and sizing it before
// would save a size larger by the frame at every start.
void frmMain::fitToFrame()
{
    const QSize frame = frameExtent();
    setMinimumSize((MinimumTrackingSize - frame).expandedTo(QSize(0, 0)));
    if (frame.width() <= 0 && frame.height() <= 0) {
        return;
    }
    m_framePending = false;
    if (m_savedSize.isValid()) {
        resize(m_savedSize - frame);
    }
}

void frmMain::Form_Unload()
{
    const Qt::WindowStates special = Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen;
    if (!(windowState() & special) && m_settings.LogPosition && !m_configUnreadable) {
        const QRect f = frameGeometry();
        QString error;
        if (!SavePosition(m_configPath, f.x() * TwipsPerPixel, f.y() * TwipsPerPixel, f.width() * TwipsPerPixel,
                          f.height() * TwipsPerPixel, &error)) {
            ShowErrMsg(error, PathFile, QStringLiteral("frmMain::Form_Unload()"));
        }
    }
    if (m_doc.isOpen()) {
        CloseTextFile();
    }
    m_trayWatch.stop();
    g_SysTray.reset(); // takes the icon out of the notification area
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget* w : windows) {
        if (w != this && w->isVisible()) {
            w->close();
        }
    }
    emit unloaded();
}

bool frmMain::event(QEvent* e)
{
    if (e->type() == QEvent::WindowActivate) {
        Form_Activate();
    }
    if (m_framePending && (e->type() == QEvent::Move || e->type() == QEvent::Resize)) {
        fitToFrame();
    }
    // Hovering a menu entry would clear a drag message; the status bar shows only our texts.
    if (e->type() == QEvent::StatusTip) {
        return true;
    }
    return QMainWindow::event(e);
}

void frmMain::showEvent(QShowEvent* e)
{
    QMainWindow::showEvent(e);
    // Queued, so that the window is on screen before the first activation may warn.
    if (!ActivatedOnce) {
        QMetaObject::invokeMethod(this, &frmMain::Form_Activate, Qt::QueuedConnection);
    }
}

void frmMain::OpenAfterActivation(const QString& path)
{
    if (ActivatedOnce) {
        OpenTextFile(path);
    } else {
        m_openAfterActivation = path;
    }
}

void frmMain::changeEvent(QEvent* e)
{
    QMainWindow::changeEvent(e);
    if (e->type() == QEvent::WindowStateChange && isMinimized() && m_settings.MiniToTray) {
        // After the state change has run its course: a minimise that also shows the window
        // (showMinimized) would otherwise bring it straight back.
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (isVisible() && isMinimized() && m_settings.MiniToTray) {
                    mnu_T_Hide_Click();
                }
            },
            Qt::QueuedConnection);
    }
}

void frmMain::closeEvent(QCloseEvent* e)
{
    // Closing under a running pass would pull the open file from under it: ask the pass to
    // stop instead, and close once it has ended.
    if (m_passRunning) {
        e->ignore();
        m_closePending = true;
        if (m_doc.DocState == Busy) {
            m_doc.DocState = StopRequested;
        }
        return;
    }
    Form_Unload();
    e->accept();
}

void frmMain::mnuF_Exit_Click() { close(); }

// --- Command states --------------------------------------------------------------------------------------

void frmMain::SetState(int state)
{
    m_doc.SetState(state);
    applyCommands(state, true);
}

void frmMain::applyCommands(int state, bool withStatus)
{
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
    m_menus.value(QStringLiteral("mnuI_NextAnomaly"))->setEnabled(state == Analysed);
    menuEncoding->menuAction()->setEnabled(state == Opened || state == Analysed || state == Closed);
    if (withStatus && !c.statusText.isNull()) {
        setStatusText(c.statusText);
    }
    if (state >= Busy && state <= Closed) {
        m_appliedState = state;
        // Only the user's own toggles on an analysed list are recorded for undo.
        m_doc.model().setUndoRecording(state == Analysed);
    }
    updateUndoCommand();
}

void frmMain::syncCommands()
{
    const int state = m_doc.DocState;
    if (state >= Busy && state <= Closed && state != m_appliedState) {
        applyCommands(state, false);
    }
}

void frmMain::updateUndoCommand()
{
    // A pass leaves only Stop usable: undoing checks while it rebuilds or walks the list
    // would spoil its count.
    const bool on = m_doc.model().canUndo() && m_appliedState != Busy;
    m_menus.value(QStringLiteral("mnuI_SelUndo"))->setEnabled(on);
    m_buttons.value(QStringLiteral("selundo"))->setEnabled(on);
}

QString frmMain::panelText(const QString& key) const
{
    if (key == QLatin1String("text")) {
        return m_panelText->text();
    }
    if (key == QLatin1String("process")) {
        return m_panelPercent->text();
    }
    if (key == QLatin1String("encoding")) {
        return m_panelEncoding->text();
    }
    return QString();
}

QString frmMain::panelToolTip(const QString& key) const
{
    if (key == QLatin1String("text")) {
        return m_panelText->toolTip();
    }
    if (key == QLatin1String("encoding")) {
        return m_panelEncoding->toolTip();
    }
    return QString();
}

// --- Document ------------------------------------------------------------------------------------------

void frmMain::mnuF_Open_Click()
{
    cCommonDialog dialog;
    QString fileName;
    QString fileTitle;
    bool readOnly = false;
    QString filter = QStringLiteral(u"文本文件 (*.txt)|*.txt|所有文件|*.*");
    qint32 filterIndex = 1;
    qint32 flags = 0;
    if (!dialog.VBGetOpenFileName(fileName, fileTitle, true, false, readOnly, true, filter, filterIndex, QString(),
                                  QStringLiteral(u"打开小说文件"), QString(), this, flags)) {
        setStatusText(QStringLiteral(u"取消打开..."));
        return;
    }
    OpenTextFile(fileName);
}

bool frmMain::OpenTextFile(const QString& path)
{
    if (m_passRunning) {
        return false;
    }
    const QString context = QStringLiteral("frmMain::OpenTextFile()");
    bool opened = false;
    trap(context, [&] {
        if (m_doc.isOpen()) {
            CloseTextFile();
        }
        QString error;
        if (!m_doc.OpenTextFile(path, &error)) {
            ShowErrMsg(error, QFileInfo::exists(path) ? PathFile : FileNotFound, context);
            return;
        }
        setWindowTitle(Document::fileNamePart(path) + QStringLiteral(" - ") + AppTitle());
        showEncoding();
        SetState(Opened);
        // Written after the state's own text so that the line count is what stays visible.
        setStatusText(QStringLiteral(u"打开完毕,共 %1 行!").arg(m_doc.LineCount));
        opened = true;
    });
    if (opened && m_settings.AutoAnalyze) {
        mnuO_Analyze_Click();
    }
    return opened;
}

void frmMain::CloseTextFile()
{
    if (!m_doc.isOpen()) {
        return;
    }
    m_doc.CloseTextFile();
    SetState(Closed);
    setWindowTitle(AppTitle());
    setStatusText(QStringLiteral(u"就绪"));
    m_panelText->setToolTip(QString());
    showEncoding();
}

void frmMain::mnuF_Close_Click()
{
    CloseTextFile();
    setWindowTitle(AppTitle());
}

// --- Passes ------------------------------------------------------------------------------------------------

void frmMain::mnuO_Analyze_Click()
{
    if (m_passRunning) {
        return;
    }
    m_passRunning = true;
    trap(QStringLiteral("frmMain::mnuO_Analyze_Click()"), [this] { RunAnalysis(m_doc, m_settings, *this); });
    ReviewNumbering();
    afterPass();
}

void frmMain::mnuO_SaveOut_Click()
{
    if (m_passRunning) {
        return;
    }
    m_passRunning = true;
    trap(QStringLiteral("frmMain::mnuO_SaveOut_Click()"), [this] { RunOutput(m_doc, m_settings, *this); });
    afterPass();
}

void frmMain::afterPass()
{
    m_passRunning = false;
    syncCommands();
    if (m_closePending) {
        m_closePending = false;
        close();
    }
}

void frmMain::mnuO_Stop_Click() { m_doc.DocState = StopRequested; }

void frmMain::setStatusText(const QString& text) { m_panelText->setText(text); }

void frmMain::setProcessText(const QString& text) { m_panelPercent->setText(text); }

void frmMain::progressStart(qint64 maximum)
{
    syncCommands();
    m_lastProgressBalloon.clear();
    m_progressBalloonClock.invalidate();
    prgDone->setRange(0, int(std::clamp<qint64>(maximum, 1, INT_MAX)));
    prgDone->setValue(0);
    prgDone->show();
}

void frmMain::progress(qint64 value, int percent, const QString& balloonText, const QString& balloonTitle)
{
    if (outOfSight() && m_settings.ShowBalloonTip && g_SysTray && g_SysTray->Visible()) {
        // Out of sight the bar is left alone; a skipped step is shown by a later balloon.
        const bool due = !m_progressBalloonClock.isValid() ||
                         m_progressBalloonClock.hasExpired(ProgressBalloonInterval);
        if (balloonText == m_lastProgressBalloon || !due) {
            return;
        }
        if (TrayBalloon(balloonText, balloonTitle, 0)) {
            m_lastProgressBalloon = balloonText;
            m_progressBalloonClock.start();
            return;
        }
    }
    prgDone->setValue(int(std::clamp<qint64>(value, 0, prgDone->maximum())));
    setProcessText(QString::number(percent) + u'%');
}

void frmMain::progressEnd()
{
    prgDone->setValue(0);
    prgDone->hide();
}

void frmMain::setListVisible(bool visible)
{
    // The preview goes with the list: while a pass rebuilds the list it has nothing to show.
    // Hiding the splitter as a whole keeps the sizes of its panes.
    splTitles->setVisible(visible);
}

void frmMain::processEvents()
{
    syncCommands();
    QCoreApplication::processEvents();
}

void frmMain::messageBox(const QString& text, const QString& caption, Icon icon)
{
    syncCommands();
    QMessageBox::Icon i = QMessageBox::NoIcon;
    switch (icon) {
    case Information: i = QMessageBox::Information; break;
    case Warning: i = QMessageBox::Warning; break;
    case Critical: i = QMessageBox::Critical; break;
    case Question: i = QMessageBox::Question; break;
    }
    Prompts::messageBox(this, text, caption, i);
}

bool frmMain::askYesNo(const QString& text, const QString& caption)
{
    syncCommands();
    return Prompts::askYesNo(this, text, caption);
}

void frmMain::notice(const QString& text, const QString& caption, int kind)
{
    syncCommands();
    ShowNotice(text, caption, kind);
}

void frmMain::balloonIfHidden(const QString& text, const QString& title)
{
    if (!isVisible() && m_settings.ShowBalloonTip) {
        TrayBalloon(text, title, 0);
    }
}

QString frmMain::askOverwrite(const QString& path)
{
    syncCommands();
    return frmYesAllNo::ShowMsg(path, this, m_settings);
}

void frmMain::error(const QString& description, int number, const QString& context)
{
    syncCommands();
    ShowErrMsg(description, number, context);
}

bool frmMain::TrayBalloon(const QString& text, const QString& title, int kind)
{
    // A balloon for an icon that is not shown would be seen by no one.
    if (!g_SysTray || !g_SysTray->Visible()) {
        return false;
    }
    m_trayRefused = false;
    g_SysTray->TrayBalloon(text, title, balloonFlag(kind));
    return !m_trayRefused;
}

bool frmMain::TrayAvailable() const { return g_SysTray && g_SysTray->isAvailable(); }

void frmMain::ShowNotice(const QString& message, const QString& caption, int kind)
{
    // Minimised without an icon in the notification area, the box is where the notice is kept.
    if (outOfSight() && m_settings.ShowBalloonTip && TrayBalloon(message, caption, kind)) {
        return;
    }
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (kind) {
    case 0: icon = QMessageBox::Information; break;
    case 1: icon = QMessageBox::Warning; break;
    case 2: icon = QMessageBox::Critical; break;
    default: break;
    }
    Prompts::messageBox(this, message, caption, icon);
}

void frmMain::ShowChapCount(int ignored)
{
    setStatusText(ChapCountText(m_doc.model().recordCount(), ignored));
}

// --- List editing -----------------------------------------------------------------------------------------

int frmMain::selectedRow() const
{
    const QModelIndexList rows = lvwTitles->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void frmMain::selectRow(int row)
{
    const QModelIndex index = m_doc.model().index(row, 0);
    lvwTitles->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                            QItemSelectionModel::Rows);
    lvwTitles->scrollTo(index);
}

void frmMain::lvwTitles_ColumnClick(int column)
{
    if (m_doc.DocState != Analysed) {
        return;
    }
    trap(QStringLiteral("frmMain::SortItem()"), [&] {
        m_doc.model().SortByColumn(column + 1, m_doc.model().sortOrderTag().toInt());
    });
}

void frmMain::mnuI_SelAll_Click() { m_doc.model().SelAll(); }
void frmMain::mnuI_SelNone_Click() { m_doc.model().SelNone(); }
void frmMain::mnuI_SelReverse_Click() { m_doc.model().SelReverse(); }

void frmMain::mnuI_SelUndo_Click()
{
    trap(QStringLiteral("frmMain::mnuI_SelUndo_Click()"), [this] {
        const int row = m_doc.model().SelUndo();
        if (row >= 0) {
            selectRow(row);
        }
    });
}

void frmMain::mnuIE_Title_Click()
{
    trap(QStringLiteral("frmMain::mnuIE_Title_Click()"), [this] {
        const int row = selectedRow();
        if (row < 0) {
            Prompts::messageBox(this, NoSelection, EditCaption, QMessageBox::Warning);
            return;
        }
        ChapterModel& model = m_doc.model();
        const int r = model.tag(row);
        QString answer;
        if (!Prompts::inputBox(this, QStringLiteral(u"请输入新的标题："), QStringLiteral(u"编辑章节标题"),
                               model.title().at(r), &answer)) {
            return;
        }
        answer = trimSpaces(answer);
        if (answer.isEmpty()) {
            return;
        }
        model.UpdateChapItem(row, model.chapnum().at(r), answer, m_settings.OutFile);
    });
}

void frmMain::mnuIE_ChapNum_Click()
{
    const QString context = QStringLiteral("frmMain::mnuIE_ChapNum_Click()");
    trap(context, [&] {
        const int row = selectedRow();
        if (row < 0) {
            Prompts::messageBox(this, NoSelection, EditCaption, QMessageBox::Warning);
            return;
        }
        ChapterModel& model = m_doc.model();
        const int r = model.tag(row);
        QString answer;
        // A cancelled box is an answer like any other: nothing changes, nothing is reported.
        if (!Prompts::inputBox(this, QStringLiteral(u"请输入新的章节序号："), QStringLiteral(u"编辑章节序号"),
                               QString::number(model.chapnum().at(r)), &answer)) {
            return;
        }
        bool ok = false;
        const double value = trimSpaces(answer).toDouble(&ok);
        if (!ok || !std::isfinite(value)) {
            ShowErrMsg(QStringLiteral(u"类型不匹配"), TypeMismatch, context);
            return;
        }
        const double number = std::nearbyint(value);
        if (number < -32768 || number > 32767) {
            ShowErrMsg(QStringLiteral(u"溢出"), Overflow, context);
            return;
        }
        model.UpdateChapItem(row, qint16(number), model.title().at(r), m_settings.OutFile);
    });
}

void frmMain::mnuI_Copy_Click()
{
    const int row = selectedRow();
    if (row < 0) {
        return;
    }
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(m_doc.model().memo(row));
    Prompts::messageBox(this, QStringLiteral(u"复制成功，打开记事本即可查找！"), QStringLiteral(u"复制"),
                        QMessageBox::Information);
    if (m_settings.AutoOpenNotepad) {
        Prompts::openUrl(QUrl::fromLocalFile(m_doc.FilePath));
    }
}

void frmMain::lvwTitles_DblClick()
{
    // Editing stays with the commands' own state: not while a pass walks the list.
    if (selectedRow() >= 0 && m_menus.value(QStringLiteral("mnuIE_Title"))->isEnabled()) {
        mnuIE_Title_Click();
    }
}

void frmMain::lvwTitles_MouseUp(const QPoint& globalPos)
{
    if (selectedRow() >= 0) {
        menuItem->popup(globalPos);
    }
}

void frmMain::ApplyFont()
{
    ApplyFontName(this, m_settings.FontName);
    ApplyFontName(lvwTitles, m_settings.FontName);
    ApplyFontName(txtPreview, m_settings.FontName);
    ApplyFontName(staStatus, m_settings.FontName);
}

// --- Encoding, numbering review, preview ------------------------------------------------------------------

void frmMain::mnuE_Encoding_Click(bool detect, TextCodec::Id id)
{
    // A pass reads the open file with the encoding it started with.
    if (m_passRunning) {
        syncEncodingMenu();
        return;
    }
    m_encodingDetect = detect;
    m_encodingId = id;
    m_doc.setEncodingChoice(detect, id);
    syncEncodingMenu();
    if (m_doc.isOpen()) {
        // As a fresh open, so that analysing on open and every status text behave the same.
        const QString path = m_doc.FilePath;
        OpenTextFile(path);
    }
}

void frmMain::syncEncodingMenu()
{
    const int wanted = m_encodingDetect ? -1 : int(m_encodingId);
    for (QAction* a : m_encodingGroup->actions()) {
        if (a->data().toInt() == wanted) {
            a->setChecked(true);
        }
    }
}

void frmMain::showEncoding()
{
    if (!m_doc.isOpen()) {
        m_panelEncoding->clear();
        m_panelEncoding->setToolTip(QString());
        return;
    }
    m_panelEncoding->setText(m_doc.codec().name());
    m_panelEncoding->setToolTip(m_doc.detectsEncoding()
                                    ? QStringLiteral(u"自动检测到的编码，可在“编码”菜单里另选")
                                    : QStringLiteral(u"在“编码”菜单里选定的编码"));
}

void frmMain::ReviewNumbering()
{
    ChapterModel& model = m_doc.model();
    if (m_doc.DocState != Analysed || model.rowCount() == 0) {
        m_panelText->setToolTip(QString());
        return;
    }
    model.setAnomalies(reviewNumbering(model.chapnum(), model.ignoredRecords()));
    const int n = model.anomalyCount();
    // The panel's own text is the chapter count; the review goes into its tool tip.
    m_panelText->setToolTip(n > 0 ? QStringLiteral(u"编号异常 %1 处，按 F3 查看").arg(n)
                                  : QStringLiteral(u"章节编号没有发现异常"));
}

void frmMain::mnuI_NextAnomaly_Click()
{
    const ChapterModel& model = m_doc.model();
    const int n = model.rowCount();
    if (m_doc.DocState != Analysed || n == 0) {
        return;
    }
    const int from = selectedRow(); // -1: start at the top
    for (int step = 1; step <= n; ++step) {
        const int row = (from + step) % n;
        if (model.anomaly(row) != NumberingAnomaly::None) {
            selectRow(row);
            // In the middle, with the chapters around it in view to judge it by.
            lvwTitles->scrollTo(model.index(row, 0), QAbstractItemView::PositionAtCenter);
            return;
        }
    }
    QApplication::beep();
}

void frmMain::setPreviewShown(bool on)
{
    m_previewShown = on;
    txtPreview->setVisible(on);
    ShowPreview();
}

void frmMain::ShowPreview()
{
    // A hidden pane reads nothing; it is filled when shown again.
    if (!m_previewShown) {
        txtPreview->clear();
        return;
    }
    const int row = selectedRow();
    const ChapterModel& model = m_doc.model();
    const int r = row < 0 ? -1 : model.tag(row);
    if (!m_doc.isOpen() || r < 0 || r >= m_doc.TitleOffsets.size()) {
        txtPreview->clear();
        return;
    }
    // The chapter runs to the next title that is kept: an ignored title's lines go with it.
    const QVector<bool> ignored = model.ignoredRecords();
    qint64 end = -1;
    for (qsizetype next = r + 1; next < m_doc.TitleOffsets.size(); ++next) {
        if (next >= ignored.size() || !ignored.at(next)) {
            end = m_doc.TitleOffsets.at(next);
            break;
        }
    }
    cRegExp filters;
    filters.SetFilters(QString(), m_settings.TextFilters);
    txtPreview->showPreview(readChapterPreview(m_doc.FilePath, m_doc.TitleOffsets.at(r), end, m_doc.codec(), filters,
                                               m_settings.DelSpaceLine));
}

// --- Drag and drop -------------------------------------------------------------------------------------

bool frmMain::OLEDragOver(QDropEvent* e)
{
    // A file dropped during a pass would replace the document under it.
    if (m_passRunning) {
        return false;
    }
    const QMimeData* data = e->mimeData();
    QList<QUrl> files;
    if (data->hasUrls()) {
        for (const QUrl& url : data->urls()) {
            if (url.isLocalFile()) {
                files << url;
            }
        }
    }
    if (files.isEmpty()) {
        staStatus->showMessage(QStringLiteral(u"拖入的不是文件,无法释放..."));
        return false;
    }
    if (files.size() != 1 || data->urls().size() != 1) {
        staStatus->showMessage(QStringLiteral(u"文件个数超过1个,无法释放..."));
        return false;
    }
    if (files.first().toLocalFile().right(4).toLower() == QLatin1String(".txt")) {
        staStatus->showMessage(QStringLiteral(u"请拖入文件..."));
        return true;
    }
    staStatus->showMessage(QStringLiteral(u"拖入的不是txt文件,无法释放..."));
    return false;
}

void frmMain::OLEDragDrop(QDropEvent* e)
{
    const QList<QUrl> urls = e->mimeData()->urls();
    e->setDropAction(Qt::CopyAction);
    e->accept();
    staStatus->clearMessage();
    if (!urls.isEmpty()) {
        // Opened once the drop is over, so that the file manager is not kept waiting by an analysis.
        const QString path = urls.first().toLocalFile();
        QMetaObject::invokeMethod(this, [this, path] { OpenTextFile(path); }, Qt::QueuedConnection);
    }
}

bool frmMain::eventFilter(QObject* watched, QEvent* e)
{
    if (watched == lvwTitles->viewport()) {
        switch (e->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* drop = static_cast<QDropEvent*>(e);
            if (OLEDragOver(drop)) {
                drop->setDropAction(Qt::CopyAction);
                drop->accept();
            } else {
                drop->setDropAction(Qt::IgnoreAction);
                drop->ignore();
            }
            return true;
        }
        case QEvent::DragLeave:
            return true;
        case QEvent::Drop:
            OLEDragDrop(static_cast<QDropEvent*>(e));
            return true;
        case QEvent::MouseButtonRelease: {
            auto* mouse = static_cast<QMouseEvent*>(e);
            if (mouse->button() == Qt::RightButton) {
                lvwTitles_MouseUp(mouse->globalPosition().toPoint());
                return true;
            }
            break;
        }
        default:
            break;
        }
    }
    return QMainWindow::eventFilter(watched, e);
}

// --- Toolbar, view, options, help ----------------------------------------------------------------------

void frmMain::toolConfig_ButtonClick(const QString& key)
{
    static const QHash<QString, void (frmMain::*)()> commands = {
        {QStringLiteral("open"), &frmMain::mnuF_Open_Click},
        {QStringLiteral("close"), &frmMain::mnuF_Close_Click},
        {QStringLiteral("analyze"), &frmMain::mnuO_Analyze_Click},
        {QStringLiteral("saveout"), &frmMain::mnuO_SaveOut_Click},
        {QStringLiteral("stop"), &frmMain::mnuO_Stop_Click},
        {QStringLiteral("selall"), &frmMain::mnuI_SelAll_Click},
        {QStringLiteral("selreverse"), &frmMain::mnuI_SelReverse_Click},
        {QStringLiteral("selnone"), &frmMain::mnuI_SelNone_Click},
        {QStringLiteral("selundo"), &frmMain::mnuI_SelUndo_Click},
        {QStringLiteral("edit"), &frmMain::mnuIE_Title_Click},
        {QStringLiteral("copy"), &frmMain::mnuI_Copy_Click},
        {QStringLiteral("config"), &frmMain::mnuO_Option_Click},
        {QStringLiteral("about"), &frmMain::mnuH_About_Click},
    };
    if (key == QLatin1String("tool")) {
        mnuV_Toolbar_Click();
        m_menus.value(QStringLiteral("mnuV_Toolbar"))->setChecked(m_buttons.value(key)->isChecked());
    } else if (key == QLatin1String("status")) {
        mnuV_Statusbar_Click();
        m_menus.value(QStringLiteral("mnuV_Statusbar"))->setChecked(m_buttons.value(key)->isChecked());
    } else if (const auto command = commands.value(key)) {
        (this->*command)();
    }
}

void frmMain::toolConfig_ButtonMenuClick(const QString& key)
{
    if (key == QLatin1String("editTitle")) {
        mnuIE_Title_Click();
    } else if (key == QLatin1String("editChapNum")) {
        mnuIE_ChapNum_Click();
    }
}

void frmMain::mnuV_Toolbar_Click()
{
    QAction* entry = m_menus.value(QStringLiteral("mnuV_Toolbar"));
    entry->setChecked(!entry->isChecked());
    toolConfig->setVisible(entry->isChecked());
    m_buttons.value(QStringLiteral("tool"))->setChecked(entry->isChecked());
}

void frmMain::mnuV_Statusbar_Click()
{
    QAction* entry = m_menus.value(QStringLiteral("mnuV_Statusbar"));
    entry->setChecked(!entry->isChecked());
    staStatus->setVisible(entry->isChecked());
    m_buttons.value(QStringLiteral("status"))->setChecked(entry->isChecked());
}

void frmMain::mnuO_Option_Click()
{
    {
        frmConfig dialog(m_settings, m_configPath, this);
        // "推荐规则" tries the rules on the open novel; the dialog is modal, so no pass is
        // reading the file meanwhile, and the trial leaves it rewound.
        if (m_doc.isOpen()) {
            dialog.setRuleTrial([this](const QList<TitleRule>& rules) {
                return tryTitleRules(m_doc.reader(), m_doc.codec(), rules);
            });
        }
        Prompts::exec(&dialog);
    }
    // However the dialog was closed, the window takes the settings as they now are.
    applyListColor();
    lvwTitles->viewport()->update();
    ApplyFont();
    SetTopMost(this, m_settings.TopMost);
    // The filters and the blank-line choice may have changed what the output would hold.
    ShowPreview();
}

void frmMain::applyListColor()
{
    const QColor back = ColorFromNumber(m_settings.ListBackColor);
    QPalette listPalette = lvwTitles->palette();
    listPalette.setColor(QPalette::Base, back);
    lvwTitles->setPalette(listPalette);
    // The client area shows while the list is hidden during an analysis.
    QPalette clientPalette = centralWidget()->palette();
    clientPalette.setColor(QPalette::Window, back);
    centralWidget()->setPalette(clientPalette);
}

void frmMain::mnuH_About_Click()
{
    frmAbout box(m_settings, this);
    Prompts::exec(&box);
}

void frmMain::mnuH_HomePage_Click() { Prompts::openUrl(HomePage()); }

void frmMain::mnu_T_Show_Click()
{
    if (isVisible()) {
        return;
    }
    m_trayWatch.stop();
    if (isMinimized()) {
        showNormal();
    }
    if (g_SysTray) {
        g_SysTray->HideIcon();
        // The icon would show its last balloon again when it next appears; that news is old.
        g_SysTray->TrayBalloon(QString(), QString(), 0);
    }
    show();
    raise();
    activateWindow();
}

void frmMain::mnu_T_Hide_Click()
{
    // Hiding needs an icon to come back from: without a notification area, or when it refuses
    // the icon, the window stays as it is (minimised, if that is how it got here).
    if (!isVisible() || !TrayAvailable()) {
        return;
    }
    if (!g_SysTray->Visible() && !g_SysTray->ShowIcon()) {
        return;
    }
    hide();
    m_trayWatch.start();
}

void frmMain::g_SysTray_RightMouseUp(const QPoint& globalPos)
{
    menuTray->popup(globalPos);
}
