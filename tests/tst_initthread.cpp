#include "core/files/initthread.h"
#include "core/base/apppaths.h"

#include <QtTest>

class TestInitThread : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void emptiesCodecFolderButKeepsIt();
    void missingFolderIsHarmless();

private:
    void touch(const QString &path);
    void runThread();
    QScopedPointer<QTemporaryDir> m_appDir;
};

void TestInitThread::init()
{
    m_appDir.reset(new QTemporaryDir);
    QVERIFY(m_appDir->isValid());
    AppPaths::setAppDirForTesting(m_appDir->path());
}

void TestInitThread::cleanup()
{
    AppPaths::setAppDirForTesting({});
}

void TestInitThread::touch(const QString &path)
{
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("x");
}

void TestInitThread::runThread()
{
    auto *thread = new InitThread(this);
    QSignalSpy finished(thread, &QThread::finished);
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
    QVERIFY(finished.count() == 1 || finished.wait(5000));
}

void TestInitThread::emptiesCodecFolderButKeepsIt()
{
    const QString codec = m_appDir->path() + QLatin1String("/res/codec");
    touch(codec + QLatin1String("/a.bin"));
    touch(codec + QLatin1String("/.hidden"));
    touch(codec + QLatin1String("/nested/deeper/b.bin"));
    touch(codec + QLatin1String("/.hiddendir/c.bin"));
    touch(m_appDir->path() + QLatin1String("/res/keep.txt"));
    // A link inside the folder must not take its target's content with it.
    QTemporaryDir outside;
    touch(outside.path() + QLatin1String("/precious.txt"));
    QVERIFY(QFile::link(outside.path(), codec + QLatin1String("/link")));

    runThread();

    QVERIFY(QFileInfo(codec).isDir());
    QCOMPARE(QDir(codec).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoSymLinks | QDir::NoDotAndDotDot),
             QStringList());
    QVERIFY(QFile::exists(m_appDir->path() + QLatin1String("/res/keep.txt")));
    QVERIFY(QFile::exists(outside.path() + QLatin1String("/precious.txt")));
}

void TestInitThread::missingFolderIsHarmless()
{
    runThread();
    QVERIFY(!QFileInfo::exists(m_appDir->path() + QLatin1String("/res/codec")));
}

QTEST_GUILESS_MAIN(TestInitThread)
#include "tst_initthread.moc"
