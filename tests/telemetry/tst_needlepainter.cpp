// The needle drawn over a dial: turned about the widget's centre, clockwise,
// over the styled background, with the paint event consumed.

#include "needlepainter.h"

#include <QPainter>
#include <QTemporaryDir>
#include <QWidget>
#include <QtTest>

namespace {

constexpr int kSide = 100; // pixels, dial and needle image alike

// A dial whose own paintEvent would cover everything in blue.
class Dial : public QWidget
{
protected:
    void paintEvent(QPaintEvent *) override { QPainter(this).fillRect(rect(), Qt::blue); }
};

// Hands the dial's events to the painter, as the window's filter does.
class Filter : public QObject
{
public:
    Filter(const NeedlePainter &painter, int angle) : mPainter(painter), mAngle(angle) {}
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        return mPainter.handleEvent(watched, event, mAngle);
    }

private:
    const NeedlePainter &mPainter;
    int mAngle;
};

bool isRed(QRgb pixel)
{
    return qRed(pixel) > 200 && qGreen(pixel) < 60 && qBlue(pixel) < 60;
}

bool isGreen(QRgb pixel)
{
    return qGreen(pixel) > 100 && qRed(pixel) < 60 && qBlue(pixel) < 60;
}

} // namespace

class TestNeedlePainter : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void turnsAboutCentre_data();
    void turnsAboutCentre();
    void otherEventsPass();

private:
    QTemporaryDir mDir;
    QString mNeedlePath;
};

// A needle image pointing up: a red bar from the centre to the top edge.
void TestNeedlePainter::initTestCase()
{
    QVERIFY(mDir.isValid());
    QImage needle(kSide, kSide, QImage::Format_ARGB32);
    needle.fill(Qt::transparent);
    QPainter(&needle).fillRect(kSide / 2 - 4, 0, 8, kSide / 2, Qt::red);
    mNeedlePath = mDir.filePath(QStringLiteral("needle.png"));
    QVERIFY(needle.save(mNeedlePath));
}

void TestNeedlePainter::turnsAboutCentre_data()
{
    QTest::addColumn<int>("angle");
    QTest::addColumn<QPoint>("tip");
    QTest::addColumn<QPoint>("away");
    QTest::newRow("0") << 0 << QPoint(50, 10) << QPoint(50, 90);
    QTest::newRow("90 clockwise") << 90 << QPoint(90, 50) << QPoint(10, 50);
    QTest::newRow("-90") << -90 << QPoint(10, 50) << QPoint(90, 50);
    QTest::newRow("180") << 180 << QPoint(50, 90) << QPoint(50, 10);
}

void TestNeedlePainter::turnsAboutCentre()
{
    QFETCH(int, angle);
    QFETCH(QPoint, tip);
    QFETCH(QPoint, away);
    Dial dial;
    dial.setObjectName(QStringLiteral("dial"));
    dial.setStyleSheet(QStringLiteral("#dial{background-color: rgb(0, 160, 0);}"));
    dial.setFixedSize(kSide, kSide);
    NeedlePainter painter(&dial, mNeedlePath);
    Filter filter(painter, angle);
    dial.installEventFilter(&filter);

    const QImage image = dial.grab().toImage();
    QVERIFY(isRed(image.pixel(tip)));
    QVERIFY(isGreen(image.pixel(away)));
    QVERIFY(isGreen(image.pixel(5, 5)));
}

void TestNeedlePainter::otherEventsPass()
{
    QWidget dial;
    QWidget other;
    NeedlePainter painter(&dial, mNeedlePath);
    QPaintEvent paint(QRect(0, 0, 1, 1));
    QEvent resize(QEvent::Resize);
    QVERIFY(!painter.handleEvent(&other, &paint, 0));
    QVERIFY(!painter.handleEvent(&dial, &resize, 0));
}

QTEST_MAIN(TestNeedlePainter)
#include "tst_needlepainter.moc"
