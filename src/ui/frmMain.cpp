#include "frmMain.h"

#include "ChapterPreviewPane.h"
#include "ErrorHook.h"
#include "Prompts.h"
#include "ToolIcons.h"
#include "WindowStyle.h"
#include "cCommonDialog.h"
#include "cTrayIcon.h"
#include "CleanReportDialog.h"
#include "frmAbout.h"
#include "frmConfig.h"
#include "frmEpub.h"
#include "frmErr.h"
#include "main/ListColumns.h"
#include "main/MainMenus.h"
#include "main/MainWidgets.h"
#include "main/RecentFilesMenu.h"

#include "config/ConfigFile.h"
#include "config/Settings.h"
#include "config/StartUp.h"
#include "core/AnalysisPass.h"
#include "core/FileName.h"
#include "core/TitleRules.h"
#include "output/OutputPass.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QTreeView>
#include <QVBoxLayout>
#include <QWindow>

#include <new>
#include <stdexcept>
#include <utility>

namespace {

constexpr int TwipsPerPixel = 15;
const QSize DesignedClientSize(598, 375);
const QSize MinimumTrackingSize(532, 400);

// Error numbers as the classic run-time library numbers them; users quote them in reports.
enum ErrorNumber { BadCall = 5, OutOfMemory = 7, FileNotFound = 53, PathFile = 75 };

// How long the start-up notices wait for a desktop that frames the window late.
constexpr int StartNoticeWait = 500; // ms

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

    m_menus = std::make_unique<MainMenus>(*this);
    toolConfig = m_menus->toolbar();
    m_recent = std::make_unique<RecentFilesMenu>(*this, m_menus->recentMenu());
    syncEncodingMenu();
    MainWidgets::buildList(*this);
    MainWidgets::buildStatusBar(*this);
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

// --- Lifecycle -------------------------------------------------------------------------------------------

void frmMain::trap(const QString& context, const std::function<void()>& body)
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
        } else {
            LoadReplaceRules(m_settings, m_configPath);
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
        m_menus->menu(QStringLiteral("mnuV_Preview"))->setChecked(s.ShowPreview);
        setPreviewShown(s.ShowPreview);
        m_columns->setUserWidths(s.ColumnWidths);
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

        prgDone->setValue(0);
        prgDone->hide();
        m_menus->button(QStringLiteral("tool"))->setChecked(true);
        m_menus->button(QStringLiteral("status"))->setChecked(true);

        g_SysTray = std::make_unique<cTrayIcon>(m_trayBackend ? m_trayBackend() : std::make_unique<QtTrayBackend>());
        g_SysTray->Initialize(windowIcon(), AppTitle());
        connect(g_SysTray.get(), &cTrayIcon::DblClick, this, &frmMain::mnu_T_Show_Click);
        connect(g_SysTray.get(), &cTrayIcon::BalloonClick, this, [this] {
            if (!m_balloonFolder.isEmpty()) {
                Prompts::openUrl(QUrl::fromLocalFile(std::exchange(m_balloonFolder, QString())));
            }
            mnu_T_Show_Click();
        });
        connect(g_SysTray.get(), &cTrayIcon::RightMouseUp, this, &frmMain::g_SysTray_RightMouseUp);
        connect(g_SysTray.get(), &cTrayIcon::NIError, this, [this] { m_trayRefused = true; });

        ApplyFont();
        SetState(Closed);

        m_framePending = true;
        fitToFrame();
    });
    // A box shown before the desktop has placed the window stands where the window was before
    // (X11 window managers frame and place it after it shows): the start-up notices wait until
    // the window is framed and on screen, or a moment where no frame comes.
    m_startNoticesPending = true;
    if (placed()) {
        startNotices();
    } else {
        if (windowHandle()) {
            windowHandle()->installEventFilter(this);
        }
        QTimer::singleShot(StartNoticeWait, this, &frmMain::startNotices);
    }
}

bool frmMain::placed() const
{
    return !m_framePending && windowHandle() && windowHandle()->isExposed();
}

void frmMain::startNoticesIfPlaced()
{
    if (placed()) {
        startNotices();
    }
}

bool frmMain::eventFilter(QObject* watched, QEvent* e)
{
    if (m_startNoticesPending && watched == windowHandle() && e->type() == QEvent::Expose) {
        QMetaObject::invokeMethod(this, &frmMain::startNoticesIfPlaced, Qt::QueuedConnection);
    }
    return QMainWindow::eventFilter(watched, e);
}

void frmMain::startNotices()
{
    if (!std::exchange(m_startNoticesPending, false)) {
        return;
    }
    if (windowHandle()) {
        windowHandle()->removeEventFilter(this);
    }
    trap(QStringLiteral("frmMain::Form_Activate()"), [this] {
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
        if (!m_settings.ReplaceRuleProblems.isEmpty()) {
            Prompts::messageBox(this,
                                QStringLiteral(u"有替换规则无法读取，清理时不会使用：\r\n")
                                    + m_settings.ReplaceRuleProblems.join(QStringLiteral("\r\n")),
                                QStringLiteral(u"初始化"), QMessageBox::Warning);
        }
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
    if (m_startNoticesPending) {
        QMetaObject::invokeMethod(this, &frmMain::startNoticesIfPlaced, Qt::QueuedConnection);
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
    // Dragged column widths are kept like the position: once, when the window goes.
    if (m_columns->changed() && QFileInfo::exists(m_configPath) && !m_configUnreadable) {
        QString error;
        if (!SaveColumnWidths(m_configPath, m_columns->userWidths(), &error)) {
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
    if (ActivatedOnce && !m_startNoticesPending) {
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
    if (opened) {
        m_recent->opened(path);
    }
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
    trap(QStringLiteral("frmMain::mnuO_Analyze_Click()"), [this] { RunAnalysis(m_doc, m_settings, m_host); });
    m_list.analysisDone();
    m_list.ReviewNumbering();
    afterPass();
}

void frmMain::mnuO_SaveOut_Click()
{
    if (m_passRunning) {
        return;
    }
    m_passRunning = true;
    OutputResult result;
    trap(QStringLiteral("frmMain::mnuO_SaveOut_Click()"), [this, &result] { result = RunOutput(m_doc, m_settings, m_host); });
    afterPass();
    if (result.kind == OutputResult::Done) {
        showCleanReport(result.ledger, OutputRoot(m_doc.FilePath, m_settings.OutPath));
    }
}

void frmMain::mnuO_SaveEpub_Click()
{
    if (m_passRunning || !m_doc.IsAnalysed) {
        return;
    }
    const BookMeta meta = proposedBookMeta(m_doc);
    const QString folder = m_settings.EpubFolder.isEmpty() ? defaultEpubFolder(m_doc.FilePath, m_settings.OutPath)
                                                           : m_settings.EpubFolder + u'/';
    frmEpub dialog(meta, m_settings.EpubChapsInBook,
                   QDir::cleanPath(folder + BookFileName(meta.title, m_doc.FilePath)) + QStringLiteral(".epub"), this);
    if (Prompts::exec(&dialog) != QDialog::Accepted) {
        return;
    }
    const EpubOptions options = dialog.options();
    m_settings.EpubChapsInBook = qint16(std::min(options.chapsInBook, 32767));
    m_settings.EpubFolder = QFileInfo(options.target).absolutePath();
    QString error;
    if (!m_configUnreadable && !SaveConfig(m_settings, m_configPath, &error)) {
        setStatusText(QStringLiteral(u"EPUB 设置未能保存：") + error);
    }
    m_passRunning = true;
    m_bookPass = true;
    EpubResult result;
    trap(QStringLiteral("frmMain::mnuO_SaveEpub_Click()"),
         [this, &options, &result] { result = RunEpub(m_doc, m_settings, options, m_host); });
    m_bookPass = false;
    afterPass();
    if (result.kind == EpubResult::Done && !result.books.isEmpty()) {
        showCleanReport(result.ledger, QFileInfo(result.books.first()).absolutePath());
    }
}

// After a pass with cleanup on, what it changed; nothing when cleanup is off.
void frmMain::showCleanReport(const CleanupLedger& ledger, const QString& folder)
{
    if (!Cleaner(m_settings, true).isActive() && ledger.errors.isEmpty()) {
        return;
    }
    if (!isVisible() || isMinimized()) {
        setStatusText(QStringLiteral(u"清理：修改 %1 行，删除 %2 行").arg(ledger.totalChanged()).arg(ledger.totalRemoved()));
        return;
    }
    CleanReportDialog dialog(ledger, folder, this);
    Prompts::exec(&dialog);
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


bool frmMain::TrayBalloon(const QString& text, const QString& title, int kind)
{
    m_balloonFolder.clear(); // a newer balloon is about something else
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
    const bool wasDetect = m_encodingDetect;
    const TextCodec::Id wasId = m_encodingId;
    m_encodingDetect = detect;
    m_encodingId = id;
    m_doc.setEncodingChoice(detect, id);
    syncEncodingMenu();
    // An analysed list read in another encoding would be out of date: ask before reading again.
    if (m_doc.isOpen() && (!m_doc.IsAnalysed || askAgain(QStringLiteral(u"编码已改变，是否按新编码重新打开并分析？")))) {
        // As a fresh open, so that analysing on open and every status text behave the same.
        const QString path = m_doc.FilePath;
        OpenTextFile(path);
    } else if (m_doc.isOpen()) {
        // Not read again: the encoding the novel was read in stays in force, and the menu says so.
        m_encodingDetect = wasDetect;
        m_encodingId = wasId;
        m_doc.setEncodingChoice(wasDetect, wasId);
        syncEncodingMenu();
    }
}

void frmMain::syncEncodingMenu()
{
    m_menus->syncEncoding(m_encodingDetect, m_encodingId);
}

void frmMain::showEncoding()
{
    if (!m_doc.isOpen()) {
        m_panelEncoding->clear();
        m_panelEncoding->setToolTip(QString());
        return;
    }
    m_panelEncoding->setText(m_doc.encodingLabel());
    m_panelEncoding->setToolTip(m_doc.detectsEncoding()
                                    ? QStringLiteral(u"自动检测到的编码，可在“编码”菜单里另选")
                                    : QStringLiteral(u"在“编码”菜单里选定的编码"));
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
    txtPreview->showChapter(m_doc, m_list.selectedRow(), m_settings);
}

// --- Drag and drop -------------------------------------------------------------------------------------

// --- Toolbar, view, options, help ----------------------------------------------------------------------

void frmMain::mnuO_Option_Click()
{
    const QString pattern = m_settings.TitleText;
    const QString volumePattern = m_settings.VolumeText;
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
    const bool patternsChanged = m_settings.TitleText != pattern || m_settings.VolumeText != volumePattern;
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

void frmMain::suggestTitleRule()
{
    if (m_passRunning || !m_doc.isOpen()) {
        return;
    }
    const QString caption = QStringLiteral(u"推荐规则");
    const QList<TitleRule> rules = builtInTitleRules();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const QList<RuleTrial> trials = tryTitleRules(m_doc.reader(), m_doc.codec(), rules);
    QApplication::restoreOverrideCursor();
    const int best = ::suggestTitleRule(trials);
    if (best < 0 || best >= rules.size()) {
        Prompts::messageBox(this, QStringLiteral(u"没有合适的规则。请在“编码”菜单里另选编码，或在“选项”里自己写一条标题规则。"),
                            caption, QMessageBox::Information);
        return;
    }
    const bool whole = QFileInfo(m_doc.FilePath).size() <= WholeNovelLimit;
    const QString question = QStringLiteral(u"推荐“%1”：%2找到 %3 个标题。\r\n是否使用这条规则并重新分析？")
                                 .arg(suggestionName(rules[best], trials[best]), whole ? QStringLiteral(u"全文中") : QStringLiteral(u"全文各处的抽样中"))
                                 .arg(trials[best].titles);
    if (!Prompts::askYesNo(this, question, caption)) {
        return;
    }
    m_settings.TitleText = rules[best].rule;
    if (rules[best].volume) {
        m_settings.VolumeText = *rules[best].volume;
    }
    QString error;
    if (!m_configUnreadable && !SaveConfig(m_settings, m_configPath, &error)) {
        ShowErrMsg(QStringLiteral(u"规则已生效，但未能保存：") + error, PathFile, QStringLiteral("frmMain::suggestTitleRule()"));
    }
    mnuO_Analyze_Click();
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
    m_menus->trayMenu()->popup(globalPos);
}

// The list commands, as the menus, the toolbar and the tray reach them.
void frmMain::mnuI_SelAll_Click() { m_list.mnuI_SelAll_Click(); }
void frmMain::mnuI_SelReverse_Click() { m_list.mnuI_SelReverse_Click(); }
void frmMain::mnuI_SelNone_Click() { m_list.mnuI_SelNone_Click(); }
void frmMain::mnuI_SelUndo_Click() { m_list.mnuI_SelUndo_Click(); }
void frmMain::mnuIE_Title_Click() { m_list.mnuIE_Title_Click(); }
void frmMain::mnuIE_ChapNum_Click() { m_list.mnuIE_ChapNum_Click(); }
void frmMain::mnuI_Copy_Click() { m_list.mnuI_Copy_Click(); }
void frmMain::mnuI_NextAnomaly_Click() { m_list.mnuI_NextAnomaly_Click(); }
void frmMain::mnuI_Tidy_Click() { m_list.mnuI_Tidy_Click(); }
void frmMain::mnuV_Toolbar_Click() { m_menus->mnuV_Toolbar_Click(); }
void frmMain::mnuV_Statusbar_Click() { m_menus->mnuV_Statusbar_Click(); }
