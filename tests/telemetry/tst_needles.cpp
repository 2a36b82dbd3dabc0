// The needle angle mappings and the sweep of the gauge and compass threads:
// step order, a new target taken at once, the compass's short way, rest without signals, a prompt stop,
// and needles that keep their own state.

#include "logcapture.h"
#include "mycompassthread.h"
#include "mythread.h"
#include "needleangles.h"
#include "waitfor.h"
#include "watchdog.h"

#include <QtTest>

#include <algorithm>

#include <limits>

namespace {

constexpr int kSweepBoundMs = 20000; // hang bound for sweeps of up to 100 steps
constexpr int kStopBoundMs = 5000;   // hang bound for a stop; a finished 350° sweep takes 10.5 s
constexpr int kRestMs = 150;         // longer than a 100 ms poll, to catch a needle that ticks at rest
constexpr int kTestBoundMs = 60000;  // a whole sweep test, the needles' teardown included

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
    void targetSetDuringSweep();
    void nextAngle_data();
    void nextAngle();
    void stopEndsAtOnce_data();
    void stopEndsAtOnce();
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
    LogCapture log("velmora.needles");
    QCOMPARE(::speedToAngle(speed), angle);
    QCOMPARE(log.count(QStringLiteral("speed over 260")), logLines);
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

// Each needle steps from its own angle, one degree at a time, and rests
// without a signal, also when told its own angle again.
void TestNeedles::sweepStepsThenRests()
{
    Watchdog watchdog("sweep", kTestBoundMs);
    mythread first;
    AngleLog firstLog(first);
    first.start();
    first.setTargetAngle(10);
    QVERIFY(firstLog.waitForCount(10));
    QCOMPARE(firstLog.angles, range(1, 10));
    QTest::qWait(kRestMs);
    first.setTargetAngle(10);

    // A second needle starts from 0, not from where the first one stands.
    mythread second;
    AngleLog secondLog(second);
    second.start();
    second.setTargetAngle(3);
    QVERIFY(secondLog.waitForCount(3));
    QTest::qWait(kRestMs);
    QCOMPARE(secondLog.angles, range(1, 3));
    QCOMPARE(firstLog.angles.size(), 10);

    // Woken from rest, the first steps back down from 10.
    first.setTargetAngle(8);
    QVERIFY(firstLog.waitForCount(12));
    QTest::qWait(kRestMs);
    QCOMPARE(firstLog.angles.mid(10), QVector<int>({9, 8}));
    QCOMPARE(secondLog.angles, range(1, 3));
}

// A new target turns the needle at once, without a pause: on its way up to
// 300 it comes back down to 20 from wherever it was.
void TestNeedles::targetSetDuringSweep()
{
    Watchdog watchdog("sweep", kTestBoundMs);
    mythread needle;
    AngleLog log(needle);
    needle.start();
    needle.setTargetAngle(300);
    QVERIFY(log.waitForCount(30));
    needle.setTargetAngle(20);
    QVERIFY(waitFor([&] { return !log.angles.isEmpty() && log.angles.last() == 20; }, kSweepBoundMs));
    QTest::qWait(kRestMs);
    const int peak = *std::max_element(log.angles.begin(), log.angles.end());
    QVERIFY2(peak >= 30 && peak < 300, qPrintable(QString::number(peak)));
    QCOMPARE(log.angles, range(1, peak) + range(peak - 1, 20));
}

// One step of each needle: the gauge straight, the compass the short way
// round, across the back of the dial where that is shorter.
void TestNeedles::nextAngle_data()
{
    QTest::addColumn<bool>("compass");
    QTest::addColumn<int>("current");
    QTest::addColumn<int>("target");
    QTest::addColumn<int>("next");
    QTest::newRow("gauge up") << false << 10 << 200 << 11;
    QTest::newRow("gauge down across 180") << false << 200 << -10 << 199;
    QTest::newRow("gauge there") << false << 5 << 5 << 5;
    QTest::newRow("compass 179 to -179: over south-west") << true << 179 << -179 << -180;
    QTest::newRow("compass -180 to 179: back over it") << true << -180 << 179 << 179;
    QTest::newRow("compass 0 to -170") << true << 0 << -170 << -1;
    QTest::newRow("compass -170 to 170") << true << -170 << 170 << -171;
    QTest::newRow("compass opposite: clockwise") << true << 0 << -180 << 1;
    QTest::newRow("compass there") << true << -45 << -45 << -45;
}

void TestNeedles::nextAngle()
{
    QFETCH(bool, compass);
    QFETCH(int, current);
    QFETCH(int, target);
    QFETCH(int, next);
    QCOMPARE(NeedleSweep::nextAngle(current, target, compass), next);
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

QTEST_GUILESS_MAIN(TestNeedles)
#include "tst_needles.moc"
