#include "Cover.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QFile>
#include <QFont>
#include <QImage>
#include <QImageReader>
#include <QPainter>

CoverImage loadCover(const QString& path)
{
    CoverImage cover;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        cover.error = QStringLiteral(u"无法读取封面图片: %1（%2）").arg(path, f.errorString());
        return cover;
    }
    cover.bytes = f.readAll();
    QBuffer buffer(&cover.bytes);
    QImageReader reader(&buffer);
    const QByteArray format = reader.format();
    if (format == "jpeg" || format == "jpg") {
        cover.mediaType = QStringLiteral("image/jpeg");
        cover.extension = QStringLiteral("jpg");
    } else if (format == "png") {
        cover.mediaType = QStringLiteral("image/png");
        cover.extension = QStringLiteral("png");
    } else {
        cover.error = QStringLiteral(u"封面图片必须是 JPEG 或 PNG: %1").arg(path);
        cover.bytes.clear();
        return cover;
    }
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty()) {
        cover.error = QStringLiteral(u"封面图片已损坏: %1").arg(path);
        cover.bytes.clear();
        return cover;
    }
    cover.width = size.width();
    cover.height = size.height();
    return cover;
}

CoverImage drawCover(const QString& title, const QString& author)
{
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

    QFont font(QStringLiteral("WenQuanYi Micro Hei"));
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
    return cover;
}
