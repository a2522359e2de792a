#pragma once

#include <QIcon>
#include <QStyledItemDelegate>

struct Settings;

/// Paints the chapter list: checked rows (ignored titles) in their own colour, a marker on a
/// 章节号 that breaks the numbering, and one on a 卷 cell that tells of volumes without a chapter.
class ChapterRowDelegate : public QStyledItemDelegate {
public:
    ChapterRowDelegate(const Settings& settings, QObject* parent);

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

private:
    static constexpr int MarkerCount = 6;
    const Settings& m_settings;
    QIcon m_markers[MarkerCount];
    QIcon m_emptyVolumeMarker;
};
