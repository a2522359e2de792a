#include "BoundedRegex.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

namespace {

using Clock = std::chrono::steady_clock;

// What the interpreter may take for one match when there is no JIT (KiB): a pattern that
// backtracks badly fails rather than eating the machine's memory.
constexpr uint32_t HeapLimitKiB = 64 * 1024;
// From this length on a line is matched with a callout before every item of the pattern, and
// the clock is looked at every StepsPerLook of them: one item may search the rest of the line
// (x(?=.*y) does so from every position, which no match limit counts). A shorter line takes
// such a search in milliseconds; there PCRE2's match limit bounds the backtracking, the
// callouts' cost is saved, and the clock is looked at between matches.
constexpr qsizetype LongLine = 4096;
constexpr quint32 StepsPerLook = 16;
constexpr quint32 MatchesPerLook = 16;

} // namespace

struct BoundedRegex::Pcre {
    QString pattern;
    bool caseless = false;
    // Made when first needed: a rule list checked as it is typed compiles every rule each time.
    pcre2_code_16* code = nullptr;    // for short lines
    pcre2_code_16* watched = nullptr; // the same with auto callouts, for long lines
    bool jit = false;
    pcre2_match_data_16* data = nullptr;
    pcre2_match_context_16* context = nullptr;
    pcre2_jit_stack_16* stack = nullptr;
    // The budget of the current scan. Its clock starts at the first look, so that the many
    // rules that are done with a line in a few steps never read it.
    std::chrono::milliseconds budget{0};
    Clock::time_point deadline;
    bool started = false;
    quint32 steps = 0;

    bool outOfTime()
    {
        const Clock::time_point now = Clock::now();
        if (!started) {
            started = true;
            deadline = now + budget;
            return false;
        }
        return now >= deadline;
    }

    static int onStep(pcre2_callout_block_16*, void* data)
    {
        Pcre& p = *static_cast<Pcre*>(data);
        if (++p.steps % StepsPerLook != 0) {
            return 0;
        }
        return p.outOfTime() ? PCRE2_ERROR_CALLOUT : 0;
    }

    pcre2_code_16* compile(uint32_t options, int* error, PCRE2_SIZE* offset) const
    {
        // The options QRegularExpression compiles with (UTF).
        return pcre2_compile_16(reinterpret_cast<PCRE2_SPTR16>(pattern.utf16()), PCRE2_SIZE(pattern.size()),
                                PCRE2_UTF | (caseless ? PCRE2_CASELESS : 0) | options, error, offset, nullptr);
    }

    // The code for a line of `length`, made ready to match; null only when out of memory.
    pcre2_code_16* ready(qsizetype length)
    {
        if (length < LongLine) {
            if (!jit) {
                jit = true;
                pcre2_jit_compile_16(code, PCRE2_JIT_COMPLETE); // without the JIT the interpreter runs
            }
            return code;
        }
        if (!watched) {
            int error = 0;
            PCRE2_SIZE offset = 0;
            watched = compile(PCRE2_AUTO_CALLOUT, &error, &offset);
            if (watched) {
                pcre2_jit_compile_16(watched, PCRE2_JIT_COMPLETE);
            }
        }
        return watched;
    }

    ~Pcre()
    {
        pcre2_jit_stack_free_16(stack);
        pcre2_match_context_free_16(context);
        pcre2_match_data_free_16(data);
        pcre2_code_free_16(watched);
        pcre2_code_free_16(code);
    }
};

BoundedRegex::BoundedRegex(const QString& pattern, bool caseless) : m_pcre(std::make_unique<Pcre>())
{
    Pcre& p = *m_pcre;
    p.pattern = pattern;
    p.caseless = caseless;
    int error = 0;
    PCRE2_SIZE offset = 0;
    p.code = p.compile(0, &error, &offset);
    if (!p.code) {
        char16_t message[256];
        const int n = pcre2_get_error_message_16(error, reinterpret_cast<PCRE2_UCHAR16*>(message), 256);
        m_error = n > 0 ? QString::fromUtf16(message, n) : QStringLiteral("error %1").arg(error);
        m_errorOffset = qsizetype(offset);
        return;
    }
    m_valid = true;
    p.data = pcre2_match_data_create_from_pattern_16(p.code, nullptr);
    p.context = pcre2_match_context_create_16(nullptr);
    pcre2_set_callout_16(p.context, &Pcre::onStep, &p);
    pcre2_set_heap_limit_16(p.context, HeapLimitKiB);
    p.stack = pcre2_jit_stack_create_16(32 * 1024, 1024 * 1024, nullptr);
    pcre2_jit_stack_assign_16(p.context, nullptr, p.stack);
    uint32_t newline = 0;
    pcre2_pattern_info_16(p.code, PCRE2_INFO_NEWLINE, &newline);
    m_crlf = newline == PCRE2_NEWLINE_CRLF || newline == PCRE2_NEWLINE_ANY || newline == PCRE2_NEWLINE_ANYCRLF;
}

BoundedRegex::~BoundedRegex() = default;

BoundedRegex::Scan::Scan(BoundedRegex& re, QStringView subject, std::chrono::milliseconds budget)
    : m_re(re), m_subject(subject), m_done(!re.m_valid)
{
    Pcre& p = *m_re.m_pcre;
    p.budget = budget;
    p.started = false;
    p.steps = 0;
}

BoundedRegex::Scan::~Scan() = default;

int BoundedRegex::Scan::match(qsizetype offset, quint32 options)
{
    static const char16_t empty = 0; // PCRE2 wants a subject even when it is empty
    const char16_t* text = m_subject.isEmpty() ? &empty : m_subject.utf16();
    if (m_checked) {
        options |= PCRE2_NO_UTF_CHECK;
    }
    Pcre& p = *m_re.m_pcre;
    pcre2_code_16* code = p.ready(m_subject.size());
    if (!code) {
        return PCRE2_ERROR_NOMEMORY;
    }
    const int rc = pcre2_match_16(code, reinterpret_cast<PCRE2_SPTR16>(text), PCRE2_SIZE(m_subject.size()),
                                  PCRE2_SIZE(offset), options, p.data, p.context);
    m_checked = true;
    return rc;
}

BoundedRegex::Result BoundedRegex::Scan::next()
{
    if (m_done) {
        return NoMatch;
    }
    if (++m_matches % MatchesPerLook == 0 && m_re.m_pcre->outOfTime()) {
        m_done = true;
        return TooSlow;
    }
    const qsizetype size = m_subject.size();
    int rc;
    if (m_end < 0 || m_start != m_end) {
        rc = match(m_offset, 0);
    } else {
        // After an empty match: a non-empty one at the same place, else on from the next
        // character (a surrogate pair, or a CR LF the pattern treats as one newline, whole).
        rc = match(m_offset, PCRE2_NOTEMPTY_ATSTART | PCRE2_ANCHORED);
        if (rc == PCRE2_ERROR_NOMATCH) {
            ++m_offset;
            if (m_re.m_crlf && m_offset < size && m_subject[m_offset - 1] == u'\r' && m_subject[m_offset] == u'\n') {
                ++m_offset;
            } else if (m_offset < size && m_subject[m_offset].isLowSurrogate()) {
                ++m_offset;
            }
            if (m_offset > size) {
                m_done = true;
                return NoMatch;
            }
            rc = match(m_offset, 0);
        }
    }
    if (rc < 0) {
        m_done = true;
        switch (rc) {
        case PCRE2_ERROR_NOMATCH:
        // A line that is no valid UTF-16 matches nothing, as with QRegularExpression.
        case PCRE2_ERROR_UTF16_ERR1:
        case PCRE2_ERROR_UTF16_ERR2:
        case PCRE2_ERROR_UTF16_ERR3:
            return NoMatch;
        case PCRE2_ERROR_CALLOUT:
            return TooSlow;
        default:
            return TooComplex; // the match or depth limit, the heap or JIT stack
        }
    }
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer_16(m_re.m_pcre->data);
    m_end = qsizetype(ovector[1]);
    m_start = std::min(qsizetype(ovector[0]), m_end);
    m_offset = m_end;
    return Match;
}

QStringView BoundedRegex::Scan::captured(int n) const
{
    const Pcre& p = *m_re.m_pcre;
    if (n < 0 || uint32_t(n) >= pcre2_get_ovector_count_16(p.data)) {
        return {};
    }
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer_16(p.data);
    if (ovector[2 * n] == PCRE2_UNSET || ovector[2 * n + 1] < ovector[2 * n]) {
        return {};
    }
    return m_subject.mid(qsizetype(ovector[2 * n]), qsizetype(ovector[2 * n + 1] - ovector[2 * n]));
}
