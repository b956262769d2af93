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
    const QString path = QLatin1String(kRoots[static_cast<int>(root)]) + QLatin1Char('\\') + pathName;
    const std::wstring subkey = path.section(QLatin1Char('\\'), 1).toStdWString();
    const std::wstring name = valueName.toStdWString();
    const std::wstring data = text.toStdWString();
    HKEY key = nullptr;
    if (!isScratch() ||
        RegCreateKeyExW(path.startsWith(QLatin1String("HKEY_LOCAL_MACHINE")) ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER,
                        subkey.c_str(), 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return false;
    const auto *bytes = reinterpret_cast<const BYTE *>(data.c_str());
    const DWORD size = static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t));
    const LONG status = RegSetValueExW(key, name.c_str(), 0, REG_EXPAND_SZ, bytes, size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

bool TestRegistry::clear()
{
    if (!isScratch()) {
        qWarning("TestRegistry: refusing to clear a registry that is not the test's own");
        return false;
    }
    bool cleared = true;
    for (int i = 0; i < 3; ++i) {
        QSettings settings(QLatin1String(kRoots[i]), formatOf(static_cast<Root>(i)));
        const QStringList keys = settings.childGroups();
        for (const QString &key : keys)
            settings.remove(key);
        settings.sync();
        cleared = cleared && settings.status() == QSettings::NoError;
    }
    return cleared;
}
