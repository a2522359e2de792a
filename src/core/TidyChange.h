#pragma once

#include <QString>

// What tidying proposes for one title, and the words that tell why. The chapter list keeps
// the reasons of the changes it applied; tidying itself (TidyTitles) makes the proposals.

/// Why tidying changes a title.
enum class TidyReason {
    None,
    TableOfContents, ///< an entry of a contents list: titles with no text between them
    QuotedInText,    ///< a title number inside running text
    RepeatedTitle,   ///< the same title once more
    WronglyIgnored,  ///< a real chapter the too-close rule ignored
    Guess,           ///< a doubtful form of heading (see TitleShape) the sequence does not need
};

/// One proposed change: a title record ignored, or kept again.
struct TidyChange {
    int record = 0;
    bool ignore = false; ///< false: keep it again
    TidyReason reason = TidyReason::None;
};

/// The tool-tip words: "目录中的标题", "正文中的引用", "重复标题", "被“过近”规则误忽略".
QString tidyReasonText(TidyReason reason);
/// Stable ASCII names for scripts: "toc", "quoted", "repeated-title", "too-close".
QString tidyReasonKey(TidyReason reason);
