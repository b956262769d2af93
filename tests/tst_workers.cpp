// The installer and uninstall workers, each run on a thread of its own as a tile runs it, starting
// copies of the fixture program as real child processes.

#include "core/catalog/uninstallworker.h"
#include "core/catalog/worker.h"
#include "core/catalog/workerthread.h"
#include "support/logcapture.h"
#include "support/probe.h"
#include "support/testfiles.h"

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

// Puts the fixture program at `path`; it exits with `code`.
bool place(const QString &path, const QString &code, bool executable = true)
{
    return TestFiles::write(path, TestFiles::fixture({{"code", code}}), executable);
}

} // namespace

class TstWorkers : public QObject
{
    Q_OBJECT

private slots:
    void outcome_data()
    {
        QTest::addColumn<bool>("unInstall"); // the uninstall tool "tt.exe" beside `path`, else the installer at `path`
        QTest::addColumn<QString>("program"); // its exit code; none: no program
        QTest::addColumn<QString>("path"); // a leading "/" is inside the test's folder
        QTest::addColumn<QString>("result"); // "ok", "failed" or "not started"
        const QString setup = "/Program Files/泰萨 工具/setup file.exe";
        QTest::newRow("installer exits 0") << false << "0" << setup << "ok";
        QTest::newRow("installer exits 1") << false << "1" << setup << "failed";
#ifdef Q_OS_UNIX
        QTest::newRow("installer without execute permission") << false << "0" << setup << "ok";
        QTest::newRow("installer held open for writing") << false << "0" << setup << "ok";
#endif
        QTest::newRow("missing installer") << false << "" << setup << "not started";
        QTest::newRow("empty installer path") << false << "" << QString() << "not started";
        const QString app = "/Tessa App/uninst.exe";
        QTest::newRow("tool exits 0") << true << "0" << app << "ok";
        QTest::newRow("tool exits 1") << true << "1" << app << "failed";
        QTest::newRow("no tool") << true << "" << app << "not started";
        // Paths that name no folder never run a "tt.exe" from the root or from our current directory: an
        // application without "UninstallString" gives "", and "MsiExec.exe /X{GUID}" gives a bare name.
        QTest::newRow("empty uninstaller path") << true << "" << QString() << "not started";
        QTest::newRow("bare name") << true << "" << "uninst.exe" << "not started";
        QTest::newRow("relative folder") << true << "" << "app/uninst.exe" << "not started";
    }

    // One report, from a child started in our current directory: a child sitting in its own folder (the
    // work folder) would keep that folder from being removed on Windows.
    void outcome()
    {
        QFETCH(bool, unInstall);
        QFETCH(QString, program);
        QFETCH(QString, path);
        QFETCH(QString, result);
        const QByteArray tag = QTest::currentDataTag();
        QTemporaryDir dir; // also the current directory
        const auto restore = qScopeGuard([saved = QDir::currentPath()] { QDir::setCurrent(saved); });
        QVERIFY(QDir::setCurrent(dir.path()));
        if (path.startsWith('/'))
            path.prepend(dir.path());
        const QString started = unInstall ? QFileInfo(path).absolutePath() + "/tt.exe" : path;
        QVERIFY(program.isEmpty() || place(started, program, tag != "installer without execute permission"));
        // A relative path or none would reach these tools.
        QVERIFY(place(dir.filePath("tt.exe"), "0") && place(dir.filePath("app/tt.exe"), "0"));

        // Held open for writing (by a child that another thread forked and that has not yet replaced
        // itself), an installer cannot be started at once; the worker tries again until it is released.
        LogCapture log;
        QFile writer(path);
        Probe release([&] {
            if (log.contains("Program file busy, trying again:"))
                writer.close();
        });
        QVERIFY(tag != "installer held open for writing" || writer.open(QIODevice::Append));

        const QList<bool> reports = unInstall ? run(new UnInstallWorker(path), &UnInstallWorker::performUnInstall,
                                                    &UnInstallWorker::unInstallationFinished)
                                              : run(new Worker(path), &Worker::perform, &Worker::actionFinished);
        QCOMPARE(reports, QList<bool>{result == "ok"});
        QCOMPARE(log.contains(QtWarningMsg, "Failed to start installer:"), result == "not started");
        // The folder it was started in, as it noted beside itself.
        QCOMPARE(QString(TestFiles::read(QString(started).replace(".exe", ".log"))).trimmed(),
                 result != "not started" ? QFileInfo(dir.path()).canonicalFilePath() : QString());
    }
};

QTEST_GUILESS_MAIN(TstWorkers)
#include "tst_workers.moc"
