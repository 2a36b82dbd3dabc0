// velmora_gps end to end: the JSON, CSV and GPX it prints for generated
// recordings, its exit status, and that no input makes it crash.

#include "gpsfixture.h"
#include "recordinglog.h"
#include "testsupport.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
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

struct Run
{
    int exitCode = -1;
    QProcess::ExitStatus exitStatus = QProcess::CrashExit;
    QString out;
    QString err;
};

Run runTool(const QStringList &args, const QString &workDir = QString())
{
    QProcess process;
    if (!workDir.isEmpty())
        process.setWorkingDirectory(workDir);
    process.start(QStringLiteral(VELMORA_GPS_BIN), args);
    Run run;
    if (!process.waitForStarted(10000))
        return run;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitCode();
    run.exitStatus = process.exitStatus();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

// Runs the tool with its standard output on outFd and SIGPIPE at its default,
// as a shell pipeline starts it; stderr goes through errFile.
Run runToolWithStdout(const QStringList &args, int outFd, const QString &errFile)
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

    Run run;
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0)
        return run;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) {
        run.exitStatus = QProcess::NormalExit;
        run.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        run.exitCode = 128 + WTERMSIG(status);
    }
    QFile err(errFile);
    if (err.open(QIODevice::ReadOnly))
        run.err = QString::fromUtf8(err.readAll());
    return run;
}

QString describe(const Run &run)
{
    return QStringLiteral("exit %1 (%2)\nstdout: %3\nstderr: %4")
        .arg(run.exitCode)
        .arg(run.exitStatus == QProcess::NormalExit ? QStringLiteral("normal") : QStringLiteral("crash"))
        .arg(run.out.left(2000), run.err.left(2000));
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
    void jsonOfKnownDrive();
    void jsonShiftsVersion1AndHandlesNaN();
    void jsonHasNoRecordsWhenNotValid();
    void fileNamesAreEscaped();
    void csvContent();
    void gpxContent();
    void gpxReadByGpsbabel();
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
};

void TestVelmoraGps::initTestCase()
{
    installFfmpegLogHandler();
    QLoggingCategory::setFilterRules(QStringLiteral("velmora.ffmpeg=false"));
    QVERIFY(mDir.isValid());
    AvSpec av;
    av.seconds = 2.0;
    av.width = 160;
    av.height = 120;
    av.fps = 10;
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
    QVERIFY2(addGpsBox(clipMp4, mKnown, gpsPayloads(known), GpsBoxOptions(), &error), qPrintable(error));

    RemuxOptions tsOptions;
    tsOptions.format = QStringLiteral("mpegts");
    DriveSpec shifted = spec;
    shifted.versions = {1};
    shifted.nanHeading = true;
    mShifted = path(QStringLiteral("shifted.ts"));
    QVERIFY2(remuxWithGpsStream(mPlainTs, mShifted, gpsPayloads(makeDrive(shifted)), tsOptions, &error),
             qPrintable(error));

    DriveSpec invalid = spec;
    invalid.check = CheckKind::Invalid;
    mInvalid = path(QStringLiteral("invalid.ts"));
    QVERIFY2(remuxWithGpsStream(mPlainTs, mInvalid, gpsPayloads(makeDrive(invalid)), tsOptions, &error),
             qPrintable(error));

    DriveSpec southWest = spec;
    southWest.latRef = 'S';
    southWest.lonRef = 'W';
    QVector<CameraRecord> sw = makeDrive(southWest);
    sw[1].raw.status = 'V';
    mSouthWest = path(QStringLiteral("southwest.ts"));
    QVERIFY2(remuxWithGpsStream(mPlainTs, mSouthWest, gpsPayloads(sw), tsOptions, &error), qPrintable(error));

    QFile::copy(mKnown, path(QStringLiteral("we\"ird\\name & <more>.mp4")));
}

void TestVelmoraGps::jsonOfKnownDrive()
{
    const Run run = runTool({mKnown});
    QVERIFY2(run.exitStatus == QProcess::NormalExit && run.exitCode == 0, qPrintable(describe(run)));
    const QStringList lines = nonEmptyLines(run.out);
    QCOMPARE(lines.size(), 1);
    const QJsonObject object = parseObject(lines.first());
    QCOMPARE(object.value(QStringLiteral("file")).toString(), mKnown);
    QCOMPARE(object.value(QStringLiteral("valid")).toBool(false), true);
    QCOMPARE(object.value(QStringLiteral("gpsVersion")).toInt(-1), 0);
    QCOMPARE(object.value(QStringLiteral("count")).toInt(-1), 3);
    const QJsonArray records = object.value(QStringLiteral("records")).toArray();
    QCOMPARE(records.size(), 3);

    const QJsonObject first = records.at(0).toObject();
    QCOMPARE(first.value(QStringLiteral("second")).toInt(-1), 0);
    QCOMPARE(first.value(QStringLiteral("status")).toString(), QStringLiteral("A"));
    QCOMPARE(first.value(QStringLiteral("latRef")).toString(), QStringLiteral("N"));
    QCOMPARE(first.value(QStringLiteral("lonRef")).toString(), QStringLiteral("E"));
    QCOMPARE(first.value(QStringLiteral("latitude")).toDouble(), 31.508333);
    QCOMPARE(first.value(QStringLiteral("longitude")).toDouble(), 121.5);
    QCOMPARE(first.value(QStringLiteral("speedKnots")).toDouble(), 20.0);
    QCOMPARE(first.value(QStringLiteral("heading")).toDouble(-1), 0.0);
    QCOMPARE(first.value(QStringLiteral("dateTime")).toString(), QStringLiteral("2025/06/01 08:00:00"));
    QCOMPARE(first.value(QStringLiteral("utc")).toString(), QStringLiteral("2025-06-01T08:00:00Z"));
    QCOMPARE(records.at(2).toObject().value(QStringLiteral("second")).toInt(-1), 2);
    QCOMPARE(records.at(2).toObject().value(QStringLiteral("heading")).toDouble(), 14.0);
    QCOMPARE(records.at(2).toObject().value(QStringLiteral("dateTime")).toString(),
             QStringLiteral("2025/06/01 08:00:02"));
    QCOMPARE(records.at(2).toObject().value(QStringLiteral("utc")).toString(), QStringLiteral("2025-06-01T08:00:02Z"));
    // Month 0: no date, but the record itself is still there.
    QCOMPARE(records.at(1).toObject().value(QStringLiteral("dateTime")).toString(QStringLiteral("absent")), QString());
    QCOMPARE(records.at(1).toObject().value(QStringLiteral("utc")).toString(QStringLiteral("absent")), QString());
    QCOMPARE(records.at(1).toObject().value(QStringLiteral("status")).toString(), QStringLiteral("A"));

    // Degrees with exactly six decimals, as text.
    QVERIFY2(lines.first().contains(QLatin1String("\"latitude\":31.508333,\"longitude\":121.500000,")),
             qPrintable(lines.first()));
}

void TestVelmoraGps::jsonShiftsVersion1AndHandlesNaN()
{
    const Run run = runTool({QStringLiteral("--format"), QStringLiteral("json"), mShifted});
    QVERIFY2(run.exitCode == 0, qPrintable(describe(run)));
    const QJsonObject object = parseObject(nonEmptyLines(run.out).value(0));
    QCOMPARE(object.value(QStringLiteral("gpsVersion")).toInt(-1), 1);
    const QJsonArray records = object.value(QStringLiteral("records")).toArray();
    QCOMPARE(records.size(), 3);
    for (int i = 0; i < 3; ++i) {
        const QJsonObject record = records.at(i).toObject();
        QVERIFY(record.contains(QStringLiteral("heading")));
        QVERIFY(record.value(QStringLiteral("heading")).isNull());
        QCOMPARE(record.value(QStringLiteral("dateTime")).toString(), QStringLiteral("2025/06/01 17:00:0%1").arg(i));
        // The receiver's own time beside the shifted display text.
        QCOMPARE(record.value(QStringLiteral("utc")).toString(), QStringLiteral("2025-06-01T08:00:0%1Z").arg(i));
    }
}

void TestVelmoraGps::jsonHasNoRecordsWhenNotValid()
{
    const Run run = runTool({mInvalid, mKnown});
    QVERIFY2(run.exitCode == 0, qPrintable(describe(run)));
    const QStringList lines = nonEmptyLines(run.out);
    QCOMPARE(lines.size(), 2);
    const QJsonObject invalid = parseObject(lines.at(0));
    QCOMPARE(invalid.value(QStringLiteral("file")).toString(), mInvalid);
    QCOMPARE(invalid.value(QStringLiteral("valid")).toBool(true), false);
    QCOMPARE(invalid.value(QStringLiteral("count")).toInt(-1), 3);
    QVERIFY(invalid.value(QStringLiteral("records")).isArray());
    QVERIFY(invalid.value(QStringLiteral("records")).toArray().isEmpty());
    // The next file is not affected by the one before.
    QCOMPARE(parseObject(lines.at(1)).value(QStringLiteral("records")).toArray().size(), 3);

    const Run plain = runTool({mPlainTs});
    QVERIFY2(plain.exitCode == 0, qPrintable(describe(plain)));
    const QJsonObject none = parseObject(nonEmptyLines(plain.out).value(0));
    QCOMPARE(none.value(QStringLiteral("count")).toInt(-1), 0);
    QCOMPARE(none.value(QStringLiteral("valid")).toBool(true), false);
}

void TestVelmoraGps::fileNamesAreEscaped()
{
    const QString name = QStringLiteral("we\"ird\\name & <more>.mp4");
    const Run json = runTool({name}, mDir.path());
    QVERIFY2(json.exitCode == 0, qPrintable(describe(json)));
    const QJsonObject object = parseObject(nonEmptyLines(json.out).value(0));
    QCOMPARE(object.value(QStringLiteral("file")).toString(), name);
    QCOMPARE(object.value(QStringLiteral("records")).toArray().size(), 3);

    const Run gpx = runTool({QStringLiteral("--format"), QStringLiteral("gpx"), name}, mDir.path());
    QVERIFY2(gpx.exitCode == 0, qPrintable(describe(gpx)));
    QXmlStreamReader xml(gpx.out);
    QString trackName;
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == QLatin1String("name"))
            trackName = xml.readElementText();
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QCOMPARE(trackName, name);

    // A quote in a field makes it a quoted field with the quote doubled.
    const Run csv = runTool({QStringLiteral("--format"), QStringLiteral("csv"), name}, mDir.path());
    QVERIFY2(csv.exitCode == 0, qPrintable(describe(csv)));
    const QStringList rows = nonEmptyLines(csv.out);
    QCOMPARE(rows.size(), 4);
    QVERIFY2(rows.at(1).startsWith(QStringLiteral("\"we\"\"ird\\name & <more>.mp4\",0,")), qPrintable(rows.at(1)));
}

void TestVelmoraGps::csvContent()
{
    const Run run = runTool({QStringLiteral("--format"), QStringLiteral("csv"), mSouthWest, mInvalid, mShifted});
    QVERIFY2(run.exitCode == 0, qPrintable(describe(run)));
    const QStringList lines = nonEmptyLines(run.out);
    // local_time comes last: the columns before it are where they always were.
    QCOMPARE(lines.value(0), QStringLiteral("file,second,time,latitude,longitude,speed_kmh,heading,local_time"));
    const QStringList sw = lines.filter(mSouthWest);
    const QStringList shifted = lines.filter(mShifted);
    QCOMPARE(lines.size(), 1 + sw.size() + shifted.size()); // nothing of the invalid file

    // The record without a fix is left out; S and W give negative degrees.
    QCOMPARE(sw.size(), 2);
    const QStringList first = sw.at(0).split(QLatin1Char(','));
    QCOMPARE(first.size(), 8);
    QCOMPARE(first.at(1), QStringLiteral("0"));
    QCOMPARE(first.at(2), QStringLiteral("2025-06-01T08:00:00Z"));
    QCOMPARE(first.at(3), QStringLiteral("-31.508333"));
    QCOMPARE(first.at(4), QStringLiteral("-121.500000"));
    QCOMPARE(first.at(5), QStringLiteral("37.04")); // 20 knots
    QCOMPARE(first.at(6), QStringLiteral("0"));
    QCOMPARE(first.at(7), QStringLiteral("2025-06-01T08:00:00+00:00")); // the camera's rule: version 0 as written
    QCOMPARE(sw.at(1).split(QLatin1Char(',')).value(1), QStringLiteral("2"));

    // The record's own UTC, not the shifted display time; no heading for NaN.
    QCOMPARE(shifted.size(), 3);
    const QStringList fromShifted = shifted.at(0).split(QLatin1Char(','));
    QCOMPARE(fromShifted.value(2), QStringLiteral("2025-06-01T08:00:00Z"));
    QCOMPARE(fromShifted.value(3), QStringLiteral("31.508333"));
    QCOMPARE(fromShifted.value(6), QString());
    QCOMPARE(fromShifted.value(7), QStringLiteral("2025-06-01T17:00:00+09:00"));

    // Another clock moves local_time only.
    const Run west = runTool({QStringLiteral("-f"), QStringLiteral("csv"), QStringLiteral("--time-zone=-02:30"), mShifted});
    QVERIFY2(west.exitCode == 0, qPrintable(describe(west)));
    const QStringList inWest = nonEmptyLines(west.out).value(1).split(QLatin1Char(','));
    QCOMPARE(inWest.mid(0, 7), fromShifted.mid(0, 7));
    QCOMPARE(inWest.value(7), QStringLiteral("2025-06-01T05:30:00-02:30"));

    QVERIFY2(run.err.contains(mInvalid + QStringLiteral(": no authenticated GPS track")), qPrintable(run.err));
    QVERIFY(!run.err.contains(mSouthWest));
}

void TestVelmoraGps::gpxContent()
{
    const QString gpxFile = path(QStringLiteral("drive.gpx"));
    const Run run = runTool({QStringLiteral("--format=gpx"), mSouthWest, mInvalid, mShifted});
    QVERIFY2(run.exitCode == 0, qPrintable(describe(run)));
    QVERIFY2(run.err.contains(mInvalid + QStringLiteral(": no authenticated GPS track")), qPrintable(run.err));
    QVERIFY(testsupport::writeBytes(gpxFile, run.out.toUtf8()));

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
    QCOMPARE(tracks, 2);
    QCOMPARE(segments, 2);
    QCOMPARE(names, (QStringList{mSouthWest, mShifted}));
    QCOMPARE(points.size(), 2 + 3);
    QCOMPARE(points.at(0).first, QStringLiteral("-31.508333"));
    QCOMPARE(points.at(0).second, QStringLiteral("-121.500000"));
    QCOMPARE(points.at(2).first, QStringLiteral("31.508333"));
    QCOMPARE(times.value(0), QStringLiteral("2025-06-01T08:00:00Z"));
    QCOMPARE(times.value(1), QStringLiteral("2025-06-01T08:00:02Z")); // the 'V' second is absent
    QCOMPARE(times.value(2), QStringLiteral("2025-06-01T08:00:00Z")); // version 1: not shifted
    for (const QString &time : times)
        QVERIFY(QDateTime::fromString(time, Qt::ISODate).isValid());
}

void TestVelmoraGps::gpxReadByGpsbabel()
{
    const QString gpsbabel = QStandardPaths::findExecutable(QStringLiteral("gpsbabel"));
    if (gpsbabel.isEmpty())
        QSKIP("gpsbabel is not installed");
    const Run run = runTool({QStringLiteral("--format"), QStringLiteral("gpx"), mSouthWest, mShifted});
    QVERIFY2(run.exitCode == 0, qPrintable(describe(run)));
    const QString gpxFile = path(QStringLiteral("babel.gpx"));
    QVERIFY(testsupport::writeBytes(gpxFile, run.out.toUtf8()));

    QProcess babel;
    babel.start(gpsbabel, {QStringLiteral("-t"), QStringLiteral("-i"), QStringLiteral("gpx"), QStringLiteral("-f"),
                           gpxFile, QStringLiteral("-o"), QStringLiteral("unicsv"), QStringLiteral("-F"),
                           QStringLiteral("-")});
    QVERIFY(babel.waitForFinished(30000));
    const QString out = QString::fromUtf8(babel.readAllStandardOutput());
    QVERIFY2(babel.exitCode() == 0, qPrintable(QString::fromUtf8(babel.readAllStandardError())));
    const QStringList rows = nonEmptyLines(out);
    QCOMPARE(rows.size(), 1 + 5); // header and every point
    QVERIFY2(rows.at(1).contains(QLatin1String("-31.508333")), qPrintable(rows.at(1)));
    QVERIFY2(rows.at(1).contains(QLatin1String("-121.500000")), qPrintable(rows.at(1)));
}

void TestVelmoraGps::exitStatus_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("named"); // must appear in stderr

    const QString missing = path(QStringLiteral("missing.mp4"));
    const QString text = path(QStringLiteral("notes.ts"));
    testsupport::writeBytes(text, QByteArray("shopping list\n").repeated(50));
    const QString folder = path(QStringLiteral("folder.mp4"));
    QDir().mkpath(folder);

    QTest::newRow("valid") << QStringList{mKnown} << 0 << QStringList();
    QTest::newRow("not authenticated is still read") << QStringList{mInvalid} << 0 << QStringList();
    QTest::newRow("no gps at all") << QStringList{mPlainTs} << 0 << QStringList();
    QTest::newRow("missing file") << QStringList{missing} << 1 << QStringList{missing};
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
    const Run run = runTool(args);
    QVERIFY2(run.exitStatus == QProcess::NormalExit, qPrintable(describe(run)));
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
    const Run run = runToolWithStdout(args, outFd, path(QStringLiteral("stderr.txt")));
    ::close(outFd);
    QVERIFY2(run.exitStatus == QProcess::NormalExit, qPrintable(describe(run)));
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
    QFile known(mKnown);
    known.open(QIODevice::ReadOnly);
    const QByteArray recording = known.readAll();
    QByteArray scrambled = recording;
    for (int i = 0; i < scrambled.size(); i += 97)
        scrambled[i] = char(random.bounded(256));

    QTest::newRow("random .mp4") << QStringLiteral("random.mp4") << noise;
    QTest::newRow("random .ts") << QStringLiteral("random.ts") << noise;
    QTest::newRow("random .MP4") << QStringLiteral("random.MP4") << noise.left(5000);
    QTest::newRow("random packets .ts") << QStringLiteral("packets.ts") << packets;
    QTest::newRow("empty .mp4") << QStringLiteral("empty.mp4") << QByteArray();
    QTest::newRow("empty .ts") << QStringLiteral("empty.ts") << QByteArray();
    QTest::newRow("recording cut in half") << QStringLiteral("half.mp4") << recording.left(recording.size() / 2);
    QTest::newRow("recording without its start") << QStringLiteral("tail.mp4") << recording.mid(recording.size() / 2);
    QTest::newRow("scrambled recording") << QStringLiteral("scrambled.mp4") << scrambled;
}

void TestVelmoraGps::garbageNeverCrashes()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    const QString file = path(name);
    QVERIFY(testsupport::writeBytes(file, bytes));
    for (const QString &format : {QStringLiteral("json"), QStringLiteral("csv"), QStringLiteral("gpx")}) {
        const Run run = runTool({QStringLiteral("--format"), format, file});
        QVERIFY2(run.exitStatus == QProcess::NormalExit, qPrintable(describe(run)));
        QVERIFY2(run.exitCode == 0 || run.exitCode == 1, qPrintable(describe(run)));
        if (run.exitCode == 1)
            QVERIFY2(run.err.contains(file), qPrintable(describe(run)));
        if (format == QLatin1String("json") && run.exitCode == 0)
            QVERIFY(!parseObject(nonEmptyLines(run.out).value(0)).isEmpty());
    }
}

QTEST_GUILESS_MAIN(TestVelmoraGps)
#include "tst_velmoragps.moc"
