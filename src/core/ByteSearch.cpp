#include "ByteSearch.h"

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
