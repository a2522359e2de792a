#include "PalmDoc.h"

#include <array>
#include <cstring>

namespace {

constexpr int MaxDistance = 2047;
constexpr int MinMatch = 3;
constexpr int MaxMatch = 10;
constexpr int HashBits = 12;

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
    QByteArray out;
    out.reserve(n + n / 8 + 16);
    // The last place (plus one) each 3-byte hash was seen in this record.
    std::array<quint16, 1 << HashBits> last{};
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
        if (i + MinMatch <= n) {
            const unsigned h = hash3(in + i);
            const int candidate = int(last[h]) - 1;
            last[h] = quint16(i + 1);
            if (candidate >= 0 && i - candidate <= MaxDistance && std::memcmp(in + candidate, in + i, MinMatch) == 0) {
                int length = MinMatch;
                while (length < MaxMatch && i + length < n && in[candidate + length] == in[i + length]) {
                    ++length;
                }
                flush();
                const unsigned code = 0x8000u | unsigned(i - candidate) << 3 | unsigned(length - MinMatch);
                out.append(char(code >> 8));
                out.append(char(code & 0xFF));
                // The places inside the match can start later matches too.
                for (int j = i + 1; j < i + length && j + MinMatch <= n; ++j) {
                    last[hash3(in + j)] = quint16(j + 1);
                }
                i += length;
                continue;
            }
        }
        const unsigned char c = in[i];
        if (pendingCount == 0 && c == ' ' && i + 1 < n && in[i + 1] >= 0x40 && in[i + 1] <= 0x7F) {
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
