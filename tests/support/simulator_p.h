#pragma once

#include <QJsonObject>
#include <QString>

// The platform half of Simulator (simulator_unix.cpp / simulator_win.cpp): starting and stopping
// the simulator process for one scenario file.
struct SimulatorProcess;

// Starts the simulator for the scenario and waits at most 10 s for its address (*baseUrl, left
// empty when the start failed). Never null.
SimulatorProcess *startSimulatorProcess(const QString &scenarioPath, QString *baseUrl);

bool simulatorProcessRunning(const SimulatorProcess &process);

// The scenario with its file paths ("files"/"root") as the simulator's own system names them.
QJsonObject scenarioForSimulator(const QJsonObject &scenario);
