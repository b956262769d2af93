// The files of downloads and icons: names that come from the platform, work folders claimed
// create-only, and folder removal, all on the real file system.

#include "core/files/downloadname.h"
#include "core/files/filename.h"
#include "core/files/folderremoval.h"
#include "core/files/workdir.h"
#include "support/testfiles.h"

#include <QtTest>

namespace {

QStringList entries(const QString &dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

} // namespace

class TstFiles : public QObject
{
    Q_OBJECT

private slots:
    void names_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("plain"); // isPlainName: stays inside its folder or registry key
        QTest::addColumn<bool>("safe"); // isSafeFileName: also a plain file on Windows
        QTest::newRow("Chinese and a space") << "测试 x.exe" << true << true;
        QTest::newRow("two dots inside") << "Tessa..Pro" << true << true;
        QTest::newRow("device name as a prefix") << "console.exe" << true << true;
        QTest::newRow("empty") << "" << false << false;
        QTest::newRow("dot") << "." << false << false;
        QTest::newRow("two dots") << ".." << false << false;
        QTest::newRow("slash") << "../evil.exe" << false << false;
        QTest::newRow("backslashes") << "..\\..\\evil.exe" << false << false;
        QTest::newRow("control character") << "a\n.exe" << false << false;
        // Plain, but on Windows a stream of another file, a device, or a name Windows shortens.
        QTest::newRow("stream") << "a.exe:$DATA" << true << false;
        QTest::newRow("device name") << "Com1.png" << true << false;
        QTest::newRow("trailing dots") << "Tessa.." << true << false;
    }

    // A download keeps the name from its address's path only when it is safe, else it is "setup.exe".
    void names()
    {
        QFETCH(QString, name);
        QTEST(isPlainName(name), "plain");
        QTEST(isSafeFileName(name), "safe");
        const QString saved = downloadFileName(
            QUrl(QString::fromLatin1("http://h/files/" + QUrl::toPercentEncoding(name) + "?v=/y.exe#z")));
        if (!name.contains('/')) // a decoded "/" still ends the path's last segment
            QCOMPARE(saved, isSafeFileName(name) ? name : "setup.exe");
    }

    void claimWorkDirTakesFreeName_data()
    {
        QTest::addColumn<QStringList>("taken"); // beside the claim; a path ending in "/" is a folder
        QTest::addColumn<QString>("suffix"); // of the claimed folder's name after the base
        QTest::newRow("free, parent missing") << QStringList() << "";
        QTest::newRow("empty folder") << QStringList{"temp_5/"} << "_1";
        QTest::newRow("files in the base and in _1") << QStringList{"temp_5/setup.exe", "temp_5_1/setup.exe"} << "_2";
        QTest::newRow("plain file") << QStringList{"temp_5"} << "_1";
    }

    // A name taken in any way gives the next free one, and whatever took it stays as it was.
    void claimWorkDirTakesFreeName()
    {
        QFETCH(QStringList, taken);
        QTemporaryDir dir;
        const QString temp = dir.filePath("temp/");
        for (const QString &path : taken)
            QVERIFY(TestFiles::write(temp + path, "taken"));
        const QString claimed = claimWorkDir(temp + "temp_5");
        QTEST(claimed.mid(temp.size() + 6), "suffix");
        QVERIFY(QFileInfo(claimed).isDir() && entries(claimed).isEmpty() && entries(temp).size() == taken.size() + 1);
        for (const QString &path : taken)
            QVERIFY(path.endsWith('/') || TestFiles::read(temp + path) == "taken");
    }

    void removeFolder_data()
    {
        QTest::addColumn<QString>("link"); // in the folder to a file and to a folder outside; "root": the folder is one
        QTest::newRow("nested, named with a trailing slash") << "";
        QTest::newRow("links inside") << "inside";
        QTest::newRow("folder that is a link") << "root";
    }

    // A link goes as a link; what it points to ("outside", holding a file) is never touched.
    void removeFolder()
    {
        QFETCH(QString, link);
#ifdef Q_OS_WIN
        if (!link.isEmpty())
            QSKIP("Wine can neither make symbolic links or junctions nor show a Linux link as one");
#endif
        QTemporaryDir dir;
        const QString root = dir.filePath("temp_1");
        const QString outside = dir.filePath("outside");
        QVERIFY(TestFiles::write(outside + "/precious.txt") && (link != "root" || QFile::link(outside, root)));
        for (const char *file : {"/setup.exe", "/a/b/c/deep.txt", "/泰萨/安装包.exe", "/a/empty/"})
            QVERIFY(link == "root" || TestFiles::write(root + file));
        QVERIFY(link != "inside" ||
                (QFile::link(outside + "/precious.txt", root + "/file") && QFile::link(outside, root + "/folder")));
        QVERIFY(::removeFolder(link.isEmpty() ? root + '/' : root));
        QVERIFY(!QFileInfo::exists(root) && !QFileInfo(root).isSymLink());
        QCOMPARE(entries(outside), QStringList{"precious.txt"});
    }
};

QTEST_GUILESS_MAIN(TstFiles)
#include "tst_files.moc"
