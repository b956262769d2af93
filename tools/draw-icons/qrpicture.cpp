#include "qrpicture.h"

#include <QPainter>

#include <qrencode.h>

#include <memory>

QrPicture QrPicture::encode(const QByteArray &text, int size, QString *error)
{
    const std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
        QRcode_encodeString(text.constData(), 0, QR_ECLEVEL_M, QR_MODE_8, 1), &QRcode_free);
    if (!code) {
        *error = QStringLiteral("libqrencode could not encode the text");
        return {};
    }
    QrPicture result;
    result.modules = code->width;
    result.modulePixels = size / (result.modules + 8);
    if (result.modulePixels < 1) {
        *error = QStringLiteral("a %1-module code does not fit in %2 pixels").arg(result.modules).arg(size);
        return {};
    }
    result.margin = (size - result.modules * result.modulePixels) / 2;
    result.darkMap.resize(result.modules * result.modules);
    for (int i = 0; i < result.darkMap.size(); ++i)
        result.darkMap[i] = static_cast<char>(code->data[i] & 1);

    result.image = QImage(size, size, QImage::Format_RGB32);
    result.image.fill(Qt::white);
    QPainter painter(&result.image);
    for (int y = 0; y < result.modules; ++y) {
        for (int x = 0; x < result.modules; ++x) {
            if (result.darkMap.at(y * result.modules + x))
                painter.fillRect(result.margin + x * result.modulePixels, result.margin + y * result.modulePixels,
                                 result.modulePixels, result.modulePixels, Qt::black);
        }
    }
    return result;
}

bool QrPicture::matches(const QImage &picture, QString *error) const
{
    if (picture.size() != image.size()) {
        *error = QStringLiteral("picture size changed");
        return false;
    }
    const QImage grey = picture.convertToFormat(QImage::Format_Grayscale8);
    auto dark = [&grey](int x, int y) { return grey.constScanLine(y)[x] < 128; };
    const int half = modulePixels / 2;
    for (int y = 0; y < modules; ++y) {
        for (int x = 0; x < modules; ++x) {
            const bool expected = darkMap.at(y * modules + x);
            if (dark(margin + x * modulePixels + half, margin + y * modulePixels + half) != expected) {
                *error = QStringLiteral("module %1,%2 reads wrong").arg(x).arg(y);
                return false;
            }
        }
    }
    const int symbolEnd = margin + modules * modulePixels;
    for (int y = 0; y < grey.height(); ++y) {
        for (int x = 0; x < grey.width(); ++x) {
            const bool inSymbol = x >= margin && x < symbolEnd && y >= margin && y < symbolEnd;
            if (!inSymbol && dark(x, y)) {
                *error = QStringLiteral("quiet zone not clear at %1,%2").arg(x).arg(y);
                return false;
            }
        }
    }
    return true;
}
