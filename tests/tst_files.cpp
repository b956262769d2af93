// The files of downloads and icons: names that come from the platform, work folders claimed
// create-only, and folder removal, all on the real file system.

#include "core/files/downloadname.h"
#include "core/files/filename.h"
#include "core/files/folderremoval.h"
#include "core/files/workdir.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

// Writes "taken" to a file, or makes a folder for a path ending in "/"; missing folders are made.
bool make(const QString &path)
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).absolutePath()) &&
        (path.endsWith(QLatin1Char('/')) || (file.open(QIODevice::WriteOnly) && file.write("taken") == 5));
}

QStringList entries(const QString &dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

} // namespace

class TstFiles : public QObject
{
    Q_OBJECT

private slots:
    void fileNames_data();
    void fileNames();
    void downloadName_data();
    void downloadName();
    void claimWorkDirTakesFreeName_data();
    void claimWorkDirTakesFreeName();
    void removeFolder_data();
    void removeFolder();
};

void TstFiles::fileNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("plain"); // isPlainName: stays inside its folder or registry key
    QTest::addColumn<bool>("safe"); // isSafeFileName: also a plain file on Windows
    QTest::newRow("plain") << "setup_2.0.exe" << true << true;
    QTest::newRow("Chinese and a space") << "测试 x.exe" << true << true;
    QTest::newRow("two dots inside") << "Tessa..Pro" << true << true;
    QTest::newRow("leading dots") << "..app.png" << true << true;
    QTest::newRow("device name as a prefix") << "console.exe" << true << true;
    QTest::newRow("empty") << "" << false << false;
    QTest::newRow("dot") << "." << false << false;
    QTest::newRow("two dots") << ".." << false << false;
    QTest::newRow("slash") << "../evil.exe" << false << false;
    QTest::newRow("backslash") << "..\\evil.exe" << false << false;
    QTest::newRow("newline") << "a\n.exe" << false << false;
    QTest::newRow("delete character") << "a\x7f.exe" << false << false;
    // Plain, but on Windows a stream of another file, a device, or a name Windows shortens.
    QTest::newRow("stream") << "a.exe::$DATA" << true << false;
    QTest::newRow("wildcard") << "a?.exe" << true << false;
    QTest::newRow("device name") << "CON.exe" << true << false;
    QTest::newRow("device name alone") << "nul" << true << false;
    QTest::newRow("numbered device") << "com1.txt" << true << false;
    QTest::newRow("trailing dots") << "Tessa.." << true << false;
    QTest::newRow("trailing space") << "a.exe " << true << false;
}

void TstFiles::fileNames()
{
    QFETCH(QString, name);
    QTEST(isPlainName(name), "plain");
    QTEST(isSafeFileName(name), "safe");
    // A safe name is, on this system, a file of that very name in the folder it was saved in.
    QTemporaryDir dir;
    if (isSafeFileName(name)) {
        QVERIFY(make(dir.filePath(QStringLiteral("work/")) + name));
        QCOMPARE(entries(dir.filePath(QStringLiteral("work"))), QStringList{name});
        QCOMPARE(entries(dir.path()), QStringList{"work"});
    }
}

void TstFiles::downloadName_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("expected");
    QTest::newRow("from the path") << "http://h/files/setup_2.0.exe" << "setup_2.0.exe";
    QTest::newRow("query and fragment ignored") << "http://h/files/app.exe?v=2&x=/y.exe#part" << "app.exe";
    QTest::newRow("decoded") << "http://h/files/%E6%B5%8B%E8%AF%95%20x.exe" << "测试 x.exe";
    QTest::newRow("encoded backslashes") << "http://h/files/..%5C..%5Cevil.exe" << "setup.exe";
    QTest::newRow("encoded slashes") << "http://h/files/..%2F..%2Fevil.exe" << "evil.exe";
    QTest::newRow("device name") << "http://h/files/CON.exe" << "setup.exe";
    QTest::newRow("no name") << "http://h/files/" << "setup.exe";
}

void TstFiles::downloadName()
{
    QFETCH(QString, address);
    QTEST(downloadFileName(QUrl(address)), "expected");
}

// A name taken in any way gives the next free one, and whatever took it stays as it was.
void TstFiles::claimWorkDirTakesFreeName_data()
{
    QTest::addColumn<QStringList>("taken"); // beside the claim, in its parent; see make()
    QTest::addColumn<QString>("suffix"); // of the claimed folder's name after the base
    QTest::newRow("free, parent missing") << QStringList() << "";
    QTest::newRow("empty folder") << QStringList{"temp_5/"} << "_1";
    QTest::newRow("files in the base and in _1") << QStringList{"temp_5/setup.exe", "temp_5_1/setup.exe"} << "_2";
    QTest::newRow("plain file") << QStringList{"temp_5"} << "_1";
}

void TstFiles::claimWorkDirTakesFreeName()
{
    QFETCH(QStringList, taken);
    QTemporaryDir dir;
    const QString temp = dir.filePath(QStringLiteral("temp/"));
    for (const QString &path : taken)
        QVERIFY(make(temp + path));
    const int before = entries(temp).size();

    const QString claimed = claimWorkDir(temp + QStringLiteral("temp_5"));
    QFETCH(QString, suffix);
    QCOMPARE(claimed, temp + QStringLiteral("temp_5") + suffix);
    QVERIFY(QFileInfo(claimed).isDir() && entries(claimed).isEmpty() && entries(temp).size() == before + 1);
    for (const QString &path : taken) {
        QFile file(temp + path);
        QVERIFY(path.endsWith(QLatin1Char('/')) || (file.open(QIODevice::ReadOnly) && file.readAll() == "taken"));
    }
}

// A link goes as a link; what it points to ("outside", holding a file) is never touched.
void TstFiles::removeFolder_data()
{
    QTest::addColumn<QStringList>("files"); // in the folder; see make()
    QTest::addColumn<QString>("suffix"); // how the caller spells the path
    QTest::addColumn<QString>("link"); // "link" in the folder to "file" or "folder" outside; "root": the folder is one
    QTest::addColumn<bool>("result");
    QTest::addColumn<QStringList>("kept"); // "" is the folder itself; none: the folder is gone
    const QStringList none;
    QTest::newRow("nested, trailing slash")
        << QStringList{"setup.exe", "a/b/c/deep.txt", "a/side.txt", "泰萨/安装包.exe", "a/empty/", "z/y/x/"} << "/"
        << "" << true << none;
    QTest::newRow("missing folder") << none << "/never/there" << "" << true << QStringList{""};
    // Hidden entries are not listed, so "a" cannot go; entries go in name order, so "z.txt" is never reached.
    QTest::newRow("hidden file keeps folder and stops")
        << QStringList{"a/.hidden", "a/visible.txt", "z.txt"} << "" << "" << false << QStringList{"a/.hidden", "z.txt"};
    QTest::newRow("entry linking to a file") << QStringList{"setup.exe"} << "" << "file" << true << none;
    QTest::newRow("entry linking to a folder") << QStringList{"setup.exe"} << "" << "folder" << true << none;
    QTest::newRow("folder that is a link") << none << "" << "root" << true << none;
}

void TstFiles::removeFolder()
{
    QFETCH(QStringList, files);
    QFETCH(QString, suffix);
    QFETCH(QString, link);
    QFETCH(QStringList, kept);
#ifdef Q_OS_WIN
    if (!link.isEmpty())
        QSKIP("Wine can neither make symbolic links or junctions nor show a Linux link as one");
#endif
    QTemporaryDir dir;
    const QString root = dir.filePath(QStringLiteral("temp_1"));
    const QString precious = dir.filePath(QStringLiteral("outside/precious.txt"));
    QVERIFY(make(precious) && (link == QLatin1String("root") ? QFile::link(QFileInfo(precious).path(), root) : QDir().mkpath(root)));
    for (const QString &file : files)
        QVERIFY(make(root + QLatin1Char('/') + file));
    if (link == QLatin1String("file") || link == QLatin1String("folder"))
        QVERIFY(QFile::link(link == QLatin1String("file") ? precious : QFileInfo(precious).path(), root + QStringLiteral("/link")));

    QTEST(::removeFolder(root + suffix), "result");
    QCOMPARE(QFileInfo::exists(root) || QFileInfo(root).isSymLink(), !kept.isEmpty());
    for (const QString &file : files)
        QCOMPARE(QFileInfo::exists(root + QLatin1Char('/') + file), kept.contains(file));
    QVERIFY(QFile::exists(precious));
}

QTEST_GUILESS_MAIN(TstFiles)
#include "tst_files.moc"
