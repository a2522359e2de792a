#pragma once

#include <QList>
#include <QString>
#include <QVector>

/// How a chapter's number breaks the sequence of the kept chapters before it.
enum class NumberingAnomaly {
    None,
    Gap,       ///< previous + 1 is missing
    Duplicate, ///< same number as the previous kept chapter
    StepBack,  ///< lower than the previous one: a restart, often a new volume
    Zero,      ///< no readable number
    Repeat,    ///< the body is the same as an earlier chapter's (set by the chapter table)
};

/// Reviews the chapter numbers in file order. Ignored records (`ignored[r]` true) are not
/// chapters and are neither judged nor compared against; the first kept chapter is judged
/// only for a missing number.
///
/// `volumeStarts` holds the first record of each volume, in order. The first chapter of a
/// volume may start the numbers again: a number not above the one before is then a restart,
/// judged against 0 (only a restart above 1 is a gap), while a higher one goes on with the
/// book's numbers. `previous`, when given, receives by record the number each kept chapter was
/// judged against (0 for a restart and for the first chapter).
QVector<NumberingAnomaly> reviewNumbering(const QVector<qint16>& chapnum, const QVector<bool>& ignored,
                                          const QVector<qint32>& volumeStarts = {},
                                          QVector<qint16>* previous = nullptr);

/// Short words for the list and the command line: "缺号", "重号", "回退", "无号".
QString anomalyText(NumberingAnomaly a);
/// A sentence for a tool tip, naming the previous number (0: the volume numbers from 1 again).
QString anomalyDescription(NumberingAnomaly a, qint16 number, qint16 previous);
/// Stable ASCII names for scripts: "gap", "duplicate", "back", "zero", "repeat", "".
QString anomalyKey(NumberingAnomaly a);
