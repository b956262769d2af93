// Start-up benchmark: median wall time from exec to the first paint of the main window
// (TESSALY_QUIT_WHEN_SHOWN=1, offscreen), as a ratio against a bare Qt window started the same way,
// plus the time to the window when the platform never answers and when it refuses connections.
//
// Usage: bench-startup [RUNS]   (paths are found beside this program in the build tree)
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cstdio>

namespace {

double runOnce(const QString &program, const QProcessEnvironment &env)
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    process.start(program, QStringList());
    if (!process.waitForFinished(120000) || process.exitCode() != 0) {
        std::fprintf(stderr, "%s failed (exit %d)\n", qPrintable(program), process.exitCode());
        return -1;
    }
    return timer.nsecsElapsed() / 1e6;
}

double median(QVector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

// Starts the simulator with the given scenario and returns its base address.
QString startSimulator(QProcess &sim, const QString &simPath, const QString &scenarioFile)
{
    sim.start(simPath, {QStringLiteral("--scenario"), scenarioFile, QStringLiteral("--port"), QStringLiteral("0")});
    if (!sim.waitForReadyRead(10000))
        return {};
    return QString::fromUtf8(sim.readLine()).trimmed();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 11;
    const QString benchDir = QCoreApplication::applicationDirPath();
    const QString binDir = QDir(benchDir).absoluteFilePath(QStringLiteral("../bin"));
    const QString program = binDir + QStringLiteral("/tessaly");
    const QString reference = benchDir + QStringLiteral("/bench-startup-reference");
    const QString simPath = binDir + QStringLiteral("/tessaly-platform-sim");

    QTemporaryDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("TESSALY_QUIT_WHEN_SHOWN"), QStringLiteral("1"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path() + QStringLiteral("/config"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.path() + QStringLiteral("/data"));
    env.insert(QStringLiteral("TESSALY_REGISTRY_ROOT"), home.path() + QStringLiteral("/registry"));
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("*.debug=false"));

    // A platform that answers at once: first with an empty catalog (the bare window with its title bar
    // and footer), then leaving the built-in catalog of 14 tiles in place.
    struct Case
    {
        const char *name;
        const char *scenario;
    };
    const Case cases[] = {
        {"empty catalog", R"({"appInit": {"errorCode": "0001", "errorDesc": "", "data": {"productInfos": []}}})"},
        {"built-in catalog, 14 tiles", R"({"appInit": {"errorCode": "0001", "errorDesc": "", "data": {}}})"},
    };
    QFile scenario(home.path() + QStringLiteral("/scenario.json"));
    for (const Case &benchCase : cases) {
        scenario.open(QIODevice::WriteOnly);
        scenario.write(benchCase.scenario);
        scenario.close();
        QProcess sim;
        const QString base = startSimulator(sim, simPath, scenario.fileName());
        if (base.isEmpty()) {
            std::fprintf(stderr, "simulator did not start\n");
            return 1;
        }
        env.insert(QStringLiteral("TESSALY_USER_SERVICE_URL"), base);
        env.insert(QStringLiteral("TESSALY_PLATFORM_URL"), base);

        QVector<double> programTimes, referenceTimes;
        runOnce(program, env); // warm the caches of both
        runOnce(reference, env);
        for (int i = 0; i < runs; ++i) {
            referenceTimes.append(runOnce(reference, env));
            programTimes.append(runOnce(program, env));
        }
        const double programMedian = median(programTimes);
        const double referenceMedian = median(referenceTimes);
        std::printf("start-up to first paint, %s: program %.1f ms, bare Qt window %.1f ms, ratio %.2f "
                    "(target <= 2.0)\n",
                    benchCase.name, programMedian, referenceMedian, programMedian / referenceMedian);
        sim.kill();
        sim.waitForFinished();
    }

    // Bad platforms: one that never answers (with a stored token, so both start-up exchanges wait),
    // and one that refuses connections.
    QDir().mkpath(home.path() + QStringLiteral("/config/morvanetec"));
    QFile settings(home.path() + QStringLiteral("/config/morvanetec/10015.conf"));
    settings.open(QIODevice::WriteOnly);
    settings.write("[General]\ntokenId=bench-token\n");
    settings.close();

    const int timeoutMs = qEnvironmentVariableIsSet("TESSALY_HTTP_TIMEOUT_MS")
        ? qEnvironmentVariableIntValue("TESSALY_HTTP_TIMEOUT_MS")
        : 5000;
    scenario.open(QIODevice::WriteOnly);
    scenario.write(R"({"faults": {"/user/init/appinit.html": {"kind": "hang"},
                                  "/user/user/tokenlogin.html": {"kind": "hang"},
                                  "/platform/log/commonlog.html": {"kind": "hang"}}})");
    scenario.close();
    QProcess hangingSim;
    const QString hangingBase = startSimulator(hangingSim, simPath, scenario.fileName());
    env.insert(QStringLiteral("TESSALY_USER_SERVICE_URL"), hangingBase);
    env.insert(QStringLiteral("TESSALY_PLATFORM_URL"), hangingBase);
    const double hanging = runOnce(program, env);
    std::printf("platform never answers: %.0f ms to the window (time-out %d ms, limit %d ms)\n", hanging, timeoutMs,
                2 * timeoutMs + 1000);
    hangingSim.kill();
    hangingSim.waitForFinished();

    env.insert(QStringLiteral("TESSALY_USER_SERVICE_URL"), QStringLiteral("http://127.0.0.1:9"));
    env.insert(QStringLiteral("TESSALY_PLATFORM_URL"), QStringLiteral("http://127.0.0.1:9"));
    QVector<double> refused;
    for (int i = 0; i < 3; ++i)
        refused.append(runOnce(program, env));
    std::printf("platform refuses connections: %.0f ms to the window (limit 1000 ms)\n", median(refused));
    return 0;
}
