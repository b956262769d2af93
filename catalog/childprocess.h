#pragma once

#include <QString>

class QProcess;

// Sets `process` up to run `program` as one path with no arguments, in this process's current
// directory (never the program's folder, which the child would otherwise hold open).
// On Windows the child gets a new console and its window is shown (SW_SHOW); elsewhere the file
// gets its owner's execute permission when it lacks it, as a downloaded installer does.
void prepareChildProcess(QProcess &process, const QString &program);
