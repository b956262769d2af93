#pragma once

class QProcess;

// The platform half of prepareChildProcess (childprocess_win.cpp / _unix.cpp); runs after the
// program and arguments are set.
void preparePlatformChildProcess(QProcess &process);

// Whether the last start of `process` failed only because its file was open for writing.
bool startFailedOnBusyFile(const QProcess &process);
