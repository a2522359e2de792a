#pragma once

#include "core/PassHost.h"

#include <QElapsedTimer>
#include <QString>

class frmMain;

/// The window as the front end of a pass: status panels, the progress bar (or balloons while
/// the window is out of sight), questions, notices and the error report.
class PassFrontEnd : public PassHost {
public:
    explicit PassFrontEnd(frmMain& window) : m_w(window) {}

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
    frmMain& m_w;
    QString m_lastProgressBalloon;
    QElapsedTimer m_progressBalloonClock;
};
