// The catalog's entries and their icons: the built-in catalog, and icons read from the icon folder or
// downloaded into it from the platform simulator, all missing ones at once through one network manager,
// written as received, and a failed address left alone for ten minutes.

#include "core/base/apppaths.h"
#include "core/base/productinfo.h"
#include "core/catalog/catalogfill.h"
#include "core/files/imagefile.h"
#include "core/platform/mycontext.h"
#include "support/simulator.h"
#include "support/testfiles.h"

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>
#include <QSet>
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
    fillCatalog([&filled](const ProductInfo &info, const CatalogIcon &icon) {
        const QPixmap pixmap = icon.load();
        filled << info.pathName + ':' + (pixmap.isNull() ? "none" : pixmap.toImage().pixelColor(0, 0).name());
    });
    return filled;
}

// A picture in `format`; PNG without compression, so that any re-encoding changes the bytes.
QByteArray picture(const char *format)
{
    QImage image(24, 24, QImage::Format_RGB32);
    image.fill(QColor(47, 105, 242));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setCompression(0);
    return writer.write(image) ? bytes : QByteArray();
}

} // namespace

class TstCatalogModel : public QObject
{
    Q_OBJECT

    QScopedPointer<QTemporaryDir> m_dir;
    QTemporaryDir m_served;
    QScopedPointer<Simulator> m_sim;

    // One catalog entry per icon name, its address on the simulator.
    void setCatalog(const QStringList &icons)
    {
        MyContext::clearProductInfos();
        for (const QString &icon : icons) {
            auto *info = new ProductInfo;
            info->iconName = icon;
            info->iconUrl = m_sim->baseUrl() + QStringLiteral("/files/") + icon;
            MyContext::productInfoList.append(info);
        }
    }
    int filledIcons()
    {
        const QStringList filled = fillAll();
        return filled.size() - filled.filter(":none").size();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_served.isValid());
        for (int i = 0; i < 8; ++i)
            QVERIFY(TestFiles::write(m_served.filePath(QStringLiteral("icon%1.png").arg(i)), picture("png")));
        QVERIFY(TestFiles::write(m_served.filePath("photo.png"), picture("jpeg")));
        QVERIFY(TestFiles::write(m_served.filePath("text.png"), "no picture here"));
        QVERIFY(QFile::copy(m_served.filePath("icon0.png"), m_served.filePath("dropped.png")));
        m_sim.reset(new Simulator({}));
        QVERIFY(m_sim->isRunning());
    }
    void init()
    {
        m_dir.reset(new QTemporaryDir);
        AppPaths::setAppDirForTesting(m_dir->path());
        qputenv("TESSALY_HTTP_TIMEOUT_MS", "800");
        m_sim->clearRequests();
    }

    void cleanup()
    {
        MyContext::clearProductInfos();
        AppPaths::setAppDirForTesting(QString());
    }

    void iconReadWhateverItsSuffix_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("PNG") << "a.png" << picture("png");
        QTest::newRow("JPEG named .png") << "b.png" << picture("jpeg");
        QTest::newRow("PNG named .jpg") << "c.jpg" << picture("png");
        QTest::newRow("no picture") << "d.png" << QByteArray("no picture here");
    }
    // An icon in the folder is read by its suffix's decoder, else from its content: in the fill, and on
    // the page's reading thread alike.
    void iconReadWhateverItsSuffix()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        const auto colour = [](const QImage &image) {
            return image.isNull() ? QString("none") : image.pixelColor(0, 0).name();
        };
        const QString expected = colour(QImage::fromData(bytes));
        const QString path = MyContext::iconImgDir() + '/' + name;
        QVERIFY(TestFiles::write(path, bytes));
        setCatalog({name});
        QCOMPARE(fillAll().first().section(':', 1), expected);
        ImageFileReader reader({path, QString()});
        QCOMPARE(colour(reader.take(0).toImage()), expected);
        QVERIFY(reader.take(1).isNull());
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

    void fetchedAtOnce_data()
    {
        QTest::addColumn<QJsonObject>("fault");
        QTest::addColumn<int>("count");
        QTest::addColumn<bool>("fetched");
        QTest::newRow("slow host") << QJsonObject{{"kind", "delay"}, {"ms", 300}} << 8 << true;
        QTest::newRow("silent host") << QJsonObject{{"kind", "hang"}} << 4 << false;
    }
    void fetchedAtOnce()
    {
        QFETCH(QJsonObject, fault);
        QFETCH(int, count);
        QFETCH(bool, fetched);
        QStringList icons;
        QJsonObject faults;
        for (int i = 0; i < count; ++i) {
            icons << QStringLiteral("icon%1.png").arg(i);
            faults.insert(QStringLiteral("/files/") + icons.last(), fault);
        }
        QVERIFY(m_sim->setScenario({{"files", QJsonObject{{"root", m_served.path()}}}, {"faults", faults}}));
        setCatalog(icons);

        QCOMPARE(filledIcons(), fetched ? count : 0);
        const QJsonArray sent = m_sim->requests();
        QCOMPARE(sent.size(), count);
        // All were asked for within one answer's wait, not one after another, over at most Qt's six
        // connections to one host: one network manager.
        QList<double> times;
        QSet<int> ports;
        for (const QJsonValue &request : sent) {
            times << request.toObject().value("time").toDouble();
            ports << request.toObject().value("clientPort").toInt();
        }
        std::sort(times.begin(), times.end());
        QVERIFY2(times.last() - times.first() < 750, qPrintable(QString::number(times.last() - times.first())));
        QVERIFY(ports.size() <= 6);
        // What failed is remembered; what arrived stays in the icon folder.
        const QByteArray failures = TestFiles::read(iconFailuresPath());
        QCOMPARE(failures.contains(icons.first().toUtf8()), !fetched);
        QCOMPARE(QFile::exists(MyContext::iconImgDir() + "/icon0.png"), fetched);
    }

    void storedIcon_data()
    {
        QTest::addColumn<QString>("icon");
        QTest::addColumn<QByteArray>("stored"); // the format of the file written, empty: none
        QTest::newRow("png as received") << "icon0.png" << QByteArray("png");
        QTest::newRow("jpeg named .png, saved as png") << "photo.png" << QByteArray("png");
        QTest::newRow("followed redirect") << "moved.png" << QByteArray("png");
        QTest::newRow("dropped mid-transfer") << "dropped.png" << QByteArray();
        QTest::newRow("not a picture") << "text.png" << QByteArray();
        QTest::newRow("not found") << "missing.png" << QByteArray();
    }
    void storedIcon()
    {
        QFETCH(QString, icon);
        QFETCH(QByteArray, stored);
        QVERIFY(m_sim->setScenario(
            {{"files", QJsonObject{{"root", m_served.path()},
                                   {"redirects", QJsonObject{{"/files/moved.png", "/files/icon1.png"}}},
                                   {"drops", QJsonObject{{"/files/dropped.png", 100}}}}}}));
        setCatalog({icon});
        QCOMPARE(filledIcons(), stored.isEmpty() ? 0 : 1);
        const QString path = MyContext::iconImgDir() + QLatin1Char('/') + icon;
        QCOMPARE(QImageReader(path).format(), stored);
        if (icon == QLatin1String("icon0.png"))
            QCOMPARE(TestFiles::read(path), TestFiles::read(m_served.filePath(icon)));
    }

    void failureRememberedForTenMinutes()
    {
        QVERIFY(m_sim->setScenario({{"files", QJsonObject{{"root", m_served.path()}}}}));
        setCatalog({"missing.png"});
        const QString address = MyContext::productInfoList.first()->iconUrl;
        QCOMPARE(filledIcons(), 0);
        QCOMPARE(m_sim->requests().size(), 1);
        filledIcons(); // not asked again
        QCOMPARE(m_sim->requests().size(), 1);

        // Ten minutes later it is.
        const double tenMinutesAgo = QDateTime::currentMSecsSinceEpoch() - 10 * 60 * 1000 - 1000;
        QVERIFY(TestFiles::write(iconFailuresPath(), QJsonDocument(QJsonObject{{address, tenMinutesAgo}}).toJson()));
        filledIcons();
        QCOMPARE(m_sim->requests().size(), 2);
    }
};

QTEST_MAIN(TstCatalogModel)
#include "tst_catalogmodel.moc"
