#pragma once

#include <QProcess>
#include <QStringList>

/// OpenCC's own command line (scripts/setup.sh installs it), line by line: the reference our
/// conversion must match. Empty when the program cannot be run.
inline QStringList openccT2s(const QStringList& lines)
{
    QProcess p;
    p.start(QStringLiteral("opencc"), {QStringLiteral("-c"), QStringLiteral("t2s.json")});
    if (!p.waitForStarted()) {
        return {};
    }
    p.write(lines.join(u'\n').toUtf8() + '\n');
    p.closeWriteChannel();
    p.waitForFinished(60000);
    QStringList out = QString::fromUtf8(p.readAllStandardOutput()).split(u'\n');
    out.removeLast();
    return out;
}
