#include "core/TidyChange.h"

QString tidyReasonText(TidyReason reason)
{
    switch (reason) {
    case TidyReason::TableOfContents: return QStringLiteral(u"目录中的标题");
    case TidyReason::QuotedInText: return QStringLiteral(u"正文中的引用");
    case TidyReason::RepeatedTitle: return QStringLiteral(u"重复标题");
    case TidyReason::WronglyIgnored: return QStringLiteral(u"被“过近”规则误忽略");
    case TidyReason::Guess: return QStringLiteral(u"疑似标题，编号不合序列");
    case TidyReason::None: break;
    }
    return QString();
}

QString tidyReasonKey(TidyReason reason)
{
    switch (reason) {
    case TidyReason::TableOfContents: return QStringLiteral("toc");
    case TidyReason::QuotedInText: return QStringLiteral("quoted");
    case TidyReason::RepeatedTitle: return QStringLiteral("repeated-title");
    case TidyReason::WronglyIgnored: return QStringLiteral("too-close");
    case TidyReason::Guess: return QStringLiteral("guess");
    case TidyReason::None: break;
    }
    return QString();
}
