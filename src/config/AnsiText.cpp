#include "AnsiText.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace {

constexpr auto Stateless = QStringConverter::Flag::Stateless;
constexpr char16_t Euro = 0x20AC;
constexpr char EuroByte = '\x80';

// Opening a converter costs more than converting a short line: each thread keeps its own.
QStringEncoder& encoder() {
    thread_local QStringEncoder gb18030("GB18030", Stateless);
    return gb18030;
}

QStringDecoder& decoder() {
    thread_local QStringDecoder gb18030("GB18030", Stateless);
    return gb18030;
}

bool isAscii(QStringView text) {
    for (QChar c : text) {
        if (c.unicode() >= 0x80)
            return false;
    }
    return true;
}

bool isAscii(QByteArrayView bytes) {
    for (char b : bytes) {
        if (static_cast<unsigned char>(b) >= 0x80)
            return false;
    }
    return true;
}

bool isLead(unsigned char b) { return b >= 0x81 && b <= 0xFE; }
bool isDigit(unsigned char b) { return b >= 0x30 && b <= 0x39; }

// The length of the GB18030 character that starts at p: 1, 2 or 4 bytes; a byte that starts
// no valid sequence counts alone.
qsizetype characterSize(const unsigned char* p, const unsigned char* end) {
    if (!isLead(p[0]) || end - p < 2)
        return 1;
    if (isDigit(p[1]))
        return end - p >= 4 && isLead(p[2]) && isDigit(p[3]) ? 4 : 1;
    return (p[1] >= 0x40 && p[1] != 0x7F && p[1] != 0xFF) ? 2 : 1;
}

} // namespace

QByteArray toAnsi(QStringView text) {
    if (isAscii(text))
        return text.toLatin1();
    QStringEncoder& gb18030 = encoder();
    QByteArray bytes;
    for (qsizetype start = 0;;) {
        const qsizetype euro = text.indexOf(QChar(Euro), start);
        bytes += gb18030.encode(text.sliced(start, (euro < 0 ? text.size() : euro) - start));
        if (euro < 0)
            return bytes;
        bytes += EuroByte;
        start = euro + 1;
    }
}

QString fromAnsi(QByteArrayView bytes) {
    if (isAscii(bytes))
        return QString::fromLatin1(bytes);
    QStringDecoder& gb18030 = decoder();
    if (!bytes.contains(EuroByte))
        return gb18030.decode(bytes);
    // 0x80 is also a trail byte: only one where a character starts is GBK's euro sign.
    QString text;
    const auto* begin = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* end = begin + bytes.size();
    const auto* run = begin;
    for (const auto* p = begin; p < end;) {
        if (*p == 0x80) {
            text += gb18030.decode(QByteArrayView(run, p - run));
            text += QChar(Euro);
            run = ++p;
        } else {
            p += characterSize(p, end);
        }
    }
    text += gb18030.decode(QByteArrayView(run, end - run));
    return text;
}

qsizetype ansiSize(QStringView text) {
    return isAscii(text) ? text.size() : toAnsi(text).size();
}
