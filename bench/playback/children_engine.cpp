// The children of the playback benchmark that run the engine in its window:
// a play to the natural end, paused seeks, the idle cost, and a look at the
// screen.

#include "children.h"

#include "childprocess.h"
#include "cpusnapshot.h"
#include "enginewindow.h"
#include "pacing.h"

#include <QApplication>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

using namespace bench;

namespace {

constexpr int kPictureTimeoutMs = 20000;  // a seek or an open that gives no picture by then failed
constexpr int kSettleMs = 300;            // idle time before and between timed seeks
constexpr double kPtsTolerance = 0.001;   // s: the picture for t carries t
constexpr int kSoundPollUs = 500;         // the pacing sampler looks at the sound device this often
constexpr int kIdleSettleMs = 1000;       // after pause() or stop(), before the idle cost is measured
constexpr size_t kIdleThreadsShown = 4;   // the threads that cost most while idle, named

int windowFailed()
{
    std::printf("ERROR window never exposed\n");
    return 2;
}

qint64 ptsKey(double pts)
{
    return qint64(std::llround(pts * 1e6));
}

} // namespace

int runEnginePlay(int argc, char **argv, const char *path, bool pacing)
{
    quietLogs();
    QApplication app(argc, argv);
    EngineWindow w(QStringLiteral("velmora_bench_playback"));
    if (!w.showAndWait())
        return windowFailed();

    Clock::time_point playStart;
    Clock::time_point firstPaint;
    bool painted = false;
    std::atomic<bool> playing{false};
    // Every picture while playing, by pts in µs: delivered (video thread),
    // arrived (the surface's slot), painted.
    std::map<qint64, PictureTimes> pictures;
    std::mutex picturesMutex;
    const auto stamp = [&](const QImage &image, Clock::time_point at, double PictureTimes::*field) {
        const double pts = imagePts(image);
        if (!playing || std::isnan(pts))
            return;
        std::lock_guard<std::mutex> lock(picturesMutex);
        PictureTimes &p = pictures[ptsKey(pts)];
        p.pts = pts * 1000.0;
        if (p.*field < 0)
            p.*field = msBetween(playStart, at);
    };
    w.onDelivered = [&](const QImage &image) { stamp(image, Clock::now(), &PictureTimes::delivered); };
    w.frame->onArrived = [&](const QImage &image, Clock::time_point at) { stamp(image, at, &PictureTimes::arrived); };
    w.frame->onPainted = [&](const QImage &image) {
        const Clock::time_point now = Clock::now();
        if (!painted) {
            painted = true;
            firstPaint = now;
        }
        stamp(image, now, &PictureTimes::painted);
    };

    // CPU from the open to the natural end, beside the telemetry window's (children_telemetry.cpp).
    const pid_t xServer = findXServer();
    CpuSnapshot atEnd;
    Clock::time_point end;
    bool ended = false;
    QObject::connect(&w.player, &VideoPlayer::sig_PlayStopNormally, &app, [&] {
        end = Clock::now();
        atEnd = takeCpuSnapshot(xServer);
        ended = true;
        app.quit();
    });

    const CpuSnapshot atOpen = takeCpuSnapshot(xServer);
    const Clock::time_point openStart = Clock::now();
    if (!w.player.openFile(QString::fromLocal8Bit(path))) {
        std::printf("ERROR openFile failed\n");
        return 2;
    }
    const Clock::time_point opened = Clock::now();
    const double duration = double(w.player.totalTime()) / 1e6;

    // With pacing, a thread notes every buffer the sound device takes and
    // the playback clock after it (it wakes 2000 times a second: never in a
    // play whose CPU is measured).
    std::vector<SoundStep> sound;
    std::atomic<bool> sampling{pacing};
    std::thread sampler;
    playStart = Clock::now();
    playing = true;
    if (pacing) {
        sound.reserve(1 << 14);
        sampler = std::thread([&] {
            qint64 last = -1;
            while (sampling) {
                const qint64 bytes = w.player.audioBytesPlayed();
                if (bytes != last) {
                    last = bytes;
                    sound.push_back({msBetween(playStart, Clock::now()), w.player.currentTime() * 1000.0});
                }
                std::this_thread::sleep_for(std::chrono::microseconds(kSoundPollUs));
            }
        });
    }
    w.player.play();
    QTimer::singleShot(int((duration * 2.0 + 30.0) * 1000.0), &app, [&] { app.quit(); });
    app.exec();
    sampling = false;
    if (sampler.joinable())
        sampler.join();
    if (!ended) {
        std::printf("ERROR no natural end within the time limit (shown %lld)\n", static_cast<long long>(w.player.framesShown()));
        return 3;
    }
    std::printf("RESULT shown=%lld dropped=%lld painted=%lld paints=%lld\n", static_cast<long long>(w.player.framesShown()),
                static_cast<long long>(w.player.framesDropped()), static_cast<long long>(w.frame->picturesPainted),
                static_cast<long long>(w.frame->paints));
    std::printf("RESULT open_ms=%.3f first_paint_ms=%.3f play_s=%.4f duration_s=%.4f picture=%dx%d surface=%dx%d\n",
                msBetween(openStart, opened), painted ? msBetween(openStart, firstPaint) : -1.0,
                msBetween(playStart, end) / 1000.0, duration, w.frame->image().width(), w.frame->image().height(),
                w.frame->width(), w.frame->height());
    printCpuSpan("play", atOpen, atEnd);
    std::vector<PictureTimes> list;
    {
        std::lock_guard<std::mutex> lock(picturesMutex);
        for (const auto &entry : pictures)
            list.push_back(entry.second);
    }
    printPacing(list, sound);
    if (const char *trace = std::getenv("VELMORA_BENCH_TRACE"))
        writePacingTrace(QString::fromLocal8Bit(trace), list, sound);
    std::fflush(stdout);
    return 0;
}

int runEngineSeeks(int argc, char **argv, const char *path, const char *positionsUs)
{
    quietLogs();
    QApplication app(argc, argv);
    std::vector<qint64> positions;
    for (const QString &p : QString::fromLatin1(positionsUs).split(QLatin1Char(','), Qt::SkipEmptyParts))
        positions.push_back(p.toLongLong());

    EngineWindow w(QStringLiteral("velmora_bench_playback"));
    if (!w.showAndWait())
        return windowFailed();
    // The first picture delivered after a seek and the first new one painted
    // (the surface's slot may paint it before this program's own slot for
    // the same signal runs: the two are matched, not ordered).
    bool armed = false;
    bool gotPicture = false;
    bool paintedPicture = false;
    qint64 keyBefore = 0;
    QImage picture;
    QImage paintedImage;
    Clock::time_point deliveredAt;
    Clock::time_point paintedAt;
    QObject::connect(&w.player, &VideoPlayer::sig_GetOneFrame, &app, [&](const QImage &image) {
        if (armed && !gotPicture) {
            gotPicture = true;
            picture = image;
            deliveredAt = Clock::now();
        }
        wakeWaiter();
    });
    w.frame->onPainted = [&](const QImage &shown) {
        if (armed && !paintedPicture && shown.cacheKey() != keyBefore) {
            paintedPicture = true;
            paintedImage = shown;
            paintedAt = Clock::now();
        }
    };

    if (!w.player.openFile(QString::fromLocal8Bit(path))) {
        std::printf("ERROR openFile failed\n");
        return 2;
    }
    spinFor(kSettleMs);
    int index = 0;
    for (const qint64 target : positions) {
        keyBefore = w.frame->image().cacheKey();
        armed = true;
        gotPicture = false;
        paintedPicture = false;
        picture = QImage();
        paintedImage = QImage();
        const Clock::time_point start = Clock::now();
        w.player.setIsMove(true);
        w.player.seek(target);
        const bool ok = spinUntil([&] { return gotPicture && paintedPicture; }, kPictureTimeoutMs);
        armed = false;
        if (!ok) {
            std::printf("RESULT seek=%d target_us=%lld timeout=1\n", index, static_cast<long long>(target));
            std::fflush(stdout);
            return 3;
        }
        const double pts = imagePts(picture);
        // The picture painted must be the one delivered, and be the target's.
        const bool exact = paintedImage.cacheKey() == picture.cacheKey() && std::fabs(pts - double(target) / 1e6) <= kPtsTolerance;
        std::printf("RESULT seek=%d target_us=%lld pts_s=%.6f exact=%d delivered_ms=%.3f painted_ms=%.3f\n", index,
                    static_cast<long long>(target), pts, exact ? 1 : 0, msBetween(start, deliveredAt), msBetween(start, paintedAt));
        std::fflush(stdout);
        ++index;
        spinFor(kSettleMs);
    }
    w.player.stop();
    return 0;
}

int runEngineIdle(int argc, char **argv, const char *path, int playMs, int idleMs)
{
    quietLogs();
    QApplication app(argc, argv);
    EngineWindow w(QStringLiteral("velmora_bench_playback"));
    if (!w.showAndWait())
        return windowFailed();
    if (!w.player.openFile(QString::fromLocal8Bit(path)) || !w.player.play()) {
        std::printf("ERROR openFile or play failed\n");
        return 2;
    }
    spinFor(playMs);
    // CPU of every thread of this process (ns) over idleMs of the event loop.
    // Also the threads that took the most, as name:µs per s.
    const auto idleCost = [&](const char *state) {
        spinFor(kIdleSettleMs);
        const qint64 rounds = w.player.loopRounds();
        const QMap<qint64, ThreadCpu> before = threadCpuNs(0);
        const Clock::time_point start = Clock::now();
        spinFor(idleMs);
        const double wallS = secondsSince(start);
        const QMap<qint64, ThreadCpu> after = threadCpuNs(0);
        qint64 total = 0;
        std::vector<std::pair<qint64, QString>> byThread;
        for (auto it = after.begin(); it != after.end(); ++it) {
            const qint64 used = it->ns - before.value(it.key()).ns;
            total += used;
            byThread.emplace_back(used, it->name);
        }
        std::sort(byThread.begin(), byThread.end(), [](const auto &a, const auto &b) { return a.first > b.first; });
        QStringList top;
        for (size_t i = 0; i < byThread.size() && i < kIdleThreadsShown; ++i)
            top << QStringLiteral("%1:%2").arg(byThread[i].second.simplified().replace(QLatin1Char(' '), QLatin1Char('_')))
                       .arg(double(byThread[i].first) / 1e3 / wallS, 0, 'f', 0);
        std::printf("RESULT %s_cpu_per_s=%.6f %s_wall_s=%.3f %s_loop_rounds_per_s=%.2f %s_threads=%s\n", state,
                    double(total) / 1e9 / wallS, state, wallS, state, double(w.player.loopRounds() - rounds) / wallS, state,
                    qPrintable(top.join(QLatin1Char(','))));
    };
    w.player.pause();
    spinFor(kIdleSettleMs);
    const QRect lit = litScreenRect();
    std::printf("RESULT screen_x=%d screen_y=%d screen_w=%d screen_h=%d picture=%dx%d\n", lit.x(), lit.y(), lit.width(),
                lit.height(), w.frame->image().width(), w.frame->image().height());
    idleCost("paused");
    w.player.stop();
    idleCost("stopped");
    std::fflush(stdout);
    return 0;
}

int runScreenRect(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QRect lit = litScreenRect();
    std::printf("RESULT screen_x=%d screen_y=%d screen_w=%d screen_h=%d\n", lit.x(), lit.y(), lit.width(), lit.height());
    return 0;
}
