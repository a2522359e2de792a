#include "Sha1.h"

#include <algorithm>
#include <cstring>
#include <utility>

#if defined(__x86_64__) && defined(__GNUC__)
#define VELLOMAR_SHA_NI 1
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace {

constexpr std::uint32_t Initial[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};

#ifdef VELLOMAR_SHA_NI
#define SHA_TARGET __attribute__((target("sha,sse4.1,ssse3")))

// Four of the eighty rounds: `S` says which. The first four load the block's words; the words
// of round 16 on are computed four at a time a few steps ahead (those a block no longer needs
// cost nothing to compute).
template <int S>
SHA_TARGET inline __attribute__((always_inline)) void fourRounds(__m128i& abcd, __m128i (&e)[2], __m128i (&m)[4],
                                                               const unsigned char* data, __m128i order)
{
    constexpr int Now = S % 4;
    if constexpr (S < 4) {
        m[S] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * S)), order);
    }
    if constexpr (S == 0) {
        e[0] = _mm_add_epi32(e[0], m[0]);
    } else {
        e[S % 2] = _mm_sha1nexte_epu32(e[S % 2], m[Now]);
    }
    e[(S + 1) % 2] = abcd;
    if constexpr (S >= 3) {
        m[(S + 1) % 4] = _mm_sha1msg2_epu32(m[(S + 1) % 4], m[Now]);
    }
    abcd = _mm_sha1rnds4_epu32(abcd, e[S % 2], S / 5);
    if constexpr (S >= 1) {
        m[(S + 3) % 4] = _mm_sha1msg1_epu32(m[(S + 3) % 4], m[Now]);
    }
    if constexpr (S >= 2) {
        m[(S + 2) % 4] = _mm_xor_si128(m[(S + 2) % 4], m[Now]);
    }
}

template <int... S>
SHA_TARGET inline __attribute__((always_inline)) void allRounds(__m128i& abcd, __m128i (&e)[2], __m128i (&m)[4],
                                                              const unsigned char* data, __m128i order,
                                                              std::integer_sequence<int, S...>)
{
    (fourRounds<S>(abcd, e, m, data, order), ...);
}

SHA_TARGET void compressShaNi(std::uint32_t state[5], const unsigned char* data, size_t blocks)
{
    const __m128i order = _mm_set_epi64x(0x0001020304050607LL, 0x08090a0b0c0d0e0fLL);
    __m128i abcd = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0x1B);
    __m128i e0 = _mm_set_epi32(int(state[4]), 0, 0, 0);
    for (; blocks > 0; --blocks, data += 64) {
        const __m128i abcdBefore = abcd;
        const __m128i eBefore = e0;
        __m128i e[2] = {e0, e0};
        __m128i m[4];
        allRounds(abcd, e, m, data, order, std::make_integer_sequence<int, 20>());
        e0 = _mm_sha1nexte_epu32(e[0], eBefore);
        abcd = _mm_add_epi32(abcd, abcdBefore);
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_shuffle_epi32(abcd, 0x1B));
    state[4] = std::uint32_t(_mm_extract_epi32(e0, 3));
}
#endif

} // namespace

bool Sha1::accelerated()
{
#ifdef VELLOMAR_SHA_NI
    static const bool yes = [] {
        unsigned a = 0, b = 0, c = 0, d = 0;
        if (!__get_cpuid(1, &a, &b, &c, &d) || !(c & bit_SSE4_1) || !(c & bit_SSSE3)) {
            return false;
        }
        return __get_cpuid_count(7, 0, &a, &b, &c, &d) && (b & bit_SHA);
    }();
    return yes;
#else
    return false;
#endif
}

Sha1::Sha1()
{
    std::memcpy(m_state.h, Initial, sizeof m_state.h);
    if (!accelerated()) {
        m_elsewhere.emplace(QCryptographicHash::Sha1);
    }
}

void Sha1::State::add(const unsigned char* p, size_t n)
{
#ifdef VELLOMAR_SHA_NI
    length += n;
    if (fill > 0) {
        const size_t take = std::min(n, sizeof block - fill);
        std::memcpy(block + fill, p, take);
        fill += take;
        p += take;
        n -= take;
        if (fill < sizeof block) {
            return;
        }
        compressShaNi(h, block, 1);
        fill = 0;
    }
    if (n >= 64) {
        compressShaNi(h, p, n / 64);
        p += n / 64 * 64;
        n %= 64;
    }
    std::memcpy(block, p, n);
    fill = n;
#else
    Q_UNUSED(p);
    Q_UNUSED(n);
#endif
}

void Sha1::addData(QByteArrayView data)
{
    if (m_elsewhere) {
        m_elsewhere->addData(data);
    } else {
        m_state.add(reinterpret_cast<const unsigned char*>(data.data()), size_t(data.size()));
    }
}

QByteArray Sha1::result() const
{
    if (m_elsewhere) {
        return m_elsewhere->result();
    }
    State last = m_state;
    // The padding: a one bit, zeros, and the length in bits, to a whole block.
    unsigned char tail[72] = {0x80};
    const size_t pad = (last.fill < 56 ? 56 : 120) - last.fill;
    const std::uint64_t bits = last.length * 8;
    for (int i = 0; i < 8; ++i) {
        tail[pad + i] = static_cast<unsigned char>(bits >> (56 - 8 * i));
    }
    last.add(tail, pad + 8);
    QByteArray digest(20, Qt::Uninitialized);
    for (int i = 0; i < 5; ++i) {
        for (int k = 0; k < 4; ++k) {
            digest[4 * i + k] = char(last.h[i] >> (24 - 8 * k));
        }
    }
    return digest;
}
