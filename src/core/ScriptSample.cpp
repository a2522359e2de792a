#include "ScriptSample.h"

#include "ScriptConverter.h"

#include <QFile>

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
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return NovelScript::Unknown;
    }
    constexpr qint64 Slices = 64;
    constexpr qint64 SliceSize = 16 * 1024;
    const qint64 size = file.size();
    const int unit = codec.unitSize();
    const QByteArray newline = codec.encode(u"\n");
    qint64 traditional = 0;
    qint64 simplified = 0;
    QString text;
    qint64 previousEnd = 0;
    for (qint64 k = 0; k < Slices; ++k) {
        qint64 at = std::max<qint64>(bomLength, size / Slices * k);
        at = std::max(at, previousEnd) / unit * unit;
        if (at >= size || !file.seek(at)) {
            break;
        }
        const QByteArray bytes = file.read(SliceSize);
        previousEnd = at + bytes.size();
        // Whole lines only: a slice that starts or ends inside a character would read as others.
        qsizetype from = 0;
        if (at > bomLength) {
            from = bytes.indexOf(newline);
            while (from >= 0 && from % unit) {
                from = bytes.indexOf(newline, from + 1);
            }
            if (from < 0) {
                continue;
            }
            from += newline.size();
        }
        qsizetype to = bytes.size();
        if (previousEnd < size) {
            to = bytes.lastIndexOf(newline);
            while (to >= from && to % unit) {
                to = bytes.lastIndexOf(newline, to - 1);
            }
            if (to < from) {
                continue;
            }
        }
        codec.decode(bytes.constData() + from, to - from, text);
        countScriptCharacters(text, &traditional, &simplified);
    }
    if (traditional == 0 && simplified == 0) {
        return NovelScript::Unknown;
    }
    return traditional > simplified ? NovelScript::Traditional : NovelScript::Simplified;
}
