#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

class LineReader;
class TextCodec;

/// A named chapter-title pattern, in the form reader apps share: a JSON object with "name",
/// "rule", "example", "enable" and optionally "id" and "serialNumber". Our own optional "volume"
/// holds the volume pattern that goes with the rule; other programs pass over it.
struct TitleRule {
    QString name;
    QString rule;
    /// The volume pattern to use with the rule ("" switches volumes off); none: the rule says
    /// nothing about volumes and leaves the volume pattern as it is.
    std::optional<QString> volume;
    QString example;
    bool enable = true;
    qint64 id = 0;
    qint64 serialNumber = 0;
    QString error; ///< why the pattern does not compile; empty when it does
    QString rewritten; ///< what importing changed in the pattern so that it compiles; empty: nothing
};

/// The rules shipped with the program; the first is the default pattern.
QList<TitleRule> builtInTitleRules();

/// Reads a JSON array of rule objects. Every object becomes a rule, a pattern that does not
/// compile included (with its error). Look-behinds of varying length, which many shared lists
/// use and PCRE2 refuses, are rewritten where a fixed-length one means the same (see
/// fixLookbehinds), and the rule says so. False with `error` set when the text is not such an
/// array at all.
bool importTitleRules(const QByteArray& json, QList<TitleRule>* rules, QString* error);
QByteArray exportTitleRules(const QList<TitleRule>& rules);

/// Makes the look-behinds of `pattern` that begin with a repeated atom fixed in length where
/// that changes no match: "(?<=A{m,n}B)" holds exactly when "(?<=A{m}B)" does (more A stand
/// before those m), and a positive look-behind left empty always holds and goes. `notes` gets
/// one line per change. The pattern is returned unchanged when nothing applies.
QString fixLookbehinds(const QString& pattern, QStringList* notes);

/// What one rule finds in a novel.
struct RuleTrial {
    int titles = 0;
    double score = 0; ///< higher is more plausible
    QChar unit;       ///< the word that ends most headings of the sequence (回, 卷, 傳 …); none for bare numbers
};

/// Novels up to this size are tried whole; of longer ones, 16 samples of 64 KB spread evenly
/// from the first byte to the last.
constexpr qint64 WholeNovelLimit = 8 * 1024 * 1024;
constexpr int TrialSamples = 16;
constexpr qint64 TrialSampleBytes = 64 * 1024;

/// Where a trial of a novel of `size` bytes looked, as the suggestion tells it: "全文中", or
/// "全文各处抽取的 16 段（共 1 MB，全文 120 MB）中" for a novel tried by samples.
QString trialScope(qint64 size, qint64 wholeLimit = WholeNovelLimit);

/// Runs every rule over the open novel (whole up to `wholeLimit`, else samples of it),
/// rewinding it before and after, and scores how chapter-like its finds are: the length of
/// the chapter sequence they make (see tidySequence), headings without numbers a little.
/// A rule that does not compile scores 0.
QList<RuleTrial> tryTitleRules(LineReader& reader, const TextCodec& codec, const QList<TitleRule>& rules,
                               qint64 wholeLimit = WholeNovelLimit);
/// The rule's name, and the unit the trial found where the name does not say it:
/// "第…传/则/篇/话/折（以“傳”为单位）".
QString suggestionName(const TitleRule& rule, const RuleTrial& trial);
/// Index of the best-scoring rule, or -1 when none finds anything plausible.
int suggestTitleRule(const QList<RuleTrial>& trials);
