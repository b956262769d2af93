// A catalog tile's operations: installers downloaded over real HTTP from the platform simulator and
// run as real child processes, the file-backed uninstall registry, launches and the uninstall tool.
// The installer, the installed program and the uninstall tool are copies of the fixture program
// (tests/fixtures/program, see README.md).

#include "core/base/apppaths.h"
#include "core/catalog/tileoperations.h"
#include "core/catalog/tiletexts.h"
#include "core/catalog/uninstallregistry.h"
#include "support/fixtureprogram.h"
#include "support/logcapture.h"
#include "support/simulator.h"
#include "support/testregistry.h"
#include "widgets/catalog/commonsoftwaremainwt.h"
#include "widgets/catalog/softwareitemwidget.h"

#include <QJsonObject>
#include <QMetaEnum>
#include <QNetworkReply>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

namespace {

constexpr int kWaitMs = 10000;
const QString appName = QStringLiteral("tileapp");

int lineCount(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().count('\n') : 0;
}

bool touch(const QString &path, const QByteArray &content = {})
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
}

// Every report of finished() as "Operation text".
QStringList reports(const QSignalSpy &finished)
{
    QStringList described;
    for (const QVariantList &arguments : finished) {
        const int operation = arguments.at(0).value<TileOperations::Operation>();
        described << QLatin1String(QMetaEnum::fromType<TileOperations::Operation>().valueToKey(operation)) +
                QLatin1Char(' ') + arguments.at(1).toString();
    }
    return described;
}

} // namespace

class TileOperationsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void download_data();
    void download();
    void twoDownloadsInOneGoTakeTwoFolders();
    void writeErrorEndsDownload();
    void destroyWhileBusy_data();
    void destroyWhileBusy();
    void tile_data();
    void tile();

private:
    // m_dir holds the program's folder (with its "temp"), the application's folder "app", where the
    // installer puts it and its tools note every start, and the simulator's "files".
    QString path(const QString &name) const { return m_dir->filePath(name); }
    QString appFile(const char *file) const { return path(QStringLiteral("app/")) + QLatin1String(file); }
    QString url(const QString &fileName) const { return m_sim->baseUrl() + QStringLiteral("/files/") + fileName; }
    QStringList workFolders() const { return QDir(path("temp")).entryList({QStringLiteral("temp_*")}, QDir::Dirs); }
    QByteArray installer(const QString &version, int code = 0, bool hold = false) const;
    bool setScenario(QJsonObject files = {}, const QJsonObject &faults = {});
    bool installDirectly(const QString &version);
    TileOperations *operations(const QString &fileName);

    std::unique_ptr<Simulator> m_sim;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QObject> m_owner; // of every test's operations
};

void TileOperationsTest::initTestCase()
{
    qRegisterMetaType<TileOperations::Operation>();
    m_sim = std::make_unique<Simulator>(QJsonObject{});
    QVERIFY(m_sim->isRunning());
}

void TileOperationsTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(QDir().mkpath(path("app")) && QDir().mkpath(path("files")) && setScenario());
    AppPaths::setAppDirForTesting(m_dir->path());
    QVERIFY(TestRegistry::clear());
    m_owner = std::make_unique<QObject>();
}

void TileOperationsTest::cleanup()
{
    // Whatever still runs is let go and waited for.
    QVERIFY(touch(appFile("app.release")) && touch(appFile("tt.release")) && touch(path("hold")));
    for (TileOperations *operations : m_owner->findChildren<TileOperations *>()) {
        QTRY_VERIFY_WITH_TIMEOUT(!operations->state().installRunning && !operations->isLaunchRunning() &&
                                     !operations->isUnInstallRunning(),
                                 kWaitMs);
    }
    m_owner.reset();
    AppPaths::setAppDirForTesting(QString());
    m_dir.reset();
}

QByteArray TileOperationsTest::installer(const QString &version, int code, bool hold) const
{
    return FixtureProgram::make({{"role", "installer"},
                                 {"app", path("app")},
                                 {"hold", hold ? path("hold") : QString()},
                                 {"name", appName},
                                 {"version", version},
                                 {"icon", "1"},
                                 {"code", QString::number(code)}});
}

bool TileOperationsTest::setScenario(QJsonObject files, const QJsonObject &faults)
{
    files.insert(QStringLiteral("root"), path("files"));
    return m_sim->setScenario(QJsonObject{{"files", files}, {"faults", faults}});
}

// Installs the application by running its installer directly, as if done before the program started.
bool TileOperationsTest::installDirectly(const QString &version)
{
    const QString program = path("direct-installer.exe");
    return FixtureProgram::write(program, installer(version)) && QProcess::execute(program, {}) == 0 &&
        QFile::remove(appFile("installer.log"));
}

// The operations of a tile offering version 2.0.0.0 from `fileName`, in the state the registry gives.
TileOperations *TileOperationsTest::operations(const QString &fileName)
{
    auto *operations = new TileOperations(m_owner.get());
    const bool installed = isSoftwareInstalled(appName);
    operations->setApplication(fileName.isEmpty() ? QString() : url(fileName), appName, installed,
                               installed && getDisplayVersion(appName) != QLatin1String("2.0.0.0"));
    return operations;
}

// Each download ends with exactly one report and leaves no work folder behind; only a whole installer
// runs, from the work folder. "drop" announces the whole length and closes after 4 KiB. A download of
// 1024 bytes is too small for an installer; one of 1025 (no program here) is run.
void TileOperationsTest::download_data()
{
    QTest::addColumn<int>("operation");
    QTest::addColumn<QString>("served");
    QTest::addColumn<QString>("report"); // none: nothing happens at all
    const int install = TileOperations::Installing;
    const int upgrade = TileOperations::Upgrading;
    QTest::newRow("no address") << install << "" << QString();
    QTest::newRow("installs") << install << "program" << TileText::install();
    QTest::newRow("installer exits 1") << install << "exit1" << TileText::installFailed();
    QTest::newRow("HTTP 404") << install << "404" << TileText::downloadError();
    QTest::newRow("dropped mid-transfer") << install << "drop" << TileText::downloadError();
    QTest::newRow("connection reset") << install << "reset" << TileText::downloadError();
    QTest::newRow("exactly 1024 bytes") << install << "1024" << TileText::downloadTooSmallInstall();
    QTest::newRow("1025 bytes") << install << "1025" << TileText::installFailed();
    QTest::newRow("work folder not creatable") << install << "nofolder" << TileText::createFileFailed();
    QTest::newRow("hostile name through a redirect") << install << "redirect" << TileText::install();
    QTest::newRow("upgrades") << upgrade << "program" << TileText::upgrade();
    QTest::newRow("upgrade too small") << upgrade << "1024" << TileText::downloadTooSmallUpgrade();
}

void TileOperationsTest::download()
{
    QFETCH(int, operation);
    QFETCH(QString, served);
    QFETCH(QString, report);
#ifdef Q_OS_WIN
    // Wine 8 never signals a reset that arrives before any answer to a socket in WSAAsyncSelect mode,
    // which Qt uses; the download would wait for ever.
    if (served == QLatin1String("reset"))
        QSKIP("Wine does not report this connection reset to the program");
#endif
    const bool upgrade = operation == TileOperations::Upgrading;
    if (upgrade)
        QVERIFY(installDirectly(QStringLiteral("1.0.0.0")));
    const int size = served.toInt(); // "1024", "1025": that many bytes of no program
    const int code = served == QLatin1String("exit1") ? 1 : 0;
    if (served != QLatin1String("404"))
        QVERIFY(touch(path("files/inst.exe"), size ? QByteArray(size, '#') : installer("2.0.0.0", code)));
    const QString file = QStringLiteral("/files/inst.exe");
    if (served == QLatin1String("drop"))
        QVERIFY(setScenario({{"drops", QJsonObject{{file, 4096}}}}));
    if (served == QLatin1String("reset"))
        QVERIFY(setScenario({}, {{file, QJsonObject{{"kind", "reset"}}}}));
    if (served == QLatin1String("nofolder")) // a file where the temp folder should be
        QVERIFY(touch(path("temp")));
    // The name comes from the address's path only, never from a redirect's target, and cannot leave
    // the work folder. The simulator decodes the path, so the hostile name is served through a redirect.
    const bool redirect = served == QLatin1String("redirect");
    if (redirect)
        QVERIFY(setScenario({{"redirects", QJsonObject{{"/files/..\\..\\evil.exe", file}}}}));

    TileOperations *operations = this->operations(
        served.isEmpty() ? QString() : redirect ? QStringLiteral("..%5C..%5Cevil.exe") : QStringLiteral("inst.exe"));
    QSignalSpy finished(operations, &TileOperations::finished);
    QSignalSpy started(operations, &TileOperations::progressStarted);
    QStringList expected;
    QString workDir;
    // Qt ends a transfer cut short with an error only now and then; each try is a chance for the
    // length check to be the one that refuses it.
    const int tries = served == QLatin1String("drop") ? 10 : 1;
    while (expected.size() < tries) {
        operations->startDownload(TileOperations::Operation(operation));
        workDir = operations->workDir();
        if (report.isEmpty()) {
            QVERIFY(started.isEmpty() && finished.isEmpty() && workFolders().isEmpty() && !operations->isDownloading());
            return;
        }
        expected << QLatin1String(QMetaEnum::fromType<TileOperations::Operation>().valueToKey(operation)) +
                QLatin1Char(' ') + report;
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), expected.size(), kWaitMs);
    }
    QCOMPARE(reports(finished), expected);
    QVERIFY(!operations->state().installRunning && operations->workDir().isEmpty() && workFolders().isEmpty());

    const bool ran = served == QLatin1String("program") || code || redirect;
    QFile log(appFile("installer.log"));
    QCOMPARE(log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()).trimmed() : QString(),
             ran ? workDir + (redirect ? QStringLiteral("/setup.exe") : QStringLiteral("/inst.exe")) : QString());
    const bool installed = (ran && !code) || upgrade;
    QCOMPARE(operations->isInstalled(), installed);
    QCOMPARE(operations->needsUpgrade(), upgrade && !ran);
    // The registry was read again: program and uninstaller are the freshly installed ones.
    QCOMPARE(QDir::fromNativeSeparators(operations->appPath()), installed ? appFile("app.exe") : QString());
    QCOMPARE(QDir::fromNativeSeparators(operations->unInstallPath()), installed ? appFile("uninst.exe") : QString());
    QCOMPARE(finished.count(), tries);
}

// Two downloads that start together (often within one millisecond, with the same time-stamped name)
// each take a folder of their own, and each clears only its own.
void TileOperationsTest::twoDownloadsInOneGoTakeTwoFolders()
{
    TileOperations *first = operations(QStringLiteral("missing.exe"));
    TileOperations *second = operations(QStringLiteral("missing.exe"));
    first->startDownload(TileOperations::Installing);
    second->startDownload(TileOperations::Installing);
    QVERIFY(!first->workDir().isEmpty() && first->workDir() != second->workDir());
    QCOMPARE(workFolders().size(), 2);
    QTRY_VERIFY_WITH_TIMEOUT(!first->isDownloading() && !second->isDownloading(), kWaitMs);
    QVERIFY(workFolders().isEmpty());
}

// A file that cannot take the download ends it like a network error, and the truncated installer never runs.
void TileOperationsTest::writeErrorEndsDownload()
{
#ifdef Q_OS_UNIX
    const QByteArray program = installer(QStringLiteral("2.0.0.0")); // whole in what is written; the rest is padding
    QVERIFY(touch(path("files/big.exe"), program + QByteArray(4 << 20, '#')));
    TileOperations *operations = this->operations(QStringLiteral("big.exe"));
    QSignalSpy finished(operations, &TileOperations::finished);

    // The file size limit makes writes 64 KiB past the program fail (EFBIG) as a full disk would.
    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = static_cast<rlim_t>(program.size()) + 64 * 1024;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
    LogCapture log;
    operations->startDownload(TileOperations::Installing);
    QTRY_VERIFY_WITH_TIMEOUT(!operations->isDownloading(), kWaitMs);
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &saved), 0);
    std::signal(SIGXFSZ, previousHandler);

    QCOMPARE(reports(finished), QStringList{QStringLiteral("Installing ") + TileText::downloadError()});
    // The write error itself ended it, not the size check after a download that went on regardless.
    QCOMPARE(log.count(QStringLiteral("Failed to write file:")), 1);
    QVERIFY(!operations->isInstallerRunning() && workFolders().isEmpty() && lineCount(appFile("installer.log")) == 0);
#else
    QSKIP("needs a file size limit");
#endif
}

void TileOperationsTest::destroyWhileBusy_data()
{
    QTest::addColumn<bool>("download"); // else the installer runs
    QTest::newRow("downloading") << true;
    QTest::newRow("installer running") << false;
}

// Destroying a tile mid-operation neither crashes nor leaks: a download goes with its folder, a
// running child keeps its thread, which deletes itself (and its worker) once the child has exited.
void TileOperationsTest::destroyWhileBusy()
{
    QFETCH(bool, download);
    QVERIFY(touch(path("files/inst.exe"), installer(QStringLiteral("2.0.0.0"), 0, true)));
    if (download)
        QVERIFY(setScenario({}, {{"/files/inst.exe", QJsonObject{{"kind", "hang"}}}}));
    TileOperations *operations = this->operations(QStringLiteral("inst.exe"));
    operations->startDownload(TileOperations::Installing);
    const QString workDir = operations->workDir();
    if (download) {
        QTRY_VERIFY_WITH_TIMEOUT(!m_sim->requests(QStringLiteral("/files/inst.exe")).isEmpty(), kWaitMs);
        // Redirects are followed, but never from https down to http. The simulator speaks no TLS, so
        // the refusal itself (Qt's) is not exercised; the request carries the policy.
        const auto *reply = operations->findChild<QNetworkReply *>();
        QVERIFY(reply && operations->isDownloading());
        QCOMPARE(reply->request().attribute(QNetworkRequest::RedirectPolicyAttribute).toInt(),
                 static_cast<int>(QNetworkRequest::NoLessSafeRedirectPolicy));
        delete operations;
        QVERIFY(!QFileInfo::exists(workDir));
        return;
    }
    QTRY_COMPARE_WITH_TIMEOUT(lineCount(appFile("installer.log")), 1, kWaitMs);
    QPointer<QThread> thread = operations->findChild<QThread *>();
    delete operations;
    QVERIFY(thread && thread->isRunning() && !thread->parent());
    QVERIFY(touch(path("hold")));
    QTRY_VERIFY_WITH_TIMEOUT(thread.isNull(), kWaitMs);
    // The installer ran to its end; its folder stays, nobody is left to clear it.
    QVERIFY(isSoftwareInstalled(appName) && QFileInfo::exists(workDir));
}

void TileOperationsTest::tile_data()
{
    QTest::addColumn<bool>("upgrade");
    QTest::newRow("install") << false;
    QTest::newRow("upgrade beside a launch") << true;
}

// The tile end to end: a press shows its operation running, then the installed application, whose
// labels start it once at a time; a failing uninstall tool keeps it, a second press removes it.
void TileOperationsTest::tile()
{
    QFETCH(bool, upgrade);
    if (upgrade)
        QVERIFY(installDirectly(QStringLiteral("1.0.0.0")));
    QVERIFY(touch(path("files/inst.exe"), installer(QStringLiteral("2.0.0.0"), 0, true)));
    QVERIFY(touch(appFile("app.wait")) && touch(appFile("app.code"), "1") && touch(appFile("tt.code"), "1"));
    CommonSoftwareMainWT page;
    page.addItem(QStringLiteral("测试应用"), QStringLiteral("一个测试用的应用"), QPixmap(), appName,
                 QStringLiteral("2.0.0.0"), url(QStringLiteral("inst.exe")));
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    const auto *tile = page.findChild<SoftwareItemWidget *>();
    const auto widget = [tile](const char *name) { return tile->findChild<QWidget *>(QLatin1String(name)); };
    const auto press = [&widget](const char *name) { QTest::mousePress(widget(name), Qt::LeftButton); };
    auto *button = tile->findChild<QPushButton *>(QLatin1String(upgrade ? "upgradeButton" : "installButton"));
    auto *unInstall = tile->findChild<QPushButton *>(QStringLiteral("unInstallButton"));
    TileOperations *operations = tile->operations();

    // The program, started first, fails and ends while the upgrade's installer runs: the upgrade goes on.
    if (upgrade)
        press("iconLabel");
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(!button->isEnabled() && !unInstall->isEnabled());
    QCOMPARE(button->text(), upgrade ? TileText::upgrading() : TileText::installing());
    QTRY_COMPARE_WITH_TIMEOUT(lineCount(appFile("installer.log")), 1, kWaitMs);
    if (upgrade) {
        QTRY_COMPARE_WITH_TIMEOUT(lineCount(appFile("app.log")), 1, kWaitMs);
        QVERIFY(touch(appFile("app.release")));
        QTRY_VERIFY_WITH_TIMEOUT(!operations->isLaunchRunning(), kWaitMs);
        QCoreApplication::processEvents();
        QVERIFY(operations->isInstallerRunning() && !button->isEnabled() && button->text().startsWith(TileText::upgrading()));
        QVERIFY(QFile::remove(appFile("app.release")));
    }
    QVERIFY(touch(path("hold")));
    QTRY_VERIFY_WITH_TIMEOUT(widget("statusLabel")->isVisible(), kWaitMs);
    QCOMPARE(button->text(), upgrade ? TileText::upgrade() : TileText::install());
    QVERIFY(widget("installButton")->isHidden() && widget("upgradeButton")->isHidden() && unInstall->isEnabled());

    // Each label starts the program; while it runs, a press starts nothing.
    const int starts = lineCount(appFile("app.log"));
    press("iconLabel");
    QTRY_COMPARE_WITH_TIMEOUT(lineCount(appFile("app.log")), starts + 1, kWaitMs);
    press("nameLabel");
    QCOMPARE(operations->findChildren<QThread *>(QString(), Qt::FindDirectChildrenOnly).size(), 1);
    QVERIFY(touch(appFile("app.release")));
    for (const char *label : {"nameLabel", "descLabel"}) {
        QTRY_VERIFY_WITH_TIMEOUT(!operations->isLaunchRunning(), kWaitMs);
        press(label);
        QVERIFY(operations->isLaunchRunning());
    }
    QTRY_COMPARE_WITH_TIMEOUT(lineCount(appFile("app.log")), starts + 3, kWaitMs);

    QTest::mouseClick(unInstall, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(unInstall->text(), TileText::unInstallFailed(), kWaitMs);
    QVERIFY(operations->isInstalled() && widget("statusLabel")->isVisible() && QFile::remove(appFile("tt.code")));
    QTest::mouseClick(unInstall, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(widget("installButton")->isVisible(), kWaitMs);
    QVERIFY(unInstall->isHidden() && widget("statusLabel")->isHidden() && !isSoftwareInstalled(appName));
}

QTEST_MAIN(TileOperationsTest)
#include "tst_tileoperations.moc"
