#include "catalog/childprocess.h"

#include "catalog/childprocess_p.h"

#include <QFileInfo>
#include <QProcess>

void prepareChildProcess(QProcess &process, const QString &program)
{
    // An absolute path keeps a bare file name from being looked up in PATH.
    const QFileInfo info(program);
    process.setProgram(program.isEmpty() ? program : info.absoluteFilePath());
    process.setArguments({});
    if (!program.isEmpty())
        process.setWorkingDirectory(info.absolutePath());
    preparePlatformChildProcess(process);
}
