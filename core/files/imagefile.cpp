#include "core/files/imagefile.h"

#include "core/base/logging.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImageReader>
#include <QSaveFile>

namespace {

// One name per format: "jpg" and "jpeg", "tif" and "tiff" are the same to a decoder.
QByteArray canonicalFormat(QByteArray format)
{
    format = format.toLower();
    if (format == "jpg")
        return QByteArrayLiteral("jpeg");
    if (format == "tif")
        return QByteArrayLiteral("tiff");
    return format;
}

} // namespace

QImage writeImageFile(const QByteArray &bytes, const QString &path)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QByteArray format = canonicalFormat(reader.format());
    const QImage image = reader.read();
    if (image.isNull()) {
        qCWarning(lcPlatform) << "not an image:" << path << reader.errorString();
        return QImage();
    }

    const QByteArray wanted = canonicalFormat(QFileInfo(path).suffix().toLatin1());
    bool written = false;
    if (format == wanted) {
        QSaveFile file(path);
        written = file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
    } else {
        written = image.save(path);
    }
    if (!written) {
        qCWarning(lcPlatform) << "image not saved:" << path;
        return QImage();
    }
    return image;
}
