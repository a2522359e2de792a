#include "BookXml.h"

#include "core/TextCodec.h"

namespace {

// Whether the text holds something to replace or resolve; most lines hold nothing and are
// copied whole.
bool needsCleaning(QStringView text)
{
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0xD800 && u <= 0xDFFF) || TextCodec::isEscape(u) || u >= 0xFFFE) {
            return true;
        }
    }
    return false;
}

bool isXmlUnit(char16_t c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c != 0xFFFE && c != 0xFFFF);
}

} // namespace

QString xmlSafe(QStringView text, const TextCodec* novel, qint64* replaced)
{
    QString s = text.toString();
    if (!needsCleaning(text)) {
        return s;
    }
    if (novel) {
        novel->resolveEscapes(s, replaced);
    }
    for (qsizetype i = 0; i < s.size(); ++i) {
        const char16_t c = s[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < s.size() && QChar::isLowSurrogate(s[i + 1].unicode())) {
            ++i;
            continue;
        }
        if (!isXmlUnit(c) || QChar::isSurrogate(c)) {
            s[i] = QChar::ReplacementCharacter;
            if (replaced) {
                ++*replaced;
            }
        }
    }
    return s;
}

void appendXmlText(QString& out, QStringView text, const TextCodec* novel, qint64* replaced)
{
    QString safe;
    if (needsCleaning(text)) {
        safe = xmlSafe(text, novel, replaced);
        text = safe;
    }
    // The runs between markup characters are copied whole.
    qsizetype from = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c > u'>' || (c != u'&' && c != u'<' && c != u'>' && c != u'"')) {
            continue;
        }
        out += text.mid(from, i - from);
        out += c == u'&' ? QLatin1String("&amp;") : c == u'<' ? QLatin1String("&lt;") : c == u'>' ? QLatin1String("&gt;") : QLatin1String("&quot;");
        from = i + 1;
    }
    out += text.mid(from);
}

namespace {

// Appends `text` as UTF-8 with markup escaped; false (having appended part of it) at a unit that
// needs cleaning, unless `clean`.
bool appendUtf8(QByteArray& out, QStringView text, bool clean)
{
    // At most 6 bytes a unit ("&quot;"); written in place, then cut to what was written.
    const qsizetype at = out.size();
    out.resize(at + 6 * text.size());
    char* o = out.data() + at;
    const char16_t* p = text.utf16();
    const char16_t* const end = p + text.size();
    bool whole = true;
    while (p < end) {
        const char16_t c = *p++;
        if (c >= 0x800) {
            if (!clean && (QChar::isSurrogate(c) || TextCodec::isEscape(c) || c >= 0xFFFE)) {
                whole = false;
                break;
            }
            if (QChar::isHighSurrogate(c)) { // paired once clean: xmlSafe() leaves no half
                const char32_t u = QChar::surrogateToUcs4(c, *p++);
                *o++ = char(0xF0 | (u >> 18));
                *o++ = char(0x80 | ((u >> 12) & 0x3F));
                *o++ = char(0x80 | ((u >> 6) & 0x3F));
                *o++ = char(0x80 | (u & 0x3F));
            } else {
                *o++ = char(0xE0 | (c >> 12));
                *o++ = char(0x80 | ((c >> 6) & 0x3F));
                *o++ = char(0x80 | (c & 0x3F));
            }
        } else if (c >= 0x80) {
            *o++ = char(0xC0 | (c >> 6));
            *o++ = char(0x80 | (c & 0x3F));
        } else if (c > u'>' || (c >= 0x20 && c != u'&' && c != u'<' && c != u'>' && c != u'"')) {
            *o++ = char(c);
        } else if (c < 0x20) {
            if (!clean) {
                whole = false;
                break;
            }
            *o++ = char(c);
        } else {
            const char* e = c == u'&' ? "&amp;" : c == u'<' ? "&lt;" : c == u'>' ? "&gt;" : "&quot;";
            while (*e) {
                *o++ = *e++;
            }
        }
    }
    out.truncate(o - out.constData());
    return whole;
}

} // namespace

void appendXmlUtf8(QByteArray& out, QStringView text, const TextCodec* novel, qint64* replaced)
{
    // Nearly every line is clean: one pass; the others start again from the cleaned text.
    const qsizetype at = out.size();
    if (!appendUtf8(out, text, false)) {
        out.truncate(at);
        appendUtf8(out, xmlSafe(text, novel, replaced), true);
    }
}

QString xmlText(QStringView text, const TextCodec* novel, qint64* replaced)
{
    QString out;
    appendXmlText(out, text, novel, replaced);
    return out;
}
