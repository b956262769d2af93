#include "painting.h"

#include <QPainter>
#include <QtMath>

#include <vector>

namespace Paint {

QImage blank(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

QImage layer(int size, const Drawing &drawing)
{
    QImage image = blank(size);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.scale(size / Grid, size / Grid);
    drawing(painter);
    painter.end();
    return image;
}

namespace {

// One box pass along rows (horizontal) or columns; pixels outside the image count as transparent.
void boxPass(QImage &image, int radius, bool horizontal)
{
    const int lines = horizontal ? image.height() : image.width();
    const int length = horizontal ? image.width() : image.height();
    const int window = 2 * radius + 1;
    std::vector<QRgb> line(static_cast<size_t>(length));

    auto pixel = [&image, horizontal](int lineIndex, int position) -> QRgb & {
        const int x = horizontal ? position : lineIndex;
        const int y = horizontal ? lineIndex : position;
        return reinterpret_cast<QRgb *>(image.scanLine(y))[x];
    };

    for (int l = 0; l < lines; ++l) {
        for (int i = 0; i < length; ++i)
            line[static_cast<size_t>(i)] = pixel(l, i);
        int a = 0, r = 0, g = 0, b = 0;
        // Running sums over [i - radius, i + radius].
        for (int k = 0; k <= radius && k < length; ++k) {
            const QRgb px = line[static_cast<size_t>(k)];
            a += qAlpha(px);
            r += qRed(px);
            g += qGreen(px);
            b += qBlue(px);
        }
        for (int i = 0; i < length; ++i) {
            pixel(l, i) = qRgba((r + window / 2) / window, (g + window / 2) / window, (b + window / 2) / window,
                                (a + window / 2) / window);
            const int leaving = i - radius;
            const int entering = i + radius + 1;
            if (leaving >= 0) {
                const QRgb px = line[static_cast<size_t>(leaving)];
                a -= qAlpha(px);
                r -= qRed(px);
                g -= qGreen(px);
                b -= qBlue(px);
            }
            if (entering < length) {
                const QRgb px = line[static_cast<size_t>(entering)];
                a += qAlpha(px);
                r += qRed(px);
                g += qGreen(px);
                b += qBlue(px);
            }
        }
    }
}

} // namespace

void blur(QImage &image, int radius)
{
    if (radius < 1)
        return;
    if (image.format() != QImage::Format_ARGB32_Premultiplied)
        image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    for (int round = 0; round < 3; ++round) {
        boxPass(image, radius, true);
        boxPass(image, radius, false);
    }
}

QImage silhouette(const QImage &layer, const QColor &colour)
{
    QImage result = layer.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&result);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(result.rect(), colour);
    painter.end();
    return result;
}

QImage shadow(const QImage &layer, const QColor &colour, int radius)
{
    QImage result = silhouette(layer, colour);
    blur(result, radius);
    return result;
}

void stack(QImage &target, const QImage &layer, const QPointF &offset)
{
    QPainter painter(&target);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(offset, layer);
}

QPen ink(qreal width, const QColor &colour)
{
    return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void cut(QPainter &painter, const QPainterPath &path)
{
    painter.save();
    painter.setCompositionMode(QPainter::CompositionMode_Clear);
    painter.fillPath(path, Qt::black);
    painter.restore();
}

void cutStroke(QPainter &painter, const QPainterPath &path, qreal width)
{
    painter.save();
    painter.setCompositionMode(QPainter::CompositionMode_Clear);
    painter.strokePath(path, ink(width, Qt::black));
    painter.restore();
}

QPainterPath textPath(const QString &text, int weight, const QPointF &centre, qreal height)
{
    QFont font(CjkFamily);
    font.setPixelSize(200);
    font.setWeight(weight);
    font.setStyleStrategy(QFont::PreferOutline);
    QPainterPath raw;
    raw.addText(0, 0, font, text);
    const QRectF box = raw.boundingRect();
    if (box.isEmpty())
        return raw;
    const qreal scale = height / box.height();
    QTransform toPlace;
    toPlace.translate(centre.x(), centre.y());
    toPlace.scale(scale, scale);
    toPlace.translate(-box.center().x(), -box.center().y());
    return toPlace.map(raw);
}

QPainterPath roundedSquare(qreal inset, qreal radius)
{
    QPainterPath path;
    path.addRoundedRect(QRectF(inset, inset, Grid - 2 * inset, Grid - 2 * inset), radius, radius);
    return path;
}

namespace {

// Point on a circle for a Qt angle (degrees, counter-clockwise, y axis pointing down).
QPointF onCircle(const QPointF &centre, qreal radius, qreal degrees)
{
    const qreal rad = qDegreesToRadians(degrees);
    return centre + QPointF(radius * qCos(rad), -radius * qSin(rad));
}

// Filled triangle whose tip is `width` * 1.25 ahead of `base` along `direction` (unit vector).
void arrowHead(QPainter &painter, const QPointF &base, const QPointF &direction, qreal width)
{
    const QPointF normal(-direction.y(), direction.x());
    const qreal half = width * 1.25;
    QPainterPath head;
    head.moveTo(base + direction * width * 1.35);
    head.lineTo(base + normal * half);
    head.lineTo(base - normal * half);
    head.closeSubpath();
    painter.save();
    painter.setPen(ink(width * 0.35, painter.pen().color()));
    painter.setBrush(painter.pen().color());
    painter.drawPath(head);
    painter.restore();
}

} // namespace

void arcArrow(QPainter &painter, const QPointF &centre, qreal radius, qreal startDeg, qreal sweepDeg, qreal width,
              qreal headScale)
{
    const QRectF box(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
    QPainterPath arc;
    arc.arcMoveTo(box, startDeg);
    arc.arcTo(box, startDeg, sweepDeg);
    painter.save();
    QPen pen = painter.pen();
    pen.setWidthF(width);
    pen.setCapStyle(Qt::FlatCap);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(arc);
    painter.restore();

    // Tangent at the end, pointing the way the arc travels.
    const qreal end = qDegreesToRadians(startDeg + sweepDeg);
    const qreal sign = sweepDeg < 0 ? -1.0 : 1.0;
    const QPointF direction(-qSin(end) * sign, -qCos(end) * sign);
    arrowHead(painter, onCircle(centre, radius, startDeg + sweepDeg), direction, width * headScale);
}

void lineArrow(QPainter &painter, const QPointF &from, const QPointF &to, qreal width)
{
    const QPointF delta = to - from;
    const qreal length = qSqrt(QPointF::dotProduct(delta, delta));
    if (length <= 0)
        return;
    const QPointF direction = delta / length;
    const QPointF base = to - direction * width * 1.35;
    painter.save();
    QPen pen = painter.pen();
    pen.setWidthF(width);
    pen.setCapStyle(Qt::RoundCap);
    painter.setPen(pen);
    painter.drawLine(from, base);
    painter.restore();
    arrowHead(painter, base, direction, width);
}

QColor mix(const QColor &a, const QColor &b, qreal t)
{
    auto channel = [t](int x, int y) { return qRound(x + (y - x) * t); };
    return QColor(channel(a.red(), b.red()), channel(a.green(), b.green()), channel(a.blue(), b.blue()),
                  channel(a.alpha(), b.alpha()));
}

} // namespace Paint
