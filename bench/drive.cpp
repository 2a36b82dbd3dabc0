// drive: three files of one drive played as one by the main window, the
// wall time from the last picture of a file to the first of the next (mpv
// playing them as a gapless playlist beside it); a click on the speed
// chart while paused against the player's own paused seek.

#include "bench.h"
#include "formfilelist.h"
#include "mainwindow.h"
#include "mapbridge.h"
#include "telemetrypanel.h"

#include <QRegularExpression>

#include <atomic>
#include <cstring>
#include <mutex>

namespace bench {

namespace {

constexpr double kPeriodMs = 1000.0 / 30.0; // the gap target: one picture period
constexpr int kParts = 3, kPartSeconds = 10;
constexpr double kChildTimeoutS = 300.0;
constexpr int kMapLoadTimeoutMs = 30000;
constexpr int kPictureTimeoutMs = 20000;
constexpr int kSettleMs = 300; // before each timed seek
constexpr double kPtsTolerance = 0.001;
constexpr double kMpvClockOffsetS = 10.0; // --dump-stats' clock is its log's plus 10 s (MP_START_TIME)
const Clip kPart{"1080p30-10s", 1920, 1080, 30, double(kPartSeconds), "libx264", "8M", 3, QString()};

quint64 serialOf(const QImage &image) { return image.text("serial").toULongLong(); }

// The parts with GPS start times one part apart; last, a 60 s file with a track for the seeks.
QStringList makeRecordings(const QString &dir, bool regenerate)
{
    const Clip &whole = *findClip("1080p30");
    QStringList files;
    fixture::DriveSpec plan;
    plan.records = kPartSeconds;
    bool ok = makeClip(dir, kPart, regenerate) && makeClip(dir, whole, regenerate);
    for (int i = 0; i < kParts; ++i, plan.start = plan.start.addSecs(kPartSeconds)) {
        files << QDir(dir).filePath("drive_part%1_1080p30_%2s.mp4"_s.arg(i).arg(kPartSeconds));
        ok = ok && addGpsTrack(clipPath(dir, kPart), files.back(), fixture::makeDrive(plan), regenerate);
    }
    plan = fixture::DriveSpec();
    plan.records = int(whole.seconds);
    files << QDir(dir).filePath(QFileInfo(clipPath(dir, whole)).completeBaseName() + "_gps60.mp4");
    ok = ok && addGpsTrack(clipPath(dir, whole), files.back(), fixture::makeDrive(plan), regenerate);
    return ok ? files : QStringList();
}

// mpv plays the parts as a playlist: the end of each picture's flip on its
// video output (--dump-stats) and the start of each file (--log-file), both
// on mpv's own clock; a gap is the last flip before a file's start to the first after it.
std::vector<double> mpvGaps(const QString &logDir, const QStringList &parts, const QString &extra, const QString &tag)
{
    const QString base = QDir(logDir).filePath(tag);
    QFile::remove(base + ".stats"), QFile::remove(base + ".log");
    const ChildRun run = runChild(mpvArgs() << "--gapless-audio=yes" << extra << "--dump-stats=" + base + ".stats"
                                            << "--log-file=" + base + ".log" << parts,
                                  {}, base, kChildTimeoutS);
    std::vector<double> starts, flips, gaps; // s
    const QRegularExpression playing(R"(^\[\s*([0-9.]+)\]\[i\]\[cplayer\] Playing: )");
    for (const QString &line : readText(base + ".log").split('\n'))
        if (const QRegularExpressionMatch m = playing.match(line); m.hasMatch())
            starts.push_back(m.captured(1).toDouble());
    for (const QString &line : readText(base + ".stats").split('\n'))
        if (line.endsWith(" end video-flip"))
            flips.push_back(line.section(' ', 0, 0).toDouble() / 1e6 - kMpvClockOffsetS);
    for (size_t i = 1; i < starts.size() && run.exitCode == 0; ++i) {
        const auto next = std::lower_bound(flips.begin(), flips.end(), starts[i]);
        if (next != flips.begin() && next != flips.end())
            gaps.push_back((*next - *(next - 1)) * 1e3);
    }
    return gaps;
}

int run(const Options &o)
{
    const QString logDir = QDir(o.str("dir")).filePath("logs");
    const QStringList files = makeRecordings(o.str("dir"), o.flag("regenerate"));
    if (files.isEmpty() || !QDir().mkpath(QDir(logDir).filePath("drive_data")))
        return 3;
    const QStringList parts = files.mid(0, kParts);
    const MediaInfo m = probe(parts[0]);
    out() << kParts << " files of one drive, GPS start times " << kPartSeconds << " s apart, each " << m.text << ", "
          << fixed(m.duration, 3) << " s; seeks in " << QFileInfo(files.last()).fileName() << Qt::endl;
    std::vector<QStringList> rows;
    std::map<QString, Stats> gaps, seeks; // by player; by path
    Values cadence;
    for (int rep = 0; rep < std::max(1, o.integer("reps")); ++rep) {
        out() << "  load average " << loadAverage() << "; ours, play " << rep + 1 << " ..." << Qt::endl;
        const QStringList args = QStringList{"drive", QDir(logDir).filePath("drive_data")} + files << o.str("seconds");
        const ChildRun run = runSelf(logDir, "drive_ours_%1"_s.arg(rep), args, kChildTimeoutS, engineEnv());
        if (run.exitCode != 0) {
            out() << "  ours failed: " << run.failure() << Qt::endl;
            return 3;
        }
        for (Values &v : resultLines(run.stdoutText)) {
            if (v.contains("seek"))
                seeks[v["seek"]].add(num(v, "painted_ms"));
            if (v.contains("cadence_ms_max") && (cadence.isEmpty() || num(v, "cadence_ms_max") > num(cadence, "cadence_ms_max")))
                cadence = v;
            if (!v.contains("gap_ms"))
                continue;
            gaps["ours"].add(num(v, "gap_ms"));
            rows.push_back({"ours, play %1, file %2 to %3"_s.arg(rep + 1).arg(v["border"].toInt()).arg(v["border"].toInt() + 1),
                            v["gap_ms"], v["drain_ms"], v["handover_ms"], v["open_ms"], v["decode_ms"], v["show_ms"],
                            v["last_pts"] + " / " + v["first_pts"]});
        }
        for (const QString prefetch : {"no", "yes"}) {
            const QString who = "mpv, prefetch-playlist=" + prefetch;
            const std::vector<double> mpv = mpvGaps(logDir, parts, "--prefetch-playlist=" + prefetch, "drive_mpv_" + prefetch);
            for (size_t i = 0; i < mpv.size(); ++i)
                rows.push_back({"%1, play %2, file %3 to %4"_s.arg(who).arg(rep + 1).arg(i + 1).arg(i + 2), fixed(mpv[i], 1)});
            gaps[who].values.insert(gaps[who].values.end(), mpv.begin(), mpv.end());
            if (mpv.size() != size_t(kParts - 1))
                out() << "  " << who << ": " << mpv.size() << " gaps found, see " << logDir << "/drive_mpv_" << prefetch << ".*\n";
        }
    }
    out() << "\nFrom the last picture of a file painted to the first of the next, ms; ours split at the end report of "
             "the file, the next open's thread start, its streams and sound device opened, its first picture delivered; "
             "mpv: flip to flip on its X11 output\n";
    printTable({"", "gap", "end report", "hand-over", "open", "first decode", "to the paint", "pts last / first"}, rows);
    printValues("ours, picture to next picture within a file, ms", cadence, {"cadence_ms_p50", "cadence_ms_p99", "cadence_ms_max"});
    for (const auto &g : gaps)
        out() << "  " << g.first << ": gap max " << fixed(g.second.max(), 1) << ", median " << fixed(g.second.median(), 1) << "\n";
    const Stats &chart = seeks["chart"], &player = seeks["player"];
    out() << "\nPaused in the middle of the 60 s file, to the picture for the second painted, ms mean, median (min-max): "
          << "\n  chart click (sig_SeekSecond) " << fixed(chart.mean(), 1) << ", " << chart.text() << "\n  player seek      "
          << "      " << fixed(player.mean(), 1) << ", " << player.text() << "\n";
    const double gap = gaps["ours"].max();
    const bool gapMet = gap <= kPeriodMs, seekMet = chart.median() <= player.median();
    out() << "\ntargets: gap max " << fixed(gap, 1) << " ms <= " << fixed(kPeriodMs, 1) << " ms: " << verdict(gapMet)
          << "; chart click median " << fixed(chart.median(), 1) << " ms <= paused seek median " << fixed(player.median(), 1)
          << " ms: " << verdict(seekMet) << "; load average " << loadAverage() << Qt::endl;
    return gapMet && seekMet ? 0 : 1;
}

// After each paint of the window's video surface, the picture it showed.
struct PaintWatch : QObject
{
    MyFrame *surface = nullptr;
    bool inside = false;
    std::function<void(const QImage &)> onPainted;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() != QEvent::Paint || inside || surface->image().isNull())
            return false;
        inside = true;
        QCoreApplication::sendEvent(surface, event);
        inside = false;
        onPainted(surface->image());
        wakeWaiter();
        return true;
    }
};

struct Mark
{
    const char *what;
    quint64 serial;
    double pts;
    Clock::time_point at;
};

} // namespace

// The main window lists PARTS as the file list does and plays them to the
// drive's end; then opens FILE paused and seeks to each second, by a chart
// click and by the player. DATA_DIR PART0 PART1 PART2 FILE SECONDS,...
int childDrive(const QStringList &args)
{
    MainWindow window(nullptr, MainWindow::MapView::Web, args.value(0));
    auto *surface = window.findChild<MyFrame *>();
    if (!surface || !exposed(window) || !spinUntil([&] { return window.mapBridge()->isLoaded(); }, kMapLoadTimeoutMs))
        return childError("no video surface, never exposed, or the map never loaded", 2);
    window.setTrips(true);
    VideoPlayer *player = window.player();
    std::mutex mutex;
    std::vector<Mark> marks;
    const auto mark = [&](const char *what, quint64 serial, double pts) {
        std::lock_guard<std::mutex> lock(mutex);
        marks.push_back({what, serial, pts, Clock::now()});
    };
    // On the threads that report them, as they happen.
    std::atomic<quint64> delivered{0};
    std::atomic<int> ends{0};
    QObject::connect(
        player, &VideoPlayer::sig_PlayStopNormally, qApp, [&](quint64 s) { mark("end", s, NAN), ++ends; }, Qt::DirectConnection);
    QObject::connect(player, &QThread::started, qApp, [&] { mark("thread", 0, NAN); }, Qt::DirectConnection);
    QObject::connect(player, &VideoPlayer::sig_TotalTimeChanged, qApp, [&] { mark("streams", 0, NAN); }, Qt::DirectConnection);
    QObject::connect(
        player, &VideoPlayer::sig_GetOneFrame, qApp,
        [&](const QImage &image) {
            if (delivered.exchange(serialOf(image)) != serialOf(image))
                mark("delivered", serialOf(image), imagePts(image));
        },
        Qt::DirectConnection);
    PaintWatch watch;
    watch.surface = surface;
    qint64 lastKey = 0;
    watch.onPainted = [&](const QImage &image) {
        if (std::exchange(lastKey, image.cacheKey()) != image.cacheKey())
            mark("paint", serialOf(image), imagePts(image));
    };
    surface->installEventFilter(&watch);
    window.fileListPanel()->addOpened(args.mid(1, kParts));
    if (!spinUntil([&] { return ends == kParts; }, 2 * kParts * kPartSeconds * 1000 + kPictureTimeoutMs))
        return childError("the drive did not play as one to its end (%1 files ended)"_s.arg(ends), 3);

    const std::vector<Mark> seen = [&] {
        std::lock_guard<std::mutex> lock(mutex);
        return marks;
    }();
    const auto find = [&](const char *what, quint64 serial, Clock::time_point after, bool last = false) {
        const Mark *found = nullptr;
        for (const Mark &m : seen)
            if (!std::strcmp(m.what, what) && (!serial || m.serial == serial) && m.at >= after && (last || !found))
                found = &m;
        return found;
    };
    std::vector<quint64> serials; // of the files, in order
    Stats cadence;
    const Mark *previous = nullptr;
    for (const Mark &m : seen) {
        if (std::strcmp(m.what, "paint"))
            continue;
        if (previous && previous->serial == m.serial)
            cadence.add(msBetween(previous->at, m.at));
        else
            serials.push_back(m.serial);
        previous = &m;
    }
    if (serials.size() != size_t(kParts))
        return childError("%1 files painted, not %2"_s.arg(serials.size()).arg(kParts), 3);
    for (int b = 1; b < kParts; ++b) {
        const Mark *last = find("paint", serials[size_t(b - 1)], {}, true), *end = find("end", serials[size_t(b - 1)], {});
        const Mark *thread = end ? find("thread", 0, end->at) : nullptr, *streams = thread ? find("streams", 0, thread->at) : nullptr;
        const Mark *first = find("paint", serials[size_t(b)], {}), *decoded = find("delivered", serials[size_t(b)], {});
        if (!last || !end || !thread || !streams || !first || !decoded)
            return childError("a step of the change to file %1 was not seen"_s.arg(b + 1), 3);
        const auto ms = [](const Mark *a, const Mark *z) { return fixed(msBetween(a->at, z->at), 1); };
        result({{"border", QString::number(b)}, {"gap_ms", ms(last, first)}, {"drain_ms", ms(last, end)},
                {"handover_ms", ms(end, thread)}, {"open_ms", ms(thread, streams)}, {"decode_ms", ms(streams, decoded)},
                {"show_ms", ms(decoded, first)}, {"last_pts", fixed(last->pts, 3)}, {"first_pts", fixed(first->pts, 3)}});
    }
    Values v;
    cadence.addTo(v, "cadence_ms");
    result(v);

    // Paused in the middle of one file, nothing else listed around it.
    double want = NAN;
    qint64 keyBefore = 0;
    std::optional<Clock::time_point> shown;
    watch.onPainted = [&](const QImage &image) {
        if (!shown && image.cacheKey() != keyBefore && serialOf(image) == player->serial()
            && std::fabs(imagePts(image) - want) <= kPtsTolerance)
            shown = Clock::now();
    };
    const auto seekTo = [&](qint64 second, bool chart) {
        spinFor(kSettleMs);
        want = double(second), keyBefore = surface->image().cacheKey(), shown.reset();
        const Clock::time_point start = Clock::now();
        if (chart)
            emit window.telemetryPanel()->sig_SeekSecond(second);
        else
            player->seek(second * 1000000);
        return spinUntil([&] { return shown.has_value(); }, kPictureTimeoutMs) ? msBetween(start, *shown) : -1.0;
    };
    window.slotOpenRecording(args.value(1 + kParts), false);
    if (window.playState() != VideoPlayer::Pause || seekTo(qint64(player->totalTime() / 2000000), false) < 0)
        return childError("the file did not open paused and seek", 3);
    for (const char *path : {"chart", "player"})
        for (const QString &second : args.value(2 + kParts).split(',', Qt::SkipEmptyParts)) {
            const double ms = seekTo(second.toLongLong(), !std::strcmp(path, "chart"));
            if (ms < 0)
                return childError("no picture for %1 s by the %2"_s.arg(second, path), 3);
            result({{"seek", path}, {"second", second}, {"painted_ms", fixed(ms, 1)}});
        }
    player->stop();
    return 0;
}

const Scenario kDrive{"drive",
                      "a drive cut into three files played as one by the main window, the gap between files against "
                      "mpv's gapless playlist; a chart click while paused against the paused seek",
                      {{"reps", "2", "plays of the drive by each player"},
                       {"seconds", "12,47,23,38,5,55", "seconds clicked on the chart, then sought by the player"},
                       {"dir", "/tmp/velmora_bench_playback", "recordings (shared with playback) and child logs"},
                       {"regenerate", nullptr, "make the recordings again"}},
                      run,
                      Display::X};

} // namespace bench
