// App init and the start-up routine: catalog replacement, customer-service mode, faults of the platform,
// and the order of MyContext::init.
#include "core/base/user.h"
#include "core/base/productinfo.h"
#include "core/platform/mycontext.h"
#include "core/platform/platformexchange.h"
#include "support/logcapture.h"
#include "support/contextfixture.h"
#include "support/probe.h"
#include "support/simulator.h"

#include "buildconfig.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

namespace {

using ContextFixture::resetContext;

const QString appInitPath = QStringLiteral("/user/init/appinit.html");
const QString tokenLoginPath = QStringLiteral("/user/user/tokenlogin.html");
const QString logPath = QStringLiteral("/platform/log/commonlog.html");
const QString defaultKefuUrl = QStringLiteral(TESSALY_DEFAULT_KEFU_URL);

// A catalog entry; the tests tell entries apart by name.
QJsonObject entry(const QString &name)
{
    return QJsonObject{{"zhName", name}, {"version", "1.2.3.4"}, {"productId", "20001"}};
}

QJsonObject succeeded(const QJsonObject &data)
{
    return QJsonObject{{"errorCode", "0001"}, {"errorDesc", ""}, {"data", data}};
}

QJsonObject scenario(const QJsonObject &appInit, const QJsonObject &faults = {})
{
    const QJsonObject user{{"userId", "u1"},
                           {"nickName", "小泰"},
                           {"userSystemId", "1000"},
                           {"tokens", QJsonArray{"tok-1"}},
                           {"expiredTokens", QJsonArray{"tok-old"}}};
    return QJsonObject{{"appInit", appInit}, {"users", QJsonArray{user}}, {"faults", faults}};
}

QStringList catalogNames()
{
    QStringList names;
    for (const ProductInfo *info : qAsConst(MyContext::productInfoList))
        names << info->zhName;
    return names;
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
    void init() { m_log.reset(new LogCapture); }
    void initTestCase();
    void cleanup();

    void appInitAnswer_data();
    void appInitAnswer();
    void startup_data();
    void startup();

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
    QScopedPointer<LogCapture> m_log;
};

void TestAppInit::initTestCase()
{
    QVERIFY(m_settingsDir.isValid() && m_appDir.isValid());
    QVERIFY(ContextFixture::isolate(m_settingsDir.path(), m_appDir.path()));
}

void TestAppInit::cleanup()
{
    QTRY_COMPARE_WITH_TIMEOUT(m_log->backgroundPostsRunning(), 0, 5000);
    m_log.reset();
    resetContext();
    m_sim.reset();
}

void TestAppInit::appInitAnswer_data()
{
    QTest::addColumn<QJsonObject>("answer");
    QTest::addColumn<QJsonObject>("fault");
    QTest::addColumn<QStringList>("catalog");
    QTest::addColumn<QString>("kefuMode");
    QTest::addColumn<QString>("kefuUrl");
    QTest::addColumn<QString>("special");

    const QStringList builtIn{QStringLiteral("内置甲"), QStringLiteral("内置乙")};
    const QString chat = QStringLiteral("http://kefu.example.invalid/chat");
    // Unless a row says otherwise: the seeded catalog, mode "1", the built-in address, the old special list.
    const auto row = [&](const char *name, const QJsonObject &answer, const QStringList &catalog,
                         const QString &mode = QStringLiteral("1"), const QString &url = defaultKefuUrl,
                         const QString &special = QStringLiteral("old"), const QJsonObject &fault = {}) {
        QTest::newRow(name) << answer << fault << catalog << mode << url << special;
    };
    row("catalog replaced in order", succeeded({{"productInfos", QJsonArray{entry("甲"), entry("乙"), entry("丙")}}}),
        {"甲", "乙", "丙"});
    row("empty catalog empties the list", succeeded({{"productInfos", QJsonArray{}}}), {});
    row("no catalog keeps the list", succeeded({}), builtIn);
    row("non-object elements skipped",
        succeeded({{"productInfos", QJsonArray{5, entry("甲"), "x", QJsonValue(), QJsonArray{}, entry("乙"), true}}}),
        {"甲", "乙"});
    row("catalog of another type reads as empty", succeeded({{"productInfos", "甲"}}), {});
    row("mode 2 stores the address", succeeded({{"kefuMode", "2"}, {"kefuUrl", chat}}), builtIn, "2", chat);
    row("mode 3 stores only the mode", succeeded({{"kefuMode", "3"}, {"kefuUrl", chat}}), builtIn, "3");
    row("mode 5 changes nothing", succeeded({{"kefuMode", "5"}, {"kefuUrl", chat}}), builtIn);
    row("special list stored", succeeded({{"supportSpecialMusicStr", "a,b"}}), builtIn, "1", defaultKefuUrl, "a,b");
    const QJsonObject full{{"kefuMode", "2"},
                           {"kefuUrl", chat},
                           {"supportSpecialMusicStr", "a,b"},
                           {"productInfos", QJsonArray{entry("甲")}}};
    row("other code changes nothing", QJsonObject{{"errorCode", "0002"}, {"data", full}}, builtIn);
    row("numeric success code is not success", QJsonObject{{"errorCode", 1}, {"data", full}}, builtIn);
    // Faults of the platform: only a complete, successful answer is applied.
    row("slow but in time", succeeded(full), {"甲"}, "2", chat, "a,b", {{"kind", "delay"}, {"ms", 150}});
    row("never answers", succeeded(full), builtIn, "1", defaultKefuUrl, "old", {{"kind", "hang"}});
    row("HTTP 404 with a success body", succeeded(full), builtIn, "1", defaultKefuUrl, "old",
        {{"kind", "status"},
         {"status", 404},
         {"body", R"({"errorCode":"0001","errorDesc":"","data":{"kefuMode":"3"}})"}});
    row("not JSON", succeeded(full), builtIn, "1", defaultKefuUrl, "old", {{"kind", "nonJson"}});
}

void TestAppInit::appInitAnswer()
{
    QFETCH(QJsonObject, answer);
    QFETCH(QJsonObject, fault);
    QFETCH(QStringList, catalog);
    QFETCH(QString, kefuMode);
    QFETCH(QString, kefuUrl);
    QFETCH(QString, special);

    qputenv("TESSALY_HTTP_TIMEOUT_MS", "600");
    startSim(scenario(answer, fault.isEmpty() ? QJsonObject() : QJsonObject{{appInitPath, fault}}));
    for (const QString &name : {QStringLiteral("内置甲"), QStringLiteral("内置乙")}) {
        MyContext::productInfoList.append(new ProductInfo);
        MyContext::productInfoList.last()->zhName = name;
    }
    MyContext::supportSpecialMusicStr = QStringLiteral("old");
    const QPointer<ProductInfo> seeded = MyContext::productInfoList.first();

    QElapsedTimer clock;
    clock.start();
    MyContext::appInit();
    QVERIFY2(clock.elapsed() < 600 + 2000, qPrintable(QString::number(clock.elapsed())));

    QCOMPARE(catalogNames(), catalog);
    QCOMPARE(MyContext::kefuMode, kefuMode);
    QCOMPARE(MyContext::kefuUrl, kefuUrl);
    QCOMPARE(MyContext::supportSpecialMusicStr, special);
    QCOMPARE(MyContext::lastErrorCode, QStringLiteral("-1")); // app init is no login
    // Replaced entries are released, kept ones stay.
    ContextFixture::releaseDeferred();
    QCOMPARE(seeded.isNull(), !MyContext::productInfoList.contains(seeded.data()));
}

void TestAppInit::startup_data()
{
    QTest::addColumn<QString>("token"); // the stored one
    QTest::addColumn<QJsonObject>("tokenFault");
    QTest::addColumn<QString>("errorCode");

    // The token login takes a while, so the housekeeping thread would show up during it if it ran early.
    QTest::newRow("signed in") << "tok-1" << QJsonObject{{"kind", "delay"}, {"ms", 300}} << "0001";
    // In these, app init refuses as well: the built-in catalog stays.
    QTest::newRow("no stored token") << "" << QJsonObject() << "-1";
    QTest::newRow("expired token") << "tok-old" << QJsonObject() << "0014";
    QTest::newRow("token login unanswered") << "tok-1" << QJsonObject{{"kind", "hang"}} << "-1";
}

void TestAppInit::startup()
{
    QFETCH(QString, token);
    QFETCH(QJsonObject, tokenFault);
    QFETCH(QString, errorCode);
    const bool signedIn = errorCode == QLatin1String("0001");

    MyContext::initDefaultProductInfos();
    const QStringList builtIn = catalogNames();
    QVERIFY(!builtIn.isEmpty());
    resetContext();
    qputenv("TESSALY_HTTP_TIMEOUT_MS", signedIn ? "2000" : "500");
    const QJsonArray catalog{entry("甲"), entry("乙")};
    // In the first row the log line is never answered: start-up must not wait for it.
    QJsonObject faults;
    if (signedIn)
        faults.insert(logPath, QJsonObject{{"kind", "hang"}});
    if (!tokenFault.isEmpty())
        faults.insert(tokenLoginPath, tokenFault);
    startSim(scenario(signedIn ? succeeded({{"supportSpecialMusicStr", "x,y"}, {"productInfos", catalog}})
                               : QJsonObject{{"errorCode", "0002"}, {"data", QJsonObject{{"productInfos", catalog}}}},
                      faults));
    const Simulator &sim = *m_sim;
    if (!token.isEmpty())
        MyContext::settings().setValue("tokenId", token);
    // Something left in the codec folder, for the housekeeping thread to empty.
    const QString codec = m_appDir.path() + "/res/codec";
    QFile leftover(codec + "/leftover.tmp");
    QVERIFY(QDir().mkpath(codec + "/left/over") && leftover.open(QIODevice::WriteOnly));
    leftover.close();

    StartedContext started;
    int samples = 0;
    bool cleanedEarly = false;
    Probe probe([&] {
        ++samples;
        cleanedEarly = cleanedEarly || !leftover.exists();
    });
    QElapsedTimer clock;
    clock.start();
    started.context.init();
    const qint64 elapsed = clock.elapsed();
    probe.stop();
    QVERIFY(samples > 0 || tokenFault.isEmpty());
    QVERIFY2(!cleanedEarly, "the housekeeping thread ran before the token login ended");
    if (signedIn) {
        // Had start-up waited for the unanswered log line, it would have taken the whole time-out.
        QVERIFY2(elapsed < 1800, qPrintable(QString::number(elapsed)));
        QCOMPARE(m_log->backgroundPostsRunning(), 1);
    }

    QCOMPARE(catalogNames(), (signedIn ? QStringList{"甲", "乙"} : builtIn));
    QCOMPARE(MyContext::user ? MyContext::user->nickName() : QString(), signedIn ? "小泰" : QString());
    QCOMPARE(MyContext::lastErrorCode, errorCode);
    QCOMPARE(MyContext::settings().value("tokenId").toString(), token); // whatever the sign-in did

    // The log line went out after app init, with what app init brought; the token login too.
    QTRY_COMPARE_WITH_TIMEOUT(sim.requests(logPath).size(), 1, 5000);
    const QJsonObject log = sim.requests(logPath).first().toObject();
    QCOMPARE(
        log.value("body").toString(),
        QString("initlog success,client version:8.0.0.1,supportSpecialMusicStr:" + QString(signedIn ? "x,y" : "")));
    const QJsonArray appInit = sim.requests(appInitPath);
    const QJsonArray tokenLogin = sim.requests(tokenLoginPath);
    QCOMPARE(appInit.size(), 1);
    QCOMPARE(tokenLogin.size(), token.isEmpty() ? 0 : 1);
    const double appInitTime = appInit.first().toObject().value("time").toDouble();
    QVERIFY(log.value("time").toDouble() >= appInitTime);
    QVERIFY(tokenLogin.isEmpty() || tokenLogin.first().toObject().value("time").toDouble() >= appInitTime);

    // The housekeeping thread, started last, emptied the codec folder and released itself.
    QTRY_VERIFY_WITH_TIMEOUT(!started.context.findChild<QThread *>(), 5000);
    QVERIFY(QDir(codec).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
    // The log line is given up after its time-out and its network objects are released.
    QTRY_COMPARE_WITH_TIMEOUT(m_log->backgroundPostsRunning(), 0, 6000);
}

QTEST_MAIN(TestAppInit)
#include "tst_appinit.moc"
