#pragma once

#include "core/Document.h"
#include "main/ListCommands.h"
#include "main/PassFrontEnd.h"

#include <QElapsedTimer>
#include <QHash>
#include <QMainWindow>
#include <QSize>
#include <QTimer>

#include <functional>
#include <memory>

struct Settings;
class cTrayIcon;
class TrayBackend;
class ChapterPreviewPane;
class ListColumns;
class RecentFilesMenu;
class MainMenus;
class QAction;
class QActionGroup;
class QLabel;
class QToolButton;
class QMenu;
class QProgressBar;
class QSplitter;
class QStatusBar;
class QToolBar;
class QTreeView;

/// The main window: it owns the open novel, the widgets and the notification-area icon, and
/// wires the commands. The menus and toolbar (main/MainMenus), the list commands
/// (main/ListCommands) and the passes' front end (main/PassFrontEnd) live in rooms of their
/// own; the passes run inside their command handlers on this thread.
class CleanupLedger;
class frmMain : public QMainWindow {
    Q_OBJECT

public:
    /// `settings` is the program's settings record; `configPath` where config.ini lives
    /// (err.log is written beside it).
    frmMain(Settings& settings, const QString& configPath, QWidget* parent = nullptr);
    /// Makes the notification area the window's icon lives in; tests hand in a fake one.
    using TrayBackendFactory = std::function<std::unique_ptr<TrayBackend>()>;
    frmMain(Settings& settings, const QString& configPath, TrayBackendFactory trayBackend,
            QWidget* parent = nullptr);
    ~frmMain() override;

    Document& document() { return m_doc; }
    Settings& settings() { return m_settings; }
    /// Text of the status panel "text", "process" or "encoding".
    QString panelText(const QString& key) const;
    /// Tool tip of a status panel, as panelText names them.
    QString panelToolTip(const QString& key) const;

    /// Opens a novel (closing the one open) and, with AutoAnalyze, analyses it.
    bool OpenTextFile(const QString& path);
    /// Opens a novel handed over at start-up, once the window's first activation is done.
    void OpenAfterActivation(const QString& path);
    void CloseTextFile();
    /// Stores the document state and enables the commands of that state.
    void SetState(int state);
    /// A balloon while the window is out of sight and its icon can carry one, else a message box.
    void ShowNotice(const QString& message, const QString& caption, int kind);
    void ShowChapCount(int ignored);
    void ApplyFont();

    // Commands, reached from the menus, the toolbar, the list and the tray menu.
    void mnuF_Open_Click();
    void mnuF_Close_Click();
    void mnuF_Exit_Click();
    void mnuV_Toolbar_Click();
    void mnuV_Statusbar_Click();
    void mnuO_Analyze_Click();
    void mnuO_SaveOut_Click();
    void mnuO_SaveEpub_Click();
    void mnuI_Tidy_Click();
    void mnuO_Stop_Click();
    void mnuO_Option_Click();
    void mnuI_SelAll_Click();
    void mnuI_SelReverse_Click();
    void mnuI_SelNone_Click();
    void mnuI_SelUndo_Click();
    void mnuIE_Title_Click();
    void mnuIE_ChapNum_Click();
    void mnuI_Copy_Click();
    /// Selects the next row (in display order, wrapping) whose chapter number breaks the sequence.
    void mnuI_NextAnomaly_Click();
    /// Reads novels in this encoding, or detects it, from now on; an open novel is opened again with it.
    void mnuE_Encoding_Click(bool detect, TextCodec::Id id);
    void mnuH_HomePage_Click();
    /// "推荐规则" on the open novel: tries every built-in rule on its beginning and, when one
    /// fits and the user agrees, makes it the title pattern and analyses again.
    void suggestTitleRule();
    void mnuH_About_Click();
    void mnu_T_Show_Click();
    void mnu_T_Hide_Click();

    /// The notification-area icon; null until the first activation and after unload.
    cTrayIcon* SysTray() const { return g_SysTray.get(); }

    /// Status panel "text".
    void setStatusText(const QString& text);

signals:
    /// The window has unloaded: the program ends.
    void unloaded();

protected:
    bool event(QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void changeEvent(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    /// How much the desktop's frame adds to the window's size; empty until the desktop has
    /// framed the window, which an X11 window manager may do only after the first activation.
    virtual QSize frameExtent() const;

private:
    friend class PassFrontEnd;
    friend class ListCommands;
    friend class MainMenus;
    friend class ListDropTarget;
    friend struct MainWidgets;
    friend class RecentFilesMenu;

    /// A notification-area balloon (`kind` as ShowNotice's); false when no icon is shown to
    /// carry it or the area refused it, so that the caller can say it another way.
    bool TrayBalloon(const QString& text, const QString& title, int kind);
    /// Whether a notification-area icon can bring the window back once hidden.
    bool TrayAvailable() const;
    bool outOfSight() const { return isMinimized() || !isVisible(); }
    void g_SysTray_RightMouseUp(const QPoint& globalPos);
    void applyListColor();
    void setPreviewShown(bool on);
    /// Shows the selected row's chapter in the preview pane, or nothing.
    void ShowPreview();
    void showEncoding();
    void syncEncodingMenu();

    void Form_Load();
    void Form_Activate();
    /// The first activation's warnings about config.ini, and the novel handed over at start.
    void startNotices();
    /// Whether the desktop has framed the window and shows it.
    bool placed() const;
    void startNoticesIfPlaced();
    void fitToFrame();
    void Form_Unload();


    void applyCommands(int state, bool withStatus);
    /// Re-applies the enabled commands after a pass changed the state behind the window's back.
    void syncCommands();
    void updateUndoCommand();
    void showAnalysedPosition();


    void ShowErrMsg(const QString& description, int number, const QString& context);
    bool askAgain(const QString& question);
    /// Runs a command; an exception it throws becomes an error report in `context`.
    void trap(const QString& context, const std::function<void()>& body);
    void afterPass();
    void showCleanReport(const CleanupLedger& ledger, const QString& folder);

    Settings& m_settings;
    QString m_configPath;
    Document m_doc;
    bool ActivatedOnce = false;
    bool m_configUnreadable = false; // config.ini is there but could not be read at start
    QString m_balloonFolder;         // the output folder a click on the last balloon opens
    QString m_configError;
    int m_appliedState = -1;
    bool m_closePending = false;
    bool m_passRunning = false;
    QSize m_savedSize;
    bool m_framePending = false; // sizes wait for the desktop's frame (fitToFrame)
    QString m_openAfterActivation;
    bool m_startNoticesPending = false;
    TrayBackendFactory m_trayBackend;
    std::unique_ptr<cTrayIcon> g_SysTray;
    bool m_trayRefused = false;
    QTimer m_trayWatch;
    PassFrontEnd m_host{*this};
    ListCommands m_list{*this};
    std::unique_ptr<MainMenus> m_menus;
    std::unique_ptr<RecentFilesMenu> m_recent;
    QObject* m_dropTarget = nullptr; // a ListDropTarget, child of the window

    QToolBar* toolConfig = nullptr;
    QTreeView* lvwTitles = nullptr;
    ListColumns* m_columns = nullptr; // sizes lvwTitles' columns; child of the list
    QSplitter* splTitles = nullptr;
    ChapterPreviewPane* txtPreview = nullptr;
    bool m_previewShown = true;
    bool m_encodingDetect = true;
    TextCodec::Id m_encodingId = TextCodec::Gbk;
    QStatusBar* staStatus = nullptr;
    QLabel* m_panelText = nullptr;
    bool m_bookPass = false;        ///< the pass running writes a book (its notice names the folder so)
    QToolButton* btnTidy = nullptr; ///< "可整理: …", shown while tidying would change titles
    QLabel* m_panelPercent = nullptr;
    QWidget* m_panelProcess = nullptr;
    QLabel* m_panelEncoding = nullptr;
    QProgressBar* prgDone = nullptr;
};
