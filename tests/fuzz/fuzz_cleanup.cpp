// Random replace rules on random lines through the cleaner: never a crash; the shortcut that
// skips rules never changes a result; a line that no rule's pattern matches (as
// QRegularExpression, the library's own wrapper, sees it) comes out unchanged.
//
// Input: UTF-8 text, lines separated by LF. The first byte says how many of the first lines are
// rules (1-3); a rule line is a flag character ('r' regex, else plain), the pattern, a TAB and
// the replacement. The other lines (up to 8) are the novel's.
#include "core/Cleanup.h"

#include <QRegularExpression>

#include <cstdint>
#include <cstdlib>

namespace {

bool anyRuleMatches(const QList<ReplaceRule>& rules, const QString& line)
{
    for (const ReplaceRule& r : rules) {
        if (r.pattern.isEmpty()) {
            continue;
        }
        if (!r.isRegex) {
            if (line.contains(r.pattern)) {
                return true;
            }
            continue;
        }
        const QRegularExpression re(r.pattern);
        // A match the wrapper gave up on (PCRE2's match limit) may be one.
        const QRegularExpressionMatch m = re.match(line);
        if (re.isValid() && (m.hasMatch() || !m.isValid())) {
            return true;
        }
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2) {
        return 0;
    }
    const int ruleCount = 1 + data[0] % 3;
    const QStringList lines = QString::fromUtf8(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1)).split(u'\n');
    Settings s = Settings::defaults();
    s.TextFilters.clear();
    s.DelSpaceLine = (data[0] & 0x80) != 0;
    for (int i = 0; i < ruleCount && i < lines.size(); ++i) {
        const QString& l = lines[i];
        ReplaceRule r;
        r.isRegex = l.startsWith(u'r');
        const qsizetype tab = l.indexOf(u'\t');
        r.pattern = tab < 0 ? l.mid(1) : l.mid(1, tab - 1);
        r.replacement = tab < 0 ? QString() : l.mid(tab + 1);
        r.name = QString::number(i);
        s.ReplaceRules << r;
    }
    Cleaner with(s, false, Cleaner::Shortcut::On);
    Cleaner without(s, false, Cleaner::Shortcut::Off);
    for (qsizetype i = ruleCount, n = 1; i < lines.size() && n <= 8; ++i, ++n) {
        QString a = lines[i], b = lines[i];
        const Cleaner::Outcome oa = with.apply(a, n);
        const Cleaner::Outcome ob = without.apply(b, n);
        // A rule out of time in one run may not be in the other: only runs without any compare.
        if (with.ledger().timeouts.isEmpty() && without.ledger().timeouts.isEmpty() && (a != b || oa != ob)) {
            abort();
        }
        if ((a != lines[i] || oa != Cleaner::Unchanged) && !anyRuleMatches(s.ReplaceRules, lines[i])) {
            abort(); // changed where no rule matches
        }
    }
    return 0;
}
