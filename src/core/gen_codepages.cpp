// Writes the double-byte code pages' tables (CodePageTables.h) as C++ source, read from the
// platform's converters at build time. Usage: gen_codepages OUTPUT.cpp
#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringDecoder>
#include <QStringEncoder>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <vector>

namespace {

constexpr char16_t EscapeBase = 0xF700; // as TextCodec::EscapeBase
bool isEscape(char16_t c)
{
    return c >= EscapeBase && c <= EscapeBase + 0xFF;
}

struct Tables {
    std::vector<char16_t> single = std::vector<char16_t>(256, 0);
    std::vector<char16_t> pair = std::vector<char16_t>(0x8000, 0);
    std::vector<quint16> toCode = std::vector<quint16>(0x10000, 0);
    std::map<quint16, char32_t> widePairs;
    std::map<quint16, char16_t> escapeRangePairs;
    std::map<char32_t, quint16> wideCodes;
};

Tables read(const char* icuName)
{
    Tables t;
    QStringDecoder decoder(icuName, QStringConverter::Flag::Stateless);
    QStringEncoder encoder(icuName, QStringConverter::Flag::Stateless);
    if (!decoder.isValid() || !encoder.isValid()) {
        std::fprintf(stderr, "gen_codepages: no converter for %s\n", icuName);
        std::exit(1);
    }
    for (int b = 0; b < 0x80; ++b) {
        t.single[b] = char16_t(b);
    }
    // A sequence is kept only when it decodes to text that encodes back to it.
    auto accept = [&](const char* bytes, int n) -> QString {
        const QString s = decoder.decode(QByteArrayView(bytes, n));
        if (s.isEmpty() || s.contains(QChar(0xFFFD))
            || QByteArray(encoder.encode(s)) != QByteArrayView(bytes, n)) {
            return QString();
        }
        return s;
    };
    for (int b = 0x80; b <= 0xFF; ++b) {
        const char one = char(b);
        const QString s = accept(&one, 1);
        if (s.size() == 1 && s[0].unicode() >= 0x80 && !s[0].isSurrogate() && !isEscape(s[0].unicode())) {
            t.single[b] = s[0].unicode();
            t.toCode[s[0].unicode()] = quint16(b);
        }
    }
    // Each pair alone: what the converter says of it without any context. The first pair of a
    // character is the one it encodes to.
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0x40; trail <= 0xFE && !t.single[lead]; ++trail) {
            const char two[2] = {char(lead), char(trail)};
            const quint16 code = quint16(lead << 8 | trail);
            const QString s = accept(two, 2);
            if (s.size() == 1 && s[0].unicode() >= 0x80 && !s[0].isSurrogate() && !isEscape(s[0].unicode())) {
                t.pair[code - 0x8000] = s[0].unicode();
                if (!t.toCode[s[0].unicode()]) {
                    t.toCode[s[0].unicode()] = code;
                }
            } else if (s.size() == 1 && isEscape(s[0].unicode())) {
                t.escapeRangePairs[code] = s[0].unicode();
            } else if (s.size() == 2 && s[0].isHighSurrogate() && s[1].isLowSurrogate()) {
                const char32_t u = QChar::surrogateToUcs4(s[0], s[1]);
                t.widePairs[code] = u;
                t.wideCodes[u] = code; // the last pair of a character, as the tables always kept
            }
        }
    }
    // The escapes of the high bytes write back as those bytes. Escapes of ASCII bytes (which
    // these code pages never need) do too, but the high byte 0 cannot be told from "none" here:
    // they go through the codec's long path.
    for (int b = 0x80; b <= 0xFF; ++b) {
        t.toCode[EscapeBase + b] = quint16(b);
    }
    return t;
}

template <typename T>
void writeArray(QByteArray& out, const char* type, const QByteArray& name, const std::vector<T>& v)
{
    out += "const " + QByteArray(type) + " " + name + "[" + QByteArray::number(qsizetype(v.size())) + "] = {";
    for (size_t i = 0; i < v.size(); ++i) {
        out += (i % 16 == 0 ? "\n    " : " ") + QByteArray::number(quint32(v[i])) + ",";
    }
    out += "\n};\n";
}

template <typename K, typename V>
void writeMap(QByteArray& out, const char* key, const char* value, const QByteArray& name,
              const std::map<K, V>& m)
{
    // An array cannot be empty: a map without entries still gets one, not counted.
    out += "const Entry<" + QByteArray(key) + ", " + value + "> " + name + "[] = {";
    for (const auto& [k, v] : m) {
        out += "\n    {" + QByteArray::number(quint32(k)) + ", " + QByteArray::number(quint32(v)) + "},";
    }
    if (m.empty()) {
        out += "{0, 0}";
    }
    out += "\n};\n";
}

void writeTable(QByteArray& out, const QByteArray& name, const char* icuName)
{
    const Tables t = read(icuName);
    writeArray(out, "char16_t", name + "Single", t.single);
    writeArray(out, "char16_t", name + "Pair", t.pair);
    writeArray(out, "quint16", name + "ToCode", t.toCode);
    writeMap(out, "quint16", "char32_t", name + "WidePairs", t.widePairs);
    writeMap(out, "quint16", "char16_t", name + "EscapeRangePairs", t.escapeRangePairs);
    writeMap(out, "char32_t", "quint16", name + "WideCodes", t.wideCodes);
    auto map = [&](const char* what, size_t count) {
        return "{" + name + what + ", " + QByteArray::number(qsizetype(count)) + "}";
    };
    out += "} // namespace\n\nconst Table " + name + " = {" + name + "Single, " + name + "Pair, " + name
        + "ToCode,\n    " + map("WidePairs", t.widePairs.size()) + ", "
        + map("EscapeRangePairs", t.escapeRangePairs.size()) + ", " + map("WideCodes", t.wideCodes.size())
        + "};\n\nnamespace {\n";
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: gen_codepages OUTPUT.cpp\n");
        return 2;
    }
    QByteArray out = "// Written by gen_codepages from the platform's converters at build time.\n"
                     "#include \"core/CodePageTables.h\"\n\nnamespace CodePageTables {\nnamespace {\n";
    writeTable(out, "gbk", "GBK");
    writeTable(out, "gb18030", "GB18030");
    writeTable(out, "big5", "Big5-HKSCS");
    out += "} // namespace\n} // namespace CodePageTables\n";
    QFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(out) != out.size()
        || !file.flush()) {
        std::fprintf(stderr, "gen_codepages: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
