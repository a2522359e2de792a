#include "TextCodec.h"

#include <algorithm>

namespace {

const quint8 NoFlags[65536] = {};

// UTF-8, strict: overlong forms, surrogates and values above U+10FFFF are invalid bytes.
class Utf8Codec final : public TextCodec {
public:
    Id id() const override { return Utf8; }
    QString name() const override { return QStringLiteral("UTF-8"); }

    // Length of the valid sequence at p (1..4), or 0 when the byte at p is not the start of one.
    static int sequence(const unsigned char* p, const unsigned char* end, char32_t* cp)
    {
        const unsigned char b = p[0];
        int n;
        char32_t c;
        if (b < 0x80) {
            *cp = b;
            return 1;
        } else if (b >= 0xC2 && b <= 0xDF) {
            n = 2, c = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            n = 3, c = b & 0x0F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            n = 4, c = b & 0x07;
        } else {
            return 0;
        }
        if (end - p < n) {
            return 0;
        }
        for (int i = 1; i < n; ++i) {
            if ((p[i] & 0xC0) != 0x80) {
                return 0;
            }
            c = (c << 6) | (p[i] & 0x3F);
        }
        if ((n == 3 && (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF))) || (n == 4 && (c < 0x10000 || c > 0x10FFFF))) {
            return 0;
        }
        *cp = c;
        return n;
    }

    quint8 decode(const char* data, qsizetype size, QString& out, const quint8* flags) const override
    {
        out.resize(size);
        char16_t* dst = reinterpret_cast<char16_t*>(out.data());
        const auto* p = reinterpret_cast<const unsigned char*>(data);
        const auto* end = p + size;
        qsizetype n = 0;
        quint8 seen = 0;
        while (p < end) {
            char32_t c;
            const int len = sequence(p, end, &c);
            if (len == 0 || (c >= EscapeBase && c <= EscapeBase + 0xFF)) {
                // Not readable (or a character that looks like an escape): byte by byte.
                const int k = len == 0 ? 1 : len;
                for (int i = 0; i < k; ++i) {
                    dst[n] = char16_t(EscapeBase + p[i]);
                    seen |= flags[dst[n++]];
                }
                p += k;
                continue;
            }
            p += len;
            if (c >= 0x10000) {
                dst[n++] = QChar::highSurrogate(c);
                dst[n++] = QChar::lowSurrogate(c);
                seen |= flags[dst[n - 2]];
            } else {
                dst[n++] = char16_t(c);
                seen |= flags[c];
            }
        }
        out.truncate(n);
        return seen;
    }

    void encode(QStringView text, QByteArray& out, qsizetype* unencodable) const override
    {
        out.reserve(out.size() + text.size() * 3);
        for (qsizetype i = 0; i < text.size(); ++i) {
            const char16_t c = text[i].unicode();
            if (isEscape(c)) {
                out.append(char(c - EscapeBase));
            } else if (c < 0x80) {
                out.append(char(c));
            } else if (c < 0x800) {
                out.append(char(0xC0 | (c >> 6)));
                out.append(char(0x80 | (c & 0x3F)));
            } else if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
                const char32_t u = QChar::surrogateToUcs4(c, text[++i].unicode());
                out.append(char(0xF0 | (u >> 18)));
                out.append(char(0x80 | ((u >> 12) & 0x3F)));
                out.append(char(0x80 | ((u >> 6) & 0x3F)));
                out.append(char(0x80 | (u & 0x3F)));
            } else if (QChar::isSurrogate(c)) {
                out.append('?');
                if (unencodable) {
                    ++*unencodable;
                }
            } else {
                out.append(char(0xE0 | (c >> 12)));
                out.append(char(0x80 | ((c >> 6) & 0x3F)));
                out.append(char(0x80 | (c & 0x3F)));
            }
        }
    }

    bool canEncode(char16_t) const override { return true; }

protected:
    int escapeRangeChar(const unsigned char* p, const unsigned char* end, char16_t* c) const override
    {
        char32_t u;
        if (sequence(p, end, &u) == 3 && isEscape(char16_t(u))) {
            *c = char16_t(u);
            return 3;
        }
        return 0;
    }
};

// UTF-16 in either byte order. Unpaired surrogates and an odd last byte are kept as escapes
// of their bytes, so the text handed on is always valid UTF-16.
class Utf16Codec final : public TextCodec {
public:
    explicit Utf16Codec(bool little) : m_little(little) {}
    Id id() const override { return m_little ? Utf16LE : Utf16BE; }
    QString name() const override { return m_little ? QStringLiteral("UTF-16LE") : QStringLiteral("UTF-16BE"); }
    int unitSize() const override { return 2; }

    char16_t unitAt(const unsigned char* p) const
    {
        return m_little ? char16_t(p[0] | p[1] << 8) : char16_t(p[0] << 8 | p[1]);
    }

    quint8 decode(const char* data, qsizetype size, QString& out, const quint8* flags) const override
    {
        out.resize(size);
        char16_t* dst = reinterpret_cast<char16_t*>(out.data());
        const auto* p = reinterpret_cast<const unsigned char*>(data);
        const auto* end = p + size;
        qsizetype n = 0;
        quint8 seen = 0;
        auto escape = [&](int bytes) {
            for (int i = 0; i < bytes; ++i) {
                dst[n] = char16_t(EscapeBase + p[i]);
                seen |= flags[dst[n++]];
            }
            p += bytes;
        };
        while (p < end) {
            if (end - p < 2) {
                escape(1);
                continue;
            }
            const char16_t u = unitAt(p);
            if (QChar::isHighSurrogate(u) && end - p >= 4 && QChar::isLowSurrogate(unitAt(p + 2))) {
                dst[n++] = u;
                dst[n++] = unitAt(p + 2);
                seen |= flags[u];
                p += 4;
            } else if (QChar::isSurrogate(u) || isEscape(u)) {
                escape(2);
            } else {
                dst[n++] = u;
                seen |= flags[u];
                p += 2;
            }
        }
        out.truncate(n);
        return seen;
    }

    void encode(QStringView text, QByteArray& out, qsizetype* unencodable) const override
    {
        out.reserve(out.size() + text.size() * 2);
        for (const QChar qc : text) {
            const char16_t c = qc.unicode();
            if (isEscape(c)) {
                out.append(char(c - EscapeBase));
                continue;
            }
            (void)unencodable;
            if (m_little) {
                out.append(char(c & 0xFF));
                out.append(char(c >> 8));
            } else {
                out.append(char(c >> 8));
                out.append(char(c & 0xFF));
            }
        }
    }

    bool canEncode(char16_t) const override { return true; }

protected:
    int escapeRangeChar(const unsigned char* p, const unsigned char* end, char16_t* c) const override
    {
        if (end - p >= 2 && isEscape(unitAt(p))) {
            *c = unitAt(p);
            return 2;
        }
        return 0;
    }

private:
    bool m_little;
};

} // namespace

void TextCodec::decode(const char* data, qsizetype size, QString& out) const
{
    decode(data, size, out, NoFlags);
}

QString TextCodec::decode(QByteArrayView bytes) const
{
    QString s;
    decode(bytes.data(), bytes.size(), s, NoFlags);
    return s;
}

int TextCodec::escapeRangeChar(const unsigned char*, const unsigned char*, char16_t*) const
{
    return 0;
}

void TextCodec::resolveEscapes(QString& text, qint64* undecodable) const
{
    const auto first = std::find_if(text.cbegin(), text.cend(), [](QChar c) { return isEscape(c.unicode()); });
    if (first == text.cend()) {
        return;
    }
    QString out;
    out.reserve(text.size());
    out.append(QStringView(text.cbegin(), first));
    QByteArray bytes;
    for (auto it = first; it != text.cend();) {
        if (!isEscape(it->unicode())) {
            out.append(*it++);
            continue;
        }
        bytes.clear();
        for (; it != text.cend() && isEscape(it->unicode()); ++it) {
            bytes.append(char(it->unicode() - EscapeBase));
        }
        const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
        const auto* end = p + bytes.size();
        while (p < end) {
            char16_t c;
            if (const int n = escapeRangeChar(p, end, &c)) {
                out.append(QChar(c));
                p += n;
            } else {
                out.append(QChar::ReplacementCharacter);
                ++p;
                if (undecodable) {
                    ++*undecodable;
                }
            }
        }
    }
    text = std::move(out);
}

QByteArray TextCodec::encode(QStringView text) const
{
    QByteArray out;
    encode(text, out);
    return out;
}

QByteArray TextCodec::byteOrderMark() const
{
    switch (id()) {
    case Utf8: return QByteArray("\xEF\xBB\xBF", 3);
    case Utf16LE: return QByteArray("\xFF\xFE", 2);
    case Utf16BE: return QByteArray("\xFE\xFF", 2);
    default: return QByteArray();
    }
}

const TextCodec& TextCodec::forId(Id id)
{
    static const Utf8Codec utf8;
    static const Utf16Codec le(true), be(false);
    switch (id) {
    case Gbk:
    case Gb18030:
    case Big5: return doubleByte(id);
    case Utf8: return utf8;
    case Utf16LE: return le;
    case Utf16BE: return be;
    }
    return doubleByte(Gbk);
}

QStringList TextCodec::names()
{
    return {QStringLiteral("auto"), QStringLiteral("gbk"), QStringLiteral("gb18030"), QStringLiteral("utf-8"),
            QStringLiteral("utf-16le"), QStringLiteral("utf-16be"), QStringLiteral("big5")};
}

bool TextCodec::fromName(const QString& name, Id* id, bool* detect)
{
    const QString n = name.trimmed().toLower();
    *detect = n == QLatin1String("auto");
    static const QList<std::pair<const char*, Id>> table = {
        {"gbk", Gbk}, {"gb18030", Gb18030}, {"utf-8", Utf8}, {"utf8", Utf8}, {"utf-16le", Utf16LE},
        {"utf-16be", Utf16BE}, {"big5", Big5}, {"big5-hkscs", Big5}};
    for (const auto& [key, value] : table) {
        if (n == QLatin1String(key)) {
            *id = value;
            return true;
        }
    }
    return *detect;
}

int TextCodec::bomLength(Id id, QByteArrayView head)
{
    switch (id) {
    case Utf8: return head.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    case Utf16LE: return head.startsWith("\xFF\xFE") ? 2 : 0;
    case Utf16BE: return head.startsWith("\xFE\xFF") ? 2 : 0;
    default: return 0;
    }
}
