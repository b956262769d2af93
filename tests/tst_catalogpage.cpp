// The catalog page and its tiles, for what only the widgets do: the main window fills the page from the
// catalog, making a tile when its row comes into view; a tile shows the controls that its state in the file-backed uninstall registry gives, hands
// presses to its operations and shows their progress and outcome.

#include "core/base/apppaths.h"
#include "core/base/productinfo.h"
#include "core/base/screenclass.h"
#include "core/catalog/tiletexts.h"
#include "core/download/transferprogress.h"
#include "core/platform/mycontext.h"
#include "support/testfiles.h"
#include "support/testregistry.h"
#include "widgets/app/mainwidget.h"
#include "widgets/catalog/commonsoftwaremainwt.h"
#include "widgets/catalog/softwareitemwidget.h"
#include "widgets/catalog/tileface.h"
#include "widgets/catalog/tilelook.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyleOptionButton>
#include <QToolTip>
#include <QtTest>

namespace {

const QString dots(TileLook::maxDots, '.');

// A tile of the page's size and style, of an absent, outdated or current application.
SoftwareItemWidget *makeTile(QWidget *page, bool installed, bool needUpgrade)
{
    page->setStyleSheet(TileLook::pageStyle);
    auto *tile = new SoftwareItemWidget(page);
    tile->setFixedSize(280, 320);
    tile->setInfo("泰萨录屏大师", "高清录制屏幕、摄像头与声音", QPixmap(), "http://127.0.0.1:9/a.exe", "app", installed,
                  needUpgrade);
    return tile;
}

QWidget *findTopLevel(const char *objectName)
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == QLatin1String(objectName))
            return widget;
    }
    return nullptr;
}

// The interface's fonts of the size preset for a screen of this size at 144 dpi, until the guard goes.
auto useFontsOf(const QSize &screen)
{
    auto restore = qScopeGuard([fonts = std::pair(MyContext::normalFont, MyContext::largeFont)] {
        std::tie(MyContext::normalFont, MyContext::largeFont) = fonts;
    });
    MyContext::initScreenClass();
    MyContext::applyScreenClass(classifyScreen(screen, 144));
    return restore;
}

// Puts `text` on the button of `operation` as its operations would: an outcome, or a running operation
// with all its dots (which stay when another operation's outcome follows).
void showText(SoftwareItemWidget *tile, TileOperations::Operation operation, const QString &text)
{
    if (text.isEmpty())
        return;
    if (!text.endsWith(dots)) {
        emit tile->operations()->finished(operation, text);
        return;
    }
    emit tile->operations()->progressStarted(operation);
    for (int i = 0; i < TileLook::maxDots; ++i)
        tile->updateDotAnimation();
}

} // namespace

class CatalogPageTest : public QObject
{
    Q_OBJECT

private slots:
    // Rows out of view have places but no tiles yet: the page is as high as with every tile. Scrolled to,
    // every tile is there with its entry, in its row's place from the start.
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
        const int range = scroll->maximum();
        scroll->setValue(scroll->maximum());
        QCOMPARE(window.findChildren<SoftwareItemWidget *>().size(), 14);
        QGridLayout *grid = window.page()->grid();
        const auto tile = [grid](int n) { return grid->itemAtPosition(n / 4, n % 4)->widget(); };
        QCOMPARE(qobject_cast<SoftwareItemWidget *>(tile(13))->face().name(),
                 MyContext::productInfoList.last()->zhName);
        const QPoint first = tile(0)->pos();
        const int rowStep = tile(0)->height() + grid->verticalSpacing();
        for (int n = 0; n < 14; ++n)
            QCOMPARE(tile(n)->pos().y(), first.y() + n / 4 * rowStep);
        QCoreApplication::processEvents(); // the layout's own pass moves nothing
        QCOMPARE(tile(13)->pos().y(), first.y() + 3 * rowStep);
        QCOMPARE(scroll->maximum(), range);
    }

    void textsFit_data()
    {
        QTest::addColumn<QSize>("screen"); // the size presets' fonts at 144 dpi: 15 px on a small screen, else 18
        QTest::addColumn<QString>("first"); // install or upgrade button, or the status label
        QTest::addColumn<QString>("unInstall"); // none: not installed
        using namespace TileText;
        const QStringList installs{install(),       installing() + dots,       createFileFailed(),
                                   downloadError(), downloadTooSmallInstall(), installFailed()};
        const QStringList upgrades{upgrade(),       upgrading() + dots,        createFileFailed(),
                                   downloadError(), downloadTooSmallUpgrade(), upgradeFailed()};
        const QStringList unInstalls{unInstall(), unInstalling() + dots, unInstallFailed()};
        for (const QSize screen : {QSize(1366, 728), QSize(1920, 1040)}) {
            const auto row = [screen](const QString &first, const QString &second) {
                QTest::addRow("%dx%d %s | %s", screen.width(), screen.height(), qPrintable(first), qPrintable(second))
                    << screen << first << second;
            };
            for (const QString &text : installs)
                row(text, QString());
            for (const QString &text : unInstalls)
                row(upToDate(), text);
            for (const QString &text : upgrades) {
                for (const QString &other : unInstalls)
                    row(text, other);
            }
        }
    }

    // Every text the tile's controls show, on both at once, has the room it needs in the fixed tile at
    // each size preset; the controls overlap neither each other nor the description.
    void textsFit()
    {
        QFETCH(QSize, screen);
        QFETCH(QString, first);
        QFETCH(QString, unInstall);
        const auto restore = useFontsOf(screen);
        const bool installed = !unInstall.isNull();
        const bool upgrade = installed && first != TileText::upToDate();
        QWidget page;
        SoftwareItemWidget *tile = makeTile(&page, installed, upgrade);
        showText(tile, TileOperations::Uninstalling, unInstall);
        showText(tile, upgrade ? TileOperations::Upgrading : TileOperations::Installing,
                 installed && !upgrade ? QString() : first);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));

        QStringList shown;
        QVector<QRect> rects{tile->face().descriptionRect()};
        for (const char *name : {"installButton", "upgradeButton", "statusLabel", "unInstallButton"}) {
            auto *control = tile->findChild<QWidget *>(name);
            if (!control || !control->isVisible())
                continue;
            const auto *button = qobject_cast<QPushButton *>(control);
            shown << control->property("text").toString();
            QStyleOptionButton option;
            option.initFrom(control);
            const QRect contents = button
                ? control->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button)
                : control->contentsRect();
            QVERIFY2(QFontMetrics(control->font()).horizontalAdvance(shown.last()) <= contents.width(),
                     qPrintable(shown.last()));
            const QRect rect(control->mapTo(tile, QPoint()), control->size());
            QVERIFY(tile->rect().contains(rect));
            for (const QRect &other : rects)
                QVERIFY(!rect.intersects(other));
            rects << rect;
        }
        QCOMPARE(shown.size(), installed ? 2 : 1);
        QVERIFY(shown.contains(first) && (!installed || shown.contains(unInstall)));
    }

    void faceAsLabels_data()
    {
        QTest::addColumn<QSize>("screen");
        QTest::addColumn<QString>("description");
        for (const QSize screen : {QSize(1366, 728), QSize(1920, 1040)}) {
            QTest::addRow("%dx%d, one line", screen.width(), screen.height()) << screen << "录屏";
            QTest::addRow("%dx%d, three lines", screen.width(), screen.height())
                << screen << "高清录制屏幕、摄像头与声音，支持多种格式导出，定时录制，录制时可画笔标注与添加水印";
            QTest::addRow("%dx%d, none", screen.width(), screen.height()) << screen << QString();
            QTest::addRow("%dx%d, right to left", screen.width(), screen.height())
                << screen << QString::fromUtf8("برنامج Tessaly 2.0!");
            QTest::addRow("%dx%d, markup shown as it is", screen.width(), screen.height())
                << screen << "<b>高清</b> &amp; <img src=\"x.png\">录制";
        }
    }

    // The tile paints its icon, name and description where labels of them were, and as they looked. What
    // the platform sends is shown as plain text: no markup of it is followed.
    void faceAsLabels()
    {
        QFETCH(QSize, screen);
        QFETCH(QString, description);
        const auto restore = useFontsOf(screen);
        QWidget page;
        SoftwareItemWidget *tile = makeTile(&page, false, false);
        tile->setInfo("泰萨录屏大师", description, QPixmap(), QString(), "app", false, false);

        // The labels as the tile had them, on white.
        auto *labels = new QWidget(&page);
        labels->setStyleSheet("QLabel#nameLabel { color: #333; } QLabel#descLabel { color: #666; padding: 0 10px; }");
        labels->setAutoFillBackground(true);
        labels->setPalette(QPalette(Qt::white));
        labels->setFixedSize(tile->size());
        QLabel *icon = TileLook::label("iconLabel", labels);
        icon->setFixedSize(TileLook::iconSize, TileLook::iconSize);
        QLabel *name = TileLook::label("nameLabel", labels);
        name->setFont(MyContext::largeFont);
        name->setText("泰萨录屏大师");
        QLabel *desc = TileLook::label("descLabel", labels);
        desc->setTextFormat(Qt::PlainText);
        desc->setWordWrap(true);
        desc->setText(description);
        auto *layout = new QVBoxLayout(labels);
        layout->setContentsMargins(15, 15, 15, 15);
        layout->addSpacing(15);
        layout->addWidget(icon, 0, Qt::AlignHCenter);
        layout->addSpacing(10);
        layout->addWidget(name);
        layout->addSpacing(5);
        layout->addWidget(desc);
        layout->addStretch();
        auto *row = new QHBoxLayout; // the install button's row under them
        row->setContentsMargins(10, 0, 10, 0);
        row->addWidget(TileLook::button(TileText::install(), "installButton", labels));
        layout->addLayout(row);
        labels->move(tile->width() + 10, 0);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));

        const TileFace &face = tile->face();
        QCOMPARE(face.iconRect(), icon->geometry());
        QCOMPARE(face.nameRect(), name->geometry());
        QCOMPARE(face.descriptionRect(), desc->geometry());
        for (const QRect &text : {face.nameRect(), face.descriptionRect()})
            QCOMPARE(tile->grab(text).toImage().convertToFormat(QImage::Format_RGB32),
                     labels->grab(text).toImage().convertToFormat(QImage::Format_RGB32));
    }

    void transferLine_data()
    {
        QTest::addColumn<bool>("upgrade");
        QTest::addColumn<qint64>("total"); // -1: unknown
        QTest::addColumn<bool>("toInstaller"); // the download ends as the installer starts, else it fails
        QTest::newRow("install, size known, installer starts") << false << qint64(4000) << true;
        QTest::newRow("upgrade, size unknown, download fails") << true << qint64(-1) << false;
    }

    // While the installer downloads, a line just under the operation's button shows how far it is:
    // filled to the share received in the button's colour, or, while the size is unknown, a stripe that
    // moves; the tile's tooltip tells the transfer. Both go when the download ends.
    void transferLine()
    {
        QFETCH(bool, upgrade);
        QFETCH(qint64, total);
        QFETCH(bool, toInstaller);
        QWidget page;
        SoftwareItemWidget *tile = makeTile(&page, upgrade, upgrade);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        const auto operation = upgrade ? TileOperations::Upgrading : TileOperations::Installing;
        auto *button = tile->findChild<QPushButton *>(upgrade ? "upgradeButton" : "installButton");
        TileOperations *operations = tile->operations();
        emit operations->progressStarted(operation);
        const TransferProgress progress{1000, total, 500};
        emit operations->downloadProgress(progress);

        auto *line = tile->findChild<QWidget *>("transferBar");
        QVERIFY(line && line->isVisible());
        const QPoint under = button->mapTo(tile, QPoint(0, button->height() + 2));
        QCOMPARE(line->geometry(), QRect(under, QSize(button->width(), 3)));
        QCOMPARE(tile->toolTip(), transferText(progress));
        // The tooltip is white, as the page.
        QToolTip::showText(tile->mapToGlobal(tile->rect().center()), tile->toolTip(), tile);
        QWidget *tip = nullptr;
        QTRY_VERIFY((tip = findTopLevel("qtooltip_label")) && tip->isVisible());
        const QImage tipImage = tip->grab().toImage().convertToFormat(QImage::Format_RGB32);
        int white = 0; // most of it, around the text
        for (int y = 0; y < tipImage.height(); ++y) {
            const auto *line = reinterpret_cast<const QRgb *>(tipImage.constScanLine(y));
            white += int(std::count(line, line + tipImage.width(), qRgb(255, 255, 255)));
        }
        QVERIFY2(white > tipImage.width() * tipImage.height() / 2, qPrintable(QColor(tipImage.pixel(0, 0)).name()));
        QToolTip::hideText();
        const QColor accent(upgrade ? "#4CAF50" : "#2196F3");
        const auto filled = [line, accent] {
            const QImage image = line->grab().toImage().convertToFormat(QImage::Format_RGB32);
            const auto *pixels = reinterpret_cast<const QRgb *>(image.constScanLine(1));
            return int(std::count(pixels, pixels + image.width(), accent.rgb()));
        };
        const auto *timer = line->findChild<QTimer *>(); // made for the first stripe
        QCOMPARE(timer && timer->isActive(), !progress.isDeterminate());
        if (progress.isDeterminate()) {
            QCOMPARE(filled(), qRound(line->width() * 0.25));
        } else {
            QTRY_VERIFY(filled() > 0 && filled() <= qRound(line->width() * 0.3));
            const QImage before = line->grab().toImage();
            QTRY_VERIFY(line->grab().toImage() != before);
        }

        if (toInstaller)
            emit operations->progressStarted(operation);
        else
            emit operations->finished(operation, TileText::downloadError());
        QVERIFY(line->isHidden() && !(timer && timer->isActive()) && tile->toolTip().isEmpty());
    }

    void tile_data()
    {
        QTest::addColumn<QString>("version"); // installed; none: not installed
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("shownAfterChange"); // once installed, or removed, meanwhile
        QTest::newRow("not installed") << QString() << "installButton" << "statusLabel unInstallButton";
        QTest::newRow("same version") << "3.1.0.2" << "statusLabel unInstallButton" << "installButton";
        QTest::newRow("newer version") << "9.0.0.0" << "upgradeButton unInstallButton" << "installButton";
    }

    // The tile shows the catalog entry's name, description and icon in the aspect ratio it has (a missing
    // one leaves the area empty). Any other installed version, a newer one too, asks for an upgrade. The
    // first button shown is pressed: it shows its operation running (with every button disabled), then
    // the outcome (no installer can be downloaded, no uninstall tool is there), and takes presses again.
    // The icon, name and description of an installed tile start its program. When the application is
    // installed or removed meanwhile, the controls of its new state show in the row.
    void tile()
    {
        QFETCH(QString, version);
        QFETCH(QString, shown);
        QFETCH(QString, shownAfterChange);
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
        const TileFace &face = tile->face();
        QCOMPARE(face.name() + '|' + face.description(), QString("应用|描述"));
        QCOMPARE(face.icon().size(), installed ? QSize(80, 60) : QSize(0, 0));
        const auto visible = [tile] {
            QStringList names;
            for (const char *name : {"installButton", "upgradeButton", "statusLabel", "unInstallButton"}) {
                const QWidget *control = tile->findChild<QWidget *>(name);
                if (control && control->isVisible() && tile->rect().contains(control->geometry().translated(
                                                            control->parentWidget()->mapTo(tile, QPoint()))))
                    names << name;
            }
            return names.join(' ');
        };
        QCOMPARE(visible(), shown);

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

        // The pointing hand over the icon, name and description of an installed application, not between.
        const auto cursorAt = [tile](const QPoint &pos) {
            QMouseEvent move(QEvent::MouseMove, pos, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(tile, &move);
            return tile->cursor().shape() == Qt::PointingHandCursor;
        };
        for (const QRect &area : {face.iconRect(), face.nameRect(), face.descriptionRect()})
            QCOMPARE(cursorAt(area.center()), installed);
        QVERIFY(!cursorAt(face.iconRect().bottomLeft() + QPoint(0, 2)));
        QTest::mousePress(tile, Qt::LeftButton, {}, face.descriptionRect().center());
        QTRY_COMPARE_WITH_TIMEOUT(QFile::exists(appDir.filePath("app.log")), installed, 10000);

        tile->operations()->setApplication(info->downloadUrl, info->pathName, !installed, false);
        QCOMPARE(visible(), shownAfterChange);
    }
};

QTEST_MAIN(CatalogPageTest)
#include "tst_catalogpage.moc"
