#include "playbackclock.h"
#include "speedclock.h"
#include "tempofilter.h"

#include <QtTest>

#include <cmath>
#include <cstring>
#include <limits>

namespace {

constexpr int64_t kSecond = 1000000; // µs

// A clock running at 1x from position `media` at driving time `at`.
SpeedClock runningFrom(int64_t at, double media)
{
    SpeedClock clock;
    clock.moveTo(at, media);
    clock.resume(at);
    return clock;
}

// Frequency of interleaved stereo 16-bit sound (left channel) by its rising
// zero crossings, each placed between its two samples.
double frequency(const QVector<qint16> &stereo, int rate)
{
    double first = -1.0;
    double last = -1.0;
    int crossings = 0;
    for (int i = 2; i < stereo.size(); i += 2) {
        const int before = stereo[i - 2];
        const int now = stereo[i];
        if (before < 0 && now >= 0) {
            const double at = i / 2 - 1 + double(-before) / double(now - before);
            first = first < 0 ? at : first;
            last = at;
            ++crossings;
        }
    }
    return crossings > 1 ? (crossings - 1) * rate / (last - first) : 0.0;
}

} // namespace

class TestSpeedClock : public QObject
{
    Q_OBJECT

private slots:
    void changesMidPlayKeepThePosition();
    void changeWhilePaused();
    void readsBeforeTheAnchorNeverGoBack();
    void publishedClockDropsSamplesFromBeforeAChange();
    void speedIsClamped_data();
    void speedIsClamped();
    void tempoFilterKeepsPitchAndMapsBackToMediaTime_data();
    void tempoFilterKeepsPitchAndMapsBackToMediaTime();
};

void TestSpeedClock::changesMidPlayKeepThePosition()
{
    // 1 s at 1x, 1 s at 2x, 2 s at 0.25x, 0.5 s at 4x: 1 + 2 + 0.5 + 2 s of media.
    SpeedClock clock = runningFrom(10 * kSecond, 0.0);
    clock.setSpeed(11 * kSecond, 2.0);
    QCOMPARE(clock.mediaAt(11 * kSecond), 1.0); // no jump at the change
    clock.setSpeed(12 * kSecond, 0.25);
    QCOMPARE(clock.mediaAt(12 * kSecond), 3.0);
    clock.setSpeed(14 * kSecond, 4.0);
    QCOMPARE(clock.mediaAt(14 * kSecond + kSecond / 2), 5.5);
    // A speed asked for twice changes nothing the second time.
    clock.setSpeed(14 * kSecond + kSecond / 2, 4.0);
    QCOMPARE(clock.mediaAt(15 * kSecond), 7.5);
}

void TestSpeedClock::changeWhilePaused()
{
    SpeedClock clock = runningFrom(0, 0.0);
    clock.pause(2 * kSecond);
    clock.setSpeed(3 * kSecond, 0.5);
    // Paused, the position stands whatever the speed and the wall clock do.
    QCOMPARE(clock.mediaAt(9 * kSecond), 2.0);
    clock.resume(10 * kSecond);
    // Playing again, it goes on from where it stood, at the new speed.
    QCOMPARE(clock.mediaAt(12 * kSecond), 3.0);
    // A seek while paused, then play: from the target on.
    clock.pause(12 * kSecond);
    clock.moveTo(13 * kSecond, 1.5);
    clock.resume(20 * kSecond);
    QCOMPARE(clock.mediaAt(21 * kSecond), 2.0);
}

void TestSpeedClock::readsBeforeTheAnchorNeverGoBack()
{
    // A reader whose wall time was taken before a seek moved the clock sees
    // the seek's position, not one before it.
    SpeedClock clock = runningFrom(5 * kSecond, 8.0);
    QCOMPARE(clock.mediaAt(4 * kSecond), 8.0);
    // A change stamped before the anchor is made at the anchor.
    clock.setSpeed(4 * kSecond, 2.0);
    QCOMPARE(clock.mediaAt(5 * kSecond), 8.0);
    QCOMPARE(clock.mediaAt(6 * kSecond), 10.0);
    clock.pause(3 * kSecond);
    QCOMPARE(clock.mediaAt(9 * kSecond), 8.0);
}

void TestSpeedClock::publishedClockDropsSamplesFromBeforeAChange()
{
    // A pause or seek between reading the sound's clock and publishing it wins.
    PlaybackClock clock;
    clock.resume(0);
    const uint64_t before = clock.epoch();
    clock.track(before, kSecond, 0.9); // the sound's pace, slower than the wall's
    QCOMPARE(clock.at(2 * kSecond), 1.9);
    clock.pause(2 * kSecond);
    clock.track(before, 2 * kSecond, 1.8);
    clock.track(clock.epoch(), 3 * kSecond, 5.0); // paused: nothing moves it
    QCOMPARE(clock.at(4 * kSecond), 1.9);
    clock.resume(4 * kSecond);
    clock.moveTo(4 * kSecond, 7.0);
    clock.track(before, 5 * kSecond, 1.0);
    QCOMPARE(clock.at(5 * kSecond), 8.0);
}

void TestSpeedClock::speedIsClamped_data()
{
    QTest::addColumn<double>("asked");
    QTest::addColumn<double>("speed");
    QTest::newRow("too fast") << 10.0 << 4.0;
    QTest::newRow("infinite") << std::numeric_limits<double>::infinity() << 4.0;
    QTest::newRow("zero") << 0.0 << 0.25;
    QTest::newRow("backwards") << -2.0 << 0.25;
    QTest::newRow("not a number keeps the speed") << std::nan("") << 2.0;
    QTest::newRow("lowest") << 0.25 << 0.25;
}

void TestSpeedClock::speedIsClamped()
{
    QFETCH(double, asked);
    QFETCH(double, speed);
    SpeedClock clock = runningFrom(0, 0.0);
    clock.setSpeed(0, 2.0);
    clock.setSpeed(kSecond, asked);
    QCOMPARE(clock.speed, speed);
    QCOMPARE(clock.mediaAt(2 * kSecond), 2.0 + speed);
}

void TestSpeedClock::tempoFilterKeepsPitchAndMapsBackToMediaTime_data()
{
    QTest::addColumn<double>("speed");
    QTest::addColumn<bool>("flush"); // ended by the input's end, or by a new speed
    for (bool flush : {true, false}) {
        const char *end = flush ? "input ends" : "speed changes";
        QTest::addRow("0.25x (two filters), %s", end) << 0.25 << flush;
        QTest::addRow("0.5x, %s", end) << 0.5 << flush;
        QTest::addRow("2x, %s", end) << 2.0 << flush;
        QTest::addRow("4x, %s", end) << 4.0 << flush;
    }
}

void TestSpeedClock::tempoFilterKeepsPitchAndMapsBackToMediaTime()
{
    QFETCH(double, speed);
    QFETCH(bool, flush);
    constexpr int kRate = 48000;
    constexpr double kBegin = 7.5; // s: where the stretch starts in the recording
    AVChannelLayout stereo{};
    av_channel_layout_default(&stereo, 2);
    TempoFilter filter;
    QVERIFY(filter.open(AV_SAMPLE_FMT_S16, stereo, kRate, speed));
    QCOMPARE(filter.speed(), speed);

    // Two seconds of 440 Hz, in the decoder's chunks of 1024.
    constexpr int kChunk = 1024;
    constexpr int kInput = 94 * kChunk;
    QVector<qint16> out;
    QVector<double> begins;
    QVector<double> ends;
    QByteArray room(kRate * 4, '\0');
    const auto takeAll = [&] {
        int bytes = 0;
        double begin = 0.0;
        double end = 0.0;
        TempoFilter::Take take;
        while ((take = filter.take(reinterpret_cast<uint8_t *>(room.data()), room.size(), bytes, begin, end))
               == TempoFilter::Take::Sound) {
            begins.append(begin);
            ends.append(end);
            const int from = out.size();
            out.resize(from + bytes / 2);
            std::memcpy(out.data() + from, room.constData(), size_t(bytes));
        }
        return take;
    };
    QVector<qint16> chunk(kChunk * 2);
    for (int n = 0; n < kInput; n += kChunk) {
        for (int i = 0; i < kChunk; ++i)
            chunk[2 * i] = chunk[2 * i + 1] = qint16(8000 * std::sin(2 * M_PI * 440.0 * (n + i) / kRate));
        QVERIFY(filter.put(reinterpret_cast<const uint8_t *>(chunk.constData()), kChunk, kBegin + double(n) / kRate));
        QCOMPARE(takeAll(), TempoFilter::Take::NeedsMore);
    }
    filter.finish(flush);
    QCOMPARE(takeAll(), TempoFilter::Take::Ended);
    av_channel_layout_uninit(&stereo);

    // The chunks cover the media time from the stretch's start on, each
    // where the one before ended; what the last fragment missed is handed
    // back, and with it they reach the input's end.
    QVERIFY(begins.size() > 1);
    QCOMPARE(begins.first(), kBegin);
    for (int i = 1; i < begins.size(); ++i)
        QVERIFY2(std::abs(begins[i] - ends[i - 1]) < 1e-6 && ends[i] >= begins[i], qPrintable(QString::number(i)));
    std::vector<uint8_t> missed;
    double missedBegin = 0.0;
    filter.unplayed(missed, missedBegin);
    const double inputSeconds = double(kInput) / kRate;
    const double missedSeconds = double(missed.size() / 4) / kRate;
    QVERIFY2(std::abs(missedBegin - ends.last()) <= 1.0 / kRate, qPrintable(QString::number(missedBegin)));
    QVERIFY2(std::abs(missedBegin + missedSeconds - (kBegin + inputSeconds)) < 1e-6, qPrintable(QString::number(missedBegin)));
    QVERIFY2(missedSeconds < 0.2, qPrintable(QString::number(missedSeconds)));
    // Played, with what it missed, it lasts input / speed (to a window of the
    // filter) at its own pitch.
    const double played = double(out.size() / 2) / kRate;
    QVERIFY2(std::abs(played + missedSeconds / speed - inputSeconds / speed) < 0.05,
             qPrintable(QStringLiteral("%1 s played, %2 s missed").arg(played).arg(missedSeconds)));
    const double pitch = frequency(out, kRate);
    QVERIFY2(std::abs(pitch - 440.0) < 5.0, qPrintable(QStringLiteral("%1 Hz").arg(pitch)));
}

QTEST_GUILESS_MAIN(TestSpeedClock)
#include "tst_speedclock.moc"
