#include "filelistplacement.h"

#include <QtTest>

// Where the list opens on a 1920x1040 work area (a task bar below).
class TestFileListPlacement : public QObject
{
    Q_OBJECT

private slots:
    void position_data();
    void position();
};

void TestFileListPlacement::position_data()
{
    QTest::addColumn<QRect>("window");
    QTest::addColumn<QPoint>("expected");
    // The title bar is 48 px high, the picture takes all but the 320 px of the map.
    QTest::newRow("room on the right") << QRect(100, 50, 1280, 800) << QPoint(1390, 50);
    QTest::newRow("right edge exactly") << QRect(310, 0, 1280, 800) << QPoint(1600, 0);
    QTest::newRow("one pixel short") << QRect(311, 0, 1280, 800) << QPoint(1271, 48);
    QTest::newRow("only room on the left") << QRect(500, 80, 1280, 800) << QPoint(170, 80);
    QTest::newRow("low window kept on screen") << QRect(0, 900, 1280, 800) << QPoint(1290, 560);
    // Maximised: over the map, below the title bar.
    QTest::newRow("no room either side") << QRect(0, 0, 1920, 1040) << QPoint(1600, 48);
    // Window larger than the screen: on the screen, below the title bar.
    QTest::newRow("window past the screen") << QRect(-200, 10, 2400, 1200) << QPoint(1600, 58);
}

void TestFileListPlacement::position()
{
    QFETCH(QRect, window);
    QFETCH(QPoint, expected);
    const QRect screen(0, 0, 1920, 1040);
    const QSize panel(320, 480);
    const int titleBottom = window.top() + 47;
    const int pictureRight = window.right() - 320;
    const QPoint at = fileListPosition(window, panel, screen, titleBottom, pictureRight);
    QCOMPARE(at, expected);
    const QRect placed(at, panel);
    QVERIFY(screen.contains(placed));
    if (!placed.intersects(window))
        return;
    // Inside the window it covers neither the title bar nor the picture.
    QVERIFY(placed.top() > titleBottom);
    QVERIFY(placed.left() > pictureRight || placed.right() == screen.right());
}

QTEST_APPLESS_MAIN(TestFileListPlacement)
#include "tst_filelistplacement.moc"
