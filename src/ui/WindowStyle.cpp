#include "WindowStyle.h"

#include <QColor>
#include <QUrl>
#include <QWidget>

void ApplyFontName(QWidget* window, const QString& fontName)
{
    if (fontName.isEmpty()) {
        return;
    }
    QFont font = window->font();
    font.setFamilies({fontName});
    window->setFont(font);
}

void SetTopMost(QWidget* window, bool on)
{
    if (window->windowFlags().testFlag(Qt::WindowStaysOnTopHint) == on) {
        return;
    }
    // Changing the flags re-creates the native window, which hides it; keep its place.
    const bool visible = window->isVisible();
    const QRect geometry = window->geometry();
    window->setWindowFlag(Qt::WindowStaysOnTopHint, on);
    if (visible) {
        window->setGeometry(geometry);
        window->show();
    }
}

QColor ColorFromNumber(qint32 bgr)
{
    const quint32 c = quint32(bgr);
    return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

QUrl HomePage()
{
    return QUrl(QStringLiteral("https://vellomar.example/"));
}
