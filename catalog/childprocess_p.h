#pragma once

class QProcess;

// The platform half of prepareChildProcess (childprocess_win.cpp / _unix.cpp); runs after the
// program and arguments are set.
void preparePlatformChildProcess(QProcess &process);
