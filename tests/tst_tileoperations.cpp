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
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QMutex>
#include <QMutexLocker>
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
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    return file.readAll().count('\n');
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

bool visible(QWidget *widget)
{
    return !widget->isHidden();
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
    void sizeRule_data();
    void sizeRule();
    void emptyAddressDoesNothing();
    void upgradeEndToEnd_data();
    void upgradeEndToEnd();
    void uninstallEndToEnd();
    void uninstallFailure();

    void launchStartsProgram_data();
    void launchStartsProgram();
    void launchStartsNothing_data();
    void launchStartsNothing();
    void secondLaunchWhileRunning();
    void launchBesideUpgrade_data();
    void launchBesideUpgrade();

    void uniqueWorkDirClaimsFreeFolder_data();
    void uniqueWorkDirClaimsFreeFolder();
    void tilesStartedTogetherUseTheirOwnFolders();
    void tileSkipsTakenWorkFolder();

    void unsafeNameStaysInWorkFolder();
    void queryAndFragmentAreNotPartOfTheName();
    void redirectIsFollowed();
    void redirectNeverDowngrades();
    void writeErrorEndsDownload();
    void destroyWhileBusy_data();
    void destroyWhileBusy();

private:
    QString fixtures() const { return QStringLiteral(TESSALY_TEST_FIXTURES "/tiles"); }
    QString appFolder(const QString &name) const { return m_work->path() + QStringLiteral("/apps/") + name; }
    QString holdFile(const QString &name) const { return m_work->path() + QStringLiteral("/hold-") + name; }
    QString registryFile(const QString &name) const;
    QByteArray installerScript(const Installer &installer, qint64 size = 4096);
    void serve(const QString &fileName, const QByteArray &content);
    QString url(const QString &fileName) const { return m_sim->baseUrl() + QStringLiteral("/files/") + fileName; }
    bool installDirectly(const Installer &installer);
    SoftwareItemWidget *addTile(const QString &pathName, const QString &version, const QString &downloadUrl);
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
    QVERIFY(m_sim->setScenario(QJsonObject{{"files", QJsonObject{{"root", m_files->path()}}}}));
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
        const QList<SoftwareItemWidget *> tiles = m_page->findChildren<SoftwareItemWidget *>();
        for (SoftwareItemWidget *tile : tiles) {
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
    const QDir work(m_work->path());
    QDir().mkpath(work.filePath(QStringLiteral("apps")));
    for (const QString &name :
         QDir(work.filePath(QStringLiteral("apps"))).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
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
    QFile file(fixtures() + QStringLiteral("/installer.sh"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QString text = QString::fromUtf8(file.readAll());
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

// Installs the application by running its installer directly, as if done before the program started.
bool TileOperationsTest::installDirectly(const Installer &installer)
{
    const QString path = m_work->path() + QStringLiteral("/direct-installer-") + installer.name;
    if (!touch(path, installerScript(installer)))
        return false;
    return QProcess::execute(QStringLiteral("/bin/sh"), {path}) == installer.exitCode;
}

SoftwareItemWidget *TileOperationsTest::addTile(const QString &pathName, const QString &version,
                                                const QString &downloadUrl)
{
    const int index = m_page->grid()->count();
    m_page->addItem(QStringLiteral("测试应用"), QStringLiteral("一个测试用的应用"), QPixmap(), pathName, version,
                    downloadUrl);
    QLayoutItem *item = m_page->grid()->itemAtPosition(index / 4, index % 4);
    return item ? qobject_cast<SoftwareItemWidget *>(item->widget()) : nullptr;
}

// ---- the download's file name ----

void TileOperationsTest::downloadFileName_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("expected");

    QTest::newRow("plain") << "http://h/files/setup_2.0.exe"
                           << "setup_2.0.exe";
    QTest::newRow("query and fragment") << "http://h/files/app.exe?v=2&x=/y.exe#part"
                                        << "app.exe";
    QTest::newRow("encoded space") << "http://h/files/my%20app.exe"
                                   << "my app.exe";
    QTest::newRow("chinese") << "http://h/files/%E6%B5%8B%E8%AF%95.exe"
                             << "测试.exe";
    QTest::newRow("backslash dot-dot") << "http://h/files/..%5C..%5Cevil.exe"
                                       << "setup.exe";
    QTest::newRow("encoded slash") << "http://h/files/..%2F..%2Fevil.exe"
                                   << "evil.exe";
    QTest::newRow("encoded slash at end") << "http://h/files/evil%2F"
                                          << "setup.exe";
    QTest::newRow("trailing slash") << "http://h/files/"
                                    << "setup.exe";
    QTest::newRow("no path") << "http://h"
                             << "setup.exe";
    QTest::newRow("dot") << "http://h/files/%2E"
                         << "setup.exe";
    QTest::newRow("dot-dot") << "http://h/files/%2E%2E"
                             << "setup.exe";
    QTest::newRow("drive colon") << "http://h/files/C%3Aevil.exe"
                                 << "setup.exe";
    QTest::newRow("stream colon") << "http://h/files/a.exe%3A%3A%24DATA"
                                  << "setup.exe";
    QTest::newRow("newline") << "http://h/files/a%0A.exe"
                             << "setup.exe";
    QTest::newRow("nul") << "http://h/files/a%00.exe"
                         << "setup.exe";
    QTest::newRow("device name") << "http://h/files/CON.exe"
                                 << "setup.exe";
    QTest::newRow("trailing dot") << "http://h/files/a.exe."
                                  << "setup.exe";
    QTest::newRow("empty address") << ""
                                   << "setup.exe";
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
    serve(QStringLiteral("inst.sh"), installerScript(installer));
    SoftwareItemWidget *tile = addTile(installer.name, installer.version, url(QStringLiteral("inst.sh")));
    QVERIFY(tile);
    auto *install = tile->findChild<QPushButton *>(QStringLiteral("installButton"));
    auto *status = tile->findChild<QLabel *>(QStringLiteral("statusLabel"));
    auto *unInstall = tile->findChild<QPushButton *>(QStringLiteral("unInstallButton"));
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
    QTRY_COMPARE_WITH_TIMEOUT(lineCount(appFolder(installer.name) + QStringLiteral("/installer.log")), 1, kWaitMs);
    QVERIFY(tile->isInstallerRunning());
    QTRY_COMPARE_WITH_TIMEOUT(install->text(), TileText::installing() + QStringLiteral("."), kWaitMs);
    QVERIFY(!install->isEnabled());
    QVERIFY(!visible(unInstall));
    QFile log(appFolder(installer.name) + QStringLiteral("/installer.log"));
    QVERIFY(log.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(log.readAll()).trimmed(), tile->filePath());
    QCOMPARE(m_sim->requests(QStringLiteral("/files/inst.sh")).size(), 1);

    QVERIFY(touch(holdFile(installer.name)));
    QTRY_VERIFY_WITH_TIMEOUT(visible(status), kWaitMs);
    QVERIFY(!tile->isInstallerRunning());
    QVERIFY(tile->isInstalled());
    QVERIFY(!tile->needsUpgrade());
    QVERIFY(!visible(install));
    QCOMPARE(install->text(), TileText::install());
    QVERIFY(visible(unInstall));
    QVERIFY(unInstall->isEnabled());
    QCOMPARE(status->text(), TileText::upToDate());
    // The registry was read again: program and uninstaller are the freshly installed ones.
    QCOMPARE(tile->appPath(), appFolder(installer.name) + QStringLiteral("/app.sh"));
    QCOMPARE(tile->unInstallPath(), appFolder(installer.name) + QStringLiteral("/uninst.exe"));
    QVERIFY(!QFileInfo::exists(workDir));
    QVERIFY(workFolders(m_appDir->path()).isEmpty());
    // The worker named the downloaded installer, and the work folder was cleared once.
    QCOMPARE(messages.count(QStringLiteral("m_installerPath===============:")), 1);
    QVERIFY(messages.lines().contains(QStringLiteral("m_installerPath===============: \"%1\"").arg(tile->filePath())));
    QCOMPARE(messages.count(QStringLiteral("clear temp ==================")), 1);

    // The labels now start the program.
    auto *icon = tile->findChild<QLabel *>(QStringLiteral("iconLabel"));
    QCOMPARE(icon->cursor().shape(), Qt::PointingHandCursor);
    QTest::mousePress(icon, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(lineCount(appFolder(installer.name) + QStringLiteral("/launch.log")), 1, kWaitMs);
}

void TileOperationsTest::dotsCycleOneToSix()
{
    Installer installer;
    installer.hold = true;
    serve(QStringLiteral("inst.sh"), installerScript(installer));
    SoftwareItemWidget *tile = addTile(installer.name, installer.version, url(QStringLiteral("inst.sh")));
    auto *install = tile->findChild<QPushButton *>(QStringLiteral("installButton"));
    // The timer never fires within the test; each step is one tick, taken by hand.
    tile->setDotInterval(3600 * 1000);
    QTest::mouseClick(install, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(tile->isInstallerRunning(), kWaitMs);
    QCOMPARE(install->text(), TileText::installing());

    // One dot up to six, then back to one.
    const QStringList expected{
        TileText::installing() + QStringLiteral("."),     TileText::installing() + QStringLiteral(".."),
        TileText::installing() + QStringLiteral("..."),   TileText::installing() + QStringLiteral("...."),
        TileText::installing() + QStringLiteral("....."), TileText::installing() + QStringLiteral("......"),
        TileText::installing() + QStringLiteral("."),
    };
    for (const QString &text : expected) {
        tile->updateDotAnimation();
        QCOMPARE(install->text(), text);
    }
}

void TileOperationsTest::installFailureThenRetry_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QString>("expectedText");
    QTest::addColumn<QString>("logLabel");

    QTest::newRow("installer exits 1") << "exit1" << TileText::installFailed() << "m_installerPath===============:";
    QTest::newRow("HTTP 404") << "404" << TileText::downloadError() << "Download error:";
    QTest::newRow("HTTP 500") << "500" << TileText::downloadError() << "Download error:";
    QTest::newRow("dropped mid-transfer") << "drop" << TileText::downloadError() << "Download error:";
    QTest::newRow("connection reset") << "reset" << TileText::downloadError() << "Download error:";
    QTest::newRow("too small") << "small" << TileText::downloadTooSmallInstall() << "Downloaded file is too small:";
    QTest::newRow("work folder not creatable")
        << "nofolder" << TileText::createFileFailed() << "Failed to open file for writing:";
}

void TileOperationsTest::installFailureThenRetry()
{
    QFETCH(QString, failure);
    QFETCH(QString, expectedText);
    QFETCH(QString, logLabel);

    Installer installer;
    const QString file = QStringLiteral("inst.sh");
    QJsonObject files{{"root", m_files->path()}};
    QJsonObject faults;
    if (failure == QLatin1String("exit1")) {
        Installer failing = installer;
        failing.exitCode = 1;
        serve(file, installerScript(failing));
    } else if (failure == QLatin1String("404")) {
        QFile::remove(m_files->path() + QLatin1Char('/') + file);
    } else if (failure == QLatin1String("500")) {
        serve(file, installerScript(installer));
        faults.insert(QStringLiteral("/files/") + file, QJsonObject{{"kind", "status"}, {"status", 500}});
    } else if (failure == QLatin1String("drop")) {
        serve(file, installerScript(installer, 256 * 1024));
        files.insert(QStringLiteral("drops"), QJsonObject{{QStringLiteral("/files/") + file, 4096}});
    } else if (failure == QLatin1String("reset")) {
        serve(file, installerScript(installer));
        faults.insert(QStringLiteral("/files/") + file, QJsonObject{{"kind", "reset"}});
    } else if (failure == QLatin1String("small")) {
        serve(file, QByteArray(100, 'x'));
    } else if (failure == QLatin1String("nofolder")) {
        serve(file, installerScript(installer));
        // A file where the temp folder should be: no work folder can be made.
        QVERIFY(touch(m_appDir->path() + QStringLiteral("/temp")));
    }
    QVERIFY(m_sim->setScenario(QJsonObject{{"files", files}, {"faults", faults}}));

    SoftwareItemWidget *tile = addTile(installer.name, installer.version, url(file));
    auto *install = tile->findChild<QPushButton *>(QStringLiteral("installButton"));
    std::unique_ptr<LogCapture> log = std::make_unique<LogCapture>();
    QTest::mouseClick(install, Qt::LeftButton);
    const QString firstWorkDir = tile->workDir();
    QTRY_COMPARE_WITH_TIMEOUT(install->text(), expectedText, kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(!tile->isInstallerRunning(), kWaitMs);
    QVERIFY2(log->contains(logLabel), qPrintable(log->lines().join(QLatin1Char('\n'))));
    log.reset();
    QVERIFY(install->isEnabled());
    QVERIFY(visible(install));
    QVERIFY(!tile->isInstalled());
    QVERIFY(!tile->isDownloading());
    QVERIFY(!tile->isInstallerRunning());
    QVERIFY(tile->workDir().isEmpty());
    if (!firstWorkDir.isEmpty())
        QVERIFY(!QFileInfo::exists(firstWorkDir));
    QVERIFY(workFolders(m_appDir->path()).isEmpty());
    if (failure != QLatin1String("exit1"))
        QCOMPARE(lineCount(appFolder(installer.name) + QStringLiteral("/installer.log")), 0);

    // Mend the cause; the same button downloads again into a fresh work folder and installs.
    QFile::remove(m_appDir->path() + QStringLiteral("/temp"));
    installer.hold = true;
    serve(file, installerScript(installer));
    QVERIFY(m_sim->setScenario(QJsonObject{{"files", QJsonObject{{"root", m_files->path()}}}}));
    const int requestsBefore = m_sim->requests(QStringLiteral("/files/") + file).size();
    QTest::mouseClick(install, Qt::LeftButton);
    QVERIFY(install->text().startsWith(TileText::installing()));
    const QString secondWorkDir = tile->workDir();
    QVERIFY(!secondWorkDir.isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(tile->isInstallerRunning(), kWaitMs);
    QVERIFY(QFileInfo(tile->filePath()).isFile());
    QCOMPARE(QFileInfo(tile->filePath()).absolutePath(), secondWorkDir);
    QCOMPARE(m_sim->requests(QStringLiteral("/files/") + file).size(), requestsBefore + 1);
    QVERIFY(touch(holdFile(installer.name)));
    QTRY_COMPARE_WITH_TIMEOUT(tile->findChild<QLabel *>(QStringLiteral("statusLabel"))->isHidden(), false, kWaitMs);
    QVERIFY(!QFileInfo::exists(secondWorkDir));
}

void TileOperationsTest::sizeRule_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("runs");

    QTest::newRow("1024 bytes") << 1024 << false;
    QTest::newRow("1025 bytes") << 1025 << true;
}

void TileOperationsTest::sizeRule()
{
    QFETCH(int, size);
    QFETCH(bool, runs);

    Installer installer;
    const QByteArray script = installerScript(installer, size);
    QCOMPARE(script.size(), size); // the filled-in template must fit
    serve(QStringLiteral("inst.sh"), script);
    SoftwareItemWidget *tile = addTile(installer.name, installer.version, url(QStringLiteral("inst.sh")));
    auto *install = tile->findChild<QPushButton *>(QStringLiteral("installButton"));
    QTest::mouseClick(install, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!tile->isDownloading() && !tile->isInstallerRunning(), kWaitMs);
    QCOMPARE(lineCount(appFolder(installer.name) + QStringLiteral("/installer.log")), runs ? 1 : 0);
    QCOMPARE(install->text(), runs ? TileText::install() : TileText::downloadTooSmallInstall());
    QCOMPARE(tile->isInstalled(), runs);
    QVERIFY(install->isEnabled());
    QVERIFY(workFolders(m_appDir->path()).isEmpty());
}

void TileOperationsTest::emptyAddressDoesNothing()
{
    SoftwareItemWidget *tile = addTile(QStringLiteral("tileapp"), QStringLiteral("1.0.0.0"), QString());
    auto *install = tile->findChild<QPushButton *>(QStringLiteral("installButton"));
    QTest::mouseClick(install, Qt::LeftButton);
    QCOMPARE(install->text(), TileText::install());
    QVERIFY(install->isEnabled());
    QVERIFY(!tile->isDownloading());
    QVERIFY(tile->filePath().isEmpty());
    QVERIFY(workFolders(m_appDir->path()).isEmpty());
    QCOMPARE(m_sim->requests().size(), 0);
}

void TileOperationsTest::upgradeEndToEnd_data()
{
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<QString>("expectedText");

    QTest::newRow("success") << "success" << TileText::upgrade();
    QTest::newRow("installer exits 1") << "exit1" << TileText::upgradeFailed();
    QTest::newRow("too small") << "small" << TileText::downloadTooSmallUpgrade();
    QTest::newRow("HTTP 404") << "404" << TileText::downloadError();
}

void TileOperationsTest::upgradeEndToEnd()
{
    QFETCH(QString, outcome);
    QFETCH(QString, expectedText);

    Installer old;
    old.version = QStringLiteral("1.0.0.0");
    QVERIFY(installDirectly(old));

    Installer next;
    next.version = QStringLiteral("2.0.0.0");
    next.hold = true;
    next.exitCode = outcome == QLatin1String("exit1") ? 1 : 0;
    if (outcome == QLatin1String("small"))
        serve(QStringLiteral("up.sh"), QByteArray(1024, '#'));
    else if (outcome != QLatin1String("404"))
        serve(QStringLiteral("up.sh"), installerScript(next));
    SoftwareItemWidget *tile = addTile(next.name, next.version, url(QStringLiteral("up.sh")));
    auto *upgrade = tile->findChild<QPushButton *>(QStringLiteral("upgradeButton"));
    auto *status = tile->findChild<QLabel *>(QStringLiteral("statusLabel"));
    QVERIFY(tile->isInstalled() && tile->needsUpgrade());
    QVERIFY(visible(upgrade));

    QTest::mouseClick(upgrade, Qt::LeftButton);
    QVERIFY(!upgrade->isEnabled());
    QVERIFY(upgrade->text().startsWith(TileText::upgrading()));
    QVERIFY(!tile->findChild<QPushButton *>(QStringLiteral("unInstallButton"))->isEnabled());
    if (outcome == QLatin1String("success") || outcome == QLatin1String("exit1")) {
        QTRY_VERIFY_WITH_TIMEOUT(tile->isInstallerRunning(), kWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(upgrade->text().startsWith(TileText::upgrading() + QLatin1Char('.')), kWaitMs);
        QVERIFY(touch(holdFile(next.name)));
    }
    QTRY_VERIFY_WITH_TIMEOUT(!tile->isDownloading() && !tile->isInstallerRunning(), kWaitMs);
    QCOMPARE(upgrade->text(), expectedText);
    QVERIFY(upgrade->isEnabled());
    QVERIFY(workFolders(m_appDir->path()).isEmpty());
    QVERIFY(tile->isInstalled());
    const bool success = outcome == QLatin1String("success");
    QCOMPARE(tile->needsUpgrade(), !success);
    QCOMPARE(visible(upgrade), !success);
    QCOMPARE(visible(status), success);
    QVERIFY(tile->findChild<QPushButton *>(QStringLiteral("unInstallButton"))->isEnabled());
}

void TileOperationsTest::uninstallEndToEnd()
{
    Installer installer;
    QVERIFY(installDirectly(installer));
    QVERIFY(QFileInfo::exists(registryFile(installer.name)));
    QVERIFY(touch(appFolder(installer.name) + QStringLiteral("/tt.wait")));
    SoftwareItemWidget *tile = addTile(installer.name, installer.version, url(QStringLiteral("inst.sh")));
    auto *unInstall = tile->findChild<QPushButton *>(QStringLiteral("unInstallButton"));
    auto *install = tile->findChild<QPushButton *>(QStringLiteral("installButton"));
    auto *status = tile->findChild<QLabel *>(QStringLiteral("statusLabel"));
    QVERIFY(visible(unInstall) && visible(status) && !visible(install));

    tile->setDotInterval(5);
    LogCapture log;
    QTest::mouseClick(unInstall, Qt::LeftButton);
    QCOMPARE(unInstall->text(), TileText::unInstalling());
    QVERIFY(!unInstall->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(lineCount(appFolder(installer.name) + QStringLiteral("/tt.log")), 1, kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(unInstall->text(), TileText::unInstalling() + QStringLiteral("......"), kWaitMs);

    QVERIFY(touch(appFolder(installer.name) + QStringLiteral("/tt.release")));
    QTRY_VERIFY_WITH_TIMEOUT(!tile->isUnInstallRunning(), kWaitMs);
    QVERIFY(!QFileInfo::exists(registryFile(installer.name)));
    QVERIFY(!tile->isInstalled());
    // The worker named the registered uninstaller and the tool beside it.
    QVERIFY(log.lines().contains(QStringLiteral("m_unInstallerPath===============: \"%1\"")
                                     .arg(appFolder(installer.name) + QStringLiteral("/uninst.exe"))));
    QVERIFY(log.lines().contains(QStringLiteral("ttUnInstallFilePath===============: \"%1\"")
                                     .arg(appFolder(installer.name) + QStringLiteral("/tt.exe"))));
    QCOMPARE(unInstall->text(), TileText::unInstall());
    QVERIFY(visible(install));
    QCOMPARE(install->text(), TileText::install());
    QVERIFY(install->isEnabled());
    QVERIFY(!visible(unInstall));
    QVERIFY(!visible(status));
    QVERIFY(!visible(tile->findChild<QPushButton *>(QStringLiteral("upgradeButton"))));

    // No longer installed: the labels start nothing.
    auto *icon = tile->findChild<QLabel *>(QStringLiteral("iconLabel"));
    QTest::mousePress(icon, Qt::LeftButton);
    QVERIFY(!tile->isLaunchRunning());
    QCOMPARE(lineCount(appFolder(installer.name) + QStringLiteral("/launch.log")), 0);
}

void TileOperationsTest::uninstallFailure()
{
    Installer installer;
    QVERIFY(installDirectly(installer));
    QVERIFY(touch(appFolder(installer.name) + QStringLiteral("/tt.code"), "1"));
    SoftwareItemWidget *tile = addTile(installer.name, installer.version, url(QStringLiteral("inst.sh")));
    auto *unInstall = tile->findChild<QPushButton *>(QStringLiteral("unInstallButton"));

    QTest::mouseClick(unInstall, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!tile->isUnInstallRunning(), kWaitMs);
    QCOMPARE(unInstall->text(), TileText::unInstallFailed());
    QVERIFY(unInstall->isEnabled());
    QVERIFY(tile->isInstalled());
    QVERIFY(QFileInfo::exists(registryFile(installer.name)));
    QVERIFY(visible(tile->findChild<QLabel *>(QStringLiteral("statusLabel"))));

    // Pressing again runs the tool again.
    QFile::remove(appFolder(installer.name) + QStringLiteral("/tt.code"));
    QTest::mouseClick(unInstall, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!tile->isInstalled(), kWaitMs);
    QCOMPARE(lineCount(appFolder(installer.name) + QStringLiteral("/tt.log")), 2);
}

// ---- launch ----

void TileOperationsTest::launchStartsProgram_data()
{
    QTest::addColumn<QString>("label");
    QTest::newRow("icon") << "iconLabel";
    QTest::newRow("name") << "nameLabel";
    QTest::newRow("description") << "descLabel";
}

void TileOperationsTest::launchStartsProgram()
{
    QFETCH(QString, label);
    Installer installer;
    QVERIFY(installDirectly(installer));
    SoftwareItemWidget *tile = addTile(installer.name, installer.version, url(QStringLiteral("inst.sh")));
    auto *status = tile->findChild<QLabel *>(QStringLiteral("statusLabel"));
    const QString statusText = status->text();

    QTest::mousePress(tile->findChild<QLabel *>(label), Qt::LeftButton);
    QVERIFY(tile->isLaunchRunning());
    QTRY_COMPARE_WITH_TIMEOUT(lineCount(appFolder(installer.name) + QStringLiteral("/launch.log")), 1, kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(!tile->isLaunchRunning(), kWaitMs);
    // A launch changes nothing on the tile, whatever the program's exit code.
    QCOMPARE(status->text(), statusText);
    QVERIFY(visible(status));
    QVERIFY(workFolders(m_appDir->path()).isEmpty());

    // A right-button press starts nothing.
    QTest::mousePress(tile->findChild<QLabel *>(label), Qt::RightButton);
    QVERIFY(!tile->isLaunchRunning());
}

void TileOperationsTest::launchStartsNothing_data()
{
    QTest::addColumn<bool>("installed");
    QTest::addColumn<bool>("icon");
    QTest::newRow("not installed") << false << true;
    QTest::newRow("no DisplayIcon") << true << false;
}

void TileOperationsTest::launchStartsNothing()
{
    QFETCH(bool, installed);
    QFETCH(bool, icon);
    Installer installer;
    installer.icon = icon;
    if (installed)
        QVERIFY(installDirectly(installer));
    SoftwareItemWidget *tile = addTile(installer.name, installer.version, url(QStringLiteral("inst.sh")));
    QCOMPARE(tile->isInstalled(), installed);
    QVERIFY(tile->appPath().isEmpty());

    QTest::mousePress(tile->findChild<QLabel *>(QStringLiteral("iconLabel")), Qt::LeftButton);
    QVERIFY(!tile->isLaunchRunning());
    QCOMPARE(lineCount(appFolder(installer.name) + QStringLiteral("/launch.log")), 0);
}

void TileOperationsTest::secondLaunchWhileRunning()
{
    Installer installer;
    QVERIFY(installDirectly(installer));
    const QString app = appFolder(installer.name);
    QVERIFY(touch(app + QStringLiteral("/app.wait")));
    SoftwareItemWidget *tile = addTile(installer.name, installer.version, url(QStringLiteral("inst.sh")));
    auto *name = tile->findChild<QLabel *>(QStringLiteral("nameLabel"));

    QTest::mousePress(name, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(lineCount(app + QStringLiteral("/launch.log")), 1, kWaitMs);
    QPointer<QThread> firstThread = tile->launchThread();
    {
        LogCapture log;
        QTest::mousePress(name, Qt::LeftButton);
        QTest::mousePress(tile->findChild<QLabel *>(QStringLiteral("iconLabel")), Qt::LeftButton);
        QCOMPARE(log.count(QStringLiteral("Program is already running:")), 2);
    }
    QCOMPARE(tile->launchThread(), firstThread.data());

    QVERIFY(touch(app + QStringLiteral("/app.release")));
    QTRY_VERIFY_WITH_TIMEOUT(!tile->isLaunchRunning(), kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(firstThread.isNull(), kWaitMs); // the thread deleted itself
    QCOMPARE(lineCount(app + QStringLiteral("/launch.log")), 1);

    // Once the program has exited, a press starts it again.
    QTest::mousePress(name, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(lineCount(app + QStringLiteral("/launch.log")), 2, kWaitMs);
}

void TileOperationsTest::launchBesideUpgrade_data()
{
    QTest::addColumn<bool>("launchEndsFirst");
    QTest::addColumn<int>("launchExit");
    QTest::addColumn<int>("installerExit");

    for (bool launchEndsFirst : {true, false}) {
        for (int launchExit : {0, 1}) {
            for (int installerExit : {0, 1}) {
                QTest::addRow("launch ends %s, program exits %d, installer exits %d",
                              launchEndsFirst ? "during the upgrade" : "after it", launchExit, installerExit)
                    << launchEndsFirst << launchExit << installerExit;
            }
        }
    }
}

// A launch running beside an upgrade neither decides the upgrade's outcome nor touches the controls.
void TileOperationsTest::launchBesideUpgrade()
{
    QFETCH(bool, launchEndsFirst);
    QFETCH(int, launchExit);
    QFETCH(int, installerExit);

    Installer old;
    old.version = QStringLiteral("1.0.0.0");
    QVERIFY(installDirectly(old));
    const QString app = appFolder(old.name);
    QVERIFY(touch(app + QStringLiteral("/app.wait")));
    QVERIFY(touch(app + QStringLiteral("/app.code"), QByteArray::number(launchExit)));

    Installer next;
    next.hold = true;
    next.exitCode = installerExit;
    serve(QStringLiteral("up.sh"), installerScript(next));
    SoftwareItemWidget *tile = addTile(next.name, next.version, url(QStringLiteral("up.sh")));
    auto *upgrade = tile->findChild<QPushButton *>(QStringLiteral("upgradeButton"));
    auto *status = tile->findChild<QLabel *>(QStringLiteral("statusLabel"));
    auto *unInstall = tile->findChild<QPushButton *>(QStringLiteral("unInstallButton"));

    QTest::mousePress(tile->findChild<QLabel *>(QStringLiteral("iconLabel")), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(lineCount(app + QStringLiteral("/launch.log")), 1, kWaitMs);
    QTest::mouseClick(upgrade, Qt::LeftButton);
    QCOMPARE(tile->operation(), SoftwareItemWidget::Upgrading);
    QTRY_VERIFY_WITH_TIMEOUT(tile->isInstallerRunning(), kWaitMs);
    QVERIFY(tile->installerThread() != tile->launchThread());

    const auto upgradeStillRunning = [&] {
        QVERIFY(tile->isInstallerRunning());
        QVERIFY(!upgrade->isEnabled());
        QVERIFY(upgrade->text().startsWith(TileText::upgrading()));
        QVERIFY(visible(upgrade));
        QVERIFY(!visible(status));
        QVERIFY(!unInstall->isEnabled());
        QCOMPARE(tile->operation(), SoftwareItemWidget::Upgrading);
    };
    const auto upgradeOutcome = [&] {
        QCOMPARE(upgrade->text(), installerExit == 0 ? TileText::upgrade() : TileText::upgradeFailed());
        QCOMPARE(visible(status), installerExit == 0);
        QCOMPARE(visible(upgrade), installerExit != 0);
        QVERIFY(upgrade->isEnabled());
        QVERIFY(unInstall->isEnabled());
        QVERIFY(workFolders(m_appDir->path()).isEmpty());
    };

    if (launchEndsFirst) {
        QVERIFY(touch(app + QStringLiteral("/app.release")));
        QTRY_VERIFY_WITH_TIMEOUT(!tile->isLaunchRunning(), kWaitMs);
        QCoreApplication::processEvents();
        upgradeStillRunning();
        if (QTest::currentTestFailed())
            return;
        QVERIFY(touch(holdFile(next.name)));
        QTRY_VERIFY_WITH_TIMEOUT(!tile->isInstallerRunning(), kWaitMs);
        upgradeOutcome();
    } else {
        QVERIFY(touch(holdFile(next.name)));
        QTRY_VERIFY_WITH_TIMEOUT(!tile->isInstallerRunning(), kWaitMs);
        QVERIFY(tile->isLaunchRunning());
        upgradeOutcome();
        QVERIFY(touch(app + QStringLiteral("/app.release")));
        QTRY_VERIFY_WITH_TIMEOUT(!tile->isLaunchRunning(), kWaitMs);
        QCoreApplication::processEvents();
        upgradeOutcome();
    }
}

// ---- the mends of the download ----

void TileOperationsTest::uniqueWorkDirClaimsFreeFolder_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("expected"); // suffix after the base; "none": no folder

    QTest::newRow("missing: created") << "missing"
                                      << "";
    QTest::newRow("empty folder") << "empty"
                                  << "";
    QTest::newRow("folder with a file") << "file"
                                        << "_1";
    QTest::newRow("folder with a hidden file") << "hidden"
                                               << "_1";
    QTest::newRow("folder with a subfolder") << "subfolder"
                                             << "_1";
    QTest::newRow("base and _1 with files") << "file twice"
                                            << "_2";
    QTest::newRow("a file by that name") << "plain file"
                                         << "_1";
    QTest::newRow("held by another download") << "held"
                                              << "_1";
    QTest::newRow("held, then released") << "released"
                                         << "";
    QTest::newRow("held twice, first released") << "held twice, first released"
                                                << "";
    QTest::newRow("no folder can be made") << "parent is a file"
                                           << "none";
}

void TileOperationsTest::uniqueWorkDirClaimsFreeFolder()
{
    QFETCH(QString, setup);
    QFETCH(QString, expected);

    const QString base = m_work->path() + QStringLiteral("/temp/temp_01020304005");
    QString claimedBefore;
    QVERIFY(QDir().mkpath(m_work->path() + QStringLiteral("/temp")));
    if (setup == QLatin1String("empty")) {
        QVERIFY(QDir().mkpath(base));
    } else if (setup == QLatin1String("file") || setup == QLatin1String("file twice")) {
        QVERIFY(QDir().mkpath(base));
        QVERIFY(touch(base + QStringLiteral("/setup.exe"), "other download"));
        if (setup == QLatin1String("file twice")) {
            QVERIFY(QDir().mkpath(base + QStringLiteral("_1")));
            QVERIFY(touch(base + QStringLiteral("_1/setup.exe"), "other download"));
        }
    } else if (setup == QLatin1String("hidden")) {
        QVERIFY(QDir().mkpath(base));
        QVERIFY(touch(base + QStringLiteral("/.partial")));
    } else if (setup == QLatin1String("subfolder")) {
        QVERIFY(QDir().mkpath(base + QStringLiteral("/sub")));
    } else if (setup == QLatin1String("plain file")) {
        QVERIFY(touch(base, "not a folder"));
    } else if (setup == QLatin1String("held")) {
        claimedBefore = uniqueWorkDir(base);
        QCOMPARE(claimedBefore, base);
    } else if (setup == QLatin1String("released")) {
        QCOMPARE(uniqueWorkDir(base), base);
        releaseWorkDir(base);
    } else if (setup == QLatin1String("held twice, first released")) {
        QCOMPARE(uniqueWorkDir(base), base);
        claimedBefore = uniqueWorkDir(base);
        QCOMPARE(claimedBefore, base + QStringLiteral("_1"));
        releaseWorkDir(base);
    } else if (setup == QLatin1String("parent is a file")) {
        QVERIFY(QDir(m_work->path() + QStringLiteral("/temp")).removeRecursively());
        QVERIFY(touch(m_work->path() + QStringLiteral("/temp"), "not a folder"));
    }
    const QStringList before = QDir(m_work->path() + QStringLiteral("/temp"))
                                   .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);

    const QString claimed = uniqueWorkDir(base);
    if (expected == QLatin1String("none")) {
        QVERIFY(claimed.isEmpty());
    } else {
        QCOMPARE(claimed, base + expected);
        QVERIFY(QFileInfo(claimed).isDir());
        QVERIFY(QDir(claimed).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
        // Claimed until released: the next call moves on even though the folder is still empty.
        const QString next = uniqueWorkDir(base);
        QVERIFY(!next.isEmpty());
        QVERIFY(next != claimed);
        releaseWorkDir(next);
        releaseWorkDir(claimed);
    }
    if (!claimedBefore.isEmpty())
        releaseWorkDir(claimedBefore);
    // Whatever was there before is untouched.
    if (setup.startsWith(QLatin1String("file"))) {
        QFile file(base + QStringLiteral("/setup.exe"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("other download"));
    }
    const QStringList after = QDir(m_work->path() + QStringLiteral("/temp"))
                                  .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QString &entry : before)
        QVERIFY2(after.contains(entry), qPrintable(entry));
}

// Two tiles started back to back (often within one millisecond, when the time-stamped name of
// their work folders is the same) each download into and clear a folder of their own.
void TileOperationsTest::tilesStartedTogetherUseTheirOwnFolders()
{
    Installer first;
    first.name = QStringLiteral("tileapp");
    first.hold = true;
    Installer second;
    second.name = QStringLiteral("tileapp2");
    second.hold = true;
    serve(QStringLiteral("first.sh"), installerScript(first));
    serve(QStringLiteral("second.sh"), installerScript(second));
    SoftwareItemWidget *tileA = addTile(first.name, first.version, url(QStringLiteral("first.sh")));
    SoftwareItemWidget *tileB = addTile(second.name, second.version, url(QStringLiteral("second.sh")));

    // Pressed in one go, without the event loop in between.
    tileA->findChild<QPushButton *>(QStringLiteral("installButton"))->click();
    tileB->findChild<QPushButton *>(QStringLiteral("installButton"))->click();
    const QString dirA = tileA->workDir();
    const QString dirB = tileB->workDir();
    QVERIFY(!dirA.isEmpty() && !dirB.isEmpty());
    QVERIFY(dirA != dirB);
    QCOMPARE(workFolders(m_appDir->path()).size(), 2);
    QCOMPARE(QFileInfo(tileA->filePath()).absolutePath(), dirA);
    QCOMPARE(QFileInfo(tileB->filePath()).absolutePath(), dirB);

    // Both installers run, each from its own folder, and each tile clears only its own.
    QTRY_VERIFY_WITH_TIMEOUT(tileA->isInstallerRunning() && tileB->isInstallerRunning(), kWaitMs);
    QVERIFY(QFileInfo(tileA->filePath()).isFile());
    QVERIFY(QFileInfo(tileB->filePath()).isFile());
    QVERIFY(touch(holdFile(first.name)));
    QTRY_VERIFY_WITH_TIMEOUT(tileA->isInstalled(), kWaitMs);
    QVERIFY(!QFileInfo::exists(dirA));
    QVERIFY(QFileInfo(tileB->filePath()).isFile());
    QVERIFY(touch(holdFile(second.name)));
    QTRY_VERIFY_WITH_TIMEOUT(tileB->isInstalled(), kWaitMs);
    QVERIFY(!QFileInfo::exists(dirB));
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
    SoftwareItemWidget *tile = addTile(installer.name, installer.version, url(QStringLiteral("inst.sh")));
    auto *install = tile->findChild<QPushButton *>(QStringLiteral("installButton"));

    // The names MyContext::newTempWorkDir() hands out: "temp_" and the time to the millisecond.
    const QString temp = m_appDir->path() + QStringLiteral("/temp/temp_");
    constexpr int aheadMs = 800;
    constexpr int stretchMs = 200;
    const QDateTime stretchStart = QDateTime::currentDateTime().addMSecs(aheadMs);
    for (int ms = 0; ms < stretchMs; ++ms) {
        const QString taken = temp + stretchStart.addMSecs(ms).toString(QStringLiteral("ddhhmmsszzz"));
        QVERIFY(QDir().mkpath(taken));
        QVERIFY(touch(taken + QStringLiteral("/setup.exe"), "another download"));
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
    QFile other(base + QStringLiteral("/setup.exe"));
    QVERIFY(other.open(QIODevice::ReadOnly));
    QCOMPARE(other.readAll(), QByteArray("another download"));
    QCOMPARE(QDir(base).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("setup.exe")});
}

void TileOperationsTest::unsafeNameStaysInWorkFolder()
{
    Installer installer;
    serve(QStringLiteral("inst.sh"), installerScript(installer));
    // The simulator decodes the path; send the escaping name on to the real installer.
    QVERIFY(m_sim->setScenario(QJsonObject{
        {"files",
         QJsonObject{{"root", m_files->path()},
                     {"redirects", QJsonObject{{QStringLiteral("/files/..\\..\\evil.exe"), "/files/inst.sh"}}}}}}));
    SoftwareItemWidget *tile = addTile(installer.name, installer.version, url(QStringLiteral("..%5C..%5Cevil.exe")));
    auto *install = tile->findChild<QPushButton *>(QStringLiteral("installButton"));

    QTest::mouseClick(install, Qt::LeftButton);
    const QString workDir = tile->workDir();
    QCOMPARE(tile->filePath(), workDir + QStringLiteral("/setup.exe"));
    QVERIFY(QFileInfo(tile->filePath()).isFile());
    QTRY_VERIFY_WITH_TIMEOUT(tile->isInstalled(), kWaitMs);
    QCOMPARE(m_sim->requests(QStringLiteral("/files/..\\..\\evil.exe")).size(), 1);

    QFile log(appFolder(installer.name) + QStringLiteral("/installer.log"));
    QVERIFY(log.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(log.readAll()).trimmed(), workDir + QStringLiteral("/setup.exe"));
    // Nothing named after the address appeared anywhere around the program.
    QDirIterator it(m_appDir->path(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        QVERIFY2(!it.next().contains(QStringLiteral("evil")), qPrintable(it.filePath()));
    QVERIFY(!QFileInfo::exists(QFileInfo(m_appDir->path()).absolutePath() + QStringLiteral("/evil.exe")));
}

void TileOperationsTest::queryAndFragmentAreNotPartOfTheName()
{
    Installer installer;
    serve(QStringLiteral("inst.sh"), installerScript(installer));
    SoftwareItemWidget *tile =
        addTile(installer.name, installer.version, url(QStringLiteral("inst.sh?channel=1/x.exe#top")));
    QTest::mouseClick(tile->findChild<QPushButton *>(QStringLiteral("installButton")), Qt::LeftButton);
    QCOMPARE(QFileInfo(tile->filePath()).fileName(), QStringLiteral("inst.sh"));
    QTRY_VERIFY_WITH_TIMEOUT(tile->isInstalled(), kWaitMs);
    const QJsonArray requests = m_sim->requests(QStringLiteral("/files/inst.sh"));
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests.at(0).toObject().value(QStringLiteral("query")).toString(), QStringLiteral("channel=1/x.exe"));
}

void TileOperationsTest::redirectIsFollowed()
{
    Installer installer;
    serve(QStringLiteral("inst.sh"), installerScript(installer));
    QVERIFY(m_sim->setScenario(QJsonObject{
        {"files",
         QJsonObject{{"root", m_files->path()}, {"redirects", QJsonObject{{"/files/latest.sh", "/files/inst.sh"}}}}}}));
    SoftwareItemWidget *tile = addTile(installer.name, installer.version, url(QStringLiteral("latest.sh")));
    QTest::mouseClick(tile->findChild<QPushButton *>(QStringLiteral("installButton")), Qt::LeftButton);
    QCOMPARE(QFileInfo(tile->filePath()).fileName(), QStringLiteral("latest.sh"));
    QTRY_VERIFY_WITH_TIMEOUT(tile->isInstalled(), kWaitMs);
    QCOMPARE(m_sim->requests(QStringLiteral("/files/latest.sh")).size(), 1);
    QCOMPARE(m_sim->requests(QStringLiteral("/files/inst.sh")).size(), 1);
    QCOMPARE(lineCount(appFolder(installer.name) + QStringLiteral("/installer.log")), 1);
}

// The download asks Qt for NoLessSafeRedirectPolicy, so an https address may redirect to https only.
// The simulator speaks no TLS: the refusal of a step down to http is Qt's and is not exercised here;
// what is checked is that the request carries the policy.
void TileOperationsTest::redirectNeverDowngrades()
{
    QVERIFY(
        m_sim->setScenario(QJsonObject{{"files", QJsonObject{{"root", m_files->path()}}},
                                       {"faults", QJsonObject{{"/files/inst.sh", QJsonObject{{"kind", "hang"}}}}}}));
    SoftwareItemWidget *tile =
        addTile(QStringLiteral("tileapp"), QStringLiteral("1.0.0.0"), url(QStringLiteral("inst.sh")));
    QTest::mouseClick(tile->findChild<QPushButton *>(QStringLiteral("installButton")), Qt::LeftButton);
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
    SoftwareItemWidget *tile = addTile(installer.name, installer.version, url(QStringLiteral("big.sh")));
    auto *install = tile->findChild<QPushButton *>(QStringLiteral("installButton"));

    // The file size limit makes writes past 64 KiB fail (EFBIG) as a full disk would.
    struct rlimit saved
    {
    };
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limited = saved;
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
    QVERIFY(!tile->isInstallerRunning());
    QCOMPARE(log.count(QStringLiteral("Failed to write file:")), 1);
    QVERIFY(!QFileInfo::exists(workDir));
    QCOMPARE(lineCount(appFolder(installer.name) + QStringLiteral("/installer.log")), 0);
    QVERIFY(!tile->isInstalled());
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

    Installer installer;
    installer.hold = true;
    const QString app = appFolder(installer.name);
    if (busy == QLatin1String("launch") || busy == QLatin1String("uninstall")) {
        Installer direct = installer;
        direct.hold = false;
        QVERIFY(installDirectly(direct));
        QVERIFY(touch(app + QStringLiteral("/app.wait")));
        QVERIFY(touch(app + QStringLiteral("/tt.wait")));
    }
    serve(QStringLiteral("inst.sh"), installerScript(installer));
    if (busy == QLatin1String("download")) {
        QVERIFY(m_sim->setScenario(
            QJsonObject{{"files", QJsonObject{{"root", m_files->path()}}},
                        {"faults", QJsonObject{{"/files/inst.sh", QJsonObject{{"kind", "hang"}}}}}}));
    }
    SoftwareItemWidget *tile = addTile(installer.name, installer.version, url(QStringLiteral("inst.sh")));

    QPointer<QThread> thread;
    QString workDir;
    if (busy == QLatin1String("download")) {
        QTest::mouseClick(tile->findChild<QPushButton *>(QStringLiteral("installButton")), Qt::LeftButton);
        workDir = tile->workDir();
        QTRY_COMPARE_WITH_TIMEOUT(m_sim->requests(QStringLiteral("/files/inst.sh")).size(), 1, kWaitMs);
        QVERIFY(tile->isDownloading());
    } else if (busy == QLatin1String("installer")) {
        QTest::mouseClick(tile->findChild<QPushButton *>(QStringLiteral("installButton")), Qt::LeftButton);
        workDir = tile->workDir();
        QTRY_COMPARE_WITH_TIMEOUT(lineCount(app + QStringLiteral("/installer.log")), 1, kWaitMs);
        thread = tile->installerThread();
    } else if (busy == QLatin1String("launch")) {
        QTest::mousePress(tile->findChild<QLabel *>(QStringLiteral("iconLabel")), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(lineCount(app + QStringLiteral("/launch.log")), 1, kWaitMs);
        thread = tile->launchThread();
    } else {
        QTest::mouseClick(tile->findChild<QPushButton *>(QStringLiteral("unInstallButton")), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(lineCount(app + QStringLiteral("/tt.log")), 1, kWaitMs);
        thread = tile->unInstallThread();
    }

    delete tile;
    QCoreApplication::processEvents();
    if (busy == QLatin1String("download")) {
        QVERIFY(!QFileInfo::exists(workDir));
        return;
    }
    QVERIFY(thread);
    QVERIFY(thread->isRunning());
    QVERIFY(!thread->parent());
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
