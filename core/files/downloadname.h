#pragma once

#include <QString>

class QUrl;

// The name an installer is saved under inside its work folder: the last segment of the address's
// path, decoded, without query or fragment. A segment that could name anything but a plain file
// in that folder (empty, "." or "..", a separator "/" "\" or ":", a control character, a character
// Windows refuses in names, a trailing dot or space, or a device name such as "CON" or "nul.txt")
// is replaced by fallbackDownloadFileName(), so the download always stays inside the work folder.
QString downloadFileName(const QUrl &url);

// "setup.exe": the name used when the address offers no usable one.
QString fallbackDownloadFileName();

// Whether `name` is a plain file name by the rules above.
bool isSafeDownloadFileName(const QString &name);
