#include "app/screenclass.h"
#include "app/uisize.h"
#include "platform/mycontext.h"

#include <QtTest>

using Preset = QSize (*)();
Q_DECLARE_METATYPE(Preset)

class TestScreenClass : public QObject
{
    Q_OBJECT
private slots:
    void classify_data();
    void classify();
    void presets_data();
    void presets();
};

void TestScreenClass::classify_data()
{
    QTest::addColumn<QSize>("available");
    QTest::addColumn<qreal>("dpi");
    QTest::addColumn<bool>("small");
    QTest::addColumn<int>("normalPx");
    QTest::addColumn<int>("largePx");

    QTest::newRow("1600 wide is small") << QSize(1600, 1040) << 96.0 << true << 15 << 17;
    QTest::newRow("1601x890 is large") << QSize(1601, 890) << 96.0 << false << 15 << 18;
    QTest::newRow("1601x889 is small") << QSize(1601, 889) << 96.0 << true << 15 << 17;
    QTest::newRow("1366x728 laptop") << QSize(1366, 728) << 96.0 << true << 15 << 17;
    QTest::newRow("small ignores high dpi") << QSize(1366, 728) << 192.0 << true << 15 << 17;
    QTest::newRow("large, dpi 144") << QSize(1920, 1040) << 144.0 << false << 18 << 20;
    QTest::newRow("large, dpi 143.9") << QSize(1920, 1040) << 143.9 << false << 15 << 18;
    QTest::newRow("large, dpi 96") << QSize(2560, 1400) << 96.0 << false << 15 << 18;
}

void TestScreenClass::classify()
{
    QFETCH(QSize, available);
    QFETCH(qreal, dpi);
    const ScreenClass result = classifyScreen(available, dpi);
    QTEST(result.isSmall, "small");
    QTEST(result.normalFontPx, "normalPx");
    QTEST(result.largeFontPx, "largePx");
}

void TestScreenClass::presets_data()
{
    QTest::addColumn<Preset>("preset");
    QTest::addColumn<QSize>("small");
    QTest::addColumn<QSize>("normal");

    QTest::newRow("mainWindow") << Preset(&UiSize::mainWindow) << QSize(1100, 730) << QSize(1400, 900);
    QTest::newRow("footerMargin") << Preset(&UiSize::footerMargin) << QSize(20, 20) << QSize(30, 25);
    QTest::newRow("noticeDialog") << Preset(&UiSize::noticeDialog) << QSize(400, 160) << QSize(450, 200);
    QTest::newRow("noticeButton") << Preset(&UiSize::noticeButton) << QSize(110, 35) << QSize(120, 45);
    QTest::newRow("noticeMargins") << Preset(&UiSize::noticeMargins) << QSize(25, 20) << QSize(30, 25);
    QTest::newRow("titleIcon") << Preset(&UiSize::titleIcon) << QSize(35, 35) << QSize(45, 45);
    QTest::newRow("titleTextButton") << Preset(&UiSize::titleTextButton) << QSize(80, 45) << QSize(100, 50);
    QTest::newRow("windowButton") << Preset(&UiSize::windowButton) << QSize(40, 45) << QSize(45, 60);
    QTest::newRow("accountPopup") << Preset(&UiSize::accountPopup) << QSize(260, 300) << QSize(300, 300);
    QTest::newRow("signInDialog") << Preset(&UiSize::signInDialog) << QSize(330, 380) << QSize(400, 480);
    QTest::newRow("signInHeader") << Preset(&UiSize::signInHeader) << QSize(300, 40) << QSize(400, 45);
    QTest::newRow("dialogCloseButton") << Preset(&UiSize::dialogCloseButton) << QSize(40, 40) << QSize(45, 45);
    QTest::newRow("qrCodeImage") << Preset(&UiSize::qrCodeImage) << QSize(350, 260) << QSize(380, 260);
    QTest::newRow("contactBox") << Preset(&UiSize::contactBox) << QSize(130, 70) << QSize(180, 80);
}

void TestScreenClass::presets()
{
    QFETCH(Preset, preset);
    const bool saved = MyContext::isSmall;
    MyContext::isSmall = true;
    QTEST(preset(), "small");
    MyContext::isSmall = false;
    QTEST(preset(), "normal");
    MyContext::isSmall = saved;
}

QTEST_GUILESS_MAIN(TestScreenClass)
#include "tst_screenclass.moc"
