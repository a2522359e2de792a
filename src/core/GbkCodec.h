#pragma once

#include "core/TextCodec.h"

#include <QHash>
#include <QMutex>

/// The double-byte Chinese code pages: GBK (code page 936, the novel's specified encoding),
/// GB18030 (GBK plus its four-byte sequences) and Big5-HKSCS. Tables are read once from the
/// platform's (ICU) converters; only byte sequences that encode back to themselves are kept,
/// which is what makes decoding reversible.
class GbkCodec final : public TextCodec {
public:
    static const GbkCodec& instance(); ///< GBK
    static const GbkCodec& gb18030();
    static const GbkCodec& big5();

    Id id() const override { return m_id; }
    QString name() const override { return m_name; }

    using TextCodec::decode;
    using TextCodec::encode;
    quint8 decode(const char* data, qsizetype size, QString& out, const quint8* flags) const override;
    void encode(QStringView text, QByteArray& out, qsizetype* unencodable = nullptr) const override;
    bool canEncode(char16_t c) const override { return c < 0x80 || m_fourByte || m_toCode[c] != 0; }

    /// The character that decoding gives at `p` (which must be before `end`), for the common
    /// one- and two-byte cases; anything longer reads as its first byte's escape.
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

protected:
    int escapeRangeChar(const unsigned char* p, const unsigned char* end, char16_t* c) const override;

private:
    GbkCodec(Id id, const char* icuName, const QString& name);
    bool decodeLong(const unsigned char* p, const unsigned char* end, QString* text, int* used) const;
    bool encodeLong(char32_t c, QByteArray& out) const;

    Id m_id;
    QString m_name;
    QByteArray m_icuName;
    bool m_fourByte;
    char16_t m_single[256];   // byte -> character, 0 when the byte leads a pair or is invalid
    char16_t m_pair[65536];   // (lead << 8 | trail) -> character, 0 when not a valid pair
    quint16 m_toCode[65536];  // character -> 1 or 2 bytes (high byte 0 for one), 0 when none
    QHash<quint16, char32_t> m_widePair;   // two bytes -> supplementary character (Big5-HKSCS)
    QHash<quint16, char16_t> m_escapeRangePair; // two bytes -> a character of U+F700..U+F7FF
    QHash<char32_t, quint16> m_wideToCode;
    // Four-byte sequences are rare: converted by ICU once and remembered.
    mutable QMutex m_cacheLock;
    mutable QHash<quint32, QString> m_longCache;
    mutable QHash<char32_t, QByteArray> m_encodeCache;
};
