#pragma once

#include "core/CodePageTables.h"
#include "core/TextCodec.h"

#include <QHash>
#include <QMutex>

/// The double-byte Chinese code pages: GBK (code page 936, the novel's specified encoding),
/// GB18030 (GBK plus its four-byte sequences) and Big5-HKSCS. Their tables were read from the
/// platform's (ICU) converters when the program was built (CodePageTables.h).
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
            if (const char16_t c = m_pair[((*p & 0x7F) << 8) | p[1]]) {
                return c;
            }
        }
        return m_single[*p] ? m_single[*p] : char16_t(EscapeBase + *p);
    }

    /// The character of a valid two-byte sequence, or 0.
    char16_t pairAt(unsigned char lead, unsigned char trail) const
    {
        return lead >= 0x80 ? m_pair[((lead & 0x7F) << 8) | trail] : 0;
    }

protected:
    int escapeRangeChar(const unsigned char* p, const unsigned char* end, char16_t* c) const override;

private:
    GbkCodec(Id id, const char* icuName, const QString& name, const CodePageTables::Table& table);
    bool decodeLong(const unsigned char* p, const unsigned char* end, QString* text, int* used) const;
    bool encodeLong(char32_t c, QByteArray& out) const;

    Id m_id;
    QString m_name;
    QByteArray m_icuName;
    bool m_fourByte;
    const CodePageTables::Table& m_table;
    const char16_t* const m_single; // byte -> character, 0 when the byte leads a pair or is invalid
    const char16_t* const m_pair;   // ((lead - 0x80) << 8 | trail) -> character, 0 when not a valid pair
    const quint16* const m_toCode;  // character -> 1 or 2 bytes (high byte 0 for one), 0 when none
    // Four-byte sequences are rare: converted by ICU once and remembered.
    mutable QMutex m_cacheLock;
    mutable QHash<quint32, QString> m_longCache;
    mutable QHash<char32_t, QByteArray> m_encodeCache;
};
