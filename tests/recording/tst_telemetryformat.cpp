// The date-time of a GPS record and its label: impossible dates, the nine
// hour shift of version 1 recordings, the other clocks a user may choose,
// and independence from the local zone.

#include "telemetryformat.h"

#include <QtTest>

#include <climits>
#include <ctime>

Q_DECLARE_METATYPE(GpsRecord)
Q_DECLARE_METATYPE(TimeOffset)

namespace {

GpsRecord at(int year, int month, int day, int hour, int minute, int second)
{
    GpsRecord record{};
    record.year = year;
    record.month = month;
    record.day = day;
    record.hour = hour;
    record.minute = minute;
    record.second = second;
    record.status = 'A';
    return record;
}

} // namespace

class TestTelemetryFormat : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void label_data();
    void label();
    void recordDateTimeIsUtc();
    void shownInChosenClock_data();
    void shownInChosenClock();
    void storedChoice_data();
    void storedChoice();
    void everyOffsetReadsBack();

private:
    QByteArray mOldTz;
};

// A zone with a daylight-saving change in the rows below: the label is the
// receiver's clock plus a fixed shift, never local-time arithmetic.
void TestTelemetryFormat::initTestCase()
{
    mOldTz = qgetenv("TZ");
    qputenv("TZ", "Europe/Berlin");
    tzset();
}

void TestTelemetryFormat::cleanupTestCase()
{
    if (mOldTz.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", mOldTz);
    tzset();
}

void TestTelemetryFormat::label_data()
{
    QTest::addColumn<GpsRecord>("record");
    QTest::addColumn<int>("gpsVersion");
    QTest::addColumn<QString>("label");

    QTest::newRow("version 2 adds nothing") << at(25, 6, 1, 8, 0, 0) << 2 << QStringLiteral("  2025/06/01 08:00:00");
    QTest::newRow("shift into the new year") << at(25, 12, 31, 23, 30, 0) << 1 << QStringLiteral("  2026/01/01 08:30:00");
    QTest::newRow("shift onto a leap day") << at(24, 2, 28, 20, 0, 0) << 1 << QStringLiteral("  2024/02/29 05:00:00");
    QTest::newRow("leap day 2000") << at(0, 2, 29, 0, 0, 0) << 0 << QStringLiteral("  2000/02/29 00:00:00");
    QTest::newRow("last second of a day") << at(25, 1, 9, 23, 59, 59) << 0 << QStringLiteral("  2025/01/09 23:59:59");
    QTest::newRow("year 9999") << at(7999, 12, 31, 0, 0, 0) << 0 << QStringLiteral("  9999/12/31 00:00:00");
    // Berlin skips 02:00-03:00 on 2025-03-30 and repeats 02:00-03:00 on 2025-10-26.
    QTest::newRow("in the spring gap") << at(25, 3, 30, 2, 30, 0) << 0 << QStringLiteral("  2025/03/30 02:30:00");
    QTest::newRow("shift across the spring gap") << at(25, 3, 29, 17, 30, 0) << 1
                                                 << QStringLiteral("  2025/03/30 02:30:00");
    QTest::newRow("shift across the autumn hour") << at(25, 10, 25, 18, 0, 0) << 1
                                                  << QStringLiteral("  2025/10/26 03:00:00");

    const QString none;
    QTest::newRow("month 0") << at(25, 0, 10, 8, 0, 0) << 0 << none;
    QTest::newRow("month 13") << at(25, 13, 10, 8, 0, 0) << 0 << none;
    QTest::newRow("day 0") << at(25, 6, 0, 8, 0, 0) << 0 << none;
    QTest::newRow("day 32") << at(25, 1, 32, 8, 0, 0) << 0 << none;
    QTest::newRow("31 April") << at(25, 4, 31, 8, 0, 0) << 0 << none;
    QTest::newRow("29 February 2025") << at(25, 2, 29, 8, 0, 0) << 0 << none;
    QTest::newRow("29 February 2100") << at(100, 2, 29, 8, 0, 0) << 0 << none;
    QTest::newRow("hour 24") << at(25, 6, 1, 24, 0, 0) << 0 << none;
    QTest::newRow("hour 24, version 1") << at(25, 6, 1, 24, 0, 0) << 1 << none;
    QTest::newRow("minute 60") << at(25, 6, 1, 8, 60, 0) << 0 << none;
    QTest::newRow("second 60") << at(25, 6, 1, 8, 0, 60) << 0 << none;
    QTest::newRow("negative hour") << at(25, 6, 1, -1, 0, 0) << 0 << none;
    QTest::newRow("year -2000") << at(-2000, 6, 1, 8, 0, 0) << 0 << none;
    QTest::newRow("year 10000") << at(8000, 1, 1, 0, 0, 0) << 0 << none;
    // Garbage from a damaged record: no overflow when 2000 is added (UBSan).
    QTest::newRow("year INT_MAX") << at(INT_MAX, 1, 1, 0, 0, 0) << 0 << none;
    QTest::newRow("year INT_MIN") << at(INT_MIN, 1, 1, 0, 0, 0) << 1 << none;
    QTest::newRow("all INT_MIN") << at(INT_MIN, INT_MIN, INT_MIN, INT_MIN, INT_MIN, INT_MIN) << 1 << none;
    QTest::newRow("all zero") << at(0, 0, 0, 0, 0, 0) << 0 << none;
}

void TestTelemetryFormat::label()
{
    QFETCH(GpsRecord, record);
    QFETCH(int, gpsVersion);
    QFETCH(QString, label);
    const QString actual = gpsDateTimeLabel(record, qint16(gpsVersion));
    QCOMPARE(actual, label);
    QCOMPARE(actual.isEmpty(), label.isNull()); // never a stray two spaces
}

// The export writes the record's own time as UTC, without the shift.
void TestTelemetryFormat::recordDateTimeIsUtc()
{
    const QDateTime when = gpsRecordDateTime(at(25, 3, 30, 2, 30, 15));
    QVERIFY(when.isValid());
    QCOMPARE(when.timeSpec(), Qt::UTC);
    QCOMPARE(when, QDateTime(QDate(2025, 3, 30), QTime(2, 30, 15), Qt::UTC));
    QCOMPARE(when.toString(Qt::ISODate), QStringLiteral("2025-03-30T02:30:15Z"));
    QVERIFY(!gpsRecordDateTime(at(25, 0, 10, 8, 0, 0)).isValid());
    QVERIFY(!gpsRecordDateTime(at(INT_MAX, 1, 1, 0, 0, 0)).isValid());
}

void TestTelemetryFormat::shownInChosenClock_data()
{
    QTest::addColumn<GpsRecord>("record");
    QTest::addColumn<int>("gpsVersion");
    QTest::addColumn<TimeOffset>("offset");
    QTest::addColumn<QString>("iso"); // empty: no date

    const GpsRecord evening = at(25, 6, 1, 20, 0, 0);
    const GpsRecord lastHour = at(25, 12, 31, 23, 30, 0);
    const GpsRecord newYear = at(26, 1, 1, 1, 0, 0);
    QTest::newRow("camera, version 1") << evening << 1 << TimeOffset::camera() << QStringLiteral("2025-06-02T05:00:00+09:00");
    QTest::newRow("camera, version 0") << evening << 0 << TimeOffset::camera() << QStringLiteral("2025-06-01T20:00:00+00:00");
    QTest::newRow("UTC drops the version's shift") << evening << 1 << TimeOffset::utc() << QStringLiteral("2025-06-01T20:00:00+00:00");
    QTest::newRow("+05:30 past midnight") << evening << 1 << TimeOffset::fixed(330) << QStringLiteral("2025-06-02T01:30:00+05:30");
    QTest::newRow("+00:45 into the new year") << lastHour << 0 << TimeOffset::fixed(45) << QStringLiteral("2026-01-01T00:15:00+00:45");
    QTest::newRow("+14:00 into the new year") << lastHour << 2 << TimeOffset::fixed(14 * 60) << QStringLiteral("2026-01-01T13:30:00+14:00");
    QTest::newRow("-03:00 back into the old year") << newYear << 1 << TimeOffset::fixed(-180) << QStringLiteral("2025-12-31T22:00:00-03:00");
    QTest::newRow("-12:00 back onto a leap day") << at(24, 3, 1, 6, 0, 0) << 0 << TimeOffset::fixed(-720) << QStringLiteral("2024-02-29T18:00:00-12:00");
    QTest::newRow("-00:15 keeps its sign") << newYear << 0 << TimeOffset::fixed(-15) << QStringLiteral("2026-01-01T00:45:00-00:15");
    QTest::newRow("impossible date") << at(25, 2, 30, 8, 0, 0) << 0 << TimeOffset::fixed(60) << QString();
    QTest::newRow("past year 9999") << at(7999, 12, 31, 20, 0, 0) << 0 << TimeOffset::fixed(14 * 60) << QString();
    QTest::newRow("before year 1") << at(-1999, 1, 1, 2, 0, 0) << 0 << TimeOffset::fixed(-3 * 60) << QString();
}

void TestTelemetryFormat::shownInChosenClock()
{
    QFETCH(GpsRecord, record);
    QFETCH(int, gpsVersion);
    QFETCH(TimeOffset, offset);
    QFETCH(QString, iso);
    const QDateTime shown = shownDateTime(record, qint16(gpsVersion), offset);
    QCOMPARE(isoDateTimeWithOffset(shown), iso);
    // The labels show the same wall time; the panel's names the clock too.
    const QString wallTime = iso.left(19).replace(QLatin1Char('-'), QLatin1Char('/')).replace(QLatin1Char('T'), QLatin1Char(' '));
    const QString label = gpsDateTimeLabel(record, qint16(gpsVersion), offset);
    QCOMPARE(label, iso.isEmpty() ? QString() : QStringLiteral("  ") + wallTime);
    const QString clock = iso.endsWith(QLatin1String("+00:00")) ? QStringLiteral("UTC") : iso.right(6);
    QCOMPARE(dateTimeLabel(shown), iso.isEmpty() ? QString() : wallTime + QLatin1Char(' ') + clock);
}

// sysConfig.ini is anyone's to edit: what is no choice is the camera's rule,
// an offset beyond the zones in use is held to them.
void TestTelemetryFormat::storedChoice_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("taken");

    QTest::newRow("missing") << QString() << QStringLiteral("camera");
    QTest::newRow("utc, any case, spaces") << QStringLiteral("  UTC ") << QStringLiteral("utc");
    QTest::newRow("camera") << QStringLiteral("Camera") << QStringLiteral("camera");
    QTest::newRow("offset") << QStringLiteral("+05:30") << QStringLiteral("+05:30");
    QTest::newRow("negative offset") << QStringLiteral("-09:30") << QStringLiteral("-09:30");
    QTest::newRow("one hour digit") << QStringLiteral("-3:00") << QStringLiteral("-03:00");
    QTest::newRow("above +14:00") << QStringLiteral("+23:45") << QStringLiteral("+14:00");
    QTest::newRow("below -12:00") << QStringLiteral("-9999:00") << QStringLiteral("-12:00");
    QTest::newRow("off the quarter, down") << QStringLiteral("+05:07") << QStringLiteral("+05:00");
    QTest::newRow("off the quarter, up") << QStringLiteral("-05:08") << QStringLiteral("-05:15");
    QTest::newRow("too many hour digits") << QStringLiteral("+99999999999:00") << QStringLiteral("camera");
    QTest::newRow("minute 60") << QStringLiteral("+05:60") << QStringLiteral("camera");
    QTest::newRow("no sign") << QStringLiteral("05:30") << QStringLiteral("camera");
    QTest::newRow("no minutes") << QStringLiteral("+9") << QStringLiteral("camera");
    QTest::newRow("unicode minus") << QStringLiteral("\u221205:00") << QStringLiteral("camera");
    QTest::newRow("word") << QStringLiteral("Asia/Tokyo") << QStringLiteral("camera");
    QTest::newRow("trailing text") << QStringLiteral("+05:30x") << QStringLiteral("camera");
}

void TestTelemetryFormat::storedChoice()
{
    QFETCH(QString, stored);
    QFETCH(QString, taken);
    QCOMPARE(TimeOffset::fromSetting(stored).toText(), taken);
}

// Each quarter hour in the range is its own choice and reads back as itself.
void TestTelemetryFormat::everyOffsetReadsBack()
{
    for (int minutes = -12 * 60; minutes <= 14 * 60; minutes += 15) {
        const TimeOffset offset = TimeOffset::fixed(minutes);
        QCOMPARE(offset.minutes, minutes);
        QCOMPARE(TimeOffset::fromText(offset.toText()).value_or(TimeOffset::camera()), offset);
        QCOMPARE(offset.secondsEastOfUtc(1), minutes * 60); // a fixed offset knows no camera rule
    }
}

QTEST_APPLESS_MAIN(TestTelemetryFormat)
#include "tst_telemetryformat.moc"
