#include "core/base/headimage.h"

#include "core/base/logging.h"

#include <QBitmap>
#include <QPainter>
#include <QPainterPath>

QImage decodeHeadImage(const QString &headImgBase64)
{
    QImage picture;
    if (headImgBase64.isEmpty())
        return picture;
    // The text itself stays out of the log: it is the user's picture.
    if (!picture.loadFromData(QByteArray::fromBase64(headImgBase64.toLatin1())))
        qCWarning(lcAccount) << "head image does not decode";
    return picture;
}

void paintCircular(QPainter &painter, const QRect &target, const QImage &source, Qt::TransformationMode mode)
{
    const int diameter = qMin(target.width(), target.height());
    painter.save();
    if (mode == Qt::SmoothTransformation) {
        painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
        QPainterPath circle;
        circle.addEllipse(target.x(), target.y(), diameter, diameter);
        painter.setClipPath(circle);
    } else {
        // The hard edge: a one-bit mask of the circle and its outline.
        QBitmap mask(diameter, diameter);
        mask.fill(Qt::color0);
        QPainter maskPainter(&mask);
        maskPainter.setRenderHint(QPainter::Antialiasing);
        maskPainter.setPen(Qt::color1);
        maskPainter.setBrush(Qt::color1);
        maskPainter.drawEllipse(0, 0, diameter, diameter);
        maskPainter.end();
        painter.setClipRegion(QRegion(mask).translated(target.topLeft()));
    }
    painter.drawImage(target, source);
    painter.restore();
}

QImage circularImage(const QImage &source, int diameter, Qt::TransformationMode mode)
{
    if (source.isNull())
        return QImage();
    QImage picture(diameter, diameter, QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    paintCircular(painter, picture.rect(), source, mode);
    return picture;
}
