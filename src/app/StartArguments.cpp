#include "StartArguments.h"

#include <QFileInfo>

StartArguments parseStartArguments(const QStringList& arguments) {
    StartArguments result;
    bool pathsOnly = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& arg = arguments.at(i);
        if (!pathsOnly && arg == QLatin1String("--")) {
            pathsOnly = true;
            continue;
        }
        // An empty argument would otherwise resolve to the current folder.
        const bool isPath = !arg.isEmpty() && (pathsOnly || !arg.startsWith(u'-'));
        if (isPath && result.novel.isEmpty()) {
            // The window's "(default)" output folder is the novel's own: it needs the full path.
            result.novel = QFileInfo(arg).absoluteFilePath();
        } else {
            result.ignored.append(arg);
        }
    }
    return result;
}
