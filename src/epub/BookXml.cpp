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

QString xmlText(QStringView text, const TextCodec* novel, qint64* replaced)
{
    QString out;
    appendXmlText(out, text, novel, replaced);
    return out;
}
