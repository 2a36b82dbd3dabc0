// open: the first picture of a 30-minute TS against a 1-minute one (mpv
// alongside); the main window opening the 30-minute TS, hot and through a
// throttled card, and the GUI thread's longest stall.

#include "bench.h"
#include "mainwindow.h"

namespace bench {

namespace {

constexpr double kRatioTarget = 1.2;     // first picture, 30-minute over 1-minute TS
constexpr double kStallTargetMs = 100.0; // the GUI thread's longest stall through the card
constexpr int kSettleMs = 300;           // between timed opens
constexpr double kChildTimeoutS = 600.0;
constexpr int kTickMs = 2;                // the GUI thread's heartbeat in the window
constexpr int kBeforeOpenMs = 500;        // ticking before the open: the quiet baseline
constexpr int kAfterPictureMs = 1000;     // watched after the first picture
constexpr int kPictureTimeoutMs = 180000; // through a slow card, behind a GPS pass
constexpr int kGpsWaitS = 180;            // for the GPS track through the card

struct Opens
{
    Stats first, rest; // ms; each process's first open apart
    QString note;
    QString text() const
    {
        QStringList firsts;
        for (double v : first.values)
            firsts << fixed(v, 1);
        return "%1 (%2 opens); each process's first %3 %4"_s.arg(rest.text()).arg(rest.size()).arg(firsts.join(", "), note);
    }
};

void readFileInto(const QString &path) // into the page cache
{
    QFile file(path);
    QByteArray chunk(4 << 20, Qt::Uninitialized);
    if (file.open(QIODevice::ReadOnly))
        while (file.read(chunk.data(), chunk.size()) > 0) {}
}

// The recordings' folder is the card: every file read from it is paced.
Values card(const QString &file, const QString &rate)
{
    Values env = kEngineEnv;
    env.insert("LD_PRELOAD", QStringLiteral(VELMORA_THROTTLE_LIBRARY));
    env.insert("VELMORA_THROTTLE_MATCH", QFileInfo(file).absolutePath() + '/');
    env.insert("VELMORA_THROTTLE_BYTES_PER_S", QString::number(parseRate(rate)));
    return env;
}

// mpv idle with its window, paused: "loadfile" to the "playback-restart"
// event, sent once the first picture is on its video output; "stop" between.
void mpvOpens(Opens &o, const QString &logDir, const QString &file, int reps, const QString &log, const Values &env)
{
    Mpv mpv;
    if (!mpv.start({"--idle=yes", "--force-window=yes", "--pause"}, logDir, log, env)) {
        o.note = "mpv did not start";
        return;
    }
    for (int i = 0; i < reps; ++i) {
        sleepMs(kSettleMs);
        const Clock::time_point start = Clock::now();
        mpv.send({"loadfile", file});
        if (!mpv.waitEvent("playback-restart")) {
            o.note = "mpv: no playback-restart";
            break;
        }
        (i == 0 ? o.first : o.rest).add(msSince(start));
        mpv.send({"stop"});
        mpv.waitEvent("end-file");
    }
    mpv.quit();
}

bool firstPictures(const Options &o, const QString &logDir, const QString (&files)[2])
{
    for (const QString &f : files)
        readFileInto(f);
    out() << "\nFirst picture, hot page cache, ms median (min-max): ours, openFile to the first painted picture in the bench "
             "window; mpv, loadfile to playback-restart. Load average "
          << loadAverage() << Qt::endl;
    Opens ours[2], mpv[2];
    const int reps = std::max(2, o.integer("reps"));
    for (int round = 0; round < o.integer("rounds"); ++round) {
        for (int f = 0; f < 2; ++f) {
            const QString tag = "%1min_%2"_s.arg(f ? 30 : 1).arg(round);
            const ChildRun child = runSelf(logDir, "first_ours_" + tag, {"engine", files[f], "first", QString::number(reps)},
                                           kChildTimeoutS, kEngineEnv);
            const auto lines = child.lines();
            for (size_t i = 0; i < lines.size(); ++i)
                (i == 0 ? ours[f].first : ours[f].rest).add(num(lines[i], "first_paint_ms"));
            ours[f].note += child.failure();
            mpvOpens(mpv[f], logDir, files[f], reps, "first_mpv_" + tag, {});
        }
    }
    const double ratio = ours[1].rest.median() / ours[0].rest.median();
    out() << "  ours, 1-minute TS   " << ours[0].text() << "\n  ours, 30-minute TS  " << ours[1].text()
          << "\n  mpv, 1-minute TS    " << mpv[0].text() << "\n  mpv, 30-minute TS   " << mpv[1].text() << "\n  mpv 30/1 minute "
          << fixed(mpv[1].rest.median() / mpv[0].rest.median(), 2) << "; ours/mpv "
          << fixed(ours[0].rest.median() / mpv[0].rest.median(), 2) << " (1 minute), "
          << fixed(ours[1].rest.median() / mpv[1].rest.median(), 2) << " (30 minutes)\n  ours 30/1 minute " << fixed(ratio, 2)
          << " (medians), target <= 1.2: " << verdict(ratio <= kRatioTarget) << "; load average " << loadAverage() << Qt::endl;
    return ratio <= kRatioTarget;
}

bool windowOpens(const Options &o, const QString &logDir, const QString (&files)[2])
{
    readFileInto(files[1]);
    out() << "\nThe main window opening the 30-minute TS as the file list does, heartbeat every 2 ms; ms, gaps over 20 ms as "
             "length@end/on the CPU/waiting for one; load average "
          << loadAverage() << Qt::endl;
    const QStringList args{"window", files[1], QString::number(kGpsWaitS)};
    const double timeout = 2 * kGpsWaitS + kChildTimeoutS;
    const Values throttled = card(files[1], o.str("card-rate"));
    const ChildRun runs[3] = {runSelf(logDir, "window_hot", args, timeout, kEngineEnv),
                              runSelf(logDir, "window_card", args, timeout, throttled),
                              runSelf(logDir, "window_card_next", args + QStringList{files[0]}, timeout, throttled)};
    const char *names[3] = {"hot page cache", "through the card", "through the card, then the 1-minute TS after 1 s"};
    for (int i = 0; i < 3; ++i)
        printValues((QLatin1String(names[i]) + ' ' + runs[i].failure()).trimmed(), runs[i].results());
    Opens m;
    mpvOpens(m, logDir, files[1], 1, "window_mpv_card", throttled);
    out() << "  mpv through the card: first picture " << fixed(m.first.median(), 1) << " ms after loadfile " << m.note << "\n";
    const double stall = num(runs[1].results(), "open_stall_ms", 1e9);
    out() << "  longest GUI stall through the card, open to 1 s after the picture " << fixed(stall, 1)
          << " ms, target <= 100 ms: " << verdict(stall <= kStallTargetMs) << "; load average " << loadAverage() << Qt::endl;
    return stall <= kStallTargetMs;
}

int run(const Options &o)
{
    const QString logDir = QDir(o.str("dir")).filePath("open_logs");
    QDir().mkpath(logDir);
    LongRecording shortRec{o.str("dir"), 8000000, 60, o.flag("regenerate")}, longRec = shortRec;
    longRec.seconds = 1800;
    if (!makeLongRecording(shortRec, true, false) || !makeLongRecording(longRec, true, false))
        return 3;
    const QString files[2] = {shortRec.path(".ts"), longRec.path(".ts")};
    out() << "1-minute and 30-minute 1920x1080 30 fps TS at " << shortRec.bitrate / 1000
          << " kbit/s, GPS on PID 0x300, payload version 0 (the pass reads the whole file): " << QFileInfo(files[0]).size()
          << " and " << QFileInfo(files[1]).size() << " bytes" << Qt::endl;
    bool met = true;
    if (o.list("parts").contains("first"))
        met &= firstPictures(o, logDir, files);
    if (o.list("parts").contains("window"))
        met &= windowOpens(o, logDir, files);
    return met ? 0 : 1;
}

} // namespace

// The main window opens FILE as the file list does; its longest stall from
// the call to 1 s after the picture (then over opening NEXT_FILE while the
// first one's GPS pass still reads), then until the GPS track arrives.
int childWindowOpen(const QStringList &args)
{
    MainWindow window;
    MyFrame *frame = showMainWindow(window, false);
    if (!frame)
        return 2;
    quint64 serial = 0; // the open whose GPS track is awaited
    bool called = false, painted = false, returned = false, gpsArrived = false;
    Clock::time_point paintedAt, openStart, openReturned, gpsAt;
    PaintWatch watch(frame); // the first paint of a picture of this open
    watch.onPainted = [&](const QImage &image) {
        if (!painted && called && image.text("serial").toULongLong() == window.session()->serial())
            painted = true, paintedAt = Clock::now();
    };
    Heartbeat beat(kTickMs);
    beat.onTick = [&] {
        if (!gpsArrived && returned && window.gpsData().track && window.gpsData().serial == serial)
            gpsArrived = true, gpsAt = Clock::now();
    };
    const auto open = [&](const QString &file, const QString &key) {
        called = painted = returned = false;
        QTimer::singleShot(0, [&, file] {
            called = true;
            openStart = Clock::now();
            window.slotOpenRecording(file, true);
            openReturned = Clock::now();
            serial = window.session()->serial();
            returned = true;
        });
        if (!spinUntil([&] { return returned && painted; }, kPictureTimeoutMs)) {
            childError("no picture painted (the open %1)"_s.arg(returned ? "returned" : "is still waiting"), 3);
            return false;
        }
        spinFor(kAfterPictureMs);
        result({{key + "_paint_ms", fixed(msBetween(openStart, paintedAt), 1)},
                {key + "_returned_ms", fixed(msBetween(openStart, openReturned), 1)},
                {key + "_stall_ms", fixed(beat.longestMs(), 1)},
                {key + "_gaps", beat.gaps(openStart)}});
        beat.restart();
        return true;
    };
    spinFor(kBeforeOpenMs);
    result({{"before_stall_ms", fixed(beat.longestMs(), 1)}});
    beat.restart();
    if (!open(args.value(0), "open") || (args.size() > 2 && !open(args[2], "next")))
        return 3;
    result({{"window", sizeText(window.size())},
            {"surface", sizeText(frame->size())},
            {"picture", sizeText(frame->image().size())}});
    spinUntil([&] { return gpsArrived; }, int(args.value(1).toDouble() * 1000.0));
    const GpsData &gps = window.gpsData();
    result({{"gps_s", fixed(gpsArrived ? msBetween(openStart, gpsAt) / 1e3 : -1.0, 2)},
            {"until_gps_stall_ms", fixed(beat.longestMs(), 1)},
            {"gps_records", QString::number(gpsArrived ? gps.track->count() : -1)},
            {"gps_valid", QString::number(gpsArrived && gps.track->valid)}});
    const Clock::time_point stopStart = Clock::now();
    window.session()->stop();
    result({{"stop_ms", fixed(msSince(stopStart), 1)}});
    return 0;
}

const Scenario kOpen{"open",
                     "first picture of long TS files against mpv; the window's stalls through a throttled card",
                     "gps_pass",
                     {{"reps", "10", "timed opens per process"},
                      {"rounds", "2", "processes per file and player"},
                      {"card-rate", "40M", "bytes per second of the throttled card"},
                      {"parts", "first,window", "first (hot-cache first picture), window (the window through the card)"}},
                     run,
                     Display::X};

} // namespace bench
