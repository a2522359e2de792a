#include "ToolIcons.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace {

constexpr int Size = 16;

const QColor Ink(60, 60, 70);
const QColor Paper(250, 250, 245);

void page(QPainter& p, const QRectF& r)
{
    p.setPen(QPen(Ink, 1));
    p.setBrush(Paper);
    p.drawRect(r);
}

void lines(QPainter& p, qreal x, qreal y, qreal w, int n, qreal step = 2.5)
{
    p.setPen(QPen(QColor(120, 130, 150), 1));
    for (int i = 0; i < n; ++i) {
        p.drawLine(QPointF(x, y + i * step), QPointF(x + w, y + i * step));
    }
}

void checkBox(QPainter& p, const QRectF& r, bool checked)
{
    p.setPen(QPen(Ink, 1));
    p.setBrush(Qt::white);
    p.drawRect(r);
    if (checked) {
        p.setPen(QPen(QColor(30, 150, 60), 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        QPainterPath tick;
        tick.moveTo(r.left() + 1.5, r.center().y());
        tick.lineTo(r.left() + r.width() * 0.42, r.bottom() - 1.5);
        tick.lineTo(r.right() - 1, r.top() + 1.5);
        p.setBrush(Qt::NoBrush);
        p.drawPath(tick);
    }
}

void drawImage(QPainter& p, int index)
{
    switch (index) {
    case 1: { // open: a folder with its flap raised
        p.setPen(QPen(QColor(150, 110, 20), 1));
        p.setBrush(QColor(240, 200, 80));
        p.drawRect(QRectF(1.5, 4.5, 12, 9));
        p.drawRect(QRectF(1.5, 3.5, 5, 2));
        p.setBrush(QColor(255, 225, 120));
        QPolygonF flap({QPointF(3.5, 7.5), QPointF(15.5, 7.5), QPointF(13.5, 13.5), QPointF(1.5, 13.5)});
        p.drawPolygon(flap);
        break;
    }
    case 2: // close: a page struck out
        page(p, QRectF(2.5, 1.5, 9, 12));
        lines(p, 4.5, 4.5, 5, 3);
        p.setPen(QPen(QColor(210, 40, 40), 2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(9, 9), QPointF(14, 14));
        p.drawLine(QPointF(14, 9), QPointF(9, 14));
        break;
    case 3: // analyze: a lens over a page
        page(p, QRectF(1.5, 1.5, 10, 12));
        lines(p, 3.5, 4.5, 6, 3);
        p.setPen(QPen(QColor(40, 80, 160), 1.5));
        p.setBrush(QColor(180, 215, 255, 200));
        p.drawEllipse(QPointF(10, 9.5), 3.3, 3.3);
        p.setPen(QPen(QColor(90, 60, 30), 2.2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(12.5, 12), QPointF(15, 14.5));
        break;
    case 4: // saveout: a disk
        p.setPen(QPen(QColor(20, 50, 110), 1));
        p.setBrush(QColor(60, 110, 200));
        p.drawRoundedRect(QRectF(1.5, 1.5, 13, 13), 1.5, 1.5);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4.5, 1.5, 7, 5));
        p.setBrush(QColor(200, 210, 230));
        p.drawRect(QRectF(3.5, 9.5, 9, 5));
        p.fillRect(QRectF(9, 2.5, 1.5, 3), QColor(20, 50, 110));
        break;
    case 5: { // stop: a red octagon
        QPolygonF oct;
        for (int i = 0; i < 8; ++i) {
            const double a = (22.5 + 45.0 * i) * M_PI / 180.0;
            oct << QPointF(8 + 6.8 * std::cos(a), 8 + 6.8 * std::sin(a));
        }
        p.setPen(QPen(QColor(140, 20, 20), 1));
        p.setBrush(QColor(220, 50, 50));
        p.drawPolygon(oct);
        p.fillRect(QRectF(4.5, 7, 7, 2), Qt::white);
        break;
    }
    case 6: // tool: a window with its button row
        page(p, QRectF(1.5, 2.5, 13, 11));
        p.fillRect(QRectF(2, 3, 12, 3), QColor(70, 120, 200));
        for (int i = 0; i < 3; ++i) {
            p.fillRect(QRectF(3 + i * 3.5, 7.5, 2.5, 2.5), QColor(240, 180, 40));
        }
        break;
    case 7: // status: a window with its bottom bar
        page(p, QRectF(1.5, 2.5, 13, 11));
        p.fillRect(QRectF(2, 3, 12, 2), QColor(70, 120, 200));
        p.fillRect(QRectF(2, 10.5, 12, 2.5), QColor(110, 170, 90));
        break;
    case 8: // selall: every box ticked
        checkBox(p, QRectF(1.5, 1.5, 6, 6), true);
        checkBox(p, QRectF(8.5, 1.5, 6, 6), true);
        checkBox(p, QRectF(1.5, 8.5, 6, 6), true);
        checkBox(p, QRectF(8.5, 8.5, 6, 6), true);
        break;
    case 9: // selreverse: ticked and empty boxes swapped
        checkBox(p, QRectF(1.5, 1.5, 6, 6), true);
        checkBox(p, QRectF(8.5, 8.5, 6, 6), false);
        p.setPen(QPen(QColor(40, 80, 160), 1.3));
        p.drawLine(QPointF(9, 3), QPointF(14, 3));
        p.drawLine(QPointF(14, 3), QPointF(14, 6.5));
        p.drawLine(QPointF(2, 13), QPointF(7, 13));
        p.drawLine(QPointF(2, 13), QPointF(2, 9.5));
        break;
    case 10: // selnone: empty boxes
        checkBox(p, QRectF(1.5, 1.5, 6, 6), false);
        checkBox(p, QRectF(8.5, 1.5, 6, 6), false);
        checkBox(p, QRectF(1.5, 8.5, 6, 6), false);
        checkBox(p, QRectF(8.5, 8.5, 6, 6), false);
        break;
    case 11: { // selundo: an arrow turning back
        QPainterPath arc;
        arc.moveTo(4, 6);
        arc.cubicTo(8, 1.5, 15, 4, 13.5, 9.5);
        arc.cubicTo(12.5, 13, 9, 14, 6, 13.5);
        p.setPen(QPen(QColor(40, 110, 60), 2, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawPath(arc);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(40, 110, 60));
        p.drawPolygon(QPolygonF({QPointF(1, 3), QPointF(7, 3.5), QPointF(3, 8.5)}));
        break;
    }
    case 12: { // edit: a pencil over a line
        p.setPen(QPen(QColor(120, 130, 150), 1));
        p.drawLine(QPointF(1.5, 14.5), QPointF(14.5, 14.5));
        p.translate(8, 8);
        p.rotate(-45);
        p.setPen(QPen(Ink, 1));
        p.setBrush(QColor(245, 190, 60));
        p.drawRect(QRectF(-5, -1.8, 9, 3.6));
        p.setBrush(QColor(230, 120, 120));
        p.drawRect(QRectF(4, -1.8, 2.2, 3.6));
        p.setBrush(QColor(240, 220, 180));
        p.drawPolygon(QPolygonF({QPointF(-5, -1.8), QPointF(-8, 0), QPointF(-5, 1.8)}));
        p.resetTransform();
        break;
    }
    case 13: // copy: two pages
        page(p, QRectF(1.5, 1.5, 8, 10));
        lines(p, 3, 4, 5, 3);
        page(p, QRectF(6.5, 4.5, 8, 10));
        lines(p, 8, 7, 5, 3);
        break;
    case 14: { // config: a gear
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(110, 115, 130));
        for (int i = 0; i < 8; ++i) {
            p.save();
            p.translate(8, 8);
            p.rotate(45.0 * i);
            p.drawRect(QRectF(-1.5, -7.5, 3, 4));
            p.restore();
        }
        p.drawEllipse(QPointF(8, 8), 5, 5);
        p.setBrush(QColor(235, 235, 240));
        p.drawEllipse(QPointF(8, 8), 2, 2);
        break;
    }
    case 15: { // about: an information mark
        p.setPen(QPen(QColor(20, 70, 150), 1));
        p.setBrush(QColor(60, 120, 210));
        p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawEllipse(QPointF(8, 4.8), 1.2, 1.2);
        p.drawRect(QRectF(7, 6.8, 2, 5.5));
        break;
    }
    case 16: { // saveepub: a closed book with its spine
        p.setPen(QPen(QColor(20, 90, 60), 1));
        p.setBrush(QColor(50, 160, 110));
        p.drawRoundedRect(QRectF(3.5, 1.5, 10, 13), 1, 1);
        p.setBrush(QColor(20, 110, 70));
        p.drawRect(QRectF(2.5, 1.5, 2.5, 13));
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(6.5, 4.5, 5, 1.2));
        p.drawRect(QRectF(6.5, 7, 5, 1.2));
        break;
    }
    default:
        break;
    }
}

// The second set: the same picture, lighter and warmer, for the button under the pointer.
QImage brighten(QImage image)
{
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = line[x];
            const int a = qAlpha(c);
            if (a == 0) {
                continue;
            }
            // Premultiplied pixels: each channel may grow up to its alpha.
            auto lift = [a](int v) { return std::min(a, v + (a - v) / 4 + a / 20); };
            line[x] = qRgba(lift(qRed(c)), lift(qGreen(c)), lift(qBlue(c)), a);
        }
    }
    return image;
}

} // namespace

QPixmap toolImage(int index, bool hot)
{
    QImage image(Size, Size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        drawImage(p, index);
    }
    return QPixmap::fromImage(hot ? brighten(image) : image);
}

QIcon toolIcon(int index)
{
    QIcon icon;
    icon.addPixmap(toolImage(index, false), QIcon::Normal);
    icon.addPixmap(toolImage(index, true), QIcon::Active);
    return icon;
}

QIcon appIcon()
{
    QImage image(Size, Size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    // A closed book: red cover, white page edge, a dashed cut across it.
    p.setPen(QPen(QColor(110, 20, 20), 1));
    p.setBrush(QColor(190, 40, 40));
    p.drawRoundedRect(QRectF(2.5, 1.5, 11, 13), 1, 1);
    p.fillRect(QRectF(11, 2.5, 2, 11), QColor(250, 245, 230));
    p.fillRect(QRectF(4.5, 4, 5, 2), QColor(245, 210, 90));
    p.setPen(QPen(Qt::white, 1.2, Qt::DashLine));
    p.drawLine(QPointF(1, 10), QPointF(15, 10));
    p.end();
    return QIcon(QPixmap::fromImage(image));
}
