// Start-up (MyContext::init) against the platform simulator: what app init's answer changes, the faults of
// the platform, the order of the exchanges and the housekeeping thread started last.
#include "core/base/productinfo.h"
#include "core/base/user.h"
#include "core/platform/mycontext.h"
#include "support/contextfixture.h"
#include "support/logcapture.h"
#include "support/probe.h"
#include "support/simulator.h"
#include "support/testfiles.h"

#include "buildconfig.h"

#include <QtTest>

namespace {

const QString appInitPath = QStringLiteral("/user/init/appinit.html");
const QString tokenLoginPath = QStringLiteral("/user/user/tokenlogin.html");
const QString logPath = QStringLiteral("/platform/log/commonlog.html");

// A catalog entry; the tests tell entries apart by name.
QJsonObject entry(const QString &name, const QJsonValue &sha256 = {})
{
    return QJsonObject{{"zhName", name}, {"version", "1.2.3.4"}, {"productId", "20001"}, {"sha256", sha256}};
}

QJsonObject succeeded(const QJsonObject &data)
{
    return QJsonObject{{"errorCode", "0001"}, {"errorDesc", ""}, {"data", data}};
}

QStringList catalogNames()
{
    QStringList names;
    for (const ProductInfo *info : qAsConst(MyContext::productInfoList))
        names << info->zhName + (info->sha256.isEmpty() ? QString() : " " + info->sha256);
    return names;
}

} // namespace

class TestAppInit : public QObject
{
    Q_OBJECT

    QTemporaryDir m_settingsDir;
    QTemporaryDir m_appDir;
    QScopedPointer<Simulator> m_sim;
    QScopedPointer<LogCapture> m_log;

private slots:
    void initTestCase()
    {
        QVERIFY(m_settingsDir.isValid() && m_appDir.isValid());
        QVERIFY(ContextFixture::isolate(m_settingsDir.path(), m_appDir.path()));
        m_sim.reset(new Simulator({}));
        QVERIFY(m_sim->isRunning());
        m_sim->useForPlatform();
        qputenv("TESSALY_HTTP_TIMEOUT_MS", "600");
    }
    void init() { m_log.reset(new LogCapture); }
    void cleanup()
    {
        // The log line ends at its time-out at the latest, and its network objects are released.
        QTRY_COMPARE_WITH_TIMEOUT(m_log->backgroundPostsRunning(), 0, 5000);
        ContextFixture::resetContext();
    }

    void startup_data()
    {
        QTest::addColumn<QJsonObject>("answer"); // app init's
        QTest::addColumn<QJsonObject>("faults");
        QTest::addColumn<QString>("token"); // the stored one
        QTest::addColumn<QStringList>("catalog");
        // The customer-service mode and address, the special list, the last error code, the user's nickname.
        QTest::addColumn<QStringList>("state");

        MyContext::initDefaultProductInfos();
        const QStringList builtIn = QStringList{"先有的"} + catalogNames(); // startup() puts one first
        ContextFixture::resetContext();
        const QString chat = QStringLiteral("http://kefu.example.invalid/chat");
        const QString kefuUrl = QStringLiteral(TESSALY_DEFAULT_KEFU_URL);
        const QStringList unchanged{"1", kefuUrl, "", "-1", ""};
        const QJsonObject full{{"kefuMode", "2"},
                               {"kefuUrl", chat},
                               {"supportSpecialMusicStr", "a,b"},
                               {"productInfos", QJsonArray{entry("甲"), entry("乙"), entry("丙")}}};
        const QJsonObject hang{{"kind", "hang"}};
        const auto delay = [](int ms) { return QJsonObject{{"kind", "delay"}, {"ms", ms}}; };
        const auto row = [](const char *name, const QJsonObject &answer, const QStringList &catalog,
                            const QStringList &state, const QString &token = {}, const QJsonObject &faults = {}) {
            QTest::newRow(name) << answer << faults << token << catalog << state;
        };
        // The token login takes a while, so the housekeeping thread would show up during it if it ran
        // early; the log line is never answered.
        row("signed in, app init slow but in time", succeeded(full), {"甲", "乙", "丙"},
            {"2", chat, "a,b", "0001", "小泰"}, "tok-1",
            {{appInitPath, delay(150)}, {tokenLoginPath, delay(250)}, {logPath, hang}});
        // Only a complete, successful answer is applied.
        row("other code, token login unanswered", {{"errorCode", "0002"}, {"data", full}}, builtIn, unchanged, "tok-1",
            {{tokenLoginPath, hang}});
        row("numeric success code", {{"errorCode", 1}, {"data", full}}, builtIn, unchanged);
        // The token login does not wait for app init.
        row("never answers", succeeded(full), builtIn, {"1", kefuUrl, "", "0001", "小泰"}, "tok-1",
            {{appInitPath, hang}});
        row("HTTP 404 with a success body", succeeded(full), builtIn, unchanged, {},
            {{appInitPath, QJsonObject{{"kind", "status"}, {"status", 404}, {"body", R"({"errorCode":"0001"})"}}}});
        row("not JSON", succeeded(full), builtIn, unchanged, {}, {{appInitPath, QJsonObject{{"kind", "nonJson"}}}});
        // A hash is 64 hex digits, read in lower case; anything else is no hash.
        const QString hash = QString(32, 'A') + QString(32, '0');
        row("non-object elements skipped, malformed hashes left out",
            succeeded({{"productInfos", QJsonArray{5, entry("甲", hash), "x", QJsonValue(), QJsonArray{},
                                                   entry("乙", QString(hash + "0")), entry("丙", 7), true}}}),
            {"甲 " + hash.toLower(), "乙", "丙"}, unchanged);
        row("mode 3 keeps the address, a catalog of another type reads as empty",
            succeeded({{"kefuMode", "3"}, {"kefuUrl", chat}, {"productInfos", "甲"}}), {},
            {"3", kefuUrl, "", "-1", ""});
        row("mode 5 and no catalog change nothing", succeeded({{"kefuMode", "5"}, {"kefuUrl", chat}}), builtIn,
            unchanged);
    }
    void startup()
    {
        QFETCH(QJsonObject, answer);
        QFETCH(QJsonObject, faults);
        QFETCH(QString, token);
        QFETCH(QStringList, catalog);
        QFETCH(QStringList, state);

        QVERIFY(
            m_sim->setScenario({{"users", QJsonArray{Simulator::user()}}, {"faults", faults}, {"appInit", answer}}));
        m_sim->clearRequests();
        if (!token.isEmpty())
            MyContext::settings().setValue("tokenId", token);
        MyContext::productInfoList.append(new ProductInfo);
        MyContext::productInfoList.first()->zhName = QStringLiteral("先有的");
        const QPointer<ProductInfo> earlier = MyContext::productInfoList.first();
        // Left in the codec folder for the housekeeping thread: files, hidden ones, folders, and a link
        // whose target must survive.
        const QString codec = m_appDir.path() + "/res/codec";
        QTemporaryDir outside;
        QVERIFY(TestFiles::write(codec + "/leftover.tmp") && TestFiles::write(codec + "/.hidden") &&
                TestFiles::write(codec + "/left/.over/deeper.bin") &&
                TestFiles::write(outside.filePath("precious.txt")));
        QFile::remove(codec + "/link"); // the previous row's, left as it was
        QVERIFY(QFile::link(outside.path(), codec + "/link"));

        auto *context = new MyContext(this); // kept with the test, so its housekeeping thread has long ended
        int samples = 0;
        bool cleanedEarly = false;
        Probe probe([&] {
            ++samples;
            cleanedEarly = cleanedEarly || !QFile::exists(codec + "/leftover.tmp");
        });
        context->init(); // how long it takes is bench/startup's to measure
        probe.stop();
        QVERIFY(samples > 0 || token.isEmpty());
        QVERIFY2(!cleanedEarly, "the housekeeping thread ran before the token login ended");
        // Start-up did not wait for the unanswered log line.
        QVERIFY(!faults.contains(logPath) || m_log->backgroundPostsRunning() == 1);

        QCOMPARE(catalogNames(), catalog);
        QCOMPARE((QStringList{MyContext::kefuMode, MyContext::kefuUrl, MyContext::supportSpecialMusicStr,
                              MyContext::lastErrorCode, MyContext::user ? MyContext::user->nickName() : QString()}),
                 state);
        QCOMPARE(MyContext::settings().value("tokenId").toString(), token); // kept, whatever the sign-in did
        // Replaced entries are released, kept ones stay.
        ContextFixture::releaseDeferred();
        QCOMPARE(earlier.isNull(), !catalog.contains(QStringLiteral("先有的")));

        // The log line went out after app init, with what app init brought; the token login too.
        QTRY_COMPARE_WITH_TIMEOUT(m_sim->requests(logPath).size(), 1, 5000);
        const QJsonObject log = m_sim->requests(logPath).first().toObject();
        QCOMPARE(log.value("body").toString(),
                 QString("initlog success,client version:8.0.0.1,supportSpecialMusicStr:" + state.at(2)));
        const QJsonArray appInit = m_sim->requests(appInitPath), tokenLogin = m_sim->requests(tokenLoginPath);
        QVERIFY(appInit.size() == 1 && tokenLogin.size() == (token.isEmpty() ? 0 : 1));
        const double appInitTime = appInit.first().toObject().value("time").toDouble();
        QVERIFY(log.value("time").toDouble() >= appInitTime);
        // Both were sent before either answer was read.
        const QStringList lines = m_log->lines();
        const int tokenSent = lines.indexOf(QRegularExpression("=+ .*morvane.platform.tokenlogin.*"));
        QVERIFY(token.isEmpty() ||
                (tokenSent >= 0 && tokenSent < lines.indexOf(QRegularExpression("(errorcode|no complete answer).*"))));

        // The housekeeping thread, started last, emptied the codec folder without following the link,
        // kept the folder and released itself.
        QTRY_VERIFY_WITH_TIMEOUT(!context->findChild<QThread *>(), 5000);
        QVERIFY(QFileInfo(codec).isDir());
        QCOMPARE(QDir(codec).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoSymLinks | QDir::NoDotAndDotDot),
                 QStringList());
        QVERIFY(QFile::exists(outside.filePath("precious.txt")));
    }
};

QTEST_MAIN(TestAppInit)
#include "tst_appinit.moc"
