#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <vector>

class TextCodec;
class cRegExp;

/// Judges a line of the novel from its raw bytes where it can: whether a filter may start in
/// it, whether conversion may change it, whether it can be blank. Most lines of a Chinese
/// novel need none of the later steps and go out unchanged, without being decoded.
class RawLineTest {
public:
    /// What decoding a line reports about its characters (see TextCodec::decode).
    enum Flag : quint8 { FilterStart = 1, Convertible = 2, Solid = 4, NotAPair = 8, Swapped = 16,
                        TraditionalOnly = 32, SimplifiedOnly = 64,
                        /// A pair whose character is not one of two columns, or that encoding would
                        /// write as another pair: a line with one cannot be joined as bytes.
                        NotWide = 128 };

    /// Builds the tables for the novel's code page, the filters of `re` and the blank-line rule.
    void build(const TextCodec& codec, const cRegExp& re, bool delSpaceLine);
    /// The flags of every UTF-16 unit, for the decoder (65536 entries).
    const quint8* characterFlags() const { return m_flags.data(); }
    /// True when the line goes out as it is (or, with `*swap`, with some pairs swapped for their
    /// simplified form by swapPairs()).
    bool isPlain(QByteArrayView line, bool convert, bool* swap) const;
    void swapPairs(QByteArrayView line, QByteArray& out) const;
    /// True when the line can be joined to its neighbours as bytes (ParagraphJoiner::pushPairs)
    /// and the paragraph written as they make it: all pairs of two columns, none that a filter
    /// may start with or conversion may change, and (when blank lines go) not blank.
    bool isJoinable(QByteArrayView line, bool convert) const;

    /// Whether a line whose characters have these flags is converted: unless it is written in
    /// simplified script (a character only simplified script writes, none only traditional).
    static bool wantsConversion(quint8 seen) { return (seen & TraditionalOnly) || !(seen & SimplifiedOnly); }

private:
    bool scan(QByteArrayView line, quint8 stop, quint8* seen) const;

    bool m_delSpaceLine = false;
    std::vector<quint8> m_flags;     // by character
    std::vector<quint8> m_codeFlags; // by the two bytes of any pair (lead 0x81 or above)
    std::vector<quint16> m_pairSwap; // by the two bytes: the pair a Swapped pair converts to
};
