// The needle drawn over a dial: turned about the face's centre, clockwise,
// over the styled background, with the paint event consumed.

#include "needlepainter.h"

#include <QPainter>
#include <QRegularExpression>
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
    Filter(const NeedlePainter &painter, int angle, bool needle = true) : mPainter(painter), mAngle(angle), mNeedle(needle) {}
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        return mPainter.handleEvent(watched, event, mAngle, mNeedle);
    }

private:
    const NeedlePainter &mPainter;
    int mAngle;
    bool mNeedle;
};

bool isRed(QRgb pixel)
{
    return qRed(pixel) > 200 && qGreen(pixel) < 60 && qBlue(pixel) < 60;
}

bool isGreen(QRgb pixel)
{
    return qGreen(pixel) > 100 && qRed(pixel) < 60 && qBlue(pixel) < 60;
}

// A dial of width x kSide over a green styled background.
void styleDial(Dial &dial, int width = kSide)
{
    dial.setObjectName(QStringLiteral("dial"));
    dial.setStyleSheet(QStringLiteral("#dial{background-color: rgb(0, 160, 0);}"));
    dial.setFixedSize(width, kSide);
}

} // namespace

class TestNeedlePainter : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void otherEventsPass();
    void needleTurnsAboutCentreInsideItsRect_data();
    void needleTurnsAboutCentreInsideItsRect();
    void invisibleNeedleHasNoRect();
    void faceKeepsItsShape();

private:
    QTemporaryDir mDir;
    QString mNeedlePath;
    QString mEmptyPath;
    QString mFacePath;
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
    needle.fill(Qt::transparent);
    mEmptyPath = mDir.filePath(QStringLiteral("empty.png"));
    QVERIFY(needle.save(mEmptyPath));
    // A face all blue: where it is drawn shows at once.
    needle.fill(Qt::blue);
    mFacePath = mDir.filePath(QStringLiteral("face.png"));
    QVERIFY(needle.save(mFacePath));
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

void TestNeedlePainter::needleTurnsAboutCentreInsideItsRect_data()
{
    QTest::addColumn<int>("angle");
    QTest::addColumn<QPoint>("tip"); // (0, 0): not checked
    QTest::newRow("0") << 0 << QPoint(50, 10);
    QTest::newRow("90 clockwise") << 90 << QPoint(90, 50);
    QTest::newRow("-90") << -90 << QPoint(10, 50);
    QTest::newRow("180") << 180 << QPoint(50, 90);
    for (int angle : {1, 37, 135, -100, 225})
        QTest::newRow(qPrintable(QString::number(angle))) << angle << QPoint();
}

// The needle turns clockwise about the centre over the styled background,
// and every pixel it changes lies in its rect, a part of the dial only: the
// bar from the centre to one edge.
void TestNeedlePainter::needleTurnsAboutCentreInsideItsRect()
{
    QFETCH(int, angle);
    QFETCH(QPoint, tip);
    const auto grab = [&](const QString &needlePath, QRect *rect) {
        Dial dial;
        styleDial(dial);
        NeedlePainter painter(&dial, needlePath);
        Filter filter(painter, angle);
        dial.installEventFilter(&filter);
        if (rect)
            *rect = painter.needleRect(angle);
        return dial.grab().toImage();
    };
    QRect rect;
    const QImage withNeedle = grab(mNeedlePath, &rect);
    const QImage without = grab(mEmptyPath, nullptr);
    if (!tip.isNull()) {
        QVERIFY(isRed(withNeedle.pixel(tip)));
        QVERIFY(isGreen(withNeedle.pixel(QPoint(kSide, kSide) - tip))); // the other way from the centre
        QVERIFY(isGreen(withNeedle.pixel(5, 5)));
    }
    int changed = 0;
    for (int y = 0; y < kSide; ++y) {
        for (int x = 0; x < kSide; ++x) {
            if (withNeedle.pixel(x, y) == without.pixel(x, y))
                continue;
            ++changed;
            QVERIFY2(rect.contains(x, y), qPrintable(QStringLiteral("(%1,%2) outside %3,%4 %5x%6")
                                                         .arg(x).arg(y).arg(rect.x()).arg(rect.y()).arg(rect.width()).arg(rect.height())));
        }
    }
    QVERIFY(changed > 0);
    QVERIFY(rect.width() * rect.height() <= kSide * kSide / 2);
}

void TestNeedlePainter::invisibleNeedleHasNoRect()
{
    QWidget dial;
    dial.resize(kSide, kSide);
    QVERIFY(NeedlePainter(&dial, mEmptyPath).needleRect(30).isEmpty());
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("needle image missing")));
    QVERIFY(NeedlePainter(&dial, mDir.filePath(QStringLiteral("missing.png"))).needleRect(30).isEmpty());
}

// A dial wider than tall: the face is the square in its middle, the needle
// turns about the face's centre; without the needle the face stays.
void TestNeedlePainter::faceKeepsItsShape()
{
    for (const bool needle : {true, false}) {
        Dial dial;
        styleDial(dial, kSide + 60);
        NeedlePainter painter(&dial, mNeedlePath, mFacePath);
        QCOMPARE(painter.face(), QRect(30, 0, kSide, kSide));
        Filter filter(painter, 90, needle);
        dial.installEventFilter(&filter);
        const QImage image = dial.grab().toImage();
        QVERIFY(isGreen(image.pixel(10, 50)) && isGreen(image.pixel(150, 50))); // beside the face
        QCOMPARE(isRed(image.pixel(120, 50)), needle); // the tip, right of the face's centre
        QVERIFY(qBlue(image.pixel(50, 50)) > 200);
        QVERIFY(painter.needleRect(90).contains(120, 50));
    }
}

QTEST_MAIN(TestNeedlePainter)
#include "tst_needlepainter.moc"
