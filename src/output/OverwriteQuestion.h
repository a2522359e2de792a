#pragma once

#include <QSet>
#include <QString>

#include <functional>

class LineReader;
class PassHost;

/// The question every pass asks before it writes a file, and what it makes of the answer:
/// write (replacing what is there), keep the old file, cancel the pass, or write to the path the
/// user gave instead, which is looked at like any other. The novel being read, a folder and a
/// special file are refused; a file this run has written (this pass or another novel's of the
/// batch) is asked about even after "All", or goes beside it under a free name when nobody
/// can be asked.
class OverwriteQuestion {
public:
    enum Answer { Write, Skip, Cancel, Fail };
    /// The pass's error report, with the error number.
    using Report = std::function<void(const QString& description, int number)>;

    OverwriteQuestion(PassHost& host, const LineReader& novel, Report report);

    /// Decides about `target`, a clean absolute path; on Write it may be another path (a free
    /// name, or the user's). Fail has been reported.
    Answer ask(QString& target);
    /// Runs before a question is shown: false ends the pass with Fail (the check has reported
    /// why). The text pass waits there for the files written so far.
    void setBeforeQuestion(std::function<bool()> check) { m_beforeQuestion = std::move(check); }
    /// A folder this pass made (with a final "/"): it holds nothing but the pass's own files,
    /// so nothing there needs a look.
    void addMadeFolder(const QString& folder) { m_madeFolders.insert(folder); }
    /// Whether something is at `path` already, or will be: a file this pass has written or is
    /// about to, any directory entry (a link to nothing included), another pass's file.
    bool taken(const QString& path) const;
    /// Existing files kept, as the user answered.
    int kept() const { return m_kept; }

private:
    PassHost& m_host;
    const LineReader& m_novel;
    Report m_report;
    std::function<bool()> m_beforeQuestion;
    QSet<quint64> m_written;     // files this pass has written or is about to write
    QSet<QString> m_madeFolders;
    bool m_overwriteAll = false;
    int m_kept = 0;
};
