#include "core/platform/mycontext.h"

#include "core/base/apppaths.h"
#include "core/base/logging.h"
#include "core/base/productinfo.h"
#include "core/base/screenclass.h"
#include "core/base/user.h"
#include "core/files/initthread.h"
#include "core/files/workdir.h"

#include "buildconfig.h"

#include <QDateTime>
#include <QDir>
#include <QGuiApplication>
#include <QNetworkInterface>
#include <QScreen>
#include <QSettings>

const QString MyContext::productId = QStringLiteral("10015");
const QString MyContext::channelId = QStringLiteral("10000");
const QString MyContext::clientVersion = QStringLiteral("8.0.0.1");
const QString MyContext::successCode = QStringLiteral("0001");
const QString MyContext::loginExpiredCode = QStringLiteral("0014");

QString MyContext::lastErrorCode = QStringLiteral("-1");
QString MyContext::kefuMode = QStringLiteral("1");
QString MyContext::kefuUrl = QStringLiteral(TESSALY_DEFAULT_KEFU_URL);
QString MyContext::supportSpecialMusicStr;
QList<ProductInfo *> MyContext::productInfoList;
User *MyContext::user = nullptr;
bool MyContext::isSmall = true;
QFont MyContext::normalFont;
QFont MyContext::largeFont;

MyContext::MyContext(QObject *parent)
    : QObject(parent)
{
}

void MyContext::init()
{
    beginInit();
    endInit();
}

void MyContext::beginInit()
{
    initScreenClass();
    initDefaultProductInfos();
    sendStartUpExchanges();
}

void MyContext::endInit()
{
    finishStartUpExchanges();

    auto *initThread = new InitThread(this);
    connect(initThread, &QThread::finished, initThread, &QObject::deleteLater);
    initThread->start();
}

void MyContext::initScreenClass()
{
    normalFont.setFamily(QStringLiteral("Microsoft YaHei"));
    largeFont.setFamily(QStringLiteral("Microsoft YaHei"));

    QSize available(1920, 1080);
    qreal dpi = 96.0;
    if (QScreen *screen = QGuiApplication::primaryScreen()) {
        available = screen->availableGeometry().size();
        dpi = screen->logicalDotsPerInch();
    }
    qCDebug(lcPlatform) << "dpi is:" << dpi;

    applyScreenClass(classifyScreen(available, dpi));
    qCDebug(lcPlatform) << available.width() << available.height() << ",is small:" << isSmall;
}

void MyContext::applyScreenClass(const ScreenClass &screenClass)
{
    isSmall = screenClass.isSmall;
    normalFont.setPixelSize(screenClass.normalFontPx);
    largeFont.setPixelSize(screenClass.largeFontPx);
}

QSettings &MyContext::settings()
{
    static QSettings store(QStringLiteral("morvanetec"), productId);
    return store;
}

void MyContext::clearProductInfos()
{
    const QList<ProductInfo *> entries = productInfoList;
    productInfoList.clear();
    for (ProductInfo *entry : entries)
        entry->deleteLater();
}

namespace {

QString baseUrl(const char *variable, const char *builtIn)
{
    QString url = qEnvironmentVariable(variable);
    if (url.isEmpty())
        url = QString::fromUtf8(builtIn);
    while (url.endsWith(QLatin1Char('/')))
        url.chop(1);
    return url;
}

// Creates path with all missing parents; the path is returned even when that fails.
QString ensureDir(const QString &path)
{
    if (!QDir().mkpath(path))
        qCWarning(lcPlatform) << "路径创建失败！" << path;
    return path;
}

} // namespace

QString MyContext::userServiceUrl()
{
    return baseUrl("TESSALY_USER_SERVICE_URL", TESSALY_DEFAULT_USER_SERVICE_URL);
}

QString MyContext::platformUrl()
{
    return baseUrl("TESSALY_PLATFORM_URL", TESSALY_DEFAULT_PLATFORM_URL);
}

int MyContext::httpTimeoutMs()
{
    bool ok = false;
    const int ms = qEnvironmentVariableIntValue("TESSALY_HTTP_TIMEOUT_MS", &ok);
    return ok && ms > 0 ? ms : 5000;
}

QString MyContext::macAddress()
{
    // The first interface with a real hardware address; the loopback's all-zero one describes no device.
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &interface : interfaces) {
        if (!interface.isValid() || interface.flags().testFlag(QNetworkInterface::IsLoopBack))
            continue;
        const QString address = interface.hardwareAddress();
        if (!address.isEmpty())
            return address;
    }
    return QString();
}

QString MyContext::deviceInfo()
{
    QSize desktop(0, 0);
    if (QScreen *screen = QGuiApplication::primaryScreen())
        desktop = screen->virtualSize();
    return macAddress() + QLatin1Char('|') + QString::number(desktop.width()) + QLatin1Char('x') +
        QString::number(desktop.height()) + QLatin1Char('|') + clientVersion;
}

QString MyContext::tempDir()
{
    return ensureDir(AppPaths::appDir() + QLatin1Char('/') + QLatin1String("temp"));
}

QString MyContext::newTempWorkDir()
{
    const QString path = tempDir() + QLatin1Char('/') + QLatin1String("temp_") +
        QDateTime::currentDateTime().toString(QStringLiteral("ddhhmmsszzz"));
    qCDebug(lcPlatform) << "curFilePath is:" << path;
    qCDebug(lcPlatform) << "create dir===========================";
    // Claimed create-only: two calls within one millisecond get folders of their own.
    return claimWorkDir(path);
}

QString MyContext::iconImgDir()
{
    return ensureDir(AppPaths::appDir() + QLatin1Char('/') + QLatin1String("iconImg"));
}
