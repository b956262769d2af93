#include "core/catalog/worker.h"

#include "core/base/logging.h"
#include "core/catalog/childprocess.h"

#include <QProcess>

Worker::Worker(const QString &installerPath, QObject *parent, int startTimeoutMs)
    : QObject(parent)
    , m_installerPath(installerPath)
    , m_startTimeoutMs(startTimeoutMs)
{
}

void Worker::perform()
{
    qCDebug(lcCatalog) << "m_installerPath===============:" << m_installerPath;

    QProcess process;
    prepareChildProcess(process, m_installerPath);
    if (!startChildProcess(process, m_startTimeoutMs)) {
        qCWarning(lcCatalog) << "Failed to start installer:" << process.errorString();
        emit actionFinished(false);
        return;
    }

    if (!process.waitForFinished(-1)) {
        emit actionFinished(false);
        return;
    }
    // A crashed child has no exit code worth trusting.
    emit actionFinished(process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0);
}
