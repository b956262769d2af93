#pragma once

#include <QString>

// Queries of the system's uninstall registry. An application is the subkey `pathName` under the
// three uninstall roots, searched in this order:
//   1. HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall (64-bit view)
//   2. HKEY_LOCAL_MACHINE\SOFTWARE\WOW6432Node\Microsoft\Windows\CurrentVersion\Uninstall
//   3. HKEY_CURRENT_USER\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall
// The first root holding the value answers. A pathName that is empty, "." or "..", or holds "/",
// "\" or a control character is never looked up and counts as not installed ("Tessa..Pro" is fine).
//
// Without a Windows registry the key ROOT\A\B\Name is the file
// $TESSALY_REGISTRY_ROOT/ROOT/A/B/Name.ini (QSettings IniFormat, UTF-8, values in [General]);
// with TESSALY_REGISTRY_ROOT unset the folder is "tessaly-registry" in the user's data location.
// Values are stored as QSettings writes them (backslashes doubled, a value with a comma quoted).

// True when "DisplayName" exists under one of the roots.
bool isSoftwareInstalled(const QString &pathName);

// "DisplayVersion", or "" when no root has it.
QString getDisplayVersion(const QString &pathName);

// "UninstallString" as a program path (see programPathFromRegistryValue), or "".
QString getUnInstallPath(const QString &pathName);

// "DisplayIcon" as a program path (see programPathFromRegistryValue), or "".
QString getAppPath(const QString &pathName);

// Turns an "UninstallString" or "DisplayIcon" value into the path of the program it names:
//   C:\x\a.exe                          -> C:\x\a.exe
//   "C:\Program Files\a.exe"            -> C:\Program Files\a.exe   (quotes stripped)
//   "C:\Program Files\a.exe" /S --x     -> C:\Program Files\a.exe   (arguments after a quoted path)
//   "C:\x\a.exe",0   and   C:\x\a.exe,0 -> C:\x\a.exe               (icon index ",N", also negative)
//   /opt/x/a.sh      and   "/opt/x/a.sh",1 -> /opt/x/a.sh
//   C:\Program Files\a.exe /S           -> unchanged: without quotes a space may belong to the path
// Surrounding white space is trimmed; a value opening a quote it never closes loses that quote.
QString programPathFromRegistryValue(const QString &value);
