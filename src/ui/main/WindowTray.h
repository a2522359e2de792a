#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

struct Settings;
class QIcon;
class QMenu;
class QPoint;
class QWidget;
class TrayBackend;
class cTrayIcon;

/// The main window's icon in the notification area: made at the window's first activation,
/// it takes the window when it hides and gives it back, carries the balloons that tell of
/// notices and progress while the window is out of sight, and opens the output folder a
/// balloon names when clicked. A window hidden in an area that has gone away comes back.
class WindowTray : public QObject {
public:
    /// Makes the notification area the icon lives in; tests hand in a fake one.
    using BackendFactory = std::function<std::unique_ptr<TrayBackend>()>;

    /// `settings` say whether balloons are wanted; `backend` may be empty (the desktop's own area).
    WindowTray(QWidget& window, const Settings& settings, BackendFactory backend);
    ~WindowTray() override;

    /// Makes the icon (not shown until the window hides); a right click on it pops up `menu`.
    void create(const QIcon& icon, const QString& tip, QMenu* menu);
    /// Takes the icon out of the notification area for good (the window unloads).
    void remove();
    /// The icon; null until create() and after remove().
    cTrayIcon* SysTray() const { return g_SysTray.get(); }

    /// A balloon from the icon (`kind` as notice()'s); false when no icon is shown to carry it
    /// or the area refused it, so that the caller can say it another way.
    bool TrayBalloon(const QString& text, const QString& title, int kind);
    /// Whether the icon is shown, so that a balloon can be seen.
    bool iconShown() const;
    /// Whether an icon can bring the window back once hidden.
    bool TrayAvailable() const;
    /// The folder a click on the balloon just shown opens.
    void setBalloonFolder(const QString& folder) { m_balloonFolder = folder; }

    /// A notice (`kind`: 0 information, 1 warning, 2 error): a balloon while the window is out
    /// of sight and its icon can carry one, else a message box.
    void notice(const QString& message, const QString& caption, int kind);

    /// Brings the window back from the notification area (or from being minimised).
    void showWindow();
    /// Hides the window into the notification area; it stays as it is where no icon can
    /// bring it back.
    void hideWindow();

private:
    bool outOfSight() const;

    QWidget& m_window;
    const Settings& m_settings;
    BackendFactory m_backend;
    std::unique_ptr<cTrayIcon> g_SysTray;
    bool m_trayRefused = false;
    QString m_balloonFolder; // the output folder a click on the last balloon opens
    QTimer m_trayWatch;
};
