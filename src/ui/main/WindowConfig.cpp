#include "WindowConfig.h"

#include "ErrorHook.h"
#include "Prompts.h"

#include "config/ConfigFile.h"
#include "config/Settings.h"
#include "config/cInifile.h"

#include <QFileInfo>

namespace {

// The error number users quote for a settings file that cannot be written.
constexpr int PathFile = 75;

} // namespace

WindowConfig::WindowConfig(Settings& settings, const QString& path, QWidget* owner)
    : m_settings(settings), m_path(path), m_owner(owner) {}

bool WindowConfig::writable() const { return QFileInfo::exists(m_path) && !m_unreadable; }

void WindowConfig::load() {
    if (QFileInfo::exists(m_path)) {
        // Told at the first activation, when there is a window to stand over.
        m_unreadable = !LoadConfig(m_settings, m_path, &m_error);
    } else {
        LoadReplaceRules(m_settings, m_path);
    }
}

void WindowConfig::startNotices() {
    if (m_unreadable) {
        // Left as it is: whatever is in it is the user's, and it may be readable again later.
        Prompts::messageBox(m_owner,
                            QStringLiteral(u"配置文件 config.ini 无法读取,本次使用默认设置,退出时不保存窗口位置。\r\n") +
                                m_error,
                            QStringLiteral(u"初始化"), QMessageBox::Warning);
    } else if (!QFileInfo::exists(m_path)) {
        Prompts::messageBox(m_owner, QStringLiteral(u"配置文件 config.ini 丢失,即将重建!"),
                            QStringLiteral(u"初始化"), QMessageBox::Warning);
        QString error;
        if (!WriteDefaultConfig(m_settings, m_path, &error)) {
            reportError(error, PathFile, QStringLiteral("frmMain::Form_Activate()"), m_owner);
        }
    }
    if (!m_settings.ReplaceRuleProblems.isEmpty()) {
        Prompts::messageBox(m_owner,
                            QStringLiteral(u"有替换规则无法读取，清理时不会使用：\r\n")
                                + m_settings.ReplaceRuleProblems.join(QStringLiteral("\r\n")),
                            QStringLiteral(u"初始化"), QMessageBox::Warning);
    }
}

void WindowConfig::saveShowPreview(bool shown) {
    if (!writable()) {
        return;
    }
    cInifile ini;
    ini.setPath(m_path);
    ini.setSection(QStringLiteral("favorite"));
    ini.setKey(QStringLiteral("ShowPreview"));
    ini.setValue(shown ? QStringLiteral("True") : QStringLiteral("False"));
    if (!ini.Success()) {
        reportError(ini.errorString(), PathFile, QStringLiteral("frmMain::mnuV_Preview_Click()"), m_owner);
    }
}

void WindowConfig::saveRecentFiles() {
    if (!writable()) {
        return;
    }
    QString error;
    if (!SaveRecentFiles(m_path, m_settings.RecentFiles, &error)) {
        reportError(error, PathFile, QStringLiteral("frmMain::mnuF_Recent_Click()"), m_owner);
    }
}

void WindowConfig::saveColumnWidths(const QList<int>& widths) {
    if (!writable()) {
        return;
    }
    QString error;
    if (!SaveColumnWidths(m_path, widths, &error)) {
        reportError(error, PathFile, QStringLiteral("frmMain::Form_Unload()"), m_owner);
    }
}

bool WindowConfig::saveSettings(QString* error) {
    return m_unreadable || SaveConfig(m_settings, m_path, error);
}
