// The speeds the chart's history is rebuilt from: unit conversion of a
// record's knots and which seconds get a point.

#include "speedhistory.h"

#include <QtTest>

#include <limits>
#include <memory>

namespace {

std::unique_ptr<GpsTrack> trackOf(const QVector<float> &knots, char status = 'A')
{
    auto track = std::make_unique<GpsTrack>();
    track->records.resize(size_t(knots.size()));
    for (int i = 0; i < knots.size(); ++i) {
        track->records[i] = GpsRecord{};
        track->records[i].status = status;
        track->records[i].speed = knots[i];
    }
    track->valid = true;
    return track;
}

QVector<int> secondsOf(const QVector<SpeedPoint> &points)
{
    QVector<int> seconds;
    for (const SpeedPoint &point : points)
        seconds.append(point.second);
    return seconds;
}

} // namespace

class TestSpeedHistory : public QObject
{
    Q_OBJECT

private slots:
    void seconds_data();
    void seconds();
    void valuesPerSecond();
};

void TestSpeedHistory::seconds_data()
{
    QTest::addColumn<int>("records");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("end");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QVector<int>>("seconds");
    QTest::newRow("before second 3") << 10 << 0 << 3 << true << QVector<int>({0, 1, 2});
    QTest::newRow("from second 2 to 5") << 10 << 2 << 5 << true << QVector<int>({2, 3, 4});
    QTest::newRow("nothing before second 0") << 10 << 0 << 0 << true << QVector<int>();
    QTest::newRow("past the track's end") << 3 << 1 << 31 << true << QVector<int>({1, 2});
    QTest::newRow("wholly past the end") << 3 << 5 << 31 << true << QVector<int>();
    QTest::newRow("negative seconds") << 3 << -5 << -1 << true << QVector<int>();
    QTest::newRow("end before first") << 3 << 2 << 1 << true << QVector<int>();
    QTest::newRow("track not valid") << 3 << 0 << 3 << false << QVector<int>();
}

void TestSpeedHistory::seconds()
{
    QFETCH(int, records);
    QFETCH(int, first);
    QFETCH(int, end);
    QFETCH(bool, valid);
    QFETCH(QVector<int>, seconds);
    auto track = trackOf(QVector<float>(records, 1.0f));
    track->valid = valid;
    QCOMPARE(secondsOf(speedHistory(*track, first, end, false)), seconds);
}

// Each point carries its own record's speed in the unit asked for, records
// without a fix included.
void TestSpeedHistory::valuesPerSecond()
{
    const auto track = trackOf({10.0f, 20.0f, 5.0f}, 'V');
    const auto texts = [&](bool mph) {
        QStringList list;
        for (const SpeedPoint &point : speedHistory(*track, 0, 3, mph))
            list.append(QString::number(point.speed, 'f', 2));
        return list;
    };
    QCOMPARE(texts(false), QStringList({"18.52", "37.04", "9.26"}));
    QCOMPARE(texts(true), QStringList({"11.51", "23.02", "5.75"}));

    // A speed that is no number leaves a gap instead of a point off the scale.
    const auto odd = trackOf({10.0f, std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(), 5.0f});
    QCOMPARE(secondsOf(speedHistory(*odd, 0, 4, false)), QVector<int>({0, 3}));
}

QTEST_GUILESS_MAIN(TestSpeedHistory)
#include "tst_speedhistory.moc"
