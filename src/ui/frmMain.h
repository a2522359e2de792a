#pragma once

#include "core/Document.h"
#include "main/MainCommands.h"
#include "main/MainWidgets.h"
#include "main/PassCommands.h"
#include "main/PassFrontEnd.h"
#include "main/RecentFilesMenu.h"
#include "main/WindowPlacement.h"
#include "main/WindowTray.h"

#include <QMainWindow>
#include <QSize>

#include <functional>
#include <memory>

struct Settings;
class ListCommands;
class ListDropTarget;
class MainMenus;
class ReviewKeeper;
struct Review;
class WindowConfig;
class cTrayIcon;

/// The main window: it owns the open novel, the widgets and the notification-area icon, and
/// wires the commands. Its concerns live in rooms of their own (main/): the menus and toolbar,
/// the list commands, the passes and their front end, the recent files, the icon, the window's
/// placement and config.ini. They reach the window only through the narrow interfaces they
/// declare, which it implements; the passes run inside the command handlers on this thread.
class frmMain : public QMainWindow,
                public MainCommands,
                private RecentFilesMenu::Window,
                private PassFrontEnd::Window,
                private PassCommands::Window {
    Q_OBJECT

public:
    /// `settings` is the program's settings record; `configPath` where config.ini lives
    /// (err.log is written beside it).
    frmMain(Settings& settings, const QString& configPath, QWidget* parent = nullptr);
    /// Makes the notification area the window's icon lives in; tests hand in a fake one.
    using TrayBackendFactory = WindowTray::BackendFactory;
    frmMain(Settings& settings, const QString& configPath, TrayBackendFactory trayBackend,
            QWidget* parent = nullptr);
    ~frmMain() override;

    Document& document() { return m_doc; }
    Settings& settings() { return m_settings; }
    /// Text of the status panel "text", "process" or "encoding".
    QString panelText(const QString& key) const { return m_ui.panelText(key); }
    /// Tool tip of a status panel, as panelText names them.
    QString panelToolTip(const QString& key) const { return m_ui.panelToolTip(key); }

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
    void mnuF_Open_Click() override;
    void mnuF_Close_Click() override;
    void mnuF_Exit_Click() override;
    void mnuV_Toolbar_Click();
    void mnuV_Statusbar_Click();
    void mnuV_Preview_Click(bool shown) override;
    void mnuE_Encoding_Click(bool detect, TextCodec::Id id) override;
    void mnuO_Analyze_Click() override;
    void mnuO_SaveOut_Click() override;
    void mnuO_SaveEpub_Click() override;
    void mnuO_Stop_Click() override;
    void mnuO_Option_Click() override;
    void mnuI_SelAll_Click() override;
    void mnuI_SelReverse_Click() override;
    void mnuI_SelNone_Click() override;
    void mnuI_SelUndo_Click() override;
    void mnuIE_Title_Click() override;
    void mnuIE_ChapNum_Click() override;
    void mnuI_Copy_Click() override;
    void mnuI_RemoveTitle_Click() override;
    void mnuI_NextAnomaly_Click() override;
    void mnuI_Tidy_Click() override;
    void mnuI_IgnoreRepeats_Click() override;
    void mnuI_CheckSelected_Click() override;
    void mnuI_UncheckSelected_Click() override;
    void mnuH_HomePage_Click() override;
    void mnuH_About_Click() override;
    void mnu_T_Show_Click() override;
    void mnu_T_Hide_Click() override;
    /// "推荐规则" on the open novel: tries every built-in rule on its beginning and, when one
    /// fits and the user agrees, makes it the title pattern and analyses again.
    void suggestTitleRule() override;

    /// The notification-area icon; null until the first activation and after unload.
    cTrayIcon* SysTray() const { return m_tray.SysTray(); }

    /// Status panel "text".
    void setStatusText(const QString& text);

signals:
    /// The window has unloaded: the program ends.
    void unloaded();

protected:
    bool event(QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void changeEvent(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    /// How much the desktop's frame adds to the window's size; empty until the desktop has
    /// framed the window, which an X11 window manager may do only after the first activation.
    virtual QSize frameExtent() const;

private:
    // RecentFilesMenu::Window
    bool passRunning() const override { return m_passes->running(); }
    void openWithEncoding(const QString& path, bool detect, TextCodec::Id id) override;
    void recentFilesChanged() override;
    // PassFrontEnd::Window and PassCommands::Window
    void syncCommands() override;
    bool reviewMayGo() override;
    void analysisShown() override;
    /// Takes up a saved review of the novel just opened: its encoding, its rule, its list.
    void resumeReview(const Review& review);

    void wireList();
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
    void Form_Unload();

    void applyCommands(int state, bool withStatus);
    void updateUndoCommand();

    void ShowErrMsg(const QString& description, int number, const QString& context);
    bool askAgain(const QString& question);
    /// Runs a command; an exception it throws becomes an error report in `context`.
    void trap(const QString& context, const std::function<void()>& body);

    Settings& m_settings;
    Document m_doc;
    bool ActivatedOnce = false;
    int m_appliedState = -1;
    QString m_openAfterActivation;
    bool m_previewShown = true;
    bool m_encodingDetect = true;
    TextCodec::Id m_encodingId = TextCodec::Gbk;

    std::unique_ptr<WindowConfig> m_config;
    WindowTray m_tray;
    WindowPlacement m_placement;
    std::unique_ptr<MainMenus> m_menus;
    std::unique_ptr<RecentFilesMenu> m_recent;
    MainWidgets m_ui;
    std::unique_ptr<ListCommands> m_list;
    std::unique_ptr<PassFrontEnd> m_host;
    std::unique_ptr<PassCommands> m_passes;
    std::unique_ptr<ReviewKeeper> m_review;
    ListDropTarget* m_dropTarget = nullptr; // child of the window
};
