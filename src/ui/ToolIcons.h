#pragma once

#include <QIcon>
#include <QPixmap>

/// The toolbar pictures, drawn in code: index 1 to 15 in toolbar order (open, close, analyze,
/// saveout, stop, tool, status, selall, selreverse, selnone, selundo, edit, copy, config, about),
/// then 16 (saveepub), shown after saveout.
/// `hot` gives the second set, brighter, shown while the pointer is over a button.
QPixmap toolImage(int index, bool hot);
constexpr int ToolImageCount = 16;

/// Both sets of one picture as an icon (normal and active modes).
QIcon toolIcon(int index);

/// The window's own 16 x 16 icon: a book with a cut mark.
QIcon appIcon();
