#include "frmMain.h"

#include "ChapterPreviewPane.h"
#include "ErrorHook.h"
#include "Prompts.h"
#include "ToolIcons.h"
#include "WindowStyle.h"
#include "cCommonDialog.h"
#include "frmAbout.h"
#include "frmConfig.h"
#include "frmErr.h"
#include "main/ListColumns.h"
#include "main/ListCommands.h"
#include "main/ListDropTarget.h"
#include "main/MainMenus.h"
#include "main/PassCommands.h"
#include "main/ReviewKeeper.h"
#include "main/WindowConfig.h"

#include "config/Settings.h"
#include "config/StartUp.h"
#include "core/Review.h"
#include "core/TitleRules.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QStatusBar>
#include <QTreeView>

#include <utility>

namespace {

const QSize DesignedClientSize(598, 375);

// Error numbers as the classic run-time library numbers them; users quote them in reports.
enum ErrorNumber { FileNotFound = 53, PathFile = 75 };

} // namespace

// --- Construction ------------------------------------------------------------------------------------

frmMain::frmMain(Settings& settings, const QString& configPath, QWidget* parent)
    : frmMain(settings, configPath, TrayBackendFactory(), parent)
{
}

frmMain::frmMain(Settings& settings, const QString& configPath, TrayBackendFactory trayBackend, QWidget* parent)
    : QMainWindow(parent), m_settings(settings),
      m_config(std::make_unique<WindowConfig>(settings, configPath, this)),
      m_tray(*this, settings, std::move(trayBackend)), m_placement(*this, [this] { return frameExtent(); })
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

    m_menus = std::make_unique<MainMenus>(*this, *this);
    m_recent = std::make_unique<RecentFilesMenu>(static_cast<RecentFilesMenu::Window&>(*this), this,
                                                 m_menus->recentMenu(), m_settings.RecentFiles);
    syncEncodingMenu();
    m_ui = MainWidgets::build(*this, m_doc.model(), m_settings);
    wireList();
    m_host = std::make_unique<PassFrontEnd>(static_cast<PassFrontEnd::Window&>(*this), *this, m_ui, m_tray,
                                            m_settings);
    m_passes = std::make_unique<PassCommands>(static_cast<PassCommands::Window&>(*this), *this, m_doc,
                                              m_settings, *m_config, *m_list, *m_host);
    m_review = std::make_unique<ReviewKeeper>(*this, m_doc);
    m_ui.txtPreview->setMakeTitle([this](qint32 line) { m_list->makeTitleAt(line); });
    applyCommands(-1, false);
    resize(DesignedClientSize + QSize(0, menuBar()->sizeHint().height()));

    connect(&m_doc.model(), &ChapterModel::undoAvailableChanged, this, &frmMain::updateUndoCommand);
    connect(&m_doc.model(), &ChapterModel::checkCountChanged, this, &frmMain::ShowChapCount);

    Form_Load();
}

frmMain::~frmMain()
{
    setErrorReporter({});
    m_tray.remove();
}

// The list's commands and the window's own parts of the list: the preview and dropped files.
void frmMain::wireList()
{
    m_list = std::make_unique<ListCommands>(m_doc, m_settings, this, m_ui, m_menus->itemMenu(),
                                            m_menus->menu(QStringLiteral("mnuIE_Title")));
    // A check mark changes the end of the chapter shown.
    connect(&m_doc.model(), &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex&, const QModelIndex&, const QList<int>& roles) {
                if (roles.isEmpty() || roles.contains(Qt::CheckStateRole)) {
                    ShowPreview();
                }
            });
    connect(m_ui.lvwTitles->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &frmMain::ShowPreview);
    m_dropTarget = new ListDropTarget(m_ui.lvwTitles, m_ui.staStatus, [this] { return passRunning(); }, this);
    connect(m_dropTarget, &ListDropTarget::fileDropped, this, &frmMain::OpenTextFile);
    connect(m_dropTarget, &ListDropTarget::spacePressed, this, [this] { m_list->toggleSelectedChecks(); });
    connect(m_dropTarget, &ListDropTarget::rightClicked, this,
            [this](const QPoint& globalPos) { m_list->lvwTitles_MouseUp(globalPos); });
}

// --- Lifecycle -------------------------------------------------------------------------------------------

void frmMain::trap(const QString& context, const std::function<void()>& body)
{
    trapErrors(context, this, body);
}

void frmMain::ShowErrMsg(const QString& description, int number, const QString& context)
{
    frmErr::ShowErrMsg(description, number, context, this, m_settings);
}

void frmMain::Form_Load()
{
    trap(QStringLiteral("frmMain::Form_Load()"), [this] {
        ActivatedOnce = false;
        m_config->load();
        setWindowTitle(AppTitle());

        const Settings& s = m_settings;
        m_placement.restore(s);
        if (s.TopMost) {
            setWindowFlag(Qt::WindowStaysOnTopHint, true);
        }
        m_menus->menu(QStringLiteral("mnuV_Preview"))->setChecked(s.ShowPreview);
        setPreviewShown(s.ShowPreview);
        m_ui.columns->setUserWidths(s.ColumnWidths);
        m_recent->rebuild();
    });
}

void frmMain::Form_Activate()
{
    if (ActivatedOnce) {
        return;
    }
    // Set first: a failed set-up is not retried, and the warning boxes must not re-enter.
    ActivatedOnce = true;
    trap(QStringLiteral("frmMain::Form_Activate()"), [this] {
        m_doc.model().resetUndo();
        updateUndoCommand();
        applyListColor();

        m_ui.prgDone->setValue(0);
        m_ui.prgDone->hide();
        m_menus->button(QStringLiteral("tool"))->setChecked(true);
        m_menus->button(QStringLiteral("status"))->setChecked(true);

        m_tray.create(windowIcon(), AppTitle(), m_menus->trayMenu());

        ApplyFont();
        SetState(Closed);

        m_placement.fitFromNowOn();
    });
    // A box shown before the desktop has placed the window stands where the window was before
    // (X11 window managers frame and place it after it shows).
    m_placement.whenPlaced([this] { startNotices(); });
}

void frmMain::startNotices()
{
    trap(QStringLiteral("frmMain::Form_Activate()"), [this] { m_config->startNotices(); });
    if (!m_openAfterActivation.isEmpty()) {
        const QString path = std::exchange(m_openAfterActivation, QString());
        QMetaObject::invokeMethod(this, [this, path] { OpenTextFile(path); }, Qt::QueuedConnection);
    }
}

QSize frmMain::frameExtent() const
{
    return frameGeometry().size() - size();
}

void frmMain::Form_Unload()
{
    QString error;
    if (m_settings.LogPosition && !m_config->unreadable() && !m_placement.save(m_config->path(), &error)) {
        ShowErrMsg(error, PathFile, QStringLiteral("frmMain::Form_Unload()"));
    }
    // Dragged column widths are kept like the position: once, when the window goes.
    if (m_ui.columns->changed()) {
        m_config->saveColumnWidths(m_ui.columns->userWidths());
    }
    if (m_doc.isOpen()) {
        CloseTextFile();
    }
    m_tray.remove();
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
    if (e->type() == QEvent::Move || e->type() == QEvent::Resize) {
        m_placement.windowMoved();
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
    if (ActivatedOnce && !m_placement.waiting()) {
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
    if (passRunning()) {
        e->ignore();
        m_passes->closeWhenDone();
        return;
    }
    if (!reviewMayGo()) {
        e->ignore();
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
    m_menus->enableFor(state);
    m_recent->enableFor(state);
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
    m_menus->menu(QStringLiteral("mnuI_SelUndo"))->setEnabled(on);
    m_menus->button(QStringLiteral("selundo"))->setEnabled(on);
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
    if (passRunning()) {
        return false;
    }
    if (m_doc.isOpen() && !reviewMayGo()) {
        return false;
    }
    const QString context = QStringLiteral("frmMain::OpenTextFile()");
    bool opened = false;
    trap(context, [&] {
        if (m_doc.isOpen()) {
            CloseTextFile();
        }
        // A review taken up reads its novel in the review's encoding; the next one is read as
        // the menu says.
        m_doc.setEncodingChoice(m_encodingDetect, m_encodingId);
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
    if (!opened) {
        return false;
    }
    m_recent->opened(path, m_encodingDetect, m_encodingId);
    if (const std::optional<Review> review = m_review->offer(path)) {
        resumeReview(*review);
    } else if (m_settings.AutoAnalyze) {
        m_passes->analyseOpened(nullptr);
    }
    return true;
}

void frmMain::resumeReview(const Review& review)
{
    TextCodec::Id id = TextCodec::Gbk;
    bool detect = false;
    if (TextCodec::fromName(review.encoding, &id, &detect) && !detect && id != m_doc.codec().id()) {
        const QString path = m_doc.FilePath;
        m_doc.setEncodingChoice(false, id);
        QString error;
        if (!m_doc.OpenTextFile(path, &error)) {
            ShowErrMsg(error, PathFile, QStringLiteral("frmMain::OpenTextFile()"));
            CloseTextFile();
            return;
        }
        showEncoding();
        SetState(Opened);
    }
    m_passes->setNovelRule(review.titleRule, review.volumeRule);
    m_passes->analyseOpened(&review);
}

bool frmMain::reviewMayGo()
{
    return m_review->mayDiscard(m_passes->titleRule(), m_passes->volumeRule());
}

void frmMain::analysisShown()
{
    m_review->markClean();
    m_list->focusList();
}

void frmMain::CloseTextFile()
{
    if (!m_doc.isOpen()) {
        return;
    }
    m_doc.CloseTextFile();
    m_passes->clearNovelRule();
    SetState(Closed);
    setWindowTitle(AppTitle());
    setStatusText(QStringLiteral(u"就绪"));
    m_ui.textPanel->setToolTip(QString());
    showEncoding();
}

void frmMain::mnuF_Close_Click()
{
    if (passRunning() || !reviewMayGo()) {
        return;
    }
    CloseTextFile();
    setWindowTitle(AppTitle());
}

// --- Passes ------------------------------------------------------------------------------------------------

void frmMain::mnuO_Analyze_Click() { m_passes->mnuO_Analyze_Click(); }
void frmMain::mnuO_SaveOut_Click() { m_passes->mnuO_SaveOut_Click(); }
void frmMain::mnuO_SaveEpub_Click() { m_passes->mnuO_SaveEpub_Click(); }
void frmMain::mnuO_Stop_Click() { m_passes->mnuO_Stop_Click(); }
void frmMain::suggestTitleRule() { m_passes->suggestTitleRule(); }

void frmMain::setStatusText(const QString& text) { m_ui.textPanel->setText(text); }

void frmMain::ShowNotice(const QString& message, const QString& caption, int kind)
{
    m_tray.notice(message, caption, kind);
}

void frmMain::ShowChapCount(int ignored)
{
    setStatusText(ChapCountText(m_doc.model().recordCount(), ignored));
}

// --- List editing -----------------------------------------------------------------------------------------

void frmMain::ApplyFont()
{
    ApplyFontName(this, m_settings.FontName);
    ApplyFontName(m_ui.lvwTitles, m_settings.FontName);
    ApplyFontName(m_ui.txtPreview, m_settings.FontName);
    ApplyFontName(m_ui.staStatus, m_settings.FontName);
}

// --- Encoding, numbering review, preview ------------------------------------------------------------------

void frmMain::mnuE_Encoding_Click(bool detect, TextCodec::Id id)
{
    // A pass reads the open file with the encoding it started with.
    if (passRunning()) {
        syncEncodingMenu();
        return;
    }
    const bool wasDetect = m_encodingDetect;
    const TextCodec::Id wasId = m_encodingId;
    m_encodingDetect = detect;
    m_encodingId = id;
    m_doc.setEncodingChoice(detect, id);
    syncEncodingMenu();
    // An analysed list read in another encoding would be out of date: ask before reading again.
    const bool reread = m_doc.isOpen() &&
                        (!m_doc.IsAnalysed || askAgain(QStringLiteral(u"编码已改变，是否按新编码重新打开并分析？")));
    // As a fresh open, so that analysing on open and every status text behave the same; the
    // review it would replace may keep the novel as it is (取消).
    const QString path = m_doc.FilePath; // a copy: closing the novel clears FilePath
    if (reread && OpenTextFile(path)) {
        return;
    }
    if (m_doc.isOpen()) {
        // Not read again: the encoding the novel was read in stays in force, and the menu says so.
        m_encodingDetect = wasDetect;
        m_encodingId = wasId;
        m_doc.setEncodingChoice(wasDetect, wasId);
        syncEncodingMenu();
    }
}

void frmMain::openWithEncoding(const QString& path, bool detect, TextCodec::Id id)
{
    // The choice stays for the novels opened after it, as one made in the 编码 menu does;
    // detecting keeps the encoding chosen last.
    m_encodingDetect = detect;
    if (!detect) {
        m_encodingId = id;
    }
    m_doc.setEncodingChoice(detect, m_encodingId);
    syncEncodingMenu();
    OpenTextFile(path);
}

void frmMain::recentFilesChanged() { m_config->saveRecentFiles(); }

void frmMain::syncEncodingMenu()
{
    m_menus->syncEncoding(m_encodingDetect, m_encodingId);
}

void frmMain::showEncoding()
{
    if (!m_doc.isOpen()) {
        m_ui.encodingPanel->clear();
        m_ui.encodingPanel->setToolTip(QString());
        return;
    }
    m_ui.encodingPanel->setText(m_doc.encodingLabel());
    m_ui.encodingPanel->setToolTip(m_doc.detectsEncoding()
                                       ? QStringLiteral(u"自动检测到的编码，可在“编码”菜单里另选")
                                       : QStringLiteral(u"在“编码”菜单里选定的编码"));
}

void frmMain::setPreviewShown(bool on)
{
    m_previewShown = on;
    m_ui.txtPreview->setVisible(on);
    ShowPreview();
}

void frmMain::mnuV_Preview_Click(bool shown)
{
    setPreviewShown(shown);
    m_settings.ShowPreview = shown;
    m_config->saveShowPreview(shown);
}

void frmMain::ShowPreview()
{
    // A hidden pane reads nothing; it is filled when shown again.
    if (!m_previewShown) {
        m_ui.txtPreview->clear();
        return;
    }
    m_ui.txtPreview->showChapter(m_doc, m_list->selectedRow(), m_settings);
}

// --- Toolbar, view, options, help ----------------------------------------------------------------------

void frmMain::mnuO_Option_Click()
{
    const QString pattern = m_settings.TitleText;
    const QString volumePattern = m_settings.VolumeText;
    {
        frmConfig dialog(m_settings, m_config->path(), this);
        // "推荐规则" tries the rules on the open novel; the dialog is modal, so no pass is
        // reading the file meanwhile, and the trial leaves it rewound.
        if (m_doc.isOpen()) {
            dialog.setRuleTrial([this](const QList<TitleRule>& rules) {
                return tryTitleRules(m_doc.reader(), m_doc.codec(), rules);
            }, trialScope(QFileInfo(m_doc.FilePath).size()));
        }
        Prompts::exec(&dialog);
    }
    // However the dialog was closed, the window takes the settings as they now are.
    applyListColor();
    m_ui.lvwTitles->viewport()->update();
    ApplyFont();
    SetTopMost(this, m_settings.TopMost);
    // The filters and the blank-line choice may have changed what the output would hold.
    ShowPreview();
    const bool patternsChanged = m_settings.TitleText != pattern || m_settings.VolumeText != volumePattern;
    if (patternsChanged) {
        // A rule chosen now outranks the one the open novel was given.
        m_passes->clearNovelRule();
    }
    if (patternsChanged && m_doc.IsAnalysed && askAgain(QStringLiteral(u"标题规则已改变，是否重新分析？"))) {
        mnuO_Analyze_Click();
    }
}

// Whether to analyse again after a change that outdates the list; edits it would lose are named.
bool frmMain::askAgain(const QString& question)
{
    const QString loss = m_doc.model().hasEdits()
                             ? QStringLiteral(u"\r\n（列表中修改过的标题和章节号会丢失。）")
                             : QString();
    return Prompts::askYesNo(this, question + loss, QStringLiteral(u"分析"));
}

void frmMain::applyListColor()
{
    const QColor back = ColorFromNumber(m_settings.ListBackColor);
    QPalette listPalette = m_ui.lvwTitles->palette();
    listPalette.setColor(QPalette::Base, back);
    m_ui.lvwTitles->setPalette(listPalette);
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

void frmMain::mnuH_HomePage_Click() { Prompts::openOrSay(this, HomePage(), QStringLiteral(u"我的主页")); }

void frmMain::mnu_T_Show_Click() { m_tray.showWindow(); }
void frmMain::mnu_T_Hide_Click() { m_tray.hideWindow(); }

// The list commands, as the menus, the toolbar and the tray reach them.
void frmMain::mnuI_SelAll_Click() { m_list->mnuI_SelAll_Click(); }
void frmMain::mnuI_SelReverse_Click() { m_list->mnuI_SelReverse_Click(); }
void frmMain::mnuI_SelNone_Click() { m_list->mnuI_SelNone_Click(); }
void frmMain::mnuI_SelUndo_Click() { m_list->mnuI_SelUndo_Click(); }
void frmMain::mnuIE_Title_Click() { m_list->mnuIE_Title_Click(); }
void frmMain::mnuIE_ChapNum_Click() { m_list->mnuIE_ChapNum_Click(); }
void frmMain::mnuI_Copy_Click() { m_list->mnuI_Copy_Click(); }
void frmMain::mnuI_RemoveTitle_Click() { m_list->mnuI_RemoveTitle_Click(); }
void frmMain::mnuI_NextAnomaly_Click() { m_list->mnuI_NextAnomaly_Click(); }
void frmMain::mnuI_Tidy_Click() { m_list->mnuI_Tidy_Click(); }
void frmMain::mnuI_IgnoreRepeats_Click() { m_list->mnuI_IgnoreRepeats_Click(); }
void frmMain::mnuI_CheckSelected_Click() { m_list->mnuI_CheckSelected_Click(); }
void frmMain::mnuI_UncheckSelected_Click() { m_list->mnuI_UncheckSelected_Click(); }
void frmMain::mnuV_Toolbar_Click() { m_menus->mnuV_Toolbar_Click(); }
void frmMain::mnuV_Statusbar_Click() { m_menus->mnuV_Statusbar_Click(); }
