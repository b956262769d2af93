// The whole program, started as a child process, shows its main window in bounded time however the
// platform behaves: app init and the token login wait at most their time-out, the log line not at all.
#include "support/simulator.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QProcess>
#include <QSettings>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString appInitPath = QStringLiteral("/user/init/appinit.html");
const QString tokenLoginPath = QStringLiteral("/user/user/tokenlogin.html");
const QString logPath = QStringLiteral("/platform/log/commonlog.html");

QJsonObject scenarioWithAppInit(const QJsonObject &appInit)
{
    const QJsonObject user{{"userId", "u1"},
                           {"nickName", "小泰"},
                           {"headImgBase64", ""},
                           {"userSystemId", "1000"},
                           {"tokens", QJsonArray{"tok-1"}}};
    return QJsonObject{{"appInit", appInit}, {"users", QJsonArray{user}}};
}

QJsonObject successfulAppInit(const QJsonObject &data)
{
    return QJsonObject{{"errorCode", "0001"}, {"errorDesc", ""}, {"data", data}};
}

} // namespace

class TestAppInitStartup : public QObject
{
    Q_OBJECT

private slots:
    void programShowsWindow_data();
    void programShowsWindow();
};

void TestAppInitStartup::programShowsWindow_data()
{
    QTest::addColumn<QString>("platform");

    QTest::newRow("never answers") << "silent";
    QTest::newRow("refuses connections") << "refused";
}

void TestAppInitStartup::programShowsWindow()
{
    QFETCH(QString, platform);

    const QString program = qEnvironmentVariable("TESSALY_APP");
    if (program.isEmpty() || !QFile::exists(program))
        QSKIP("TESSALY_APP does not name the program");

    const int timeoutMs = 800;
    QJsonObject scenario = scenarioWithAppInit(successfulAppInit({}));
    const QJsonObject hang{{"kind", "hang"}};
    scenario.insert("faults", QJsonObject{{appInitPath, hang}, {tokenLoginPath, hang}, {logPath, hang}});
    Simulator sim(scenario);
    QVERIFY(sim.isRunning());

    QString base = sim.baseUrl();
    if (platform == QLatin1String("refused")) {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        base = QStringLiteral("http://127.0.0.1:%1").arg(probe.serverPort());
        probe.close(); // nobody listens there any more
    }

    // The child has its own settings (with a stored token, so the token login runs too) and its own
    // temporary folder, so its single-instance guard meets no other copy.
    QTemporaryDir home;
    QVERIFY(home.isValid());
    QVERIFY(QDir().mkpath(home.filePath("config/morvanetec")));
    QVERIFY(QDir().mkpath(home.filePath("tmp")));
    {
        QSettings stored(home.filePath("config/morvanetec/10015.conf"), QSettings::IniFormat);
        stored.setValue("tokenId", "tok-1");
    }

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TESSALY_QUIT_WHEN_SHOWN", "1");
    env.insert("TESSALY_HTTP_TIMEOUT_MS", QString::number(timeoutMs));
    env.insert("TESSALY_USER_SERVICE_URL", base);
    env.insert("TESSALY_PLATFORM_URL", base);
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_CONFIG_HOME", home.filePath("config"));
    env.insert("XDG_DATA_HOME", home.filePath("data"));
    env.insert("XDG_CACHE_HOME", home.filePath("cache"));
    env.insert("TMPDIR", home.filePath("tmp"));

    QProcess child;
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    QElapsedTimer clock;
    clock.start();
    child.start(program, QStringList());
    QVERIFY(child.waitForStarted(5000));
    // A guard against hangs only; the benchmark measures the times themselves.
    const int limitMs = 4 * timeoutMs + 5000;
    const bool ended = child.waitForFinished(limitMs);
    const qint64 elapsed = clock.elapsed();
    if (!ended) {
        child.kill();
        child.waitForFinished(3000);
    }
    qInfo("%s platform: main window shown after %lld ms", qPrintable(platform), elapsed);
    QVERIFY2(ended, "the program did not show its window in time");
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);

    if (platform == QLatin1String("silent")) {
        // It really waited on app init and the token login, each up to the time-out.
        QCOMPARE(sim.requests(appInitPath).size(), 1);
        QCOMPARE(sim.requests(tokenLoginPath).size(), 1);
        QVERIFY2(elapsed >= 2 * timeoutMs - 100, qPrintable(QString::number(elapsed)));
    }
}

QTEST_GUILESS_MAIN(TestAppInitStartup)
#include "tst_appinitstartup.moc"
