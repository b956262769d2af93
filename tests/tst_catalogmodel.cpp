// The catalog's entries and their icons: the built-in catalog, and icons read from the icon folder or
// downloaded into it from the platform simulator.

#include "core/base/apppaths.h"
#include "core/base/productinfo.h"
#include "core/catalog/catalogfill.h"
#include "core/platform/mycontext.h"
#include "support/simulator.h"

#include <QtTest>

namespace {

bool writeIcon(const QString &path, const QColor &color)
{
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(color);
    return QDir().mkpath(QFileInfo(path).path()) && image.save(path, "PNG");
}

// Every entry as "pathName:colour", the colour of the icon's first pixel or "none" without an icon.
QStringList fillAll()
{
    QStringList filled;
    fillCatalog([&filled](const ProductInfo &info, const QPixmap &pixmap) {
        filled << info.pathName + ':' + (pixmap.isNull() ? "none" : pixmap.toImage().pixelColor(0, 0).name());
    });
    return filled;
}

} // namespace

class TstCatalogModel : public QObject
{
    Q_OBJECT

    QScopedPointer<QTemporaryDir> m_dir;

private slots:
    void init()
    {
        m_dir.reset(new QTemporaryDir);
        AppPaths::setAppDirForTesting(m_dir->path());
    }

    void cleanup()
    {
        MyContext::clearProductInfos();
        AppPaths::setAppDirForTesting(QString());
    }

    // The build copies the built-in catalog's icons beside the program, where the fill finds every one.
    void builtInCatalogHasItsIcons()
    {
        MyContext::initDefaultProductInfos();
        AppPaths::setAppDirForTesting(qEnvironmentVariable("TESSALY_BIN_DIR"));
        QCOMPARE(fillAll().filter(":none"), QStringList());
    }

    // An icon in the icon folder is read from there; a missing one is downloaded at the first fill, kept
    // in the folder and read from there at the next. Names that are no safe file names (isSafeFileName)
    // are neither read nor downloaded.
    void fillReadsOrDownloadsEachIconOnce()
    {
        const QString served = m_dir->filePath("sim/files/icons/");
        QVERIFY(writeIcon(served + "remote.png", Qt::green) && writeIcon(served + "escape.png", Qt::blue));
        Simulator sim(QJsonObject{{"files", QJsonObject{{"root", "files"}}}}, m_dir->filePath("sim"));
        const QString url = sim.baseUrl() + "/files/icons/";
        const QString iconDir = MyContext::iconImgDir();
        QVERIFY(sim.isRunning() && writeIcon(iconDir + "/local..png", Qt::red));
        QVERIFY(writeIcon(m_dir->filePath("outside.png"), Qt::blue)); // where "../outside.png" leads
        QStringList expected;
        const auto add = [&expected](const QString &name, const QString &iconUrl, const QString &filled) {
            auto *info = new ProductInfo;
            info->pathName = info->iconName = name;
            info->iconUrl = iconUrl;
            MyContext::productInfoList.append(info);
            expected << name + ':' + filled;
        };
        add("local..png", url + "remote.png", "#ff0000");
        add("fetched.png", url + "remote.png", "#00ff00");
        add("none.png", url + "none.png", "none");
        for (const char *name : {"", ".", "..", "../outside.png", "..\\outside.png", "a\tb.png", "a:b.png", "nul.png"})
            add(name, url + "escape.png", "none");

        for (int start = 1; start <= 2; ++start) {
            QCOMPARE(fillAll(), expected);
            QCOMPARE(sim.requests("/files/icons/remote.png").size(), 1);
            QVERIFY(!sim.requests("/files/icons/none.png").isEmpty() &&
                    sim.requests("/files/icons/escape.png").isEmpty());
            QCOMPARE(QDir(iconDir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                     (QStringList{"fetched.png", "local..png"}));
        }
    }
};

QTEST_MAIN(TstCatalogModel)
#include "tst_catalogmodel.moc"
