// The catalog page and its tiles: the grid, the state each tile shows from the file-backed uninstall
// registry, the main window's fill from the catalog and hover.

#include "widgets/app/mainwidget.h"
#include "widgets/catalog/commonsoftwaremainwt.h"
#include "core/base/productinfo.h"
#include "widgets/catalog/softwareitemwidget.h"
#include "core/catalog/tilecontrols.h"
#include "core/base/apppaths.h"
#include "core/platform/mycontext.h"
#include "support/testregistry.h"

#include <QDir>
#include <QGraphicsDropShadowEffect>
#include <QGridLayout>
#include <QLabel>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

// Registers an application the way a 64-bit installer would.
void registerApp(const QString &pathName, const QVariantMap &values)
{
    QVERIFY(TestRegistry::write(TestRegistry::Root::Machine64, pathName, values));
}

SoftwareItemWidget *tileAt(CommonSoftwareMainWT *page, int row, int column)
{
    QLayoutItem *item = page->grid()->itemAtPosition(row, column);
    return item ? qobject_cast<SoftwareItemWidget *>(item->widget()) : nullptr;
}

QLabel *label(const SoftwareItemWidget *tile, const char *name)
{
    return tile->findChild<QLabel *>(QLatin1String(name));
}

bool shown(const SoftwareItemWidget *tile, const char *name)
{
    const QWidget *child = tile->findChild<QWidget *>(QLatin1String(name));
    return child && !child->isHidden();
}

} // namespace

class CatalogPageTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void controls_data();
    void controls();
    void states_data();
    void states();
    void scrollBarFollowsContent();
    void mainWindowFillsFromCatalog();
    void hover_data();
    void hover();

private:
    std::unique_ptr<QTemporaryDir> m_registry;
    std::unique_ptr<QTemporaryDir> m_appDir;
};

void CatalogPageTest::initTestCase()
{
    if (qEnvironmentVariableIsEmpty("TESSALY_REGISTRY_ROOT")) {
        m_registry = std::make_unique<QTemporaryDir>();
        qputenv("TESSALY_REGISTRY_ROOT", m_registry->path().toLocal8Bit());
    }
}

void CatalogPageTest::init()
{
    m_appDir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_appDir->isValid());
    AppPaths::setAppDirForTesting(m_appDir->path());
    QVERIFY(TestRegistry::clear());
}

void CatalogPageTest::cleanup()
{
    MyContext::clearProductInfos();
    AppPaths::setAppDirForTesting(QString());
    m_appDir.reset();
}

// The controls that show, "+" and those that take presses, and "launch" when the labels start the program.
static QString describe(const TileControls &c)
{
    const bool on[] = {c.installShown,   c.upgradeShown,   c.statusShown,      c.unInstallShown,
                       c.installEnabled, c.upgradeEnabled, c.unInstallEnabled, c.labelsLaunch};
    const char *const names[] = {"install", "upgrade", "status", "uninstall", "+install", "+upgrade", "+uninstall", "launch"};
    QStringList described;
    for (int i = 0; i < 8; ++i) {
        if (on[i])
            described << QLatin1String(names[i]);
    }
    return described.join(QLatin1Char(' '));
}

void CatalogPageTest::controls_data()
{
    QTest::addColumn<bool>("installed");
    QTest::addColumn<bool>("needUpgrade");
    QTest::addColumn<QString>("running"); // "", "install" (download or installer), "uninstall"
    QTest::addColumn<QString>("expected");
    QTest::newRow("absent") << false << false << "" << "install +install +upgrade +uninstall";
    QTest::newRow("absent, installing") << false << false << "install" << "install";
    QTest::newRow("needs upgrade") << true << true << "" << "upgrade uninstall +install +upgrade +uninstall launch";
    QTest::newRow("up to date") << true << false << "" << "status uninstall +install +upgrade +uninstall launch";
    QTest::newRow("upgrading") << true << true << "install" << "upgrade uninstall launch";
    QTest::newRow("uninstalling") << true << false << "uninstall" << "status uninstall +install launch";
}

void CatalogPageTest::controls()
{
    QFETCH(QString, running);
    TileState state;
    QFETCH(bool, installed);
    QFETCH(bool, needUpgrade);
    state.installed = installed;
    state.needUpgrade = needUpgrade;
    state.installRunning = running == QLatin1String("install");
    state.unInstallRunning = running == QLatin1String("uninstall");
    QTEST(describe(tileControls(state)), "expected");
}

// What a tile shows follows the registry: any other installed version, a newer one too, asks for an upgrade.
void CatalogPageTest::states_data()
{
    QTest::addColumn<QVariantMap>("registry");
    QTest::addColumn<QString>("shown");
    const QString name = QStringLiteral("应用");
    QTest::newRow("not installed") << QVariantMap{} << "installButton";
    QTest::newRow("same version") << QVariantMap{{"DisplayName", name}, {"DisplayVersion", "3.1.0.2"}}
                                  << "statusLabel unInstallButton";
    QTest::newRow("older version") << QVariantMap{{"DisplayName", name}, {"DisplayVersion", "3.1.0.1"}}
                                   << "upgradeButton unInstallButton";
    QTest::newRow("newer version") << QVariantMap{{"DisplayName", name}, {"DisplayVersion", "9.0.0.0"}}
                                   << "upgradeButton unInstallButton";
    QTest::newRow("no version value") << QVariantMap{{"DisplayName", name}} << "upgradeButton unInstallButton";
    QTest::newRow("version without DisplayName") << QVariantMap{{"DisplayVersion", "3.1.0.2"}} << "installButton";
}

void CatalogPageTest::states()
{
    QFETCH(QVariantMap, registry);
    QFETCH(QString, shown);
    const bool installed = shown.contains(QLatin1String("unInstall"));
    registry.insert(QStringLiteral("UninstallString"), QStringLiteral("/opt/app/uninst.exe"));
    registry.insert(QStringLiteral("DisplayIcon"), QStringLiteral("\"/opt/app/app.exe\",0"));
    registerApp(QStringLiteral("stateapp"), registry);

    CommonSoftwareMainWT page;
    page.addItem(QStringLiteral("应用"), QStringLiteral("描述"), QPixmap(), QStringLiteral("stateapp"),
                 QStringLiteral("3.1.0.2"), QStringLiteral("http://127.0.0.1:9/files/a.exe"));
    SoftwareItemWidget *tile = tileAt(&page, 0, 0);
    QVERIFY(tile);
    QStringList visible;
    for (const char *name : {"installButton", "upgradeButton", "statusLabel", "unInstallButton"}) {
        if (::shown(tile, name))
            visible << QLatin1String(name);
    }
    QCOMPARE(visible.join(QLatin1Char(' ')), shown);
    // Paths are read only for installed tiles; the labels of those start the program.
    QCOMPARE(tile->operations()->appPath(), installed ? QStringLiteral("/opt/app/app.exe") : QString());
    QCOMPARE(tile->operations()->unInstallPath(), installed ? QStringLiteral("/opt/app/uninst.exe") : QString());
    for (const char *name : {"iconLabel", "nameLabel", "descLabel"})
        QCOMPARE(label(tile, name)->cursor().shape() == Qt::PointingHandCursor, installed);
}

// The page is filled before it is first shown, as the main window does; only a page too short for its
// tiles scrolls.
void CatalogPageTest::scrollBarFollowsContent()
{
    for (int count : {0, 9}) {
        CommonSoftwareMainWT page;
        for (int i = 0; i < count; ++i)
            page.addItem(QStringLiteral("应用"), QString(), QPixmap(), QStringLiteral("s%1").arg(i), QString(), QString());
        page.resize(1240, 690);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        QCOMPARE(page.scrollArea()->verticalScrollBarPolicy(), count ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    }
}

void CatalogPageTest::mainWindowFillsFromCatalog()
{
    // One icon in the icon folder; the others are missing and cannot be downloaded.
    QPixmap icon(160, 120);
    icon.fill(Qt::blue);
    QVERIFY(icon.save(MyContext::iconImgDir() + QStringLiteral("/present.png")));
    MyContext::clearProductInfos();
    for (int i = 0; i < 6; ++i) {
        auto *info = new ProductInfo;
        info->zhName = QStringLiteral("产品%1").arg(i);
        info->zhDesc = QStringLiteral("描述%1").arg(i);
        info->iconName = i == 0 ? QStringLiteral("present.png") : QStringLiteral("missing%1.png").arg(i);
        info->downloadUrl = QStringLiteral("http://127.0.0.1:9/files/p%1.exe").arg(i);
        info->pathName = QStringLiteral("product%1").arg(i);
        info->version = QStringLiteral("1.0.0.%1").arg(i);
        MyContext::productInfoList.append(info);
    }
    registerApp(QStringLiteral("product1"), {{"DisplayName", "产品1"}, {"DisplayVersion", "1.0.0.1"}});
    registerApp(QStringLiteral("product2"), {{"DisplayName", "产品2"}, {"DisplayVersion", "0.9.0.0"}});

    MainWidget window;
    CommonSoftwareMainWT *page = window.page();
    QVERIFY(page);
    QCOMPARE(page->grid()->count(), 6);
    // Catalog order: four to a row. The icon keeps its aspect ratio; a missing one leaves the area empty.
    for (int i = 0; i < 6; ++i) {
        SoftwareItemWidget *tile = tileAt(page, i / 4, i % 4);
        QVERIFY(tile);
        QCOMPARE(label(tile, "nameLabel")->text(), QStringLiteral("产品%1").arg(i));
        QCOMPARE(label(tile, "descLabel")->text(), QStringLiteral("描述%1").arg(i));
        QCOMPARE(label(tile, "iconLabel")->pixmap(Qt::ReturnByValue).size(), i == 0 ? QSize(80, 60) : QSize(0, 0));
        QCOMPARE(tile->operations()->isInstalled(), i == 1 || i == 2);
        QCOMPARE(tile->operations()->needsUpgrade(), i == 2);
    }
}

void CatalogPageTest::hover_data()
{
    QTest::addColumn<bool>("installed");
    QTest::newRow("installed") << true;
    QTest::newRow("not installed") << false;
}

// Hovering lifts the tile: the shadow shows and the tile grows, and settles back on leaving. Entering
// a label shows the shadow on an installed tile only; its leave is swallowed, so the shadow stays.
void CatalogPageTest::hover()
{
    QFETCH(bool, installed);
    SoftwareItemWidget tile;
    tile.setInfo(QStringLiteral("应用"), QString(), QPixmap(), QString(), QStringLiteral("hover"), installed, false);
    auto *shadow = qobject_cast<QGraphicsDropShadowEffect *>(tile.graphicsEffect());
    QVERIFY(shadow && !shadow->isEnabled());
    QEvent enter(QEvent::Enter);
    QEvent leave(QEvent::Leave);
    for (QEvent *event : {&enter, &leave}) {
        QCoreApplication::sendEvent(label(&tile, "nameLabel"), event);
        QCOMPARE(shadow->isEnabled(), installed);
    }
    QCoreApplication::sendEvent(&tile, &enter);
    QVERIFY(shadow->isEnabled());
    QTRY_VERIFY(tile.scaleFactor() > 1.0);
    QCoreApplication::sendEvent(&tile, &leave);
    QVERIFY(!shadow->isEnabled());
    QTRY_COMPARE(tile.scaleFactor(), 1.0);
}

QTEST_MAIN(CatalogPageTest)
#include "tst_catalogpage.moc"
