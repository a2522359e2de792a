#pragma once

#include <QIcon>

/// The program's icon in every size the desktop installs (16 to 256 px), from the resources.
QIcon applicationIcon();

/// The pixel sizes applicationIcon() holds, smallest first.
QList<int> applicationIconSizes();
