#include "Kf8Container.h"

#include "azw3/Kf8Index.h"
#include "azw3/Kf8Text.h"
#include "config/SystemError.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr quint32 None = 0xFFFFFFFFu;
constexpr int MobiHeaderLength = 264;

// Places in `at`: the records the header record points to.
enum Place { FirstNonText, Fragments, Skeletons, Ncx, FirstImage, Fdst, Flis, Fcis, PlaceCount };

void putExth(QByteArray& out, int& count, quint32 type, const QByteArray& data)
{
    putU32(out, type);
    putU32(out, quint32(8 + data.size()));
    out += data;
    ++count;
}

QByteArray u32(quint32 v)
{
    QByteArray b;
    putU32(b, v);
    return b;
}

// The database's name: the title's letters and digits that ASCII holds, else a name from the
// identifier (the reader shows the title from the header record, not from here).
QByteArray databaseName(const Kf8Meta& meta)
{
    QByteArray name;
    for (QChar c : meta.title) {
        if (c.unicode() < 0x80 && (c.isLetterOrNumber() || c == u'-')) {
            name.append(char(c.unicode()));
        } else if (!name.isEmpty() && !name.endsWith('_')) {
            name.append('_');
        }
    }
    while (name.endsWith('_')) {
        name.chop(1);
    }
    if (name.isEmpty()) {
        name = "book_" + QCryptographicHash::hash(meta.uid.toUtf8(), QCryptographicHash::Sha1).toHex().left(8);
    }
    return name.left(31);
}

QByteArray fdstRecord(const Kf8Text& text)
{
    QByteArray r("FDST");
    putU32(r, 12);
    putU32(r, quint32(text.flows().size()));
    for (const auto& flow : text.flows()) {
        putU32(r, flow.first);
        putU32(r, flow.second);
    }
    return r;
}

QByteArray flisRecord()
{
    QByteArray r("FLIS");
    putU32(r, 8);
    putU16(r, 65);
    putU16(r, 0);
    putU32(r, 0);
    putU32(r, None);
    putU16(r, 1);
    putU16(r, 3);
    putU32(r, 3);
    putU32(r, 1);
    putU32(r, None);
    return r;
}

QByteArray fcisRecord(quint32 textLength)
{
    QByteArray r("FCIS");
    putU32(r, 20);
    putU32(r, 16);
    putU32(r, 1);
    putU32(r, 0);
    putU32(r, textLength);
    putU32(r, 0);
    putU32(r, 32);
    putU32(r, 8);
    putU16(r, 1);
    putU16(r, 1);
    putU32(r, 0);
    return r;
}

// Copies `from` whole to the end of `to` (both flushed): inside the kernel where it can,
// through a buffer where it cannot.
bool copyAll(QFile& from, QFile& to)
{
    const qint64 size = from.size();
    loff_t at = 0;
    while (at < size) {
        const ssize_t n = ::copy_file_range(from.handle(), &at, to.handle(), nullptr, size_t(size - at), 0);
        if (n > 0) {
            continue;
        }
        if (n == 0 || at > 0 || (errno != ENOSYS && errno != EXDEV && errno != EINVAL && errno != EOPNOTSUPP)) {
            return n == 0 ? (errno = EIO, false) : false;
        }
        // Not between these files: the plain way.
        while (!from.atEnd()) {
            const QByteArray piece = from.read(1 << 20);
            if (piece.isEmpty() || to.write(piece) != piece.size()) {
                return false;
            }
        }
        return to.flush();
    }
    // The file's own idea of where it is follows the copy.
    return to.seek(to.size());
}

} // namespace

quint32 Kf8Container::localeOf(const QString& language)
{
    // Language in the low ten bits, the region above them.
    const QString tag = language.toLower();
    if (tag == QLatin1String("zh-tw") || tag == QLatin1String("zh-hant")) {
        return 0x404;
    }
    if (tag == QLatin1String("zh-hk")) {
        return 0xC04;
    }
    if (tag.startsWith(QLatin1String("zh"))) {
        return 0x804;
    }
    if (tag.startsWith(QLatin1String("en"))) {
        return 0x409;
    }
    return 0;
}

QByteArray Kf8Container::headerRecord(const Kf8Text& text, const Kf8Meta& meta, const QList<quint32>& at,
                                      bool thumbnail) const
{
    const QByteArray title = meta.title.toUtf8();
    // EXTH: what the reader shows and files the book by.
    QByteArray records;
    int count = 0;
    if (!meta.author.isEmpty()) {
        putExth(records, count, 100, meta.author.toUtf8());
    }
    if (!meta.description.isEmpty()) {
        putExth(records, count, 103, meta.description.toUtf8());
    }
    putExth(records, count, 106, meta.date.toUTC().toString(Qt::ISODate).toUtf8());
    putExth(records, count, 112, meta.uid.toUtf8());
    putExth(records, count, 125, u32(thumbnail ? 2 : 1)); // resources
    putExth(records, count, 129, QByteArrayLiteral("kindle:embed:0001"));
    putExth(records, count, 201, u32(0)); // the cover: the first image
    if (thumbnail) {
        putExth(records, count, 202, u32(1));
    }
    putExth(records, count, 203, u32(0)); // a real cover
    // The maker, as a KF8 reader expects to find one: the format's own tool, 2.9.
    putExth(records, count, 204, u32(201));
    putExth(records, count, 205, u32(2));
    putExth(records, count, 206, u32(9));
    putExth(records, count, 207, u32(0));
    putExth(records, count, 501, QByteArrayLiteral("EBOK"));
    putExth(records, count, 503, title);
    putExth(records, count, 524, meta.language.toUtf8());
    if (meta.vertical) {
        putExth(records, count, 525, QByteArrayLiteral("vertical-rl"));
        putExth(records, count, 527, QByteArrayLiteral("rtl"));
    }
    QByteArray exth("EXTH");
    putU32(exth, quint32(12 + records.size()));
    putU32(exth, quint32(count));
    exth += records;
    while (exth.size() % 4 != 0) {
        exth.append('\0');
    }

    const quint32 titleAt = quint32(16 + MobiHeaderLength + exth.size());
    const QByteArray uidDigest = QCryptographicHash::hash(meta.uid.toUtf8(), QCryptographicHash::Sha1);
    const quint32 uniqueId = quint32(quint8(uidDigest[0])) << 24 | quint32(quint8(uidDigest[1])) << 16
                             | quint32(quint8(uidDigest[2])) << 8 | quint8(uidDigest[3]);
    QByteArray r;
    // PalmDOC header.
    putU16(r, 2); // PalmDOC compression
    putU16(r, 0);
    putU32(r, text.length());
    putU16(r, quint32(text.recordSizes().size()));
    putU16(r, Kf8Text::RecordSize);
    putU16(r, 0); // no encryption
    putU16(r, 0);
    // MOBI header.
    r += "MOBI";
    putU32(r, MobiHeaderLength);
    putU32(r, 2);     // a book
    putU32(r, 65001); // UTF-8
    putU32(r, uniqueId);
    putU32(r, 8); // KF8
    for (int i = 0; i < 10; ++i) {
        putU32(r, None); // orthographic, inflection, names, keys, extra indices 0-5
    }
    putU32(r, at[FirstNonText]);
    putU32(r, titleAt);
    putU32(r, quint32(title.size()));
    putU32(r, localeOf(meta.language));
    putU32(r, 0); // input language
    putU32(r, 0); // output language
    putU32(r, 8); // the reader's version it needs
    putU32(r, at[FirstImage]);
    putU32(r, 0); // no Huffman records
    putU32(r, 0);
    putU32(r, 0);
    putU32(r, 0);
    putU32(r, 0x50); // EXTH follows
    r.append(QByteArray(32, '\0'));
    putU32(r, None);
    putU32(r, None); // no DRM
    putU32(r, 0);
    putU32(r, 0);
    putU32(r, 0);
    r.append(QByteArray(8, '\0'));
    putU32(r, at[Fdst]);
    putU32(r, quint32(text.flows().size()));
    putU32(r, at[Fcis]);
    putU32(r, 1);
    putU32(r, at[Flis]);
    putU32(r, 1);
    r.append(QByteArray(8, '\0'));
    putU32(r, None); // no source records
    putU32(r, 0);
    putU32(r, None);
    putU32(r, None);
    putU32(r, 1); // text records end with the bytes of a cut character
    putU32(r, at[Ncx]);
    putU32(r, at[Fragments]);
    putU32(r, at[Skeletons]);
    putU32(r, None); // no DATP
    putU32(r, None); // no guide
    while (r.size() < 16 + MobiHeaderLength) {
        putU32(r, None);
    }
    r += exth;
    r += title;
    r.append(QByteArray(4 - r.size() % 4 + 4, '\0')); // the name ends in zeros, the record on a word
    return r;
}

bool Kf8Container::write(const QString& target, Kf8Text& text, const QList<Kf8NcxEntry>& ncx,
                         const QByteArray& cover, const QByteArray& thumbnail, const Kf8Meta& meta)
{
    const QList<quint32>& textSizes = text.recordSizes();
    QList<QByteArray> tail; // the records after the text
    QList<quint32> at(PlaceCount, None);
    const quint32 firstAfterText = quint32(1 + textSizes.size());
    auto place = [&](Place p) { at[p] = firstAfterText + quint32(tail.size()); };
    at[FirstNonText] = firstAfterText;

    // Fragments: where each goes, into which element, of which part.
    {
        IndexStrings selectors;
        IndexTable frag({{2, 1, 0x01}, {3, 1, 0x02}, {4, 1, 0x04}, {6, 2, 0x08}});
        const QList<Kf8Text::Fragment>& fragments = text.fragments();
        // The fragments of a part share their selector.
        quint32 selector = 0;
        for (int i = 0; i < fragments.size(); ++i) {
            const Kf8Text::Fragment& f = fragments[i];
            if (i == 0 || f.part != fragments[i - 1].part) {
                selector = selectors.add("P-//*[@aid='" + kf8Aid(f.part) + "']");
            }
            frag.add(QByteArray::number(f.insertAt).rightJustified(10, '0'),
                     {{selector}, {quint32(f.part)}, {quint32(i)}, {f.offset, f.length}});
        }
        place(Fragments);
        tail += frag.records(selectors);
    }
    {
        IndexTable skel({{1, 1, 0x01}, {6, 2, 0x02}});
        const QList<Kf8Text::Skeleton>& skeletons = text.skeletons();
        for (int i = 0; i < skeletons.size(); ++i) {
            const Kf8Text::Skeleton& s = skeletons[i];
            skel.add("SKEL" + QByteArray::number(i).rightJustified(10, '0'),
                     {{quint32(s.fragments)}, {s.start, s.length}});
        }
        place(Skeletons);
        tail += skel.records(IndexStrings());
    }
    {
        IndexStrings labels;
        IndexTable index({{1, 1, 0x01}, {2, 1, 0x02}, {3, 1, 0x04}, {4, 1, 0x08}, {6, 2, 0x10}, {21, 1, 0x20},
                          {22, 1, 0x40}, {23, 1, 0x80}});
        auto optional = [](int v) { return v >= 0 ? QList<quint32>{quint32(v)} : QList<quint32>{}; };
        for (int i = 0; i < ncx.size(); ++i) {
            const Kf8NcxEntry& e = ncx[i];
            index.add(QByteArray::number(i).rightJustified(4, '0'),
                      {{e.pos}, {e.length}, {labels.add(e.label.toUtf8())}, {quint32(e.depth)},
                       {quint32(e.fragment), 0}, optional(e.parent), optional(e.firstChild), optional(e.lastChild)});
        }
        place(Ncx);
        tail += index.records(labels);
    }
    place(FirstImage);
    tail << cover;
    if (!thumbnail.isEmpty()) {
        tail << thumbnail;
    }
    place(Fdst);
    tail << fdstRecord(text);
    place(Flis);
    tail << flisRecord();
    place(Fcis);
    tail << fcisRecord(text.length());
    tail << QByteArray("\xE9\x8E\r\n", 4); // the end

    const QByteArray record0 = headerRecord(text, meta, at, !thumbnail.isEmpty());
    const int count = 1 + int(textSizes.size()) + int(tail.size());
    if (count > 0xFFFF) {
        m_error = QStringLiteral(u"无法写入文件: %1（书太大，记录超过 65535 个；请分成几本书）").arg(target);
        return false;
    }
    QByteArray db = databaseName(meta);
    db.append(QByteArray(32 - db.size(), '\0'));
    const quint32 stamp = quint32(meta.date.toSecsSinceEpoch());
    putU16(db, 0); // attributes
    putU16(db, 0); // version
    putU32(db, stamp);
    putU32(db, stamp);
    putU32(db, 0); // last backup
    putU32(db, 0);
    putU32(db, 0);
    putU32(db, 0);
    db += "BOOKMOBI";
    putU32(db, quint32(2 * count - 1));
    putU32(db, 0);
    putU16(db, quint32(count));
    quint32 offset = quint32(78 + 8 * count + 2);
    auto entry = [&](int i, qsizetype size) {
        putU32(db, offset);
        putU32(db, quint32(2 * i) & 0x00FFFFFF);
        offset += quint32(size);
    };
    int i = 0;
    entry(i++, record0.size());
    for (quint32 size : textSizes) {
        entry(i++, size);
    }
    for (const QByteArray& r : tail) {
        entry(i++, r.size());
    }
    putU16(db, 0);
    db += record0;

    QTemporaryFile file(QFileInfo(target).absolutePath() + QStringLiteral("/.vellomar-XXXXXX.part"));
    file.setAutoRemove(true);
    errno = 0;
    auto failed = [&](int number) {
        m_error = number != 0 ? fileErrorText(QStringLiteral(u"无法写入文件"), target, number)
                              : QStringLiteral(u"无法写入文件: %1（%2）").arg(target, file.errorString());
        return false;
    };
    if (!file.open() || file.write(db) != db.size()) {
        return failed(errno);
    }
    QFile& records = text.records();
    if (!records.seek(0)) {
        m_error = QStringLiteral(u"无法写入文件: %1（%2）").arg(target, records.errorString());
        return false;
    }
    if (!file.flush() || !copyAll(records, file)) {
        return failed(errno);
    }
    for (const QByteArray& r : tail) {
        if (file.write(r) != r.size()) {
            return failed(errno);
        }
    }
    if (!file.flush() || ::fsync(file.handle()) != 0) {
        return failed(errno);
    }
    if (std::rename(QFile::encodeName(file.fileName()).constData(), QFile::encodeName(target).constData()) != 0) {
        return failed(errno);
    }
    file.setAutoRemove(false);
    file.close();
    // A temporary file is private; the book gets the mode any new file gets here.
    ::chmod(QFile::encodeName(target).constData(), newFileMode());
    return true;
}
