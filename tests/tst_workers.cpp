#include "core/catalog/uninstallworker.h"
#include "core/catalog/worker.h"
#include "support/fixtureprogram.h"
#include "support/logcapture.h"
#include "support/probe.h"

#include <QAtomicPointer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <functional>

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

    if (!QTest::qWaitFor([&outcome] { return !outcome.results.isEmpty(); }, 10000))
        qWarning("The worker did not report within 10 s");

    thread.quit();
    thread.wait();
    // Anything still queued for the receiver arrives now; a second report would show up here.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    outcome.emittedOn = emittedOn.loadRelaxed();
    return outcome;
}

Outcome runWorker(const QString &path)
{
    return runInThread(new Worker(path), &Worker::perform, &Worker::actionFinished);
}

Outcome runUnInstallWorker(const QString &unInstallerPath)
{
    return runInThread(new UnInstallWorker(unInstallerPath), &UnInstallWorker::performUnInstall,
                       &UnInstallWorker::unInstallationFinished);
}

// Puts what a row names at `target`: "exit N", the fixture program that notes the folder it ran in
// ("ran_in.txt" beside itself) and exits with N; "crash"; "text", no program; "/", a folder; "", nothing.
bool place(const QString &what, const QString &target, bool executable = true)
{
    if (what.isEmpty() || what == QLatin1String("/"))
        return what.isEmpty() || QDir().mkpath(target);
    const FixtureProgram::Config config{{"role", what.section(' ', 0, 0)}, {"code", what.section(' ', 1)}};
    return FixtureProgram::write(
        target, what == QLatin1String("text") ? QByteArray("no program") : FixtureProgram::make(config), executable);
}

// The folder a fixture program noted in "ran_in.txt" beside itself; empty when it did not run.
QString ranIn(const QString &folder)
{
    QFile file(folder + QStringLiteral("/ran_in.txt"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed() : QString();
}

enum Result { Succeeded, Failed, NotStarted };

} // namespace

Q_DECLARE_METATYPE(Result)

class TstWorkers : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void installerOutcome_data();
    void installerOutcome();
    void unInstallToolOutcome_data();
    void unInstallToolOutcome();

private:
    void checkOutcome(const std::function<Outcome()> &run, const QString &folder);

    QScopedPointer<QTemporaryDir> m_dir;
    // Every test runs with a current directory of its own, apart from the programs it starts.
    QString m_currentDir;
    QString m_savedCurrentDir;
    QScopedPointer<LogCapture> m_log;
};

void TstWorkers::init()
{
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
    m_currentDir = m_dir->filePath(QStringLiteral("current"));
    QVERIFY(QDir().mkpath(m_currentDir));
    m_savedCurrentDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_currentDir));
    m_log.reset(new LogCapture);
}

void TstWorkers::cleanup()
{
    QDir::setCurrent(m_savedCurrentDir);
    m_log.reset();
}

// One report, received on this thread, sent from the worker's. A program that ran noted our current
// directory: a child sitting in the work folder would keep that folder from being removed on Windows.
void TstWorkers::checkOutcome(const std::function<Outcome()> &run, const QString &folder)
{
    QFETCH(QString, program);
    QFETCH(Result, result);
    const Outcome outcome = run();
    QCOMPARE(outcome.results, QList<bool>{result == Succeeded});
    QCOMPARE(outcome.receivedOn, QThread::currentThread());
    QVERIFY(outcome.emittedOn && outcome.emittedOn != QThread::currentThread());
    QCOMPARE(m_log->contains(QtWarningMsg, QStringLiteral("Failed to start installer:")), result == NotStarted);
    QCOMPARE(ranIn(folder),
             program.startsWith(QLatin1String("exit")) ? QFileInfo(m_currentDir).canonicalFilePath() : QString());
}

void TstWorkers::installerOutcome_data()
{
    QTest::addColumn<QString>("program"); // see place()
    QTest::addColumn<bool>("executable");
    QTest::addColumn<QString>("path");
    QTest::addColumn<Result>("result");
    const QString setup = QStringLiteral("temp_1/setup.exe");
    QTest::newRow("exit 0") << "exit 0" << true << setup << Succeeded;
    QTest::newRow("exit 1 after doing its work") << "exit 1" << true << setup << Failed;
    QTest::newRow("crash") << "crash" << true << setup << Failed;
#ifdef Q_OS_UNIX
    QTest::newRow("without execute permission") << "exit 0" << false << setup << Succeeded;
    QTest::newRow("held open for writing") << "exit 0" << true << setup << Succeeded;
#endif
    QTest::newRow("spaces in path") << "exit 0" << true << "Program Files/泰萨 工具/setup file.exe" << Succeeded;
    QTest::newRow("missing file") << QString() << true << setup << NotStarted;
    QTest::newRow("folder") << "/" << true << setup << NotStarted;
    QTest::newRow("not a program") << "text" << true << setup << NotStarted;
    QTest::newRow("empty path") << QString() << true << QString() << NotStarted;
}

void TstWorkers::installerOutcome()
{
    QFETCH(QString, program);
    QFETCH(bool, executable);
    QFETCH(QString, path);
    const QString installer = path.isEmpty() ? QString() : m_dir->filePath(path);
    QVERIFY(place(program, installer, executable));
    // Held open for writing (by a child that another thread forked and that has not yet replaced
    // itself), an installer cannot be started at once; the worker tries again until it is released.
    QFile writer(installer);
    Probe release([&] {
        if (m_log->contains(QStringLiteral("Program file busy, trying again:")))
            writer.close();
    });
    if (QLatin1String(QTest::currentDataTag()) == QLatin1String("held open for writing"))
        QVERIFY(writer.open(QIODevice::Append));

    checkOutcome([&] { return runWorker(installer); }, QFileInfo(m_dir->filePath(path)).absolutePath());
}

void TstWorkers::unInstallToolOutcome_data()
{
    QTest::addColumn<QString>("uninstaller"); // a leading "/" is inside the test's folder
    QTest::addColumn<QString>("program"); // "tt.exe" beside it, see place()
    QTest::addColumn<bool>("executable");
    QTest::addColumn<Result>("result");
    const QString app = QStringLiteral("/Tessa App/uninst.exe");
    QTest::newRow("exit 0") << app << "exit 0" << true << Succeeded;
    QTest::newRow("exit 1") << app << "exit 1" << true << Failed;
#ifdef Q_OS_UNIX
    QTest::newRow("without execute permission") << app << "exit 0" << false << Succeeded;
#endif
    QTest::newRow("no tool") << app << QString() << true << NotStarted;
    // Paths that name no folder never run a "tt.exe" from the root or from our current directory: an
    // application without "UninstallString" gives "", and "MsiExec.exe /X{GUID}" gives a bare name.
    QTest::newRow("empty path") << QString() << QString() << true << NotStarted;
    QTest::newRow("bare name") << "uninst.exe" << QString() << true << NotStarted;
    QTest::newRow("relative folder") << "app/uninst.exe" << QString() << true << NotStarted;
}

void TstWorkers::unInstallToolOutcome()
{
    QFETCH(QString, uninstaller);
    QFETCH(QString, program);
    QFETCH(bool, executable);
    // The registry's uninstaller only names the folder that holds "tt.exe"; a decoy there must not run.
    const QString folder = m_dir->filePath(QStringLiteral("Tessa App"));
    QVERIFY(place(QStringLiteral("crash"), folder + QStringLiteral("/uninst.exe")));
    QVERIFY(place(program, folder + QStringLiteral("/tt.exe"), executable));
    // The tools a relative path would reach.
    for (const char *name : {"tt.exe", "app/tt.exe", "app/uninst.exe"})
        QVERIFY(place(QStringLiteral("exit 0"), m_currentDir + QLatin1Char('/') + QLatin1String(name)));
    if (uninstaller.startsWith(QLatin1Char('/')))
        uninstaller.prepend(m_dir->path());

    checkOutcome([&] { return runUnInstallWorker(uninstaller); }, folder);
    QCOMPARE(ranIn(m_currentDir), QString());
    QCOMPARE(ranIn(m_currentDir + QStringLiteral("/app")), QString());
}

QTEST_GUILESS_MAIN(TstWorkers)
#include "tst_workers.moc"
