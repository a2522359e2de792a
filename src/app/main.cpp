// vellomar: the desktop window.
#include "AppIcon.h"
#include "StartArguments.h"
#include "frmMain.h"

#include "config/Settings.h"
#include "config/StartUp.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTextStream>
#include <QTranslator>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vellomar"));
    // Wayland compositors match the window to its menu entry, and so to its icon, by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.vellomar.Vellomar"));
    QApplication::setWindowIcon(applicationIcon());
    // The window may live hidden in the notification area while a dialog of its own closes:
    // the program ends when the main window unloads, not when the last visible window goes.
    QApplication::setQuitOnLastWindowClosed(false);

    // The interface is Chinese whatever the system's language: Qt's own dialogs (files,
    // colours) and the standard buttons must speak it too.
    QTranslator qtChinese;
    const QString translations = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (qtChinese.load(QStringLiteral("qt_zh_CN"), translations) ||
        qtChinese.load(QStringLiteral("qtbase_zh_CN"), translations)) {
        QApplication::installTranslator(&qtChinese);
    }

    // Said before any window shows, so that a mistyped option is seen on the terminal at once.
    const StartArguments start = parseStartArguments(QApplication::arguments());
    if (!start.ignored.isEmpty()) {
        QTextStream err(stderr);
        for (const QString& arg : start.ignored) {
            err << "vellomar: ignoring argument \"" << arg << "\"" << Qt::endl;
        }
        err << "Usage: vellomar [NOVEL.txt]  (the only argument is the novel to open)" << Qt::endl;
    }

    frmMain window(globalSettings(), ConfigPath());
    // The window draws a 16 px icon of its own; the taskbar and the tray want the larger sizes.
    window.setWindowIcon(QApplication::windowIcon());
    QObject::connect(&window, &frmMain::unloaded, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    window.show();

    // A novel handed over by the desktop ("Open with") opens once the window is set up, after
    // the missing-config warning of the first activation.
    if (!start.novel.isEmpty()) {
        window.OpenAfterActivation(start.novel);
    }
    return app.exec();
}
