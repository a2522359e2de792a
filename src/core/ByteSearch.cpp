#include "ByteSearch.h"

#include <QtGlobal>

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
// Where the processor has AVX2, the searches test 32 positions at a time: the analysis spends
// most of its time in them.
#if defined(__x86_64__) && defined(__GNUC__)
#define VELLOMAR_AVX2 1
#include <immintrin.h>
#endif

namespace {

// Which needle, if any, starts at `at` (the bytes up to `end` available) and passes its test.
int needleAt(const char* at, const char* end, const NeedleBytes& n, const NeedleTest* tests)
{
    for (int k = 0; k < n.count; ++k) {
        if (size_t(end - at) >= n.size[k] && std::memcmp(at, n.data[k], n.size[k]) == 0
            && (!tests || !tests[k].accept || tests[k].accept(tests[k].context, at + n.size[k], end))) {
            return k;
        }
    }
    return -1;
}

#ifdef VELLOMAR_AVX2
bool hasAvx2()
{
    static const bool yes = __builtin_cpu_supports("avx2");
    return yes;
}

// The start of findBytes and findAnyBytes (one or two needles of one length) 32 positions at a
// time: the first position found, or null with `*done` where the caller goes on.
__attribute__((target("avx2"))) const char* findTwoAvx2(const char* hay, size_t hayLen, const NeedleBytes& needles,
                                                        const NeedleTest* tests, int* which, size_t* done)
{
    const size_t last = needles.size[0] - 1;
    const bool two = needles.count == 2;
    const __m256i first0 = _mm256_set1_epi8(needles.data[0][0]);
    const __m256i final0 = _mm256_set1_epi8(needles.data[0][last]);
    const __m256i first1 = _mm256_set1_epi8(needles.data[two][0]);
    const __m256i final1 = _mm256_set1_epi8(needles.data[two][last]);
    size_t i = 0;
    for (; i + last + 32 <= hayLen; i += 32) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(hay + i));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(hay + i + last));
        const __m256i hits = _mm256_or_si256(_mm256_and_si256(_mm256_cmpeq_epi8(a, first0), _mm256_cmpeq_epi8(b, final0)),
                                             _mm256_and_si256(_mm256_cmpeq_epi8(a, first1), _mm256_cmpeq_epi8(b, final1)));
        unsigned mask = unsigned(_mm256_movemask_epi8(hits));
        while (mask) {
            const char* at = hay + i + __builtin_ctz(mask);
            if ((*which = needleAt(at, hay + hayLen, needles, tests)) >= 0) {
                return at;
            }
            mask &= mask - 1;
        }
    }
    *done = i;
    return nullptr;
}

// The sum of the 32 byte counters.
__attribute__((target("avx2"))) inline qint64 totalAvx2(__m256i counters)
{
    const __m256i s = _mm256_sad_epu8(counters, _mm256_setzero_si256());
    return qint64(_mm256_extract_epi64(s, 0)) + qint64(_mm256_extract_epi64(s, 1)) + qint64(_mm256_extract_epi64(s, 2))
           + qint64(_mm256_extract_epi64(s, 3));
}

__attribute__((target("avx2"))) qint64 countLineEndsAvx2(const char* b, size_t n, size_t* done)
{
    const __m256i lf = _mm256_set1_epi8('\n');
    const __m256i cr = _mm256_set1_epi8('\r');
    const __m256i zero = _mm256_setzero_si256();
    qint64 count = 0;
    size_t i = 0;
    while (i + 33 <= n) {
        __m256i ends = zero;
        __m256i pairs = zero;
        for (int k = 0; k < 255 && i + 33 <= n; ++k, i += 32) {
            const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + i));
            const __m256i next = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + i + 1));
            const __m256i isCr = _mm256_cmpeq_epi8(v, cr);
            ends = _mm256_sub_epi8(ends, _mm256_or_si256(isCr, _mm256_cmpeq_epi8(v, lf)));
            pairs = _mm256_sub_epi8(pairs, _mm256_and_si256(isCr, _mm256_cmpeq_epi8(next, lf)));
        }
        count += totalAvx2(ends) - totalAvx2(pairs);
    }
    *done = i;
    return count;
}
#endif

} // namespace

qint64 countLineEnds(const char* b, size_t n, bool crAtEndAlone)
{
    qint64 count = 0;
    size_t i = 0;
#ifdef VELLOMAR_AVX2
    if (hasAvx2()) {
        count = countLineEndsAvx2(b, n, &i);
    }
#endif
#if defined(__SSE2__)
    // Byte-wise counters, summed every 255 blocks before they can overflow.
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i zero = _mm_setzero_si128();
    auto total = [&zero](__m128i acc) {
        const __m128i s = _mm_sad_epu8(acc, zero);
        return qint64(_mm_cvtsi128_si64(s)) + qint64(_mm_cvtsi128_si64(_mm_unpackhi_epi64(s, s)));
    };
    while (i + 17 <= n) { // the byte after a block is inside the range too
        __m128i ends = zero;  // LFs and CRs
        __m128i pairs = zero; // CR LF pairs, counted once
        for (int k = 0; k < 255 && i + 17 <= n; ++k, i += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
            const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i + 1));
            const __m128i isCr = _mm_cmpeq_epi8(v, cr);
            ends = _mm_sub_epi8(ends, _mm_or_si128(isCr, _mm_cmpeq_epi8(v, lf)));
            pairs = _mm_sub_epi8(pairs, _mm_and_si128(isCr, _mm_cmpeq_epi8(next, lf)));
        }
        count += total(ends) - total(pairs);
    }
#endif
    for (; i < n; ++i) {
        if (b[i] == '\n' || (b[i] == '\r' && (i + 1 < n ? b[i + 1] != '\n' : crAtEndAlone))) {
            ++count;
        }
    }
    return count;
}

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
#ifdef VELLOMAR_AVX2
    if (hasAvx2()) {
        NeedleBytes one;
        one.data[0] = needle;
        one.size[0] = needleLen;
        one.count = 1;
        int which = 0;
        if (const char* found = findTwoAvx2(hay, hayLen, one, nullptr, &which, &i)) {
            return found;
        }
    }
#endif
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

const char* findAnyBytes(const char* hay, size_t hayLen, const NeedleBytes& needles, int* which)
{
    return findAnyBytes(hay, hayLen, needles, nullptr, which);
}

const char* findAnyBytes(const char* hay, size_t hayLen, const NeedleBytes& needles, const NeedleTest* tests, int* which)
{
    if (needles.count <= 0) {
        return nullptr;
    }
    const bool tested = tests && std::any_of(tests, tests + needles.count, [](const NeedleTest& t) { return t.accept; });
    if (needles.count == 1 && !tested) {
        *which = 0;
        return findBytes(hay, hayLen, needles.data[0], needles.size[0]);
    }
    const char* end = hay + hayLen;
    size_t i = 0;
#if defined(__SSE2__)
    // One or two needles of one length (a title's "第" and a volume's "卷" in a double-byte code
    // page): the bytes at their last position are loaded once for both. An occurrence a test
    // throws out costs no more than the test.
    if (needles.count <= 2 && needles.size[0] == needles.size[needles.count - 1]) {
#ifdef VELLOMAR_AVX2
        if (hasAvx2()) {
            if (const char* found = findTwoAvx2(hay, hayLen, needles, tests, which, &i)) {
                return found;
            }
        }
#endif
        const int second = needles.count - 1;
        const size_t last = needles.size[0] - 1;
        const __m128i first0 = _mm_set1_epi8(needles.data[0][0]);
        const __m128i first1 = _mm_set1_epi8(needles.data[second][0]);
        const __m128i final0 = _mm_set1_epi8(needles.data[0][last]);
        const __m128i final1 = _mm_set1_epi8(needles.data[second][last]);
        for (; i + last + 16 <= hayLen; i += 16) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(hay + i));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(hay + i + last));
            const __m128i hits = _mm_or_si128(_mm_and_si128(_mm_cmpeq_epi8(a, first0), _mm_cmpeq_epi8(b, final0)),
                                              _mm_and_si128(_mm_cmpeq_epi8(a, first1), _mm_cmpeq_epi8(b, final1)));
            unsigned mask = unsigned(_mm_movemask_epi8(hits));
            while (mask) {
                const unsigned bit = unsigned(__builtin_ctz(mask));
                if ((*which = needleAt(hay + i + bit, end, needles, tests)) >= 0) {
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
            if ((*which = needleAt(hay + i + bit, end, needles, tests)) >= 0) {
                return hay + i + bit;
            }
            mask &= mask - 1;
        }
    }
#endif
    for (; i < hayLen; ++i) {
        if ((*which = needleAt(hay + i, end, needles, tests)) >= 0) {
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
