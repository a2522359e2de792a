#include "RecentFilesMenu.h"

#include "Prompts.h"

#include "config/Settings.h"
#include "core/Document.h"

#include <QAction>
#include <QFileInfo>
#include <QMenu>

namespace {

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

RecentFilesMenu::RecentFilesMenu(Window& window, QWidget* owner, QMenu* menu, QList<RecentFile>& files)
    : m_window(window), m_owner(owner), m_menu(menu), m_files(files) {
    m_menu->setToolTipsVisible(true);
}

void RecentFilesMenu::rebuild() {
    m_menu->clear();
    const QList<RecentFile>& files = m_files;
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
        QObject::connect(a, &QAction::triggered, m_menu, [this, i] { open(int(i)); });
    }
    m_menu->menuAction()->setEnabled(m_openable && !files.isEmpty());
}

void RecentFilesMenu::enableFor(int state) {
    m_openable = state == Opened || state == Analysed || state == Closed;
    m_menu->menuAction()->setEnabled(m_openable && !m_files.isEmpty());
}

void RecentFilesMenu::opened(const QString& path, bool detect, TextCodec::Id id) {
    addRecentFile(m_files, RecentFile{QFileInfo(path).absoluteFilePath(), encodingName(detect, id)});
    m_window.recentFilesChanged();
    rebuild();
}

void RecentFilesMenu::open(int index) {
    if (m_window.passRunning() || index < 0 || index >= m_files.size()) {
        return;
    }
    const RecentFile file = m_files.at(index);
    if (!QFileInfo::exists(file.path)) {
        m_files.removeAt(index);
        m_window.recentFilesChanged();
        rebuild();
        Prompts::messageBox(m_owner,
                            QStringLiteral(u"文件已不存在，已从“最近打开的文件”中移除：\r\n") + file.path,
                            QStringLiteral(u"打开"), QMessageBox::Warning);
        return;
    }
    TextCodec::Id id = TextCodec::Gbk;
    bool detect = true;
    if (!TextCodec::fromName(file.encoding, &id, &detect)) {
        detect = true;
    }
    m_window.openWithEncoding(file.path, detect, id);
}
