// The uninstall registry: which root answers, the subkey names never looked up, and the program a value names.

#include "core/catalog/uninstallregistry.h"
#include "support/testregistry.h"

#include <QtTest>

using Root = TestRegistry::Root;

class TstUninstallRegistry : public QObject
{
    Q_OBJECT

    QScopedPointer<QTemporaryDir> m_dir;

private slots:
    void init()
    {
        m_dir.reset(new QTemporaryDir);
        qputenv("TESSALY_REGISTRY_ROOT", QFile::encodeName(m_dir->filePath("registry")));
        QVERIFY(m_dir->isValid() && TestRegistry::clear());
    }

    // Each value comes from the first root that has it, 64-bit machine, then 32-bit machine, then the
    // user: a root with the key but not the value does not stop the search. Dots inside a name are plain.
    void eachValueFromItsFirstRoot()
    {
        const QString name = "Tessa..Pro";
        QVERIFY(TestRegistry::write(Root::Machine64, name, {{"DisplayName", "App"}, {"DisplayIcon", "/m64/a"}}));
        QVERIFY(TestRegistry::write(Root::Machine32, name, {{"UninstallString", "/m32/u"}, {"DisplayIcon", "/m32/a"}}));
        QVERIFY(TestRegistry::write(Root::CurrentUser, name, {{"DisplayVersion", "2.0"}, {"UninstallString", "/u/u"}}));
        QVERIFY(isSoftwareInstalled(name));
        const QString found = getDisplayVersion(name) + ' ' + getUnInstallPath(name) + ' ' + getAppPath(name);
        QCOMPARE(found, "2.0 /m32/u /m64/a");
    }

    void unsafeNamesAreNotLookedUp_data()
    {
        QTest::addColumn<QString>("pathName");
        QTest::newRow("key without the values") << "App";
        QTest::newRow("empty") << "";
        QTest::newRow("parent") << "../Escaped";
        QTest::newRow("slash") << "Uninstall/../Escaped";
        QTest::newRow("slash without dots") << "Sub/App";
        QTest::newRow("backslash") << "..\\Escaped";
    }

    // Names that would reach another key if they were followed (the rules: isPlainName) find nothing,
    // though the keys they would reach exist; so does a key without the values.
    void unsafeNamesAreNotLookedUp()
    {
        QFETCH(QString, pathName);
        QVERIFY(TestRegistry::write(Root::Machine64, "App", {{"Publisher", "Tessaly"}}));
        for (const char *name : {"", "../Escaped", "Uninstall/../Escaped", "Sub/App"})
            QVERIFY(TestRegistry::write(Root::Machine64, name, {{"DisplayName", "x"}, {"UninstallString", "/x/u"}}));
        QVERIFY(!isSoftwareInstalled(pathName) && getUnInstallPath(pathName).isEmpty());
    }

#ifdef Q_OS_WIN
    void sixtyFourBitOnlyEntryIsFound()
    {
        // A 64-bit installer's entry is invisible in the 32-bit view, which WOW6432Node backs.
        QVERIFY(TestRegistry::write(Root::Machine64, "Only64", {{"DisplayName", "x"}, {"DisplayVersion", "6.4"}}));
        QSettings view32("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Only64",
                         QSettings::Registry32Format);
        QVERIFY(!view32.contains("DisplayName") && isSoftwareInstalled("Only64"));
        QCOMPARE(getDisplayVersion("Only64"), QString("6.4"));
    }

    // Installers write "%ProgramFiles%\..." paths as REG_EXPAND_SZ; a path left unexpanded names nothing.
    void expandablePathsAreExpanded()
    {
        QVERIFY(TestRegistry::write(Root::CurrentUser, "X", {{"DisplayName", "X"}}));
        QVERIFY(TestRegistry::writeExpandable(Root::CurrentUser, "X", "UninstallString", "\"%SystemRoot%\\u\" /S"));
        QVERIFY(TestRegistry::writeExpandable(Root::CurrentUser, "X", "DisplayIcon", "%SystemRoot%\\T\\a.exe,0"));
        const QString systemRoot = qEnvironmentVariable("SystemRoot");
        QVERIFY(!systemRoot.isEmpty() && getUnInstallPath("X") == systemRoot + "\\u");
        QCOMPARE(getAppPath("X"), QString(systemRoot + "\\T\\a.exe"));
    }
#endif

    void pathForms_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("path");
        QTest::newRow("quoted with arguments") << "\"C:\\Program Files\\u\" /all --m=\"q\"" << "C:\\Program Files\\u";
        QTest::newRow("negative icon index after space") << "C:\\a.exe, -101" << "C:\\a.exe";
        QTest::newRow("unquoted spaces kept whole") << "C:\\Program Files\\a.exe /S" << "C:\\Program Files\\a.exe /S";
        QTest::newRow("comma inside a folder name") << "C:\\a,b\\x.exe" << "C:\\a,b\\x.exe";
    }

    void pathForms()
    {
        QFETCH(QString, value);
        QTEST(programPathFromRegistryValue(value), "path");
    }
};

QTEST_GUILESS_MAIN(TstUninstallRegistry)
#include "tst_uninstallregistry.moc"
