#include "platform/mycontext.h"

#include "account/user.h"
#include "app/initthread.h"
#include "app/screenclass.h"
#include "catalog/productinfo.h"
#include "platform/logging.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSettings>

const QString MyContext::productId = QStringLiteral("10015");
const QString MyContext::channelId = QStringLiteral("10000");
const QString MyContext::clientVersion = QStringLiteral("8.0.0.1");
const QString MyContext::successCode = QStringLiteral("0001");
const QString MyContext::loginExpiredCode = QStringLiteral("0014");

QString MyContext::lastErrorCode = QStringLiteral("-1");
QString MyContext::kefuMode = QStringLiteral("1");
QString MyContext::kefuUrl;
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
    initScreenClass();

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

    const ScreenClass screenClass = classifyScreen(available, dpi);
    isSmall = screenClass.isSmall;
    normalFont.setPixelSize(screenClass.normalFontPx);
    largeFont.setPixelSize(screenClass.largeFontPx);
    qCDebug(lcPlatform) << available.width() << available.height() << ",is small:" << isSmall;
}

QSettings &MyContext::settings()
{
    static QSettings store(QStringLiteral("morvanetec"), productId);
    return store;
}
