// Which recordings make one drive, and the drive's one timeline.

#include "trip.h"
#include "tripscanner.h"

#include <QtTest>

#include <cmath>

namespace {

constexpr qint64 kSecond = 1000000;
const qint64 kNoon = QDateTime(QDate(2025, 6, 1), QTime(12, 0), Qt::UTC).toMSecsSinceEpoch();

TripPart part(const QString &path, qint64 startMs, qint64 seconds)
{
    TripPart p;
    p.path = path;
    p.startMs = startMs;
    p.durationUs = seconds * kSecond;
    return p;
}

// A checked track of `count` fixes, the first at `start`, after `noFix` seconds without one.
std::shared_ptr<GpsTrack> track(const QDateTime &start, int count, int noFix = 0, float latitude = 31.0f)
{
    auto t = std::make_shared<GpsTrack>();
    t->valid = true;
    for (int i = 0; i < noFix + count; ++i) {
        GpsRecord r{};
        const QDateTime when = start.addSecs(i);
        r.status = i < noFix ? 'V' : 'A';
        // Before its fix a receiver's clock reads its default date.
        const QDateTime shown = i < noFix ? QDateTime(QDate(2000, 1, 1), QTime(0, 0), Qt::UTC) : when;
        r.year = shown.date().year() - 2000;
        r.month = shown.date().month();
        r.day = shown.date().day();
        r.hour = shown.time().hour();
        r.minute = shown.time().minute();
        r.second = shown.time().second();
        r.latitude = latitude;
        t->records.push_back(r);
    }
    return t;
}

} // namespace

class TestTrip : public QObject
{
    Q_OBJECT

private slots:
    void groupingFromTimes();
    void oneTimelineOverTheParts();
};

void TestTrip::groupingFromTimes()
{
    // The start comes from the first fix, less the seconds before it; one
    // that just turned midnight at a year's end stays exact.
    const QDateTime newYear(QDate(2026, 1, 1), QTime(0, 0, 0), Qt::UTC);
    QCOMPARE(trackStartMs(*track(newYear.addSecs(-2), 3, 2)), newYear.toMSecsSinceEpoch() - 2000);
    auto forged = track(newYear, 3);
    forged->valid = false;
    QCOMPARE(trackStartMs(*forged), qint64(-1));

    // Within 5 s either way follows on; a second more, or an unknown time, does not.
    const TripPart first = part("a", kNoon, 60);
    QVERIFY(followsOn(first, part("b", kNoon + 65000, 60)));
    QVERIFY(followsOn(first, part("b", kNoon + 55000, 60)));
    QVERIFY(!followsOn(first, part("b", kNoon + 65001, 60)));
    QVERIFY(!followsOn(first, part("b", -1, 60)));
    QVERIFY(!followsOn(part("a", kNoon, 0), part("b", kNoon, 60)));

    // The run around the chosen entry, both ways, and no further than a break.
    const QHash<QString, TripPart> listed{
        {"0", part("0", kNoon - 600000, 60)}, {"1", part("1", kNoon, 60)}, {"2", part("2", kNoon + 60500, 60)},
        {"3", part("3", kNoon + 121000, 60)}, {"4", part("4", kNoon + 400000, 60)}};
    const QStringList files{"0", "1", "2", "3", "4"};
    int reads = 0;
    const auto read = [&](const QString &path) {
        ++reads;
        return listed.value(path);
    };
    const Trip trip = TripScanner::findTrip(files, 2, read, nullptr);
    QCOMPARE(trip.partCount(), 3);
    QCOMPARE(trip.part(0).path, QStringLiteral("1"));
    QCOMPARE(trip.part(2).path, QStringLiteral("3"));
    QCOMPARE(reads, 5); // each side stops at the first that does not follow on
    QCOMPARE(TripScanner::findTrip(files, 4, read, nullptr).partCount(), 1);
    QCOMPARE(TripScanner::findTrip(files, 5, read, nullptr).partCount(), 0);
    std::atomic<bool> stopped{true};
    QCOMPARE(TripScanner::findTrip(files, 2, read, &stopped).partCount(), 1);
}

void TestTrip::oneTimelineOverTheParts()
{
    const QDateTime noon = QDateTime::fromMSecsSinceEpoch(kNoon, Qt::UTC);
    TripPart a = part("a", kNoon, 0);
    a.durationUs = 2500000; // 2.5 s
    a.track = track(noon, 3, 0, 31.0f);
    TripPart b = part("b", kNoon + 2500, 2);
    b.track = track(noon.addSecs(2), 2, 0, 32.0f);
    auto forged = track(noon.addSecs(5), 3, 0, 33.0f);
    forged->valid = false;
    TripPart c = part("c", kNoon + 4500, 3);
    c.track = forged;
    c.gpsVersion = 1;
    const Trip trip({a, b, c});

    QCOMPARE(trip.lengthUs(), qint64(7500000));
    QCOMPARE(trip.offsetUs(2), qint64(4500000));
    qint64 local = -1;
    QCOMPARE(trip.partAt(2499999, &local), 0);
    QCOMPARE(local, qint64(2499999));
    QCOMPARE(trip.partAt(2500000, &local), 1);
    QCOMPARE(local, qint64(0));
    QCOMPARE(trip.partAt(99 * kSecond, &local), 2); // held to the end
    QCOMPARE(local, qint64(3000000));
    QCOMPARE(trip.partAt(-5, &local), 0);
    QCOMPARE(trip.indexOf("b"), 1);

    // Second i of the drive is record i: a's third record would run into
    // b's first second and gives way; the forged part shows nothing.
    qint16 version = -1;
    const auto combined = trip.combinedTrack(&version);
    QVERIFY(combined && combined->valid);
    QCOMPARE(combined->count(), 8);
    QCOMPARE(version, qint16(0));
    QCOMPARE(combined->records[2].latitude, 31.0f);
    QCOMPARE(combined->records[3].latitude, 32.0f);
    QCOMPARE(combined->records[4].latitude, 32.0f);
    for (int i = 5; i < 8; ++i) {
        QCOMPARE(combined->records[i].status, '\0');
        QVERIFY(std::isnan(combined->records[i].speed)); // no speed for the chart to draw
    }
    QVERIFY(!Trip({c}).combinedTrack(&version));
}

QTEST_APPLESS_MAIN(TestTrip)
#include "tst_trip.moc"
