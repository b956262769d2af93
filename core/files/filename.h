#pragma once

#include <QString>

// Whether `name` can only name an entry directly inside the folder (or registry key) it is appended
// to: not empty, not "." or "..", no separator "/" or "\", no control character. Dots elsewhere
// ("Tessa..Pro", "app..png") are ordinary characters.
bool isPlainName(const QString &name);

// Whether `name` is a plain name that is also a plain file on Windows: besides the rules above, no
// character Windows refuses in names (":" would open a stream of another file), no trailing dot or
// space (Windows drops them, so "a.exe." is "a.exe"), and no device name such as "CON" or "nul.txt".
// The one check for every file name that comes from the platform: icons and downloaded installers.
bool isSafeFileName(const QString &name);
