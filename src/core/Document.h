#pragma once

#include "core/ChapterModel.h"
#include "core/GbkCodec.h"
#include "core/TextCodec.h"
#include "core/LineReader.h"
#include "core/BodyNote.h"
#include "core/Reflow.h"

#include <QString>
#include <QStringList>

/// States of the document and of the window's commands; the numbers are stored as such.
enum DocStates { Busy = 0, Opened = 1, Analysed = 2, Closed = 3, StopRequested = 4 };

/// What the window enables in a state, and the status text it shows (null: unchanged).
struct CommandStates {
    QStringList menus;    ///< enabled menu entries, by objectName
    QStringList buttons;  ///< enabled toolbar buttons and drop-down entries, by key
    QString statusText;
};

/// The menu entries and toolbar keys that SetState governs (all disabled first).
const QStringList& stateMenus();
const QStringList& stateButtons();
/// The command table; any value outside 0..3 enables nothing.
CommandStates commandStatesFor(int state);

/// The open novel: the file kept open between passes, its line count, the document state and
/// the chapter table with its rows and undo store. Plain data; the window only shows it.
class Document {
public:
    Document() { m_model.attachRecordColumns(&TitleOffsets, &TitleShapes); }
    // The model keeps pointers to this document's title columns.
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;

    /// Closes any open document, opens the file and counts its lines, leaving it rewound.
    /// On failure `error` says why; the document then holds no usable file and LineCount 0.
    /// With `countLines` false the count is left to the analysis, which reads the file anyway
    /// (one pass less for a caller that analyses right away): LineCount is then -1 until the
    /// analysis has read the whole file, or 0 for a file without a line.
    bool OpenTextFile(const QString& path, QString* error, bool countLines = true);
    /// Closes the file and empties the chapter table, the rows and the undo store.
    void CloseTextFile();

    /// Stores the state and updates IsAnalysed; returns what the window should enable.
    CommandStates SetState(int state);

    bool isOpen() const { return m_reader.isOpen(); }
    LineReader& reader() { return m_reader; }
    /// The encoding the open novel is read (and its chapters written) in.
    const TextCodec& codec() const { return m_codec ? *m_codec : TextCodec::forId(TextCodec::Gbk); }
    /// Length of the byte-order mark the novel starts with (0 when none); output files get one too.
    int bomLength() const { return m_bom; }
    /// Bytes of text after the byte-order mark, as found when the file was opened.
    qint64 textSize() const { return m_textSize; }

    /// How the next OpenTextFile decodes the novel: detected from its first bytes (the default),
    /// or the given encoding.
    void setEncodingChoice(bool detect, TextCodec::Id id = TextCodec::Gbk)
    {
        m_detect = detect;
        m_choice = id;
    }
    bool detectsEncoding() const { return m_detect; }
    /// The encoding as users are told it: its name, marked "（自动识别）" when it was detected.
    QString encodingLabel() const;

    /// Most lines a novel may have: line numbers are 32-bit, and the line after the last one
    /// (where the last chapter ends) must still be one.
    static constexpr qint64 MaxLineCount = 2147483646;
    /// The limit the analysis holds a novel to; lowered only by tests, which cannot write a file
    /// that long.
    qint64 lineLimit() const { return m_lineLimit; }
    void setLineLimit(qint64 limit) { m_lineLimit = limit; }
    ChapterModel& model() { return m_model; }
    const ChapterModel& model() const { return m_model; }

    /// Reads line `line` (1-based) of the open novel: its byte offset and its text. Starts at
    /// the nearest title before it, so that a line deep in a large novel costs a short read;
    /// leaves the file rewound. False when there is no such line or the file cannot be read.
    bool readLine(qint32 line, qint64* offset, QString* text, QString* error = nullptr);

    /// The file-name part of a path (after the last separator).
    static QString fileNamePart(const QString& path);

    QString FilePath;
    qint64 LineCount = 0;
    /// Byte offset of each recorded title line, by record index (what a preview seeks to).
    QVector<qint64> TitleOffsets;
    /// How each recorded title line reads (TitleShape flags), by record index.
    QVector<quint8> TitleShapes;
    /// What the analysis noted of the bodies it read between titles, in file order.
    QVector<BodyNote> BodyNotes;
    /// Whether the novel looks hard-wrapped, from samples the analysis read (重新分段).
    WrapProfile Wrap;
    /// The lines 重新分段 keeps apart from their neighbours: every recorded title (kept or
    /// ignored) and every volume heading, ascending.
    QVector<qint64> headingLines() const;
    int DocState = Closed;
    bool IsAnalysed = false;

private:
    qint64 m_textSize = 0;
    LineReader m_reader;
    ChapterModel m_model;
    bool m_detect = true;
    TextCodec::Id m_choice = TextCodec::Gbk;
    const TextCodec* m_codec = nullptr; // none yet: GBK, whose tables are built only when needed
    int m_bom = 0;
    qint64 m_lineLimit = MaxLineCount;
};
