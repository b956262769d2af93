// The platform exchanges of MyContext: app init, the logins, the verification code, the QR code,
// the log line and the image download.
#include "core/platform/mycontext.h"

#include "core/base/logging.h"
#include "core/base/productinfo.h"
#include "core/base/user.h"
#include "core/files/imagefile.h"
#include "core/platform/platformexchange.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QMutex>
#include <QSettings>
#include <QThread>

using PlatformExchange::Answer;
using PlatformExchange::stringValue;

namespace {

const QString tokenIdKey = QStringLiteral("tokenId");
const QString userSystemIdKey = QStringLiteral("userSystemId");
const QString networkFailureText = QStringLiteral("网络异常，请检查网络连接！");

QString userServiceAddress(const char *path)
{
    return MyContext::userServiceUrl() + QLatin1String(path);
}

QString storedToken()
{
    return MyContext::settings().value(tokenIdKey).toString();
}

// A request carrying the fields every login-style request has besides its own.
QJsonObject sessionRequest(const QString &service)
{
    QJsonObject request = PlatformExchange::envelope(service);
    request.insert(QStringLiteral("sessionId"), QString());
    return request;
}

// Makes a new user from a login answer's data the signed-in one. The state changes in one step, after
// the exchange has ended, so slots that ran during the wait never see a half-made user.
User *signIn(const QJsonObject &data)
{
    auto *fresh = new User;
    fresh->setHeadImgBase64(stringValue(data, QStringLiteral("headImgBase64")));
    fresh->setNickName(stringValue(data, QStringLiteral("nickName")));
    fresh->setUserSystemId(stringValue(data, QStringLiteral("userSystemId")));
    fresh->setUserId(stringValue(data, QStringLiteral("userId")));

    User *previous = MyContext::user;
    MyContext::user = fresh;
    if (previous)
        previous->deleteLater();
    return fresh;
}

// Phone and QR login share this ending: the user and the sign-in to keep for the next start.
void signInAndStore(const QJsonObject &data)
{
    const User *fresh = signIn(data);
    MyContext::settings().setValue(userSystemIdKey, stringValue(data, userSystemIdKey));
    MyContext::settings().setValue(tokenIdKey, stringValue(data, tokenIdKey));
    MyContext::settings().sync();
    qCDebug(lcPlatform).noquote() << QStringLiteral("获取到的用户ID为：") + fresh->userId() +
            QStringLiteral(",获取到的用户昵称为：") + fresh->nickName() + QStringLiteral(",获取到的headimg为：") +
            QString::number(fresh->headImgBase64().size()) + QStringLiteral(" characters");
}

// The result convention of the operations the sign-in dialog shows: "" on success, otherwise the
// message to show. A refusal without a message (a body that is no JSON, or a non-string "errorDesc")
// must not read as success, so it gets the network failure text.
QString messageFor(const Answer &answer)
{
    if (answer.succeeded())
        return QString();
    const QString message = answer.received ? answer.errorDesc() : QString();
    return message.isEmpty() ? networkFailureText : message;
}

} // namespace

namespace {

const char appInitPath[] = "/user/init/appinit.html";
const char tokenLoginPath[] = "/user/user/tokenlogin.html";

QJsonObject appInitRequest()
{
    QJsonObject request = PlatformExchange::envelope(QStringLiteral("morvane.platform.init"));
    request.insert(QStringLiteral("deviceInfo"), MyContext::deviceInfo());
    return request;
}

std::unique_ptr<PlatformExchange::Pending> sendAppInit()
{
    return PlatformExchange::sendJson(userServiceAddress(appInitPath), appInitRequest());
}

void applyAppInit(const Answer &answer)
{
    if (!answer.received)
        return;
    qCDebug(lcPlatform) << "errorcode============:" << answer.errorCode();
    if (!answer.succeeded())
        return;

    const QJsonObject data = answer.data();

    const QString special = stringValue(data, QStringLiteral("supportSpecialMusicStr"));
    if (!special.isEmpty()) {
        MyContext::supportSpecialMusicStr = special;
        qCDebug(lcPlatform) << "==========:" << special << ",supportSpecialStr:" << special;
    }

    const QString mode = stringValue(data, QStringLiteral("kefuMode"));
    if (!mode.isEmpty()) {
        if (mode == QLatin1String("2")) {
            MyContext::kefuMode = mode;
            MyContext::kefuUrl = stringValue(data, QStringLiteral("kefuUrl"));
        } else if (mode == QLatin1String("3")) {
            MyContext::kefuMode = mode;
        }
        qCDebug(lcPlatform) << "kefuMode==========:" << mode;
    }

    const QString productInfosKey = QStringLiteral("productInfos");
    if (data.contains(productInfosKey)) {
        // A value that is not an array reads as an empty one.
        const QJsonArray entries = data.value(productInfosKey).toArray();
        QList<ProductInfo *> fresh;
        for (const QJsonValue &entry : entries) {
            if (entry.isObject())
                fresh.append(ProductInfo::fromJson(entry.toObject()));
        }
        MyContext::clearProductInfos();
        MyContext::productInfoList = fresh;
    }
}

// Empty without a stored token: then nothing is sent.
QJsonObject tokenLoginRequest()
{
    const QString token = storedToken();
    if (token.isEmpty())
        return QJsonObject();

    QJsonObject request = sessionRequest(QStringLiteral("morvane.platform.tokenlogin"));
    request.insert(QStringLiteral("userSystemId"), QStringLiteral("1001"));
    request.insert(tokenIdKey, token);
    request.insert(QStringLiteral("deviceInfo"), MyContext::deviceInfo());
    return request;
}

// Null without a stored token.
std::unique_ptr<PlatformExchange::Pending> sendTokenLogin()
{
    const QJsonObject request = tokenLoginRequest();
    return request.isEmpty() ? nullptr : PlatformExchange::sendJson(userServiceAddress(tokenLoginPath), request);
}

void applyTokenLogin(const Answer &answer)
{
    if (!answer.received)
        return;
    MyContext::lastErrorCode = answer.errorCode();
    qCDebug(lcPlatform) << "errorcode============:" << MyContext::lastErrorCode;
    if (!answer.succeeded())
        return;

    // The stored token stays as it is; the answer's "tokenId" is not taken.
    const User *fresh = signIn(answer.data());
    qCDebug(lcPlatform).noquote() << QStringLiteral("获取到的用户ID为：") + fresh->userId() +
            QStringLiteral(",获取到的用户昵称为：") + fresh->nickName();
}

// App init and the token login (when there is a stored token), sent at once and waited for on a
// thread of their own; the GUI thread takes their answers in turn, waiting for each in a local event
// loop like any exchange. The requests are made on the GUI thread: the device information reads the
// screen, the stored token the settings. Once every answer is in, the thread touches nothing of this
// object any more: it releases its network objects and then itself.
class StartUpExchanges
{
public:
    enum Exchange { AppInit, TokenLogin };

    StartUpExchanges()
        : m_requests{appInitRequest(), tokenLoginRequest()}
        , m_thread(QThread::create([this] { run(); }))
    {
        QObject::connect(m_thread, &QThread::finished, m_thread, &QObject::deleteLater);
        m_thread->start();
    }
    ~StartUpExchanges()
    {
        if (!arrived(AppInit) || (sent(TokenLogin) && !arrived(TokenLogin)))
            endThread();
    }
    StartUpExchanges(const StartUpExchanges &) = delete;
    StartUpExchanges &operator=(const StartUpExchanges &) = delete;

    bool sent(Exchange exchange) const { return !m_requests[exchange].isEmpty(); }

    Answer answer(Exchange exchange)
    {
        QEventLoop loop;
        m_waiting = &loop;
        m_awaited = exchange;
        while (!arrived(exchange)) {
            loop.exec();
            // A loop that returns before the answer cannot run: the application is leaving. The thread's
            // loops are ended too, so its exchanges end at once, as failures.
            if (!arrived(exchange))
                endThread();
        }
        m_waiting = nullptr;
        const QMutexLocker locker(&m_mutex);
        return m_answers[exchange];
    }

private:
    void run()
    {
        const auto appInit = PlatformExchange::sendJson(userServiceAddress(appInitPath), m_requests[AppInit]);
        const auto tokenLogin = sent(TokenLogin)
            ? PlatformExchange::sendJson(userServiceAddress(tokenLoginPath), m_requests[TokenLogin])
            : nullptr;
        arrive(AppInit, appInit->wait());
        if (tokenLogin)
            arrive(TokenLogin, tokenLogin->wait());
    }

    void arrive(Exchange exchange, const Answer &answer)
    {
        // Under the lock, so that the GUI thread, once it sees the answer, may drop this object.
        const QMutexLocker locker(&m_mutex);
        m_answers[exchange] = answer;
        m_arrived[exchange] = true;
        QMetaObject::invokeMethod(
            &m_guiThread,
            [this] {
                if (m_waiting && arrived(m_awaited))
                    m_waiting->quit();
            },
            Qt::QueuedConnection);
    }

    bool arrived(Exchange exchange)
    {
        const QMutexLocker locker(&m_mutex);
        return m_arrived[exchange];
    }

    void endThread()
    {
        m_thread->quit();
        m_thread->wait();
    }

    const QJsonObject m_requests[2];
    QMutex m_mutex;
    Answer m_answers[2]; // under m_mutex
    bool m_arrived[2] = {false, false}; // under m_mutex
    QObject m_guiThread; // where the thread's news is taken
    QEventLoop *m_waiting = nullptr; // the GUI thread's loop waiting for m_awaited
    Exchange m_awaited = AppInit;
    QThread *m_thread;
};

std::unique_ptr<StartUpExchanges> &startUpInFlight()
{
    static std::unique_ptr<StartUpExchanges> exchanges;
    return exchanges;
}

} // namespace

void MyContext::appInit()
{
    applyAppInit(sendAppInit()->wait());
}

void MyContext::tokenLogin()
{
    if (const auto pending = sendTokenLogin())
        applyTokenLogin(pending->wait());
}

void MyContext::sendStartUpExchanges()
{
    startUpInFlight() = std::make_unique<StartUpExchanges>();
}

void MyContext::finishStartUpExchanges()
{
    const std::unique_ptr<StartUpExchanges> exchanges = std::move(startUpInFlight());
    applyAppInit(exchanges->answer(StartUpExchanges::AppInit));

    // Nothing waits for the log line's answer.
    commonLog(QLatin1String("initlog success,") + QLatin1String("client version:") + clientVersion +
              QLatin1String(",") + QLatin1String("supportSpecialMusicStr:") + supportSpecialMusicStr);

    if (exchanges->sent(StartUpExchanges::TokenLogin))
        applyTokenLogin(exchanges->answer(StartUpExchanges::TokenLogin));
}

bool MyContext::qrCodeLogin(const QString &preLoginToken)
{
    QJsonObject request = sessionRequest(QStringLiteral("morvane.platform.gongzhongqrcodelogin"));
    request.insert(QStringLiteral("userSystemId"), QStringLiteral("1002"));
    const QString token = storedToken();
    if (!token.isEmpty())
        request.insert(tokenIdKey, token);
    request.insert(QStringLiteral("deviceInfo"), deviceInfo());
    request.insert(QStringLiteral("preLoginToken"), preLoginToken);

    const Answer answer =
        PlatformExchange::postJson(userServiceAddress("/user/user/gongzhongqrcodelogin.html"), request);
    if (!answer.received)
        return false;
    lastErrorCode = answer.errorCode();
    if (!answer.succeeded())
        return false;
    signInAndStore(answer.data());
    return true;
}

QString MyContext::phoneLogin(const QString &phoneNum, const QString &verifyCode)
{
    QJsonObject request = sessionRequest(QStringLiteral("morvane.platform.phonelogin"));
    request.insert(QStringLiteral("userSystemId"), QStringLiteral("1000"));
    request.insert(QStringLiteral("deviceInfo"), deviceInfo());
    QJsonObject dyData;
    dyData.insert(QStringLiteral("phoneNum"), phoneNum);
    dyData.insert(QStringLiteral("verifyCode"), verifyCode);
    request.insert(QStringLiteral("dyData"), dyData);

    const Answer answer = PlatformExchange::postJson(userServiceAddress("/user/user/phonelogin.html"), request);
    if (answer.received) {
        lastErrorCode = answer.errorCode();
        if (answer.succeeded())
            signInAndStore(answer.data());
    }
    return messageFor(answer);
}

QString MyContext::sendVerifyCode(const QString &phoneNum)
{
    QJsonObject request = sessionRequest(QStringLiteral("morvane.platform.sendverifycode"));
    request.insert(QStringLiteral("deviceInfo"), deviceInfo());
    QJsonObject dyData;
    dyData.insert(QStringLiteral("phoneNum"), phoneNum);
    request.insert(QStringLiteral("dyData"), dyData);

    const Answer answer = PlatformExchange::postJson(userServiceAddress("/user/user/sendverifycode.html"), request);
    return messageFor(answer);
}

QString MyContext::fetchQrCode(const QString &preLoginToken, bool *ok)
{
    QJsonObject request = sessionRequest(QStringLiteral("morvane.platform.getgongzhongqrcode"));
    request.insert(QStringLiteral("preLoginToken"), preLoginToken);

    const Answer answer = PlatformExchange::postJson(userServiceAddress("/user/user/getgongzhongqrcode.html"), request);
    // The answer's "errorCode" is not examined: only a network failure counts as failed.
    if (ok)
        *ok = answer.received;
    return stringValue(answer.data(), QStringLiteral("qrCode"));
}

void MyContext::commonLog(const QString &text)
{
    PlatformExchange::postTextInBackground(
        platformUrl() + QLatin1String("/platform/log/commonlog.html"), text.toUtf8(), [](const Answer &answer) {
            if (answer.received)
                qCDebug(lcPlatform).noquote() << "result is :" << QString::fromUtf8(answer.body);
        });
}

bool MyContext::downloadImage(const QString &url, const QString &savePath)
{
    const Answer answer = PlatformExchange::get(url, PlatformExchange::maxImageBody);
    if (!answer.received)
        return false;
    qCDebug(lcPlatform) << "result is ok!";
    return !writeImageFile(answer.body, savePath).isNull();
}

void MyContext::loginOut()
{
    if (User *previous = user) {
        user = nullptr;
        previous->deleteLater();
    }
    settings().remove(userSystemIdKey);
    settings().remove(tokenIdKey);
    settings().sync();
}
