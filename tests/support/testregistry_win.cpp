#include "support/testregistry.h"

#include <QSettings>

#include <string>

#include <windows.h>

namespace {

const char *const kRoots[] = {
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
    "HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
};

// The first machine root through the 64-bit view, the way a 64-bit installer writes it.
QSettings::Format formatOf(TestRegistry::Root root)
{
    return root == TestRegistry::Root::Machine64 ? QSettings::Registry64Format : QSettings::NativeFormat;
}

} // namespace

bool TestRegistry::isScratch()
{
    return qEnvironmentVariableIntValue("TESSALY_TEST_SCRATCH_REGISTRY") == 1;
}

bool TestRegistry::write(Root root, const QString &pathName, const QVariantMap &values)
{
    if (!isScratch())
        return false;
    QSettings settings(QLatin1String(kRoots[static_cast<int>(root)]), formatOf(root));
    settings.beginGroup(pathName);
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        settings.setValue(it.key(), it.value());
    settings.endGroup();
    settings.sync();
    return settings.status() == QSettings::NoError;
}

bool TestRegistry::writeExpandable(Root root, const QString &pathName, const QString &valueName, const QString &text)
{
    if (!isScratch())
        return false;
    const QString path = QLatin1String(kRoots[static_cast<int>(root)]);
    const HKEY hive = path.startsWith(QLatin1String("HKEY_LOCAL_MACHINE")) ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    const std::wstring subkey =
        QString(path.mid(path.indexOf(QLatin1Char('\\')) + 1) + QLatin1Char('\\') + pathName).toStdWString();
    HKEY key = nullptr;
    if (RegCreateKeyExW(hive, subkey.c_str(), 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    const std::wstring name = valueName.toStdWString();
    const std::wstring data = text.toStdWString();
    const LONG status = RegSetValueExW(key, name.c_str(), 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE *>(data.c_str()),
                                       static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

bool TestRegistry::clear()
{
    if (!isScratch()) {
        qWarning("TestRegistry: refusing to clear a registry that is not the test's own");
        return false;
    }
    for (int i = 0; i < 3; ++i) {
        const auto root = static_cast<Root>(i);
        QSettings settings(QLatin1String(kRoots[i]), formatOf(root));
        const QStringList keys = settings.childGroups();
        for (const QString &key : keys)
            settings.remove(key);
        settings.sync();
        if (settings.status() != QSettings::NoError)
            return false;
    }
    return true;
}
