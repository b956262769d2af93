#pragma once

#include <QString>

class QUrl;

// The name an installer is saved under inside its work folder: the last segment of the address's
// path, decoded, without query or fragment; fallbackDownloadFileName() when that segment is not a
// safe file name (isSafeFileName), so the download always stays inside the work folder.
QString downloadFileName(const QUrl &url);

// "setup.exe": the name used when the address offers no usable one.
QString fallbackDownloadFileName();
