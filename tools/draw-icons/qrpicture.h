#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

// A real, scannable QR code of `text`, black on white, centred in a `size` x `size` picture with
// whole-pixel modules and a quiet zone of at least four modules. Returns a null image and sets
// `error` when the text does not fit.
struct QrPicture
{
    QImage image;
    int modules = 0; // modules per side of the symbol, without quiet zone
    int modulePixels = 0;
    int margin = 0; // pixels from the picture's edge to the symbol
    QByteArray darkMap; // modules * modules bytes, 1 = dark

    static QrPicture encode(const QByteArray &text, int size, QString *error);

    // True when `picture` (for example the same image after a lossy save) still shows exactly
    // this symbol: every module's centre on the right side of mid-grey, the quiet zone light.
    bool matches(const QImage &picture, QString *error) const;
};
