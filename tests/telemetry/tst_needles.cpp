// The needle angle mappings and the sweep of the gauge and compass threads:
// step order, targets set during a sweep, rest without signals, a prompt stop,
// and needles that keep their own state.

#include "mycompassthread.h"
#include "mythread.h"
#include "needleangles.h"
#include "waitfor.h"
#include "watchdog.h"

#include <QtTest>

#include <limits>

namespace {

constexpr int kSweepBoundMs = 20000; // hang bound for sweeps of up to 100 steps
constexpr int kStopBoundMs = 5000;   // hang bound for a stop; a finished 350° sweep takes 10.5 s
constexpr int kRestMs = 150;         // longer than a 100 ms poll, to catch a needle that ticks at rest
constexpr int kTestBoundMs = 60000;  // a whole sweep test, the needles' teardown included

// Counts, and keeps out of the test log, the line speedToAngle writes.
int gOverSpeedLines = 0;
QtMessageHandler gPreviousHandler = nullptr;

void countOverSpeed(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message == QLatin1String("speed over 260") && qstrcmp(context.category, "velmora.needles") == 0)
        ++gOverSpeedLines;
    else
        gPreviousHandler(type, context, message);
}

QVector<int> range(int from, int to)
{
    QVector<int> angles;
    const int step = to >= from ? 1 : -1;
    for (int a = from; a != to + step; a += step)
        angles.append(a);
    return angles;
}

} // namespace

// Angles as they reach the test's thread, the way the window receives them.
class AngleLog : public QObject
{
    Q_OBJECT

public:
    explicit AngleLog(mythread &needle)
    {
        connect(&needle, &mythread::sig_updateDashboard, this, &AngleLog::record, Qt::QueuedConnection);
    }
    explicit AngleLog(mycompassthread &needle)
    {
        connect(&needle, &mycompassthread::sig_updateCompass, this, &AngleLog::record, Qt::QueuedConnection);
    }

    QVector<int> angles;

    bool waitForCount(int count) const
    {
        return waitFor([&] { return angles.size() >= count; }, kSweepBoundMs);
    }

public slots:
    void record(int angle) { angles.append(angle); }
};

// Starts a needle towards target and stops it once the given number of
// angles has come: mid-sweep, or at rest when that is all of them. The thread
// must end well before a sweep would.
template<typename Needle>
void checkStop(int target, int anglesBeforeStop, bool stopFirst)
{
    Watchdog watchdog("stop", kTestBoundMs);
    Needle needle;
    AngleLog log(needle);
    if (stopFirst)
        needle.requestStop();
    needle.start();
    needle.setTargetAngle(target);
    if (!stopFirst) {
        QVERIFY(log.waitForCount(anglesBeforeStop));
        if (anglesBeforeStop == qAbs(target))
            QTest::qWait(kRestMs);
    }
    needle.requestStop();
    QVERIFY(needle.wait(kStopBoundMs));
    QCoreApplication::processEvents();
    if (stopFirst)
        QVERIFY(log.angles.isEmpty());
}

class TestNeedles : public QObject
{
    Q_OBJECT

private slots:
    void speedToAngle_data();
    void speedToAngle();
    void headingToCompassAngle_data();
    void headingToCompassAngle();
    void sweepStepsThenRests();
    void targetSetDuringSweep_data();
    void targetSetDuringSweep();
    void stopEndsAtOnce_data();
    void stopEndsAtOnce();
    void needlesKeepTheirOwnAngle();
};

void TestNeedles::speedToAngle_data()
{
    QTest::addColumn<float>("speed");
    QTest::addColumn<int>("angle");
    QTest::addColumn<int>("logLines");
    QTest::newRow("0") << 0.0f << 0 << 0;
    QTest::newRow("12.9 truncated") << 12.9f << 19 << 0;
    QTest::newRow("100, mph or km/h alike") << 100.0f << 150 << 0;
    QTest::newRow("180, end of the dial") << 180.0f << 270 << 0;
    QTest::newRow("200 clamped") << 200.0f << 270 << 1;
    QTest::newRow("infinity clamped") << std::numeric_limits<float>::infinity() << 270 << 1;
    QTest::newRow("NaN") << std::numeric_limits<float>::quiet_NaN() << 0 << 0;
}

void TestNeedles::speedToAngle()
{
    QFETCH(float, speed);
    QFETCH(int, angle);
    QFETCH(int, logLines);
    gOverSpeedLines = 0;
    gPreviousHandler = qInstallMessageHandler(countOverSpeed);
    const int result = ::speedToAngle(speed);
    qInstallMessageHandler(gPreviousHandler);
    QCOMPARE(result, angle);
    QCOMPARE(gOverSpeedLines, logLines);
}

void TestNeedles::headingToCompassAngle_data()
{
    QTest::addColumn<float>("heading");
    QTest::addColumn<int>("angle");
    QTest::newRow("north") << 0.0f << -45;
    QTest::newRow("north-east, the image's own slant") << 45.0f << 0;
    QTest::newRow("224.9, last before the wrap") << 224.9f << 179;
    QTest::newRow("225, tie to the wrapped side") << 225.0f << -180;
    QTest::newRow("226") << 226.0f << -179;
    QTest::newRow("359") << 359.0f << -46;
    QTest::newRow("359.9 truncated") << 359.9f << -46;
    // Headings of transport streams may be NaN: shown as north.
    QTest::newRow("NaN") << std::numeric_limits<float>::quiet_NaN() << -45;
}

void TestNeedles::headingToCompassAngle()
{
    QFETCH(float, heading);
    QFETCH(int, angle);
    QCOMPARE(::headingToCompassAngle(heading), angle);
}

void TestNeedles::sweepStepsThenRests()
{
    Watchdog watchdog("sweep", kTestBoundMs);
    mythread needle;
    AngleLog log(needle);
    needle.start();
    needle.setTargetAngle(10);
    QVERIFY(log.waitForCount(10));
    QCOMPARE(log.angles, range(1, 10));

    // At rest, also when told its own angle again: no signal.
    QTest::qWait(kRestMs);
    needle.setTargetAngle(10);
    QTest::qWait(kRestMs);
    QCOMPARE(log.angles.size(), 10);

    // Woken from rest, it steps back down one degree at a time.
    needle.setTargetAngle(8);
    QVERIFY(log.waitForCount(12));
    QTest::qWait(kRestMs);
    QCOMPARE(log.angles.mid(10), QVector<int>({9, 8}));
}

void TestNeedles::targetSetDuringSweep_data()
{
    QTest::addColumn<int>("second");
    QTest::addColumn<QVector<int>>("angles");
    // The sweep first arrives at its latched target, then heads for the new
    // one without waiting for another target.
    QTest::newRow("further on") << 100 << range(1, 100);
    QTest::newRow("back") << 20 << range(1, 50) + range(49, 20);
}

void TestNeedles::targetSetDuringSweep()
{
    QFETCH(int, second);
    QFETCH(QVector<int>, angles);
    Watchdog watchdog("sweep", kTestBoundMs);
    mythread needle;
    AngleLog log(needle);
    needle.start();
    needle.setTargetAngle(50);
    QVERIFY(log.waitForCount(1));
    needle.setTargetAngle(second);
    QVERIFY(log.waitForCount(angles.size()));
    QTest::qWait(kRestMs);
    QCOMPARE(log.angles, angles);
}

void TestNeedles::stopEndsAtOnce_data()
{
    QTest::addColumn<bool>("compass");
    QTest::addColumn<int>("target");
    QTest::addColumn<int>("anglesBeforeStop");
    QTest::addColumn<bool>("stopFirst");
    QTest::newRow("gauge sweeping") << false << 350 << 1 << false;
    QTest::newRow("compass sweeping") << true << -350 << 1 << false;
    QTest::newRow("gauge at rest") << false << 2 << 2 << false;
    QTest::newRow("compass stopped before start") << true << 100 << 0 << true;
}

void TestNeedles::stopEndsAtOnce()
{
    QFETCH(bool, compass);
    QFETCH(int, target);
    QFETCH(int, anglesBeforeStop);
    QFETCH(bool, stopFirst);
    if (compass)
        checkStop<mycompassthread>(target, anglesBeforeStop, stopFirst);
    else
        checkStop<mythread>(target, anglesBeforeStop, stopFirst);
}

void TestNeedles::needlesKeepTheirOwnAngle()
{
    Watchdog watchdog("sweep", kTestBoundMs);
    mythread first;
    AngleLog firstLog(first);
    first.start();
    first.setTargetAngle(10);
    QVERIFY(firstLog.waitForCount(10));

    // A second needle starts from 0, not from where the first one stands.
    mythread second;
    AngleLog secondLog(second);
    second.start();
    second.setTargetAngle(3);
    QVERIFY(secondLog.waitForCount(3));
    QCOMPARE(secondLog.angles, range(1, 3));

    // And the first one still stands at 10.
    first.setTargetAngle(12);
    QVERIFY(firstLog.waitForCount(12));
    QTest::qWait(kRestMs);
    QCOMPARE(firstLog.angles, range(1, 12));
    QCOMPARE(secondLog.angles, range(1, 3));
}

QTEST_GUILESS_MAIN(TestNeedles)
#include "tst_needles.moc"
