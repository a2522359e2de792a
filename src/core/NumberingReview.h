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
};

/// Reviews the chapter numbers in file order. Ignored records (`ignored[r]` true) are not
/// chapters and are neither judged nor compared against; the first kept chapter is judged
/// only for a missing number.
QVector<NumberingAnomaly> reviewNumbering(const QVector<qint16>& chapnum, const QVector<bool>& ignored);

/// Short words for the list and the command line: "缺号", "重号", "回退", "无号".
QString anomalyText(NumberingAnomaly a);
/// A sentence for a tool tip, naming the previous number.
QString anomalyDescription(NumberingAnomaly a, qint16 number, qint16 previous);
/// Stable ASCII names for scripts: "gap", "duplicate", "back", "zero", "".
QString anomalyKey(NumberingAnomaly a);
