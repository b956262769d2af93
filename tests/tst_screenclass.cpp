#include "core/base/screenclass.h"

#include <QtTest>

// The edges of the screen classes: wider than 1600 and at least 890 high is large, and a large screen
// of at least 144 dpi gets the larger fonts.
class TestScreenClass : public QObject
{
    Q_OBJECT
private slots:
    void classify_data()
    {
        QTest::addColumn<QSize>("available");
        QTest::addColumn<qreal>("dpi");
        QTest::addColumn<QList<int>>("expected"); // small (1 or 0), normal and large font in pixels

        QTest::newRow("1600 wide") << QSize(1600, 1040) << 96.0 << QList<int>{1, 15, 17};
        QTest::newRow("889 high, small whatever the dpi") << QSize(1601, 889) << 192.0 << QList<int>{1, 15, 17};
        QTest::newRow("1601x890, dpi 143.9") << QSize(1601, 890) << 143.9 << QList<int>{0, 15, 18};
        QTest::newRow("1601x890, dpi 144") << QSize(1601, 890) << 144.0 << QList<int>{0, 18, 20};
    }
    void classify()
    {
        QFETCH(QSize, available);
        QFETCH(qreal, dpi);
        const ScreenClass result = classifyScreen(available, dpi);
        QTEST((QList<int>{result.isSmall, result.normalFontPx, result.largeFontPx}), "expected");
    }
};

QTEST_GUILESS_MAIN(TestScreenClass)
#include "tst_screenclass.moc"
