// tessaly-platform-sim: a loopback stand-in for the maker's web platform.
//
//   tessaly-platform-sim --scenario FILE [--port N] [--quiet]
//
// Prints its base address alone on the first line of stdout, then serves until SIGTERM or SIGINT.
// See README.md beside this file for the scenario format.

#include "scenario.h"
#include "simserver.h"
#include "stopsignals.h"

#include <QFile>
#include <QFileInfo>
#include <QString>

#include <cstdio>
#include <cstring>

namespace {

int usage(const char *message)
{
    if (message)
        std::fprintf(stderr, "tessaly-platform-sim: %s\n", message);
    std::fprintf(stderr, "usage: tessaly-platform-sim --scenario FILE [--port N] [--quiet]\n");
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    QString scenarioPath;
    int port = 0;
    bool quiet = false;
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        if (std::strcmp(arg, "--scenario") == 0 && i + 1 < argc) {
            scenarioPath = QString::fromLocal8Bit(argv[++i]);
        } else if (std::strcmp(arg, "--port") == 0 && i + 1 < argc) {
            bool ok = false;
            port = QString::fromLocal8Bit(argv[++i]).toInt(&ok);
            if (!ok || port < 0 || port > 65535)
                return usage("--port needs a number from 0 to 65535");
        } else if (std::strcmp(arg, "--quiet") == 0) {
            quiet = true;
        } else if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            usage(nullptr);
            return 0;
        } else {
            return usage("unknown or incomplete argument");
        }
    }
    if (scenarioPath.isEmpty())
        return usage("--scenario FILE is required");

    QFile file(scenarioPath);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "tessaly-platform-sim: cannot read %s\n", qPrintable(scenarioPath));
        return 2;
    }
    const QString scenarioDir = QFileInfo(scenarioPath).absolutePath();
    Scenario scenario;
    QString error;
    if (!Scenario::parse(file.readAll(), scenarioDir, &scenario, &error)) {
        std::fprintf(stderr, "tessaly-platform-sim: %s: %s\n", qPrintable(scenarioPath), qPrintable(error));
        return 2;
    }

    StopSignals stopSignals;
    SimServer server(scenario, scenarioDir, quiet);
    const int boundPort = server.bind(port);
    if (boundPort <= 0) {
        std::fprintf(stderr, "tessaly-platform-sim: cannot listen on 127.0.0.1:%d\n", port);
        return 1;
    }
    std::printf("http://127.0.0.1:%d\n", boundPort);
    std::fflush(stdout);

    stopSignals.start([&server] { server.stop(); });
    const bool served = server.listen();
    if (!served) {
        std::fprintf(stderr, "tessaly-platform-sim: the server stopped unexpectedly\n");
        stopSignals.wake();
    }
    stopSignals.join();
    return served ? 0 : 1;
}
