#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QStringView>

class QIODevice;

/// How the bytes of a novel become text and back, without ever losing a byte.
///
/// Every codec decodes a byte it cannot read to a private-use "escape" character U+F700 +
/// byte and encodes that character back to the byte, so encode(decode(bytes)) == bytes for
/// any input, and a line that a filter edited still writes its undecodable bytes unchanged.
/// (A genuine U+F700..U+F7FF in the input is itself written through escapes.)
class TextCodec {
public:
    enum Id { Gbk, Gb18030, Utf8, Utf16LE, Utf16BE, Big5 };

    virtual ~TextCodec() = default;

    virtual Id id() const = 0;
    /// The name shown to users ("GBK", "UTF-8", ...).
    virtual QString name() const = 0;
    /// Bytes per code unit: 2 for UTF-16, whose line ends are two bytes long.
    virtual int unitSize() const { return 1; }
    /// True for GBK and its relatives, the code page the novel's text is specified in.
    bool isGbkFamily() const { return id() == Gbk || id() == Gb18030; }

    /// Decodes into `out`, reusing its capacity, and returns the OR of `flags[c]` over every
    /// character c (a 65536-entry table), so that one pass over a line also tells what later
    /// steps need to look at.
    virtual quint8 decode(const char* data, qsizetype size, QString& out, const quint8* flags) const = 0;
    void decode(const char* data, qsizetype size, QString& out) const;
    QString decode(QByteArrayView bytes) const;

    /// Encodes, appending to `out`. Characters the code page cannot hold are written as "?"
    /// and counted in `unencodable` (when given).
    virtual void encode(QStringView text, QByteArray& out, qsizetype* unencodable = nullptr) const = 0;
    QByteArray encode(QStringView text) const;
    /// True when the code page holds this UTF-16 unit (surrogates: when it holds some
    /// supplementary characters), so that it can be written back.
    virtual bool canEncode(char16_t c) const = 0;

    /// The byte-order mark this encoding writes when a novel had one.
    QByteArray byteOrderMark() const;

    static constexpr char16_t EscapeBase = 0xF700;
    static bool isEscape(char16_t c) { return c >= EscapeBase && c <= EscapeBase + 0xFF; }

    /// Decoded text made fit for a reader (a book), where no escape may stay: a run of escapes
    /// becomes the characters of U+F700..U+F7FF that its bytes spell in this encoding (private
    /// use characters are real text; only decoding keeps them as bytes), and U+FFFD for every
    /// other byte, counted in `undecodable` when given.
    void resolveEscapes(QString& text, qint64* undecodable = nullptr) const;

protected:
    /// The length of the sequence at `p` (before `end`) when this encoding reads it as a
    /// character of U+F700..U+F7FF (put in `c`), else 0.
    virtual int escapeRangeChar(const unsigned char* p, const unsigned char* end, char16_t* c) const;

public:

    static const TextCodec& forId(Id id);
    /// "auto" gives no codec: detect. Others: "gbk", "gb18030", "utf-8", "utf-16le",
    /// "utf-16be", "big5". Returns false for an unknown name.
    static bool fromName(const QString& name, Id* id, bool* detect);
    static QStringList names();

    /// Decides the encoding of a novel from a sample of it: its byte-order mark, else the reading
    /// (UTF-8, GB18030 or Big5-HKSCS; UTF-16 from `head` alone) that ICU's charset detector and a
    /// count of common Chinese characters find most like Chinese text. A stray bad byte does not
    /// change the verdict; plain ASCII reads as GB18030. `head` is the start of the file, `more`
    /// whole lines from further on (see readSample). `bomLength` gets the length of the mark, if any.
    static Id detect(QByteArrayView head, QByteArrayView more, int* bomLength);
    static Id detect(QByteArrayView head, int* bomLength) { return detect(head, {}, bomLength); }
    /// Reads what detect() looks at, at most 96 KiB whatever the file's size: a small file whole;
    /// else its first 32 KiB and whole lines from 8 slices of 8 KiB spread evenly over the rest.
    /// False when the file cannot be read.
    static bool readSample(QIODevice& file, QByteArray* head, QByteArray* more);
    /// The length of the byte-order mark that starts `head` for this encoding, or 0.
    static int bomLength(Id id, QByteArrayView head);

private:
    /// The double-byte code pages (GBK, GB18030, Big5-HKSCS) for forId; they live with their
    /// tables in GbkCodec.cpp.
    static const TextCodec& doubleByte(Id id);
};
