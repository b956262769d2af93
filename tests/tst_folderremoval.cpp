#include "catalog/folderremoval.h"
#include "support/logcapture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

bool writeFile(const QString &path, const QByteArray &content = QByteArrayLiteral("x"))
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
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
    void hiddenFileKeepsFolder();
    void stopsAtFirstFailure();
    void symlinkEntryGoesTargetStays_data();
    void symlinkEntryGoesTargetStays();
    void symlinkedFolderItselfIsNotFollowed();

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
    QTest::newRow("one file") << QStringList{"setup.exe"} << QStringList() << QString();
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
    LogCapture log;
    QVERIFY(removeFolder(m_dir->filePath(QStringLiteral("never/there"))));
    QVERIFY(log.contains(QtDebugMsg, QStringLiteral("Folder does not exist:")));
}

void TstFolderRemoval::hiddenFileKeepsFolder()
{
    const QString root = m_dir->filePath(QStringLiteral("temp_1"));
    QVERIFY(writeFile(root + QStringLiteral("/.hidden")));
    QVERIFY(writeFile(root + QStringLiteral("/visible.txt")));

    LogCapture log;
    QVERIFY(!removeFolder(root));
    QVERIFY(log.contains(QtWarningMsg, QStringLiteral("Failed to remove folder:")));
    QVERIFY(QFile::exists(root + QStringLiteral("/.hidden")));
    QVERIFY(QFileInfo(root).isDir());
}

void TstFolderRemoval::stopsAtFirstFailure()
{
    // Entries go in name order; "a" holds a hidden file and cannot go, so "z.txt" is never reached.
    const QString root = m_dir->filePath(QStringLiteral("temp_1"));
    QVERIFY(writeFile(root + QStringLiteral("/a/.hidden")));
    QVERIFY(writeFile(root + QStringLiteral("/a/visible.txt")));
    QVERIFY(writeFile(root + QStringLiteral("/z.txt")));

    QVERIFY(!removeFolder(root));
    QVERIFY(QFile::exists(root + QStringLiteral("/a/.hidden")));
    QVERIFY(!QFile::exists(root + QStringLiteral("/a/visible.txt")));
    QVERIFY(QFile::exists(root + QStringLiteral("/z.txt")));
}

void TstFolderRemoval::symlinkEntryGoesTargetStays_data()
{
    QTest::addColumn<bool>("linkToFolder");
    QTest::newRow("link to a file") << false;
    QTest::newRow("link to a folder") << true;
}

void TstFolderRemoval::symlinkEntryGoesTargetStays()
{
    QFETCH(bool, linkToFolder);
    const QString outside = m_dir->filePath(QStringLiteral("outside"));
    QVERIFY(writeFile(outside + QStringLiteral("/precious.txt")));
    const QString target = linkToFolder ? outside : outside + QStringLiteral("/precious.txt");

    const QString root = m_dir->filePath(QStringLiteral("temp_1"));
    QVERIFY(writeFile(root + QStringLiteral("/setup.exe")));
    QVERIFY(QFile::link(target, root + QStringLiteral("/link")));

    QVERIFY(removeFolder(root));
    QVERIFY(!QFileInfo::exists(root));
    QVERIFY(QFile::exists(outside + QStringLiteral("/precious.txt")));
}

void TstFolderRemoval::symlinkedFolderItselfIsNotFollowed()
{
    const QString outside = m_dir->filePath(QStringLiteral("outside"));
    QVERIFY(writeFile(outside + QStringLiteral("/precious.txt")));
    const QString link = m_dir->filePath(QStringLiteral("temp_1"));
    QVERIFY(QFile::link(outside, link));

    QVERIFY(removeFolder(link));
    QVERIFY(!QFileInfo(link).isSymLink());
    QVERIFY(QFile::exists(outside + QStringLiteral("/precious.txt")));
}

QTEST_GUILESS_MAIN(TstFolderRemoval)
#include "tst_folderremoval.moc"
