#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

// Stores a downloaded picture at `path` and returns it decoded; a null image (and nothing written)
// when the bytes are no picture or the file cannot be written. Bytes already in the format the
// path's suffix asks for are written as received; others are saved in that format. The picture is
// decoded once either way.
QImage writeImageFile(const QByteArray &bytes, const QString &path);
