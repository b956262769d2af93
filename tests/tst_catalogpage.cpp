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
    void mainWindowFillsFromCatalog_data();
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

// "shown: ... | enabled: ... | labels launch" of a tile's controls.
static QString describe(const TileControls &c)
{
    QStringList shown;
    QStringList enabled;
    const auto add = [](QStringList &list, bool on, const char *name) {
        if (on)
            list << QLatin1String(name);
    };
    add(shown, c.installShown, "install");
    add(shown, c.upgradeShown, "upgrade");
    add(shown, c.statusShown, "status");
    add(shown, c.unInstallShown, "uninstall");
    add(enabled, c.installEnabled, "install");
    add(enabled, c.upgradeEnabled, "upgrade");
    add(enabled, c.unInstallEnabled, "uninstall");
    return QStringLiteral("shown: ") + shown.join(QLatin1Char(' ')) + QStringLiteral(" | enabled: ") +
        enabled.join(QLatin1Char(' ')) + (c.labelsLaunch ? QStringLiteral(" | labels launch") : QString());
}

void CatalogPageTest::controls_data()
{
    QTest::addColumn<bool>("installed");
    QTest::addColumn<bool>("needUpgrade");
    QTest::addColumn<QString>("running"); // "", "install" (download or installer), "uninstall"
    QTest::addColumn<QString>("expected");

    const QString all = QStringLiteral(" | enabled: install upgrade uninstall");
    QTest::newRow("absent") << false << false << "" << QStringLiteral("shown: install") + all;
    QTest::newRow("absent, installing") << false << false << "install" << "shown: install | enabled: ";
    QTest::newRow("needs upgrade") << true << true << ""
                                   << QStringLiteral("shown: upgrade uninstall") + all + " | labels launch";
    QTest::newRow("up to date") << true << false << ""
                                << QStringLiteral("shown: status uninstall") + all + " | labels launch";
    QTest::newRow("upgrading") << true << true << "install" << "shown: upgrade uninstall | enabled:  | labels launch";
    QTest::newRow("uninstalling") << true << false << "uninstall"
                                  << "shown: status uninstall | enabled: install | labels launch";
}

void CatalogPageTest::controls()
{
    QFETCH(bool, installed);
    QFETCH(bool, needUpgrade);
    QFETCH(QString, running);
    QFETCH(QString, expected);
    TileState state;
    state.installed = installed;
    state.needUpgrade = needUpgrade;
    state.installRunning = running == QLatin1String("install");
    state.unInstallRunning = running == QLatin1String("uninstall");
    QCOMPARE(describe(tileControls(state)), expected);
}

void CatalogPageTest::states_data()
{
    QTest::addColumn<QVariantMap>("registry");
    QTest::addColumn<bool>("installed");
    QTest::addColumn<bool>("needUpgrade");

    const QString name = QStringLiteral("应用");
    QTest::newRow("not installed") << QVariantMap{} << false << false;
    QTest::newRow("same version") << QVariantMap{{"DisplayName", name}, {"DisplayVersion", "3.1.0.2"}} << true << false;
    QTest::newRow("older version") << QVariantMap{{"DisplayName", name}, {"DisplayVersion", "3.1.0.1"}} << true << true;
    QTest::newRow("newer version counts too")
        << QVariantMap{{"DisplayName", name}, {"DisplayVersion", "9.0.0.0"}} << true << true;
    QTest::newRow("no version value") << QVariantMap{{"DisplayName", name}} << true << true;
    QTest::newRow("version without DisplayName is not installed")
        << QVariantMap{{"DisplayVersion", "3.1.0.2"}} << false << false;
}

void CatalogPageTest::states()
{
    QFETCH(QVariantMap, registry);
    QFETCH(bool, installed);
    QFETCH(bool, needUpgrade);

    registry.insert(QStringLiteral("UninstallString"), QStringLiteral("/opt/app/uninst.exe"));
    registry.insert(QStringLiteral("DisplayIcon"), QStringLiteral("\"/opt/app/app.exe\",0"));
    registerApp(QStringLiteral("stateapp"), registry);

    CommonSoftwareMainWT page;
    page.addItem(QStringLiteral("应用"), QStringLiteral("描述"), QPixmap(), QStringLiteral("stateapp"),
                 QStringLiteral("3.1.0.2"), QStringLiteral("http://127.0.0.1:9/files/a.exe"));
    SoftwareItemWidget *tile = tileAt(&page, 0, 0);
    QVERIFY(tile);
    QCOMPARE(tile->operations()->isInstalled(), installed);
    QCOMPARE(tile->operations()->needsUpgrade(), needUpgrade);

    // The visible controls of each state; the uninstall button belongs to every installed tile.
    QCOMPARE(shown(tile, "installButton"), !installed);
    QCOMPARE(shown(tile, "upgradeButton"), installed && needUpgrade);
    QCOMPARE(shown(tile, "statusLabel"), installed && !needUpgrade);
    QCOMPARE(shown(tile, "unInstallButton"), installed);

    // Paths are read only for installed tiles; the labels of those start the program.
    QCOMPARE(tile->operations()->appPath(), installed ? QStringLiteral("/opt/app/app.exe") : QString());
    QCOMPARE(tile->operations()->unInstallPath(), installed ? QStringLiteral("/opt/app/uninst.exe") : QString());
    for (const char *name : {"iconLabel", "nameLabel", "descLabel"})
        QCOMPARE(label(tile, name)->cursor().shape() == Qt::PointingHandCursor, installed);
}

void CatalogPageTest::scrollBarFollowsContent()
{
    // The page is filled before it is first shown, as the main window does.
    for (int count : {0, 9}) {
        CommonSoftwareMainWT page;
        for (int i = 0; i < count; ++i)
            page.addItem(QStringLiteral("应用"), QString(), QPixmap(), QStringLiteral("s%1").arg(i), QString(),
                         QString());
        page.resize(1240, 690);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        QCOMPARE(page.scrollArea()->verticalScrollBarPolicy(), count ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    }
}

void CatalogPageTest::mainWindowFillsFromCatalog_data()
{
    QTest::addColumn<int>("entries");
    QTest::newRow("empty catalog") << 0;
    QTest::newRow("six entries, two rows") << 6;
}

void CatalogPageTest::mainWindowFillsFromCatalog()
{
    QFETCH(int, entries);

    // One icon in the icon folder; the others are missing and cannot be downloaded.
    QPixmap icon(160, 120);
    icon.fill(Qt::blue);
    QVERIFY(icon.save(MyContext::iconImgDir() + QStringLiteral("/present.png")));

    MyContext::clearProductInfos();
    for (int i = 0; i < entries; ++i) {
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
    QCOMPARE(page->grid()->count(), entries);
    // Catalog order: four to a row. The icon keeps its aspect ratio; a missing one leaves the area empty.
    for (int i = 0; i < entries; ++i) {
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

// Hovering lifts the tile: the shadow shows and the tile grows, and settles back on leaving.
void CatalogPageTest::hover()
{
    QFETCH(bool, installed);
    SoftwareItemWidget tile;
    tile.setFixedSize(280, 320);
    tile.setInfo(QStringLiteral("应用"), QString(), QPixmap(), QString(), QStringLiteral("hover"), installed, false);
    auto *shadow = qobject_cast<QGraphicsDropShadowEffect *>(tile.graphicsEffect());
    QVERIFY(shadow && !shadow->isEnabled());
    QEvent enter(QEvent::Enter);
    QEvent leave(QEvent::Leave);

    // Entering a label shows the shadow on an installed tile only; the label's leave is swallowed,
    // so moving from a label back onto the tile keeps the shadow.
    auto *name = label(&tile, "nameLabel");
    QCoreApplication::sendEvent(name, &enter);
    QCOMPARE(shadow->isEnabled(), installed);
    QCoreApplication::sendEvent(name, &leave);
    QCOMPARE(shadow->isEnabled(), installed);

    QCoreApplication::sendEvent(&tile, &enter);
    QVERIFY(shadow->isEnabled());
    QTRY_COMPARE(tile.scaleFactor(), 1.03);

    QCoreApplication::sendEvent(&tile, &leave);
    QVERIFY(!shadow->isEnabled());
    QTRY_COMPARE(tile.scaleFactor(), 1.0);
}

QTEST_MAIN(CatalogPageTest)
#include "tst_catalogpage.moc"
