#include "core/files/downloadname.h"

#include <QRegularExpression>
#include <QUrl>

QString fallbackDownloadFileName()
{
    return QStringLiteral("setup.exe");
}

bool isSafeDownloadFileName(const QString &name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    // Windows drops trailing dots and spaces, so "a.exe." and "a.exe" would be the same file.
    if (name.endsWith(QLatin1Char('.')) || name.endsWith(QLatin1Char(' ')))
        return false;
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || c.category() == QChar::Other_Control)
            return false;
        switch (c.unicode()) {
        case '/':
        case '\\':
        case ':':
        case '<':
        case '>':
        case '"':
        case '|':
        case '?':
        case '*':
            return false;
        default:
            break;
        }
    }
    // A device name opens the device, whatever extension follows it.
    static const QRegularExpression deviceName(QStringLiteral("^(con|prn|aux|nul|com[1-9]|lpt[1-9])(\\..*)?$"),
                                               QRegularExpression::CaseInsensitiveOption);
    return !deviceName.match(name).hasMatch();
}

QString downloadFileName(const QUrl &url)
{
    // fileName() works on the path alone: the query and the fragment never take part.
    const QString name = url.fileName(QUrl::FullyDecoded);
    return isSafeDownloadFileName(name) ? name : fallbackDownloadFileName();
}
