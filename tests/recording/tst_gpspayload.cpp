// GPS payload decoding: the authenticity test, the version field, the
// position conversion and the bounds of payload and track.

#include "gpsfixture.h"
#include "gpspayload.h"
#include "logcapture.h"
#include "testsupport.h"

#include <QtTest>

#include <clocale>
#include <cmath>
#include <limits>
#include <memory>

using testsupport::newTrack;

Q_DECLARE_METATYPE(GpsPayloadVariant)

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

fixture::CameraRecord cameraRecord(char status, float latitude, const QByteArray &checkText, quint16 version = 0)
{
    fixture::CameraRecord record;
    GpsRecord &r = record.raw;
    r.hour = 8;
    r.minute = 15;
    r.second = 30;
    r.year = 25;
    r.month = 6;
    r.day = 1;
    r.status = status;
    r.latRef = 'N';
    r.lonRef = 'E';
    r.latitude = latitude;
    r.longitude = 12130.0f;
    r.speed = 12.5f;
    r.heading = 90.0f;
    record.checkText = checkText;
    record.version = version;
    return record;
}

fixture::CameraRecord validRecord(float latitude = 3130.5f)
{
    fixture::CameraRecord record = cameraRecord('A', latitude, QByteArray());
    record.checkText = fixture::validCheckTextFor(record.raw);
    return record;
}

// Decodes from a heap copy of exactly the payload's size, so that any read
// past its end is an ASan report rather than a silent read of the next bytes.
bool decode(const QByteArray &payload, GpsPayloadVariant variant, GpsTrack &track, qint16 &gpsVersion)
{
    std::unique_ptr<uint8_t[]> exact(new uint8_t[size_t(payload.size())]);
    std::memcpy(exact.get(), payload.constData(), size_t(payload.size()));
    return decodeGpsPayload(exact.get(), size_t(payload.size()), variant, track, gpsVersion);
}

bool decode(const fixture::CameraRecord &record, GpsPayloadVariant variant, GpsTrack &track, qint16 &gpsVersion)
{
    return decode(fixture::gpsPayload(record), variant, track, gpsVersion);
}

bool near(float actual, double expected, double tolerance = 1e-5)
{
    return std::fabs(double(actual) - expected) < tolerance;
}

constexpr GpsPayloadVariant kVariants[] = {GpsPayloadVariant::TransportStream, GpsPayloadVariant::Mp4DataTrack};

} // namespace

class TestGpsPayload : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { mQuiet = std::make_unique<LogCapture>("velmora.recording", false); }
    void cleanupTestCase() { mQuiet.reset(); }
    void recordIsHeldAsWritten();
    void checkWindow_data();
    void checkWindow();
    void checkNumberIgnoresProcessLocale();
    void onlyStatusAValidates_data();
    void onlyStatusAValidates();
    void validOnceStaysValid();
    void emptyCheckTextIsNotTested_data();
    void emptyCheckTextIsNotTested();
    void transportStreamVersion_data();
    void transportStreamVersion();
    void nanHeading_data();
    void nanHeading();
    void shortPayloadAppendsNothing_data();
    void shortPayloadAppendsNothing();
    void boxRoadTestsOnlyWhenAsked();
    void nmeaToDegrees_data();
    void nmeaToDegrees();
    void nmeaToDegreesOutOfRange_data();
    void nmeaToDegreesOutOfRange();

private:
    std::unique_ptr<LogCapture> mQuiet;
};

// A valid record makes the track valid: latitude and longitude become
// degrees, unsigned whatever the hemisphere, the rest is held as written.
// A packet may carry more than one record's worth; only the fixed offsets count.
void TestGpsPayload::recordIsHeldAsWritten()
{
    for (GpsPayloadVariant variant : kVariants) {
        auto track = newTrack();
        qint16 version = 0;
        fixture::CameraRecord southWest = validRecord(3352.5f);
        southWest.raw.longitude = 15112.6f;
        southWest.raw.latRef = 'S';
        southWest.raw.lonRef = 'W';
        const QByteArray payload =
            fixture::gpsPayload(southWest) + fixture::gpsPayload(cameraRecord('V', 4000.0f, QByteArray()));
        QVERIFY(decode(payload, variant, *track, version));
        QCOMPARE(track->count(), 1);
        QVERIFY(track->valid);
        GpsRecord r = track->records[0];
        QVERIFY2(near(r.latitude, 33.875), qPrintable(QString::number(double(r.latitude), 'f', 7)));
        QVERIFY2(near(r.longitude, 151.21, 1e-4), qPrintable(QString::number(double(r.longitude), 'f', 7)));
        r.latitude = southWest.raw.latitude;
        r.longitude = southWest.raw.longitude;
        QVERIFY(std::memcmp(&r, &southWest.raw, sizeof r) == 0);
    }
}

void TestGpsPayload::checkWindow_data()
{
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<float>("latitude");
    QTest::addColumn<bool>("valid");

    QTest::newRow("exact") << QByteArray("3130.5000") << 3130.5f << true;
    QTest::newRow("0.9 below") << QByteArray("3129.6") << 3130.5f << true;
    QTest::newRow("0.9 above") << QByteArray("3131.4") << 3130.5f << true;
    QTest::newRow("1.0 below") << QByteArray("3129.5") << 3130.5f << false;
    QTest::newRow("1.0 above") << QByteArray("3131.5") << 3130.5f << false;
    QTest::newRow("negative") << QByteArray("-3130.5") << 3130.5f << false;
    // Compared with the stored ddmm.mmmm value, not with decimal degrees.
    QTest::newRow("decimal degrees") << QByteArray("31.508333") << 3130.5f << false;
    // Text that is no number reads as 0.
    QTest::newRow("not a number") << QByteArray("north") << 3130.5f << false;
    QTest::newRow("not a number near 0") << QByteArray("north") << 0.5f << true;
    QTest::newRow("nan text") << QByteArray("nan") << 3130.5f << false;
    QTest::newRow("inf text") << QByteArray("inf") << 3130.5f << false;
    // The number at the start counts, as strtod reads it; what follows in the
    // block does not: NUL, space or PKCS#7 padding, stray letters.
    QTest::newRow("bytes after a NUL") << QByteArray("3130.5\0\x05\x05\x05\x05\x05", 12) << 3130.5f << true;
    QTest::newRow("space padding") << QByteArray("3130.5000       ") << 3130.5f << true;
    QTest::newRow("PKCS#7 padding") << QByteArray("3130.5000\x07\x07\x07\x07\x07\x07\x07") << 3130.5f << true;
    QTest::newRow("exponent, padded") << QByteArray("3.1305e3\x08\x08\x08\x08\x08\x08\x08\x08") << 3130.5f << true;
    QTest::newRow("exponent without digits") << QByteArray("3130.5e\x09") << 3130.5f << true;
    QTest::newRow("leading space and sign") << QByteArray(" +3130.5") << 3130.5f << true;
    QTest::newRow("padding before the number") << QByteArray("\x07" "3130.5") << 3130.5f << false;
    // A decimal comma ends the number: 3130 is 1.6 away.
    QTest::newRow("decimal comma") << QByteArray("3130,9") << 3131.6f << false;
}

void TestGpsPayload::checkWindow()
{
    QFETCH(QByteArray, plain);
    QFETCH(float, latitude);
    QFETCH(bool, valid);
    for (GpsPayloadVariant variant : kVariants) {
        auto track = newTrack();
        qint16 version = 0;
        QVERIFY(decode(cameraRecord('A', latitude, fixture::encryptCheckText(plain)), variant, *track, version));
        QCOMPARE(track->valid, valid);
        QCOMPARE(track->count(), 1);
    }
}

// The viewer runs in the user's locale; a decimal comma there must not cut
// the camera's "3130.9" to 3130.
void TestGpsPayload::checkNumberIgnoresProcessLocale()
{
    const QByteArray previous = std::setlocale(LC_NUMERIC, nullptr);
    const char *commaLocale = nullptr;
    for (const char *name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "ru_RU.UTF-8", "de_DE"}) {
        if (std::setlocale(LC_NUMERIC, name) && std::localeconv()->decimal_point[0] == ',') {
            commaLocale = name;
            break;
        }
    }
    if (!commaLocale) {
        std::setlocale(LC_NUMERIC, previous.constData());
        QSKIP("no locale with a decimal comma is installed");
    }
    auto track = newTrack();
    qint16 version = 0;
    const bool decoded = decode(cameraRecord('A', 3131.6f, fixture::encryptCheckText("3130.9")),
                                GpsPayloadVariant::TransportStream, *track, version);
    std::setlocale(LC_NUMERIC, previous.constData());
    QVERIFY(decoded);
    QVERIFY2(track->valid, commaLocale);
}

void TestGpsPayload::onlyStatusAValidates_data()
{
    QTest::addColumn<char>("status");
    QTest::newRow("V") << 'V';
    QTest::newRow("lower-case a") << 'a';
    QTest::newRow("NUL") << '\0';
}

void TestGpsPayload::onlyStatusAValidates()
{
    QFETCH(char, status);
    for (GpsPayloadVariant variant : kVariants) {
        auto track = newTrack();
        qint16 version = 0;
        fixture::CameraRecord record = validRecord();
        record.raw.status = status;
        for (int i = 0; i < 3; ++i)
            QVERIFY(decode(record, variant, *track, version));
        QVERIFY(!track->valid);
        // Stored all the same, converted, with the status as written.
        QCOMPARE(track->count(), 3);
        QCOMPARE(track->records[2].status, status);
        QVERIFY(near(track->records[2].latitude, 31.508333));
    }
}

// A later record can make the track valid; once valid it stays so.
void TestGpsPayload::validOnceStaysValid()
{
    fixture::CameraRecord noFix = validRecord(3130.5f);
    noFix.raw.status = 'V';
    for (GpsPayloadVariant variant : kVariants) {
        LogCapture log("velmora.recording");
        auto track = newTrack();
        qint16 version = 0;
        QVERIFY(decode(cameraRecord('A', 3130.5f, fixture::encryptCheckText("1000")), variant, *track, version));
        QVERIFY(!track->valid);
        QVERIFY(decode(validRecord(3130.6f), variant, *track, version));
        QVERIFY(track->valid);
        QVERIFY(decode(cameraRecord('A', 3130.5f, fixture::encryptCheckText("4444.4")), variant, *track, version));
        QVERIFY(decode(noFix, variant, *track, version));
        QVERIFY(track->valid);
        QCOMPARE(track->count(), 4);
        // Once valid nothing more is decrypted: the data-track road logs every
        // number it tests, and the wrong one after never shows.
        QVERIFY(!log.has(QStringLiteral("4444.4")));
        if (variant == GpsPayloadVariant::Mp4DataTrack)
            QVERIFY2(log.has(QStringLiteral("1000")) && log.has(QStringLiteral("3130.6")), qPrintable(log.text()));
    }
}

void TestGpsPayload::emptyCheckTextIsNotTested_data()
{
    QTest::addColumn<QByteArray>("checkField");
    // Had it been tested, the empty text would decrypt to no number, read as
    // 0 and pass against a latitude below 1.
    QTest::newRow("all zero") << QByteArray(32, '\0');
    QByteArray leadingNul = fixture::encryptCheckText("0.5");
    leadingNul[0] = '\0';
    QTest::newRow("first byte NUL") << leadingNul;
}

void TestGpsPayload::emptyCheckTextIsNotTested()
{
    QFETCH(QByteArray, checkField);
    QByteArray payload = fixture::gpsPayload(cameraRecord('A', 0.5f, QByteArray()));
    payload.replace(kGpsPayloadCheckTextOffset, kGpsCheckTextSize, checkField);
    QCOMPARE(payload.size(), kGpsPayloadSize);
    for (GpsPayloadVariant variant : kVariants) {
        auto track = newTrack();
        qint16 version = 0;
        QVERIFY(decode(payload, variant, *track, version));
        QCOMPARE(track->count(), 1);
        QVERIFY(!track->valid);
        QVERIFY(near(track->records[0].latitude, 0.5 / 60.0));
        // It does not keep a later record from passing.
        QVERIFY(decode(validRecord(), variant, *track, version));
        QVERIFY(track->valid);
    }
}

void TestGpsPayload::transportStreamVersion_data()
{
    QTest::addColumn<GpsPayloadVariant>("variant");
    QTest::addColumn<QVector<int>>("versions");
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("expected");

    QTest::newRow("0,1,2") << GpsPayloadVariant::TransportStream << QVector<int>{0, 1, 2} << 0 << 1;
    QTest::newRow("all 0") << GpsPayloadVariant::TransportStream << QVector<int>{0, 0, 0} << 0 << 0;
    QTest::newRow("2,1") << GpsPayloadVariant::TransportStream << QVector<int>{2, 1} << 0 << 2;
    QTest::newRow("little-endian 256") << GpsPayloadVariant::TransportStream << QVector<int>{0x0100} << 0 << 256;
    QTest::newRow("already known") << GpsPayloadVariant::TransportStream << QVector<int>{2} << 1 << 1;
    QTest::newRow("data track has none") << GpsPayloadVariant::Mp4DataTrack << QVector<int>{1, 2} << 0 << 0;
}

void TestGpsPayload::transportStreamVersion()
{
    QFETCH(GpsPayloadVariant, variant);
    QFETCH(QVector<int>, versions);
    QFETCH(int, before);
    QFETCH(int, expected);
    LogCapture log("velmora.recording");
    auto track = newTrack();
    qint16 version = qint16(before);
    for (int v : versions)
        QVERIFY(decode(cameraRecord('A', 3130.5f, QByteArray(), quint16(v)), variant, *track, version));
    QCOMPARE(int(version), expected);
    QCOMPARE(track->count(), versions.size());
    const int logged = before == 0 && expected != 0 ? 1 : 0;
    QCOMPARE(log.count(QStringLiteral("1gpsVersion %1").arg(expected)), logged);
}

void TestGpsPayload::nanHeading_data()
{
    QTest::addColumn<GpsPayloadVariant>("variant");
    QTest::addColumn<float>("heading");
    QTest::addColumn<float>("stored");
    QTest::newRow("NaN, ts keeps it") << GpsPayloadVariant::TransportStream << kNaN << kNaN;
    QTest::newRow("NaN, mp4 makes it 0") << GpsPayloadVariant::Mp4DataTrack << kNaN << 0.0f;
    QTest::newRow("inf, mp4 keeps it") << GpsPayloadVariant::Mp4DataTrack << kInf << kInf;
    QTest::newRow("271.5, mp4") << GpsPayloadVariant::Mp4DataTrack << 271.5f << 271.5f;
}

void TestGpsPayload::nanHeading()
{
    QFETCH(GpsPayloadVariant, variant);
    QFETCH(float, heading);
    QFETCH(float, stored);
    auto track = newTrack();
    qint16 version = 0;
    fixture::CameraRecord record = validRecord();
    record.raw.heading = heading;
    QVERIFY(decode(record, variant, *track, version));
    const float actual = track->records[0].heading;
    if (std::isnan(stored))
        QVERIFY(std::isnan(actual));
    else
        QCOMPARE(actual, stored);
    QVERIFY(track->valid); // the heading plays no part in the test
}

void TestGpsPayload::shortPayloadAppendsNothing_data()
{
    QTest::addColumn<int>("size");
    QTest::newRow("empty") << 0;
    QTest::newRow("version only") << 2;
    QTest::newRow("up to the check text") << kGpsPayloadCheckTextOffset;
    QTest::newRow("up to the record") << kGpsPayloadRecordOffset;
    QTest::newRow("one byte short") << kGpsPayloadSize - 1;
}

void TestGpsPayload::shortPayloadAppendsNothing()
{
    QFETCH(int, size);
    for (GpsPayloadVariant variant : kVariants) {
        auto track = newTrack();
        qint16 version = 0;
        QVERIFY(decode(validRecord(), variant, *track, version));
        const GpsRecord before = track->records[0];
        const QByteArray full = fixture::gpsPayload(validRecord(3200.0f));
        QVERIFY(!decode(full.left(size), variant, *track, version));
        QCOMPARE(track->count(), 1);
        QVERIFY(std::memcmp(&before, &track->records[0], sizeof before) == 0);
    }
    auto track = newTrack();
    qint16 version = 0;
    QVERIFY(!decodeGpsPayload(nullptr, size_t(kGpsPayloadSize), GpsPayloadVariant::TransportStream, *track, version));
    QCOMPARE(track->count(), 0);
}

// The "gps " box road shares the test but runs it only while unverified.
void TestGpsPayload::boxRoadTestsOnlyWhenAsked()
{
    const fixture::CameraRecord record = validRecord(3130.5f);
    const QByteArray check = record.checkText;

    GpsRecord tested = record.raw;
    QVERIFY(verifyAndConvertRecord(tested, check.constData(), true, false));
    QVERIFY(near(tested.latitude, 31.508333));

    GpsRecord untested = record.raw;
    QVERIFY(!verifyAndConvertRecord(untested, check.constData(), false, false));
    QVERIFY(near(untested.latitude, 31.508333)); // converted all the same
    QVERIFY(near(untested.longitude, 121.5));
}

void TestGpsPayload::nmeaToDegrees_data()
{
    QTest::addColumn<float>("value");
    QTest::addColumn<double>("degrees");
    QTest::newRow("3130.5") << 3130.5f << 31.508333;
    QTest::newRow("zero") << 0.0f << 0.0;
    QTest::newRow("minutes only") << 30.0f << 0.5;
    QTest::newRow("just under a degree") << 99.99f << 1.6665;
    QTest::newRow("whole degree") << 100.0f << 1.0;
    QTest::newRow("180") << 18000.0f << 180.0;
    // Truncation goes toward zero.
    QTest::newRow("negative") << -2232.5f << -22.541666;
}

void TestGpsPayload::nmeaToDegrees()
{
    QFETCH(float, value);
    QFETCH(double, degrees);
    const float result = ::nmeaToDegrees(value);
    QVERIFY2(near(result, degrees, 1e-4), qPrintable(QString::number(double(result), 'f', 7)));
}

// Garbage from a damaged file: no undefined conversion (UBSan), and huge
// values keep their magnitude instead of wrapping through an integer.
void TestGpsPayload::nmeaToDegreesOutOfRange_data()
{
    QTest::addColumn<float>("value");
    QTest::newRow("NaN") << kNaN;
    QTest::newRow("+inf") << kInf;
    QTest::newRow("-inf") << -kInf;
    QTest::newRow("3e9, past int32 degrees*100") << 3.0e9f;
    QTest::newRow("max") << std::numeric_limits<float>::max();
    QTest::newRow("lowest") << std::numeric_limits<float>::lowest();
    QTest::newRow("denormal") << std::numeric_limits<float>::denorm_min();
}

void TestGpsPayload::nmeaToDegreesOutOfRange()
{
    QFETCH(float, value);
    const float result = ::nmeaToDegrees(value);
    if (!std::isfinite(value)) {
        QVERIFY(!std::isfinite(result));
        return;
    }
    if (std::fabs(value) < 1.0f) {
        QVERIFY(std::fabs(double(result) - double(value) / 60.0) < 1e-30);
        return;
    }
    // Whole degrees dominate: within a part in a thousand of value / 100.
    const double expected = double(value) / 100.0;
    if (std::isfinite(result)) {
        QVERIFY2(std::fabs(double(result) - expected) <= std::fabs(expected) * 1e-3,
                 qPrintable(QString::number(double(result), 'g', 9)));
    } else {
        // Only at the very edge of the float range may the minutes overflow.
        QVERIFY(std::fabs(value) > 1e38f);
    }
}

QTEST_APPLESS_MAIN(TestGpsPayload)
#include "tst_gpspayload.moc"
