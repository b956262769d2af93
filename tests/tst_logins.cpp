// Token, phone and QR-code sign-in, the verification code, the QR text and signing out, against the
// platform simulator on loopback.
#include "account/user.h"
#include "platform/apppaths.h"
#include "platform/mycontext.h"
#include "platform/platformexchange.h"
#include "support/contextfixture.h"
#include "support/simulator.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QPointer>
#include <QSettings>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

using ContextFixture::releaseDeferred;
using ContextFixture::resetContext;

const QString tokenLoginPath = QStringLiteral("/user/user/tokenlogin.html");
const QString phoneLoginPath = QStringLiteral("/user/user/phonelogin.html");
const QString sendCodePath = QStringLiteral("/user/user/sendverifycode.html");
const QString qrPollPath = QStringLiteral("/user/user/gongzhongqrcodelogin.html");
const QString networkFailure = QStringLiteral("网络异常，请检查网络连接！");

QJsonObject scenario()
{
    return QJsonObject{
        {"users",
         QJsonArray{QJsonObject{{"userId", "u1"},
                                {"nickName", "小泰"},
                                {"headImgBase64", "iVBORw0KGgo="},
                                {"userSystemId", "1000"},
                                {"tokens", QJsonArray{"tok-1", "tok-1b"}},
                                {"expiredTokens", QJsonArray{"tok-old"}}},
                    QJsonObject{{"userId", "u2"},
                                {"nickName", "阿萨"},
                                {"headImgBase64", ""},
                                {"userSystemId", "1002"},
                                {"tokens", QJsonArray{"tok-2"}}}}},
        {"phones",
         QJsonArray{QJsonObject{{"phoneNum", "13800000000"}, {"verifyCode", "123456"}, {"userId", "u1"}},
                    QJsonObject{{"phoneNum", "13900000000"},
                                {"verifyCode", "654321"},
                                {"userId", "u2"},
                                {"sendCode", QJsonObject{{"errorCode", "0023"}, {"errorDesc", "发送过于频繁"}}}}}},
        {"qr",
         QJsonObject{
             {"text", "https://qr.tessaly.invalid/login?t={preLoginToken}"}, {"pollsUntilLogin", 2}, {"userId", "u2"}}},
    };
}

QJsonObject withFault(QJsonObject base, const QString &path, const QJsonObject &fault)
{
    base.insert("faults", QJsonObject{{path, fault}});
    return base;
}

QString stored(const QString &key)
{
    return MyContext::settings().value(key).toString();
}

// An address where nothing listens.
QString refusedAddress()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost))
        return {};
    const QString address = QStringLiteral("http://127.0.0.1:%1").arg(probe.serverPort());
    probe.close();
    return address;
}

} // namespace

class TestLogins : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void tokenLoginWithoutStoredToken();
    void tokenLogin_data();
    void tokenLogin();
    void tokenLoginFaults_data();
    void tokenLoginFaults();

    void phoneLogin_data();
    void phoneLogin();
    void sendVerifyCode_data();
    void sendVerifyCode();

    void qrLoginPollsUntilSignedIn();
    void qrLoginKeepsStoredTokenInRequest();
    void fetchQrCode();

    void loginOutRemovesSignIn();
    void replacedUserIsReleased();
    void exchangeStartedWhileAnotherWaits();

private:
    QTemporaryDir m_settingsDir;
    QTemporaryDir m_appDir;
};

void TestLogins::initTestCase()
{
    // The settings store must never be the real user's, however the test is started.
    QVERIFY(m_settingsDir.isValid());
    QVERIFY(m_appDir.isValid());
    QVERIFY(ContextFixture::isolate(m_settingsDir.path(), m_appDir.path()));
}

void TestLogins::init()
{
    qputenv("TESSALY_HTTP_TIMEOUT_MS", "3000");
    MyContext::lastErrorCode = QStringLiteral("-1");
}

void TestLogins::cleanup()
{
    MyContext::loginOut();
    releaseDeferred();
}

void TestLogins::tokenLoginWithoutStoredToken()
{
    Simulator sim(scenario());
    QVERIFY(sim.isRunning());
    sim.useForPlatform();

    MyContext::tokenLogin();
    QCOMPARE(sim.requests(tokenLoginPath).size(), 0);
    QCOMPARE(MyContext::lastErrorCode, QStringLiteral("-1"));
    QVERIFY(!MyContext::user);
}

void TestLogins::tokenLogin_data()
{
    QTest::addColumn<QString>("token");
    QTest::addColumn<QString>("errorCode");
    QTest::addColumn<QString>("nickName"); // empty: nobody signed in

    QTest::newRow("valid") << "tok-1"
                           << "0001"
                           << "小泰";
    QTest::newRow("second token of the user") << "tok-1b"
                                              << "0001"
                                              << "小泰";
    QTest::newRow("expired") << "tok-old"
                             << "0014"
                             << "";
    QTest::newRow("unknown") << "tok-nobody"
                             << "0013"
                             << "";
}

void TestLogins::tokenLogin()
{
    QFETCH(QString, token);
    QFETCH(QString, errorCode);
    QFETCH(QString, nickName);

    Simulator sim(scenario());
    QVERIFY(sim.isRunning());
    sim.useForPlatform();
    MyContext::settings().setValue("tokenId", token);

    MyContext::tokenLogin();

    QCOMPARE(sim.requests(tokenLoginPath).size(), 1);
    QCOMPARE(MyContext::lastErrorCode, errorCode);
    QCOMPARE(MyContext::user != nullptr, !nickName.isEmpty());
    if (MyContext::user) {
        QCOMPARE(MyContext::user->nickName(), nickName);
        QCOMPARE(MyContext::user->userId(), QStringLiteral("u1"));
        QCOMPARE(MyContext::user->userSystemId(), QStringLiteral("1000"));
        QCOMPARE(MyContext::user->headImgBase64(), QStringLiteral("iVBORw0KGgo="));
    }
    // The token login never writes the settings store.
    QCOMPARE(stored("tokenId"), token);
    QVERIFY(!MyContext::settings().contains("userSystemId"));
}

void TestLogins::tokenLoginFaults_data()
{
    QTest::addColumn<QJsonObject>("fault");
    QTest::addColumn<QString>("errorCode");
    QTest::addColumn<bool>("signedIn");

    // A network failure leaves the code as it was; an answer that arrived records what it read.
    QTest::newRow("delay") << QJsonObject{{"kind", "delay"}, {"ms", 150}} << "0001" << true;
    QTest::newRow("delay beyond the time-out") << QJsonObject{{"kind", "delay"}, {"ms", 2000}} << "-1" << false;
    QTest::newRow("never answers") << QJsonObject{{"kind", "hang"}} << "-1" << false;
    QTest::newRow("HTTP 500") << QJsonObject{{"kind", "status"}, {"status", 500}} << "-1" << false;
    QTest::newRow("HTTP 403 with a success body")
        << QJsonObject{{"kind", "status"},
                       {"status", 403},
                       {"body", R"({"errorCode":"0001","errorDesc":"","data":{"userId":"u9"}})"}}
        << "-1" << false;
    QTest::newRow("not JSON") << QJsonObject{{"kind", "nonJson"}} << "" << false;
    QTest::newRow("wrong types") << QJsonObject{{"kind", "wrongType"}} << "" << false;
    QTest::newRow("truncated") << QJsonObject{{"kind", "truncated"}} << "-1" << false;
    QTest::newRow("connection reset") << QJsonObject{{"kind", "reset"}} << "-1" << false;
}

void TestLogins::tokenLoginFaults()
{
    QFETCH(QJsonObject, fault);
    QFETCH(QString, errorCode);
    QFETCH(bool, signedIn);

    qputenv("TESSALY_HTTP_TIMEOUT_MS", "600");
    Simulator sim(withFault(scenario(), tokenLoginPath, fault));
    QVERIFY(sim.isRunning());
    sim.useForPlatform();
    MyContext::settings().setValue("tokenId", "tok-1");

    QElapsedTimer clock;
    clock.start();
    MyContext::tokenLogin();
    QVERIFY2(clock.elapsed() < 600 + 2000, qPrintable(QString::number(clock.elapsed())));

    QCOMPARE(MyContext::lastErrorCode, errorCode);
    QCOMPARE(MyContext::user != nullptr, signedIn);
    QCOMPARE(stored("tokenId"), QStringLiteral("tok-1"));
}

void TestLogins::phoneLogin_data()
{
    QTest::addColumn<QString>("phone");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QJsonObject>("fault");
    QTest::addColumn<QString>("result");
    QTest::addColumn<QString>("userId"); // empty: nobody signed in

    QTest::newRow("signed in") << "13800000000"
                               << "123456" << QJsonObject() << ""
                               << "u1";
    QTest::newRow("other user") << "13900000000"
                                << "654321" << QJsonObject() << ""
                                << "u2";
    QTest::newRow("wrong code") << "13800000000"
                                << "000000" << QJsonObject() << "验证码错误"
                                << "";
    QTest::newRow("HTTP 500") << "13800000000"
                              << "123456" << QJsonObject{{"kind", "status"}, {"status", 500}} << networkFailure << "";
    QTest::newRow("connection reset") << "13800000000"
                                      << "123456" << QJsonObject{{"kind", "reset"}} << networkFailure << "";
    QTest::newRow("never answers") << "13800000000"
                                   << "123456" << QJsonObject{{"kind", "hang"}} << networkFailure << "";
    // An answer without a message must not read as success.
    QTest::newRow("not JSON") << "13800000000"
                              << "123456" << QJsonObject{{"kind", "nonJson"}} << networkFailure << "";
    QTest::newRow("wrong types") << "13800000000"
                                 << "123456" << QJsonObject{{"kind", "wrongType"}} << networkFailure << "";
}

void TestLogins::phoneLogin()
{
    QFETCH(QString, phone);
    QFETCH(QString, code);
    QFETCH(QJsonObject, fault);
    QFETCH(QString, result);
    QFETCH(QString, userId);

    qputenv("TESSALY_HTTP_TIMEOUT_MS", "600");
    Simulator sim(fault.isEmpty() ? scenario() : withFault(scenario(), phoneLoginPath, fault));
    QVERIFY(sim.isRunning());
    sim.useForPlatform();

    QCOMPARE(MyContext::phoneLogin(phone, code), result);
    QCOMPARE(MyContext::user ? MyContext::user->userId() : QString(), userId);
    if (!userId.isEmpty()) {
        const QString token = userId == QLatin1String("u1") ? QStringLiteral("tok-1") : QStringLiteral("tok-2");
        const QString systemId = userId == QLatin1String("u1") ? QStringLiteral("1000") : QStringLiteral("1002");
        QCOMPARE(stored("tokenId"), token);
        QCOMPARE(stored("userSystemId"), systemId);
        QCOMPARE(MyContext::lastErrorCode, QStringLiteral("0001"));
    } else {
        QVERIFY(!MyContext::settings().contains("tokenId"));
        QVERIFY(!MyContext::settings().contains("userSystemId"));
    }
}

void TestLogins::sendVerifyCode_data()
{
    QTest::addColumn<QString>("phone");
    QTest::addColumn<bool>("refused");
    QTest::addColumn<QString>("result");

    QTest::newRow("sent") << "13800000000" << false << "";
    QTest::newRow("platform refuses with a message") << "13900000000" << false << "发送过于频繁";
    QTest::newRow("unknown number") << "13700000000" << false << "手机号未注册";
    QTest::newRow("no platform") << "13800000000" << true << networkFailure;
}

void TestLogins::sendVerifyCode()
{
    QFETCH(QString, phone);
    QFETCH(bool, refused);
    QFETCH(QString, result);

    Simulator sim(scenario());
    QVERIFY(sim.isRunning());
    sim.useForPlatform();
    if (refused)
        qputenv("TESSALY_USER_SERVICE_URL", refusedAddress().toUtf8());

    MyContext::lastErrorCode = QStringLiteral("untouched");
    QCOMPARE(MyContext::sendVerifyCode(phone), result);
    QCOMPARE(MyContext::lastErrorCode, QStringLiteral("untouched"));
    QCOMPARE(sim.requests(sendCodePath).size(), refused ? 0 : 1);
    QVERIFY(!MyContext::user);
}

void TestLogins::qrLoginPollsUntilSignedIn()
{
    Simulator sim(scenario());
    QVERIFY(sim.isRunning());
    sim.useForPlatform();
    const QString attempt = QStringLiteral("10015_attempt");

    QVERIFY(!MyContext::qrCodeLogin(attempt));
    QCOMPARE(MyContext::lastErrorCode, QStringLiteral("0030"));
    QVERIFY(!MyContext::user);
    QVERIFY(!MyContext::settings().contains("tokenId"));

    QVERIFY(MyContext::qrCodeLogin(attempt));
    QCOMPARE(MyContext::lastErrorCode, QStringLiteral("0001"));
    QVERIFY(MyContext::user);
    QCOMPARE(MyContext::user->userId(), QStringLiteral("u2"));
    QCOMPARE(MyContext::user->nickName(), QStringLiteral("阿萨"));
    QCOMPARE(stored("tokenId"), QStringLiteral("tok-2"));
    QCOMPARE(stored("userSystemId"), QStringLiteral("1002"));

    // Neither poll carried a token, since none was stored when they were sent.
    const QJsonArray polls = sim.requests(qrPollPath);
    QCOMPARE(polls.size(), 2);
    for (const QJsonValue &poll : polls)
        QVERIFY(!Simulator::jsonBody(poll.toObject()).contains("tokenId"));
}

void TestLogins::qrLoginKeepsStoredTokenInRequest()
{
    Simulator sim(scenario());
    QVERIFY(sim.isRunning());
    sim.useForPlatform();
    MyContext::settings().setValue("tokenId", "tok-old");

    QVERIFY(!MyContext::qrCodeLogin(QStringLiteral("10015_a")));
    QVERIFY(MyContext::qrCodeLogin(QStringLiteral("10015_a")));
    const QJsonArray polls = sim.requests(qrPollPath);
    QCOMPARE(polls.size(), 2);
    for (const QJsonValue &poll : polls)
        QCOMPARE(Simulator::jsonBody(poll.toObject()).value("tokenId").toString(), QStringLiteral("tok-old"));
    // The success replaced the stored token with the one the answer brought.
    QCOMPARE(stored("tokenId"), QStringLiteral("tok-2"));
}

void TestLogins::fetchQrCode()
{
    Simulator sim(scenario());
    QVERIFY(sim.isRunning());
    sim.useForPlatform();

    bool ok = false;
    QCOMPARE(MyContext::fetchQrCode(QStringLiteral("10015_x"), &ok),
             QStringLiteral("https://qr.tessaly.invalid/login?t=10015_x"));
    QVERIFY(ok);
    QCOMPARE(MyContext::fetchQrCode(QStringLiteral("10015_y")),
             QStringLiteral("https://qr.tessaly.invalid/login?t=10015_y"));

    qputenv("TESSALY_USER_SERVICE_URL", refusedAddress().toUtf8());
    QCOMPARE(MyContext::fetchQrCode(QStringLiteral("10015_x"), &ok), QString());
    QVERIFY(!ok);
}

void TestLogins::loginOutRemovesSignIn()
{
    Simulator sim(scenario());
    QVERIFY(sim.isRunning());
    sim.useForPlatform();

    QCOMPARE(MyContext::phoneLogin(QStringLiteral("13800000000"), QStringLiteral("123456")), QString());
    const QPointer<User> user = MyContext::user;
    QVERIFY(user);
    QVERIFY(MyContext::settings().contains("tokenId"));

    MyContext::loginOut();
    QVERIFY(!MyContext::user);
    QVERIFY(!MyContext::settings().contains("tokenId"));
    QVERIFY(!MyContext::settings().contains("userSystemId"));
    QSettings reread(MyContext::settings().fileName(), MyContext::settings().format());
    QVERIFY(!reread.contains("tokenId"));
    releaseDeferred();
    QVERIFY(user.isNull());

    // Signing out twice is harmless.
    MyContext::loginOut();
    QVERIFY(!MyContext::user);
}

void TestLogins::replacedUserIsReleased()
{
    Simulator sim(scenario());
    QVERIFY(sim.isRunning());
    sim.useForPlatform();

    QCOMPARE(MyContext::phoneLogin(QStringLiteral("13800000000"), QStringLiteral("123456")), QString());
    const QPointer<User> first = MyContext::user;
    QCOMPARE(MyContext::phoneLogin(QStringLiteral("13900000000"), QStringLiteral("654321")), QString());
    QVERIFY(MyContext::user);
    QVERIFY(MyContext::user != first.data());
    QCOMPARE(MyContext::user->userId(), QStringLiteral("u2"));
    releaseDeferred();
    QVERIFY(first.isNull());
}

void TestLogins::exchangeStartedWhileAnotherWaits()
{
    // A QR poll fires while a phone login waits for its slow answer; the poll's answer comes back
    // after the phone login has given up. Each exchange ends on its own terms.
    qputenv("TESSALY_HTTP_TIMEOUT_MS", "400");
    QJsonObject slow = scenario();
    slow.insert("faults",
                QJsonObject{{phoneLoginPath, QJsonObject{{"kind", "hang"}}},
                            {qrPollPath, QJsonObject{{"kind", "delay"}, {"ms", 250}}}});
    Simulator sim(slow);
    QVERIFY(sim.isRunning());
    sim.useForPlatform();

    bool polled = false;
    QTimer::singleShot(300, this, [&polled] {
        MyContext::qrCodeLogin(QStringLiteral("10015_r"));
        polled = MyContext::qrCodeLogin(QStringLiteral("10015_r"));
    });
    QElapsedTimer clock;
    clock.start();
    const QString result = MyContext::phoneLogin(QStringLiteral("13800000000"), QStringLiteral("123456"));
    QCOMPARE(result, networkFailure);
    QVERIFY(polled);
    QVERIFY(MyContext::user);
    QCOMPARE(MyContext::user->userId(), QStringLiteral("u2"));
    QCOMPARE(stored("tokenId"), QStringLiteral("tok-2"));
    QCOMPARE(MyContext::lastErrorCode, QStringLiteral("0001"));
    // The phone login's loop had timed out at 400 ms but could only return once the nested polls ended.
    QVERIFY(clock.elapsed() >= 300 + 2 * 250);
}

QTEST_MAIN(TestLogins)
#include "tst_logins.moc"
