#pragma once

#include <QString>

#include <functional>

/// The novel's name without folder and from its first "." on ("a.b.txt" gives "a"); dots that
/// start the name are passed over (".h.txt" gives "h"), and a name without any other
/// character before ".txt" (".txt") gives "未命名".
QString NovelBaseName(const QString& filePath);
/// "name (2).txt", "name (3).txt" … beside `path`: the first that `taken` says is free.
QString FreeNameBeside(const QString& path, const std::function<bool(const QString&)>& taken);
/// The folder OutPath names for a novel, with a trailing "/": OutPath itself, the novel's own
/// folder for "(default)" (or nothing), the home folder for a leading "~/". Chapter files go
/// to a folder named after the novel inside it (OutputRoot), books into it.
QString OutputFolder(const QString& filePath, const QString& outPath);
/// The folder the files go to: OutputFolder plus the novel's base name, with a trailing "/".
QString OutputRoot(const QString& filePath, const QString& outPath);
/// Sub-folder name for file k (1-based) with `filesInDir` files each: "001-050(第1章+)".
QString SubFolderName(int fileNo, int filesInDir, int chapters, qint16 chapNum);
