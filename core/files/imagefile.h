#pragma once

#include <QByteArray>
#include <QImage>
#include <QMutex>
#include <QPixmap>
#include <QString>
#include <QStringList>
#include <QVector>
#include <QWaitCondition>

#include <memory>

class QThread;

// Stores a downloaded picture at `path` and returns it decoded; a null image (and nothing written)
// when the bytes are no picture or the file cannot be written. Bytes already in the format the
// path's suffix asks for are written as received; others are saved in that format. The picture is
// decoded once either way.
QImage writeImageFile(const QByteArray &bytes, const QString &path);

// Reads the picture file at `path` (a resource path too) as QPixmap(path) would, but with the decoder
// its suffix names: QPixmap and QIcon ask every image format plugin about a file before their built-in
// decoders, which loads them all, and at start-up that costs more than the pictures. A file whose
// content is in another format than its suffix says is still read, from its content. A null pixmap
// when nothing can be read. The program's own pictures (":/" paths) are decoded once and then taken
// from Qt's pixmap cache, as QPixmap(path) does.
QPixmap readPixmapFile(const QString &path);
// The same as an image, for a thread other than the GUI's; QPixmap::fromImage makes the pixmap that
// readPixmapFile would.
QImage readImageFile(const QString &path);
// Whether the file holds a picture that readPixmapFile can read; only its header is read.
bool isImageFile(const QString &path);

// Reads picture files (readImageFile) on a thread of its own, in their order, while the caller does
// other work; take() hands each over as readPixmapFile would, waiting for it when needed. An empty
// path gives a null pixmap. The destructor waits for the thread.
class ImageFileReader
{
public:
    explicit ImageFileReader(const QStringList &paths);
    ~ImageFileReader();
    ImageFileReader(const ImageFileReader &) = delete;
    ImageFileReader &operator=(const ImageFileReader &) = delete;

    QPixmap take(int index);

private:
    const QStringList m_paths;
    QVector<QImage> m_images; // under m_mutex
    int m_read = 0; // how many of the paths the thread has been through, under m_mutex
    QMutex m_mutex;
    QWaitCondition m_oneRead;
    std::unique_ptr<QThread> m_thread;
};
