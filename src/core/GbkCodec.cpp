#include "GbkCodec.h"

#include <QStringDecoder>
#include <QStringEncoder>


const GbkCodec& GbkCodec::instance()
{
    static const GbkCodec codec(Gbk, "GBK", QStringLiteral("GBK"), CodePageTables::gbk);
    return codec;
}

const GbkCodec& GbkCodec::gb18030()
{
    static const GbkCodec codec(Gb18030, "GB18030", QStringLiteral("GB18030"), CodePageTables::gb18030);
    return codec;
}

const GbkCodec& GbkCodec::big5()
{
    static const GbkCodec codec(Big5, "Big5-HKSCS", QStringLiteral("Big5-HKSCS"), CodePageTables::big5);
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

GbkCodec::GbkCodec(Id id, const char* icuName, const QString& name, const CodePageTables::Table& table)
    : m_id(id), m_name(name), m_icuName(icuName), m_fourByte(id == Gb18030), m_table(table),
      m_single(table.single), m_pair(table.pair), m_toCode(table.toCode)
{
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
    if (end - p >= 2 && m_table.escapeRangePairs.find(quint16(p[0] << 8 | p[1]))) {
        *text = escaped(p, 2);
        *used = 2;
        return true;
    }
    if (end - p >= 2 && !m_table.widePairs.isEmpty()) {
        if (const char32_t* wide = m_table.widePairs.find(quint16(p[0] << 8 | p[1]))) {
            *text = QString::fromUcs4(wide, 1);
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
        if (const char16_t* escapeRange = m_table.escapeRangePairs.find(quint16(p[0] << 8 | p[1]))) {
            *c = *escapeRange;
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
        } else if (p + 1 < end && (c = m_pair[((b & 0x7F) << 8) | p[1]]) != 0) {
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
    if (const quint16* code = m_table.wideCodes.find(c)) {
        out.append(char(*code >> 8));
        out.append(char(*code & 0xFF));
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
