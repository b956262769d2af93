#include "core/catalog/uninstallworker.h"

#include "core/base/logging.h"
#include "core/catalog/childprocess.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

UnInstallWorker::UnInstallWorker(const QString &unInstallerPath, QObject *parent)
    : QObject(parent)
    , m_unInstallerPath(unInstallerPath)
{
}

void UnInstallWorker::performUnInstall()
{
    qCDebug(lcCatalog) << "m_unInstallerPath===============:" << m_unInstallerPath;
    // Without an uninstaller there is no folder to look in; "/tt.exe" would be a stranger's tool. A
    // relative path ("MsiExec.exe" of "MsiExec.exe /X{...}") names no folder either: resolved, it would
    // run a "tt.exe" from our own current directory.
    if (m_unInstallerPath.isEmpty()) {
        qCWarning(lcCatalog) << "Failed to start installer:"
                             << "no uninstaller path";
        emit unInstallationFinished(false);
        return;
    }
    if (!QDir::isAbsolutePath(m_unInstallerPath)) {
        qCWarning(lcCatalog) << "Failed to start installer:"
                             << "uninstaller path is not absolute" << m_unInstallerPath;
        emit unInstallationFinished(false);
        return;
    }
    const QString ttUnInstallFilePath = QFileInfo(m_unInstallerPath).absolutePath() + QLatin1String("/tt.exe");
    qCDebug(lcCatalog) << "ttUnInstallFilePath===============:" << ttUnInstallFilePath;

    QProcess process;
    prepareChildProcess(process, ttUnInstallFilePath);
    if (!startChildProcess(process, -1)) {
        qCWarning(lcCatalog) << "Failed to start installer:" << process.errorString();
        emit unInstallationFinished(false);
        return;
    }

    const bool finished = process.waitForFinished(-1);
    emit unInstallationFinished(finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0);
}
