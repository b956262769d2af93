#include "core/catalog/uninstallregistry.h"
#include "support/testregistry.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

namespace {

using Root = TestRegistry::Root;

void writeKey(Root root, const QString &pathName, const QVariantMap &values)
{
    QVERIFY(TestRegistry::write(root, pathName, values));
}

} // namespace

class TstUninstallRegistry : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void eachValueFromItsFirstRoot();
    void notFound_data();
    void notFound();
#ifdef Q_OS_WIN
    void sixtyFourBitOnlyEntryIsFound();
    void expandablePathsAreExpanded();
#else
    void handWrittenFileInDefaultFolder();
#endif
    void pathForms_data();
    void pathForms();

private:
    QScopedPointer<QTemporaryDir> m_dir;
};

void TstUninstallRegistry::init()
{
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
    qputenv("TESSALY_REGISTRY_ROOT", QFile::encodeName(m_dir->filePath(QStringLiteral("registry"))));
    QVERIFY(TestRegistry::clear());
}

// Each value comes from the first root that has it, 64-bit machine, then 32-bit machine, then the
// user: a root with the key but not the value does not stop the search. Dots inside a name are plain.
void TstUninstallRegistry::eachValueFromItsFirstRoot()
{
    const QString name = QStringLiteral("Tessa..Pro");
    writeKey(Root::Machine64, name, {{"DisplayName", "App"}, {"DisplayIcon", "/m64/a.exe"}});
    writeKey(Root::Machine32, name, {{"UninstallString", "/m32/uninst.exe"}, {"DisplayIcon", "/m32/a.exe"}});
    writeKey(Root::CurrentUser, name,
             {{"DisplayVersion", "2.0.0.0"}, {"UninstallString", "/user/uninst.exe"}, {"DisplayIcon", "/user/a.exe"}});

    QVERIFY(isSoftwareInstalled(name));
    QCOMPARE(getDisplayVersion(name), QStringLiteral("2.0.0.0"));
    QCOMPARE(getUnInstallPath(name), QStringLiteral("/m32/uninst.exe"));
    QCOMPARE(getAppPath(name), QStringLiteral("/m64/a.exe"));
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
    // Names that would reach another key if they were followed (the rules: isPlainName).
    QTest::newRow("empty") << QString() << true;
    QTest::newRow("parent") << QStringLiteral("../Escaped") << true;
    QTest::newRow("slash") << QStringLiteral("Uninstall/../Escaped") << true;
    QTest::newRow("slash without dots") << QStringLiteral("Sub/App") << true;
    QTest::newRow("backslash") << QStringLiteral("..\\Escaped") << true;
}

void TstUninstallRegistry::notFound()
{
    QFETCH(QString, pathName);
    QFETCH(bool, registryExists);
    const QVariantMap values{{"DisplayName", "x"}, {"DisplayVersion", "1"}, {"UninstallString", "/x/uninst.exe"}};
    writeKey(Root::Machine64, QStringLiteral("App"), {{"Publisher", "Tessaly"}});
    writeKey(Root::Machine64, QStringLiteral("../Escaped"), values);
    writeKey(Root::Machine64, QStringLiteral("Uninstall/../Escaped"), values);
    writeKey(Root::Machine64, QStringLiteral("Sub/App"), values);
    writeKey(Root::Machine64, QString(), values);
#ifndef Q_OS_WIN
    QVERIFY(QFile::exists(m_dir->filePath(QStringLiteral("registry/HKEY_LOCAL_MACHINE/SOFTWARE/Microsoft/Windows/CurrentVersion/Escaped.ini"))));
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

#ifdef Q_OS_WIN
void TstUninstallRegistry::sixtyFourBitOnlyEntryIsFound()
{
    // A 64-bit installer's entry is invisible in the 32-bit view, which WOW6432Node backs.
    writeKey(Root::Machine64, QStringLiteral("Only64"), {{"DisplayName", "Only64"}, {"DisplayVersion", "6.4.0.0"}});
    QSettings view32(QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Only64"),
                     QSettings::Registry32Format);
    QVERIFY(!view32.contains(QStringLiteral("DisplayName")));

    QVERIFY(isSoftwareInstalled(QStringLiteral("Only64")));
    QCOMPARE(getDisplayVersion(QStringLiteral("Only64")), QStringLiteral("6.4.0.0"));
}

void TstUninstallRegistry::expandablePathsAreExpanded()
{
    // Installers write "%ProgramFiles%\..." paths as REG_EXPAND_SZ; a path left unexpanded names nothing.
    writeKey(Root::CurrentUser, QStringLiteral("Expand"), {{"DisplayName", "Expand"}});
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
// Written by hand into the default folder: an unquoted comma reads as a list in an ini file, and the text is UTF-8.
void TstUninstallRegistry::handWrittenFileInDefaultFolder()
{
    qunsetenv("TESSALY_REGISTRY_ROOT");
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_dir->filePath(QStringLiteral("data"))));
    const QString file = m_dir->filePath(QStringLiteral(
        "data/tessaly-registry/HKEY_CURRENT_USER/SOFTWARE/Microsoft/Windows/CurrentVersion/Uninstall/TessaMindMap.ini"));
    QVERIFY(QDir().mkpath(QFileInfo(file).absolutePath()));
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write("[General]\n"
              "DisplayName=\xe6\xb3\xb0\xe8\x90\xa8\xe6\x80\x9d\xe7\xbb\xb4\xe5\xaf\xbc\xe5\x9b\xbe\n"
              "DisplayVersion=1.5.7.1\n"
              "UninstallString=/opt/\xe6\xb3\xb0\xe8\x90\xa8/uninst.sh\n"
              "DisplayIcon=/opt/\xe6\xb3\xb0\xe8\x90\xa8/mind,map.sh,0\n");
    out.close();
    QVERIFY(isSoftwareInstalled(QStringLiteral("TessaMindMap")));
    QCOMPARE(getDisplayVersion(QStringLiteral("TessaMindMap")), QStringLiteral("1.5.7.1"));
    QCOMPARE(getUnInstallPath(QStringLiteral("TessaMindMap")), QStringLiteral("/opt/泰萨/uninst.sh"));
    QCOMPARE(getAppPath(QStringLiteral("TessaMindMap")), QStringLiteral("/opt/泰萨/mind,map.sh"));
}
#endif

void TstUninstallRegistry::pathForms_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("path");
    const auto row = [](const char *name, const QString &value, const QString &path) {
        QTest::newRow(name) << value << path;
    };
    row("quoted with quoted argument", "\"C:\\Program Files (x86)\\T\\u.exe\" /all --m=\"q\"",
        "C:\\Program Files (x86)\\T\\u.exe");
    row("icon index", "C:\\a.exe,0", "C:\\a.exe");
    row("negative icon index", "C:\\a.exe,-101", "C:\\a.exe");
    row("icon index after space", "C:\\a.exe, 2", "C:\\a.exe");
    row("quoted with icon index", "\"C:\\Program Files\\a.exe\",0", "C:\\Program Files\\a.exe");
    row("surrounding white space", "  \"/opt/x/a.sh\"  ", "/opt/x/a.sh");
    row("unquoted spaces kept whole", "C:\\Program Files\\a.exe /S", "C:\\Program Files\\a.exe /S");
    row("comma inside a folder name", "C:\\a,b\\x.exe", "C:\\a,b\\x.exe");
    row("comma not followed by a number", "C:\\x\\a.exe,abc", "C:\\x\\a.exe,abc");
    row("quote never closed", "\"C:\\x\\a.exe", "C:\\x\\a.exe");
    row("empty quotes", "\"\"", "");
}

void TstUninstallRegistry::pathForms()
{
    QFETCH(QString, value);
    QTEST(programPathFromRegistryValue(value), "path");
}

QTEST_GUILESS_MAIN(TstUninstallRegistry)
#include "tst_uninstallregistry.moc"
