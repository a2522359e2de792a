#include "StartUp.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

QString makeAppTitle(int major, int minor, int revision) {
    QString title = QStringLiteral(u"维洛玛 Vellomar - v%1.%2").arg(major).arg(minor);
    if (revision > 0)
        title += QStringLiteral(" beta") + QString::number(revision);
    return title + QStringLiteral(u" [墨川]");
}

const QString& AppTitle() {
    static const QString title =
        makeAppTitle(VELLOMAR_VERSION_MAJOR, VELLOMAR_VERSION_MINOR, VELLOMAR_VERSION_REVISION);
    return title;
}

QString configPathIn(const QString& folder) {
    const QString separator = QStringLiteral("/");
    return (folder.endsWith(separator) ? folder : folder + separator) + QStringLiteral("config.ini");
}

QString chooseConfigPath(const QString& programFolder, const QString& fallbackFolder) {
    // Saving replaces config.ini through a temporary file beside it, so the folder itself
    // must be writable, not just the file. A copy installed into the system's folders keeps
    // its settings per user even when run as root, who can write anywhere.
    const QString canonical = QFileInfo(programFolder).canonicalFilePath();
    const bool installed = canonical.startsWith(QLatin1String("/usr/")) || canonical.startsWith(QLatin1String("/opt/"));
    if (!installed && QFileInfo(programFolder).isWritable())
        return configPathIn(programFolder);
    QDir().mkpath(fallbackFolder);
    return configPathIn(fallbackFolder);
}

const QString& ConfigPath() {
    static const QString path =
        chooseConfigPath(QCoreApplication::applicationDirPath(),
                         QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));
    return path;
}

Settings& globalSettings() {
    static Settings settings = Settings::defaults();
    return settings;
}
