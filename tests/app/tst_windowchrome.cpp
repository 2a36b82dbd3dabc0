#include "windowchrome.h"

#include <QtTest>

Q_DECLARE_METATYPE(ResizeRegion)

namespace {

const QRect kWindow(100, 50, 1280, 800); // L 100, T 50, R 1379, B 849
const QSize kMinimum(1025, 749);
const QRect kAvailable(0, 0, 1920, 1040); // a panel below

} // namespace

class TestWindowChrome : public QObject
{
    Q_OBJECT

private slots:
    void hitTest_data();
    void hitTest();
    void resize_data();
    void resize();
    void startGeometry_data();
    void startGeometry();
};

void TestWindowChrome::hitTest_data()
{
    QTest::addColumn<QPoint>("cursor");
    QTest::addColumn<ResizeRegion>("region");
    QTest::addColumn<int>("shape");
    QTest::newRow("3 px inside left, 10 down") << QPoint(103, 60) << ResizeRegion::None << int(Qt::ArrowCursor);
    QTest::newRow("3 px inside left and top") << QPoint(103, 53) << ResizeRegion::TopLeft << int(Qt::SizeFDiagCursor);
    QTest::newRow("corner is 4 deep") << QPoint(104, 54) << ResizeRegion::TopLeft << int(Qt::SizeFDiagCursor);
    QTest::newRow("corner ends at 5") << QPoint(105, 52) << ResizeRegion::Top << int(Qt::SizeVerCursor);
    QTest::newRow("left edge 2 deep") << QPoint(102, 400) << ResizeRegion::Left << int(Qt::SizeHorCursor);
    QTest::newRow("bottom edge") << QPoint(700, 849) << ResizeRegion::Bottom << int(Qt::SizeVerCursor);
    QTest::newRow("bottom right") << QPoint(1379, 849) << ResizeRegion::BottomRight << int(Qt::SizeFDiagCursor);
    QTest::newRow("bottom left") << QPoint(100, 846) << ResizeRegion::BottomLeft << int(Qt::SizeBDiagCursor);
    QTest::newRow("top right") << QPoint(1375, 50) << ResizeRegion::TopRight << int(Qt::SizeBDiagCursor);
}

void TestWindowChrome::hitTest()
{
    QFETCH(QPoint, cursor);
    QFETCH(ResizeRegion, region);
    QFETCH(int, shape);
    QCOMPARE(hitRegion(kWindow, cursor), region);
    QCOMPARE(int(regionCursor(region)), shape);
}

void TestWindowChrome::resize_data()
{
    QTest::addColumn<ResizeRegion>("region");
    QTest::addColumn<QPoint>("cursor");
    QTest::addColumn<QRect>("result");
    QTest::newRow("top up") << ResizeRegion::Top << QPoint(500, 10) << QRect(QPoint(100, 10), QPoint(1379, 849));
    // The moving edge stops at the minimum; the opposite one stays.
    QTest::newRow("top past the minimum") << ResizeRegion::Top << QPoint(500, 300)
                                          << QRect(QPoint(100, 849 + 1 - 749), QPoint(1379, 849));
    QTest::newRow("left past the minimum") << ResizeRegion::Left << QPoint(900, 300)
                                           << QRect(QPoint(1379 + 1 - 1025, 50), QPoint(1379, 849));
    QTest::newRow("right past the minimum") << ResizeRegion::Right << QPoint(200, 300) << QRect(100, 50, 1025, 800);
    QTest::newRow("bottom down") << ResizeRegion::Bottom << QPoint(500, 950) << QRect(100, 50, 1280, 900);
    QTest::newRow("bottom below the available area") << ResizeRegion::Bottom << QPoint(500, 1070)
                                                     << QRect(100, 50, 1280, 1040 - 50);
    QTest::newRow("bottom left past the minimum") << ResizeRegion::BottomLeft << QPoint(1200, 600)
                                                  << QRect(QPoint(1379 + 1 - 1025, 50), QPoint(1379, 50 + 749 - 1));
    QTest::newRow("top right") << ResizeRegion::TopRight << QPoint(1500, 0) << QRect(100, 0, 1400, 850);
}

void TestWindowChrome::resize()
{
    QFETCH(ResizeRegion, region);
    QFETCH(QPoint, cursor);
    QFETCH(QRect, result);
    QCOMPARE(resizedGeometry(kWindow, region, cursor, kMinimum, kAvailable), result);
}

// Where the window opens: last time's place when it still fits, else a size
// that fits the screen; maximised when even the minimum does not.
void TestWindowChrome::startGeometry_data()
{
    const QRect laptop(0, 0, 1366, 728);  // 1366x768 with a 40 px panel
    const QRect second(1920, 0, 1280, 1024);
    const QSize minimum(1025, 640);
    QTest::addColumn<QRect>("stored");
    QTest::addColumn<QRect>("available");
    QTest::addColumn<QSize>("minimum");
    QTest::addColumn<QRect>("result");
    QTest::addColumn<bool>("maximize");
    QTest::newRow("laptop, first start") << QRect() << laptop << minimum << QRect(43, 0, 1280, 728) << false;
    QTest::newRow("laptop, stored fits") << QRect(10, 20, 1100, 700) << laptop << minimum << QRect(10, 20, 1100, 700) << false;
    QTest::newRow("laptop, stored hangs off") << QRect(500, 20, 1280, 800) << laptop << minimum << QRect(43, 0, 1280, 728) << false;
    QTest::newRow("stored below the minimum") << QRect(10, 20, 300, 200) << laptop << minimum << QRect(43, 0, 1280, 728) << false;
    QTest::newRow("second screen") << QRect(2000, 100, 1200, 800) << second << minimum << QRect(2000, 100, 1200, 800) << false;
    QTest::newRow("minimum too tall") << QRect() << laptop << kMinimum << laptop << true;
}

void TestWindowChrome::startGeometry()
{
    QFETCH(QRect, stored);
    QFETCH(QRect, available);
    QFETCH(QSize, minimum);
    QFETCH(QRect, result);
    QFETCH(bool, maximize);
    bool maximized = !maximize;
    QCOMPARE(::startGeometry(stored, QSize(1280, 800), minimum, available, &maximized), result);
    QCOMPARE(maximized, maximize);
}

QTEST_GUILESS_MAIN(TestWindowChrome)
#include "tst_windowchrome.moc"
