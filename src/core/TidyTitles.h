#pragma once

#include "core/TidyChange.h"

#include <QList>
#include <QString>
#include <QVector>

class Document;

/// How a title line reads, as the analysis saw it (flags, by record in Document::TitleShapes).
enum TitleShape : quint8 {
    HeadingShape = 1, ///< a heading line rather than a sentence that mentions a chapter
    GuessShape = 2,   ///< a doubtful form (a unit or digit misread), a chapter only where the sequence needs one
    RunningTextShape = 4, ///< inside a paragraph or after a sentence: never a chapter of the sequence
};

/// What tidying knows of one title record, in file order.
struct TidyTitle {
    qint16 number = 0;       ///< 0: no readable number
    bool ignored = false;
    bool locked = false;     ///< edited or checked by hand: never changed
    bool standalone = true;  ///< a short line of its own, not a sentence
    bool textAfter = true;   ///< some non-blank line stands before the next title
    int body = -1;           ///< non-blank characters before the next title (at most BodyCap); -1: not known
    bool guess = false;      ///< a doubtful form: kept only where the sequence needs it
    bool runningText = false; ///< a number mentioned in a paragraph: no chapter, whatever the sequence needs
    int volume = -1;         ///< the volume it belongs to; -1 when the novel has none
    QString key;             ///< the title line without blanks, to find repeats
};

/// Finds the best chapter sequence (numbers rising by one, gaps allowed at a cost, restarts
/// only where a new volume starts), preferring heading lines to sentences and text to contents
/// lists, and proposes to ignore the kept titles outside it that are contents entries, repeats
/// or quotes in running text, and to keep the ignored headings inside it. Nothing is proposed
/// when the numbers do not make a sequence (fewer than three, or less than half of them in it).
QVector<TidyChange> tidyTitles(const QVector<TidyTitle>& titles);

/// The titles of the best chapter sequence (see tidyTitles); `numbered` gets the number of
/// titles with a number.
QVector<bool> tidySequence(const QVector<TidyTitle>& titles, int* numbered);

/// Characters of a chapter body counted at most: past this it is a chapter, not a contents entry.
constexpr int BodyCap = 4096;

/// A heading line rather than a sentence that mentions a chapter. `start` is where the title
/// match begins in the line and `title` where its title text begins (-1: not known). A heading
/// is short; any words before it are few and no sentence (a book name: "警世通言第一卷　…"); no
/// comma or full stop follows its number; it ends in ？！…：。 only when its title stands apart
/// from a number that starts the line ("第三章 真的是他？").
bool looksLikeHeading(QStringView line, qsizetype start = -1, qsizetype title = -1);
/// Whether a match that begins at `start` stands in running text: after more than a book
/// name's words, or after punctuation.
bool inRunningText(QStringView line, qsizetype start);
/// The TitleShape flags of a match on `line` (see looksLikeHeading and inRunningText).
quint8 titleShape(QStringView line, qsizetype start, qsizetype title, bool guess);

/// The tidy input of an analysed document: numbers, check marks, volumes and the lines of the
/// title records, plus whether text follows each title (read from the novel around the
/// titles). `locked` marks records by index.
QVector<TidyTitle> tidyInput(Document& doc, const QVector<bool>& locked);
