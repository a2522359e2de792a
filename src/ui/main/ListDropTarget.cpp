#include "ListDropTarget.h"

#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QStatusBar>
#include <QTreeView>

ListDropTarget::ListDropTarget(QTreeView* list, QStatusBar* status, std::function<bool()> busy,
                               QObject* parent)
    : QObject(parent), m_list(list), m_status(status), m_busy(std::move(busy)) {
    list->viewport()->installEventFilter(this);
    list->installEventFilter(this);
}

bool ListDropTarget::OLEDragOver(QDropEvent* e) {
    // A file dropped during a pass would replace the document under it.
    if (m_busy()) {
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
        m_status->showMessage(QStringLiteral(u"拖入的不是文件,无法释放..."));
        return false;
    }
    if (files.size() != 1 || data->urls().size() != 1) {
        m_status->showMessage(QStringLiteral(u"文件个数超过1个,无法释放..."));
        return false;
    }
    if (files.first().toLocalFile().right(4).toLower() == QLatin1String(".txt")) {
        m_status->showMessage(QStringLiteral(u"请拖入文件..."));
        return true;
    }
    m_status->showMessage(QStringLiteral(u"拖入的不是txt文件,无法释放..."));
    return false;
}

void ListDropTarget::OLEDragDrop(QDropEvent* e) {
    const QList<QUrl> urls = e->mimeData()->urls();
    e->setDropAction(Qt::CopyAction);
    e->accept();
    m_status->clearMessage();
    if (!urls.isEmpty()) {
        // Opened once the drop is over, so that the file manager is not kept waiting by an analysis.
        const QString path = urls.first().toLocalFile();
        QMetaObject::invokeMethod(
            this, [this, path] { emit fileDropped(path); }, Qt::QueuedConnection);
    }
}

bool ListDropTarget::eventFilter(QObject* watched, QEvent* e) {
    if (watched == m_list && e->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(e);
        if (key->key() == Qt::Key_Space && key->modifiers() == Qt::NoModifier) {
            emit spacePressed();
            return true;
        }
    }
    if (watched == m_list->viewport()) {
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
                emit rightClicked(mouse->globalPosition().toPoint());
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
