#pragma once

#include <QList>
#include <QString>
#include <QStringList>

/// A novel opened lately and how it was read: "auto" or an encoding's command-line name
/// ("gbk", "utf-8", ...).
struct RecentFile {
    QString path;
    QString encoding;
    bool operator==(const RecentFile&) const = default;
};

/// One replace rule of the cleanup, as reader apps share them in JSON.
struct ReplaceRule {
    QString name;
    QString pattern;
    QString replacement; ///< for a regex rule, "$1" (or "\\1") names a group
    bool isRegex = false;
    bool isEnabled = true;
    bool scopeTitle = false;  ///< applies to chapter title lines
    bool scopeContent = true; ///< applies to every other line
    int order = 0;            ///< rules run by ascending order, then list order
    /// Fields of an imported rule that Vellomar does not use, as a compact JSON object, so that
    /// an export gives them back.
    QString extra;
    bool operator==(const ReplaceRule&) const = default;
};

/// Every user setting, with the start-up defaults. A plain value: copy it into a pass or a test.
/// Integers are 16-bit as they are stored in config.ini; colours are 0x00BBGGRR numbers;
/// the three lists are single texts whose entries are separated by CR LF.
struct Settings {
    QString TitleText;
    QString OutPaths;
    QString TextFilters;
    QString OutFiles;
    qint16 ChapsInFile = 1;
    qint16 FilesInDir = 50;
    bool DelSpaceLine = true;
    bool ConvertToSimple = true;
    bool SetInvalidTitle = true;
    qint16 InvalidLines = 5;
    qint16 PathDefaultSelect = 0;
    qint16 FileDefaultSelect = 0;
    QString OutPath;
    QString OutFile;
    bool AutoAnalyze = true;
    bool AppendText = false;
    bool MiniToTray = true;
    bool ShowBalloonTip = true;
    bool AutoOpenNotepad = true;
    bool TopMost = true;
    bool LogPosition = true;
    qint32 ListBackColor = 0xFFFFFF;
    qint32 ItemBackColor = 0xD1D1D1;
    QString FontName;
    bool FilterAfterLine = true;
    qint16 PositionLeft = 0;
    qint16 PositionTop = 0;
    qint16 PositionWidth = 0;
    qint16 PositionHeight = 0;
    /// The main window's chapter preview pane; a key of our own, absent from the default file.
    bool ShowPreview = true;
    /// The volume-heading pattern ([text] VolumeText); empty switches volumes off. A key of our
    /// own: absent from the default file, where its absence means the built-in pattern.
    QString VolumeText;
    /// One sub-folder per volume instead of FilesInDir's groups ([text] FolderPerVolume).
    bool FolderPerVolume = false;
    /// Widths of the chapter list's columns that the user dragged, in column order; 0 or a
    /// missing entry leaves a column to its automatic width. `[favorite] ColumnWidths`.
    QList<int> ColumnWidths;
    /// The novels opened last, newest first; the section "recent", written by the window only.
    QList<RecentFile> RecentFiles;
    /// Tidy the titles by their numbers right after each analysis. `[favorite] AutoTidy`.
    bool AutoTidy = false;
    /// Chapters per EPUB book (0: one book) and the folder books went to last (empty: the
    /// output folder). `[epub] ChapsInBook`, `[epub] Folder`.
    qint16 EpubChapsInBook = 0;
    QString EpubFolder;
    /// The format books are written in: "epub" or "azw3". `[epub] Format`.
    QString EpubFormat = QStringLiteral("epub");
    /// Books set vertically, columns from right to left. `[epub] Vertical`.
    bool EpubVertical = false;
    /// A book's size limit in MB for stores such as Send-to-Kindle (0: none); a set of books
    /// is cut at chapters to keep each under it. `[epub] MaxBookMB`.
    qint16 EpubMaxBookMB = 0;
    /// Cleanup: the replace rules (kept in their own file beside config.ini, see
    /// ReplaceRulesPath), and in section [clean] dropping a first body line that repeats the
    /// chapter title and two U+3000 before every paragraph of text output. All off by default.
    QList<ReplaceRule> ReplaceRules;
    /// The replace rules that could not be loaded, one line each with where and why; shown to
    /// the user, never saved.
    QStringList ReplaceRuleProblems;
    bool DropRepeatedTitle = false;
    bool IndentParagraphs = false;
    /// 重新分段: the lines of a hard-wrapped novel joined back into paragraphs, in text output,
    /// books and the preview. `[clean] Reflow`, off by default; the analysis suggests it.
    bool Reflow = false;

    /// The built-in defaults that the program starts with when no config.ini exists.
    static Settings defaults();

    /// The title pattern used when none is configured.
    static QString defaultTitleText();
    /// The volume pattern used when config.ini names none: a line that begins with 第…卷/部/集/篇
    /// (or 第…部分), 卷…, or 上卷/中卷/下卷, and has at most 30 characters of its own after it.
    static QString defaultVolumeText();
};

/// How many novels "最近打开的文件" keeps.
constexpr int MaxRecentFiles = 8;

/// Puts `file` first in `files` (once, by path), keeping at most MaxRecentFiles. A path that
/// config.ini cannot give back whole (too long for a value, blanks at its ends) is left out.
void addRecentFile(QList<RecentFile>& files, const RecentFile& file);

/// Splits a CR LF separated list, skipping empty pieces (how every reader sees the lists).
QStringList splitList(const QString& list);
