#include "PassFrontEnd.h"

#include "Prompts.h"
#include "cTrayIcon.h"
#include "frmMain.h"
#include "frmYesAllNo.h"

#include "config/Settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>

namespace {

// Balloons are cut short or rebuilt by the next one, and on some desktops each one is a
// notification of its own: progress goes out at most this often, and only when it changed.
constexpr qint64 ProgressBalloonInterval = 1000; // ms

} // namespace

void PassFrontEnd::setStatusText(const QString& text) {
    m_w.setStatusText(text);
}

void PassFrontEnd::setProcessText(const QString& text) {
    m_w.m_panelPercent->setText(text);
}

void PassFrontEnd::progressStart(qint64 maximum) {
    m_w.syncCommands();
    m_lastProgressBalloon.clear();
    m_progressBalloonClock.invalidate();
    m_w.prgDone->setRange(0, int(std::clamp<qint64>(maximum, 1, INT_MAX)));
    m_w.prgDone->setValue(0);
    m_w.prgDone->show();
}

void PassFrontEnd::progress(qint64 value, int percent, const QString& balloonText,
                            const QString& balloonTitle) {
    if (m_w.outOfSight() && m_w.m_settings.ShowBalloonTip && m_w.g_SysTray && m_w.g_SysTray->Visible()) {
        // Out of sight the bar is left alone; a skipped step is shown by a later balloon.
        const bool due =
            !m_progressBalloonClock.isValid() || m_progressBalloonClock.hasExpired(ProgressBalloonInterval);
        if (balloonText == m_lastProgressBalloon || !due) {
            return;
        }
        if (m_w.TrayBalloon(balloonText, balloonTitle, 0)) {
            m_lastProgressBalloon = balloonText;
            m_progressBalloonClock.start();
            return;
        }
    }
    m_w.prgDone->setValue(int(std::clamp<qint64>(value, 0, m_w.prgDone->maximum())));
    setProcessText(QString::number(percent) + u'%');
}

void PassFrontEnd::progressEnd() {
    m_w.prgDone->setValue(0);
    m_w.prgDone->hide();
}

void PassFrontEnd::setListVisible(bool visible) {
    // The preview goes with the list: while a pass rebuilds the list it has nothing to show.
    // Hiding the splitter as a whole keeps the sizes of its panes.
    m_w.splTitles->setVisible(visible);
}

void PassFrontEnd::processEvents() {
    m_w.syncCommands();
    QCoreApplication::processEvents();
}

void PassFrontEnd::messageBox(const QString& text, const QString& caption, Icon icon) {
    m_w.syncCommands();
    QMessageBox::Icon i = QMessageBox::NoIcon;
    switch (icon) {
    case Information:
        i = QMessageBox::Information;
        break;
    case Warning:
        i = QMessageBox::Warning;
        break;
    case Critical:
        i = QMessageBox::Critical;
        break;
    case Question:
        i = QMessageBox::Question;
        break;
    }
    Prompts::messageBox(&m_w, text, caption, i);
}

bool PassFrontEnd::askYesNo(const QString& text, const QString& caption) {
    m_w.syncCommands();
    return Prompts::askYesNo(&m_w, text, caption);
}

void PassFrontEnd::notice(const QString& text, const QString& caption, int kind) {
    m_w.syncCommands();
    m_w.ShowNotice(text, caption, kind);
}

void PassFrontEnd::balloonIfHidden(const QString& text, const QString& title) {
    if (!m_w.isVisible() && m_w.m_settings.ShowBalloonTip) {
        m_w.TrayBalloon(text, title, 0);
    }
}

QString PassFrontEnd::askOverwrite(const QString& path) {
    m_w.syncCommands();
    return frmYesAllNo::ShowMsg(path, &m_w, m_w.m_settings,
                                [this](const QString& p) { return pathTaken(p); });
}

void PassFrontEnd::error(const QString& description, int number, const QString& context) {
    m_w.syncCommands();
    m_w.ShowErrMsg(description, number, context);
}

void PassFrontEnd::noTitleFound(const QString& notice, const QString& encoding) {
    const QString advice = QStringLiteral(u"\r\n文件是按 %1 编码读取的：编码不对时请在“编码”菜单里另选；"
                                          u"也可以在“选项 → 标题规则”里换一条规则。")
                               .arg(encoding);
    m_w.syncCommands();
    // Out of sight the notice goes to a balloon; an offer needs the window.
    if (m_w.outOfSight()) {
        m_w.ShowNotice(notice + advice, QStringLiteral(u"分析"), 1);
        return;
    }
    const QString question =
        notice + advice + QStringLiteral(u"\r\n\r\n是否现在用“推荐规则”在这部小说上试一试？");
    if (Prompts::askYesNo(&m_w, question, QStringLiteral(u"分析"))) {
        // After this analysis has ended: the suggestion reads the novel and may analyse it again.
        QMetaObject::invokeMethod(
            &m_w, [w = &m_w] { w->suggestTitleRule(); }, Qt::QueuedConnection);
    }
}

void PassFrontEnd::outputDone(const QString& text, const QString& folder) {
    m_w.syncCommands();
    const QString where = QDir::toNativeSeparators(folder);
    // Out of sight, a click on the balloon opens the folder (and brings the window back).
    if (m_w.outOfSight() && m_w.m_settings.ShowBalloonTip &&
        m_w.TrayBalloon(text, QStringLiteral(u"输出"), 0)) {
        m_w.m_balloonFolder = folder;
        return;
    }
    QMessageBox box(QMessageBox::Information, QStringLiteral(u"输出"),
                    text + QStringLiteral(u"\r\n文件夹: ") + where, QMessageBox::Ok, &m_w);
    box.button(QMessageBox::Ok)->setText(QStringLiteral(u"确定"));
    QPushButton* open = box.addButton(m_w.m_bookPass ? QStringLiteral(u"打开所在文件夹") : QStringLiteral(u"打开文件夹"),
                                      QMessageBox::ActionRole);
    open->setObjectName(QStringLiteral("btnOpenFolder"));
    Prompts::exec(&box);
    if (box.clickedButton() == open) {
        Prompts::openUrl(QUrl::fromLocalFile(folder));
    }
}
