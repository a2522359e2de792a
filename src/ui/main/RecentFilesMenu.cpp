#include "RecentFilesMenu.h"

#include "Prompts.h"
#include "frmMain.h"

#include "config/ConfigFile.h"
#include "config/Settings.h"
#include "core/TextCodec.h"

#include <QAction>
#include <QFileInfo>
#include <QMenu>

namespace {

// The error number users quote for a settings file that cannot be written.
constexpr int PathFile = 75;

// The command-line name of an encoding choice, as config.ini keeps it.
QString encodingName(bool detect, TextCodec::Id id) {
    const QStringList names = TextCodec::names();
    for (const QString& name : names) {
        TextCodec::Id named = TextCodec::Gbk;
        bool auto_ = false;
        if (!detect && TextCodec::fromName(name, &named, &auto_) && !auto_ && named == id) {
            return name;
        }
    }
    return QStringLiteral("auto");
}

} // namespace

RecentFilesMenu::RecentFilesMenu(frmMain& window, QMenu* menu) : m_w(window), m_menu(menu) {
    m_menu->setToolTipsVisible(true);
}

void RecentFilesMenu::rebuild() {
    m_menu->clear();
    const QList<RecentFile>& files = m_w.m_settings.RecentFiles;
    QStringList names;
    for (const RecentFile& f : files) {
        names << QFileInfo(f.path).fileName();
    }
    for (qsizetype i = 0; i < files.size(); ++i) {
        // Two novels of the same name are told apart by their folders.
        QString label = names.count(names[i]) > 1 ? files[i].path : names[i];
        TextCodec::Id id = TextCodec::Gbk;
        bool detect = true;
        if (TextCodec::fromName(files[i].encoding, &id, &detect) && !detect) {
            label += QStringLiteral("  [") + TextCodec::forId(id).name() + u']';
        }
        QAction* a =
            m_menu->addAction(QStringLiteral("&%1 ").arg(i + 1) + label.replace(u'&', QStringLiteral("&&")));
        a->setObjectName(QStringLiteral("mnuF_Recent%1").arg(i));
        a->setToolTip(files[i].path);
        QObject::connect(a, &QAction::triggered, &m_w, [this, i] { open(int(i)); });
    }
    m_menu->menuAction()->setEnabled(m_openable && !files.isEmpty());
}

void RecentFilesMenu::enableFor(int state) {
    m_openable = state == Opened || state == Analysed || state == Closed;
    m_menu->menuAction()->setEnabled(m_openable && !m_w.m_settings.RecentFiles.isEmpty());
}

void RecentFilesMenu::opened(const QString& path) {
    addRecentFile(
        m_w.m_settings.RecentFiles,
        RecentFile{QFileInfo(path).absoluteFilePath(), encodingName(m_w.m_encodingDetect, m_w.m_encodingId)});
    save();
    rebuild();
}

void RecentFilesMenu::open(int index) {
    QList<RecentFile>& files = m_w.m_settings.RecentFiles;
    if (m_w.m_passRunning || index < 0 || index >= files.size()) {
        return;
    }
    const RecentFile file = files.at(index);
    if (!QFileInfo::exists(file.path)) {
        files.removeAt(index);
        save();
        rebuild();
        Prompts::messageBox(&m_w,
                            QStringLiteral(u"文件已不存在，已从“最近打开的文件”中移除：\r\n") + file.path,
                            QStringLiteral(u"打开"), QMessageBox::Warning);
        return;
    }
    TextCodec::Id id = m_w.m_encodingId;
    bool detect = true;
    if (!TextCodec::fromName(file.encoding, &id, &detect)) {
        detect = true;
    }
    // The choice stays for the novels opened after it, as one made in the 编码 menu does.
    m_w.m_encodingDetect = detect;
    m_w.m_encodingId = id;
    m_w.m_doc.setEncodingChoice(detect, id);
    m_w.syncEncodingMenu();
    m_w.OpenTextFile(file.path);
}

void RecentFilesMenu::save() {
    // Like every quick save of the window: not into a file that is missing or was unreadable.
    if (!QFileInfo::exists(m_w.m_configPath) || m_w.m_configUnreadable) {
        return;
    }
    QString error;
    if (!SaveRecentFiles(m_w.m_configPath, m_w.m_settings.RecentFiles, &error)) {
        m_w.ShowErrMsg(error, PathFile, QStringLiteral("frmMain::mnuF_Recent_Click()"));
    }
}
