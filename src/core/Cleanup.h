#pragma once

#include "config/Settings.h"
#include "core/BoundedRegex.h"
#include "core/cRegExp.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVector>

#include <chrono>
#include <memory>

/// What cleanup did, rule by rule: how many lines each changed or removed, and the first few
/// as examples. Nothing cleanup touches goes uncounted.
class CleanupLedger {
public:
    static constexpr int MaxExamples = 3;
    struct Example {
        qint64 line = 0; ///< 1-based line of the novel
        QString before;
        QString after;   ///< empty with `removed`
        bool removed = false;
    };
    struct Entry {
        QString rule;    ///< the rule's name, or "重复标题", "段首缩进"
        qint64 changed = 0;
        qint64 removed = 0;
        QList<Example> examples;
    };

    void add(const QString& rule, qint64 line, const QString& before, const QString& after, bool removed);
    /// Counts `changed` more changed lines under `rule` (none: nothing), with no examples.
    void addChanged(const QString& rule, qint64 changed);
    const QList<Entry>& entries() const { return m_entries; }
    /// Rules that could not run, as "name: why".
    QStringList errors;
    /// Lines a rule gave up on because matching took too long, one sentence each naming the
    /// rule and the line (left as the rules before had made it).
    QStringList timeouts;
    bool isEmpty() const { return m_entries.isEmpty(); }
    qint64 totalChanged() const;
    qint64 totalRemoved() const;
    /// The report as plain text, one block per rule ("清理报告" and its table in words).
    QString text() const;

private:
    Entry& entry(const QString& rule);

    QList<Entry> m_entries;
};

/// The ledger's captions for the built-in steps.
QString repeatedTitleRuleName();
QString indentRuleName();
QString filterRuleName(); ///< the filter strings (字符过滤)

/// What the filter strings did, for an output pass's completion notice: "" when they changed
/// nothing, else a line (starting with CR LF) with the count and the first example.
QString filterNoticeText(const CleanupLedger& ledger);

/// A replace rule made ready to run; `error` says why a regex rule does not compile.
struct CompiledRule {
    ReplaceRule rule;
    std::shared_ptr<BoundedRegex> re; ///< for a regex rule; one thread at a time
    QString literal; ///< every match contains it: lines without it are skipped cheaply
    QString error;
};

/// Compiles one rule: empty error when it runs.
CompiledRule compileRule(const ReplaceRule& rule);
/// The enabled rules in the order they run (by `order`, then list position); rules that do not
/// compile are left out and listed in `errors` as "name: why".
QList<CompiledRule> runnableRules(const QList<ReplaceRule>& rules, QStringList* errors = nullptr);
/// How one rule went on one line.
enum class RuleRun { Unchanged, Changed, TooSlow, TooComplex };
/// The time one rule may take on a line of `length` characters: 100 ms, and 1 ms more for
/// every 10,000 characters.
std::chrono::milliseconds ruleBudget(qsizetype length);
/// Applies one rule to a line within ruleBudget(); a rule that runs out of time (TooSlow) or
/// past PCRE2's limits on backtracking (TooComplex) leaves the line as it was.
RuleRun runRule(const CompiledRule& rule, QString& text);
/// Applies one rule to a line; true when it changed it.
bool applyRule(const CompiledRule& rule, QString& text);

/// Cleans the lines of one pass in file order. Told where the kept chapter titles are, it knows
/// a title line from a body line by the line number alone, so the text and EPUB passes call it
/// the same way.
class Cleaner {
public:
    /// Whether rules are skipped on lines that lack their required text. Never changes a result;
    /// off only to check exactly that.
    enum class Shortcut { On, Off };
    /// `indent` is for text output only (a book indents its paragraphs by style).
    Cleaner(const Settings& s, bool indent, Shortcut shortcut = Shortcut::On);
    /// Whether any step can change a line; when false, apply() is never needed.
    bool isActive() const { return m_active; }
    QStringList errors() const { return m_errors; }
    /// Takes the filter strings (字符过滤) out of line `lineNo`, before apply(), and counts the
    /// change in the ledger like a rule's; true when the line changed.
    bool filter(QString& text, qint64 lineNo);
    /// The kept chapters' title lines (1-based, ascending) and their titles as listed.
    void setChapters(const QVector<qint64>& titleLines, const QStringList& titles);

    enum Outcome { Unchanged, Changed, Dropped };
    static constexpr int MaxTimeouts = 3;
    /// Cleans line `lineNo` (after the filter strings). Each rule works on what the rules
    /// before it made of the line. A rule that runs out of time on a line is named in the
    /// ledger's timeouts; after MaxTimeouts such lines it is no longer used in this pass. A line emptied by a rule becomes "" and is Dropped when
    /// DelSpaceLine is on; a repeated title is always Dropped.
    Outcome apply(QString& text, qint64 lineNo);
    const CleanupLedger& ledger() const { return m_ledger; }
    CleanupLedger takeLedger() { return std::move(m_ledger); }

private:
    quint64 possibleRules(QStringView text) const;

    QStringList m_errors; // before m_rules, whose initialiser fills it
    QList<CompiledRule> m_rules;
    // For each character, the rules (by bit, the first 64) whose required text starts with it:
    // one look at each character of a line tells which of those rules can match at all. Looked
    // at again after every change, so that a rule sees what the rules before it made.
    QVector<quint64> m_startsOf;
    QVector<int> m_timeouts; // by rule: lines it ran out of time on
    quint64 m_literalRules = 0; // rules that are skipped unless their text was seen
    cRegExp m_filters;
    bool m_dropRepeated;
    bool m_indent;
    bool m_delSpaceLine;
    bool m_active;
    QVector<qint64> m_titleLines;
    QStringList m_titles;
    qsizetype m_next = 0;   // index of the next title line to come
    int m_current = -1;     // the chapter being read
    bool m_awaitFirst = false; // no body line of the current chapter seen yet
    QString m_titleText;    // the current title line after the rules, trimmed
    CleanupLedger m_ledger;
};

/// Blank for cleanup: nothing but ASCII blanks, tabs and U+3000.
bool isBlankText(QStringView text);
/// A line's text without blanks at either end (ASCII blanks, tabs, U+3000, NBSP).
QStringView trimmedText(QStringView text);
