#pragma once

#include <QIcon>
#include <QObject>
#include <QPoint>
#include <QString>

#include <memory>

class QSystemTrayIcon;

/// What the notification area shows for one icon: the icon, its tip and the last balloon.
struct TrayData {
    QIcon icon;
    QString tip;            ///< at most cTrayIcon::MaxTipLength characters
    QString balloonText;    ///< at most cTrayIcon::MaxBalloonTextLength characters
    QString balloonTitle;   ///< at most cTrayIcon::MaxBalloonTitleLength characters
    qint32 balloonFlag = 0; ///< 1 information, 2 warning, 3 error, anything else no picture
};

/// The parts of TrayData that one update sends.
enum class TrayField { Icon = 2, Tip = 4, Balloon = 16 };
Q_DECLARE_FLAGS(TrayFields, TrayField)
Q_DECLARE_OPERATORS_FOR_FLAGS(TrayFields)

/// The desktop's notification area as cTrayIcon uses it. The real one sits on
/// QSystemTrayIcon; tests put a fake in its place, since there is no tray off screen.
class TrayBackend : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    /// Whether the desktop offers a notification area at all (it can appear and go later).
    virtual bool isAvailable() const = 0;
    /// Puts the icon into the area with every part of `data`, the balloon included when it
    /// has text. False when refused; lastError() then says why.
    virtual bool add(const TrayData& data) = 0;
    /// Takes the icon out of the area.
    virtual bool remove() = 0;
    /// Sends the given parts of `data` to the icon already shown.
    virtual bool modify(const TrayData& data, TrayFields fields) = 0;
    /// Number of the last refusal (cTrayIcon::ErrorNoTray, ...).
    virtual qint32 lastError() const = 0;

signals:
    /// A double click on the icon, or a single one where the desktop reports only clicks.
    void doubleClicked();
    void contextRequested(const QPoint& globalPos);
    void balloonClicked();
};

/// The backend over QSystemTrayIcon.
class QtTrayBackend : public TrayBackend {
    Q_OBJECT
public:
    explicit QtTrayBackend(QObject* parent = nullptr);
    ~QtTrayBackend() override;

    bool isAvailable() const override;
    bool add(const TrayData& data) override;
    bool remove() override;
    bool modify(const TrayData& data, TrayFields fields) override;
    qint32 lastError() const override { return m_lastError; }

private:
    void sendIcon(const TrayData& data);
    void sendBalloon(const TrayData& data);

    QSystemTrayIcon* m_tray;
    qint32 m_lastError = 0;
};

/// The main window's icon in the notification area. It is hidden while the window is shown
/// and shown while the window is hidden; balloons report while the window is out of sight.
///
/// The icon keeps the last balloon: a balloon asked for while the icon is hidden is stored,
/// and every later ShowIcon shows the last balloon again.
class cTrayIcon : public QObject {
    Q_OBJECT
public:
    static constexpr int MaxTipLength = 127;
    static constexpr int MaxBalloonTextLength = 127;
    static constexpr int MaxBalloonTitleLength = 63;

    /// NIError numbers.
    static constexpr qint32 ErrorNoTray = 1;  ///< the desktop has no notification area
    static constexpr qint32 ErrorRefused = 2; ///< the area did not take the request

    /// Uses the desktop's notification area.
    explicit cTrayIcon(QObject* parent = nullptr);
    /// Uses `backend` (tests); the object takes it over.
    explicit cTrayIcon(std::unique_ptr<TrayBackend> backend, QObject* parent = nullptr);
    /// Takes the icon out of the area, so that it never outlives its object.
    ~cTrayIcon() override;

    /// Whether there is a notification area to hide into. Without one the window should
    /// just minimise and tell the user things in message boxes.
    bool isAvailable() const;

    /// Sets the icon and the tip, turns UpdateOnChange on; the icon stays hidden.
    void Initialize(const QIcon& icon, const QString& sTip);

    /// Puts the icon into the area, with the last balloon. False when it is shown already
    /// or the area refused (NIError is then emitted).
    bool ShowIcon();
    /// Takes the icon out of the area. False when it was not shown or the area refused.
    bool HideIcon();
    /// Sends every part to the icon shown. False when it is hidden or the area refused.
    bool Update();

    QIcon IconHandle() const { return m_data.icon; }
    void setIconHandle(const QIcon& icon);

    /// Stores the balloon (text cut to 127 characters, title to 63) and shows it at once
    /// when the icon is shown and UpdateOnChange is on. `bFlag`: 1 information, 2 warning,
    /// 3 error.
    void TrayBalloon(const QString& sBaloonText, const QString& sBallonTitle, qint32 bFlag);
    QString BalloonText() const { return m_data.balloonText; }
    QString BalloonTitle() const { return m_data.balloonTitle; }
    qint32 BalloonFlag() const { return m_data.balloonFlag; }

    QString TipText() const { return m_data.tip; }
    void setTipText(const QString& sTip);

    bool UpdateOnChange() const { return m_updateOnChange; }
    void setUpdateOnChange(bool on) { m_updateOnChange = on; }

    bool Visible() const { return m_iconShown; }
    void setVisible(bool visible);

    TrayBackend* backend() const { return m_backend.get(); }

signals:
    /// A request the notification area did not take; the icon's state is unchanged.
    void NIError(qint32 ErrorNumber);
    void DblClick();
    /// Right button on the icon: the window pops up its tray menu at `globalPos`.
    void RightMouseUp(const QPoint& globalPos);
    void BalloonClick();

private:
    void sendChange(TrayFields fields);
    bool check(bool ok);

    std::unique_ptr<TrayBackend> m_backend;
    TrayData m_data;
    bool m_iconShown = false;
    bool m_updateOnChange = false;
};
