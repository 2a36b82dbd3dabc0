// The picture of a recording at a position: the very picture shown there,
// whatever the key frame distance, the container's start or B-frames, at
// the stream's own size. Each is checked against ffmpeg's own decode of
// that picture by number.

#include "files.h"
#include "gpsfixture.h"
#include "picturegrab.h"
#include "recordinglog.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

extern "C" {
#include <libavformat/avformat.h>
}

using namespace fixture;

namespace {

constexpr int kWidth = 400;  // not the fixture's default, nor a window's size
constexpr int kHeight = 224;
constexpr int kFps = 25;
constexpr qint64 kFrameUs = 1000000 / kFps;

// Pixels whose channels differ by more than a conversion's rounding.
int differingPixels(const QImage &a, const QImage &b)
{
    int count = 0;
    for (int y = 0; y < a.height(); ++y) {
        const auto *pa = reinterpret_cast<const QRgb *>(a.constScanLine(y));
        const auto *pb = reinterpret_cast<const QRgb *>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            if (qAbs(qRed(pa[x]) - qRed(pb[x])) > 24 || qAbs(qGreen(pa[x]) - qGreen(pb[x])) > 24
                || qAbs(qBlue(pa[x]) - qBlue(pb[x])) > 24)
                ++count;
        }
    }
    return count;
}

// µs from the recording's start to its first picture, as FFmpeg reports
// them: a transport stream's sound starts before its pictures.
qint64 firstPictureUs(const QString &file)
{
    AVFormatContext *ic = nullptr;
    if (avformat_open_input(&ic, QFile::encodeName(file).constData(), nullptr, nullptr) < 0)
        return -1;
    qint64 offset = -1;
    const int video = av_find_best_stream(ic, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (avformat_find_stream_info(ic, nullptr) >= 0 && video >= 0)
        offset = av_rescale_q(ic->streams[video]->start_time, ic->streams[video]->time_base, AV_TIME_BASE_Q)
                 - ic->start_time;
    avformat_close_input(&ic);
    return offset;
}

} // namespace

class TestPictureGrab : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void exactPicture_data();
    void exactPicture();
    void unreadable_data();
    void unreadable();

private:
    QString path(const QString &name) const { return mDir.filePath(name); }
    // Picture number n of a recording as ffmpeg decodes it, in RGB32.
    QImage reference(const QString &file, int n);

    QTemporaryDir mDir;
};

void TestPictureGrab::initTestCase()
{
    QVERIFY(mDir.isValid());
    installFfmpegLogHandler();
    QLoggingCategory::setFilterRules(QStringLiteral("velmora.*.debug=false"));
    AvSpec av = avSpec(4.0, kWidth, kHeight, kFps);
    av.gop = 50;    // a key frame every 2 s: most positions are far from one
    av.bframes = 2; // pictures leave the decoder in another order than they enter
    QString error;
    QVERIFY2(makeAvClip(path(QStringLiteral("clip.mp4")), av, &error), qPrintable(error));
    // A transport stream starts well after 0: positions count from its start.
    QVERIFY2(makeAvClip(path(QStringLiteral("clip.ts")), av, &error), qPrintable(error));
    av.video = false;
    QVERIFY2(makeAvClip(path(QStringLiteral("sound.mp4")), av, &error), qPrintable(error));
}

QImage TestPictureGrab::reference(const QString &file, int n)
{
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral(VELMORA_FFMPEG_EXECUTABLE),
                 {QStringLiteral("-nostdin"), QStringLiteral("-loglevel"), QStringLiteral("error"), QStringLiteral("-i"),
                  file, QStringLiteral("-vf"), QStringLiteral("select=eq(n\\,%1)").arg(n), QStringLiteral("-vsync"),
                  QStringLiteral("0"), QStringLiteral("-frames:v"), QStringLiteral("1"),
                  // The conversion grabPicture asks for: differences left are the picture's.
                  QStringLiteral("-sws_flags"), QStringLiteral("bicubic+accurate_rnd+full_chroma_int"), QStringLiteral("-f"),
                  QStringLiteral("rawvideo"), QStringLiteral("-pix_fmt"), QStringLiteral("bgra"), QStringLiteral("-")});
    if (!ffmpeg.waitForFinished(60000) || ffmpeg.exitCode() != 0)
        return QImage();
    const QByteArray bytes = ffmpeg.readAllStandardOutput();
    if (bytes.size() != kWidth * kHeight * 4)
        return QImage();
    QImage image(reinterpret_cast<const uchar *>(bytes.constData()), kWidth, kHeight, kWidth * 4, QImage::Format_RGB32);
    return image.copy();
}

void TestPictureGrab::exactPicture_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("picture");
    QTest::addColumn<qint64>("fromFirstUs"); // position after the first picture

    for (const QString &file : {QStringLiteral("clip.mp4"), QStringLiteral("clip.ts")}) {
        const auto row = [&](const char *name, int n, qint64 positionUs) {
            QTest::addRow("%s, %s", qPrintable(file), name) << file << n << positionUs;
        };
        row("first picture", 0, 0);
        row("just before a key frame", 49, 49 * kFrameUs);
        row("on a key frame", 50, 50 * kFrameUs);
        row("far from a key frame", 87, 87 * kFrameUs);
        // Between two pictures the earlier one still shows.
        row("between pictures", 87, 87 * kFrameUs + kFrameUs / 2);
        row("last picture", 99, 99 * kFrameUs);
        row("past the end", 99, 10 * 1000000);
        row("before the start", 0, -5 * 1000000);
    }
}

void TestPictureGrab::exactPicture()
{
    QFETCH(QString, file);
    QFETCH(int, picture);
    QFETCH(qint64, fromFirstUs);

    const qint64 first = firstPictureUs(path(file));
    QVERIFY(first >= 0);
    const qint64 positionUs = first + fromFirstUs;
    QString error;
    const QImage grabbed = grabPicture(path(file), positionUs, &error);
    QVERIFY2(!grabbed.isNull(), qPrintable(error));
    QCOMPARE(grabbed.size(), QSize(kWidth, kHeight));

    const QImage expected = reference(path(file), picture);
    QVERIFY(!expected.isNull());
    const int differing = differingPixels(grabbed.convertToFormat(QImage::Format_RGB32), expected);
    // The neighbours differ in far more pixels than the same picture does:
    // a picture off by one fails here.
    const int neighbour = picture > 0 ? picture - 1 : picture + 1;
    const int toNeighbour = differingPixels(expected, reference(path(file), neighbour));
    QVERIFY2(toNeighbour > 200, qPrintable(QStringLiteral("neighbours differ in %1 pixels only").arg(toNeighbour)));
    QVERIFY2(differing < toNeighbour / 10,
             qPrintable(QStringLiteral("%1 pixels differ from picture %2 (its neighbour: %3)")
                            .arg(differing).arg(picture).arg(toNeighbour)));
}

void TestPictureGrab::unreadable_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("missing") << path(QStringLiteral("missing.mp4"));
    QTest::newRow("sound only") << path(QStringLiteral("sound.mp4"));
    QTest::newRow("folder") << mDir.path();
    const QString junk = path(QStringLiteral("junk.mp4"));
    QVERIFY(writeBytes(junk, QByteArray("not a recording at all ").repeated(400)));
    QTest::newRow("junk") << junk;
}

void TestPictureGrab::unreadable()
{
    QFETCH(QString, file);
    QString error;
    QVERIFY(grabPicture(file, 1000000, &error).isNull());
    QVERIFY(!error.isEmpty());
}

QTEST_APPLESS_MAIN(TestPictureGrab)
#include "tst_picturegrab.moc"
