#include "core/catalog/uninstallregistry_p.h"

#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

QString fileRegistryRoot()
{
    const QString fromEnv = qEnvironmentVariable("TESSALY_REGISTRY_ROOT");
    if (!fromEnv.isEmpty())
        return fromEnv;
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QLatin1String("/tessaly-registry");
}

// The key ROOT\A\B\Name lives in the file <registry root>/ROOT/A/B/Name.ini.
QVariant readUninstallValue(const UninstallRoot &root, const QString &pathName, const QString &valueName)
{
    QString keyPath = root.key;
    keyPath.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const QString filePath =
        fileRegistryRoot() + QLatin1Char('/') + keyPath + QLatin1Char('/') + pathName + QLatin1String(".ini");
    if (!QFileInfo(filePath).isFile())
        return QVariant();

    QSettings settings(filePath, QSettings::IniFormat);
    settings.setIniCodec("UTF-8");
    return settings.value(valueName);
}
