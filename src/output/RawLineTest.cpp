#include "RawLineTest.h"

#include "core/GbkCodec.h"
#include "core/ScriptConverter.h"
#include "core/TextCodec.h"
#include "core/cRegExp.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Most lines of a Chinese novel are double-byte characters and full-width punctuation only.
// Such a line is read pair by pair from its first byte, so its characters can be judged from
// the raw bytes without decoding: it goes out unchanged when no filter can start in it,
// conversion cannot change it and it cannot be blank.
bool RawLineTest::isPlain(QByteArrayView line, bool convert, bool* swap) const {
    quint8 seen = 0;
    if (!scan(line, FilterStart | NotAPair | (convert ? Convertible : 0), &seen)) {
        return false;
    }
    *swap = convert && (seen & Swapped) && wantsConversion(seen);
    return !m_delSpaceLine || (seen & Solid);
}

// Joined lines are converted as one paragraph: none may hold a character conversion changes,
// so that the paragraph needs none whatever the others hold.
bool RawLineTest::isJoinable(QByteArrayView line, bool convert) const {
    quint8 seen = 0;
    return scan(line, FilterStart | NotAPair | NotWide | (convert ? Convertible | Swapped : 0), &seen)
        && (!m_delSpaceLine || (seen & Solid));
}

// True when the line is pairs only and none has a flag of `stop`; `seen` gets the flags of all.
bool RawLineTest::scan(QByteArrayView line, quint8 stop, quint8* seenOut) const {
    const qsizetype n = line.size();
    if (n == 0 || n % 2 != 0 || m_codeFlags.empty()) {
        return false;
    }
    const auto* p = reinterpret_cast<const unsigned char*>(line.data());
    const quint8* table = m_codeFlags.data();
    quint8 seen = 0;
    qsizetype k = 0;
#if defined(__SSE2__)
    // Eight pairs at a time: every lead byte 0x81 or above (a byte below is a character of its
    // own), and the pairs' table indices (lead << 8 | trail) made in one step. The look-ups
    // that remain are the work of the test.
    const __m128i lowByte = _mm_set1_epi16(0xFF);
    const __m128i firstLead = _mm_set1_epi16(0x81);
    alignas(16) quint16 code[8];
    for (; k + 16 <= n; k += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k));
        if (_mm_movemask_epi8(_mm_cmplt_epi16(_mm_and_si128(v, lowByte), firstLead))) {
            return false;
        }
        _mm_store_si128(reinterpret_cast<__m128i*>(code), _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8)));
        seen |= quint8(table[code[0]] | table[code[1]] | table[code[2]] | table[code[3]] | table[code[4]]
                       | table[code[5]] | table[code[6]] | table[code[7]]);
        if (seen & stop) {
            return false;
        }
    }
#endif
    for (; k < n; k += 2) {
        if (p[k] < 0x81) {
            return false;
        }
        seen |= table[size_t(p[k]) << 8 | p[k + 1]];
    }
    *seenOut = seen;
    return !(seen & stop);
}

void RawLineTest::build(const TextCodec& codec, const cRegExp& re, bool delSpaceLine) {
    m_delSpaceLine = delSpaceLine;
    const ScriptConverter& t2s = ScriptConverter::traditionalToSimplified();
    const ScriptConverter& s2t = ScriptConverter::simplifiedToTraditional();
    const quint8* change = t2s.changeTable();
    m_flags.assign(0x10000, 0);
    for (int c = 0; c < 0x10000; ++c) {
        quint8 f = change[c] ? Convertible : 0;
        if (t2s.isSourceOnly(char16_t(c))) {
            f |= TraditionalOnly;
        }
        if (s2t.isSourceOnly(char16_t(c))) {
            f |= SimplifiedOnly;
        }
        if (re.isFilterFirst(char16_t(c))) {
            f |= FilterStart;
        }
        // A character that neither the blank-line test nor a filter can take away.
        if (c != u' ' && c != u'\r' && c != u'\n' && c != 0x3000 && !re.isFilterChar(char16_t(c))) {
            f |= Solid;
        }
        m_flags[size_t(c)] = f;
    }
    // The raw-byte shortcut is for the double-byte code pages only.
    m_codeFlags.clear();
    const GbkCodec* dbcs = dynamic_cast<const GbkCodec*>(&codec);
    if (!dbcs) {
        return;
    }
    m_codeFlags.assign(1 << 16, NotAPair);
    m_pairSwap.assign(1 << 16, 0);
    // A character converted the same in any context becomes another pair in place, when the
    // code page holds its result as a pair (else it keeps its original form, as below).
    const char16_t* contextFree = ScriptConverter::traditionalToSimplified().contextFreeTable();
    QByteArray to;
    for (int lead = 0x81; lead <= 0xFF; ++lead) {
        for (int trail = 0x40; trail <= 0xFF; ++trail) {
            if (const char16_t c = dbcs->pairAt(uchar(lead), uchar(trail))) {
                const size_t code = size_t(lead) << 8 | size_t(trail);
                quint8 f = m_flags[c];
                if ((f & Convertible) && contextFree[c]) {
                    to.clear();
                    if (!codec.canEncode(contextFree[c])) {
                        f &= ~Convertible;
                    } else if (codec.encode(QStringView(&contextFree[c], 1), to); to.size() == 2) {
                        f = (f & ~Convertible) | Swapped;
                        m_pairSwap[code] = quint16(uchar(to[0]) << 8 | uchar(to[1]));
                    }
                }
                // Lines joined as bytes are measured by their length and written as read.
                to.clear();
                codec.encode(QStringView(&c, 1), to);
                const char pair[2] = {char(lead), char(trail)};
                if (c < 0x80 || QChar::isSurrogate(c) || to != QByteArrayView(pair, 2)) {
                    f |= NotWide;
                }
                m_codeFlags[code] = f;
            }
        }
    }
}

void RawLineTest::swapPairs(QByteArrayView line, QByteArray& out) const {
    out.resize(line.size());
    std::memcpy(out.data(), line.data(), size_t(line.size()));
    auto* p = reinterpret_cast<unsigned char*>(out.data());
    for (qsizetype i = 0; i < out.size(); i += 2) {
        if (const quint16 to = m_pairSwap[size_t(p[i]) << 8 | p[i + 1]]) {
            p[i] = uchar(to >> 8);
            p[i + 1] = uchar(to);
        }
    }
}
