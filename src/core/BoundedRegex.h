#pragma once

#include <QString>
#include <QStringView>

#include <chrono>
#include <memory>

/// A replace rule's regular expression, matched within a time budget. It is PCRE2 as
/// QRegularExpression uses it (UTF-16, UTF mode, the same syntax and the same global-match
/// steps), called directly: a pattern that backtracks without end, or that searches the rest of
/// a long line again from every position, gives up when its budget is spent instead of running
/// for minutes. Neither the match limit nor a pattern's (*LIMIT_MATCH=…) bounds the second kind,
/// so on a long line every step of the match reports back (auto callouts) and the clock is
/// looked at on the way. One thread at a time.
class BoundedRegex {
public:
    /// `caseless`: letters match either case, as the title patterns are matched.
    explicit BoundedRegex(const QString& pattern, bool caseless = false);
    ~BoundedRegex();
    BoundedRegex(const BoundedRegex&) = delete;
    BoundedRegex& operator=(const BoundedRegex&) = delete;

    bool isValid() const { return m_valid; }
    /// Why the pattern does not compile, and where (0-based, in UTF-16 units).
    QString errorString() const { return m_error; }
    qsizetype errorOffset() const { return m_errorOffset; }

    /// TooSlow: the budget ran out; TooComplex: PCRE2's own limits (backtracking, memory).
    enum Result { NoMatch, Match, TooSlow, TooComplex };

    /// One rule on one line: every match of `subject` in order, as globalMatch() finds them,
    /// with `budget` for all of them together.
    class Scan {
    public:
        Scan(BoundedRegex& re, QStringView subject, std::chrono::milliseconds budget);
        ~Scan();
        /// The next match; after NoMatch, TooSlow or TooComplex there is none.
        Result next();
        qsizetype start() const { return m_start; }
        qsizetype end() const { return m_end; }
        /// Group `n` of the current match; empty when it took no part.
        QStringView captured(int n) const;

    private:
        int match(qsizetype offset, quint32 options);

        BoundedRegex& m_re;
        QStringView m_subject;
        qsizetype m_offset = 0;
        qsizetype m_start = -1;
        qsizetype m_end = -1;
        quint32 m_matches = 0;
        bool m_checked = false; // the subject's UTF-16 was checked by the first match
        bool m_done = false;
    };

private:
    struct Pcre;
    std::unique_ptr<Pcre> m_pcre;
    bool m_valid = false;
    QString m_error;
    qsizetype m_errorOffset = -1;
    bool m_crlf = false; // the pattern's newline may be CR LF: an empty match never splits it
};
