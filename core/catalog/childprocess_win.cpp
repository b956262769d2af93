#include "core/catalog/childprocess_p.h"

#include <QProcess>

#include <windows.h>

// A new console, and a window shown in its current size and position (SW_SHOW, not SW_SHOWNORMAL).
void preparePlatformChildProcess(QProcess &process)
{
    process.setCreateProcessArgumentsModifier([](QProcess::CreateProcessArguments *args) {
        args->flags |= CREATE_NEW_CONSOLE;
        args->startupInfo->dwFlags |= STARTF_USESHOWWINDOW;
        args->startupInfo->wShowWindow = SW_SHOW;
    });
}

// No child inherits the handles of our files on Windows, so no other start holds a written file open.
bool startFailedOnBusyFile(const QProcess &)
{
    return false;
}
