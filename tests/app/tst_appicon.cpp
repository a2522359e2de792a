#include "AppIcon.h"

#include <QImage>
#include <QTest>

class tst_AppIcon : public QObject {
    Q_OBJECT

private slots:
    void everyInstalledSize_isInTheIcon();
    void renderings_keepTransparentCornersAndAnOpaqueCover();
};

void tst_AppIcon::everyInstalledSize_isInTheIcon() {
    const QIcon icon = applicationIcon();
    QList<QSize> expected;
    for (int size : applicationIconSizes()) {
        expected.append(QSize(size, size));
    }
    QCOMPARE(icon.availableSizes(), expected);
    // A size missing from the resources would still be listed; the pixmap proves it loads.
    for (const QSize& size : expected) {
        QCOMPARE(icon.pixmap(size).size(), size);
    }
}

void tst_AppIcon::renderings_keepTransparentCornersAndAnOpaqueCover() {
    for (int size : applicationIconSizes()) {
        const QString path = QStringLiteral(":/icons/%1x%1/apps/vellomar.png").arg(size);
        const QImage image(path);
        QVERIFY2(!image.isNull(), qPrintable(path));
        // A file rendered at the wrong size would be scaled at every use, and blurred.
        QCOMPARE(image.size(), QSize(size, size));
        QVERIFY2(image.hasAlphaChannel(), qPrintable(path));
        // A renderer that puts a background behind the picture shows as a square on dark panels.
        const int last = size - 1;
        for (const QPoint corner : {QPoint(0, 0), QPoint(last, 0), QPoint(0, last), QPoint(last, last)}) {
            QVERIFY2(image.pixelColor(corner).alpha() == 0, qPrintable(path));
        }
        const QColor cover = image.pixelColor(size * 3 / 8, size / 2);
        QVERIFY2(cover.alpha() == 255 && cover.red() > 2 * cover.green(), qPrintable(path));
    }
}

QTEST_MAIN(tst_AppIcon)
#include "tst_appicon.moc"
