// vellomar: the desktop window.
#include "frmMain.h"

#include "config/Settings.h"
#include "config/StartUp.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vellomar"));
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

    frmMain window(globalSettings(), ConfigPath());
    QObject::connect(&window, &frmMain::unloaded, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    window.show();

    // A novel handed over by the desktop ("Open with") opens once the window is set up.
    const QStringList args = QApplication::arguments();
    if (args.size() > 1) {
        window.OpenAfterActivation(args.at(1));
    }
    return app.exec();
}
