#include "cTrayIcon.h"

#include <QApplication>
#include <QCursor>
#include <QStyle>
#include <QSystemTrayIcon>

namespace {

// The notification area holds fixed-size fields; never cut between the halves of a
// surrogate pair, which would leave a broken character at the end.
QString cut(const QString& text, int maxLength) {
    if (text.size() <= maxLength)
        return text;
    qsizetype n = maxLength;
    if (text.at(n - 1).isHighSurrogate())
        --n;
    return text.left(n);
}

QSystemTrayIcon::MessageIcon balloonIcon(qint32 flag) {
    switch (flag) {
    case 1:
        return QSystemTrayIcon::Information;
    case 2:
        return QSystemTrayIcon::Warning;
    case 3:
        return QSystemTrayIcon::Critical;
    default:
        return QSystemTrayIcon::NoIcon;
    }
}

} // namespace

QtTrayBackend::QtTrayBackend(QObject* parent) : TrayBackend(parent), m_tray(new QSystemTrayIcon(this)) {
    // StatusNotifier desktops report every left click as Trigger and never DoubleClick, so a
    // click must bring the window back too. Elsewhere a double click arrives as Trigger (per
    // press) and then DoubleClick; the first one restores the window and takes the icon away,
    // and what is still on its way for an icon no longer shown is dropped. Queued, so that
    // taking the icon away never deletes the tray's widget inside its own mouse handler.
    connect(
        m_tray, &QSystemTrayIcon::activated, this,
        [this](QSystemTrayIcon::ActivationReason reason) {
            if (!m_tray->isVisible())
                return;
            if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
                emit doubleClicked();
            else if (reason == QSystemTrayIcon::Context)
                emit contextRequested(QCursor::pos());
        },
        Qt::QueuedConnection);
    connect(m_tray, &QSystemTrayIcon::messageClicked, this, &TrayBackend::balloonClicked);
}

QtTrayBackend::~QtTrayBackend() = default;

bool QtTrayBackend::isAvailable() const {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

bool QtTrayBackend::add(const TrayData& data) {
    if (!isAvailable()) {
        m_lastError = cTrayIcon::ErrorNoTray;
        return false;
    }
    sendIcon(data);
    m_tray->setToolTip(data.tip);
    m_tray->show();
    if (!m_tray->isVisible()) {
        m_lastError = cTrayIcon::ErrorRefused;
        return false;
    }
    sendBalloon(data);
    return true;
}

bool QtTrayBackend::remove() {
    m_tray->hide();
    return true;
}

bool QtTrayBackend::modify(const TrayData& data, TrayFields fields) {
    if (!isAvailable() || !m_tray->isVisible()) {
        m_lastError = isAvailable() ? cTrayIcon::ErrorRefused : cTrayIcon::ErrorNoTray;
        return false;
    }
    if (fields & TrayField::Icon)
        sendIcon(data);
    if (fields & TrayField::Tip)
        m_tray->setToolTip(data.tip);
    if (fields & TrayField::Balloon)
        sendBalloon(data);
    return true;
}

void QtTrayBackend::sendIcon(const TrayData& data) {
    // An icon without a picture cannot be shown at all; the program's own picture stands in.
    QIcon icon = data.icon;
    if (icon.isNull())
        icon = QApplication::windowIcon();
    if (icon.isNull())
        icon = QApplication::style()->standardIcon(QStyle::SP_FileIcon);
    m_tray->setIcon(icon);
}

void QtTrayBackend::sendBalloon(const TrayData& data) {
    if (!data.balloonText.isEmpty())
        m_tray->showMessage(data.balloonTitle, data.balloonText, balloonIcon(data.balloonFlag));
}

cTrayIcon::cTrayIcon(QObject* parent) : cTrayIcon(std::make_unique<QtTrayBackend>(), parent) {}

cTrayIcon::cTrayIcon(std::unique_ptr<TrayBackend> backend, QObject* parent)
    : QObject(parent), m_backend(std::move(backend)) {
    connect(m_backend.get(), &TrayBackend::doubleClicked, this, &cTrayIcon::DblClick);
    connect(m_backend.get(), &TrayBackend::contextRequested, this, &cTrayIcon::RightMouseUp);
    connect(m_backend.get(), &TrayBackend::balloonClicked, this, &cTrayIcon::BalloonClick);
}

cTrayIcon::~cTrayIcon() {
    HideIcon();
}

bool cTrayIcon::isAvailable() const {
    return m_backend->isAvailable();
}

void cTrayIcon::Initialize(const QIcon& icon, const QString& sTip) {
    m_data.icon = icon;
    m_data.tip = cut(sTip, MaxTipLength);
    m_updateOnChange = true;
    m_iconShown = false;
}

bool cTrayIcon::ShowIcon() {
    if (m_iconShown)
        return false;
    const bool ok = check(m_backend->add(m_data));
    if (ok)
        m_iconShown = true;
    return ok;
}

bool cTrayIcon::HideIcon() {
    if (!m_iconShown)
        return false;
    const bool ok = check(m_backend->remove());
    if (ok)
        m_iconShown = false;
    return ok;
}

bool cTrayIcon::Update() {
    if (!m_iconShown)
        return false;
    return check(m_backend->modify(m_data, TrayField::Icon | TrayField::Tip | TrayField::Balloon));
}

void cTrayIcon::setIconHandle(const QIcon& icon) {
    m_data.icon = icon;
    sendChange(TrayField::Icon);
}

void cTrayIcon::TrayBalloon(const QString& sBaloonText, const QString& sBallonTitle, qint32 bFlag) {
    m_data.balloonText = cut(sBaloonText, MaxBalloonTextLength);
    m_data.balloonTitle = cut(sBallonTitle, MaxBalloonTitleLength);
    m_data.balloonFlag = bFlag;
    sendChange(TrayField::Balloon);
}

void cTrayIcon::setTipText(const QString& sTip) {
    m_data.tip = cut(sTip, MaxTipLength);
    sendChange(TrayField::Tip);
}

void cTrayIcon::setVisible(bool visible) {
    if (visible)
        ShowIcon();
    else
        HideIcon();
}

// A hidden icon has nothing to update: the change is kept and goes out with the next ShowIcon.
void cTrayIcon::sendChange(TrayFields fields) {
    if (m_updateOnChange && m_iconShown)
        check(m_backend->modify(m_data, fields));
}

bool cTrayIcon::check(bool ok) {
    if (!ok)
        emit NIError(m_backend->lastError());
    return ok;
}
