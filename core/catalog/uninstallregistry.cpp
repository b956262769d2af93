#include "core/catalog/uninstallregistry.h"

#include "core/base/logging.h"
#include "core/catalog/uninstallregistry_p.h"
#include "core/files/filename.h"

#include <QStringList>

namespace {

const QList<UninstallRoot> &uninstallRoots()
{
    static const QList<UninstallRoot> roots = {
        {QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"), true},
        {QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall"),
         false},
        {QStringLiteral("HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"), false},
    };
    return roots;
}

// A subkey name that would reach another key (or another file) is never looked up; see isPlainName.
bool isSafeSubkeyName(const QString &pathName)
{
    return isPlainName(pathName);
}

QString valueText(const QVariant &value)
{
    // An unquoted comma in an ini file splits the value into a list; put it back together.
    if (value.userType() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1Char(','));
    return value.toString();
}

// Searches the roots in order; true with *text set when one of them has the value.
bool findValue(const QString &pathName, const QString &valueName, const char *label, QString *text)
{
    if (!isSafeSubkeyName(pathName)) {
        qCWarning(lcCatalog) << "Ignoring uninstall subkey name:" << pathName;
        return false;
    }
    for (const UninstallRoot &root : uninstallRoots()) {
        const QVariant value = readUninstallValue(root, pathName, valueName);
        const QString valueString = valueText(value);
        qCDebug(lcCatalog) << label << valueString;
        if (value.isValid()) {
            *text = valueString;
            return true;
        }
    }
    return false;
}

QString findText(const QString &pathName, const QString &valueName, const char *label)
{
    QString text;
    findValue(pathName, valueName, label, &text);
    return text;
}

} // namespace

bool isSoftwareInstalled(const QString &pathName)
{
    QString text;
    return findValue(pathName, QStringLiteral("DisplayName"), "displayName=================:", &text);
}

QString getDisplayVersion(const QString &pathName)
{
    return findText(pathName, QStringLiteral("DisplayVersion"), "version=================:");
}

QString getUnInstallPath(const QString &pathName)
{
    return programPathFromRegistryValue(
        findText(pathName, QStringLiteral("UninstallString"), "unInstallPath=================:"));
}

QString getAppPath(const QString &pathName)
{
    return programPathFromRegistryValue(findText(pathName, QStringLiteral("DisplayIcon"), "appPath=================:"));
}

QString programPathFromRegistryValue(const QString &value)
{
    QString text = value.trimmed();
    if (text.startsWith(QLatin1Char('"'))) {
        const int closing = text.indexOf(QLatin1Char('"'), 1);
        if (closing > 0)
            return text.mid(1, closing - 1).trimmed();
        text = text.mid(1).trimmed();
    }

    // A trailing icon index: ",N" with an optional minus sign.
    const int comma = text.lastIndexOf(QLatin1Char(','));
    if (comma >= 0) {
        QString index = text.mid(comma + 1).trimmed();
        if (index.startsWith(QLatin1Char('-')))
            index.remove(0, 1);
        bool isNumber = false;
        index.toUInt(&isNumber);
        if (isNumber)
            text = text.left(comma).trimmed();
    }
    return text;
}
