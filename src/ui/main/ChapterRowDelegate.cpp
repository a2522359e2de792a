#include "ChapterRowDelegate.h"

#include "WindowStyle.h"

#include "config/Settings.h"
#include "core/ChapterModel.h"
#include "core/NumberingReview.h"

#include <QPainter>

namespace {

// The colour of a numbering anomaly's marker, by kind.
QColor anomalyColor(NumberingAnomaly a) {
    switch (a) {
    case NumberingAnomaly::Gap:
        return QColor(0xF0, 0x80, 0x00); // orange
    case NumberingAnomaly::Duplicate:
        return QColor(0xE0, 0x20, 0x20); // red
    case NumberingAnomaly::StepBack:
        return QColor(0x90, 0x30, 0xC0); // purple, unlike the selection
    case NumberingAnomaly::Zero:
        return QColor(0x80, 0x80, 0x80); // grey
    case NumberingAnomaly::Repeat:
        return QColor(0x20, 0x60, 0xE0); // blue
    case NumberingAnomaly::None:
        break;
    }
    return QColor();
}

// A short bar at the left of the cell, edged in white so that it stands out on a checked or
// selected row too.
QIcon marker(const QColor& color) {
    QPixmap bar(6, 14);
    bar.fill(Qt::white);
    QPainter p(&bar);
    p.fillRect(1, 1, 4, 12, color);
    p.end();
    QIcon icon;
    for (QIcon::Mode mode : {QIcon::Normal, QIcon::Selected, QIcon::Active}) {
        icon.addPixmap(bar, mode);
    }
    return icon;
}

QIcon anomalyMarker(NumberingAnomaly a) {
    return marker(anomalyColor(a));
}

} // namespace

static_assert(int(NumberingAnomaly::Repeat) + 1 == 6, "one marker for every kind of anomaly");

ChapterRowDelegate::ChapterRowDelegate(const Settings& settings, QObject* parent)
    : QStyledItemDelegate(parent), m_settings(settings) {
    for (NumberingAnomaly a : {NumberingAnomaly::Gap, NumberingAnomaly::Duplicate, NumberingAnomaly::StepBack,
                               NumberingAnomaly::Zero, NumberingAnomaly::Repeat}) {
        m_markers[int(a)] = anomalyMarker(a);
    }
    m_emptyVolumeMarker = marker(QColor(0x20, 0x80, 0xA0)); // teal, unlike any anomaly
}

void ChapterRowDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    if (index.siblingAtColumn(0).data(Qt::CheckStateRole).toInt() == Qt::Checked) {
        option->backgroundBrush = ColorFromNumber(m_settings.ItemBackColor);
    }
    if (index.column() == ChapterModel::VolumeColumn && index.data(ChapterModel::EmptyVolumeRole).toBool()) {
        // Volumes without a chapter are in this cell's tool tip.
        option->features |= QStyleOptionViewItem::HasDecoration;
        option->icon = m_emptyVolumeMarker;
        option->decorationSize = QSize(6, 14);
    }
    if (index.column() == ChapterModel::ChapNumColumn) {
        const int a = index.data(ChapterModel::AnomalyRole).toInt();
        if (a > 0 && a < MarkerCount) {
            option->features |= QStyleOptionViewItem::HasDecoration;
            option->icon = m_markers[a];
            option->decorationSize = QSize(6, 14);
        }
    }
}
