// drive: three files of a drive played as one by the main window, from the
// last picture of a file to the first of the next, against mpv's gapless
// playlist; a chart click while paused against the player's paused seek.

#include "bench.h"
#include "formfilelist.h"
#include "mainwindow.h"
#include "playbacksession.h"
#include "telemetrypanel.h"

#include <QRegularExpression>

#include <cstring>

namespace bench {

namespace {

constexpr double kPeriodMs = 1000.0 / 30.0; // the gap target: one picture period
constexpr int kParts = 3, kPartSeconds = 10;
constexpr double kChildTimeoutS = 300.0;
constexpr int kPictureTimeoutMs = 20000;
constexpr int kSettleMs = 300;            // before each timed seek
constexpr double kMpvClockOffsetS = 10.0; // --dump-stats' clock is its log's plus 10 s (MP_START_TIME)
const Clip kPart{"1080p30-10s", 1920, 1080, 30, double(kPartSeconds), "libx264", "8M", 3, QString()};
// The steps of a change of file, as the child reports them.
const QStringList kSteps = "gap_ms end_ms next_ms"_s.split(' ');

quint64 serialOf(const QImage &image) { return image.text("serial").toULongLong(); }

// The same pictures with GPS tracks whose start times are one file length apart.
QStringList makeParts(const QString &dir, bool regenerate)
{
    QStringList files;
    fixture::DriveSpec plan;
    plan.records = kPartSeconds;
    bool ok = makeClip(dir, kPart, regenerate);
    for (int i = 0; i < kParts; ++i, plan.start = plan.start.addSecs(kPartSeconds)) {
        files << QDir(dir).filePath("drive_part%1_1080p30_%2s.mp4"_s.arg(i).arg(kPartSeconds));
        ok = ok && addGpsTrack(clipPath(dir, kPart), files.back(), fixture::makeDrive(plan), regenerate);
    }
    return ok ? files : QStringList();
}

// mpv plays the parts as a playlist. The end of each picture's flip on its
// X11 output (--dump-stats) and each file's start (--log-file), both on its
// own clock: a gap runs from the last flip before a file's start to the first after it.
std::vector<double> mpvGaps(const QString &logDir, const QStringList &parts, const QString &prefetch)
{
    const QString base = QDir(logDir).filePath("drive_mpv_prefetch_" + prefetch);
    QFile::remove(base + ".stats"), QFile::remove(base + ".log");
    const QStringList args{"--gapless-audio=yes", "--prefetch-playlist=" + prefetch, "--dump-stats=" + base + ".stats",
                           "--log-file=" + base + ".log"};
    const ChildRun run = runChild(mpvArgs() + args + parts, {}, base, kChildTimeoutS);
    std::vector<double> starts, flips, gaps; // s
    const QRegularExpression playing(R"(^\[\s*([0-9.]+)\]\[i\]\[cplayer\] Playing: )");
    for (const QString &line : readText(base + ".log").split('\n'))
        if (const QRegularExpressionMatch m = playing.match(line); m.hasMatch())
            starts.push_back(m.captured(1).toDouble());
    for (const QString &line : readText(base + ".stats").split('\n'))
        if (line.endsWith(" end video-flip"))
            flips.push_back(line.section(' ', 0, 0).toDouble() / 1e6 - kMpvClockOffsetS);
    for (size_t i = 1; i < starts.size() && run.exitCode == 0; ++i)
        if (const auto next = std::lower_bound(flips.begin(), flips.end(), starts[i]);
            next != flips.begin() && next != flips.end())
            gaps.push_back((*next - *(next - 1)) * 1e3);
    if (gaps.size() != size_t(kParts - 1))
        out() << "  mpv: " << gaps.size() << " gaps found, see " << base << ".* " << run.failure() << Qt::endl;
    return gaps;
}

int run(const Options &o)
{
    const QString logDir = QDir(o.str("dir")).filePath("logs"), data = QDir(logDir).filePath("drive_data");
    const QStringList parts = makeParts(o.str("dir"), o.flag("regenerate"));
    if (parts.isEmpty() || !QDir().mkpath(data))
        return 3;
    const MediaInfo m = probe(parts[0]);
    out() << kParts << " files of a drive, GPS start times " << kPartSeconds << " s apart, each " << m.text << Qt::endl;
    std::vector<QStringList> rows;
    std::map<QString, Stats> gaps, seeks; // by player; by path
    QStringList failures;
    for (int rep = 1; rep <= o.integer("reps"); ++rep) { // interleaved
        out() << "  load average " << loadAverage() << "; play " << rep << " ..." << Qt::endl;
        const QStringList args = QStringList{"drive", data} + parts + QStringList{o.str("seconds")};
        const ChildRun run = runSelf(logDir, "drive_ours_%1"_s.arg(rep), args, kChildTimeoutS, kEngineEnv);
        if (run.exitCode != 0)
            failures << "play %1 %2"_s.arg(rep).arg(run.failure());
        for (Values &v : run.lines()) {
            if (v.contains("seek"))
                seeks[v["seek"]].add(num(v, "painted_ms"));
            if (!v.contains("gap_ms"))
                continue;
            gaps["ours"].add(num(v, "gap_ms"));
            rows.push_back({"ours, play %1, to file %2"_s.arg(rep).arg(v["border"].toInt() + 1)});
            for (const QString &step : kSteps)
                rows.back() << v[step];
        }
        for (const QString prefetch : {"no", "yes"}) {
            const QString who = "mpv, prefetch-playlist=" + prefetch;
            const std::vector<double> mpv = mpvGaps(logDir, parts, prefetch);
            for (size_t i = 0; i < mpv.size(); ++i) {
                gaps[who].add(mpv[i]);
                rows.push_back({"%1, play %2, to file %3"_s.arg(who).arg(rep).arg(i + 2), fixed(mpv[i], 1)});
            }
        }
    }
    out() << "\nFrom the last picture of a file painted to the first of the next, ms (mpv: flip to flip on its video output); "
             "ours in two steps: to the end reported, then to the next file's first picture painted (it waits ready "
             "in a second player)\n";
    printTable({"", "gap", "end reported", "next painted"}, rows);
    for (const auto &g : gaps)
        out() << "  " << g.first << ": gap max " << fixed(g.second.max(), 1) << ", median " << fixed(g.second.median(), 1)
              << "\n";
    const Stats &chart = seeks["chart"], &player = seeks["player"];
    out()
        << "\nPaused in the middle of the second file alone, to the picture for the second painted, ms mean, median (min-max):\n"
        << "  chart click (sig_SeekSecond) " << fixed(chart.mean(), 1) << ", " << chart.text() << "\n"
        << "  paused seek                  " << fixed(player.mean(), 1) << ", " << player.text() << "\n";
    const double gap = gaps["ours"].max();
    const bool gapMet = gap <= kPeriodMs, seekMet = chart.median() <= player.median();
    out() << "\ntargets: gap max " << fixed(gap, 1) << " ms <= " << fixed(kPeriodMs, 1) << " ms: " << verdict(gapMet)
          << "; chart click median " << fixed(chart.median(), 1) << " <= paused seek median " << fixed(player.median(), 1)
          << " ms: " << verdict(seekMet) << "; load average " << loadAverage() << Qt::endl;
    for (const QString &failure : failures)
        out() << "  ours FAILED, " << failure << Qt::endl;
    return !failures.isEmpty() ? 3 : gapMet && seekMet ? 0 : 1;
}

// When each step of an open was seen.
struct OpenTimes
{
    Clock::time_point firstPaint, lastPaint, end;
};

} // namespace

// The main window lists the parts as the file list does and plays them to
// the drive's end; then, drives off, opens the second paused and seeks to
// each second by a chart click and by the player. DATA_DIR PART0 PART1 PART2 SECONDS,...
int childDrive(const QStringList &args)
{
    MainWindow window(nullptr, MainWindow::MapView::Web, args.value(0));
    MyFrame *surface = showMainWindow(window, true);
    if (!surface)
        return 2;
    window.setTrips(true);
    // What the window hears, from the player that plays: each file's
    // length marks its open (the second player's take-over included), its
    // pictures are known by their cache keys when painted.
    PlaybackSession *session = window.session();
    std::vector<OpenTimes> played;
    std::map<qint64, size_t> openOf; // picture cache key -> open
    int ends = 0;
    QObject::connect(session, &PlaybackSession::sig_TotalTimeChanged, qApp, [&] { played.emplace_back(); });
    QObject::connect(session, &PlaybackSession::sig_GetOneFrame, qApp, [&](const QImage &image) {
        if (!played.empty())
            openOf[image.cacheKey()] = played.size() - 1;
    });
    size_t painting = 0; // the open whose picture was painted last
    // The window hears the end first and may already have the next file
    // take over: the end belongs to the file painted last.
    QObject::connect(session, &PlaybackSession::sig_FileEnded, qApp, [&] {
        if (painting < played.size())
            played[painting].end = Clock::now();
        ++ends;
    });
    PaintWatch watch(surface);
    qint64 lastKey = 0;
    watch.onPainted = [&](const QImage &image) {
        const auto open = openOf.find(image.cacheKey());
        if (open == openOf.end() || std::exchange(lastKey, image.cacheKey()) == image.cacheKey())
            return;
        painting = open->second;
        OpenTimes &times = played[open->second];
        times.lastPaint = Clock::now();
        if (times.firstPaint == Clock::time_point())
            times.firstPaint = times.lastPaint;
    };
    window.fileListPanel()->addOpened(args.mid(1, kParts));
    const bool whole = spinUntil([&] { return ends == kParts; }, 2 * kParts * kPartSeconds * 1000 + kPictureTimeoutMs);
    // Opens that painted nothing (a part opened, then taken over) are no file change.
    played.erase(
        std::remove_if(played.begin(), played.end(), [](const OpenTimes &t) { return t.firstPaint == Clock::time_point(); }),
        played.end());
    for (size_t b = 1; b < played.size(); ++b) {
        const OpenTimes &a = played[b - 1], &z = played[b];
        if (a.end == Clock::time_point())
            return childError("the end of file %1 was not reported"_s.arg(b), 3);
        result({{"border", QString::number(b)},
                {kSteps[0], fixed(msBetween(a.lastPaint, z.firstPaint), 1)},
                {kSteps[1], fixed(msBetween(a.lastPaint, a.end), 1)},
                {kSteps[2], fixed(msBetween(a.end, z.firstPaint), 1)}});
    }
    if (!whole || played.size() != size_t(kParts))
        return childError("the drive did not play as one: %1 files painted, %2 ended"_s.arg(played.size()).arg(ends), 3);
    PlaybackSession *player = window.session();

    // Paused in the middle of a file that plays by itself.
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
    window.setTrips(false);
    window.slotOpenRecording(args.value(2), false);
    spinUntil([&] { return !window.session()->isOpening(); }, kPictureTimeoutMs);
    if (window.playState() != PlaybackSession::Paused || seekTo(player->fileLength() / 2000000, false) < 0)
        return childError("the file did not open paused and seek", 3);
    const QStringList seconds = args.value(1 + kParts).split(',', Qt::SkipEmptyParts);
    for (int i = 0; i < 2 * seconds.size(); ++i) { // each second by both, the two taking turns
        const char *path = (i + i / seconds.size()) % 2 ? "player" : "chart";
        const double ms = seekTo(seconds[i % seconds.size()].toLongLong(), !std::strcmp(path, "chart"));
        if (ms < 0)
            return childError("no picture for %1 s by the %2"_s.arg(seconds[i % seconds.size()], path), 3);
        result({{"seek", path}, {"second", seconds[i % seconds.size()]}, {"painted_ms", fixed(ms, 1)}});
    }
    player->stop();
    return 0;
}

const Scenario kDrive{"drive",
                      "three files of a drive played as one by the main window: the gap between files against mpv's "
                      "gapless playlist; a chart click while paused against the paused seek",
                      "playback",
                      {{"reps", "2", "plays of the drive by each player, interleaved"},
                       {"seconds", "2,7,4,9,1,6,3,8", "seconds clicked on the chart and sought by the player"}},
                      run,
                      Display::X};

} // namespace bench
