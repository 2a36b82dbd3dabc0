// lean: the viewer as a user runs it (its window, the map, every process it
// starts) against mpv: CPU per second of steady play, memory, and the cost
// of a recording left paused or stopped. Seen from outside through /proc.

#include "bench.h"
#include "mainwindow.h"

#include <QPushButton>

namespace bench {

namespace {

constexpr int kSteadyFromMs = 5000, kSteadyToMs = 35000; // after the spawn
constexpr int kMemoryEveryMs = 1000;
constexpr int kIdleMs = 20000, kSettleMs = 2000;
constexpr int kStartMs = 5000; // the viewer without a recording
constexpr int kFirstPictureTimeoutMs = 30000;
constexpr double kCpuRatioTarget = 0.8, kIdleTarget = 0.001, kGrowthTargetMiB = 50.0;
constexpr double kLayoutTimeoutS = 120.0;
const char kFirstPicture[] = "first picture painted";
const char kStateLine[] = "mPlayState: "; // velmora.window

struct Recording
{
    QString name, path;
};

double mib(qint64 kib) { return double(kib) / 1024.0; }

QStringList mpvPlayer(const QSize &surface) { return mpvArgs(surface) << "--profile=sw-fast" << "--really-quiet"; }

// CPU per second of the whole tree over steady play, and its peak memory.
Values play(const QString &who, const QString &file, const QSize &surface, const QString &logBase)
{
    Launch l(logBase);
    const bool ours = who == "ours";
    if (!l.start(ours ? QStringList{viewerPath(), file} : mpvPlayer(surface) << file, ours ? viewerEnv(logBase + "_profile") : Values()))
        return {{"note", "did not start"}};
    Values v;
    if (ours)
        v["first_ms"] = fixed(l.lineMs(kFirstPicture, kFirstPictureTimeoutMs), 0);
    l.wait(kSteadyFromMs - int(msSince(l.started)));
    const double cpu0 = treeCpuS(l.pid());
    const Clock::time_point t0 = Clock::now();
    qint64 self = 0, tree = 0;
    size_t processes = 0;
    while (l.running() && msSince(l.started) < kSteadyToMs) {
        self = std::max(self, pssKiB(l.pid())), tree = std::max(tree, treePssKiB(l.pid()));
        processes = std::max(processes, processTree(l.pid()).size());
        l.wait(std::min(kMemoryEveryMs, kSteadyToMs - int(msSince(l.started))));
    }
    if (!l.running())
        return {{"note", "ended early"}};
    v.insert({{"cpu_per_s", fixed((treeCpuS(l.pid()) - cpu0) / (msSince(t0) / 1e3), 3)},
              {"pss_self_mib", fixed(mib(self), 0)},
              {"pss_tree_mib", fixed(mib(tree), 0)},
              {"processes", QString::number(processes)}});
    return v;
}

double idleCpu(Launch &l) // per second of the tree, after settling
{
    l.wait(kSettleMs);
    const double cpu0 = treeCpuS(l.pid());
    const Clock::time_point t0 = Clock::now();
    l.wait(kIdleMs);
    return l.running() ? (treeCpuS(l.pid()) - cpu0) / (msSince(t0) / 1e3) : NAN;
}

// Ours: Space while playing, then the stop button, both through the X server as a user's.
Values idle(const QString &file, const Values &layout, const QString &logBase)
{
    Launch l(logBase);
    if (!l.start({viewerPath(), file}, viewerEnv(logBase + "_profile")) || l.lineMs(kFirstPicture, kFirstPictureTimeoutMs) < 0)
        return {{"note", "no first picture"}};
    l.wait(kSteadyFromMs - int(msSince(l.started)));
    const int paused = l.count(kStateLine + "1"_s), stopped = l.count(kStateLine + "2"_s);
    const QString window = l.window();
    // The pointer on the window (no window manager: the keyboard follows it), off every control.
    if (window.isEmpty() || !l.xdotool({"mousemove", "--window", window, "2", "2", "key", "space"}))
        return {{"note", "no window for xdotool"}};
    Values v{{"paused_per_s", fixed(idleCpu(l), 5)}};
    if (!l.xdotool({"mousemove", "--window", window, layout["stop_x"], layout["stop_y"], "click", "1"}))
        return {{"note", "xdotool click failed"}};
    v["stopped_per_s"] = fixed(idleCpu(l), 5);
    // The window's log says each state was reached (1 paused, 2 stopped).
    if (l.count(kStateLine + "1"_s) != 1 + paused || l.count(kStateLine + "2"_s) != 1 + stopped)
        v["note"] = "the viewer did not pause and stop; see " + logBase + ".log";
    return v;
}

Values mpvPaused(const QString &file, const QSize &surface, const QString &logBase)
{
    Launch l(logBase);
    if (!l.start(mpvPlayer(surface) << "--pause" << file, {}))
        return {{"note", "did not start"}};
    l.wait(kSteadyFromMs);
    return {{"paused_per_s", fixed(idleCpu(l), 5)}};
}

Values atStart(const QString &logBase)
{
    Launch l(logBase);
    if (!l.start({viewerPath()}, viewerEnv(logBase + "_profile")))
        return {{"note", "did not start"}};
    l.wait(kStartMs);
    return {{"pss_self_mib", fixed(mib(pssKiB(l.pid())), 0)}, {"pss_tree_mib", fixed(mib(treePssKiB(l.pid())), 0)}};
}

QString every(const std::vector<Values> &runs, const char *key)
{
    QStringList all;
    for (const Values &v : runs)
        all << v.value(key, v.value("note", "-"));
    return all.join(' ');
}

Stats stats(const std::vector<Values> &runs, const char *key)
{
    Stats s;
    for (const Values &v : runs)
        if (!v.contains("note"))
            s.add(num(v, key));
    return s;
}

int run(const Options &o)
{
    const QString dir = o.str("dir"), logDir = QDir(dir).filePath("logs");
    const bool regenerate = o.flag("regenerate");
    const std::vector<Recording> files{{"1080p30 MP4", trackedClip(dir, "1080p30", false, regenerate)},
                                       {"1080p30 TS", trackedClip(dir, "1080p30", true, regenerate)},
                                       {"1080p60 MP4", trackedClip(dir, "1080p60", false, regenerate)}};
    for (const Recording &r : files)
        if (r.path.isEmpty() || !QDir().mkpath(logDir))
            return 3;
    const Values layout = viewerLayout(logDir, files[0].path);
    const QSize surface(layout["surface_w"].toInt(), layout["surface_h"].toInt());
    if (surface.isEmpty())
        return 3;
    out() << "viewer " << viewerPath() << "\n";
    printValues("its window by default", layout, {"window", "surface", "picture", "stop_x", "stop_y"});
    out() << "mpv: " << mpvPlayer(surface).join(' ') << " (its window the size of the viewer's video area)\n";
    for (const Recording &r : files)
        out() << r.name << ": " << r.path << ", " << probe(r.path).text << Qt::endl;

    std::map<QString, std::vector<Values>> runs; // "ours 1080p30 MP4", "ours idle", "ours start", "mpv paused" ...
    for (int rep = 1; rep <= o.integer("reps"); ++rep) { // interleaved: drift hits both alike
        out() << "  load average " << loadAverage() << "; round " << rep << " ..." << Qt::endl;
        const QString tag = QString::number(rep);
        runs["ours start"].push_back(atStart(QDir(logDir).filePath("lean_start_" + tag)));
        for (size_t f = 0; f < files.size(); ++f)
            for (const QString who : {"ours", "mpv"})
                runs[who + ' ' + files[f].name].push_back(
                    play(who, files[f].path, surface, QDir(logDir).filePath("lean_%1_%2_%3"_s.arg(who).arg(f).arg(tag))));
        runs["ours idle"].push_back(idle(files[0].path, layout, QDir(logDir).filePath("lean_idle_" + tag)));
        runs["mpv idle"].push_back(mpvPaused(files[0].path, surface, QDir(logDir).filePath("lean_mpv_idle_" + tag)));
    }

    out() << "\nSteady play, " << kSteadyFromMs / 1000 << " s to " << kSteadyToMs / 1000
          << " s after the spawn: CPU s per s of the process and all it started (medians; every run), "
             "peak PSS MiB of the process and of its tree\n";
    std::vector<QStringList> rows;
    QStringList missed;
    for (const Recording &r : files) {
        const std::vector<Values> &ours = runs["ours " + r.name], &mpv = runs["mpv " + r.name];
        const double ratio = stats(ours, "cpu_per_s").median() / stats(mpv, "cpu_per_s").median();
        rows.push_back({r.name, fixed(stats(ours, "cpu_per_s").median(), 3), fixed(stats(mpv, "cpu_per_s").median(), 3),
                        fixed(ratio, 2), every(ours, "cpu_per_s"), every(mpv, "cpu_per_s"),
                        fixed(stats(ours, "pss_self_mib").max(), 0) + " / " + fixed(stats(ours, "pss_tree_mib").max(), 0),
                        fixed(stats(mpv, "pss_self_mib").max(), 0), every(ours, "processes"), every(ours, "first_ms")});
        if (!(ratio <= kCpuRatioTarget))
            missed << "CPU ours/mpv " + r.name;
    }
    printTable({"", "ours", "mpv", "ours/mpv", "ours every", "mpv every", "ours PSS self / tree", "mpv PSS", "processes",
                "first picture ms"},
               rows);

    const Stats paused = stats(runs["ours idle"], "paused_per_s"), stopped = stats(runs["ours idle"], "stopped_per_s");
    const Stats mpvPause = stats(runs["mpv idle"], "paused_per_s");
    out() << "\n1080p30 MP4 open, " << kIdleMs / 1000 << " s after " << kSettleMs / 1000
          << " s of settling, CPU s per s of the tree (median; every run):\n"
          << "  ours paused (Space)          " << fixed(paused.median(), 5) << "; " << every(runs["ours idle"], "paused_per_s")
          << "\n  ours stopped (stop button)   " << fixed(stopped.median(), 5) << "; " << every(runs["ours idle"], "stopped_per_s")
          << "\n  mpv paused (--pause)         " << fixed(mpvPause.median(), 5) << "; " << every(runs["mpv idle"], "paused_per_s")
          << "\n";
    if (!(paused.max() <= kIdleTarget))
        missed << "paused CPU";
    if (!(stopped.max() <= kIdleTarget))
        missed << "stopped CPU";

    const Stats start = stats(runs["ours start"], "pss_self_mib"), peak = stats(runs["ours 1080p60 MP4"], "pss_self_mib");
    const double growth = peak.max() - start.median();
    out() << "\nMemory, the viewer's own PSS: at start without a recording (" << kStartMs / 1000 << " s) "
          << fixed(start.median(), 0) << " MiB (tree " << fixed(stats(runs["ours start"], "pss_tree_mib").median(), 0)
          << "), peak playing 1080p60 " << fixed(peak.max(), 0) << " MiB: growth " << fixed(growth, 0) << " MiB\n";
    if (!(growth <= kGrowthTargetMiB))
        missed << "memory growth";

    out() << "\ntargets: CPU ours/mpv <= " << kCpuRatioTarget << " for each file; paused and stopped <= " << kIdleTarget
          << " CPU s per s (every run); growth <= " << kGrowthTargetMiB << " MiB: "
          << (missed.isEmpty() ? "all met" : "MISSED " + missed.join(", ")) << Qt::endl;
    for (const auto &r : runs)
        for (const Values &v : r.second)
            if (v.contains("note"))
                out() << "  " << r.first << " FAILED: " << v["note"] << "\n";
    return missed.isEmpty() ? 0 : 1;
}

} // namespace

// The video area as the viewer lays its window out by default, from the viewer's own code.
Values viewerLayout(const QString &logDir, const QString &file)
{
    const ChildRun run =
        runSelf(logDir, "layout", {"layout", file, QDir(logDir).filePath("layout_data")}, kLayoutTimeoutS, kEngineEnv);
    if (run.exitCode != 0)
        out() << "the viewer's layout FAILED: " << run.failure() << Qt::endl;
    return run.results();
}

// The main window as the viewer's main() places it, a recording opened:
// its size, the video area's, and the stop button's centre. FILE DATA_DIR
int childLayout(const QStringList &args)
{
    const std::unique_ptr<MainWindow> owned = viewerWindow(args.value(1));
    MainWindow &window = *owned;
    auto *surface = window.findChild<MyFrame *>();
    auto *stop = window.findChild<QPushButton *>("stopButton");
    if (!surface || !stop || !exposed(window))
        return childError("no surface, no stop button or never exposed", 2);
    window.openFiles({args.value(0)});
    if (!spinUntil([&] { return !surface->image().isNull(); }, kFirstPictureTimeoutMs))
        return childError("no picture", 3);
    spinFor(kSettleMs);
    const QPoint centre = stop->mapTo(&window, stop->rect().center());
    result({{"window", sizeText(window.size())},
            {"surface", sizeText(surface->size())},
            {"surface_w", QString::number(surface->width())},
            {"surface_h", QString::number(surface->height())},
            {"picture", sizeText(surface->image().size())},
            {"stop_x", QString::number(centre.x())},
            {"stop_y", QString::number(centre.y())}});
    window.session()->stop();
    return 0;
}

const Scenario kLean{"lean",
                     "the viewer as a user runs it, window and map, against mpv: CPU per s of steady play over every "
                     "process, memory, paused and stopped",
                     "playback",
                     {{"reps", "2", "runs of each, interleaved"}},
                     run,
                     Display::X};

} // namespace bench
