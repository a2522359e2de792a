#include "OutputNames.h"

#include "core/Document.h"
#include "core/FileName.h"

#include <QDir>
#include <QFileInfo>

QString NovelBaseName(const QString& filePath)
{
    // A name that starts with a dot would give an empty base name: the output folder would be
    // the novel's own folder.
    QString name = Document::fileNamePart(filePath);
    if (name.endsWith(QLatin1String(".txt"), Qt::CaseInsensitive)) {
        name.chop(4);
    }
    qsizetype from = 0;
    while (from < name.size() && name[from] == u'.') {
        ++from;
    }
    const qsizetype dot = name.indexOf(u'.', from);
    const QString base = name.mid(from, dot < 0 ? -1 : dot - from);
    return base.isEmpty() ? QStringLiteral(u"未命名") : base;
}

QString FreeNameBeside(const QString& path, const std::function<bool(const QString&)>& taken)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    const qsizetype dot = path.lastIndexOf(u'.');
    const bool hasSuffix = dot > slash + 1;
    const QString stem = hasSuffix ? path.left(dot) : path;
    const QString suffix = hasSuffix ? path.mid(dot) : QString();
    for (int k = 2;; ++k) {
        const QString other = stem + QStringLiteral(" (%1)").arg(k) + suffix;
        if (!taken(other)) {
            return other;
        }
    }
}

QString OutputFolder(const QString& filePath, const QString& outPath)
{
    QString base;
    // Nothing at all would put the files at the top of the file system.
    if (outPath == QLatin1String("(default)") || outPath.isEmpty()) {
        base = QFileInfo(filePath).absolutePath();
    } else if (outPath == QLatin1String("~") || outPath.startsWith(QLatin1String("~/"))) {
        base = QDir::homePath() + outPath.mid(1);
    } else {
        base = outPath;
    }
    return base.endsWith(u'/') ? base : base + u'/';
}

QString OutputRoot(const QString& filePath, const QString& outPath)
{
    return OutputFolder(filePath, outPath) + NovelBaseName(filePath) + u'/';
}

QString SubFolderName(int fileNo, int filesInDir, int chapters, qint16 chapNum)
{
    const int g = (fileNo - 1) / filesInDir;
    const int first = g * filesInDir + 1;
    const int last = std::min((g + 1) * filesInDir, chapters);
    return QStringLiteral(u"%1-%2(第%3章+)/").arg(ZeroFill(first, 3), ZeroFill(last, 3)).arg(chapNum);
}
