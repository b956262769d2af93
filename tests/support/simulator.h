#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

#include <memory>

class QTemporaryDir;
struct SimulatorProcess;
struct SimulatorProcessDeleter
{
    void operator()(SimulatorProcess *process) const;
};

// Runs the platform simulator (tools/platform-sim) as a child process for one test and talks to
// its diagnostic paths. The scenario format is described in tools/platform-sim/README.md.
//
//     Simulator sim(QJsonObject {{"users", ...}});
//     QVERIFY(sim.isRunning());
//     sim.useForPlatform();
//     ... exercise the client ...
//     const QJsonArray sent = sim.requests("/user/init/appinit.html");
class Simulator
{
public:
    // Writes the scenario to scenarioDir/scenario.json (or into a private temporary folder) and
    // starts $TESSALY_SIM on a free port; waits at most 10 s for its address. Under Wine the
    // simulator is a Linux program started by the launcher named in $TESSALY_SIM_LAUNCHER.
    explicit Simulator(const QJsonObject &scenario, const QString &scenarioDir = {});
    ~Simulator(); // SIGTERM, then a kill when the simulator has not ended after 3 s

    Simulator(const Simulator &) = delete;
    Simulator &operator=(const Simulator &) = delete;

    bool isRunning() const;
    QString baseUrl() const; // "http://127.0.0.1:PORT"; empty when the start failed

    // Points the program's platform client at this simulator (TESSALY_USER_SERVICE_URL and
    // TESSALY_PLATFORM_URL).
    void useForPlatform() const;

    // The recorded requests, oldest first, optionally only those of one path. Each is an object
    // {"method","path","query","headers": {name: value},"body","time"}.
    QJsonArray requests(const QString &path = {}) const;
    void clearRequests();
    // Replaces the scenario; file roots stay relative to the first scenario's folder. False when the
    // simulator refused it (the reason is logged).
    bool setScenario(const QJsonObject &scenario);

    // The simulator executable: $TESSALY_SIM, else ../bin/tessaly-platform-sim beside the test.
    static QString program();

    // The tests' usual user for "users": "u1", nickname "小泰", no head image, system id "1000", token
    // "tok-1" and expired token "tok-old"; `changes` replaces or adds fields.
    static QJsonObject user(const QJsonObject &changes = {});

    // A header of a recorded request, looked up without regard to case; empty when absent.
    static QString header(const QJsonObject &request, const QString &name);
    // The body of a recorded request parsed as a JSON object (empty when it is not one).
    static QJsonObject jsonBody(const QJsonObject &request);

    // One HTTP exchange with a 5 s bound; the answer's body, *ok false on any failure.
    static QByteArray httpExchange(const QByteArray &verb, const QString &url, const QByteArray &body, bool *ok);

private:
    std::unique_ptr<QTemporaryDir> m_tempDir;
    std::unique_ptr<SimulatorProcess, SimulatorProcessDeleter> m_process;
    QString m_baseUrl;
};
