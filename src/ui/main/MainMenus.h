#pragma once

#include "core/TextCodec.h"

#include <QHash>
#include <QKeySequence>
#include <QString>

#include <functional>

class MainCommands;
class QAction;
class QActionGroup;
class QMainWindow;
class QMenu;
class QToolBar;

/// The main window's menus, toolbar (with the edit button's drop-down) and notification-area
/// menu: built once on the window, wired to its commands, enabled by the command table. The
/// view entries (toolbar, status bar) act on the window's bars themselves.
class MainMenus {
public:
    MainMenus(QMainWindow& window, MainCommands& commands);

    /// A menu entry or toolbar button by name (objectName / button key); null when unknown.
    QAction* menu(const QString& name) const { return m_menus.value(name); }
    QAction* button(const QString& key) const { return m_buttons.value(key); }
    QMenu* itemMenu() const { return m_menuItem; }
    QMenu* trayMenu() const { return m_menuTray; }
    QMenu* encodingMenu() const { return m_menuEncoding; }
    QMenu* recentMenu() const { return m_menuRecent; }
    QToolBar* toolbar() const { return m_toolConfig; }

    /// Enables exactly the commands of the state's entry in the command table.
    void enableFor(int state);
    /// Checks the encoding entry of the current choice.
    void syncEncoding(bool detect, TextCodec::Id id);

    void toolConfig_ButtonClick(const QString& key);
    void toolConfig_ButtonMenuClick(const QString& key);
    void mnuV_Toolbar_Click();
    void mnuV_Statusbar_Click();

private:
    void buildMenus();
    void buildToolbar();
    QAction* addMenuEntry(QMenu* menu, const char* name, const QString& caption, const QKeySequence& shortcut,
                          std::function<void()> handler);
    QAction* addSeparator(QMenu* menu, const char* name);
    void addToolButton(const char* key, int image, const QString& tip);
    void addToolSeparator(const char* key);

    QMainWindow& m_window;
    MainCommands& m_commands;
    QHash<QString, QAction*> m_menus;
    QHash<QString, QAction*> m_buttons;
    QMenu* m_menuItem = nullptr;
    QMenu* m_menuTray = nullptr;
    QMenu* m_menuEncoding = nullptr;
    QMenu* m_menuRecent = nullptr;
    QActionGroup* m_encodingGroup = nullptr;
    QToolBar* m_toolConfig = nullptr;
};
