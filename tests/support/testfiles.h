#pragma once

#include <QByteArray>
#include <QString>

// Files the tests lay out for the code under test.
namespace TestFiles {

// Writes `content` to `path`, making its folder; false when any of it failed.
bool write(const QString &path, const QByteArray &content = {});

// The whole file; empty when it cannot be read.
QByteArray read(const QString &path);

} // namespace TestFiles
