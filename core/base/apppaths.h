#pragma once

#include <QString>

// The folder the program treats as "beside the executable": iconImg/, temp/ and res/codec/ live there.
namespace AppPaths {

QString appDir();

// Tests point the program's folder somewhere private; an empty path restores the default.
void setAppDirForTesting(const QString &dir);

} // namespace AppPaths
