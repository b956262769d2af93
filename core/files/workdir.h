#pragma once

#include <QString>

// Work folders of downloads. MyContext::newTempWorkDir() names a folder after the current time to the
// millisecond, so two downloads started within the same millisecond get the same name. A download
// claims its folder here instead of using that name as it is:
//
// uniqueWorkDir(base) returns `base` when it is an empty folder (or can be created) and no one in this
// process holds it, else the first such "base_1", "base_2", ...; the folder exists on return and is
// held until releaseWorkDir(). Entries already in a folder (another download, a running installer)
// are never touched. Empty when no folder could be created (e.g. a file stands where "temp" should be).
QString uniqueWorkDir(const QString &base);

// Lets go of a folder claimed by uniqueWorkDir(); it can be claimed again once it is empty.
void releaseWorkDir(const QString &path);
