#pragma once

#include "core/catalog/tilecontrols.h"
#include "core/download/transferprogress.h"

#include <QObject>
#include <QString>
#include <QVector>

class InstallerDownload;
class QNetworkAccessManager;

// The operations of one catalog tile, without the tile's looks. Installing and upgrading download
// the installer into a work folder of its own (MyContext::newTempWorkDir) and run it on a worker
// thread; launching starts the installed program, uninstalling runs the uninstall tool, each on a
// worker thread of its own, so a launch never mixes with an install, upgrade or uninstall beside it.
// Every change is reported by signals; the texts are TileText's.
//
// The download is an InstallerDownload: a connection that breaks or receives nothing for
// $TESSALY_DOWNLOAD_STALL_MS milliseconds (30000) is taken up again where it stopped, and an installer
// whose SHA-256 differs from the catalog's never runs.
//
// Destroyed while something runs: the download is aborted and its work folder removed; a worker
// waiting for its child is let go (see WorkerThread::release) and its report goes nowhere.
class TileOperations : public QObject
{
    Q_OBJECT
public:
    enum Operation { Installing, Upgrading, Uninstalling, Launching };
    Q_ENUM(Operation)

    explicit TileOperations(QObject *parent = nullptr);
    ~TileOperations() override;

    // The application: where its installer is, its uninstall registry subkey and its state here.
    // An installed application's program and uninstaller paths are read from the registry.
    // `sha256` is the installer's hash as 64 hex digits, or empty when the catalog gives none.
    void setApplication(const QString &downloadUrl, const QString &pathName, bool installed, bool needUpgrade,
                        const QString &sha256 = {});
    // How long a worker waits for its child to start (30 s); tests shorten it.
    void setWorkerStartTimeout(int ms) { m_workerStartTimeoutMs = ms; }
    // The pauses before a broken download is taken up again (1, 2 and 4 s); tests shorten them.
    void setDownloadRetryDelays(const QVector<int> &ms) { m_retryDelaysMs = ms; }

    // Installing or Upgrading. Nothing happens without an address, while an install or upgrade
    // runs, or while the uninstall tool runs.
    void startDownload(Operation operation);
    void startUnInstall();
    // Starts the installed program unless it is still running from an earlier press.
    void startLaunch();

    // The running or last operation; a launch counts only when it started on an idle tile.
    Operation operation() const { return m_operation; }
    TileState state() const;
    bool isInstalled() const { return m_installed; }
    bool needsUpgrade() const { return m_needUpgrade; }
    QString filePath() const { return m_filePath; }
    QString appPath() const { return m_appPath; }
    QString unInstallPath() const { return m_unInstallPath; }
    // The work folder of the download or installer in progress; empty when none.
    QString workDir() const { return m_workDir; }
    bool isDownloading() const { return m_download != nullptr; }
    bool isInstallerRunning() const { return m_installerRunning; }
    bool isLaunchRunning() const { return m_launchRunning; }
    bool isUnInstallRunning() const { return m_unInstallRunning; }

signals:
    // A step the user waits for began: the download, then the installer; or the uninstall tool.
    void progressStarted(TileOperations::Operation operation);
    // While the installer downloads, at most four times a second: the bytes so far, the size and the speed.
    void downloadProgress(const TransferProgress &progress);
    // An operation ended; `buttonText` is what its button says from now on.
    void finished(TileOperations::Operation operation, const QString &buttonText);
    // The installed state, the paths or what runs changed.
    void stateChanged();

private:
    void onDownloadFinished(int outcome);
    void onInstallationOrUpgradeFinished(bool success);
    void onUnInstallationFinished(bool success);
    void onLaunchFinished(bool success);

    void startInstaller();
    void removeDownloadFolder();
    void readRegistryPaths();
    void end(Operation operation, const QString &buttonText);

    Operation m_operation = Installing;
    bool m_installed = false;
    bool m_needUpgrade = false;
    QString m_downloadUrl;
    QString m_filePath;
    QString m_unInstallPath;
    QString m_appPath;
    QString m_pathName;
    QString m_sha256;
    QString m_workDir;
    QNetworkAccessManager *m_networkManager = nullptr;
    InstallerDownload *m_download = nullptr;
    QVector<int> m_retryDelaysMs{1000, 2000, 4000};
    bool m_installerRunning = false;
    bool m_launchRunning = false;
    bool m_unInstallRunning = false;
    int m_workerStartTimeoutMs = 30000;
};
