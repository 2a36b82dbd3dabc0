// The engine's child mode: the engine and its surface alone in the bench
// window, opening, playing, seeking or standing still.

#include "bench.h"
#include "videoplayer.h"

#include <QVBoxLayout>

#include <atomic>
#include <mutex>

namespace bench {

namespace {

constexpr int kPictureTimeoutMs = 20000; // an open or a seek without a picture by then failed
constexpr int kSettleMs = 300;           // idle before each timed open or seek
constexpr int kIdleSettleMs = 1000;      // after pause or stop, before an idle window
constexpr int kSoundPollUs = 500;        // the pacing sampler looks at the sound device this often
constexpr size_t kIdleThreadsShown = 4;

// The application's video surface, noting when pictures reach its slot and are painted.
class TimedFrame : public MyFrame
{
public:
    std::function<void(const QImage &, Clock::time_point)> onArrived, onPainted;
    qint64 picturesPainted = 0, paints = 0; // distinct pictures; paints

protected:
    bool event(QEvent *event) override
    {
        const Clock::time_point at = Clock::now();
        const qint64 before = image().cacheKey();
        const bool handled = MyFrame::event(event);
        if (event->type() == QEvent::MetaCall && onArrived && image().cacheKey() != before && !image().isNull())
            onArrived(image(), at);
        return handled;
    }
    void paintEvent(QPaintEvent *event) override
    {
        MyFrame::paintEvent(event);
        if (image().isNull())
            return;
        ++paints;
        picturesPainted += image().cacheKey() != std::exchange(mLastKey, image().cacheKey());
        if (onPainted)
            onPainted(image(), Clock::now());
        wakeWaiter();
    }

private:
    qint64 mLastKey = 0;
};

// The engine with the surface alone in a 1280x720 window.
struct EngineWindow
{
    QWidget top;
    TimedFrame *frame = new TimedFrame;
    VideoPlayer player;
    std::function<void(const QImage &)> onDelivered; // on the video thread, before the picture is queued
    EngineWindow()
    {
        auto *layout = new QVBoxLayout(&top);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(frame);
        top.resize(kWindowWidth, kWindowHeight);
        QObject::connect(frame, &MyFrame::sizeChanged, &player, &VideoPlayer::setOutputSize);
        // Connected first: it runs before the picture is queued to the surface.
        QObject::connect(
            &player, &VideoPlayer::sig_GetOneFrame, &top,
            [this](const QImage &image) { onDelivered ? onDelivered(image) : void(); }, Qt::DirectConnection);
        QObject::connect(&player, &VideoPlayer::sig_GetOneFrame, frame, &MyFrame::slotGetImage);
    }
};

// N opens, openFile to the first painted picture.
int firstPictures(EngineWindow &w, const QString &file, int n)
{
    std::optional<Clock::time_point> painted;
    w.frame->onPainted = [&](const QImage &, Clock::time_point at) { painted = painted.value_or(at); };
    for (int i = 0; i < n; ++i) {
        w.frame->slotGetImage(QImage()); // an empty surface, as when a file is picked
        spinFor(kSettleMs);
        painted.reset();
        const Clock::time_point start = Clock::now();
        if (!w.player.openFile(file))
            return childError("openFile failed", 2);
        const double openMs = msSince(start);
        if (!spinUntil([&] { return painted.has_value(); }, kPictureTimeoutMs))
            return childError("no picture painted after open %1"_s.arg(i), 3);
        result({{"open_ms", fixed(openMs, 3)}, {"first_paint_ms", fixed(msBetween(start, *painted), 3)}});
        w.player.stop();
    }
    return 0;
}

struct PictureTimes
{
    double pts = 0.0;      // ms
    double delivered = -1; // ms after play(): emitted by the video thread
    double arrived = -1;   // the surface's slot began
    double painted = -1;   // the first paint that showed it
};

struct SoundStep
{
    double wall;  // ms after play() at which the device took a buffer
    double clock; // ms: the playback clock (end of decoded sound) after it
};

qint64 countOver(const std::vector<double> &v, double limit)
{
    return std::count_if(v.begin(), v.end(), [=](double d) { return d > limit; });
}

// Residuals of y around its least-squares line over x.
std::vector<double> residuals(const std::vector<double> &x, const std::vector<double> &y)
{
    const double n = double(x.size());
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (size_t i = 0; i < x.size(); ++i)
        sx += x[i], sy += y[i], sxx += x[i] * x[i], sxy += x[i] * y[i];
    const double b = (n * sxy - sx * sy) / std::max(1e-9, n * sxx - sx * sx), a = (sy - b * sx) / std::max(1.0, n);
    std::vector<double> r;
    for (size_t i = 0; i < x.size(); ++i)
        r.push_back(y[i] - (a + b * x[i]));
    return r;
}

// Against a straight line through paint time - pts, a picture more than a
// period above it is late, the clock's own wander counted. Against the
// playback clock rebuilt from the sound device's buffer steps as the video
// thread computes it, the lateness is the engine's own.
void addPacing(Values &v, const std::vector<PictureTimes> &pictures, const std::vector<SoundStep> &sound)
{
    std::vector<double> pts, paintOffset, deliverOffset, wall, lag;
    Stats periods, queue, paint, gaps, chunks, vsClock;
    for (const PictureTimes &p : pictures) {
        if (p.painted >= 0 && p.delivered >= 0) {
            if (!pts.empty() && p.pts > pts.back())
                periods.add(p.pts - pts.back());
            pts.push_back(p.pts);
            paintOffset.push_back(p.painted - p.pts);
            deliverOffset.push_back(p.delivered - p.pts);
        }
        if (p.arrived >= 0 && p.delivered >= 0)
            queue.add(p.arrived - p.delivered);
        if (p.painted >= 0 && p.arrived >= 0)
            paint.add(p.painted - p.arrived);
    }
    const double period = periods.quantile(0.5);
    const Stats offset{residuals(pts, paintOffset)};
    v.insert({{"pictures_timed", QString::number(pts.size())},
              {"paint_offset_ms_p1", fixed(offset.quantile(0.01), 1)},
              {"paint_late_over_period", QString::number(countOver(offset.values, period))},
              {"deliver_late_over_period", QString::number(countOver(residuals(pts, deliverOffset), period))}});
    offset.addTo(v, "paint_offset_ms");
    queue.addTo(v, "queue_ms");
    paint.addTo(v, "paint_ms");
    v["sound_steps"] = QString::number(sound.size() < 3 ? 0 : sound.size()); // none: the engine keeps the wall clock
    if (sound.size() < 3)
        return;
    for (size_t i = 0; i < sound.size(); ++i) {
        wall.push_back(sound[i].wall);
        lag.push_back(sound[i].wall - sound[i].clock);
        if (i > 0)
            gaps.add(sound[i].wall - sound[i - 1].wall), chunks.add(sound[i].clock - sound[i - 1].clock);
    }
    const Stats wander{residuals(wall, lag)};
    const double chunk = chunks.quantile(0.5);
    for (const PictureTimes &p : pictures) {
        const auto it =
            std::lower_bound(sound.begin(), sound.end(), p.pts, [](const SoundStep &s, double t) { return s.clock < t; });
        if (it != sound.end() && p.painted >= 0 && p.delivered >= 0) // over this step the clock runs from clock - chunk to clock
            vsClock.add(p.painted - (it->wall + std::max(0.0, p.pts - (it->clock - chunk))));
    }
    gaps.addTo(v, "sound_gap_ms", 2);
    vsClock.addTo(v, "vs_clock_paint_ms");
    v.insert({{"clock_wander_min_ms", fixed(wander.min(), 1)},
              {"clock_wander_max_ms", fixed(wander.max(), 1)},
              {"vs_clock_pictures", QString::number(vsClock.size())},
              {"vs_clock_late", QString::number(countOver(vsClock.values, period))}});
}

// Open to natural end, every picture timed as the video thread emits it,
// as the surface's slot takes it and at its first paint; with pace, a
// thread also notes each buffer the sound device takes.
int play(EngineWindow &w, const CpuSnapshot &atOpen, bool pace)
{
    Clock::time_point playStart = Clock::now();
    std::atomic<bool> playing{false}, sampling{pace};
    std::map<qint64, PictureTimes> pictures; // by pts in µs
    std::mutex mutex;
    const auto stamp = [&](const QImage &image, Clock::time_point at, double PictureTimes::*field) {
        const double pts = imagePts(image);
        std::lock_guard<std::mutex> lock(mutex);
        if (!playing || std::isnan(pts))
            return;
        PictureTimes &p = pictures[std::llround(pts * 1e6)];
        if (p.*field < 0)
            p.pts = pts * 1000.0, p.*field = msBetween(playStart, at);
    };
    w.onDelivered = [&](const QImage &image) { stamp(image, Clock::now(), &PictureTimes::delivered); };
    w.frame->onArrived = [&](const QImage &image, Clock::time_point at) { stamp(image, at, &PictureTimes::arrived); };
    w.frame->onPainted = [&](const QImage &image, Clock::time_point at) { stamp(image, at, &PictureTimes::painted); };
    CpuSnapshot atEnd;
    QObject::connect(&w.player, &VideoPlayer::sig_PlayStopNormally, qApp, [&] {
        atEnd = cpuSnapshot();
        qApp->exit(1);
    });
    std::vector<SoundStep> sound;
    playStart = Clock::now();
    playing = true;
    std::thread sampler([&] {
        for (qint64 last = -1; sampling; std::this_thread::sleep_for(std::chrono::microseconds(kSoundPollUs)))
            if (w.player.audioBytesPlayed() != last) {
                last = w.player.audioBytesPlayed();
                sound.push_back({msSince(playStart), w.player.currentTime() * 1000.0});
            }
    });
    w.player.play();
    QTimer::singleShot(int(double(w.player.totalTime()) / 1e3 * 2.0) + 30000, qApp, &QCoreApplication::quit);
    const bool ended = qApp->exec() == 1;
    sampling = false;
    sampler.join();
    if (!ended)
        return childError("no natural end within the time limit (shown %1)"_s.arg(w.player.framesShown()), 3);
    Values v{{"shown", QString::number(w.player.framesShown())},
             {"dropped", QString::number(w.player.framesDropped())},
             {"painted", QString::number(w.frame->picturesPainted)},
             {"paints", QString::number(w.frame->paints)},
             {"picture", sizeText(w.frame->image().size())}};
    addCpuSpan(v, "play", atOpen, atEnd);
    std::vector<PictureTimes> list;
    for (const auto &entry : pictures)
        list.push_back(entry.second);
    addPacing(v, list, sound);
    std::vector<double> painted; // between paints, start-up apart
    for (const PictureTimes &p : list)
        if (p.painted >= 0)
            painted.push_back(p.painted);
    std::sort(painted.begin(), painted.end());
    double gap = 0.0;
    for (size_t i = 1; i < painted.size(); ++i)
        gap = std::max(gap, painted[i] - painted[i - 1]);
    v.insert({{"longest_gap_ms", fixed(gap, 1)}, {"longest_drop_run", QString::number(w.player.longestDropRun())}});
    result(v);
    return 0;
}

// Paused seeks: the first picture delivered and the first new one painted;
// exact when they are the same picture and it carries t.
int seeks(EngineWindow &w, const QStringList &positions)
{
    bool armed = false;
    QImage delivered, painted;
    Clock::time_point deliveredAt, paintedAt;
    qint64 keyBefore = 0;
    QObject::connect(&w.player, &VideoPlayer::sig_GetOneFrame, qApp, [&](const QImage &image) {
        if (armed && delivered.isNull())
            delivered = image, deliveredAt = Clock::now();
        wakeWaiter();
    });
    w.frame->onPainted = [&](const QImage &shown, Clock::time_point at) {
        if (armed && painted.isNull() && shown.cacheKey() != keyBefore)
            painted = shown, paintedAt = at;
    };
    for (const QString &position : positions) {
        spinFor(kSettleMs);
        keyBefore = w.frame->image().cacheKey();
        delivered = painted = QImage();
        armed = true;
        const Clock::time_point start = Clock::now();
        w.player.setIsMove(true);
        w.player.seek(position.toLongLong());
        if (!spinUntil([&] { return !delivered.isNull() && !painted.isNull(); }, kPictureTimeoutMs))
            return childError("no picture after the seek to %1 us"_s.arg(position), 3);
        armed = false;
        const bool exact = painted.cacheKey() == delivered.cacheKey()
                           && std::fabs(imagePts(delivered) - position.toDouble() / 1e6) <= kPtsTolerance;
        result({{"target_us", position},
                {"pts_s", fixed(imagePts(delivered), 6)},
                {"exact", QString::number(exact)},
                {"delivered_ms", fixed(msBetween(start, deliveredAt), 3)},
                {"painted_ms", fixed(msBetween(start, paintedAt), 3)}});
    }
    w.player.stop();
    return 0;
}

// CPU of every thread, paused then stopped, from the scheduler's
// accounting: clock ticks are too coarse for these figures.
int idle(EngineWindow &w, int playMs, int idleMs)
{
    if (!w.player.play())
        return 2;
    spinFor(playMs);
    const auto measure = [&](const QString &state) {
        spinFor(kIdleSettleMs);
        const qint64 rounds = w.player.loopRounds();
        const QMap<QString, qint64> before = threadCpuNs(0);
        const Clock::time_point start = Clock::now();
        spinFor(idleMs);
        const double wallS = msSince(start) / 1e3;
        std::vector<std::pair<double, QString>> used; // µs per s by thread
        double total = 0.0;
        const QMap<QString, qint64> after = threadCpuNs(0);
        for (auto it = after.begin(); it != after.end(); ++it)
            total +=
                used.emplace_back(double(it.value() - before.value(it.key())) / 1e3 / wallS, it.key().section('#', 0, 0)).first;
        result({{state + "_cpu_per_s", fixed(total / 1e6, 5)},
                {state + "_loop_rounds_per_s", fixed(double(w.player.loopRounds() - rounds) / wallS, 1)},
                {state + "_threads", largest(used, kIdleThreadsShown, 0)}});
    };
    w.player.pause();
    spinFor(kIdleSettleMs);
    result({{"screen", litScreen()}, {"picture", sizeText(w.frame->image().size())}});
    measure("paused");
    w.player.stop();
    measure("stopped");
    return 0;
}

} // namespace

int childEngine(const QStringList &args)
{
    EngineWindow w;
    if (!exposed(w.top) || !spinUntil([&] { return w.frame->size() == w.top.size(); }, kPictureTimeoutMs))
        return childError("window never exposed", 2);
    w.player.setOutputSize(w.frame->size());
    const QString action = args.value(1);
    if (action == "first")
        return firstPictures(w, args.value(0), args.value(2).toInt());
    const CpuSnapshot atOpen = cpuSnapshot(); // a play's CPU counts from the open
    if (!w.player.openFile(args.value(0))
        || !spinUntil([&] { return w.player.state() == VideoPlayer::Pause; }, kPictureTimeoutMs))
        return childError("openFile failed", 2);
    if (action == "play")
        return play(w, atOpen, args.value(2) == "pace");
    if (action == "seek")
        return seeks(w, args.value(2).split(',', Qt::SkipEmptyParts));
    return action == "idle" ? idle(w, args.value(2).toInt(), args.value(3).toInt()) : 2;
}

} // namespace bench
