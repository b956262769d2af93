#include "childrun.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTcpServer>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <cstdio>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

ChildRun::Result ChildRun::run(const QString &program, const QProcessEnvironment &env, int timeoutMs)
{
    const QByteArray path = program.toLocal8Bit();
    std::vector<QByteArray> entries;
    for (const QString &entry : env.toStringList())
        entries.push_back(entry.toLocal8Bit());
    std::vector<char *> envp;
    for (QByteArray &entry : entries)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    char *argv[] = {const_cast<char *>(path.constData()), nullptr};

    Result result;
    QElapsedTimer clock;
    clock.start();
    const pid_t pid = fork();
    if (pid < 0)
        return result;
    if (pid == 0) {
        const int devNull = ::open("/dev/null", O_WRONLY);
        if (devNull >= 0) { // the program's own output is not what is measured
            dup2(devNull, STDOUT_FILENO);
            dup2(devNull, STDERR_FILENO);
        }
        execve(path.constData(), argv, envp.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    for (;;) {
        const pid_t ended = wait4(pid, &status, WNOHANG, &usage);
        if (ended == pid)
            break;
        if (ended < 0 || clock.elapsed() > timeoutMs) {
            kill(pid, SIGKILL);
            wait4(pid, &status, 0, &usage);
            std::fprintf(stderr, "%s did not end in time\n", path.constData());
            return result;
        }
        usleep(200);
    }
    result.ms = clock.nsecsElapsed() / 1e6;
    result.maxRssKiB = usage.ru_maxrss; // KiB on Linux
    result.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!result.ok)
        std::fprintf(stderr, "%s failed (status %d)\n", path.constData(), status);
    return result;
}

ChildRun::Spread ChildRun::spread(QVector<double> values)
{
    Spread spread;
    if (values.isEmpty())
        return spread;
    std::sort(values.begin(), values.end());
    spread.median = values.at(values.size() / 2);
    spread.low = values.first();
    spread.high = values.last();
    return spread;
}

QString ChildRun::format(const Spread &spread, int decimals)
{
    return QStringLiteral("%1 (%2-%3)")
        .arg(spread.median, 0, 'f', decimals)
        .arg(spread.low, 0, 'f', decimals)
        .arg(spread.high, 0, 'f', decimals);
}

int ChildRun::freePort()
{
    QTcpServer server;
    return server.listen(QHostAddress::LocalHost, 0) ? server.serverPort() : 0;
}

QString ChildRun::startSimulator(QProcess &process, const QString &simulator, const QString &scenarioFile, int port)
{
    process.start(simulator, {QStringLiteral("--scenario"), scenarioFile, QStringLiteral("--port"),
                              QString::number(port), QStringLiteral("--quiet")});
    if (!process.waitForStarted(10000) || !process.waitForReadyRead(10000))
        return {};
    return QString::fromUtf8(process.readLine()).trimmed();
}
