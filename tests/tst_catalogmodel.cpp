// The catalog's entries and their icons: the built-in catalog, and icons read from the icon folder or
// downloaded into it from the platform simulator.

#include "core/catalog/catalogfill.h"
#include "core/base/productinfo.h"
#include "core/base/apppaths.h"
#include "core/platform/mycontext.h"
#include "support/simulator.h"

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
    void fillReadsOrDownloadsEachIconOnce();

private:
    QScopedPointer<QTemporaryDir> m_dir;
};

void TstCatalogModel::init()
{
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
    AppPaths::setAppDirForTesting(m_dir->path());
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
        QVERIFY(info->iconUrl.isEmpty() && !info->zhName.isEmpty() && !info->zhDesc.isEmpty());
        ids.insert(info->productId);
        pathNames.insert(info->pathName);
        iconNames.insert(info->iconName);
    }
    QCOMPARE(ids.size() + pathNames.size() + iconNames.size(), 3 * 14);

    // The build copies the icons beside the program, where the fill finds every one of them.
    const QString binDir = qEnvironmentVariable("TESSALY_BIN_DIR");
    if (binDir.isEmpty())
        QSKIP("TESSALY_BIN_DIR is not set");
    AppPaths::setAppDirForTesting(binDir);
    QCOMPARE(fillAll().filter(QStringLiteral(":none")), QStringList());
}

// An icon in the icon folder is read from there; a missing one is downloaded at the first fill, kept
// in the folder and read from there at the next. Names that would leave the folder (isSafeFileName)
// are neither read nor downloaded.
void TstCatalogModel::fillReadsOrDownloadsEachIconOnce()
{
    const QString served = m_dir->filePath(QStringLiteral("sim/files/icons/"));
    QVERIFY(QDir().mkpath(served) && writeIcon(served + QStringLiteral("remote.png"), Qt::green));
    QVERIFY(writeIcon(served + QStringLiteral("escape.png"), Qt::blue));
    Simulator sim(QJsonObject{{"files", QJsonObject{{"root", "files"}}}}, m_dir->filePath(QStringLiteral("sim")));
    QVERIFY(sim.isRunning());
    const QString url = sim.baseUrl() + QStringLiteral("/files/icons/");
    const QString iconDir = MyContext::iconImgDir();
    QVERIFY(writeIcon(iconDir + QStringLiteral("/local..png"), Qt::red));
    QVERIFY(writeIcon(m_dir->filePath(QStringLiteral("outside.png")), Qt::blue)); // where "../outside.png" leads
    addEntry(QStringLiteral("Present"), QStringLiteral("local..png"), url + QStringLiteral("remote.png"));
    addEntry(QStringLiteral("Missing"), QStringLiteral("fetched.png"), url + QStringLiteral("remote.png"));
    addEntry(QStringLiteral("Undownloadable"), QStringLiteral("none.png"), url + QStringLiteral("none.png"));
    addEntry(QStringLiteral("Parent"), QStringLiteral("../outside.png"), url + QStringLiteral("escape.png"));
    addEntry(QStringLiteral("Backslash"), QStringLiteral("..\\outside.png"), url + QStringLiteral("escape.png"));

    for (int start = 1; start <= 2; ++start) {
        QCOMPARE(fillAll(), (QStringList{"Present:#ff0000", "Missing:#00ff00", "Undownloadable:none", "Parent:none",
                                         "Backslash:none"}));
        QCOMPARE(sim.requests(QStringLiteral("/files/icons/remote.png")).size(), 1);
        QVERIFY(!sim.requests(QStringLiteral("/files/icons/none.png")).isEmpty());
        QVERIFY(sim.requests(QStringLiteral("/files/icons/escape.png")).isEmpty());
        QCOMPARE(QDir(iconDir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 (QStringList{"fetched.png", "local..png"}));
    }
}

QTEST_MAIN(TstCatalogModel)
#include "tst_catalogmodel.moc"
