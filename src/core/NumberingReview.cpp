#include "NumberingReview.h"

QVector<NumberingAnomaly> reviewNumbering(const QVector<qint16>& chapnum, const QVector<bool>& ignored,
                                          const QVector<qint32>& volumeStarts, QVector<qint16>* previous)
{
    QVector<NumberingAnomaly> out(chapnum.size(), NumberingAnomaly::None);
    if (previous) {
        previous->fill(0, chapnum.size());
    }
    bool havePrevious = false;
    qint16 last = 0;
    qsizetype nextStart = 0;   // volumes whose first record is at or before r
    qsizetype lastVolume = -1; // of the chapter `last` belongs to
    for (qsizetype r = 0; r < chapnum.size(); ++r) {
        while (nextStart < volumeStarts.size() && volumeStarts[nextStart] <= r) {
            ++nextStart;
        }
        if (r < ignored.size() && ignored[r]) {
            continue;
        }
        const qint16 n = chapnum[r];
        if (n == 0) {
            out[r] = NumberingAnomaly::Zero;
            continue; // an unreadable number tells nothing about the next one
        }
        if (havePrevious) {
            const bool restart = nextStart - 1 != lastVolume && n <= last;
            const qint16 against = restart ? 0 : last;
            if (previous) {
                (*previous)[r] = against;
            }
            if (n == against) {
                out[r] = NumberingAnomaly::Duplicate;
            } else if (n < against) {
                out[r] = NumberingAnomaly::StepBack;
            } else if (n > against + 1) {
                out[r] = NumberingAnomaly::Gap;
            }
        }
        last = n;
        lastVolume = nextStart - 1;
        havePrevious = true;
    }
    return out;
}

QString anomalyText(NumberingAnomaly a)
{
    switch (a) {
    case NumberingAnomaly::Gap: return QStringLiteral(u"缺号");
    case NumberingAnomaly::Duplicate: return QStringLiteral(u"重号");
    case NumberingAnomaly::StepBack: return QStringLiteral(u"回退");
    case NumberingAnomaly::Zero: return QStringLiteral(u"无号");
    case NumberingAnomaly::Repeat: return QStringLiteral(u"重复");
    case NumberingAnomaly::None: break;
    }
    return QString();
}

QString anomalyDescription(NumberingAnomaly a, qint16 number, qint16 previous)
{
    switch (a) {
    case NumberingAnomaly::Gap:
        if (previous == 0) {
            return QStringLiteral(u"章节号 %1 跳过了 1 到 %2（本卷从头编号）").arg(number).arg(number - 1);
        }
        return QStringLiteral(u"章节号 %1 跳过了 %2 到 %3（前一章是 %4）")
            .arg(number).arg(previous + 1).arg(number - 1).arg(previous);
    case NumberingAnomaly::Duplicate:
        return QStringLiteral(u"章节号 %1 与前一章重复").arg(number);
    case NumberingAnomaly::StepBack:
        return QStringLiteral(u"章节号 %1 比前一章 %2 小（新的一卷？）").arg(number).arg(previous);
    case NumberingAnomaly::Zero:
        return QStringLiteral(u"无法读出章节号");
    case NumberingAnomaly::Repeat: // the chapter table names the line
        return QStringLiteral(u"重复章节");
    case NumberingAnomaly::None:
        break;
    }
    return QString();
}

QString anomalyKey(NumberingAnomaly a)
{
    switch (a) {
    case NumberingAnomaly::Gap: return QStringLiteral("gap");
    case NumberingAnomaly::Duplicate: return QStringLiteral("duplicate");
    case NumberingAnomaly::StepBack: return QStringLiteral("back");
    case NumberingAnomaly::Zero: return QStringLiteral("zero");
    case NumberingAnomaly::Repeat: return QStringLiteral("repeat");
    case NumberingAnomaly::None: break;
    }
    return QString();
}
