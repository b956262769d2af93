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

QJsonObject scenarioWithAppInit(const QJsonObject &appInit)
{
    const QJsonObject user{{"userId", "u1"},
                           {"nickName", "小泰"},
                           {"userSystemId", "1000"},
                           {"tokens", QJsonArray{"tok-1"}},
                           {"expiredTokens", QJsonArray{"tok-old"}}};
    return QJsonObject{{"appInit", appInit}, {"users", QJsonArray{user}}};
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

    void appInitAnswer_data();
    void appInitAnswer();
    void appInitFaults_data();
    void appInitFaults();

    void startupOrder();
    void startupTokenOutcomes_data();
    void startupTokenOutcomes();

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
    m_sim.reset();
}

void TestAppInit::appInitAnswer_data()
{
    QTest::addColumn<QJsonObject>("answer");
    QTest::addColumn<QStringList>("catalog");
    QTest::addColumn<QString>("kefuMode");
    QTest::addColumn<QString>("kefuUrl");
    QTest::addColumn<QString>("special");

    const QStringList builtIn{QStringLiteral("内置甲"), QStringLiteral("内置乙")};
    const QString chat = QStringLiteral("http://kefu.example.invalid/chat");
    // Unless a row says otherwise: the seeded catalog, mode "1", the built-in address, the old special list.
    const auto row = [&](const char *name, const QJsonObject &answer, const QStringList &catalog,
                         const QString &mode = QStringLiteral("1"), const QString &url = defaultKefuUrl,
                         const QString &special = QStringLiteral("old")) {
        QTest::newRow(name) << answer << catalog << mode << url << special;
    };
    row("catalog replaced in order",
        successfulAppInit({{"productInfos", QJsonArray{entry("甲"), entry("乙"), entry("丙")}}}), {"甲", "乙", "丙"});
    row("empty catalog empties the list", successfulAppInit({{"productInfos", QJsonArray{}}}), {});
    row("no catalog keeps the list", successfulAppInit({}), builtIn);
    row("non-object elements skipped",
        successfulAppInit(
            {{"productInfos", QJsonArray{5, entry("甲"), "x", QJsonValue(), QJsonArray{}, entry("乙"), true}}}),
        {"甲", "乙"});
    row("catalog of another type reads as empty", successfulAppInit({{"productInfos", "甲"}}), {});
    row("mode 2 stores the address", successfulAppInit({{"kefuMode", "2"}, {"kefuUrl", chat}}), builtIn, "2", chat);
    row("mode 2 stores an empty address", successfulAppInit({{"kefuMode", "2"}, {"kefuUrl", ""}}), builtIn, "2", "");
    row("mode 3 stores only the mode", successfulAppInit({{"kefuMode", "3"}, {"kefuUrl", chat}}), builtIn, "3");
    row("mode 5 changes nothing", successfulAppInit({{"kefuMode", "5"}, {"kefuUrl", chat}}), builtIn);
    row("numeric mode reads as empty", successfulAppInit({{"kefuMode", 2}, {"kefuUrl", chat}}), builtIn);
    row("special list stored", successfulAppInit({{"supportSpecialMusicStr", "a,b"}}), builtIn, "1", defaultKefuUrl,
        "a,b");
    row("empty special list kept", successfulAppInit({{"supportSpecialMusicStr", ""}}), builtIn);
    row("other code changes nothing",
        QJsonObject{{"errorCode", "0002"},
                    {"data",
                     QJsonObject{{"kefuMode", "2"},
                                 {"kefuUrl", chat},
                                 {"supportSpecialMusicStr", "a,b"},
                                 {"productInfos", QJsonArray{}}}}},
        builtIn);
    row("numeric success code is not success",
        QJsonObject{{"errorCode", 1}, {"data", QJsonObject{{"productInfos", QJsonArray{}}}}}, builtIn);
}

void TestAppInit::appInitAnswer()
{
    QFETCH(QJsonObject, answer);
    QFETCH(QStringList, catalog);
    QFETCH(QString, kefuMode);
    QFETCH(QString, kefuUrl);
    QFETCH(QString, special);

    startSim(scenarioWithAppInit(answer));
    seedCatalog();
    MyContext::supportSpecialMusicStr = QStringLiteral("old");
    const QPointer<ProductInfo> seeded = MyContext::productInfoList.first();

    MyContext::appInit();

    QCOMPARE(catalogNames(), catalog);
    QCOMPARE(MyContext::kefuMode, kefuMode);
    QCOMPARE(MyContext::kefuUrl, kefuUrl);
    QCOMPARE(MyContext::supportSpecialMusicStr, special);
    QCOMPARE(m_sim->requests(appInitPath).size(), 1);

    // Replaced entries are released, kept ones stay.
    releaseDeferred();
    QCOMPARE(seeded.isNull(), !MyContext::productInfoList.contains(seeded.data()));
}

void TestAppInit::appInitFaults_data()
{
    QTest::addColumn<QJsonObject>("fault");
    QTest::addColumn<bool>("applied");

    QTest::newRow("delay") << QJsonObject{{"kind", "delay"}, {"ms", 150}} << true;
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
    startSim(scenario);
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
    // The token login takes a while, so the housekeeping thread would show up during it if it ran early. The log
    // line is never answered: start-up must not wait for it.
    qputenv("TESSALY_HTTP_TIMEOUT_MS", "2000");
    QJsonObject scenario = scenarioWithAppInit(
        successfulAppInit({{"supportSpecialMusicStr", "x,y"}, {"productInfos", QJsonArray{entry("甲"), entry("乙")}}}));
    scenario.insert("faults",
                    QJsonObject{{tokenLoginPath, QJsonObject{{"kind", "delay"}, {"ms", 300}}},
                                {logPath, QJsonObject{{"kind", "hang"}}}});
    startSim(scenario);
    const Simulator &sim = *m_sim;
    MyContext::settings().setValue("tokenId", "tok-1");
    const QString codec = m_appDir.path() + "/res/codec";
    QVERIFY(QDir().mkpath(codec + "/sub"));
    QFile leftover(codec + "/leftover.tmp");
    QVERIFY(leftover.open(QIODevice::WriteOnly));
    leftover.close();

    StartedContext started;
    int samples = 0;
    bool cleanedEarly = false;
    Probe probe([&] {
        ++samples;
        cleanedEarly = cleanedEarly || !QFile::exists(leftover.fileName());
    });
    QElapsedTimer clock;
    clock.start();
    started.context.init();
    const qint64 elapsed = clock.elapsed();
    probe.stop();
    QVERIFY(samples > 0);
    QVERIFY2(!cleanedEarly, "the housekeeping thread ran before the token login ended");
    // Had start-up waited for the unanswered log line, it would have taken the whole time-out.
    QVERIFY2(elapsed < 1800, qPrintable(QString::number(elapsed)));
    QCOMPARE(PlatformExchange::backgroundExchanges(), 1);

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
    QTRY_VERIFY_WITH_TIMEOUT(!started.context.findChild<QThread *>(), 5000);
    QVERIFY(QDir(codec).exists());
    QVERIFY(QDir(codec).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
    // The log line is given up after its time-out and its network objects are released.
    QTRY_COMPARE_WITH_TIMEOUT(PlatformExchange::backgroundExchanges(), 0, 6000);
}

void TestAppInit::startupTokenOutcomes_data()
{
    QTest::addColumn<QString>("token");
    QTest::addColumn<QJsonObject>("fault");
    QTest::addColumn<QString>("errorCode");
    QTest::addColumn<bool>("signedIn");

    QTest::newRow("no stored token") << "" << QJsonObject() << "-1" << false;
    QTest::newRow("expired token") << "tok-old" << QJsonObject() << "0014" << false;
    QTest::newRow("token login unanswered") << "tok-1" << QJsonObject{{"kind", "hang"}} << "-1" << false;
}

void TestAppInit::startupTokenOutcomes()
{
    QFETCH(QString, token);
    QFETCH(QJsonObject, fault);
    QFETCH(QString, errorCode);
    QFETCH(bool, signedIn);

    MyContext::initDefaultProductInfos();
    const QStringList builtIn = catalogNames();
    QVERIFY(!builtIn.isEmpty());
    resetContext();
    qputenv("TESSALY_HTTP_TIMEOUT_MS", "500");
    // App init refuses: the built-in catalog stays.
    QJsonObject scenario = scenarioWithAppInit(
        QJsonObject{{"errorCode", "0002"}, {"data", QJsonObject{{"productInfos", QJsonArray{entry("甲")}}}}});
    if (!fault.isEmpty())
        scenario.insert("faults", QJsonObject{{tokenLoginPath, fault}});
    startSim(scenario);
    if (!token.isEmpty())
        MyContext::settings().setValue("tokenId", token);
    const QString codec = m_appDir.path() + "/res/codec";
    QVERIFY(QDir().mkpath(codec + "/left/over"));

    StartedContext started;
    started.context.init();

    QCOMPARE(catalogNames(), builtIn);
    QCOMPARE(m_sim->requests(appInitPath).size(), 1);
    QCOMPARE(m_sim->requests(tokenLoginPath).size(), token.isEmpty() ? 0 : 1);
    QCOMPARE(MyContext::lastErrorCode, errorCode);
    QCOMPARE(MyContext::user != nullptr, signedIn);
    // Whatever the sign-in did, the stored token is untouched and the housekeeping thread ran.
    QCOMPARE(MyContext::settings().value("tokenId").toString(), token);
    QTRY_VERIFY_WITH_TIMEOUT(!started.context.findChild<QThread *>(), 5000);
    QVERIFY(QDir(codec).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
}

QTEST_MAIN(TestAppInit)
#include "tst_appinit.moc"
