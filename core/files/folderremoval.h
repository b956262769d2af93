#pragma once

#include <QString>

// Removes a folder tree; true when the folder is gone or was never there.
// Hidden and system entries are not listed, so a folder holding one stays (with that entry) and
// the result is false. Stops at the first entry it cannot remove. A symbolic link is removed as
// a link; what it points to is never touched.
bool removeFolder(const QString &folderPath);
