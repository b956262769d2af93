#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

// Files the tests lay out for the code under test.
namespace TestFiles {

// Writes `content` to `path`, making its folder (a path ending in "/" is a folder only); with `executable`
// its owner may run it. False when any of it failed.
bool write(const QString &path, const QByteArray &content = {}, bool executable = false);

// The whole file; empty when it cannot be read.
QByteArray read(const QString &path);

// A copy of the tests' fixture program ($TESSALY_FIXTURE, tests/fixtures/program) with `config` appended:
// the keys of README.md there make it an installer, an installed program or an uninstall tool.
QByteArray fixture(const QMap<QString, QString> &config);

} // namespace TestFiles
