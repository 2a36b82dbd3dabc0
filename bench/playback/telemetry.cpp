// The telemetry part of velmora_bench_playback: the 1080p30 recording with
// a GPS track of a moving drive, played to its end by the bare engine in the
// bench's window and by the application's whole main window, in the same run.

#include "telemetry.h"

#include "enginewindow.h"
#include "gpsfixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>

using namespace bench;

namespace {

constexpr int kDriveRecords = 60;          // one a second of the 60 s recording
constexpr double kKnotsPerKmh = 1.0 / 1.852;
// Speed and heading swing every second, so that both needles sweep at
// every new record (11-29° on the gauge, up to 25° on the compass) and the
// chart's line moves: a worst case for the panel, not a real drive.
constexpr double kSpeedMeanKmh = 50.0;
constexpr double kSpeedSwingKmh = 25.0;
constexpr double kSpeedPeriodS = 8.0;
constexpr double kHeadingMean = 45.0;      // degrees; the fixture's drive heads north-east
constexpr double kHeadingSwing = 40.0;
constexpr double kHeadingPeriodS = 10.0;
constexpr double kPi = 3.14159265358979323846;

constexpr double kAddedCpuTarget = 1.10;   // main window / bare engine, CPU while playing
constexpr double kTickTargetMs = 2.0;      // 99th percentile of the tick's CPU on the GUI thread
constexpr double kChildTimeoutS = 400.0;   // a 60 s play plus the paused phase and start-up

const QString kSourceKey = QStringLiteral("1080p30");

QString drivePath(const QString &dir, const Recording &source)
{
    const QString base = QFileInfo(recordingPath(dir, source)).completeBaseName();
    return QDir(dir).filePath(QStringLiteral("%1_gps%2swing.mp4").arg(base).arg(kDriveRecords));
}

// The fixture's drive (authenticated, moving about 10 m a second), with
// speed and heading swinging.
QVector<fixture::CameraRecord> swingingDrive()
{
    fixture::DriveSpec spec;
    spec.records = kDriveRecords;
    QVector<fixture::CameraRecord> drive = fixture::makeDrive(spec);
    for (int i = 0; i < drive.size(); ++i) {
        GpsRecord &r = drive[i].raw;
        r.speed = float((kSpeedMeanKmh + kSpeedSwingKmh * std::sin(2.0 * kPi * i / kSpeedPeriodS)) * kKnotsPerKmh);
        r.heading = float(kHeadingMean + kHeadingSwing * std::sin(2.0 * kPi * i / kHeadingPeriodS));
    }
    return drive;
}

bool makeDriveRecording(const Setup &s, const Recording &source, bool regenerate, QString &path)
{
    path = drivePath(s.dir, source);
    if (!generate(s.dir, s.logDir, source, regenerate))
        return false;
    if (!regenerate && QFileInfo::exists(path)) {
        out() << "  telemetry: reusing " << path << "\n";
        return true;
    }
    const QString part = path + QStringLiteral(".part.mp4");
    QString error;
    if (!fixture::addGpsBox(recordingPath(s.dir, source), part, fixture::gpsPayloads(swingingDrive()),
                            fixture::GpsBoxOptions(), &error)) {
        out() << "  telemetry: adding the GPS track failed: " << error << "\n";
        QFile::remove(part);
        return false;
    }
    QFile::remove(path);
    if (!QFile::rename(part, path)) {
        out() << "  cannot rename " << part << "\n";
        return false;
    }
    out() << "  telemetry: " << source.key << " + a " << kDriveRecords << "-record GPS track (\"gps \" box) in " << path << "\n";
    return true;
}

TelemetrySpan runTelemetrySpan(const QStringList &args, const QString &log, const QString &needed)
{
    TelemetrySpan sp;
    sp.run = runChild(args, {{QStringLiteral("SDL_AUDIODRIVER"), QStringLiteral("dummy")}}, log, kChildTimeoutS);
    sp.v = mergedResults(sp.run.stdoutText);
    sp.ok = sp.run.exitCode == 0 && sp.v.contains(needed);
    if (!sp.ok)
        sp.note = QStringLiteral("failed (exit %1): %2").arg(sp.run.exitCode).arg(errorLines(sp.run));
    return sp;
}

} // namespace

bool runTelemetryPart(const Setup &s, bool regenerate, const QString &surface, bool withoutMap, QStringList &verdicts)
{
    const Recording *source = findRecording(kSourceKey);
    QString file;
    out() << "\n== telemetry: the bare engine against the whole main window, " << kSourceKey << " with a GPS track" << Qt::endl;
    if (!source || !makeDriveRecording(s, *source, regenerate, file))
        return false;
    const MediaInfo m = probe(file);
    if (!m.ok) {
        out() << "  cannot read " << file << "\n";
        return false;
    }
    const QString size = surface == QLatin1String("form") ? QStringLiteral("0x0") : surface;
    const auto windowArgs = [&](const char *map) {
        return QStringList{s.self, QStringLiteral("--child"), QStringLiteral("telemetry"), file, size.section(QLatin1Char('x'), 0, 0),
                           size.section(QLatin1Char('x'), 1, 1), QString::number(s.idleMs), QLatin1String(map)};
    };
    std::vector<TelemetrySpan> engine, window, noMap;
    for (int rep = 0; rep < s.reps; ++rep) {
        const QString pass = s.reps > 1 ? QStringLiteral(" (%1/%2)").arg(rep + 1).arg(s.reps) : QString();
        out() << "   load average " << loadAverage() << "; the engine in its " << kWindowWidth << "x" << kWindowHeight
              << " window" << pass << " ..." << Qt::endl;
        engine.push_back(runTelemetrySpan({s.self, QStringLiteral("--child"), QStringLiteral("play"), file},
                                          QDir(s.logDir).filePath(QStringLiteral("telemetry_engine")), QStringLiteral("play_self_s")));
        out() << "   load average " << loadAverage() << "; the main window, surface " << surface << pass << " ..." << Qt::endl;
        window.push_back(runTelemetrySpan(windowArgs("map"), QDir(s.logDir).filePath(QStringLiteral("telemetry_window")),
                                          QStringLiteral("paused_self_s")));
        if (withoutMap) {
            out() << "   load average " << loadAverage() << "; the main window without its map page" << pass << " ..." << Qt::endl;
            noMap.push_back(runTelemetrySpan(windowArgs("nomap"), QDir(s.logDir).filePath(QStringLiteral("telemetry_window_nomap")),
                                             QStringLiteral("paused_self_s")));
        }
    }
    const TelemetrySpan &a = medianSpan(engine);
    const TelemetrySpan &b = medianSpan(window);
    printTelemetryReport({{QStringLiteral("engine (a)"), &a, &engine},
                          {QStringLiteral("window (b)"), &b, &window},
                          {QStringLiteral("no map (b')"), noMap.empty() ? nullptr : &medianSpan(noMap), &noMap}},
                         m);
    if (!a.ok || !b.ok) {
        verdicts << QStringLiteral("telemetry: a play failed: %1 %2").arg(a.note, b.note);
        return false;
    }
    const double ratio = b.total() / a.total();
    const double tick = b.value(QStringLiteral("play_tick_cpu_p99_ms"));
    const double pausedDials = b.value(QStringLiteral("paused_gauge_paints_per_s")) + b.value(QStringLiteral("paused_compass_paints_per_s"));
    const bool cpuMet = ratio <= kAddedCpuTarget;
    const bool tickMet = tick >= 0.0 && tick < kTickTargetMs;
    const bool stillMet = pausedDials == 0.0;
    const auto word = [](bool met) { return met ? QStringLiteral("met") : QStringLiteral("MISSED"); };
    verdicts << QStringLiteral("telemetry: CPU while playing, main window / bare engine %1 <= %2: %3")
                    .arg(fixed(ratio, 2), fixed(kAddedCpuTarget, 2), word(cpuMet));
    verdicts << QStringLiteral("telemetry: the 500 ms tick's CPU on the GUI thread, 99th percentile %1 ms < %2 ms: %3 (max %4 ms)")
                    .arg(fixed(tick, 3), fixed(kTickTargetMs, 0), word(tickMet), fixed(b.value(QStringLiteral("play_tick_cpu_max_ms")), 3));
    verdicts << QStringLiteral("telemetry: dial repaints while paused %1 per s = 0: %2").arg(fixed(pausedDials, 2), word(stillMet));
    return cpuMet && tickMet && stillMet;
}
