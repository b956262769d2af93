#include "core/files/initthread.h"

#include "core/base/apppaths.h"
#include "core/base/logging.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

InitThread::InitThread(QObject *parent)
    : QThread(parent)
{
}

QString InitThread::codecDir()
{
    return AppPaths::appDir() + QLatin1String("/res/codec");
}

void InitThread::emptyFolder(const QString &dir)
{
    const QFileInfoList entries = QDir(dir).entryInfoList(
        QDir::Dirs | QDir::Files | QDir::Hidden | QDir::NoSymLinks | QDir::NoDotAndDotDot, QDir::Unsorted);
    for (const QFileInfo &entry : entries) {
        if (entry.isDir()) {
            QDir sub(entry.absoluteFilePath());
            if (sub.exists())
                sub.removeRecursively();
        } else if (QFile::exists(entry.absoluteFilePath())) {
            QFile::remove(entry.absoluteFilePath());
        }
    }
}

void InitThread::run()
{
    qCDebug(lcApp) << "delete temp file begin";
    emptyFolder(codecDir());
}
