#include "core/catalog/childprocess.h"

#include "core/base/logging.h"
#include "core/catalog/childprocess_p.h"

#include <QFileInfo>
#include <QProcess>
#include <QThread>

namespace {
constexpr int busyFilePauseMs = 50;
constexpr int busyFileRetries = 100;
} // namespace

void prepareChildProcess(QProcess &process, const QString &program)
{
    // An absolute path keeps a bare file name from being looked up in PATH.
    process.setProgram(program.isEmpty() ? program : QFileInfo(program).absoluteFilePath());
    process.setArguments({});
    // No working directory of its own: a child started in its folder would hold that folder open
    // (on Windows it could then not be removed, e.g. an installer's work folder), so it inherits ours.
    preparePlatformChildProcess(process);
}

bool startChildProcess(QProcess &process, int timeoutMs)
{
    for (int retry = 0;; ++retry) {
        process.start();
        if (process.waitForStarted(timeoutMs))
            return true;
        if (retry == busyFileRetries || !startFailedOnBusyFile(process))
            return false;
        if (retry == 0)
            qCDebug(lcCatalog) << "Program file busy, trying again:" << process.program();
        QThread::msleep(busyFilePauseMs);
    }
}
