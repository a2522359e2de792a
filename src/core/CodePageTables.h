#pragma once

// The tables of the double-byte Chinese code pages, read from the platform's (ICU) converters
// when the program is built (gen_codepages), so that no start pays for asking the converter
// about every pair. Only byte sequences that encode back to themselves are kept, which is what
// makes decoding reversible.

#include <QtGlobal>

#include <algorithm>

namespace CodePageTables {

/// Two bytes (lead << 8 | trail) and what they stand for, or the reverse; sorted by `key`.
template <typename Key, typename Value>
struct Entry {
    Key key;
    Value value;
};

template <typename Key, typename Value>
struct Map {
    const Entry<Key, Value>* entries;
    qsizetype count;

    /// The value for `key`, or nullptr.
    const Value* find(Key key) const
    {
        const auto* end = entries + count;
        const auto* it = std::lower_bound(entries, end, key,
                                          [](const Entry<Key, Value>& e, Key k) { return e.key < k; });
        return it != end && it->key == key ? &it->value : nullptr;
    }
    bool isEmpty() const { return count == 0; }
};

struct Table {
    const char16_t* single; ///< byte -> character (256), 0 when the byte leads a pair or is invalid
    const char16_t* pair;   ///< ((lead - 0x80) << 8 | trail) -> character (32768), 0 when not a valid pair
    const quint16* toCode;  ///< character -> 1 or 2 bytes (65536; high byte 0 for one), 0 when none
    Map<quint16, char32_t> widePairs;        ///< two bytes -> supplementary character (Big5-HKSCS)
    Map<quint16, char16_t> escapeRangePairs; ///< two bytes -> a character of U+F700..U+F7FF
    Map<char32_t, quint16> wideCodes;        ///< supplementary character -> two bytes
};

extern const Table gbk;
extern const Table gb18030;
extern const Table big5;

} // namespace CodePageTables
