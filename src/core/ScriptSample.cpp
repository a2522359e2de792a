#include "ScriptSample.h"

#include "NovelSample.h"
#include "ScriptConverter.h"


void countScriptCharacters(QStringView text, qint64* traditionalOnly, qint64* simplifiedOnly)
{
    const ScriptConverter& t2s = ScriptConverter::traditionalToSimplified();
    const ScriptConverter& s2t = ScriptConverter::simplifiedToTraditional();
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x3400) {
            continue; // no Han character below the CJK blocks
        }
        *traditionalOnly += t2s.isSourceOnly(u);
        *simplifiedOnly += s2t.isSourceOnly(u);
    }
}

bool lineWantsConversion(QStringView text)
{
    qint64 traditional = 0;
    qint64 simplified = 0;
    countScriptCharacters(text, &traditional, &simplified);
    return traditional > 0 || simplified == 0;
}

QString simplifiedLine(const QString& text)
{
    return lineWantsConversion(text) ? ScriptConverter::traditionalToSimplified().convert(text) : text;
}

NovelScript sampleNovelScript(const QString& path, const TextCodec& codec, int bomLength)
{
    qint64 traditional = 0;
    qint64 simplified = 0;
    const bool read = readNovelSamples(path, codec, bomLength, 64, 16 * 1024, [&](const QString& text) {
        countScriptCharacters(text, &traditional, &simplified);
    });
    if (!read) {
        return NovelScript::Unknown;
    }
    if (traditional == 0 && simplified == 0) {
        return NovelScript::Unknown;
    }
    return traditional > simplified ? NovelScript::Traditional : NovelScript::Simplified;
}
