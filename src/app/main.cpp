// vellomar: the desktop window.
#include "frmMain.h"

#include "config/Settings.h"
#include "config/StartUp.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vellomar"));

    frmMain window(globalSettings(), ConfigPath());
    window.show();

    // A novel handed over by the desktop ("Open with") opens once the window is set up.
    const QStringList args = QApplication::arguments();
    if (args.size() > 1) {
        window.OpenAfterActivation(args.at(1));
    }
    return app.exec();
}
