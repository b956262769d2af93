// The catalog page and its tiles, for what only the widgets do: the main window fills the page from the
// catalog, making a tile when its row comes into view; a tile shows the controls that its state in the file-backed uninstall registry gives, hands
// presses to its operations and shows their progress and outcome.

#include "core/base/apppaths.h"
#include "core/base/productinfo.h"
#include "core/catalog/tiletexts.h"
#include "core/platform/mycontext.h"
#include "support/testfiles.h"
#include "support/testregistry.h"
#include "widgets/app/mainwidget.h"
#include "widgets/catalog/commonsoftwaremainwt.h"
#include "widgets/catalog/softwareitemwidget.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QtTest>

class CatalogPageTest : public QObject
{
    Q_OBJECT

private slots:
    // Rows out of view have places but no tiles yet; scrolled to, every tile is there with its entry.
    void tilesMadeInView()
    {
        QTemporaryDir appDir;
        AppPaths::setAppDirForTesting(appDir.path());
        const auto restore = qScopeGuard([] { MyContext::clearProductInfos(); });
        MyContext::initDefaultProductInfos();
        MainWidget window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(window.findChildren<SoftwareItemWidget *>().size() < 14);
        QScrollBar *scroll = window.page()->scrollArea()->verticalScrollBar();
        scroll->setValue(scroll->maximum());
        QCOMPARE(window.findChildren<SoftwareItemWidget *>().size(), 14);
        auto *last = qobject_cast<SoftwareItemWidget *>(window.page()->grid()->itemAtPosition(3, 1)->widget());
        QCOMPARE(last->findChild<QLabel *>("nameLabel")->text(), MyContext::productInfoList.last()->zhName);
    }

    void tile_data()
    {
        QTest::addColumn<QString>("version"); // installed; none: not installed
        QTest::addColumn<QString>("shown");
        QTest::newRow("not installed") << QString() << "installButton";
        QTest::newRow("same version") << "3.1.0.2" << "statusLabel unInstallButton";
        QTest::newRow("newer version") << "9.0.0.0" << "upgradeButton unInstallButton";
    }

    // The tile shows the catalog entry's name, description and icon in the aspect ratio it has (a missing
    // one leaves the area empty). Any other installed version, a newer one too, asks for an upgrade. The
    // first button shown is pressed: it shows its operation running (with every button disabled), then
    // the outcome (no installer can be downloaded, no uninstall tool is there), and takes presses again.
    // The labels of an installed tile start its program.
    void tile()
    {
        QFETCH(QString, version);
        QFETCH(QString, shown);
        const bool installed = !version.isNull();
        QTemporaryDir appDir;
        AppPaths::setAppDirForTesting(appDir.path());
        const auto restore = qScopeGuard([] { MyContext::clearProductInfos(); });
        const QString program = appDir.filePath("app.exe");
        QPixmap icon(160, 120);
        icon.fill(Qt::blue);
        QVERIFY(icon.save(MyContext::iconImgDir() + "/present.png") && TestRegistry::clear());
        QVERIFY(TestFiles::write(program, TestFiles::fixture({}), true));
        QVERIFY(!installed ||
                TestRegistry::write(TestRegistry::Root::Machine64, "stateapp",
                                    {{"DisplayName", "应用"}, {"DisplayVersion", version},
                                     {"UninstallString", appDir.filePath("uninst.exe")},
                                     {"DisplayIcon", QString("\"%1\",0").arg(QDir::toNativeSeparators(program))}}));
        auto *info = new ProductInfo;
        info->zhName = "应用";
        info->zhDesc = "描述";
        info->iconName = installed ? "present.png" : "missing.png";
        info->pathName = "stateapp";
        info->version = "3.1.0.2";
        info->downloadUrl = "http://127.0.0.1:9/files/a.exe";
        MyContext::productInfoList.append(info);
        MainWidget window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *tile = qobject_cast<SoftwareItemWidget *>(window.page()->grid()->itemAt(0)->widget());
        const auto label = [tile](const char *name) { return tile->findChild<QLabel *>(name); };
        QCOMPARE(label("nameLabel")->text() + '|' + label("descLabel")->text(), QString("应用|描述"));
        QCOMPARE(label("iconLabel")->pixmap(Qt::ReturnByValue).size(), installed ? QSize(80, 60) : QSize(0, 0));
        QStringList visible;
        for (const char *name : {"installButton", "upgradeButton", "statusLabel", "unInstallButton"}) {
            if (tile->findChild<QWidget *>(name)->isVisible())
                visible << name;
        }
        QCOMPARE(visible.join(' '), shown);

        const int first = shown.startsWith("status") ? 1 : 0;
        auto *button = tile->findChild<QPushButton *>(shown.section(' ', first, first));
        const QMap<QString, QStringList> texts{
            {"installButton", {TileText::installing(), TileText::downloadError()}},
            {"upgradeButton", {TileText::upgrading(), TileText::downloadError()}},
            {"unInstallButton", {TileText::unInstalling(), TileText::unInstallFailed()}}};
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(button->text(), texts[button->objectName()].first());
        for (const QPushButton *any : tile->findChildren<QPushButton *>())
            QVERIFY(any->isHidden() || !any->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(button->text(), texts[button->objectName()].last(), 10000);
        QVERIFY(button->isEnabled());

        for (const char *name : {"iconLabel", "nameLabel", "descLabel"})
            QCOMPARE(label(name)->cursor().shape() == Qt::PointingHandCursor, installed);
        QTest::mousePress(label("descLabel"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(QFile::exists(appDir.filePath("app.log")), installed, 10000);
    }
};

QTEST_MAIN(CatalogPageTest)
#include "tst_catalogpage.moc"
