#include "ByteSearch.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

const char* findBytes(const char* hay, size_t hayLen, const char* needle, size_t needleLen)
{
    if (needleLen == 0) {
        return hay;
    }
    if (hayLen < needleLen) {
        return nullptr;
    }
    if (needleLen == 1) {
        return static_cast<const char*>(std::memchr(hay, needle[0], hayLen));
    }
#if defined(__SSE2__)
    const size_t last = needleLen - 1;
    const __m128i first = _mm_set1_epi8(needle[0]);
    const __m128i final = _mm_set1_epi8(needle[last]);
    size_t i = 0;
    for (; i + last + 16 <= hayLen; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(hay + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(hay + i + last));
        unsigned mask = unsigned(_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, final))));
        while (mask) {
            const unsigned bit = unsigned(__builtin_ctz(mask));
            if (std::memcmp(hay + i + bit + 1, needle + 1, last - 1) == 0) {
                return hay + i + bit;
            }
            mask &= mask - 1;
        }
    }
    for (; i + needleLen <= hayLen; ++i) {
        if (hay[i] == needle[0] && std::memcmp(hay + i + 1, needle + 1, last) == 0) {
            return hay + i;
        }
    }
    return nullptr;
#else
    return static_cast<const char*>(memmem(hay, hayLen, needle, needleLen));
#endif
}

namespace {

// Which needle, if any, starts at `at` (the bytes up to `end` available).
int needleAt(const char* at, const char* end, const NeedleBytes& n)
{
    for (int k = 0; k < n.count; ++k) {
        if (size_t(end - at) >= n.size[k] && std::memcmp(at, n.data[k], n.size[k]) == 0) {
            return k;
        }
    }
    return -1;
}

} // namespace

const char* findAnyBytes(const char* hay, size_t hayLen, const NeedleBytes& needles, int* which)
{
    if (needles.count <= 0) {
        return nullptr;
    }
    if (needles.count == 1) {
        *which = 0;
        return findBytes(hay, hayLen, needles.data[0], needles.size[0]);
    }
    const char* end = hay + hayLen;
    size_t i = 0;
#if defined(__SSE2__)
    // Two needles of one length (a title's "第" and a volume's "卷" in a double-byte code page):
    // the bytes at their last position are loaded once for both.
    if (needles.count == 2 && needles.size[0] == needles.size[1]) {
        const size_t last = needles.size[0] - 1;
        const __m128i first0 = _mm_set1_epi8(needles.data[0][0]);
        const __m128i first1 = _mm_set1_epi8(needles.data[1][0]);
        const __m128i final0 = _mm_set1_epi8(needles.data[0][last]);
        const __m128i final1 = _mm_set1_epi8(needles.data[1][last]);
        for (; i + last + 16 <= hayLen; i += 16) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(hay + i));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(hay + i + last));
            const __m128i hits = _mm_or_si128(_mm_and_si128(_mm_cmpeq_epi8(a, first0), _mm_cmpeq_epi8(b, final0)),
                                              _mm_and_si128(_mm_cmpeq_epi8(a, first1), _mm_cmpeq_epi8(b, final1)));
            unsigned mask = unsigned(_mm_movemask_epi8(hits));
            while (mask) {
                const unsigned bit = unsigned(__builtin_ctz(mask));
                if ((*which = needleAt(hay + i + bit, end, needles)) >= 0) {
                    return hay + i + bit;
                }
                mask &= mask - 1;
            }
        }
    }
    // As findBytes: each needle's first and last bytes are tested 16 positions at a time; the
    // masks of all needles together say where one may start.
    size_t longest = 0;
    __m128i first[NeedleBytes::MaxNeedles];
    __m128i final[NeedleBytes::MaxNeedles];
    for (int k = 0; k < needles.count; ++k) {
        longest = std::max(longest, needles.size[k]);
        first[k] = _mm_set1_epi8(needles.data[k][0]);
        final[k] = _mm_set1_epi8(needles.data[k][needles.size[k] - 1]);
    }
    for (; i + longest - 1 + 16 <= hayLen; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(hay + i));
        __m128i hits = _mm_setzero_si128();
        for (int k = 0; k < needles.count; ++k) {
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(hay + i + needles.size[k] - 1));
            hits = _mm_or_si128(hits, _mm_and_si128(_mm_cmpeq_epi8(a, first[k]), _mm_cmpeq_epi8(b, final[k])));
        }
        unsigned mask = unsigned(_mm_movemask_epi8(hits));
        while (mask) {
            const unsigned bit = unsigned(__builtin_ctz(mask));
            if ((*which = needleAt(hay + i + bit, end, needles)) >= 0) {
                return hay + i + bit;
            }
            mask &= mask - 1;
        }
    }
#endif
    for (; i < hayLen; ++i) {
        if ((*which = needleAt(hay + i, end, needles)) >= 0) {
            return hay + i;
        }
    }
    return nullptr;
}

const char* findLineBreak(const char* p, const char* e)
{
#if defined(__SSE2__)
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i cr = _mm_set1_epi8('\r');
    for (; e - p >= 16; p += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const unsigned mask = unsigned(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, lf), _mm_cmpeq_epi8(v, cr))));
        if (mask) {
            return p + __builtin_ctz(mask);
        }
    }
#endif
    for (; p < e && *p != '\n' && *p != '\r'; ++p) {
    }
    return p;
}

const char* findLastLineBreak(const char* b, const char* e)
{
#if defined(__SSE2__)
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i cr = _mm_set1_epi8('\r');
    for (; e - b >= 16; e -= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(e - 16));
        const unsigned mask = unsigned(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, lf), _mm_cmpeq_epi8(v, cr))));
        if (mask) {
            return e - 16 + (31 - __builtin_clz(mask));
        }
    }
#endif
    while (e > b) {
        --e;
        if (*e == '\n' || *e == '\r') {
            return e;
        }
    }
    return nullptr;
}
