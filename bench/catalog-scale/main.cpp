// Catalog scale benchmark: start-up to the first paint and the program's peak memory with 14, 100, 300
// and 1000 catalog entries from app init, with the icons already in the icon folder (warm) and
// fetched from a platform that takes 20 ms per icon (cold); printed per tile beyond an empty catalog.
// See bench/README.md.
//
// Usage: bench-catalog-scale [RUNS]
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

namespace {

struct Figures
{
    ChildRun::Spread ms;
    ChildRun::Spread kib;
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 5;
    const QString binDir = QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(QStringLiteral("../bin"));
    const QString simulator = binDir + QStringLiteral("/tessaly-platform-sim");

    QTemporaryDir home;
    const QString program = ChildRun::copyProgram(binDir, home.filePath(QStringLiteral("app")));
    if (program.isEmpty())
        return 2;
    const QString iconFolder = home.filePath(QStringLiteral("app/iconImg"));
    const QString served = home.filePath(QStringLiteral("served"));
    QDir().mkpath(served);
    const QString sampleIcon = binDir + QStringLiteral("/iconImg/") +
        QDir(binDir + QStringLiteral("/iconImg")).entryList({"*.png"}, QDir::Files).value(0);

    QProcessEnvironment env = ChildRun::environment(home.path());

    // Runs the program `runs` times against a catalog of `count` entries; cold runs start without icons.
    const auto measure = [&](int count, bool cold) -> Figures {
        const int port = ChildRun::freePort();
        const QString base = QStringLiteral("http://127.0.0.1:%1").arg(port);
        QJsonArray entries;
        QJsonObject faults;
        for (int i = 0; i < count; ++i) {
            const QString icon = QStringLiteral("icon%1.png").arg(i);
            if (!QFile::exists(served + QLatin1Char('/') + icon))
                QFile::copy(sampleIcon, served + QLatin1Char('/') + icon);
            entries.append(QJsonObject{{"zhName", QStringLiteral("泰萨应用%1").arg(i)},
                                       {"zhDesc", QStringLiteral("一款用来衡量目录规模的应用，说明文字稍长一些")},
                                       {"iconName", icon},
                                       {"iconUrl", QString(base + QStringLiteral("/files/") + icon)},
                                       {"downloadUrl", QString(base + QStringLiteral("/files/setup%1.exe").arg(i))},
                                       {"version", "1.0.0.0"},
                                       {"pathName", QStringLiteral("ScaleApp%1").arg(i)},
                                       {"productId", QString::number(40000 + i)}});
            faults.insert(QString(QStringLiteral("/files/") + icon), QJsonObject{{"kind", "delay"}, {"ms", 20}});
        }
        const QJsonObject scenario{
            {"appInit", QJsonObject{{"errorCode", "0001"}, {"errorDesc", ""}, {"data", QJsonObject{{"productInfos", entries}}}}},
            {"faults", faults},
            {"files", QJsonObject{{"root", served}}}};
        const QString scenarioFile = home.filePath(QStringLiteral("scenario.json"));
        QFile file(scenarioFile);
        if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(scenario).toJson()) < 0)
            return {};
        file.close();
        QProcess sim;
        if (ChildRun::startSimulator(sim, simulator, scenarioFile, port).isEmpty()) {
            std::fprintf(stderr, "the simulator did not start\n");
            return {};
        }
        env.insert(QStringLiteral("TESSALY_USER_SERVICE_URL"), base);
        env.insert(QStringLiteral("TESSALY_PLATFORM_URL"), base);

        QDir(iconFolder).removeRecursively();
        QFile::remove(iconFolder + QStringLiteral("-failures.json"));
        ChildRun::run(program, env); // warms the page cache, and the icon folder for warm runs
        QVector<double> ms, kib;
        for (int i = 0; i < runs; ++i) {
            if (cold) {
                QDir(iconFolder).removeRecursively();
                QFile::remove(iconFolder + QStringLiteral("-failures.json"));
            }
            const ChildRun::Result result = ChildRun::run(program, env);
            ms.append(result.ok ? result.ms : qInf());
            kib.append(result.maxRssKiB);
        }
        sim.kill();
        sim.waitForFinished();
        return {ChildRun::spread(ms), ChildRun::spread(kib)};
    };

    std::printf("catalog scale, %d runs each; medians (lowest-highest); per tile beyond the empty catalog\n", runs);
    const Figures empty = measure(0, false);
    std::printf("%-6s %-5s %-26s %-30s\n", "tiles", "icons", "to first paint, ms", "peak memory, KiB");
    std::printf("%-6d %-5s %-26s %-30s\n", 0, "-", qPrintable(ChildRun::format(empty.ms)),
                qPrintable(ChildRun::format(empty.kib, 0)));
    for (bool cold : {false, true}) {
        for (int count : {14, 100, 300, 1000}) {
            const Figures figures = measure(count, cold);
            const double msPerTile = (figures.ms.median - empty.ms.median) / count;
            const double kibPerTile = (figures.kib.median - empty.kib.median) / count;
            const bool target = !cold && count == 1000;
            std::printf("%-6d %-5s %-26s %-30s %.3f ms and %.1f KiB per tile%s\n", count, cold ? "cold" : "warm",
                        qPrintable(ChildRun::format(figures.ms)), qPrintable(ChildRun::format(figures.kib, 0)),
                        msPerTile, kibPerTile, target ? " (target <= 0.4 ms and 48 KiB)" : "");
        }
    }
    return 0;
}
