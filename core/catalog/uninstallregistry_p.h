#pragma once

#include <QString>
#include <QVariant>

// The platform half of the uninstall registry (uninstallregistry_win.cpp / _unix.cpp).

struct UninstallRoot
{
    QString key; // e.g. "HKEY_LOCAL_MACHINE\SOFTWARE\...\Uninstall"
    bool view64; // read through the 64-bit registry view on Windows
};

// The value `valueName` of subkey `pathName` under `root`; an invalid QVariant when absent.
QVariant readUninstallValue(const UninstallRoot &root, const QString &pathName, const QString &valueName);

// Where no Windows registry exists: the folder holding the key files ($TESSALY_REGISTRY_ROOT, else
// "tessaly-registry" in the user's data location). Defined by uninstallregistry_unix.cpp only.
QString fileRegistryRoot();
