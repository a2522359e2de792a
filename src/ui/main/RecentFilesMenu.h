#pragma once

#include "core/TextCodec.h"

#include <QList>
#include <QString>

struct RecentFile;
class QMenu;
class QWidget;

/// "最近打开的文件": the novels opened last, newest first, each with the encoding choice it
/// was opened with. The window keeps the list in config.ini as soon as it changes.
class RecentFilesMenu {
public:
    /// What the menu needs of the window that opens the novels.
    class Window {
    public:
        /// Whether a pass runs: a recent file chosen then opens nothing.
        virtual bool passRunning() const = 0;
        /// Opens a novel with an encoding choice, which stays for the novels opened after it.
        virtual void openWithEncoding(const QString& path, bool detect, TextCodec::Id id) = 0;
        /// The list changed: it is kept at once.
        virtual void recentFilesChanged() = 0;

    protected:
        ~Window() = default;
    };

    /// `files` is the list itself (the settings'); `owner` the window the menu tells of a novel
    /// that is gone.
    RecentFilesMenu(Window& window, QWidget* owner, QMenu* menu, QList<RecentFile>& files);

    /// Fills the menu from the list.
    void rebuild();
    /// Entries can be chosen whenever a novel can be opened.
    void enableFor(int state);
    /// A novel was opened with this encoding choice: it goes first.
    void opened(const QString& path, bool detect, TextCodec::Id id);
    /// Opens entry `index` with its encoding choice; a novel that is gone leaves the list,
    /// and the user is told.
    void open(int index);

private:
    Window& m_window;
    QWidget* m_owner;
    QMenu* m_menu;
    QList<RecentFile>& m_files;
    bool m_openable = true;
};
