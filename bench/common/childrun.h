#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QVector>

// Running a program to its end, measured from its start: wall time to the line "first paint" on its
// standard output (the program and the reference print it once their window has been painted), wall
// time to its end, and the child's own peak resident memory (wait4's rusage, so nothing of the runner
// is counted). Linux only.
namespace ChildRun {

struct Result
{
    bool ok = false; // started, printed "first paint" and ended with status 0
    double ms = 0; // to the first paint
    double exitMs = 0; // to the end
    double maxRssKiB = 0;
};

Result run(const QString &program, const QProcessEnvironment &env, int timeoutMs = 120000);

struct Spread
{
    double median = 0;
    double low = 0;
    double high = 0;
};

Spread spread(QVector<double> values);

// "median (low–high)" with the given precision.
QString format(const Spread &spread, int decimals = 1);

// Starts the platform simulator for a scenario file on `port` (0: any free one); returns its base
// address, empty on failure.
QString startSimulator(class QProcess &process, const QString &simulator, const QString &scenarioFile, int port = 0);
// The program's environment for a measured run: offscreen, quitting after its first paint, its settings,
// data, registry and temporary files in `home`, no debug lines.
QProcessEnvironment environment(const QString &home);

// A copy of the program in `folder` (so that its icon folder is the caller's own); empty on failure.
QString copyProgram(const QString &binDir, const QString &folder);

// A loopback port that was free a moment ago, for a scenario that must name its own address.
int freePort();

} // namespace ChildRun
