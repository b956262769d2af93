#include "core/files/downloadname.h"

#include "core/files/filename.h"

#include <QUrl>

QString fallbackDownloadFileName()
{
    return QStringLiteral("setup.exe");
}

QString downloadFileName(const QUrl &url)
{
    // fileName() works on the path alone: the query and the fragment never take part.
    const QString name = url.fileName(QUrl::FullyDecoded);
    return isSafeFileName(name) ? name : fallbackDownloadFileName();
}
