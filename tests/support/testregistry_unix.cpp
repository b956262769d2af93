#include "support/testregistry.h"

#include "core/catalog/uninstallregistry_p.h"

#include <QDir>
#include <QSettings>

bool TestRegistry::isScratch()
{
    return true;
}

bool TestRegistry::write(Root root, const QString &pathName, const QVariantMap &values)
{
    static const char *const roots[] = {
        "/HKEY_LOCAL_MACHINE/SOFTWARE/Microsoft/Windows/CurrentVersion/Uninstall/",
        "/HKEY_LOCAL_MACHINE/SOFTWARE/WOW6432Node/Microsoft/Windows/CurrentVersion/Uninstall/",
        "/HKEY_CURRENT_USER/SOFTWARE/Microsoft/Windows/CurrentVersion/Uninstall/",
    };
    QSettings settings(fileRegistryRoot() + roots[static_cast<int>(root)] + pathName + ".ini", QSettings::IniFormat);
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
