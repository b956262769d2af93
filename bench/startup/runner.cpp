// Start-up benchmark: wall time from exec to the first paint of the main window (offscreen,
// TESSALY_QUIT_WHEN_SHOWN=1) in several situations, as ratios against a reference window run
// alternately in the same invocation; and the time to the window on platforms that never answer or
// refuse connections, against their bounds. See bench/README.md.
//
// Usage: bench-startup [RUNS]   (the program, the reference and the simulator are found in the build tree)
#include "childrun.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>

namespace {

QJsonObject appInit(const QJsonObject &data)
{
    return QJsonObject{{"appInit", QJsonObject{{"errorCode", "0001"}, {"errorDesc", ""}, {"data", data}}}};
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 11;
    const QString benchDir = QCoreApplication::applicationDirPath();
    const QString binDir = QDir(benchDir).absoluteFilePath(QStringLiteral("../bin"));
    const QString reference = benchDir + QStringLiteral("/bench-startup-reference");
    const QString simulator = binDir + QStringLiteral("/tessaly-platform-sim");
    const int timeoutMs = qEnvironmentVariableIsSet("TESSALY_HTTP_TIMEOUT_MS")
        ? qEnvironmentVariableIntValue("TESSALY_HTTP_TIMEOUT_MS")
        : 5000;

    QTemporaryDir home;
    // A copy of the program whose icon folder starts empty: its icons come from the platform.
    const QString coldProgram = ChildRun::copyProgram(binDir, home.filePath(QStringLiteral("cold")));
    if (coldProgram.isEmpty())
        return 2;
    const QString coldIcons = home.filePath(QStringLiteral("cold/iconImg"));

    QProcessEnvironment env = ChildRun::environment(home.path());
    const QString settingsFile = home.filePath(QStringLiteral("config/morvanetec/10015.conf"));

    // The 14 built-in icons, served by the simulator for the cold case.
    const QStringList iconNames = QDir(binDir + QStringLiteral("/iconImg")).entryList({"*.png"}, QDir::Files);
    QJsonArray coldEntries;
    for (int i = 0; i < 14 && i < iconNames.size(); ++i)
        coldEntries.append(QJsonObject{{"zhName", QStringLiteral("泰萨应用%1").arg(i)},
                                       {"zhDesc", QStringLiteral("一款用来衡量启动时间的应用")},
                                       {"iconName", iconNames.at(i)},
                                       {"iconUrl", QString(QStringLiteral("{base}/files/") + iconNames.at(i))},
                                       {"version", "1.0.0.0"},
                                       {"pathName", QStringLiteral("BenchApp%1").arg(i)},
                                       {"productId", QString::number(30000 + i)}});
    const QJsonObject hang{{"kind", "hang"}};
    const QJsonObject silent{{"faults", QJsonObject{{"/user/init/appinit.html", hang},
                                                    {"/user/user/tokenlogin.html", hang},
                                                    {"/platform/log/commonlog.html", hang}}}};

    struct Case
    {
        const char *name;
        QJsonObject scenario; // empty: the platform refuses connections
        QString program;
        bool storedToken = false;
        double target = 0; // ratio to the reference; 0: a bound in ms instead
        double boundMs = 0;
    };
    QJsonObject coldScenario = appInit({{"productInfos", coldEntries}});
    coldScenario.insert("files", QJsonObject{{"root", QString(binDir + QStringLiteral("/iconImg"))}});
    const QString program = binDir + QStringLiteral("/tessaly");
    const QList<Case> cases{
        {"empty catalog", appInit({{"productInfos", QJsonArray()}}), program, false, 0, 0},
        {"built-in catalog, 14 tiles", appInit({}), program, false, 1.5, 0},
        {"14 tiles from app init, cold icons", coldScenario, coldProgram, false, 0, 0},
        {"silent platform, no stored token", silent, program, false, 0, timeoutMs + 1000.0},
        {"silent platform, stored token", silent, program, true, 0, timeoutMs + 1000.0},
        {"platform refuses connections", {}, program, true, 0, 1000.0},
    };

    std::printf("start-up to the first paint, %d runs each, median (lowest-highest) in ms\n", runs);
    for (const Case &benchCase : cases) {
        QProcess sim;
        QString base = QStringLiteral("http://127.0.0.1:9");
        if (!benchCase.scenario.isEmpty()) {
            const QString scenarioFile = home.filePath(QStringLiteral("scenario.json"));
            const int port = ChildRun::freePort();
            writeFile(scenarioFile, QJsonDocument(benchCase.scenario)
                                        .toJson()
                                        .replace("{base}", QByteArray("http://127.0.0.1:") + QByteArray::number(port)));
            base = ChildRun::startSimulator(sim, simulator, scenarioFile, port);
            if (base.isEmpty()) {
                std::fprintf(stderr, "the simulator did not start\n");
                return 2;
            }
        }
        env.insert(QStringLiteral("TESSALY_USER_SERVICE_URL"), base);
        env.insert(QStringLiteral("TESSALY_PLATFORM_URL"), base);
        QFile::remove(settingsFile);
        if (benchCase.storedToken)
            writeFile(settingsFile, "[General]\ntokenId=bench-token\n");

        const auto runProgram = [&] {
            if (benchCase.program == coldProgram)
                QDir(coldIcons).removeRecursively();
            return ChildRun::run(benchCase.program, env);
        };
        const bool bounded = benchCase.boundMs > 0;
        const int caseRuns = bounded ? 3 : runs;
        QVector<double> programMs, referenceMs, programExitMs, referenceExitMs;
        const auto runReference = [&] {
            const ChildRun::Result result = ChildRun::run(reference, env);
            referenceMs.append(result.ms);
            referenceExitMs.append(result.exitMs);
        };
        if (!bounded) { // warm the page cache of both
            runProgram();
            ChildRun::run(reference, env);
        }
        for (int i = 0; i < caseRuns; ++i) {
            // Alternating order, so that neither always follows the other.
            if (!bounded && i % 2 == 0)
                runReference();
            const ChildRun::Result result = runProgram();
            programMs.append(result.ok ? result.ms : qInf());
            programExitMs.append(result.ok ? result.exitMs : qInf());
            if (!bounded && i % 2 == 1)
                runReference();
        }
        const ChildRun::Spread own = ChildRun::spread(programMs);
        if (bounded) {
            std::printf("%-40s %s, bound %.0f (time-out %d ms)\n", benchCase.name,
                        qPrintable(ChildRun::format(own, 0)), benchCase.boundMs, timeoutMs);
        } else {
            const ChildRun::Spread ref = ChildRun::spread(referenceMs);
            // Each run of the program and the reference run next to it make a pair: the machine's load,
            // which drifts over an invocation, weighs on both alike, so the pairs' ratios scatter less.
            QVector<double> pairRatios;
            for (int i = 0; i < caseRuns; ++i)
                pairRatios.append(programMs.at(i) / referenceMs.at(i));
            const ChildRun::Spread pairs = ChildRun::spread(pairRatios);
            std::printf("%-40s %s, reference %s, ratio %.2f; paired %s%s\n", benchCase.name,
                        qPrintable(ChildRun::format(own)), qPrintable(ChildRun::format(ref)),
                        own.median / ref.median, qPrintable(ChildRun::format(pairs, 2)),
                        benchCase.target > 0 ? qPrintable(QStringLiteral(" (target <= %1)").arg(benchCase.target))
                                             : "");
            // Leaving is not start-up, but it is printed: a program that paints early and then takes
            // long to end would show here.
            const ChildRun::Spread ownExit = ChildRun::spread(programExitMs);
            const ChildRun::Spread refExit = ChildRun::spread(referenceExitMs);
            std::printf("%-40s %s, reference %s, ratio %.2f\n", "  ... to the end of the process",
                        qPrintable(ChildRun::format(ownExit)), qPrintable(ChildRun::format(refExit)),
                        ownExit.median / refExit.median);
        }
        if (sim.state() != QProcess::NotRunning) {
            sim.kill();
            sim.waitForFinished();
        }
    }
    return 0;
}
