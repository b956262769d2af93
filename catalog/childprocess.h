#pragma once

#include <QString>

class QProcess;

// Sets `process` up to run `program` as one path with no arguments, in the program's own folder.
// On Windows the child gets a new console and its window is shown (SW_SHOW); elsewhere the file
// gets its owner's execute permission when it lacks it, as a downloaded installer does.
void prepareChildProcess(QProcess &process, const QString &program);
