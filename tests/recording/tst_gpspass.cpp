// The GPS pass on real recordings of all three roads: the MP4 "gps " box,
// the MP4 data track behind the chip maker's handler, and the PID 0x300
// stream of a transport stream; in one call or in its two steps, and
// interrupted by its caller.

#include "files.h"
#include "gpsfixture.h"
#include "gpspass.h"
#include "gpspayload.h"
#include "logcapture.h"
#include "recordinglog.h"
#include "testsupport.h"
#include "watchdog.h"

#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <thread>

using namespace fixture;
using testsupport::newTrack;

Q_DECLARE_METATYPE(fixture::DriveSpec)
Q_DECLARE_METATYPE(fixture::GpsRoad)

namespace {

constexpr int kPassBoundMs = 30000;

DriveSpec driveSpec(int records = 3)
{
    DriveSpec spec;
    spec.records = records;
    return spec;
}

// Each road's recordings end in its suffix.
const QVector<QPair<GpsRoad, QString>> kRoads{
    {GpsRoad::Mp4Box, QStringLiteral("-box.mp4")},
    {GpsRoad::Mp4DataTrack, QStringLiteral("-hisi.mp4")},
    {GpsRoad::TransportStream, QStringLiteral(".ts")}};

// The drives every road carries, by name.
QVector<QPair<QString, DriveSpec>> drives()
{
    DriveSpec invalid = driveSpec(2);
    invalid.check = CheckKind::Invalid;
    DriveSpec noFix = driveSpec();
    noFix.status = 'V';
    // South-west, NaN headings and payload versions 0, 1, 2.
    DriveSpec odd = driveSpec();
    odd.latRef = 'S';
    odd.lonRef = 'W';
    odd.nanHeading = true;
    odd.versions = {0, 1, 2};
    return {{QStringLiteral("valid"), driveSpec()},
            {QStringLiteral("invalid"), invalid},
            {QStringLiteral("nofix"), noFix},
            {QStringLiteral("odd"), odd}};
}

struct Pass
{
    GpsPassResult result;
    qint16 gpsVersion = 0;
};

Pass runPass(const QString &path, GpsTrack &track, qint16 gpsVersionBefore = 0)
{
    Pass pass;
    pass.gpsVersion = gpsVersionBefore;
    pass.result = guarded("gps pass", [&] { return runGpsPass(path, track, pass.gpsVersion); }, kPassBoundMs);
    return pass;
}

} // namespace

class TestGpsPass : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase() { mQuiet.reset(); }
    void roads_data();
    void roads();
    void noGpsStreamTaken_data();
    void noGpsStreamTaken();
    void shortPayloadsAreSkipped();
    void dataTrackFollowsBoxRecords();
    void longDrivesAreReadWhole_data();
    void longDrivesAreReadWhole();
    void containerChoosesRoad_data();
    void containerChoosesRoad();
    void unreadable_data();
    void unreadable();
    void trackAndVersionAreResetForEveryFile();
    void lateGpsStream_data();
    void lateGpsStream();
    void interruptedBeforeReading_data();
    void interruptedBeforeReading();
    void interruptedWhileReading();
    void twoStepsGiveTheWholePass_data();
    void twoStepsGiveTheWholePass();

private:
    QString path(const QString &name) const { return mDir.filePath(name); }
    // Writes path(name): clip (by default the short one of the road) with the drive on the road.
    bool make(GpsRoad road, const QString &name, const DriveSpec &spec, const RemuxOptions &options = RemuxOptions(),
              QString clip = QString());
    void copy(const QString &from, const QString &to)
    {
        QFile::remove(path(to));
        QVERIFY(QFile::copy(path(from), path(to)));
    }
    // At least `bytes` of sound and picture without GPS: the 20 s clip's
    // whole TS packets repeated, a long recording at no encoding cost.
    QByteArray withoutGps(qint64 bytes) const
    {
        const QByteArray once = readBytes(path(QStringLiteral("clip20.ts")));
        return once.repeated(int(bytes / qMax(1, once.size())) + 1);
    }

    QTemporaryDir mDir;
    std::unique_ptr<LogCapture> mQuiet;
};

bool TestGpsPass::make(GpsRoad road, const QString &name, const DriveSpec &spec, const RemuxOptions &options,
                       QString clip)
{
    if (clip.isEmpty())
        clip = road == GpsRoad::TransportStream ? QStringLiteral("clip.ts") : QStringLiteral("clip.mp4");
    QString error;
    if (addGpsRoad(road, path(clip), path(name), gpsPayloads(makeDrive(spec)), &error, GpsBoxOptions(), options))
        return true;
    qWarning("%s: %s", qPrintable(name), qPrintable(error));
    return false;
}

void TestGpsPass::initTestCase()
{
    mQuiet = std::make_unique<LogCapture>("velmora.recording", false);
    installFfmpegLogHandler();
    QLoggingCategory::setFilterRules(QStringLiteral("velmora.ffmpeg=false"));
    QVERIFY(mDir.isValid());
    AvSpec av = avSpec(2.0, 160, 120, 10);
    QString error;
    QVERIFY2(makeAvClip(path(QStringLiteral("clip.mp4")), av, &error), qPrintable(error));
    QVERIFY2(makeAvClip(path(QStringLiteral("clip.ts")), av, &error), qPrintable(error));
    av.seconds = 20.0; // GPS can start after what stream information reads
    QVERIFY2(makeAvClip(path(QStringLiteral("clip20.ts")), av, &error), qPrintable(error));

    for (const auto &[road, suffix] : kRoads) {
        for (const auto &[name, spec] : drives())
            QVERIFY(make(road, name + suffix, spec));
    }
    RemuxOptions gpsFirst;
    gpsFirst.gpsStreamFirst = true;
    QVERIFY(make(GpsRoad::TransportStream, QStringLiteral("gps-first.ts"), driveSpec(), gpsFirst));
    // Every handler the chip maker's, the data track first.
    const QString hisiFirst = path(QStringLiteral("gps-first-hisi.mp4"));
    QVERIFY(make(GpsRoad::Mp4DataTrack, QStringLiteral("gps-first-hisi.mp4"), driveSpec(), gpsFirst));
    QVERIFY2(renameHandlers(hisiFirst, "VideoHandler", "HisiVideoHdl", &error)
                 && renameHandlers(hisiFirst, "SoundHandler", "HisiSoundHdl", &error),
             qPrintable(error));
    RemuxOptions otherPid;
    otherPid.gpsPid = 0x301;
    QVERIFY(make(GpsRoad::TransportStream, QStringLiteral("other-pid.ts"), driveSpec(), otherPid));
    // Stream information reads a transport stream's first 5 s and last 250 kB: the GPS
    // stream runs from 8 s to 11 s, and only the PMTs of that stretch list it.
    RemuxOptions late;
    late.gpsDelay = 8.0;
    late.gpsListedOnlyWhileSent = true;
    QVERIFY(make(GpsRoad::TransportStream, QStringLiteral("late.ts"), driveSpec(4), late, QStringLiteral("clip20.ts")));
    // Many GPS packets in every read of the file: 40 records in 0.8 s.
    DriveSpec dense = driveSpec(40);
    dense.versions = {1};
    RemuxOptions often;
    often.payloadInterval = 0.02;
    QVERIFY(make(GpsRoad::TransportStream, QStringLiteral("dense.ts"), dense, often));

    for (const char *text : {"text.ts", "text.mp4"})
        QVERIFY(writeBytes(path(QLatin1String(text)), QByteArray("not a recording\n").repeated(40)));
    QVERIFY(QDir(mDir.path()).mkdir(QStringLiteral("folder.ts")));
    const QByteArray box = readBytes(path(QStringLiteral("valid-box.mp4")));
    QVERIFY(writeBytes(path(QStringLiteral("cut-box.mp4")), box.left(box.size() - 100)));
}

void TestGpsPass::roads_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<DriveSpec>("spec");
    for (const auto &[road, suffix] : kRoads) {
        for (const auto &[name, spec] : drives())
            QTest::newRow(qPrintable(name + suffix)) << name + suffix << spec;
    }
}

// Records in order, one per second, decoded, the hemispheres as letters.
void TestGpsPass::roads()
{
    QFETCH(QString, file);
    QFETCH(DriveSpec, spec);
    const bool ts = file.endsWith(QLatin1String(".ts"));
    const bool dataTrack = file.endsWith(QLatin1String("-hisi.mp4"));
    auto track = newTrack();
    testsupport::fillWithPreviousFile(*track);
    const Pass pass = runPass(path(file), *track);
    QCOMPARE(pass.result.status, GpsPassResult::Ok);
    QCOMPARE(pass.result.hisiHandler, dataTrack);
    QCOMPARE(pass.result.gpsStream > 0, dataTrack || ts);
    // The check text covers the unsigned latitude, whatever the hemisphere.
    QCOMPARE(track->valid, spec.status == 'A' && spec.check == CheckKind::Valid);
    QCOMPARE(track->count(), spec.records);
    const QVector<CameraRecord> expected = makeDrive(spec);
    for (int i = 0; i < spec.records; ++i) {
        const GpsRecord &r = track->records[i];
        const GpsRecord &want = expected.at(i).raw;
        QCOMPARE(r.status, want.status);
        QCOMPARE(r.second, want.second);
        QCOMPARE(r.latRef, want.latRef);
        QCOMPARE(r.lonRef, want.lonRef);
        QCOMPARE(r.latitude, nmeaToDegrees(want.latitude));
        QCOMPARE(r.longitude, nmeaToDegrees(want.longitude));
        QCOMPARE(r.speed, want.speed);
        // Only the data track makes a NaN heading 0.
        const float heading = dataTrack && std::isnan(want.heading) ? 0.0f : want.heading;
        QVERIFY(r.heading == heading || (std::isnan(r.heading) && std::isnan(heading)));
    }
    // Only a transport stream's payloads carry a version: of 0, 1, 2 the first that is not 0.
    QCOMPARE(int(pass.gpsVersion), ts && !spec.versions.isEmpty() ? 1 : 0);
}

void TestGpsPass::noGpsStreamTaken_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("gpsStream");
    QTest::addColumn<QString>("foundLine"); // what the look for a late stream found
    // Index 0 is never taken for GPS, on either road.
    QTest::newRow("ts, GPS first") << QStringLiteral("gps-first.ts") << 0 << QString();
    QTest::newRow("data track first") << QStringLiteral("gps-first-hisi.mp4") << 0 << QString();
    // Not on PID 0x300: the look stops at the first packet of a third stream ...
    QTest::newRow("data stream on PID 0x301") << QStringLiteral("other-pid.ts") << -1
                                              << QStringLiteral("find gps stream index1: 2");
    // ... or, with none, at the end of the file.
    QTest::newRow("sound and picture only") << QStringLiteral("clip.ts") << -1 << QString();
}

void TestGpsPass::noGpsStreamTaken()
{
    QFETCH(QString, file);
    QFETCH(int, gpsStream);
    QFETCH(QString, foundLine);
    LogCapture log("velmora.recording");
    auto track = newTrack();
    const Pass pass = runPass(path(file), *track);
    QCOMPARE(pass.result.status, GpsPassResult::Ok);
    QCOMPARE(pass.result.gpsStream, gpsStream);
    QCOMPARE(track->count(), 0);
    QVERIFY(!track->valid);
    if (gpsStream == 0)
        return;
    QCOMPARE(log.count(QStringLiteral("not find gps stream infomation,find gps stream again")), 1);
    QCOMPARE(log.hasPrefix(QStringLiteral("find gps stream index1:")), !foundLine.isEmpty());
    QVERIFY2(foundLine.isEmpty() || log.has(foundLine), qPrintable(log.text()));
    // ffmpeg's own PAT carries no type marker.
    QVERIFY(log.has(QStringLiteral("not VK type,use default way")));
}

void TestGpsPass::shortPayloadsAreSkipped()
{
    QVector<QByteArray> payloads = gpsPayloads(makeDrive(driveSpec(4)));
    payloads[1].truncate(100);
    payloads[2].truncate(kGpsPayloadSize - 1);
    QString error;
    const QString file = path(QStringLiteral("short-payloads.ts"));
    QVERIFY2(addGpsRoad(GpsRoad::TransportStream, path(QStringLiteral("clip.ts")), file, payloads, &error),
             qPrintable(error));

    auto track = newTrack();
    runPass(file, *track);
    QCOMPARE(track->count(), 2);
    QVERIFY(track->valid);
    // The fourth record takes the second slot: no gap, no partial record.
    QCOMPARE(track->records[1].second, makeDrive(driveSpec(4)).at(3).raw.second);
}

// Box records first, then the data track's; the data track is read whether
// the box passed its check or not, and decides when it did not.
void TestGpsPass::dataTrackFollowsBoxRecords()
{
    // Box records start at 31°30', data-track records at 22°32'.
    DriveSpec fromTrack = driveSpec();
    fromTrack.startLatitude = 2232.5f;
    QVERIFY(make(GpsRoad::Mp4DataTrack, QStringLiteral("track-only.mp4"), fromTrack));
    for (const CheckKind check : {CheckKind::Valid, CheckKind::Invalid}) {
        DriveSpec inBox = driveSpec();
        inBox.check = check;
        QVERIFY(make(GpsRoad::Mp4Box, QStringLiteral("box-and-track.mp4"), inBox, RemuxOptions(),
                     QStringLiteral("track-only.mp4")));
        LogCapture log("velmora.recording");
        auto track = newTrack();
        const Pass pass = runPass(path(QStringLiteral("box-and-track.mp4")), *track);
        QVERIFY(pass.result.hisiHandler);
        QVERIFY(log.has(QStringLiteral("hisi mp4")));
        QVERIFY(track->valid);
        QCOMPARE(track->count(), 6);
        for (int i = 0; i < 6; ++i)
            QVERIFY(std::fabs(track->records[i].latitude - (i < 3 ? 31.508f : 22.541f)) < 0.01f);
    }
}

void TestGpsPass::longDrivesAreReadWhole_data()
{
    QTest::addColumn<GpsRoad>("road");
    // Three hours, far past the 17 minutes a fixed track of 1024 seconds held.
    QTest::newRow("box") << GpsRoad::Mp4Box;
    QTest::newRow("ts") << GpsRoad::TransportStream;
}

void TestGpsPass::longDrivesAreReadWhole()
{
    QFETCH(GpsRoad, road);
    const bool ts = road == GpsRoad::TransportStream;
    DriveSpec spec = driveSpec(10800);
    spec.versions = {0, 0, 0, 1}; // known only from the fourth record on
    const QVector<CameraRecord> drive = makeDrive(spec);
    const QString file = path(ts ? QStringLiteral("long.ts") : QStringLiteral("long.mp4"));
    RemuxOptions options;
    options.payloadInterval = 0.001;
    QVERIFY(make(road, QFileInfo(file).fileName(), spec, options));

    auto track = newTrack();
    const Pass pass = runPass(file, *track);
    QCOMPARE(track->count(), spec.records);
    QVERIFY(track->valid);
    QCOMPARE(int(pass.gpsVersion), ts ? 1 : 0);
    for (int i = 0; i < spec.records; ++i) {
        const GpsRecord &want = drive.at(i).raw;
        const GpsRecord &got = track->records[size_t(i)];
        QVERIFY2(got.hour == want.hour && got.minute == want.minute && got.second == want.second
                     && got.latitude == nmeaToDegrees(want.latitude),
                 qPrintable(QString::number(i)));
    }
}

// The container decides the road, whatever the name says.
void TestGpsPass::containerChoosesRoad_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("name");

    QTest::newRow("MOV") << QStringLiteral("valid-box.mp4") << QStringLiteral("camera.MOV");
    QTest::newRow("mov, data track") << QStringLiteral("valid-hisi.mp4") << QStringLiteral("hisi.mov");
    QTest::newRow("no suffix") << QStringLiteral("valid-box.mp4") << QStringLiteral("nosuffix");
    QTest::newRow("Ts") << QStringLiteral("valid.ts") << QStringLiteral("mixed.Ts");
    QTest::newRow("TS named mp4") << QStringLiteral("valid.ts") << QStringLiteral("renamed.mp4");
    QTest::newRow("MP4 named ts") << QStringLiteral("valid-box.mp4") << QStringLiteral("renamed.ts");
}

void TestGpsPass::containerChoosesRoad()
{
    QFETCH(QString, source);
    QFETCH(QString, name);
    copy(source, name);
    auto track = newTrack();
    testsupport::fillWithPreviousFile(*track);
    const Pass pass = runPass(path(name), *track, 1);
    QCOMPARE(pass.result.status, GpsPassResult::Ok);
    QVERIFY(track->valid);
    QCOMPARE(track->count(), 3);
    QCOMPARE(int(pass.gpsVersion), 0);
}

// No container found: nothing is tried further.
void TestGpsPass::unreadable_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("text named .ts") << QStringLiteral("text.ts");
    QTest::newRow("missing .ts") << QStringLiteral("missing.ts");
    QTest::newRow("folder named .ts") << QStringLiteral("folder.ts");
    QTest::newRow("text named .mp4") << QStringLiteral("text.mp4");
    QTest::newRow("missing .mp4") << QStringLiteral("missing.mp4");
}

void TestGpsPass::unreadable()
{
    QFETCH(QString, file);
    LogCapture log("velmora.recording");
    auto track = newTrack();
    testsupport::fillWithPreviousFile(*track);
    const Pass pass = runPass(path(file), *track, 1);
    QCOMPARE(pass.result.status, GpsPassResult::OpenFailed);
    QVERIFY(!pass.result.error.isEmpty());
    QVERIFY(!pass.result.hisiHandler);
    QCOMPARE(pass.result.gpsStream, -1);
    QCOMPARE(track->count(), 0);
    QVERIFY(!track->valid);
    QCOMPARE(int(pass.gpsVersion), 0);
    QCOMPARE(log.count(QStringLiteral("can't open the file.")), 1);
    QVERIFY(!log.has(QStringLiteral("hisi mp4")));
}

// One track and one version for a whole session, as in the viewer; the
// version comes back to 0 after each kind of file.
void TestGpsPass::trackAndVersionAreResetForEveryFile()
{
    struct Step
    {
        const char *file;
        bool valid;
        int count;
        int version;
    };
    const Step steps[] = {
        {"odd.ts", true, 3, 1},           {"invalid.ts", false, 2, 0},  {"odd.ts", true, 3, 1},
        {"valid-box.mp4", true, 3, 0},    {"odd.ts", true, 3, 1},       {"cut-box.mp4", false, 0, 0},
        {"valid-hisi.mp4", true, 3, 0},   {"odd.ts", true, 3, 1},       {"invalid-box.mp4", false, 2, 0},
        {"same.mov", true, 3, 0},         {"odd.ts", true, 3, 1},       {"text.ts", false, 0, 0},
        {"invalid-hisi.mp4", false, 2, 0}, {"odd.ts", true, 3, 1},      {"missing.mp4", false, 0, 0},
        {"valid.ts", true, 3, 0},
    };
    copy(QStringLiteral("valid-box.mp4"), QStringLiteral("same.mov"));
    auto track = newTrack();
    qint16 version = 0;
    const int before = openDescriptors();
    for (const Step &step : steps) {
        guarded(step.file, [&] { return runGpsPass(path(QLatin1String(step.file)), *track, version); }, kPassBoundMs);
        QVERIFY2(track->valid == step.valid && track->count() == step.count && version == step.version, step.file);
    }
    // Nothing left open, whether the file was read, refused or missing.
    QCOMPARE(openDescriptors(), before);
}

void TestGpsPass::lateGpsStream_data()
{
    QTest::addColumn<QString>("source"); // empty: sound and picture only
    QTest::addColumn<int>("repeats");    // of kGpsRescanBytes without GPS after it
    QTest::addColumn<int>("records");
    QTest::newRow("late stream") << QStringLiteral("late.ts") << 0 << 4;
    // The search then ends at its bound, past the stream's first packets.
    QTest::newRow("late stream, file longer than the bound") << QStringLiteral("late.ts") << 2 << 4;
    QTest::newRow("no stream, file longer than the bound") << QString() << 2 << 0;
}

// A stream missing from the header is looked for by reading on, as far as
// a bound, and read from its first packet, the one the search stopped at.
void TestGpsPass::lateGpsStream()
{
    QFETCH(QString, source);
    QFETCH(int, repeats);
    QFETCH(int, records);
    QString file = path(source);
    if (repeats > 0) {
        file = path(QStringLiteral("long-%1.ts").arg(records));
        const QByteArray start = source.isEmpty() ? QByteArray() : readBytes(path(source));
        QVERIFY(writeBytes(file, start + withoutGps(repeats * kGpsRescanBytes)));
    }
    LogCapture log("velmora.recording");
    auto track = newTrack();
    const Pass pass = runPass(file, *track);
    QCOMPARE(pass.result.status, GpsPassResult::Ok);
    QCOMPARE(log.count(QStringLiteral("not find gps stream infomation,find gps stream again")), 1);
    QCOMPARE(track->count(), records);
    if (records == 0) {
        QCOMPARE(pass.result.gpsStream, -1);
        QVERIFY(!log.hasPrefix(QStringLiteral("find gps stream index1:")));
        // Looked as far as the bound, and stopped there: stream information adds
        // at most its 5 MB probe and the file's last 250 kB.
        QVERIFY2(pass.result.bytesRead > kGpsRescanBytes, qPrintable(QString::number(pass.result.bytesRead)));
        QVERIFY2(pass.result.bytesRead < 2 * kGpsRescanBytes, qPrintable(QString::number(pass.result.bytesRead)));
        return;
    }
    QVERIFY2(log.has(QStringLiteral("find gps stream index1: 2")), qPrintable(log.text()));
    QCOMPARE(pass.result.gpsStream, 2);
    QVERIFY(track->valid);
    const QVector<CameraRecord> expected = makeDrive(driveSpec(records));
    for (int i = 0; i < records; ++i)
        QCOMPARE(track->records[i].second, expected.at(i).raw.second);
}

void TestGpsPass::interruptedBeforeReading_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("ts") << QStringLiteral("odd.ts");
    QTest::newRow("data track") << QStringLiteral("valid-hisi.mp4");
}

void TestGpsPass::interruptedBeforeReading()
{
    QFETCH(QString, file);
    LogCapture log("velmora.recording");
    auto track = newTrack();
    const std::atomic<bool> stop{true};
    qint16 version = 0;
    const GpsPassResult result =
        guarded("gps pass", [&] { return runGpsPass(path(file), *track, version, &stop); }, kPassBoundMs);
    QVERIFY(result.interrupted);
    // Not a verdict on the file.
    QCOMPARE(result.status, GpsPassResult::Ok);
    QVERIFY(!log.has(QStringLiteral("can't open the file.")));
    QVERIFY(!log.has(QStringLiteral("Could't find stream infomation.")));
    // The open itself stopped before its first read.
    QCOMPARE(result.bytesRead, qint64(0));
    QCOMPARE(track->count(), 0);
}

void TestGpsPass::interruptedWhileReading()
{
    auto track = newTrack();
    std::atomic<bool> stop{false};
    // Another thread sets the flag while the pass decodes the first record;
    // the pass waits for it inside that record's log line.
    LogCapture log("velmora.recording");
    log.onLine(QStringLiteral("1gpsVersion"), [&](const QString &) { std::thread([&] { stop = true; }).join(); });
    qint16 version = 0;
    const GpsPassResult result = guarded(
        "gps pass", [&] { return runGpsPass(path(QStringLiteral("dense.ts")), *track, version, &stop); }, kPassBoundMs);
    QVERIFY(result.interrupted);
    QCOMPARE(result.status, GpsPassResult::Ok);
    // Not one packet more, though the next ones are already read in.
    QCOMPARE(track->count(), 1);
}

void TestGpsPass::twoStepsGiveTheWholePass_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("streams");
    QTest::newRow("box") << QStringLiteral("valid-box.mp4") << false;
    QTest::newRow("data track") << QStringLiteral("valid-hisi.mp4") << true;
    QTest::newRow("ts") << QStringLiteral("odd.ts") << true;
    QTest::newRow("ts, late stream") << QStringLiteral("late.ts") << true;
}

void TestGpsPass::twoStepsGiveTheWholePass()
{
    QFETCH(QString, file);
    QFETCH(bool, streams);
    auto whole = newTrack();
    const Pass expected = runPass(path(file), *whole);
    QVERIFY(whole->count() > 0);

    // What the previous file left behind, for step 1 to clear.
    auto track = newTrack();
    testsupport::fillWithPreviousFile(*track);
    qint16 version = 1;
    GpsPassResult result;
    result.gpsStream = 5;
    QCOMPARE(runGpsPassHeader(path(file), *track, version, result), streams);
    if (streams)
        guarded("pass streams", [&] { runGpsPassStreams(path(file), *track, version, result, nullptr); }, kPassBoundMs);
    QCOMPARE(track->count(), whole->count());
    QCOMPARE(track->valid, whole->valid);
    QVERIFY(std::memcmp(track->records.data(), whole->records.data(), sizeof(GpsRecord) * size_t(whole->count())) == 0);
    QCOMPARE(version, expected.gpsVersion);
    QCOMPARE(result.status, expected.result.status);
    QCOMPARE(result.gpsStream, expected.result.gpsStream);
    QCOMPARE(result.hisiHandler, expected.result.hisiHandler);
    QCOMPARE(result.bytesRead, expected.result.bytesRead);
    QVERIFY(!result.interrupted);
}

QTEST_GUILESS_MAIN(TestGpsPass)
#include "tst_gpspass.moc"
