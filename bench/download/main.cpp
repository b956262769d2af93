// Download benchmark: a real catalog tile downloads a large installer from the platform simulator
// on loopback, against curl fetching the same address in the same run. Prints the throughput ratio,
// the peak resident memory growth during the download and the longest stall of the GUI event loop.
//
// Usage: bench-download [RUNS] [SIZE_MIB]   (see README.md)
#include "core/base/apppaths.h"
#include "widgets/catalog/softwareitemwidget.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QNetworkReply>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QVector>

#include <algorithm>
#include <cstdio>

namespace {

constexpr qint64 kMiB = 1024 * 1024;

struct TileRun
{
    double seconds = -1;
    qint64 bytes = 0;
    qint64 rssGrowth = 0; // VmHWM after minus VmRSS before
    qint64 sampledGrowth = 0; // largest VmRSS seen by the ticker minus VmRSS before
    double longestStallMs = 0;
    bool installed = false;
};

// A value of /proc/self/status in bytes ("VmRSS", "VmHWM"); -1 when unavailable.
qint64 statusValue(const char *name)
{
    QFile file(QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(name) + ':';
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').value(0).toLongLong() * 1024;
    }
    return -1;
}

// Resets VmHWM to the current RSS (Linux 4.0 and later); false when the kernel refuses.
bool resetPeakRss()
{
    QFile file(QStringLiteral("/proc/self/clear_refs"));
    return file.open(QIODevice::WriteOnly) && file.write("5") == 1;
}

bool makeInstaller(const QString &path, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const QByteArray script("#!/bin/sh\nexit 0\n");
    // The rest stays a hole: zeros that cost no disk and are never read by the shell.
    return file.write(script) == script.size() && file.resize(size);
}

QString startSimulator(QProcess &sim, const QString &scenarioFile)
{
    QString program = qEnvironmentVariable("TESSALY_SIM");
    if (program.isEmpty())
        program = QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/tessaly-platform-sim");
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start(program,
              {QStringLiteral("--scenario"), scenarioFile, QStringLiteral("--port"), QStringLiteral("0"),
               QStringLiteral("--quiet")});
    if (!sim.waitForStarted(10000))
        return {};
    while (!sim.canReadLine()) {
        if (!sim.waitForReadyRead(10000))
            return {};
    }
    return QString::fromUtf8(sim.readLine()).trimmed();
}

// curl's own measure of the body's speed, in bytes per second; -1 on failure.
double curlRun(const QString &url, const QString &outFile)
{
    QProcess curl;
    curl.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    curl.start(QStringLiteral("curl"),
               {QStringLiteral("-s"), QStringLiteral("-f"), QStringLiteral("-o"), outFile, QStringLiteral("-w"),
                QStringLiteral("%{speed_download}"), url});
    const bool ok = curl.waitForFinished(600000) && curl.exitStatus() == QProcess::NormalExit && curl.exitCode() == 0;
    QFile::remove(outFile);
    if (!ok)
        return -1;
    return QString::fromUtf8(curl.readAllStandardOutput()).trimmed().toDouble();
}

TileRun tileRun(const QString &url, qint64 size)
{
    TileRun run;
    SoftwareItemWidget tile;
    tile.setInfo(QStringLiteral("基准"), QString(), QPixmap(), url, QStringLiteral("bench-download-app"), false, false);
    tile.resize(280, 320);
    tile.show();
    auto *install = tile.findChild<QPushButton *>(QStringLiteral("installButton"));

    QCoreApplication::processEvents();
    resetPeakRss();
    const qint64 rssBefore = statusValue("VmRSS");
    qint64 rssMax = rssBefore;

    QEventLoop loop;
    QElapsedTimer clock;
    QElapsedTimer sinceTick;
    bool finished = false;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(5);
    QObject::connect(&ticker, &QTimer::timeout, &loop, [&] {
        if (!finished)
            run.longestStallMs = std::max(run.longestStallMs, sinceTick.nsecsElapsed() / 1e6);
        sinceTick.restart();
        rssMax = std::max(rssMax, statusValue("VmRSS"));
        if (finished && !tile.operations()->isInstallerRunning())
            loop.quit();
    });
    QTimer::singleShot(600000, &loop, &QEventLoop::quit);

    clock.start();
    sinceTick.start();
    ticker.start();
    install->click();
    QNetworkReply *reply = tile.findChild<QNetworkReply *>();
    const QString downloaded = tile.operations()->filePath();
    if (!reply) {
        std::fprintf(stderr, "the tile started no download (button text \"%s\")\n", qPrintable(install->text()));
        return run;
    }
    // Not the tile as context: the tile cuts every connection of the reply to itself when it lets go.
    QObject::connect(reply, &QNetworkReply::finished, &loop, [&] {
        run.seconds = clock.nsecsElapsed() / 1e9;
        run.bytes = QFileInfo(downloaded).size();
        finished = true;
    });
    loop.exec();
    ticker.stop();

    run.rssGrowth = statusValue("VmHWM") - rssBefore;
    run.sampledGrowth = rssMax - rssBefore;
    run.installed = tile.operations()->isInstalled();
    if (run.bytes != size)
        std::fprintf(stderr, "the tile received %lld of %lld bytes\n", static_cast<long long>(run.bytes),
                     static_cast<long long>(size));
    return run;
}

double median(QVector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

const char *verdict(bool met)
{
    return met ? "met" : "MISSED";
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The tile's own debug lines would only slow the measurement down.
    qputenv("QT_LOGGING_RULES", "tessaly.*.debug=false");
    QLoggingCategory::setFilterRules(QStringLiteral("tessaly.*.debug=false"));

    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const int runs = std::max(1, argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 3);
    const qint64 sizeMiB = std::max<qint64>(1, argc > 2 ? QString::fromLocal8Bit(argv[2]).toLongLong() : 512);
    const qint64 size = sizeMiB * kMiB;

    QTemporaryDir work;
    if (!work.isValid()) {
        std::fprintf(stderr, "cannot create a temporary folder\n");
        return 2;
    }
    const QString filesDir = work.filePath(QStringLiteral("files"));
    const QString appDir = work.filePath(QStringLiteral("app"));
    QDir().mkpath(filesDir);
    QDir().mkpath(appDir);
    AppPaths::setAppDirForTesting(appDir);
    qputenv("TESSALY_REGISTRY_ROOT", work.filePath(QStringLiteral("registry")).toLocal8Bit());
    if (!makeInstaller(filesDir + QStringLiteral("/big_setup.exe"), size)) {
        std::fprintf(stderr, "cannot create the installer\n");
        return 2;
    }

    const QString scenarioFile = work.filePath(QStringLiteral("scenario.json"));
    QFile scenario(scenarioFile);
    if (!scenario.open(QIODevice::WriteOnly) ||
        scenario.write(QJsonDocument(QJsonObject{{"files", QJsonObject{{"root", filesDir}}}}).toJson()) < 0) {
        std::fprintf(stderr, "cannot write the scenario\n");
        return 2;
    }
    scenario.close();
    QProcess sim;
    const QString base = startSimulator(sim, scenarioFile);
    if (base.isEmpty()) {
        std::fprintf(stderr, "the simulator did not start\n");
        return 2;
    }
    const QString url = base + QStringLiteral("/files/big_setup.exe");
    std::printf("installer: %lld MiB at %s\n", static_cast<long long>(sizeMiB), qPrintable(url));

    QVector<double> curlSpeeds;
    QVector<double> tileSpeeds;
    double worstGrowthMiB = 0;
    double worstStallMs = 0;
    bool failed = false;
    for (int i = 0; i < runs && !failed; ++i) {
        // The order alternates, so neither side always meets the warmer (or fuller) page cache.
        double curlSpeed = -1;
        TileRun run;
        if (i % 2 == 0) {
            curlSpeed = curlRun(url, work.filePath(QStringLiteral("curl.out")));
            run = tileRun(url, size);
        } else {
            run = tileRun(url, size);
            curlSpeed = curlRun(url, work.filePath(QStringLiteral("curl.out")));
        }
        if (curlSpeed <= 0 || run.seconds <= 0 || run.bytes != size || !run.installed) {
            std::fprintf(stderr, "run %d failed (curl %.0f B/s, tile %.3f s, installed %d)\n", i + 1, curlSpeed,
                         run.seconds, run.installed);
            failed = true;
            break;
        }
        const double tileSpeed = run.bytes / run.seconds;
        const double growthMiB = std::max(run.rssGrowth, run.sampledGrowth) / static_cast<double>(kMiB);
        std::printf("run %d (%s first): curl %.1f MiB/s, tile %.1f MiB/s, RSS growth %.1f MiB (sampled %.1f MiB), "
                    "longest stall %.1f ms\n",
                    i + 1, i % 2 == 0 ? "curl" : "tile", curlSpeed / kMiB, tileSpeed / kMiB,
                    run.rssGrowth / static_cast<double>(kMiB), run.sampledGrowth / static_cast<double>(kMiB),
                    run.longestStallMs);
        curlSpeeds.append(curlSpeed);
        tileSpeeds.append(tileSpeed);
        worstGrowthMiB = std::max(worstGrowthMiB, growthMiB);
        worstStallMs = std::max(worstStallMs, run.longestStallMs);
    }
    sim.terminate();
    if (!sim.waitForFinished(3000))
        sim.kill();
    sim.waitForFinished(3000);
    if (failed)
        return 2;

    const double ratio = median(tileSpeeds) / median(curlSpeeds);
    const bool ratioMet = ratio >= 0.9;
    const bool memoryMet = worstGrowthMiB <= 32.0;
    const bool stallMet = worstStallMs < 50.0;
    std::printf("\nthroughput ratio (tile / curl, medians):  %.2f   target >= 0.90  %s\n", ratio, verdict(ratioMet));
    std::printf("peak RSS growth during a download (worst): %.1f MiB  target <= 32 MiB  %s\n", worstGrowthMiB,
                verdict(memoryMet));
    std::printf("longest GUI event-loop stall (worst):      %.1f ms  target < 50 ms  %s\n", worstStallMs,
                verdict(stallMet));
    return ratioMet && memoryMet && stallMet ? 0 : 1;
}
