#pragma once

#include <QNetworkReply>
#include <QPixmap>
#include <QString>
#include <QWidget>

class QFile;
class QGraphicsDropShadowEffect;
class QLabel;
class QNetworkAccessManager;
class QPropertyAnimation;
class QPushButton;
class QThread;
class QTimer;
class UnInstallWorker;
class Worker;

// One application of the catalog page: icon, name, description and the control that fits the
// application's state on this machine (install, upgrade, or up to date), plus an uninstall button
// on installed tiles. Installing and upgrading download the installer into a fresh work folder (one
// of its own even when another tile started within the same millisecond, see catalog/workdir.h) and
// run it on a worker thread; a press on an installed tile's icon, name or description starts the
// application; uninstalling runs the uninstall tool on a worker thread.
//
// The installer, the launched program and the uninstall tool each have a worker and thread of
// their own, so a launch never mixes with an install, upgrade or uninstall running beside it.
//
// Destroying a tile while something runs: the download is aborted and its work folder removed; a
// worker cannot be stopped while its child process runs (perform() blocks until the child exits,
// and the child, an installer or the user's program, is not ours to kill). Its thread is detached
// from the tile instead: it is told to quit, loses its parent and deletes itself, together with
// its worker, once the child has exited. Its report then goes nowhere.
class SoftwareItemWidget : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(double scaleFactor READ scaleFactor WRITE setScaleFactor)

public:
    enum Operation { Installing, Upgrading, Uninstalling, Launching };
    Q_ENUM(Operation)

    explicit SoftwareItemWidget(QWidget *parent = nullptr);
    ~SoftwareItemWidget() override;

    void setInfo(const QString &zhName, const QString &zhDesc, const QPixmap &pixmap, const QString &downloadUrl,
                 const QString &pathName, bool installed, bool needUpgrade);

    // Removes a download's work folder tree; true when it is gone or was never there.
    static bool removeFolder(const QString &folderPath);

    double scaleFactor() const { return m_scaleFactor; }
    void setScaleFactor(double factor);

    // Seams for tests: the dot interval (300 ms) and how long a worker waits for its child to start.
    void setDotInterval(int ms);
    void setWorkerStartTimeout(int ms) { m_workerStartTimeoutMs = ms; }

    Operation operation() const { return m_operation; }
    bool isInstalled() const { return m_installed; }
    bool needsUpgrade() const { return m_needUpgrade; }
    QString filePath() const { return m_filePath; }
    QString appPath() const { return m_appPath; }
    QString unInstallPath() const { return m_unInstallPath; }
    // The work folder of the download or installer in progress; empty when none.
    QString workDir() const { return m_workDir; }
    bool isDownloading() const { return m_downloadReply != nullptr; }
    bool isInstallerRunning() const { return m_workerThread != nullptr; }
    bool isLaunchRunning() const { return m_launchThread != nullptr; }
    bool isUnInstallRunning() const { return m_unInstallThread != nullptr; }
    QThread *installerThread() const { return m_workerThread; }
    QThread *launchThread() const { return m_launchThread; }
    QThread *unInstallThread() const { return m_unInstallThread; }

public slots:
    void onDownloadFinished();
    void onInstallationOrUpgradeFinished(bool success);
    void updateDotAnimation();
    void startDownload();
    void onDownloadError(QNetworkReply::NetworkError error);
    void onDownloadReadyRead();
    void startUnInstall();
    void onUnInstallationFinished(bool success);

protected:
    void enterEvent(QEvent *event) override;
    void leaveEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private slots:
    void onLaunchFinished(bool success);

private:
    void startDownloadAs(Operation operation);
    void startInstaller();
    void startLaunch();
    // Visibility and enabled state of every control, and whether the labels launch the program,
    // derived from the installed/upgrade flags and from what is running. Every transition ends here.
    void updateControls();
    QPushButton *operationButton() const;
    QString operationBaseText() const;
    bool writeReceived();
    void failDownload(const QString &text, bool abort = true);
    void releaseDownload(bool abort = true);
    void removeDownloadFolder();
    void readRegistryPaths();

    QLabel *m_iconLabel = nullptr;
    QLabel *m_nameLabel = nullptr;
    QLabel *m_descLabel = nullptr;
    QPushButton *m_installButton = nullptr;
    QPushButton *m_unInstallButton = nullptr;
    QLabel *m_statusLabel = nullptr;
    QPushButton *m_upgradeButton = nullptr;
    QWidget *m_buttonRow = nullptr;
    double m_scaleFactor = 1.0;
    QPropertyAnimation *m_scaleAnimation = nullptr;
    QGraphicsDropShadowEffect *m_shadow = nullptr;
    Operation m_operation = Installing;
    bool m_installed = false;
    bool m_needUpgrade = false;
    QString m_downloadUrl;
    QString m_filePath;
    QString m_unInstallPath;
    QString m_appPath;
    QString m_pathName;
    QString m_workDir;
    QNetworkAccessManager *m_networkManager = nullptr;
    QNetworkReply *m_downloadReply = nullptr;
    QFile *m_downloadFile = nullptr;
    QThread *m_workerThread = nullptr;
    Worker *m_worker = nullptr;
    QThread *m_launchThread = nullptr;
    Worker *m_launchWorker = nullptr;
    QThread *m_unInstallThread = nullptr;
    UnInstallWorker *m_unInstallWorker = nullptr;
    QTimer *m_dotTimer = nullptr;
    int m_dotCount = 0;
    int m_workerStartTimeoutMs = 30000;
};
