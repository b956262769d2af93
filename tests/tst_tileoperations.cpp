// A catalog tile's operations, without the tile: installers downloaded over real HTTP from the platform
// simulator and run as real child processes, the file-backed uninstall registry, launches and the
// uninstall tool. The installer, the installed program and the uninstall tool are copies of the fixture
// program (tests/fixtures/program, see README.md).

#include "core/base/apppaths.h"
#include "core/catalog/tileoperations.h"
#include "core/catalog/tiletexts.h"
#include "core/catalog/uninstallregistry.h"
#include "support/logcapture.h"
#include "support/simulator.h"
#include "support/testfiles.h"
#include "support/testregistry.h"

#include <QtTest>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

class TileOperationsTest : public QObject
{
    Q_OBJECT

    static constexpr int kWaitMs = 10000;
    const QString appName = "tileapp";

    // m_dir holds the program's folder (with its "temp"), the application's folder "app", where the
    // installer puts it and where it and its tools note every start, and the simulator's "files".
    std::unique_ptr<Simulator> m_sim;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QObject> m_owner; // of every test's operations

    QString path(const QString &name) const { return m_dir->filePath(name); }
    QString appFile(const QString &file) const { return path("app/" + file); }
    int lines(const QString &file) const { return TestFiles::read(appFile(file)).count('\n'); }
    QStringList workFolders() const { return QDir(path("temp")).entryList({"temp_*"}, QDir::Dirs); }

    QByteArray installer(const QString &version, int code = 0, bool hold = false) const
    {
        return TestFiles::fixture({{"role", "installer"}, {"app", path("app")}, {"hold", hold ? path("hold") : ""},
                                   {"name", appName}, {"version", version}, {"code", QString::number(code)}});
    }

    // Installs the application by running its installer directly, as if done before the program started.
    bool installDirectly(const QString &version)
    {
        const QString program = path("direct-installer.exe");
        return TestFiles::write(program, installer(version), true) && QProcess::execute(program, {}) == 0 &&
            QFile::remove(appFile("installer.log"));
    }

    // The operations of a tile offering version 2.0.0.0 from `fileName`, in the state the registry gives.
    // A broken download is taken up again three times, at once.
    TileOperations *operations(const QString &fileName = "inst.exe", const QString &sha256 = {})
    {
        auto *operations = new TileOperations(m_owner.get());
        const bool installed = isSoftwareInstalled(appName);
        operations->setApplication(m_sim->baseUrl() + "/files/" + fileName, appName, installed,
                                   installed && getDisplayVersion(appName) != "2.0.0.0", sha256);
        operations->setDownloadRetryDelays({0, 0, 0});
        return operations;
    }

private slots:
    void initTestCase()
    {
        qRegisterMetaType<TileOperations::Operation>();
        m_sim = std::make_unique<Simulator>(QJsonObject{});
        QVERIFY(m_sim->isRunning());
    }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        AppPaths::setAppDirForTesting(m_dir->path());
        // The simulator serves "files". The hostile name "..\..\evil.exe" is redirected to "inst.exe";
        // "stall.exe" stops sending after 4 KiB, "once.exe" drops after 4 KiB the first time only;
        // "hang.exe" never answers.
        const QJsonObject redirects{{"/files/..\\..\\evil.exe", "/files/inst.exe"}};
        const QJsonObject faults{{"/files/hang.exe", QJsonObject{{"kind", "hang"}}}};
        QVERIFY(m_sim->setScenario({{"files", QJsonObject{{"root", path("files")},
                                                          {"redirects", redirects},
                                                          {"stalls", QJsonObject{{"/files/stall.exe", 4096}}},
                                                          {"drops", QJsonObject{{"/files/once.exe", QJsonObject{{"bytes", 4096}, {"times", 1}}}}}}},
                                    {"faults", faults}}));
        QVERIFY(QDir().mkpath(path("app")) && QDir().mkpath(path("files")) && TestRegistry::clear());
        m_owner = std::make_unique<QObject>();
    }

    void cleanup()
    {
        // Whatever still runs is let go and waited for: each worker's thread deletes itself.
        QVERIFY(TestFiles::write(appFile("app.release")) && TestFiles::write(path("hold")));
        QTRY_VERIFY_WITH_TIMEOUT(m_owner->findChildren<QThread *>().isEmpty(), kWaitMs);
        m_owner.reset();
    }

    void operation_data()
    {
        QTest::addColumn<int>("operation");
        QTest::addColumn<QString>("served");
        QTest::addColumn<QString>("report");
        const int install = TileOperations::Installing, upgrade = TileOperations::Upgrading;
        const int unInstall = TileOperations::Uninstalling;
        QTest::newRow("installs") << install << "program" << TileText::install();
        QTest::newRow("installer exits 1") << install << "exit1" << TileText::installFailed();
        QTest::newRow("HTTP 404") << install << "404" << TileText::downloadError();
        QTest::newRow("stalls mid-transfer") << install << "stall" << TileText::downloadError();
        QTest::newRow("dropped once, resumed") << install << "once" << TileText::install();
        QTest::newRow("checksum matches") << install << "hash" << TileText::install();
        QTest::newRow("checksum differs") << install << "wronghash" << TileText::downloadTooSmallInstall();
#ifdef Q_OS_UNIX
        QTest::newRow("write error") << install << "full" << TileText::downloadError();
#endif
        QTest::newRow("exactly 1024 bytes") << install << "1024" << TileText::downloadTooSmallInstall();
        QTest::newRow("1025 bytes") << install << "1025" << TileText::installFailed();
        QTest::newRow("work folder not creatable") << install << "nofolder" << TileText::createFileFailed();
        QTest::newRow("hostile name through a redirect") << install << "redirect" << TileText::install();
        QTest::newRow("upgrades") << upgrade << "program" << TileText::upgrade();
        QTest::newRow("upgrade too small") << upgrade << "1024" << TileText::downloadTooSmallUpgrade();
        QTest::newRow("uninstall tool fails") << unInstall << "exit1" << TileText::unInstallFailed();
        QTest::newRow("uninstalls") << unInstall << "program" << TileText::unInstall();
    }

    // Each operation ends with exactly one report, leaves no work folder behind and lets its button take
    // presses again; only a whole installer runs, from the work folder, and the registry is read again.
    // A download of 1024 bytes is too small for an installer; one of 1025 (no program here) is run.
    void operation()
    {
        QFETCH(int, operation);
        QFETCH(QString, served);
        QFETCH(QString, report);
        const bool upgrade = operation == TileOperations::Upgrading;
        const bool unInstall = operation == TileOperations::Uninstalling;
        QVERIFY(operation == TileOperations::Installing || installDirectly(upgrade ? "1.0.0.0" : "2.0.0.0"));
        const int code = served == "exit1";
        const QByteArray program = installer("2.0.0.0", code);
        // "1024", "1025": that many bytes of no program; "full": the whole program where it can be written.
        const int size = served.toInt();
        const auto file = size ? QByteArray(size, '#') : program + QByteArray(served == "full" ? 4 << 20 : 0, '#');
        const QString name = QStringList{"stall", "once"}.contains(served) ? QString(served + ".exe") : "inst.exe";
        qputenv("TESSALY_DOWNLOAD_STALL_MS", served == "stall" ? "300" : ""); // unset: 30 s
        QVERIFY(served == "404" || TestFiles::write(path("files/" + name), file));
        QVERIFY(TestFiles::write(appFile("tt.code"), QByteArray::number(code)));
        QVERIFY(served != "nofolder" || TestFiles::write(path("temp"))); // a file where the temp folder should be
        // The name comes from the address's path only, never from a redirect's target, and cannot leave
        // the work folder. The simulator decodes the path, so the hostile name is served through a redirect.
        const bool redirect = served == "redirect";
        const QByteArray hash = QCryptographicHash::hash(served == "hash" ? file : "other", QCryptographicHash::Sha256);
        TileOperations *operations = this->operations(redirect ? "..%5C..%5Cevil.exe" : name,
                                                      served.endsWith("hash") ? hash.toHex() : "");
        QSignalSpy finished(operations, &TileOperations::finished);
        LogCapture log;
#ifdef Q_OS_UNIX
        // The file size limit makes writes 64 KiB past the program fail (EFBIG) as a full disk would.
        rlimit saved{}, limited{};
        QVERIFY(getrlimit(RLIMIT_FSIZE, &saved) == 0 && getrlimit(RLIMIT_FSIZE, &limited) == 0);
        if (served == "full")
            limited.rlim_cur = static_cast<rlim_t>(program.size()) + 64 * 1024;
        std::signal(SIGXFSZ, SIG_IGN);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
        const auto restore = qScopeGuard([&saved] { setrlimit(RLIMIT_FSIZE, &saved); });
#endif

        unInstall ? operations->startUnInstall() : operations->startDownload(TileOperations::Operation(operation));
        const QString workDir = operations->workDir();
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, kWaitMs);
        QCOMPARE(finished.last().at(0).value<TileOperations::Operation>(), operation);
        QCOMPARE(finished.last().at(1).toString(), report);
        QVERIFY(!operations->state().installRunning && operations->workDir().isEmpty() && workFolders().isEmpty());
        // A write error ends the download itself, before the length check of a download that went on regardless.
        QCOMPARE(log.count("Failed to write file:"), served == "full" ? 1 : 0);
        QCOMPARE(log.count("Installer checksum mismatch:"), served == "wronghash" ? 1 : 0);
        const bool ran = !unInstall && (QStringList{"program", "once", "hash"}.contains(served) || code || redirect);
        QCOMPARE(QString(TestFiles::read(appFile("installer.log"))).trimmed(),
                 ran ? workDir + "/" + (redirect ? "setup.exe" : name) : QString());
        const bool installed = unInstall ? code : (ran && !code) || upgrade;
        QCOMPARE(operations->isInstalled(), installed);
        QCOMPARE(operations->needsUpgrade(), upgrade && !ran);
        QCOMPARE(QDir::fromNativeSeparators(operations->appPath()), installed ? appFile("app.exe") : QString());
    }

    // The program runs beside an upgrade on a worker and thread of its own: a press while it runs starts
    // nothing, and its failing never ends the upgrade.
    void launchNeverDecidesAnUpgrade()
    {
        QVERIFY(installDirectly("1.0.0.0") && TestFiles::write(path("files/inst.exe"), installer("2.0.0.0", 0, true)));
        QVERIFY(TestFiles::write(appFile("app.wait")) && TestFiles::write(appFile("app.code"), "1"));
        TileOperations *operations = this->operations();
        QSignalSpy finished(operations, &TileOperations::finished);
        operations->startLaunch();
        QTRY_COMPARE_WITH_TIMEOUT(lines("app.log"), 1, kWaitMs);
        operations->startLaunch();
        QCOMPARE(operations->findChildren<QThread *>(QString(), Qt::FindDirectChildrenOnly).size(), 1);
        operations->startDownload(TileOperations::Upgrading);
        QTRY_COMPARE_WITH_TIMEOUT(lines("installer.log"), 1, kWaitMs);
        QVERIFY(TestFiles::write(appFile("app.release")));
        QTRY_VERIFY_WITH_TIMEOUT(!operations->isLaunchRunning(), kWaitMs);
        QCoreApplication::processEvents();
        QVERIFY(operations->isInstallerRunning() && finished.isEmpty() && TestFiles::write(path("hold")));
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, kWaitMs);
        QCOMPARE(finished.last().at(1).toString(), TileText::upgrade());
        QCOMPARE(lines("app.log"), 1);
    }

    // Two tiles started together (often within one millisecond, with the same time-stamped name) each
    // take a folder of their own. Destroyed mid-operation, neither crashes nor leaks: a download goes
    // with its folder and no other; a running installer keeps its folder (nobody is left to clear it)
    // and its thread, which deletes itself (and its worker) once the child has exited.
    void destroyedWhileBusy()
    {
        QVERIFY(TestFiles::write(path("files/inst.exe"), installer("2.0.0.0", 0, true)));
        TileOperations *downloading = operations("hang.exe");
        TileOperations *installing = operations();
        downloading->startDownload(TileOperations::Installing);
        installing->startDownload(TileOperations::Installing);
        const QString downloadDir = downloading->workDir(), installDir = installing->workDir();
        QVERIFY(!downloadDir.isEmpty() && downloadDir != installDir);
        QTRY_VERIFY_WITH_TIMEOUT(lines("installer.log") == 1 && !m_sim->requests("/files/hang.exe").isEmpty(), kWaitMs);
        QPointer<QThread> thread = installing->findChild<QThread *>();
        delete downloading;
        delete installing;
        QVERIFY(!QFileInfo::exists(downloadDir) && QFileInfo::exists(installDir + "/inst.exe"));
        QVERIFY(thread && thread->isRunning() && !thread->parent() && TestFiles::write(path("hold")));
        QTRY_VERIFY_WITH_TIMEOUT(thread.isNull() && isSoftwareInstalled(appName), kWaitMs);
    }
};

QTEST_MAIN(TileOperationsTest)
#include "tst_tileoperations.moc"
