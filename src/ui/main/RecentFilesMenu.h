#pragma once

#include <QString>

class frmMain;
class QMenu;

/// "最近打开的文件": the novels opened last, newest first, each with the encoding choice it
/// was opened with; kept in config.ini's section "recent" as soon as it changes.
class RecentFilesMenu {
public:
    RecentFilesMenu(frmMain& window, QMenu* menu);

    /// Fills the menu from the settings.
    void rebuild();
    /// Entries can be chosen whenever a novel can be opened.
    void enableFor(int state);
    /// A novel was opened with the window's current encoding choice: it goes first.
    void opened(const QString& path);
    /// Opens entry `index` with its encoding choice; a novel that is gone leaves the list,
    /// and the user is told.
    void open(int index);

private:
    void save();

    frmMain& m_w;
    QMenu* m_menu;
    bool m_openable = true;
};
