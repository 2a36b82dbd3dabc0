// velmora_bench_open: opening long transport streams. Times the engine's
// first picture on a 1-minute and a 30-minute 1080p TS with a PID 0x300 GPS
// stream (hot page cache; mpv's first picture on the same files alongside),
// then opens the 30-minute one through the real main window while its reads
// are paced like a slow card, and reports the GUI thread's longest stall
// and when the GPS track arrived. Every figure printed is measured in this
// run. Meant to run under xvfb-run (see run.sh and bench/README.md).

#include "benchtext.h"
#include "childprocess.h"
#include "children.h"
#include "enginewindow.h"
#include "longrecording.h"
#include "mpv.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>

#include <cstdlib>
#include <cstring>
#include <thread>

#include <signal.h>
#include <unistd.h>

using namespace bench;

#ifndef VELMORA_THROTTLE_LIBRARY
#define VELMORA_THROTTLE_LIBRARY "libvelmora_bench_throttle.so"
#endif

namespace {

constexpr double kRatioTarget = 1.2;       // first picture, 30-minute TS over 1-minute TS
constexpr double kStallTargetMs = 100.0;   // the GUI thread's longest stall while opening
constexpr int kIpcTimeoutMs = 60000;       // mpv through the throttled card included
constexpr int kSettleMs = 300;             // idle time between timed opens
constexpr qint64 kWarmChunk = 4 << 20;     // bytes per read() when warming the page cache
constexpr double kChildTimeoutS = 600.0;

struct Setup
{
    QString self;
    QString logDir;
    int reps = 10;
    int rounds = 2;
    double throttleBytesPerS = 40e6;
    double gpsWaitS = 180.0;
    bool withMpv = true;
};

// One read of the whole file: every timed open then finds it in the page cache.
void warm(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    QByteArray chunk(int(kWarmChunk), Qt::Uninitialized);
    while (file.read(chunk.data(), chunk.size()) > 0) {
    }
}

// The recordings' folder is the card: every file read from it is paced.
QMap<QString, QString> throttleEnv(const Setup &s, const QString &file)
{
    return {{QStringLiteral("LD_PRELOAD"), QStringLiteral(VELMORA_THROTTLE_LIBRARY)},
            {QStringLiteral("VELMORA_THROTTLE_MATCH"), QFileInfo(file).absolutePath() + QLatin1Char('/')},
            {QStringLiteral("VELMORA_THROTTLE_BYTES_PER_S"), QString::number(s.throttleBytesPerS, 'f', 0)}};
}

const QMap<QString, QString> kEngineEnv{{QStringLiteral("SDL_AUDIODRIVER"), QStringLiteral("dummy")}};

struct Opens
{
    Stats first; // each process's first open, ms
    Stats rest;  // the other opens, ms
    QStringList notes;
    void add(const Opens &o)
    {
        first.values.insert(first.values.end(), o.first.values.begin(), o.first.values.end());
        rest.values.insert(rest.values.end(), o.rest.values.begin(), o.rest.values.end());
        notes << o.notes;
    }
};

// The engine in its bench window: openFile to the first painted picture.
Opens engineOpens(const Setup &s, const QString &file, const QString &logName)
{
    Opens o;
    const ChildRun run = runChild({s.self, QStringLiteral("--child"), QStringLiteral("first"), file, QString::number(s.reps)},
                                  kEngineEnv, QDir(s.logDir).filePath(logName), kChildTimeoutS);
    const auto lines = resultLines(run.stdoutText);
    for (size_t i = 0; i < lines.size(); ++i)
        (i == 0 ? o.first : o.rest).add(lines[i].value(QStringLiteral("first_paint_ms")).toDouble());
    if (run.exitCode != 0)
        o.notes << errorLines(run);
    return o;
}

// mpv idle with its window open, paused: "loadfile" to the
// "playback-restart" event, which mpv sends once the first picture is on
// its video output; "stop" in between.
Opens mpvOpens(const Setup &s, const QString &file, const QString &logName, const QMap<QString, QString> &env)
{
    Opens o;
    const QString socket = QDir(s.logDir).filePath(QStringLiteral("mpv-%1.sock").arg(getpid()));
    QFile::remove(socket);
    QStringList args = mpvBaseArgs();
    args << QStringLiteral("--idle=yes") << QStringLiteral("--force-window=yes") << QStringLiteral("--pause")
         << QStringLiteral("--input-ipc-server=") + socket;
    const pid_t pid = startChild(args, env, QDir(s.logDir).filePath(logName));
    MpvIpc ipc;
    if (!pid || !ipc.connectTo(socket, kIpcTimeoutMs)) {
        o.notes << QStringLiteral("mpv did not start");
        endChild(pid, SIGKILL);
        return o;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(kSettleMs));
    for (int i = 0; i < s.reps; ++i) {
        const Clock::time_point start = Clock::now();
        ipc.send({QStringLiteral("loadfile"), file}, ipc.nextId());
        if (!ipc.waitFor([](const QJsonObject &m) { return isMpvEvent(m, "playback-restart"); }, kIpcTimeoutMs)) {
            o.notes << QStringLiteral("mpv: no playback-restart");
            break;
        }
        (i == 0 ? o.first : o.rest).add(msBetween(start, Clock::now()));
        ipc.send({QStringLiteral("stop")}, ipc.nextId());
        ipc.waitFor([](const QJsonObject &m) { return isMpvEvent(m, "end-file"); }, kIpcTimeoutMs);
        std::this_thread::sleep_for(std::chrono::milliseconds(kSettleMs));
    }
    ipc.send({QStringLiteral("quit")}, ipc.nextId());
    endChild(pid, 0);
    QFile::remove(socket);
    return o;
}

QString opensText(const Opens &o)
{
    if (o.rest.empty() && o.first.empty())
        return QStringLiteral("failed: ") + o.notes.join(QStringLiteral("; "));
    QString text = QStringLiteral("median %1 ms, min %2, max %3 (%4 opens); each process's first open: %5 ms")
                       .arg(fixed(o.rest.median(), 1), fixed(o.rest.min(), 1), fixed(o.rest.max(), 1))
                       .arg(o.rest.size());
    QStringList firsts;
    for (double v : o.first.values)
        firsts << fixed(v, 1);
    text = text.arg(firsts.join(QStringLiteral(", ")));
    if (!o.notes.isEmpty())
        text += QStringLiteral(" [") + o.notes.join(QStringLiteral("; ")) + QLatin1Char(']');
    return text;
}

struct WindowOpen
{
    bool ok = false;
    QMap<QString, QString> v;
    QString note;
    double value(const char *key) const { return v.value(QLatin1String(key)).toDouble(); }
};

WindowOpen windowOpen(const Setup &s, const QString &file, const QString &logName, bool throttled,
                      const QString &switchTo = QString())
{
    WindowOpen w;
    QMap<QString, QString> env = kEngineEnv;
    if (throttled)
        env.insert(throttleEnv(s, file));
    QStringList args{s.self, QStringLiteral("--child"), QStringLiteral("window"), file, QString::number(s.gpsWaitS)};
    if (!switchTo.isEmpty())
        args << switchTo;
    const ChildRun run = runChild(args, env, QDir(s.logDir).filePath(logName), 2 * s.gpsWaitS + kChildTimeoutS);
    w.v = mergedResults(run.stdoutText);
    w.ok = run.exitCode == 0 && w.v.contains(QStringLiteral("gap_open_ms"));
    if (!w.ok)
        w.note = QStringLiteral("exit %1: %2").arg(run.exitCode).arg(errorLines(run));
    return w;
}

void printWindowOpen(const QString &what, const WindowOpen &w)
{
    if (!w.ok) {
        out() << "  " << what << ": failed, " << w.note << "\n";
        return;
    }
    const auto gaps = [&](const char *key) {
        const QString list = w.v.value(QLatin1String(key));
        return list == QLatin1String("none") ? QString() : QStringLiteral("; all over 20 ms (length@end, ms): ") + list;
    };
    out() << "  " << what << ": first picture painted " << fixed(w.value("first_paint_ms"), 1)
          << " ms after slotOpenRecording (it returned after " << fixed(w.value("open_returned_ms"), 1) << " ms; window "
          << w.v.value(QStringLiteral("window")) << ", video surface " << w.v.value(QStringLiteral("surface")) << ", picture "
          << w.v.value(QStringLiteral("picture")) << ")\n"
          << "    longest GUI stall (2 ms timer) from the open to 1 s after the picture: " << fixed(w.value("gap_open_ms"), 1)
          << " ms, ending " << fixed(w.value("gap_open_at_ms"), 1) << " ms after the open (" << w.v.value(QStringLiteral("ticks_open"))
          << " ticks; before the open " << fixed(w.value("gap_before_ms"), 1) << " ms)" << gaps("gaps_open") << "\n";
    if (w.v.contains(QStringLiteral("switch_paint_ms")))
        out() << "    then the next file (1-minute TS) opened the same way: slotOpenRecording returned after "
              << fixed(w.value("switch_returned_ms"), 1) << " ms, its first picture painted after "
              << fixed(w.value("switch_paint_ms"), 1) << " ms; longest GUI stall " << fixed(w.value("gap_switch_ms"), 1) << " ms"
              << gaps("gaps_switch") << "\n";
    if (w.v.value(QStringLiteral("gps_arrived")) == QLatin1String("1"))
        out() << "    GPS track of the " << (w.v.value(QStringLiteral("gps_file")) == QLatin1String("first") ? "file" : "next file")
              << " in the window " << fixed(w.value("gps_ms") / 1000.0, 2) << " s after its open ("
              << w.v.value(QStringLiteral("gps_count")) << " records, valid " << w.v.value(QStringLiteral("gps_valid"))
              << ")" << (w.value("gap_gps_ms") < 0 ? QStringLiteral(", before the watch after the picture ended")
                                                   : QStringLiteral("; longest GUI stall meanwhile %1 ms").arg(fixed(w.value("gap_gps_ms"), 1)))
              << "\n";
    else
        out() << "    GPS track: not in the window within --gps-wait\n";
    out() << "    stop() at the end took " << fixed(w.value("stop_ms"), 1) << " ms\n";
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 3 && std::strcmp(argv[1], "--child") == 0) {
        if (!std::strcmp(argv[2], "first") && argc > 4)
            return runFirstPictureChild(argc, argv, argv[3], std::atoi(argv[4]));
        if (!std::strcmp(argv[2], "window") && argc > 4)
            return runWindowOpen(argc, argv, argv[3], std::atof(argv[4]), argc > 5 ? argv[5] : nullptr);
        std::fprintf(stderr, "unknown child mode\n");
        return 2;
    }

    QCoreApplication app(argc, argv);
    quietLogs();
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Opens a 1-minute and a 30-minute 1080p TS with GPS: time to the first picture (mpv alongside) and the "
        "window's longest stall through a throttled card. Run under xvfb-run (bench/open/run.sh)."));
    parser.addHelpOption();
    const QCommandLineOption dirOpt(QStringLiteral("dir"), QStringLiteral("Folder of the recordings (shared with the GPS pass benchmark)."),
                                    QStringLiteral("path"), QStringLiteral("/tmp/velmora_bench_gps_pass"));
    const QCommandLineOption bitrateOpt(QStringLiteral("bitrate"), QStringLiteral("Video bit rate of the recordings."),
                                        QStringLiteral("rate"), QStringLiteral("8M"));
    const QCommandLineOption repsOpt(QStringLiteral("reps"), QStringLiteral("Timed opens per process."), QStringLiteral("n"),
                                     QStringLiteral("10"));
    const QCommandLineOption roundsOpt(QStringLiteral("rounds"), QStringLiteral("Processes per file and player, interleaved."),
                                       QStringLiteral("n"), QStringLiteral("2"));
    const QCommandLineOption rateOpt(QStringLiteral("card-rate"), QStringLiteral("Read rate of the throttled card, bytes per second."),
                                     QStringLiteral("rate"), QStringLiteral("40M"));
    const QCommandLineOption gpsWaitOpt(QStringLiteral("gps-wait"), QStringLiteral("Seconds to wait for the GPS track through the card."),
                                        QStringLiteral("s"), QStringLiteral("180"));
    const QCommandLineOption partsOpt(QStringLiteral("parts"), QStringLiteral("first (hot-cache first picture), window (the window through the card)."),
                                      QStringLiteral("list"), QStringLiteral("first,window"));
    const QCommandLineOption noMpvOpt(QStringLiteral("no-mpv"), QStringLiteral("Leave mpv out."));
    const QCommandLineOption regenOpt(QStringLiteral("regenerate"), QStringLiteral("Write the recordings again."));
    parser.addOptions({dirOpt, bitrateOpt, repsOpt, roundsOpt, rateOpt, gpsWaitOpt, partsOpt, noMpvOpt, regenOpt});
    parser.process(app);

    Setup s;
    s.self = QCoreApplication::applicationFilePath();
    s.reps = std::max(2, parser.value(repsOpt).toInt());
    s.rounds = std::max(1, parser.value(roundsOpt).toInt());
    s.throttleBytesPerS = double(parseRate(parser.value(rateOpt)));
    s.gpsWaitS = parser.value(gpsWaitOpt).toDouble();
    s.withMpv = !parser.isSet(noMpvOpt);
    const QStringList parts = parser.value(partsOpt).split(QLatin1Char(','), Qt::SkipEmptyParts);
    LongRecording shortRec;
    shortRec.dir = parser.value(dirOpt);
    shortRec.bitrate = parseRate(parser.value(bitrateOpt));
    shortRec.seconds = 60;
    shortRec.regenerate = parser.isSet(regenOpt);
    LongRecording longRec = shortRec;
    longRec.seconds = 1800;
    if (shortRec.bitrate <= 0 || s.throttleBytesPerS <= 0 || s.gpsWaitS <= 0) {
        out() << "bad option (see --help)\n";
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        out() << "no DISPLAY: run under xvfb-run (bench/open/run.sh)\n";
        return 2;
    }
    s.logDir = QDir(shortRec.dir).filePath(QStringLiteral("open_logs"));
    QDir().mkpath(s.logDir);

    out() << "velmora_bench_open, " << QDateTime::currentDateTime().toString(Qt::ISODate) << ", "
          << std::thread::hardware_concurrency() << " cores, " << QSysInfo::prettyProductName() << ", kernel "
          << QSysInfo::kernelVersion() << "\nrecordings in " << shortRec.dir << " (child logs in " << s.logDir
          << "); load average " << loadAverage() << Qt::endl;
    const qint64 need = shortRec.bytesNeeded(true, false) + longRec.bytesNeeded(true, false);
    const qint64 space = freeBytes(shortRec.dir);
    if (space >= 0 && need > space) {
        out() << "not enough disk space: " << sizeText(need) << " needed, " << sizeText(space) << " free\n";
        return 1;
    }
    if (!makeLongRecording(shortRec, true, false) || !makeLongRecording(longRec, true, false))
        return 1;
    const QString shortTs = shortRec.tsPath();
    const QString longTs = longRec.tsPath();
    out() << "1-minute TS: " << sizeText(QFileInfo(shortTs).size()) << "\n30-minute TS: " << sizeText(QFileInfo(longTs).size())
          << "\n(1920x1080 30 fps H.264 at " << shortRec.bitrate / 1000 << " kbit/s + AAC, GPS on PID 0x300, payload version "
          << shortRec.gpsVersion << ": the GPS pass reads the whole file)\n" << Qt::endl;

    bool allMet = true;
    if (parts.contains(QStringLiteral("first"))) {
        warm(shortTs);
        warm(longTs);
        out() << "First picture, hot page cache (" << s.rounds << " processes per file and player, interleaved, " << s.reps
              << " opens each; load average " << loadAverage() << ")" << Qt::endl;
        out() << "  ours: engine in a 1280x720 window, openFile to the first picture painted\n"
              << "  mpv : idle with its window, paused; \"loadfile\" to the \"playback-restart\" event (first picture on its video output)"
              << Qt::endl;
        Opens ours[2], mpv[2];
        const QString files[2] = {shortTs, longTs};
        const QString keys[2] = {QStringLiteral("1min"), QStringLiteral("30min")};
        for (int round = 0; round < s.rounds; ++round) {
            for (int f = 0; f < 2; ++f) {
                ours[f].add(engineOpens(s, files[f], QStringLiteral("first_ours_%1_%2").arg(keys[f]).arg(round)));
                if (s.withMpv)
                    mpv[f].add(mpvOpens(s, files[f], QStringLiteral("first_mpv_%1_%2").arg(keys[f]).arg(round), {}));
            }
        }
        for (int f = 0; f < 2; ++f) {
            out() << "  " << pad(keys[f], 5, false) << " ours: " << opensText(ours[f]) << "\n";
            if (s.withMpv)
                out() << "  " << pad(keys[f], 5, false) << " mpv : " << opensText(mpv[f]) << "\n";
        }
        if (!ours[0].rest.empty() && !ours[1].rest.empty()) {
            const double ratio = ours[1].rest.median() / ours[0].rest.median();
            const bool met = ratio <= kRatioTarget;
            allMet &= met;
            out() << "  ours 30min/1min (medians) " << fixed(ratio, 2) << " <= " << fixed(kRatioTarget, 1) << ": "
                  << (met ? "met" : "MISSED") << "; max " << fixed(ours[1].rest.max() / ours[0].rest.max(), 2) << "\n";
        }
        if (s.withMpv && !mpv[0].rest.empty() && !mpv[1].rest.empty())
            out() << "  mpv 30min/1min (medians) " << fixed(mpv[1].rest.median() / mpv[0].rest.median(), 2)
                  << "; ours/mpv on the 30-minute TS " << fixed(ours[1].rest.median() / mpv[1].rest.median(), 2) << "\n";
        out() << "  load average after: " << loadAverage() << "\n" << Qt::endl;
    }

    if (parts.contains(QStringLiteral("window"))) {
        out() << "The main window opening the 30-minute TS (slotOpenRecording(path, true)), GUI heartbeat every 2 ms" << Qt::endl;
        warm(longTs);
        out() << "  load average before: " << loadAverage() << Qt::endl;
        const WindowOpen hot = windowOpen(s, longTs, QStringLiteral("window_hot"), false);
        printWindowOpen(QStringLiteral("hot page cache"), hot);
        const QString cardName = QStringLiteral("card at %1 MB/s").arg(fixed(s.throttleBytesPerS / 1e6, 0));
        const WindowOpen card = windowOpen(s, longTs, QStringLiteral("window_card"), true);
        printWindowOpen(cardName, card);
        const WindowOpen next = windowOpen(s, longTs, QStringLiteral("window_card_next"), true, shortTs);
        printWindowOpen(cardName + QStringLiteral(", next file after 1 s"), next);
        if (s.withMpv) {
            Setup once = s;
            once.reps = 1;
            const Opens m = mpvOpens(once, longTs, QStringLiteral("window_mpv_card"), throttleEnv(s, longTs));
            out() << "  mpv through the same card: first picture "
                  << (m.first.empty() ? QStringLiteral("failed ") + m.notes.join(QStringLiteral("; "))
                                      : fixed(m.first.values.front(), 1) + QStringLiteral(" ms after loadfile"))
                  << "\n";
        }
        const bool met = card.ok && card.value("gap_open_ms") <= kStallTargetMs;
        allMet &= met;
        out() << "  longest GUI stall through the card " << (card.ok ? fixed(card.value("gap_open_ms"), 1) : QStringLiteral("-"))
              << " ms <= " << fixed(kStallTargetMs, 0) << " ms: " << (met ? "met" : "MISSED") << "\n";
        out() << "  load average after: " << loadAverage() << Qt::endl;
    }
    return allMet ? 0 : 1;
}
