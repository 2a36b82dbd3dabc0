// velmora_bench_playback: plays three dash-camera-like recordings (1080p30
// H.264 with B-frames, 1080p60 H.264, 2160p30 HEVC; noisy moving picture,
// AAC 48 kHz stereo) from open to natural end with the engine in a
// 1280x720 window, with mpv and with ffplay, and reads each player's CPU
// time, wall time, peak memory and dropped pictures; then times the engine's
// first picture after openFile and its paused seeks (mpv's exact seeks for
// comparison), its cost while paused and stopped (mpv's alongside) and how
// evenly it paints. Floors measured alongside: decoding + conversion as fast
// as possible, the open sequence step by step, the decoding of a seek alone.
// Every figure printed is measured in this run. Meant to run under xvfb-run
// (see run.sh and bench/README.md).

#include "children.h"
#include "enginewindow.h"
#include "playback.h"
#include "telemetry.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSysInfo>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
}

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

using namespace bench;

namespace {

constexpr double kFirstFrameTargetMs = 100.0;
constexpr double kLateShareTarget = 0.01; // pictures painted over a period late, share of those painted
constexpr double kIdleTarget = 0.001;     // CPU s per wall s paused or stopped

int childMain(int argc, char **argv)
{
    const std::string mode = argc > 2 ? argv[2] : "";
    if ((mode == "play" || mode == "pace") && argc > 3)
        return runEnginePlay(argc, argv, argv[3], mode == "pace");
    if (mode == "first-frame" && argc > 4)
        return runFirstPictureChild(argc, argv, argv[3], std::atoi(argv[4]));
    if (mode == "seek" && argc > 4)
        return runEngineSeeks(argc, argv, argv[3], argv[4]);
    if (mode == "idle" && argc > 5)
        return runEngineIdle(argc, argv, argv[3], std::atoi(argv[4]), std::atoi(argv[5]));
    if (mode == "telemetry" && argc > 7)
        return runTelemetryWindow(argc, argv, argv[3], std::atoi(argv[4]), std::atoi(argv[5]), std::atoi(argv[6]),
                                  std::strcmp(argv[7], "map") == 0);
    if (mode == "screen")
        return runScreenRect(argc, argv);
    if (mode == "floor" && argc > 4)
        return runDecodeFloor(argv[3], argv[4], 0);
    if (mode == "open-steps" && argc > 4)
        return runOpenSteps(argv[3], std::atoi(argv[4]));
    if (mode == "seek-floor" && argc > 4)
        return runSeekFloor(argv[3], argv[4]);
    if (mode == "convert" && argc > 4)
        return runConvertCost(argv[3], std::atoi(argv[4]));
    std::fprintf(stderr, "unknown child mode\n");
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--child") == 0)
        return childMain(argc, argv);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velmora_bench_playback"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Plays 1080p30/1080p60/2160p30 recordings to their end with the engine, mpv and ffplay and compares "
        "CPU, wall time, dropped pictures and memory; times the engine's first picture and paused seeks, its idle cost "
        "and pacing. "
        "Run under xvfb-run (bench/playback/run.sh)."));
    parser.addHelpOption();
    const QCommandLineOption dirOpt(QStringLiteral("dir"), QStringLiteral("Scratch folder for the recordings and logs."),
                                    QStringLiteral("path"), QStringLiteral("/tmp/velmora_bench_playback"));
    const QCommandLineOption filesOpt(QStringLiteral("files"), QStringLiteral("Recordings: 1080p30,1080p60,2160p30 and 1080p60-nosound (its pictures alone)."),
                                      QStringLiteral("list"), QStringLiteral("1080p30,1080p60,2160p30"));
    const QCommandLineOption playersOpt(QStringLiteral("players"),
                                        QStringLiteral("Players: ours,mpv,ffplay,floor (floor: decoding + conversion alone, and the decoding of the seeks alone)."),
                                        QStringLiteral("list"), QStringLiteral("ours,mpv,ffplay,floor"));
    const QCommandLineOption scalersOpt(QStringLiteral("floor-scalers"),
                                        QStringLiteral("swscale flags for the floor: bicubic (the engine's), bilinear, "
                                                       "fast_bilinear, point, none."),
                                        QStringLiteral("list"), QStringLiteral("none,bicubic,bilinear,fast_bilinear"));
    const QCommandLineOption seeksOpt(QStringLiteral("seeks"), QStringLiteral("Paused seeks per file (0: none)."),
                                      QStringLiteral("n"), QStringLiteral("10"));
    const QCommandLineOption seedOpt(QStringLiteral("seed"), QStringLiteral("Seed of the seek positions."),
                                     QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption firstOpt(QStringLiteral("first-frame-reps"),
                                      QStringLiteral("Opens of each file timed for the first picture (0: none)."),
                                      QStringLiteral("n"), QStringLiteral("10"));
    const QCommandLineOption partsOpt(QStringLiteral("parts"),
                                      QStringLiteral("What to measure: play (to the end, every player), first (the "
                                                     "engine's first picture), seek (paused seeks), idle (CPU paused and "
                                                     "stopped, ours and mpv), pace (the engine's pacing against the sound clock), "
                                                     "telemetry (1080p30 with a GPS track: the bare engine against the main window)."),
                                      QStringLiteral("list"), QStringLiteral("play,first,seek"));
    const QCommandLineOption idleOpt(QStringLiteral("idle-seconds"), QStringLiteral("Length of each idle window."),
                                     QStringLiteral("s"), QStringLiteral("10"));
    const QCommandLineOption repsOpt(QStringLiteral("reps"),
                                     QStringLiteral("Plays per player and file, interleaved; the median by CPU is shown."),
                                     QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption surfaceOpt(QStringLiteral("telemetry-surface"),
                                        QStringLiteral("The main window's video surface for --parts telemetry: WxH, or form "
                                                       "(the form's 1280x800 window)."),
                                        QStringLiteral("size"), QStringLiteral("1280x720"));
    const QCommandLineOption noMapOpt(QStringLiteral("telemetry-without-map"),
                                      QStringLiteral("--parts telemetry: the main window also plays without its map page."));
    const QCommandLineOption regenOpt(QStringLiteral("regenerate"), QStringLiteral("Encode the recordings again."));
    const QCommandLineOption genOnlyOpt(QStringLiteral("generate-only"), QStringLiteral("Only make the recordings."));
    parser.addOptions({dirOpt, filesOpt, playersOpt, partsOpt, scalersOpt, seeksOpt, seedOpt, firstOpt, repsOpt, regenOpt,
                       genOnlyOpt, idleOpt, surfaceOpt, noMapOpt});
    parser.process(app);

    Setup s;
    s.dir = parser.value(dirOpt);
    s.self = QCoreApplication::applicationFilePath();
    s.seeks = parser.value(seeksOpt).toInt();
    s.seed = parser.value(seedOpt).toUInt();
    s.firstFrameReps = parser.value(firstOpt).toInt();
    s.reps = std::max(1, parser.value(repsOpt).toInt());
    s.idleMs = int(parser.value(idleOpt).toDouble() * 1000.0);
    s.floorScalers = parser.value(scalersOpt).split(QLatin1Char(','), Qt::SkipEmptyParts);
    const QStringList wantedFiles = parser.value(filesOpt).split(QLatin1Char(','), Qt::SkipEmptyParts);
    const QStringList players = parser.value(playersOpt).split(QLatin1Char(','), Qt::SkipEmptyParts);
    const QStringList parts = parser.value(partsOpt).split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString &p : parts) {
        if (!QStringList{QStringLiteral("play"), QStringLiteral("first"), QStringLiteral("seek"), QStringLiteral("idle"),
                         QStringLiteral("pace"), QStringLiteral("telemetry")}.contains(p)) {
            out() << "unknown part " << p << "\n";
            return 2;
        }
    }
    if (!parts.contains(QStringLiteral("first")))
        s.firstFrameReps = 0;
    if (!parts.contains(QStringLiteral("seek")))
        s.seeks = 0;
    const bool doPlay = parts.contains(QStringLiteral("play"));
    const bool doIdle = parts.contains(QStringLiteral("idle"));
    const bool doPace = parts.contains(QStringLiteral("pace"));
    const bool doTelemetry = parts.contains(QStringLiteral("telemetry"));
    for (const QString &p : players) {
        if (!QStringList{QStringLiteral("ours"), QStringLiteral("mpv"), QStringLiteral("ffplay"), QStringLiteral("floor")}.contains(p)) {
            out() << "unknown player " << p << "\n";
            return 2;
        }
    }
    std::vector<Recording> chosen;
    for (const QString &key : wantedFiles) {
        const Recording *r = findRecording(key);
        if (!r) {
            out() << "unknown recording " << key << "\n";
            return 2;
        }
        chosen.push_back(*r);
    }
    if (parts == QStringList{QStringLiteral("telemetry")})
        chosen.clear(); // its own recording only
    if (!QDir().mkpath(s.dir)) {
        out() << "cannot create " << s.dir << "\n";
        return 2;
    }
    s.logDir = QDir(s.dir).filePath(QStringLiteral("logs"));
    QDir().mkpath(s.logDir);
    av_log_set_level(AV_LOG_ERROR);
    const pid_t xServer = findXServer();
    watchXServer(xServer);

    const bool needDisplay = !parser.isSet(genOnlyOpt)
                             && (players.contains(QStringLiteral("ours")) || players.contains(QStringLiteral("mpv"))
                                 || players.contains(QStringLiteral("ffplay")) || s.seeks > 0 || s.firstFrameReps > 0 || doIdle || doPace
                                 || doTelemetry);
    if (needDisplay && qEnvironmentVariableIsEmpty("DISPLAY")) {
        out() << "no DISPLAY: run under xvfb-run (bench/playback/run.sh)\n";
        return 2;
    }

    out() << "velmora_bench_playback, " << QDateTime::currentDateTime().toString(Qt::ISODate) << ", "
          << std::thread::hardware_concurrency() << " cores, " << QSysInfo::prettyProductName() << ", kernel "
          << QSysInfo::kernelVersion() << ", libavcodec " << LIBAVCODEC_IDENT << "\n";
    out() << "X server: " << (xServer ? QStringLiteral("pid %1").arg(xServer) : QStringLiteral("not found")) << "\n";
    out() << "scratch folder " << s.dir << " (child logs in " << s.logDir << "); load average " << loadAverage() << "\n";
    out() << "recordings:" << Qt::endl;
    for (const Recording &r : chosen)
        if (!generate(s.dir, s.logDir, r, parser.isSet(regenOpt)))
            return 1;
    if (parser.isSet(genOnlyOpt))
        return 0;

    bool allMet = true;
    QStringList verdicts;
    std::vector<FileSummary> summaries;
    QString firstPictureKey; // the 1080p file the target is judged on
    FirstPicture firstPictureTarget;
    std::vector<std::pair<QString, FirstPicture>> firstPictureOthers;
    struct SeekPair
    {
        QString key;
        SeekTimes ours;
        SeekTimes mpv;
        bool haveOurs = false;
        bool haveMpv = false;
    };
    std::vector<SeekPair> seekResults;

    for (const Recording &r : chosen) {
        const QString file = recordingPath(s.dir, r);
        FileSummary f;
        f.key = r.key;
        f.media = probe(file);
        const MediaInfo &m = f.media;
        if (!m.ok) {
            out() << r.key << ": cannot read " << file << "\n";
            return 1;
        }
        out() << "\n== " << r.key << ": " << QFileInfo(file).fileName() << "\n   " << m.width << "x" << m.height << " "
              << fixed(m.fps, 2) << " fps " << m.videoCodec << " " << m.profile << " (" << r.codec << " " << encoderPreset()
              << ", key frame every " << r.fps << " pictures, reorder delay " << m.videoDelay << " pictures), "
              << fixed(m.videoMbps, 2) << " Mbit/s video, " << m.audio << ", " << fixed(m.duration, 3) << " s, "
              << m.frames << " pictures, " << m.bytes << " bytes\n";
        out() << "   load average before: " << loadAverage() << Qt::endl;

        // Interleaved: with --reps, drift in the machine's other load hits every player alike.
        std::vector<PlayResult> oursPlays, mpvPlays, ffplayPlays;
        for (int rep = 0; doPlay && rep < s.reps; ++rep) {
            const QString pass = s.reps > 1 ? QStringLiteral(" (%1/%2)").arg(rep + 1).arg(s.reps) : QString();
            if (players.contains(QStringLiteral("ours"))) {
                out() << "   playing with ours" << pass << " ..." << Qt::endl;
                oursPlays.push_back(playEngine(s, r, file, m));
            }
            if (players.contains(QStringLiteral("mpv"))) {
                out() << "   playing with mpv" << pass << " ..." << Qt::endl;
                mpvPlays.push_back(playMpv(s, r, file, m));
            }
            if (players.contains(QStringLiteral("ffplay"))) {
                out() << "   playing with ffplay" << pass << " ..." << Qt::endl;
                ffplayPlays.push_back(playFfplay(s, r, file, m));
            }
        }
        if (!oursPlays.empty())
            f.ours = medianPlay(oursPlays, m.duration);
        if (!mpvPlays.empty())
            f.mpv = medianPlay(mpvPlays, m.duration);
        if (!ffplayPlays.empty())
            f.ffplay = medianPlay(ffplayPlays, m.duration);
        if (doPlay && players.contains(QStringLiteral("floor"))) {
            for (const QString &scaler : s.floorScalers) {
                out() << "   decoding floor (" << scaler << ") ..." << Qt::endl;
                f.floors.push_back(decodeFloor(s, r, file, m, scaler));
            }
            out() << "   conversion alone ..." << Qt::endl;
            const ChildRun conv = runChild({s.self, QStringLiteral("--child"), QStringLiteral("convert"), file,
                                            QStringLiteral("24")},
                                           {}, QDir(s.logDir).filePath(r.key + QStringLiteral("_convert")), 300.0);
            f.convert = mergedResults(conv.stdoutText);
        }
        if (doPlay)
            printPlayTable(f);

        if (s.firstFrameReps > 0 && players.contains(QStringLiteral("ours"))) {
            out() << "\n  first picture: " << s.firstFrameReps << " opens of " << r.key << " in one process ..." << Qt::endl;
            const FirstPicture fp = firstPicture(s, r, file);
            printFirstPicture(fp);
            if (!firstPictureKey.isEmpty() || !r.key.startsWith(QLatin1String("1080p")))
                firstPictureOthers.push_back({r.key, fp});
            else {
                firstPictureKey = r.key;
                firstPictureTarget = fp;
            }
        }

        if (s.seeks > 0 && (players.contains(QStringLiteral("ours")) || players.contains(QStringLiteral("mpv")))) {
            const std::vector<qint64> positions = seekPositions(m, s.seeks, s.seed);
            QStringList shown;
            for (qint64 p : positions)
                shown << fixed(double(p) / 1e6, 3);
            out() << "\n  paused seeks to " << shown.join(QStringLiteral(" ")) << " s ..." << Qt::endl;
            SeekPair pair;
            pair.key = r.key;
            if (players.contains(QStringLiteral("ours"))) {
                pair.ours = engineSeeks(s, r, file, positions);
                pair.haveOurs = true;
                printSeeks(QStringLiteral("ours"), pair.ours);
            }
            if (players.contains(QStringLiteral("mpv"))) {
                pair.mpv = mpvSeeks(s, r, file, positions);
                pair.haveMpv = true;
                printSeeks(QStringLiteral("mpv"), pair.mpv);
            }
            if (players.contains(QStringLiteral("floor"))) {
                const SeekFloor sf = seekFloor(s, r, file, positions);
                if (!sf.plain.empty())
                    out() << "    floor  decoding alone, key frame to the picture for t: mean " << fixed(sf.plain.mean(), 1)
                          << " ms, median " << fixed(sf.plain.median(), 1) << " (" << sf.pictures
                          << " pictures out of the decoder); non-reference pictures before t skipped: mean "
                          << fixed(sf.skipping.mean(), 1) << " ms, median " << fixed(sf.skipping.median(), 1) << " ("
                          << sf.picturesSkipping << " pictures)" << sf.note << "\n";
                else
                    out() << "    floor  failed:" << sf.note << "\n";
            }
            if (pair.haveOurs && pair.haveMpv && pair.ours.count > 0 && pair.mpv.count > 0)
                out() << "    ours (delivered) / mpv: mean " << fixed(pair.ours.delivered.mean() / pair.mpv.delivered.mean(), 2)
                      << ", median " << fixed(pair.ours.delivered.median() / pair.mpv.delivered.median(), 2) << "\n";
            seekResults.push_back(pair);
        }
        if (doPace && players.contains(QStringLiteral("ours"))) {
            out() << "\n  pacing: ours plays " << r.key << " again, noting every buffer the sound device takes ..." << Qt::endl;
            const PlayResult paced = playEngine(s, r, file, m, true);
            printPacingReport(r.key, paced);
            if (paced.ok) {
                const auto &x = paced.extra;
                const double pictures = std::max(1.0, x.value(QStringLiteral("pictures_timed")).toDouble());
                const bool sound = x.value(QStringLiteral("sound_steps")) != QLatin1String("0");
                const double line = x.value(QStringLiteral("paint_late_over_period")).toDouble() / pictures;
                const double clock = sound ? x.value(QStringLiteral("vs_clock_late")).toDouble()
                                                 / std::max(1.0, x.value(QStringLiteral("vs_clock_pictures")).toDouble())
                                           : line;
                const bool met = clock <= kLateShareTarget;
                allMet &= met;
                verdicts << QStringLiteral("%1 pictures painted over a period late: %2 % against the playback clock <= %3 %: %4 "
                                           "(against a straight line: %5 %)")
                                .arg(r.key, fixed(100.0 * clock, 2), fixed(100.0 * kLateShareTarget, 0),
                                     met ? QStringLiteral("met") : QStringLiteral("MISSED"), fixed(100.0 * line, 2));
            }
        }
        if (doIdle) {
            out() << "\n  idle cost: " << fixed(s.idlePlayMs / 1000.0, 0) << " s played, then " << fixed(s.idleMs / 1000.0, 0)
                  << " s paused and " << fixed(s.idleMs / 1000.0, 0) << " s stopped (window open), CPU of the whole process ..."
                  << Qt::endl;
            IdleCost ours, mpv;
            if (players.contains(QStringLiteral("ours")))
                ours = engineIdle(s, r, file);
            if (players.contains(QStringLiteral("mpv")))
                mpv = mpvIdle(s, r, file);
            printIdle(ours, mpv);
            if (ours.ok) {
                const bool met = ours.paused <= kIdleTarget && ours.stopped <= kIdleTarget;
                allMet &= met;
                verdicts << QStringLiteral("%1 idle CPU s per s, paused %2 and stopped %3 <= %4: %5 (mpv paused %6, stopped %7)")
                                .arg(r.key, fixed(ours.paused, 5), fixed(ours.stopped, 5), fixed(kIdleTarget, 3),
                                     met ? QStringLiteral("met") : QStringLiteral("MISSED"), fixed(mpv.paused, 5),
                                     fixed(mpv.stopped, 5));
            }
        }
        out() << "   load average after: " << loadAverage() << Qt::endl;
        summaries.push_back(f);
    }

    if (doTelemetry)
        allMet &= runTelemetryPart(s, parser.isSet(regenOpt), parser.value(surfaceOpt), parser.isSet(noMapOpt), verdicts);

    // --- Targets --------------------------------------------------------------------
    out() << "\n== Summary" << (doPlay ? " (CPU s per media s; ratios of ours to each anchor)" : "") << "\n";
    if (doPlay) {
        out() << "  " << pad(QStringLiteral("file"), 9, false) << pad(QStringLiteral("ours"), 8) << pad(QStringLiteral("mpv"), 8)
              << pad(QStringLiteral("ffplay"), 8) << pad(QStringLiteral("floor*"), 8) << pad(QStringLiteral("ours/mpv"), 10)
              << pad(QStringLiteral("ours/ffplay"), 13) << pad(QStringLiteral("ours/floor"), 12)
              << "   dropped ours/mpv/ffplay (most in one play)\n";
    }
    if (doPlay)
        verdicts.prepend(QStringLiteral("(floor* = decoding + bicubic conversion to 1280x720, as fast as possible, as the engine converts)"));
    for (const FileSummary &f : summaries) {
        if (!doPlay)
            break;
        auto cpu = [&](const std::optional<PlayResult> &p) {
            return p && p->ok ? fixed(cpuPerMedia(*p, f.media), 3) : QStringLiteral("-");
        };
        // The floor that converts as the engine does.
        const PlayResult *floor = nullptr;
        for (const PlayResult &p : f.floors)
            if (p.ok && (p.player == QLatin1String("floor:bicubic") || !floor))
                floor = &p;
        auto ratio = [&](const PlayResult *anchor) {
            return f.ours && f.ours->ok && anchor && anchor->ok ? fixed(f.ours->run.cpuS() / anchor->run.cpuS(), 2)
                                                                 : QStringLiteral("-");
        };
        auto drops = [&](const std::optional<PlayResult> &p) {
            return p && p->ok ? QString::number(p->maxDropped >= 0 ? p->maxDropped : p->dropped) : QStringLiteral("-");
        };
        out() << "  " << pad(f.key, 9, false) << pad(cpu(f.ours), 8) << pad(cpu(f.mpv), 8) << pad(cpu(f.ffplay), 8)
              << pad(floor ? fixed(cpuPerMedia(*floor, f.media), 3) : QStringLiteral("-"), 8)
              << pad(ratio(f.mpv ? &*f.mpv : nullptr), 10) << pad(ratio(f.ffplay ? &*f.ffplay : nullptr), 13)
              << pad(ratio(floor), 12) << "   " << drops(f.ours) << "/" << drops(f.mpv) << "/" << drops(f.ffplay) << "\n";
        if (f.ours) {
            const bool rt = realTime(*f.ours, f.media);
            allMet &= rt;
            verdicts << QStringLiteral("%1 real time with 0 dropped (wall/media <= %2): %3")
                            .arg(f.key, fixed(kRealTimeSlack, 2), rt ? QStringLiteral("met") : QStringLiteral("MISSED"));
            if (f.mpv && f.mpv->ok && f.ours->ok) {
                const double ratioMpv = f.ours->run.cpuS() / f.mpv->run.cpuS();
                allMet &= ratioMpv <= 1.0;
                verdicts << QStringLiteral("%1 CPU ours/mpv %2 <= 1.0: %3")
                                .arg(f.key, fixed(ratioMpv, 2), ratioMpv <= 1.0 ? QStringLiteral("met") : QStringLiteral("MISSED"));
            }
        }
    }
    if (!firstPictureTarget.paint.empty()) {
        const FirstPicture &fp = firstPictureTarget;
        const bool met = fp.coldMs <= kFirstFrameTargetMs && fp.paint.max() <= kFirstFrameTargetMs;
        allMet &= met;
        verdicts << QStringLiteral("%1 first picture painted <= %2 ms (every open; median %3 ms, process's first %4 ms, max %5 ms): %6")
                        .arg(firstPictureKey)
                        .arg(kFirstFrameTargetMs, 0, 'f', 0)
                        .arg(fixed(fp.paint.median(), 1), fixed(fp.coldMs, 1), fixed(fp.paint.max(), 1),
                             met ? QStringLiteral("met") : QStringLiteral("MISSED"));
    }
    for (const auto &other : firstPictureOthers)
        if (!other.second.paint.empty())
            verdicts << QStringLiteral("%1 first picture painted: median %2 ms, max %3 ms (no target)")
                            .arg(other.first, fixed(other.second.paint.median(), 1), fixed(other.second.paint.max(), 1));
    for (const SeekPair &p : seekResults) {
        if (p.haveOurs && p.haveMpv && p.ours.count > 0 && p.mpv.count > 0) {
            const double ratio = p.ours.delivered.mean() / p.mpv.delivered.mean();
            verdicts << QStringLiteral("%1 paused seek, mean: ours %2 ms (painted %3 ms) vs mpv exact %4 ms (ours/mpv %5)%6")
                            .arg(p.key, fixed(p.ours.delivered.mean(), 1), fixed(p.ours.painted.mean(), 1),
                                 fixed(p.mpv.delivered.mean(), 1), fixed(ratio, 2),
                                 p.ours.exact == p.ours.count ? QString() : QStringLiteral(" WRONG PICTURES"));
        }
    }
    for (const QString &v : verdicts)
        out() << "  " << v << "\n";
    out() << "  load average at the end: " << loadAverage() << "\n";
    return allMet ? 0 : 1;
}
