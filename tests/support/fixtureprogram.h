#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

// Copies of the tests' fixture program (tests/fixtures/program, found through $TESSALY_FIXTURE),
// each with the configuration that makes it an installer, an installed program, an uninstall
// tool or a program that exits or crashes; the keys are in tests/fixtures/program/README.md.
namespace FixtureProgram {

using Config = QMap<QString, QString>;

// The program's file with `config` appended; empty when the program cannot be read.
QByteArray make(const Config &config);

// Writes `content` to `path`, making its folder, with or without the owner's execute permission.
bool write(const QString &path, const QByteArray &content, bool executable = true);

} // namespace FixtureProgram
