#include "GbkCodec.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <cstring>

const GbkCodec& GbkCodec::instance()
{
    static const GbkCodec codec;
    return codec;
}

// The tables are read once from the platform's (ICU) code page 936 converter, so that every
// mapping is the system's own; only pairs that encode back to themselves are kept, which is
// what makes decoding reversible.
GbkCodec::GbkCodec()
{
    std::memset(m_single, 0, sizeof m_single);
    std::memset(m_pair, 0, sizeof m_pair);
    std::memset(m_toGbk, 0, sizeof m_toGbk);
    QStringDecoder decoder("GBK", QStringConverter::Flag::Stateless);
    QStringEncoder encoder("GBK", QStringConverter::Flag::Stateless);
    for (int b = 0; b < 0x80; ++b) {
        m_single[b] = char16_t(b);
    }
    auto accept = [&](const char* bytes, int n) -> char16_t {
        const QString s = decoder.decode(QByteArrayView(bytes, n));
        if (s.size() != 1) {
            return 0;
        }
        const char16_t c = s.at(0).unicode();
        if (c == 0xFFFD || QChar::isSurrogate(c) || c < 0x80 || isEscape(c)) {
            return 0;
        }
        if (QByteArray(encoder.encode(s)) != QByteArrayView(bytes, n)) {
            return 0;
        }
        return c;
    };
    for (int b = 0x80; b <= 0xFF; ++b) {
        const char one = char(b);
        if (const char16_t c = accept(&one, 1)) {
            m_single[b] = c;
            m_toGbk[c] = quint16(b);
        }
    }
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        if (m_single[lead]) {
            continue;
        }
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            const char two[2] = {char(lead), char(trail)};
            if (const char16_t c = accept(two, 2)) {
                m_pair[(lead << 8) | trail] = c;
                if (!m_toGbk[c]) {
                    m_toGbk[c] = quint16((lead << 8) | trail);
                }
            }
        }
    }
    for (int b = 0x80; b <= 0xFF; ++b) {
        m_toGbk[EscapeBase + b] = quint16(b);
    }
}

namespace {
const quint8 NoFlags[65536] = {};
}

void GbkCodec::decode(const char* data, qsizetype size, QString& out) const
{
    decode(data, size, out, NoFlags);
}

quint8 GbkCodec::decode(const char* data, qsizetype size, QString& out, const quint8* flags) const
{
    out.resize(size); // never more characters than bytes
    char16_t* dst = reinterpret_cast<char16_t*>(out.data());
    const auto* p = reinterpret_cast<const unsigned char*>(data);
    const auto* end = p + size;
    qsizetype n = 0;
    quint8 seen = 0;
    while (p < end) {
        const unsigned char b = *p;
        char16_t c;
        if (b < 0x80) {
            c = b;
            ++p;
        } else if (p + 1 < end && (c = m_pair[(b << 8) | p[1]]) != 0) {
            p += 2;
        } else {
            c = m_single[b] ? m_single[b] : char16_t(EscapeBase + b);
            ++p;
        }
        dst[n++] = c;
        seen |= flags[c];
    }
    out.truncate(n);
    return seen;
}

QString GbkCodec::decode(QByteArrayView bytes) const
{
    QString s;
    decode(bytes.data(), bytes.size(), s);
    return s;
}

void GbkCodec::encode(QStringView text, QByteArray& out, qsizetype* unencodable) const
{
    const qsizetype start = out.size();
    out.resize(start + text.size() * 2);
    char* dst = out.data() + start;
    qsizetype n = 0;
    for (const QChar qc : text) {
        const char16_t c = qc.unicode();
        if (c < 0x80) {
            dst[n++] = char(c);
            continue;
        }
        const quint16 code = m_toGbk[c];
        if (code == 0) {
            dst[n++] = '?';
            if (unencodable) {
                ++*unencodable;
            }
        } else if (code < 0x100) {
            dst[n++] = char(code);
        } else {
            dst[n++] = char(code >> 8);
            dst[n++] = char(code & 0xFF);
        }
    }
    out.truncate(start + n);
}

QByteArray GbkCodec::encode(QStringView text) const
{
    QByteArray out;
    encode(text, out);
    return out;
}
