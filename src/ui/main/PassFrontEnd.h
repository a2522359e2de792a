#pragma once

#include "core/PassHost.h"

#include <QElapsedTimer>
#include <QString>

#include <optional>
#include <utility>

struct MainWidgets;
struct Settings;
class QWidget;
class WindowTray;

/// The window as the front end of a pass: status panels, the progress bar (or balloons while
/// the window is out of sight), questions, notices and the error report.
class PassFrontEnd : public PassHost {
public:
    /// What the front end needs of the window beyond its widgets and its icon.
    class Window {
    public:
        /// The commands follow the document's state, which a pass changes behind the window's back.
        virtual void syncCommands() = 0;
        /// "推荐规则" on the open novel, offered when an analysis found no title.
        virtual void suggestTitleRule() = 0;

    protected:
        ~Window() = default;
    };

    /// `widget` is the window itself, which the questions stand over.
    PassFrontEnd(Window& window, QWidget& widget, const MainWidgets& ui, WindowTray& tray,
                 const Settings& settings)
        : m_window(window), m_widget(widget), m_ui(ui), m_tray(tray), m_settings(settings) {}

    /// The pass running writes a book: the notice at its end names the folder so.
    void setBookPass(bool on) { m_bookPass = on; }
    /// An analysis run on opening a novel: "no title found" is kept for the caller (which may
    /// try the suggested rule first) instead of being told.
    void setHoldNoTitle(bool on) { m_holdNoTitle = on; }
    /// The held "no title found", once; false when there is none.
    bool takeNoTitle(QString* notice, QString* encoding);
    /// Adds "一共: n/m 章" to the status text when the text has lost it.
    void keepChapCount(int found, int ignored);

    void setStatusText(const QString& text) override;
    void setProcessText(const QString& text) override;
    void progressStart(qint64 maximum) override;
    void progress(qint64 value, int percent, const QString& balloonText,
                  const QString& balloonTitle) override;
    void progressEnd() override;
    void setListVisible(bool visible) override;
    void processEvents() override;
    void messageBox(const QString& text, const QString& caption, Icon icon) override;
    bool askYesNo(const QString& text, const QString& caption) override;
    void notice(const QString& text, const QString& caption, int kind) override;
    void balloonIfHidden(const QString& text, const QString& title) override;
    QString askOverwrite(const QString& path) override;
    void error(const QString& description, int number, const QString& context) override;
    void noTitleFound(const QString& notice, const QString& encoding) override;
    void outputDone(const QString& text, const QString& folder) override;

private:
    bool outOfSight() const;

    Window& m_window;
    QWidget& m_widget;
    const MainWidgets& m_ui;
    WindowTray& m_tray;
    const Settings& m_settings;
    bool m_bookPass = false;
    bool m_holdNoTitle = false;
    std::optional<std::pair<QString, QString>> m_heldNoTitle;
    QString m_lastProgressBalloon;
    QElapsedTimer m_progressBalloonClock;
};
