#include "PalmDoc.h"

#include <array>
#include <cstring>
#include <vector>

namespace {

constexpr int MaxDistance = 2047;
constexpr int MinMatch = 3;
constexpr int MaxMatch = 10;
constexpr int HashBits = 12;
// Earlier places with the same hash looked at per place: enough to find most repeated words.
constexpr int ChainDepth = 24;

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

} // namespace

QByteArray palmDocCompress(QByteArrayView record)
{
    const auto* in = reinterpret_cast<const unsigned char*>(record.data());
    const int n = int(record.size());
    // The longest earlier match at each place, found along chains of places with the same hash.
    std::array<qint16, 1 << HashBits> head;
    head.fill(-1);
    std::vector<qint16> prev(size_t(n), -1);
    std::vector<quint8> length(size_t(n) + 1, 0);
    std::vector<quint16> distance(size_t(n) + 1, 0);
    for (int i = 0; i + MinMatch <= n; ++i) {
        const unsigned h = hash3(in + i);
        int best = 0;
        int bestAt = 0;
        int depth = 0;
        for (int c = head[h]; c >= 0 && i - c <= MaxDistance && depth < ChainDepth; c = prev[size_t(c)], ++depth) {
            if (in[c + best] != in[i + best] || in[c] != in[i]) {
                continue;
            }
            int l = 0;
            while (l < MaxMatch && i + l < n && in[c + l] == in[i + l]) {
                ++l;
            }
            if (l > best) {
                best = l;
                bestAt = c;
                if (l == MaxMatch || i + l == n) {
                    break;
                }
            }
        }
        prev[size_t(i)] = head[h];
        head[h] = qint16(i);
        if (best >= MinMatch) {
            length[size_t(i)] = quint8(best);
            distance[size_t(i)] = quint16(i - bestAt);
        }
    }
    // The cheapest way to the end from each place, in eighths of a byte: a byte that needs
    // its count costs 9 (a count byte per 8), a plain one 8, a match 16 whatever its length.
    std::vector<int> cost(size_t(n) + 1, 0);
    std::vector<quint8> take(size_t(n) + 1, 0); // 0: a literal, else the match's length
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

    QByteArray out;
    out.reserve(n + n / 8 + 16);
    char pending[8];
    int pendingCount = 0;
    auto flush = [&] {
        if (pendingCount > 0) {
            out.append(char(pendingCount));
            out.append(pending, pendingCount);
            pendingCount = 0;
        }
    };
    int i = 0;
    while (i < n) {
        if (const int l = take[size_t(i)]; l > 0) {
            flush();
            const unsigned code = 0x8000u | unsigned(distance[size_t(i)]) << 3 | unsigned(l - MinMatch);
            out.append(char(code >> 8));
            out.append(char(code & 0xFF));
            i += l;
            continue;
        }
        const unsigned char c = in[i];
        if (pendingCount == 0 && c == ' ' && i + 1 < n && in[i + 1] >= 0x40 && in[i + 1] <= 0x7F
            && take[size_t(i) + 1] == 0) {
            out.append(char(in[i + 1] ^ 0x80));
            i += 2;
            continue;
        }
        if (pendingCount == 0 && plain(c)) {
            out.append(char(c));
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
    return out;
}
