// The catalog tile's operations end to end: installers downloaded over real HTTP from the platform
// simulator and run as real child processes, the file-backed uninstall registry, launches and the
// uninstall tool. The installer, the installed program and the uninstall tool are copies of the fixture
// program (tests/fixtures/program, see README.md).

#include "widgets/catalog/commonsoftwaremainwt.h"
#include "core/files/downloadname.h"
#include "widgets/catalog/softwareitemwidget.h"
#include "core/catalog/tiletexts.h"
#include "core/catalog/uninstallregistry.h"
#include "core/files/workdir.h"
#include "core/base/apppaths.h"
#include "support/fixtureprogram.h"
#include "support/logcapture.h"
#include "support/simulator.h"
#include "support/testregistry.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QGridLayout>
#include <QJsonObject>
#include <QLabel>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QtTest>

#include <memory>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

namespace {

constexpr int kWaitMs = 10000;

struct Installer
{
    QString name = QStringLiteral("tileapp");
    QString version = QStringLiteral("2.0.0.0");
    int exitCode = 0;
    bool icon = true;
    bool hold = false;
};

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

int lineCount(const QString &path)
{
    return readAll(path).count('\n');
}

bool touch(const QString &path, const QByteArray &content = {})
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
}

QStringList entries(const QString &dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

bool visible(QWidget *widget)
{
    return !widget->isHidden();
}

QPushButton *button(SoftwareItemWidget *tile, const char *name)
{
    return tile->findChild<QPushButton *>(QLatin1String(name));
}

QLabel *label(SoftwareItemWidget *tile, const char *name)
{
    return tile->findChild<QLabel *>(QLatin1String(name));
}

QJsonObject faultOn(const QString &path, const QString &kind)
{
    return QJsonObject{{path, QJsonObject{{"kind", kind}}}};
}

} // namespace

class TileOperationsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void downloadFileName_data();
    void downloadFileName();

    void install_data();
    void install();
    void emptyAddressDoesNothing();
    void upgradeEndToEnd_data();
    void upgradeEndToEnd();
    void uninstallFailureThenSuccess();

    void launch_data();
    void launch();

    void claimWorkDirTakesFreeName_data();
    void claimWorkDirTakesFreeName();
    void tilesUseTheirOwnFolders();

    void unsafeNameStaysInWorkFolder();
    void writeErrorEndsDownload();
    void destroyWhileBusy_data();
    void destroyWhileBusy();

private:
    QString appFolder(const QString &name) const { return m_work->path() + QStringLiteral("/apps/") + name; }
    QString appFile(const char *file) const
    {
        return appFolder(QStringLiteral("tileapp")) + QLatin1Char('/') + QLatin1String(file);
    }
    QString holdFile(const QString &name) const { return m_work->path() + QStringLiteral("/hold-") + name; }
    // Whether the registry entry the installer wrote is there.
    bool registered() const { return isSoftwareInstalled(QStringLiteral("tileapp")); }
    // Every "temp_" work folder under the program's temp folder.
    QStringList workFolders() const
    {
        return QDir(m_appDir->path() + QStringLiteral("/temp")).entryList({QStringLiteral("temp_*")}, QDir::Dirs);
    }
    QByteArray installerProgram(const Installer &installer);
    void serve(const QString &fileName, const QByteArray &content);
    bool setScenario(const QJsonObject &faults = {}, const QJsonObject &extraFiles = {});
    QString url(const QString &fileName) const { return m_sim->baseUrl() + QStringLiteral("/files/") + fileName; }
    bool installDirectly(const Installer &installer);
    SoftwareItemWidget *addTile(const Installer &installer, const QString &downloadUrl);
    void releaseEverything();

    std::unique_ptr<QTemporaryDir> m_registry; // only when the environment gives no registry root
    std::unique_ptr<QTemporaryDir> m_files;
    std::unique_ptr<Simulator> m_sim;
    std::unique_ptr<QTemporaryDir> m_appDir;
    std::unique_ptr<QTemporaryDir> m_work;
    QPointer<CommonSoftwareMainWT> m_page;
};

void TileOperationsTest::initTestCase()
{
    if (qEnvironmentVariableIsEmpty("TESSALY_REGISTRY_ROOT")) {
        m_registry = std::make_unique<QTemporaryDir>();
        qputenv("TESSALY_REGISTRY_ROOT", m_registry->path().toLocal8Bit());
    }
    m_files = std::make_unique<QTemporaryDir>();
    QVERIFY(m_files->isValid());
    m_sim = std::make_unique<Simulator>(QJsonObject{{"files", QJsonObject{{"root", m_files->path()}}}});
    QVERIFY(m_sim->isRunning());
}

void TileOperationsTest::init()
{
    m_appDir = std::make_unique<QTemporaryDir>();
    m_work = std::make_unique<QTemporaryDir>();
    QVERIFY(m_appDir->isValid() && m_work->isValid());
    AppPaths::setAppDirForTesting(m_appDir->path());
    QVERIFY(TestRegistry::clear());
    // Every test serves its own files.
    QDir files(m_files->path());
    for (const QString &name : files.entryList(QDir::Files | QDir::Hidden))
        QVERIFY(files.remove(name));
    QVERIFY(setScenario());
    m_sim->clearRequests();

    m_page = new CommonSoftwareMainWT;
    m_page->resize(1280, 760);
    m_page->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_page));
}

void TileOperationsTest::cleanup()
{
    releaseEverything();
    if (m_page) {
        for (SoftwareItemWidget *tile : m_page->findChildren<SoftwareItemWidget *>()) {
            QTRY_VERIFY_WITH_TIMEOUT(!tile->operations()->isDownloading() && !tile->operations()->isInstallerRunning() &&
                                         !tile->operations()->isLaunchRunning() && !tile->operations()->isUnInstallRunning(),
                                     kWaitMs);
        }
        delete m_page;
    }
    AppPaths::setAppDirForTesting(QString());
    m_appDir.reset();
    m_work.reset();
}

void TileOperationsTest::releaseEverything()
{
    const QDir apps(m_work->path() + QStringLiteral("/apps"));
    for (const QString &name : apps.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        touch(appFolder(name) + QStringLiteral("/app.release"));
        touch(appFolder(name) + QStringLiteral("/tt.release"));
        touch(holdFile(name));
    }
}

QByteArray TileOperationsTest::installerProgram(const Installer &installer)
{
    QDir().mkpath(appFolder(installer.name));
    return FixtureProgram::make({{"role", "installer"},
                                 {"app", appFolder(installer.name)},
                                 {"hold", installer.hold ? holdFile(installer.name) : QString()},
                                 {"name", installer.name},
                                 {"version", installer.version},
                                 {"icon", installer.icon ? "1" : "0"},
                                 {"code", QString::number(installer.exitCode)}});
}

void TileOperationsTest::serve(const QString &fileName, const QByteArray &content)
{
    QVERIFY(touch(m_files->path() + QLatin1Char('/') + fileName, content));
}

bool TileOperationsTest::setScenario(const QJsonObject &faults, const QJsonObject &extraFiles)
{
    QJsonObject files = extraFiles;
    files.insert(QStringLiteral("root"), m_files->path());
    return m_sim->setScenario(QJsonObject{{"files", files}, {"faults", faults}});
}

// Installs the application by running its installer directly, as if done before the program started.
bool TileOperationsTest::installDirectly(const Installer &installer)
{
    const QString path = m_work->path() + QStringLiteral("/direct-installer-") + installer.name + ".exe";
    return FixtureProgram::write(path, installerProgram(installer)) &&
        QProcess::execute(path, {}) == installer.exitCode;
}

SoftwareItemWidget *TileOperationsTest::addTile(const Installer &installer, const QString &downloadUrl)
{
    const int index = m_page->grid()->count();
    m_page->addItem(QStringLiteral("测试应用"), QStringLiteral("一个测试用的应用"), QPixmap(), installer.name,
                    installer.version, downloadUrl);
    QLayoutItem *item = m_page->grid()->itemAtPosition(index / 4, index % 4);
    return item ? qobject_cast<SoftwareItemWidget *>(item->widget()) : nullptr;
}

// ---- the download's file name ----

void TileOperationsTest::downloadFileName_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("expected");

    const QString safe = QStringLiteral("setup.exe");
    const QList<QPair<const char *, QString>> rows{
        {"http://h/files/setup_2.0.exe", QStringLiteral("setup_2.0.exe")},
        {"http://h/files/app.exe?v=2&x=/y.exe#part", QStringLiteral("app.exe")},
        {"http://h/files/%E6%B5%8B%E8%AF%95%20x.exe", QStringLiteral("测试 x.exe")},
        {"http://h/files/..%5C..%5Cevil.exe", safe},
        {"http://h/files/..%2F..%2Fevil.exe", QStringLiteral("evil.exe")},
        {"http://h/files/", safe},
        {"http://h/files/%2E%2E", safe},
        {"http://h/files/a.exe%3A%3A%24DATA", safe},
        {"http://h/files/a%0A.exe", safe},
        {"http://h/files/CON.exe", safe},
        {"http://h/files/nul", safe},
        {"http://h/files/com1.txt", safe},
        {"http://h/files/a.exe.", safe},
        {"http://h/files/a.exe%20", safe},
        {"", safe},
    };
    for (const auto &row : rows)
        QTest::newRow(row.first) << QString::fromUtf8(row.first) << row.second;
}

void TileOperationsTest::downloadFileName()
{
    QFETCH(QString, address);
    QFETCH(QString, expected);
    const QString name = ::downloadFileName(QUrl(address));
    QCOMPARE(name, expected);

    // Saved under that name, the file is the work folder's one entry, whatever the system makes of names.
    QTemporaryDir parent;
    const QString work = parent.filePath(QStringLiteral("work"));
    QVERIFY(QDir().mkpath(work));
    QFile file(work + QLatin1Char('/') + name);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("x") == 1);
    file.close();
    QCOMPARE(QDir(work).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System), QStringList{name});
    QCOMPARE(QDir(parent.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"work"});
}

// ---- install and upgrade ----

// Each failure shows its text and leaves nothing behind; the same button then installs for real.
// "drop" announces the whole length and closes after 4 KiB: Qt may end that without an error. A
// download of 1024 bytes is too small for an installer; one of 1025 (no program here) is run.
void TileOperationsTest::install_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QString>("expectedText");

    QTest::newRow("first press") << QString() << QString();
    QTest::newRow("installer exits 1") << "exit1" << TileText::installFailed();
    QTest::newRow("HTTP 404") << "404" << TileText::downloadError();
    QTest::newRow("dropped mid-transfer") << "drop" << TileText::downloadError();
    QTest::newRow("connection reset") << "reset" << TileText::downloadError();
    QTest::newRow("exactly 1024 bytes") << "1024" << TileText::downloadTooSmallInstall();
    QTest::newRow("1025 bytes") << "1025" << TileText::installFailed();
    QTest::newRow("work folder not creatable") << "nofolder" << TileText::createFileFailed();
}

void TileOperationsTest::install()
{
    QFETCH(QString, failure);
    QFETCH(QString, expectedText);
#ifdef Q_OS_WIN
    // Wine 8 never signals a reset that arrives before any answer to a socket in WSAAsyncSelect mode,
    // which Qt uses; the download would wait for ever.
    if (failure == QLatin1String("reset"))
        QSKIP("Wine does not report this connection reset to the program");
#endif

    Installer installer;
    const QString path = QStringLiteral("/files/inst.exe");
    SoftwareItemWidget *tile = addTile(installer, url(QStringLiteral("inst.exe")));
    QVERIFY(tile);
    auto *install = button(tile, "installButton");
    auto *status = label(tile, "statusLabel");
    auto *unInstall = button(tile, "unInstallButton");
    if (!failure.isEmpty()) {
        Installer failing = installer;
        failing.exitCode = failure == QLatin1String("exit1") ? 1 : 0;
        const int size = failure.toInt(); // "1024", "1025": that many bytes of no program
        if (failure != QLatin1String("404"))
            serve(QStringLiteral("inst.exe"), size ? QByteArray(size, '#') : installerProgram(failing));
        if (failure == QLatin1String("drop"))
            QVERIFY(setScenario({}, QJsonObject{{"drops", QJsonObject{{path, 4096}}}}));
        if (failure == QLatin1String("reset"))
            QVERIFY(setScenario(faultOn(path, QStringLiteral("reset"))));
        if (failure == QLatin1String("nofolder")) // a file where the temp folder should be
            QVERIFY(touch(m_appDir->path() + QStringLiteral("/temp")));

        QTest::mouseClick(install, Qt::LeftButton);
        const QString workDir = tile->operations()->workDir();
        QTRY_COMPARE_WITH_TIMEOUT(install->text(), expectedText, kWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(!tile->operations()->isInstallerRunning(), kWaitMs);
        QVERIFY(install->isEnabled() && visible(install));
        QVERIFY(!tile->operations()->isInstalled() && !tile->operations()->isDownloading() && tile->operations()->workDir().isEmpty());
        QVERIFY(workDir.isEmpty() || !QFileInfo::exists(workDir));
        QVERIFY(workFolders().isEmpty());
        QCOMPARE(lineCount(appFile("installer.log")), failure == QLatin1String("exit1") ? 1 : 0);
        // Mend the cause.
        QFile::remove(m_appDir->path() + QStringLiteral("/temp"));
        QFile::remove(appFile("installer.log"));
        QVERIFY(setScenario());
    }

    installer.hold = true;
    serve(QStringLiteral("inst.exe"), installerProgram(installer));
    tile->setDotInterval(3600 * 1000); // the dots are stepped by hand below
    QTest::mouseClick(install, Qt::LeftButton);
    QVERIFY(!install->isEnabled());
    QCOMPARE(install->text(), TileText::installing());
    const QString workDir = tile->operations()->workDir();
    QVERIFY(workDir.startsWith(m_appDir->path() + QStringLiteral("/temp/temp_")));
    QCOMPARE(tile->operations()->filePath(), workDir + QStringLiteral("/inst.exe"));

    // The installer runs from the work folder and holds until released; the dots go from one to six and round.
    QTRY_COMPARE_WITH_TIMEOUT(lineCount(appFile("installer.log")), 1, kWaitMs);
    QCOMPARE(QString::fromUtf8(readAll(appFile("installer.log"))).trimmed(), tile->operations()->filePath());
    for (int dots : {1, 2, 3, 4, 5, 6, 1}) {
        tile->updateDotAnimation();
        QCOMPARE(install->text(), TileText::installing() + QString(dots, QLatin1Char('.')));
    }
    QVERIFY(!install->isEnabled() && !visible(unInstall));

    QVERIFY(touch(holdFile(installer.name)));
    QTRY_VERIFY_WITH_TIMEOUT(visible(status), kWaitMs);
    QVERIFY(!tile->operations()->isInstallerRunning() && tile->operations()->isInstalled() && !tile->operations()->needsUpgrade());
    QVERIFY(!visible(install) && visible(unInstall) && unInstall->isEnabled());
    QCOMPARE(status->text(), TileText::upToDate());
    // The registry was read again: program and uninstaller are the freshly installed ones.
    QCOMPARE(QDir::fromNativeSeparators(tile->operations()->appPath()), appFile("app.exe"));
    QCOMPARE(QDir::fromNativeSeparators(tile->operations()->unInstallPath()), appFile("uninst.exe"));
    QVERIFY(workFolders().isEmpty());

    // The labels now start the program.
    QTest::mousePress(label(tile, "iconLabel"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(lineCount(appFile("app.log")), 1, kWaitMs);
}

void TileOperationsTest::emptyAddressDoesNothing()
{
    SoftwareItemWidget *tile = addTile(Installer(), QString());
    auto *install = button(tile, "installButton");
    QTest::mouseClick(install, Qt::LeftButton);
    QCOMPARE(install->text(), TileText::install());
    QVERIFY(install->isEnabled() && !tile->operations()->isDownloading());
    QVERIFY(workFolders().isEmpty());
    QCOMPARE(m_sim->requests().size(), 0);
}

void TileOperationsTest::upgradeEndToEnd_data()
{
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<QString>("expectedText");
    QTest::addColumn<QString>("launch"); // a program launched before the upgrade ends "during" it or "after" it
    QTest::addColumn<int>("launchExit");

    QTest::newRow("success") << "success" << TileText::upgrade() << QString() << 0;
    QTest::newRow("too small") << "small" << TileText::downloadTooSmallUpgrade() << QString() << 0;
    // The program's exit code is always the opposite of the installer's, so a launch that decided
    // the upgrade's outcome would show.
    for (const char *launch : {"during", "after"}) {
        QTest::addRow("launch ends %s, program fails, installer succeeds", launch)
            << "success" << TileText::upgrade() << QString::fromLatin1(launch) << 1;
        QTest::addRow("launch ends %s, program succeeds, installer fails", launch)
            << "exit1" << TileText::upgradeFailed() << QString::fromLatin1(launch) << 0;
    }
}

// The upgrade's texts; a launch running beside it neither decides its outcome nor touches the controls.
void TileOperationsTest::upgradeEndToEnd()
{
    QFETCH(QString, outcome);
    QFETCH(QString, expectedText);
    QFETCH(QString, launch);
    QFETCH(int, launchExit);
    const bool success = outcome == QLatin1String("success");

    Installer old;
    old.version = QStringLiteral("1.0.0.0");
    QVERIFY(installDirectly(old));
    QVERIFY(touch(appFile("app.wait")) && touch(appFile("app.code"), QByteArray::number(launchExit)));
    Installer next;
    next.hold = true;
    next.exitCode = success ? 0 : 1;
    serve(QStringLiteral("up.exe"), outcome == QLatin1String("small") ? QByteArray(1024, '#') : installerProgram(next));
    SoftwareItemWidget *tile = addTile(next, url(QStringLiteral("up.exe")));
    auto *upgrade = button(tile, "upgradeButton");
    auto *unInstall = button(tile, "unInstallButton");
    auto *status = label(tile, "statusLabel");
    QVERIFY(tile->operations()->isInstalled() && tile->operations()->needsUpgrade() && visible(upgrade));
    if (!launch.isEmpty()) {
        QTest::mousePress(label(tile, "iconLabel"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(lineCount(appFile("app.log")), 1, kWaitMs);
    }

    QTest::mouseClick(upgrade, Qt::LeftButton);
    const auto upgradeRunning = [&] {
        QVERIFY(visible(upgrade) && !upgrade->isEnabled() && !visible(status) && !unInstall->isEnabled());
        QVERIFY(upgrade->text().startsWith(TileText::upgrading()));
        QCOMPARE(tile->operations()->operation(), TileOperations::Upgrading);
    };
    const auto endLaunch = [&] {
        QVERIFY(touch(appFile("app.release")));
        QTRY_VERIFY_WITH_TIMEOUT(!tile->operations()->isLaunchRunning(), kWaitMs);
        QCoreApplication::processEvents();
    };
    const auto upgradeOutcome = [&] {
        QCOMPARE(upgrade->text(), expectedText);
        QVERIFY(upgrade->isEnabled() && unInstall->isEnabled());
        QVERIFY(workFolders().isEmpty());
        QVERIFY(tile->operations()->isInstalled());
        QCOMPARE(tile->operations()->needsUpgrade(), !success);
        QCOMPARE(visible(upgrade), !success);
        QCOMPARE(visible(status), success);
    };
    upgradeRunning();
    if (success || outcome == QLatin1String("exit1")) {
        QTRY_VERIFY_WITH_TIMEOUT(tile->operations()->isInstallerRunning(), kWaitMs);
        QCOMPARE(tile->operations()->findChildren<QThread *>().size(), launch.isEmpty() ? 1 : 2);
        QTRY_VERIFY_WITH_TIMEOUT(upgrade->text().startsWith(TileText::upgrading() + QLatin1Char('.')), kWaitMs);
        if (launch == QLatin1String("during")) {
            endLaunch();
            QVERIFY(tile->operations()->isInstallerRunning());
            upgradeRunning();
        }
        QVERIFY(touch(holdFile(next.name)));
    }
    QTRY_VERIFY_WITH_TIMEOUT(!tile->operations()->isDownloading() && !tile->operations()->isInstallerRunning(), kWaitMs);
    upgradeOutcome();
    if (launch == QLatin1String("after")) {
        QVERIFY(tile->operations()->isLaunchRunning());
        endLaunch();
        upgradeOutcome();
    }
}

// A failing uninstall tool keeps the application; a second press runs the tool again and succeeds.
void TileOperationsTest::uninstallFailureThenSuccess()
{
    Installer installer;
    QVERIFY(installDirectly(installer));
    QVERIFY(touch(appFile("tt.code"), "1"));
    SoftwareItemWidget *tile = addTile(installer, url(QStringLiteral("inst.exe")));
    auto *unInstall = button(tile, "unInstallButton");
    auto *install = button(tile, "installButton");
    auto *status = label(tile, "statusLabel");

    QTest::mouseClick(unInstall, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!tile->operations()->isUnInstallRunning(), kWaitMs);
    QCOMPARE(unInstall->text(), TileText::unInstallFailed());
    QVERIFY(unInstall->isEnabled() && tile->operations()->isInstalled() && visible(status) && !visible(install));
    QVERIFY(registered());

    QFile::remove(appFile("tt.code"));
    QVERIFY(touch(appFile("tt.wait")));
    tile->setDotInterval(5);
    QTest::mouseClick(unInstall, Qt::LeftButton);
    QCOMPARE(unInstall->text(), TileText::unInstalling());
    QVERIFY(!unInstall->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(lineCount(appFile("tt.log")), 2, kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(unInstall->text(), TileText::unInstalling() + QStringLiteral("......"), kWaitMs);

    QVERIFY(touch(appFile("tt.release")));
    QTRY_VERIFY_WITH_TIMEOUT(!tile->operations()->isUnInstallRunning(), kWaitMs);
    QVERIFY(!registered());
    QVERIFY(!tile->operations()->isInstalled());
    QCOMPARE(unInstall->text(), TileText::unInstall());
    QVERIFY(visible(install) && install->isEnabled());
    QCOMPARE(install->text(), TileText::install());
    QVERIFY(!visible(unInstall) && !visible(status) && !visible(button(tile, "upgradeButton")));

    // No longer installed: the labels start nothing.
    QTest::mousePress(label(tile, "iconLabel"), Qt::LeftButton);
    QVERIFY(!tile->operations()->isLaunchRunning());
    QCOMPARE(lineCount(appFile("app.log")), 0);
}

// ---- launch ----

void TileOperationsTest::launch_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<bool>("installed");
    QTest::addColumn<bool>("icon");

    QTest::newRow("icon") << "iconLabel" << true << true;
    QTest::newRow("name") << "nameLabel" << true << true;
    QTest::newRow("description") << "descLabel" << true << true;
    QTest::newRow("not installed") << "iconLabel" << false << true;
    QTest::newRow("no DisplayIcon") << "iconLabel" << true << false;
}

void TileOperationsTest::launch()
{
    QFETCH(QString, label);
    QFETCH(bool, installed);
    QFETCH(bool, icon);
    const bool starts = installed && icon;

    Installer installer;
    installer.icon = icon;
    if (installed)
        QVERIFY(installDirectly(installer) && touch(appFile("app.wait")));
    SoftwareItemWidget *tile = addTile(installer, url(QStringLiteral("inst.exe")));
    QCOMPARE(tile->operations()->isInstalled(), installed);
    auto *pressed = tile->findChild<QLabel *>(label);

    QTest::mousePress(pressed, Qt::RightButton);
    QVERIFY(!tile->operations()->isLaunchRunning());
    QTest::mousePress(pressed, Qt::LeftButton);
    QCOMPARE(tile->operations()->isLaunchRunning(), starts);
    QTRY_COMPARE_WITH_TIMEOUT(lineCount(appFile("app.log")), starts ? 1 : 0, kWaitMs);
    if (starts) {
        // While the program runs, further presses start nothing.
        QPointer<QThread> thread = tile->operations()->findChild<QThread *>();
        LogCapture log;
        QTest::mousePress(pressed, Qt::LeftButton);
        QTest::mousePress(::label(tile, "nameLabel"), Qt::LeftButton);
        QCOMPARE(log.count(QStringLiteral("Program is already running:")), 2);
        QCOMPARE(tile->operations()->findChildren<QThread *>(), QList<QThread *>{thread.data()});
        QVERIFY(touch(appFile("app.release")));
        QTRY_VERIFY_WITH_TIMEOUT(thread.isNull(), kWaitMs); // the thread deleted itself
        QCOMPARE(lineCount(appFile("app.log")), 1);
        // Once the program has exited, a press starts it again.
        QTest::mousePress(pressed, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(lineCount(appFile("app.log")), 2, kWaitMs);
    }
    QTRY_VERIFY_WITH_TIMEOUT(!tile->operations()->isLaunchRunning(), kWaitMs);
    // A launch changes nothing on the tile.
    auto *status = ::label(tile, "statusLabel");
    QCOMPARE(status->text(), TileText::upToDate());
    QCOMPARE(visible(status), installed);
    QVERIFY(workFolders().isEmpty());
}

// ---- work folders ----

// A work folder is made create-only: a name that is taken in any way gives the next free one, and
// whatever took it stays as it was. tilesUseTheirOwnFolders() shows it on tiles.
void TileOperationsTest::claimWorkDirTakesFreeName_data()
{
    QTest::addColumn<QString>("expected"); // suffix after the base
    QTest::newRow("free") << "";
    QTest::newRow("empty folder") << "_1";
    QTest::newRow("files in the base and in _1") << "_2";
    QTest::newRow("plain file") << "_1";
}

void TileOperationsTest::claimWorkDirTakesFreeName()
{
    QFETCH(QString, expected);
    const QString setup = QString::fromLatin1(QTest::currentDataTag());
    const QString temp = m_work->path() + QStringLiteral("/temp");
    const QString base = temp + QStringLiteral("/temp_01020304005");
    QVERIFY(QDir().mkpath(temp));
    if (setup == QLatin1String("empty folder"))
        QVERIFY(QDir().mkpath(base));
    if (setup.startsWith(QLatin1String("files"))) {
        for (const QString &dir : QStringList{base, base + QStringLiteral("_1")})
            QVERIFY(QDir().mkpath(dir) && touch(dir + QStringLiteral("/setup.exe"), "other download"));
    }
    if (setup == QLatin1String("plain file"))
        QVERIFY(touch(base, "not a folder"));
    const QStringList before = entries(temp);

    const QString claimed = claimWorkDir(base);
    QCOMPARE(claimed, base + expected);
    QVERIFY(QFileInfo(claimed).isDir() && entries(claimed).isEmpty());
    QCOMPARE(entries(temp).size(), before.size() + 1);
    if (setup.startsWith(QLatin1String("files")))
        QCOMPARE(readAll(base + QStringLiteral("/setup.exe")), QByteArray("other download"));
    if (setup == QLatin1String("plain file"))
        QCOMPARE(readAll(base), QByteArray("not a folder"));
}

// A download whose time-stamped name is already taken by another download takes the next one, and
// two tiles pressed in one go (often within one millisecond, when their time-stamped names are the
// same) each download into and clear a folder of their own.
void TileOperationsTest::tilesUseTheirOwnFolders()
{
    Installer first;
    first.hold = true;
    Installer second = first;
    second.name = QStringLiteral("tileapp2");
    serve(QStringLiteral("first.exe"), installerProgram(first));
    serve(QStringLiteral("second.exe"), installerProgram(second));
    SoftwareItemWidget *tileA = addTile(first, url(QStringLiteral("first.exe")));
    SoftwareItemWidget *tileB = addTile(second, url(QStringLiteral("second.exe")));

    // The names MyContext::newTempWorkDir() hands out are "temp_" and the local time to the
    // millisecond. Those of a stretch of time a moment ahead are taken by plain files beforehand,
    // and the presses are timed into that stretch.
    QVERIFY(QDir().mkpath(m_appDir->path() + QStringLiteral("/temp")));
    const QString temp = m_appDir->path() + QStringLiteral("/temp/temp_");
    const QDateTime now = QDateTime::currentDateTime();
    const QDateTime stretchStart = now.toOffsetFromUtc(now.offsetFromUtc()).addMSecs(1500); // fast to format
    QStringList taken;
    for (int ms = 0; ms < 200; ++ms) {
        taken << temp + stretchStart.addMSecs(ms).toString(QStringLiteral("ddhhmmsszzz"));
        QVERIFY(touch(taken.last(), "another download"));
    }
    const qint64 untilPress = QDateTime::currentDateTime().msecsTo(stretchStart) + 20;
    if (untilPress <= 20)
        QSKIP("taking the names took too long on this machine");
    QObject context;
    QString dirA;
    QString dirB;
    QTimer::singleShot(untilPress, Qt::PreciseTimer, &context, [&] {
        // Pressed in one go, without the event loop in between.
        button(tileA, "installButton")->click();
        button(tileB, "installButton")->click();
        dirA = tileA->operations()->workDir();
        dirB = tileB->operations()->workDir();
    });
    QTRY_VERIFY_WITH_TIMEOUT(!dirA.isEmpty(), kWaitMs);
    QVERIFY2(!dirB.isEmpty() && dirA != dirB, qPrintable(dirA + QLatin1Char(' ') + dirB));
    // A loaded machine may deliver the presses after the stretch; then their names were free.
    const bool met = taken.contains(dirA.chopped(2));
    if (met) {
        QVERIFY2(dirA.endsWith(QStringLiteral("_1")), qPrintable(dirA));
        QVERIFY2(taken.contains(dirB.chopped(2)), qPrintable(dirB));
    }

    // Both installers run, each from its own folder, and each tile clears only its own.
    QTRY_VERIFY_WITH_TIMEOUT(tileA->operations()->isInstallerRunning() && tileB->operations()->isInstallerRunning(), kWaitMs);
    QCOMPARE(QFileInfo(tileA->operations()->filePath()).absolutePath(), dirA);
    QCOMPARE(QFileInfo(tileB->operations()->filePath()).absolutePath(), dirB);
    QVERIFY(touch(holdFile(first.name)));
    QTRY_VERIFY_WITH_TIMEOUT(tileA->operations()->isInstalled(), kWaitMs);
    QVERIFY(!QFileInfo::exists(dirA));
    QVERIFY(QFileInfo(tileB->operations()->filePath()).isFile());
    QVERIFY(touch(holdFile(second.name)));
    QTRY_VERIFY_WITH_TIMEOUT(tileB->operations()->isInstalled(), kWaitMs);
    QVERIFY(!QFileInfo::exists(dirB));
    if (!met)
        QSKIP("the presses missed the prepared names");
    // What took the names is as it was.
    QCOMPARE(readAll(dirA.chopped(2)), QByteArray("another download"));
    QCOMPARE(readAll(dirB.chopped(2)), QByteArray("another download"));
}

// ---- the mends of the download ----

// The name comes from the address's path only, never from a redirect's target, and cannot leave the
// work folder. The simulator decodes the path, so "..%5C..%5Cevil.exe" is served through a redirect.
void TileOperationsTest::unsafeNameStaysInWorkFolder()
{
    Installer installer;
    serve(QStringLiteral("inst.exe"), installerProgram(installer));
    const QString redirectFrom = QStringLiteral("/files/..\\..\\evil.exe");
    QVERIFY(setScenario({}, QJsonObject{{"redirects", QJsonObject{{redirectFrom, "/files/inst.exe"}}}}));
    SoftwareItemWidget *tile = addTile(installer, url(QStringLiteral("..%5C..%5Cevil.exe")));
    QTest::mouseClick(button(tile, "installButton"), Qt::LeftButton);
    const QString file = tile->operations()->workDir() + QStringLiteral("/setup.exe");
    QCOMPARE(tile->operations()->filePath(), file);
    QTRY_VERIFY_WITH_TIMEOUT(tile->operations()->isInstalled(), kWaitMs);
    // Qt may send a request again on a new connection when the first one closes before its answer,
    // so only the fact that each address was asked for is checked.
    QVERIFY(!m_sim->requests(redirectFrom).isEmpty());
    QVERIFY(!m_sim->requests(QStringLiteral("/files/inst.exe")).isEmpty());
    QCOMPARE(QString::fromUtf8(readAll(appFile("installer.log"))).trimmed(), file);
    // Nothing named after the address appeared anywhere around the program.
    QDirIterator it(m_appDir->path(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        QVERIFY2(!it.next().contains(QStringLiteral("evil")), qPrintable(it.filePath()));
    QVERIFY(!QFileInfo::exists(QFileInfo(m_appDir->path()).absolutePath() + QStringLiteral("/evil.exe")));
}

// A file that cannot take the download ends it like a network error, and the truncated installer never runs.
void TileOperationsTest::writeErrorEndsDownload()
{
#ifdef Q_OS_UNIX
    Installer installer;
    const QByteArray program = installerProgram(installer); // whole in what is written; the rest is padding
    serve(QStringLiteral("big.exe"), program + QByteArray(4 << 20, '#'));
    SoftwareItemWidget *tile = addTile(installer, url(QStringLiteral("big.exe")));
    auto *install = button(tile, "installButton");

    // The file size limit makes writes 64 KiB past the program fail (EFBIG) as a full disk would.
    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = static_cast<rlim_t>(program.size()) + 64 * 1024;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);

    LogCapture log;
    QTest::mouseClick(install, Qt::LeftButton);
    const QString workDir = tile->operations()->workDir();
    QTRY_VERIFY_WITH_TIMEOUT(!tile->operations()->isDownloading(), kWaitMs);
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &saved), 0);
    std::signal(SIGXFSZ, previousHandler);

    QCOMPARE(install->text(), TileText::downloadError());
    QVERIFY(install->isEnabled() && !tile->operations()->isInstallerRunning() && !tile->operations()->isInstalled());
    // The write error itself ended it, not the size check after a download that went on regardless.
    QCOMPARE(log.count(QStringLiteral("Failed to write file:")), 1);
    QVERIFY(!QFileInfo::exists(workDir));
    QCOMPARE(lineCount(appFile("installer.log")), 0);
#else
    QSKIP("needs a file size limit");
#endif
}

void TileOperationsTest::destroyWhileBusy_data()
{
    QTest::addColumn<QString>("busy");
    QTest::newRow("downloading") << "download";
    QTest::newRow("installer running") << "installer";
    QTest::newRow("program running") << "launch";
    QTest::newRow("uninstall tool running") << "uninstall";
}

// Destroying a tile mid-operation neither crashes nor leaks: a download goes with its folder, a
// running child keeps its thread, which deletes itself (and its worker) once the child has exited.
void TileOperationsTest::destroyWhileBusy()
{
    QFETCH(QString, busy);
    const bool download = busy == QLatin1String("download");

    Installer installer;
    if (busy == QLatin1String("launch") || busy == QLatin1String("uninstall")) {
        QVERIFY(installDirectly(installer));
        QVERIFY(touch(appFile("app.wait")) && touch(appFile("tt.wait")));
    }
    installer.hold = true;
    serve(QStringLiteral("inst.exe"), installerProgram(installer));
    if (download)
        QVERIFY(setScenario(faultOn(QStringLiteral("/files/inst.exe"), QStringLiteral("hang"))));
    SoftwareItemWidget *tile = addTile(installer, url(QStringLiteral("inst.exe")));

    QPointer<QThread> thread;
    QString workDir;
    if (download || busy == QLatin1String("installer")) {
        QTest::mouseClick(button(tile, "installButton"), Qt::LeftButton);
        workDir = tile->operations()->workDir();
    }
    if (download) {
        QTRY_VERIFY_WITH_TIMEOUT(!m_sim->requests(QStringLiteral("/files/inst.exe")).isEmpty(), kWaitMs);
        QVERIFY(tile->operations()->isDownloading());
        // Redirects are followed, but never from https down to http. The simulator speaks no TLS, so
        // the refusal itself (Qt's) is not exercised; the request carries the policy.
        const auto *reply = tile->findChild<QNetworkReply *>();
        QVERIFY(reply);
        QCOMPARE(reply->request().attribute(QNetworkRequest::RedirectPolicyAttribute).toInt(),
                 static_cast<int>(QNetworkRequest::NoLessSafeRedirectPolicy));
    } else if (busy == QLatin1String("installer")) {
        QTRY_COMPARE_WITH_TIMEOUT(lineCount(appFile("installer.log")), 1, kWaitMs);
        thread = tile->operations()->findChild<QThread *>();
    } else if (busy == QLatin1String("launch")) {
        QTest::mousePress(label(tile, "iconLabel"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(lineCount(appFile("app.log")), 1, kWaitMs);
        thread = tile->operations()->findChild<QThread *>();
    } else {
        QTest::mouseClick(button(tile, "unInstallButton"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(lineCount(appFile("tt.log")), 1, kWaitMs);
        thread = tile->operations()->findChild<QThread *>();
    }

    delete tile;
    QCoreApplication::processEvents();
    if (download) {
        QVERIFY(!QFileInfo::exists(workDir));
        return;
    }
    QVERIFY(thread && thread->isRunning() && !thread->parent());
    releaseEverything();
    QTRY_VERIFY_WITH_TIMEOUT(thread.isNull(), kWaitMs);
    if (busy == QLatin1String("installer")) {
        // The installer ran to its end; its folder stays, nobody is left to clear it.
        QVERIFY(registered());
        QVERIFY(QFileInfo::exists(workDir));
    }
}

QTEST_MAIN(TileOperationsTest)
#include "tst_tileoperations.moc"
