#include "Cleanup.h"

#include "core/PatternLiterals.h"

#include <algorithm>

namespace {

bool isBlankChar(char16_t c)
{
    return c == u' ' || c == u'\t' || c == 0x3000 || c == 0x00A0 || c == u'\r' || c == u'\n';
}

// Blanks inside a title do not make it another title: "第一章 风起" repeats "第一章　风起".
QString withoutBlanks(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        if (!isBlankChar(c.unicode())) {
            out += c;
        }
    }
    return out;
}

// "$1" as reader apps write it, "\1" as Qt does, "$$" for a dollar sign.
QString expand(const QString& replacement, const BoundedRegex::Scan& m)
{
    QString out;
    for (qsizetype i = 0; i < replacement.size(); ++i) {
        const QChar c = replacement[i];
        if ((c == u'$' || c == u'\\') && i + 1 < replacement.size()) {
            const QChar d = replacement[i + 1];
            if (d.isDigit()) {
                out += m.captured(d.digitValue());
                ++i;
                continue;
            }
            if (d == c) {
                out += c;
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

} // namespace

bool isBlankText(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return isBlankChar(c.unicode()); });
}

QStringView trimmedText(QStringView text)
{
    qsizetype a = 0, b = text.size();
    while (a < b && isBlankChar(text[a].unicode())) {
        ++a;
    }
    while (b > a && isBlankChar(text[b - 1].unicode())) {
        --b;
    }
    return text.mid(a, b - a);
}

QString repeatedTitleRuleName()
{
    return QStringLiteral(u"重复标题");
}

QString indentRuleName()
{
    return QStringLiteral(u"段首缩进");
}

QString filterRuleName()
{
    return QStringLiteral(u"字符过滤");
}

QString filterNoticeText(const CleanupLedger& ledger)
{
    const auto& entries = ledger.entries();
    const auto it = std::find_if(entries.begin(), entries.end(),
                                 [](const CleanupLedger::Entry& e) { return e.rule == filterRuleName(); });
    if (it == entries.end() || it->examples.isEmpty()) {
        return QString();
    }
    auto shown = [](const QString& line) {
        return line.size() > 40 ? line.left(40) + QStringLiteral(u"…") : line;
    };
    const CleanupLedger::Example& x = it->examples.first();
    QString text = QStringLiteral(u"\r\n字符过滤修改了 %1 行").arg(it->changed + it->removed);
    if (it->removed > 0) {
        text += QStringLiteral(u"（其中 %1 行因此成为空行，已删除）").arg(it->removed);
    }
    return text + QStringLiteral(u"，例如第 %1 行：“%2” → %3")
                      .arg(x.line)
                      .arg(shown(x.before),
                           x.removed ? QStringLiteral(u"(删除)") : QStringLiteral(u"“%1”").arg(shown(x.after)));
}

CleanupLedger::Entry& CleanupLedger::entry(const QString& rule)
{
    auto it = std::find_if(m_entries.begin(), m_entries.end(), [&](const Entry& e) { return e.rule == rule; });
    if (it == m_entries.end()) {
        m_entries.append(Entry{rule, 0, 0, {}});
        return m_entries.last();
    }
    return *it;
}

void CleanupLedger::add(const QString& rule, qint64 line, const QString& before, const QString& after, bool removed)
{
    Entry& e = entry(rule);
    ++(removed ? e.removed : e.changed);
    if (e.examples.size() < MaxExamples) {
        e.examples.append(Example{line, before, removed ? QString() : after, removed});
    }
}

void CleanupLedger::addChanged(const QString& rule, qint64 changed)
{
    if (changed > 0) {
        entry(rule).changed += changed;
    }
}

qint64 CleanupLedger::totalChanged() const
{
    qint64 n = 0;
    for (const Entry& e : m_entries) {
        n += e.changed;
    }
    return n;
}

qint64 CleanupLedger::totalRemoved() const
{
    qint64 n = 0;
    for (const Entry& e : m_entries) {
        n += e.removed;
    }
    return n;
}

QString CleanupLedger::text() const
{
    QString out = QStringLiteral(u"清理报告\n");
    for (const QString& e : errors) {
        out += QStringLiteral(u"未使用的规则（无法编译）: %1\n").arg(e);
    }
    for (const QString& t : timeouts) {
        out += QStringLiteral(u"规则超时: %1\n").arg(t);
    }
    if (m_entries.isEmpty()) {
        return out + QStringLiteral(u"没有修改或删除任何行。\n");
    }
    out += QStringLiteral(u"共修改 %1 行，删除 %2 行。\n").arg(totalChanged()).arg(totalRemoved());
    for (const Entry& e : m_entries) {
        out += QStringLiteral(u"\n[%1] 修改 %2 行，删除 %3 行\n")
                   .arg(e.rule, QString::number(e.changed), QString::number(e.removed));
        for (const Example& x : e.examples) {
            out += QStringLiteral(u"  第 %1 行: %2\n").arg(QString::number(x.line), x.before);
            out += x.removed ? QStringLiteral(u"    → (删除)\n") : QStringLiteral(u"    → %1\n").arg(x.after);
        }
    }
    return out;
}

CompiledRule compileRule(const ReplaceRule& rule)
{
    CompiledRule c{rule, {}, {}, {}};
    if (rule.pattern.isEmpty()) {
        c.error = QStringLiteral(u"规则为空");
        return c;
    }
    if (!rule.isRegex) {
        c.literal = rule.pattern;
        return c;
    }
    c.re = std::make_shared<BoundedRegex>(rule.pattern);
    if (!c.re->isValid()) {
        c.error = QStringLiteral("%1 (位置 %2)").arg(c.re->errorString()).arg(c.re->errorOffset());
        c.re.reset();
        return c;
    }
    c.literal = PatternLiterals::requiredLiteral(rule.pattern);
    return c;
}

QList<CompiledRule> runnableRules(const QList<ReplaceRule>& rules, QStringList* errors)
{
    QList<CompiledRule> out;
    for (const ReplaceRule& r : rules) {
        if (!r.isEnabled) {
            continue;
        }
        CompiledRule c = compileRule(r);
        if (!c.error.isEmpty()) {
            if (errors) {
                *errors << QStringLiteral("%1: %2").arg(r.name.isEmpty() ? r.pattern : r.name, c.error);
            }
            continue;
        }
        out.append(std::move(c));
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const CompiledRule& a, const CompiledRule& b) { return a.rule.order < b.rule.order; });
    return out;
}

std::chrono::milliseconds ruleBudget(qsizetype length)
{
    return std::chrono::milliseconds(100 + length / 10000);
}

RuleRun runRule(const CompiledRule& rule, QString& text)
{
    if (!rule.literal.isEmpty() && !text.contains(rule.literal)) {
        return RuleRun::Unchanged;
    }
    if (!rule.rule.isRegex) {
        if (rule.rule.pattern == rule.rule.replacement) {
            return RuleRun::Unchanged;
        }
        text.replace(rule.rule.pattern, rule.rule.replacement);
        return RuleRun::Changed; // the literal is there, so something was replaced
    }
    if (!rule.re) {
        return RuleRun::Unchanged;
    }
    BoundedRegex::Scan scan(*rule.re, text, ruleBudget(text.size()));
    auto given = [](BoundedRegex::Result r) {
        return r == BoundedRegex::TooSlow ? RuleRun::TooSlow : r == BoundedRegex::TooComplex ? RuleRun::TooComplex : RuleRun::Unchanged;
    };
    BoundedRegex::Result found = scan.next();
    if (found != BoundedRegex::Match) {
        return given(found);
    }
    QString out;
    qsizetype from = 0;
    for (; found == BoundedRegex::Match; found = scan.next()) {
        out += QStringView(text).mid(from, scan.start() - from);
        out += expand(rule.rule.replacement, scan);
        from = scan.end();
    }
    if (found != BoundedRegex::NoMatch) {
        return given(found);
    }
    out += QStringView(text).mid(from);
    if (out == text) {
        return RuleRun::Unchanged;
    }
    text = std::move(out);
    return RuleRun::Changed;
}

bool applyRule(const CompiledRule& rule, QString& text)
{
    return runRule(rule, text) == RuleRun::Changed;
}

Cleaner::Cleaner(const Settings& s, bool indent, Shortcut shortcut)
    : m_rules(runnableRules(s.ReplaceRules, &m_errors)),
      m_dropRepeated(s.DropRepeatedTitle),
      m_indent(indent && s.IndentParagraphs),
      m_delSpaceLine(s.DelSpaceLine),
      m_active(!m_rules.isEmpty() || m_dropRepeated || m_indent)
{
    m_ledger.errors = m_errors;
    m_timeouts.fill(0, m_rules.size());
    m_filters.SetFilters(QString(), s.TextFilters);
    if (shortcut == Shortcut::Off) {
        for (CompiledRule& r : m_rules) {
            if (r.rule.isRegex) {
                r.literal.clear();
            }
        }
        return;
    }
    for (qsizetype i = 0; i < m_rules.size() && i < 64; ++i) {
        const QString& literal = m_rules[i].literal;
        if (literal.isEmpty()) {
            continue;
        }
        if (m_startsOf.isEmpty()) {
            m_startsOf.fill(0, 0x10000);
        }
        m_startsOf[literal[0].unicode()] |= quint64(1) << i;
        m_literalRules |= quint64(1) << i;
    }
}

// The rules (of the first 64) that may match `text`: all but those whose required text starts
// with a character the text lacks.
quint64 Cleaner::possibleRules(QStringView text) const
{
    if (m_literalRules == 0) {
        return ~quint64(0);
    }
    quint64 seen = 0;
    const quint64* starts = m_startsOf.constData();
    for (QChar c : text) {
        seen |= starts[c.unicode()];
    }
    return seen | ~m_literalRules;
}

bool Cleaner::filter(QString& text, qint64 lineNo)
{
    const QString before = text; // shared until the filters change the line
    m_filters.FilterString(text);
    if (text.size() == before.size()) {
        return false; // filters only ever take text away
    }
    // With 删除空行 a line of nothing but filter strings goes with the blank lines.
    const bool removed = m_delSpaceLine && !isBlankText(before) && m_filters.IsSpaceLine(text);
    m_ledger.add(filterRuleName(), lineNo, before, text, removed);
    return true;
}

void Cleaner::setChapters(const QVector<qint64>& titleLines, const QStringList& titles)
{
    m_titleLines = titleLines;
    m_titles = titles;
    m_next = 0;
    m_current = -1;
    m_awaitFirst = false;
}

Cleaner::Outcome Cleaner::apply(QString& text, qint64 lineNo)
{
    bool title = false;
    while (m_next < m_titleLines.size() && m_titleLines[m_next] <= lineNo) {
        title = m_titleLines[m_next] == lineNo;
        m_current = int(m_next++);
    }
    const bool wasBlank = isBlankText(text);
    bool changed = false;
    // Rules whose required text cannot be in the line are skipped; a rule's own test then
    // makes sure.
    quint64 possible = possibleRules(text);
    for (qsizetype i = 0; i < m_rules.size(); ++i) {
        const CompiledRule& r = m_rules[i];
        if (i < 64 && !((possible >> i) & 1)) {
            continue;
        }
        if (!(title ? r.rule.scopeTitle : r.rule.scopeContent)) {
            continue;
        }
        if (m_timeouts[i] >= MaxTimeouts) {
            continue;
        }
        const QString& name = r.rule.name.isEmpty() ? r.rule.pattern : r.rule.name;
        const QString before = text;
        const RuleRun run = runRule(r, text);
        if (run == RuleRun::TooSlow || run == RuleRun::TooComplex) {
            const int n = ++m_timeouts[i];
            QString what = run == RuleRun::TooSlow
                               ? QStringLiteral(u"“%1”在第 %2 行用时超过 %3 毫秒")
                                     .arg(name, QString::number(lineNo), QString::number(ruleBudget(text.size()).count()))
                               : QStringLiteral(u"“%1”在第 %2 行回溯过多（超过匹配次数上限）").arg(name, QString::number(lineNo));
            what += n < MaxTimeouts ? QStringLiteral(u"，这一行没有按它修改")
                                    : QStringLiteral(u"（第 %1 次），这一行和之后的行都不再使用这条规则").arg(n);
            m_ledger.timeouts << what;
            continue;
        }
        if (run != RuleRun::Changed) {
            continue;
        }
        if (!wasBlank && isBlankText(text)) {
            // Never a line of spaces left behind: emptied is empty, or gone with the blank lines.
            text.clear();
            m_ledger.add(name, lineNo, before, text, m_delSpaceLine);
            return m_delSpaceLine ? Dropped : Changed;
        }
        m_ledger.add(name, lineNo, before, text, false);
        changed = true;
        possible = possibleRules(text); // the rules after this one see what it made
    }
    if (title) {
        m_titleText = withoutBlanks(text);
        m_awaitFirst = true;
        return changed ? Changed : Unchanged;
    }
    if (m_current < 0 || isBlankText(text)) {
        return changed ? Changed : Unchanged;
    }
    if (m_awaitFirst) {
        m_awaitFirst = false;
        if (m_dropRepeated) {
            const QString line = withoutBlanks(text);
            const QString listed = withoutBlanks(m_titles.value(m_current));
            if (line == m_titleText || (!listed.isEmpty() && line == listed)) {
                m_ledger.add(repeatedTitleRuleName(), lineNo, text, QString(), true);
                return Dropped;
            }
        }
    }
    if (m_indent) {
        qsizetype lead = 0;
        while (lead < text.size() && isBlankChar(text[lead].unicode())) {
            ++lead;
        }
        const bool right = lead == 2 && text[0] == QChar(0x3000) && text[1] == QChar(0x3000);
        if (!right) {
            const QString before = text;
            text = QStringLiteral(u"\u3000\u3000") + text.mid(lead);
            m_ledger.add(indentRuleName(), lineNo, before, text, false);
            changed = true;
        }
    }
    return changed ? Changed : Unchanged;
}
