#pragma once

#include <QString>
#include <QStringList>

class QWidget;

/// The desktop's standard choosers: a file to open or to save to, a folder, a colour. Each caller makes
/// one object, makes one call and drops it; the choosers are modal and owned by `owner`.
///
/// Tests (and anything else that must not wait for a person) queue the next answers with
/// the queue* functions: a call takes the oldest answer of its kind instead of showing a
/// chooser. While Prompts is in test mode a call with no answer queued counts as cancelled.
class cCommonDialog {
public:
    /// 1 when the last VBGetOpenFileName chose a file, 0 when it was cancelled.
    qint32 APIReturn() const { return m_apiReturn; }
    /// Always 0: Qt's chooser reports no failure of its own apart from a cancel.
    qint32 ExtendedError() const { return m_extendedError; }

    /// Lets the user choose a file to open.
    /// - `Filter`: "description|pattern|description|pattern..."; patterns separated by ";".
    ///   On return the chosen "description|pattern" pair.
    /// - `FilterIndex`: 1-based pair shown first; on return the chosen one.
    /// - `FileName`/`FileTitle`: initial name; on return the chosen path and its bare name.
    ///   With `MultiSelect` and several files, `FileName` is the folder followed by the
    ///   names, each after a NUL character.
    /// - `flags`: on return the options used.
    /// Cancelled: false, `FileName`, `FileTitle` and `Filter` empty, `FilterIndex` -1,
    /// `flags` 0. `ReadOnly` and `HideReadOnly` are kept for the callers' sake: the chooser
    /// has no read-only box, so `ReadOnly` comes back as it went in.
    bool VBGetOpenFileName(QString& FileName, QString& FileTitle, bool FileMustExist, bool MultiSelect,
                           bool& ReadOnly, bool HideReadOnly, QString& Filter, qint32& FilterIndex,
                           const QString& InitDir, const QString& DlgTitle, const QString& DefaultExt,
                           QWidget* owner, qint32& flags);

    /// Lets the user choose a file to save to, starting at `initialFile` (a path or a bare
    /// name). `Filter` as for VBGetOpenFileName, its first pair shown. A chosen name without an
    /// extension gets `DefaultExt`. The chooser asks before an existing file is replaced.
    /// Empty when cancelled.
    QString sGetSaveFileName(QWidget* owner, const QString& DlgTitle, const QString& initialFile,
                             const QString& Filter, const QString& DefaultExt);

    /// Lets the user choose a folder, starting in `startFolder`. The folder ends in "/";
    /// empty when cancelled.
    QString sBrowseForFolder(QWidget* owner, const QString& startFolder);

    /// Lets the user choose a colour, starting on `initial` (black when not given): a 0x00BBGGRR
    /// number (red in the low byte), or -1 when cancelled.
    qint32 sShowColor(QWidget* owner, qint32 initial = 0);

    /// A "description|pattern|..." list as Qt name filters ("文本文件 (*.txt)"). A ";" between
    /// patterns becomes a blank, and "*.*" becomes "*", which on this system also takes
    /// names without a dot.
    static QStringList toNameFilters(const QString& filter);

    /// The option bits of the open chooser (as `flags` reports them).
    enum OpenFlag : qint32 {
        OFN_READONLY = 0x1,
        OFN_HIDEREADONLY = 0x4,
        OFN_ENABLEHOOK = 0x20,
        OFN_ENABLETEMPLATE = 0x40,
        OFN_ALLOWMULTISELECT = 0x200,
        OFN_FILEMUSTEXIST = 0x1000,
    };

    /// What the last call asked the chooser for, answered or not.
    struct Request {
        QString title;
        QString directory;
        QString initialFile;
        QStringList nameFilters;
        QString selectedFilter;
        QString defaultSuffix;
        bool fileMustExist = false;
        bool multiSelect = false;
        qint32 color = 0; ///< the colour the colour chooser opens at
    };
    static const Request& lastRequest();

    /// Next open chooser answer: the chosen files (none = cancel) and the 1-based filter.
    static void queueOpenAnswer(const QStringList& files, qint32 filterIndex = 1);
    /// Next save chooser answer: the chosen path; empty = cancel.
    static void queueSaveAnswer(const QString& file);
    /// Next folder chooser answer as the chooser gives it; empty = cancel.
    static void queueFolderAnswer(const QString& folder);
    /// Next colour chooser answer as 0x00BBGGRR; -1 = cancel.
    static void queueColorAnswer(qint32 color);
    static int pendingAnswers();
    static void clearAnswers();

private:
    qint32 m_apiReturn = 0;
    qint32 m_extendedError = 0;
};
