#include "support/testregistry.h"

#include "core/catalog/uninstallregistry_p.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace {

QString rootFolder(TestRegistry::Root root)
{
    static const char *const paths[] = {
        "HKEY_LOCAL_MACHINE/SOFTWARE/Microsoft/Windows/CurrentVersion/Uninstall",
        "HKEY_LOCAL_MACHINE/SOFTWARE/WOW6432Node/Microsoft/Windows/CurrentVersion/Uninstall",
        "HKEY_CURRENT_USER/SOFTWARE/Microsoft/Windows/CurrentVersion/Uninstall",
    };
    return fileRegistryRoot() + QLatin1Char('/') + QLatin1String(paths[static_cast<int>(root)]);
}

} // namespace

bool TestRegistry::isScratch()
{
    return true;
}

bool TestRegistry::write(Root root, const QString &pathName, const QVariantMap &values)
{
    const QString file = rootFolder(root) + QLatin1Char('/') + pathName + QStringLiteral(".ini");
    QDir().mkpath(QFileInfo(file).absolutePath());
    QSettings settings(file, QSettings::IniFormat);
    settings.setIniCodec("UTF-8");
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        settings.setValue(it.key(), it.value());
    settings.sync();
    return settings.status() == QSettings::NoError;
}

bool TestRegistry::clear()
{
    return QDir(fileRegistryRoot()).removeRecursively();
}
