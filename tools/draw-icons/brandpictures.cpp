#include "brandpictures.h"

#include "painting.h"

#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>

using namespace Paint;

namespace {

const QColor BrandLight(0x21, 0x96, 0xF3); // #2196F3
const QColor BrandDeep(0x2F, 0x69, 0xF2); // #2F69F2
const QColor TextGrey(0x48, 0x48, 0x48); // #484848
const QColor ButtonInk(0x33, 0x33, 0x33); // #333333

QLinearGradient brandGradient()
{
    QLinearGradient gradient(QPointF(15, 0), QPointF(85, 100));
    gradient.setColorAt(0, BrandLight.lighter(108));
    gradient.setColorAt(0.55, BrandLight);
    gradient.setColorAt(1, BrandDeep);
    return gradient;
}

// The mark itself, white, for a square spanning the whole grid: a "T" whose stem turns into an
// arrow that drops into a tray - software arriving on the machine.
void drawMark(QPainter &p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);

    // Crossbar.
    p.drawRoundedRect(QRectF(23, 19, 54, 13), 6.5, 6.5);

    // Stem running into the arrow head.
    QPainterPath stem;
    stem.addRoundedRect(QRectF(43.5, 26, 13, 28), 2.5, 2.5);
    QPainterPath head;
    head.moveTo(31, 50);
    head.lineTo(69, 50);
    head.lineTo(50, 69);
    head.closeSubpath();
    p.setPen(ink(4));
    p.drawPath(stem.united(head).simplified());

    // The tray the arrow points into.
    QPainterPath tray;
    tray.moveTo(23, 61);
    tray.lineTo(23, 74);
    tray.quadTo(23, 81, 30, 81);
    tray.lineTo(70, 81);
    tray.quadTo(77, 81, 77, 74);
    tray.lineTo(77, 61);
    p.strokePath(tray, ink(7.5));
}

// Layer with the mark scaled into a rounded square inset by `inset` units.
QImage markLayer(int size, qreal inset)
{
    return layer(size, [inset](QPainter &p) {
        const qreal scale = (Grid - 2 * inset) / Grid;
        p.translate(inset, inset);
        p.scale(scale, scale);
        drawMark(p);
    });
}

QImage brandSquare(int size, qreal inset, qreal radius)
{
    return layer(size, [inset, radius](QPainter &p) {
        const QPainterPath square = roundedSquare(inset, radius);
        p.fillPath(square, brandGradient());
        // A faint light from the top left corner.
        QRadialGradient light(QPointF(inset + 10, inset + 6), 70);
        light.setColorAt(0, QColor(255, 255, 255, 60));
        light.setColorAt(1, QColor(255, 255, 255, 0));
        p.fillPath(square, light);
    });
}

} // namespace

namespace BrandPictures {

QImage applicationMark(int size, bool withShadow)
{
    const qreal inset = withShadow ? 6 : 1;
    const qreal radius = 22 * (Grid - 2 * inset) / Grid;
    QImage image = blank(size);
    const QImage square = brandSquare(size, inset, radius);
    if (withShadow) {
        const int blurRadius = qMax(1, size / 64);
        stack(image, shadow(square, QColor(20, 50, 120, 70), blurRadius), QPointF(0, size / 64.0));
    }
    stack(image, square);

    const QImage mark = markLayer(size, inset);
    if (size >= 64) {
        const int blurRadius = qMax(1, size / 128);
        stack(image, shadow(mark, QColor(10, 40, 140, 80), blurRadius), QPointF(0, size / 110.0));
    }
    stack(image, mark);
    return image;
}

QImage contactHeadset(int size)
{
    return layer(size, [](QPainter &p) {
        p.translate(0, -3);
        p.setPen(ink(6.5, TextGrey));
        p.setBrush(Qt::NoBrush);
        // Head band.
        QPainterPath band;
        const QRectF bandBox(21, 19, 58, 58);
        band.arcMoveTo(bandBox, 180);
        band.arcTo(bandBox, 180, -180);
        p.drawPath(band);
        // Ear cups.
        p.setPen(Qt::NoPen);
        p.setBrush(TextGrey);
        p.drawRoundedRect(QRectF(13, 44, 17, 27), 6, 6);
        p.drawRoundedRect(QRectF(70, 44, 17, 27), 6, 6);
        // Microphone boom and capsule.
        QPainterPath boom;
        boom.moveTo(79, 70);
        boom.cubicTo(79, 82, 72, 88, 60, 88);
        p.strokePath(boom, ink(5, TextGrey));
        p.drawRoundedRect(QRectF(45, 83.5, 16, 9), 4.5, 4.5);
    });
}

QImage minimise(int size)
{
    // Pixel-exact so the dash stays sharp at 32 and at 16 pixels.
    QImage image = blank(size);
    QPainter p(&image);
    const int width = size * 3 / 8;
    const int thickness = qMax(1, size / 16);
    p.fillRect(QRect((size - width) / 2, size / 2, width, thickness), ButtonInk);
    return image;
}

QImage closeCross(int size, const QColor &colour)
{
    return layer(size, [&colour](QPainter &p) {
        // Arms 38 % of the side long, a little over 6 % thick.
        const qreal lo = 31.25, hi = 68.75;
        QPen pen(colour, 6.8, Qt::SolidLine, Qt::FlatCap);
        p.setPen(pen);
        p.drawLine(QPointF(lo, lo), QPointF(hi, hi));
        p.drawLine(QPointF(hi, lo), QPointF(lo, hi));
    });
}

QImage notice(int size)
{
    return layer(size, [](QPainter &p) {
        QPainterPath disc;
        disc.addEllipse(QRectF(4, 4, 92, 92));
        p.fillPath(disc, brandGradient());
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawEllipse(QPointF(50, 29), 7, 7);
        p.drawRoundedRect(QRectF(43.5, 42, 13, 34), 6.5, 6.5);
    });
}

QImage signedOutUser(int size)
{
    return layer(size, [](QPainter &p) {
        const QPointF centre(50, 50);
        const qreal ring = 42;
        p.setBrush(Qt::NoBrush);
        p.setPen(ink(6, TextGrey));
        p.drawEllipse(centre, ring, ring);
        p.drawEllipse(QPointF(50, 39), 13, 13);
        // Shoulders, cut off where they meet the ring.
        QPainterPath inside;
        inside.addEllipse(centre, ring, ring);
        p.setClipPath(inside);
        QPainterPath shoulders;
        const QRectF shoulderBox(24, 60, 52, 52);
        shoulders.arcMoveTo(shoulderBox, 180);
        shoulders.arcTo(shoulderBox, 180, -180);
        p.drawPath(shoulders);
    });
}

QImage defaultAvatar(int size)
{
    return layer(size, [](QPainter &p) {
        QPainterPath disc;
        disc.addEllipse(QRectF(0.5, 0.5, 99, 99));
        QLinearGradient grey(QPointF(0, 0), QPointF(0, 100));
        grey.setColorAt(0, QColor(0xE4, 0xE8, 0xEE));
        grey.setColorAt(1, QColor(0xCC, 0xD3, 0xDC));
        p.fillPath(disc, grey);
        p.setClipPath(disc);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xF8, 0xFA, 0xFC));
        p.drawEllipse(QPointF(50, 40), 18, 18);
        p.drawEllipse(QPointF(50, 98), 35, 33);
    });
}

QVector<QImage> spinnerFrames(int size, int count)
{
    const QColor head = BrandDeep;
    const QColor tail(0xD6, 0xE4, 0xFC);
    QVector<QImage> frames;
    for (int frame = 0; frame < count; ++frame) {
        QImage image(size, size, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / Grid, size / Grid);
        p.translate(50, 50);
        p.setPen(Qt::NoPen);
        // The leading dot moves one place clockwise per frame; the others fade behind it.
        for (int dot = 0; dot < count; ++dot) {
            const int age = (frame - dot + count) % count;
            const qreal t = static_cast<qreal>(age) / (count - 1);
            p.save();
            p.rotate(360.0 * dot / count);
            p.setBrush(mix(head, tail, t));
            const qreal radius = 7.2 - 3.0 * t;
            p.drawEllipse(QPointF(0, -33), radius, radius);
            p.restore();
        }
        p.end();
        frames.append(image);
    }
    return frames;
}

} // namespace BrandPictures
