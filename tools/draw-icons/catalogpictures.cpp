#include "catalogpictures.h"

#include "painting.h"

#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>
#include <QtMath>

#include <initializer_list>

using namespace Paint;

namespace {

struct Colours
{
    QColor light;
    QColor deep;
};

using Pictogram = void (*)(QPainter &);

const QColor Soft(255, 255, 255, 150); // secondary parts of a pictogram

constexpr qreal TileInset = 5;
constexpr qreal TileRadius = 21;

QImage tile(int size, const Colours &colours, Pictogram pictogram)
{
    const QImage square = layer(size, [&colours](QPainter &p) {
        const QPainterPath shape = roundedSquare(TileInset, TileRadius);
        QLinearGradient fill(QPointF(25, TileInset), QPointF(75, Grid - TileInset));
        fill.setColorAt(0, colours.light);
        fill.setColorAt(1, colours.deep);
        p.fillPath(shape, fill);
        QRadialGradient light(QPointF(22, 12), 75);
        light.setColorAt(0, QColor(255, 255, 255, 55));
        light.setColorAt(1, QColor(255, 255, 255, 0));
        p.fillPath(shape, light);
    });
    const QImage mark = layer(size, [pictogram](QPainter &p) { pictogram(p); });

    QImage image = blank(size);
    stack(image, shadow(square, QColor(0, 0, 0, 55), qMax(1, size / 64)), QPointF(0, size / 80.0));
    stack(image, square);
    QColor markShadow = colours.deep.darker(150);
    markShadow.setAlpha(110);
    stack(image, shadow(mark, markShadow, qMax(1, size / 128)), QPointF(0, size / 96.0));
    stack(image, mark);
    return image;
}

// A sheet of paper with its top right corner folded down, and the folded flap.
QPainterPath sheetPath(const QRectF &r, qreal fold, qreal radius = 4)
{
    QPainterPath path;
    path.moveTo(r.left() + radius, r.top());
    path.lineTo(r.right() - fold, r.top());
    path.lineTo(r.right(), r.top() + fold);
    path.lineTo(r.right(), r.bottom() - radius);
    path.quadTo(r.right(), r.bottom(), r.right() - radius, r.bottom());
    path.lineTo(r.left() + radius, r.bottom());
    path.quadTo(r.left(), r.bottom(), r.left(), r.bottom() - radius);
    path.lineTo(r.left(), r.top() + radius);
    path.quadTo(r.left(), r.top(), r.left() + radius, r.top());
    path.closeSubpath();
    return path;
}

QPainterPath flapPath(const QRectF &r, qreal fold)
{
    QPainterPath path;
    path.moveTo(r.right() - fold, r.top());
    path.lineTo(r.right() - fold, r.top() + fold - 3);
    path.quadTo(r.right() - fold, r.top() + fold, r.right() - fold + 3, r.top() + fold);
    path.lineTo(r.right(), r.top() + fold);
    path.closeSubpath();
    return path;
}

void drawSheet(QPainter &p, const QRectF &r, qreal fold)
{
    const QPainterPath flap = flapPath(r, fold);
    p.fillPath(sheetPath(r, fold), Qt::white);
    cutStroke(p, flap, 3);
    p.fillPath(flap, QColor(255, 255, 255, 190));
}

QPainterPath line(const QPointF &a, const QPointF &b)
{
    QPainterPath path;
    path.moveTo(a);
    path.lineTo(b);
    return path;
}

// --- the catalog ---

void pdfConverter(QPainter &p)
{
    // The converted copy peeks out behind the document.
    const QRectF back(36, 27, 40, 54);
    p.fillPath(sheetPath(back, 12), QColor(255, 255, 255, 120));

    const QRectF front(24, 19, 40, 56);
    cut(p, sheetPath(front, 12));
    cutStroke(p, sheetPath(front, 12), 8);
    drawSheet(p, front, 12);
    cutStroke(p, line(QPointF(31, 33), QPointF(44, 33)), 3.6);
    cutStroke(p, line(QPointF(31, 41), QPointF(52, 41)), 3.6);
    cut(p, textPath(QStringLiteral("PDF"), QFont::Black, QPointF(44, 58), 12));
}

void screenRecorder(QPainter &p)
{
    p.setBrush(Qt::NoBrush);
    p.setPen(ink(6));
    p.drawRoundedRect(QRectF(21, 25, 58, 40), 6, 6);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(45, 65, 10, 9), 1, 1);
    p.drawRoundedRect(QRectF(34, 72, 32, 6.5), 3.25, 3.25);
    // Record button.
    p.drawEllipse(QPointF(50, 45), 8.5, 8.5);
    p.setPen(ink(3));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(50, 45), 13, 13);
}

void videoEditor(QPainter &p)
{
    // Clapperboard: body with a play mark, and the hinged clapper stick above it.
    QPainterPath body;
    body.addRoundedRect(QRectF(23, 42, 54, 36), 5, 5);
    p.fillPath(body, Qt::white);
    QPainterPath play;
    play.moveTo(45, 51);
    play.lineTo(59, 60);
    play.lineTo(45, 69);
    play.closeSubpath();
    cut(p, play);

    p.save();
    p.translate(23, 37);
    p.rotate(-14);
    QPainterPath stick;
    stick.addRoundedRect(QRectF(0, -12, 54, 12), 3.5, 3.5);
    p.fillPath(stick, Qt::white);
    for (int stripe = 0; stripe < 4; ++stripe) {
        QPainterPath slant;
        const qreal x = 8 + stripe * 12.5;
        slant.moveTo(x, -12);
        slant.lineTo(x + 6, -12);
        slant.lineTo(x + 1, 0);
        slant.lineTo(x - 5, 0);
        slant.closeSubpath();
        cut(p, slant);
    }
    p.restore();
    // The hinge.
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(25.5, 38.5), 3.5, 3.5);
}

void drawNotes(QPainter &p, const QPointF &origin, qreal scale)
{
    p.save();
    p.translate(origin);
    p.scale(scale, scale);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    // Two beamed quavers; origin is the left note head.
    p.save();
    p.rotate(-22);
    p.drawEllipse(QPointF(0, 0), 9, 7);
    p.restore();
    p.save();
    p.translate(28, -6);
    p.rotate(-22);
    p.drawEllipse(QPointF(0, 0), 9, 7);
    p.restore();
    p.drawRect(QRectF(4.5, -38, 4.5, 37));
    p.drawRect(QRectF(32.5, -44, 4.5, 37));
    QPainterPath beam;
    beam.moveTo(4.5, -38);
    beam.lineTo(37, -44);
    beam.lineTo(37, -34);
    beam.lineTo(4.5, -28);
    beam.closeSubpath();
    p.drawPath(beam);
    p.restore();
}

void audioConverter(QPainter &p)
{
    p.setPen(ink(5));
    arcArrow(p, QPointF(50, 50), 30, 105, 135, 5);
    arcArrow(p, QPointF(50, 50), 30, 285, 135, 5);
    drawNotes(p, QPointF(40, 60), 0.62);
}

void dataRecovery(QPainter &p)
{
    // A disk drum with its bands, and a restore badge.
    const qreal left = 24, right = 66, top = 27, bottom = 71, rim = 8;
    QPainterPath drum;
    drum.moveTo(left, top);
    drum.lineTo(left, bottom);
    drum.arcTo(QRectF(left, bottom - rim, right - left, 2 * rim), 180, 180);
    drum.lineTo(right, top);
    drum.arcTo(QRectF(left, top - rim, right - left, 2 * rim), 0, 180);
    drum.closeSubpath();
    p.fillPath(drum, Qt::white);
    for (qreal y : {top, top + 15.0, top + 30.0}) {
        QPainterPath band;
        const QRectF box(left, y - rim, right - left, 2 * rim);
        band.arcMoveTo(box, 180);
        band.arcTo(box, 180, 180);
        cutStroke(p, band, 3);
    }

    const QPointF badge(68, 68);
    QPainterPath ring;
    ring.addEllipse(badge, 19, 19);
    cut(p, ring);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(badge, 15, 15);
    p.save();
    p.setCompositionMode(QPainter::CompositionMode_Clear);
    p.setPen(ink(3.4, Qt::black));
    arcArrow(p, badge + QPointF(0, 0.8), 7, 110, 265, 3.2, 1.45);
    p.restore();
}

void imageCompressor(QPainter &p)
{
    QPainterPath frame;
    frame.addRoundedRect(QRectF(33, 33, 34, 34), 4, 4);
    p.fillPath(frame, Qt::white);
    QPainterPath hills;
    hills.moveTo(37, 63);
    hills.lineTo(47, 49);
    hills.lineTo(53, 56);
    hills.lineTo(57, 52);
    hills.lineTo(63, 63);
    hills.closeSubpath();
    cut(p, hills);
    QPainterPath sun;
    sun.addEllipse(QPointF(57, 42), 3.6, 3.6);
    cut(p, sun);

    // Four arrows squeezing the picture from its corners.
    p.setPen(ink(4.2));
    const qreal outer = 17, inner = 28;
    lineArrow(p, QPointF(outer, outer), QPointF(inner, inner), 4.2);
    lineArrow(p, QPointF(100 - outer, outer), QPointF(100 - inner, inner), 4.2);
    lineArrow(p, QPointF(outer, 100 - outer), QPointF(inner, 100 - inner), 4.2);
    lineArrow(p, QPointF(100 - outer, 100 - outer), QPointF(100 - inner, 100 - inner), 4.2);
}

void ocrReader(QPainter &p)
{
    // Scanner corners around a character.
    p.setPen(ink(5.5));
    p.setBrush(Qt::NoBrush);
    const qreal lo = 22, hi = 78, arm = 13;
    for (int corner = 0; corner < 4; ++corner) {
        const qreal x = (corner & 1) ? hi : lo;
        const qreal y = (corner & 2) ? hi : lo;
        const qreal dx = (corner & 1) ? -arm : arm;
        const qreal dy = (corner & 2) ? -arm : arm;
        QPainterPath bracket;
        bracket.moveTo(x + dx, y);
        bracket.lineTo(x, y);
        bracket.lineTo(x, y + dy);
        p.drawPath(bracket);
    }
    p.fillPath(textPath(QStringLiteral("文"), QFont::Bold, QPointF(50, 50), 34), Qt::white);
}

void videoConverter(QPainter &p)
{
    // The source clip behind, the converted clip in front, and an arrow turning from one to the other.
    QPainterPath back;
    back.addRoundedRect(QRectF(20, 26, 40, 30), 5, 5);
    p.fillPath(back, QColor(255, 255, 255, 120));

    QPainterPath front;
    front.addRoundedRect(QRectF(36, 44, 42, 31), 5, 5);
    cutStroke(p, front, 9);
    p.fillPath(front, Qt::white);
    QPainterPath play;
    play.moveTo(52, 51.5);
    play.lineTo(64.5, 59.5);
    play.lineTo(52, 67.5);
    play.closeSubpath();
    cut(p, play);

    p.setPen(ink(4.5));
    arcArrow(p, QPointF(64, 38), 12, 125, -100, 4.5);
}

void cadViewer(QPainter &p)
{
    const QPointF top(50, 21), upLeft(25, 35.5), upRight(75, 35.5), centre(50, 50), lowLeft(25, 64.5),
        lowRight(75, 64.5), bottom(50, 79);
    QPainterPath lid;
    lid.moveTo(top);
    lid.lineTo(upRight);
    lid.lineTo(centre);
    lid.lineTo(upLeft);
    lid.closeSubpath();
    p.fillPath(lid, QColor(255, 255, 255, 90));
    QPainterPath side;
    side.moveTo(centre);
    side.lineTo(upRight);
    side.lineTo(lowRight);
    side.lineTo(bottom);
    side.closeSubpath();
    p.fillPath(side, QColor(255, 255, 255, 45));

    QPainterPath edges;
    edges.moveTo(top);
    edges.lineTo(upRight);
    edges.lineTo(lowRight);
    edges.lineTo(bottom);
    edges.lineTo(lowLeft);
    edges.lineTo(upLeft);
    edges.closeSubpath();
    edges.moveTo(upLeft);
    edges.lineTo(centre);
    edges.lineTo(upRight);
    edges.moveTo(centre);
    edges.lineTo(bottom);
    p.strokePath(edges, ink(4.5));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    for (const QPointF &corner : {top, upLeft, upRight, centre, lowLeft, lowRight, bottom})
        p.drawEllipse(corner, 4.2, 4.2);
}

void partition(QPainter &p)
{
    const QPointF centre(47, 53);
    const qreal radius = 27;
    const QRectF box(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
    QPainterPath rest;
    rest.moveTo(centre);
    rest.arcTo(box, 75, 285);
    rest.closeSubpath();
    p.fillPath(rest, Qt::white);
    // The slice taken out, moved away along its middle.
    const qreal middle = qDegreesToRadians(37.5);
    const QPointF shift(7 * qCos(middle), -7 * qSin(middle));
    QPainterPath slice;
    slice.moveTo(centre);
    slice.arcTo(box, 0, 75);
    slice.closeSubpath();
    p.fillPath(slice.translated(shift), QColor(255, 255, 255, 200));
    QPainterPath hole;
    hole.addEllipse(centre, 7, 7);
    cut(p, hole);
}

void mindMap(QPainter &p)
{
    // A root idea on the left branching out to three on the right.
    const QRectF root(15, 41, 30, 18);
    const QPointF joint(root.right() - 2, 50);
    const QRectF ideas[] = {QRectF(61, 20, 25, 13), QRectF(61, 43.5, 25, 13), QRectF(61, 67, 25, 13)};
    p.setPen(ink(4));
    p.setBrush(Qt::NoBrush);
    for (const QRectF &idea : ideas) {
        QPainterPath branch;
        const QPointF end(idea.left() + 1, idea.center().y());
        const qreal midX = (joint.x() + end.x()) / 2;
        branch.moveTo(joint);
        branch.cubicTo(midX, joint.y(), midX, end.y(), end.x(), end.y());
        p.drawPath(branch);
    }
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRoundedRect(root, 6, 6);
    p.setBrush(QColor(255, 255, 255, 225));
    for (const QRectF &idea : ideas)
        p.drawRoundedRect(idea, 4.5, 4.5);
}

void screenshot(QPainter &p)
{
    // The crop mark: two interlocking corners around a dashed selection.
    QPainterPath first;
    first.moveTo(34, 18);
    first.lineTo(34, 66);
    first.lineTo(82, 66);
    QPainterPath second;
    second.moveTo(18, 34);
    second.lineTo(66, 34);
    second.lineTo(66, 82);
    p.strokePath(first, ink(7));
    p.strokePath(second, ink(7));
    p.setPen(Qt::NoPen);
    p.setBrush(Soft);
    p.drawRoundedRect(QRectF(40, 40, 20, 20), 2, 2);
}

void fileShredder(QPainter &p)
{
    // A document going into the shredder and the strips coming out.
    const QRectF sheet(31, 16, 38, 34);
    drawSheet(p, sheet, 10);
    cutStroke(p, line(QPointF(37, 28), QPointF(52, 28)), 3.4);
    cutStroke(p, line(QPointF(37, 36), QPointF(62, 36)), 3.4);

    QPainterPath body;
    body.addRoundedRect(QRectF(20, 45, 60, 17), 5, 5);
    cutStroke(p, body, 6);
    p.fillPath(body, Qt::white);
    cutStroke(p, line(QPointF(29, 53.5), QPointF(71, 53.5)), 3.2);

    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    const qreal lengths[] = {14, 19, 12, 20, 15, 18};
    for (int strip = 0; strip < 6; ++strip)
        p.drawRoundedRect(QRectF(27.5 + strip * 8, 66, 4.5, lengths[strip]), 2.25, 2.25);
}

QPainterPath gearPath(const QPointF &centre, qreal outer, qreal inner, int teeth)
{
    QPainterPath gear;
    gear.addEllipse(centre, inner, inner);
    for (int tooth = 0; tooth < teeth; ++tooth) {
        QPainterPath one;
        const qreal width = inner * 0.55;
        one.addRoundedRect(QRectF(-width / 2, -outer, width, outer), 1, 1);
        QTransform turn;
        turn.translate(centre.x(), centre.y());
        turn.rotate(360.0 * tooth / teeth);
        gear = gear.united(turn.map(one));
    }
    QPainterPath hole;
    hole.addEllipse(centre, inner * 0.42, inner * 0.42);
    return gear.subtracted(hole).simplified();
}

void driverHelper(QPainter &p)
{
    // A chip with its pins, a gear set into it.
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    const qreal lo = 30, hi = 70;
    p.drawRoundedRect(QRectF(lo, lo, hi - lo, hi - lo), 6, 6);
    for (int pin = 0; pin < 4; ++pin) {
        const qreal at = 35.5 + pin * 9.667;
        p.drawRoundedRect(QRectF(at - 2.5, 19, 5, 14), 2, 2);
        p.drawRoundedRect(QRectF(at - 2.5, 67, 5, 14), 2, 2);
        p.drawRoundedRect(QRectF(19, at - 2.5, 14, 5), 2, 2);
        p.drawRoundedRect(QRectF(67, at - 2.5, 14, 5), 2, 2);
    }
    cut(p, gearPath(QPointF(50, 50), 14, 10, 8));
}

// --- the demo platform ---

void demoNotes(QPainter &p)
{
    QPainterPath pad;
    pad.addRoundedRect(QRectF(27, 24, 46, 56), 6, 6);
    p.fillPath(pad, Qt::white);
    for (int ring = 0; ring < 3; ++ring) {
        const qreal x = 38 + ring * 12;
        QPainterPath gap;
        gap.addRoundedRect(QRectF(x - 4.5, 18, 9, 14), 4.5, 4.5);
        cut(p, gap);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawRoundedRect(QRectF(x - 2, 17, 4, 13), 2, 2);
    }
    for (int row = 0; row < 4; ++row) {
        const qreal y = 42 + row * 9;
        cutStroke(p, line(QPointF(35, y), QPointF(row == 3 ? 52 : 65, y)), 3.4);
    }
}

void demoPhotos(QPainter &p)
{
    p.translate(50, 50);
    p.rotate(-8);
    p.translate(-50, -50);
    QPainterPath card;
    card.addRoundedRect(QRectF(24, 22, 52, 58), 4, 4);
    p.fillPath(card, Qt::white);
    QPainterPath window;
    window.addRect(QRectF(30, 28, 40, 36));
    cut(p, window);
    QPainterPath hills;
    hills.moveTo(30, 64);
    hills.lineTo(43, 47);
    hills.lineTo(51, 56);
    hills.lineTo(57, 50);
    hills.lineTo(70, 64);
    hills.closeSubpath();
    p.fillPath(hills, Qt::white);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(60, 37), 4.5, 4.5);
}

void demoMusic(QPainter &p)
{
    drawNotes(p, QPointF(34, 68), 0.95);
}

struct Entry
{
    const char *fileName;
    Colours colours;
    Pictogram pictogram;
};

QVector<CatalogPictures::Picture> render(int size, std::initializer_list<Entry> entries)
{
    QVector<CatalogPictures::Picture> pictures;
    for (const Entry &entry : entries)
        pictures.append({QString::fromLatin1(entry.fileName), tile(size, entry.colours, entry.pictogram)});
    return pictures;
}

} // namespace

namespace CatalogPictures {

QVector<Picture> catalogIcons(int size)
{
    return render(size,
                  {
                      {"pdfconverter.png", {QColor(0xF2, 0x5F, 0x5C), QColor(0xC6, 0x28, 0x28)}, pdfConverter},
                      {"screenrecorder.png", {QColor(0xF0, 0x62, 0x92), QColor(0xAD, 0x14, 0x57)}, screenRecorder},
                      {"videoeditor.png", {QColor(0xBA, 0x68, 0xC8), QColor(0x6A, 0x1B, 0x9A)}, videoEditor},
                      {"audioconverter.png", {QColor(0xFF, 0xB7, 0x4D), QColor(0xEF, 0x6C, 0x00)}, audioConverter},
                      {"datarecovery.png", {QColor(0x66, 0xBB, 0x6A), QColor(0x2E, 0x7D, 0x32)}, dataRecovery},
                      {"imagecompressor.png", {QColor(0x4D, 0xD0, 0xE1), QColor(0x00, 0x83, 0x8F)}, imageCompressor},
                      {"ocrreader.png", {QColor(0x4F, 0xAE, 0xF7), QColor(0x15, 0x65, 0xC0)}, ocrReader},
                      {"videoconverter.png", {QColor(0x79, 0x86, 0xCB), QColor(0x28, 0x35, 0x93)}, videoConverter},
                      {"cadviewer.png", {QColor(0x78, 0x90, 0x9C), QColor(0x37, 0x47, 0x4F)}, cadViewer},
                      {"partition.png", {QColor(0xFF, 0xCA, 0x28), QColor(0xFF, 0x8F, 0x00)}, partition},
                      {"mindmap.png", {QColor(0x4D, 0xB6, 0xAC), QColor(0x00, 0x69, 0x5C)}, mindMap},
                      {"screenshot.png", {QColor(0x95, 0x75, 0xCD), QColor(0x45, 0x27, 0xA0)}, screenshot},
                      {"fileshredder.png", {QColor(0xA1, 0x88, 0x7F), QColor(0x4E, 0x34, 0x2E)}, fileShredder},
                      {"driverhelper.png", {QColor(0xC0, 0xCA, 0x33), QColor(0x68, 0x9F, 0x38)}, driverHelper},
                  });
}

QVector<Picture> demoIcons(int size)
{
    return render(size,
                  {
                      {"demo-notes.png", {QColor(0xFF, 0xD5, 0x4F), QColor(0xF5, 0x7F, 0x17)}, demoNotes},
                      {"demo-photos.png", {QColor(0x4F, 0xC3, 0xF7), QColor(0x02, 0x77, 0xBD)}, demoPhotos},
                      {"demo-music.png", {QColor(0xFF, 0x6E, 0x7F), QColor(0xC5, 0x11, 0x62)}, demoMusic},
                  });
}

} // namespace CatalogPictures
