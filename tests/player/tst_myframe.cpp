#include "myframe.h"

#include <QPainter>
#include <QSignalSpy>
#include <QtTest>

namespace {

// Left half red, right half blue.
QImage twoColours(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.fillRect(0, 0, w / 2, h, Qt::red);
    painter.fillRect(w / 2, 0, w - w / 2, h, Qt::blue);
    return image;
}

QColor at(const QImage &image, int x, int y)
{
    return image.pixelColor(x, y);
}

} // namespace

class TestMyFrame : public QObject
{
    Q_OBJECT

private slots:
    void nullImageIsBlack();
    void centredWithBars_data();
    void centredWithBars();
    void mirrorFlipsLeftToRight();
    void reportsItsSize();
};

void TestMyFrame::nullImageIsBlack()
{
    MyFrame frame;
    frame.resize(200, 100);
    frame.slotGetImage(twoColours(20, 10));
    frame.slotGetImage(QImage());
    const QImage shot = frame.grab().toImage();
    for (QPoint p : {QPoint(0, 0), QPoint(100, 50), QPoint(199, 99)})
        QCOMPARE(at(shot, p.x(), p.y()), QColor(Qt::black));
}

void TestMyFrame::centredWithBars_data()
{
    QTest::addColumn<QSize>("frameSize");
    QTest::addColumn<QSize>("imageSize");
    QTest::addColumn<QRect>("picture"); // where the picture must land
    // 2:1 into 4:3: bars above and below.
    QTest::newRow("letterbox") << QSize(400, 300) << QSize(200, 100) << QRect(0, 50, 400, 200);
    // 1:1 into 2:1: bars left and right.
    QTest::newRow("pillarbox") << QSize(400, 200) << QSize(50, 50) << QRect(100, 0, 200, 200);
    // Already the frame's size: fills it.
    QTest::newRow("exact") << QSize(320, 180) << QSize(320, 180) << QRect(0, 0, 320, 180);
}

void TestMyFrame::centredWithBars()
{
    QFETCH(QSize, frameSize);
    QFETCH(QSize, imageSize);
    QFETCH(QRect, picture);
    MyFrame frame;
    frame.setFrameShape(QFrame::NoFrame);
    frame.resize(frameSize);
    frame.slotGetImage(twoColours(imageSize.width(), imageSize.height()));
    const QImage shot = frame.grab().toImage();
    QCOMPARE(shot.size(), frameSize);
    const QPoint mid = picture.center();
    QCOMPARE(at(shot, picture.left() + 2, mid.y()), QColor(Qt::red));
    QCOMPARE(at(shot, picture.right() - 2, mid.y()), QColor(Qt::blue));
    if (picture.top() > 0) {
        QCOMPARE(at(shot, mid.x(), picture.top() - 2), QColor(Qt::black));
        QCOMPARE(at(shot, mid.x(), picture.bottom() + 2), QColor(Qt::black));
    }
    if (picture.left() > 0) {
        QCOMPARE(at(shot, picture.left() - 2, mid.y()), QColor(Qt::black));
        QCOMPARE(at(shot, picture.right() + 2, mid.y()), QColor(Qt::black));
    }
}

void TestMyFrame::mirrorFlipsLeftToRight()
{
    MyFrame frame;
    frame.setFrameShape(QFrame::NoFrame);
    frame.resize(400, 300);
    frame.slotGetImage(twoColours(200, 100));
    QVERIFY(!frame.getMirror());
    frame.setMirror(!frame.getMirror());
    QVERIFY(frame.getMirror());
    const QImage shot = frame.grab().toImage();
    QCOMPARE(at(shot, 5, 150), QColor(Qt::blue));
    QCOMPARE(at(shot, 395, 150), QColor(Qt::red));
    QCOMPARE(at(shot, 200, 20), QColor(Qt::black)); // still centred, bars kept
    // Left to right only: the stored picture itself is untouched.
    QCOMPARE(at(frame.image(), 0, 0), QColor(Qt::red));
}

void TestMyFrame::reportsItsSize()
{
    MyFrame frame;
    QSignalSpy sizes(&frame, &MyFrame::sizeChanged);
    frame.resize(640, 360);
    frame.show();
    QTRY_VERIFY(!sizes.isEmpty());
    QCOMPARE(sizes.last().at(0).toSize(), QSize(640, 360));
}

QTEST_MAIN(TestMyFrame)
#include "tst_myframe.moc"
