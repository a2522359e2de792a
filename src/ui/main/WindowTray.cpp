#include "WindowTray.h"

#include "Prompts.h"
#include "cTrayIcon.h"

#include "config/Settings.h"

#include <QMenu>
#include <QWidget>

#include <utility>

namespace {

// While the window is hidden, how often to check that the notification area is still there.
constexpr int TrayWatchInterval = 2000; // ms

// The notices' kinds (information, warning, error) as balloon pictures; others have none.
qint32 balloonFlag(int kind) { return kind >= 0 && kind <= 2 ? kind + 1 : 0; }

} // namespace

WindowTray::WindowTray(QWidget& window, const Settings& settings, BackendFactory backend)
    : m_window(window), m_settings(settings), m_backend(std::move(backend)) {
    // A window hidden in a notification area that has gone away would have no way back.
    m_trayWatch.setInterval(TrayWatchInterval);
    connect(&m_trayWatch, &QTimer::timeout, this, [this] {
        if (!m_window.isVisible() && !TrayAvailable()) {
            showWindow();
        }
    });
}

WindowTray::~WindowTray() = default;

void WindowTray::create(const QIcon& icon, const QString& tip, QMenu* menu) {
    g_SysTray = std::make_unique<cTrayIcon>(m_backend ? m_backend() : std::make_unique<QtTrayBackend>());
    g_SysTray->Initialize(icon, tip);
    connect(g_SysTray.get(), &cTrayIcon::DblClick, this, &WindowTray::showWindow);
    connect(g_SysTray.get(), &cTrayIcon::BalloonClick, this, [this] {
        if (!m_balloonFolder.isEmpty()) {
            Prompts::openUrl(QUrl::fromLocalFile(std::exchange(m_balloonFolder, QString())));
        }
        showWindow();
    });
    connect(g_SysTray.get(), &cTrayIcon::RightMouseUp, this,
            [menu](const QPoint& globalPos) { menu->popup(globalPos); });
    connect(g_SysTray.get(), &cTrayIcon::NIError, this, [this] { m_trayRefused = true; });
}

void WindowTray::remove() {
    m_trayWatch.stop();
    g_SysTray.reset(); // takes the icon out of the notification area
}

bool WindowTray::TrayBalloon(const QString& text, const QString& title, int kind) {
    m_balloonFolder.clear(); // a newer balloon is about something else
    // A balloon for an icon that is not shown would be seen by no one.
    if (!iconShown()) {
        return false;
    }
    m_trayRefused = false;
    g_SysTray->TrayBalloon(text, title, balloonFlag(kind));
    return !m_trayRefused;
}

bool WindowTray::iconShown() const { return g_SysTray && g_SysTray->Visible(); }

bool WindowTray::TrayAvailable() const { return g_SysTray && g_SysTray->isAvailable(); }

bool WindowTray::outOfSight() const { return m_window.isMinimized() || !m_window.isVisible(); }

void WindowTray::notice(const QString& message, const QString& caption, int kind) {
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
    Prompts::messageBox(&m_window, message, caption, icon);
}

void WindowTray::showWindow() {
    if (m_window.isVisible()) {
        return;
    }
    m_trayWatch.stop();
    if (m_window.isMinimized()) {
        m_window.showNormal();
    }
    if (g_SysTray) {
        g_SysTray->HideIcon();
        // The icon would show its last balloon again when it next appears; that news is old.
        g_SysTray->TrayBalloon(QString(), QString(), 0);
    }
    m_window.show();
    m_window.raise();
    m_window.activateWindow();
}

void WindowTray::hideWindow() {
    // Hiding needs an icon to come back from: without a notification area, or when it refuses
    // the icon, the window stays as it is (minimised, if that is how it got here).
    if (!m_window.isVisible() || !TrayAvailable()) {
        return;
    }
    if (!g_SysTray->Visible() && !g_SysTray->ShowIcon()) {
        return;
    }
    m_window.hide();
    m_trayWatch.start();
}
