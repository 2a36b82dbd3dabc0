// launch: from starting the viewer to its first picture against mpv's; no
// picture dropped in the first seconds of a 1080p60 file in the window; a
// recording too heavy for the machine, ours against mpv, pinned or not.

#include "bench.h"
#include "mainwindow.h"

#include <QRegularExpression>

namespace bench {

namespace {

constexpr int kFirstTimeoutMs = 30000;
constexpr int kBetweenLaunchesMs = 500; // the last one's processes gone
constexpr int kDropWindowMs = 2000;     // from the first picture painted
constexpr double kChildTimeoutS = 300.0;
constexpr double kGapTargetMs = 1000.0;
constexpr double kMpvClockOffsetS = 10.0; // --dump-stats' clock (MP_START_TIME)
const char kMpvFirst[] = "first video frame after restart shown";

double launchOnce(bool ours, const QString &file, const QSize &surface, const QString &logBase)
{
    Launch l(logBase);
    const QStringList args = ours ? QStringList{viewerPath(), file} : mpvArgs(surface) << "--msg-level=all=v" << file;
    if (!l.start(args, ours ? viewerEnv(logBase + "_profile") : Values()))
        return -1.0;
    const double ms = l.lineMs(ours ? "first picture painted" : kMpvFirst, kFirstTimeoutMs);
    l.stop();
    sleepMs(kBetweenLaunchesMs);
    return ms;
}

bool partFirst(const Options &o, const QString &file, const QSize &surface, const QString &logDir)
{
    Stats ours, mpv;
    int failed = 0;
    for (int rep = 1; rep <= o.integer("launches"); ++rep) { // interleaved
        for (const bool who : {true, false}) {
            const double ms = launchOnce(who, file, surface, QDir(logDir).filePath("launch_%1_%2"_s.arg(who ? "ours" : "mpv").arg(rep)));
            ms < 0 ? void(++failed) : (who ? ours : mpv).add(ms);
        }
    }
    out() << "\nfirst: spawn to the first picture, ms, median (min-max) of " << o.integer("launches")
          << " launches each, hot page cache; ours to its \"first picture painted\" line on stderr, mpv (-v, window "
          << sizeText(surface) << ") to its \"" << kMpvFirst << "\" line (after the X11 output showed it)\n"
          << "  ours " << ours.text() << "\n  mpv  " << mpv.text() << "\n";
    if (failed)
        out() << "  " << failed << " launches FAILED, see " << logDir << "/launch_*.log\n";
    const bool met = !failed && ours.median() <= mpv.median();
    out() << "  target ours <= mpv (medians): " << verdict(met) << "\n";
    return met;
}

bool partDrops(const Options &o, const QString &file, const QString &logDir)
{
    std::vector<QStringList> rows;
    bool met = true;
    for (int rep = 1; rep <= o.integer("reps"); ++rep) {
        const QString data = QDir(logDir).filePath("launch_drops_data");
        const ChildRun run = runSelf(logDir, "launch_drops_%1"_s.arg(rep), {"drops", file, data}, kChildTimeoutS, kEngineEnv);
        Values v = run.results();
        met = met && run.exitCode == 0 && v["dropped"] == "0";
        rows.push_back({QString::number(rep), v["first_ms"], v["shown"], v["dropped"], v["longest_drop_run"], v["too_slow"],
                        run.failure()});
    }
    out() << "\ndrops: the main window opens the 1080p60 MP4 as the viewer does; the player's counters "
          << kDropWindowMs << " ms after its first picture was painted\n";
    printTable({"run", "open to first paint ms", "shown", "dropped", "longest drop run", "too slow said", ""}, rows);
    out() << "  target 0 dropped in every run: " << verdict(met) << "\n";
    return met;
}

// mpv's pictures: the end of each flip on its X11 output.
Values mpvBehind(const QString &file, const QStringList &pin, const QString &logBase)
{
    QFile::remove(logBase + ".stats");
    const ChildRun run = runChild(pin + mpvArgs() + QStringList{"--dump-stats=" + logBase + ".stats", file}, {}, logBase, kChildTimeoutS);
    std::vector<double> flips;
    for (const QString &line : readText(logBase + ".stats").split('\n'))
        if (line.endsWith(" end video-flip"))
            flips.push_back(line.section(' ', 0, 0).toDouble() / 1e3 - kMpvClockOffsetS * 1e3);
    double gap = 0.0;
    for (size_t i = 1; i < flips.size(); ++i)
        gap = std::max(gap, flips[i] - flips[i - 1]);
    Values v = run.measured();
    v.insert({{"shown", QString::number(flips.size())}, {"longest_gap_ms", fixed(gap, 1)}});
    return v;
}

bool partBehind(const QString &file, const QString &logDir)
{
    const MediaInfo m = probe(file);
    out() << "\nbehind: " << file << ", " << m.text << "\n";
    std::vector<QStringList> rows;
    bool met = true;
    for (const bool pinned : {false, true}) {
        const QStringList pin = pinned ? QStringList{"taskset", "-c", "0"} : QStringList();
        const QString tag = pinned ? "one core" : "all cores";
        const QString self = QCoreApplication::applicationFilePath();
        const ChildRun run = runChild(pin + QStringList{self, "--child", "engine", file, "play"}, kEngineEnv,
                                      QDir(logDir).filePath("behind_ours_" + QString::number(pinned)), kChildTimeoutS);
        const Values ours = run.measured(), mpv = mpvBehind(file, pin, QDir(logDir).filePath("behind_mpv_" + QString::number(pinned)));
        for (const auto &[who, v] : {std::pair{"ours", ours}, std::pair{"mpv", mpv}})
            rows.push_back({"%1, %2"_s.arg(who, tag), v["shown"], v.value("painted", "-"), v.value("dropped", "-"),
                            v.value("longest_drop_run", "-"), v["longest_gap_ms"], fixed(num(v, "cpu_s") / m.duration, 3),
                            fixed(num(v, "wall_s") / m.duration, 3), v.value("note")});
        const bool shownMet = num(ours, "shown") >= num(mpv, "shown"), gapMet = num(ours, "longest_gap_ms", 1e9) < kGapTargetMs;
        out() << "  " << tag << ": shown ours " << ours["shown"] << " >= mpv " << mpv["shown"] << ": " << verdict(shownMet)
              << "; longest gap " << ours["longest_gap_ms"] << " ms < " << kGapTargetMs << ": " << verdict(gapMet) << "\n";
        met = met && shownMet && gapMet && !ours.contains("note");
    }
    out() << "  (ours: the bare engine in a " << kWindowWidth << "x" << kWindowHeight
          << " window, shown = delivered, gap between paints; mpv the same window, shown = flips, gap between flip ends)\n";
    printTable({"", "shown", "painted", "dropped", "longest drop run", "longest gap ms", "CPU/media s", "wall/media s", ""},
               rows);
    return met;
}

int run(const Options &o)
{
    const QString dir = o.str("dir"), logDir = QDir(dir).filePath("logs");
    const bool regenerate = o.flag("regenerate");
    const QString p30 = trackedClip(dir, "1080p30", false, regenerate), p60 = trackedClip(dir, "1080p60", false, regenerate);
    const Clip *heavy = findClip("2160p30");
    if (p30.isEmpty() || p60.isEmpty() || !makeClip(dir, *heavy, regenerate) || !QDir().mkpath(logDir))
        return 3;
    const QStringList parts = o.list("parts");
    bool met = true;
    if (parts.contains("first")) {
        const Values layout = viewerLayout(logDir, p30);
        const QSize surface(layout["surface_w"].toInt(), layout["surface_h"].toInt());
        if (surface.isEmpty())
            return 3;
        met = partFirst(o, p30, surface, logDir) && met;
    }
    if (parts.contains("drops"))
        met = partDrops(o, p60, logDir) && met;
    if (parts.contains("behind"))
        met = partBehind(clipPath(dir, *heavy), logDir) && met;
    out() << "\ntargets: " << (met ? "all met" : "one or more MISSED") << Qt::endl;
    return met ? 0 : 1;
}

} // namespace

// The main window opens FILE as the viewer's main() does; the player's
// counters soon after its first picture. FILE DATA_DIR
int childDrops(const QStringList &args)
{
    const std::unique_ptr<MainWindow> owned = viewerWindow(args.value(1));
    MainWindow &window = *owned;
    auto *surface = window.findChild<MyFrame *>();
    int tooSlow = 0;
    QObject::connect(window.session(), &PlaybackSession::sig_DecodeTooSlow, qApp, [&](bool slow) { tooSlow += slow; });
    std::optional<Clock::time_point> painted;
    PaintWatch watch(surface);
    watch.onPainted = [&](const QImage &) {
        if (!painted)
            painted = Clock::now();
    };
    window.show();
    const Clock::time_point start = Clock::now();
    window.openFiles({args.value(0)});
    if (!spinUntil([&] { return painted.has_value(); }, kFirstTimeoutMs))
        return childError("no picture", 3);
    spinFor(kDropWindowMs);
    PlaybackSession *player = window.session();
    result({{"first_ms", fixed(msBetween(start, *painted), 0)},
            {"shown", QString::number(player->framesShown())},
            {"dropped", QString::number(player->framesDropped())},
            {"longest_drop_run", QString::number(player->longestDropRun())},
            {"too_slow", QString::number(tooSlow)}});
    window.session()->stop();
    return 0;
}

const Scenario kLaunch{"launch",
                       "the viewer's launch to its first picture against mpv's; drops in the first 2 s of 1080p60 in the "
                       "window; a 2160p HEVC recording too heavy for the machine, ours and mpv, pinned to a core or not",
                       "playback",
                       {{"parts", "first,drops,behind", "which parts"},
                        {"launches", "10", "launches of each for first, interleaved"},
                        {"reps", "5", "runs of drops"}},
                       run,
                       Display::X};

} // namespace bench
