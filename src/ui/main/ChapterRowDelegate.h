#pragma once

#include <QIcon>
#include <QStyledItemDelegate>

struct Settings;

/// Paints the chapter list: checked rows (ignored titles) in their own colour, and a marker
/// on a 章节号 that breaks the numbering.
class ChapterRowDelegate : public QStyledItemDelegate {
public:
    ChapterRowDelegate(const Settings& settings, QObject* parent);

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

private:
    static constexpr int MarkerCount = 5;
    const Settings& m_settings;
    QIcon m_markers[MarkerCount];
};
