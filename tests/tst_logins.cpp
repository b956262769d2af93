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
#include <QJsonDocument>
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
    QJsonObject scenario = QJsonDocument::fromJson(R"({
        "users": [{"userId": "u1", "nickName": "小泰", "headImgBase64": "iVBORw0KGgo=", "userSystemId": "1000",
                   "tokens": ["tok-1", "tok-1b"], "expiredTokens": ["tok-old"]},
                  {"userId": "u2", "nickName": "阿萨", "headImgBase64": "", "userSystemId": "1002", "tokens": ["tok-2"]}],
        "phones": [{"phoneNum": "13800000000", "verifyCode": "123456", "userId": "u1"},
                   {"phoneNum": "13900000000", "verifyCode": "654321", "userId": "u2",
                    "sendCode": {"errorCode": "0023", "errorDesc": "发送过于频繁"}}]})")
                               .object();
    // The QR text stays out of the raw string: an address there would confuse moc.
    scenario.insert("qr",
                    QJsonObject{{"text", "https://qr.tessaly.invalid/login?t={preLoginToken}"},
                                {"pollsUntilLogin", 2},
                                {"userId", "u2"}});
    return scenario;
}

QJsonObject withFault(QJsonObject base, const QString &path, const QJsonObject &fault)
{
    if (!fault.isEmpty())
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

    void tokenLogin_data();
    void tokenLogin();
    void phoneLogin_data();
    void phoneLogin();
    void sendVerifyCode_data();
    void sendVerifyCode();
    void qrLoginPollsUntilSignedIn_data();
    void qrLoginPollsUntilSignedIn();
    void replacedAndSignedOutUsersAreReleased();
    void exchangeStartedWhileAnotherWaits();

private:
    // Starts the simulator on a scenario and points the client at it.
    void startSim(const QJsonObject &scenario)
    {
        m_sim.reset(new Simulator(scenario));
        QVERIFY(m_sim->isRunning());
        m_sim->useForPlatform();
    }

    QTemporaryDir m_settingsDir;
    QTemporaryDir m_appDir;
    QScopedPointer<Simulator> m_sim;
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
    qputenv("TESSALY_HTTP_TIMEOUT_MS", "600");
    MyContext::lastErrorCode = QStringLiteral("-1");
}

void TestLogins::cleanup()
{
    MyContext::loginOut();
    releaseDeferred();
    m_sim.reset();
}

void TestLogins::tokenLogin_data()
{
    QTest::addColumn<QString>("token"); // the stored one
    QTest::addColumn<QJsonObject>("fault");
    QTest::addColumn<QString>("errorCode");
    QTest::addColumn<QString>("nickName"); // empty: nobody signed in

    const QString valid = QStringLiteral("tok-1");
    QTest::newRow("no stored token: no request") << QString() << QJsonObject() << "-1" << QString();
    QTest::newRow("valid") << valid << QJsonObject() << "0001" << QStringLiteral("小泰");
    QTest::newRow("expired") << QStringLiteral("tok-old") << QJsonObject() << "0014" << QString();
    QTest::newRow("unknown") << QStringLiteral("tok-nobody") << QJsonObject() << "0013" << QString();
    // A network failure leaves the code as it was; an answer that arrived records what it read.
    QTest::newRow("delay within the time-out")
        << valid << QJsonObject{{"kind", "delay"}, {"ms", 150}} << "0001" << QStringLiteral("小泰");
    QTest::newRow("never answers") << valid << QJsonObject{{"kind", "hang"}} << "-1" << QString();
    QTest::newRow("HTTP 500") << valid << QJsonObject{{"kind", "status"}, {"status", 500}} << "-1" << QString();
    QTest::newRow("HTTP 403 with a success body")
        << valid
        << QJsonObject{{"kind", "status"},
                       {"status", 403},
                       {"body", R"({"errorCode":"0001","errorDesc":"","data":{"userId":"u9"}})"}}
        << "-1" << QString();
    QTest::newRow("not JSON") << valid << QJsonObject{{"kind", "nonJson"}} << "" << QString();
    QTest::newRow("wrong types") << valid << QJsonObject{{"kind", "wrongType"}} << "" << QString();
    QTest::newRow("truncated") << valid << QJsonObject{{"kind", "truncated"}} << "-1" << QString();
    QTest::newRow("connection reset") << valid << QJsonObject{{"kind", "reset"}} << "-1" << QString();
}

void TestLogins::tokenLogin()
{
    QFETCH(QString, token);
    QFETCH(QJsonObject, fault);
    QFETCH(QString, errorCode);
    QFETCH(QString, nickName);

    startSim(withFault(scenario(), tokenLoginPath, fault));
    if (!token.isEmpty())
        MyContext::settings().setValue("tokenId", token);

    QElapsedTimer clock;
    clock.start();
    MyContext::tokenLogin();
    QVERIFY2(clock.elapsed() < 600 + 2000, qPrintable(QString::number(clock.elapsed())));

    QCOMPARE(m_sim->requests(tokenLoginPath).isEmpty(), token.isEmpty()); // Qt may resend after a reset
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

void TestLogins::phoneLogin_data()
{
    QTest::addColumn<QString>("phone");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QJsonObject>("fault");
    QTest::addColumn<QString>("result");
    QTest::addColumn<QString>("userId"); // empty: nobody signed in

    const QString phone = QStringLiteral("13800000000"), code = QStringLiteral("123456");
    QTest::newRow("signed in") << phone << code << QJsonObject() << QString() << "u1";
    QTest::newRow("other user") << QStringLiteral("13900000000") << QStringLiteral("654321") << QJsonObject()
                                << QString() << "u2";
    QTest::newRow("wrong code") << phone << QStringLiteral("000000") << QJsonObject() << "验证码错误" << QString();
    QTest::newRow("HTTP 500") << phone << code << QJsonObject{{"kind", "status"}, {"status", 500}} << networkFailure
                              << QString();
    // An answer without a message must not read as success.
    QTest::newRow("not JSON") << phone << code << QJsonObject{{"kind", "nonJson"}} << networkFailure << QString();
    QTest::newRow("wrong types") << phone << code << QJsonObject{{"kind", "wrongType"}} << networkFailure << QString();
}

void TestLogins::phoneLogin()
{
    QFETCH(QString, phone);
    QFETCH(QString, code);
    QFETCH(QJsonObject, fault);
    QFETCH(QString, result);
    QFETCH(QString, userId);

    startSim(withFault(scenario(), phoneLoginPath, fault));
    QCOMPARE(MyContext::phoneLogin(phone, code), result);
    QCOMPARE(MyContext::user ? MyContext::user->userId() : QString(), userId);
    const bool u1 = userId == QLatin1String("u1");
    QCOMPARE(stored("tokenId"), userId.isEmpty() ? QString() : u1 ? QStringLiteral("tok-1") : QStringLiteral("tok-2"));
    QCOMPARE(stored("userSystemId"),
             userId.isEmpty() ? QString()
                 : u1         ? QStringLiteral("1000")
                              : QStringLiteral("1002"));
    if (!userId.isEmpty())
        QCOMPARE(MyContext::lastErrorCode, QStringLiteral("0001"));
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

    startSim(scenario());
    if (refused)
        qputenv("TESSALY_USER_SERVICE_URL", refusedAddress().toUtf8());

    MyContext::lastErrorCode = QStringLiteral("untouched");
    QCOMPARE(MyContext::sendVerifyCode(phone), result);
    QCOMPARE(MyContext::lastErrorCode, QStringLiteral("untouched"));
    QCOMPARE(m_sim->requests(sendCodePath).size(), refused ? 0 : 1);
    QVERIFY(!MyContext::user);
}

void TestLogins::qrLoginPollsUntilSignedIn_data()
{
    QTest::addColumn<QString>("storedToken");
    QTest::newRow("no stored token: polls carry no \"tokenId\"") << QString();
    QTest::newRow("polls carry the stored token") << QStringLiteral("tok-old");
}

void TestLogins::qrLoginPollsUntilSignedIn()
{
    QFETCH(QString, storedToken);
    startSim(scenario());
    if (!storedToken.isEmpty())
        MyContext::settings().setValue("tokenId", storedToken);
    const QString attempt = QStringLiteral("10015_attempt");

    QVERIFY(!MyContext::qrCodeLogin(attempt));
    QCOMPARE(MyContext::lastErrorCode, QStringLiteral("0030"));
    QVERIFY(!MyContext::user);
    QCOMPARE(stored("tokenId"), storedToken);

    QVERIFY(MyContext::qrCodeLogin(attempt));
    QCOMPARE(MyContext::lastErrorCode, QStringLiteral("0001"));
    QVERIFY(MyContext::user);
    QCOMPARE(MyContext::user->userId(), QStringLiteral("u2"));
    QCOMPARE(MyContext::user->nickName(), QStringLiteral("阿萨"));
    // The success replaced any stored token with the one the answer brought.
    QCOMPARE(stored("tokenId"), QStringLiteral("tok-2"));
    QCOMPARE(stored("userSystemId"), QStringLiteral("1002"));

    const QJsonArray polls = m_sim->requests(qrPollPath);
    QCOMPARE(polls.size(), 2);
    for (const QJsonValue &poll : polls) {
        const QJsonObject body = Simulator::jsonBody(poll.toObject());
        QCOMPARE(body.contains("tokenId"), !storedToken.isEmpty());
        QCOMPARE(body.value("tokenId").toString(), storedToken);
    }
}

void TestLogins::replacedAndSignedOutUsersAreReleased()
{
    startSim(scenario());
    QCOMPARE(MyContext::phoneLogin(QStringLiteral("13800000000"), QStringLiteral("123456")), QString());
    const QPointer<User> first = MyContext::user;
    QCOMPARE(MyContext::phoneLogin(QStringLiteral("13900000000"), QStringLiteral("654321")), QString());
    const QPointer<User> second = MyContext::user;
    QVERIFY(second && second != first);
    QCOMPARE(second->userId(), QStringLiteral("u2"));
    releaseDeferred();
    QVERIFY(first.isNull());

    MyContext::loginOut();
    QVERIFY(!MyContext::user);
    QVERIFY(!MyContext::settings().contains("tokenId"));
    QVERIFY(!MyContext::settings().contains("userSystemId"));
    QSettings reread(MyContext::settings().fileName(), MyContext::settings().format());
    QVERIFY(!reread.contains("tokenId"));
    releaseDeferred();
    QVERIFY(second.isNull());

    // Signing out twice is harmless.
    MyContext::loginOut();
    QVERIFY(!MyContext::user);
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
    startSim(slow);

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
