#include "core/catalog/uninstallregistry_p.h"

#include <QSettings>

#include <string>

#include <windows.h>

namespace {

// Installers often store paths as REG_EXPAND_SZ ("%ProgramFiles%\App\uninst.exe"), which QSettings
// hands over unexpanded; RegGetValueW expands such a value. Empty when there is none.
QString expandedValue(const UninstallRoot &root, const QString &pathName, const QString &valueName)
{
    const int separator = root.key.indexOf(QLatin1Char('\\'));
    const HKEY hive = root.key.startsWith(QLatin1String("HKEY_LOCAL_MACHINE")) ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    const std::wstring subkey = QString(root.key.mid(separator + 1) + QLatin1Char('\\') + pathName).toStdWString();
    HKEY key = nullptr;
    if (RegOpenKeyExW(hive, subkey.c_str(), 0, KEY_QUERY_VALUE | (root.view64 ? KEY_WOW64_64KEY : 0), &key) !=
        ERROR_SUCCESS)
        return {};
    const std::wstring name = valueName.toStdWString();
    // REG_SZ admits an expandable value too, which then comes back expanded.
    const DWORD types = RRF_RT_REG_SZ;
    QString result;
    DWORD bytes = 0;
    if (RegGetValueW(key, nullptr, name.c_str(), types, nullptr, nullptr, &bytes) == ERROR_SUCCESS) {
        std::wstring buffer(bytes / sizeof(wchar_t) + 1, L'\0');
        if (RegGetValueW(key, nullptr, name.c_str(), types, nullptr, &buffer[0], &bytes) == ERROR_SUCCESS)
            result = QString::fromWCharArray(buffer.c_str());
    }
    RegCloseKey(key);
    return result;
}

} // namespace

// The first machine root is read through the 64-bit view: a 32-bit program reading it in the
// plain native format would be redirected to WOW6432Node and miss 64-bit applications.
QVariant readUninstallValue(const UninstallRoot &root, const QString &pathName, const QString &valueName)
{
    const QString key = root.key + QLatin1Char('\\') + pathName;
    QSettings settings(key, root.view64 ? QSettings::Registry64Format : QSettings::NativeFormat);
    const QVariant value = settings.value(valueName);
    if (value.userType() == QMetaType::QString && value.toString().contains(QLatin1Char('%'))) {
        const QString expanded = expandedValue(root, pathName, valueName);
        if (!expanded.isEmpty())
            return expanded;
    }
    return value;
}
