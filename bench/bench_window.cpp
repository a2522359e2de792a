// Times the analysis pass in the main window (offscreen): open a novel, run Analyze, print the
// wall time in seconds on the last line. Usage: bench_window NOVEL
#include "Prompts.h"
#include "config/ConfigFile.h"
#include "config/Settings.h"
#include "frmMain.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTreeView>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_window NOVEL\n");
        return 2;
    }
    Prompts::setTestMode(true); // no dialog may wait for a person
    QTemporaryDir dir;
    const QString config = dir.filePath(QStringLiteral("config.ini"));
    Settings settings = Settings::defaults();
    settings.AutoAnalyze = false;
    settings.TopMost = false;
    WriteDefaultConfig(settings, config);
    frmMain window(settings, config);
    window.show();
    QApplication::processEvents();
    if (!window.OpenTextFile(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "bench_window: cannot open %s\n", argv[1]);
        return 1;
    }
    QApplication::processEvents();
    QElapsedTimer timer;
    timer.start();
    window.mnuO_Analyze_Click();
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    const auto* list = window.findChild<QTreeView*>(QStringLiteral("lvwTitles"));
    std::printf("rows %d\n%.3f\n", list && list->model() ? list->model()->rowCount() : -1, seconds);
    return 0;
}
