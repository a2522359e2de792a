#pragma once

#include <QString>
#include <QStringList>

/// What the desktop program takes from its command line: at most one novel to open.
struct StartArguments {
    QString novel;       ///< absolute path; empty when none was given
    QStringList ignored; ///< every other argument, in the order given
};

/// `arguments` as QCoreApplication::arguments() gives them: the program first, Qt's own
/// options (-platform, -style, ...) already taken out. The first argument that does not start
/// with '-' is the novel; after "--" every argument counts as a path, so that a file whose name
/// starts with '-' can still be opened.
StartArguments parseStartArguments(const QStringList& arguments);
