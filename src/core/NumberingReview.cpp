#include "NumberingReview.h"

QVector<NumberingAnomaly> reviewNumbering(const QVector<qint16>& chapnum, const QVector<bool>& ignored)
{
    QVector<NumberingAnomaly> out(chapnum.size(), NumberingAnomaly::None);
    bool havePrevious = false;
    qint16 previous = 0;
    for (qsizetype r = 0; r < chapnum.size(); ++r) {
        if (r < ignored.size() && ignored[r]) {
            continue;
        }
        const qint16 n = chapnum[r];
        if (n == 0) {
            out[r] = NumberingAnomaly::Zero;
            continue; // an unreadable number tells nothing about the next one
        }
        if (havePrevious) {
            if (n == previous) {
                out[r] = NumberingAnomaly::Duplicate;
            } else if (n < previous) {
                out[r] = NumberingAnomaly::StepBack;
            } else if (n > previous + 1) {
                out[r] = NumberingAnomaly::Gap;
            }
        }
        previous = n;
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
    case NumberingAnomaly::None: break;
    }
    return QString();
}

QString anomalyDescription(NumberingAnomaly a, qint16 number, qint16 previous)
{
    switch (a) {
    case NumberingAnomaly::Gap:
        return QStringLiteral(u"章节号 %1 跳过了 %2 到 %3（前一章是 %4）")
            .arg(number).arg(previous + 1).arg(number - 1).arg(previous);
    case NumberingAnomaly::Duplicate:
        return QStringLiteral(u"章节号 %1 与前一章重复").arg(number);
    case NumberingAnomaly::StepBack:
        return QStringLiteral(u"章节号 %1 比前一章 %2 小（新的一卷？）").arg(number).arg(previous);
    case NumberingAnomaly::Zero:
        return QStringLiteral(u"无法读出章节号");
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
    case NumberingAnomaly::None: break;
    }
    return QString();
}
