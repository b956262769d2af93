#include "core/catalog/tileoperations.h"

#include "core/base/logging.h"
#include "core/catalog/tiletexts.h"
#include "core/catalog/uninstallregistry.h"
#include "core/catalog/uninstallworker.h"
#include "core/catalog/worker.h"
#include "core/catalog/workerthread.h"
#include "core/download/installerdownload.h"
#include "core/files/downloadname.h"
#include "core/files/folderremoval.h"
#include "core/platform/mycontext.h"

#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QUrl>

namespace {

// A download of this size or less is an error page, not an installer.
constexpr qint64 minimumInstallerSize = 1024;

// How long a download may go without receiving anything before it counts as broken.
int downloadStallMs()
{
    bool ok = false;
    const int ms = qEnvironmentVariableIntValue("TESSALY_DOWNLOAD_STALL_MS", &ok);
    return ok && ms > 0 ? ms : 30000;
}

// "下载失败，重新安装" / "下载失败，重新升级": a download that arrived but is no installer (too small, or not
// the one the catalog's hash names).
QString downloadFailedText(TileOperations::Operation operation)
{
    return operation == TileOperations::Upgrading ? TileText::downloadTooSmallUpgrade()
                                                  : TileText::downloadTooSmallInstall();
}

} // namespace

TileOperations::TileOperations(QObject *parent)
    : QObject(parent)
{
}

TileOperations::~TileOperations()
{
    // A download still running goes with the tile, and so does its work folder. A running
    // installer keeps its folder: it is in use.
    if (m_download) {
        delete m_download;
        m_download = nullptr;
        removeDownloadFolder();
    }
    WorkerThread::release(this);
}

void TileOperations::setApplication(const QString &downloadUrl, const QString &pathName, bool installed,
                                    bool needUpgrade, const QString &sha256)
{
    m_downloadUrl = downloadUrl;
    m_sha256 = sha256;
    m_pathName = pathName;
    m_installed = installed;
    m_needUpgrade = needUpgrade;
    if (m_installed)
        readRegistryPaths();
    emit stateChanged();
}

TileState TileOperations::state() const
{
    TileState state;
    state.installed = m_installed;
    state.needUpgrade = m_needUpgrade;
    state.installRunning = m_download || m_installerRunning;
    state.unInstallRunning = m_unInstallRunning;
    return state;
}

void TileOperations::readRegistryPaths()
{
    m_unInstallPath = getUnInstallPath(m_pathName);
    m_appPath = getAppPath(m_pathName);
}

void TileOperations::end(Operation operation, const QString &buttonText)
{
    emit finished(operation, buttonText);
    emit stateChanged();
}

// ---- install and upgrade ----

void TileOperations::startDownload(Operation operation)
{
    if (m_downloadUrl.isEmpty() || m_download || m_installerRunning || m_unInstallRunning)
        return;

    m_operation = operation;
    const QUrl url(m_downloadUrl);
    const QString fileName = downloadFileName(url);
    // A folder of its own, even when another download asked for a folder within the same millisecond.
    m_workDir = MyContext::newTempWorkDir();
    m_filePath = m_workDir + QLatin1Char('/') + fileName;

    if (!m_networkManager) // made with the first download: most tiles never download anything
        m_networkManager = new QNetworkAccessManager(this);
    m_download = new InstallerDownload(m_networkManager, this);
    m_download->setStallTimeout(downloadStallMs());
    m_download->setRetryDelays(m_retryDelaysMs);
    connect(m_download, &InstallerDownload::progress, this, &TileOperations::downloadProgress);
    connect(m_download, &InstallerDownload::finished, this,
            [this](InstallerDownload::Outcome outcome) { onDownloadFinished(outcome); });
    // Announced before the start, which reports the first progress, and with the download in hand.
    emit progressStarted(operation);
    // Without a folder of its own nothing is opened: the name may be another download's file.
    if (m_workDir.isEmpty() || !m_download->start(url, m_filePath, m_sha256.toLatin1())) {
        if (m_workDir.isEmpty())
            qCWarning(lcCatalog) << "Failed to open file for writing:" << m_filePath;
        delete m_download;
        m_download = nullptr;
        removeDownloadFolder();
        end(operation, TileText::createFileFailed());
        return;
    }
    qCDebug(lcCatalog) << "download url:" << m_downloadUrl << ",filename:" << fileName;
    emit stateChanged();
}

void TileOperations::onDownloadFinished(int outcome)
{
    // Deleted later: this runs inside its signal.
    m_download->deleteLater();
    m_download = nullptr;
    const qint64 size = QFileInfo(m_filePath).size();
    if (outcome == InstallerDownload::Complete && size > minimumInstallerSize) {
        startInstaller();
        return;
    }
    removeDownloadFolder();
    if (outcome == InstallerDownload::Complete) {
        qCWarning(lcCatalog) << "Downloaded file is too small:" << size;
        end(m_operation, downloadFailedText(m_operation));
    } else if (outcome == InstallerDownload::ChecksumMismatch) {
        end(m_operation, downloadFailedText(m_operation));
    } else {
        end(m_operation, TileText::downloadError());
    }
}

void TileOperations::removeDownloadFolder()
{
    if (m_workDir.isEmpty())
        return;
    qCDebug(lcCatalog) << "clear temp ==================";
    removeFolder(m_workDir);
    m_workDir.clear();
}

void TileOperations::startInstaller()
{
    m_installerRunning = true;
    WorkerThread::start(new Worker(m_filePath, nullptr, m_workerStartTimeoutMs), &Worker::perform,
                        &Worker::actionFinished, this,
                        [this](bool success) { onInstallationOrUpgradeFinished(success); });
    emit progressStarted(m_operation);
    emit stateChanged();
}

void TileOperations::onInstallationOrUpgradeFinished(bool success)
{
    m_installerRunning = false;
    const Operation operation = m_operation == Upgrading ? Upgrading : Installing;
    QString text;
    if (success) {
        text = operation == Installing ? TileText::install() : TileText::upgrade();
        m_installed = true;
        m_needUpgrade = false;
        readRegistryPaths();
    } else {
        text = operation == Installing ? TileText::installFailed() : TileText::upgradeFailed();
    }
    removeDownloadFolder();
    end(operation, text);
}

// ---- launch ----

void TileOperations::startLaunch()
{
    if (!m_installed || m_appPath.isEmpty())
        return;
    if (m_launchRunning) {
        qCDebug(lcCatalog) << "Program is already running:" << m_appPath;
        return;
    }
    // The launch runs beside whatever else the tile does; only an idle tile records it as its operation.
    if (!m_download && !m_installerRunning && !m_unInstallRunning)
        m_operation = Launching;
    m_launchRunning = true;
    WorkerThread::start(new Worker(m_appPath, nullptr, m_workerStartTimeoutMs), &Worker::perform,
                        &Worker::actionFinished, this, [this](bool success) { onLaunchFinished(success); });
}

void TileOperations::onLaunchFinished(bool success)
{
    qCDebug(lcCatalog) << "program exited:" << m_appPath << ",success:" << success;
    m_launchRunning = false;
}

// ---- uninstall ----

void TileOperations::startUnInstall()
{
    if (m_unInstallRunning || m_download || m_installerRunning)
        return;
    m_operation = Uninstalling;
    m_unInstallRunning = true;
    WorkerThread::start(new UnInstallWorker(m_unInstallPath), &UnInstallWorker::performUnInstall,
                        &UnInstallWorker::unInstallationFinished, this,
                        [this](bool success) { onUnInstallationFinished(success); });
    emit progressStarted(Uninstalling);
    emit stateChanged();
}

void TileOperations::onUnInstallationFinished(bool success)
{
    m_unInstallRunning = false;
    if (success) {
        m_installed = false;
        m_needUpgrade = false;
        m_appPath.clear();
        m_unInstallPath.clear();
    }
    end(Uninstalling, success ? TileText::unInstall() : TileText::unInstallFailed());
}
