#include "PalmDoc.h"

#include <QtEndian>

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <vector>

namespace {

constexpr int MaxDistance = 2047;
constexpr int MinMatch = 3;
constexpr int MaxMatch = 10;
constexpr int HashBits = 12;
// Earlier places with the same hash looked at per place: enough to find most repeated words.
constexpr int ChainDepth = 48;

inline quint64 load64(const unsigned char* p)
{
    quint64 v;
    std::memcpy(&v, p, 8);
    return qFromLittleEndian(v);
}

inline unsigned hash3(const unsigned char* p)
{
    const unsigned v = unsigned(p[0]) << 16 | unsigned(p[1]) << 8 | p[2];
    return (v * 2654435761u) >> (32 - HashBits);
}

// A byte that stands for itself in packed text.
inline bool plain(unsigned char c)
{
    return c == 0 || (c >= 0x09 && c <= 0x7F);
}

// A byte inside a UTF-8 character, after its first.
inline bool continuation(unsigned char c)
{
    return (c & 0xC0) == 0x80;
}

// How many of the (at most MaxMatch) bytes at `c` and `i` agree, up to `most`; `here` holds
// the eight at `i`. The input is followed by 16 zero bytes.
inline int matchLength(const unsigned char* in, int c, int i, quint64 here, int most)
{
    int l;
    if (const quint64 diff = load64(in + c) ^ here) {
        l = std::countr_zero(diff) >> 3;
    } else {
        l = 8 + (in[c + 8] == in[i + 8] ? 1 + (in[c + 9] == in[i + 9]) : 0);
    }
    return std::min(l, most);
}

} // namespace

QByteArray palmDocCompress(QByteArrayView record)
{
    const int n = int(record.size());
    // Kept per thread: a book packs thousands of records.
    thread_local std::vector<unsigned char> padded;
    thread_local std::vector<qint16> prev;
    thread_local std::vector<quint8> length;
    thread_local std::vector<quint16> distance;
    thread_local std::vector<int> cost;
    thread_local std::vector<quint8> take;
    padded.assign(size_t(n) + 16, 0);
    if (n > 0) {
        std::memcpy(padded.data(), record.data(), size_t(n));
    }
    prev.resize(size_t(n) + 1);
    length.assign(size_t(n) + 1, 0);
    distance.resize(size_t(n) + 1);
    cost.resize(size_t(n) + 1);
    take.resize(size_t(n) + 1);
    const unsigned char* in = padded.data();

    // The longest earlier match at each place. Where a character starts: along the chain of
    // earlier character starts with the same hash. Inside a character, where a match rarely
    // starts unless the one before goes on (a match of 10 bytes ends inside the fourth
    // character): that match, a byte further. Chinese text packs within half a percent of a
    // search at every byte, at two thirds of its time.
    std::array<qint16, 1 << HashBits> head;
    head.fill(-1);
    for (int i = 0; i + MinMatch <= n; ++i) {
        const quint64 here = load64(in + i);
        const int most = std::min(MaxMatch, n - i);
        int best = 0;
        int bestAt = 0;
        if (continuation(in[i])) {
            if (i > 0 && length[size_t(i) - 1] > 0) {
                bestAt = i - distance[size_t(i) - 1];
                best = matchLength(in, bestAt, i, here, most);
            }
        } else {
            const unsigned h = hash3(in + i);
            int depth = 0;
            for (int c = head[h]; c >= 0 && i - c <= MaxDistance && depth < ChainDepth; c = prev[size_t(c)], ++depth) {
                const int l = matchLength(in, c, i, here, most);
                if (l > best) {
                    best = l;
                    bestAt = c;
                    if (l == most) {
                        break;
                    }
                }
            }
            prev[size_t(i)] = head[h];
            head[h] = qint16(i);
        }
        if (best >= MinMatch) {
            length[size_t(i)] = quint8(best);
            distance[size_t(i)] = quint16(i - bestAt);
        }
    }
    // The cheapest way to the end from each place, in eighths of a byte: a byte that needs
    // its count costs 9 (a count byte per 8), a plain one 8, a match 16 whatever its length.
    // take: 0 for a literal, else the match's length.
    cost[size_t(n)] = 0;
    take[size_t(n)] = 0;
    for (int i = n - 1; i >= 0; --i) {
        int best = (plain(in[i]) ? 8 : 9) + cost[size_t(i) + 1];
        int chosen = 0;
        for (int l = MinMatch; l <= length[size_t(i)]; ++l) {
            const int c = 16 + cost[size_t(i + l)];
            if (c < best) {
                best = c;
                chosen = l;
            }
        }
        cost[size_t(i)] = best;
        take[size_t(i)] = quint8(chosen);
    }

    // At most a count byte per 8 bytes more than the record: written in place.
    QByteArray out(n + n / 8 + 16, Qt::Uninitialized);
    char* o = out.data();
    char pending[8];
    int pendingCount = 0;
    auto flush = [&] {
        if (pendingCount > 0) {
            *o++ = char(pendingCount);
            std::memcpy(o, pending, size_t(pendingCount));
            o += pendingCount;
            pendingCount = 0;
        }
    };
    int i = 0;
    while (i < n) {
        if (const int l = take[size_t(i)]; l > 0) {
            flush();
            const unsigned code = 0x8000u | unsigned(distance[size_t(i)]) << 3 | unsigned(l - MinMatch);
            *o++ = char(code >> 8);
            *o++ = char(code & 0xFF);
            i += l;
            continue;
        }
        const unsigned char c = in[i];
        if (pendingCount == 0 && c == ' ' && i + 1 < n && in[i + 1] >= 0x40 && in[i + 1] <= 0x7F
            && take[size_t(i) + 1] == 0) {
            *o++ = char(in[i + 1] ^ 0x80);
            i += 2;
            continue;
        }
        if (pendingCount == 0 && plain(c)) {
            *o++ = char(c);
            ++i;
            continue;
        }
        // A byte that needs the count, or a plain one joining a run already open (free there).
        pending[pendingCount++] = char(c);
        ++i;
        if (pendingCount == 8) {
            flush();
        }
    }
    flush();
    out.truncate(o - out.constData());
    return out;
}
