#include "openplayer.h"
#include "audiooutput.h"
#include "gpsfixture.h"
#include "videoplayer.h"
#include "videostate.h"

extern "C" {
#include <libavutil/frame.h>
}

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <cstring>

using namespace fixture;

namespace {

// What the device played, as written by SDL's disk driver.
QVector<qint16> playedSamples(const QString &file)
{
    QFile raw(file);
    if (!raw.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = raw.readAll();
    QVector<qint16> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.constData(), size_t(samples.size()) * 2);
    return samples;
}

double peak(const QVector<qint16> &samples)
{
    int top = 0;
    for (qint16 s : samples)
        top = qMax(top, qAbs(int(s)));
    return top;
}

} // namespace

class TestAudioOutput : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void channelRetryOrder_data();
    void channelRetryOrder();
    void volumeScalesTheMix();
    void monoPlaysOneChannel();
    void conversionToTheDeviceFormat();

private:
    QVector<qint16> play(const QString &clip, int volume, int ms);

    QTemporaryDir mDir;
    QString mOutput;
};

void TestAudioOutput::initTestCase()
{
    QVERIFY(mDir.isValid());
    mOutput = property("output").toString();
    QLoggingCategory::setFilterRules(QStringLiteral("velmora.*.debug=false"));
    QVERIFY(initPlayback()); // as main() does, before any player
    AvSpec av;
    av.seconds = 3.0;
    av.width = 64;
    av.height = 48;
    QString error;
    QVERIFY2(makeAvClip(mDir.filePath(QStringLiteral("stereo.mp4")), av, &error), qPrintable(error));
    av.audioChannels = 1;
    QVERIFY2(makeAvClip(mDir.filePath(QStringLiteral("mono.mp4")), av, &error), qPrintable(error));
}

QVector<qint16> TestAudioOutput::play(const QString &clip, int volume, int ms)
{
    VideoPlayer player;
    player.setVolume(volume);
    if (!openAndWait(player, mDir.filePath(clip)) || !player.play())
        return {};
    QTest::qWait(ms);
    player.stop(); // closes the device, which closes the file
    return playedSamples(mOutput);
}

void TestAudioOutput::channelRetryOrder_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<QVector<int>>("tries");
    QTest::newRow("5.1") << 6 << QVector<int>{4, 2, 1, 0};
    QTest::newRow("7.1") << 8 << QVector<int>{6, 4, 2, 1, 0};
    QTest::newRow("5 channels") << 5 << QVector<int>{6, 4, 2, 1, 0};
    QTest::newRow("3 channels") << 3 << QVector<int>{6, 4, 2, 1, 0};
    QTest::newRow("stereo") << 2 << QVector<int>{1, 0};
    QTest::newRow("mono") << 1 << QVector<int>{0};
    QTest::newRow("nonsense") << -3 << QVector<int>{0};
}

void TestAudioOutput::channelRetryOrder()
{
    QFETCH(int, start);
    QFETCH(QVector<int>, tries);
    QVector<int> got;
    for (int channels = start; got.isEmpty() || got.last() != 0;) {
        channels = nextChannelCount(channels);
        got.append(channels);
        if (got.size() > 10)
            break;
    }
    QCOMPARE(got, tries);
}

void TestAudioOutput::volumeScalesTheMix()
{
    const QVector<qint16> silent = play(QStringLiteral("stereo.mp4"), 0, 600);
    QVERIFY(silent.size() > 10000);
    QCOMPARE(peak(silent), 0.0);

    // The clip's tone is generated at an eighth of full scale (4096 in 16
    // bits) and spread to two channels at -3 dB: 2896 a channel. 128 plays
    // it as it is, 64 at half of that (the sound coder adds a few percent).
    const QVector<qint16> full = play(QStringLiteral("stereo.mp4"), 128, 600);
    const QVector<qint16> half = play(QStringLiteral("stereo.mp4"), 64, 600);
    QVERIFY2(std::abs(peak(full) - 2896) < 180, qPrintable(QString::number(peak(full))));
    QVERIFY2(std::abs(peak(half) - 1448) < 90, qPrintable(QString::number(peak(half))));
}

void TestAudioOutput::monoPlaysOneChannel()
{
    VideoPlayer player;
    player.setVolume(128);
    QVERIFY(openAndWait(player, mDir.filePath(QStringLiteral("mono.mp4"))));
    QCOMPARE(player.audioOutputChannels(), 1);
    QVERIFY(player.play());
    QTest::qWait(1000);
    QVERIFY(player.stop());
    const QVector<qint16> samples = playedSamples(mOutput);
    // One channel of 48 kHz signed 16-bit for about a second, never more than real time allows.
    QVERIFY2(samples.size() > 30000 && samples.size() < 60000, qPrintable(QString::number(samples.size())));
    QVERIFY(peak(samples) > 1000);
}

void TestAudioOutput::conversionToTheDeviceFormat()
{
    VideoState is;
    av_channel_layout_default(&is.audioTgtLayout, 2);
    is.audioTgtFormat = AV_SAMPLE_FMT_S16;
    is.audioTgtRate = 48000;
    auto frameOf = [](AVSampleFormat format, int rate, int samples) {
        AVFrame *frame = av_frame_alloc();
        frame->format = format;
        frame->sample_rate = rate;
        frame->nb_samples = samples;
        av_channel_layout_default(&frame->ch_layout, 2);
        av_frame_get_buffer(frame, 0);
        return frame;
    };

    // Already what the device plays: copied byte for byte.
    AVFrame *s16 = frameOf(AV_SAMPLE_FMT_S16, 48000, 4);
    const qint16 samples[8] = {1, -1, 1000, -1000, 32767, -32768, 7, 0};
    std::memcpy(s16->data[0], samples, sizeof samples);
    QCOMPARE(convertAudioFrame(is, s16), int(sizeof samples));
    QCOMPARE(std::memcmp(is.audioConvertBuf.get(), samples, sizeof samples), 0);

    // Planar float, the decoder's usual output: converted.
    AVFrame *fltp = frameOf(AV_SAMPLE_FMT_FLTP, 48000, 64);
    for (int ch = 0; ch < 2; ++ch) {
        for (int i = 0; i < 64; ++i)
            reinterpret_cast<float *>(fltp->data[ch])[i] = ch ? -0.5f : 0.5f;
    }
    QCOMPARE(convertAudioFrame(is, fltp), 64 * 4);
    const qint16 *out = reinterpret_cast<const qint16 *>(is.audioConvertBuf.get());
    QVERIFY(std::abs(out[2 * 40] - 16384) <= 1 && std::abs(out[2 * 40 + 1] + 16384) <= 1);

    // Sound no converter can be made for is silence, frame after frame; the
    // next frame of the same kind is never copied as if it were the device's.
    AVFrame *broken = frameOf(AV_SAMPLE_FMT_FLTP, 48000, 64);
    broken->sample_rate = 0;
    QCOMPARE(convertAudioFrame(is, broken), 0);
    QCOMPARE(convertAudioFrame(is, broken), 0);
    QCOMPARE(convertAudioFrame(is, fltp), 64 * 4);
    for (AVFrame *frame : {s16, fltp, broken})
        av_frame_free(&frame);
}

int main(int argc, char **argv)
{
    // The disk driver writes what the device plays; it is chosen before SDL starts.
    QTemporaryDir out;
    const QByteArray file = (out.path() + QStringLiteral("/played.raw")).toLocal8Bit();
    qputenv("SDL_AUDIODRIVER", "disk");
    qputenv("SDL_DISKAUDIOFILE", file);
    QCoreApplication app(argc, argv);
    TestAudioOutput test;
    test.setProperty("output", QString::fromLocal8Bit(file));
    return QTest::qExec(&test, argc, argv);
}

#include "tst_audiooutput.moc"
