// The sign-in flow against the platform simulator on loopback: its token and QR code, polls that never
// overlap another exchange, an owner that closes or goes away while an exchange waits; the phone checks.
#include "core/account/phoneinput.h"
#include "core/account/signinflow.h"
#include "core/account/signinnotifier.h"
#include "core/platform/mycontext.h"
#include "support/probe.h"
#include "support/signinscenario.h"

#include <QRegularExpression>
#include <QSettings>
#include <QtTest>

#include <memory>

using namespace SignInScenario;

class TestSignInFlow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void phoneInput_data();
    void phoneInput();
    void slowPlatformNeverOverlaps_data();
    void slowPlatformNeverOverlaps();
    void ownerGoneWhileExchangeWaits_data();
    void ownerGoneWhileExchangeWaits();

private:
    std::unique_ptr<Simulator> sim;
};

void TestSignInFlow::initTestCase()
{
    QLoggingCategory::setFilterRules(QStringLiteral("tessaly.platform.debug=false"));
    sim = std::make_unique<Simulator>(scenario());
    QVERIFY(sim->isRunning());
    sim->useForPlatform();
}

void TestSignInFlow::init()
{
    SignInTiming timing;
    timing.pollIntervalMs = 50;
    SignInFlow::setTiming(timing);
    QVERIFY(sim->setScenario(scenario()));
    sim->clearRequests();
    MyContext::loginOut();
}

void TestSignInFlow::cleanup()
{
    SignInFlow::setTiming(SignInTiming());
}

void TestSignInFlow::phoneInput_data()
{
    QTest::addColumn<bool>("login"); // else: ask for a code
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("message");
    const QString noNumber = QStringLiteral("请输入手机号！");
    const QString badNumber = QStringLiteral("您输入的手机号格式有误！");
    const QString badCode = QStringLiteral("您输入的验证码有误！");
    const QString tenDigits = QStringLiteral("1380000000");
    QTest::newRow("code, no number") << false << QString() << QString() << noNumber;
    QTest::newRow("code, 10 digits") << false << tenDigits << QString() << badNumber;
    QTest::newRow("code, 12 digits") << false << QStringLiteral("138000000001") << QString() << badNumber;
    QTest::newRow("code, the code field is not looked at") << false << knownPhone << QStringLiteral("1") << QString();
    QTest::newRow("login, the number comes first") << true << QString() << QStringLiteral("1") << noNumber;
    QTest::newRow("login, 10 digits") << true << tenDigits << knownCode << badNumber;
    QTest::newRow("login, no code") << true << knownPhone << QString() << QStringLiteral("请输入验证码！");
    QTest::newRow("login, 5-character code") << true << knownPhone << QStringLiteral("12345") << badCode;
    QTest::newRow("login, 7-character code") << true << knownPhone << QStringLiteral("1234567") << badCode;
    QTest::newRow("login") << true << knownPhone << knownCode << QString();
}

void TestSignInFlow::phoneInput()
{
    QFETCH(bool, login);
    QFETCH(QString, number);
    QFETCH(QString, code);
    QTEST(phoneInputMessage(login ? PhoneAction::Login : PhoneAction::SendCode, number, code), "message");
}

void TestSignInFlow::slowPlatformNeverOverlaps_data()
{
    QTest::addColumn<QString>("slowPath");
    QTest::newRow("slow poll") << pollPath;
    QTest::newRow("slow qr fetch") << fetchPath;
    QTest::newRow("slow code request") << sendCodePath;
    QTest::newRow("slow login") << loginPath;
}

void TestSignInFlow::slowPlatformNeverOverlaps()
{
    QFETCH(QString, slowPath);
    const int delay = 200; // four poll intervals
    QVERIFY(sim->setScenario(scenario(0, delayed(slowPath, delay))));
    SignInFlow flow(nullptr);
    flow.start();
    if (slowPath == sendCodePath)
        flow.sendVerifyCode(knownPhone);
    else if (slowPath == loginPath)
        flow.phoneLogin(knownPhone, QStringLiteral("000000"));
    // Enough polls that, overlapping, several would have started inside one slow answer.
    QTRY_VERIFY(countWithToken(sim->requests(pollPath), flow.loginToken()) >= 3);
    flow.stop();

    const QJsonArray polls = sim->requests(pollPath);
    const QJsonArray slow = sim->requests(slowPath);
    QVERIFY(!slow.isEmpty());
    for (const QJsonValue &slowOne : slow) {
        const double from = slowOne.toObject().value(QLatin1String("time")).toDouble();
        for (const QJsonValue &poll : polls) {
            const double at = poll.toObject().value(QLatin1String("time")).toDouble();
            QVERIFY2(
                poll == slowOne || at < from || at >= from + delay - 1,
                qPrintable(QStringLiteral("a poll started %1 ms into a %2 ms exchange").arg(at - from).arg(delay)));
        }
    }
}

void TestSignInFlow::ownerGoneWhileExchangeWaits_data()
{
    QTest::addColumn<QString>("slowPath");
    QTest::addColumn<bool>("succeeds");
    QTest::addColumn<bool>("deleted"); // else only stopped, as by a closed dialog not yet deleted
    QTest::newRow("qr fetch, stopped") << fetchPath << false << false;
    QTest::newRow("poll, deleted") << pollPath << false << true;
    QTest::newRow("poll that signs in, stopped") << pollPath << true << false;
    QTest::newRow("poll that signs in, deleted") << pollPath << true << true;
    QTest::newRow("code request, deleted") << sendCodePath << false << true;
    QTest::newRow("login, stopped") << loginPath << false << false;
    QTest::newRow("login that signs in, stopped") << loginPath << true << false;
    QTest::newRow("login that signs in, deleted") << loginPath << true << true;
}

// The owner stops the flow, or deletes it, while an exchange waits; the exchange then returns into a
// flow that has stopped or no longer exists. Nothing more is shown, but a late sign-in still counts: it
// is announced, and any other flow, now pointless, stops.
void TestSignInFlow::ownerGoneWhileExchangeWaits()
{
    QFETCH(QString, slowPath);
    QFETCH(bool, succeeds);
    QFETCH(bool, deleted);
    QVERIFY(sim->setScenario(scenario(succeeds ? 1 : 0, delayed(slowPath, 250))));
    QSignalSpy lateSignIn(SignInNotifier::instance(), &SignInNotifier::signedInAfterClose);
    SignInFlow other(nullptr);
    QSignalSpy otherStopped(&other, &SignInFlow::signedInElsewhere);
    QPointer<SignInFlow> flow = new SignInFlow(nullptr);
    const QString token = flow->loginToken();
    QSignalSpy signedIn(flow.data(), &SignInFlow::signedIn);
    QSignalSpy messages(flow.data(), &SignInFlow::messageChanged);

    // Each exchange returns only once its answer has come; events, the probe's too, run only while it
    // waits.
    bool acted = false;
    Probe owner([&] {
        if (acted)
            return;
        acted = true;
        if (deleted)
            delete flow;
        else
            flow->stop();
    });
    if (slowPath == fetchPath)
        flow->fetchQrCode();
    else if (slowPath == pollPath)
        flow->pollQrLogin();
    else if (slowPath == sendCodePath)
        flow->sendVerifyCode(knownPhone);
    else
        flow->phoneLogin(knownPhone, succeeds ? knownCode : QStringLiteral("000000"));
    owner.stop();

    QVERIFY(acted);
    QCOMPARE(flow.isNull(), deleted);
    // Each attempt has a token of its own, sent with its fetch and its polls: product id, "_", a UUID.
    const QJsonArray sent = sim->requests(slowPath);
    QCOMPARE(sent.size(), 1);
    if (slowPath == fetchPath || slowPath == pollPath)
        QCOMPARE(countWithToken(sent, token), 1);
    QVERIFY2(
        QRegularExpression(QStringLiteral("^10015_[0-9a-f]{8}-([0-9a-f]{4}-){3}[0-9a-f]{12}$")).match(token).hasMatch(),
        qPrintable(token));
    QVERIFY(token != other.loginToken());
    QCOMPARE(signedIn.count(), 0);
    // Only the message cleared before a phone exchange; no answer is shown afterwards.
    QCOMPARE(messages.count(), slowPath == sendCodePath || slowPath == loginPath ? 1 : 0);
    QCOMPARE(lateSignIn.count(), succeeds ? 1 : 0);
    QCOMPARE(otherStopped.count(), succeeds ? 1 : 0);
    QCOMPARE(MyContext::user != nullptr, succeeds);
    QCOMPARE(MyContext::settings().value(QStringLiteral("tokenId")).toString(), succeeds ? "tok-1" : QString());
    delete flow;
}

QTEST_GUILESS_MAIN(TestSignInFlow)
#include "tst_signinflow.moc"
