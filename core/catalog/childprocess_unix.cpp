#include "core/catalog/childprocess_p.h"

#include "core/base/logging.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <cerrno>

// A downloaded installer arrives without execute permission; grant it to the owner.
void preparePlatformChildProcess(QProcess &process)
{
    const QString program = process.program();
    const QFileInfo info(program);
    if (!info.isFile() || info.permission(QFileDevice::ExeOwner))
        return;
    if (!QFile::setPermissions(program, info.permissions() | QFileDevice::ExeOwner))
        qCWarning(lcCatalog) << "Failed to make executable:" << program;
}

// Exec refuses a file that any process holds open for writing (ETXTBSY); the text is Qt's, for
// the same error number, in the same language.
bool startFailedOnBusyFile(const QProcess &process)
{
    return process.error() == QProcess::FailedToStart && process.errorString().endsWith(qt_error_string(ETXTBSY));
}
