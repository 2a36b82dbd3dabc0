// The GPS pass on real recordings of all three roads: the MP4 "gps " box,
// the MP4 data track behind the chip maker's handler, and the PID 0x300
// stream of a transport stream; in one call or in its two steps, and
// interrupted by its caller.

#include "gpsfixture.h"
#include "gpspass.h"
#include "gpspayload.h"
#include "recordinglog.h"
#include "testsupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <cmath>
#include <cstring>
#include <functional>
#include <thread>
#include <utility>

using namespace fixture;
using testsupport::finishesWithin;
using testsupport::newTrack;
using testsupport::RecordingLog;

namespace {

DriveSpec driveSpec(int records = 3)
{
    DriveSpec spec;
    spec.records = records;
    return spec;
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
    pass.result = finishesWithin(30, [&] { return runGpsPass(path, track, pass.gpsVersion); });
    return pass;
}

// While alive, runs `action` on the logging thread the first time a line
// starting with `prefix` is logged, before the line goes on.
class OnLogLine
{
public:
    OnLogLine(const QString &prefix, std::function<void()> action)
    {
        sPrefix = prefix;
        sAction = std::move(action);
        sPrevious = qInstallMessageHandler(&OnLogLine::handler);
    }
    ~OnLogLine()
    {
        qInstallMessageHandler(sPrevious);
        sAction = nullptr;
    }
    OnLogLine(const OnLogLine &) = delete;
    OnLogLine &operator=(const OnLogLine &) = delete;

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &text)
    {
        if (sAction && text.startsWith(sPrefix))
            std::exchange(sAction, nullptr)();
        if (sPrevious)
            sPrevious(type, context, text);
    }
    static inline QString sPrefix;
    static inline std::function<void()> sAction;
    static inline QtMessageHandler sPrevious = nullptr;
};

} // namespace

class TestGpsPass : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void roads_data();
    void roads();
    void hemispheresStayLetters_data();
    void hemispheresStayLetters();
    void transportStreamVersion_data();
    void transportStreamVersion();
    void nanHeading_data();
    void nanHeading();
    void gpsStreamAtIndexZeroIsIgnored_data();
    void gpsStreamAtIndexZeroIsIgnored();
    void transportStreamWithoutGpsPid_data();
    void transportStreamWithoutGpsPid();
    void shortPayloadsAreSkipped();
    void dataTrackAppendsAfterBoxRecords();
    void dataTrackValidatesWhenBoxDoesNot();
    void longDrivesAreReadWhole_data();
    void longDrivesAreReadWhole();
    void containerChoosesRoad_data();
    void containerChoosesRoad();
    void unreadable_data();
    void unreadable();
    void trackIsResetForEveryFile();
    void gpsVersionIsResetForEveryFile();
    void lateGpsStreamIsReadFromItsStart_data();
    void lateGpsStreamIsReadFromItsStart();
    void lookingForALateStreamIsBounded();
    void interruptedBeforeReading_data();
    void interruptedBeforeReading();
    void interruptedWhileReading();
    void twoStepsGiveTheWholePass_data();
    void twoStepsGiveTheWholePass();

private:
    QString path(const QString &name) const { return mDir.filePath(name); }
    // Each writes path(name) and fails the whole class when it cannot.
    void box(const QString &name, const DriveSpec &spec);
    void ts(const QString &name, const DriveSpec &spec, RemuxOptions options = RemuxOptions());
    void hisi(const QString &name, const DriveSpec &spec);
    void copy(const QString &from, const QString &to);
    QByteArray readAll(const QString &name) const
    {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    // At least `bytes` of sound and picture without GPS: the 20 s clip's
    // whole TS packets repeated, a long recording at no encoding cost.
    QByteArray withoutGps(qint64 bytes) const
    {
        const QByteArray once = readAll(QStringLiteral("clip20.ts"));
        return once.repeated(int(bytes / qMax(1, once.size())) + 1);
    }
    void failed(const QString &name, const QString &error)
    {
        mReady = false;
        qWarning("%s: %s", qPrintable(name), qPrintable(error));
    }

    QTemporaryDir mDir;
    QString mClipMp4;
    QString mClipTs;
    QString mLongClipTs; // 20 s: GPS can start after what stream information reads
    bool mReady = false;
};

void TestGpsPass::box(const QString &name, const DriveSpec &spec)
{
    QString error;
    if (!addGpsBox(mClipMp4, path(name), gpsPayloads(makeDrive(spec)), GpsBoxOptions(), &error))
        failed(name, error);
}

void TestGpsPass::ts(const QString &name, const DriveSpec &spec, RemuxOptions options)
{
    QString error;
    options.format = QStringLiteral("mpegts");
    if (!remuxWithGpsStream(mClipTs, path(name), gpsPayloads(makeDrive(spec)), options, &error))
        failed(name, error);
}

void TestGpsPass::hisi(const QString &name, const DriveSpec &spec)
{
    QString error;
    RemuxOptions options;
    options.format = QStringLiteral("mp4");
    if (!remuxWithGpsStream(mClipMp4, path(name), gpsPayloads(makeDrive(spec)), options, &error)
        || !renameHandlers(path(name), "GoPro MET", "HisiGpMET", &error))
        failed(name, error);
}

void TestGpsPass::copy(const QString &from, const QString &to)
{
    QFile::remove(path(to));
    if (!QFile::copy(path(from), path(to)))
        failed(to, QStringLiteral("cannot copy %1").arg(from));
}

void TestGpsPass::initTestCase()
{
    RecordingLog::quiet();
    installFfmpegLogHandler();
    QLoggingCategory::setFilterRules(QStringLiteral("velmora.ffmpeg=false"));
    QVERIFY(mDir.isValid());
    AvSpec av;
    av.seconds = 2.0;
    av.width = 160;
    av.height = 120;
    av.fps = 10;
    mClipMp4 = path(QStringLiteral("clip.mp4"));
    mClipTs = path(QStringLiteral("clip.ts"));
    QString error;
    QVERIFY2(makeAvClip(mClipMp4, av, &error), qPrintable(error));
    QVERIFY2(makeAvClip(mClipTs, av, &error), qPrintable(error));
    av.seconds = 20.0;
    mLongClipTs = path(QStringLiteral("clip20.ts"));
    QVERIFY2(makeAvClip(mLongClipTs, av, &error), qPrintable(error));
    mReady = true;

    DriveSpec invalid = driveSpec(2);
    invalid.check = CheckKind::Invalid;
    DriveSpec noFix = driveSpec();
    noFix.status = 'V';
    DriveSpec southWest = driveSpec();
    southWest.latRef = 'S';
    southWest.lonRef = 'W';
    DriveSpec nan = driveSpec();
    nan.nanHeading = true;
    DriveSpec versions = driveSpec();
    versions.versions = {0, 1, 2};
    DriveSpec version2 = driveSpec();
    version2.versions = {2, 1};

    box(QStringLiteral("valid-box.mp4"), driveSpec());
    box(QStringLiteral("invalid-box.mp4"), invalid);
    box(QStringLiteral("nofix-box.mp4"), noFix);
    box(QStringLiteral("sw-box.mp4"), southWest);
    box(QStringLiteral("nan-box.mp4"), nan);
    hisi(QStringLiteral("valid-hisi.mp4"), driveSpec());
    hisi(QStringLiteral("invalid-hisi.mp4"), invalid);
    hisi(QStringLiteral("nofix-hisi.mp4"), noFix);
    hisi(QStringLiteral("sw-hisi.mp4"), southWest);
    hisi(QStringLiteral("nan-hisi.mp4"), nan);
    hisi(QStringLiteral("versions-hisi.mp4"), versions);
    ts(QStringLiteral("valid.ts"), driveSpec());
    ts(QStringLiteral("invalid.ts"), invalid);
    ts(QStringLiteral("nofix.ts"), noFix);
    ts(QStringLiteral("sw.ts"), southWest);
    ts(QStringLiteral("nan.ts"), nan);
    ts(QStringLiteral("versions.ts"), versions);
    ts(QStringLiteral("version2.ts"), version2);

    RemuxOptions gpsFirst;
    gpsFirst.gpsStreamFirst = true;
    ts(QStringLiteral("gps-first.ts"), driveSpec(), gpsFirst);
    RemuxOptions otherPid;
    otherPid.gpsPid = 0x301;
    ts(QStringLiteral("other-pid.ts"), driveSpec(), otherPid);

    // Every handler the chip maker's, the data track first.
    {
        RemuxOptions options;
        options.format = QStringLiteral("mp4");
        options.gpsStreamFirst = true;
        const QString file = path(QStringLiteral("gps-first-hisi.mp4"));
        QVERIFY2(remuxWithGpsStream(mClipMp4, file, gpsPayloads(makeDrive(driveSpec())), options, &error),
                 qPrintable(error));
        QVERIFY2(renameHandlers(file, "GoPro MET", "HisiGpMET", &error), qPrintable(error));
        QVERIFY2(renameHandlers(file, "VideoHandler", "HisiVideoHdl", &error), qPrintable(error));
        QVERIFY2(renameHandlers(file, "SoundHandler", "HisiSoundHdl", &error), qPrintable(error));
    }

    // Stream information reads a transport stream's first 5 s and last 250 kB: the GPS
    // stream runs from 8 s to 11 s, and only the PMTs of that stretch list it.
    {
        RemuxOptions late;
        late.format = QStringLiteral("mpegts");
        late.gpsDelay = 8.0;
        late.gpsListedOnlyWhileSent = true;
        QVERIFY2(remuxWithGpsStream(mLongClipTs, path(QStringLiteral("late.ts")), gpsPayloads(makeDrive(driveSpec(4))),
                                    late, &error),
                 qPrintable(error));
    }
    // Many GPS packets in every read of the file: 40 records in 0.8 s.
    {
        DriveSpec dense = driveSpec(40);
        dense.versions = {1};
        RemuxOptions options;
        options.format = QStringLiteral("mpegts");
        options.payloadInterval = 0.02;
        QVERIFY2(remuxWithGpsStream(mClipTs, path(QStringLiteral("dense.ts")), gpsPayloads(makeDrive(dense)), options,
                                    &error),
                 qPrintable(error));
    }

    QVERIFY(testsupport::writeBytes(path(QStringLiteral("text.ts")), QByteArray("not a recording\n").repeated(40)));
    QVERIFY(testsupport::writeBytes(path(QStringLiteral("text.mp4")), QByteArray("not a recording\n").repeated(40)));
    QVERIFY(QDir(mDir.path()).mkdir(QStringLiteral("folder.ts")));
    {
        QFile full(path(QStringLiteral("valid-box.mp4")));
        QVERIFY(full.open(QIODevice::ReadOnly));
        QVERIFY(testsupport::writeBytes(path(QStringLiteral("cut-box.mp4")), full.read(full.size() - 100)));
    }
    QVERIFY(mReady);
}

void TestGpsPass::roads_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("count");
    QTest::addColumn<char>("status");

    QTest::newRow("box, valid") << QStringLiteral("valid-box.mp4") << true << 3 << 'A';
    QTest::newRow("box, invalid check texts") << QStringLiteral("invalid-box.mp4") << false << 2 << 'A';
    QTest::newRow("box, status V") << QStringLiteral("nofix-box.mp4") << false << 3 << 'V';
    QTest::newRow("data track, valid") << QStringLiteral("valid-hisi.mp4") << true << 3 << 'A';
    QTest::newRow("data track, invalid check texts") << QStringLiteral("invalid-hisi.mp4") << false << 2 << 'A';
    QTest::newRow("data track, status V") << QStringLiteral("nofix-hisi.mp4") << false << 3 << 'V';
    QTest::newRow("ts, valid") << QStringLiteral("valid.ts") << true << 3 << 'A';
    QTest::newRow("ts, invalid check texts") << QStringLiteral("invalid.ts") << false << 2 << 'A';
    QTest::newRow("ts, status V") << QStringLiteral("nofix.ts") << false << 3 << 'V';
}

void TestGpsPass::roads()
{
    QFETCH(QString, file);
    QFETCH(bool, valid);
    QFETCH(int, count);
    QFETCH(char, status);
    auto track = newTrack();
    testsupport::fillWithPreviousFile(*track);
    const Pass pass = runPass(path(file), *track);
    QCOMPARE(pass.result.status, GpsPassResult::Ok);
    QCOMPARE(track->valid, valid);
    QCOMPARE(track->count(), count);

    // Records in order, one per second, decoded.
    const QVector<CameraRecord> expected = makeDrive(driveSpec(count));
    for (int i = 0; i < count; ++i) {
        const GpsRecord &r = track->records[i];
        QCOMPARE(r.status, status);
        QCOMPARE(r.second, expected.at(i).raw.second);
        QCOMPARE(r.latitude, nmeaToDegrees(expected.at(i).raw.latitude));
        QCOMPARE(r.longitude, nmeaToDegrees(expected.at(i).raw.longitude));
        QCOMPARE(r.speed, expected.at(i).raw.speed);
    }
    const bool dataTrack = file.endsWith(QLatin1String("-hisi.mp4"));
    QCOMPARE(pass.result.hisiHandler, dataTrack);
    QCOMPARE(pass.result.gpsStream > 0, dataTrack || file.endsWith(QLatin1String(".ts")));
}

void TestGpsPass::hemispheresStayLetters_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("box") << QStringLiteral("sw-box.mp4");
    QTest::newRow("data track") << QStringLiteral("sw-hisi.mp4");
    QTest::newRow("ts") << QStringLiteral("sw.ts");
}

void TestGpsPass::hemispheresStayLetters()
{
    QFETCH(QString, file);
    auto track = newTrack();
    runPass(path(file), *track);
    QVERIFY(track->valid); // the check text covers the unsigned latitude
    QCOMPARE(track->count(), 3);
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(track->records[i].latRef, 'S');
        QCOMPARE(track->records[i].lonRef, 'W');
        QVERIFY(track->records[i].latitude > 31.5f);
        QVERIFY(track->records[i].longitude > 121.4f);
    }
}

void TestGpsPass::transportStreamVersion_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("gpsVersion");
    QTest::newRow("0,1,2") << QStringLiteral("versions.ts") << 1;
    QTest::newRow("2,1") << QStringLiteral("version2.ts") << 2;
    QTest::newRow("none") << QStringLiteral("valid.ts") << 0;
    QTest::newRow("data track carries none") << QStringLiteral("versions-hisi.mp4") << 0;
}

void TestGpsPass::transportStreamVersion()
{
    QFETCH(QString, file);
    QFETCH(int, gpsVersion);
    RecordingLog log;
    auto track = newTrack();
    const Pass pass = runPass(path(file), *track);
    QCOMPARE(int(pass.gpsVersion), gpsVersion);
    QVERIFY(track->valid);
    QCOMPARE(log.lines().filter(QStringLiteral("1gpsVersion")).size(), gpsVersion ? 1 : 0);
}

void TestGpsPass::nanHeading_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("nan");
    QTest::newRow("box keeps NaN") << QStringLiteral("nan-box.mp4") << true;
    QTest::newRow("ts keeps NaN") << QStringLiteral("nan.ts") << true;
    QTest::newRow("data track makes it 0") << QStringLiteral("nan-hisi.mp4") << false;
}

void TestGpsPass::nanHeading()
{
    QFETCH(QString, file);
    QFETCH(bool, nan);
    auto track = newTrack();
    runPass(path(file), *track);
    QCOMPARE(track->count(), 3);
    for (int i = 0; i < 3; ++i) {
        if (nan)
            QVERIFY(std::isnan(track->records[i].heading));
        else
            QCOMPARE(track->records[i].heading, 0.0f);
    }
}

void TestGpsPass::gpsStreamAtIndexZeroIsIgnored_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("ts") << QStringLiteral("gps-first.ts");
    QTest::newRow("data track") << QStringLiteral("gps-first-hisi.mp4");
}

void TestGpsPass::gpsStreamAtIndexZeroIsIgnored()
{
    QFETCH(QString, file);
    auto track = newTrack();
    const Pass pass = runPass(path(file), *track);
    QCOMPARE(pass.result.status, GpsPassResult::Ok);
    QCOMPARE(pass.result.gpsStream, 0);
    QCOMPARE(track->count(), 0);
    QVERIFY(!track->valid);
}

void TestGpsPass::transportStreamWithoutGpsPid_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("foundLine");
    // The probe stops at the first packet of a third stream ...
    QTest::newRow("data stream on PID 0x301") << QStringLiteral("other-pid.ts")
                                              << QStringLiteral("find gps stream index1: 2");
    // ... or, with none, at the end of the file.
    QTest::newRow("sound and picture only") << QStringLiteral("clip.ts") << QString();
}

void TestGpsPass::transportStreamWithoutGpsPid()
{
    QFETCH(QString, file);
    QFETCH(QString, foundLine);
    RecordingLog log;
    auto track = newTrack();
    const Pass pass = runPass(path(file), *track);
    QCOMPARE(pass.result.status, GpsPassResult::Ok);
    QCOMPARE(pass.result.gpsStream, -1);
    QCOMPARE(track->count(), 0);
    QVERIFY(!track->valid);
    QCOMPARE(log.count(QStringLiteral("not find gps stream infomation,find gps stream again")), 1);
    if (foundLine.isEmpty())
        QVERIFY(!log.hasPrefix(QStringLiteral("find gps stream index1:")));
    else
        QVERIFY2(log.has(foundLine), qPrintable(log.lines().join(QLatin1Char('|'))));
    // ffmpeg's own PAT carries no type marker.
    QVERIFY(log.has(QStringLiteral("not VK type,use default way")));
}

void TestGpsPass::shortPayloadsAreSkipped()
{
    QVector<QByteArray> payloads = gpsPayloads(makeDrive(driveSpec(4)));
    payloads[1].truncate(100);
    payloads[2].truncate(kGpsPayloadSize - 1);
    RemuxOptions options;
    options.format = QStringLiteral("mpegts");
    QString error;
    const QString file = path(QStringLiteral("short-payloads.ts"));
    QVERIFY2(remuxWithGpsStream(mClipTs, file, payloads, options, &error), qPrintable(error));

    auto track = newTrack();
    runPass(file, *track);
    QCOMPARE(track->count(), 2);
    QVERIFY(track->valid);
    // The fourth record takes the second slot: no gap, no partial record.
    QCOMPARE(track->records[1].second, makeDrive(driveSpec(4)).at(3).raw.second);
}

void TestGpsPass::dataTrackAppendsAfterBoxRecords()
{
    // Box records start at 31°30', data-track records at 22°32'.
    DriveSpec fromTrack = driveSpec();
    fromTrack.startLatitude = 2232.5f;
    hisi(QStringLiteral("append-src.mp4"), fromTrack);
    QString error;
    const QString file = path(QStringLiteral("box-and-track.mp4"));
    QVERIFY2(addGpsBox(path(QStringLiteral("append-src.mp4")), file, gpsPayloads(makeDrive(driveSpec())),
                       GpsBoxOptions(), &error),
             qPrintable(error));

    RecordingLog log;
    auto track = newTrack();
    const Pass pass = runPass(file, *track);
    QVERIFY(pass.result.hisiHandler);
    QVERIFY(log.has(QStringLiteral("hisi mp4")));
    QVERIFY(track->valid);
    QCOMPARE(track->count(), 6);
    for (int i = 0; i < 3; ++i)
        QVERIFY(std::fabs(track->records[i].latitude - 31.508f) < 0.01f);
    for (int i = 3; i < 6; ++i)
        QVERIFY(std::fabs(track->records[i].latitude - 22.541f) < 0.01f);
}

void TestGpsPass::dataTrackValidatesWhenBoxDoesNot()
{
    hisi(QStringLiteral("validating-src.mp4"), driveSpec());
    DriveSpec invalid = driveSpec();
    invalid.check = CheckKind::Invalid;
    QString error;
    const QString file = path(QStringLiteral("invalid-box-valid-track.mp4"));
    QVERIFY2(addGpsBox(path(QStringLiteral("validating-src.mp4")), file, gpsPayloads(makeDrive(invalid)),
                       GpsBoxOptions(), &error),
             qPrintable(error));
    auto track = newTrack();
    runPass(file, *track);
    QCOMPARE(track->count(), 6);
    QVERIFY(track->valid);
}

void TestGpsPass::longDrivesAreReadWhole_data()
{
    QTest::addColumn<bool>("ts");
    QTest::addColumn<int>("records");
    // Past the 17 minutes a fixed track of 1024 seconds held, and three hours.
    for (int records : {1100, 10800}) {
        QTest::addRow("box, %d", records) << false << records;
        QTest::addRow("ts, %d", records) << true << records;
    }
}

void TestGpsPass::longDrivesAreReadWhole()
{
    QFETCH(bool, ts);
    QFETCH(int, records);
    DriveSpec spec = driveSpec(records);
    spec.versions = {0, 0, 0, 1}; // known only from the fourth record on
    const QVector<CameraRecord> drive = makeDrive(spec);
    QString error;
    const QString file = path(QStringLiteral("long-%1.%2").arg(records).arg(ts ? "ts" : "mp4"));
    if (ts) {
        RemuxOptions options;
        options.format = QStringLiteral("mpegts");
        options.payloadInterval = 0.001;
        QVERIFY2(remuxWithGpsStream(mClipTs, file, gpsPayloads(drive), options, &error), qPrintable(error));
    } else {
        QVERIFY2(addGpsBox(mClipMp4, file, gpsPayloads(drive), GpsBoxOptions(), &error), qPrintable(error));
    }

    auto track = newTrack();
    const Pass pass = runPass(file, *track);
    QCOMPARE(track->count(), records);
    QVERIFY(track->valid);
    QCOMPARE(int(pass.gpsVersion), ts ? 1 : 0);
    for (int i = 0; i < records; ++i) {
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

    QTest::newRow("MP4") << QStringLiteral("valid-box.mp4") << QStringLiteral("upper.MP4");
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

void TestGpsPass::unreadable_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("hisi");
    // No container found: nothing is tried further.
    QTest::newRow("text named .ts") << QStringLiteral("text.ts") << false;
    QTest::newRow("missing .ts") << QStringLiteral("missing.ts") << false;
    QTest::newRow("folder named .ts") << QStringLiteral("folder.ts") << false;
    QTest::newRow("text named .mp4") << QStringLiteral("text.mp4") << false;
    QTest::newRow("missing .mp4") << QStringLiteral("missing.mp4") << false;
}

void TestGpsPass::unreadable()
{
    QFETCH(QString, file);
    QFETCH(bool, hisi);
    RecordingLog log;
    auto track = newTrack();
    testsupport::fillWithPreviousFile(*track);
    const Pass pass = runPass(path(file), *track, 1);
    QCOMPARE(pass.result.status, GpsPassResult::OpenFailed);
    QVERIFY(!pass.result.error.isEmpty());
    QCOMPARE(pass.result.hisiHandler, hisi);
    QCOMPARE(pass.result.gpsStream, -1);
    QCOMPARE(track->count(), 0);
    QVERIFY(!track->valid);
    QCOMPARE(int(pass.gpsVersion), 0);
    QCOMPARE(log.count(QStringLiteral("can't open the file.")), 1);
    QCOMPARE(log.has(QStringLiteral("hisi mp4")), hisi);
}

// One track for a whole session, as in the viewer.
void TestGpsPass::trackIsResetForEveryFile()
{
    auto track = newTrack();
    struct Step
    {
        const char *file;
        bool valid;
        int count;
    };
    const Step steps[] = {
        {"valid.ts", true, 3},
        {"invalid.ts", false, 2},
        {"valid-box.mp4", true, 3},
        {"cut-box.mp4", false, 0},
        {"valid-hisi.mp4", true, 3},
        {"invalid-box.mp4", false, 2},
        {"valid-box.mp4", true, 3},
        {"same.mov", true, 3},
        {"valid-hisi.mp4", true, 3},
        {"text.ts", false, 0},
        {"valid.ts", true, 3},
        {"invalid-hisi.mp4", false, 2},
        {"valid-box.mp4", true, 3},
        {"missing.mp4", false, 0},
    };
    copy(QStringLiteral("valid-box.mp4"), QStringLiteral("same.mov"));
    const QDir descriptors(QStringLiteral("/proc/self/fd"));
    const int before = descriptors.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).size();
    for (const Step &step : steps) {
        runPass(path(QLatin1String(step.file)), *track);
        QVERIFY2(track->valid == step.valid, step.file);
        QVERIFY2(track->count() == step.count, step.file);
    }
    // Nothing left open, whether the file was read, refused or missing.
    if (descriptors.exists())
        QCOMPARE(descriptors.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).size(), before);
}

void TestGpsPass::gpsVersionIsResetForEveryFile()
{
    auto track = newTrack();
    qint16 version = 0;
    const auto pass = [&](const char *file) {
        runGpsPass(path(QLatin1String(file)), *track, version);
        return int(version);
    };
    copy(QStringLiteral("valid-box.mp4"), QStringLiteral("same.mov"));
    QCOMPARE(pass("versions.ts"), 1);
    QCOMPARE(pass("valid-box.mp4"), 0);
    QCOMPARE(pass("versions.ts"), 1);
    QCOMPARE(pass("valid-hisi.mp4"), 0);
    QCOMPARE(pass("versions.ts"), 1);
    QCOMPARE(pass("same.mov"), 0);
    QCOMPARE(pass("versions.ts"), 1);
    QCOMPARE(pass("missing.mp4"), 0);
    QCOMPARE(pass("versions.ts"), 1);
    QCOMPARE(pass("valid.ts"), 0);
}

void TestGpsPass::lateGpsStreamIsReadFromItsStart_data()
{
    QTest::addColumn<int>("repeats");
    QTest::newRow("short file") << 0;
    // The search then ends at its bound, past the stream's first packets.
    QTest::newRow("longer than the bound") << 2;
}

void TestGpsPass::lateGpsStreamIsReadFromItsStart()
{
    QFETCH(int, repeats);
    QString file = path(QStringLiteral("late.ts"));
    if (repeats > 0) {
        file = path(QStringLiteral("late-long.ts"));
        QVERIFY(testsupport::writeBytes(file, readAll(QStringLiteral("late.ts"))
                                                  + withoutGps(repeats * kGpsRescanBytes)));
    }
    RecordingLog log;
    auto track = newTrack();
    const Pass pass = runPass(file, *track);
    // Missing from the header, found by reading on ...
    QCOMPARE(log.count(QStringLiteral("not find gps stream infomation,find gps stream again")), 1);
    QVERIFY2(log.has(QStringLiteral("find gps stream index1: 2")), qPrintable(log.lines().join(QLatin1Char('|'))));
    QCOMPARE(pass.result.gpsStream, 2);
    // ... and read from its first packet, the one the search stopped at.
    QVERIFY(track->valid);
    QCOMPARE(track->count(), 4);
    const QVector<CameraRecord> expected = makeDrive(driveSpec(4));
    for (int i = 0; i < 4; ++i)
        QCOMPARE(track->records[i].second, expected.at(i).raw.second);
}

void TestGpsPass::lookingForALateStreamIsBounded()
{
    const QString file = path(QStringLiteral("long-without-gps.ts"));
    QVERIFY(testsupport::writeBytes(file, withoutGps(2 * kGpsRescanBytes)));

    RecordingLog log;
    auto track = newTrack();
    const Pass pass = runPass(file, *track);
    QCOMPARE(pass.result.status, GpsPassResult::Ok);
    QCOMPARE(pass.result.gpsStream, -1);
    QCOMPARE(track->count(), 0);
    QCOMPARE(log.count(QStringLiteral("not find gps stream infomation,find gps stream again")), 1);
    QVERIFY(!log.hasPrefix(QStringLiteral("find gps stream index1:")));
    // Looked as far as the bound, and stopped there: stream information adds
    // at most its 5 MB probe and the file's last 250 kB.
    QVERIFY2(pass.result.bytesRead > kGpsRescanBytes, qPrintable(QString::number(pass.result.bytesRead)));
    QVERIFY2(pass.result.bytesRead < 2 * kGpsRescanBytes, qPrintable(QString::number(pass.result.bytesRead)));
}

void TestGpsPass::interruptedBeforeReading_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("ts") << QStringLiteral("versions.ts");
    QTest::newRow("data track") << QStringLiteral("valid-hisi.mp4");
}

void TestGpsPass::interruptedBeforeReading()
{
    QFETCH(QString, file);
    RecordingLog log;
    auto track = newTrack();
    const std::atomic<bool> stop{true};
    qint16 version = 0;
    const GpsPassResult result =
        finishesWithin(30, [&] { return runGpsPass(path(file), *track, version, &stop); });
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
    const OnLogLine trigger(QStringLiteral("1gpsVersion"), [&] { std::thread([&] { stop = true; }).join(); });
    qint16 version = 0;
    const GpsPassResult result =
        finishesWithin(30, [&] { return runGpsPass(path(QStringLiteral("dense.ts")), *track, version, &stop); });
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
    QTest::newRow("ts") << QStringLiteral("versions.ts") << true;
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
    if (streams) {
        finishesWithin(30, [&] {
            runGpsPassStreams(path(file), *track, version, result, nullptr);
            return 0;
        });
    }
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
