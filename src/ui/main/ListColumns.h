#pragma once

#include "core/ChapterModel.h"

#include <QList>
#include <QObject>

#include <array>

class QTreeView;

/// Sizes the chapter list's columns so that they fill the list's width: ID, 章节号 and 行数
/// fit their widest value, 输出预览, 内容 and 章节标题 share what is left. A divider the user
/// drags moves on its own: the sharing columns after it (or, when there are none, the columns
/// after it, then the sharing ones before it) give or take the difference. What the user
/// dragged is kept: a fitted column's width as it is, the sharing columns' widths as their
/// shares. A double click on a divider gives the column its automatic width back.
///
/// The 卷 column, there while the novel has volumes, fits its widest volume title (within
/// bounds) or takes the width the user drags it to; the other columns share the rest.
class ListColumns : public QObject {
    Q_OBJECT

public:
    ListColumns(QTreeView* view, const ChapterModel& model);

    /// Widths the user set, in column order; 0 for a column left to itself. Empty when the
    /// user set none.
    QList<int> userWidths() const;
    void setUserWidths(const QList<int>& widths);
    /// Whether the user changed a width since the last setUserWidths.
    bool changed() const { return m_changed; }

    /// Measures the fitted columns again and lays the columns out.
    void refit();

signals:
    void userWidthsChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    static constexpr int Count = ChapterModel::ColumnCount;
    static bool shares(int column);

    void layout();
    void dragged(int column, int oldWidth, int newWidth);
    void reset(int column);
    void apply(const std::array<int, Count>& widths);
    /// The narrowest a column may become when another one takes its room.
    int minimum(int column) const;
    int fitted(int column) const;
    int available() const;
    /// The 卷 column's width; 0 while the list has none.
    int volumeWidth() const;

    QTreeView* m_view;
    const ChapterModel& m_model;
    std::array<int, Count> m_user{}; // 0: automatic
    std::array<int, Count> m_fit{};  // measured width of every column's contents and caption
    int m_volumeFit = 0;             // the same for the 卷 column
    int m_volumeUser = 0;            // dragged by the user; 0: automatic
    bool m_applying = false;
    bool m_changed = false;
};
