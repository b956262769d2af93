// App init and the start-up routine: catalog replacement, customer-service mode, faults of the platform,
// and the order of MyContext::init.
#include "account/user.h"
#include "catalog/productinfo.h"
#include "platform/apppaths.h"
#include "platform/mycontext.h"
#include "platform/platformexchange.h"
#include "support/simulator.h"

#include "buildconfig.h"
#include "support/contextfixture.h"
#include "support/probe.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QPointer>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

namespace {

using ContextFixture::releaseDeferred;
using ContextFixture::resetContext;

const QString appInitPath = QStringLiteral("/user/init/appinit.html");
const QString tokenLoginPath = QStringLiteral("/user/user/tokenlogin.html");
const QString logPath = QStringLiteral("/platform/log/commonlog.html");
const QString defaultKefuUrl = QStringLiteral(TESSALY_DEFAULT_KEFU_URL);

QJsonObject entry(const QString &name)
{
    return QJsonObject{{"iconUrl", QString("http://icons.tessaly.invalid/" + name + ".png")},
                       {"iconName", QString(name + ".png")},
                       {"downloadUrl", QString("http://download.tessaly.invalid/" + name + ".exe")},
                       {"zhName", name},
                       {"zhDesc", QString(name + "的说明")},
                       {"version", "1.2.3.4"},
                       {"pathName", QString("Tessa" + name)},
                       {"productId", "20001"}};
}

QJsonObject users()
{
    return QJsonObject{{"userId", "u1"},
                       {"nickName", "小泰"},
                       {"headImgBase64", ""},
                       {"userSystemId", "1000"},
                       {"tokens", QJsonArray{"tok-1"}},
                       {"expiredTokens", QJsonArray{"tok-old"}}};
}

QJsonObject scenarioWithAppInit(const QJsonObject &appInit)
{
    return QJsonObject{{"appInit", appInit}, {"users", QJsonArray{users()}}};
}

QJsonObject successfulAppInit(const QJsonObject &data)
{
    return QJsonObject{{"errorCode", "0001"}, {"errorDesc", ""}, {"data", data}};
}

QStringList catalogNames()
{
    QStringList names;
    for (const ProductInfo *info : qAsConst(MyContext::productInfoList))
        names << info->zhName;
    return names;
}

void seedCatalog()
{
    for (const QString &name : {QStringLiteral("内置甲"), QStringLiteral("内置乙")}) {
        auto *info = new ProductInfo;
        info->zhName = name;
        MyContext::productInfoList.append(info);
    }
}

// A context whose housekeeping thread is waited for before the context goes, even when a check failed.
struct StartedContext
{
    MyContext context;
    ~StartedContext()
    {
        const QList<QThread *> threads = context.findChildren<QThread *>();
        for (QThread *thread : threads)
            thread->wait();
    }
};

} // namespace

class TestAppInit : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void initialState();

    void appInitAnswer_data();
    void appInitAnswer();
    void appInitFaults_data();
    void appInitFaults();

    void startupOrder();
    void startupTokenOutcomes_data();
    void startupTokenOutcomes();
    void startupWithRefusedCatalogKeepsBuiltIn();
    void startupDoesNotWaitForLogLine();

private:
    QTemporaryDir m_settingsDir;
    QTemporaryDir m_appDir;
};

void TestAppInit::initTestCase()
{
    // The settings store must never be the real user's, however the test is started.
    QVERIFY(m_settingsDir.isValid());
    QVERIFY(m_appDir.isValid());
    QVERIFY(ContextFixture::isolate(m_settingsDir.path(), m_appDir.path()));
}

void TestAppInit::init()
{
    qputenv("TESSALY_HTTP_TIMEOUT_MS", "3000");
}

void TestAppInit::cleanup()
{
    QTRY_COMPARE_WITH_TIMEOUT(PlatformExchange::backgroundExchanges(), 0, 5000);
    resetContext();
}

void TestAppInit::initialState()
{
    QCOMPARE(MyContext::kefuMode, QStringLiteral("1"));
    QCOMPARE(MyContext::kefuUrl, defaultKefuUrl);
    QVERIFY(!MyContext::kefuUrl.isEmpty());
    QCOMPARE(MyContext::lastErrorCode, QStringLiteral("-1"));
    QCOMPARE(MyContext::supportSpecialMusicStr, QString());
    QVERIFY(!MyContext::user);
}

void TestAppInit::appInitAnswer_data()
{
    QTest::addColumn<QJsonObject>("answer");
    QTest::addColumn<QStringList>("catalog");
    QTest::addColumn<QString>("kefuMode");
    QTest::addColumn<QString>("kefuUrl");
    QTest::addColumn<QString>("special");

    const QStringList builtIn{QStringLiteral("内置甲"), QStringLiteral("内置乙")};
    const QString old = QStringLiteral("old");

    QTest::newRow("catalog replaced in order")
        << successfulAppInit({{"productInfos", QJsonArray{entry("甲"), entry("乙"), entry("丙")}}})
        << QStringList{"甲", "乙", "丙"} << "1" << defaultKefuUrl << old;
    QTest::newRow("empty catalog empties the list")
        << successfulAppInit({{"productInfos", QJsonArray{}}}) << QStringList() << "1" << defaultKefuUrl << old;
    QTest::newRow("no catalog keeps the list") << successfulAppInit({}) << builtIn << "1" << defaultKefuUrl << old;
    QTest::newRow("non-object elements skipped")
        << successfulAppInit(
               {{"productInfos", QJsonArray{5, entry("甲"), "x", QJsonValue(), QJsonArray{}, entry("乙"), true}}})
        << QStringList{"甲", "乙"} << "1" << defaultKefuUrl << old;
    QTest::newRow("catalog of another type reads as empty")
        << successfulAppInit({{"productInfos", "甲"}}) << QStringList() << "1" << defaultKefuUrl << old;
    QTest::newRow("mode 2 stores the address")
        << successfulAppInit({{"kefuMode", "2"}, {"kefuUrl", "http://kefu.example.invalid/chat"}}) << builtIn << "2"
        << "http://kefu.example.invalid/chat" << old;
    QTest::newRow("mode 2 stores an empty address")
        << successfulAppInit({{"kefuMode", "2"}, {"kefuUrl", ""}}) << builtIn << "2"
        << "" << old;
    QTest::newRow("mode 2 without address") << successfulAppInit({{"kefuMode", "2"}}) << builtIn << "2"
                                            << "" << old;
    QTest::newRow("mode 3 stores only the mode")
        << successfulAppInit({{"kefuMode", "3"}, {"kefuUrl", "http://kefu.example.invalid/chat"}}) << builtIn << "3"
        << defaultKefuUrl << old;
    QTest::newRow("mode 5 changes nothing")
        << successfulAppInit({{"kefuMode", "5"}, {"kefuUrl", "http://kefu.example.invalid/chat"}}) << builtIn << "1"
        << defaultKefuUrl << old;
    QTest::newRow("empty mode changes nothing")
        << successfulAppInit({{"kefuMode", ""}, {"kefuUrl", "http://kefu.example.invalid/chat"}}) << builtIn << "1"
        << defaultKefuUrl << old;
    QTest::newRow("numeric mode reads as empty")
        << successfulAppInit({{"kefuMode", 2}, {"kefuUrl", "http://kefu.example.invalid/chat"}}) << builtIn << "1"
        << defaultKefuUrl << old;
    QTest::newRow("special list stored") << successfulAppInit({{"supportSpecialMusicStr", "a,b"}}) << builtIn << "1"
                                         << defaultKefuUrl << "a,b";
    QTest::newRow("empty special list kept")
        << successfulAppInit({{"supportSpecialMusicStr", ""}}) << builtIn << "1" << defaultKefuUrl << old;
    QTest::newRow("other code changes nothing")
        << QJsonObject{{"errorCode", "0002"},
                       {"errorDesc", "失败"},
                       {"data",
                        QJsonObject{{"kefuMode", "2"},
                                    {"kefuUrl", "http://kefu.example.invalid/chat"},
                                    {"supportSpecialMusicStr", "a,b"},
                                    {"productInfos", QJsonArray{}}}}}
        << builtIn << "1" << defaultKefuUrl << old;
    QTest::newRow("numeric success code is not success")
        << QJsonObject{{"errorCode", 1}, {"data", QJsonObject{{"productInfos", QJsonArray{}}}}} << builtIn << "1"
        << defaultKefuUrl << old;
    QTest::newRow("data of another type")
        << QJsonObject{{"errorCode", "0001"}, {"data", "x"}} << builtIn << "1" << defaultKefuUrl << old;
}

void TestAppInit::appInitAnswer()
{
    QFETCH(QJsonObject, answer);
    QFETCH(QStringList, catalog);
    QFETCH(QString, kefuMode);
    QFETCH(QString, kefuUrl);
    QFETCH(QString, special);

    Simulator sim(scenarioWithAppInit(answer));
    QVERIFY(sim.isRunning());
    sim.useForPlatform();
    seedCatalog();
    MyContext::supportSpecialMusicStr = QStringLiteral("old");
    const QPointer<ProductInfo> seeded = MyContext::productInfoList.first();

    MyContext::appInit();

    QCOMPARE(catalogNames(), catalog);
    QCOMPARE(MyContext::kefuMode, kefuMode);
    QCOMPARE(MyContext::kefuUrl, kefuUrl);
    QCOMPARE(MyContext::supportSpecialMusicStr, special);
    QCOMPARE(sim.requests(appInitPath).size(), 1);

    // Replaced entries are released, kept ones stay.
    releaseDeferred();
    QCOMPARE(seeded.isNull(), !MyContext::productInfoList.contains(seeded.data()));
}

void TestAppInit::appInitFaults_data()
{
    QTest::addColumn<QJsonObject>("fault");
    QTest::addColumn<bool>("applied");

    QTest::newRow("delay") << QJsonObject{{"kind", "delay"}, {"ms", 150}} << true;
    QTest::newRow("delay beyond the time-out") << QJsonObject{{"kind", "delay"}, {"ms", 2000}} << false;
    QTest::newRow("never answers") << QJsonObject{{"kind", "hang"}} << false;
    QTest::newRow("HTTP 500") << QJsonObject{{"kind", "status"}, {"status", 500}} << false;
    QTest::newRow("HTTP 404 with a success body")
        << QJsonObject{{"kind", "status"},
                       {"status", 404},
                       {"body", R"({"errorCode":"0001","errorDesc":"","data":{"kefuMode":"3"}})"}}
        << false;
    QTest::newRow("not JSON") << QJsonObject{{"kind", "nonJson"}} << false;
    QTest::newRow("wrong types") << QJsonObject{{"kind", "wrongType"}} << false;
    QTest::newRow("truncated") << QJsonObject{{"kind", "truncated"}} << false;
    QTest::newRow("connection reset") << QJsonObject{{"kind", "reset"}} << false;
}

void TestAppInit::appInitFaults()
{
    QFETCH(QJsonObject, fault);
    QFETCH(bool, applied);

    qputenv("TESSALY_HTTP_TIMEOUT_MS", "600");
    QJsonObject scenario = scenarioWithAppInit(successfulAppInit(
        {{"kefuMode", "3"}, {"supportSpecialMusicStr", "a,b"}, {"productInfos", QJsonArray{entry("甲")}}}));
    scenario.insert("faults", QJsonObject{{appInitPath, fault}});
    Simulator sim(scenario);
    QVERIFY(sim.isRunning());
    sim.useForPlatform();
    seedCatalog();

    QElapsedTimer clock;
    clock.start();
    MyContext::appInit();
    QVERIFY2(clock.elapsed() < 600 + 2000, qPrintable(QString::number(clock.elapsed())));

    if (applied) {
        QCOMPARE(catalogNames(), QStringList{"甲"});
        QCOMPARE(MyContext::kefuMode, QStringLiteral("3"));
        QCOMPARE(MyContext::supportSpecialMusicStr, QStringLiteral("a,b"));
    } else {
        QCOMPARE(catalogNames(), (QStringList{"内置甲", "内置乙"}));
        QCOMPARE(MyContext::kefuMode, QStringLiteral("1"));
        QCOMPARE(MyContext::kefuUrl, defaultKefuUrl);
        QCOMPARE(MyContext::supportSpecialMusicStr, QString());
    }
    QCOMPARE(MyContext::lastErrorCode, QStringLiteral("-1")); // app init is no login
}

void TestAppInit::startupOrder()
{
    // The token login takes a while, so the housekeeping thread would show up during it if it ran early.
    QJsonObject scenario = scenarioWithAppInit(
        successfulAppInit({{"supportSpecialMusicStr", "x,y"}, {"productInfos", QJsonArray{entry("甲"), entry("乙")}}}));
    scenario.insert("faults", QJsonObject{{tokenLoginPath, QJsonObject{{"kind", "delay"}, {"ms", 300}}}});
    Simulator sim(scenario);
    QVERIFY(sim.isRunning());
    sim.useForPlatform();
    MyContext::settings().setValue("tokenId", "tok-1");
    const QString codec = m_appDir.path() + "/res/codec";
    QVERIFY(QDir().mkpath(codec + "/sub"));
    QFile leftover(codec + "/leftover.tmp");
    QVERIFY(leftover.open(QIODevice::WriteOnly));
    leftover.close();

    StartedContext started;
    MyContext &context = started.context;
    int samples = 0;
    bool cleanedEarly = false;
    Probe probe([&] {
        ++samples;
        cleanedEarly = cleanedEarly || !QFile::exists(leftover.fileName());
    });
    context.init();
    probe.stop();
    QVERIFY(samples > 0);
    QVERIFY2(!cleanedEarly, "the housekeeping thread ran before the token login ended");

    // App init replaced the built-in catalog; the token login signed the user in.
    QCOMPARE(catalogNames(), (QStringList{"甲", "乙"}));
    QVERIFY(MyContext::user);
    QCOMPARE(MyContext::user->nickName(), QStringLiteral("小泰"));
    QCOMPARE(MyContext::lastErrorCode, QStringLiteral("0001"));

    // The log line went out after app init, with what app init brought.
    QTRY_COMPARE_WITH_TIMEOUT(sim.requests(logPath).size(), 1, 5000);
    const QJsonObject log = sim.requests(logPath).first().toObject();
    QCOMPARE(log.value("body").toString(),
             QStringLiteral("initlog success,client version:8.0.0.1,supportSpecialMusicStr:x,y"));
    const QJsonArray appInit = sim.requests(appInitPath);
    const QJsonArray tokenLogin = sim.requests(tokenLoginPath);
    QCOMPARE(appInit.size(), 1);
    QCOMPARE(tokenLogin.size(), 1);
    const double appInitTime = appInit.first().toObject().value("time").toDouble();
    QVERIFY(log.value("time").toDouble() >= appInitTime);
    QVERIFY(tokenLogin.first().toObject().value("time").toDouble() >= appInitTime);
    QCOMPARE(sim.requests().first().toObject().value("path").toString(), appInitPath);

    // The housekeeping thread, started last, emptied the codec folder and released itself.
    QTRY_VERIFY_WITH_TIMEOUT(!context.findChild<QThread *>(), 5000);
    QVERIFY(QDir(codec).exists());
    QVERIFY(QDir(codec).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
}

void TestAppInit::startupTokenOutcomes_data()
{
    QTest::addColumn<QString>("token");
    QTest::addColumn<QJsonObject>("fault");
    QTest::addColumn<int>("tokenRequests");
    QTest::addColumn<QString>("errorCode");
    QTest::addColumn<bool>("signedIn");

    QTest::newRow("no stored token") << "" << QJsonObject() << 0 << "-1" << false;
    QTest::newRow("valid token") << "tok-1" << QJsonObject() << 1 << "0001" << true;
    QTest::newRow("expired token") << "tok-old" << QJsonObject() << 1 << "0014" << false;
    QTest::newRow("unknown token") << "tok-x" << QJsonObject() << 1 << "0013" << false;
    QTest::newRow("token login unanswered") << "tok-1" << QJsonObject{{"kind", "hang"}} << 1 << "-1" << false;
    QTest::newRow("token login reset") << "tok-1" << QJsonObject{{"kind", "reset"}} << 1 << "-1" << false;
}

void TestAppInit::startupTokenOutcomes()
{
    QFETCH(QString, token);
    QFETCH(QJsonObject, fault);
    QFETCH(int, tokenRequests);
    QFETCH(QString, errorCode);
    QFETCH(bool, signedIn);

    qputenv("TESSALY_HTTP_TIMEOUT_MS", "500");
    QJsonObject scenario = scenarioWithAppInit(successfulAppInit({}));
    if (!fault.isEmpty())
        scenario.insert("faults", QJsonObject{{tokenLoginPath, fault}});
    Simulator sim(scenario);
    QVERIFY(sim.isRunning());
    sim.useForPlatform();
    if (!token.isEmpty())
        MyContext::settings().setValue("tokenId", token);
    const QString codec = m_appDir.path() + "/res/codec";
    QVERIFY(QDir().mkpath(codec + "/left/over"));

    StartedContext started;
    MyContext &context = started.context;
    context.init();

    QCOMPARE(sim.requests(appInitPath).size(), 1);
    const int sent = sim.requests(tokenLoginPath).size();
    if (fault.value("kind").toString() == QLatin1String("reset")) {
        // Qt's HTTP layer sends a request again by itself when the connection closes before any answer.
        QVERIFY2(sent >= 1 && sent <= 3, qPrintable(QString::number(sent)));
    } else {
        QCOMPARE(sent, tokenRequests);
    }
    QCOMPARE(MyContext::lastErrorCode, errorCode);
    QCOMPARE(MyContext::user != nullptr, signedIn);
    // Whatever the sign-in did, the stored token is untouched and the housekeeping thread ran.
    QCOMPARE(MyContext::settings().value("tokenId").toString(), token);
    QTRY_VERIFY_WITH_TIMEOUT(!context.findChild<QThread *>(), 5000);
    QVERIFY(QDir(codec).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
}

void TestAppInit::startupWithRefusedCatalogKeepsBuiltIn()
{
    MyContext::initDefaultProductInfos();
    const QStringList builtIn = catalogNames();
    QVERIFY(!builtIn.isEmpty());
    resetContext();

    Simulator sim(scenarioWithAppInit(
        QJsonObject{{"errorCode", "0002"}, {"data", QJsonObject{{"productInfos", QJsonArray{entry("甲")}}}}}));
    QVERIFY(sim.isRunning());
    sim.useForPlatform();

    StartedContext started;
    MyContext &context = started.context;
    context.init();
    // The housekeeping thread ran and released itself.
    QTRY_VERIFY_WITH_TIMEOUT(!context.findChild<QThread *>(), 5000);
    QCOMPARE(catalogNames(), builtIn);
}

void TestAppInit::startupDoesNotWaitForLogLine()
{
    qputenv("TESSALY_HTTP_TIMEOUT_MS", "2000");
    QJsonObject scenario = scenarioWithAppInit(successfulAppInit({}));
    scenario.insert("faults", QJsonObject{{logPath, QJsonObject{{"kind", "hang"}}}});
    Simulator sim(scenario);
    QVERIFY(sim.isRunning());
    sim.useForPlatform();
    MyContext::settings().setValue("tokenId", "tok-1");

    QElapsedTimer clock;
    clock.start();
    StartedContext started;
    MyContext &context = started.context;
    context.init();
    const qint64 elapsed = clock.elapsed();

    // Had start-up waited for the unanswered log line, it would have taken the whole time-out.
    QVERIFY2(elapsed < 1800, qPrintable(QString::number(elapsed)));
    QVERIFY(MyContext::user);
    QCOMPARE(PlatformExchange::backgroundExchanges(), 1);
    // The housekeeping thread ran and released itself.
    QTRY_VERIFY_WITH_TIMEOUT(!context.findChild<QThread *>(), 5000);
    // The log line is given up after its time-out and its network objects are released.
    QTRY_COMPARE_WITH_TIMEOUT(PlatformExchange::backgroundExchanges(), 0, 6000);
}

QTEST_MAIN(TestAppInit)
#include "tst_appinit.moc"
