#pragma once

#include "Settings.h"

#include <QString>

/// "维洛玛 Vellomar - v<major>.<minor>[ beta<revision>] [墨川]"; revision 0 marks a release.
QString makeAppTitle(int major, int minor, int revision);

/// The main window's title for this build's version numbers.
const QString& AppTitle();

/// "config.ini" inside `folder`, with exactly one separator between them.
QString configPathIn(const QString& folder);

/// config.ini beside the program when its folder is writable; otherwise (an installed copy in
/// a system folder) in `fallbackFolder`, which is created so that the first write succeeds.
QString chooseConfigPath(const QString& programFolder, const QString& fallbackFolder);

/// Where this run keeps config.ini; worked out on the first call, which needs the
/// QCoreApplication (and its application name) to exist. The file itself may be missing.
const QString& ConfigPath();

/// The settings every part of the program reads, starting with the built-in defaults.
Settings& globalSettings();
