#include "WindowStyle.h"

#include <QColor>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
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

QString NotesPath(const QString& programFolder)
{
    // Beside the program in a build or an unpacked folder; in share/vellomar once installed.
    for (const QString& candidate : {programFolder + QStringLiteral(u"/说明.txt"),
                                     programFolder + QStringLiteral(u"/../share/vellomar/说明.txt")}) {
        if (QFileInfo::exists(candidate)) {
            return QDir::cleanPath(QFileInfo(candidate).absoluteFilePath());
        }
    }
    return QString();
}

QUrl HomePage()
{
    // The guide that comes with the program; the project's page only when it is missing.
    const QString notes = NotesPath(QCoreApplication::applicationDirPath());
    return notes.isEmpty() ? QUrl(QStringLiteral("https://vellomar.example/")) : QUrl::fromLocalFile(notes);
}
