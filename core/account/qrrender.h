#pragma once

#include <QImage>
#include <QString>

// Pixels per QR module in the sign-in picture.
constexpr int qrModulePixels = 6;

// The sign-in QR picture for text: libqrencode at version 2 or larger, level L, 8-bit, case-sensitive;
// one black 6 x 6 square per dark module on white. A null image when the text cannot be encoded.
QImage renderQrCode(const QString &text);
