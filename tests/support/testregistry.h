#pragma once

#include <QString>
#include <QVariantMap>

// The system's uninstall registry as the tests write it: real keys on Windows, the ini files of the
// file-backed registry ($TESSALY_REGISTRY_ROOT) elsewhere.
//
// On Windows the tests change machine-wide keys, so they run only in a registry of their own: a Wine
// prefix made for the one test program, which $TESSALY_TEST_SCRATCH_REGISTRY=1 vouches for.
namespace TestRegistry {

enum class Root {
    Machine64, // HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall, 64-bit view
    Machine32, // HKEY_LOCAL_MACHINE\SOFTWARE\WOW6432Node\Microsoft\Windows\CurrentVersion\Uninstall
    CurrentUser, // HKEY_CURRENT_USER\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall
};

// Whether this test may change the registry (always outside Windows).
bool isScratch();

// Writes the values into the subkey `pathName` of `root`; "/" in pathName nests subkeys.
bool write(Root root, const QString &pathName, const QVariantMap &values);

#ifdef Q_OS_WIN
// Writes one value as REG_EXPAND_SZ, as installers store paths with environment variables.
bool writeExpandable(Root root, const QString &pathName, const QString &valueName, const QString &text);
#endif

// Removes every application entry under the three roots; false (and nothing removed) when this is
// no scratch registry.
bool clear();

} // namespace TestRegistry
