#include "RepeatedChapters.h"

#include "core/ByteSearch.h"
#include "core/Document.h"
#include "core/TextCodec.h"

#include <QFile>
#include <QHash>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>
#include <tuple>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Appends the line's characters without blanks (space, tab, U+3000, U+00A0) and returns how
// many were kept. The byte encodings are walked character by character without decoding,
// which costs a fraction of it; UTF-16 is decoded.
qsizetype appendWithoutBlanks(const TextCodec& codec, QByteArrayView line, QByteArray& bytes, QString& text)
{
    const auto* p = reinterpret_cast<const unsigned char*>(line.data());
    const qsizetype n = line.size();
    qsizetype kept = 0;
    // Written through a pointer into room made once: appending byte by byte costs more than the rest.
    bytes.resize(std::max<qsizetype>(bytes.size(), 2 * n + 8));
    char* out = bytes.data();
    char* const start = out;
    auto put = [&out](const void* from, qsizetype len) {
        std::memcpy(out, from, size_t(len));
        out += len;
    };
    switch (codec.id()) {
    case TextCodec::Utf8:
        for (qsizetype i = 0; i < n;) {
            const unsigned char c = p[i];
            if (c < 0x80) {
                if (c != ' ' && c != '\t') {
                    *out++ = char(c);
                    ++kept;
                }
                ++i;
                continue;
            }
            if ((c == 0xE3 && i + 2 < n && p[i + 1] == 0x80 && p[i + 2] == 0x80)) {
                i += 3;
                continue;
            }
            if (c == 0xC2 && i + 1 < n && p[i + 1] == 0xA0) {
                i += 2;
                continue;
            }
            // A character is its lead byte and the continuation bytes after it.
            *out++ = char(c);
            ++i;
            while (i < n && (p[i] & 0xC0) == 0x80) {
                *out++ = char(p[i++]);
            }
            ++kept;
        }
        bytes.truncate(out - start);
        return kept;
    case TextCodec::Gbk:
    case TextCodec::Gb18030:
    case TextCodec::Big5: {
        const unsigned char spaceTrail = codec.id() == TextCodec::Big5 ? 0x40 : 0xA1;
        const bool fourByte = codec.id() != TextCodec::Big5;
        for (qsizetype i = 0; i < n;) {
            const unsigned char c = p[i];
            if (c < 0x81 || i + 1 >= n) {
                if (c != ' ' && c != '\t') {
                    *out++ = char(c);
                    ++kept;
                }
                ++i;
                continue;
            }
            const unsigned char t = p[i + 1];
            if (fourByte && t >= 0x30 && t <= 0x39 && i + 3 < n) {
                // 81 30 84 32 is U+00A0, a blank as in the other encodings.
                if (!(c == 0x81 && t == 0x30 && p[i + 2] == 0x84 && p[i + 3] == 0x32)) {
                    std::memcpy(out, p + i, 4);
                    out += 4;
                    ++kept;
                }
                i += 4;
                continue;
            }
            if (!(c == 0xA1 && t == spaceTrail)) {
                out[0] = char(c);
                out[1] = char(t);
                out += 2;
                ++kept;
            }
            i += 2;
        }
        bytes.truncate(out - start);
        return kept;
    }
    default:
        codec.decode(line.data(), line.size(), text);
        bytes.resize(std::max<qsizetype>(bytes.size(), 2 * text.size() + 8));
        out = bytes.data();
        for (QChar c : std::as_const(text)) {
            if (c != u' ' && c != u'\t' && c != QChar(0x3000) && c != QChar(0xA0)) {
                put(&c, 2);
                ++kept;
            }
        }
        bytes.truncate(out - bytes.data());
        return kept;
    }
}

} // namespace

namespace {

// Bodies under this many characters ("正文", "待续") are alike by chance, not scraped twice.
constexpr qsizetype MinBody = 20;
// Two chained 64-bit hashes with different seeds: 128 bits, at memory speed.
constexpr size_t SeedA = 0x9E3779B97F4A7C15ull;
constexpr size_t SeedB = 0xC2B2AE3D27D4EB4Full;
// Kept bytes at each end of a body that its fingerprint covers: chapters that are not copies
// of each other nearly always differ in their first or last lines. Bodies whose ends match
// are read whole, so this decides only how much is read, never the answer.
constexpr qsizetype EndBytes = 128;
// What is read at either end of a body the analysis left no note of: the title line and a
// few lines.
constexpr qint64 Window = 2048;
// Bytes between two windows that are read rather than skipped: a read costs more.
constexpr qint64 Gap = 4096;
constexpr qint64 MaxChunk = 1 << 20;

/// A body's lines without blanks, hashed one after the other (a line break counts, so that
/// "ab/cd" and "abc/d" differ).
struct BodyHash {
    size_t a = SeedA;
    size_t b = SeedB;
    qsizetype chars = 0;

    void add(QByteArrayView kept, qsizetype n)
    {
        a = qHashBits(kept.data(), size_t(kept.size()), a);
        b = qHashBits(kept.data(), size_t(kept.size()), b ^ size_t(kept.size()));
        chars += n;
    }
};

/// What is known of a kept chapter's body. A body of fewer than EndBytes kept bytes is known
/// whole, a longer one by its ends, whichever way it was read: two copies of a body always get
/// the same kind and print.
enum class Kind : quint8 {
    Unknown, ///< not looked at yet
    Short,   ///< too short to be a repeat
    Whole,   ///< the print is its BodyHash
    Ends     ///< the print hashes its first and last EndBytes kept bytes
};

struct Print {
    size_t a = 0;
    size_t b = 0;
};

/// A quick hash of EndBytes bytes. Ends that happen to hash alike only cost a reading of the
/// bodies, never a wrong answer.
size_t endsHash(const char* p, size_t seed)
{
    static_assert(EndBytes % 8 == 0);
    quint64 h = seed;
    for (qsizetype i = 0; i < EndBytes; i += 8) {
        quint64 w;
        std::memcpy(&w, p + i, 8);
        h = (h ^ w) * 0x9E3779B97F4A7C15ull;
        h ^= h >> 29;
    }
    return size_t(h);
}

/// The end of the first line in [p, e): where the body after a title line starts.
const char* afterFirstLine(const char* p, const char* e)
{
    return findLineBreak(p, e);
}

/// Where the last line of [b, e) that a line break ends ends (just after the break); `b` when
/// no line break is there.
const char* afterLastBreak(const char* b, const char* e)
{
    const char* last = findLastLineBreak(b, e);
    return last ? last + 1 : b;
}

/// Lines of a novel's bytes with their blanks removed, each line on its own (line ends are
/// blanks too), and the prints made of them.
class Stripper {
public:
    Stripper(const TextCodec& codec, QByteArray& kept, QString& text) : m_codec(codec), m_kept(kept), m_text(text) {}

    /// Hands `piece` the kept bytes of every line in [p, e), in order, until it says false;
    /// lines without a kept character are left out. False when stopped.
    template <typename Piece> bool eachLine(const char* p, const char* e, Piece&& piece)
    {
        for (;;) {
            const char* i = findLineBreak(p, e);
            if (i > p) {
                const qsizetype n = appendWithoutBlanks(m_codec, QByteArrayView(p, i - p), m_kept, m_text);
                if (n > 0 && !piece(QByteArrayView(m_kept), n)) {
                    return false;
                }
            }
            if (i == e) {
                return true;
            }
            p = i + 1;
        }
    }

    /// The print of a body held whole, [b, e) from its title line on.
    Kind print(const char* b, const char* e, Print* print)
    {
        const char* body = afterFirstLine(b, e);
        m_filled = 0;
        if (eachLine(body, e, [this](QByteArrayView kept, qsizetype) { return fillHead(kept); })) {
            // Short enough to hash whole (most bodies are not).
            BodyHash whole;
            eachLine(body, e, [&whole](QByteArrayView kept, qsizetype chars) {
                whole.add(kept, chars);
                return true;
            });
            *print = {whole.a, whole.b};
            return whole.chars < MinBody ? Kind::Short : Kind::Whole;
        }
        const size_t head = endsHash(m_ends, SeedA);
        size_t tail = 0;
        tailOf(body + 1, e, false, &tail); // holds EndBytes: the head did
        *print = {head, tail};
        return Kind::Ends;
    }

    /// The hash of the first EndBytes kept bytes after the title line, from the whole lines of
    /// the window [b, e) at a body's start; false when they are not all there.
    bool headOf(const char* b, const char* e, size_t* hash)
    {
        const char* end = afterLastBreak(b, e); // a line the window cuts is not used
        m_filled = 0;
        eachLine(afterFirstLine(b, end), end, [this](QByteArrayView kept, qsizetype) { return fillHead(kept); });
        if (m_filled < EndBytes) {
            return false;
        }
        *hash = endsHash(m_ends, SeedA);
        return true;
    }

    /// The hash of the last EndBytes kept bytes of the lines in [b, e), taken line by line from
    /// the end; false when there are not that many. With `firstCut` the line at `b` (which a
    /// window may cut) is never used.
    bool tailOf(const char* b, const char* e, bool firstCut, size_t* hash)
    {
        m_filled = 0; // written backwards from the end of m_ends
        const char* end = e;
        while (m_filled < EndBytes) {
            const char* start = afterLastBreak(b, end);
            if (start == b && firstCut) {
                return false;
            }
            if (start < end) {
                const qsizetype n = appendWithoutBlanks(m_codec, QByteArrayView(start, end - start), m_kept, m_text);
                if (n > 0) {
                    const qsizetype take = std::min(m_kept.size(), EndBytes - m_filled);
                    m_filled += take;
                    std::memcpy(m_ends + EndBytes - m_filled, m_kept.constData() + m_kept.size() - take, size_t(take));
                }
            }
            if (start == b) {
                break;
            }
            end = start - 1;
        }
        if (m_filled < EndBytes) {
            return false;
        }
        *hash = endsHash(m_ends, SeedB);
        return true;
    }

private:
    /// Adds kept bytes to the first EndBytes; false once they are all there.
    bool fillHead(QByteArrayView kept)
    {
        const qsizetype take = std::min(kept.size(), EndBytes - m_filled);
        std::memcpy(m_ends + m_filled, kept.data(), size_t(take));
        m_filled += take;
        return m_filled < EndBytes;
    }

    const TextCodec& m_codec;
    QByteArray& m_kept;
    QString& m_text;
    char m_ends[EndBytes]; // the first or last kept bytes of a body
    qsizetype m_filled = 0;
};

/// The kept chapters' bodies: chapter k runs from its title line to the next kept title.
struct Bodies {
    const QVector<qint64>& titleOffsets;
    const QList<QPair<qint32, int>>& kept;
    qint64 fileEnd;

    qint64 from(qsizetype k) const { return titleOffsets[kept[k].second]; }
    qint64 to(qsizetype k) const { return std::max(from(k), k + 1 < kept.size() ? from(k + 1) : fileEnd); }
};

/// The stretches of the file to read to know the bodies of some chapters (in file order), in
/// file order: a short body whole, a longer one a window at its start and one at its end.
class Needs {
public:
    enum Part : quint8 { WholeBody, Head, Tail };
    struct Need {
        qint64 from = 0;
        qint64 to = 0;
        qsizetype k = 0;
        Part part = WholeBody;
    };

    Needs(const Bodies& bodies, const qsizetype* first, const qsizetype* last)
        : m_bodies(bodies), m_at(first), m_last(last)
    {
    }

    bool next(Need* n)
    {
        if (m_at == m_last) {
            return false;
        }
        const qsizetype k = *m_at;
        const qint64 from = m_bodies.from(k);
        const qint64 to = m_bodies.to(k);
        if (to - from <= 2 * Window) {
            *n = {from, to, k, WholeBody};
            ++m_at;
        } else if (!m_tail) {
            *n = {from, from + Window, k, Head};
            m_tail = true;
        } else {
            *n = {to - Window, to, k, Tail};
            m_tail = false;
            ++m_at;
        }
        return true;
    }

private:
    const Bodies& m_bodies;
    const qsizetype* m_at;
    const qsizetype* m_last;
    bool m_tail = false;
};

enum class Walk { Ended, Stopped, Failed };

/// Reads the bodies of the byte encodings from the open novel by offset, without splitting
/// them into lines first. One reader per thread; the file is shared.
class BodyReader {
public:
    BodyReader(int fd, const TextCodec& codec) : m_fd(fd), m_strip(codec, m_kept, m_text) {}

    /// Looks at the bodies of the chapters [first, last) (in file order): the end of one body
    /// and the start of the next come in one read, and short bodies are read whole. A body
    /// whose windows do not hold its ends (a line longer than a window) stays Unknown.
    bool lookAtEnds(const Bodies& bodies, const qsizetype* first, const qsizetype* last, Print* print, Kind* kind)
    {
        Needs needs(bodies, first, last);
        Needs::Need n;
        qint64 spanFrom = 0;
        qint64 spanTo = 0;
        size_t head = 0;
        bool headKnown = false;
        while (needs.next(&n)) {
            if (n.from < spanFrom || n.to > spanTo) {
                // One read for this window and those that follow it closely.
                spanFrom = n.from;
                spanTo = n.to;
                Needs ahead = needs;
                Needs::Need m;
                while (ahead.next(&m) && m.from - spanTo <= Gap && m.to - spanFrom <= MaxChunk) {
                    spanTo = std::max(spanTo, m.to);
                }
                m_buf.resize(spanTo - spanFrom);
                if (!readFully(m_buf.data(), spanTo - spanFrom, spanFrom)) {
                    return false;
                }
            }
            const char* const b = m_buf.constData() + (n.from - spanFrom);
            const char* const e = b + (n.to - n.from);
            switch (n.part) {
            case Needs::WholeBody:
                kind[n.k] = m_strip.print(b, e, print + n.k);
                break;
            case Needs::Head:
                headKnown = m_strip.headOf(b, e, &head);
                break;
            case Needs::Tail: {
                size_t tail = 0;
                if (headKnown && m_strip.tailOf(b, e, true, &tail)) {
                    print[n.k] = {head, tail};
                    kind[n.k] = Kind::Ends;
                }
                headKnown = false;
                break;
            }
            }
        }
        return true;
    }

    /// Both ends of the body [from, to) (from its title line on), reading as far as it takes.
    Walk look(qint64 from, qint64 to, Print* print, Kind* kind)
    {
        BodyHash whole;
        m_head.clear();
        const Walk head = walk(from, to, Window, [&](QByteArrayView kept, qsizetype chars) {
            whole.add(kept, chars);
            m_head.append(kept.first(std::min(kept.size(), EndBytes - m_head.size())));
            return m_head.size() < EndBytes;
        });
        if (head == Walk::Failed) {
            return head;
        }
        if (head == Walk::Ended) {
            *print = {whole.a, whole.b};
            *kind = whole.chars < MinBody ? Kind::Short : Kind::Whole;
            return head;
        }
        // The end: from the first line that starts inside a window before it, widened until
        // the window holds EndBytes kept bytes (or the whole body).
        for (qint64 window = Window;; window *= 4) {
            const qint64 start = std::max(from, to - window);
            m_tail.clear();
            const Walk tail = walk(start, to, window, [this](QByteArrayView kept, qsizetype) {
                m_tail.append(kept);
                if (m_tail.size() > 8 * EndBytes) {
                    m_tail.remove(0, m_tail.size() - EndBytes);
                }
                return true;
            });
            if (tail == Walk::Failed) {
                return tail;
            }
            if (m_tail.size() >= EndBytes || start == from) {
                break;
            }
        }
        *print = {endsHash(m_head.constData(), SeedA), endsHash(m_tail.constData() + m_tail.size() - EndBytes, SeedB)};
        *kind = Kind::Ends;
        return Walk::Ended;
    }

    /// The whole body [from, to) read and hashed.
    Walk hash(qint64 from, qint64 to, Print* print, Kind* kind)
    {
        BodyHash whole;
        const Walk w = walk(from, to, MaxChunk, [&whole](QByteArrayView kept, qsizetype chars) {
            whole.add(kept, chars);
            return true;
        });
        *print = {whole.a, whole.b};
        *kind = whole.chars < MinBody ? Kind::Short : Kind::Whole;
        return w;
    }

private:
    bool readFully(char* to, qint64 size, qint64 offset) const
    {
        while (size > 0) {
            const ssize_t n = ::pread(m_fd, to, size_t(size), offset);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                return false; // an error, or the file has shrunk since it was analysed
            }
            to += n;
            offset += n;
            size -= n;
        }
        return true;
    }

    /// Hands `piece` the kept bytes of every line of [from, to) after the first line end, in
    /// order, until it says false. A line is handed whole wherever the reads end, so a
    /// character is never cut. Reads start at `chunk` bytes and double up to MaxChunk.
    template <typename Piece> Walk walk(qint64 from, qint64 to, qint64 chunk, Piece&& piece)
    {
        qsizetype held = 0; // a line cut by the last read, at the start of m_buf
        bool firstLine = true;
        while (from < to) {
            const qint64 want = std::min(chunk, to - from);
            chunk = std::min(2 * chunk, MaxChunk);
            if (m_buf.size() < held + want) {
                m_buf.resize(held + want);
            }
            if (!readFully(m_buf.data() + held, want, from)) {
                return Walk::Failed;
            }
            from += want;
            held += want;
            const char* const d = m_buf.constData();
            const char* p = d;
            if (firstLine) {
                // The body starts after the title line's end (or the line the window cut).
                p = afterFirstLine(d, d + held);
                if (p == d + held) {
                    held = 0;
                    continue;
                }
                firstLine = false;
            }
            // A line cut by the read's end waits for the rest.
            const char* stop = from < to ? afterLastBreak(p, d + held) : d + held;
            if (!m_strip.eachLine(p, stop, piece)) {
                return Walk::Stopped;
            }
            held -= stop - d;
            std::memmove(m_buf.data(), stop, size_t(held));
        }
        return Walk::Ended;
    }

    const int m_fd;
    QByteArray m_kept;
    QString m_text;
    Stripper m_strip;
    QByteArray m_buf;
    QByteArray m_head;
    QByteArray m_tail;
};

/// A file descriptor, closed when it goes.
struct Descriptor {
    const int fd;
    explicit Descriptor(int f) : fd(f) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor()
    {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

// Work on the items [0, count) in two halves on two threads when there are enough of them to pay
// for the thread; `work(first, last)` says false on failure.
template <typename Work> bool inTwoHalves(qsizetype count, qsizetype enough, Work&& work)
{
    if (count < enough) {
        return work(qsizetype(0), count);
    }
    const qsizetype half = count / 2;
    bool secondOk = true;
    std::thread second([&] { secondOk = work(half, count); });
    const bool firstOk = work(qsizetype(0), half);
    second.join();
    return firstOk && secondOk;
}

// The byte encodings: a body is known from the analysis's note of it, else from a look at its
// ends; only bodies whose ends match another's are read whole. False when the novel cannot be
// read this way.
bool findByBytes(Document& doc, const QList<QPair<qint32, int>>& kept, QVector<qint32>& sameAs)
{
    if (doc.codec().unitSize() != 1) {
        return false;
    }
    for (const auto& [line, record] : kept) {
        if (record >= doc.TitleOffsets.size()) {
            return false;
        }
    }
    // The file the document has open, even if its name now stands for another one.
    const Descriptor file(::open(QFile::encodeName(doc.reader().openFilePath()).constData(), O_RDONLY | O_CLOEXEC));
    const int fd = file.fd;
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        return false;
    }
    const Bodies bodies{doc.TitleOffsets, kept, qint64(st.st_size)};
    const TextCodec& codec = doc.codec();

    QVector<Print> prints(kept.size());
    QVector<Kind> kinds(kept.size(), Kind::Unknown);
    Print* const print = prints.data();
    Kind* const kind = kinds.data();
    // The notes, in file order, of bodies that run from one title to the next: valid for a kept
    // chapter that runs just as far (no ignored title inside it).
    QVector<qsizetype> unknown;
    {
        const QVector<BodyNote>& notes = doc.BodyNotes;
        qsizetype n = 0;
        for (qsizetype k = 0; k < kept.size(); ++k) {
            const qint64 from = bodies.from(k);
            while (n < notes.size() && notes[n].from < from) {
                ++n;
            }
            if (n < notes.size() && notes[n].from == from && notes[n].to == bodies.to(k)) {
                print[k] = {notes[n].a, notes[n].b};
                kind[k] = notes[n].whole ? Kind::Whole : Kind::Ends;
            } else {
                unknown.append(k);
            }
        }
    }
    const qsizetype* const todo = unknown.constData();
    const bool looked = inTwoHalves(unknown.size(), 64, [&](qsizetype first, qsizetype last) {
        BodyReader reader(fd, codec);
        if (!reader.lookAtEnds(bodies, todo + first, todo + last, print, kind)) {
            return false;
        }
        // Ends that the windows did not hold: read as far as it takes.
        for (qsizetype i = first; i < last; ++i) {
            const qsizetype k = todo[i];
            if (kind[k] == Kind::Unknown
                && reader.look(bodies.from(k), bodies.to(k), print + k, kind + k) == Walk::Failed) {
                return false;
            }
        }
        return true;
    });
    if (!looked) {
        return false;
    }
    // Bodies whose ends no other body shares are no repeats; the others are read whole.
    QVector<qsizetype> alike;
    {
        QVector<std::pair<Print, qsizetype>> ends;
        for (qsizetype k = 0; k < kept.size(); ++k) {
            if (kind[k] == Kind::Ends) {
                ends.append({print[k], k});
            }
        }
        auto key = [](const std::pair<Print, qsizetype>& e) { return std::tie(e.first.a, e.first.b); };
        std::sort(ends.begin(), ends.end(), [&key](const auto& x, const auto& y) { return key(x) < key(y); });
        for (qsizetype i = 0; i < ends.size(); ++i) {
            if ((i > 0 && key(ends[i - 1]) == key(ends[i])) || (i + 1 < ends.size() && key(ends[i + 1]) == key(ends[i]))) {
                alike.append(ends[i].second);
            }
        }
        std::sort(alike.begin(), alike.end()); // file order, for reading
    }
    const bool hashed = inTwoHalves(alike.size(), 2, [&](qsizetype first, qsizetype last) {
        BodyReader reader(fd, codec);
        for (qsizetype i = first; i < last; ++i) {
            const qsizetype k = alike[i];
            if (reader.hash(bodies.from(k), bodies.to(k), print + k, kind + k) == Walk::Failed) {
                return false;
            }
        }
        return true;
    });
    if (!hashed) {
        return false;
    }
    QHash<QPair<size_t, size_t>, qint32> firstWith; // body hash -> title line
    for (qsizetype k = 0; k < kept.size(); ++k) {
        if (kind[k] != Kind::Whole) {
            continue;
        }
        const auto it = firstWith.constFind({print[k].a, print[k].b});
        if (it == firstWith.cend()) {
            firstWith.insert({print[k].a, print[k].b}, kept[k].first);
        } else {
            sameAs[kept[k].second] = *it;
        }
    }
    return true;
}

} // namespace

void BodyNoteTaker::note(qint64 from, QByteArrayView bytes, QVector<BodyNote>& notes)
{
    if (m_codec.unitSize() != 1) {
        return;
    }
    Print print;
    const Kind kind = Stripper(m_codec, m_kept, m_text).print(bytes.data(), bytes.data() + bytes.size(), &print);
    if (kind != Kind::Short) {
        notes.append({from, from + bytes.size(), print.a, print.b, kind == Kind::Whole});
    }
}

QVector<qint32> findRepeatedChapters(Document& doc)
{
    const ChapterModel& model = doc.model();
    QVector<qint32> sameAs(model.recordCount(), 0);
    QList<QPair<qint32, int>> kept; // title line, record
    for (int row = 0; row < model.rowCount(); ++row) {
        if (!model.isChecked(row)) {
            kept.append({model.chapline().at(model.tag(row)), model.tag(row)});
        }
    }
    std::sort(kept.begin(), kept.end());
    if (kept.size() < 2) {
        return sameAs;
    }
    if (findByBytes(doc, kept, sameAs)) {
        return sameAs;
    }
    // UTF-16, or a novel the byte walk could not read: line by line, every line decoded.
    QHash<QPair<size_t, size_t>, qint32> firstWith; // body hash -> title line
    LineReader& reader = doc.reader();
    if (!reader.rewind()) {
        return sameAs;
    }
    size_t a = SeedA;
    size_t b = SeedB;
    QByteArrayView line, terminator;
    QByteArray bytes;
    QString text;
    qint64 lineNo = 0;
    int current = -1;
    qsizetype bodySize = 0;
    auto finish = [&] {
        // Short bodies ("正文", "待续") are alike by chance, not scraped twice.
        if (current >= 0 && bodySize >= MinBody) {
            const QPair<size_t, size_t> h{a, b};
            const auto it = firstWith.constFind(h);
            if (it == firstWith.cend()) {
                firstWith.insert(h, kept[current].first);
            } else {
                sameAs[kept[current].second] = *it;
            }
        }
        a = SeedA;
        b = SeedB;
        bodySize = 0;
    };
    const TextCodec& codec = doc.codec();
    while (reader.next(line, terminator) == LineReader::Line) {
        ++lineNo;
        if (current + 1 < kept.size() && kept[current + 1].first == lineNo) {
            finish();
            ++current;
            continue;
        }
        if (current < 0) {
            continue;
        }
        // Re-scraped copies differ in indents and spacing, not in words.
        const qsizetype chars = appendWithoutBlanks(codec, line, bytes, text);
        if (chars > 0) {
            a = qHashBits(bytes.constData(), size_t(bytes.size()), a);
            b = qHashBits(bytes.constData(), size_t(bytes.size()), b ^ size_t(bytes.size()));
            bodySize += chars;
        }
    }
    finish();
    reader.rewind();
    return sameAs;
}
