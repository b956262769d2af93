#include "catalog/uninstallregistry.h"
#include "support/logcapture.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString machine64 = QStringLiteral("HKEY_LOCAL_MACHINE/SOFTWARE/Microsoft/Windows/CurrentVersion/Uninstall");
const QString machine32 =
    QStringLiteral("HKEY_LOCAL_MACHINE/SOFTWARE/WOW6432Node/Microsoft/Windows/CurrentVersion/Uninstall");
const QString currentUser = QStringLiteral("HKEY_CURRENT_USER/SOFTWARE/Microsoft/Windows/CurrentVersion/Uninstall");

} // namespace

class TstUninstallRegistry : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void currentUserRootSearchedLast();
    void firstRootWithValueWins_data();
    void firstRootWithValueWins();
    void eachValueFromItsFirstRoot();
    void missingValues_data();
    void missingValues();
    void missingRegistryFolderIsHarmless();
    void defaultFolderInDataLocation();
    void escapingNamesNeverLookedUp_data();
    void escapingNamesNeverLookedUp();
    void namesWithDotsAreLookedUp_data();
    void namesWithDotsAreLookedUp();

    void pathForms_data();
    void pathForms();
    void storedValuesBecomePaths_data();
    void storedValuesBecomePaths();
    void handWrittenFileWithCommaAndUtf8();

private:
    // Writes values the way QSettings stores them, into ROOT/.../Uninstall/<pathName>.ini.
    void writeKey(const QString &root, const QString &pathName, const QVariantMap &values);
    QString keyFile(const QString &root, const QString &pathName) const;

    QScopedPointer<QTemporaryDir> m_dir;
    QString m_registry;
    QByteArray m_savedRegistryRoot;
    QByteArray m_savedDataHome;
};

void TstUninstallRegistry::initTestCase()
{
    m_savedRegistryRoot = qgetenv("TESSALY_REGISTRY_ROOT");
    m_savedDataHome = qgetenv("XDG_DATA_HOME");
}

void TstUninstallRegistry::init()
{
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
    m_registry = m_dir->filePath(QStringLiteral("registry"));
    qputenv("TESSALY_REGISTRY_ROOT", QFile::encodeName(m_registry));
}

void TstUninstallRegistry::cleanupTestCase()
{
    qputenv("TESSALY_REGISTRY_ROOT", m_savedRegistryRoot);
    qputenv("XDG_DATA_HOME", m_savedDataHome);
}

QString TstUninstallRegistry::keyFile(const QString &root, const QString &pathName) const
{
    return m_registry + QLatin1Char('/') + root + QLatin1Char('/') + pathName + QStringLiteral(".ini");
}

void TstUninstallRegistry::writeKey(const QString &root, const QString &pathName, const QVariantMap &values)
{
    QSettings settings(keyFile(root, pathName), QSettings::IniFormat);
    settings.setIniCodec("UTF-8");
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        settings.setValue(it.key(), it.value());
    settings.sync();
    QCOMPARE(settings.status(), QSettings::NoError);
}

void TstUninstallRegistry::currentUserRootSearchedLast()
{
    writeKey(currentUser, QStringLiteral("UserOnlyApp"),
             {{"DisplayName", QStringLiteral("泰萨用户版")},
              {"DisplayVersion", "1.0.0.1"},
              {"UninstallString", "/home/u/apps/user/uninst.exe"},
              {"DisplayIcon", "/home/u/apps/user/app.exe"}});

    LogCapture log;
    QVERIFY(isSoftwareInstalled(QStringLiteral("UserOnlyApp")));
    // Both machine roots were asked, and came back empty, before the user's root answered.
    QCOMPARE(log.lines().filter(QStringLiteral("displayName=================:")).size(), 3);
    QCOMPARE(getDisplayVersion(QStringLiteral("UserOnlyApp")), QStringLiteral("1.0.0.1"));
    QCOMPARE(getUnInstallPath(QStringLiteral("UserOnlyApp")), QStringLiteral("/home/u/apps/user/uninst.exe"));
    QCOMPARE(getAppPath(QStringLiteral("UserOnlyApp")), QStringLiteral("/home/u/apps/user/app.exe"));
}

void TstUninstallRegistry::firstRootWithValueWins_data()
{
    QTest::addColumn<QStringList>("roots");
    QTest::addColumn<QString>("expected");
    QTest::newRow("all three") << QStringList{machine64, machine32, currentUser} << machine64;
    QTest::newRow("machine 64 and user") << QStringList{machine64, currentUser} << machine64;
    QTest::newRow("machine 32 and user") << QStringList{machine32, currentUser} << machine32;
    QTest::newRow("machine 32 only") << QStringList{machine32} << machine32;
}

void TstUninstallRegistry::firstRootWithValueWins()
{
    QFETCH(QStringList, roots);
    QFETCH(QString, expected);
    // Each root carries its own name in every value, so the answer tells which root gave it.
    for (const QString &root : roots) {
        writeKey(root, QStringLiteral("TessaPdfConverter"),
                 {{"DisplayName", root},
                  {"DisplayVersion", root},
                  {"UninstallString", QString(QStringLiteral("/") + root + QStringLiteral("/uninst.exe"))},
                  {"DisplayIcon", QString(QStringLiteral("/") + root + QStringLiteral("/app.exe"))}});
    }

    QVERIFY(isSoftwareInstalled(QStringLiteral("TessaPdfConverter")));
    QCOMPARE(getDisplayVersion(QStringLiteral("TessaPdfConverter")), expected);
    QCOMPARE(getUnInstallPath(QStringLiteral("TessaPdfConverter")), QStringLiteral("/") + expected + "/uninst.exe");
    QCOMPARE(getAppPath(QStringLiteral("TessaPdfConverter")), QStringLiteral("/") + expected + "/app.exe");
}

void TstUninstallRegistry::eachValueFromItsFirstRoot()
{
    // A root that has the key but not the value does not stop the search for that value.
    writeKey(machine64, QStringLiteral("App"), {{"DisplayName", "App"}});
    writeKey(machine32, QStringLiteral("App"), {{"UninstallString", "/x86/uninst.exe"}});
    writeKey(currentUser, QStringLiteral("App"),
             {{"DisplayVersion", "2.0.0.0"}, {"UninstallString", "/user/uninst.exe"}, {"DisplayIcon", "/user/a.exe"}});

    QVERIFY(isSoftwareInstalled(QStringLiteral("App")));
    QCOMPARE(getDisplayVersion(QStringLiteral("App")), QStringLiteral("2.0.0.0"));
    QCOMPARE(getUnInstallPath(QStringLiteral("App")), QStringLiteral("/x86/uninst.exe"));
    QCOMPARE(getAppPath(QStringLiteral("App")), QStringLiteral("/user/a.exe"));
}

void TstUninstallRegistry::missingValues_data()
{
    QTest::addColumn<bool>("keyExists");
    QTest::newRow("key without the values") << true;
    QTest::newRow("no key at all") << false;
}

void TstUninstallRegistry::missingValues()
{
    QFETCH(bool, keyExists);
    if (keyExists)
        writeKey(machine64, QStringLiteral("App"), {{"Publisher", "Tessaly"}});
    else
        writeKey(machine64, QStringLiteral("OtherApp"), {{"DisplayName", "Other"}});

    QVERIFY(!isSoftwareInstalled(QStringLiteral("App")));
    QCOMPARE(getDisplayVersion(QStringLiteral("App")), QString());
    QCOMPARE(getUnInstallPath(QStringLiteral("App")), QString());
    QCOMPARE(getAppPath(QStringLiteral("App")), QString());
}

void TstUninstallRegistry::missingRegistryFolderIsHarmless()
{
    const QString missing = m_dir->filePath(QStringLiteral("no/such/registry"));
    qputenv("TESSALY_REGISTRY_ROOT", QFile::encodeName(missing));

    QVERIFY(!isSoftwareInstalled(QStringLiteral("App")));
    QCOMPARE(getDisplayVersion(QStringLiteral("App")), QString());
    QCOMPARE(getUnInstallPath(QStringLiteral("App")), QString());
    QCOMPARE(getAppPath(QStringLiteral("App")), QString());
    // Reading never creates anything.
    QVERIFY(!QFileInfo::exists(m_dir->filePath(QStringLiteral("no"))));
}

void TstUninstallRegistry::defaultFolderInDataLocation()
{
    qunsetenv("TESSALY_REGISTRY_ROOT");
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_dir->filePath(QStringLiteral("data"))));
    m_registry = m_dir->filePath(QStringLiteral("data/tessaly-registry"));
    writeKey(currentUser, QStringLiteral("App"), {{"DisplayName", "App"}, {"DisplayVersion", "3.0.0.0"}});

    QVERIFY(isSoftwareInstalled(QStringLiteral("App")));
    QCOMPARE(getDisplayVersion(QStringLiteral("App")), QStringLiteral("3.0.0.0"));
}

void TstUninstallRegistry::escapingNamesNeverLookedUp_data()
{
    QTest::addColumn<QString>("pathName");
    QTest::newRow("empty") << QString();
    QTest::newRow("dot") << QStringLiteral(".");
    QTest::newRow("two dots") << QStringLiteral("..");
    QTest::newRow("parent") << QStringLiteral("../Escaped");
    QTest::newRow("slash") << QStringLiteral("Uninstall/../Escaped");
    QTest::newRow("slash without dots") << QStringLiteral("Sub/App");
    QTest::newRow("backslash") << QStringLiteral("..\\Escaped");
    QTest::newRow("backslash without dots") << QStringLiteral("Sub\\App");
    QTest::newRow("newline") << QStringLiteral("App\nX");
    QTest::newRow("nul") << QStringLiteral("App") + QChar(0) + QStringLiteral("X");
}

void TstUninstallRegistry::escapingNamesNeverLookedUp()
{
    QFETCH(QString, pathName);
    // Files the names would reach if they were followed.
    writeKey(machine64, QStringLiteral("../Escaped"), {{"DisplayName", "x"}, {"DisplayVersion", "1"}});
    writeKey(machine64, QStringLiteral("Uninstall/../Escaped"), {{"DisplayName", "x"}, {"DisplayVersion", "1"}});
    writeKey(machine64, QString(), {{"DisplayName", "x"}, {"DisplayVersion", "1"}});
    QVERIFY(QFile::exists(keyFile(machine64, QStringLiteral("../Escaped"))));

    QVERIFY(!isSoftwareInstalled(pathName));
    QCOMPARE(getDisplayVersion(pathName), QString());
    QCOMPARE(getUnInstallPath(pathName), QString());
    QCOMPARE(getAppPath(pathName), QString());
}

void TstUninstallRegistry::namesWithDotsAreLookedUp_data()
{
    QTest::addColumn<QString>("pathName");
    // Only a separator or the exact names "." and ".." leave the root; other dots are plain characters.
    QTest::newRow("two dots inside") << QStringLiteral("Tessa..Pro");
    QTest::newRow("leading dots") << QStringLiteral("..Tessa");
    QTest::newRow("trailing dots") << QStringLiteral("Tessa..");
    QTest::newRow("three dots") << QStringLiteral("...");
    QTest::newRow("one dot inside") << QStringLiteral("Tessa.Pro 2");
}

void TstUninstallRegistry::namesWithDotsAreLookedUp()
{
    QFETCH(QString, pathName);
    writeKey(currentUser, pathName,
             {{"DisplayName", "Dots"}, {"DisplayVersion", "1.2.0.0"}, {"UninstallString", "/opt/dots/uninst.exe"}});

    QVERIFY(isSoftwareInstalled(pathName));
    QCOMPARE(getDisplayVersion(pathName), QStringLiteral("1.2.0.0"));
    QCOMPARE(getUnInstallPath(pathName), QStringLiteral("/opt/dots/uninst.exe"));
}

void TstUninstallRegistry::pathForms_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("path");
    QTest::newRow("plain windows path") << "C:\\x\\a.exe"
                                        << "C:\\x\\a.exe";
    QTest::newRow("quoted with spaces") << "\"C:\\Program Files\\a.exe\""
                                        << "C:\\Program Files\\a.exe";
    QTest::newRow("quoted with arguments") << "\"C:\\Program Files\\a.exe\" /S"
                                           << "C:\\Program Files\\a.exe";
    QTest::newRow("quoted with several arguments")
        << "\"C:\\Program Files (x86)\\Tessa\\uninst.exe\" /allusers --mode=\"quiet\""
        << "C:\\Program Files (x86)\\Tessa\\uninst.exe";
    QTest::newRow("icon index") << "C:\\a.exe,0"
                                << "C:\\a.exe";
    QTest::newRow("negative icon index") << "C:\\a.exe,-101"
                                         << "C:\\a.exe";
    QTest::newRow("icon index after space") << "C:\\a.exe, 2"
                                            << "C:\\a.exe";
    QTest::newRow("quoted with icon index") << "\"C:\\Program Files\\a.exe\",0"
                                            << "C:\\Program Files\\a.exe";
    QTest::newRow("quoted unix path with icon index") << "\"/opt/x/a.sh\",1"
                                                      << "/opt/x/a.sh";
    QTest::newRow("plain unix path") << "/opt/x/a.sh"
                                     << "/opt/x/a.sh";
    QTest::newRow("unix path with spaces") << "/opt/my apps/a.sh"
                                           << "/opt/my apps/a.sh";
    QTest::newRow("surrounding white space") << "  \"/opt/x/a.sh\"  "
                                             << "/opt/x/a.sh";
    QTest::newRow("unquoted spaces kept whole") << "C:\\Program Files\\a.exe /S"
                                                << "C:\\Program Files\\a.exe /S";
    QTest::newRow("comma inside a folder name") << "C:\\a,b\\x.exe"
                                                << "C:\\a,b\\x.exe";
    QTest::newRow("comma not followed by a number") << "C:\\x\\a.exe,abc"
                                                    << "C:\\x\\a.exe,abc";
    QTest::newRow("quote never closed") << "\"C:\\x\\a.exe"
                                        << "C:\\x\\a.exe";
    QTest::newRow("chinese folder") << "\"D:\\泰萨\\卸载.exe\" /S"
                                    << "D:\\泰萨\\卸载.exe";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("empty quotes") << "\"\""
                                  << "";
}

void TstUninstallRegistry::pathForms()
{
    QFETCH(QString, value);
    QFETCH(QString, path);
    QCOMPARE(programPathFromRegistryValue(value), path);
}

void TstUninstallRegistry::storedValuesBecomePaths_data()
{
    QTest::addColumn<QString>("uninstallString");
    QTest::addColumn<QString>("displayIcon");
    QTest::addColumn<QString>("unInstallPath");
    QTest::addColumn<QString>("appPath");
    QTest::newRow("quoted, arguments, icon index") << "\"C:\\Program Files\\Tessa\\uninst.exe\" /S"
                                                   << "\"C:\\Program Files\\Tessa\\app.exe\",0"
                                                   << "C:\\Program Files\\Tessa\\uninst.exe"
                                                   << "C:\\Program Files\\Tessa\\app.exe";
    QTest::newRow("unix paths") << "/opt/tessa/uninst.sh"
                                << "/opt/tessa/app.sh,1"
                                << "/opt/tessa/uninst.sh"
                                << "/opt/tessa/app.sh";
}

void TstUninstallRegistry::storedValuesBecomePaths()
{
    QFETCH(QString, uninstallString);
    QFETCH(QString, displayIcon);
    QFETCH(QString, unInstallPath);
    QFETCH(QString, appPath);
    writeKey(machine32, QStringLiteral("App"),
             {{"DisplayName", "App"}, {"UninstallString", uninstallString}, {"DisplayIcon", displayIcon}});

    QCOMPARE(getUnInstallPath(QStringLiteral("App")), unInstallPath);
    QCOMPARE(getAppPath(QStringLiteral("App")), appPath);
}

void TstUninstallRegistry::handWrittenFileWithCommaAndUtf8()
{
    // Written by hand: an unquoted comma reads as a list in an ini file, and the text is UTF-8.
    const QString file = keyFile(currentUser, QStringLiteral("TessaMindMap"));
    QVERIFY(QDir().mkpath(QFileInfo(file).absolutePath()));
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write("[General]\n"
              "DisplayName=\xe6\xb3\xb0\xe8\x90\xa8\xe6\x80\x9d\xe7\xbb\xb4\xe5\xaf\xbc\xe5\x9b\xbe\n"
              "DisplayVersion=1.5.7.1\n"
              "UninstallString=/opt/\xe6\xb3\xb0\xe8\x90\xa8/uninst.sh\n"
              "DisplayIcon=/opt/\xe6\xb3\xb0\xe8\x90\xa8/mindmap.sh,0\n");
    out.close();

    QVERIFY(isSoftwareInstalled(QStringLiteral("TessaMindMap")));
    QCOMPARE(getDisplayVersion(QStringLiteral("TessaMindMap")), QStringLiteral("1.5.7.1"));
    QCOMPARE(getUnInstallPath(QStringLiteral("TessaMindMap")), QStringLiteral("/opt/泰萨/uninst.sh"));
    QCOMPARE(getAppPath(QStringLiteral("TessaMindMap")), QStringLiteral("/opt/泰萨/mindmap.sh"));
}

QTEST_GUILESS_MAIN(TstUninstallRegistry)
#include "tst_uninstallregistry.moc"
