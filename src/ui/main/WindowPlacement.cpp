#include "WindowPlacement.h"

#include "config/ConfigFile.h"
#include "config/Settings.h"

#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <utility>

namespace {

constexpr int TwipsPerPixel = 15;
const QSize MinimumTrackingSize(532, 400);

// How long the start-up notices wait for a desktop that frames the window late.
constexpr int PlacedWait = 500; // ms

} // namespace

WindowPlacement::WindowPlacement(QWidget& window, std::function<QSize()> frameExtent)
    : m_window(window), m_frameExtent(std::move(frameExtent)) {}

void WindowPlacement::restore(const Settings& s) {
    // The saved values are twips; the limits are compared with them as they are stored.
    if (s.PositionTop > 0 && s.PositionLeft > 0 && s.PositionWidth >= MinimumTrackingSize.width() &&
        s.PositionHeight >= MinimumTrackingSize.height()) {
        m_window.move(qRound(double(s.PositionLeft) / TwipsPerPixel),
                      qRound(double(s.PositionTop) / TwipsPerPixel));
        const QRect screenRect = m_window.screen() ? m_window.screen()->geometry() : QRect();
        if (s.PositionWidth < screenRect.width() * TwipsPerPixel &&
            s.PositionHeight < screenRect.height() * TwipsPerPixel) {
            m_savedSize = QSize(qRound(double(s.PositionWidth) / TwipsPerPixel),
                                qRound(double(s.PositionHeight) / TwipsPerPixel));
            m_window.resize(m_savedSize);
        }
    }
}

void WindowPlacement::fitFromNowOn() {
    m_framePending = true;
    fitToFrame();
}

void WindowPlacement::windowMoved() {
    if (m_framePending) {
        fitToFrame();
    }
}

void WindowPlacement::fitToFrame() {
    const QSize frame = m_frameExtent();
    m_window.setMinimumSize((MinimumTrackingSize - frame).expandedTo(QSize(0, 0)));
    if (frame.width() <= 0 && frame.height() <= 0) {
        return;
    }
    m_framePending = false;
    if (m_savedSize.isValid()) {
        m_window.resize(m_savedSize - frame);
    }
    if (waiting()) {
        QMetaObject::invokeMethod(this, &WindowPlacement::runIfPlaced, Qt::QueuedConnection);
    }
}

bool WindowPlacement::placed() const {
    return !m_framePending && m_window.windowHandle() && m_window.windowHandle()->isExposed();
}

void WindowPlacement::whenPlaced(std::function<void()> placed) {
    m_placed = std::move(placed);
    if (this->placed()) {
        run();
        return;
    }
    if (m_window.windowHandle()) {
        m_window.windowHandle()->installEventFilter(this);
    }
    QTimer::singleShot(PlacedWait, this, &WindowPlacement::run);
}

bool WindowPlacement::eventFilter(QObject* watched, QEvent* e) {
    if (waiting() && watched == m_window.windowHandle() && e->type() == QEvent::Expose) {
        QMetaObject::invokeMethod(this, &WindowPlacement::runIfPlaced, Qt::QueuedConnection);
    }
    return QObject::eventFilter(watched, e);
}

void WindowPlacement::runIfPlaced() {
    if (placed()) {
        run();
    }
}

void WindowPlacement::run() {
    const std::function<void()> placed = std::exchange(m_placed, nullptr);
    if (!placed) {
        return;
    }
    if (m_window.windowHandle()) {
        m_window.windowHandle()->removeEventFilter(this);
    }
    placed();
}

bool WindowPlacement::save(const QString& configPath, QString* error) const {
    const Qt::WindowStates special = Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen;
    if (m_window.windowState() & special) {
        return true;
    }
    const QRect f = m_window.frameGeometry();
    return SavePosition(configPath, f.x() * TwipsPerPixel, f.y() * TwipsPerPixel, f.width() * TwipsPerPixel,
                        f.height() * TwipsPerPixel, error);
}
