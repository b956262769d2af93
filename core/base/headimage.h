#pragma once

#include <QImage>
#include <QString>

class QPainter;
class QRect;

// A user's head image from its Base64 text (the "headImgBase64" of a login answer); a null image when
// the text is empty or does not decode to a picture.
QImage decodeHeadImage(const QString &headImgBase64);

// Paints source scaled to target, cut to the circle at target's top-left corner whose diameter is the
// smaller side of target. Smooth: an antialiased edge and smooth scaling; fast: a hard edge and the
// nearest source pixels.
void paintCircular(QPainter &painter, const QRect &target, const QImage &source, Qt::TransformationMode mode);

// The same circle as a picture of its own, transparent outside it; a null image for a null source.
QImage circularImage(const QImage &source, int diameter, Qt::TransformationMode mode);
