#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainterPath>
#include <QPen>

#include <functional>

class QPainter;

// Small drawing kit shared by all pictures. Every picture is designed on a 100 x 100 grid;
// `layer` hands the drawing a painter already scaled from that grid to the image size.
namespace Paint {

constexpr qreal Grid = 100.0;
inline const QString CjkFamily = QStringLiteral("Noto Sans CJK SC");

using Drawing = std::function<void(QPainter &)>;

// A fully transparent premultiplied ARGB image.
QImage blank(int size);

// Runs `drawing` on a fresh transparent layer of `size` pixels, antialiased, on the 100-unit grid.
QImage layer(int size, const Drawing &drawing);

// Approximate gaussian blur (three box passes each way) over all channels.
void blur(QImage &image, int radius);

// The shape of `layer` filled with `colour` (its alpha multiplied by the layer's).
QImage silhouette(const QImage &layer, const QColor &colour);

// A soft shadow of `layer`: its silhouette in `colour`, blurred by `radius` pixels.
QImage shadow(const QImage &layer, const QColor &colour, int radius);

// Draws `layer` over `target` (source-over), moved by `offset` pixels.
void stack(QImage &target, const QImage &layer, const QPointF &offset = QPointF());

// A white pen with round caps and joins, the default stroke of our pictograms.
QPen ink(qreal width, const QColor &colour = Qt::white);

// Erases `path` from the layer the painter works on, so that what lies below shows through.
void cut(QPainter &painter, const QPainterPath &path);
// Erases a band of `width` along `path`.
void cutStroke(QPainter &painter, const QPainterPath &path, qreal width);

// The outline of `text` in our CJK-capable font, scaled so its inked height is `height`
// and its inked box is centred on `centre`.
QPainterPath textPath(const QString &text, int weight, const QPointF &centre, qreal height);

// A square with rounded corners covering the grid minus `inset` on every side.
QPainterPath roundedSquare(qreal inset, qreal radius);

// A circular arc around `centre` starting at `startDeg` (counter-clockwise from 3 o'clock, as Qt
// counts) and sweeping `sweepDeg`, with an arrow head at its end. Drawn with the painter's pen
// colour; the arc's stroke width is `width`, the head is `headScale` times its usual size.
void arcArrow(QPainter &painter, const QPointF &centre, qreal radius, qreal startDeg, qreal sweepDeg, qreal width,
              qreal headScale = 1.0);

// A straight arrow from `from` to `to`, head at `to`.
void lineArrow(QPainter &painter, const QPointF &from, const QPointF &to, qreal width);

// Linear mix of two colours, t = 0 gives `a`, t = 1 gives `b`.
QColor mix(const QColor &a, const QColor &b, qreal t);

} // namespace Paint
