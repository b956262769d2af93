#include "core/catalog/catalogfill.h"
#include "core/files/filename.h"
#include "core/base/productinfo.h"
#include "core/base/apppaths.h"
#include "core/platform/mycontext.h"
#include "support/simulator.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

namespace {

void clearCatalog()
{
    qDeleteAll(MyContext::productInfoList);
    MyContext::productInfoList.clear();
}

void addEntry(const QString &pathName, const QString &iconName, const QString &iconUrl)
{
    auto *info = new ProductInfo;
    info->pathName = pathName;
    info->iconName = iconName;
    info->iconUrl = iconUrl;
    info->zhName = pathName;
    MyContext::productInfoList.append(info);
}

bool writeIcon(const QString &path, const QColor &color)
{
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(color);
    return image.save(path, "PNG");
}

// Every entry as "pathName:colour", the colour of the icon's first pixel or "none" without an icon.
QStringList fillAll()
{
    QStringList filled;
    fillCatalog([&filled](const ProductInfo &info, const QPixmap &pixmap) {
        filled.append(info.pathName + QLatin1Char(':') +
                      (pixmap.isNull() ? QStringLiteral("none") : pixmap.toImage().pixelColor(0, 0).name()));
    });
    return filled;
}

} // namespace

class TstCatalogModel : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void builtInCatalog();
    void iconFromIconFolder_data();
    void iconFromIconFolder();
    void fillDownloadsMissingIconsOnce();

private:
    QScopedPointer<QTemporaryDir> m_dir;
    QString m_iconDir;
};

void TstCatalogModel::init()
{
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
    AppPaths::setAppDirForTesting(m_dir->path());
    m_iconDir = MyContext::iconImgDir();
    QVERIFY(QDir().mkpath(m_iconDir));
    clearCatalog();
}

void TstCatalogModel::cleanup()
{
    clearCatalog();
    AppPaths::setAppDirForTesting(QString());
}

void TstCatalogModel::builtInCatalog()
{
    MyContext::initDefaultProductInfos();
    QCOMPARE(MyContext::productInfoList.size(), 14);
    QSet<QString> ids, pathNames, iconNames;
    const QRegularExpression version(QStringLiteral("^\\d+\\.\\d+\\.\\d+\\.\\d+$"));
    for (const ProductInfo *info : qAsConst(MyContext::productInfoList)) {
        QVERIFY2(version.match(info->version).hasMatch(), qPrintable(info->version));
        // No address: a missing built-in icon is never downloaded.
        QVERIFY(info->iconUrl.isEmpty());
        QVERIFY(isSafeFileName(info->iconName));
        QVERIFY(!info->zhName.isEmpty() && !info->zhDesc.isEmpty() && !info->productId.isEmpty());
        ids.insert(info->productId);
        pathNames.insert(info->pathName);
        iconNames.insert(info->iconName);
    }
    QCOMPARE(ids.size(), 14);
    QCOMPARE(pathNames.size(), 14);
    QCOMPARE(iconNames.size(), 14);

    // The build copies the icons beside the program, where the fill finds every one of them.
    const QString binDir = qEnvironmentVariable("TESSALY_BIN_DIR");
    if (binDir.isEmpty())
        QSKIP("TESSALY_BIN_DIR is not set");
    AppPaths::setAppDirForTesting(binDir);
    const QStringList filled = fillAll();
    QCOMPARE(filled.size(), 14);
    QCOMPARE(filled.filter(QStringLiteral(":none")), QStringList());
}

void TstCatalogModel::iconFromIconFolder_data()
{
    QTest::addColumn<QString>("iconName");
    QTest::addColumn<QByteArray>("content"); // "png": a red picture; null: no file at all
    QTest::addColumn<bool>("safe");
    const QByteArray png = QByteArrayLiteral("png");
    QTest::newRow("plain") << "app.png" << png << true;
    // Dots that are not the whole name stay inside the folder.
    QTest::newRow("two dots inside") << "app..png" << png << true;
    QTest::newRow("leading dots") << "..app.png" << png << true;
    QTest::newRow("no file") << "app.png" << QByteArray() << true;
    QTest::newRow("not an image") << "app.png" << QByteArrayLiteral("this is not a picture") << true;
    QTest::newRow("empty file") << "app.png" << QByteArrayLiteral("") << true;
    // Names that would leave the folder are neither read nor downloaded.
    QTest::newRow("empty") << QString() << QByteArray() << false;
    QTest::newRow("dot") << "." << QByteArray() << false;
    QTest::newRow("two dots") << ".." << QByteArray() << false;
    QTest::newRow("parent") << "../outside.png" << QByteArray() << false;
    QTest::newRow("absolute") << "/tmp/outside.png" << QByteArray() << false;
    QTest::newRow("subfolder") << "sub/outside.png" << QByteArray() << false;
    QTest::newRow("backslash") << "..\\outside.png" << QByteArray() << false;
    QTest::newRow("newline") << "outside\n.png" << QByteArray() << false;
    QTest::newRow("delete character") << "outside\x7f.png" << QByteArray() << false;
    // On Windows this would be a stream of the file "app.png", and "nul.png" the null device.
    QTest::newRow("stream of another file") << "app.png:hidden" << QByteArray() << false;
    QTest::newRow("device name") << "nul.png" << QByteArray() << false;
}

void TstCatalogModel::iconFromIconFolder()
{
    QFETCH(QString, iconName);
    QFETCH(QByteArray, content);
    QTEST(isSafeFileName(iconName), "safe");
    const bool picture = content == "png";
    // A picture an escaping name would reach if it were followed.
    QVERIFY(writeIcon(m_dir->filePath(QStringLiteral("outside.png")), Qt::blue));
    const QString file = m_iconDir + QLatin1Char('/') + iconName;
    if (content == "png") {
        QVERIFY(writeIcon(file, Qt::red));
    } else if (!content.isNull()) {
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly) && out.write(content) == content.size());
    }
    // An address that cannot answer: a failed download leaves nothing behind.
    addEntry(QStringLiteral("App"), iconName, QStringLiteral("http://127.0.0.1:9/outside.png"));

    const QPixmap pixmap = loadCatalogIcon(*MyContext::productInfoList.first());
    QCOMPARE(!pixmap.isNull(), picture);
    if (picture)
        QCOMPARE(pixmap.toImage().pixelColor(0, 0), QColor(Qt::red));
    QCOMPARE(QDir(m_iconDir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             content.isNull() ? QStringList() : QStringList{iconName});
}

void TstCatalogModel::fillDownloadsMissingIconsOnce()
{
    const QString simDir = m_dir->filePath(QStringLiteral("sim"));
    QVERIFY(QDir().mkpath(simDir + QStringLiteral("/files/icons")));
    QVERIFY(writeIcon(simDir + QStringLiteral("/files/icons/local.png"), Qt::blue));
    QVERIFY(writeIcon(simDir + QStringLiteral("/files/icons/remote.png"), Qt::green));
    Simulator sim(QJsonObject{{"files", QJsonObject{{"root", "files"}}}}, simDir);
    QVERIFY(sim.isRunning());
    const QString url = sim.baseUrl() + QStringLiteral("/files/icons/");
    QVERIFY(writeIcon(m_iconDir + QStringLiteral("/local.png"), Qt::red));
    addEntry(QStringLiteral("Present"), QStringLiteral("local.png"), url + QStringLiteral("local.png"));
    addEntry(QStringLiteral("Missing"), QStringLiteral("fetched.png"), url + QStringLiteral("remote.png"));
    addEntry(QStringLiteral("Undownloadable"), QStringLiteral("none.png"), url + QStringLiteral("none.png"));

    // Fetched at the first fill and kept in the icon folder, read from there at the next one.
    for (int start = 1; start <= 2; ++start) {
        QCOMPARE(fillAll(), (QStringList{"Present:#ff0000", "Missing:#00ff00", "Undownloadable:none"}));
        QCOMPARE(sim.requests(QStringLiteral("/files/icons/local.png")).size(), 0);
        QCOMPARE(sim.requests(QStringLiteral("/files/icons/remote.png")).size(), 1);
        QVERIFY(!sim.requests(QStringLiteral("/files/icons/none.png")).isEmpty());
        QCOMPARE(QDir(m_iconDir).entryList(QDir::Files), (QStringList{"fetched.png", "local.png"}));
    }
}

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    TstCatalogModel test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_catalogmodel.moc"
