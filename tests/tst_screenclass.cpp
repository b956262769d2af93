#include "core/base/screenclass.h"

#include <QtTest>

class TestScreenClass : public QObject
{
    Q_OBJECT
private slots:
    void classify_data();
    void classify();
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
    QTest::newRow("small ignores high dpi") << QSize(1366, 728) << 192.0 << true << 15 << 17;
    QTest::newRow("large, dpi 144") << QSize(1920, 1040) << 144.0 << false << 18 << 20;
    QTest::newRow("large, dpi 143.9") << QSize(1920, 1040) << 143.9 << false << 15 << 18;
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

QTEST_GUILESS_MAIN(TestScreenClass)
#include "tst_screenclass.moc"
