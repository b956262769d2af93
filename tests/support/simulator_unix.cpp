#include "simulator.h"
#include "simulator_p.h"

#include <QDeadlineTimer>
#include <QProcess>

namespace {
constexpr int kStartTimeoutMs = 10000;
constexpr int kStopTimeoutMs = 3000;
} // namespace

struct SimulatorProcess
{
    QProcess process;
};

SimulatorProcess *startSimulatorProcess(const QString &scenarioPath, QString *baseUrl)
{
    auto *sim = new SimulatorProcess;
    QProcess &process = sim->process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(Simulator::program(),
                  {QStringLiteral("--scenario"), scenarioPath, QStringLiteral("--port"), QStringLiteral("0"),
                   QStringLiteral("--quiet")});
    if (!process.waitForStarted(kStartTimeoutMs)) {
        qWarning("Simulator: cannot start %s: %s", qPrintable(Simulator::program()), qPrintable(process.errorString()));
        return sim;
    }
    const QDeadlineTimer deadline(kStartTimeoutMs);
    while (!process.canReadLine()) {
        if (deadline.hasExpired() || !process.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
            break;
    }
    const QString line = QString::fromUtf8(process.readLine()).trimmed();
    if (!line.startsWith(QLatin1String("http://"))) {
        qWarning("Simulator: no address from the simulator (got \"%s\")", qPrintable(line));
        return sim;
    }
    *baseUrl = line;
    return sim;
}

QJsonObject scenarioForSimulator(const QJsonObject &scenario)
{
    return scenario;
}

bool simulatorProcessRunning(const SimulatorProcess &sim)
{
    return sim.process.state() == QProcess::Running;
}

void SimulatorProcessDeleter::operator()(SimulatorProcess *sim) const
{
    if (sim->process.state() != QProcess::NotRunning) {
        sim->process.terminate();
        if (!sim->process.waitForFinished(kStopTimeoutMs)) {
            qWarning("Simulator: the simulator did not end on SIGTERM; killing it");
            sim->process.kill();
            sim->process.waitForFinished(kStopTimeoutMs);
        }
    }
    delete sim;
}
