#include "ListColumns.h"

#include <QEvent>
#include <QHeaderView>
#include <QStyleOptionHeader>
#include <QStyleOptionViewItem>
#include <QTreeView>

#include <algorithm>
#include <numeric>

namespace {

// The sharing columns' shares until the user drags one: their widths in the designed window.
constexpr std::array<int, ChapterModel::ColumnCount> DefaultShare = {0, 150, 190, 0, 150, 0};

// The numbering marker drawn before a 章节号 (ChapterRowDelegate).
const QSize MarkerSize(6, 14);

int digits(qint64 n) {
    return int(QString::number(n).size());
}

} // namespace

ListColumns::ListColumns(QTreeView* view, const ChapterModel& model)
    : QObject(view), m_view(view), m_model(model) {
    QHeaderView* header = view->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(QHeaderView::Interactive);
    connect(header, &QHeaderView::sectionResized, this, &ListColumns::dragged);
    // The view's own answer to a double click, the widest visible cell, would be taken for a drag.
    disconnect(header, SIGNAL(sectionHandleDoubleClicked(int)), view, SLOT(resizeColumnToContents(int)));
    connect(header, &QHeaderView::sectionHandleDoubleClicked, this, &ListColumns::reset);
    // Fitted widths follow the widest ID, number and line, which only a new list or an edit changes.
    connect(&model, &QAbstractItemModel::modelReset, this, &ListColumns::refit);
    connect(&model, &QAbstractItemModel::rowsInserted, this, &ListColumns::refit);
    connect(&model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& from, const QModelIndex& to, const QList<int>& roles) {
                if ((roles.isEmpty() || roles.contains(Qt::DisplayRole)) &&
                    from.column() <= ChapterModel::ChapNumColumn &&
                    to.column() >= ChapterModel::ChapNumColumn) {
                    refit();
                }
            });
    view->installEventFilter(this);
    view->viewport()->installEventFilter(this);
    refit();
}

bool ListColumns::shares(int column) {
    return DefaultShare[column] > 0;
}

QList<int> ListColumns::userWidths() const {
    if (std::all_of(m_user.begin(), m_user.end(), [](int w) { return w == 0; })) {
        return {};
    }
    return QList<int>(m_user.begin(), m_user.end());
}

void ListColumns::setUserWidths(const QList<int>& widths) {
    for (int c = 0; c < Count; ++c) {
        m_user[c] = std::max(0, widths.value(c));
    }
    m_changed = false;
    layout();
}

bool ListColumns::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_view->viewport() && event->type() == QEvent::Resize) {
        layout();
    } else if (watched == m_view &&
               (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)) {
        refit();
    }
    return QObject::eventFilter(watched, event);
}

void ListColumns::refit() {
    const ChapterModel& m = m_model;
    qint32 lastLine = 0;
    for (qint32 line : m.chapline()) {
        lastLine = std::max(lastLine, line);
    }
    int numberChars = 3; // numbers are shown with at least three digits
    for (qint16 n : m.chapnum()) {
        numberChars = std::max(numberChars, digits(n));
    }
    const int widest[Count] = {digits(std::max(m.rowCount(), 1)), 0, 0, numberChars, 0, digits(lastLine)};

    QHeaderView* header = m_view->header();
    for (int c = 0; c < Count; ++c) {
        // The caption with a sort arrow, so that sorting never widens a column.
        QStyleOptionHeader caption;
        caption.initFrom(header);
        caption.section = c;
        caption.text = ChapterModel::ColumnCaptions.at(c) + u'▼';
        int width =
            header->style()->sizeFromContents(QStyle::CT_HeaderSection, &caption, QSize(), header).width();
        if (!shares(c)) {
            QStyleOptionViewItem cell;
            cell.initFrom(m_view);
            cell.font = m_view->font();
            cell.fontMetrics = QFontMetrics(cell.font);
            cell.features = QStyleOptionViewItem::HasDisplay;
            cell.text = QString(widest[c], u'0');
            if (c == ChapterModel::IdColumn) {
                cell.features |= QStyleOptionViewItem::HasCheckIndicator;
            }
            if (c == ChapterModel::ChapNumColumn) {
                cell.features |= QStyleOptionViewItem::HasDecoration;
                cell.decorationSize = MarkerSize;
            }
            const int content =
                m_view->style()->sizeFromContents(QStyle::CT_ItemViewItem, &cell, QSize(), m_view).width();
            width = std::max(width, content + 2);
        }
        m_fit[c] = width;
    }
    // The 卷 column: its widest title, between its caption and a width that leaves the other
    // columns their room.
    if (m.columnCount() > ChapterModel::VolumeColumn) {
        QStyleOptionHeader caption;
        caption.initFrom(header);
        caption.section = ChapterModel::VolumeColumn;
        caption.text = ChapterModel::ColumnCaptions.at(ChapterModel::VolumeColumn) + u'▼';
        const int least = header->style()->sizeFromContents(QStyle::CT_HeaderSection, &caption, QSize(), header).width();
        int widest = 0;
        for (const Volume& v : m.volumes().all()) {
            widest = std::max(widest, m_view->fontMetrics().horizontalAdvance(v.title));
        }
        m_volumeFit = std::clamp(widest + 2 * MarkerSize.width() + 8, least, std::max(least, 200));
    } else {
        m_volumeUser = 0; // a new novel's volumes start at their own width
    }
    layout();
}

int ListColumns::volumeWidth() const {
    if (m_model.columnCount() <= ChapterModel::VolumeColumn) {
        return 0;
    }
    return m_volumeUser > 0 ? m_volumeUser : m_volumeFit;
}

int ListColumns::minimum(int column) const {
    return m_fit[column];
}

int ListColumns::fitted(int column) const {
    return m_user[column] > 0 ? m_user[column] : m_fit[column];
}

int ListColumns::available() const {
    return m_view->viewport()->width();
}

void ListColumns::layout() {
    std::array<int, Count> widths{};
    int rest = available() - volumeWidth();
    int weights = 0;
    int last = -1;
    for (int c = 0; c < Count; ++c) {
        if (shares(c)) {
            weights += m_user[c] > 0 ? m_user[c] : DefaultShare[c];
            last = c;
        } else {
            widths[c] = fitted(c);
            rest -= widths[c];
        }
    }
    int given = 0;
    for (int c = 0; c < Count; ++c) {
        if (shares(c)) {
            const int share = m_user[c] > 0 ? m_user[c] : DefaultShare[c];
            widths[c] = std::max(minimum(c), int(qint64(std::max(rest, 0)) * share / weights));
            given += widths[c];
        }
    }
    // Rounding leaves a pixel or two over.
    if (given < rest) {
        widths[last] += rest - given;
    }
    apply(widths);
}

void ListColumns::apply(const std::array<int, Count>& widths) {
    QHeaderView* header = m_view->header();
    m_applying = true;
    for (int c = 0; c < Count; ++c) {
        if (header->sectionSize(c) != widths[c]) {
            header->resizeSection(c, widths[c]);
        }
    }
    if (const int volume = volumeWidth(); volume > 0 && header->sectionSize(ChapterModel::VolumeColumn) != volume) {
        header->resizeSection(ChapterModel::VolumeColumn, volume);
    }
    m_applying = false;
}

void ListColumns::dragged(int column, int oldWidth, int newWidth) {
    if (m_applying) {
        return;
    }
    if (column >= Count) {
        // The 卷 column keeps what it is given; the others share what is left.
        m_volumeUser = newWidth;
        layout();
        return;
    }
    QHeaderView* header = m_view->header();
    std::array<int, Count> widths{};
    for (int c = 0; c < Count; ++c) {
        widths[c] = header->sectionSize(c);
    }
    // Who gives or takes the difference: the sharing columns after the divider, else every
    // column after it, else (the last divider) the sharing columns before it.
    QList<int> takers;
    for (int c = column + 1; c < Count; ++c) {
        if (shares(c)) {
            takers << c;
        }
    }
    if (takers.isEmpty()) {
        for (int c = column + 1; c < Count; ++c) {
            takers << c;
        }
    }
    if (takers.isEmpty()) {
        for (int c = 0; c < column; ++c) {
            if (shares(c)) {
                takers << c;
            }
        }
    }

    int delta = newWidth - oldWidth;
    // Growing takes room from the takers down to their minimum, and stops there.
    int room = 0;
    int total = 0;
    for (int t : std::as_const(takers)) {
        room += std::max(0, widths[t] - minimum(t));
        total += widths[t];
    }
    if (delta > room) {
        widths[column] -= delta - room;
        delta = room;
    }
    int left = delta;
    for (qsizetype i = 0; i < takers.size(); ++i) {
        const int t = takers[i];
        int part = left;
        if (i + 1 < takers.size()) {
            part = delta > 0 ? int(qint64(delta) * std::max(0, widths[t] - minimum(t)) / std::max(room, 1))
                             : int(qint64(delta) * widths[t] / std::max(total, 1));
        }
        widths[t] -= part;
        left -= part;
    }

    m_user[column] = widths[column];
    for (int t : std::as_const(takers)) {
        m_user[t] = widths[t];
    }
    // Shares are kept as a set: one dragged share and two automatic ones would mix two scales.
    if (shares(column) || std::any_of(takers.begin(), takers.end(), &ListColumns::shares)) {
        for (int c = 0; c < Count; ++c) {
            if (shares(c)) {
                m_user[c] = widths[c];
            }
        }
    }
    apply(widths);
    m_changed = true;
    emit userWidthsChanged();
}

void ListColumns::reset(int column) {
    if (column >= Count) {
        m_volumeUser = 0;
        layout();
        return;
    }
    for (int c = 0; c < Count; ++c) {
        if (c == column || (shares(column) && shares(c))) {
            m_user[c] = 0;
        }
    }
    layout();
    m_changed = true;
    emit userWidthsChanged();
}
