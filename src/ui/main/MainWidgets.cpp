#include "MainWidgets.h"

#include "ChapterPreviewPane.h"
#include "ChapterRowDelegate.h"
#include "ListColumns.h"

#include "config/Settings.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMainWindow>
#include <QProgressBar>
#include <QSplitter>
#include <QStatusBar>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

void buildList(MainWidgets& w, QMainWindow& window, ChapterModel& model, Settings& settings) {
    auto* client = new QWidget(&window);
    client->setObjectName(QStringLiteral("client"));
    client->setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(client);
    layout->setContentsMargins(0, 0, 0, 0);

    w.lvwTitles = new QTreeView(client);
    w.lvwTitles->setObjectName(QStringLiteral("lvwTitles"));
    w.lvwTitles->setModel(&model);
    w.lvwTitles->setRootIsDecorated(false);
    w.lvwTitles->setUniformRowHeights(true);
    w.lvwTitles->setAllColumnsShowFocus(true);
    w.lvwTitles->setSelectionMode(QAbstractItemView::ExtendedSelection);
    w.lvwTitles->setSelectionBehavior(QAbstractItemView::SelectRows);
    w.lvwTitles->setEditTriggers(QAbstractItemView::NoEditTriggers);
    w.lvwTitles->setSortingEnabled(false);
    w.lvwTitles->setItemDelegate(new ChapterRowDelegate(settings, w.lvwTitles));
    w.lvwTitles->setAcceptDrops(true);
    w.lvwTitles->viewport()->setAcceptDrops(true);
    QHeaderView* header = w.lvwTitles->header();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(false);
    header->setSectionsMovable(false);
    ListColumns* columns = w.columns = new ListColumns(w.lvwTitles, model);
    QObject::connect(columns, &ListColumns::userWidthsChanged, &window,
                     [columns, &settings] { settings.ColumnWidths = columns->userWidths(); });
    // A check mark colours its whole row, not only the cell that holds it.
    QTreeView* list = w.lvwTitles;
    QObject::connect(&model, &QAbstractItemModel::dataChanged, list,
                     [list](const QModelIndex&, const QModelIndex&, const QList<int>& roles) {
                         if (roles.isEmpty() || roles.contains(Qt::CheckStateRole)) {
                             list->viewport()->update();
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
    // A new analysis, or closing, empties the list without a selection change.
    QObject::connect(&model, &QAbstractItemModel::modelReset, w.txtPreview, &QPlainTextEdit::clear);
    layout->addWidget(w.splTitles);
    window.setCentralWidget(client);
}

void buildStatusBar(MainWidgets& w, QMainWindow& window) {
    w.staStatus = new QStatusBar(&window);
    w.staStatus->setObjectName(QStringLiteral("staStatus"));
    w.staStatus->setMinimumHeight(22);
    window.setStatusBar(w.staStatus);

    w.textPanel = new QLabel(QStringLiteral(u"就绪"), w.staStatus);
    w.textPanel->setObjectName(QStringLiteral("text"));
    w.textPanel->setMinimumWidth(96);
    // Panels are ordinary status-bar widgets, so a drag message (single-text mode) hides both.
    w.staStatus->addWidget(w.textPanel, 1);

    w.btnTidy = new QToolButton(w.staStatus);
    w.btnTidy->setObjectName(QStringLiteral("btnTidy"));
    w.btnTidy->setAutoRaise(true);
    w.btnTidy->setToolTip(QStringLiteral(u"按编号整理：忽略目录、正文中的引用和重复的标题，恢复被“过近”规则误忽略的章节（可撤消）"));
    w.btnTidy->hide();
    w.staStatus->addWidget(w.btnTidy, 0);

    w.processPanel = new QWidget(w.staStatus);
    w.processPanel->setObjectName(QStringLiteral("process"));
    w.processPanel->setFixedWidth(220);
    auto* layout = new QHBoxLayout(w.processPanel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    w.percentPanel = new QLabel(w.processPanel);
    w.percentPanel->setObjectName(QStringLiteral("processText"));
    w.percentPanel->setFixedWidth(44);
    w.prgDone = new QProgressBar(w.processPanel);
    w.prgDone->setObjectName(QStringLiteral("prgDone"));
    w.prgDone->setFixedSize(172, 14);
    w.prgDone->setTextVisible(false);
    w.prgDone->hide();
    layout->addWidget(w.percentPanel);
    layout->addWidget(w.prgDone);
    layout->addStretch(1);
    w.staStatus->addWidget(w.processPanel, 0);

    w.encodingPanel = new QLabel(w.staStatus);
    w.encodingPanel->setObjectName(QStringLiteral("encoding"));
    w.encodingPanel->setMinimumWidth(72);
    w.encodingPanel->setAlignment(Qt::AlignCenter);
    w.staStatus->addWidget(w.encodingPanel, 0);
}

} // namespace

MainWidgets MainWidgets::build(QMainWindow& window, ChapterModel& model, Settings& settings) {
    MainWidgets w;
    buildList(w, window, model, settings);
    buildStatusBar(w, window);
    return w;
}

QString MainWidgets::panelText(const QString& key) const {
    if (key == QLatin1String("text")) {
        return textPanel->text();
    }
    if (key == QLatin1String("process")) {
        return percentPanel->text();
    }
    if (key == QLatin1String("encoding")) {
        return encodingPanel->text();
    }
    return QString();
}

QString MainWidgets::panelToolTip(const QString& key) const {
    if (key == QLatin1String("text")) {
        return textPanel->toolTip();
    }
    if (key == QLatin1String("encoding")) {
        return encodingPanel->toolTip();
    }
    return QString();
}
