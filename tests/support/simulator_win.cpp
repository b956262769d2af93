#include "simulator.h"
#include "simulator_p.h"

#include <QDir>

#include <windows.h>

// The simulator is a Linux program; under Wine a Windows test cannot run it as its own child, so the
// launcher beside the test (tools/platform-sim/launcher.cpp) starts and stops it.
struct SimulatorProcess
{
    QString id;
};

namespace {

QString launcher()
{
    return qEnvironmentVariable("TESSALY_SIM_LAUNCHER");
}

// The Linux path of a Windows path, through Wine's own translation; empty outside Wine.
QString unixPath(const QString &windowsPath)
{
    using Translate = char *(CDECL *)(LPCWSTR);
    const auto translate = reinterpret_cast<Translate>(
        reinterpret_cast<void *>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!translate)
        return {};
    const std::wstring native = QDir::toNativeSeparators(windowsPath).toStdWString();
    char *path = translate(native.c_str());
    if (!path)
        return {};
    const QString result = QString::fromUtf8(path);
    HeapFree(GetProcessHeap(), 0, path);
    return result;
}

} // namespace

SimulatorProcess *startSimulatorProcess(const QString &scenarioPath, QString *baseUrl)
{
    auto *sim = new SimulatorProcess;
    const QString path = unixPath(scenarioPath);
    if (launcher().isEmpty() || path.isEmpty()) {
        qWarning("Simulator: needs Wine and a launcher in TESSALY_SIM_LAUNCHER");
        return sim;
    }
    bool ok = false;
    const QString answer =
        QString::fromUtf8(Simulator::httpExchange("POST", launcher() + QStringLiteral("/start"), path.toUtf8(), &ok));
    const QStringList parts = answer.split(QLatin1Char(' '));
    if (!ok || parts.size() != 2 || !parts.at(1).startsWith(QLatin1String("http://"))) {
        qWarning("Simulator: the launcher did not start it (got \"%s\")", qPrintable(answer));
        return sim;
    }
    sim->id = parts.at(0);
    *baseUrl = parts.at(1);
    return sim;
}

QJsonObject scenarioForSimulator(const QJsonObject &scenario)
{
    QJsonObject files = scenario.value(QLatin1String("files")).toObject();
    const QString root = files.value(QLatin1String("root")).toString();
    if (root.isEmpty() || QDir::isRelativePath(root))
        return scenario;
    files.insert(QStringLiteral("root"), unixPath(root));
    QJsonObject result = scenario;
    result.insert(QStringLiteral("files"), files);
    return result;
}

bool simulatorProcessRunning(const SimulatorProcess &sim)
{
    bool ok = false;
    return !sim.id.isEmpty() &&
        Simulator::httpExchange("GET", launcher() + QStringLiteral("/running?id=") + sim.id, {}, &ok) == "1";
}

void SimulatorProcessDeleter::operator()(SimulatorProcess *sim) const
{
    if (!sim->id.isEmpty()) {
        bool ok = false;
        Simulator::httpExchange("POST", launcher() + QStringLiteral("/stop?id=") + sim->id, {}, &ok);
    }
    delete sim;
}
