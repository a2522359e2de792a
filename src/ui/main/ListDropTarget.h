#pragma once

#include <QObject>

class frmMain;
class QDropEvent;

/// The chapter list's surface: one dropped .txt file is opened (once the drop is over), a
/// right click brings the chapter menu, and Space checks or unchecks the selected rows.
class ListDropTarget : public QObject {
public:
    explicit ListDropTarget(frmMain& window);

    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    bool OLEDragOver(QDropEvent* e);
    void OLEDragDrop(QDropEvent* e);

    frmMain& m_w;
};
