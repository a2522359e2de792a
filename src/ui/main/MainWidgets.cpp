#include "MainWidgets.h"

#include "ChapterPreviewPane.h"
#include "ChapterRowDelegate.h"
#include "ListColumns.h"
#include "ListDropTarget.h"
#include "frmMain.h"

#include "config/Settings.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTreeView>
#include <QVBoxLayout>

void MainWidgets::buildList(frmMain& w) {
    auto* client = new QWidget(&w);
    client->setObjectName(QStringLiteral("client"));
    client->setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(client);
    layout->setContentsMargins(0, 0, 0, 0);

    w.lvwTitles = new QTreeView(client);
    w.lvwTitles->setObjectName(QStringLiteral("lvwTitles"));
    w.lvwTitles->setModel(&w.m_doc.model());
    w.lvwTitles->setRootIsDecorated(false);
    w.lvwTitles->setUniformRowHeights(true);
    w.lvwTitles->setAllColumnsShowFocus(true);
    w.lvwTitles->setSelectionMode(QAbstractItemView::ExtendedSelection);
    w.lvwTitles->setSelectionBehavior(QAbstractItemView::SelectRows);
    w.lvwTitles->setEditTriggers(QAbstractItemView::NoEditTriggers);
    w.lvwTitles->setSortingEnabled(false);
    w.lvwTitles->setItemDelegate(new ChapterRowDelegate(w.m_settings, w.lvwTitles));
    w.lvwTitles->setAcceptDrops(true);
    w.lvwTitles->viewport()->setAcceptDrops(true);
    w.m_dropTarget = new ListDropTarget(w);
    w.lvwTitles->viewport()->installEventFilter(w.m_dropTarget);
    w.lvwTitles->installEventFilter(w.m_dropTarget);
    QHeaderView* header = w.lvwTitles->header();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(false);
    header->setSectionsMovable(false);
    w.m_columns = new ListColumns(w.lvwTitles, w.m_doc.model());
    QObject::connect(w.m_columns, &ListColumns::userWidthsChanged, &w,
                     [&w] { w.m_settings.ColumnWidths = w.m_columns->userWidths(); });
    QObject::connect(header, &QHeaderView::sectionClicked, &w,
                     [&w](int column) { w.m_list.lvwTitles_ColumnClick(column); });
    // A check mark colours its whole row, not only the cell that holds it.
    QObject::connect(&w.m_doc.model(), &QAbstractItemModel::dataChanged, w.lvwTitles,
                     [&w](const QModelIndex&, const QModelIndex&, const QList<int>& roles) {
                         if (roles.isEmpty() || roles.contains(Qt::CheckStateRole)) {
                             w.lvwTitles->viewport()->update();
                         }
                     });
    QObject::connect(w.lvwTitles, &QTreeView::doubleClicked, &w, [&w] { w.m_list.lvwTitles_DblClick(); });

    // A check mark or a chapter number changes the review, and the end of the chapter shown.
    QObject::connect(&w.m_doc.model(), &QAbstractItemModel::dataChanged, &w,
                     [&w](const QModelIndex& from, const QModelIndex& to, const QList<int>& roles) {
                         const bool checks = roles.isEmpty() || roles.contains(Qt::CheckStateRole);
                         const bool numbers = roles.contains(Qt::DisplayRole) &&
                                              from.column() <= ChapterModel::ChapNumColumn &&
                                              to.column() >= ChapterModel::ChapNumColumn;
                         if (checks || numbers) {
                             w.m_list.ReviewNumbering();
                         }
                         if (checks) {
                             w.ShowPreview();
                         }
                     });

    w.splTitles = new QSplitter(Qt::Vertical, client);
    w.splTitles->setObjectName(QStringLiteral("splTitles"));
    w.splTitles->setChildrenCollapsible(false);
    w.splTitles->addWidget(w.lvwTitles);
    w.txtPreview = new ChapterPreviewPane(w.splTitles);
    w.splTitles->addWidget(w.txtPreview);
    w.splTitles->setStretchFactor(0, 3);
    w.splTitles->setStretchFactor(1, 2);
    QObject::connect(w.lvwTitles->selectionModel(), &QItemSelectionModel::selectionChanged, &w,
                     &frmMain::ShowPreview);
    // A new analysis, or closing, empties the list without a selection change.
    QObject::connect(&w.m_doc.model(), &QAbstractItemModel::modelReset, w.txtPreview, &QPlainTextEdit::clear);
    layout->addWidget(w.splTitles);
    w.setCentralWidget(client);
}

void MainWidgets::buildStatusBar(frmMain& w) {
    w.staStatus = new QStatusBar(&w);
    w.staStatus->setObjectName(QStringLiteral("staStatus"));
    w.staStatus->setMinimumHeight(22);
    w.setStatusBar(w.staStatus);

    w.m_panelText = new QLabel(QStringLiteral(u"就绪"), w.staStatus);
    w.m_panelText->setObjectName(QStringLiteral("text"));
    w.m_panelText->setMinimumWidth(96);
    // Panels are ordinary status-bar widgets, so a drag message (single-text mode) hides both.
    w.staStatus->addWidget(w.m_panelText, 1);

    w.m_panelProcess = new QWidget(w.staStatus);
    w.m_panelProcess->setObjectName(QStringLiteral("process"));
    w.m_panelProcess->setFixedWidth(220);
    auto* layout = new QHBoxLayout(w.m_panelProcess);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    w.m_panelPercent = new QLabel(w.m_panelProcess);
    w.m_panelPercent->setObjectName(QStringLiteral("processText"));
    w.m_panelPercent->setFixedWidth(44);
    w.prgDone = new QProgressBar(w.m_panelProcess);
    w.prgDone->setObjectName(QStringLiteral("prgDone"));
    w.prgDone->setFixedSize(172, 14);
    w.prgDone->setTextVisible(false);
    w.prgDone->hide();
    layout->addWidget(w.m_panelPercent);
    layout->addWidget(w.prgDone);
    layout->addStretch(1);
    w.staStatus->addWidget(w.m_panelProcess, 0);

    w.m_panelEncoding = new QLabel(w.staStatus);
    w.m_panelEncoding->setObjectName(QStringLiteral("encoding"));
    w.m_panelEncoding->setMinimumWidth(72);
    w.m_panelEncoding->setAlignment(Qt::AlignCenter);
    w.staStatus->addWidget(w.m_panelEncoding, 0);
}
