#include "core/catalog/tileoperations.h"

#include "core/base/logging.h"
#include "core/catalog/tiletexts.h"
#include "core/catalog/uninstallregistry.h"
#include "core/catalog/uninstallworker.h"
#include "core/catalog/worker.h"
#include "core/catalog/workerthread.h"
#include "core/files/downloadname.h"
#include "core/files/folderremoval.h"
#include "core/platform/mycontext.h"

#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

namespace {

// A download of this size or less is an error page, not an installer.
constexpr qint64 minimumInstallerSize = 1024;
// A bounded buffer makes the network wait for the disk instead of piling the body up in memory.
constexpr qint64 downloadBufferSize = 1024 * 1024;

// Whether all of the announced body arrived. Without a length, or with an encoded body whose length
// is not what lands in the file, there is nothing to compare with. Only a shortfall means a cut
// transfer: after a redirect Qt has been seen (under Wine) to report the redirect's own length, 0,
// for a body that arrived whole.
bool isComplete(const QNetworkReply *reply, qint64 received)
{
    const QVariant announced = reply->header(QNetworkRequest::ContentLengthHeader);
    const QByteArray encoding = reply->rawHeader(QByteArrayLiteral("Content-Encoding")).trimmed().toLower();
    if (!announced.isValid() || !(encoding.isEmpty() || encoding == "identity"))
        return true;
    return received >= announced.toLongLong();
}

// How long a download may go without receiving anything before it counts as broken.
int downloadStallMs()
{
    bool ok = false;
    const int ms = qEnvironmentVariableIntValue("TESSALY_DOWNLOAD_STALL_MS", &ok);
    return ok && ms > 0 ? ms : 30000;
}

QString tooSmallText(TileOperations::Operation operation)
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
    if (m_downloadReply) {
        releaseDownload();
        closeDownloadFile();
        removeDownloadFolder();
    }
    WorkerThread::release(this);
}

void TileOperations::setApplication(const QString &downloadUrl, const QString &pathName, bool installed,
                                    bool needUpgrade)
{
    m_downloadUrl = downloadUrl;
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
    state.installRunning = m_downloadReply || m_installerRunning;
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
    if (m_downloadUrl.isEmpty() || m_downloadReply || m_installerRunning || m_unInstallRunning)
        return;

    m_operation = operation;
    emit progressStarted(operation);

    const QUrl url(m_downloadUrl);
    const QString fileName = downloadFileName(url);
    // A folder of its own, even when another download asked for a folder within the same millisecond.
    m_workDir = MyContext::newTempWorkDir();
    m_filePath = m_workDir + QLatin1Char('/') + fileName;

    // Unbuffered: a failing write shows at once, not at some later flush. Without a folder of its
    // own nothing is opened: the name may be another download's file.
    m_downloadFile = new QFile(m_filePath);
    if (m_workDir.isEmpty() || !m_downloadFile->open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        qCWarning(lcCatalog) << "Failed to open file for writing:" << m_filePath;
        closeDownloadFile();
        removeDownloadFolder();
        end(operation, TileText::createFileFailed());
        return;
    }

    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    if (!m_networkManager) { // made with the first download: most tiles never download anything
        m_networkManager = new QNetworkAccessManager(this);
        m_stallTimer = new QTimer(this);
        m_stallTimer->setSingleShot(true);
        connect(m_stallTimer, &QTimer::timeout, this, &TileOperations::onDownloadStalled);
    }
    m_downloadReply = m_networkManager->get(request);
    m_downloadReply->setReadBufferSize(downloadBufferSize);
    // Only the reply in hand is connected; releaseDownload() cuts it off before anything else comes.
    connect(m_downloadReply, &QNetworkReply::readyRead, this, &TileOperations::onDownloadReadyRead);
    connect(m_downloadReply, &QNetworkReply::finished, this, &TileOperations::onDownloadFinished);
    connect(m_downloadReply, &QNetworkReply::errorOccurred, this, &TileOperations::onDownloadError);
    connect(m_downloadReply, &QNetworkReply::metaDataChanged, this, [this] { m_stallTimer->start(); });
    m_stallTimer->start(downloadStallMs());
    qCDebug(lcCatalog) << "download url:" << m_downloadUrl << ",filename:" << fileName;
    emit stateChanged();
}

bool TileOperations::writeReceived()
{
    while (m_downloadReply->bytesAvailable() > 0) {
        const QByteArray chunk = m_downloadReply->readAll();
        if (chunk.isEmpty())
            break;
        if (m_downloadFile->write(chunk) != chunk.size()) {
            qCWarning(lcCatalog) << "Failed to write file:" << m_filePath << m_downloadFile->errorString();
            return false;
        }
    }
    return true;
}

void TileOperations::onDownloadReadyRead()
{
    m_stallTimer->start();
    // A file that cannot take the data (disk full, folder gone) ends the download like the network would.
    if (!writeReceived())
        failDownload(TileText::downloadError());
}

void TileOperations::onDownloadFinished()
{
    if (!writeReceived()) {
        failDownload(TileText::downloadError());
        return;
    }
    m_downloadFile->close();
    const qint64 size = QFileInfo(m_filePath).size();
    closeDownloadFile();

    if (!isComplete(m_downloadReply, size)) {
        // A connection cut short can end without an error; a truncated installer must not run.
        qCWarning(lcCatalog) << "Download error:"
                             << "incomplete, received" << size << "of"
                             << m_downloadReply->header(QNetworkRequest::ContentLengthHeader).toLongLong();
        failDownload(TileText::downloadError());
        return;
    }

    const bool received = m_downloadReply->error() == QNetworkReply::NoError;
    releaseDownload();
    if (received && size > minimumInstallerSize) {
        startInstaller();
        return;
    }
    if (size <= minimumInstallerSize)
        qCWarning(lcCatalog) << "Downloaded file is too small:" << size;
    removeDownloadFolder();
    end(m_operation, tooSmallText(m_operation));
}

void TileOperations::onDownloadError(QNetworkReply::NetworkError error)
{
    qCWarning(lcCatalog) << "Download error:" << error << m_downloadReply->errorString();
    // The reply ends by itself after reporting; aborting it now would report a second error.
    failDownload(TileText::downloadError(), false);
}

void TileOperations::onDownloadStalled()
{
    qCWarning(lcCatalog) << "Download error: nothing received for" << m_stallTimer->interval() << "ms";
    failDownload(TileText::downloadError());
}

void TileOperations::failDownload(const QString &text, bool abort)
{
    closeDownloadFile();
    removeDownloadFolder();
    releaseDownload(abort);
    end(m_operation, text);
}

void TileOperations::releaseDownload(bool abort)
{
    QNetworkReply *reply = m_downloadReply;
    m_downloadReply = nullptr;
    if (!reply)
        return;
    m_stallTimer->stop();
    // Aborting emits the reply's signals at once; they must not come back here.
    disconnect(reply, nullptr, this, nullptr);
    if (abort && reply->isRunning())
        reply->abort();
    reply->deleteLater();
}

void TileOperations::closeDownloadFile()
{
    delete m_downloadFile; // closes it
    m_downloadFile = nullptr;
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
    if (!m_downloadReply && !m_installerRunning && !m_unInstallRunning)
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
    if (m_unInstallRunning || m_downloadReply || m_installerRunning)
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
