#include "GbkCodec.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <cstring>

const GbkCodec& GbkCodec::instance()
{
    static const GbkCodec codec(Gbk, "GBK", QStringLiteral("GBK"));
    return codec;
}

const GbkCodec& GbkCodec::gb18030()
{
    static const GbkCodec codec(Gb18030, "GB18030", QStringLiteral("GB18030"));
    return codec;
}

const GbkCodec& GbkCodec::big5()
{
    static const GbkCodec codec(Big5, "Big5-HKSCS", QStringLiteral("Big5-HKSCS"));
    return codec;
}

const TextCodec& TextCodec::doubleByte(Id id)
{
    switch (id) {
    case Gb18030: return GbkCodec::gb18030();
    case Big5: return GbkCodec::big5();
    default: return GbkCodec::instance();
    }
}

GbkCodec::GbkCodec(Id id, const char* icuName, const QString& name)
    : m_id(id), m_name(name), m_icuName(icuName), m_fourByte(id == Gb18030)
{
    std::memset(m_single, 0, sizeof m_single);
    std::memset(m_pair, 0, sizeof m_pair);
    std::memset(m_toCode, 0, sizeof m_toCode);
    QStringDecoder decoder(icuName, QStringConverter::Flag::Stateless);
    QStringEncoder encoder(icuName, QStringConverter::Flag::Stateless);
    for (int b = 0; b < 0x80; ++b) {
        m_single[b] = char16_t(b);
    }
    // A sequence is kept only when it decodes to text that encodes back to it.
    auto accept = [&](const char* bytes, int n) -> QString {
        const QString s = decoder.decode(QByteArrayView(bytes, n));
        if (s.isEmpty() || s.contains(QChar(0xFFFD)) || QByteArray(encoder.encode(s)) != QByteArrayView(bytes, n)) {
            return QString();
        }
        return s;
    };
    for (int b = 0x80; b <= 0xFF; ++b) {
        const char one = char(b);
        const QString s = accept(&one, 1);
        if (s.size() == 1 && s[0].unicode() >= 0x80 && !s[0].isSurrogate() && !isEscape(s[0].unicode())) {
            m_single[b] = s[0].unicode();
            m_toCode[s[0].unicode()] = quint16(b);
        }
    }
    // Every pair of a lead and a trail byte goes through the converter in one call each way, a
    // line feed after each (no pair decodes to one, nor swallows it), and the answers are read
    // in place: a call, a string and an array per pair cost milliseconds at every start.
    // Should the answers not line up, each pair is asked alone.
    QByteArray pairs(126 * 191 * 3, Qt::Uninitialized);
    char* at = pairs.data();
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0x40; trail <= 0xFE && !m_single[lead]; ++trail) {
            *at++ = char(lead);
            *at++ = char(trail);
            *at++ = '\n';
        }
    }
    pairs.truncate(at - pairs.constData());
    const QString decoded = decoder.decode(pairs);
    const QByteArray encoded = encoder.encode(decoded);
    const qsizetype count = pairs.size() / 3;
    const bool together = decoded.count(u'\n') == count && encoded.count('\n') == count;
    qsizetype text = 0;  // where the pair's text starts in `decoded`
    qsizetype bytes = 0; // where that text's bytes start in `encoded`
    for (qsizetype i = 0; i < count; ++i) {
        const char* two = pairs.constData() + 3 * i;
        const quint16 code = quint16(quint8(two[0]) << 8 | quint8(two[1]));
        QString alone;
        QStringView s;
        if (together) {
            const qsizetype textEnd = decoded.indexOf(u'\n', text);
            const qsizetype bytesEnd = encoded.indexOf('\n', bytes);
            s = QStringView(decoded).sliced(text, textEnd - text);
            if (s.isEmpty() || s.contains(QChar(0xFFFD)) || QByteArrayView(encoded).sliced(bytes, bytesEnd - bytes) != QByteArrayView(two, 2)) {
                s = QStringView();
            }
            text = textEnd + 1;
            bytes = bytesEnd + 1;
        } else {
            alone = accept(two, 2);
            s = alone;
        }
        if (s.size() == 1 && s[0].unicode() >= 0x80 && !s[0].isSurrogate() && !isEscape(s[0].unicode())) {
            m_pair[code] = s[0].unicode();
            if (!m_toCode[s[0].unicode()]) {
                m_toCode[s[0].unicode()] = code;
            }
        } else if (s.size() == 1 && isEscape(s[0].unicode())) {
            m_escapeRangePair.insert(code, s[0].unicode());
        } else if (s.size() == 2 && s[0].isHighSurrogate() && s[1].isLowSurrogate()) {
            const char32_t u = QChar::surrogateToUcs4(s[0], s[1]);
            m_widePair.insert(code, u);
            m_wideToCode.insert(u, code);
        }
    }
    for (int b = 0x80; b <= 0xFF; ++b) {
        m_toCode[EscapeBase + b] = quint16(b);
    }
    // Escapes of ASCII bytes (which this code page never needs) still write back as themselves;
    // the high byte 0 cannot be told from "none", so they go through the long path.
}

// GB18030's four-byte sequences (and Big5-HKSCS pairs outside the Basic Multilingual Plane).
bool GbkCodec::decodeLong(const unsigned char* p, const unsigned char* end, QString* text, int* used) const
{
    // A character that looks like an escape is kept as the escapes of all its bytes, so that
    // it is written back as it was and can still be read whole (resolveEscapes).
    auto escaped = [](const unsigned char* bytes, int n) {
        QString s(n, Qt::Uninitialized);
        for (int i = 0; i < n; ++i) {
            s[i] = QChar(char16_t(EscapeBase + bytes[i]));
        }
        return s;
    };
    if (end - p >= 2 && m_escapeRangePair.contains(quint16(p[0] << 8 | p[1]))) {
        *text = escaped(p, 2);
        *used = 2;
        return true;
    }
    if (end - p >= 2 && !m_widePair.isEmpty()) {
        const auto it = m_widePair.constFind(quint16(p[0] << 8 | p[1]));
        if (it != m_widePair.cend()) {
            *text = QString::fromUcs4(&*it, 1);
            *used = 2;
            return true;
        }
    }
    if (!m_fourByte || end - p < 4 || p[0] < 0x81 || p[0] > 0xFE || p[1] < 0x30 || p[1] > 0x39 || p[2] < 0x81
        || p[2] > 0xFE || p[3] < 0x30 || p[3] > 0x39) {
        return false;
    }
    const quint32 key = quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | p[3];
    QMutexLocker lock(&m_cacheLock);
    auto it = m_longCache.constFind(key);
    if (it == m_longCache.cend()) {
        QStringDecoder decoder(m_icuName.constData(), QStringConverter::Flag::Stateless);
        QStringEncoder encoder(m_icuName.constData(), QStringConverter::Flag::Stateless);
        const QByteArrayView bytes(reinterpret_cast<const char*>(p), 4);
        QString s = decoder.decode(bytes);
        const bool ok = !s.isEmpty() && !s.contains(QChar(0xFFFD)) && QByteArray(encoder.encode(s)) == bytes;
        it = m_longCache.insert(key, !ok ? QString() : s.size() == 1 && isEscape(s[0].unicode()) ? escaped(p, 4) : s);
    }
    if (it->isEmpty()) {
        return false;
    }
    *text = *it;
    *used = 4;
    return true;
}

int GbkCodec::escapeRangeChar(const unsigned char* p, const unsigned char* end, char16_t* c) const
{
    if (end - p >= 2) {
        if (const auto it = m_escapeRangePair.constFind(quint16(p[0] << 8 | p[1])); it != m_escapeRangePair.cend()) {
            *c = *it;
            return 2;
        }
    }
    if (!m_fourByte || end - p < 4 || p[0] < 0x81 || p[0] > 0xFE || p[1] < 0x30 || p[1] > 0x39 || p[2] < 0x81
        || p[2] > 0xFE || p[3] < 0x30 || p[3] > 0x39) {
        return 0;
    }
    // Rare enough to ask ICU each time.
    const QByteArrayView bytes(reinterpret_cast<const char*>(p), 4);
    QStringDecoder decoder(m_icuName.constData(), QStringConverter::Flag::Stateless);
    QStringEncoder encoder(m_icuName.constData(), QStringConverter::Flag::Stateless);
    const QString s = decoder.decode(bytes);
    if (s.size() == 1 && isEscape(s[0].unicode()) && QByteArray(encoder.encode(s)) == bytes) {
        *c = s[0].unicode();
        return 4;
    }
    return 0;
}

quint8 GbkCodec::decode(const char* data, qsizetype size, QString& out, const quint8* flags) const
{
    out.resize(size); // never more units than bytes
    char16_t* dst = reinterpret_cast<char16_t*>(out.data());
    const auto* p = reinterpret_cast<const unsigned char*>(data);
    const auto* end = p + size;
    qsizetype n = 0;
    quint8 seen = 0;
    QString longText;
    int used = 0;
    while (p < end) {
        const unsigned char b = *p;
        char16_t c;
        if (b < 0x80) {
            c = b;
            ++p;
        } else if (p + 1 < end && (c = m_pair[(b << 8) | p[1]]) != 0) {
            p += 2;
        } else if (decodeLong(p, end, &longText, &used)) {
            for (QChar u : std::as_const(longText)) {
                dst[n++] = u.unicode();
                seen |= flags[u.unicode()];
            }
            p += used;
            continue;
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

bool GbkCodec::encodeLong(char32_t c, QByteArray& out) const
{
    if (const auto it = m_wideToCode.constFind(c); it != m_wideToCode.cend()) {
        out.append(char(*it >> 8));
        out.append(char(*it & 0xFF));
        return true;
    }
    if (!m_fourByte) {
        return false;
    }
    QMutexLocker lock(&m_cacheLock);
    auto it = m_encodeCache.constFind(c);
    if (it == m_encodeCache.cend()) {
        QStringEncoder encoder(m_icuName.constData(), QStringConverter::Flag::Stateless);
        QByteArray bytes = encoder.encode(QString::fromUcs4(&c, 1));
        if (encoder.hasError()) {
            bytes.clear();
        }
        it = m_encodeCache.insert(c, bytes);
    }
    out.append(*it);
    return !it->isEmpty();
}

void GbkCodec::encode(QStringView text, QByteArray& out, qsizetype* unencodable) const
{
    const qsizetype start = out.size();
    out.resize(start + text.size() * 2);
    char* dst = out.data() + start;
    qsizetype n = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x80) {
            dst[n++] = char(c);
            continue;
        }
        const quint16 code = m_toCode[c];
        if (code >= 0x100) {
            dst[n++] = char(code >> 8);
            dst[n++] = char(code & 0xFF);
            continue;
        }
        if (code != 0) {
            dst[n++] = char(code);
            continue;
        }
        if (c >= EscapeBase && c < EscapeBase + 0x80) {
            dst[n++] = char(c - EscapeBase); // an ASCII byte's escape
            continue;
        }
        // The rare rest: supplementary characters and GB18030's four-byte forms.
        char32_t u = c;
        const bool pair = QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate();
        if (pair) {
            u = QChar::surrogateToUcs4(c, text[i + 1].unicode());
        }
        QByteArray more;
        if (!QChar::isSurrogate(u) && encodeLong(u, more)) {
            out.resize(start + n);
            out.append(more);
            out.resize(out.size() + (text.size() - i) * 2 + 4);
            dst = out.data() + start;
            n += more.size();
            i += pair ? 1 : 0;
            continue;
        }
        dst[n++] = '?';
        if (unencodable) {
            ++*unencodable;
        }
    }
    out.truncate(start + n);
}
