// The runs of velmora_bench_playback: every player as a child process.

#include "playback.h"

#include "mpv.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <random>
#include <thread>

#include <signal.h>
#include <unistd.h>

using namespace bench;

namespace {

constexpr double kPtsTolerance = 0.001; // s: mpv's position after an exact seek is the target's
constexpr int kIpcTimeoutMs = 20000;
constexpr int kIdleSettleMs = 1000;     // after pause or stop, before an idle window
constexpr double kChildTimeoutS = 300.0;

const QMap<QString, QString> kEngineEnv{{QStringLiteral("SDL_AUDIODRIVER"), QStringLiteral("dummy")}};

double timeoutFor(const MediaInfo &m)
{
    return m.duration * 3.0 + 60.0;
}

} // namespace

PlayResult medianPlay(std::vector<PlayResult> plays, double duration)
{
    std::vector<PlayResult> ok;
    int failures = 0;
    for (const PlayResult &p : plays)
        (p.ok ? ok.push_back(p) : void(++failures));
    if (ok.empty())
        return plays.front();
    std::sort(ok.begin(), ok.end(), [](const PlayResult &a, const PlayResult &b) { return a.run.cpuS() < b.run.cpuS(); });
    PlayResult chosen = ok[ok.size() / 2];
    for (const PlayResult &p : plays) {
        chosen.everyCpu << (p.ok ? QString::number(p.run.cpuS() / duration, 'f', 3) : QStringLiteral("failed"));
        chosen.everyDropped << (p.ok ? QString::number(p.dropped) : QStringLiteral("failed"));
        if (p.ok) {
            chosen.maxDropped = std::max(chosen.maxDropped, p.dropped);
            chosen.maxWallPerMedia = std::max(chosen.maxWallPerMedia, p.run.wallS / duration);
        }
    }
    chosen.failures = failures;
    return chosen;
}

PlayResult playEngine(const Setup &s, const Recording &r, const QString &file, const MediaInfo &m, bool pacing)
{
    PlayResult p;
    p.player = QStringLiteral("ours");
    p.run = runChild({s.self, QStringLiteral("--child"), pacing ? QStringLiteral("pace") : QStringLiteral("play"), file},
                     kEngineEnv, QDir(s.logDir).filePath(r.key + (pacing ? QStringLiteral("_ours_pace") : QStringLiteral("_ours"))),
                     timeoutFor(m));
    const auto values = mergedResults(p.run.stdoutText);
    p.extra = values;
    if (p.run.exitCode != 0 || !values.contains(QStringLiteral("shown"))) {
        p.note = QStringLiteral("failed (exit %1): %2").arg(p.run.exitCode).arg(errorLines(p.run));
        return p;
    }
    p.shown = values.value(QStringLiteral("shown")).toLongLong();
    p.dropped = values.value(QStringLiteral("dropped")).toLongLong();
    p.ok = true;
    return p;
}

PlayResult playMpv(const Setup &s, const Recording &r, const QString &file, const MediaInfo &m)
{
    PlayResult p;
    p.player = QStringLiteral("mpv");
    // The status line is replaced by the drop counters; the last one written
    // before exit holds the totals.
    p.run = runChild(mpvBaseArgs()
                         << QStringLiteral("--term-status-msg=VSTATUS pos=${=time-pos} vo_drop=${frame-drop-count} "
                                           "dec_drop=${decoder-frame-drop-count} delayed=${vo-delayed-frame-count}")
                         << file,
                     {}, QDir(s.logDir).filePath(r.key + QStringLiteral("_mpv")), timeoutFor(m));
    const QString all = p.run.stdoutText + p.run.stderrText;
    static const QRegularExpression status(
        QStringLiteral("VSTATUS pos=([-0-9.]+) vo_drop=(\\d+) dec_drop=(\\d+) delayed=(\\d+)"));
    QRegularExpressionMatch last;
    auto it = status.globalMatch(all);
    while (it.hasNext())
        last = it.next();
    if (p.run.exitCode != 0 || !last.hasMatch()) {
        p.note = QStringLiteral("failed (exit %1) or no status line: %2").arg(p.run.exitCode).arg(all.right(300).trimmed());
        return p;
    }
    const qint64 voDrop = last.captured(2).toLongLong();
    const qint64 decDrop = last.captured(3).toLongLong();
    p.dropped = voDrop + decDrop;
    p.shown = m.frames - p.dropped;
    p.shownDerived = true;
    p.extra.insert(QStringLiteral("last_pos"), last.captured(1));
    p.extra.insert(QStringLiteral("vo_drop"), QString::number(voDrop));
    p.extra.insert(QStringLiteral("dec_drop"), QString::number(decDrop));
    p.extra.insert(QStringLiteral("delayed"), last.captured(4));
    p.ok = true;
    return p;
}

PlayResult playFfplay(const Setup &s, const Recording &r, const QString &file, const MediaInfo &m)
{
    PlayResult p;
    p.player = QStringLiteral("ffplay");
    p.run = runChild({QStringLiteral("ffplay"), QStringLiteral("-autoexit"), QStringLiteral("-x"), QStringLiteral("1280"),
                      QStringLiteral("-y"), QStringLiteral("720"), file},
                     {{QStringLiteral("SDL_RENDER_DRIVER"), QStringLiteral("software")},
                      {QStringLiteral("SDL_AUDIODRIVER"), QStringLiteral("dummy")}},
                     QDir(s.logDir).filePath(r.key + QStringLiteral("_ffplay")), timeoutFor(m));
    // "  59.97 A-V:  0.007 fd=  12 aq= ..." every 30 ms on stderr: fd counts
    // the pictures dropped early (before decoding finished) and late.
    static const QRegularExpression status(QStringLiteral("([-0-9.]+) (?:A-V|M-V|M-A):\\s*([-0-9.]+) fd=\\s*(\\d+)"));
    QRegularExpressionMatch last;
    auto it = status.globalMatch(p.run.stderrText);
    while (it.hasNext())
        last = it.next();
    if (p.run.exitCode != 0 || !last.hasMatch()) {
        p.note = QStringLiteral("failed (exit %1) or no status line: %2").arg(p.run.exitCode)
                     .arg(p.run.stderrText.right(300).trimmed());
        return p;
    }
    p.dropped = last.captured(3).toLongLong();
    p.shown = m.frames - p.dropped;
    p.shownDerived = true;
    p.extra.insert(QStringLiteral("last_pos"), last.captured(1));
    p.ok = true;
    return p;
}

PlayResult decodeFloor(const Setup &s, const Recording &r, const QString &file, const MediaInfo &m, const QString &scaler)
{
    PlayResult p;
    p.player = QStringLiteral("floor:") + scaler;
    p.run = runChild({s.self, QStringLiteral("--child"), QStringLiteral("floor"), file, scaler}, {},
                     QDir(s.logDir).filePath(r.key + QStringLiteral("_floor_") + scaler), timeoutFor(m));
    const auto values = mergedResults(p.run.stdoutText);
    p.extra = values;
    if (p.run.exitCode != 0 || !values.contains(QStringLiteral("frames"))) {
        p.note = QStringLiteral("failed (exit %1): %2").arg(p.run.exitCode).arg(errorLines(p.run));
        return p;
    }
    p.shown = values.value(QStringLiteral("frames")).toLongLong();
    p.dropped = 0;
    p.ok = true;
    return p;
}

// Picture-aligned positions (µs), drawn at random from the second second to
// one second before the end, the same for every player.
std::vector<qint64> seekPositions(const MediaInfo &m, int count, unsigned seed)
{
    std::mt19937 rng(seed);
    const qint64 first = qint64(std::ceil(m.fps));
    const qint64 last = std::max(first + 1, m.frames - qint64(std::ceil(m.fps)));
    std::uniform_int_distribution<qint64> pick(first, last);
    std::vector<qint64> positions;
    for (int i = 0; i < count; ++i)
        positions.push_back(qint64(std::llround(double(pick(rng)) / m.fps * 1e6)));
    return positions;
}

SeekTimes engineSeeks(const Setup &s, const Recording &r, const QString &file, const std::vector<qint64> &positions)
{
    SeekTimes t;
    QStringList list;
    for (qint64 p : positions)
        list << QString::number(p);
    const ChildRun run = runChild({s.self, QStringLiteral("--child"), QStringLiteral("seek"), file, list.join(QLatin1Char(','))},
                                  kEngineEnv, QDir(s.logDir).filePath(r.key + QStringLiteral("_ours_seek")),
                                  120.0 + 30.0 * double(positions.size()));
    for (const auto &line : resultLines(run.stdoutText)) {
        if (line.contains(QStringLiteral("timeout"))) {
            t.misses << QStringLiteral("%1 µs: no picture").arg(line.value(QStringLiteral("target_us")));
            continue;
        }
        ++t.count;
        t.delivered.add(line.value(QStringLiteral("delivered_ms")).toDouble());
        t.painted.add(line.value(QStringLiteral("painted_ms")).toDouble());
        if (line.value(QStringLiteral("exact")) == QLatin1String("1"))
            ++t.exact;
        else
            t.misses << QStringLiteral("%1 µs -> picture %2 s").arg(line.value(QStringLiteral("target_us")),
                                                                    line.value(QStringLiteral("pts_s")));
    }
    t.ok = run.exitCode == 0 && t.count == int(positions.size());
    if (!t.ok)
        t.note = QStringLiteral("exit %1: %2").arg(run.exitCode).arg(errorLines(run));
    return t;
}

// mpv's JSON IPC over a Unix socket: one JSON object per line.
SeekTimes mpvSeeks(const Setup &s, const Recording &r, const QString &file, const std::vector<qint64> &positions)
{
    SeekTimes t;
    const QString socketPath = QDir(s.dir).filePath(QStringLiteral("mpv-ipc-%1.sock").arg(getpid()));
    MpvIpc ipc;
    const pid_t pid = startMpv({QStringLiteral("--pause"), QStringLiteral("--keep-open=always"), QStringLiteral("--really-quiet"), file},
                               socketPath, {}, QDir(s.logDir).filePath(r.key + QStringLiteral("_mpv_seek")), ipc, kIpcTimeoutMs);
    if (!pid) {
        t.note = QStringLiteral("cannot start mpv or reach its IPC socket");
        return t;
    }
    auto finish = [&](const QString &note) {
        t.note = note;
        endChild(pid, SIGTERM);
        QFile::remove(socketPath);
        return t;
    };

    // Loaded once the position is known; an untimed exact seek to the start
    // then makes sure the first picture is out before the timed ones.
    if (!waitMpvLoaded(ipc, kIpcTimeoutMs))
        return finish(QStringLiteral("file never loaded"));
    auto seekTo = [&](double seconds) {
        const int id = ipc.nextId();
        ipc.send({QStringLiteral("seek"), seconds, QStringLiteral("absolute+exact")}, id);
        return ipc.waitFor([](const QJsonObject &o) { return isMpvEvent(o, "playback-restart"); }, kIpcTimeoutMs).has_value();
    };
    if (!seekTo(0.0))
        return finish(QStringLiteral("no playback-restart after the first seek"));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));

    for (qint64 target : positions) {
        const Clock::time_point begin = Clock::now();
        if (!seekTo(double(target) / 1e6)) {
            t.misses << QStringLiteral("%1 µs: no playback-restart").arg(target);
            continue;
        }
        const double ms = secondsSince(begin) * 1000.0;
        ++t.count;
        t.delivered.add(ms);
        const auto pos = ipc.request({QStringLiteral("get_property"), QStringLiteral("time-pos")}, kIpcTimeoutMs);
        const double at = pos ? pos->value(QStringLiteral("data")).toDouble(-1.0) : -1.0;
        if (std::fabs(at - double(target) / 1e6) <= kPtsTolerance)
            ++t.exact;
        else
            t.misses << QStringLiteral("%1 µs -> time-pos %2 s").arg(target).arg(at, 0, 'f', 6);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    ipc.send({QStringLiteral("quit")}, ipc.nextId());
    endChild(pid, 0);
    QFile::remove(socketPath);
    t.ok = t.count == int(positions.size());
    return t;
}

FirstPicture firstPicture(const Setup &s, const Recording &r, const QString &file)
{
    FirstPicture fp;
    const ChildRun run = runChild({s.self, QStringLiteral("--child"), QStringLiteral("first-frame"), file,
                                   QString::number(s.firstFrameReps)},
                                  kEngineEnv, QDir(s.logDir).filePath(r.key + QStringLiteral("_ours_first")), kChildTimeoutS);
    const auto lines = resultLines(run.stdoutText);
    for (size_t i = 0; i < lines.size(); ++i) {
        const double paint = lines[i].value(QStringLiteral("first_paint_ms")).toDouble();
        if (i == 0)
            fp.coldMs = paint;
        fp.open.add(lines[i].value(QStringLiteral("open_ms")).toDouble());
        fp.paint.add(paint);
    }
    if (run.exitCode != 0)
        fp.note = errorLines(run);
    const ChildRun steps = runChild({s.self, QStringLiteral("--child"), QStringLiteral("open-steps"), file,
                                     QString::number(std::max(1, s.firstFrameReps / 2))},
                                    kEngineEnv, QDir(s.logDir).filePath(r.key + QStringLiteral("_open_steps")), kChildTimeoutS);
    fp.steps = mergedResults(steps.stdoutText);
    return fp;
}

SeekFloor seekFloor(const Setup &s, const Recording &r, const QString &file, const std::vector<qint64> &positions)
{
    SeekFloor sf;
    QStringList list;
    for (qint64 p : positions)
        list << QString::number(p);
    const ChildRun run = runChild({s.self, QStringLiteral("--child"), QStringLiteral("seek-floor"), file, list.join(QLatin1Char(','))},
                                  {}, QDir(s.logDir).filePath(r.key + QStringLiteral("_seek_floor")), 2 * kChildTimeoutS);
    for (const auto &line : resultLines(run.stdoutText)) {
        const bool skip = line.value(QStringLiteral("skip_nonref")) == QLatin1String("1");
        (skip ? sf.skipping : sf.plain).add(line.value(QStringLiteral("ms")).toDouble());
        (skip ? sf.picturesSkipping : sf.pictures) += line.value(QStringLiteral("pictures")).toInt();
        if (std::fabs(line.value(QStringLiteral("pts_s")).toDouble() - line.value(QStringLiteral("target_s")).toDouble()) > kPtsTolerance)
            sf.note += QStringLiteral(" [%1: %2 for %3 s]")
                           .arg(skip ? QStringLiteral("skipping") : QStringLiteral("plain"),
                                line.value(QStringLiteral("pts_s")).toDouble() > line.value(QStringLiteral("target_s")).toDouble()
                                    ? QStringLiteral("landed on a later picture (the key frame found by decoding time is after t)")
                                    : QStringLiteral("WRONG picture"),
                                line.value(QStringLiteral("target_s")));
    }
    if (run.exitCode != 0)
        sf.note += QStringLiteral(" exit %1: %2").arg(run.exitCode).arg(errorLines(run));
    return sf;
}

IdleCost engineIdle(const Setup &s, const Recording &r, const QString &file)
{
    IdleCost c;
    const ChildRun run = runChild({s.self, QStringLiteral("--child"), QStringLiteral("idle"), file, QString::number(s.idlePlayMs),
                                   QString::number(s.idleMs)},
                                  kEngineEnv, QDir(s.logDir).filePath(r.key + QStringLiteral("_ours_idle")),
                                  kChildTimeoutS + 2.0 * s.idleMs / 1000.0);
    const auto v = mergedResults(run.stdoutText);
    c.ok = run.exitCode == 0 && v.contains(QStringLiteral("stopped_cpu_per_s"));
    if (!c.ok)
        c.note = QStringLiteral("exit %1: %2").arg(run.exitCode).arg(errorLines(run));
    c.paused = v.value(QStringLiteral("paused_cpu_per_s"), QStringLiteral("-1")).toDouble();
    c.stopped = v.value(QStringLiteral("stopped_cpu_per_s"), QStringLiteral("-1")).toDouble();
    c.pausedRounds = v.value(QStringLiteral("paused_loop_rounds_per_s"), QStringLiteral("-1")).toDouble();
    c.stoppedRounds = v.value(QStringLiteral("stopped_loop_rounds_per_s"), QStringLiteral("-1")).toDouble();
    c.screen = QStringLiteral("%1x%2 at %3,%4").arg(v.value(QStringLiteral("screen_w")), v.value(QStringLiteral("screen_h")),
                                                   v.value(QStringLiteral("screen_x")), v.value(QStringLiteral("screen_y")));
    c.picture = v.value(QStringLiteral("picture"));
    c.pausedThreads = v.value(QStringLiteral("paused_threads"));
    c.stoppedThreads = v.value(QStringLiteral("stopped_threads"));
    return c;
}

// mpv with its window, playing a moment, paused over IPC, then stopped
// ("stop" leaves it idle with the window open): its CPU from outside, by
// the scheduler's accounting of every thread, as the engine's child reads its own.
IdleCost mpvIdle(const Setup &s, const Recording &r, const QString &file)
{
    IdleCost c;
    const QString socketPath = QDir(s.dir).filePath(QStringLiteral("mpv-idle-%1.sock").arg(getpid()));
    MpvIpc ipc;
    const pid_t pid = startMpv({QStringLiteral("--idle=yes"), QStringLiteral("--force-window=yes"), QStringLiteral("--really-quiet"), file},
                               socketPath, {}, QDir(s.logDir).filePath(r.key + QStringLiteral("_mpv_idle")), ipc, kIpcTimeoutMs);
    if (!pid || !waitMpvLoaded(ipc, kIpcTimeoutMs)) {
        c.note = QStringLiteral("mpv did not start or load the file");
        endChild(pid, SIGKILL);
        return c;
    }
    const auto window = [&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(kIdleSettleMs));
        const qint64 cpu = processCpuNs(pid);
        const Clock::time_point start = Clock::now();
        std::this_thread::sleep_for(std::chrono::milliseconds(s.idleMs));
        return double(processCpuNs(pid) - cpu) / 1e9 / secondsSince(start);
    };
    std::this_thread::sleep_for(std::chrono::milliseconds(s.idlePlayMs));
    ipc.request({QStringLiteral("set_property"), QStringLiteral("pause"), true}, kIpcTimeoutMs);
    std::this_thread::sleep_for(std::chrono::milliseconds(kIdleSettleMs));
    const ChildRun grab = runChild({s.self, QStringLiteral("--child"), QStringLiteral("screen")}, {},
                                   QDir(s.logDir).filePath(r.key + QStringLiteral("_mpv_screen")), kChildTimeoutS);
    const auto v = mergedResults(grab.stdoutText);
    c.screen = QStringLiteral("%1x%2 at %3,%4").arg(v.value(QStringLiteral("screen_w")), v.value(QStringLiteral("screen_h")),
                                                   v.value(QStringLiteral("screen_x")), v.value(QStringLiteral("screen_y")));
    c.paused = window();
    ipc.request({QStringLiteral("stop")}, kIpcTimeoutMs);
    c.stopped = window();
    ipc.send({QStringLiteral("quit")}, ipc.nextId());
    endChild(pid, 0);
    QFile::remove(socketPath);
    c.ok = c.paused >= 0.0 && c.stopped >= 0.0;
    return c;
}
