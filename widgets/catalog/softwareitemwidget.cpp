#include "widgets/catalog/softwareitemwidget.h"

#include "core/files/downloadname.h"
#include "core/files/folderremoval.h"
#include "core/base/logging.h"
#include "core/catalog/tiletexts.h"
#include "core/catalog/uninstallregistry.h"
#include "core/catalog/uninstallworker.h"
#include "core/files/workdir.h"
#include "core/catalog/worker.h"
#include "core/platform/mycontext.h"

#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QGraphicsDropShadowEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QPainter>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

namespace {

const char tileStyle[] = "background-color: #ffffff; border-radius: 8px;";
const char nameStyle[] = " color: #333;";
const char descStyle[] = "color: #666; padding: 0 10px;";
const char installStyle[] = "QPushButton {   background-color: #2196F3;   color: white;   border: none;   "
                            "border-radius: 4px;}QPushButton:hover {   background-color: #0b7dda;}";
const char unInstallStyle[] =
    "QPushButton {   background-color: #e3f2fd;   color: #1976d2;   border: 1px solid #bbdefb;   "
    "border-radius: 4px;}QPushButton:hover {   background-color: #bbdefb;   "
    "border-color: #90caf9;}";
const char statusStyle[] = "QLabel {   color: #1976d2;}";
const char upgradeStyle[] = "QPushButton {   background-color: #4CAF50;   color: white;   border: none;   "
                            "border-radius: 4px;}QPushButton:hover {   background-color: #45a049;}";

constexpr int controlHeight = 32;
constexpr int iconSize = 80;
constexpr int dotIntervalMs = 300;
constexpr int maxDots = 6;
// A download of this size or less is an error page, not an installer.
constexpr qint64 minimumInstallerSize = 1024;
constexpr double hoverScale = 1.03;
constexpr qint64 downloadBufferSize = 1024 * 1024;

QPushButton *makeButton(const QString &text, const char *style, const char *name, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(name));
    button->setStyleSheet(QLatin1String(style));
    button->setFixedHeight(controlHeight);
    button->setFont(MyContext::normalFont);
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

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

} // namespace

SoftwareItemWidget::SoftwareItemWidget(QWidget *parent)
    : QWidget(parent)
{
    setStyleSheet(QLatin1String(tileStyle));

    m_iconLabel = new QLabel(this);
    m_iconLabel->setObjectName(QStringLiteral("iconLabel"));
    m_iconLabel->setFixedSize(iconSize, iconSize);
    m_iconLabel->setAlignment(Qt::AlignCenter);
    m_iconLabel->setStyleSheet(QStringLiteral("background-color: transparent;"));

    m_nameLabel = new QLabel(this);
    m_nameLabel->setObjectName(QStringLiteral("nameLabel"));
    m_nameLabel->setFont(MyContext::largeFont);
    m_nameLabel->setStyleSheet(QLatin1String(nameStyle));
    m_nameLabel->setAlignment(Qt::AlignCenter);

    m_descLabel = new QLabel(this);
    m_descLabel->setObjectName(QStringLiteral("descLabel"));
    m_descLabel->setFont(MyContext::normalFont);
    m_descLabel->setStyleSheet(QLatin1String(descStyle));
    m_descLabel->setWordWrap(true);
    m_descLabel->setAlignment(Qt::AlignCenter);

    m_buttonRow = new QWidget(this);
    m_buttonRow->setObjectName(QStringLiteral("buttonRow"));
    m_installButton = makeButton(TileText::install(), installStyle, "installButton", m_buttonRow);
    m_unInstallButton = makeButton(TileText::unInstall(), unInstallStyle, "unInstallButton", m_buttonRow);
    m_statusLabel = new QLabel(TileText::upToDate(), m_buttonRow);
    m_statusLabel->setObjectName(QStringLiteral("statusLabel"));
    m_statusLabel->setStyleSheet(QLatin1String(statusStyle));
    m_statusLabel->setAlignment(Qt::AlignCenter);
    m_statusLabel->setFixedHeight(controlHeight);
    m_statusLabel->setFont(MyContext::normalFont);
    m_upgradeButton = makeButton(TileText::upgrade(), upgradeStyle, "upgradeButton", m_buttonRow);

    auto *rowLayout = new QHBoxLayout(m_buttonRow);
    rowLayout->setSpacing(10);
    rowLayout->setContentsMargins(10, 0, 10, 0);
    rowLayout->addWidget(m_installButton);
    rowLayout->addWidget(m_upgradeButton);
    rowLayout->addWidget(m_unInstallButton);
    rowLayout->addWidget(m_statusLabel);

    m_scaleAnimation = new QPropertyAnimation(this, QByteArrayLiteral("scaleFactor"), this);
    m_scaleAnimation->setDuration(200);
    m_scaleAnimation->setEasingCurve(QEasingCurve::OutQuad);

    m_shadow = new QGraphicsDropShadowEffect(this);
    m_shadow->setBlurRadius(20);
    m_shadow->setColor(QColor(0, 0, 0, 60));
    m_shadow->setOffset(0, 5);
    m_shadow->setEnabled(false);
    setGraphicsEffect(m_shadow);

    m_dotTimer = new QTimer(this);
    m_dotTimer->setInterval(dotIntervalMs);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(15, 15, 15, 15);
    layout->addSpacing(15);
    layout->addWidget(m_iconLabel, 0, Qt::AlignHCenter);
    layout->addSpacing(10);
    layout->addWidget(m_nameLabel);
    layout->addSpacing(5);
    layout->addWidget(m_descLabel);
    layout->addStretch();
    layout->addWidget(m_buttonRow);

    connect(m_installButton, &QPushButton::clicked, this, &SoftwareItemWidget::startDownload);
    connect(m_upgradeButton, &QPushButton::clicked, this, &SoftwareItemWidget::startDownload);
    connect(m_unInstallButton, &QPushButton::clicked, this, &SoftwareItemWidget::startUnInstall);
    connect(m_dotTimer, &QTimer::timeout, this, &SoftwareItemWidget::updateDotAnimation);

    updateControls();
}

SoftwareItemWidget::~SoftwareItemWidget()
{
    m_dotTimer->stop();

    // A download still running goes with the tile, and so does its work folder.
    if (m_downloadReply) {
        releaseDownload();
        delete m_downloadFile;
        m_downloadFile = nullptr;
        removeDownloadFolder();
    }

    // A worker waiting for its child cannot be joined now: detach its thread, which deletes itself
    // and the worker once the child has exited. The installer's work folder stays, it is in use.
    const auto detach = [this](QThread *thread, QObject *worker) {
        if (!thread)
            return;
        disconnect(worker, nullptr, this, nullptr);
        thread->quit();
        thread->setParent(nullptr);
    };
    detach(m_workerThread, m_worker);
    detach(m_launchThread, m_launchWorker);
    detach(m_unInstallThread, m_unInstallWorker);

    // A running installer keeps its folder, which is not empty and so never claimed by another download.
    if (!m_workDir.isEmpty())
        releaseWorkDir(m_workDir);

    // Threads whose worker has already reported were told to quit and end within moments.
    const QList<QThread *> finishing = findChildren<QThread *>(QString(), Qt::FindDirectChildrenOnly);
    for (QThread *thread : finishing)
        thread->wait();
}

void SoftwareItemWidget::setInfo(const QString &zhName, const QString &zhDesc, const QPixmap &pixmap,
                                 const QString &downloadUrl, const QString &pathName, bool installed, bool needUpgrade)
{
    m_nameLabel->setText(zhName);
    m_descLabel->setText(zhDesc);
    if (pixmap.isNull())
        m_iconLabel->clear();
    else
        m_iconLabel->setPixmap(pixmap.scaled(m_iconLabel->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));

    m_installed = installed;
    m_needUpgrade = needUpgrade;
    m_downloadUrl = downloadUrl;
    m_pathName = pathName;
    if (m_installed)
        readRegistryPaths();
    updateControls();
}

bool SoftwareItemWidget::removeFolder(const QString &folderPath)
{
    return ::removeFolder(folderPath);
}

void SoftwareItemWidget::setScaleFactor(double factor)
{
    m_scaleFactor = factor;
    update();
}

void SoftwareItemWidget::setDotInterval(int ms)
{
    m_dotTimer->setInterval(ms);
}

void SoftwareItemWidget::updateControls()
{
    const bool installBusy = m_downloadReply || m_workerThread;
    const bool unInstallBusy = m_unInstallThread != nullptr;

    m_installButton->setVisible(!m_installed);
    m_upgradeButton->setVisible(m_installed && m_needUpgrade);
    m_statusLabel->setVisible(m_installed && !m_needUpgrade);
    m_unInstallButton->setVisible(m_installed);

    m_installButton->setEnabled(!installBusy);
    m_upgradeButton->setEnabled(!installBusy && !unInstallBusy);
    m_unInstallButton->setEnabled(!installBusy && !unInstallBusy);

    // The labels of an installed application start it.
    for (QLabel *label : {m_iconLabel, m_nameLabel, m_descLabel}) {
        if (m_installed) {
            label->installEventFilter(this);
            label->setCursor(Qt::PointingHandCursor);
        } else {
            label->removeEventFilter(this);
            label->unsetCursor();
        }
    }
}

QPushButton *SoftwareItemWidget::operationButton() const
{
    switch (m_operation) {
    case Installing:
        return m_installButton;
    case Upgrading:
        return m_upgradeButton;
    case Uninstalling:
        return m_unInstallButton;
    case Launching:
        break;
    }
    return nullptr;
}

QString SoftwareItemWidget::operationBaseText() const
{
    switch (m_operation) {
    case Installing:
        return TileText::installing();
    case Upgrading:
        return TileText::upgrading();
    case Uninstalling:
        return TileText::unInstalling();
    case Launching:
        break;
    }
    return QString();
}

void SoftwareItemWidget::readRegistryPaths()
{
    m_unInstallPath = getUnInstallPath(m_pathName);
    m_appPath = getAppPath(m_pathName);
}

// ---- install and upgrade ----

void SoftwareItemWidget::startDownload()
{
    Operation operation = m_installed && m_needUpgrade ? Upgrading : Installing;
    if (sender() == m_upgradeButton)
        operation = Upgrading;
    else if (sender() == m_installButton)
        operation = Installing;
    startDownloadAs(operation);
}

void SoftwareItemWidget::startDownloadAs(Operation operation)
{
    if (m_downloadUrl.isEmpty())
        return;
    // One install or upgrade at a time, and none while the uninstall tool runs.
    if (m_downloadReply || m_workerThread || m_unInstallThread)
        return;

    m_operation = operation;
    QPushButton *button = operationButton();
    button->setEnabled(false);
    button->setText(operationBaseText());
    m_dotCount = 0;
    m_dotTimer->start();

    const QUrl url(m_downloadUrl);
    const QString fileName = downloadFileName(url);
    // Two downloads started within one millisecond get the same name; each claims a folder of its own.
    const QString baseDir = MyContext::newTempWorkDir();
    m_workDir = uniqueWorkDir(baseDir);
    m_filePath = (m_workDir.isEmpty() ? baseDir : m_workDir) + QLatin1Char('/') + fileName;

    m_downloadFile = new QFile(m_filePath);
    // Unbuffered: a failing write shows at once, not at some later flush. Without a folder of its
    // own nothing is opened: the name may be another download's file.
    if (m_workDir.isEmpty() || !m_downloadFile->open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        qCWarning(lcCatalog) << "Failed to open file for writing:" << m_filePath;
        m_dotTimer->stop();
        button->setText(TileText::createFileFailed());
        delete m_downloadFile;
        m_downloadFile = nullptr;
        removeDownloadFolder();
        updateControls();
        return;
    }

    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    if (!m_networkManager) // made with the first download: most tiles never download anything
        m_networkManager = new QNetworkAccessManager(this);
    m_downloadReply = m_networkManager->get(request);
    // A bounded buffer makes the network wait for the disk instead of piling the body up in memory.
    m_downloadReply->setReadBufferSize(downloadBufferSize);
    connect(m_downloadReply, &QNetworkReply::readyRead, this, &SoftwareItemWidget::onDownloadReadyRead);
    connect(m_downloadReply, &QNetworkReply::finished, this, &SoftwareItemWidget::onDownloadFinished);
    connect(m_downloadReply, &QNetworkReply::errorOccurred, this, &SoftwareItemWidget::onDownloadError);
    qCDebug(lcCatalog) << "download url:" << m_downloadUrl << ",filename:" << fileName;
    updateControls();
}

bool SoftwareItemWidget::writeReceived()
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

void SoftwareItemWidget::onDownloadReadyRead()
{
    const auto *reply = qobject_cast<QNetworkReply *>(sender());
    if ((reply && reply != m_downloadReply) || !m_downloadReply || !m_downloadFile)
        return;
    // A file that cannot take the data (disk full, folder gone) ends the download like the network would.
    if (!writeReceived())
        failDownload(TileText::downloadError());
}

void SoftwareItemWidget::onDownloadFinished()
{
    const auto *reply = qobject_cast<QNetworkReply *>(sender());
    if ((reply && reply != m_downloadReply) || !m_downloadReply)
        return;

    m_dotTimer->stop();
    if (m_downloadFile && !writeReceived()) {
        failDownload(TileText::downloadError());
        return;
    }
    qint64 size = 0;
    if (m_downloadFile) {
        m_downloadFile->close();
        size = QFileInfo(m_filePath).size();
    }
    delete m_downloadFile;
    m_downloadFile = nullptr;

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
    } else {
        if (size <= minimumInstallerSize)
            qCWarning(lcCatalog) << "Downloaded file is too small:" << size;
        operationButton()->setText(m_operation == Upgrading ? TileText::downloadTooSmallUpgrade()
                                                            : TileText::downloadTooSmallInstall());
        removeDownloadFolder();
    }
    updateControls();
}

void SoftwareItemWidget::onDownloadError(QNetworkReply::NetworkError error)
{
    const auto *reply = qobject_cast<QNetworkReply *>(sender());
    if ((reply && reply != m_downloadReply) || !m_downloadReply)
        return;
    qCWarning(lcCatalog) << "Download error:" << error << m_downloadReply->errorString();
    // The reply ends by itself after reporting; aborting it now would report a second error.
    failDownload(TileText::downloadError(), false);
}

void SoftwareItemWidget::failDownload(const QString &text, bool abort)
{
    m_dotTimer->stop();
    operationButton()->setText(text);
    if (m_downloadFile) {
        m_downloadFile->close();
        delete m_downloadFile;
        m_downloadFile = nullptr;
    }
    removeDownloadFolder();
    releaseDownload(abort);
    updateControls();
}

void SoftwareItemWidget::releaseDownload(bool abort)
{
    QNetworkReply *reply = m_downloadReply;
    m_downloadReply = nullptr;
    if (!reply)
        return;
    // Aborting emits the reply's signals at once; they must not come back here.
    disconnect(reply, nullptr, this, nullptr);
    if (abort && reply->isRunning())
        reply->abort();
    reply->deleteLater();
}

void SoftwareItemWidget::removeDownloadFolder()
{
    if (m_workDir.isEmpty())
        return;
    qCDebug(lcCatalog) << "clear temp ==================";
    SoftwareItemWidget::removeFolder(m_workDir);
    releaseWorkDir(m_workDir);
    m_workDir.clear();
}

void SoftwareItemWidget::startInstaller()
{
    m_workerThread = new QThread(this);
    m_worker = new Worker(m_filePath, nullptr, m_workerStartTimeoutMs);
    m_worker->moveToThread(m_workerThread);
    connect(m_workerThread, &QThread::started, m_worker, &Worker::perform);
    connect(m_worker, &Worker::actionFinished, this, &SoftwareItemWidget::onInstallationOrUpgradeFinished);
    connect(m_workerThread, &QThread::finished, m_worker, &QObject::deleteLater);
    connect(m_workerThread, &QThread::finished, m_workerThread, &QObject::deleteLater);
    m_dotCount = 0;
    operationButton()->setText(operationBaseText());
    m_dotTimer->start();
    m_workerThread->start();
}

void SoftwareItemWidget::onInstallationOrUpgradeFinished(bool success)
{
    const auto *worker = qobject_cast<Worker *>(sender());
    if ((worker && worker != m_worker) || !m_workerThread)
        return;

    m_dotTimer->stop();
    if (m_operation == Installing || m_operation == Upgrading) {
        QPushButton *button = operationButton();
        if (success) {
            button->setText(m_operation == Installing ? TileText::install() : TileText::upgrade());
            m_installed = true;
            m_needUpgrade = false;
            readRegistryPaths();
        } else {
            button->setText(m_operation == Installing ? TileText::installFailed() : TileText::upgradeFailed());
        }
    }

    removeDownloadFolder();
    m_worker->deleteLater();
    m_workerThread->quit();
    m_worker = nullptr;
    m_workerThread = nullptr;
    updateControls();
}

void SoftwareItemWidget::updateDotAnimation()
{
    QPushButton *button = operationButton();
    if (!button)
        return;
    m_dotCount = m_dotCount % maxDots + 1;
    button->setText(operationBaseText() + QString(m_dotCount, QLatin1Char('.')));
}

// ---- launch ----

void SoftwareItemWidget::startLaunch()
{
    if (!m_installed || m_appPath.isEmpty())
        return;
    if (m_launchThread) {
        qCDebug(lcCatalog) << "Program is already running:" << m_appPath;
        return;
    }
    // The launch runs beside whatever else the tile does; only an idle tile records it as its operation.
    if (!m_downloadReply && !m_workerThread && !m_unInstallThread)
        m_operation = Launching;

    m_launchThread = new QThread(this);
    m_launchWorker = new Worker(m_appPath, nullptr, m_workerStartTimeoutMs);
    m_launchWorker->moveToThread(m_launchThread);
    connect(m_launchThread, &QThread::started, m_launchWorker, &Worker::perform);
    connect(m_launchWorker, &Worker::actionFinished, this, &SoftwareItemWidget::onLaunchFinished);
    connect(m_launchThread, &QThread::finished, m_launchWorker, &QObject::deleteLater);
    connect(m_launchThread, &QThread::finished, m_launchThread, &QObject::deleteLater);
    m_launchThread->start();
}

void SoftwareItemWidget::onLaunchFinished(bool success)
{
    const auto *worker = qobject_cast<Worker *>(sender());
    if ((worker && worker != m_launchWorker) || !m_launchThread)
        return;
    qCDebug(lcCatalog) << "program exited:" << m_appPath << ",success:" << success;
    m_launchWorker->deleteLater();
    m_launchThread->quit();
    m_launchWorker = nullptr;
    m_launchThread = nullptr;
}

// ---- uninstall ----

void SoftwareItemWidget::startUnInstall()
{
    if (m_unInstallThread || m_downloadReply || m_workerThread)
        return;

    m_dotTimer->start();
    m_operation = Uninstalling;
    m_unInstallThread = new QThread(this);
    m_unInstallWorker = new UnInstallWorker(m_unInstallPath);
    m_unInstallWorker->moveToThread(m_unInstallThread);
    connect(m_unInstallThread, &QThread::started, m_unInstallWorker, &UnInstallWorker::performUnInstall);
    connect(m_unInstallWorker, &UnInstallWorker::unInstallationFinished, this,
            &SoftwareItemWidget::onUnInstallationFinished);
    connect(m_unInstallThread, &QThread::finished, m_unInstallWorker, &QObject::deleteLater);
    connect(m_unInstallThread, &QThread::finished, m_unInstallThread, &QObject::deleteLater);
    m_dotCount = 0;
    m_unInstallButton->setText(TileText::unInstalling());
    m_unInstallThread->start();
    updateControls();
}

void SoftwareItemWidget::onUnInstallationFinished(bool success)
{
    const auto *worker = qobject_cast<UnInstallWorker *>(sender());
    if ((worker && worker != m_unInstallWorker) || !m_unInstallThread)
        return;

    m_dotTimer->stop();
    if (success) {
        m_unInstallButton->setText(TileText::unInstall());
        m_installed = false;
        m_needUpgrade = false;
        m_appPath.clear();
        m_unInstallPath.clear();
    } else {
        m_unInstallButton->setText(TileText::unInstallFailed());
    }
    m_unInstallWorker->deleteLater();
    m_unInstallThread->quit();
    m_unInstallWorker = nullptr;
    m_unInstallThread = nullptr;
    updateControls();
}

// ---- hover and painting ----

void SoftwareItemWidget::enterEvent(QEvent *event)
{
    m_shadow->setColor(QColor(0, 0, 0, 80));
    m_shadow->setBlurRadius(25);
    m_shadow->setOffset(0, 8);
    m_shadow->setEnabled(true);
    m_scaleAnimation->stop();
    m_scaleAnimation->setStartValue(1.0);
    m_scaleAnimation->setEndValue(hoverScale);
    m_scaleAnimation->start();
    raise();
    QWidget::enterEvent(event);
}

void SoftwareItemWidget::leaveEvent(QEvent *event)
{
    m_shadow->setEnabled(false);
    m_scaleAnimation->stop();
    m_scaleAnimation->setStartValue(m_scaleFactor);
    m_scaleAnimation->setEndValue(1.0);
    m_scaleAnimation->start();
    QWidget::leaveEvent(event);
}

bool SoftwareItemWidget::eventFilter(QObject *watched, QEvent *event)
{
    const bool isLabel = watched == m_iconLabel || watched == m_nameLabel || watched == m_descLabel;
    if (isLabel && m_installed) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
            if (static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
                startLaunch();
                return true;
            }
            break;
        case QEvent::Enter:
            if (!m_shadow->isEnabled())
                m_shadow->setEnabled(true);
            return true;
        case QEvent::Leave:
            return true;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void SoftwareItemWidget::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event)
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(1, 1, -1, -1);
    if (!qFuzzyCompare(m_scaleFactor, 1.0)) {
        const QPointF centre = box.center();
        painter.translate(centre);
        painter.scale(m_scaleFactor, m_scaleFactor);
        painter.translate(-centre);
    }
    painter.setPen(QPen(QColor(QStringLiteral("#e0e0e0")), 1));
    painter.setBrush(QColor(QStringLiteral("#ffffff")));
    painter.drawRoundedRect(box, 8, 8);
}
