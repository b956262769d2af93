#include "catalog/catalogfill.h"
#include "catalog/productinfo.h"
#include "platform/apppaths.h"
#include "platform/mycontext.h"
#include "support/logcapture.h"
#include "support/simulator.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QJsonArray>
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

ProductInfo *addEntry(const QString &pathName, const QString &iconName, const QString &iconUrl = QString())
{
    auto *info = new ProductInfo;
    info->pathName = pathName;
    info->iconName = iconName;
    info->iconUrl = iconUrl;
    info->zhName = pathName;
    MyContext::productInfoList.append(info);
    return info;
}

bool writeIcon(const QString &path, const QColor &color)
{
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(color);
    return image.save(path, "PNG");
}

// Requests the simulator saw for any of its static files.
int fileRequests(const Simulator &sim)
{
    int count = 0;
    for (const QJsonValue &request : sim.requests()) {
        if (request.toObject().value(QLatin1String("path")).toString().startsWith(QLatin1String("/files/")))
            ++count;
    }
    return count;
}

QString repoIconFolder()
{
    return QStringLiteral(TESSALY_TEST_FIXTURES "/../../resources/iconImg");
}

} // namespace

class TstCatalogModel : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void builtInTable();
    void builtInIconsInRepository();
    void builtInIconsBesideProgram();

    void iconFromIconFolder_data();
    void iconFromIconFolder();
    void missingIconWithoutAddressIsNull_data();
    void missingIconWithoutAddressIsNull();
    void unsafeIconNamesNeverLeaveFolder_data();
    void unsafeIconNamesNeverLeaveFolder();
    void fillWalksListInOrder();

    void presentIconIsNotDownloaded();
    void missingIconIsDownloadedOnce();
    void undownloadableIconIsNull();
    void appInitCatalogWithPresentIconsSendsNoDownload();

private:
    QScopedPointer<QTemporaryDir> m_dir;
    QString m_iconDir;
};

namespace {

// A simulator serving `icons` (name -> colour) under /files/icons/, with an optional app-init answer.
std::unique_ptr<Simulator> startSimulator(const QString &dir, const QHash<QString, QColor> &icons,
                                          const QJsonObject &appInit = QJsonObject())
{
    QDir().mkpath(dir + QStringLiteral("/files/icons"));
    for (auto it = icons.cbegin(); it != icons.cend(); ++it) {
        if (!writeIcon(dir + QStringLiteral("/files/icons/") + it.key(), it.value()))
            return nullptr;
    }
    QJsonObject scenario{{"files", QJsonObject{{"root", "files"}}}};
    if (!appInit.isEmpty())
        scenario.insert(QStringLiteral("appInit"), appInit);
    return std::make_unique<Simulator>(scenario, dir);
}

} // namespace

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
    // Entries replaced by app init are released with deleteLater.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    AppPaths::setAppDirForTesting(QString());
}

void TstCatalogModel::builtInTable()
{
    MyContext::initDefaultProductInfos();
    const QList<ProductInfo *> &list = MyContext::productInfoList;
    QCOMPARE(list.size(), 14);

    QSet<QString> ids, pathNames, iconNames;
    const QRegularExpression version(QStringLiteral("^\\d+\\.\\d+\\.\\d+\\.\\d+$"));
    const QRegularExpression id(QStringLiteral("^\\d{5}$"));
    for (const ProductInfo *info : list) {
        QVERIFY2(id.match(info->productId).hasMatch(), qPrintable(info->productId));
        QVERIFY2(version.match(info->version).hasMatch(), qPrintable(info->version));
        QVERIFY(info->iconUrl.isEmpty());
        QVERIFY(isSafeIconName(info->iconName));
        QVERIFY(info->iconName.endsWith(QLatin1String(".png")));
        QVERIFY(!info->zhName.isEmpty());
        QVERIFY(!info->zhDesc.isEmpty());
        QCOMPARE(info->downloadUrl,
                 QStringLiteral("http://download.tessaly.invalid/") + info->pathName + QStringLiteral("_setup.exe"));
        QVERIFY(!info->parent());
        ids.insert(info->productId);
        pathNames.insert(info->pathName);
        iconNames.insert(info->iconName);
    }
    QCOMPARE(ids.size(), 14);
    QCOMPARE(pathNames.size(), 14);
    QCOMPARE(iconNames.size(), 14);

    // Appends: a second call doubles the list instead of replacing it.
    MyContext::initDefaultProductInfos();
    QCOMPARE(list.size(), 28);
}

void TstCatalogModel::builtInIconsInRepository()
{
    const QDir folder(repoIconFolder());
    if (folder.entryList(QDir::Files).isEmpty())
        QSKIP("resources/iconImg holds no icons yet");

    MyContext::initDefaultProductInfos();
    for (const ProductInfo *info : qAsConst(MyContext::productInfoList)) {
        const QString path = folder.filePath(info->iconName);
        QVERIFY2(!QPixmap(path).isNull(), qPrintable(path));
    }
}

void TstCatalogModel::builtInIconsBesideProgram()
{
    const QString binDir = qEnvironmentVariable("TESSALY_BIN_DIR");
    if (binDir.isEmpty())
        QSKIP("TESSALY_BIN_DIR is not set");
    if (QDir(repoIconFolder()).entryList(QDir::Files).isEmpty())
        QSKIP("resources/iconImg holds no icons yet");

    // The build copies the icons beside the program, so the catalog fill finds them without a download.
    AppPaths::setAppDirForTesting(binDir);
    MyContext::initDefaultProductInfos();
    int filled = 0;
    fillCatalog([&filled](const ProductInfo &info, const QPixmap &pixmap) {
        QVERIFY2(!pixmap.isNull(), qPrintable(info.iconName));
        ++filled;
    });
    QCOMPARE(filled, 14);
}

void TstCatalogModel::iconFromIconFolder_data()
{
    QTest::addColumn<QString>("iconName");
    QTest::newRow("plain") << QStringLiteral("app.png");
    // Dots that are not the whole name stay inside the folder.
    QTest::newRow("two dots inside") << QStringLiteral("app..png");
    QTest::newRow("leading dots") << QStringLiteral("..app.png");
}

void TstCatalogModel::iconFromIconFolder()
{
    QFETCH(QString, iconName);
    QVERIFY(isSafeIconName(iconName));
    QVERIFY(writeIcon(m_iconDir + QLatin1Char('/') + iconName, Qt::red));
    ProductInfo *info = addEntry(QStringLiteral("App"), iconName);

    const QPixmap pixmap = loadCatalogIcon(*info);
    QVERIFY(!pixmap.isNull());
    QCOMPARE(pixmap.toImage().pixelColor(0, 0), QColor(Qt::red));
}

void TstCatalogModel::missingIconWithoutAddressIsNull_data()
{
    QTest::addColumn<QByteArray>("content"); // null: no file at all
    QTest::newRow("no file") << QByteArray();
    QTest::newRow("not an image") << QByteArrayLiteral("this is not a picture");
    QTest::newRow("empty file") << QByteArrayLiteral("");
}

void TstCatalogModel::missingIconWithoutAddressIsNull()
{
    QFETCH(QByteArray, content);
    if (!content.isNull()) {
        QFile file(m_iconDir + QStringLiteral("/app.png"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    ProductInfo *info = addEntry(QStringLiteral("App"), QStringLiteral("app.png"));

    QVERIFY(loadCatalogIcon(*info).isNull());
}

void TstCatalogModel::unsafeIconNamesNeverLeaveFolder_data()
{
    QTest::addColumn<QString>("iconName");
    QTest::newRow("empty") << QString();
    QTest::newRow("dot") << QStringLiteral(".");
    QTest::newRow("parent") << QStringLiteral("../outside.png");
    QTest::newRow("two dots") << QStringLiteral("..");
    QTest::newRow("absolute") << QStringLiteral("/tmp/outside.png");
    QTest::newRow("subfolder") << QStringLiteral("sub/outside.png");
    QTest::newRow("backslash") << QStringLiteral("..\\outside.png");
    QTest::newRow("backslash without dots") << QStringLiteral("sub\\outside.png");
    QTest::newRow("newline") << QStringLiteral("outside\n.png");
    QTest::newRow("delete character") << QStringLiteral("outside\x7f.png");
}

void TstCatalogModel::unsafeIconNamesNeverLeaveFolder()
{
    QFETCH(QString, iconName);
    QVERIFY(!isSafeIconName(iconName));
    // A picture the name would reach if it were followed.
    QVERIFY(writeIcon(m_dir->filePath(QStringLiteral("outside.png")), Qt::blue));
    // An address that cannot answer: nothing may be asked of it anyway.
    ProductInfo *info = addEntry(QStringLiteral("App"), iconName, QStringLiteral("http://127.0.0.1:9/outside.png"));

    QVERIFY(loadCatalogIcon(*info).isNull());
    QCOMPARE(QDir(m_iconDir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
}

void TstCatalogModel::fillWalksListInOrder()
{
    QVERIFY(writeIcon(m_iconDir + QStringLiteral("/b.png"), Qt::green));
    addEntry(QStringLiteral("First"), QStringLiteral("missing.png"));
    addEntry(QStringLiteral("Second"), QStringLiteral("b.png"));
    addEntry(QStringLiteral("Third"), QStringLiteral("../b.png"));

    QStringList order;
    QList<bool> hasPicture;
    LogCapture log;
    fillCatalog([&](const ProductInfo &info, const QPixmap &pixmap) {
        order.append(info.pathName);
        hasPicture.append(!pixmap.isNull());
    });

    QCOMPARE(order, (QStringList{"First", "Second", "Third"}));
    QCOMPARE(hasPicture, (QList<bool>{false, true, false}));
    QVERIFY(log.lines().contains(QStringLiteral("MyContext::productInfoList::size============: 3")));
}

void TstCatalogModel::presentIconIsNotDownloaded()
{
    const auto sim = startSimulator(m_dir->filePath(QStringLiteral("sim")), {{"app.png", Qt::blue}});
    QVERIFY(sim && sim->isRunning());
    QVERIFY(writeIcon(m_iconDir + QStringLiteral("/app.png"), Qt::red));
    addEntry(QStringLiteral("App"), QStringLiteral("app.png"), sim->baseUrl() + QStringLiteral("/files/icons/app.png"));

    QList<QColor> colours;
    fillCatalog(
        [&colours](const ProductInfo &, const QPixmap &pixmap) { colours.append(pixmap.toImage().pixelColor(0, 0)); });
    QCOMPARE(colours, QList<QColor>{QColor(Qt::red)});
    QCOMPARE(fileRequests(*sim), 0);
}

void TstCatalogModel::missingIconIsDownloadedOnce()
{
    const auto sim = startSimulator(m_dir->filePath(QStringLiteral("sim")), {{"remote.png", Qt::green}});
    QVERIFY(sim && sim->isRunning());
    addEntry(QStringLiteral("App"), QStringLiteral("app.png"),
             sim->baseUrl() + QStringLiteral("/files/icons/remote.png"));

    for (int start = 1; start <= 2; ++start) {
        QList<QColor> colours;
        fillCatalog([&colours](const ProductInfo &, const QPixmap &pixmap) {
            colours.append(pixmap.isNull() ? QColor() : pixmap.toImage().pixelColor(0, 0));
        });
        QCOMPARE(colours, QList<QColor>{QColor(Qt::green)});
        // Fetched at the first fill, kept in the icon folder, read from there at the next one.
        QVERIFY(QFile::exists(m_iconDir + QStringLiteral("/app.png")));
        QCOMPARE(sim->requests(QStringLiteral("/files/icons/remote.png")).size(), 1);
    }
}

void TstCatalogModel::undownloadableIconIsNull()
{
    const auto sim = startSimulator(m_dir->filePath(QStringLiteral("sim")), {});
    QVERIFY(sim && sim->isRunning());
    ProductInfo *info = addEntry(QStringLiteral("App"), QStringLiteral("app.png"),
                                 sim->baseUrl() + QStringLiteral("/files/icons/none.png"));

    QVERIFY(loadCatalogIcon(*info).isNull());
    QCOMPARE(sim->requests(QStringLiteral("/files/icons/none.png")).size(), 1);
    QCOMPARE(QDir(m_iconDir).entryList(QDir::Files), QStringList());
}

void TstCatalogModel::appInitCatalogWithPresentIconsSendsNoDownload()
{
    QVERIFY(writeIcon(m_iconDir + QStringLiteral("/one.png"), Qt::red));
    QVERIFY(writeIcon(m_iconDir + QStringLiteral("/two.png"), Qt::blue));
    const QString simDir = m_dir->filePath(QStringLiteral("sim"));
    const auto entry = [](const QString &pathName, const QString &iconName, const QString &iconUrl) {
        return QJsonObject{{"iconUrl", iconUrl},   {"iconName", iconName}, {"downloadUrl", "http://x.invalid/s.exe"},
                           {"zhName", pathName},   {"zhDesc", "desc"},     {"version", "1.0.0.0"},
                           {"pathName", pathName}, {"productId", "20001"}};
    };
    // The simulator's address is known only once it runs; the icon addresses point at a path it serves.
    auto sim = startSimulator(simDir, {{"one.png", Qt::green}, {"two.png", Qt::green}});
    QVERIFY(sim && sim->isRunning());
    const QString url = sim->baseUrl() + QStringLiteral("/files/icons/");
    const QJsonObject appInit{{"errorCode", "0001"},
                              {"errorDesc", ""},
                              {"data",
                               QJsonObject{{"productInfos",
                                            QJsonArray{entry("One", "one.png", url + "one.png"),
                                                       entry("Two", "two.png", url + "two.png")}}}}};
    QVERIFY(sim->setScenario(QJsonObject{{"files", QJsonObject{{"root", "files"}}}, {"appInit", appInit}}));
    sim->useForPlatform();

    MyContext::initDefaultProductInfos();
    MyContext::appInit();
    QCOMPARE(MyContext::productInfoList.size(), 2);

    QStringList filled;
    fillCatalog([&filled](const ProductInfo &info, const QPixmap &pixmap) {
        if (!pixmap.isNull())
            filled.append(info.pathName);
    });
    QCOMPARE(filled, (QStringList{"One", "Two"}));
    QCOMPARE(fileRequests(*sim), 0);
}

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    TstCatalogModel test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_catalogmodel.moc"
