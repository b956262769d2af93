#include "core/base/apppaths.h"

#include <QCoreApplication>

namespace {
QString &overrideDir()
{
    static QString dir;
    return dir;
}
} // namespace

QString AppPaths::appDir()
{
    if (!overrideDir().isEmpty())
        return overrideDir();
    return QCoreApplication::applicationDirPath();
}

void AppPaths::setAppDirForTesting(const QString &dir)
{
    overrideDir() = dir;
}
