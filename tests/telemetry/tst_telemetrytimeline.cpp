// What the telemetry panel shows for a second of playback, and the route.

#include "telemetrytimeline.h"

#include <QtTest>

#include <limits>

Q_DECLARE_METATYPE(GpsRecord)

namespace {

GpsRecord fixAt(float latitude, float longitude, float knots)
{
    GpsRecord record{};
    record.year = 25;
    record.month = 6;
    record.day = 1;
    record.hour = 8;
    record.status = 'A';
    record.latRef = 'N';
    record.lonRef = 'E';
    record.latitude = latitude;
    record.longitude = longitude;
    record.speed = knots;
    record.heading = 90.0f;
    return record;
}

// A valid track of `count` seconds; record i at latitude 31 + i / 100.
std::shared_ptr<GpsTrack> drive(int count)
{
    auto track = std::make_shared<GpsTrack>();
    track->valid = true;
    track->records.resize(size_t(count));
    for (int i = 0; i < count; ++i) {
        track->records[i] = fixAt(31.0f + i / 100.0f, 121.5f, 10.0f);
        track->records[i].second = i % 60;
    }
    return track;
}

} // namespace

class TestTelemetryTimeline : public QObject
{
    Q_OBJECT

private slots:
    void currentSecond_data();
    void currentSecond();
    void recordOfTheSecond();
    void chosenClockOutlivesTheTrack();
    void labelsOfAFix_data();
    void labelsOfAFix();
    void nothingWithoutAValidFix();
    void route();
    void routeClickFindsItsSecond();
};

void TestTelemetryTimeline::currentSecond_data()
{
    QTest::addColumn<double>("position");
    QTest::addColumn<qint64>("second");
    QTest::newRow("4.49 s") << 4.49 << qint64(4);
    QTest::newRow("4.5 s") << 4.5 << qint64(5);
    QTest::newRow("start") << 0.0 << qint64(0);
    QTest::newRow("just before the start") << -0.4 << qint64(0);
}

void TestTelemetryTimeline::currentSecond()
{
    QFETCH(double, position);
    QFETCH(qint64, second);
    QCOMPARE(TelemetryTimeline::currentSecond(position), second);
}

// The second's own record, its speed in either unit; a snapshot names both,
// km/h beside the unit shown.
void TestTelemetryTimeline::recordOfTheSecond()
{
    TelemetryTimeline timeline;
    timeline.setTrack(drive(30), 0);
    QCOMPARE(timeline.at(4, false, false).latitudeText, QStringLiteral("N:31.040001°"));
    QCOMPARE(timeline.at(1, false, false).speedText, QStringLiteral("18.52"));
    QCOMPARE(timeline.at(1, true, false).speedText, QStringLiteral("11.51"));
    QCOMPARE(timeline.at(1, true, false).speedKmh, timeline.at(1, false, false).speed);
    QCOMPARE(timeline.at(29, false, false).latitudeText, QStringLiteral("N:31.290001°"));
    // Past the track's end, and before its start: the idle texts.
    for (qint64 second : {qint64(30), qint64(31), qint64(-1)}) {
        const TelemetrySecond shown = timeline.at(second, false, false);
        QVERIFY(!shown.hasRecord);
        QCOMPARE(shown.speedText, QStringLiteral("000.00"));
        QCOMPARE(shown.longitudeText, QStringLiteral("000.000000"));
        QCOMPARE(shown.latitudeText, QStringLiteral("00.000000"));
        QCOMPARE(shown.dateTimeText, QString());
        QCOMPARE(shown.speed, 0.0f);
    }
}

// The chosen clock holds for every recording opened after it.
void TestTelemetryTimeline::chosenClockOutlivesTheTrack()
{
    TelemetryTimeline timeline;
    timeline.setTimeOffset(TimeOffset::fixed(-150));
    timeline.setTrack(drive(3), 1);
    timeline.clear();
    timeline.setTrack(drive(3), 1);
    const TelemetrySecond shown = timeline.at(2, false, false);
    QCOMPARE(shown.dateTimeText, QStringLiteral("2025/06/01 05:30:02 -02:30"));
    QCOMPARE(shown.dateTime.offsetFromUtc(), -150 * 60);
}

void TestTelemetryTimeline::labelsOfAFix_data()
{
    QTest::addColumn<GpsRecord>("record");
    QTest::addColumn<qint16>("version");
    QTest::addColumn<bool>("fix");
    QTest::addColumn<QString>("latitude");
    QTest::addColumn<QString>("longitude");
    QTest::addColumn<QString>("date");
    QTest::addColumn<double>("mapLatitude");
    QTest::addColumn<double>("mapLongitude");

    GpsRecord south = fixAt(33.5f, 139.75f, 0.0f);
    south.latRef = 'S';
    QTest::newRow("south: letter on the label, sign on the map")
        << south << qint16(0) << false << QStringLiteral("S:33.500000°") << QStringLiteral("E:139.750000°")
        << QStringLiteral("2025/06/01 08:00:00 UTC") << -33.5 << 139.75;
    GpsRecord west = fixAt(22.25f, 118.5f, 0.0f);
    west.lonRef = 'W';
    QTest::newRow("west, minutes read as degrees")
        << west << qint16(0) << true << QStringLiteral("N:22.416667°") << QStringLiteral("W:118.833333°")
        << QStringLiteral("2025/06/01 08:00:00 UTC") << 22.416666666666668 << -118.83333333333333;
    GpsRecord newYear = fixAt(31.0f, 121.5f, 0.0f);
    newYear.year = 25;
    newYear.month = 12;
    newYear.day = 31;
    newYear.hour = 23;
    newYear.minute = 30;
    QTest::newRow("version 1 shows the time 9 h on")
        << newYear << qint16(1) << false << QStringLiteral("N:31.000000°") << QStringLiteral("E:121.500000°")
        << QStringLiteral("2026/01/01 08:30:00 +09:00") << 31.0 << 121.5;
    GpsRecord noDate = fixAt(0.0f, 0.0f, 0.0f);
    noDate.month = 0;
    QTest::newRow("impossible date, no position: still a fix")
        << noDate << qint16(0) << false << QStringLiteral("N:0.000000°") << QStringLiteral("E:0.000000°")
        << QString() << 0.0 << 0.0;
}

void TestTelemetryTimeline::labelsOfAFix()
{
    QFETCH(GpsRecord, record);
    QFETCH(qint16, version);
    QFETCH(bool, fix);
    auto track = std::make_shared<GpsTrack>();
    track->valid = true;
    track->records.resize(1);
    track->records[0] = record;
    TelemetryTimeline timeline;
    timeline.setTrack(track, version);
    const TelemetrySecond shown = timeline.at(0, false, fix);
    QVERIFY(shown.hasRecord);
    QTEST(shown.latitudeText, "latitude");
    QTEST(shown.longitudeText, "longitude");
    QTEST(shown.dateTimeText, "date");
    QTEST(shown.mapLatitude, "mapLatitude");
    QTEST(shown.mapLongitude, "mapLongitude");
}

void TestTelemetryTimeline::nothingWithoutAValidFix()
{
    auto track = drive(5);
    track->records[2].status = 'V';
    TelemetryTimeline timeline;
    timeline.setTrack(track, 0);
    QVERIFY(!timeline.at(2, false, false).hasRecord);
    QVERIFY(timeline.at(3, false, false).hasRecord);

    // Only one record's check vouches for the track: later ones may hold
    // numbers that are no position or speed, shown as no data (and never
    // converted to an integer by the position correction).
    auto odd = drive(6);
    odd->records[1].latitude = std::numeric_limits<float>::quiet_NaN();
    odd->records[2].longitude = std::numeric_limits<float>::infinity();
    odd->records[3].speed = -std::numeric_limits<float>::infinity();
    odd->records[4].speed = std::numeric_limits<float>::quiet_NaN();
    timeline.setTrack(odd, 0);
    for (int second = 1; second <= 4; ++second) {
        QVERIFY2(!timeline.at(second, false, true).hasRecord, qPrintable(QString::number(second)));
        QVERIFY(!timeline.at(second, true, false).hasRecord);
    }
    QVERIFY(timeline.at(5, false, true).hasRecord);
    QVector<double> fine;
    QVector<double> fineLatitudes;
    timeline.route(true, fine, fineLatitudes);
    QCOMPARE(fine.size(), 2);
    timeline.setTrack(track, 0);

    // A track whose check failed shows nothing at all.
    track->valid = false;
    QVERIFY(!timeline.isValid());
    QVERIFY(!timeline.at(3, false, false).hasRecord);
    QVector<double> longitudes{1.0};
    QVector<double> latitudes{1.0};
    timeline.route(false, longitudes, latitudes);
    QVERIFY(longitudes.isEmpty() && latitudes.isEmpty());
    timeline.clear();
    QVERIFY(!timeline.at(3, false, false).hasRecord);
}

void TestTelemetryTimeline::route()
{
    auto track = drive(5);
    track->records[1].latitude = 0.0f; // no fix yet: both coordinates 0
    track->records[1].longitude = 0.0f;
    track->records[2].status = 'V';
    track->records[3].latRef = 'S';
    track->records[4].lonRef = 'W';
    TelemetryTimeline timeline;
    timeline.setTrack(track, 0);
    QVector<double> longitudes;
    QVector<double> latitudes;
    timeline.route(false, longitudes, latitudes);
    QCOMPARE(longitudes, (QVector<double>{121.5, 121.5, -121.5}));
    QCOMPARE(latitudes, (QVector<double>{31.0, double(-31.03f), double(31.04f)}));
    // The record left out of the route still drives the labels.
    QCOMPARE(timeline.at(1, false, false).latitudeText, QStringLiteral("N:0.000000°"));
}

void TestTelemetryTimeline::routeClickFindsItsSecond()
{
    // The route skips records without a fix; the seconds stay the records'.
    auto track = drive(6);
    track->records[1].status = 'V';
    track->records[4] = track->records[3]; // stood still for a second
    TelemetryTimeline timeline;
    timeline.setTrack(track, 0);
    const QVector<RoutePoint> route = timeline.routePoints(false);
    QCOMPARE(route.size(), 5);
    // 0.01° of latitude is about 1,112 m: a click 300 m past the third
    // point's latitude is nearest to it, at second 2.
    QCOMPARE(route[nearestRoutePoint(route, 31.02 + 0.0027, 121.5, 500.0)].second, qint64(2));
    // Farther than the few pixels the map allows: nothing.
    QCOMPARE(nearestRoutePoint(route, 31.02 + 0.0027, 121.5, 100.0), -1);
    // Where the car stood still, the second it got there.
    QCOMPARE(route[nearestRoutePoint(route, 31.03, 121.5, 50.0)].second, qint64(3));
    QCOMPARE(nearestRoutePoint(route, std::numeric_limits<double>::quiet_NaN(), 121.5, 1e6), -1);
    QCOMPARE(nearestRoutePoint(route, 31.0, 121.5, -1.0), -1);

    // Across the 180th meridian and one world over, a click is still near.
    const QVector<RoutePoint> pacific{{-16.5, 179.9999, 7}, {-16.5, 179.99, 8}};
    QCOMPARE(nearestRoutePoint(pacific, -16.5, -179.9999, 50.0), 0);
    QCOMPARE(nearestRoutePoint(pacific, -16.5, 179.9999 - 360.0, 50.0), 0);
    QCOMPARE(nearestRoutePoint(pacific, -16.5, 179.99 + 720.0, 50.0), 1);

    // The chart: a click's column, held to the axis.
    QCOMPARE(secondAtChartPosition(250.0, 50.0, 400.0, 0.0, 180.0), qint64(90));
    QCOMPARE(secondAtChartPosition(10.0, 50.0, 400.0, 0.0, 180.0), qint64(0));
    QCOMPARE(secondAtChartPosition(900.0, 50.0, 400.0, 0.0, 180.0), qint64(180));
    QCOMPARE(secondAtChartPosition(250.0, 50.0, 0.0, 0.0, 180.0), qint64(-1));
}

QTEST_APPLESS_MAIN(TestTelemetryTimeline)
#include "tst_telemetrytimeline.moc"
