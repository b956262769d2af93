#include "childrun.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
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
    int output[2];
    if (pipe(output) != 0)
        return result;
    QElapsedTimer clock;
    clock.start();
    const pid_t pid = fork();
    if (pid < 0) {
        close(output[0]);
        close(output[1]);
        return result;
    }
    if (pid == 0) {
        // Standard output tells the first paint; the rest of what the program writes is not measured.
        dup2(output[1], STDOUT_FILENO);
        close(output[0]);
        close(output[1]);
        const int devNull = ::open("/dev/null", O_WRONLY);
        if (devNull >= 0)
            dup2(devNull, STDERR_FILENO);
        execve(path.constData(), argv, envp.data());
        _exit(127);
    }
    close(output[1]);
    fcntl(output[0], F_SETFL, O_NONBLOCK);
    QByteArray printed;
    const auto readPrinted = [&] {
        char buffer[4096];
        ssize_t size = 0;
        while ((size = read(output[0], buffer, sizeof buffer)) > 0)
            printed.append(buffer, int(size));
        if (result.ms == 0 && printed.contains("first paint\n"))
            result.ms = clock.nsecsElapsed() / 1e6;
    };
    int status = 0;
    rusage usage{};
    for (;;) {
        readPrinted();
        const pid_t ended = wait4(pid, &status, WNOHANG, &usage);
        if (ended == pid)
            break;
        if (ended < 0 || clock.elapsed() > timeoutMs) {
            kill(pid, SIGKILL);
            wait4(pid, &status, 0, &usage);
            close(output[0]);
            std::fprintf(stderr, "%s did not end in time\n", path.constData());
            return result;
        }
        usleep(200);
    }
    result.exitMs = clock.nsecsElapsed() / 1e6;
    readPrinted();
    close(output[0]);
    result.maxRssKiB = usage.ru_maxrss; // KiB on Linux
    result.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0 && result.ms > 0;
    if (!result.ok)
        std::fprintf(stderr, "%s failed (status %d%s)\n", path.constData(), status,
                     result.ms > 0 ? "" : ", no first paint printed");
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

QProcessEnvironment ChildRun::environment(const QString &home)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("TESSALY_QUIT_WHEN_SHOWN"), QStringLiteral("1"));
    env.insert(QStringLiteral("TESSALY_AUTO_ANSWER_NOTICES"), QStringLiteral("1"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/data"));
    env.insert(QStringLiteral("TESSALY_REGISTRY_ROOT"), home + QStringLiteral("/registry"));
    // The single-instance keys are files in the temporary folder: a folder of the run's own keeps a copy
    // that another bench or session runs meanwhile from making this one leave as "already running".
    QDir().mkpath(home + QStringLiteral("/tmp"));
    env.insert(QStringLiteral("TMPDIR"), home + QStringLiteral("/tmp"));
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("*.debug=false"));
    return env;
}

QString ChildRun::copyProgram(const QString &binDir, const QString &folder)
{
    const QString original = binDir + QStringLiteral("/tessaly");
    const QString copy = folder + QStringLiteral("/tessaly");
    if (!QDir().mkpath(folder) || !QFile::copy(original, copy) ||
        !QFile::setPermissions(copy, QFile::permissions(original))) {
        std::fprintf(stderr, "cannot copy the program to %s\n", qPrintable(folder));
        return {};
    }
    return copy;
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
