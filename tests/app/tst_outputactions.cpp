// Snapshot and export as the window's keys run them: where the picture
// goes, what it carries, never over an earlier one; the track written by
// velmora_gps's writer with the chosen clock; a status line for each outcome.

#include "gpsfixture.h"
#include "outputactions.h"
#include "recordinglog.h"
#include "statustoast.h"

#include <QAccessible>
#include <QDir>
#include <QImageReader>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kWidth = 400; // the clip's own size, not the window's
constexpr int kHeight = 224;
constexpr qint64 kPositionUs = 1480000;

GpsRecord fix(int second, char status = 'A')
{
    GpsRecord record{};
    record.year = 25;
    record.month = 12;
    record.day = 31;
    record.hour = 23;
    record.minute = 30;
    record.second = second;
    record.status = status;
    record.latRef = 'S';
    record.lonRef = 'E';
    record.latitude = 33.5f;
    record.longitude = 151.25f;
    record.speed = 10.0f;
    record.heading = 270.0f;
    return record;
}

std::shared_ptr<GpsTrack> track(std::vector<GpsRecord> records, bool valid = true)
{
    auto made = std::make_shared<GpsTrack>();
    made->records = std::move(records);
    made->valid = valid;
    return made;
}

} // namespace

class TestOutputActions : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void snapshotBesideTheRecording();
    void snapshotElsewhereWhenItsFolderIsReadOnly();
    void nothingShownNothingSaved();
    void exportGpx();
    void exportCsvInTheChosenClock();
    void exportFailures();
    void exportNeverWritesThroughALink();

private:
    // Runs an action and returns what it reported once it has finished.
    QList<QVariant> run(const std::function<void()> &action);

    QTemporaryDir mDir;
    QString mRecording;
    QString mPictures;
    QWidget mWindow;
    TelemetryTimeline mTimeline;
    qint64 mPositionUs = kPositionUs;
    std::vector<TrackSource> mTracks;
    TimeOffset mOffset;
    std::unique_ptr<OutputActions> mActions;
};

void TestOutputActions::initTestCase()
{
    QVERIFY(mDir.isValid());
    QLoggingCategory::setFilterRules(QStringLiteral("velmora.*.debug=false"));
    installFfmpegLogHandler();
    QVERIFY(QDir().mkpath(mDir.filePath(QStringLiteral("card"))));
    mRecording = mDir.filePath(QStringLiteral("card/drive.mp4"));
    mPictures = mDir.filePath(QStringLiteral("Pictures"));
    fixture::AvSpec av;
    av.seconds = 3.0;
    av.width = kWidth;
    av.height = kHeight;
    QString error;
    QVERIFY2(fixture::makeAvClip(mRecording, av, &error), qPrintable(error));
    mWindow.resize(640, 400);
    mWindow.show();
    // Version 1 and a fixed clock: the snapshot's time is the chosen clock's, not the camera's.
    mTimeline.setTrack(track({fix(0), fix(1), fix(2)}), 1);
    mTimeline.setTimeOffset(TimeOffset::fixed(5 * 60 + 30));
}

void TestOutputActions::init()
{
    mPositionUs = kPositionUs;
    mOffset = TimeOffset::camera();
    mTracks.clear();
    OutputActions::Sources sources;
    sources.recordingPath = [this] { return mRecording; };
    sources.positionUs = [this] { return mPositionUs; };
    sources.tracks = [this] { return mTracks; };
    sources.shownAt = [this](qint64 second) { return mTimeline.at(second, true, false); };
    sources.timeOffset = [this] { return mOffset; };
    sources.window = [this] { return &mWindow; };
    mActions = std::make_unique<OutputActions>(sources);
    mActions->setPicturesFolder(mPictures);
}

QList<QVariant> TestOutputActions::run(const std::function<void()> &action)
{
    QSignalSpy reported(mActions.get(), &OutputActions::sig_Reported);
    action();
    if (reported.isEmpty() && !reported.wait(60000))
        return {};
    return reported.takeFirst();
}

void TestOutputActions::snapshotBesideTheRecording()
{
    const QString expected = mDir.filePath(QStringLiteral("card/drive_00-00-01.480.png"));
    const QList<QVariant> first = run([this] { mActions->snapshot(); });
    QCOMPARE(first.value(1).toString(), expected);

    QImageReader reader(expected);
    QCOMPARE(reader.size(), QSize(kWidth, kHeight));
    QCOMPARE(reader.text(QStringLiteral("Recording")), QStringLiteral("drive.mp4"));
    QCOMPARE(reader.text(QStringLiteral("Position")), QStringLiteral("00:00:01.480"));
    QCOMPARE(reader.text(QStringLiteral("Latitude")), QStringLiteral("-33.500000"));
    QCOMPARE(reader.text(QStringLiteral("Longitude")), QStringLiteral("151.250000"));
    QCOMPARE(reader.text(QStringLiteral("SpeedKmh")), QStringLiteral("18.52"));
    QCOMPARE(reader.text(QStringLiteral("Speed")), QStringLiteral("11.51 MPH"));
    QCOMPARE(reader.text(QStringLiteral("Heading")), QStringLiteral("270.0"));
    // Second 1 of the track (1.48 s rounds down), across the year end at +05:30.
    QCOMPARE(reader.text(QStringLiteral("DateTime")), QStringLiteral("2026-01-01T05:00:01+05:30"));
    const QByteArray firstBytes = [&] { QFile f(expected); f.open(QIODevice::ReadOnly); return f.readAll(); }();

    // The status line says where, and a screen reader reads it.
    auto *toast = mWindow.findChild<StatusToast *>();
    QVERIFY(toast && toast->isVisible());
    QVERIFY2(toast->text().contains(QDir::toNativeSeparators(expected)), qPrintable(toast->text()));
    QCOMPARE(QAccessible::queryAccessibleInterface(toast)->text(QAccessible::Name), toast->text());

    // The same position again: a new name, the first file untouched.
    const QList<QVariant> second = run([this] { mActions->snapshot(); });
    QCOMPARE(second.value(1).toString(), mDir.filePath(QStringLiteral("card/drive_00-00-01.480_2.png")));
    QFile again(expected);
    QVERIFY(again.open(QIODevice::ReadOnly));
    QCOMPARE(again.readAll(), firstBytes);

    // A link under the next name is passed over, never written through.
    const QString target = mDir.filePath(QStringLiteral("planted.png"));
    QVERIFY(QFile::link(target, mDir.filePath(QStringLiteral("card/drive_00-00-01.480_3.png"))));
    const QList<QVariant> third = run([this] { mActions->snapshot(); });
    QCOMPARE(third.value(1).toString(), mDir.filePath(QStringLiteral("card/drive_00-00-01.480_4.png")));
    QVERIFY(!QFileInfo::exists(target));
}

void TestOutputActions::snapshotElsewhereWhenItsFolderIsReadOnly()
{
    const QString card = QFileInfo(mRecording).absolutePath();
    const QString inPictures = QDir(mPictures).filePath(QStringLiteral("drive_00-00-02.000"));
    mPositionUs = 2 * 1000000;
    // A folder the user may not write, where permissions bind (not for root).
    if (geteuid() != 0) {
        QVERIFY(QFile::setPermissions(card, QFile::ReadOwner | QFile::ExeOwner));
        const QList<QVariant> reported = run([this] { mActions->snapshot(); });
        QFile::setPermissions(card, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(reported.value(1).toString(), inPictures + QStringLiteral(".png"));
    }
    // Root writes into any folder: the folder check is the seam here.
    mActions->setFolderCheck([card](const QString &folder) { return folder != card; });
    const QList<QVariant> reported = run([this] { mActions->snapshot(); });
    QVERIFY2(reported.value(1).toString().startsWith(inPictures), qPrintable(reported.value(0).toString()));
    QVERIFY(QFileInfo::exists(reported.value(1).toString()));
    QVERIFY(!QFileInfo::exists(QDir(card).filePath(QStringLiteral("drive_00-00-02.000.png"))));
}

void TestOutputActions::nothingShownNothingSaved()
{
    mPositionUs = -1;
    const QList<QVariant> reported = run([this] { mActions->snapshot(); });
    QCOMPARE(reported.value(0).toString(), QStringLiteral("No picture to save"));
    QCOMPARE(reported.value(1).toString(), QString());

    // A picture that cannot be read is said so too, and nothing is written.
    mRecording = mDir.filePath(QStringLiteral("card/gone.mp4"));
    mPositionUs = 0;
    const QList<QVariant> gone = run([this] { mActions->snapshot(); });
    mRecording = mDir.filePath(QStringLiteral("card/drive.mp4"));
    QCOMPARE(gone.value(0).toString(), QStringLiteral("The picture could not be read from the recording"));
    QVERIFY(QDir(mDir.filePath(QStringLiteral("card"))).entryList({QStringLiteral("gone*")}).isEmpty());
}

// A trip of three recordings: the one whose check failed is left out, and
// so is a second without a fix.
void TestOutputActions::exportGpx()
{
    mTracks = {{QStringLiteral("/card/a.mp4"), track({fix(0), fix(1, 'V'), fix(2)}), 0},
               {QStringLiteral("/card/forged.mp4"), track({fix(0)}, false), 0},
               {QStringLiteral("/card/b.ts"), track({fix(3), fix(4)}), 1}};
    const QString file = mDir.filePath(QStringLiteral("trip.gpx"));
    const QList<QVariant> reported = run([&] { mActions->exportTo(file, OutputActions::Format::Gpx); });
    QCOMPARE(reported.value(1).toString(), file);

    QFile gpx(file);
    QVERIFY(gpx.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&gpx);
    QStringList names;
    QStringList times;
    int points = 0;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("name"))
            names << xml.readElementText();
        else if (xml.name() == QLatin1String("trkpt"))
            ++points;
        else if (xml.name() == QLatin1String("time"))
            times << xml.readElementText();
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QCOMPARE(names, (QStringList{QStringLiteral("a.mp4"), QStringLiteral("b.ts")}));
    QCOMPARE(points, 4);
    QCOMPARE(times.value(2), QStringLiteral("2025-12-31T23:30:03Z")); // GPX keeps UTC whatever the clock
}

void TestOutputActions::exportCsvInTheChosenClock()
{
    GpsRecord newYear = fix(0);
    newYear.year = 26;
    newYear.month = 1;
    newYear.day = 1;
    newYear.hour = 1;
    newYear.minute = 0;
    mTracks = {{QStringLiteral("a.mp4"), track({newYear}), 1}};
    mOffset = TimeOffset::fixed(-3 * 60);
    const QString file = mDir.filePath(QStringLiteral("trip.csv"));
    QVERIFY(!run([&] { mActions->exportTo(file, OutputActions::Format::Csv); }).value(1).toString().isEmpty());

    QFile csv(file);
    QVERIFY(csv.open(QIODevice::ReadOnly | QIODevice::Text));
    const QStringList lines = QString::fromUtf8(csv.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    QVERIFY(lines.at(0).endsWith(QLatin1String(",heading,local_time")));
    const QStringList row = lines.at(1).split(QLatin1Char(','));
    QCOMPARE(row.value(2), QStringLiteral("2026-01-01T01:00:00Z"));
    QCOMPARE(row.value(7), QStringLiteral("2025-12-31T22:00:00-03:00")); // not the camera's +09:00
}

void TestOutputActions::exportFailures()
{
    // Nothing authenticated: said so, nothing asked, nothing written.
    mTracks = {{QStringLiteral("forged.mp4"), track({fix(0)}, false), 0}, {QStringLiteral("open.mp4"), nullptr, 0}};
    const QString file = mDir.filePath(QStringLiteral("none.gpx"));
    QList<QVariant> reported = run([&] { mActions->exportTrack(); });
    QCOMPARE(reported.value(0).toString(), QStringLiteral("No GPS track to export"));
    reported = run([&] { mActions->exportTo(file, OutputActions::Format::Gpx); });
    QCOMPARE(reported.value(0).toString(), QStringLiteral("No GPS track to export"));
    QVERIFY(!QFileInfo::exists(file));

    // A folder that is not there: the failure is reported, not a success.
    mTracks = {{QStringLiteral("a.mp4"), track({fix(0)}), 0}};
    reported = run([&] { mActions->exportTo(mDir.filePath(QStringLiteral("no/such/trip.gpx")), OutputActions::Format::Gpx); });
    QVERIFY2(reported.value(0).toString().startsWith(QLatin1String("The track could not be exported")),
             qPrintable(reported.value(0).toString()));
    QCOMPARE(reported.value(1).toString(), QString());
}

// A link planted under the chosen name is replaced, never written through;
// in a folder others may write, another user's entry is left alone.
void TestOutputActions::exportNeverWritesThroughALink()
{
    mTracks = {{QStringLiteral("a.mp4"), track({fix(0)}), 0}};
    const QString target = mDir.filePath(QStringLiteral("precious.txt"));
    QFile precious(target);
    QVERIFY(precious.open(QIODevice::WriteOnly) && precious.write("mine") == 4);
    precious.close();
    const QString link = mDir.filePath(QStringLiteral("linked.gpx"));
    QVERIFY(QFile::link(target, link));
    QCOMPARE(run([&] { mActions->exportTo(link, OutputActions::Format::Gpx); }).value(1).toString(), link);
    QVERIFY(!QFileInfo(link).isSymLink());
    QVERIFY(precious.open(QIODevice::ReadOnly));
    QCOMPARE(precious.readAll(), QByteArray("mine"));
    precious.close();

    if (geteuid() != 0)
        return; // only root plants a link of another user
    const QString shared = mDir.filePath(QStringLiteral("tmp"));
    QVERIFY(QDir().mkpath(shared) && ::chmod(QFile::encodeName(shared).constData(), 01777) == 0);
    const QString planted = QDir(shared).filePath(QStringLiteral("trip.gpx"));
    QVERIFY(QFile::link(target, planted));
    QVERIFY(::lchown(QFile::encodeName(planted).constData(), 65534, 65534) == 0);
    const QList<QVariant> reported = run([&] { mActions->exportTo(planted, OutputActions::Format::Gpx); });
    QVERIFY2(reported.value(0).toString().startsWith(QLatin1String("The track could not be exported")),
             qPrintable(reported.value(0).toString()));
    QVERIFY(QFileInfo(planted).isSymLink());
    QVERIFY(precious.open(QIODevice::ReadOnly));
    QCOMPARE(precious.readAll(), QByteArray("mine"));
}

QTEST_MAIN(TestOutputActions)
#include "tst_outputactions.moc"
