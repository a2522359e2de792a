#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVector>

class ChapterModel;
class LineReader;
struct Settings;

/// Where the text pass puts each kept chapter: ChapsInFile chapters to a file, FilesInDir files
/// to a sub-folder (or a sub-folder per volume), every file's folder and name. Worked out
/// before anything is written, so that the names can be checked first.
class OutputPlan {
public:
    struct Entry {
        qint64 start;
        qint16 chapnum;
        int record; // -1 for the end marker
    };

    /// The unchecked rows of `model` in its current order; `root` is the output folder, clean
    /// and absolute, with a final "/"; `convert`: titles in names are simplified like the text.
    OutputPlan(const ChapterModel& model, const Settings& settings, qint64 lineCount, const QString& root, bool convert);

    /// The output chapters in file order, then an end marker at the line after the last.
    const QList<Entry>& entries() const { return m_entries; }
    int chapters() const { return m_chapters; }
    int files() const;
    const QString& root() const { return m_root; }
    bool byVolume() const { return m_byVolume; }

    /// The entry that file `fileNo` (from 1) starts with.
    int firstEntry(int fileNo) const;
    /// Whether output chapter `entry` starts a new file, `filesSoFar` files having been started.
    bool startsFile(int entry, int filesSoFar) const;
    /// Whether file `fileNo` (from 1) is the first of a sub-folder when the folders go by
    /// FilesInDir (every file may open a volume's folder).
    bool opensGroup(int fileNo) const;
    /// The folder file `fileNo` (from 1) goes to: its sub-folder, or the output folder.
    QString folderOf(int fileNo) const;
    /// The name of file `fileNo` (from 1), without its folder.
    QString fileName(int fileNo) const;
    /// Where file `fileNo` goes when no answer changes it (0 is the front matter), in `folder`
    /// when the caller knows it.
    QString plannedPath(int fileNo, const QString& folder = QString()) const;
    /// A title as it goes into a file or folder name: converted like the chapter's text.
    QString nameTitle(const QString& title) const;

    /// What the planned paths hold before anything is written: the paths two files would
    /// share, each once; the first path that is the novel itself (empty when none is).
    struct Collisions {
        QStringList repeated;
        QString novel;
    };
    Collisions collisions(const LineReader& novel) const;

private:
    void planVolumes();

    const ChapterModel& m_model;
    const Settings& m_s;
    QString m_root;
    bool m_convert;
    QList<Entry> m_entries;
    int m_chapters = 0;
    // One sub-folder per volume: the first entry of each file (files do not cross volumes) and
    // each volume's folder name.
    bool m_byVolume = false;
    QVector<int> m_fileFirst;
    QStringList m_volumeFolders;
};
