// The whole program, started as a child process, shows its main window in bounded time on a platform that
// never answers: app init and the token login wait at most their time-out, the log line not at all. (A
// platform that refuses connections is what tst_singleinstance starts the program against.)
#include "support/simulator.h"
#include "support/testregistry.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

class TestAppInitStartup : public QObject
{
    Q_OBJECT

private slots:
    void programShowsWindowOnSilentPlatform();
};

void TestAppInitStartup::programShowsWindowOnSilentPlatform()
{
    const QString program = qEnvironmentVariable("TESSALY_APP");
    if (program.isEmpty() || !QFile::exists(program))
        QSKIP("TESSALY_APP does not name the program");

    const int timeoutMs = 800;
    const QString appInitPath = QStringLiteral("/user/init/appinit.html");
    const QString tokenLoginPath = QStringLiteral("/user/user/tokenlogin.html");
    const QJsonObject hang{{"kind", "hang"}};
    Simulator sim(QJsonObject{
        {"users", QJsonArray{QJsonObject{{"userId", "u1"}, {"userSystemId", "1000"}, {"tokens", QJsonArray{"tok-1"}}}}},
        {"faults", QJsonObject{{appInitPath, hang}, {tokenLoginPath, hang}, {"/platform/log/commonlog.html", hang}}}});
    QVERIFY(sim.isRunning());
    const QString base = sim.baseUrl();

    // The child has its own settings (with a stored token, so the token login runs too) and its own
    // temporary folder, so its single-instance guard meets no other copy.
    QTemporaryDir home;
    QVERIFY(home.isValid());
    QVERIFY(QDir().mkpath(home.filePath("config/morvanetec")) && QDir().mkpath(home.filePath("tmp")));
#ifdef Q_OS_WIN
    // There the settings are the registry's: the test's own under Wine.
    QVERIFY(TestRegistry::isScratch());
    QSettings(QStringLiteral("morvanetec"), QStringLiteral("10015")).setValue("tokenId", "tok-1");
#else
    QSettings(home.filePath("config/morvanetec/10015.conf"), QSettings::IniFormat).setValue("tokenId", "tok-1");
#endif

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QList<QPair<QString, QString>> settings{
        {"TESSALY_QUIT_WHEN_SHOWN", "1"},         {"TESSALY_HTTP_TIMEOUT_MS", QString::number(timeoutMs)},
        {"TESSALY_USER_SERVICE_URL", base},       {"TESSALY_PLATFORM_URL", base},
        {"QT_QPA_PLATFORM", "offscreen"},         {"XDG_CONFIG_HOME", home.filePath("config")},
        {"XDG_DATA_HOME", home.filePath("data")}, {"XDG_CACHE_HOME", home.filePath("cache")},
        {"TMPDIR", home.filePath("tmp")}};
    for (const auto &setting : settings)
        env.insert(setting.first, setting.second);

    QProcess child;
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    QElapsedTimer clock;
    clock.start();
    child.start(program, QStringList());
    QVERIFY(child.waitForStarted(5000));
    // A guard against hangs only; the benchmark measures the times themselves.
    const bool ended = child.waitForFinished(4 * timeoutMs + 5000);
    const qint64 elapsed = clock.elapsed();
    if (!ended) {
        child.kill();
        child.waitForFinished(3000);
    }
    QVERIFY2(ended, "the program did not show its window in time");
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);

    // It really waited on app init and the token login, each up to the time-out.
    QCOMPARE(sim.requests(appInitPath).size(), 1);
    QCOMPARE(sim.requests(tokenLoginPath).size(), 1);
    QVERIFY2(elapsed >= 2 * timeoutMs - 100, qPrintable(QString::number(elapsed)));
}

QTEST_GUILESS_MAIN(TestAppInitStartup)
#include "tst_appinitstartup.moc"
