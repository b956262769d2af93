#include "core/app/logoutput.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <cstdio>

#include <windows.h>

namespace {

QtMessageHandler s_previous = nullptr;

void toRedirectedStderr(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    const QByteArray line = qFormatLogMessage(type, context, message).toUtf8() + '\n';
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
    std::fflush(stderr);
    if (s_previous)
        s_previous(type, context, message); // the debugger still gets it, and a fatal message still ends us
}

} // namespace

void installLogOutput()
{
    const HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE)
        return;
    const DWORD type = GetFileType(handle);
    // A console (FILE_TYPE_CHAR) already gets Qt's own output.
    if (type == FILE_TYPE_DISK || type == FILE_TYPE_PIPE)
        s_previous = qInstallMessageHandler(toRedirectedStderr);
}
