// The installer and uninstall workers, each run on a thread of its own as a tile runs it, starting
// copies of the fixture program as real child processes.

#include "core/catalog/uninstallworker.h"
#include "core/catalog/worker.h"
#include "core/catalog/workerthread.h"
#include "support/fixtureprogram.h"
#include "support/logcapture.h"
#include "support/probe.h"

#include <QDir>
#include <QFile>
#include <QPointer>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Every report the worker made, once its thread has ended.
template <typename W> QList<bool> run(W *worker, void (W::*perform)(), void (W::*finished)(bool))
{
    QList<bool> reports;
    QObject context;
    WorkerThread::start(worker, perform, finished, &context, [&reports](bool success) { reports << success; });
    QPointer<QThread> thread = context.findChild<QThread *>();
    if (!QTest::qWaitFor([&thread] { return thread.isNull(); }, 10000))
        qWarning("The worker did not end within 10 s");
    QCoreApplication::processEvents(); // a second report would arrive now
    WorkerThread::release(&context);
    return reports;
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

} // namespace

class TstWorkers : public QObject
{
    Q_OBJECT

private slots:
    void outcome_data();
    void outcome();
};

void TstWorkers::outcome_data()
{
    QTest::addColumn<bool>("unInstall"); // the uninstall tool "tt.exe" beside `path`, else the installer at `path`
    QTest::addColumn<QString>("program"); // see place()
    QTest::addColumn<bool>("executable");
    QTest::addColumn<QString>("path"); // a leading "/" is inside the test's folder
    QTest::addColumn<QString>("result"); // "ok", "failed" or "not started"
    const QString setup = QStringLiteral("/temp_1/setup.exe");
    QTest::newRow("installer exits 0") << false << "exit 0" << true << setup << "ok";
    QTest::newRow("installer exits 1") << false << "exit 1" << true << setup << "failed";
    QTest::newRow("installer crashes") << false << "crash" << true << setup << "failed";
#ifdef Q_OS_UNIX
    QTest::newRow("installer without execute permission") << false << "exit 0" << false << setup << "ok";
    QTest::newRow("installer held open for writing") << false << "exit 0" << true << setup << "ok";
#endif
    QTest::newRow("spaces in path") << false << "exit 0" << true << "/Program Files/泰萨 工具/setup file.exe" << "ok";
    QTest::newRow("missing installer") << false << QString() << true << setup << "not started";
    QTest::newRow("folder") << false << "/" << true << setup << "not started";
    QTest::newRow("not a program") << false << "text" << true << setup << "not started";
    QTest::newRow("empty installer path") << false << QString() << true << QString() << "not started";

    const QString app = QStringLiteral("/Tessa App/uninst.exe");
    QTest::newRow("tool exits 0") << true << "exit 0" << true << app << "ok";
    QTest::newRow("tool exits 1") << true << "exit 1" << true << app << "failed";
#ifdef Q_OS_UNIX
    QTest::newRow("tool without execute permission") << true << "exit 0" << false << app << "ok";
#endif
    QTest::newRow("no tool") << true << QString() << true << app << "not started";
    // Paths that name no folder never run a "tt.exe" from the root or from our current directory: an
    // application without "UninstallString" gives "", and "MsiExec.exe /X{GUID}" gives a bare name.
    QTest::newRow("empty uninstaller path") << true << QString() << true << QString() << "not started";
    QTest::newRow("bare name") << true << QString() << true << "uninst.exe" << "not started";
    QTest::newRow("relative folder") << true << QString() << true << "app/uninst.exe" << "not started";
}

// One report, from a child started in our current directory: a child sitting in the work folder
// would keep that folder from being removed on Windows.
void TstWorkers::outcome()
{
    QFETCH(bool, unInstall);
    QFETCH(QString, program);
    QFETCH(bool, executable);
    QFETCH(QString, path);
    QFETCH(QString, result);
    QTemporaryDir dir;
    const QString current = dir.filePath(QStringLiteral("current"));
    const QString savedCurrent = QDir::currentPath();
    QVERIFY(QDir().mkpath(current) && QDir::setCurrent(current));
    const auto restore = qScopeGuard([&] { QDir::setCurrent(savedCurrent); });
    if (path.startsWith(QLatin1Char('/')))
        path.prepend(dir.path());
    const QString folder = QFileInfo(path).absolutePath();
    QVERIFY(place(program, unInstall ? folder + QStringLiteral("/tt.exe") : path, executable));
    // The uninstaller only names the folder that holds "tt.exe": neither a decoy there nor the tools a
    // relative path would reach may run.
    if (unInstall && path.startsWith(dir.path()))
        QVERIFY(place(QStringLiteral("crash"), path));
    for (const char *name : {"tt.exe", "app/tt.exe", "app/uninst.exe"})
        QVERIFY(place(QStringLiteral("exit 0"), current + QLatin1Char('/') + QLatin1String(name)));

    // Held open for writing (by a child that another thread forked and that has not yet replaced
    // itself), an installer cannot be started at once; the worker tries again until it is released.
    LogCapture log;
    QFile writer(path);
    Probe release([&] {
        if (log.contains(QStringLiteral("Program file busy, trying again:")))
            writer.close();
    });
    if (QTest::currentDataTag() == QLatin1String("installer held open for writing"))
        QVERIFY(writer.open(QIODevice::Append));

    const QList<bool> reports = unInstall
        ? run(new UnInstallWorker(path), &UnInstallWorker::performUnInstall, &UnInstallWorker::unInstallationFinished)
        : run(new Worker(path), &Worker::perform, &Worker::actionFinished);
    QCOMPARE(reports, QList<bool>{result == QLatin1String("ok")});
    QCOMPARE(log.contains(QtWarningMsg, QStringLiteral("Failed to start installer:")), result == QLatin1String("not started"));
    QCOMPARE(ranIn(folder), program.startsWith(QLatin1String("exit")) ? QFileInfo(current).canonicalFilePath() : QString());
    QCOMPARE(ranIn(current), QString());
    QCOMPARE(ranIn(current + QStringLiteral("/app")), QString());
}

QTEST_GUILESS_MAIN(TstWorkers)
#include "tst_workers.moc"
