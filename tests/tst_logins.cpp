// Token, phone and QR-code sign-in, the verification code and signing out, against the platform simulator
// on loopback.
#include "core/base/user.h"
#include "core/platform/mycontext.h"
#include "support/logcapture.h"
#include "support/contextfixture.h"
#include "support/simulator.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QPointer>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

using ContextFixture::releaseDeferred;

const QString tokenLoginPath = QStringLiteral("/user/user/tokenlogin.html");
const QString phoneLoginPath = QStringLiteral("/user/user/phonelogin.html");
const QString sendCodePath = QStringLiteral("/user/user/sendverifycode.html");
const QString qrPollPath = QStringLiteral("/user/user/gongzhongqrcodelogin.html");
const QString networkFailure = QStringLiteral("网络异常，请检查网络连接！");
const QString phone1 = QStringLiteral("13800000000"), code1 = QStringLiteral("123456");
const QString phone2 = QStringLiteral("13900000000"), code2 = QStringLiteral("654321");

QJsonObject scenario(const QJsonObject &faults = {})
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
    if (!faults.isEmpty())
        scenario.insert("faults", faults);
    return scenario;
}

QString stored(const QString &key)
{
    return MyContext::settings().value(key).toString();
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
    void phoneLoginAndCode_data();
    void phoneLoginAndCode();
    void replacedAndSignedOutUsersAreReleased();
    void exchangeStartedWhileAnotherWaits();

private:
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
    QVERIFY(m_settingsDir.isValid() && m_appDir.isValid());
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
    QTest::addColumn<bool>("signedIn");

    const QString valid = QStringLiteral("tok-1");
    QTest::newRow("no stored token: no request") << QString() << QJsonObject() << "-1" << false;
    QTest::newRow("valid") << valid << QJsonObject() << "0001" << true;
    QTest::newRow("expired") << "tok-old" << QJsonObject() << "0014" << false;
    // A network failure leaves the code as it was; an answer that arrived records what it read.
    QTest::newRow("delay within the time-out")
        << valid << QJsonObject{{"kind", "delay"}, {"ms", 150}} << "0001" << true;
    QTest::newRow("never answers") << valid << QJsonObject{{"kind", "hang"}} << "-1" << false;
    QTest::newRow("HTTP 403 with a success body")
        << valid
        << QJsonObject{{"kind", "status"},
                       {"status", 403},
                       {"body", R"({"errorCode":"0001","errorDesc":"","data":{"userId":"u9"}})"}}
        << "-1" << false;
    QTest::newRow("not JSON") << valid << QJsonObject{{"kind", "nonJson"}} << "" << false;
    QTest::newRow("wrong types") << valid << QJsonObject{{"kind", "wrongType"}} << "" << false;
    QTest::newRow("truncated") << valid << QJsonObject{{"kind", "truncated"}} << "-1" << false;
    QTest::newRow("connection reset") << valid << QJsonObject{{"kind", "reset"}} << "-1" << false;
}

void TestLogins::tokenLogin()
{
    QFETCH(QString, token);
    QFETCH(QJsonObject, fault);
    QFETCH(QString, errorCode);
    QFETCH(bool, signedIn);

    startSim(scenario(fault.isEmpty() ? QJsonObject() : QJsonObject{{tokenLoginPath, fault}}));
    if (!token.isEmpty())
        MyContext::settings().setValue("tokenId", token);

    QElapsedTimer clock;
    clock.start();
    MyContext::tokenLogin();
    QVERIFY2(clock.elapsed() < 600 + 2000, qPrintable(QString::number(clock.elapsed())));

    QCOMPARE(m_sim->requests(tokenLoginPath).isEmpty(), token.isEmpty()); // Qt may resend after a reset
    QCOMPARE(MyContext::lastErrorCode, errorCode);
    QCOMPARE(MyContext::user != nullptr, signedIn);
    if (signedIn) {
        const User &user = *MyContext::user;
        QCOMPARE(QStringList({user.nickName(), user.userId(), user.userSystemId(), user.headImgBase64()}),
                 QStringList({"小泰", "u1", "1000", "iVBORw0KGgo="}));
    }
    // The token login never writes the settings store.
    QCOMPARE(stored("tokenId"), token);
    QVERIFY(!MyContext::settings().contains("userSystemId"));
}

void TestLogins::phoneLoginAndCode_data()
{
    QTest::addColumn<bool>("login"); // else: ask for a verification code
    QTest::addColumn<QString>("phone");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QJsonObject>("fault");
    QTest::addColumn<QString>("result");

    const QJsonObject none, nonJson{{"kind", "nonJson"}}, wrongType{{"kind", "wrongType"}};
    QTest::newRow("login") << true << phone1 << code1 << none << QString();
    QTest::newRow("login, wrong code") << true << phone1 << "000000" << none << "验证码错误";
    QTest::newRow("login, HTTP 500") << true << phone1 << code1 << QJsonObject{{"kind", "status"}, {"status", 500}}
                                     << networkFailure;
    // An answer without a message must not read as success.
    QTest::newRow("login, not JSON") << true << phone1 << code1 << nonJson << networkFailure;
    QTest::newRow("login, wrong types") << true << phone1 << code1 << wrongType << networkFailure;
    QTest::newRow("code sent") << false << phone1 << QString() << none << QString();
    QTest::newRow("code refused with a message") << false << phone2 << QString() << none << "发送过于频繁";
    QTest::newRow("code, unknown number") << false << "13700000000" << QString() << none << "手机号未注册";
    QTest::newRow("code, connection reset")
        << false << phone1 << QString() << QJsonObject{{"kind", "reset"}} << networkFailure;
    QTest::newRow("code, not JSON") << false << phone1 << QString() << nonJson << networkFailure;
    QTest::newRow("code, wrong types") << false << phone1 << QString() << wrongType << networkFailure;
}

void TestLogins::phoneLoginAndCode()
{
    QFETCH(bool, login);
    QFETCH(QString, phone);
    QFETCH(QString, code);
    QFETCH(QJsonObject, fault);
    QFETCH(QString, result);

    const QString path = login ? phoneLoginPath : sendCodePath;
    startSim(scenario(fault.isEmpty() ? QJsonObject() : QJsonObject{{path, fault}}));
    MyContext::lastErrorCode = QStringLiteral("untouched");
    LogCapture log;
    QCOMPARE(login ? MyContext::phoneLogin(phone, code) : MyContext::sendVerifyCode(phone), result);
    QVERIFY(!m_sim->requests(path).isEmpty());
    // The log shows none of the sign-in's secrets, nor the head image.
    const QString logged = log.lines().join(QLatin1Char('\n'));
    for (const QString &secret : {phone, code, QStringLiteral("tok-1"), QStringLiteral("iVBORw0KGgo=")})
        QVERIFY2(secret.isEmpty() || !logged.contains(secret), qPrintable(secret));

    // Only a successful login signs in and keeps the sign-in for the next start.
    const bool signedIn = login && result.isEmpty();
    QCOMPARE(MyContext::user ? MyContext::user->userId() : QString(), signedIn ? "u1" : QString());
    QCOMPARE(stored("tokenId"), signedIn ? "tok-1" : QString());
    QCOMPARE(stored("userSystemId"), signedIn ? "1000" : QString());
    if (signedIn)
        QCOMPARE(MyContext::lastErrorCode, QStringLiteral("0001"));
    if (!login)
        QCOMPARE(MyContext::lastErrorCode, QStringLiteral("untouched"));
}

void TestLogins::replacedAndSignedOutUsersAreReleased()
{
    startSim(scenario());
    QCOMPARE(MyContext::phoneLogin(phone1, code1), QString());
    const QPointer<User> first = MyContext::user;
    QCOMPARE(MyContext::phoneLogin(phone2, code2), QString());
    const QPointer<User> second = MyContext::user;
    QVERIFY(second && second != first);
    releaseDeferred();
    QVERIFY(first.isNull());

    MyContext::loginOut();
    QVERIFY(!MyContext::user);
    // Written through at once, not only when the program ends.
    QSettings reread(MyContext::settings().fileName(), MyContext::settings().format());
    QVERIFY(!reread.contains("tokenId"));
    releaseDeferred();
    QVERIFY(second.isNull());

    MyContext::loginOut(); // signing out twice is harmless
    QVERIFY(!MyContext::user);
}

void TestLogins::exchangeStartedWhileAnotherWaits()
{
    // Two QR polls (the second signs in) run while a phone login waits for its slow answer; they end
    // after the phone login has given up. Each exchange ends on its own terms.
    qputenv("TESSALY_HTTP_TIMEOUT_MS", "400");
    startSim(scenario(QJsonObject{{phoneLoginPath, QJsonObject{{"kind", "hang"}}},
                                  {qrPollPath, QJsonObject{{"kind", "delay"}, {"ms", 250}}}}));

    MyContext::settings().setValue("tokenId", "tok-old");
    bool pending = false, polled = false;
    QTimer::singleShot(300, this, [&] {
        pending = !MyContext::qrCodeLogin(QStringLiteral("10015_r")) && !MyContext::user &&
            MyContext::lastErrorCode == QLatin1String("0030") && stored("tokenId") == QLatin1String("tok-old");
        polled = MyContext::qrCodeLogin(QStringLiteral("10015_r"));
    });
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(MyContext::phoneLogin(phone1, code1), networkFailure);
    QVERIFY2(pending, "the first poll signed in or changed the stored token");
    QVERIFY(polled);
    QVERIFY(MyContext::user);
    QCOMPARE(MyContext::user->nickName(), QStringLiteral("阿萨"));
    // The success replaced the stored token with the one the answer brought.
    QCOMPARE(stored("tokenId"), QStringLiteral("tok-2"));
    QCOMPARE(stored("userSystemId"), QStringLiteral("1002"));
    QCOMPARE(MyContext::lastErrorCode, QStringLiteral("0001"));
    // The phone login's loop had timed out at 400 ms but could only return once the nested polls ended.
    QVERIFY(clock.elapsed() >= 300 + 2 * 250);
}

QTEST_MAIN(TestLogins)
#include "tst_logins.moc"
