#pragma once

#include <QString>

class QProcess;

// Sets `process` up to run `program` as one path with no arguments, in this process's current
// directory (never the program's folder, which the child would otherwise hold open).
// On Windows the child gets a new console and its window is shown (SW_SHOW); elsewhere the file
// gets its owner's execute permission when it lacks it, as a downloaded installer does.
void prepareChildProcess(QProcess &process, const QString &program);

// Starts the prepared process and waits up to timeoutMs (-1: without limit) for it to run.
// A start refused only because the file is still held open for writing is tried again for a
// few seconds: a program this process has just written, such as a downloaded installer, stays
// held by every child that another thread forks until that child has replaced itself.
bool startChildProcess(QProcess &process, int timeoutMs);
