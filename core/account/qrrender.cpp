#include "core/account/qrrender.h"

#include "core/base/logging.h"

#include <QPainter>

#include <qrencode.h>

QImage renderQrCode(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    QRcode *code = QRcode_encodeString(bytes.constData(), 2, QR_ECLEVEL_L, QR_MODE_8, 1);
    if (!code) {
        // The text carries the sign-in token: only its length is logged.
        qCWarning(lcAccount) << "qr code not encoded, text of" << text.size() << "characters";
        return QImage();
    }

    const int modules = qMax(code->width, 1);
    const int side = modules * qrModulePixels;
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawRect(0, 0, side, side);
    painter.setBrush(Qt::black);
    for (int y = 0; y < code->width; ++y) {
        const unsigned char *row = code->data + y * code->width;
        for (int x = 0; x < code->width; ++x) {
            if (row[x] & 1)
                painter.drawRect(x * qrModulePixels, y * qrModulePixels, qrModulePixels, qrModulePixels);
        }
    }
    painter.end();
    QRcode_free(code);
    return image;
}
