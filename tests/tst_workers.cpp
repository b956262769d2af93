#include "catalog/uninstallworker.h"
#include "catalog/worker.h"
#include "support/logcapture.h"

#include <QAtomicPointer>
#include <QDir>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>
#include <QPointer>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

namespace {

struct Outcome
{
    QList<bool> results; // every report, as the receiver saw it
    QThread *receivedOn = nullptr;
    QThread *emittedOn = nullptr;
};

// Runs `worker` the way a tile does: on a thread of its own, started by the thread's `started`,
// reporting to a receiver on this thread through a queued signal.
template <typename W, typename Perform, typename Signal> Outcome runInThread(W *worker, Perform perform, Signal signal)
{
    Outcome outcome;
    QThread thread;
    QObject receiver;
    QAtomicPointer<QThread> emittedOn;
    worker->moveToThread(&thread);
    QObject::connect(&thread, &QThread::started, worker, perform);
    QObject::connect(&thread, &QThread::finished, worker, &QObject::deleteLater);
    QObject::connect(
        worker, signal, worker, [&emittedOn](bool) { emittedOn.storeRelaxed(QThread::currentThread()); },
        Qt::DirectConnection);
    QObject::connect(worker, signal, &receiver, [&outcome](bool success) {
        outcome.results.append(success);
        outcome.receivedOn = QThread::currentThread();
    });
    thread.start();

    QElapsedTimer timer;
    timer.start();
    while (outcome.results.isEmpty() && timer.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);

    thread.quit();
    thread.wait();
    // Anything still queued for the receiver arrives now; a second report would show up here.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    outcome.emittedOn = emittedOn.loadRelaxed();
    return outcome;
}

Outcome runWorker(const QString &path, int startTimeoutMs = 30000)
{
    return runInThread(new Worker(path, nullptr, startTimeoutMs), &Worker::perform, &Worker::actionFinished);
}

Outcome runUnInstallWorker(const QString &unInstallerPath)
{
    return runInThread(new UnInstallWorker(unInstallerPath), &UnInstallWorker::performUnInstall,
                       &UnInstallWorker::unInstallationFinished);
}

QString fixture(const QString &name)
{
    return QStringLiteral(TESSALY_TEST_FIXTURES "/catalog/") + name;
}

// Copies a fixture to `target` and gives it exactly `permissions`.
bool installFixture(const QString &name, const QString &target,
                    QFileDevice::Permissions permissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                        QFileDevice::ExeOwner)
{
    QDir().mkpath(QFileInfo(target).absolutePath());
    return QFile::copy(fixture(name), target) && QFile::setPermissions(target, permissions);
}

QString readTrimmed(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll()).trimmed();
}

QString canonical(const QString &path)
{
    return QFileInfo(path).canonicalFilePath();
}

} // namespace

class TstWorkers : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void installerExitCode_data();
    void installerExitCode();
    void installerCrashFails();
    void installerWithoutExecutePermissionRuns();
    void installerPathWithSpacesIsOnePath();
    void installerThatCannotStart_data();
    void installerThatCannotStart();
    void shortStartWaitStillRunsInstaller();

    void unInstallToolExitCode_data();
    void unInstallToolExitCode();
    void unInstallToolWithoutExecutePermissionRuns();
    void missingUnInstallTool();
    void unInstallerPathWithoutFolderRunsNothing_data();
    void unInstallerPathWithoutFolderRunsNothing();

private:
    QScopedPointer<QTemporaryDir> m_dir;
    // Every test runs with a current directory of its own, apart from the programs it starts.
    QString m_currentDir;
    QString m_savedCurrentDir;
};

void TstWorkers::init()
{
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
    m_currentDir = m_dir->filePath(QStringLiteral("current"));
    QVERIFY(QDir().mkpath(m_currentDir));
    m_savedCurrentDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_currentDir));
}

void TstWorkers::cleanup()
{
    QDir::setCurrent(m_savedCurrentDir);
}

void TstWorkers::installerExitCode_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<bool>("expected");
    QTest::newRow("exit 0") << "exit_ok.sh" << true;
    QTest::newRow("exit 1 after doing its work") << "exit_fail.sh" << false;
}

void TstWorkers::installerExitCode()
{
    QFETCH(QString, script);
    QFETCH(bool, expected);
    const QString folder = m_dir->filePath(QStringLiteral("temp_1"));
    const QString installer = folder + QStringLiteral("/setup.exe");
    QVERIFY(installFixture(script, installer));

    const Outcome outcome = runWorker(installer);
    QCOMPARE(outcome.results, QList<bool>{expected});
    QCOMPARE(outcome.receivedOn, QThread::currentThread());
    QVERIFY(outcome.emittedOn);
    QVERIFY(outcome.emittedOn != QThread::currentThread());
    // The installer ran, whatever it reported, in the current directory of the program that started it:
    // a child sitting in the work folder would keep that folder from being removed on Windows.
    QCOMPARE(readTrimmed(folder + QStringLiteral("/ran_in.txt")), canonical(QDir::currentPath()));
    QCOMPARE(canonical(QDir::currentPath()), canonical(m_currentDir));
}

void TstWorkers::installerCrashFails()
{
    const QString installer = m_dir->filePath(QStringLiteral("setup.exe"));
    QVERIFY(installFixture(QStringLiteral("crash.sh"), installer));

    QCOMPARE(runWorker(installer).results, QList<bool>{false});
}

void TstWorkers::installerWithoutExecutePermissionRuns()
{
    // A downloaded installer is written without execute permission.
    const QString installer = m_dir->filePath(QStringLiteral("setup.exe"));
    QVERIFY(installFixture(QStringLiteral("exit_ok.sh"), installer, QFileDevice::ReadOwner | QFileDevice::WriteOwner));

    QCOMPARE(runWorker(installer).results, QList<bool>{true});
    QVERIFY(QFile::exists(m_dir->filePath(QStringLiteral("ran_in.txt"))));
}

void TstWorkers::installerPathWithSpacesIsOnePath()
{
    const QString folder = m_dir->filePath(QStringLiteral("Program Files/泰萨 工具"));
    const QString installer = folder + QStringLiteral("/setup file.exe");
    QVERIFY(installFixture(QStringLiteral("exit_ok.sh"), installer));

    QCOMPARE(runWorker(installer).results, QList<bool>{true});
    QCOMPARE(readTrimmed(folder + QStringLiteral("/ran_in.txt")), canonical(m_currentDir));
}

void TstWorkers::installerThatCannotStart_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("missing file") << "missing";
    QTest::newRow("folder") << "folder";
    QTest::newRow("not a program") << "text";
    QTest::newRow("empty path") << "empty";
}

void TstWorkers::installerThatCannotStart()
{
    QFETCH(QString, kind);
    QString path = m_dir->filePath(QStringLiteral("setup.exe"));
    if (kind == QLatin1String("folder"))
        QVERIFY(QDir().mkpath(path));
    else if (kind == QLatin1String("text"))
        QVERIFY(installFixture(QStringLiteral("not_a_program.txt"), path));
    else if (kind == QLatin1String("empty"))
        path.clear();

    LogCapture warnings;
    const Outcome outcome = runWorker(path);
    QCOMPARE(outcome.results, QList<bool>{false});
    QCOMPARE(outcome.receivedOn, QThread::currentThread());
    QVERIFY(warnings.contains(QtWarningMsg, QStringLiteral("Failed to start installer:")));
}

void TstWorkers::shortStartWaitStillRunsInstaller()
{
    // The start wait is a parameter; a program that starts at once needs far less than the default.
    const QString installer = m_dir->filePath(QStringLiteral("setup.exe"));
    QVERIFY(installFixture(QStringLiteral("exit_ok.sh"), installer));

    QCOMPARE(runWorker(installer, 2000).results, QList<bool>{true});
}

void TstWorkers::unInstallToolExitCode_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<bool>("expected");
    QTest::newRow("exit 0") << "exit_ok.sh" << true;
    QTest::newRow("exit 1") << "exit_fail.sh" << false;
}

void TstWorkers::unInstallToolExitCode()
{
    QFETCH(QString, script);
    QFETCH(bool, expected);
    // The uninstaller named by the registry need not exist; its folder holds the tool.
    const QString folder = m_dir->filePath(QStringLiteral("Tessa App"));
    QVERIFY(installFixture(script, folder + QStringLiteral("/tt.exe")));
    // A decoy beside the uninstaller's name must not be what runs.
    QVERIFY(installFixture(QStringLiteral("crash.sh"), folder + QStringLiteral("/uninst.exe")));

    const Outcome outcome = runUnInstallWorker(folder + QStringLiteral("/uninst.exe"));
    QCOMPARE(outcome.results, QList<bool>{expected});
    QCOMPARE(outcome.receivedOn, QThread::currentThread());
    QVERIFY(outcome.emittedOn);
    QVERIFY(outcome.emittedOn != QThread::currentThread());
    // The tool ran from the uninstaller's folder, in the current directory of the program.
    QCOMPARE(readTrimmed(folder + QStringLiteral("/ran_in.txt")), canonical(m_currentDir));
}

void TstWorkers::unInstallToolWithoutExecutePermissionRuns()
{
    const QString folder = m_dir->filePath(QStringLiteral("app"));
    QVERIFY(installFixture(QStringLiteral("exit_ok.sh"), folder + QStringLiteral("/tt.exe"),
                           QFileDevice::ReadOwner | QFileDevice::WriteOwner));

    QCOMPARE(runUnInstallWorker(folder + QStringLiteral("/uninst.exe")).results, QList<bool>{true});
}

void TstWorkers::missingUnInstallTool()
{
    const QString folder = m_dir->filePath(QStringLiteral("app"));
    QVERIFY(installFixture(QStringLiteral("exit_ok.sh"), folder + QStringLiteral("/uninst.exe")));

    LogCapture warnings;
    QCOMPARE(runUnInstallWorker(folder + QStringLiteral("/uninst.exe")).results, QList<bool>{false});
    QVERIFY(warnings.contains(QtWarningMsg, QStringLiteral("Failed to start installer:")));
    QVERIFY(!QFile::exists(folder + QStringLiteral("/ran_in.txt")));
}

void TstWorkers::unInstallerPathWithoutFolderRunsNothing_data()
{
    QTest::addColumn<QString>("unInstallerPath");
    // An application without "UninstallString" yields an empty path.
    QTest::newRow("empty") << QString();
    // "MsiExec.exe /X{GUID}" leaves "MsiExec.exe": a bare name, resolved against our current directory.
    QTest::newRow("bare name") << QStringLiteral("uninst.exe");
    QTest::newRow("relative folder") << QStringLiteral("app/uninst.exe");
}

// A path that names no folder of its own never runs a "tt.exe" found from the current directory.
void TstWorkers::unInstallerPathWithoutFolderRunsNothing()
{
    QFETCH(QString, unInstallerPath);
    // The tools a relative path would reach, and one at the root for the empty path.
    QVERIFY(installFixture(QStringLiteral("exit_ok.sh"), m_currentDir + QStringLiteral("/tt.exe")));
    QVERIFY(installFixture(QStringLiteral("exit_ok.sh"), m_currentDir + QStringLiteral("/app/tt.exe")));
    QVERIFY(installFixture(QStringLiteral("exit_ok.sh"), m_currentDir + QStringLiteral("/app/uninst.exe")));

    LogCapture warnings;
    QCOMPARE(runUnInstallWorker(unInstallerPath).results, QList<bool>{false});
    QVERIFY(warnings.contains(QtWarningMsg, QStringLiteral("Failed to start installer:")));
    QVERIFY(!QFile::exists(m_currentDir + QStringLiteral("/ran_in.txt")));
    QVERIFY(!QFile::exists(m_currentDir + QStringLiteral("/app/ran_in.txt")));
}

QTEST_GUILESS_MAIN(TstWorkers)
#include "tst_workers.moc"
