#include "AppIcon.h"

QList<int> applicationIconSizes() {
    return {16, 24, 32, 48, 64, 128, 256};
}

QIcon applicationIcon() {
    // The rendered PNGs rather than the SVG: no image-format plugin is needed to show them.
    QIcon icon;
    for (int size : applicationIconSizes()) {
        icon.addFile(QStringLiteral(":/icons/%1x%1/apps/vellomar.png").arg(size), QSize(size, size));
    }
    return icon;
}
