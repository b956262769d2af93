#include "core/catalog/uninstallregistry.h"
#include "support/testregistry.h"

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

TestRegistry::Root rootOf(const QString &root)
{
    if (root == machine64)
        return TestRegistry::Root::Machine64;
    return root == machine32 ? TestRegistry::Root::Machine32 : TestRegistry::Root::CurrentUser;
}

} // namespace

class TstUninstallRegistry : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void firstRootWithValueWins_data();
    void firstRootWithValueWins();
    void eachValueFromItsFirstRoot();
    void notFound_data();
    void notFound();
    void namesWithDotsAreLookedUp_data();
    void namesWithDotsAreLookedUp();
#ifdef Q_OS_WIN
    void sixtyFourBitOnlyEntryIsFound();
    void expandablePathsAreExpanded();
#else
    void defaultFolderInDataLocation();
#endif

    void pathForms_data();
    void pathForms();
#ifndef Q_OS_WIN
    void handWrittenFileWithCommaAndUtf8();
#endif

private:
    void writeKey(const QString &root, const QString &pathName, const QVariantMap &values);
    QString keyFile(const QString &root, const QString &pathName) const;

    QScopedPointer<QTemporaryDir> m_dir;
    QString m_registry;
};

void TstUninstallRegistry::init()
{
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
    m_registry = m_dir->filePath(QStringLiteral("registry"));
    qputenv("TESSALY_REGISTRY_ROOT", QFile::encodeName(m_registry));
    QVERIFY(TestRegistry::clear());
}

QString TstUninstallRegistry::keyFile(const QString &root, const QString &pathName) const
{
    return m_registry + QLatin1Char('/') + root + QLatin1Char('/') + pathName + QStringLiteral(".ini");
}

void TstUninstallRegistry::writeKey(const QString &root, const QString &pathName, const QVariantMap &values)
{
    QVERIFY(TestRegistry::write(rootOf(root), pathName, values));
}

void TstUninstallRegistry::firstRootWithValueWins_data()
{
    QTest::addColumn<QStringList>("roots");
    QTest::addColumn<QString>("expected");
    QTest::newRow("all three") << QStringList{machine64, machine32, currentUser} << machine64;
    QTest::newRow("machine 64 and user") << QStringList{machine64, currentUser} << machine64;
    QTest::newRow("machine 32 and user") << QStringList{machine32, currentUser} << machine32;
    QTest::newRow("user only") << QStringList{currentUser} << currentUser;
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

void TstUninstallRegistry::notFound_data()
{
    QTest::addColumn<QString>("pathName");
    QTest::addColumn<bool>("registryExists");
    QTest::newRow("key without the values") << QStringLiteral("App") << true;
    QTest::newRow("no key at all") << QStringLiteral("OtherApp") << true;
#ifndef Q_OS_WIN
    QTest::newRow("no registry folder") << QStringLiteral("App") << false;
#endif
    // Names that would reach another key if they were followed.
    QTest::newRow("empty") << QString() << true;
    QTest::newRow("dot") << QStringLiteral(".") << true;
    QTest::newRow("two dots") << QStringLiteral("..") << true;
    QTest::newRow("parent") << QStringLiteral("../Escaped") << true;
    QTest::newRow("slash") << QStringLiteral("Uninstall/../Escaped") << true;
    QTest::newRow("slash without dots") << QStringLiteral("Sub/App") << true;
    QTest::newRow("backslash") << QStringLiteral("..\\Escaped") << true;
    QTest::newRow("newline") << QStringLiteral("App\nX") << true;
    QTest::newRow("nul") << QStringLiteral("App") + QChar(0) + QStringLiteral("X") << true;
}

void TstUninstallRegistry::notFound()
{
    QFETCH(QString, pathName);
    QFETCH(bool, registryExists);
    const QVariantMap values{{"DisplayName", "x"}, {"DisplayVersion", "1"}, {"UninstallString", "/x/uninst.exe"}};
    writeKey(machine64, QStringLiteral("App"), {{"Publisher", "Tessaly"}});
    writeKey(machine64, QStringLiteral("../Escaped"), values);
    writeKey(machine64, QStringLiteral("Uninstall/../Escaped"), values);
    writeKey(machine64, QStringLiteral("Sub/App"), values);
    writeKey(machine64, QString(), values);
#ifndef Q_OS_WIN
    QVERIFY(QFile::exists(keyFile(machine64, QStringLiteral("../Escaped"))));
#endif
    if (!registryExists)
        qputenv("TESSALY_REGISTRY_ROOT", QFile::encodeName(m_dir->filePath(QStringLiteral("no/such/registry"))));

    QVERIFY(!isSoftwareInstalled(pathName));
    QCOMPARE(getDisplayVersion(pathName), QString());
    QCOMPARE(getUnInstallPath(pathName), QString());
    QCOMPARE(getAppPath(pathName), QString());
    // Reading never creates anything.
    QVERIFY(!QFileInfo::exists(m_dir->filePath(QStringLiteral("no"))));
}

void TstUninstallRegistry::namesWithDotsAreLookedUp_data()
{
    QTest::addColumn<QString>("pathName");
    // Only a separator or the exact names "." and ".." leave the root; other dots are plain characters.
    QTest::newRow("two dots inside") << QStringLiteral("Tessa..Pro");
    QTest::newRow("leading dots") << QStringLiteral("..Tessa");
    QTest::newRow("trailing dots") << QStringLiteral("Tessa..");
    QTest::newRow("three dots") << QStringLiteral("...");
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

#ifdef Q_OS_WIN
void TstUninstallRegistry::sixtyFourBitOnlyEntryIsFound()
{
    // A 64-bit installer's entry is invisible in the 32-bit view, which WOW6432Node backs.
    writeKey(machine64, QStringLiteral("Only64"), {{"DisplayName", "Only64"}, {"DisplayVersion", "6.4.0.0"}});
    QSettings view32(QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Only64"),
                     QSettings::Registry32Format);
    QVERIFY(!view32.contains(QStringLiteral("DisplayName")));

    QVERIFY(isSoftwareInstalled(QStringLiteral("Only64")));
    QCOMPARE(getDisplayVersion(QStringLiteral("Only64")), QStringLiteral("6.4.0.0"));
}

void TstUninstallRegistry::expandablePathsAreExpanded()
{
    // Installers write "%ProgramFiles%\..." paths as REG_EXPAND_SZ; a path left unexpanded names nothing.
    writeKey(currentUser, QStringLiteral("Expand"), {{"DisplayName", "Expand"}});
    QVERIFY(TestRegistry::writeExpandable(TestRegistry::Root::CurrentUser, QStringLiteral("Expand"),
                                          QStringLiteral("UninstallString"), QStringLiteral("\"%SystemRoot%\\T\\u.exe\" /S")));
    QVERIFY(TestRegistry::writeExpandable(TestRegistry::Root::CurrentUser, QStringLiteral("Expand"),
                                          QStringLiteral("DisplayIcon"), QStringLiteral("%SystemRoot%\\T\\a.exe,0")));
    const QString systemRoot = qEnvironmentVariable("SystemRoot");
    QVERIFY(!systemRoot.isEmpty());
    QCOMPARE(getUnInstallPath(QStringLiteral("Expand")), systemRoot + QStringLiteral("\\T\\u.exe"));
    QCOMPARE(getAppPath(QStringLiteral("Expand")), systemRoot + QStringLiteral("\\T\\a.exe"));
}
#else
void TstUninstallRegistry::defaultFolderInDataLocation()
{
    qunsetenv("TESSALY_REGISTRY_ROOT");
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_dir->filePath(QStringLiteral("data"))));
    m_registry = m_dir->filePath(QStringLiteral("data/tessaly-registry"));
    writeKey(currentUser, QStringLiteral("App"), {{"DisplayName", "App"}, {"DisplayVersion", "3.0.0.0"}});

    QVERIFY(isSoftwareInstalled(QStringLiteral("App")));
    QCOMPARE(getDisplayVersion(QStringLiteral("App")), QStringLiteral("3.0.0.0"));
}
#endif

void TstUninstallRegistry::pathForms_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("path");
    const auto row = [](const char *name, const QString &value, const QString &path) {
        QTest::newRow(name) << value << path;
    };
    row("plain windows path", "C:\\x\\a.exe", "C:\\x\\a.exe");
    row("quoted with quoted argument", "\"C:\\Program Files (x86)\\T\\u.exe\" /all --m=\"q\"",
        "C:\\Program Files (x86)\\T\\u.exe");
    row("icon index", "C:\\a.exe,0", "C:\\a.exe");
    row("negative icon index", "C:\\a.exe,-101", "C:\\a.exe");
    row("icon index after space", "C:\\a.exe, 2", "C:\\a.exe");
    row("quoted with icon index", "\"C:\\Program Files\\a.exe\",0", "C:\\Program Files\\a.exe");
    row("quoted unix path with icon index", "\"/opt/x/a.sh\",1", "/opt/x/a.sh");
    row("surrounding white space", "  \"/opt/x/a.sh\"  ", "/opt/x/a.sh");
    row("unquoted spaces kept whole", "C:\\Program Files\\a.exe /S", "C:\\Program Files\\a.exe /S");
    row("comma inside a folder name", "C:\\a,b\\x.exe", "C:\\a,b\\x.exe");
    row("comma not followed by a number", "C:\\x\\a.exe,abc", "C:\\x\\a.exe,abc");
    row("quote never closed", "\"C:\\x\\a.exe", "C:\\x\\a.exe");
    row("empty", "", "");
    row("empty quotes", "\"\"", "");
}

void TstUninstallRegistry::pathForms()
{
    QFETCH(QString, value);
    QTEST(programPathFromRegistryValue(value), "path");
}

#ifndef Q_OS_WIN
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

#endif

QTEST_GUILESS_MAIN(TstUninstallRegistry)
#include "tst_uninstallregistry.moc"
