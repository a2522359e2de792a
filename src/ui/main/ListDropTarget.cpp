#include "ListDropTarget.h"

#include "frmMain.h"

#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QStatusBar>
#include <QTreeView>

ListDropTarget::ListDropTarget(frmMain& window) : QObject(&window), m_w(window) {}

bool ListDropTarget::OLEDragOver(QDropEvent* e) {
    // A file dropped during a pass would replace the document under it.
    if (m_w.m_passRunning) {
        return false;
    }
    const QMimeData* data = e->mimeData();
    QList<QUrl> files;
    if (data->hasUrls()) {
        for (const QUrl& url : data->urls()) {
            if (url.isLocalFile()) {
                files << url;
            }
        }
    }
    if (files.isEmpty()) {
        m_w.staStatus->showMessage(QStringLiteral(u"拖入的不是文件,无法释放..."));
        return false;
    }
    if (files.size() != 1 || data->urls().size() != 1) {
        m_w.staStatus->showMessage(QStringLiteral(u"文件个数超过1个,无法释放..."));
        return false;
    }
    if (files.first().toLocalFile().right(4).toLower() == QLatin1String(".txt")) {
        m_w.staStatus->showMessage(QStringLiteral(u"请拖入文件..."));
        return true;
    }
    m_w.staStatus->showMessage(QStringLiteral(u"拖入的不是txt文件,无法释放..."));
    return false;
}

void ListDropTarget::OLEDragDrop(QDropEvent* e) {
    const QList<QUrl> urls = e->mimeData()->urls();
    e->setDropAction(Qt::CopyAction);
    e->accept();
    m_w.staStatus->clearMessage();
    if (!urls.isEmpty()) {
        // Opened once the drop is over, so that the file manager is not kept waiting by an analysis.
        const QString path = urls.first().toLocalFile();
        QMetaObject::invokeMethod(
            &m_w, [w = &m_w, path] { w->OpenTextFile(path); }, Qt::QueuedConnection);
    }
}

bool ListDropTarget::eventFilter(QObject* watched, QEvent* e) {
    if (watched == m_w.lvwTitles && e->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(e);
        if (key->key() == Qt::Key_Space && key->modifiers() == Qt::NoModifier) {
            m_w.m_list.toggleSelectedChecks();
            return true;
        }
    }
    if (watched == m_w.lvwTitles->viewport()) {
        switch (e->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* drop = static_cast<QDropEvent*>(e);
            if (OLEDragOver(drop)) {
                drop->setDropAction(Qt::CopyAction);
                drop->accept();
            } else {
                drop->setDropAction(Qt::IgnoreAction);
                drop->ignore();
            }
            return true;
        }
        case QEvent::DragLeave:
            return true;
        case QEvent::Drop:
            OLEDragDrop(static_cast<QDropEvent*>(e));
            return true;
        case QEvent::MouseButtonRelease: {
            auto* mouse = static_cast<QMouseEvent*>(e);
            if (mouse->button() == Qt::RightButton) {
                m_w.m_list.lvwTitles_MouseUp(mouse->globalPosition().toPoint());
                return true;
            }
            break;
        }
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, e);
}
