#include "PassFrontEnd.h"

#include "ErrorHook.h"
#include "MainWidgets.h"
#include "Prompts.h"
#include "WindowTray.h"
#include "frmYesAllNo.h"

#include "config/Settings.h"
#include "core/ChapterModel.h"

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

bool PassFrontEnd::outOfSight() const { return m_widget.isMinimized() || !m_widget.isVisible(); }

void PassFrontEnd::setStatusText(const QString& text) {
    m_ui.textPanel->setText(text);
}

void PassFrontEnd::setProcessText(const QString& text) {
    m_ui.percentPanel->setText(text);
}

void PassFrontEnd::progressStart(qint64 maximum) {
    m_window.syncCommands();
    m_lastProgressBalloon.clear();
    m_progressBalloonClock.invalidate();
    m_ui.prgDone->setRange(0, int(std::clamp<qint64>(maximum, 1, INT_MAX)));
    m_ui.prgDone->setValue(0);
    m_ui.prgDone->show();
}

void PassFrontEnd::progress(qint64 value, int percent, const QString& balloonText,
                            const QString& balloonTitle) {
    if (outOfSight() && m_settings.ShowBalloonTip && m_tray.iconShown()) {
        // Out of sight the bar is left alone; a skipped step is shown by a later balloon.
        const bool due =
            !m_progressBalloonClock.isValid() || m_progressBalloonClock.hasExpired(ProgressBalloonInterval);
        if (balloonText == m_lastProgressBalloon || !due) {
            return;
        }
        if (m_tray.TrayBalloon(balloonText, balloonTitle, 0)) {
            m_lastProgressBalloon = balloonText;
            m_progressBalloonClock.start();
            return;
        }
    }
    m_ui.prgDone->setValue(int(std::clamp<qint64>(value, 0, m_ui.prgDone->maximum())));
    setProcessText(QString::number(percent) + u'%');
}

void PassFrontEnd::progressEnd() {
    m_ui.prgDone->setValue(0);
    m_ui.prgDone->hide();
}

void PassFrontEnd::setListVisible(bool visible) {
    // The preview goes with the list: while a pass rebuilds the list it has nothing to show.
    // Hiding the splitter as a whole keeps the sizes of its panes.
    m_ui.splTitles->setVisible(visible);
}

void PassFrontEnd::processEvents() {
    m_window.syncCommands();
    QCoreApplication::processEvents();
}

void PassFrontEnd::messageBox(const QString& text, const QString& caption, Icon icon) {
    m_window.syncCommands();
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
    Prompts::messageBox(&m_widget, text, caption, i);
}

bool PassFrontEnd::askYesNo(const QString& text, const QString& caption) {
    m_window.syncCommands();
    return Prompts::askYesNo(&m_widget, text, caption);
}

void PassFrontEnd::notice(const QString& text, const QString& caption, int kind) {
    m_window.syncCommands();
    m_tray.notice(text, caption, kind);
}

void PassFrontEnd::balloonIfHidden(const QString& text, const QString& title) {
    if (!m_widget.isVisible() && m_settings.ShowBalloonTip) {
        m_tray.TrayBalloon(text, title, 0);
    }
}

QString PassFrontEnd::askOverwrite(const QString& path) {
    m_window.syncCommands();
    return frmYesAllNo::ShowMsg(path, &m_widget, m_settings,
                                [this](const QString& p) { return pathTaken(p); });
}

void PassFrontEnd::error(const QString& description, int number, const QString& context) {
    m_window.syncCommands();
    reportError(description, number, context, &m_widget);
}

bool PassFrontEnd::takeNoTitle(QString* notice, QString* encoding) {
    if (!m_heldNoTitle) {
        return false;
    }
    *notice = m_heldNoTitle->first;
    *encoding = m_heldNoTitle->second;
    m_heldNoTitle.reset();
    return true;
}

void PassFrontEnd::keepChapCount(int found, int ignored) {
    const QString count = ChapCountText(found, ignored);
    if (!m_ui.textPanel->text().contains(count)) {
        m_ui.textPanel->setText(m_ui.textPanel->text() + QStringLiteral(u"　") + count);
    }
}

void PassFrontEnd::noTitleFound(const QString& notice, const QString& encoding) {
    if (m_holdNoTitle) {
        m_heldNoTitle = std::make_pair(notice, encoding);
        return;
    }
    const QString advice = QStringLiteral(u"\r\n文件是按 %1 编码读取的：编码不对时请在“编码”菜单里另选；"
                                          u"也可以在“选项 → 标题规则”里换一条规则。")
                               .arg(encoding);
    m_window.syncCommands();
    // Out of sight the notice goes to a balloon; an offer needs the window.
    if (outOfSight()) {
        m_tray.notice(notice + advice, QStringLiteral(u"分析"), 1);
        return;
    }
    const QString question =
        notice + advice + QStringLiteral(u"\r\n\r\n是否现在用“推荐规则”在这部小说上试一试？");
    if (Prompts::askYesNo(&m_widget, question, QStringLiteral(u"分析"))) {
        // After this analysis has ended: the suggestion reads the novel and may analyse it again.
        QMetaObject::invokeMethod(
            &m_widget, [w = &m_window] { w->suggestTitleRule(); }, Qt::QueuedConnection);
    }
}

void PassFrontEnd::outputDone(const QString& text, const QString& folder) {
    m_window.syncCommands();
    const QString where = QDir::toNativeSeparators(folder);
    // Out of sight, a click on the balloon opens the folder (and brings the window back).
    if (outOfSight() && m_settings.ShowBalloonTip && m_tray.TrayBalloon(text, QStringLiteral(u"输出"), 0)) {
        m_tray.setBalloonFolder(folder);
        return;
    }
    QMessageBox box(QMessageBox::Information, QStringLiteral(u"输出"),
                    text + QStringLiteral(u"\r\n文件夹: ") + where, QMessageBox::Ok, &m_widget);
    box.button(QMessageBox::Ok)->setText(QStringLiteral(u"确定"));
    QPushButton* open = box.addButton(m_bookPass ? QStringLiteral(u"打开所在文件夹") : QStringLiteral(u"打开文件夹"),
                                      QMessageBox::ActionRole);
    open->setObjectName(QStringLiteral("btnOpenFolder"));
    Prompts::exec(&box);
    if (box.clickedButton() == open) {
        Prompts::openUrl(QUrl::fromLocalFile(folder));
    }
}
