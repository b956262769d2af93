#pragma once

#include <QByteArray>
#include <QImage>
#include <QPixmap>
#include <QString>

// Stores a downloaded picture at `path` and returns it decoded; a null image (and nothing written)
// when the bytes are no picture or the file cannot be written. Bytes already in the format the
// path's suffix asks for are written as received; others are saved in that format. The picture is
// decoded once either way.
QImage writeImageFile(const QByteArray &bytes, const QString &path);

// Reads the picture file at `path` (a resource path too) as QPixmap(path) would, but with the decoder
// its suffix names: QPixmap and QIcon ask every image format plugin about a file before their built-in
// decoders, which loads them all, and at start-up that costs more than the pictures. A file whose
// content is in another format than its suffix says is still read, from its content. A null pixmap
// when nothing can be read.
QPixmap readPixmapFile(const QString &path);
// The same as an image, for a thread other than the GUI's; QPixmap::fromImage makes the pixmap that
// readPixmapFile would.
QImage readImageFile(const QString &path);
// Whether the file holds a picture that readPixmapFile can read; only its header is read.
bool isImageFile(const QString &path);
