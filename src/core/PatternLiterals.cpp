#include "PatternLiterals.h"

namespace PatternLiterals {

namespace {

// Index just past the character class that opens at `open`, or -1 when the class holds
// something this reading does not follow (quoting, control escapes, a broken POSIX name).
qsizetype classEnd(const QString& p, qsizetype open)
{
    const qsizetype n = p.size();
    qsizetype i = open + 1;
    if (i < n && p[i] == u'^') {
        ++i;
    }
    if (i < n && p[i] == u']') {
        ++i; // a "]" first in the class is one of its characters
    }
    while (i < n) {
        const QChar c = p[i];
        if (c == u']') {
            return i + 1;
        }
        if (c == u'\\') {
            if (i + 1 >= n || p[i + 1] == u'Q' || p[i + 1] == u'E' || p[i + 1] == u'c') {
                return -1; // "\c]" is a character, "\Q]\E" quotes one
            }
            i += 2;
            continue;
        }
        if (c == u'[' && i + 1 < n && (p[i + 1] == u':' || p[i + 1] == u'.' || p[i + 1] == u'=')) {
            // "[:space:]" and its kin end at their own ":]"; "]" inside one ends nothing.
            const QChar kind = p[i + 1];
            qsizetype j = i + 2;
            while (j < n && (p[j].isLetter() || p[j] == u'^' || p[j] == u'<' || p[j] == u'>')) {
                ++j;
            }
            if (j + 1 >= n || p[j] != kind || p[j + 1] != u']') {
                return -1;
            }
            i = j + 2;
            continue;
        }
        ++i;
    }
    return -1;
}

// Escapes that stand for one character of a set or for a position, with no argument.
bool isPlainEscape(QChar e)
{
    return QStringView(u"dDsSwWhHvVRXbBAzZGKtnrfae").contains(e);
}

} // namespace

QString requiredLiteral(const QString& pattern)
{
    // Only the plain top-level sequence is read. Whatever this reading does not follow
    // (alternation at the top, option settings, verbs, quoting, escapes with an argument,
    // a brace that may or may not be a repeat) gives no literal at all: a missing shortcut
    // costs time, a wrong one loses titles.
    auto caseless = [](QChar c) {
        return !c.isSurrogate() && c.toLower() == c && c.toUpper() == c && c.toCaseFolded() == c;
    };
    QString best, cur;
    auto flush = [&] {
        if (cur.size() > best.size()) {
            best = cur;
        }
        cur.clear();
    };
    int depth = 0;
    const qsizetype n = pattern.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = pattern[i];
        // The atom just read, if it is a literal character.
        QChar literal;
        bool isLiteral = false;
        if (c == u'\\') {
            if (i + 1 >= n) {
                return QString();
            }
            const QChar e = pattern[i + 1];
            i += 2;
            if (e.unicode() < 0x80 && !e.isLetterOrNumber()) {
                literal = e;
                isLiteral = true;
            } else if (!isPlainEscape(e)) {
                return QString(); // \x{..}, \Q..\E, \p{..}, \1, \cX, \N{..}, \g{..} and the like
            }
        } else if (c == u'[') {
            i = classEnd(pattern, i);
            if (i < 0) {
                return QString();
            }
        } else if (c == u'(') {
            if (i + 1 < n && pattern[i + 1] == u'*') {
                return QString(); // (*ACCEPT) and other verbs
            }
            if (i + 1 < n && pattern[i + 1] == u'?') {
                const QChar k = i + 2 < n ? pattern[i + 2] : QChar();
                const QChar k2 = i + 3 < n ? pattern[i + 3] : QChar();
                const bool plain = k == u':' || k == u'=' || k == u'!' || k == u'>'
                                   || (k == u'<' && (k2 == u'=' || k2 == u'!' || k2.isLetter()));
                if (!plain) {
                    return QString(); // option settings, comments, recursion, conditions
                }
            }
            ++depth;
            ++i;
            flush();
            continue;
        } else if (c == u')') {
            if (--depth < 0) {
                return QString();
            }
            ++i;
            flush();
        } else if (c == u'|') {
            if (depth == 0) {
                return QString();
            }
            ++i;
            continue;
        } else if (c == u'{') {
            return QString(); // a literal brace or a repeat, depending on what follows
        } else if (c == u'.' || c == u'^' || c == u'$' || c == u'*' || c == u'+' || c == u'?') {
            ++i; // quantifiers here follow a quantifier: the pattern would not compile
        } else {
            literal = c;
            isLiteral = true;
            ++i;
        }
        // What quantifies the atom?
        bool optional = false;
        bool repeated = false;
        if (i < n) {
            const QChar q = pattern[i];
            if (q == u'*' || q == u'?') {
                optional = true;
                ++i;
            } else if (q == u'+') {
                repeated = true;
                ++i;
            } else if (q == u'{') {
                qsizetype j = i + 1;
                while (j < n && (pattern[j].isDigit() || pattern[j] == u',')) {
                    ++j;
                }
                if (j < n && pattern[j] == u'}' && j > i + 1) {
                    optional = true; // a counted repeat: do not reason about it
                    i = j + 1;
                }
            }
            if ((optional || repeated) && i < n && (pattern[i] == u'?' || pattern[i] == u'+')) {
                ++i; // lazy or possessive
            }
        }
        if (depth == 0 && isLiteral && !optional && caseless(literal)) {
            cur += literal;
            if (repeated) {
                flush();
            }
        } else {
            flush();
        }
    }
    flush();
    return best;
}

bool leadingLiteralAndClass(const QString& pattern, QString* literal, QString* classChars)
{
    // The literal: plain characters from the very start, without case and not quantified.
    qsizetype i = 0;
    const qsizetype n = pattern.size();
    QString lit;
    while (i < n) {
        const QChar c = pattern[i];
        if (QStringLiteral("\\[](){}.*+?|^$").contains(c) || c.isSurrogate() || c.toLower() != c
            || c.toUpper() != c || c.toCaseFolded() != c) {
            break;
        }
        lit += c;
        ++i;
    }
    if (lit.isEmpty() || i >= n) {
        return false;
    }
    if (pattern[i] == u'*' || pattern[i] == u'?' || pattern[i] == u'{' || pattern[i] == u'+') {
        return false; // the last character is quantified
    }
    // An optional group opening, which must not hold an alternative at its own level.
    if (pattern[i] == u'(') {
        qsizetype j = i + 1;
        if (pattern.mid(j, 2) == QLatin1String("?:")) {
            j += 2;
        } else if (j < n && pattern[j] == u'?') {
            return false; // lookaround, named group or option setting
        }
        int depth = 1;
        qsizetype k = j;
        while (k < n && depth > 0) {
            const QChar c = pattern[k];
            if (c == u'\\') {
                k += 2;
                continue;
            }
            if (c == u'[') {
                k = classEnd(pattern, k);
                if (k < 0) {
                    return false;
                }
                continue;
            }
            if (c == u'(') {
                ++depth;
            } else if (c == u')') {
                --depth;
            } else if (c == u'|' && depth == 1) {
                return false;
            }
            ++k;
        }
        // The group may be left out as a whole ("第([0-9]+)?章" matches "第章").
        if (depth > 0 || (k < n && (pattern[k] == u'?' || pattern[k] == u'*' || pattern[k] == u'{'))) {
            return false;
        }
        i = j;
    }
    if (i >= n || pattern[i] != u'[' || (i + 1 < n && pattern[i + 1] == u'^')) {
        return false;
    }
    // The class: plain characters, ranges and the escapes \s \t \d only.
    QString set;
    qsizetype k = i + 1;
    QChar prev;
    bool havePrev = false;
    if (k < n && pattern[k] == u']') {
        set += u']'; // first in the class, "]" is one of its characters
        prev = u']';
        havePrev = true;
        ++k;
    }
    while (k < n && pattern[k] != u']') {
        QChar c = pattern[k];
        if (c == u'\\') {
            if (k + 1 >= n) {
                return false;
            }
            const QChar e = pattern[k + 1];
            k += 2;
            if (e == u's') {
                set += QStringLiteral(" \t\n\r\f\v");
                havePrev = false;
                continue;
            }
            if (e == u'd') {
                set += QStringLiteral("0123456789");
                havePrev = false;
                continue;
            }
            if (e == u't') {
                c = u'\t';
            } else if (!e.isLetterOrNumber() && e.unicode() < 0x80) {
                c = e;
            } else {
                return false;
            }
        } else if (c == u'[') {
            return false; // POSIX classes and the like
        } else if (c == u'-' && havePrev && k + 1 < n && pattern[k + 1] != u']') {
            const QChar to = pattern[k + 1];
            if (to == u'\\' || to.isSurrogate() || prev.isSurrogate() || to < prev) {
                return false;
            }
            for (char16_t u = prev.unicode() + 1; u <= to.unicode(); ++u) {
                set += QChar(u);
            }
            k += 2;
            havePrev = false;
            continue;
        } else {
            ++k;
        }
        if (c.isSurrogate()) {
            return false;
        }
        set += c;
        prev = c;
        havePrev = true;
    }
    if (k >= n) {
        return false;
    }
    const QChar after = k + 1 < n ? pattern[k + 1] : QChar();
    if (after == u'*' || after == u'?' || after == u'{') {
        return false; // the class may match nothing
    }
    // The pattern is case-insensitive: a letter stands for every character that folds to
    // the same case (full-width Ｏ and ｏ, k and the Kelvin sign).
    QString cased;
    for (QChar c : std::as_const(set)) {
        if (c.toLower() != c || c.toUpper() != c || c.toCaseFolded() != c) {
            const QChar folded = c.toCaseFolded();
            for (char32_t u = 0; u < 0x10000; ++u) {
                if (!QChar::isSurrogate(u) && QChar(char16_t(u)).toCaseFolded() == folded) {
                    cased += QChar(char16_t(u));
                }
            }
        }
    }
    *literal = lit;
    *classChars = set + cased;
    return true;
}

namespace {

// Index of the character that ends what starts at `i` when it is an escape or a class (the
// last index that belongs to it), or -1 when the class is beyond this reading.
qsizetype atomEnd(const QString& p, qsizetype i)
{
    if (p[i] == u'\\') {
        return i + 1 < p.size() ? i + 1 : -1;
    }
    if (p[i] == u'[') {
        const qsizetype e = classEnd(p, i);
        return e < 0 ? -1 : e - 1;
    }
    return i;
}

// The top-level alternatives of `p`; empty when its structure is beyond this reading.
QStringList topAlternatives(const QString& p)
{
    QStringList parts;
    int depth = 0;
    qsizetype from = 0;
    for (qsizetype i = 0; i < p.size(); ++i) {
        const qsizetype end = atomEnd(p, i);
        if (end < 0) {
            return {};
        }
        if (end > i) {
            i = end;
            continue;
        }
        if (p[i] == u'(') {
            ++depth;
        } else if (p[i] == u')') {
            if (--depth < 0) {
                return {};
            }
        } else if (p[i] == u'|' && depth == 0) {
            parts << p.mid(from, i - from);
            from = i + 1;
        }
    }
    if (depth != 0) {
        return {};
    }
    parts << p.mid(from);
    return parts;
}

// Index of the ")" closing the group that opens at `open`, or -1.
qsizetype groupClose(const QString& p, qsizetype open)
{
    int depth = 0;
    for (qsizetype i = open; i < p.size(); ++i) {
        const qsizetype end = atomEnd(p, i);
        if (end < 0) {
            return -1;
        }
        if (end > i) {
            i = end;
        } else if (p[i] == u'(') {
            ++depth;
        } else if (p[i] == u')' && --depth == 0) {
            return i;
        }
    }
    return -1;
}

// Length of the group opener at `i` that this reading follows: "(", "(?:" or "(?|"; 0 otherwise.
qsizetype groupOpener(const QString& p, qsizetype i)
{
    if (i >= p.size() || p[i] != u'(') {
        return 0;
    }
    if (i + 1 < p.size() && p[i + 1] == u'?') {
        return i + 2 < p.size() && (p[i + 2] == u':' || p[i + 2] == u'|') ? 3 : 0;
    }
    return i + 1 < p.size() && p[i + 1] == u'*' ? 0 : 1;
}

bool isQuantifier(QChar c)
{
    return c == u'*' || c == u'?' || c == u'{' || c == u'+';
}

// Plain characters without case from `i` on, less a last one that is optional.
QString literalRun(const QString& p, qsizetype i)
{
    QString run;
    for (; i < p.size(); ++i) {
        const QChar c = p[i];
        if (QStringLiteral("\\[](){}.*+?|^$").contains(c) || c.isSurrogate() || c.toLower() != c || c.toUpper() != c
            || c.toCaseFolded() != c) {
            break;
        }
        run += c;
    }
    if (!run.isEmpty() && i < p.size() && isQuantifier(p[i]) && p[i] != u'+') {
        run.chop(1);
    }
    return run;
}

// The text that begins every match of one alternative (no "|" at its top level).
bool alternativeLead(const QString& alt, QList<LeadingText>* texts)
{
    QString literal, chars;
    if (leadingLiteralAndClass(alt, &literal, &chars)) {
        texts->append({literal, chars});
        return true;
    }
    if (const QString run = literalRun(alt, 0); !run.isEmpty()) {
        texts->append({run, QString()});
        return true;
    }
    // A class, alone or in a group of its own, then plain text: "[上下]卷", "([上下])卷".
    qsizetype i = groupOpener(alt, 0);
    const bool grouped = i > 0;
    if (i >= alt.size() || alt[i] != u'[') {
        return false;
    }
    i = classEnd(alt, i);
    if (i < 0 || (grouped && (i >= alt.size() || alt[i++] != u')'))) {
        return false;
    }
    if (i < alt.size() && isQuantifier(alt[i])) {
        if (alt[i] != u'+') {
            return false;
        }
        ++i;
    }
    const QString run = literalRun(alt, i);
    if (run.isEmpty()) {
        return false;
    }
    texts->append({run, QString()});
    return true;
}

bool sequenceLeads(const QString& seq, QList<LeadingText>* texts)
{
    // A "^" and runs of blanks before the heading itself.
    qsizetype i = 0;
    if (i < seq.size() && seq[i] == u'^') {
        ++i;
    }
    for (;;) {
        qsizetype end = -1;
        if (i < seq.size() && seq[i] == u'[') {
            end = classEnd(seq, i);
        } else if (i + 1 < seq.size() && seq[i] == u'\\' && (seq[i + 1] == u's' || seq[i + 1] == u't')) {
            end = i + 2;
        }
        if (end < 0 || end >= seq.size() || (seq[end] != u'*' && seq[end] != u'+' && seq[end] != u'?')) {
            break;
        }
        i = end + 1;
    }
    const QString rest = seq.mid(i);
    if (alternativeLead(rest, texts)) {
        return true;
    }
    // A group of alternatives, each beginning with its own text.
    const qsizetype open = groupOpener(rest, 0);
    if (open == 0) {
        return false;
    }
    const qsizetype close = groupClose(rest, 0);
    if (close < 0 || (close + 1 < rest.size() && isQuantifier(rest[close + 1]) && rest[close + 1] != u'+')) {
        return false;
    }
    const QStringList alts = topAlternatives(rest.mid(open, close - open));
    if (alts.isEmpty()) {
        return false;
    }
    for (const QString& alt : alts) {
        if (!sequenceLeads(alt, texts)) {
            return false;
        }
    }
    return true;
}

} // namespace

bool leadingTexts(const QString& pattern, QList<LeadingText>* texts)
{
    if (pattern.contains(QLatin1String("\\Q"))) {
        return false; // quoted text may hold any of the characters read as structure here
    }
    QList<LeadingText> found;
    const QStringList alts = topAlternatives(pattern);
    if (alts.isEmpty()) {
        return false;
    }
    for (const QString& alt : alts) {
        if (!sequenceLeads(alt, &found)) {
            return false;
        }
    }
    *texts = found;
    return true;
}

} // namespace PatternLiterals
