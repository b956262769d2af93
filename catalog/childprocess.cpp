#include "catalog/childprocess.h"

#include "catalog/childprocess_p.h"

#include <QFileInfo>
#include <QProcess>

void prepareChildProcess(QProcess &process, const QString &program)
{
    // An absolute path keeps a bare file name from being looked up in PATH.
    process.setProgram(program.isEmpty() ? program : QFileInfo(program).absoluteFilePath());
    process.setArguments({});
    // No working directory of its own: a child started in its folder would hold that folder open
    // (on Windows it could then not be removed, e.g. an installer's work folder), so it inherits ours.
    preparePlatformChildProcess(process);
}
