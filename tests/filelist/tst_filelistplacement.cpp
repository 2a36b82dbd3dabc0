#include "filelistplacement.h"

#include <QtTest>

// Where the list goes on a 1920x1040 work area (a task bar below).
class TestFileListPlacement : public QObject
{
    Q_OBJECT

private slots:
    void geometry_data();
    void geometry();
};

void TestFileListPlacement::geometry_data()
{
    QTest::addColumn<QRect>("window");
    QTest::addColumn<QRect>("expected");
    const QSize list(320, 480);
    QTest::newRow("room on the right") << QRect(100, 50, 1280, 800) << QRect(QPoint(1390, 50), list);
    QTest::newRow("right edge exactly") << QRect(310, 0, 1280, 800) << QRect(QPoint(1600, 0), list);
    QTest::newRow("only room on the left") << QRect(500, 80, 1280, 800) << QRect(QPoint(170, 80), list);
    // Centred on a 1920 screen: 320 px each side, no room for the gap too.
    QTest::newRow("centred: touching") << QRect(320, 100, 1280, 800) << QRect(QPoint(1600, 100), list);
    QTest::newRow("low window kept on screen") << QRect(0, 900, 1280, 800) << QRect(QPoint(1290, 560), list);
    // Maximised: over the telemetry panel (its last 270 px), as tall as it.
    QTest::newRow("no room either side") << QRect(0, 0, 1920, 1040) << QRect(1600, 770, 320, 270);
    QTest::newRow("window past the screen") << QRect(-200, 10, 2400, 1200) << QRect(1600, 770, 320, 270);
}

void TestFileListPlacement::geometry()
{
    QFETCH(QRect, window);
    QFETCH(QRect, expected);
    const QRect screen(0, 0, 1920, 1040);
    const QRect panel(window.left(), window.bottom() + 1 - 270, window.width(), 270);
    const QRect placed = fileListGeometry(window, QSize(320, 480), screen, panel);
    QCOMPARE(placed, expected);
    QVERIFY(screen.contains(placed));
    // Inside the window it leaves the picture and the map alone.
    if (placed.intersects(window))
        QVERIFY(placed.top() >= qMin(panel.top(), screen.bottom() + 1 - placed.height()));
}

QTEST_APPLESS_MAIN(TestFileListPlacement)
#include "tst_filelistplacement.moc"
