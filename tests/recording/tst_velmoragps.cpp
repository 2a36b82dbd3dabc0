// velmora_gps end to end: the JSON, CSV and GPX it prints for generated
// recordings, its exit status, and that no input makes it crash.

#include "files.h"
#include "gpsfixture.h"
#include "recordinglog.h"
#include "runprocess.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

using namespace fixture;

namespace {

ProcessRun runTool(const QStringList &args, const QString &workDir = QString())
{
    return runProcess(QStringLiteral(VELMORA_GPS_BIN), args, QProcessEnvironment::systemEnvironment(), workDir, 60000);
}

// Runs the tool with its standard output on outFd and SIGPIPE at its default,
// as a shell pipeline starts it; stderr goes through errFile.
ProcessRun runToolWithStdout(const QStringList &args, int outFd, const QString &errFile)
{
    std::vector<QByteArray> storage{QByteArray(VELMORA_GPS_BIN)};
    for (const QString &arg : args)
        storage.push_back(QFile::encodeName(arg));
    std::vector<char *> argv;
    for (QByteArray &arg : storage)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    const QByteArray errPath = QFile::encodeName(errFile);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outFd, STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.constData(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);

    ProcessRun run;
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0)
        return run;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    run.finished = WIFEXITED(status);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.err = QString::fromUtf8(readBytes(errFile));
    return run;
}

QStringList nonEmptyLines(const QString &text)
{
    return text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QJsonObject parseObject(const QString &line)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(line.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        qWarning("not a JSON object (%s): %s", qPrintable(error.errorString()), qPrintable(line.left(300)));
    return doc.object();
}

} // namespace

class TestVelmoraGps : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void jsonContent();
    void csvContent();
    void gpxContent();
    void exitStatus_data();
    void exitStatus();
    void writeFailureIsAnError_data();
    void writeFailureIsAnError();
    void garbageNeverCrashes_data();
    void garbageNeverCrashes();

private:
    QString path(const QString &name) const { return mDir.filePath(name); }

    QTemporaryDir mDir;
    QString mKnown;     // mp4 "gps " box: N/E, month 0 in the middle record
    QString mShifted;   // ts, version 1, NaN headings
    QString mInvalid;   // ts, wrong check texts
    QString mSouthWest; // ts, S/W, the second record without a fix
    QString mPlainTs;   // sound and picture only
    QString mWeird;     // a copy of mKnown, named with a quote, a backslash and markup
};

void TestVelmoraGps::initTestCase()
{
    installFfmpegLogHandler();
    QLoggingCategory::setFilterRules(QStringLiteral("velmora.ffmpeg=false"));
    QVERIFY(mDir.isValid());
    const AvSpec av = avSpec(2.0, 160, 120, 10);
    const QString clipMp4 = path(QStringLiteral("clip.mp4"));
    mPlainTs = path(QStringLiteral("clip.ts"));
    QString error;
    QVERIFY2(makeAvClip(clipMp4, av, &error), qPrintable(error));
    QVERIFY2(makeAvClip(mPlainTs, av, &error), qPrintable(error));

    DriveSpec spec;
    spec.records = 3;
    QVector<CameraRecord> known = makeDrive(spec);
    known[1].raw.month = 0; // the viewer shows no date for it
    mKnown = path(QStringLiteral("known.mp4"));
    QVERIFY2(addGpsRoad(GpsRoad::Mp4Box, clipMp4, mKnown, gpsPayloads(known), &error), qPrintable(error));
    DriveSpec shifted = spec;
    shifted.versions = {1};
    shifted.nanHeading = true;
    mShifted = path(QStringLiteral("shifted.ts"));
    QVERIFY2(addGpsRoad(GpsRoad::TransportStream, mPlainTs, mShifted, gpsPayloads(makeDrive(shifted)), &error),
             qPrintable(error));
    DriveSpec invalid = spec;
    invalid.check = CheckKind::Invalid;
    mInvalid = path(QStringLiteral("invalid.ts"));
    QVERIFY2(addGpsRoad(GpsRoad::TransportStream, mPlainTs, mInvalid, gpsPayloads(makeDrive(invalid)), &error),
             qPrintable(error));
    DriveSpec southWest = spec;
    southWest.latRef = 'S';
    southWest.lonRef = 'W';
    QVector<CameraRecord> sw = makeDrive(southWest);
    sw[1].raw.status = 'V';
    mSouthWest = path(QStringLiteral("southwest.ts"));
    QVERIFY2(addGpsRoad(GpsRoad::TransportStream, mPlainTs, mSouthWest, gpsPayloads(sw), &error), qPrintable(error));

    mWeird = path(QStringLiteral("we\"ird\\name & <more>.mp4"));
    QVERIFY(QFile::copy(mKnown, mWeird));
}

// One line per file, in order, each a JSON object: the records of a
// checked track only, degrees with six decimals as text, a NaN heading as
// null, the version 1 shift in dateTime alone, no date for month 0, the
// file's name escaped.
void TestVelmoraGps::jsonContent()
{
    const ProcessRun run = runTool({QStringLiteral("--format"), QStringLiteral("json"), QStringLiteral("invalid.ts"),
                                    QStringLiteral("known.mp4"), QStringLiteral("shifted.ts"),
                                    QStringLiteral("clip.ts"), QFileInfo(mWeird).fileName()},
                                   mDir.path());
    QVERIFY2(run.finished && run.exitCode == 0, qPrintable(describe(run)));
    const QString fix = QStringLiteral(R"({"second":%1,"status":"A","latRef":"N","lonRef":"E","latitude":%2,)"
                                       R"("longitude":%3,"speedKnots":%4,"heading":%5,"dateTime":"%6","utc":"%7"})");
    const QStringList first{QStringLiteral("0"), QStringLiteral("31.508333"), QStringLiteral("121.500000"),
                            QStringLiteral("20")};
    const QStringList second{QStringLiteral("1"), QStringLiteral("31.508423"), QStringLiteral("121.500099"),
                             QStringLiteral("20.798668")};
    const QStringList third{QStringLiteral("2"), QStringLiteral("31.508512"), QStringLiteral("121.500214"),
                            QStringLiteral("21.589355")};
    const auto record = [&](const QStringList &values, const QString &heading, const QString &shown,
                            const QString &utc) {
        return fix.arg(values[0], values[1], values[2], values[3], heading, shown, utc);
    };
    const QString known = QStringLiteral(R"({"file":"%1","valid":true,"gpsVersion":0,"count":3,"records":[%2,%3,%4]})");
    const QString knownRecords[] = {record(first, "0", "2025/06/01 08:00:00", "2025-06-01T08:00:00Z"),
                                    record(second, "7", "", ""),
                                    record(third, "14", "2025/06/01 08:00:02", "2025-06-01T08:00:02Z")};
    const QStringList expected{
        QStringLiteral(R"({"file":"invalid.ts","valid":false,"gpsVersion":0,"count":3,"records":[]})"),
        known.arg(QStringLiteral("known.mp4"), knownRecords[0], knownRecords[1], knownRecords[2]),
        QStringLiteral(R"({"file":"shifted.ts","valid":true,"gpsVersion":1,"count":3,"records":[%1,%2,%3]})")
            .arg(record(first, "null", "2025/06/01 17:00:00", "2025-06-01T08:00:00Z"),
                 record(second, "null", "2025/06/01 17:00:01", "2025-06-01T08:00:01Z"),
                 record(third, "null", "2025/06/01 17:00:02", "2025-06-01T08:00:02Z")),
        QStringLiteral(R"({"file":"clip.ts","valid":false,"gpsVersion":0,"count":0,"records":[]})"),
        known.arg(QStringLiteral(R"(we\"ird\\name & <more>.mp4)"), knownRecords[0], knownRecords[1], knownRecords[2])};
    const QStringList lines = nonEmptyLines(run.out);
    QCOMPARE(lines, expected);
    for (const QString &line : lines)
        QVERIFY(!parseObject(line).isEmpty());
    QCOMPARE(parseObject(lines.last()).value(QStringLiteral("file")).toString(), QFileInfo(mWeird).fileName());
}

// Fixes of checked tracks only: S and W give negative degrees, speeds in
// km/h, the record's own UTC, no heading for NaN; local_time comes last, in
// the camera's clock (version 0 as written) unless another is asked for. A
// quote in a field makes it a quoted field with the quote doubled.
void TestVelmoraGps::csvContent()
{
    const ProcessRun run = runTool({QStringLiteral("--format"), QStringLiteral("csv"), QStringLiteral("southwest.ts"),
                                    QStringLiteral("invalid.ts"), QStringLiteral("shifted.ts"),
                                    QFileInfo(mWeird).fileName()},
                                   mDir.path());
    QVERIFY2(run.finished && run.exitCode == 0, qPrintable(describe(run)));
    const QString shifted0 = QStringLiteral("shifted.ts,0,2025-06-01T08:00:00Z,31.508333,121.500000,37.04,,");
    QCOMPARE(nonEmptyLines(run.out),
             (QStringList{QStringLiteral("file,second,time,latitude,longitude,speed_kmh,heading,local_time"),
                          QStringLiteral("southwest.ts,0,2025-06-01T08:00:00Z,-31.508333,-121.500000,37.04,0,"
                                         "2025-06-01T08:00:00+00:00"),
                          QStringLiteral("southwest.ts,2,2025-06-01T08:00:02Z,-31.508512,-121.500214,39.98,14,"
                                         "2025-06-01T08:00:02+00:00"),
                          shifted0 + QStringLiteral("2025-06-01T17:00:00+09:00"),
                          QStringLiteral("shifted.ts,1,2025-06-01T08:00:01Z,31.508423,121.500099,38.52,,"
                                         "2025-06-01T17:00:01+09:00"),
                          QStringLiteral("shifted.ts,2,2025-06-01T08:00:02Z,31.508512,121.500214,39.98,,"
                                         "2025-06-01T17:00:02+09:00"),
                          QStringLiteral(R"("we""ird\name & <more>.mp4",0,2025-06-01T08:00:00Z,31.508333,121.500000,)"
                                         "37.04,0,2025-06-01T08:00:00+00:00"),
                          QStringLiteral(R"("we""ird\name & <more>.mp4",1,,31.508423,121.500099,38.52,7,)"),
                          QStringLiteral(R"("we""ird\name & <more>.mp4",2,2025-06-01T08:00:02Z,31.508512,121.500214,)"
                                         "39.98,14,2025-06-01T08:00:02+00:00")}));
    QVERIFY2(run.err.contains(QStringLiteral("invalid.ts: no authenticated GPS track")), qPrintable(run.err));
    QVERIFY(!run.err.contains(QStringLiteral("southwest.ts")));

    // Another clock moves local_time only.
    const ProcessRun west = runTool({QStringLiteral("-f"), QStringLiteral("csv"), QStringLiteral("--time-zone=-02:30"),
                                     QStringLiteral("shifted.ts")},
                                    mDir.path());
    QVERIFY2(west.finished && west.exitCode == 0, qPrintable(describe(west)));
    QCOMPARE(nonEmptyLines(west.out).value(1), shifted0 + QStringLiteral("2025-06-01T05:30:00-02:30"));
}

// A track per checked file, a point per fix; gpsbabel, where installed, reads it all.
void TestVelmoraGps::gpxContent()
{
    const ProcessRun run = runTool({QStringLiteral("--format=gpx"), mSouthWest, mInvalid, mShifted, mWeird});
    QVERIFY2(run.finished && run.exitCode == 0, qPrintable(describe(run)));
    QVERIFY2(run.err.contains(mInvalid + QStringLiteral(": no authenticated GPS track")), qPrintable(run.err));

    const QString gpxNs = QStringLiteral("http://www.topografix.com/GPX/1/1");
    QXmlStreamReader xml(run.out);
    int tracks = 0;
    int segments = 0;
    QStringList names;
    QVector<QPair<QString, QString>> points;
    QStringList times;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("gpx")) {
            QCOMPARE(xml.namespaceUri().toString(), gpxNs);
            QCOMPARE(xml.attributes().value(QLatin1String("version")).toString(), QStringLiteral("1.1"));
        } else if (xml.name() == QLatin1String("trk")) {
            ++tracks;
        } else if (xml.name() == QLatin1String("trkseg")) {
            ++segments;
        } else if (xml.name() == QLatin1String("name")) {
            names << xml.readElementText();
        } else if (xml.name() == QLatin1String("trkpt")) {
            QCOMPARE(xml.namespaceUri().toString(), gpxNs);
            points.append({xml.attributes().value(QLatin1String("lat")).toString(),
                           xml.attributes().value(QLatin1String("lon")).toString()});
        } else if (xml.name() == QLatin1String("time")) {
            times << xml.readElementText();
        }
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QCOMPARE(tracks, 3);
    QCOMPARE(segments, 3);
    QCOMPARE(names, (QStringList{mSouthWest, mShifted, mWeird})); // the name escaped, read back
    QCOMPARE(points.size(), 2 + 3 + 3);
    QCOMPARE(points.at(0).first, QStringLiteral("-31.508333"));
    QCOMPARE(points.at(0).second, QStringLiteral("-121.500000"));
    QCOMPARE(points.at(2).first, QStringLiteral("31.508333"));
    QCOMPARE(times.value(0), QStringLiteral("2025-06-01T08:00:00Z"));
    QCOMPARE(times.value(1), QStringLiteral("2025-06-01T08:00:02Z")); // the 'V' second is absent
    QCOMPARE(times.value(2), QStringLiteral("2025-06-01T08:00:00Z")); // version 1: not shifted
    for (const QString &time : times)
        QVERIFY(QDateTime::fromString(time, Qt::ISODate).isValid());

    const QString gpsbabel = QStandardPaths::findExecutable(QStringLiteral("gpsbabel"));
    if (gpsbabel.isEmpty())
        return;
    const QString gpxFile = path(QStringLiteral("drive.gpx"));
    QVERIFY(writeBytes(gpxFile, run.out.toUtf8()));
    const ProcessRun babel =
        runProcess(gpsbabel, {QStringLiteral("-t"), QStringLiteral("-i"), QStringLiteral("gpx"), QStringLiteral("-f"),
                              gpxFile, QStringLiteral("-o"), QStringLiteral("unicsv"), QStringLiteral("-F"),
                              QStringLiteral("-")});
    QVERIFY2(babel.finished && babel.exitCode == 0, qPrintable(describe(babel)));
    const QStringList rows = nonEmptyLines(babel.out);
    QCOMPARE(rows.size(), 1 + 8); // header and every point
    QVERIFY2(rows.at(1).contains(QLatin1String("-31.508333")) && rows.at(1).contains(QLatin1String("-121.500000")),
             qPrintable(rows.at(1)));
}

void TestVelmoraGps::exitStatus_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("named"); // must appear in stderr

    const QString missing = path(QStringLiteral("missing.mp4"));
    const QString text = path(QStringLiteral("notes.ts"));
    writeBytes(text, QByteArray("shopping list\n").repeated(50));
    const QString folder = path(QStringLiteral("folder.mp4"));
    QDir().mkpath(folder);

    QTest::newRow("directory") << QStringList{folder} << 1 << QStringList{folder};
    QTest::newRow("text named .ts") << QStringList{text} << 1 << QStringList{text};
    QTest::newRow("missing among good ones") << QStringList{mKnown, missing, mShifted} << 1 << QStringList{missing};
    QTest::newRow("csv, missing file") << QStringList{QStringLiteral("--format"), QStringLiteral("csv"), missing} << 1
                                       << QStringList{missing};
    QTest::newRow("gpx, text named .ts") << QStringList{QStringLiteral("--format"), QStringLiteral("gpx"), text} << 1
                                         << QStringList{text};
    QTest::newRow("no files") << QStringList() << 2 << QStringList{QStringLiteral("usage")};
    QTest::newRow("format only") << QStringList{QStringLiteral("--format"), QStringLiteral("csv")} << 2
                                 << QStringList{QStringLiteral("usage")};
    QTest::newRow("format without value") << QStringList{QStringLiteral("--format")} << 2
                                          << QStringList{QStringLiteral("usage")};
    QTest::newRow("unknown format") << QStringList{QStringLiteral("--format"), QStringLiteral("kml"), mKnown} << 2
                                    << QStringList{QStringLiteral("kml")};
    QTest::newRow("unknown time zone") << QStringList{QStringLiteral("--time-zone"), QStringLiteral("JST"), mKnown} << 2
                                       << QStringList{QStringLiteral("JST")};
    QTest::newRow("unknown option") << QStringList{QStringLiteral("--verbose"), mKnown} << 2
                                    << QStringList{QStringLiteral("--verbose")};
    // Bad usage wins over a missing file: nothing is read.
    QTest::newRow("unknown option and missing file") << QStringList{missing, QStringLiteral("-x")} << 2
                                                     << QStringList{QStringLiteral("-x")};
}

void TestVelmoraGps::exitStatus()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QStringList, named);
    const ProcessRun run = runTool(args);
    QVERIFY2(run.finished, qPrintable(describe(run)));
    QVERIFY2(run.exitCode == exitCode, qPrintable(describe(run)));
    for (const QString &text : named)
        QVERIFY2(run.err.contains(text), qPrintable(describe(run)));
    if (exitCode == 2)
        QVERIFY2(run.out.isEmpty(), qPrintable(describe(run)));
    if (exitCode == 1) {
        // Every readable file still gets its line.
        const int readable = args.count(mKnown) + args.count(mShifted);
        if (!args.contains(QStringLiteral("csv")) && !args.contains(QStringLiteral("gpx")))
            QCOMPARE(nonEmptyLines(run.out).size(), readable);
    }
}

void TestVelmoraGps::writeFailureIsAnError_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("closedPipe"); // else /dev/full

    const QStringList runs[] = {
        {mKnown},
        {QStringLiteral("--format"), QStringLiteral("csv"), mKnown},
        {QStringLiteral("--format"), QStringLiteral("gpx"), mKnown},
        {QStringLiteral("--help")},
    };
    const char *names[] = {"json", "csv", "gpx", "help"};
    for (int i = 0; i < 4; ++i) {
        QTest::newRow(qPrintable(QStringLiteral("%1, full disk").arg(QLatin1String(names[i])))) << runs[i] << false;
        QTest::newRow(qPrintable(QStringLiteral("%1, closed pipe").arg(QLatin1String(names[i])))) << runs[i] << true;
    }
}

// Output that never arrived is no success, and a reader that went away must
// not end the tool by a signal.
void TestVelmoraGps::writeFailureIsAnError()
{
    QFETCH(QStringList, args);
    QFETCH(bool, closedPipe);
    int outFd = -1;
    if (closedPipe) {
        int ends[2];
        QVERIFY(pipe(ends) == 0);
        ::close(ends[0]); // no reader anywhere, before the tool starts
        outFd = ends[1];
    } else {
        outFd = ::open("/dev/full", O_WRONLY);
        QVERIFY2(outFd >= 0, std::strerror(errno));
    }
    const ProcessRun run = runToolWithStdout(args, outFd, path(QStringLiteral("stderr.txt")));
    ::close(outFd);
    QVERIFY2(run.finished, qPrintable(describe(run)));
    QVERIFY2(run.exitCode == 1, qPrintable(describe(run)));
    const QString reason = QString::fromLocal8Bit(std::strerror(closedPipe ? EPIPE : ENOSPC));
    QVERIFY2(run.err.contains(QStringLiteral("velmora_gps: ")) && run.err.contains(reason), qPrintable(describe(run)));
}

void TestVelmoraGps::garbageNeverCrashes_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");

    QRandomGenerator random(4242);
    QByteArray noise(256 * 1024, '\0');
    random.fillRange(reinterpret_cast<quint32 *>(noise.data()), noise.size() / 4);
    // Random bytes cut into 188-byte packets with sync bytes: the TS demuxer takes them.
    QByteArray packets = noise;
    for (int i = 0; i < packets.size(); i += 188)
        packets[i] = 0x47;
    const QByteArray recording = readBytes(mKnown);
    QByteArray scrambled = recording;
    for (int i = 0; i < scrambled.size(); i += 97)
        scrambled[i] = char(random.bounded(256));

    // The container found decides the road, never the suffix.
    QTest::newRow("random .mp4") << QStringLiteral("random.mp4") << noise;
    QTest::newRow("random packets .ts") << QStringLiteral("packets.ts") << packets;
    QTest::newRow("empty .mp4") << QStringLiteral("empty.mp4") << QByteArray();
    QTest::newRow("recording cut in half") << QStringLiteral("half.mp4") << recording.left(recording.size() / 2);
    QTest::newRow("recording without its start") << QStringLiteral("tail.mp4") << recording.mid(recording.size() / 2);
    QTest::newRow("scrambled recording") << QStringLiteral("scrambled.mp4") << scrambled;
}

void TestVelmoraGps::garbageNeverCrashes()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    const QString file = path(name);
    QVERIFY(writeBytes(file, bytes));
    for (const QString &format : {QStringLiteral("json"), QStringLiteral("csv"), QStringLiteral("gpx")}) {
        const ProcessRun run = runTool({QStringLiteral("--format"), format, file});
        QVERIFY2(run.finished, qPrintable(describe(run)));
        QVERIFY2(run.exitCode == 0 || run.exitCode == 1, qPrintable(describe(run)));
        if (run.exitCode == 1)
            QVERIFY2(run.err.contains(file), qPrintable(describe(run)));
        if (format == QLatin1String("json") && run.exitCode == 0)
            QVERIFY(!parseObject(nonEmptyLines(run.out).value(0)).isEmpty());
    }
}

QTEST_GUILESS_MAIN(TestVelmoraGps)
#include "tst_velmoragps.moc"
