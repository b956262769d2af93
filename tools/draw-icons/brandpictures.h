#pragma once

#include <QImage>
#include <QVector>

// The program's own pictures: the application mark, window buttons, notices, avatars and the spinner.
namespace BrandPictures {

// The application mark on its blue rounded square. `withShadow` leaves a margin for a soft
// drop shadow (the large application icon); small copies fill their canvas instead.
QImage applicationMark(int size, bool withShadow);

QImage contactHeadset(int size);
QImage minimise(int size);
QImage closeCross(int size, const QColor &colour);
QImage notice(int size);
QImage signedOutUser(int size);
QImage defaultAvatar(int size);

// The frames of the loading spinner, opaque on white (a GIF cannot blend soft edges into
// whatever lies behind it, and the spinner is shown on white).
QVector<QImage> spinnerFrames(int size, int count);

} // namespace BrandPictures
