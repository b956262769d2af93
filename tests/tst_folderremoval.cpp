#include "core/files/folderremoval.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

bool writeFile(const QString &path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write("x") == 1;
}

} // namespace

class TstFolderRemoval : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void removesNestedFolders_data();
    void removesNestedFolders();
    void missingFolderCountsAsRemoved();
    void hiddenFileKeepsFolderAndStops();
    void symlinkRemovedAsLink_data();
    void symlinkRemovedAsLink();

private:
    QScopedPointer<QTemporaryDir> m_dir;
};

void TstFolderRemoval::init()
{
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
}

void TstFolderRemoval::removesNestedFolders_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("emptyFolders");
    QTest::addColumn<QString>("suffix"); // how the caller spells the path
    QTest::newRow("empty folder") << QStringList() << QStringList() << QString();
    QTest::newRow("nested") << QStringList{"setup.exe", "a/b/c/deep.txt", "a/side.txt", "泰萨/安装包.exe"}
                            << QStringList{"a/empty", "z/y/x"} << QString();
    QTest::newRow("trailing slash") << QStringList{"a/b.txt"} << QStringList() << QStringLiteral("/");
}

void TstFolderRemoval::removesNestedFolders()
{
    QFETCH(QStringList, files);
    QFETCH(QStringList, emptyFolders);
    QFETCH(QString, suffix);
    const QString root = m_dir->filePath(QStringLiteral("temp_20240101"));
    QVERIFY(QDir().mkpath(root));
    for (const QString &file : files)
        QVERIFY(writeFile(root + QLatin1Char('/') + file));
    for (const QString &folder : emptyFolders)
        QVERIFY(QDir().mkpath(root + QLatin1Char('/') + folder));
    const QString sibling = m_dir->filePath(QStringLiteral("temp_20240102/keep.txt"));
    QVERIFY(writeFile(sibling));

    QVERIFY(removeFolder(root + suffix));
    QVERIFY(!QFileInfo::exists(root));
    QVERIFY(QFile::exists(sibling));
}

void TstFolderRemoval::missingFolderCountsAsRemoved()
{
    QVERIFY(removeFolder(m_dir->filePath(QStringLiteral("never/there"))));
}

void TstFolderRemoval::hiddenFileKeepsFolderAndStops()
{
    // Hidden entries are not listed, so "a" cannot go; entries go in name order, so "z.txt" is never reached.
    const QString root = m_dir->filePath(QStringLiteral("temp_1"));
    QVERIFY(writeFile(root + QStringLiteral("/a/.hidden")));
    QVERIFY(writeFile(root + QStringLiteral("/a/visible.txt")));
    QVERIFY(writeFile(root + QStringLiteral("/z.txt")));

    QVERIFY(!removeFolder(root));
    QVERIFY(QFile::exists(root + QStringLiteral("/a/.hidden")));
    QVERIFY(!QFile::exists(root + QStringLiteral("/a/visible.txt")));
    QVERIFY(QFile::exists(root + QStringLiteral("/z.txt")));
}

void TstFolderRemoval::symlinkRemovedAsLink_data()
{
    QTest::addColumn<bool>("linkToFolder");
    QTest::addColumn<bool>("linkIsRoot"); // the folder to remove is itself the link
    QTest::newRow("entry linking to a file") << false << false;
    QTest::newRow("entry linking to a folder") << true << false;
    QTest::newRow("folder that is a link") << true << true;
}

void TstFolderRemoval::symlinkRemovedAsLink()
{
    QFETCH(bool, linkToFolder);
    QFETCH(bool, linkIsRoot);
#ifdef Q_OS_WIN
    QSKIP("Wine can neither make symbolic links or junctions nor show a Linux link as one");
#endif
    const QString outside = m_dir->filePath(QStringLiteral("outside"));
    QVERIFY(writeFile(outside + QStringLiteral("/precious.txt")));
    const QString target = linkToFolder ? outside : outside + QStringLiteral("/precious.txt");
    const QString root = m_dir->filePath(QStringLiteral("temp_1"));
    if (linkIsRoot) {
        QVERIFY(QFile::link(target, root));
    } else {
        QVERIFY(writeFile(root + QStringLiteral("/setup.exe")));
        QVERIFY(QFile::link(target, root + QStringLiteral("/link")));
    }

    QVERIFY(removeFolder(root));
    QVERIFY(!QFileInfo::exists(root) && !QFileInfo(root).isSymLink());
    QVERIFY(QFile::exists(outside + QStringLiteral("/precious.txt")));
}

QTEST_GUILESS_MAIN(TstFolderRemoval)
#include "tst_folderremoval.moc"
