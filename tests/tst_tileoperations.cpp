// The catalog tile's operations end to end: installers downloaded over real HTTP from the platform
// simulator and run as real child processes, the file-backed uninstall registry, launches and the
// uninstall tool. The stand-in installer and programs are in tests/fixtures/tiles (see README.md).

#include "catalog/commonsoftwaremainwt.h"
#include "catalog/downloadname.h"
#include "catalog/softwareitemwidget.h"
#include "catalog/tiletexts.h"
#include "catalog/workdir.h"
#include "platform/apppaths.h"
#include "support/logcapture.h"
#include "support/simulator.h"

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

int lineCount(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().count('\n') : 0;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool touch(const QString &path, const QByteArray &content = {})
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
}

// Every "temp_" work folder under the program's temp folder.
QStringList workFolders(const QString &appDir)
{
    return QDir(appDir + QStringLiteral("/temp")).entryList({QStringLiteral("temp_*")}, QDir::Dirs);
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

QJsonObject fault(const QString &kind)
{
    return QJsonObject{{"kind", kind}};
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

    void installEndToEnd();
    void dotsCycleOneToSix();
    void installFailureThenRetry_data();
    void installFailureThenRetry();
    void emptyAddressDoesNothing();
    void upgradeEndToEnd_data();
    void upgradeEndToEnd();
    void uninstallFailureThenSuccess();

    void launch_data();
    void launch();
    void secondLaunchWhileRunning();

    void uniqueWorkDirClaimsFreeFolder_data();
    void uniqueWorkDirClaimsFreeFolder();
    void tilesStartedTogetherUseTheirOwnFolders();
    void tileSkipsTakenWorkFolder();

    void addressToFile_data();
    void addressToFile();
    void redirectNeverDowngrades();
    void writeErrorEndsDownload();
    void destroyWhileBusy_data();
    void destroyWhileBusy();

private:
    QString fixtures() const { return QStringLiteral(TESSALY_TEST_FIXTURES "/tiles"); }
    QString appFolder(const QString &name) const { return m_work->path() + QStringLiteral("/apps/") + name; }
    QString appFile(const char *file) const
    {
        return appFolder(QStringLiteral("tileapp")) + QLatin1Char('/') + QLatin1String(file);
    }
    QString holdFile(const QString &name) const { return m_work->path() + QStringLiteral("/hold-") + name; }
    QString registryFile(const QString &name) const;
    QByteArray installerScript(const Installer &installer, qint64 size = 4096);
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
    QVERIFY(QDir(qEnvironmentVariable("TESSALY_REGISTRY_ROOT")).removeRecursively());
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
            QTRY_VERIFY_WITH_TIMEOUT(!tile->isDownloading() && !tile->isInstallerRunning() &&
                                         !tile->isLaunchRunning() && !tile->isUnInstallRunning(),
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

QString TileOperationsTest::registryFile(const QString &name) const
{
    return qEnvironmentVariable("TESSALY_REGISTRY_ROOT") +
        QStringLiteral("/HKEY_CURRENT_USER/SOFTWARE/Microsoft/Windows/CurrentVersion/Uninstall/") + name +
        QStringLiteral(".ini");
}

QByteArray TileOperationsTest::installerScript(const Installer &installer, qint64 size)
{
    QString text = QString::fromUtf8(readAll(fixtures() + QStringLiteral("/installer.sh")));
    QDir().mkpath(appFolder(installer.name));
    text.replace(QStringLiteral("@APP@"), appFolder(installer.name));
    text.replace(QStringLiteral("@HOLD@"), installer.hold ? holdFile(installer.name) : QString());
    text.replace(QStringLiteral("@NAME@"), installer.name);
    text.replace(QStringLiteral("@FIX@"), fixtures());
    text.replace(QStringLiteral("@VER@"), installer.version);
    text.replace(QStringLiteral("@ICON@"), installer.icon ? QStringLiteral("1") : QStringLiteral("0"));
    text.replace(QStringLiteral("@CODE@"), QString::number(installer.exitCode));
    QByteArray script = text.toUtf8();
    // A comment block brings the installer to the size the test wants.
    while (script.size() < size) {
        const int left = static_cast<int>(size - script.size());
        if (left == 1) {
            script.append('\n');
            break;
        }
        script.append('#').append(qMin(left, 80) - 2, 'x').append('\n');
    }
    return script;
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
    const QString path = m_work->path() + QStringLiteral("/direct-installer-") + installer.name;
    return touch(path, installerScript(installer)) &&
        QProcess::execute(QStringLiteral("/bin/sh"), {path}) == installer.exitCode;
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
        {"http://h/files/my%20app.exe", QStringLiteral("my app.exe")},
        {"http://h/files/%E6%B5%8B%E8%AF%95.exe", QStringLiteral("测试.exe")},
        {"http://h/files/..%5C..%5Cevil.exe", safe},
        {"http://h/files/..%2F..%2Fevil.exe", QStringLiteral("evil.exe")},
        {"http://h/files/evil%2F", safe},
        {"http://h/files/", safe},
        {"http://h", safe},
        {"http://h/files/%2E", safe},
        {"http://h/files/%2E%2E", safe},
        {"http://h/files/C%3Aevil.exe", safe},
        {"http://h/files/a.exe%3A%3A%24DATA", safe},
        {"http://h/files/a%0A.exe", safe},
        {"http://h/files/a%00.exe", safe},
        {"http://h/files/CON.exe", safe},
        {"http://h/files/a.exe.", safe},
        {"", safe},
    };
    for (const auto &row : rows)
        QTest::newRow(row.first) << QString::fromUtf8(row.first) << row.second;
}

void TileOperationsTest::downloadFileName()
{
    QFETCH(QString, address);
    QFETCH(QString, expected);
    QCOMPARE(::downloadFileName(QUrl(address)), expected);
}

// ---- install and upgrade ----

void TileOperationsTest::installEndToEnd()
{
    Installer installer;
    installer.hold = true;
    // 1025 bytes: one more than the smallest download taken for an installer.
    const QByteArray script = installerScript(installer, 1025);
    QCOMPARE(script.size(), 1025);
    serve(QStringLiteral("inst.sh"), script);
    SoftwareItemWidget *tile = addTile(installer, url(QStringLiteral("inst.sh")));
    QVERIFY(tile);
    auto *install = button(tile, "installButton");
    auto *status = label(tile, "statusLabel");
    auto *unInstall = button(tile, "unInstallButton");
    QCOMPARE(tile->findChild<QTimer *>()->interval(), 300);

    LogCapture messages;
    QTest::mouseClick(install, Qt::LeftButton);
    QVERIFY(!install->isEnabled());
    QVERIFY(install->text().startsWith(TileText::installing()));
    const QString workDir = tile->workDir();
    QVERIFY(messages.contains(QStringLiteral("download url: \"%1\"").arg(url(QStringLiteral("inst.sh")))));
    QVERIFY(workDir.startsWith(m_appDir->path() + QStringLiteral("/temp/temp_")));
    QCOMPARE(tile->filePath(), workDir + QStringLiteral("/inst.sh"));

    // The installer runs from the work folder and holds until released; the dots move meanwhile.
    QTRY_COMPARE_WITH_TIMEOUT(lineCount(appFile("installer.log")), 1, kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(install->text(), TileText::installing() + QStringLiteral("."), kWaitMs);
    QVERIFY(!install->isEnabled());
    QVERIFY(!visible(unInstall));
    QCOMPARE(QString::fromUtf8(readAll(appFile("installer.log"))).trimmed(), tile->filePath());
    QCOMPARE(m_sim->requests(QStringLiteral("/files/inst.sh")).size(), 1);

    QVERIFY(touch(holdFile(installer.name)));
    QTRY_VERIFY_WITH_TIMEOUT(visible(status), kWaitMs);
    QVERIFY(!tile->isInstallerRunning());
    QVERIFY(tile->isInstalled() && !tile->needsUpgrade());
    QVERIFY(!visible(install));
    QCOMPARE(install->text(), TileText::install());
    QVERIFY(visible(unInstall) && unInstall->isEnabled());
    QCOMPARE(status->text(), TileText::upToDate());
    // The registry was read again: program and uninstaller are the freshly installed ones.
    QCOMPARE(tile->appPath(), appFile("app.sh"));
    QCOMPARE(tile->unInstallPath(), appFile("uninst.exe"));
    QVERIFY(!QFileInfo::exists(workDir));
    QVERIFY(workFolders(m_appDir->path()).isEmpty());
    // The worker named the downloaded installer, and the work folder was cleared once.
    QCOMPARE(messages.count(QStringLiteral("m_installerPath===============:")), 1);
    QVERIFY(messages.lines().contains(QStringLiteral("m_installerPath===============: \"%1\"").arg(tile->filePath())));
    QCOMPARE(messages.count(QStringLiteral("clear temp ==================")), 1);

    // The labels now start the program.
    QCOMPARE(label(tile, "iconLabel")->cursor().shape(), Qt::PointingHandCursor);
    QTest::mousePress(label(tile, "iconLabel"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(lineCount(appFile("launch.log")), 1, kWaitMs);
}

void TileOperationsTest::dotsCycleOneToSix()
{
    Installer installer;
    installer.hold = true;
    serve(QStringLiteral("inst.sh"), installerScript(installer));
    SoftwareItemWidget *tile = addTile(installer, url(QStringLiteral("inst.sh")));
    auto *install = button(tile, "installButton");
    // The timer never fires within the test; each step is one tick, taken by hand.
    tile->setDotInterval(3600 * 1000);
    QTest::mouseClick(install, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(tile->isInstallerRunning(), kWaitMs);
    QCOMPARE(install->text(), TileText::installing());
    // One dot up to six, then back to one.
    for (int dots : {1, 2, 3, 4, 5, 6, 1}) {
        tile->updateDotAnimation();
        QCOMPARE(install->text(), TileText::installing() + QString(dots, QLatin1Char('.')));
    }
}

void TileOperationsTest::installFailureThenRetry_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QString>("expectedText");
    QTest::addColumn<QString>("logLabel");

    QTest::newRow("installer exits 1") << "exit1" << TileText::installFailed() << "m_installerPath===============:";
    QTest::newRow("HTTP 404") << "404" << TileText::downloadError() << "Download error:";
    QTest::newRow("dropped mid-transfer") << "drop" << TileText::downloadError() << "Download error:";
    QTest::newRow("connection reset") << "reset" << TileText::downloadError() << "Download error:";
    QTest::newRow("exactly 1024 bytes") << "small" << TileText::downloadTooSmallInstall()
                                        << "Downloaded file is too small:";
    QTest::newRow("work folder not creatable")
        << "nofolder" << TileText::createFileFailed() << "Failed to open file for writing:";
}

void TileOperationsTest::installFailureThenRetry()
{
    QFETCH(QString, failure);
    QFETCH(QString, expectedText);
    QFETCH(QString, logLabel);

    Installer installer;
    Installer failing = installer;
    failing.exitCode = failure == QLatin1String("exit1") ? 1 : 0;
    const QString file = QStringLiteral("inst.sh");
    const QString path = QStringLiteral("/files/") + file;
    const QByteArray script = installerScript(failing, failure == QLatin1String("small") ? 1024 : 256 * 1024);
    QCOMPARE(script.size(), failure == QLatin1String("small") ? 1024 : 256 * 1024);
    if (failure != QLatin1String("404"))
        serve(file, script);
    if (failure == QLatin1String("drop"))
        QVERIFY(setScenario({}, QJsonObject{{"drops", QJsonObject{{path, 4096}}}}));
    if (failure == QLatin1String("reset"))
        QVERIFY(setScenario(QJsonObject{{path, fault(QStringLiteral("reset"))}}));
    if (failure == QLatin1String("nofolder")) // a file where the temp folder should be
        QVERIFY(touch(m_appDir->path() + QStringLiteral("/temp")));

    SoftwareItemWidget *tile = addTile(installer, url(file));
    auto *install = button(tile, "installButton");
    auto log = std::make_unique<LogCapture>();
    QTest::mouseClick(install, Qt::LeftButton);
    const QString firstWorkDir = tile->workDir();
    QTRY_COMPARE_WITH_TIMEOUT(install->text(), expectedText, kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(!tile->isInstallerRunning(), kWaitMs);
    QVERIFY2(log->contains(logLabel), qPrintable(log->lines().join(QLatin1Char('\n'))));
    log.reset();
    QVERIFY(install->isEnabled() && visible(install));
    QVERIFY(!tile->isInstalled() && !tile->isDownloading());
    QVERIFY(tile->workDir().isEmpty());
    QVERIFY(firstWorkDir.isEmpty() || !QFileInfo::exists(firstWorkDir));
    QVERIFY(workFolders(m_appDir->path()).isEmpty());
    if (failure != QLatin1String("exit1"))
        QCOMPARE(lineCount(appFile("installer.log")), 0);

    // Mend the cause; the same button downloads again into a fresh work folder and installs.
    QFile::remove(m_appDir->path() + QStringLiteral("/temp"));
    installer.hold = true;
    serve(file, installerScript(installer));
    QVERIFY(setScenario());
    const int requestsBefore = m_sim->requests(path).size();
    QTest::mouseClick(install, Qt::LeftButton);
    QVERIFY(install->text().startsWith(TileText::installing()));
    const QString secondWorkDir = tile->workDir();
    QVERIFY(!secondWorkDir.isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(tile->isInstallerRunning(), kWaitMs);
    QCOMPARE(QFileInfo(tile->filePath()).absolutePath(), secondWorkDir);
    QCOMPARE(m_sim->requests(path).size(), requestsBefore + 1);
    QVERIFY(touch(holdFile(installer.name)));
    QTRY_VERIFY_WITH_TIMEOUT(visible(label(tile, "statusLabel")), kWaitMs);
    QVERIFY(!QFileInfo::exists(secondWorkDir));
}

void TileOperationsTest::emptyAddressDoesNothing()
{
    SoftwareItemWidget *tile = addTile(Installer(), QString());
    auto *install = button(tile, "installButton");
    QTest::mouseClick(install, Qt::LeftButton);
    QCOMPARE(install->text(), TileText::install());
    QVERIFY(install->isEnabled());
    QVERIFY(!tile->isDownloading());
    QVERIFY(workFolders(m_appDir->path()).isEmpty());
    QCOMPARE(m_sim->requests().size(), 0);
}

void TileOperationsTest::upgradeEndToEnd_data()
{
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<QString>("expectedText");
    QTest::addColumn<QString>("launch"); // a program launched before the upgrade ends "during" it or "after" it
    QTest::addColumn<int>("launchExit");

    QTest::newRow("success") << "success" << TileText::upgrade() << QString() << 0;
    QTest::newRow("installer exits 1") << "exit1" << TileText::upgradeFailed() << QString() << 0;
    QTest::newRow("too small") << "small" << TileText::downloadTooSmallUpgrade() << QString() << 0;
    QTest::newRow("HTTP 404") << "404" << TileText::downloadError() << QString() << 0;
    for (const char *launch : {"during", "after"}) {
        for (int launchExit : {0, 1}) {
            for (const bool success : {true, false}) {
                QTest::addRow("launch ends %s the upgrade, program exits %d, installer exits %d", launch, launchExit,
                              success ? 0 : 1)
                    << (success ? "success" : "exit1") << (success ? TileText::upgrade() : TileText::upgradeFailed())
                    << QString::fromLatin1(launch) << launchExit;
            }
        }
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
    if (outcome == QLatin1String("small"))
        serve(QStringLiteral("up.sh"), QByteArray(1024, '#'));
    else if (outcome != QLatin1String("404"))
        serve(QStringLiteral("up.sh"), installerScript(next));
    SoftwareItemWidget *tile = addTile(next, url(QStringLiteral("up.sh")));
    auto *upgrade = button(tile, "upgradeButton");
    auto *unInstall = button(tile, "unInstallButton");
    auto *status = label(tile, "statusLabel");
    QVERIFY(tile->isInstalled() && tile->needsUpgrade() && visible(upgrade));
    if (!launch.isEmpty()) {
        QTest::mousePress(label(tile, "iconLabel"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(lineCount(appFile("launch.log")), 1, kWaitMs);
    }

    QTest::mouseClick(upgrade, Qt::LeftButton);
    const auto upgradeRunning = [&] {
        QVERIFY(visible(upgrade) && !upgrade->isEnabled() && !visible(status) && !unInstall->isEnabled());
        QVERIFY(upgrade->text().startsWith(TileText::upgrading()));
        QCOMPARE(tile->operation(), SoftwareItemWidget::Upgrading);
    };
    const auto endLaunch = [&] {
        QVERIFY(touch(appFile("app.release")));
        QTRY_VERIFY_WITH_TIMEOUT(!tile->isLaunchRunning(), kWaitMs);
        QCoreApplication::processEvents();
    };
    const auto upgradeOutcome = [&] {
        QCOMPARE(upgrade->text(), expectedText);
        QVERIFY(upgrade->isEnabled() && unInstall->isEnabled());
        QVERIFY(workFolders(m_appDir->path()).isEmpty());
        QVERIFY(tile->isInstalled());
        QCOMPARE(tile->needsUpgrade(), !success);
        QCOMPARE(visible(upgrade), !success);
        QCOMPARE(visible(status), success);
    };
    upgradeRunning();
    if (success || outcome == QLatin1String("exit1")) {
        QTRY_VERIFY_WITH_TIMEOUT(tile->isInstallerRunning(), kWaitMs);
        QVERIFY(tile->installerThread() != tile->launchThread());
        QTRY_VERIFY_WITH_TIMEOUT(upgrade->text().startsWith(TileText::upgrading() + QLatin1Char('.')), kWaitMs);
        if (launch == QLatin1String("during")) {
            endLaunch();
            QVERIFY(tile->isInstallerRunning());
            upgradeRunning();
        }
        QVERIFY(touch(holdFile(next.name)));
    }
    QTRY_VERIFY_WITH_TIMEOUT(!tile->isDownloading() && !tile->isInstallerRunning(), kWaitMs);
    upgradeOutcome();
    if (launch == QLatin1String("after")) {
        QVERIFY(tile->isLaunchRunning());
        endLaunch();
        upgradeOutcome();
    }
}

// A failing uninstall tool keeps the application; a second press runs the tool again and succeeds.
void TileOperationsTest::uninstallFailureThenSuccess()
{
    Installer installer;
    QVERIFY(installDirectly(installer));
    QVERIFY(QFileInfo::exists(registryFile(installer.name)));
    QVERIFY(touch(appFile("tt.code"), "1"));
    SoftwareItemWidget *tile = addTile(installer, url(QStringLiteral("inst.sh")));
    auto *unInstall = button(tile, "unInstallButton");
    auto *install = button(tile, "installButton");
    auto *status = label(tile, "statusLabel");
    QVERIFY(visible(unInstall) && visible(status) && !visible(install));

    QTest::mouseClick(unInstall, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!tile->isUnInstallRunning(), kWaitMs);
    QCOMPARE(unInstall->text(), TileText::unInstallFailed());
    QVERIFY(unInstall->isEnabled());
    QVERIFY(tile->isInstalled() && visible(status));
    QVERIFY(QFileInfo::exists(registryFile(installer.name)));

    QFile::remove(appFile("tt.code"));
    QVERIFY(touch(appFile("tt.wait")));
    tile->setDotInterval(5);
    LogCapture log;
    QTest::mouseClick(unInstall, Qt::LeftButton);
    QCOMPARE(unInstall->text(), TileText::unInstalling());
    QVERIFY(!unInstall->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(lineCount(appFile("tt.log")), 2, kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(unInstall->text(), TileText::unInstalling() + QStringLiteral("......"), kWaitMs);

    QVERIFY(touch(appFile("tt.release")));
    QTRY_VERIFY_WITH_TIMEOUT(!tile->isUnInstallRunning(), kWaitMs);
    QVERIFY(!QFileInfo::exists(registryFile(installer.name)));
    QVERIFY(!tile->isInstalled());
    // The worker named the registered uninstaller and the tool beside it.
    QVERIFY(
        log.lines().contains(QStringLiteral("m_unInstallerPath===============: \"%1\"").arg(appFile("uninst.exe"))));
    QVERIFY(log.lines().contains(QStringLiteral("ttUnInstallFilePath===============: \"%1\"").arg(appFile("tt.exe"))));
    QCOMPARE(unInstall->text(), TileText::unInstall());
    QVERIFY(visible(install) && install->isEnabled());
    QCOMPARE(install->text(), TileText::install());
    QVERIFY(!visible(unInstall) && !visible(status) && !visible(button(tile, "upgradeButton")));

    // No longer installed: the labels start nothing.
    QTest::mousePress(label(tile, "iconLabel"), Qt::LeftButton);
    QVERIFY(!tile->isLaunchRunning());
    QCOMPARE(lineCount(appFile("launch.log")), 0);
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
        QVERIFY(installDirectly(installer));
    SoftwareItemWidget *tile = addTile(installer, url(QStringLiteral("inst.sh")));
    QCOMPARE(tile->isInstalled(), installed);
    QCOMPARE(tile->appPath().isEmpty(), !starts);
    auto *pressed = tile->findChild<QLabel *>(label);
    auto *status = ::label(tile, "statusLabel");
    const QString statusText = status->text();

    // A right-button press starts nothing.
    QTest::mousePress(pressed, Qt::RightButton);
    QVERIFY(!tile->isLaunchRunning());
    QTest::mousePress(pressed, Qt::LeftButton);
    QCOMPARE(tile->isLaunchRunning(), starts);
    QTRY_COMPARE_WITH_TIMEOUT(lineCount(appFile("launch.log")), starts ? 1 : 0, kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(!tile->isLaunchRunning(), kWaitMs);
    // A launch changes nothing on the tile, whatever the program's exit code.
    QCOMPARE(status->text(), statusText);
    QCOMPARE(visible(status), installed);
    QVERIFY(workFolders(m_appDir->path()).isEmpty());
}

void TileOperationsTest::secondLaunchWhileRunning()
{
    Installer installer;
    QVERIFY(installDirectly(installer));
    QVERIFY(touch(appFile("app.wait")));
    SoftwareItemWidget *tile = addTile(installer, url(QStringLiteral("inst.sh")));
    auto *name = label(tile, "nameLabel");

    QTest::mousePress(name, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(lineCount(appFile("launch.log")), 1, kWaitMs);
    QPointer<QThread> firstThread = tile->launchThread();
    {
        LogCapture log;
        QTest::mousePress(name, Qt::LeftButton);
        QTest::mousePress(label(tile, "iconLabel"), Qt::LeftButton);
        QCOMPARE(log.count(QStringLiteral("Program is already running:")), 2);
    }
    QCOMPARE(tile->launchThread(), firstThread.data());

    QVERIFY(touch(appFile("app.release")));
    QTRY_VERIFY_WITH_TIMEOUT(!tile->isLaunchRunning(), kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(firstThread.isNull(), kWaitMs); // the thread deleted itself
    QCOMPARE(lineCount(appFile("launch.log")), 1);

    // Once the program has exited, a press starts it again.
    QTest::mousePress(name, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(lineCount(appFile("launch.log")), 2, kWaitMs);
}

// ---- the mends of the download ----

void TileOperationsTest::uniqueWorkDirClaimsFreeFolder_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("expected"); // suffix after the base; "none": no folder

    const QList<QPair<const char *, const char *>> rows{
        {"missing", ""},
        {"empty", ""},
        {"file", "_1"},
        {"hidden", "_1"},
        {"file twice", "_2"},
        {"plain file", "_1"},
        {"held", "_1"},
        {"released", ""},
        {"held twice, first released", ""},
        {"parent is a file", "none"},
    };
    for (const auto &row : rows)
        QTest::newRow(row.first) << QString::fromLatin1(row.first) << QString::fromLatin1(row.second);
}

void TileOperationsTest::uniqueWorkDirClaimsFreeFolder()
{
    QFETCH(QString, setup);
    QFETCH(QString, expected);

    const QString temp = m_work->path() + QStringLiteral("/temp");
    const QString base = temp + QStringLiteral("/temp_01020304005");
    const auto is = [&setup](const char *name) { return setup == QLatin1String(name); };
    QString claimedBefore;
    QVERIFY(QDir().mkpath(temp));
    if (is("empty") || is("file") || is("file twice") || is("hidden"))
        QVERIFY(QDir().mkpath(base));
    if (is("file") || is("file twice"))
        QVERIFY(touch(base + QStringLiteral("/setup.exe"), "other download"));
    if (is("file twice"))
        QVERIFY(QDir().mkpath(base + QStringLiteral("_1")) && touch(base + QStringLiteral("_1/setup.exe"), "x"));
    if (is("hidden"))
        QVERIFY(touch(base + QStringLiteral("/.partial")));
    if (is("plain file"))
        QVERIFY(touch(base, "not a folder"));
    if (is("held"))
        claimedBefore = uniqueWorkDir(base);
    if (is("released") || is("held twice, first released"))
        QCOMPARE(uniqueWorkDir(base), base);
    if (is("held twice, first released")) {
        claimedBefore = uniqueWorkDir(base);
        QCOMPARE(claimedBefore, base + QStringLiteral("_1"));
    }
    if (is("released") || is("held twice, first released"))
        releaseWorkDir(base);
    if (is("parent is a file"))
        QVERIFY(QDir(temp).removeRecursively() && touch(temp, "not a folder"));
    const QStringList before = entries(temp);

    const QString claimed = uniqueWorkDir(base);
    if (expected == QLatin1String("none")) {
        QVERIFY(claimed.isEmpty());
    } else {
        QCOMPARE(claimed, base + expected);
        QVERIFY(QFileInfo(claimed).isDir());
        QVERIFY(entries(claimed).isEmpty());
        // Claimed until released: the next call moves on even though the folder is still empty.
        const QString next = uniqueWorkDir(base);
        QVERIFY(!next.isEmpty() && next != claimed);
        releaseWorkDir(next);
        releaseWorkDir(claimed);
    }
    if (!claimedBefore.isEmpty())
        releaseWorkDir(claimedBefore);
    // Whatever was there before is untouched.
    if (setup.startsWith(QLatin1String("file")))
        QCOMPARE(readAll(base + QStringLiteral("/setup.exe")), QByteArray("other download"));
    const QStringList after = entries(temp);
    for (const QString &entry : before)
        QVERIFY2(after.contains(entry), qPrintable(entry));
}

// Two tiles started back to back (often within one millisecond, when the time-stamped name of
// their work folders is the same) each download into and clear a folder of their own.
void TileOperationsTest::tilesStartedTogetherUseTheirOwnFolders()
{
    Installer first;
    first.hold = true;
    Installer second = first;
    second.name = QStringLiteral("tileapp2");
    serve(QStringLiteral("first.sh"), installerScript(first));
    serve(QStringLiteral("second.sh"), installerScript(second));
    SoftwareItemWidget *tileA = addTile(first, url(QStringLiteral("first.sh")));
    SoftwareItemWidget *tileB = addTile(second, url(QStringLiteral("second.sh")));

    // Pressed in one go, without the event loop in between.
    button(tileA, "installButton")->click();
    button(tileB, "installButton")->click();
    const QString dirA = tileA->workDir();
    const QString dirB = tileB->workDir();
    QVERIFY(!dirA.isEmpty() && !dirB.isEmpty() && dirA != dirB);
    QCOMPARE(workFolders(m_appDir->path()).size(), 2);

    // Both installers run, each from its own folder, and each tile clears only its own.
    QTRY_VERIFY_WITH_TIMEOUT(tileA->isInstallerRunning() && tileB->isInstallerRunning(), kWaitMs);
    QCOMPARE(QFileInfo(tileA->filePath()).absolutePath(), dirA);
    QCOMPARE(QFileInfo(tileB->filePath()).absolutePath(), dirB);
    QVERIFY(QFileInfo(tileA->filePath()).isFile() && QFileInfo(tileB->filePath()).isFile());
    QVERIFY(touch(holdFile(first.name)));
    QTRY_VERIFY_WITH_TIMEOUT(tileA->isInstalled(), kWaitMs);
    QVERIFY(!QFileInfo::exists(dirA));
    QVERIFY(QFileInfo(tileB->filePath()).isFile());
    QVERIFY(touch(holdFile(second.name)));
    QTRY_VERIFY_WITH_TIMEOUT(tileB->isInstalled(), kWaitMs);
    QVERIFY(workFolders(m_appDir->path()).isEmpty());
}

// A download whose time-stamped folder already holds another download's file takes the next name.
// The folders of a stretch of time a moment ahead are filled beforehand, and the press is timed
// into that stretch, so it certainly meets one of them.
void TileOperationsTest::tileSkipsTakenWorkFolder()
{
    Installer installer;
    installer.hold = true;
    serve(QStringLiteral("inst.sh"), installerScript(installer));
    SoftwareItemWidget *tile = addTile(installer, url(QStringLiteral("inst.sh")));
    auto *install = button(tile, "installButton");

    // The names MyContext::newTempWorkDir() hands out: "temp_" and the time to the millisecond.
    const QString temp = m_appDir->path() + QStringLiteral("/temp/temp_");
    const QDateTime stretchStart = QDateTime::currentDateTime().addMSecs(800);
    for (int ms = 0; ms < 200; ++ms) {
        const QString taken = temp + stretchStart.addMSecs(ms).toString(QStringLiteral("ddhhmmsszzz"));
        QVERIFY(QDir().mkpath(taken) && touch(taken + QStringLiteral("/setup.exe"), "another download"));
    }
    const qint64 untilPress = QDateTime::currentDateTime().msecsTo(stretchStart) + 20;
    if (untilPress <= 20)
        QSKIP("filling the folders took too long on this machine");
    QTimer::singleShot(untilPress, Qt::PreciseTimer, install,
                       [install] { QTest::mouseClick(install, Qt::LeftButton); });
    QTRY_VERIFY_WITH_TIMEOUT(tile->isDownloading() || tile->isInstallerRunning(), kWaitMs);

    const QString workDir = tile->workDir();
    if (!workDir.endsWith(QStringLiteral("_1"))) {
        // A loaded machine delivered the press after the prepared stretch: the folder it got was free.
        QVERIFY(touch(holdFile(installer.name)));
        QTRY_VERIFY_WITH_TIMEOUT(tile->isInstalled(), kWaitMs);
        QSKIP("the press missed the prepared folders");
    }
    const QString base = workDir.chopped(2);
    QVERIFY(base.startsWith(temp));
    QTRY_VERIFY_WITH_TIMEOUT(tile->isInstallerRunning(), kWaitMs);
    QVERIFY(touch(holdFile(installer.name)));
    QTRY_VERIFY_WITH_TIMEOUT(tile->isInstalled(), kWaitMs);
    QVERIFY(!QFileInfo::exists(workDir));
    // The other download's folder and file are as they were.
    QCOMPARE(readAll(base + QStringLiteral("/setup.exe")), QByteArray("another download"));
    QCOMPARE(entries(base), QStringList{QStringLiteral("setup.exe")});
}

// The address decides the file's name only through its path's last segment, and a redirect is followed.
// "..%5C..%5Cevil.exe" is served through a redirect, since the simulator decodes the path.
void TileOperationsTest::addressToFile_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("redirectFrom");
    QTest::addColumn<QString>("fileName");

    QTest::newRow("unsafe name") << "..%5C..%5Cevil.exe"
                                 << "/files/..\\..\\evil.exe"
                                 << "setup.exe";
    QTest::newRow("query and fragment") << "inst.sh?channel=1/x.exe#top" << QString() << "inst.sh";
    QTest::newRow("redirect") << "latest.sh"
                              << "/files/latest.sh"
                              << "latest.sh";
}

void TileOperationsTest::addressToFile()
{
    QFETCH(QString, address);
    QFETCH(QString, redirectFrom);
    QFETCH(QString, fileName);

    Installer installer;
    serve(QStringLiteral("inst.sh"), installerScript(installer));
    if (!redirectFrom.isEmpty())
        QVERIFY(setScenario({}, QJsonObject{{"redirects", QJsonObject{{redirectFrom, "/files/inst.sh"}}}}));
    SoftwareItemWidget *tile = addTile(installer, url(address));
    QTest::mouseClick(button(tile, "installButton"), Qt::LeftButton);
    const QString workDir = tile->workDir();
    QCOMPARE(tile->filePath(), workDir + QLatin1Char('/') + fileName);
    QTRY_VERIFY_WITH_TIMEOUT(tile->isInstalled(), kWaitMs);
    // Qt may send a request again on a new connection when the first one closes before its answer,
    // so only the fact that each address was asked for is checked.
    QVERIFY(!m_sim->requests(QStringLiteral("/files/inst.sh")).isEmpty());
    if (!redirectFrom.isEmpty())
        QVERIFY(!m_sim->requests(redirectFrom).isEmpty());
    QCOMPARE(QString::fromUtf8(readAll(appFile("installer.log"))).trimmed(), workDir + QLatin1Char('/') + fileName);
    // Nothing named after the address appeared anywhere around the program.
    QDirIterator it(m_appDir->path(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        QVERIFY2(!it.next().contains(QStringLiteral("evil")), qPrintable(it.filePath()));
    QVERIFY(!QFileInfo::exists(QFileInfo(m_appDir->path()).absolutePath() + QStringLiteral("/evil.exe")));
}

// The download asks Qt for NoLessSafeRedirectPolicy, so an https address may redirect to https only.
// The simulator speaks no TLS: the refusal of a step down to http is Qt's and is not exercised here;
// what is checked is that the request carries the policy.
void TileOperationsTest::redirectNeverDowngrades()
{
    QVERIFY(setScenario(QJsonObject{{"/files/inst.sh", fault(QStringLiteral("hang"))}}));
    SoftwareItemWidget *tile = addTile(Installer(), url(QStringLiteral("inst.sh")));
    QTest::mouseClick(button(tile, "installButton"), Qt::LeftButton);
    const auto *reply = tile->findChild<QNetworkReply *>();
    QVERIFY(reply);
    QCOMPARE(reply->request().attribute(QNetworkRequest::RedirectPolicyAttribute).toInt(),
             static_cast<int>(QNetworkRequest::NoLessSafeRedirectPolicy));
    delete tile; // the request never ends; the tile goes with it
}

// A file that cannot take the download ends it like a network error, and the truncated installer never runs.
void TileOperationsTest::writeErrorEndsDownload()
{
#ifdef Q_OS_UNIX
    Installer installer;
    serve(QStringLiteral("big.sh"), installerScript(installer, 4 * 1024 * 1024));
    SoftwareItemWidget *tile = addTile(installer, url(QStringLiteral("big.sh")));
    auto *install = button(tile, "installButton");

    // The file size limit makes writes past 64 KiB fail (EFBIG) as a full disk would.
    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 64 * 1024;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);

    LogCapture log;
    QTest::mouseClick(install, Qt::LeftButton);
    const QString workDir = tile->workDir();
    QTRY_VERIFY_WITH_TIMEOUT(!tile->isDownloading(), kWaitMs);
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &saved), 0);
    std::signal(SIGXFSZ, previousHandler);

    QCOMPARE(install->text(), TileText::downloadError());
    QVERIFY(install->isEnabled());
    QVERIFY(!tile->isInstallerRunning() && !tile->isInstalled());
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
    serve(QStringLiteral("inst.sh"), installerScript(installer));
    if (download)
        QVERIFY(setScenario(QJsonObject{{"/files/inst.sh", fault(QStringLiteral("hang"))}}));
    SoftwareItemWidget *tile = addTile(installer, url(QStringLiteral("inst.sh")));

    QPointer<QThread> thread;
    QString workDir;
    if (download || busy == QLatin1String("installer")) {
        QTest::mouseClick(button(tile, "installButton"), Qt::LeftButton);
        workDir = tile->workDir();
    }
    if (download) {
        QTRY_COMPARE_WITH_TIMEOUT(m_sim->requests(QStringLiteral("/files/inst.sh")).size(), 1, kWaitMs);
        QVERIFY(tile->isDownloading());
    } else if (busy == QLatin1String("installer")) {
        QTRY_COMPARE_WITH_TIMEOUT(lineCount(appFile("installer.log")), 1, kWaitMs);
        thread = tile->installerThread();
    } else if (busy == QLatin1String("launch")) {
        QTest::mousePress(label(tile, "iconLabel"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(lineCount(appFile("launch.log")), 1, kWaitMs);
        thread = tile->launchThread();
    } else {
        QTest::mouseClick(button(tile, "unInstallButton"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(lineCount(appFile("tt.log")), 1, kWaitMs);
        thread = tile->unInstallThread();
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
        QVERIFY(QFileInfo::exists(registryFile(installer.name)));
        QVERIFY(QFileInfo::exists(workDir));
    }
}

QTEST_MAIN(TileOperationsTest)
#include "tst_tileoperations.moc"
