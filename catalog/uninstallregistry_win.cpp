#include "catalog/uninstallregistry_p.h"

#include <QSettings>

// The first machine root is read through the 64-bit view: a 32-bit program reading it in the
// plain native format would be redirected to WOW6432Node and miss 64-bit applications.
QVariant readUninstallValue(const UninstallRoot &root, const QString &pathName, const QString &valueName)
{
    const QString key = root.key + QLatin1Char('\\') + pathName;
    QSettings settings(key, root.view64 ? QSettings::Registry64Format : QSettings::NativeFormat);
    return settings.value(valueName);
}
