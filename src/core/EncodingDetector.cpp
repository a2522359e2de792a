// Encoding detection: which encoding a Chinese novel's bytes are in.
//
// Two judges look at a bounded sample. ICU's charset detector (the one Qt's ICU brings) is
// reliable on a sample of some kilobytes; on a few hundred bytes, or on text that is mostly
// ASCII, it often ranks a wrong reading first. Our own count then decides: the sample is decoded
// in every candidate encoding, and the reading with the most common Chinese characters and the
// fewest undecodable bytes, private-use characters and control characters wins. A wrong reading
// of Chinese text gives rare characters, private-use ones (Big5 read as GBK lands in GBK's
// user-defined area) or undecodable bytes, so the two readings rarely come near each other.

#include "core/CommonHanzi.h"
#include "core/TextCodec.h"

#include <QIODevice>

#include <unicode/ucsdet.h>

#include <algorithm>
#include <bitset>
#include <memory>

namespace {

constexpr qint64 HeadSize = 32 * 1024;
constexpr int SliceCount = 8;
constexpr qint64 SliceSize = 8 * 1024;
// What the library reads: a few kilobytes of Chinese text settle its answer, and its cost grows
// with the length (some milliseconds for this much, more than our own count of the whole sample).
constexpr qsizetype LibraryWindow = 4 * 1024;

using Id = TextCodec::Id;

// Asked without TextCodec::forId, which would build a code page's tables.
bool twoByteUnits(Id id)
{
    return id == TextCodec::Utf16LE || id == TextCodec::Utf16BE;
}

const std::bitset<65536>& commonHanzi()
{
    static const auto set = [] {
        auto s = std::make_unique<std::bitset<65536>>();
        for (int i = 0; i < CommonHanzi::count; ++i) {
            s->set(CommonHanzi::list[i]);
        }
        return s;
    }();
    return *set;
}

/// How much one reading of the sample looks like Chinese text.
struct Tally {
    qint64 common = 0; ///< common Chinese characters
    qint64 bad = 0;    ///< undecodable bytes, private-use and control characters
    qint64 bytes = 0;  ///< sample bytes read

    /// Evidence for this reading: each bad character outweighs two common ones, so that a
    /// wrong reading that happens to give some common characters still loses.
    qint64 points() const { return common - 2 * bad; }
    /// Points per byte: comparable between readings of samples of different lengths.
    double rate() const { return bytes > 0 ? double(points()) / double(bytes) : 0.0; }
    /// Plainly the right reading: Chinese text, hardly a bad character. No wrong reading of
    /// Chinese text comes near this (Big5 read as GBK gives a private-use character in every few,
    /// UTF-8 and GBK read as each other undecodable bytes), so the other readings need no count.
    bool clean() const { return points() >= 12 && bad * 50 <= common && rate() >= 0.05; }
};

Tally tally(Id id, QByteArrayView bytes)
{
    Tally t;
    t.bytes = bytes.size();
    const QString text = TextCodec::forId(id).decode(bytes);
    // A character cut off by the end of the sample is not held against the reading.
    qsizetype end = text.size();
    for (int i = 0; i < 3 && end > 0 && TextCodec::isEscape(text[end - 1].unicode()); ++i) {
        --end;
    }
    const auto& common = commonHanzi();
    for (const QChar qc : QStringView(text).first(end)) {
        const char16_t c = qc.unicode();
        if (c < 0x20) {
            // NUL and other controls appear in no novel; tab, line and page ends do.
            if (c != u'\t' && c != u'\n' && c != u'\r' && c != u'\f' && c != 0x1A) {
                ++t.bad;
            }
        } else if (c < 0x80) {
            continue;
        } else if ((c >= 0xE000 && c <= 0xF8FF) || c == 0xFFFD) { // private use, escapes included
            ++t.bad;
        } else if (common[c]) {
            ++t.common;
        }
    }
    return t;
}

/// ICU's confidence (0..100) for each encoding we can read, by Id.
struct LibraryView {
    int confidence[6] = {};
};

LibraryView askLibrary(QByteArrayView bytes)
{
    LibraryView view;
    UErrorCode status = U_ZERO_ERROR;
    using Detector = std::unique_ptr<UCharsetDetector, void (*)(UCharsetDetector*)>;
    const Detector detector(ucsdet_open(&status), ucsdet_close);
    if (U_FAILURE(status) || !detector) {
        return view;
    }
    ucsdet_setText(detector.get(), bytes.data(), int32_t(bytes.size()), &status);
    int32_t count = 0;
    const UCharsetMatch** matches = ucsdet_detectAll(detector.get(), &count, &status);
    if (U_FAILURE(status)) {
        return view;
    }
    static const std::pair<const char*, Id> names[] = {
        {"UTF-8", TextCodec::Utf8},       {"GB18030", TextCodec::Gb18030},   {"Big5", TextCodec::Big5},
        {"UTF-16LE", TextCodec::Utf16LE}, {"UTF-16BE", TextCodec::Utf16BE},
    };
    for (int32_t i = 0; i < count; ++i) {
        UErrorCode s = U_ZERO_ERROR;
        const char* name = ucsdet_getName(matches[i], &s);
        const int confidence = ucsdet_getConfidence(matches[i], &s);
        if (U_FAILURE(s) || !name) {
            continue;
        }
        for (const auto& [key, id] : names) {
            if (qstrcmp(name, key) == 0 && confidence > view.confidence[id]) {
                view.confidence[id] = confidence;
            }
        }
    }
    return view;
}

bool plainAscii(QByteArrayView bytes)
{
    for (const char c : bytes) {
        if (uchar(c) >= 0x80 || c == '\0') {
            return false;
        }
    }
    return true;
}

// Valid UTF-8 with multi-byte characters: GBK and Big5 text is not, beyond a few characters
// (their trail bytes are rarely continuation bytes), whatever characters the text holds. A stray
// bad byte in a long text is tolerated.
bool shapedLikeUtf8(QByteArrayView bytes)
{
    qsizetype wide = 0;
    qsizetype invalid = 0;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        const int more = c >= 0xC2 && c <= 0xDF ? 1 : c >= 0xE0 && c <= 0xEF ? 2 : c >= 0xF0 && c <= 0xF4 ? 3 : -1;
        if (more < 0) {
            ++invalid;
            ++i;
            continue;
        }
        if (i + more >= n) {
            break; // cut off by the end of the sample
        }
        int k = 1;
        while (k <= more && (p[i + k] & 0xC0) == 0x80) {
            ++k;
        }
        if (k <= more) {
            ++invalid;
            ++i;
            continue;
        }
        ++wide;
        i += more + 1;
    }
    return wide >= 4 && invalid * 200 <= wide;
}

// UTF-16 text: line ends are units of their own (a zero byte beside the line-end byte, at a
// unit's place) or, in a text without them, zero bytes are many (its ASCII). A stray NUL in a
// byte encoding is neither.
bool shapedLikeUtf16(QByteArrayView head)
{
    qsizetype littleEnds = 0;
    qsizetype bigEnds = 0;
    qsizetype zeros = 0;
    for (qsizetype i = 0; i + 1 < head.size(); i += 2) {
        const char a = head[i];
        const char b = head[i + 1];
        littleEnds += a == '\n' && b == '\0';
        bigEnds += a == '\0' && b == '\n';
        zeros += (a == '\0') + (b == '\0');
    }
    const bool crLf = head.contains(QByteArrayView("\r\0\n\0", 4)) || head.contains(QByteArrayView("\0\r\0\n", 4));
    return std::max(littleEnds, bigEnds) >= 2 || crLf || zeros * 10 >= head.size();
}

/// What each judge found, and the verdict. The library is not asked when our count is decisive.
struct Verdict {
    Id ours = TextCodec::Gb18030;   ///< the reading our count prefers
    bool decisive = false;          ///< ... by a wide margin
    Id theirs = TextCodec::Gb18030; ///< the library's first choice among our encodings
    bool confident = false;         ///< ... with high confidence, well ahead of the next
    Id id = TextCodec::Gb18030;
};

Verdict judge(QByteArrayView head, QByteArrayView sample)
{
    Verdict v;
    // Our own count, for the candidates in this order until one reads cleanly (so that a GBK
    // novel does not build the Big5 tables). UTF-16 is judged on the head alone: the slices of
    // the rest are cut at line ends found byte by byte, which says nothing about two-byte units.
    static constexpr Id candidates[] = {TextCodec::Gb18030, TextCodec::Utf8, TextCodec::Big5,
                                        TextCodec::Utf16LE, TextCodec::Utf16BE};
    // Text in UTF-16 has line ends and ASCII, so zero bytes; without one, two bytes of ASCII
    // would read as a Chinese character.
    const bool wide = shapedLikeUtf16(head);
    Tally tallies[6];
    for (Id id : candidates) {
        if (twoByteUnits(id)) {
            tallies[id] = wide ? tally(id, head) : Tally{0, 1, 1};
        } else {
            tallies[id] = tally(id, sample);
        }
        if (tallies[id].clean()) {
            break;
        }
    }
    Id runnerUp = TextCodec::Utf8;
    for (Id id : candidates) {
        if (tallies[id].rate() > tallies[v.ours].rate()) {
            runnerUp = v.ours;
            v.ours = id;
        } else if (id != v.ours && tallies[id].rate() > tallies[runnerUp].rate()) {
            runnerUp = id;
        }
    }
    const Tally& best = tallies[v.ours];
    const Tally& second = tallies[runnerUp];
    // Decisive: enough common characters, and well ahead of every other reading.
    v.decisive = best.points() >= 12 && best.rate() >= 2 * std::max(0.0, second.rate()) + 0.02;
    if (v.decisive) {
        // The library could not change the verdict, and asking it costs milliseconds.
        v.id = v.ours;
        return v;
    }

    // The library's window starts at the line of the first non-ASCII byte, so that an English
    // preface does not fill it; UTF-16 text is handed over from its start.
    QByteArrayView window = sample;
    if (!wide) {
        qsizetype first = 0;
        while (first < window.size() && uchar(window[first]) < 0x80) {
            ++first;
        }
        const qsizetype lineStart = QByteArrayView(window).first(first).lastIndexOf('\n') + 1;
        window = window.sliced(lineStart);
    }
    const LibraryView library = askLibrary(window.first(std::min(window.size(), LibraryWindow)));
    int top = 0, next = 0;
    for (Id id : candidates) {
        const int c = twoByteUnits(id) && !wide ? 0 : library.confidence[id];
        if (c > top) {
            next = top;
            top = c;
            v.theirs = id;
        } else if (c > next) {
            next = c;
        }
    }
    v.confident = top >= 90 && top - next >= 20;

    // The library's confidence grows with the common characters it finds, not with the share of
    // the text they make, so on short or mostly-ASCII samples it can be sure of a reading that
    // gives more bad characters than ours: that reading is not taken.
    if (v.confident && tallies[v.theirs].bad <= best.bad) {
        v.id = v.theirs;
    } else if (best.rate() > second.rate()) {
        v.id = v.ours; // little evidence, but more than the library has on so little text
    } else {
        v.id = top > 0 ? v.theirs : TextCodec::Gb18030;
    }
    return v;
}

} // namespace

TextCodec::Id TextCodec::detect(QByteArrayView head, QByteArrayView more, int* bomLength)
{
    *bomLength = 0;
    for (Id id : {Utf8, Utf16LE, Utf16BE}) {
        if (const int n = TextCodec::bomLength(id, head)) {
            *bomLength = n;
            return id;
        }
    }
    QByteArray joined;
    QByteArrayView sample = head;
    if (!more.isEmpty()) {
        joined.reserve(head.size() + 1 + more.size());
        joined.append(head).append('\n').append(more);
        sample = joined;
    }
    // Nothing to tell the Chinese encodings apart: read as the GB family, of which ASCII is a part.
    if (plainAscii(sample)) {
        return Gb18030;
    }
    if (shapedLikeUtf8(sample)) {
        return Utf8;
    }
    return judge(head, sample).id;
}

bool TextCodec::readSample(QIODevice& file, QByteArray* head, QByteArray* more)
{
    head->clear();
    more->clear();
    const qint64 size = file.size();
    // A small file is read whole; a large one at its start and in slices spread evenly over the
    // rest, so that detection reads the same few hundred kilobytes whatever the file's size.
    const qint64 whole = HeadSize + SliceCount * SliceSize;
    if (!file.isSequential() && !file.seek(0)) {
        return false;
    }
    if (file.isSequential() || size <= whole) {
        *head = file.read(whole);
        return !head->isEmpty() || size == 0;
    }
    *head = file.read(HeadSize);
    if (head->isEmpty()) {
        return false;
    }
    const qint64 span = size - HeadSize - SliceSize;
    for (int i = 1; i <= SliceCount; ++i) {
        if (!file.seek(HeadSize + span * i / SliceCount)) {
            break;
        }
        const QByteArray slice = file.read(SliceSize);
        // Whole lines only: a slice that starts inside a character would count against the
        // right reading. A slice without a line end is dropped.
        const qsizetype first = slice.indexOf('\n');
        const qsizetype last = slice.lastIndexOf('\n');
        if (first >= 0 && last > first) {
            more->append(QByteArrayView(slice).sliced(first + 1, last - first));
        }
    }
    return true;
}
