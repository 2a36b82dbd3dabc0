#include "countingserver.h"
#include "files.h"
#include "gpspass.h"
#include "gpsfixture.h"
#include "recordinglog.h"
#include "recordingprobe.h"
#include "mp4gpsreader.h"
#include "runprocess.h"
#include "waitfor.h"

#include <QSize>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace fixture;

class TestRecordingProbe : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void probe_data();
    void probe();
    void onlyLocalFilesAreRead();
    void longPath();
    void fifoHoldsNoReader();

private:
    QString path(const QString &name) const { return mDir.filePath(name); }
    void makeClip(const QString &name, const AvSpec &spec);
    void runFfmpeg(const QStringList &arguments);

    QTemporaryDir mDir;
};

void TestRecordingProbe::makeClip(const QString &name, const AvSpec &spec)
{
    QString error;
    QVERIFY2(makeAvClip(path(name), spec, &error), qPrintable(error));
}

void TestRecordingProbe::runFfmpeg(const QStringList &arguments)
{
    const ProcessRun run = runProcess(QStringLiteral(VELMORA_FFMPEG_EXECUTABLE),
                                      QStringList{QStringLiteral("-nostdin"), QStringLiteral("-loglevel"),
                                                  QStringLiteral("error")} + arguments);
    QVERIFY2(run.finished && run.exitCode == 0, qPrintable(describe(run)));
}

void TestRecordingProbe::initTestCase()
{
    QVERIFY(mDir.isValid());
    installFfmpegLogHandler();
    QLoggingCategory::setFilterRules(QStringLiteral("velmora.*.debug=false"));

    const AvSpec av = avSpec(3.0, 160, 120);
    makeClip(QStringLiteral("av.mp4"), av);
    makeClip(QStringLiteral("av.ts"), av);
    AvSpec soundOnly = av;
    soundOnly.video = false;
    makeClip(QStringLiteral("sound.mp4"), soundOnly);

    // Pictures of a codec nobody decodes: the sample entry renamed.
    QByteArray clip = readBytes(path(QStringLiteral("av.mp4")));
    QVERIFY(clip.contains("avc1"));
    QVERIFY(writeBytes(path(QStringLiteral("unknowncodec.mp4")), clip.replace("avc1", "zzz1")));

    // Cover art is a video stream of one picture, marked as attached: after
    // the recording's own pictures, and alone with the sound.
    const QStringList cover{QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                            QStringLiteral("color=s=32x32:d=1")};
    runFfmpeg(QStringList{QStringLiteral("-i"), path(QStringLiteral("av.mp4"))} + cover
              + QStringList{QStringLiteral("-map"), QStringLiteral("0"), QStringLiteral("-map"), QStringLiteral("1:v"),
                            QStringLiteral("-c"), QStringLiteral("copy"), QStringLiteral("-c:v:1"),
                            QStringLiteral("png"), QStringLiteral("-frames:v:1"), QStringLiteral("1"),
                            QStringLiteral("-disposition:v:1"), QStringLiteral("attached_pic"),
                            path(QStringLiteral("covered.mp4"))});
    runFfmpeg(QStringList{QStringLiteral("-i"), path(QStringLiteral("sound.mp4"))} + cover
              + QStringList{QStringLiteral("-map"), QStringLiteral("0"), QStringLiteral("-map"), QStringLiteral("1:v"),
                            QStringLiteral("-c:a"), QStringLiteral("copy"), QStringLiteral("-c:v"),
                            QStringLiteral("png"), QStringLiteral("-frames:v"), QStringLiteral("1"),
                            QStringLiteral("-disposition:v"), QStringLiteral("attached_pic"),
                            path(QStringLiteral("coveronly.mp4"))});

    QByteArray bytes(64 * 1024, '\0');
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = char((i * 7919) ^ (i >> 3));
    QVERIFY(writeBytes(path(QStringLiteral("junk.mp4")), bytes));
}

void TestRecordingProbe::probe_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<qint64>("duration");
    QTest::addColumn<QSize>("size");
    QTest::newRow("mp4") << QStringLiteral("av.mp4") << true << qint64(3000000) << QSize(160, 120);
    QTest::newRow("ts") << QStringLiteral("av.ts") << true << qint64(3000000) << QSize(160, 120);
    QTest::newRow("pictures, then cover art") << QStringLiteral("covered.mp4") << true << qint64(3000000)
                                               << QSize(160, 120);
    // Unplayable ones still tell their length.
    QTest::newRow("sound only") << QStringLiteral("sound.mp4") << false << qint64(3000000) << QSize();
    QTest::newRow("sound with cover art") << QStringLiteral("coveronly.mp4") << false << qint64(3000000) << QSize();
    QTest::newRow("pictures nobody decodes") << QStringLiteral("unknowncodec.mp4") << false << qint64(3000000)
                                             << QSize();
    QTest::newRow("not media") << QStringLiteral("junk.mp4") << false << qint64(0) << QSize();
    QTest::newRow("missing") << QStringLiteral("missing.ts") << false << qint64(0) << QSize();
}

void TestRecordingProbe::probe()
{
    QFETCH(QString, file);
    QFETCH(bool, ok);
    QFETCH(qint64, duration);
    QFETCH(QSize, size);
    VideoInfo info;
    info.duration = 42000000;
    info.width = 7;
    info.height = 7;
    QCOMPARE(probeRecording(path(file), info), ok);
    QVERIFY2(qAbs(info.duration - duration) < 100000, qPrintable(QString::number(info.duration)));
    // Nothing of an earlier probe is left.
    QCOMPARE(QSize(info.width, info.height), ok ? size : QSize(0, 0));
}

// Names that are no local file, handed over or written in a playlist, are
// never fetched: a local server counts who calls.
void TestRecordingProbe::onlyLocalFilesAreRead()
{
    CountingServer server;
    const QString url = server.url();
    QVERIFY(!url.isEmpty());
    const QString playlist = path(QStringLiteral("remote.m3u8"));
    QVERIFY(server.writePlaylist(playlist));

    QStringList opened;
    for (const QString &name : {url + QStringLiteral("a.mp4"), url + QStringLiteral("a.ts"), playlist}) {
        VideoInfo info;
        if (probeRecording(name, info))
            opened.append(name);
    }
    QCOMPARE(opened, QStringList());
    QCOMPARE(server.callers(), 0);
}

void TestRecordingProbe::longPath()
{
    // Far beyond any fixed-size path buffer.
    QString dir = mDir.path();
    while (dir.toUtf8().size() < 1500)
        dir += QStringLiteral("/%1").arg(QStringLiteral("深い").repeated(20));
    QVERIFY(QDir().mkpath(dir));
    const QString file = dir + QStringLiteral("/clip.ts");
    QVERIFY(QFile::copy(path(QStringLiteral("av.ts")), file));
    VideoInfo info;
    QVERIFY(probeRecording(file, info));
    QCOMPARE(QSize(info.width, info.height), QSize(160, 120));
}

// A FIFO under a recording's name: every reader of the library refuses it
// at once instead of waiting in open() for a writer that never comes.
void TestRecordingProbe::fifoHoldsNoReader()
{
    for (const QString &name : {QStringLiteral("pipe.mp4"), QStringLiteral("pipe.ts")}) {
        const QByteArray fifo = QFile::encodeName(path(name));
        QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
        std::atomic<int> opened{0};
        std::atomic<bool> done{false};
        std::thread reader([&] {
            VideoInfo info;
            opened += probeRecording(path(name), info);
            GpsTrack track;
            qint16 version = 0;
            opened += runGpsPass(path(name), track, version).status == GpsPassResult::Ok;
            opened += probeTsTypeMarker(path(name)) > 0;
            done = true;
        });
        const bool returned = waitFor([&] { return done.load(); }, 10000);
        // A stuck reader is let go by a writer, so that the test can end.
        for (int i = 0; !done && i < 100; ++i)
            ::close(::open(fifo.constData(), O_WRONLY | O_NONBLOCK)), ::usleep(10000);
        reader.join();
        QVERIFY2(returned, qPrintable(name));
        QCOMPARE(opened.load(), 0);
    }
}

QTEST_GUILESS_MAIN(TestRecordingProbe)
#include "tst_recordingprobe.moc"
