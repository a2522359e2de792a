#include "epub/Cover.h"
#include "epub/CoverModule.h"

#include "config/SystemError.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QRawFont>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <sys/stat.h>

namespace {

// Larger than any cover needs; a file beyond it is not read at all.
constexpr qint64 MaxCoverBytes = 20 * 1024 * 1024;

quint32 bigEndian32(const char* p)
{
    return quint32(quint8(p[0])) << 24 | quint32(quint8(p[1])) << 16 | quint32(quint8(p[2])) << 8 | quint8(p[3]);
}

// Whether the file holds the whole image: a PNG's chunks run to IEND, a JPEG's last scan is
// followed by its end marker. A cut file still decodes, with the rest of the picture blank.
bool isWhole(const QByteArray& bytes, bool png)
{
    if (png) {
        qint64 at = 8;
        while (at + 12 <= bytes.size()) {
            const qint64 length = bigEndian32(bytes.constData() + at);
            if (bytes.mid(at + 4, 4) == "IEND") {
                return true;
            }
            at += 12 + length;
        }
        return false;
    }
    const qsizetype scan = bytes.lastIndexOf(QByteArrayView("\xFF\xDA", 2));
    return scan >= 0 && bytes.indexOf(QByteArrayView("\xFF\xD9", 2), scan) >= 0;
}

CoverImage loadCoverArt(const QString& path)
{
    CoverImage cover;
    // Only a regular file: a pipe would never end and a device never stop.
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) {
        cover.error = fileErrorText(QStringLiteral(u"无法读取封面图片"), path, errno);
        return cover;
    }
    if (!S_ISREG(st.st_mode)) {
        cover.error = QStringLiteral(u"无法读取封面图片: %1").arg(notRegularFileText(path));
        return cover;
    }
    const QString tooLarge = QStringLiteral(u"封面图片太大: %1（超过 %2 MB）").arg(path).arg(MaxCoverBytes >> 20);
    if (st.st_size > MaxCoverBytes) {
        cover.error = tooLarge;
        return cover;
    }
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        cover.error = QStringLiteral(u"无法读取封面图片: %1（%2）").arg(path, f.errorString());
        return cover;
    }
    const QByteArray bytes = f.read(MaxCoverBytes + 1);
    if (bytes.size() > MaxCoverBytes) {
        cover.error = tooLarge;
        return cover;
    }
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QByteArray format = reader.format();
    const bool png = format == "png";
    if (format == "jpeg" || format == "jpg") {
        cover.mediaType = QStringLiteral("image/jpeg");
        cover.extension = QStringLiteral("jpg");
    } else if (png) {
        cover.mediaType = QStringLiteral("image/png");
        cover.extension = QStringLiteral("png");
    } else {
        cover.error = QStringLiteral(u"封面图片必须是 JPEG 或 PNG: %1").arg(path);
        return cover;
    }
    // Decoded before it is used: a reader would fail on what we could not read either.
    QImage image;
    if (!reader.read(&image) || image.isNull()) {
        cover.error = QStringLiteral(u"封面图片已损坏，读不出图像: %1").arg(path);
        return cover;
    }
    cover.width = image.width();
    cover.height = image.height();
    if (isWhole(bytes, png)) {
        cover.bytes = bytes;
        return cover;
    }
    // What could be read, written again as a whole image of the same kind.
    QBuffer out(&cover.bytes);
    out.open(QIODevice::WriteOnly);
    if (!image.save(&out, png ? "PNG" : "JPEG", 90)) {
        cover.error = QStringLiteral(u"封面图片已损坏: %1").arg(path);
        cover.bytes.clear();
        return cover;
    }
    cover.warning = QStringLiteral(u"封面图片不完整，已按读出的部分重新保存后使用: %1").arg(path);
    return cover;
}

// A family that has every character of `text`: the usual CJK families first, then any family
// the font database says writes Chinese, then any at all. `covered` is false when none has them
// all; the family with the most of them is taken then.
QString coverFamily(const QString& text, bool* covered)
{
    QList<char32_t> wanted;
    for (const char32_t c : text.toUcs4()) {
        if (!QChar::isSpace(c) && !wanted.contains(c)) {
            wanted << c;
        }
    }
    QStringList families{QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Noto Sans CJK TC"),
                         QStringLiteral("Source Han Sans SC"), QStringLiteral("WenQuanYi Micro Hei"),
                         QStringLiteral("WenQuanYi Zen Hei"), QStringLiteral("Droid Sans Fallback"),
                         QStringLiteral("AR PL UMing CN"), QStringLiteral("AR PL UKai CN")};
    families += QFontDatabase::families(QFontDatabase::SimplifiedChinese);
    families += QFontDatabase::families(QFontDatabase::TraditionalChinese);
    families += QFontDatabase::families();
    families.removeDuplicates();
    QString best;
    qsizetype bestCount = -1;
    for (const QString& family : std::as_const(families)) {
        if (!QFontDatabase::hasFamily(family)) {
            continue;
        }
        const QRawFont raw = QRawFont::fromFont(QFont(family));
        if (!raw.isValid()) {
            continue;
        }
        const qsizetype count = std::count_if(wanted.cbegin(), wanted.cend(), [&raw](char32_t c) { return raw.supportsCharacter(c); });
        if (count == wanted.size()) {
            *covered = true;
            return family;
        }
        if (count > bestCount) {
            best = family;
            bestCount = count;
        }
    }
    *covered = false;
    return best;
}

CoverImage drawCoverArt(const QString& title, const QString& author)
{
    // Books of a batch are written side by side; one cover at a time keeps the font set-up
    // (fontconfig, Qt's font cache) to one thread, and costs a batch nothing it would notice.
    static std::mutex drawing;
    const std::lock_guard lock(drawing);
    constexpr int W = 1600;
    constexpr int H = 2560;
    const QByteArray h = QCryptographicHash::hash(title.toUtf8(), QCryptographicHash::Sha1);
    // A quiet, dark colour: any hue, low saturation, so that white text always reads well.
    const QColor background = QColor::fromHsv(quint8(h[0]) * 360 / 256, 90 + quint8(h[1]) % 60, 70 + quint8(h[2]) % 40);
    QImage image(W, H, QImage::Format_RGB32);
    image.fill(background);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setPen(QPen(QColor(255, 255, 255, 160), 6));
    p.drawRect(QRect(80, 80, W - 160, H - 160));

    bool covered = true;
    QFont font(coverFamily(title + author, &covered));
    font.setStyleHint(QFont::SansSerif);
    const int length = int(title.size());
    font.setPixelSize(length <= 6 ? 200 : length <= 12 ? 160 : length <= 24 ? 120 : 90);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRect(180, 420, W - 360, 1300), Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextWrapAnywhere, title);
    if (!author.isEmpty()) {
        font.setBold(false);
        font.setPixelSize(90);
        p.setFont(font);
        p.drawText(QRect(180, 1900, W - 360, 300), Qt::AlignHCenter | Qt::AlignTop | Qt::TextWrapAnywhere, author);
    }
    p.end();

    CoverImage cover;
    QBuffer buffer(&cover.bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "JPEG", 88)) {
        cover.error = QStringLiteral(u"无法生成封面图片");
        cover.bytes.clear();
        return cover;
    }
    cover.mediaType = QStringLiteral("image/jpeg");
    cover.extension = QStringLiteral("jpg");
    cover.width = W;
    cover.height = H;
    if (!covered) {
        cover.warning = QStringLiteral(u"没有能显示书名所有字的字体，封面上缺字的地方会是方框；请安装中文字体"
                                       u"（例如 fonts-noto-cjk 或 fonts-wqy-microhei）后再输出");
    }
    return cover;
}

QByteArray thumbnailOf(const QByteArray& bytes, int height)
{
    QBuffer in;
    in.setData(bytes);
    QImageReader reader(&in);
    const QSize size = reader.size();
    // A JPEG decodes straight at a fraction of its size, several times faster than whole.
    if (size.height() > height) {
        reader.setScaledSize(QSize(std::max(1, size.width() * height / size.height()), height));
    }
    const QImage image = reader.read();
    if (image.isNull()) {
        return QByteArray();
    }
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    image.convertToFormat(QImage::Format_RGB32).save(&buffer, "JPEG", 80);
    return out;
}

QCoreApplication* makeApplication(int& argc, char** argv)
{
    return new QGuiApplication(argc, argv);
}

const CoverModule Module{CoverModule::Version, loadCoverArt, drawCoverArt, makeApplication, thumbnailOf};

} // namespace

extern "C" Q_DECL_EXPORT const CoverModule* vellomar_cover_module()
{
    return &Module;
}
