#include "core/files/folderremoval.h"

#include "core/base/logging.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// A link (or Windows junction) goes as itself, never through to its target.
bool removeLink(const QFileInfo &link)
{
    const QString path = link.absoluteFilePath();
    if (QFile::remove(path))
        return true;
    // A link to a folder on Windows is removed like an empty folder; the target keeps its content.
    return link.isDir() && link.absoluteDir().rmdir(link.fileName());
}

bool isLink(const QFileInfo &info)
{
    return info.isSymLink() || info.isJunction();
}

} // namespace

bool removeFolder(const QString &folderPath)
{
    const QFileInfo folderInfo(QDir::cleanPath(QFileInfo(folderPath).absoluteFilePath()));
    if (isLink(folderInfo)) {
        if (removeLink(folderInfo))
            return true;
        qCWarning(lcCatalog) << "Failed to remove folder:" << folderPath;
        return false;
    }

    QDir dir(folderInfo.absoluteFilePath());
    if (!folderInfo.exists() || !dir.exists()) {
        qCDebug(lcCatalog) << "Folder does not exist:" << folderPath;
        return true;
    }

    const QFileInfoList entries = dir.entryInfoList(QDir::Files | QDir::Dirs | QDir::Drives | QDir::NoDotAndDotDot);
    for (const QFileInfo &entry : entries) {
        if (isLink(entry)) {
            if (!removeLink(entry)) {
                qCWarning(lcCatalog) << "Failed to remove file:" << entry.absoluteFilePath();
                return false;
            }
        } else if (entry.isDir()) {
            if (!removeFolder(entry.absoluteFilePath()))
                return false;
        } else if (!QFile::remove(entry.absoluteFilePath())) {
            qCWarning(lcCatalog) << "Failed to remove file:" << entry.absoluteFilePath();
            return false;
        }
    }

    if (!folderInfo.absoluteDir().rmdir(folderInfo.fileName())) {
        qCWarning(lcCatalog) << "Failed to remove folder:" << folderPath;
        return false;
    }
    return true;
}
