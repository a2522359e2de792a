#include "OutputPlan.h"

#include "config/Settings.h"
#include "core/ChapterModel.h"
#include "core/FileName.h"
#include "core/LineReader.h"
#include "core/ScriptSample.h"
#include "output/OutputNames.h"

#include <QFileInfo>
#include <QHash>
#include <QSet>

namespace {

// How a path is known while names are compared: a 64-bit hash of its clean absolute form. Two
// paths that collide only cost a second look at the path.
quint64 pathKey(const QString& cleanPath)
{
    return quint64(qHash(cleanPath, size_t(0x9E3779B97F4A7C15ull)));
}

} // namespace

OutputPlan::OutputPlan(const ChapterModel& model, const Settings& settings, qint64 lineCount, const QString& root,
                       bool convert)
    : m_model(model), m_s(settings), m_root(root), m_convert(convert)
{
    for (int row = 0; row < model.rowCount(); ++row) {
        if (!model.isChecked(row)) {
            const int r = model.tag(row);
            m_entries.append({model.chapline().at(r), model.chapnum().at(r), r});
        }
    }
    m_chapters = int(m_entries.size());
    m_entries.append({lineCount + 1, 0, -1});
    // Without a volume the folders go by FilesInDir as ever.
    m_byVolume = m_s.FolderPerVolume && !model.volumes().isEmpty();
    if (m_byVolume) {
        planVolumes();
    }
}

int OutputPlan::files() const
{
    return m_byVolume ? int(m_fileFirst.size()) : (m_chapters + m_s.ChapsInFile - 1) / m_s.ChapsInFile;
}

int OutputPlan::firstEntry(int fileNo) const
{
    return m_byVolume ? m_fileFirst.at(fileNo - 1) : (fileNo - 1) * m_s.ChapsInFile;
}

bool OutputPlan::startsFile(int entry, int filesSoFar) const
{
    if (m_byVolume) {
        return filesSoFar < m_fileFirst.size() && m_fileFirst.at(filesSoFar) == entry;
    }
    return entry % m_s.ChapsInFile == 0;
}

bool OutputPlan::opensGroup(int fileNo) const
{
    return m_s.FilesInDir >= 1 && (fileNo - 1) % m_s.FilesInDir == 0;
}

// With a folder per volume, a volume's first output chapter starts at its heading, so that the
// heading and the text before the chapter open the volume's folder; every volume starts a file.
void OutputPlan::planVolumes()
{
    const VolumeList& volumes = m_model.volumes();
    for (int v = 0; v < volumes.size(); ++v) {
        m_volumeFolders << VolumeFolderName(v + 1, volumes.size(), nameTitle(volumes.at(v).title)) + u'/';
    }
    int previous = -2;
    int inGroup = 0;
    for (int i = 0; i < m_chapters; ++i) {
        Entry& e = m_entries[i];
        const int v = volumes.volumeOf(e.record);
        if (v != previous) {
            if (v >= 0) {
                e.start = volumes.at(v).line;
            }
            previous = v;
            inGroup = 0;
        }
        if (inGroup++ % m_s.ChapsInFile == 0) {
            m_fileFirst.append(i);
        }
    }
}

QString OutputPlan::folderOf(int fileNo) const
{
    if (m_byVolume) {
        const int v = m_model.volumes().volumeOf(m_entries.at(firstEntry(fileNo)).record);
        return v < 0 ? m_root : m_root + m_volumeFolders.at(v);
    }
    if (m_s.FilesInDir < 1) {
        return m_root;
    }
    const int firstFile = (fileNo - 1) / m_s.FilesInDir * m_s.FilesInDir + 1;
    const Entry& first = m_entries.at((firstFile - 1) * m_s.ChapsInFile);
    return m_root + SubFolderName(fileNo, m_s.FilesInDir, m_chapters, first.chapnum);
}

QString OutputPlan::fileName(int fileNo) const
{
    const Entry& e = m_entries.at(firstEntry(fileNo));
    return MakeFileName(m_s.OutFile, fileNo, e.chapnum, nameTitle(m_model.title().at(e.record)));
}

QString OutputPlan::plannedPath(int fileNo, const QString& folder) const
{
    if (fileNo == 0) {
        return m_root + QStringLiteral("Index.txt");
    }
    return (folder.isNull() ? folderOf(fileNo) : folder) + fileName(fileNo);
}

QString OutputPlan::nameTitle(const QString& title) const
{
    return m_convert ? simplifiedLine(title) : title;
}

OutputPlan::Collisions OutputPlan::collisions(const LineReader& novel) const
{
    Collisions found;
    QHash<quint64, int> seen; // pathKey -> the first file with that path
    QSet<QString> repeated;
    QString lastFolder;
    bool folderThere = false;
    const int files = this->files();
    QString groupFolder = m_root;
    for (int k = m_entries.first().start >= 2 ? 0 : 1; k <= files; ++k) {
        if (k >= 1 && (m_byVolume || opensGroup(k))) {
            groupFolder = folderOf(k);
        }
        const QString path = plannedPath(k, groupFolder);
        const quint64 key = pathKey(path);
        const auto first = seen.constFind(key);
        if (first == seen.cend()) {
            seen.insert(key, k);
        } else if (plannedPath(first.value()) == path && !repeated.contains(path)) {
            repeated.insert(path);
            found.repeated << path;
        }
        const QString folder = path.left(path.lastIndexOf(u'/') + 1);
        if (folder != lastFolder) {
            lastFolder = folder;
            folderThere = QFileInfo(folder).isDir();
        }
        if (folderThere && novel.isSameFile(path)) {
            found.novel = path;
            return found;
        }
    }
    return found;
}
