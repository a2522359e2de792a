#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

/// Lossless GBK (code page 936) text conversion.
///
/// Novels downloaded from the net often hold bytes that are not valid GBK (truncated
/// double-byte characters, GB18030 four-byte sequences, binary junk). Such a byte is decoded
/// to a private-use "escape" character U+F700 + byte, which GBK itself never produces, and
/// encoded back to the same byte. So encode(decode(bytes)) == bytes for any input, and a
/// line that a filter edited still writes its undecodable bytes back unchanged.
class GbkCodec {
public:
    static const GbkCodec& instance();

    /// Decodes into `out`, reusing its capacity (no allocation per line once warmed up).
    void decode(const char* data, qsizetype size, QString& out) const;
    QString decode(QByteArrayView bytes) const;
    /// Decodes as above and returns the OR of `flags[c]` over every character c (a 65536-entry
    /// table), so that one pass over a line also tells what later steps need to look at.
    quint8 decode(const char* data, qsizetype size, QString& out, const quint8* flags) const;

    /// Encodes, appending to `out`. Characters GBK cannot hold are written as "?" and
    /// counted in `unencodable` (when given); escapes give back their original byte.
    void encode(QStringView text, QByteArray& out, qsizetype* unencodable = nullptr) const;
    QByteArray encode(QStringView text) const;

    /// The character that decoding gives at `p` (which must be before `end`).
    char16_t charAt(const unsigned char* p, const unsigned char* end) const
    {
        if (*p < 0x80) {
            return *p;
        }
        if (p + 1 < end) {
            if (const char16_t c = m_pair[(*p << 8) | p[1]]) {
                return c;
            }
        }
        return m_single[*p] ? m_single[*p] : char16_t(EscapeBase + *p);
    }

    /// The character of a valid two-byte sequence, or 0.
    char16_t pairAt(unsigned char lead, unsigned char trail) const { return m_pair[(lead << 8) | trail]; }

    /// True when GBK holds the character (escapes included), so it can be written back.
    bool canEncode(char16_t c) const { return c < 0x80 || m_toGbk[c] != 0; }

    static constexpr char16_t EscapeBase = 0xF700;
    static bool isEscape(char16_t c) { return c >= EscapeBase + 0x80 && c <= EscapeBase + 0xFF; }

private:
    GbkCodec();
    char16_t m_single[256];          // byte -> character, 0 when the byte leads a pair or is invalid
    char16_t m_pair[65536];          // (lead << 8 | trail) -> character, 0 when not a valid pair
    quint16 m_toGbk[65536];          // character -> 1 or 2 bytes (high byte 0 for one), 0 when none
};
