#pragma once

#include <QObject>

#include <functional>

class QDropEvent;
class QStatusBar;
class QTreeView;

/// The chapter list's surface: one dropped .txt file is opened (once the drop is over), a
/// right click brings the chapter menu, and Space checks or unchecks the selected rows. What
/// the drag is told goes to the status bar; the rest the window connects to its commands.
class ListDropTarget : public QObject {
    Q_OBJECT

public:
    /// `busy` says whether a pass runs: nothing can be dropped then.
    ListDropTarget(QTreeView* list, QStatusBar* status, std::function<bool()> busy, QObject* parent);

    bool eventFilter(QObject* watched, QEvent* e) override;

signals:
    /// A .txt file was dropped; sent once the drop is over, so that the file manager is not
    /// kept waiting by what the window does with it.
    void fileDropped(const QString& path);
    void spacePressed();
    void rightClicked(const QPoint& globalPos);

private:
    bool OLEDragOver(QDropEvent* e);
    void OLEDragDrop(QDropEvent* e);

    QTreeView* m_list;
    QStatusBar* m_status;
    std::function<bool()> m_busy;
};
