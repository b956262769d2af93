// Download benchmark: a real catalog tile downloads a large installer from the platform simulator
// on loopback, against curl fetching the same address in the same round (once into /dev/null, once
// into a file beside the tile's). A second case cuts the first request of another address at half
// the file, so the tile takes the download up again with a Range request. Prints the throughput
// ratios, what the break costs in time and in bytes sent twice, the peak resident memory growth
// during a download and the longest stall of the GUI event loop.
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
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QVector>

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr qint64 kMiB = 1024 * 1024;
// The download's read buffer (readBufferSize in core/download/installerdownload.cpp): what may be in
// flight when a connection breaks, and so the most a resume may fetch twice.
constexpr qint64 kInFlightBuffer = 1 * kMiB;
// The pause before the first attempt to take a broken download up again.
constexpr double kFirstResumePause = 1.0;

const QString kPlainPath = QStringLiteral("/files/big_setup.exe");
const QString kDropPath = QStringLiteral("/files/drop_setup.exe");

struct TileRun
{
    double seconds = -1; // from the press to the installer's start
    double cpuSeconds = 0; // user and system time of this process (all its threads) meanwhile
    double systemSeconds = 0; // the system part of it
    qint64 bytes = 0; // the file's size when the installer starts
    qint64 rssGrowth = 0; // VmHWM when the download ended minus VmRSS before
    qint64 sampledGrowth = 0; // largest VmRSS seen by the ticker minus VmRSS before
    double longestStallMs = 0;
    double longestStallAt = 0; // seconds from the press to the end of that stall
    qint64 resumedAt = -1; // from the "Download resumed at byte N" line; -1 when none came
    double brokenAt = -1; // seconds from the press to the "Download broken" line
    double resumedAtTime = -1; // seconds from the press to the "Download resumed" line
    QString failure; // the button's text when the operation ended without installing
    bool installed = false;
};

struct CurlRun
{
    double speed = -1; // curl's speed_download, bytes per second
    qint64 bytes = 0;
    double cpuSeconds = 0; // curl's user and system time
};

// ---- the resume offset, taken from the download's log ----

QtMessageHandler previousHandler = nullptr;
const QElapsedTimer *runClock = nullptr; // the clock of the tile run in progress
qint64 capturedResumeOffset = -1;
double capturedBreakTime = -1;
double capturedResumeTime = -1;

// Keeps the offset of "Download resumed at byte N of TOTAL : URL" (tessaly.catalog) for the run in
// progress and when that line came, and when the first "Download broken" line came. Every message but
// the resume line goes on to the handler that was there before. (Both lines come from the GUI thread.)
void captureResumeOffset(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    static const QRegularExpression resumed(QStringLiteral("^Download resumed at byte (\\d+) of"));
    const double now = runClock && runClock->isValid() ? runClock->nsecsElapsed() / 1e9 : -1;
    if (context.category && qstrcmp(context.category, "tessaly.catalog") == 0) {
        const QRegularExpressionMatch match = resumed.match(message);
        // Only the first of a run: a later one would be another break.
        if (type == QtInfoMsg && match.hasMatch()) {
            if (capturedResumeOffset < 0) {
                capturedResumeOffset = match.captured(1).toLongLong();
                capturedResumeTime = now;
            }
            return;
        }
        if (message.startsWith(QLatin1String("Download broken:")) && capturedBreakTime < 0)
            capturedBreakTime = now;
    }
    if (previousHandler)
        previousHandler(type, context, message);
}

// ---- memory and processor ----

// User and system time so far of this process (RUSAGE_SELF) or of its waited-for children; the
// system part alone with `systemOnly`.
double cpuSeconds(int who, bool systemOnly = false)
{
    rusage usage{};
    getrusage(who, &usage);
    const double system = usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6;
    return systemOnly ? system : system + usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6;
}

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

// ---- the installer and the simulator ----

bool makeInstaller(const QString &path, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const QByteArray script("#!/bin/sh\nexit 0\n");
    // The rest stays a hole: zeros that cost no disk and are never read by the shell.
    return file.write(script) == script.size() && file.resize(size);
}

// The same content under a second name: a hard link, else a second sparse file.
bool makeSecondName(const QString &existing, const QString &path, qint64 size)
{
    return ::link(QFile::encodeName(existing).constData(), QFile::encodeName(path).constData()) == 0 ||
        makeInstaller(path, size);
}

// The scenario: files from `filesDir`, the drop address cut after `dropAfter` bytes on its first request.
QByteArray scenarioJson(const QString &filesDir, qint64 dropAfter)
{
    const QJsonObject drop{{"bytes", static_cast<double>(dropAfter)}, {"times", 1}};
    const QJsonObject files{{"root", filesDir}, {"drops", QJsonObject{{kDropPath, drop}}}};
    return QJsonDocument(QJsonObject{{"files", files}}).toJson(QJsonDocument::Compact);
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

// One request to the simulator's diagnostic paths; the HTTP status (0 when none came in 10 s) and
// the body in `answer`.
int simRequest(QNetworkAccessManager &network, const QByteArray &verb, const QString &url, const QByteArray &body,
               QByteArray *answer = nullptr)
{
    QNetworkRequest request{QUrl(url)};
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    QEventLoop loop;
    QPointer<QNetworkReply> reply = network.sendCustomRequest(request, verb, body);
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    if (!reply)
        return 0;
    const int status = reply->isFinished() ? reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() : 0;
    if (answer)
        *answer = reply->readAll();
    reply->abort();
    reply->deleteLater();
    return status;
}

// ---- the runs ----

// Reads the installer once, so that no run pays for bringing it into the page cache (a hole is read
// as zeros into cached pages like any other part of the file).
bool warmUp(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QByteArray buffer(static_cast<int>(kMiB), Qt::Uninitialized);
    for (qint64 read = 1; read > 0;)
        read = file.read(buffer.data(), buffer.size());
    return file.atEnd();
}

// curl's own measure of the body's speed and the bytes it received; speed -1 on failure.
CurlRun curlRun(const QString &url, const QString &outFile)
{
    CurlRun run;
    const double cpuBefore = cpuSeconds(RUSAGE_CHILDREN);
    QProcess curl;
    curl.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    curl.start(QStringLiteral("curl"),
               {QStringLiteral("-s"), QStringLiteral("-f"), QStringLiteral("-o"), outFile, QStringLiteral("-w"),
                QStringLiteral("%{speed_download} %{size_download}"), url});
    const bool ok = curl.waitForFinished(600000) && curl.exitStatus() == QProcess::NormalExit && curl.exitCode() == 0;
    run.cpuSeconds = cpuSeconds(RUSAGE_CHILDREN) - cpuBefore;
    if (outFile != QLatin1String("/dev/null"))
        QFile::remove(outFile);
    if (!ok)
        return run;
    const QStringList figures = QString::fromUtf8(curl.readAllStandardOutput()).trimmed().split(QLatin1Char(' '));
    run.speed = figures.value(0).toDouble();
    run.bytes = figures.value(1).toLongLong();
    return run;
}

// A tile downloads `url` and runs it: timed from the press to the moment the installer starts (or
// the operation ends without one); the installer is waited for too.
TileRun tileRun(const QString &url)
{
    TileRun run;
    SoftwareItemWidget tile;
    tile.setInfo(QStringLiteral("基准"), QString(), QPixmap(), url, QStringLiteral("bench-download-app"), false, false);
    tile.resize(280, 320);
    tile.show();
    auto *install = tile.findChild<QPushButton *>(QStringLiteral("installButton"));
    TileOperations *operations = tile.operations();
    if (!install) {
        run.failure = QStringLiteral("no install button");
        return run;
    }

    QCoreApplication::processEvents();
    capturedResumeOffset = -1;
    capturedBreakTime = -1;
    capturedResumeTime = -1;
    resetPeakRss();
    const qint64 rssBefore = statusValue("VmRSS");
    qint64 rssMax = rssBefore;

    QEventLoop loop;
    QElapsedTimer clock;
    QElapsedTimer sinceTick;
    bool downloadEnded = false;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(5);
    QObject::connect(&ticker, &QTimer::timeout, &loop, [&] {
        if (downloadEnded)
            return;
        const double gapMs = sinceTick.nsecsElapsed() / 1e6;
        if (gapMs > run.longestStallMs) {
            run.longestStallMs = gapMs;
            run.longestStallAt = clock.nsecsElapsed() / 1e9;
        }
        sinceTick.restart();
        rssMax = std::max(rssMax, statusValue("VmRSS"));
    });
    double cpuBefore = 0;
    double systemBefore = 0;
    const auto endDownload = [&] {
        run.seconds = clock.nsecsElapsed() / 1e9;
        run.cpuSeconds = cpuSeconds(RUSAGE_SELF) - cpuBefore;
        run.systemSeconds = cpuSeconds(RUSAGE_SELF, true) - systemBefore;
        run.bytes = QFileInfo(operations->filePath()).size();
        run.rssGrowth = statusValue("VmHWM") - rssBefore;
        downloadEnded = true;
    };
    // progressStarted comes at the download's start and at the installer's; only the installer's
    // finds it running (at the first, the download is not yet made either).
    QObject::connect(operations, &TileOperations::progressStarted, &loop, [&] {
        if (!downloadEnded && operations->isInstallerRunning())
            endDownload();
    });
    QObject::connect(operations, &TileOperations::finished, &loop,
                     [&](TileOperations::Operation, const QString &buttonText) {
                         if (!downloadEnded) {
                             endDownload();
                             run.failure = buttonText;
                         }
                         loop.quit();
                     });
    QTimer::singleShot(600000, &loop, &QEventLoop::quit);

    cpuBefore = cpuSeconds(RUSAGE_SELF);
    systemBefore = cpuSeconds(RUSAGE_SELF, true);
    clock.start();
    runClock = &clock;
    sinceTick.start();
    ticker.start();
    install->click();
    if (!operations->isDownloading()) {
        runClock = nullptr;
        run.failure = QStringLiteral("no download started (button text \"%1\")").arg(install->text());
        return run;
    }
    loop.exec();
    ticker.stop();
    runClock = nullptr;

    if (!downloadEnded)
        run.failure = QStringLiteral("no end within 10 minutes");
    run.sampledGrowth = rssMax - rssBefore;
    run.resumedAt = capturedResumeOffset;
    run.brokenAt = capturedBreakTime;
    run.resumedAtTime = capturedResumeTime;
    run.installed = operations->isInstalled();
    return run;
}

double median(QVector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

double lowest(const QVector<double> &values)
{
    return *std::min_element(values.begin(), values.end());
}

double highest(const QVector<double> &values)
{
    return *std::max_element(values.begin(), values.end());
}

const char *verdict(bool met)
{
    return met ? "met" : "MISSED";
}

double mib(double bytes)
{
    return bytes / kMiB;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The tile's own debug lines would only slow the measurement down.
    qputenv("QT_LOGGING_RULES", "tessaly.*.debug=false");
    QLoggingCategory::setFilterRules(QStringLiteral("tessaly.*.debug=false"));
    previousHandler = qInstallMessageHandler(captureResumeOffset);

    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const int runs = std::max(1, argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 3);
    const qint64 sizeMiB = std::max<qint64>(1, argc > 2 ? QString::fromLocal8Bit(argv[2]).toLongLong() : 512);
    const qint64 size = sizeMiB * kMiB;
    const qint64 dropAfter = size / 2;

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
    const QString plainFile = work.path() + kPlainPath;
    const QString dropFile = work.path() + kDropPath;
    if (!makeInstaller(plainFile, size) || !makeSecondName(plainFile, dropFile, size) || !warmUp(plainFile) ||
        !warmUp(dropFile)) {
        std::fprintf(stderr, "cannot create the installer\n");
        return 2;
    }

    const QByteArray scenarioBody = scenarioJson(filesDir, dropAfter);
    const QString scenarioFile = work.filePath(QStringLiteral("scenario.json"));
    QFile scenario(scenarioFile);
    if (!scenario.open(QIODevice::WriteOnly) || scenario.write(scenarioBody) != scenarioBody.size()) {
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
    QNetworkAccessManager simNetwork;
    const QString url = base + kPlainPath;
    const QString dropUrl = base + kDropPath;
    const QString curlFile = work.filePath(QStringLiteral("curl.out"));
    std::printf("installer: %lld MiB at %s; cut after %lld bytes once per round at %s\n",
                static_cast<long long>(sizeMiB), qPrintable(url), static_cast<long long>(dropAfter),
                qPrintable(dropUrl));

    QVector<double> nullSpeeds;
    QVector<double> fileSpeeds;
    QVector<double> tileSpeeds;
    QVector<double> dropRatios; // drop case time / uninterrupted tile time of the same round
    QVector<double> dropRatiosLessPause;
    QVector<double> twiceBytes;
    double worstGrowthMiB = 0;
    double worstStallMs = 0;
    double worstDropStallMs = 0;
    bool failed = false;

    CurlRun curlNull;
    CurlRun curlToFile;
    const auto curlStep = [&](const QString &outFile, CurlRun *run, QVector<double> *speeds) {
        *run = curlRun(url, outFile);
        if (run->speed <= 0 || run->bytes != size) {
            std::fprintf(stderr, "curl into %s failed (%lld of %lld bytes)\n", qPrintable(outFile),
                         static_cast<long long>(run->bytes), static_cast<long long>(size));
            failed = true;
            return;
        }
        speeds->append(run->speed);
    };
    TileRun plain;
    TileRun dropped;
    QByteArray dropRequests;
    const auto tileStep = [&] {
        plain = tileRun(url);
        if (!plain.failure.isEmpty() || plain.bytes != size || !plain.installed) {
            std::fprintf(stderr, "tile download failed: %s (%lld of %lld bytes, installed %d)\n",
                         qPrintable(plain.failure), static_cast<long long>(plain.bytes), static_cast<long long>(size),
                         plain.installed);
            failed = true;
        }
    };
    const auto dropStep = [&] {
        // Posting the scenario again starts its counts afresh, so this run's first request is cut.
        if (simRequest(simNetwork, "DELETE", base + QStringLiteral("/__sim/requests"), {}) != 200 ||
            simRequest(simNetwork, "POST", base + QStringLiteral("/__sim/scenario"), scenarioBody) != 200) {
            std::fprintf(stderr, "the simulator did not take the scenario again\n");
            failed = true;
            return;
        }
        dropped = tileRun(dropUrl);
        simRequest(simNetwork, "GET", base + QStringLiteral("/__sim/requests?path=") + kDropPath, {}, &dropRequests);
        if (!dropped.failure.isEmpty() || dropped.bytes != size || !dropped.installed || dropped.resumedAt < 0) {
            std::fprintf(stderr,
                         "tile download with a break failed: %s (%lld of %lld bytes, installed %d, "
                         "resumed at %lld)\n",
                         qPrintable(dropped.failure), static_cast<long long>(dropped.bytes),
                         static_cast<long long>(size), dropped.installed, static_cast<long long>(dropped.resumedAt));
            failed = true;
        }
    };

    for (int i = 0; i < runs && !failed; ++i) {
        // The order turns round every other round, so no side always meets the warmer (or fuller) page cache.
        const bool curlFirst = i % 2 == 0;
        if (curlFirst) {
            curlStep(QStringLiteral("/dev/null"), &curlNull, &nullSpeeds);
            if (!failed)
                curlStep(curlFile, &curlToFile, &fileSpeeds);
            if (!failed)
                tileStep();
            if (!failed)
                dropStep();
        } else {
            dropStep();
            if (!failed)
                tileStep();
            if (!failed)
                curlStep(curlFile, &curlToFile, &fileSpeeds);
            if (!failed)
                curlStep(QStringLiteral("/dev/null"), &curlNull, &nullSpeeds);
        }
        if (failed)
            break;

        // What the simulator saw of the drop address: the cut request and the resumed one.
        const QJsonArray requests = QJsonDocument::fromJson(dropRequests).array();
        QStringList ranges;
        for (const QJsonValue &request : requests) {
            const QString range = request.toObject()
                                      .value(QStringLiteral("headers"))
                                      .toObject()
                                      .value(QStringLiteral("Range"))
                                      .toString();
            ranges.append(range.isEmpty() ? QStringLiteral("whole") : range);
        }

        const double tileSpeed = plain.bytes / plain.seconds;
        const double growthMiB = mib(std::max(plain.rssGrowth, plain.sampledGrowth));
        const double twice = dropAfter - dropped.resumedAt;
        std::printf("round %d (%s first)\n", i + 1, curlFirst ? "curl" : "tile");
        std::printf("  curl > /dev/null    %7.1f MiB/s  %.3f s, CPU %.2f s\n", mib(curlNull.speed),
                    size / curlNull.speed, curlNull.cpuSeconds);
        std::printf("  curl > file         %7.1f MiB/s  %.3f s, CPU %.2f s\n", mib(curlToFile.speed),
                    size / curlToFile.speed, curlToFile.cpuSeconds);
        std::printf("  tile                %7.1f MiB/s  %.3f s, CPU %.2f s (system %.2f s), RSS growth %.1f MiB "
                    "(sampled %.1f MiB), longest stall %.1f ms (at %.2f s)\n",
                    mib(tileSpeed), plain.seconds, plain.cpuSeconds, plain.systemSeconds, mib(plain.rssGrowth),
                    mib(plain.sampledGrowth), plain.longestStallMs, plain.longestStallAt);
        std::printf("  tile, cut at 50 %%   %7.1f MiB/s  %.3f s, CPU %.2f s (system %.2f s), RSS growth %.1f MiB "
                    "(sampled %.1f MiB), longest stall %.1f ms (at %.2f s)\n",
                    mib(size / dropped.seconds), dropped.seconds, dropped.cpuSeconds, dropped.systemSeconds,
                    mib(dropped.rssGrowth), mib(dropped.sampledGrowth), dropped.longestStallMs, dropped.longestStallAt);
        std::printf("      broken at %.3f s, resumed at %.3f s from byte %lld (%lld bytes sent twice), the rest took "
                    "%.3f s; requests: %s\n",
                    dropped.brokenAt, dropped.resumedAtTime, static_cast<long long>(dropped.resumedAt),
                    static_cast<long long>(twice), dropped.seconds - dropped.resumedAtTime,
                    qPrintable(ranges.join(QStringLiteral(", "))));
        tileSpeeds.append(tileSpeed);
        dropRatios.append(dropped.seconds / plain.seconds);
        dropRatiosLessPause.append((dropped.seconds - kFirstResumePause) / plain.seconds);
        twiceBytes.append(twice);
        worstGrowthMiB = std::max({worstGrowthMiB, growthMiB, mib(std::max(dropped.rssGrowth, dropped.sampledGrowth))});
        worstStallMs = std::max(worstStallMs, plain.longestStallMs);
        worstDropStallMs = std::max(worstDropStallMs, dropped.longestStallMs);
    }
    sim.terminate();
    if (!sim.waitForFinished(3000))
        sim.kill();
    sim.waitForFinished(3000);
    if (failed)
        return 2;

    const double fileRatio = median(tileSpeeds) / median(fileSpeeds);
    const double nullRatio = median(tileSpeeds) / median(nullSpeeds);
    const double worstTwice = highest(twiceBytes);
    const bool ratioMet = fileRatio >= 0.9;
    const bool twiceMet = worstTwice <= kInFlightBuffer;
    const bool memoryMet = worstGrowthMiB <= 32.0;
    const bool stallMet = worstStallMs < 50.0 && worstDropStallMs < 50.0;
    std::printf("\nspeeds, median (lowest-highest) MiB/s: tile %.1f (%.1f-%.1f), curl > file %.1f (%.1f-%.1f), "
                "curl > /dev/null %.1f (%.1f-%.1f)\n",
                mib(median(tileSpeeds)), mib(lowest(tileSpeeds)), mib(highest(tileSpeeds)), mib(median(fileSpeeds)),
                mib(lowest(fileSpeeds)), mib(highest(fileSpeeds)), mib(median(nullSpeeds)), mib(lowest(nullSpeeds)),
                mib(highest(nullSpeeds)));
    std::printf("throughput ratio, tile / curl > file (medians):       %.2f   target >= 0.90  %s\n", fileRatio,
                verdict(ratioMet));
    std::printf("throughput ratio, tile / curl > /dev/null (medians):  %.2f   (printed)\n", nullRatio);
    std::printf("cut at 50 %%, time / uninterrupted tile time:          %.2f (%.2f-%.2f)   (printed)\n",
                median(dropRatios), lowest(dropRatios), highest(dropRatios));
    std::printf("  the same without the %.0f s pause before resuming:    %.2f (%.2f-%.2f)   (printed)\n",
                kFirstResumePause, median(dropRatiosLessPause), lowest(dropRatiosLessPause),
                highest(dropRatiosLessPause));
    std::printf("cut at 50 %%, bytes sent twice (worst):                %.0f (%.2f MiB)   target <= %lld (1 MiB)  %s\n",
                worstTwice, mib(worstTwice), static_cast<long long>(kInFlightBuffer), verdict(twiceMet));
    std::printf("peak RSS growth during a download (worst):           %.1f MiB   target <= 32 MiB  %s\n",
                worstGrowthMiB, verdict(memoryMet));
    std::printf(
        "longest GUI event-loop stall (worst): uninterrupted %.1f ms, cut at 50 %% %.1f ms   target < 50 ms  %s\n",
        worstStallMs, worstDropStallMs, verdict(stallMet));
    return ratioMet && twiceMet && memoryMet && stallMet ? 0 : 1;
}
