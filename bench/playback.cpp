// playback: dash-camera-like recordings played from open to natural end by
// the engine in a 1280x720 window, by mpv and by ffplay (CPU, wall time,
// dropped pictures, memory), beside floors outside the engine; the engine's
// first picture, paused seeks (mpv's exact seeks alongside), its cost paused
// and stopped (mpv alongside, with the picture sizes on the screen), and
// how evenly it paints against the clock it follows.

#include "videoplayer.h"
#include "longrecording.h"
#include "scenarios.h"
#include "window.h"

#include <QApplication>
#include <QDir>
#include <QRegularExpression>
#include <QTimer>

#include <atomic>
#include <cmath>
#include <map>
#include <mutex>
#include <random>
#include <thread>
#include <utility>

#include <unistd.h>

namespace bench {

namespace {

constexpr double kRealTimeSlack = 1.05; // wall/media of a play, start-up and exit included
constexpr double kFirstPictureTargetMs = 100.0;
constexpr double kLateTarget = 0.01;    // share painted over a period after the clock reached them
constexpr double kIdleTarget = 0.001;   // CPU s per wall s, paused and stopped
constexpr double kPtsTolerance = 0.001; // s: the picture for t carries t
constexpr int kPictureTimeoutMs = 20000;
constexpr int kSettleMs = 300;      // before each timed seek
constexpr int kIdleSettleMs = 1000; // after pause or stop, before an idle window
constexpr int kIdlePlayMs = 2000;   // played before the idle cost
constexpr int kSoundPollUs = 500;   // the pacing sampler looks at the sound device this often
constexpr int kIdleThreadsShown = 4;
constexpr double kChildTimeoutS = 300.0;

// What the play child prints about pacing and the playback clock.
const QStringList kPlayKeys =
    "painted paints paint_late_over_period deliver_late_over_period paint_offset_p1_ms paint_offset_p99_ms "
    "paint_offset_max_ms queue_p50_ms queue_p99_ms queue_max_ms paint_p50_ms paint_p99_ms paint_max_ms"_s.split(' ');
const QStringList kClockKeys =
    "sound_gap_p50_ms sound_gap_p99_ms sound_gap_max_ms clock_wander_min_ms clock_wander_max_ms vs_clock_pictures "
    "vs_clock_late vs_clock_paint_p50_ms vs_clock_paint_p99_ms vs_clock_paint_max_ms"_s.split(' ');

struct Setup
{
    const Options &o;
    QString dir, logDir;
    QStringList players; // ours, mpv, ffplay, floor:SCALER...
    int idleMs;
    bool firstJudged = false; // the first-picture target is judged on the first 1080p file
};

bool ok(const Values &v) { return v.contains("shown") && !v.contains("note"); }
QString verdict(bool met) { return met ? "met" : "MISSED"; }

// A child's figures plus what wait4() and the X server's accounting gave.
Values measured(const ChildRun &run, const QString &player)
{
    Values v = run.results();
    v.insert({{"player", player},
              {"cpu_s", fixed(run.cpuS, 3)},
              {"wall_s", fixed(run.wallS, 3)},
              {"rss_mib", fixed(run.maxRssKiB / 1024.0, 0)},
              {"x_s", fixed(run.xServerS, 3)}});
    if (run.exitCode != 0)
        v["note"] = run.failure();
    return v;
}

// mpv and ffplay rewrite a status line; the last one holds the totals.
QStringList lastStatus(const QString &pattern, const QString &text)
{
    QRegularExpressionMatch last;
    for (auto it = QRegularExpression(pattern).globalMatch(text); it.hasNext();)
        last = it.next();
    return last.capturedTexts().mid(1);
}

Values play(const Setup &s, const QString &player, const QString &key, const QString &file, const MediaInfo &m)
{
    const double timeout = m.duration * 3.0 + 60.0;
    const QString name = key + '_' + QString(player).replace(':', '_');
    if (player == "ours")
        return measured(runSelf(s.logDir, name, {"play", file}, timeout, engineEnv()), player);
    if (player.startsWith("floor:"))
        return measured(runSelf(s.logDir, name, {"floor", file, player.mid(6)}, timeout), player);
    Values v;
    QStringList drops;
    if (player == "mpv") { // the status line replaced by the drop counters
        const ChildRun run = runChild(
            mpvArgs() << "--term-status-msg=VSTATUS ${frame-drop-count} ${decoder-frame-drop-count} ${vo-delayed-frame-count}"
                      << file,
            {}, QDir(s.logDir).filePath(name), timeout);
        v = measured(run, player);
        drops = lastStatus("VSTATUS (\\d+) (\\d+) (\\d+)", run.stdoutText + run.stderrText);
        v.insert({{"vo_drop", drops.value(0)}, {"dec_drop", drops.value(1)}, {"delayed", drops.value(2)}});
        v["dropped"] = QString::number(drops.value(0).toLongLong() + drops.value(1).toLongLong());
    } else { // "  59.97 A-V:  0.007 fd=  12 ..." every 30 ms: fd counts pictures dropped early and late
        const ChildRun run =
            runChild({"ffplay", "-autoexit", "-x", "1280", "-y", "720", file},
                     {{"SDL_RENDER_DRIVER", "software"}, {"SDL_AUDIODRIVER", "dummy"}}, QDir(s.logDir).filePath(name), timeout);
        v = measured(run, player);
        drops = lastStatus("[-0-9.]+ (?:A-V|M-V|M-A):\\s*[-0-9.]+ fd=\\s*(\\d+)", run.stderrText);
        v["dropped"] = drops.value(0);
    }
    if (drops.isEmpty())
        v["note"] = "no status line; " + v.value("note");
    v["shown"] = QString::number(m.frames - v.value("dropped").toLongLong()) + '*';
    return v;
}

// The play with the median CPU of several, with every play's CPU and the worst drops and wall time.
Values medianPlay(std::vector<Values> plays, double duration)
{
    QStringList every;
    double maxDropped = 0.0, maxWall = 0.0;
    for (const Values &p : plays) {
        every << (ok(p) ? fixed(num(p, "cpu_s") / duration, 3) : "failed");
        maxDropped = std::max(maxDropped, ok(p) ? num(p, "dropped") : 1e9);
        maxWall = std::max(maxWall, num(p, "wall_s") / duration);
    }
    std::sort(plays.begin(), plays.end(),
              [](const Values &a, const Values &b) { return ok(a) != ok(b) ? ok(a) : num(a, "cpu_s") < num(b, "cpu_s"); });
    Values chosen = plays[size_t(std::count_if(plays.begin(), plays.end(), ok)) / 2 % plays.size()];
    chosen.insert({{"every_cpu", every.join(' ')}, {"max_dropped", fixed(maxDropped, 0)}, {"max_wall", fixed(maxWall, 3)}});
    return chosen;
}

QString perMedia(const Values &v, const char *key, double duration)
{
    return ok(v) ? fixed(num(v, QLatin1String(key)) / duration, 3) : "-";
}
QString ratio(const Values &a, const Values &b) { return ok(a) && ok(b) ? fixed(num(a, "cpu_s") / num(b, "cpu_s"), 2) : "-"; }
QString seekText(const Stats &s) { return "mean %1, median %2"_s.arg(fixed(s.mean(), 1), s.text()); }

// mpv paused: exact seeks over its IPC, timed to "playback-restart", its position checked.
int mpvSeeks(const Setup &s, const QString &key, const QString &file, const QStringList &positions, Stats &ms)
{
    Mpv mpv;
    int exact = 0;
    if (!mpv.start({"--pause", "--keep-open=always", "--really-quiet", file}, QDir(s.dir).filePath("mpv-%1.sock"_s.arg(getpid())),
                   {}, QDir(s.logDir).filePath(key + "_mpv_seek"))
        || !mpv.waitLoaded())
        return 0;
    const auto seekTo = [&](double t) {
        mpv.send({"seek", t, "absolute+exact"});
        return mpv.waitEvent("playback-restart");
    };
    seekTo(0.0); // untimed: the first picture out before the timed seeks
    for (const QString &p : positions) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kSettleMs));
        const Clock::time_point start = Clock::now();
        if (!seekTo(p.toDouble() / 1e6))
            continue;
        ms.add(msBetween(start, Clock::now()));
        const auto at = mpv.request({"get_property", "time-pos"});
        exact += at && std::fabs(at->value("data").toDouble(-1.0) - p.toDouble() / 1e6) <= kPtsTolerance;
    }
    mpv.quit();
    return exact;
}

// mpv with its window: playing a moment, paused, then stopped (idle, window
// open); the CPU of all its threads from the scheduler, as ours reads its own.
Values mpvIdle(const Setup &s, const QString &key, const QString &file)
{
    Mpv mpv;
    if (!mpv.start({"--idle=yes", "--force-window=yes", "--really-quiet", file},
                   QDir(s.dir).filePath("mpv-%1.sock"_s.arg(getpid())), {}, QDir(s.logDir).filePath(key + "_mpv_idle"))
        || !mpv.waitLoaded())
        return {{"note", "mpv did not start"}};
    const auto idle = [&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(kIdleSettleMs));
        const qint64 before = processCpuNs(mpv.pid());
        const Clock::time_point start = Clock::now();
        std::this_thread::sleep_for(std::chrono::milliseconds(s.idleMs));
        return fixed(double(processCpuNs(mpv.pid()) - before) / 1e9 / secondsSince(start), 5);
    };
    std::this_thread::sleep_for(std::chrono::milliseconds(kIdlePlayMs));
    mpv.request({"set_property", "pause", true});
    std::this_thread::sleep_for(std::chrono::milliseconds(kIdleSettleMs));
    Values v = runSelf(s.logDir, key + "_mpv_screen", {"screen"}, kChildTimeoutS).results();
    v["paused_cpu_per_s"] = idle();
    mpv.request({"stop"});
    v["stopped_cpu_per_s"] = idle();
    mpv.quit();
    return v;
}

void playClip(Setup &s, const QStringList &parts, const Clip &c, QStringList &verdicts, bool &met,
              std::vector<QStringList> &summary)
{
    const QString file = clipPath(s.dir, c);
    const MediaInfo m = probe(file);
    out() << "\n== " << c.key << ": " << m.text << ", " << fixed(m.duration, 3) << " s, " << m.frames
          << " pictures; load average " << loadAverage() << Qt::endl;
    const auto has = [&](const char *player) { return !s.players.filter(QLatin1String(player)).isEmpty(); };
    const auto check = [&](bool ok, const QString &text) {
        met &= ok;
        verdicts << "%1 %2: %3"_s.arg(c.key, text, verdict(ok));
    };
    if (parts.contains("play")) {
        std::map<QString, std::vector<Values>> plays;
        for (int rep = 0; rep < std::max(1, s.o.integer("reps"));
             ++rep) // interleaved: drift in the machine's load hits every player alike
            for (const QString &p : s.players)
                if (!p.startsWith("floor") || rep == 0)
                    plays[p].push_back(play(s, p, c.key, file, m));
        std::vector<QStringList> rows;
        Values chosen[4]; // ours, mpv, ffplay, floor:bicubic
        for (const QString &p : s.players) {
            const Values v = medianPlay(plays[p], m.duration);
            const int at = QStringList{"ours", "mpv", "ffplay", "floor:bicubic"}.indexOf(p);
            if (at >= 0)
                chosen[at] = v;
            rows.push_back({p, perMedia(v, "cpu_s", m.duration), perMedia(v, "wall_s", m.duration), v["shown"], v["dropped"],
                            v["rss_mib"], perMedia(v, "x_s", m.duration), ok(v) ? v["every_cpu"] : v["note"]});
        }
        printTable(
            {"player", "CPU s/media s", "wall/media", "shown", "dropped", "peak RSS MiB", "X server s/media s", "every play"},
            rows);
        out() << "  (* pictures in the file minus dropped; floor: decoding, and conversion with that scaler, as fast as "
                 "possible)\n";
        if (ok(chosen[0]))
            printValues("ours (straight line through paint time - pts)", chosen[0], kPlayKeys);
        if (ok(chosen[1]))
            printValues("mpv", chosen[1], {"vo_drop", "dec_drop", "delayed"});
        for (const QString &p : s.players.filter("floor:"))
            printValues(p, plays[p].front(), {"pictures_per_s", "convert_ms_per_picture", "out"});
        summary.push_back({c.key, perMedia(chosen[0], "cpu_s", m.duration), perMedia(chosen[1], "cpu_s", m.duration),
                           perMedia(chosen[2], "cpu_s", m.duration), perMedia(chosen[3], "cpu_s", m.duration),
                           ratio(chosen[0], chosen[1]), ratio(chosen[0], chosen[2]), ratio(chosen[0], chosen[3]),
                           "%1/%2/%3"_s.arg(chosen[0].value("max_dropped", "-"), chosen[1].value("max_dropped", "-"),
                                            chosen[2].value("max_dropped", "-"))});
        if (has("ours"))
            check(ok(chosen[0]) && num(chosen[0], "max_dropped") == 0 && num(chosen[0], "max_wall") <= kRealTimeSlack,
                  "real time with 0 dropped in every play (wall/media <= 1.05)");
        if (has("ours") && ok(chosen[1]))
            check(num(chosen[0], "cpu_s") <= num(chosen[1], "cpu_s"),
                  "CPU ours/mpv %1 <= 1.0"_s.arg(ratio(chosen[0], chosen[1])));
    }
    if (parts.contains("first") && has("ours")) {
        const ChildRun run =
            runSelf(s.logDir, c.key + "_ours_first", {"first", file, s.o.str("first-reps")}, kChildTimeoutS, engineEnv());
        Stats paint, open;
        for (const Values &line : resultLines(run.stdoutText)) {
            paint.add(num(line, "first_paint_ms"));
            open.add(num(line, "open_ms"));
        }
        const double firstOpen = paint.empty() ? 1e9 : paint.values[0];
        out() << "\n  first picture, " << paint.size() << " opens in one process: openFile to the first painted picture "
              << paint.text() << " ms, the process's first " << fixed(firstOpen, 1) << "; openFile returned after " << open.text()
              << " ms " << run.failure() << "\n";
        printValues("the open step by step outside the engine, ms (medians)",
                    runSelf(s.logDir, c.key + "_open_steps",
                            {"open-steps", file, QString::number(std::max(1, s.o.integer("first-reps") / 2))}, kChildTimeoutS,
                            engineEnv())
                        .results());
        if (c.key.startsWith("1080p") && !std::exchange(s.firstJudged, true))
            check(!paint.empty() && paint.max() <= kFirstPictureTargetMs,
                  "first picture <= 100 ms on every open (the process's first %1, max %2 ms)"_s.arg(fixed(firstOpen, 1),
                                                                                                    fixed(paint.max(), 1)));
    }
    if (parts.contains("seek") && s.o.integer("seeks") > 0) {
        // Picture-aligned positions (µs) at random from 1 s to 1 s before the end, the same for every player.
        std::mt19937 rng(s.o.str("seed").toUInt());
        std::uniform_int_distribution<qint64> pick(
            qint64(std::ceil(m.fps)), std::max<qint64>(qint64(std::ceil(m.fps)) + 1, m.frames - qint64(std::ceil(m.fps))));
        QStringList positions;
        for (int i = 0; i < s.o.integer("seeks"); ++i)
            positions << QString::number(std::llround(double(pick(rng)) / m.fps * 1e6));
        out() << "\n  paused seeks to " << positions.size() << " positions, ms:\n";
        Stats ours, painted, mpv, plain, skipping;
        if (has("ours")) {
            const ChildRun run =
                runSelf(s.logDir, c.key + "_ours_seek", {"seek", file, positions.join(',')}, kChildTimeoutS, engineEnv());
            int exact = 0;
            for (const Values &line : resultLines(run.stdoutText)) {
                ours.add(num(line, "delivered_ms"));
                painted.add(num(line, "painted_ms"));
                exact += line.value("exact") == "1";
            }
            out() << "    ours, picture for t delivered: " << seekText(ours) << "; painted: " << seekText(painted) << "; exact "
                  << exact << "/" << s.o.integer("seeks") << " " << run.failure() << "\n";
        }
        if (has("mpv")) {
            const int exact = mpvSeeks(s, c.key, file, positions, mpv);
            out() << "    mpv, exact seek to playback-restart: " << seekText(mpv) << "; exact " << exact << "/"
                  << s.o.integer("seeks") << "\n";
        }
        if (has("floor")) {
            for (const Values &line : resultLines(
                     runSelf(s.logDir, c.key + "_seek_floor", {"seek-floor", file, positions.join(',')}, 2 * kChildTimeoutS)
                         .stdoutText))
                (line.value("skip_nonref") == "1" ? skipping : plain).add(num(line, "ms"));
            out() << "    floor, decoding from the key frame to the picture for t: " << seekText(plain)
                  << "; the pictures before t that nothing refers to "
                  << "skipped (as the engine does): " << seekText(skipping) << "\n";
        }
        if (!ours.empty() && !mpv.empty())
            out() << "    ours / mpv " << fixed(ours.mean() / mpv.mean(), 2) << " (means)\n";
    }
    if (parts.contains("idle")) {
        out() << "\n  idle: " << kIdlePlayMs / 1000 << " s played, then " << s.idleMs / 1000 << " s paused and "
              << s.idleMs / 1000
              << " s stopped (window open), CPU s per wall s of the whole process; the picture on the screen while paused"
              << Qt::endl;
        const Values ours = has("ours")
                                ? measured(runSelf(s.logDir, c.key + "_ours_idle",
                                                   {"idle", file, QString::number(kIdlePlayMs), QString::number(s.idleMs)},
                                                   kChildTimeoutS + 2.0 * s.idleMs / 1000.0, engineEnv()),
                                           "ours")
                                : Values();
        const Values mpv = has("mpv") ? mpvIdle(s, c.key, file) : Values();
        const auto row = [](const char *who, const Values &v) {
            return QStringList{QLatin1String(who),
                               v.value("paused_cpu_per_s"),
                               v.value("stopped_cpu_per_s"),
                               v.value("screen"),
                               v.value("picture"),
                               v.value("paused_loop_rounds_per_s"),
                               v.value("paused_threads", v.value("note"))};
        };
        printTable(
            {"idle", "paused", "stopped", "lit screen", "picture", "loop rounds/s paused", "costliest threads paused, µs/s"},
            {row("ours", ours), row("mpv", mpv)});
        if (has("ours"))
            check(num(ours, "paused_cpu_per_s", 1) <= kIdleTarget && num(ours, "stopped_cpu_per_s", 1) <= kIdleTarget,
                  "idle CPU s per s, paused %1 and stopped %2 <= 0.001 (mpv %3, %4)"_s.arg(
                      ours.value("paused_cpu_per_s"), ours.value("stopped_cpu_per_s"), mpv.value("paused_cpu_per_s"),
                      mpv.value("stopped_cpu_per_s")));
    }
    if (parts.contains("pace") && has("ours")) {
        // A play of its own: the sampler's 2000 wake-ups a second must not count in a measured play.
        const Values p = measured(
            runSelf(s.logDir, c.key + "_ours_pace", {"play", file, "pace"}, m.duration * 3.0 + 60.0, engineEnv()), "ours");
        const bool sound = num(p, "sound_steps") > 0;
        out() << "\n  pacing, " << p.value("pictures_timed") << " pictures, " << p.value("dropped") << " dropped "
              << p.value("note") << "\n";
        printValues("against a straight line through paint time - pts", p, kPlayKeys.mid(2));
        if (sound)
            printValues("the sound device and the playback clock it makes", p, kClockKeys);
        else
            out() << "  no sound: the engine keeps the wall clock, the straight line is its clock\n";
        const double late = sound ? num(p, "vs_clock_late") / std::max(1.0, num(p, "vs_clock_pictures"))
                                  : num(p, "paint_late_over_period") / std::max(1.0, num(p, "pictures_timed"));
        check(ok(p) && late <= kLateTarget, "painted over a period late %1 % <= 1 %"_s.arg(fixed(100.0 * late, 2)));
    }
}

int run(const Options &o)
{
    Setup s{o, o.str("dir"), QDir(o.str("dir")).filePath("logs"), {}, int(o.real("idle-seconds") * 1000)};
    for (const QString &p : o.list("players")) {
        if (p != "floor")
            s.players << p;
        for (const QString &scaler : p == "floor" ? o.list("floor-scalers") : QStringList())
            s.players << "floor:" + scaler;
    }
    QDir().mkpath(s.logDir);
    std::vector<Clip> clips;
    for (const QString &key : o.list("files")) {
        const Clip *c = findClip(key);
        if (!c || !makeClip(s.dir, *c, o.flag("regenerate"))) {
            out() << "cannot make recording " << key << "\n";
            return 3;
        }
        clips.push_back(*c);
    }
    QStringList verdicts;
    std::vector<QStringList> summary;
    bool met = true;
    for (const Clip &c : clips)
        playClip(s, o.list("parts"), c, verdicts, met, summary);
    out() << "\n== Summary\n";
    if (!summary.empty())
        printTable({"CPU s/media s", "ours", "mpv", "ffplay", "floor", "ours/mpv", "ours/ffplay", "ours/floor",
                    "most dropped ours/mpv/ffplay"},
                   summary);
    for (const QString &v : verdicts)
        out() << "  " << v << "\n";
    return met ? 0 : 1;
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

double quantile(std::vector<double> v, double q) { return v.empty() ? NAN : Stats{std::move(v)}.quantile(q); }
long countOver(const std::vector<double> &v, double limit)
{
    return long(std::count_if(v.begin(), v.end(), [=](double d) { return d > limit; }));
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

// Against a straight line through paint time - pts (its slope is the
// playback clock's rate against the wall clock), a picture more than a
// period above it is late: that also counts the clock's own wander. Against
// the playback clock rebuilt from the sound device's buffer steps as the
// video thread computes it (end of decoded sound - one buffer + the wall
// time since the step, at most one buffer), the lateness is the engine's own.
void printPacing(const std::vector<PictureTimes> &pictures, const std::vector<SoundStep> &sound)
{
    std::vector<double> pts, paintOffset, deliverOffset, queue, paint, periods, wall, lag, gaps, chunks, vsClock;
    for (const PictureTimes &p : pictures) {
        if (p.painted >= 0 && p.delivered >= 0) {
            if (!pts.empty() && p.pts > pts.back())
                periods.push_back(p.pts - pts.back());
            pts.push_back(p.pts);
            paintOffset.push_back(p.painted - p.pts);
            deliverOffset.push_back(p.delivered - p.pts);
        }
        if (p.arrived >= 0 && p.delivered >= 0)
            queue.push_back(p.arrived - p.delivered);
        if (p.painted >= 0 && p.arrived >= 0)
            paint.push_back(p.painted - p.arrived);
    }
    const double period = quantile(periods, 0.5);
    const std::vector<double> paintRes = residuals(pts, paintOffset);
    std::printf("RESULT pictures_timed=%zu paint_offset_p1_ms=%.1f paint_offset_p99_ms=%.1f paint_offset_max_ms=%.1f "
                "paint_late_over_period=%ld "
                "deliver_late_over_period=%ld queue_p50_ms=%.1f queue_p99_ms=%.1f queue_max_ms=%.1f paint_p50_ms=%.1f "
                "paint_p99_ms=%.1f paint_max_ms=%.1f\n",
                pts.size(), quantile(paintRes, 0.01), quantile(paintRes, 0.99), quantile(paintRes, 1.0),
                countOver(paintRes, period), countOver(residuals(pts, deliverOffset), period), quantile(queue, 0.5),
                quantile(queue, 0.99), quantile(queue, 1.0), quantile(paint, 0.5), quantile(paint, 0.99), quantile(paint, 1.0));
    if (sound.size() < 3) { // no sound: the engine keeps the wall clock
        std::printf("RESULT sound_steps=0\n");
        return;
    }
    for (size_t i = 0; i < sound.size(); ++i) {
        wall.push_back(sound[i].wall);
        lag.push_back(sound[i].wall - sound[i].clock);
        if (i > 0)
            gaps.push_back(sound[i].wall - sound[i - 1].wall), chunks.push_back(sound[i].clock - sound[i - 1].clock);
    }
    const std::vector<double> wander = residuals(wall, lag);
    const double chunk = quantile(chunks, 0.5);
    for (const PictureTimes &p : pictures) {
        const auto it =
            std::lower_bound(sound.begin(), sound.end(), p.pts, [](const SoundStep &s, double v) { return s.clock < v; });
        if (it != sound.end() && p.painted >= 0 && p.delivered >= 0) // over this step the clock runs from clock - chunk to clock
            vsClock.push_back(p.painted - (it->wall + std::max(0.0, p.pts - (it->clock - chunk))));
    }
    std::printf("RESULT sound_steps=%zu sound_gap_p50_ms=%.2f sound_gap_p99_ms=%.1f sound_gap_max_ms=%.1f "
                "clock_wander_min_ms=%.1f clock_wander_max_ms=%.1f "
                "vs_clock_pictures=%zu vs_clock_paint_p50_ms=%.1f vs_clock_paint_p99_ms=%.1f vs_clock_paint_max_ms=%.1f "
                "vs_clock_late=%ld\n",
                sound.size(), quantile(gaps, 0.5), quantile(gaps, 0.99), quantile(gaps, 1.0), quantile(wander, 0.0),
                quantile(wander, 1.0), vsClock.size(), quantile(vsClock, 0.5), quantile(vsClock, 0.99), quantile(vsClock, 1.0),
                countOver(vsClock, period));
}

} // namespace

// FILE [pace]: the engine from openFile to the natural end, every picture
// timed as the video thread emits it, as the surface's slot takes it and at
// its first paint. With pace, a thread also notes every buffer the sound
// device takes and the playback clock after it.
int childPlay(int argc, char **argv, const QStringList &args)
{
    quietLogs();
    QApplication app(argc, argv);
    initPlayback(); // as the viewer's main() does
    EngineWindow w;
    if (!w.showAndWait())
        return 2;
    Clock::time_point playStart = Clock::now();
    std::atomic<bool> playing{false}, sampling{args.value(1) == "pace"};
    std::map<qint64, PictureTimes> pictures; // by pts in µs
    std::mutex mutex;
    const auto stamp = [&](const QImage &image, Clock::time_point at, double PictureTimes::*field) {
        const double pts = imagePts(image);
        std::lock_guard<std::mutex> lock(mutex);
        if (playing && !std::isnan(pts) && (pictures[std::llround(pts * 1e6)].*field < 0)) {
            pictures[std::llround(pts * 1e6)].pts = pts * 1000.0;
            pictures[std::llround(pts * 1e6)].*field = msBetween(playStart, at);
        }
    };
    w.onDelivered = [&](const QImage &image) { stamp(image, Clock::now(), &PictureTimes::delivered); };
    w.frame->onArrived = [&](const QImage &image, Clock::time_point at) { stamp(image, at, &PictureTimes::arrived); };
    w.frame->onPainted = [&](const QImage &image, Clock::time_point at) { stamp(image, at, &PictureTimes::painted); };
    CpuSnapshot atEnd; // from the open to the natural end, as the telemetry window's
    QObject::connect(&w.player, &VideoPlayer::sig_PlayStopNormally, &app, [&] {
        atEnd = cpuSnapshot();
        app.exit(1);
    });
    const CpuSnapshot atOpen = cpuSnapshot();
    if (!w.player.openFile(args.value(0))) {
        std::printf("ERROR openFile failed\n");
        return 2;
    }
    std::vector<SoundStep> sound;
    playStart = Clock::now();
    playing = true;
    std::thread sampler([&] {
        for (qint64 last = -1; sampling; std::this_thread::sleep_for(std::chrono::microseconds(kSoundPollUs)))
            if (w.player.audioBytesPlayed() != last) {
                last = w.player.audioBytesPlayed();
                sound.push_back({msBetween(playStart, Clock::now()), w.player.currentTime() * 1000.0});
            }
    });
    w.player.play();
    QTimer::singleShot(int(double(w.player.totalTime()) / 1e3 * 2.0) + 30000, &app, &QCoreApplication::quit);
    const bool ended = app.exec() == 1;
    sampling = false;
    sampler.join();
    if (!ended) {
        std::printf("ERROR no natural end within the time limit (shown %lld)\n", static_cast<long long>(w.player.framesShown()));
        return 3;
    }
    std::printf("RESULT %s shown=%lld dropped=%lld painted=%lld paints=%lld picture=%dx%d\n",
                qPrintable(cpuSpan("play", atOpen, atEnd)), static_cast<long long>(w.player.framesShown()),
                static_cast<long long>(w.player.framesDropped()), static_cast<long long>(w.frame->picturesPainted),
                static_cast<long long>(w.frame->paints), w.frame->image().width(), w.frame->image().height());
    std::vector<PictureTimes> list;
    for (const auto &entry : pictures)
        list.push_back(entry.second);
    printPacing(list, sound);
    return 0;
}

// FILE US,US,...: paused seeks (setIsMove(true); seek(t)), the first picture
// delivered after the call and the first new one painted; exact when they
// are the same picture and it carries t.
int childSeeks(int argc, char **argv, const QStringList &args)
{
    quietLogs();
    QApplication app(argc, argv);
    initPlayback(); // as the viewer's main() does
    EngineWindow w;
    if (!w.showAndWait())
        return 2;
    bool armed = false;
    QImage delivered, painted;
    Clock::time_point deliveredAt, paintedAt;
    qint64 keyBefore = 0;
    QObject::connect(&w.player, &VideoPlayer::sig_GetOneFrame, &app, [&](const QImage &image) {
        if (armed && delivered.isNull())
            delivered = image, deliveredAt = Clock::now();
        wakeWaiter();
    });
    w.frame->onPainted = [&](const QImage &shown, Clock::time_point at) {
        if (armed && painted.isNull() && shown.cacheKey() != keyBefore)
            painted = shown, paintedAt = at;
    };
    if (!w.player.openFile(args.value(0))) {
        std::printf("ERROR openFile failed\n");
        return 2;
    }
    for (const QString &position : args.value(1).split(',', Qt::SkipEmptyParts)) {
        spinFor(kSettleMs);
        keyBefore = w.frame->image().cacheKey();
        delivered = painted = QImage();
        armed = true;
        const Clock::time_point start = Clock::now();
        w.player.setIsMove(true);
        w.player.seek(position.toLongLong());
        if (!spinUntil([&] { return !delivered.isNull() && !painted.isNull(); }, kPictureTimeoutMs)) {
            std::printf("ERROR no picture after the seek to %s us\n", qPrintable(position));
            return 3;
        }
        armed = false;
        const bool exact = painted.cacheKey() == delivered.cacheKey()
                           && std::fabs(imagePts(delivered) - position.toDouble() / 1e6) <= kPtsTolerance;
        std::printf("RESULT target_us=%s pts_s=%.6f exact=%d delivered_ms=%.3f painted_ms=%.3f\n", qPrintable(position),
                    imagePts(delivered), exact, msBetween(start, deliveredAt), msBetween(start, paintedAt));
    }
    w.player.stop();
    return 0;
}

// FILE PLAY_MS IDLE_MS: plays a moment, then the CPU of every thread of this
// process from the scheduler's accounting (clock ticks are too coarse here)
// paused, then stopped, window open; and where the picture is on the screen.
int childIdle(int argc, char **argv, const QStringList &args)
{
    quietLogs();
    QApplication app(argc, argv);
    initPlayback(); // as the viewer's main() does
    EngineWindow w;
    if (!w.showAndWait() || !w.player.openFile(args.value(0)) || !w.player.play())
        return 2;
    spinFor(args.value(1).toInt());
    const auto idle = [&](const char *state) {
        spinFor(kIdleSettleMs);
        const qint64 rounds = w.player.loopRounds();
        const QMap<QString, qint64> before = threadCpuNs(0);
        const Clock::time_point start = Clock::now();
        spinFor(args.value(2).toInt());
        const double wallS = secondsSince(start);
        std::vector<std::pair<qint64, QString>> used;
        qint64 total = 0;
        const QMap<QString, qint64> after = threadCpuNs(0);
        for (auto it = after.begin(); it != after.end(); ++it)
            total += used.emplace_back(it.value() - before.value(it.key()), it.key().section('#', 0, 0)).first;
        std::sort(used.rbegin(), used.rend());
        QStringList top;
        for (int i = 0; i < int(used.size()) && i < kIdleThreadsShown; ++i)
            top << used[size_t(i)].second + ':' + fixed(double(used[size_t(i)].first) / 1e3 / wallS, 0);
        std::printf("RESULT %s_cpu_per_s=%.5f %s_loop_rounds_per_s=%.1f %s_threads=%s\n", state, double(total) / 1e9 / wallS,
                    state, double(w.player.loopRounds() - rounds) / wallS, state, qPrintable(top.join(',')));
    };
    w.player.pause();
    spinFor(kIdleSettleMs);
    std::printf("RESULT screen=%s picture=%dx%d\n", qPrintable(litScreen()), w.frame->image().width(), w.frame->image().height());
    idle("paused");
    w.player.stop();
    idle("stopped");
    return 0;
}

int childScreen(int argc, char **argv, const QStringList &)
{
    QApplication app(argc, argv);
    initPlayback(); // as the viewer's main() does
    std::printf("RESULT screen=%s\n", qPrintable(litScreen()));
    return 0;
}

const Scenario kPlayback{
    "playback",
    "playing recordings to the end against mpv and ffplay; first picture, paused seeks, idle cost, pacing, picture sizes",
    {{"files", "1080p30,1080p60,2160p30", "recordings: 1080p30, 1080p60, 2160p30, 1080p60-nosound"},
     {"players", "ours,mpv,ffplay,floor",
      "ours, mpv, ffplay, floor (libav* alone: decoding and conversion, the open, the seeks)"},
     {"parts", "play,first,seek", "play (to the end), first (first picture), seek (paused seeks), idle, pace"},
     {"reps", "1", "plays per player and file, interleaved; the median by CPU is shown"},
     {"seeks", "10", "paused seeks per file"},
     {"seed", "1", "seed of the seek positions"},
     {"first-reps", "10", "opens timed for the first picture"},
     {"idle-seconds", "10", "each idle window"},
     {"floor-scalers", "none,bicubic,bilinear,fast_bilinear",
      "swscale flags of the floor: none (decoding alone), bicubic (the engine's), bilinear, ..."},
     {"dir", "/tmp/velmora_bench_playback", "recordings and child logs, reused"},
     {"regenerate", nullptr, "encode the recordings again"}},
    run,
    Display::X};

} // namespace bench
