// The child of the playback benchmark that plays a recording with a GPS
// track in the application's whole main window (map page included), as
// the program's main() makes it: the CPU of the process and of the web
// engine's processes while playing, the cost of the window's 500 ms tick on
// the GUI thread, and how often the dials repaint, playing and paused.

#include "children.h"

#include "childprocess.h"
#include "cpusnapshot.h"
#include "enginewindow.h"
#include "mainwindow.h"
#include "mapbridge.h"
#include "mycompassthread.h"
#include "mythread.h"

#include <QApplication>
#include <QPixmap>
#include <QPushButton>
#include <QQuickWindow>
#include <QScreen>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QWindow>

#include <cmath>
#include <cstdio>
#include <ctime>

#include <sys/resource.h>

using namespace bench;

namespace {

constexpr int kFormWidth = 1280;          // the form's own size, at which the surface's margins are read
constexpr int kFormHeight = 800;
constexpr int kExposeTimeoutMs = 10000;
constexpr int kMapLoadTimeoutMs = 30000;  // the page loads in about 0.3 s under Xvfb
constexpr int kSettleMs = 1000;           // after the page has loaded, before the open
constexpr int kPlayBeforePauseMs = 3000;  // played before the pause of the standing-still phase
constexpr int kNeedleStillMs = 1000;      // no needle step for this long: both stand on their targets
constexpr int kNeedleWaitMs = 20000;      // a sweep latches its target: a needle may lag a few seconds behind
constexpr int kFitRounds = 8;             // resizes to bring the video surface to its size
constexpr int kFitWaitMs = 1000;
constexpr int kSlowTickMs = 2;            // a tick over this much CPU counts as slow
constexpr int kPlayTimeoutMs = 300000;    // the 60 s recording plays in about 61 s

double threadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// Times every run of the window's 500 ms timer on the GUI thread: the
// timer's event, whose processing emits timeout() into slotTimerTimeOut.
// The timer has no parent or name, so it is recognised as the QTimer that
// the window's slot is already connected to, on its first tick.
class TickTimer : public QObject
{
public:
    explicit TickTimer(MainWindow *window)
        : mWindow(window)
    {
        qApp->installEventFilter(this);
    }
    Stats *cpuMs = nullptr;  // where the current phase's figures go; null: not noted
    Stats *wallMs = nullptr;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Timer)
            return false;
        if (!mTimer) {
            auto *timer = qobject_cast<QTimer *>(watched);
            if (!timer || !isWindowTimer(timer))
                return false;
            mTimer = timer;
            qApp->removeEventFilter(this);
            timer->installEventFilter(this);
        }
        if (watched != mTimer)
            return false;
        const double cpu = threadCpuMs();
        const Clock::time_point start = Clock::now();
        watched->event(event);
        if (cpuMs && wallMs) {
            wallMs->add(msBetween(start, Clock::now()));
            cpuMs->add(threadCpuMs() - cpu);
        }
        return true;
    }

private:
    bool isWindowTimer(QTimer *timer) const
    {
        const QMetaObject::Connection probe =
            QObject::connect(timer, &QTimer::timeout, mWindow, &MainWindow::slotTimerTimeOut, Qt::UniqueConnection);
        if (!probe)
            return true; // already connected
        QObject::disconnect(probe);
        return false;
    }

    MainWindow *mWindow;
    QTimer *mTimer = nullptr;
};

// Counts paint events of chosen widgets. Installed on the application after
// the window, so it sees them before the window's filter paints (and
// consumes) the dials' events.
class PaintCounter : public QObject
{
public:
    enum Widget { Dashboard, Compass, Chart, Video, WidgetCount };
    qint64 paints[WidgetCount] = {};
    QObject *widgets[WidgetCount] = {};

    void reset() { std::fill(std::begin(paints), std::end(paints), 0); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            for (int i = 0; i < WidgetCount; ++i)
                if (watched == widgets[i])
                    ++paints[i];
        return false;
    }
};

// Everything noted over one phase (playing, paused).
struct Phase
{
    Stats tickCpuMs;
    Stats tickWallMs;
    qint64 gaugeSteps = 0;    // angles the gauge needle's thread reported
    qint64 compassSteps = 0;
    qint64 mapCalls = 0;
    CpuSnapshot cpuBefore;
    Clock::time_point start;
};

void printPhase(const char *name, const Phase &p, const PaintCounter &paints, double wallS)
{
    const auto rate = [&](double count) { return count / wallS; };
    const auto q = [](const Stats &s, double share) { return s.empty() ? -1.0 : s.quantile(share); };
    int slow = 0;
    for (double v : p.tickCpuMs.values)
        slow += v > kSlowTickMs ? 1 : 0;
    std::printf("RESULT %s_wall_s=%.3f %s_ticks=%zu %s_tick_cpu_p50_ms=%.3f %s_tick_cpu_p99_ms=%.3f %s_tick_cpu_max_ms=%.3f "
                "%s_tick_wall_p50_ms=%.3f %s_tick_wall_p99_ms=%.3f %s_tick_wall_max_ms=%.3f %s_ticks_over_2ms=%d\n",
                name, wallS, name, p.tickCpuMs.size(), name, q(p.tickCpuMs, 0.5), name, q(p.tickCpuMs, 0.99), name,
                p.tickCpuMs.empty() ? -1.0 : p.tickCpuMs.max(), name, q(p.tickWallMs, 0.5), name, q(p.tickWallMs, 0.99), name,
                p.tickWallMs.empty() ? -1.0 : p.tickWallMs.max(), name, slow);
    QStringList each;
    for (double v : p.tickCpuMs.values)
        each << QString::number(v, 'f', 2);
    std::printf("RESULT %s_tick_cpu_each_ms=%s\n", name, qPrintable(each.join(QLatin1Char(','))));
    std::printf("RESULT %s_gauge_paints_per_s=%.2f %s_compass_paints_per_s=%.2f %s_chart_paints_per_s=%.2f "
                "%s_video_paints_per_s=%.2f %s_gauge_steps_per_s=%.2f %s_compass_steps_per_s=%.2f %s_map_calls_per_s=%.2f\n",
                name, rate(double(paints.paints[PaintCounter::Dashboard])), name, rate(double(paints.paints[PaintCounter::Compass])),
                name, rate(double(paints.paints[PaintCounter::Chart])), name, rate(double(paints.paints[PaintCounter::Video])), name,
                rate(double(p.gaugeSteps)), name, rate(double(p.compassSteps)), name, rate(double(p.mapCalls)));
    std::fflush(stdout);
}

// Resizes the window until its video surface is width x height: the
// surface takes only a share of each pixel the window grows by (the panels
// beside it grow too), measured as it goes.
void fitSurface(MainWindow &window, QWidget *surface, int width, int height)
{
    const QSize target(width, height);
    double shareW = 1.0;
    double shareH = 1.0;
    for (int round = 0; round < kFitRounds && surface->size() != target; ++round) {
        const QSize before = surface->size();
        const QSize windowBefore = window.size();
        const QSize wanted(windowBefore.width() + int(std::lround((width - before.width()) / shareW)),
                           windowBefore.height() + int(std::lround((height - before.height()) / shareH)));
        window.resize(wanted);
        spinUntil([&] { return surface->size() != before; }, kFitWaitMs);
        spinFor(kFitWaitMs / 10);
        const QSize grown = surface->size() - before;
        const QSize windowGrown = window.size() - windowBefore;
        if (windowGrown.width() != 0 && grown.width() != 0)
            shareW = double(grown.width()) / windowGrown.width();
        if (windowGrown.height() != 0 && grown.height() != 0)
            shareH = double(grown.height()) / windowGrown.height();
    }
}

} // namespace

int runTelemetryWindow(int argc, char **argv, const char *path, int surfaceWidth, int surfaceHeight, int pausedMs, bool map)
{
    quietLogs();
    QApplication app(argc, argv);
    {
        // As the program's main() makes it.
        MainWindow window(nullptr, map ? MainWindow::MapView::Web : MainWindow::MapView::None);
        window.setWindowFlags(Qt::FramelessWindowHint);
        app.installEventFilter(&window);
        TickTimer ticks(&window);
        PaintCounter paints;
        auto *surface = window.findChild<MyFrame *>(QStringLiteral("frameVideo"));
        auto *gauge = window.findChild<mythread *>();
        auto *compass = window.findChild<mycompassthread *>();
        auto *playButton = window.findChild<QPushButton *>(QStringLiteral("playButton"));
        if (!surface || !gauge || !compass || !playButton || (map && !window.mapBridge())) {
            std::printf("ERROR the window lacks its video surface, needles, play button or map\n");
            return 2;
        }
        paints.widgets[PaintCounter::Dashboard] = window.findChild<QWidget *>(QStringLiteral("widgetDashboard"));
        paints.widgets[PaintCounter::Compass] = window.findChild<QWidget *>(QStringLiteral("widgetCompass"));
        paints.widgets[PaintCounter::Chart] = window.findChild<QWidget *>(QStringLiteral("widgetChart"));
        paints.widgets[PaintCounter::Video] = surface;
        app.installEventFilter(&paints);

        window.resize(kFormWidth, kFormHeight);
        const Clock::time_point shown = Clock::now();
        window.show();
        if (!spinUntil([&] { return window.windowHandle() && window.windowHandle()->isExposed(); }, kExposeTimeoutMs)) {
            std::printf("ERROR window never exposed\n");
            return 2;
        }
        if (surfaceWidth > 0 && surfaceHeight > 0)
            fitSurface(window, surface, surfaceWidth, surfaceHeight);
        const bool mapLoaded = !map || spinUntil([&] { return window.mapBridge()->isLoaded(); }, kMapLoadTimeoutMs);
        const QSize screen = window.windowHandle()->screen()->size();
        std::printf("RESULT map=%d map_loaded=%d map_load_ms=%.1f window=%dx%d surface=%dx%d screen=%dx%d\n", map ? 1 : 0, mapLoaded ? 1 : 0,
                    msBetween(shown, Clock::now()), window.width(), window.height(), surface->width(), surface->height(),
                    screen.width(), screen.height());
        // Widgets with a window of their own (the map's view, and what Qt made native with it).
        QStringList natives;
        for (QWidget *w : window.findChildren<QWidget *>())
            if (w->internalWinId())
                natives << (w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className()) : w->objectName());
        std::printf("RESULT native_children=%d native_names=%s scene_graph=%s\n", int(natives.size()),
                    qPrintable(natives.isEmpty() ? QStringLiteral("none") : natives.join(QLatin1Char(','))),
                    qPrintable(QQuickWindow::sceneGraphBackend().isEmpty() ? QStringLiteral("opengl") : QQuickWindow::sceneGraphBackend()));
        spinFor(kSettleMs);

        Phase playing, paused;
        Phase *phase = nullptr;
        QObject::connect(gauge, &mythread::sig_updateDashboard, &app, [&] {
            if (phase)
                ++phase->gaugeSteps;
        });
        QObject::connect(compass, &mycompassthread::sig_updateCompass, &app, [&] {
            if (phase)
                ++phase->compassSteps;
        });
        QObject::connect(&window, &MainWindow::sig_MapCall, &app, [&] {
            if (phase)
                ++phase->mapCalls;
        });
        const pid_t xServer = findXServer();
        const pid_t renderer = map ? pid_t(window.mapBridge()->view()->page()->renderProcessPid()) : 0;
        bool ended = false;
        CpuSnapshot atEnd;
        Clock::time_point end;
        QObject::connect(window.player(), &VideoPlayer::sig_PlayStopNormally, &app, [&] {
            if (phase != &playing)
                return;
            atEnd = takeCpuSnapshot(xServer, renderer);
            end = Clock::now();
            ended = true;
            phase = nullptr;
            wakeWaiter();
        });
        const auto enter = [&](Phase &p) {
            ticks.cpuMs = &p.tickCpuMs;
            ticks.wallMs = &p.tickWallMs;
            paints.reset();
            p.cpuBefore = takeCpuSnapshot(xServer, renderer);
            p.start = Clock::now();
            phase = &p;
        };

        // Playing: from the open, as the file list makes it, to the natural end.
        enter(playing);
        QTimer::singleShot(0, &window, [&] { window.slotOpenRecording(QString::fromLocal8Bit(path), true); });
        if (!spinUntil([&] { return ended; }, kPlayTimeoutMs)) {
            std::printf("ERROR no natural end (shown %lld)\n", static_cast<long long>(window.player()->framesShown()));
            return 3;
        }
        ticks.cpuMs = ticks.wallMs = nullptr;
        const double playWallS = msBetween(playing.start, end) / 1000.0;
        std::printf("RESULT shown=%lld dropped=%lld picture=%dx%d gps_count=%d gps_valid=%d\n",
                    static_cast<long long>(window.player()->framesShown()), static_cast<long long>(window.player()->framesDropped()),
                    surface->image().width(), surface->image().height(),
                    window.gpsData().track ? window.gpsData().track->count() : -1,
                    window.gpsData().track && window.gpsData().track->valid ? 1 : 0);
        printCpuSpan("play", playing.cpuBefore, atEnd);
        printPhase("play", playing, paints, playWallS);

        // Standing still: the same file again, paused by the play button
        // after a moment, measured once the needles have reached their targets.
        window.slotOpenRecording(QString::fromLocal8Bit(path), true);
        spinFor(kPlayBeforePauseMs);
        playButton->click();
        Clock::time_point lastStep = Clock::now();
        QObject::connect(gauge, &mythread::sig_updateDashboard, &app, [&] { lastStep = Clock::now(); });
        QObject::connect(compass, &mycompassthread::sig_updateCompass, &app, [&] { lastStep = Clock::now(); });
        const Clock::time_point pausedAt = Clock::now();
        const bool still = spinUntil([&] { return msBetween(lastStep, Clock::now()) >= kNeedleStillMs; }, kNeedleWaitMs);
        std::printf("RESULT needles_still=%d needles_still_after_ms=%.0f\n", still ? 1 : 0, msBetween(pausedAt, Clock::now()));
        if (window.playState() != 1) {
            std::printf("ERROR not paused (state %d)\n", window.playState());
            return 3;
        }
        // The screen as the X server shows it, to look at by hand.
        const QString shot = qEnvironmentVariable("VELMORA_BENCH_TELEMETRY_SHOT");
        if (!shot.isEmpty())
            window.windowHandle()->screen()->grabWindow(0).save(shot);
        enter(paused);
        spinFor(pausedMs);
        const CpuSnapshot pausedEnd = takeCpuSnapshot(xServer, renderer);
        const double pausedWallS = secondsSince(paused.start);
        phase = nullptr;
        ticks.cpuMs = ticks.wallMs = nullptr;
        printCpuSpan("paused", paused.cpuBefore, pausedEnd);
        printPhase("paused", paused, paints, pausedWallS);
        window.player()->stop();
        app.removeEventFilter(&paints);
        app.removeEventFilter(&window);
    }
    // Whether wait4() of this process will include the web engine's processes.
    struct rusage self {}, children {};
    getrusage(RUSAGE_SELF, &self);
    getrusage(RUSAGE_CHILDREN, &children);
    std::printf("RESULT exit_self_s=%.3f exit_children_s=%.3f\n",
                double(self.ru_utime.tv_sec + self.ru_stime.tv_sec) + double(self.ru_utime.tv_usec + self.ru_stime.tv_usec) / 1e6,
                double(children.ru_utime.tv_sec + children.ru_stime.tv_sec)
                    + double(children.ru_utime.tv_usec + children.ru_stime.tv_usec) / 1e6);
    std::fflush(stdout);
    return 0;
}
