// telemetry: a recording with a swinging GPS track played to its end by the
// bare engine and by the main window: CPU of every process, the window's
// 500 ms tick on the GUI thread, and what repaints, playing and paused.

#include "bench.h"
#include "mainwindow.h"
#include "mapbridge.h"

#include <QScreen>
#include <QWindow>

namespace bench {

namespace {

constexpr int kDriveRecords = 60;        // one a second of the 60 s recording
constexpr double kAddedCpuTarget = 1.10; // main window / bare engine
constexpr double kTickTargetMs = 2.0;    // 99th percentile of the tick's CPU on the GUI thread
constexpr double kChildTimeoutS = 400.0; // a 60 s play, the paused phase and start-up
constexpr int kMapLoadTimeoutMs = 30000;
constexpr int kSettleMs = 1000; // after the page has loaded, before the open
constexpr int kPlayBeforePauseMs = 3000;
constexpr int kStillMs = 1000;      // no paint for this long: the needles stand on their targets
constexpr int kStillWaitMs = 20000; // a sweep latches its target: a needle may lag seconds behind
constexpr int kPlayTimeoutMs = 300000;
constexpr size_t kShownWidgets = 10;
constexpr int kPausedMs = 10000;

const char *const kColumns[] = {"engine", "window", "window without map"};

double total(const Values &v) // the process and the web engine's
{
    return num(v, "play_self_s") + std::max(0.0, num(v, "play_renderer_s")) + std::max(0.0, num(v, "play_web_other_s"));
}

// Both needles sweep at every record and the chart's line moves: a worst
// case for the panel, not a real drive.
QString makeRecording(const QString &dir, bool regenerate)
{
    const Clip *source = findClip("1080p30");
    const QString file = QDir(dir).filePath(QFileInfo(clipPath(dir, *source)).completeBaseName() + "_gps60swing.mp4");
    fixture::DriveSpec plan;
    plan.records = kDriveRecords;
    QVector<fixture::CameraRecord> drive = fixture::makeDrive(plan);
    for (int i = 0; i < drive.size(); ++i) {
        drive[i].raw.speed = float((50.0 + 25.0 * std::sin(2.0 * M_PI * i / 8.0)) / 1.852); // km/h in knots
        drive[i].raw.heading = float(45.0 + 40.0 * std::sin(2.0 * M_PI * i / 10.0));        // the drive heads north-east
    }
    const bool ok = makeClip(dir, *source, regenerate) && addGpsTrack(clipPath(dir, *source), file, drive, regenerate);
    return ok ? file : QString();
}

void printWindow(const char *column, const Values &v)
{
    out() << "\n"
          << column << ", the 500 ms tick on the GUI thread (ms), map calls and paints per s by widget, playing and paused:\n";
    printValues(
        "set-up", v,
        {"window", "screen", "surface", "map_loaded", "map_load_ms", "scene_graph", "gps_count", "gps_valid", "still_after_ms"});
    for (const QString phase : {"play", "paused"}) {
        QStringList keys;
        for (const char *key :
             {"cpu_p50", "cpu_p99", "cpu_max", "wall_p50", "wall_p99", "wall_max", "map_per_s", "paints_per_s", "paints"})
            keys << phase + '_' + QLatin1String(key);
        printValues(phase, v, keys);
    }
    const double wall = num(v, "paused_wall_s");
    out() << "  paused, CPU s per wall s: process " << fixed(num(v, "paused_self_s") / wall, 5) << ", web engine "
          << fixed((num(v, "paused_renderer_s") + num(v, "paused_web_other_s")) / wall, 5) << ", X server "
          << fixed(num(v, "paused_x_s") / wall, 5) << "\n";
}

int run(const Options &o)
{
    const QString logDir = QDir(o.str("dir")).filePath("logs"), file = makeRecording(o.str("dir"), o.flag("regenerate"));
    if (file.isEmpty() || !QDir().mkpath(logDir))
        return 3;
    const MediaInfo m = probe(file);
    out() << file << ": " << m.text << ", " << kDriveRecords << " GPS records" << Qt::endl;
    const QStringList surface{o.str("surface").section('x', 0, 0), o.str("surface").section('x', 1, 1)};
    const int columns = o.flag("without-map") ? 3 : 2;
    std::vector<Values> plays[3];
    for (int rep = 0; rep < o.integer("reps"); ++rep) { // interleaved
        for (int c = 0; c < columns; ++c) {
            out() << "  load average " << loadAverage() << "; " << kColumns[c] << ", play " << rep + 1 << " ..." << Qt::endl;
            QStringList args{"engine", file, "play"};
            if (c > 0)
                args =
                    QStringList{"telemetry", file} + surface + QStringList{QString::number(kPausedMs), c == 1 ? "map" : "nomap"};
            const ChildRun run = runSelf(logDir, "telemetry_%1"_s.arg(c), args, kChildTimeoutS, kEngineEnv);
            plays[c].push_back(run.measured());
            if (!plays[c].back().contains("play_self_s"))
                plays[c].back().insert("note", "no figures " + run.failure());
        }
    }
    Values median[3]; // of each, the play with the median total CPU
    std::vector<QStringList> rows{{"the process"},
                                  {"web engine renderer"},
                                  {"other web engine processes"},
                                  {"total"},
                                  {"total / engine"},
                                  {"X server"},
                                  {"pictures shown / dropped, picture"},
                                  {"every play, total"}};
    for (int c = 0; c < columns; ++c) {
        const Values &v = median[c] = medianRun(plays[c], [&](const Values &v) { return total(v) / m.duration; });
        if (v.contains("note")) {
            out() << "  " << kColumns[c] << " failed: " << v["note"] << "\n";
            return 3;
        }
        const auto per = [&](const char *key) { return fixed(num(v, QLatin1String(key)) / m.duration, 3); };
        const QStringList cells{per("play_self_s"),
                                per("play_renderer_s"),
                                per("play_web_other_s"),
                                fixed(total(v) / m.duration, 3),
                                fixed(total(v) / total(median[0]), 2),
                                per("play_x_s"),
                                v["shown"] + '/' + v["dropped"] + ' ' + v["picture"],
                                v["every_cost"]};
        for (int r = 0; r < cells.size(); ++r)
            rows[size_t(r)] << cells[r];
    }
    out() << "\nCPU s per media s, open to natural end; of each the median play by total\n";
    printTable(QStringList{""} + QStringList{kColumns[0], kColumns[1], kColumns[2]}.mid(0, columns), rows);
    for (int c = 1; c < columns; ++c)
        printWindow(kColumns[c], median[c]);
    const double ratio = total(median[1]) / total(median[0]), tick = num(median[1], "play_cpu_p99", 1e9);
    const bool still = num(median[1], "paused_paints_per_s", 1) == 0.0;
    out() << "\ntargets: CPU window / engine " << fixed(ratio, 2) << " <= 1.10: " << verdict(ratio <= kAddedCpuTarget)
          << "; tick CPU 99th percentile " << fixed(tick, 3) << " ms < 2 ms: " << verdict(tick < kTickTargetMs)
          << "; nothing repaints while paused: " << verdict(still) << "\n";
    return ratio <= kAddedCpuTarget && tick < kTickTargetMs && still ? 0 : 1;
}

// Times the window's 500 ms timer events. The timer has neither parent nor
// name: it is the QTimer already connected to slotTimerTimeOut.
class TickTimer : public QObject
{
public:
    explicit TickTimer(MainWindow *window)
        : mWindow(window)
    {
        qApp->installEventFilter(this);
    }
    Stats *cpuMs = nullptr, *wallMs = nullptr; // the phase's; null: not noted

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Timer || (mTimer && watched != mTimer))
            return false;
        if (!mTimer) {
            auto *timer = qobject_cast<QTimer *>(watched);
            const QMetaObject::Connection probe =
                timer ? QObject::connect(timer, &QTimer::timeout, mWindow, &MainWindow::slotTimerTimeOut, Qt::UniqueConnection)
                      : QMetaObject::Connection();
            if (!timer || probe) {
                QObject::disconnect(probe);
                return false;
            }
            mTimer = timer;
            qApp->removeEventFilter(this);
            timer->installEventFilter(this);
        }
        timespec c0{}, c1{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &c0);
        const Clock::time_point start = Clock::now();
        watched->event(event);
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &c1);
        if (cpuMs && wallMs) {
            wallMs->add(msSince(start));
            cpuMs->add(double(c1.tv_sec - c0.tv_sec) * 1e3 + double(c1.tv_nsec - c0.tv_nsec) / 1e6);
        }
        return true;
    }

private:
    MainWindow *mWindow;
    QTimer *mTimer = nullptr;
};

// Paints by widget; installed after the window's filter, which paints (and
// consumes) the dials' paint events, so that it sees them first.
struct PaintCounter : QObject
{
    std::map<QString, qint64> paints;
    Clock::time_point last = Clock::now();
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            ++paints[watched->objectName().isEmpty() ? QLatin1String(watched->metaObject()->className()) : watched->objectName()];
            last = Clock::now();
        }
        return false;
    }
};

// Each pixel the window grows gives the surface only a share (the panels
// beside it grow too), measured as it goes.
void resizeSurface(QWidget &window, QWidget &surface, const QSize &target)
{
    double shareW = 1.0, shareH = 1.0;
    for (int round = 0; round < 8 && surface.size() != target; ++round) {
        const QSize before = surface.size(), windowBefore = window.size();
        window.resize(windowBefore.width() + int(std::lround((target.width() - before.width()) / shareW)),
                      windowBefore.height() + int(std::lround((target.height() - before.height()) / shareH)));
        spinUntil([&] { return surface.size() != before; }, 1000);
        spinFor(100);
        const QSize grown = surface.size() - before, windowGrown = window.size() - windowBefore;
        shareW = windowGrown.width() && grown.width() ? double(grown.width()) / windowGrown.width() : shareW;
        shareH = windowGrown.height() && grown.height() ? double(grown.height()) / windowGrown.height() : shareH;
    }
}

} // namespace

// The main window as main() makes it, surface at W x H, plays FILE to its
// end; then again, paused with the space key's slot for PAUSED_MS.
int childTelemetryWindow(const QStringList &args)
{
    const bool map = args.value(4) == "map";
    MainWindow window(nullptr, map ? MainWindow::MapView::Web : MainWindow::MapView::None);
    window.setWindowFlags(Qt::FramelessWindowHint);
    qApp->installEventFilter(&window);
    TickTimer ticks(&window);
    PaintCounter paints;
    qApp->installEventFilter(&paints);
    window.resize(1280, 800); // the form's size
    const Clock::time_point shown = Clock::now();
    MyFrame *surface = showMainWindow(window, false);
    if (!surface)
        return 2;
    resizeSurface(window, *surface, QSize(args.value(1).toInt(), args.value(2).toInt()));
    const bool loaded = !map || spinUntil([&] { return window.mapBridge()->isLoaded(); }, kMapLoadTimeoutMs);
    const QString sceneGraph = qEnvironmentVariable("QT_QUICK_BACKEND");
    result({{"map_loaded", QString::number(loaded)},
            {"map_load_ms", fixed(msSince(shown), 0)},
            {"window", sizeText(window.size())},
            {"surface", sizeText(surface->size())},
            {"screen", sizeText(window.windowHandle()->screen()->size())},
            {"scene_graph", sceneGraph.isEmpty() ? "opengl" : sceneGraph}});
    spinFor(kSettleMs);

    qint64 mapCalls = 0;
    QObject::connect(&window, &MainWindow::sig_MapCall, qApp, [&] { ++mapCalls; });
    Stats tickCpu, tickWall;
    CpuSnapshot start, end;
    Clock::time_point startAt, endAt;
    const auto enter = [&] {
        tickCpu = tickWall = Stats();
        ticks.cpuMs = &tickCpu;
        ticks.wallMs = &tickWall;
        paints.paints.clear();
        mapCalls = 0;
        start = cpuSnapshot();
        startAt = Clock::now();
    };
    const auto leave = [&](const QString &phase) {
        ticks.cpuMs = ticks.wallMs = nullptr;
        const double wallS = msBetween(startAt, endAt) / 1e3;
        std::vector<std::pair<double, QString>> perS;
        double all = 0.0;
        for (const auto &p : paints.paints)
            all += perS.emplace_back(double(p.second) / wallS, p.first).first;
        Values v{{phase + "_wall_s", fixed(wallS, 3)},
                 {phase + "_map_per_s", fixed(double(mapCalls) / wallS, 1)},
                 {phase + "_paints_per_s", fixed(all, 1)},
                 {phase + "_paints", largest(perS, kShownWidgets, 1)}};
        tickCpu.addTo(v, phase + "_cpu", 3);
        tickWall.addTo(v, phase + "_wall", 3);
        addCpuSpan(v, phase, start, end);
        result(v);
    };
    bool ended = false, playing = true;
    QObject::connect(window.session(), &PlaybackSession::sig_Ended, qApp, [&] {
        if (playing && !ended) {
            end = cpuSnapshot();
            endAt = Clock::now();
            ended = true;
        }
    });
    // Playing: from the open, as the file list makes it, to the natural end.
    enter();
    QTimer::singleShot(0, &window, [&] { window.slotOpenRecording(args.value(0), true); });
    if (!spinUntil([&] { return ended; }, kPlayTimeoutMs))
        return childError("no natural end (shown %1)"_s.arg(window.session()->framesShown()), 3);
    const GpsData &gps = window.gpsData();
    result({{"shown", QString::number(window.session()->framesShown())},
            {"dropped", QString::number(window.session()->framesDropped())},
            {"picture", sizeText(surface->image().size())},
            {"gps_count", QString::number(gps.track ? gps.track->count() : -1)},
            {"gps_valid", QString::number(gps.track && gps.track->valid)}});
    leave("play");
    // Standing still: the file again, paused after a moment, measured once nothing paints.
    playing = false;
    window.slotOpenRecording(args.value(0), true);
    spinFor(kPlayBeforePauseMs);
    window.slotDetKeySpace();
    const Clock::time_point pausedAt = Clock::now();
    spinUntil([&] { return msSince(paints.last) >= kStillMs; }, kStillWaitMs);
    result({{"still_after_ms", fixed(msSince(pausedAt), 0)}});
    if (window.playState() != PlaybackSession::Paused)
        return childError("not paused (state %1)"_s.arg(window.playState()), 3);
    enter();
    spinFor(args.value(3).toInt());
    end = cpuSnapshot();
    endAt = Clock::now();
    leave("paused");
    window.session()->stop();
    qApp->removeEventFilter(&paints);
    qApp->removeEventFilter(&window);
    return 0;
}

const Scenario kTelemetry{"telemetry",
                          "the main window playing a recording with a GPS track against the bare engine",
                          "playback",
                          {{"reps", "1", "plays of each, interleaved; the median by total CPU is shown"},
                           {"surface", "1280x720", "the window's video surface, WxH"},
                           {"without-map", nullptr, "the window also plays without its map page"}},
                          run,
                          Display::X};

} // namespace bench
