#include "core/files/imagefile.h"

#include "core/base/logging.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImageReader>
#include <QPixmapCache>
#include <QSaveFile>
#include <QThread>

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

// A reader that uses only the decoder the path's suffix names.
void readBySuffix(QImageReader &reader, const QString &path)
{
    reader.setFileName(path);
    reader.setFormat(canonicalFormat(QFileInfo(path).suffix().toLatin1()));
    reader.setAutoDetectImageFormat(false);
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

QPixmap readPixmapFile(const QString &path)
{
    // The program's own pictures never change: each is decoded once (buttons ask for theirs again on
    // every hover). Files on disk may be replaced, so they are read each time.
    const bool resource = path.startsWith(QLatin1Char(':'));
    const QString key = QLatin1String("tessaly-resource:") + path;
    QPixmap pixmap;
    if (resource && QPixmapCache::find(key, &pixmap))
        return pixmap;
    pixmap = QPixmap::fromImage(readImageFile(path));
    if (resource && !pixmap.isNull())
        QPixmapCache::insert(key, pixmap);
    return pixmap;
}

QImage readImageFile(const QString &path)
{
    QImageReader reader;
    readBySuffix(reader, path);
    if (reader.canRead())
        return reader.read();
    return QImageReader(path).read();
}

bool isImageFile(const QString &path)
{
    QImageReader reader;
    readBySuffix(reader, path);
    return reader.canRead() || QImageReader(path).canRead();
}

ImageFileReader::ImageFileReader(const QStringList &paths)
    : m_paths(paths)
    , m_images(paths.size())
    , m_thread(QThread::create([this] {
        for (int i = 0; i < m_paths.size(); ++i) {
            QImage image = m_paths.at(i).isEmpty() ? QImage() : readImageFile(m_paths.at(i));
            const QMutexLocker locker(&m_mutex);
            m_images[i] = std::move(image);
            m_read = i + 1;
            m_oneRead.wakeAll();
        }
    }))
{
    m_thread->start();
}

ImageFileReader::~ImageFileReader()
{
    m_thread->wait();
}

QPixmap ImageFileReader::take(int index)
{
    QImage image;
    {
        QMutexLocker locker(&m_mutex);
        while (m_read <= index)
            m_oneRead.wait(&m_mutex);
        image = std::move(m_images[index]);
    }
    return QPixmap::fromImage(std::move(image));
}
