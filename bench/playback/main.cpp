// velmora_bench_playback: plays three dash-camera-like recordings (1080p30
// H.264 with B-frames, 1080p60 H.264, 2160p30 HEVC; noisy moving picture,
// AAC 48 kHz stereo) from open to natural end with the engine in a
// 1280x720 window, with mpv and with ffplay, and reads each player's CPU
// time, wall time, peak memory and dropped pictures; then times the engine's
// first picture after openFile and its paused seeks (mpv's exact seeks for
// comparison). Floors measured alongside: decoding + conversion as fast as
// possible, the open sequence step by step, the decoding of a seek alone.
// Every figure printed is measured in this run. Meant to run under xvfb-run
// (see run.sh and bench/README.md).

#include "children.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QRegularExpression>
#include <QSysInfo>
#include <QTextStream>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

#ifndef VELMORA_FFMPEG_EXECUTABLE
#define VELMORA_FFMPEG_EXECUTABLE "ffmpeg"
#endif

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kRealTimeSlack = 1.05;   // wall/media at or under this counts as real time (start-up and exit included)
constexpr double kFirstFrameTargetMs = 100.0;
constexpr double kPtsTolerance = 0.001;   // s: mpv's position after an exact seek is the target's
constexpr int kIpcTimeoutMs = 20000;

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

QString fixed(double value, int decimals)
{
    return QString::number(value, 'f', decimals);
}

QString loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("?");
    return QString::fromLatin1(file.readAll()).section(QLatin1Char(' '), 0, 2);
}

struct Stats
{
    std::vector<double> values;
    void add(double v) { values.push_back(v); }
    bool empty() const { return values.empty(); }
    double mean() const
    {
        double sum = 0.0;
        for (double v : values)
            sum += v;
        return values.empty() ? 0.0 : sum / double(values.size());
    }
    double median() const
    {
        std::vector<double> v = values;
        std::sort(v.begin(), v.end());
        const size_t n = v.size();
        return n == 0 ? 0.0 : (n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0);
    }
    double min() const { return values.empty() ? 0.0 : *std::min_element(values.begin(), values.end()); }
    double max() const { return values.empty() ? 0.0 : *std::max_element(values.begin(), values.end()); }
};

// --- Recordings -------------------------------------------------------------------

struct Recording
{
    QString key;       // as given to --files
    int width;
    int height;
    int fps;
    double seconds;
    QString codec;     // ffmpeg encoder
    QString bitrate;
    int bframes;       // -1: the preset's default
    QString describe() const
    {
        return QStringLiteral("%1x%2 %3 fps %4 %5bit/s, %6 s").arg(width).arg(height).arg(fps)
            .arg(codec == QLatin1String("libx265") ? QStringLiteral("HEVC") : QStringLiteral("H.264"))
            .arg(bitrate).arg(seconds);
    }
};

const QString kPreset = QStringLiteral("veryfast");

const std::vector<Recording> &recordings()
{
    static const std::vector<Recording> list{
        {QStringLiteral("1080p30"), 1920, 1080, 30, 60.0, QStringLiteral("libx264"), QStringLiteral("8M"), 3},
        {QStringLiteral("1080p60"), 1920, 1080, 60, 60.0, QStringLiteral("libx264"), QStringLiteral("12M"), -1},
        {QStringLiteral("2160p30"), 3840, 2160, 30, 30.0, QStringLiteral("libx265"), QStringLiteral("20M"), -1},
    };
    return list;
}

// A key frame every second and a one-second rate buffer (maxrate = bufsize =
// the bit rate), as a dash camera's constant-rate encoder writes: without
// the buffer x264 spends several times the rate on the first second.
QString recordingPath(const QString &dir, const Recording &r)
{
    return QDir(dir).filePath(QStringLiteral("%1_%2_%3_vbv1s_%4_g%5_%6s.mp4")
                                  .arg(r.key, r.codec, r.bitrate, kPreset).arg(r.fps).arg(r.seconds));
}

struct MediaInfo
{
    bool ok = false;
    double duration = 0.0;  // s, the container's
    qint64 frames = 0;      // video packets
    double fps = 0.0;
    QString videoCodec;
    QString profile;
    int videoDelay = 0;     // pictures of reordering (B-frames)
    int width = 0;
    int height = 0;
    double videoMbps = 0.0;
    QString audio;
    qint64 bytes = 0;
};

MediaInfo probe(const QString &path)
{
    MediaInfo info;
    AVFormatContext *ic = nullptr;
    const QByteArray name = QFile::encodeName(path);
    if (avformat_open_input(&ic, name.constData(), nullptr, nullptr) < 0)
        return info;
    if (avformat_find_stream_info(ic, nullptr) < 0) {
        avformat_close_input(&ic);
        return info;
    }
    info.duration = ic->duration == AV_NOPTS_VALUE ? 0.0 : double(ic->duration) / 1e6;
    info.bytes = QFileInfo(path).size();
    const int v = av_find_best_stream(ic, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    const int a = av_find_best_stream(ic, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (v >= 0) {
        const AVCodecParameters *par = ic->streams[v]->codecpar;
        info.videoCodec = QString::fromLatin1(avcodec_get_name(par->codec_id));
        info.profile = QString::fromLatin1(avcodec_profile_name(par->codec_id, par->profile));
        info.videoDelay = par->video_delay;
        info.width = par->width;
        info.height = par->height;
        info.fps = av_q2d(av_guess_frame_rate(ic, ic->streams[v], nullptr));
        info.videoMbps = double(par->bit_rate) / 1e6;
    }
    if (a >= 0) {
        const AVCodecParameters *par = ic->streams[a]->codecpar;
        info.audio = QStringLiteral("%1 %2 Hz %3 ch").arg(QString::fromLatin1(avcodec_get_name(par->codec_id)))
                         .arg(par->sample_rate).arg(par->ch_layout.nb_channels);
    }
    // Count the pictures by reading the packets (the container's count could be absent).
    for (unsigned i = 0; i < ic->nb_streams; ++i)
        ic->streams[i]->discard = int(i) == v ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    AVPacket *packet = av_packet_alloc();
    while (av_read_frame(ic, packet) >= 0) {
        if (packet->stream_index == v)
            ++info.frames;
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    avformat_close_input(&ic);
    info.ok = v >= 0 && info.duration > 0.0;
    return info;
}

// --- The X server ------------------------------------------------------------------

// Every player sends its pictures to the X server, whose CPU time is not in
// the player's own: it is read from /proc around each run, for the record.
pid_t gXServer = 0;

pid_t findXServer()
{
    const QString display = qEnvironmentVariable("DISPLAY").section(QLatin1Char('.'), 0, 0);
    if (display.isEmpty())
        return 0;
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool isPid = false;
        const pid_t pid = pid_t(entry.toInt(&isPid));
        if (!isPid)
            continue;
        QFile file(QStringLiteral("/proc/%1/cmdline").arg(entry));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> args = file.readAll().split('\0');
        if (args.isEmpty())
            continue;
        const QByteArray program = args.first().mid(args.first().lastIndexOf('/') + 1);
        if ((program == "Xvfb" || program == "Xorg" || program == "X") && args.contains(display.toLocal8Bit()))
            return pid;
    }
    return 0;
}

// user + system CPU seconds of a process, from /proc/PID/stat; -1 if unknown.
double processCpuS(pid_t pid)
{
    if (pid <= 0)
        return -1.0;
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return -1.0;
    const QByteArray text = file.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1.0;
    // After the command: state is field 3, utime 14, stime 15 (1-based).
    const double ticks = double(sysconf(_SC_CLK_TCK));
    return (fields.at(11).toDouble() + fields.at(12).toDouble()) / ticks;
}

// --- Child processes ----------------------------------------------------------------

struct ChildRun
{
    bool started = false;
    bool timedOut = false;
    int exitCode = -1;     // -1: killed by a signal
    double userS = 0.0;
    double sysS = 0.0;
    double wallS = 0.0;
    qint64 maxRssKiB = 0;
    double xServerS = -1.0; // CPU the X server spent meanwhile
    QString stdoutText;
    QString stderrText;
    double cpuS() const { return userS + sysS; }
};

// Starts argv with the extra environment, stdin from /dev/null and stdout/
// stderr into logBase.out/.err; waits (killing it after timeoutS) and reads
// its resource use from wait4(): CPU of all its threads, peak RSS.
ChildRun runChild(const QStringList &args, const QMap<QString, QString> &env, const QString &logBase, double timeoutS)
{
    ChildRun run;
    std::vector<std::string> argStorage;
    for (const QString &a : args)
        argStorage.push_back(QFile::encodeName(a).toStdString());
    std::vector<char *> argv;
    for (std::string &s : argStorage)
        argv.push_back(s.data());
    argv.push_back(nullptr);

    std::vector<std::string> envStorage;
    for (char **e = environ; *e; ++e) {
        const QString entry = QString::fromLocal8Bit(*e);
        if (!env.contains(entry.section(QLatin1Char('='), 0, 0)))
            envStorage.push_back(*e);
    }
    for (auto it = env.begin(); it != env.end(); ++it)
        envStorage.push_back((it.key() + QLatin1Char('=') + it.value()).toStdString());
    std::vector<char *> envp;
    for (std::string &s : envStorage)
        envp.push_back(s.data());
    envp.push_back(nullptr);

    const QByteArray outPath = QFile::encodeName(logBase + QStringLiteral(".out"));
    const QByteArray errPath = QFile::encodeName(logBase + QStringLiteral(".err"));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    const double xBefore = processCpuS(gXServer);
    const Clock::time_point start = Clock::now();
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        out() << "cannot start " << args.first() << ": " << std::strerror(rc) << "\n";
        return run;
    }
    run.started = true;
    int status = 0;
    struct rusage usage {};
    for (;;) {
        const pid_t done = wait4(pid, &status, WNOHANG, &usage);
        if (done == pid)
            break;
        if (done < 0 && errno != EINTR) {
            out() << "wait4: " << std::strerror(errno) << "\n";
            return run;
        }
        if (!run.timedOut && secondsSince(start) > timeoutS) {
            run.timedOut = true;
            kill(pid, SIGKILL);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    run.wallS = secondsSince(start);
    const double xAfter = processCpuS(gXServer);
    if (xBefore >= 0.0 && xAfter >= 0.0)
        run.xServerS = xAfter - xBefore;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.userS = double(usage.ru_utime.tv_sec) + double(usage.ru_utime.tv_usec) / 1e6;
    run.sysS = double(usage.ru_stime.tv_sec) + double(usage.ru_stime.tv_usec) / 1e6;
    run.maxRssKiB = usage.ru_maxrss;
    QFile o(QString::fromLocal8Bit(outPath));
    if (o.open(QIODevice::ReadOnly))
        run.stdoutText = QString::fromLocal8Bit(o.readAll());
    QFile e(QString::fromLocal8Bit(errPath));
    if (e.open(QIODevice::ReadOnly))
        run.stderrText = QString::fromLocal8Bit(e.readAll());
    return run;
}

// key=value pairs of every "RESULT" line, in order.
std::vector<QMap<QString, QString>> resultLines(const QString &text)
{
    std::vector<QMap<QString, QString>> lines;
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        if (!line.startsWith(QLatin1String("RESULT ")))
            continue;
        QMap<QString, QString> values;
        for (const QString &pair : line.mid(7).split(QLatin1Char(' '), Qt::SkipEmptyParts))
            values.insert(pair.section(QLatin1Char('='), 0, 0), pair.section(QLatin1Char('='), 1));
        lines.push_back(values);
    }
    return lines;
}

QMap<QString, QString> mergedResults(const QString &text)
{
    QMap<QString, QString> all;
    for (const auto &line : resultLines(text))
        for (auto it = line.begin(); it != line.end(); ++it)
            all.insert(it.key(), it.value());
    return all;
}

QString errorLines(const ChildRun &run)
{
    QStringList lines;
    for (const QString &line : run.stdoutText.split(QLatin1Char('\n')))
        if (line.startsWith(QLatin1String("ERROR")))
            lines << line;
    if (lines.isEmpty())
        lines << run.stderrText.right(300).trimmed();
    return lines.join(QStringLiteral("; "));
}

// --- Recordings, made once ----------------------------------------------------------

bool generate(const QString &dir, const QString &logDir, const Recording &r, bool regenerate)
{
    const QString path = recordingPath(dir, r);
    if (!regenerate && QFileInfo::exists(path)) {
        out() << "  " << r.key << ": reusing " << path << "\n";
        return true;
    }
    const QString duration = QString::number(r.seconds, 'f', 3);
    QStringList args{QStringLiteral(VELMORA_FFMPEG_EXECUTABLE), QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"),
                     QStringLiteral("error"), QStringLiteral("-y"), QStringLiteral("-f"), QStringLiteral("lavfi"),
                     QStringLiteral("-i"),
                     // The fixture library's noisy picture: test pattern, slow scroll, moving grain.
                     QStringLiteral("testsrc2=size=%1x%2:rate=%3:duration=%4,scroll=horizontal=0.002,noise=alls=12:allf=t")
                         .arg(r.width).arg(r.height).arg(r.fps).arg(duration),
                     QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                     QStringLiteral("sine=frequency=440:sample_rate=48000:duration=%1").arg(duration),
                     QStringLiteral("-af"), QStringLiteral("aformat=channel_layouts=stereo"), QStringLiteral("-c:a"),
                     QStringLiteral("aac"), QStringLiteral("-b:a"), QStringLiteral("128k"), QStringLiteral("-c:v"), r.codec,
                     QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"), QStringLiteral("-preset"), kPreset,
                     QStringLiteral("-b:v"), r.bitrate, QStringLiteral("-maxrate"), r.bitrate, QStringLiteral("-bufsize"),
                     r.bitrate, QStringLiteral("-g"), QString::number(r.fps), QStringLiteral("-keyint_min"),
                     QString::number(r.fps)};
    if (r.bframes >= 0)
        args << QStringLiteral("-bf") << QString::number(r.bframes);
    if (r.codec == QLatin1String("libx265"))
        args << QStringLiteral("-x265-params") << QStringLiteral("log-level=error");
    const QString part = path + QStringLiteral(".part.mp4");
    args << QStringLiteral("-shortest") << part;
    out() << "  " << r.key << ": encoding " << r.describe() << " (" << r.codec << " " << kPreset
          << ", 1 s rate buffer, key frame every " << r.fps
          << " pictures, testsrc2 + scroll + grain, AAC 48 kHz stereo 128 kbit/s) ..." << Qt::endl;
    const Clock::time_point start = Clock::now();
    const ChildRun run = runChild(args, {}, QDir(logDir).filePath(r.key + QStringLiteral("_encode")), 7200.0);
    if (!run.started || run.exitCode != 0) {
        out() << "  encoding failed (exit " << run.exitCode << "): " << run.stderrText.right(500) << "\n";
        QFile::remove(part);
        return false;
    }
    QFile::remove(path);
    if (!QFile::rename(part, path)) {
        out() << "  cannot rename " << part << "\n";
        return false;
    }
    out() << "    done in " << fixed(secondsSince(start), 1) << " s" << Qt::endl;
    return true;
}

// --- Players --------------------------------------------------------------------------

struct PlayResult
{
    QString player;
    bool ok = false;
    QString note;
    ChildRun run;
    qint64 shown = -1;
    qint64 dropped = -1;
    bool shownDerived = false;  // frames in the file minus drops
    QMap<QString, QString> extra;
    // With --reps: every play's CPU s per media s and dropped pictures; the
    // fields above are the play with the median CPU.
    QStringList everyCpu;
    QStringList everyDropped;
    qint64 maxDropped = -1;
    double maxWallPerMedia = 0.0;
    int failures = 0;
};

// The play with the median CPU time of several (failed plays are only counted).
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

struct Setup
{
    QString dir;
    QString self;
    QString logDir;
    int seeks = 10;
    unsigned seed = 1;
    int firstFrameReps = 10;
    int reps = 1;
    QStringList floorScalers;
};

const QMap<QString, QString> kEngineEnv{{QStringLiteral("SDL_AUDIODRIVER"), QStringLiteral("dummy")}};

double timeoutFor(const MediaInfo &m)
{
    return m.duration * 3.0 + 60.0;
}

PlayResult playEngine(const Setup &s, const Recording &r, const QString &file, const MediaInfo &m)
{
    PlayResult p;
    p.player = QStringLiteral("ours");
    p.run = runChild({s.self, QStringLiteral("--child"), QStringLiteral("play"), file}, kEngineEnv,
                     QDir(s.logDir).filePath(r.key + QStringLiteral("_ours")), timeoutFor(m));
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
    p.run = runChild({QStringLiteral("mpv"), QStringLiteral("--no-config"), QStringLiteral("--vo=x11"),
                      QStringLiteral("--ao=null"), QStringLiteral("--hwdec=no"), QStringLiteral("--geometry=1280x720"),
                      QStringLiteral("--term-status-msg=VSTATUS pos=${=time-pos} vo_drop=${frame-drop-count} "
                                     "dec_drop=${decoder-frame-drop-count} delayed=${vo-delayed-frame-count}"),
                      file},
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

// --- Seeks -------------------------------------------------------------------------------

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

struct SeekTimes
{
    bool ok = false;
    QString note;
    Stats delivered; // ms
    Stats painted;   // ms
    int exact = 0;
    int count = 0;
    QStringList misses;
};

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
class MpvIpc
{
public:
    ~MpvIpc()
    {
        if (mFd >= 0)
            ::close(mFd);
    }

    bool connectTo(const QString &path, int timeoutMs)
    {
        const Clock::time_point start = Clock::now();
        const QByteArray name = QFile::encodeName(path);
        while (secondsSince(start) * 1000.0 < timeoutMs) {
            mFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_un addr {};
            addr.sun_family = AF_UNIX;
            std::strncpy(addr.sun_path, name.constData(), sizeof addr.sun_path - 1);
            if (::connect(mFd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0)
                return true;
            ::close(mFd);
            mFd = -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    bool send(const QJsonArray &command, int requestId)
    {
        QJsonObject object{{QStringLiteral("command"), command}, {QStringLiteral("request_id"), requestId}};
        QByteArray line = QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
        const char *p = line.constData();
        qsizetype left = line.size();
        while (left > 0) {
            const ssize_t n = ::write(mFd, p, size_t(left));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            p += n;
            left -= n;
        }
        return true;
    }

    // The next message matching the predicate, or nothing on timeout.
    std::optional<QJsonObject> waitFor(const std::function<bool(const QJsonObject &)> &match, int timeoutMs)
    {
        const Clock::time_point start = Clock::now();
        for (;;) {
            const int nl = mBuffer.indexOf('\n');
            if (nl >= 0) {
                const QByteArray line = mBuffer.left(nl);
                mBuffer.remove(0, nl + 1);
                const QJsonObject object = QJsonDocument::fromJson(line).object();
                if (match(object))
                    return object;
                continue;
            }
            const int left = timeoutMs - int(secondsSince(start) * 1000.0);
            if (left <= 0)
                return std::nullopt;
            pollfd pfd{mFd, POLLIN, 0};
            const int rc = ::poll(&pfd, 1, left);
            if (rc < 0 && errno == EINTR)
                continue;
            if (rc <= 0)
                return std::nullopt;
            char chunk[4096];
            const ssize_t n = ::read(mFd, chunk, sizeof chunk);
            if (n <= 0)
                return std::nullopt;
            mBuffer.append(chunk, int(n));
        }
    }

    std::optional<QJsonObject> request(const QJsonArray &command, int timeoutMs)
    {
        const int id = ++mNextId;
        if (!send(command, id))
            return std::nullopt;
        return waitFor([id](const QJsonObject &o) { return o.value(QStringLiteral("request_id")).toInt() == id; },
                       timeoutMs);
    }

    int nextId() { return ++mNextId; }

private:
    int mFd = -1;
    QByteArray mBuffer;
    int mNextId = 0;
};

bool isEvent(const QJsonObject &o, const char *name)
{
    return o.value(QStringLiteral("event")).toString() == QLatin1String(name);
}

// mpv paused, exact seeks over IPC: each timed from sending the command to
// the "playback-restart" event (the new picture is on the video output).
SeekTimes mpvSeeks(const Setup &s, const Recording &r, const QString &file, const std::vector<qint64> &positions)
{
    SeekTimes t;
    const QString socketPath = QDir(s.dir).filePath(QStringLiteral("mpv-ipc-%1.sock").arg(getpid()));
    QFile::remove(socketPath);
    const QByteArray logBase = QFile::encodeName(QDir(s.logDir).filePath(r.key + QStringLiteral("_mpv_seek")));
    std::vector<std::string> args{"mpv", "--no-config", "--vo=x11", "--ao=null", "--hwdec=no", "--geometry=1280x720",
                                  "--pause", "--keep-open=always", "--really-quiet",
                                  "--input-ipc-server=" + QFile::encodeName(socketPath).toStdString(),
                                  QFile::encodeName(file).toStdString()};
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, (logBase + ".out").constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, (logBase + ".err").constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, "mpv", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        t.note = QStringLiteral("cannot start mpv");
        return t;
    }
    auto finish = [&](const QString &note) {
        t.note = note;
        kill(pid, SIGTERM);
        int status = 0;
        waitpid(pid, &status, 0);
        QFile::remove(socketPath);
        return t;
    };

    MpvIpc ipc;
    if (!ipc.connectTo(socketPath, kIpcTimeoutMs))
        return finish(QStringLiteral("no IPC socket"));
    // Loaded once the position is known; an untimed exact seek to the start
    // then makes sure the first picture is out before the timed ones.
    bool loaded = false;
    const Clock::time_point start = Clock::now();
    while (!loaded && secondsSince(start) < kIpcTimeoutMs / 1000.0) {
        const auto reply = ipc.request({QStringLiteral("get_property"), QStringLiteral("time-pos")}, kIpcTimeoutMs);
        loaded = reply && reply->value(QStringLiteral("error")).toString() == QLatin1String("success");
        if (!loaded)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (!loaded)
        return finish(QStringLiteral("file never loaded"));
    auto seekTo = [&](double seconds) {
        const int id = ipc.nextId();
        ipc.send({QStringLiteral("seek"), seconds, QStringLiteral("absolute+exact")}, id);
        return ipc.waitFor([](const QJsonObject &o) { return isEvent(o, "playback-restart"); }, kIpcTimeoutMs).has_value();
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
    int status = 0;
    waitpid(pid, &status, 0);
    QFile::remove(socketPath);
    t.ok = t.count == int(positions.size());
    return t;
}

// --- First picture -------------------------------------------------------------------

struct FirstPicture
{
    Stats open;       // ms, openFile returned
    Stats paint;      // ms, first picture painted
    double coldMs = -1.0; // the process's first open
    QString note;
    QMap<QString, QString> steps; // the open sequence outside the engine, medians
};

FirstPicture firstPicture(const Setup &s, const Recording &r, const QString &file)
{
    FirstPicture fp;
    const ChildRun run = runChild({s.self, QStringLiteral("--child"), QStringLiteral("first-frame"), file,
                                   QString::number(s.firstFrameReps)},
                                  kEngineEnv, QDir(s.logDir).filePath(r.key + QStringLiteral("_ours_first")), 300.0);
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
                                    kEngineEnv, QDir(s.logDir).filePath(r.key + QStringLiteral("_open_steps")), 300.0);
    fp.steps = mergedResults(steps.stdoutText);
    return fp;
}

void printFirstPicture(const FirstPicture &fp)
{
    if (!fp.paint.empty()) {
        QStringList each;
        for (double v : fp.paint.values)
            each << fixed(v, 1);
        out() << "    openFile to first picture painted: process's first open " << fixed(fp.coldMs, 1) << " ms, median "
              << fixed(fp.paint.median(), 1) << " ms, min " << fixed(fp.paint.min(), 1) << ", max " << fixed(fp.paint.max(), 1)
              << " (each: " << each.join(QStringLiteral(" ")) << ")\n";
        out() << "    openFile returned after: median " << fixed(fp.open.median(), 1) << " ms, min " << fixed(fp.open.min(), 1)
              << ", max " << fixed(fp.open.max(), 1) << "\n";
    }
    if (!fp.note.isEmpty())
        out() << "    failed: " << fp.note << "\n";
    const auto &x = fp.steps;
    if (x.contains(QStringLiteral("stream_info_ms"))) {
        auto v = [&](const char *key) { return fixed(x.value(QLatin1String(key)).toDouble(), 1); };
        out() << "    the open sequence step by step (medians, outside the engine): SDL audio init " << v("sdl_init_ms")
              << " ms, GPS pass " << v("gps_pass_ms") << ", avformat_open_input " << v("open_input_ms")
              << ", avformat_find_stream_info " << v("stream_info_ms") << ", sound decoder + device " << v("audio_open_ms")
              << ", video decoder open " << v("video_open_ms") << ", decoding to the first picture " << v("first_picture_ms")
              << " (" << x.value(QStringLiteral("packets")) << " packets, frame+slice threads), conversion " << v("convert_ms")
              << " ms\n";
        out() << "      first picture with one decoder thread " << v("first_picture_1thread_ms") << " ms ("
              << x.value(QStringLiteral("packets_1thread")) << " packets), with slice threads only " << v("first_picture_slice_ms")
              << " ms (" << x.value(QStringLiteral("packets_slice")) << " packets), the key packet alone (slice threads, then drained) "
              << v("first_picture_lowdelay_ms") << " ms (" << x.value(QStringLiteral("packets_lowdelay"))
              << " packet; -1: not the first picture)\n";
        out() << "      without avformat_find_stream_info: open + video decoder + first picture " << v("no_info_total_ms")
              << " ms (" << x.value(QStringLiteral("packets_no_info")) << " packets, container length "
              << x.value(QStringLiteral("no_info_duration_us")) << QStringLiteral(" µs); conversion with SWS_FAST_BILINEAR ")
              << v("convert_fast_bilinear_ms") << " ms\n";
    }
}

// The decoding alone of a paused seek, outside the engine: key frame before
// t up to the picture for t, then the same with non-reference pictures before
// t left out by the decoder.
struct SeekFloor
{
    Stats plain;
    Stats skipping;
    int pictures = 0;
    int picturesSkipping = 0;
    QString note;
};

SeekFloor seekFloor(const Setup &s, const Recording &r, const QString &file, const std::vector<qint64> &positions)
{
    SeekFloor sf;
    QStringList list;
    for (qint64 p : positions)
        list << QString::number(p);
    const ChildRun run = runChild({s.self, QStringLiteral("--child"), QStringLiteral("seek-floor"), file, list.join(QLatin1Char(','))},
                                  {}, QDir(s.logDir).filePath(r.key + QStringLiteral("_seek_floor")), 600.0);
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

// --- Report ----------------------------------------------------------------------------

QString mib(qint64 kib)
{
    return QStringLiteral("%1 MiB").arg(double(kib) / 1024.0, 0, 'f', 0);
}

QString pad(const QString &text, int width, bool right = true)
{
    return right ? text.rightJustified(width) : text.leftJustified(width);
}

struct FileSummary
{
    QString key;
    std::optional<PlayResult> ours;
    std::optional<PlayResult> mpv;
    std::optional<PlayResult> ffplay;
    std::vector<PlayResult> floors;
    QMap<QString, QString> convert; // the conversion alone, CPU ms per picture by scaler
    MediaInfo media;
};

double cpuPerMedia(const PlayResult &p, const MediaInfo &m)
{
    return p.run.cpuS() / m.duration;
}

// Every play to the end, none dropping a picture, none slower than real time.
bool realTime(const PlayResult &p, const MediaInfo &m)
{
    const qint64 dropped = p.maxDropped >= 0 ? p.maxDropped : p.dropped;
    const double wall = p.maxWallPerMedia > 0.0 ? p.maxWallPerMedia : p.run.wallS / m.duration;
    return p.ok && p.failures == 0 && dropped == 0 && wall <= kRealTimeSlack;
}

void printPlayTable(const FileSummary &f)
{
    const MediaInfo &m = f.media;
    out() << "\n  " << pad(QStringLiteral("player"), 20, false) << pad(QStringLiteral("CPU s/media s"), 14)
          << pad(QStringLiteral("user+sys s"), 12) << pad(QStringLiteral("wall/media"), 12)
          << pad(QStringLiteral("shown"), 8) << pad(QStringLiteral("dropped"), 9) << pad(QStringLiteral("drop %"), 8)
          << pad(QStringLiteral("peak RSS"), 10) << pad(QStringLiteral("X server s/media s"), 20) << "\n";
    auto row = [&](const PlayResult &p) {
        if (!p.ok) {
            out() << "  " << pad(p.player, 20, false) << "  " << p.note << "\n";
            return;
        }
        const bool isFloor = p.player.startsWith(QLatin1String("floor"));
        out() << "  " << pad(p.player, 20, false) << pad(fixed(cpuPerMedia(p, m), 3), 14)
              << pad(fixed(p.run.cpuS(), 2), 12)
              << pad(isFloor ? QStringLiteral("(%1)").arg(fixed(p.run.wallS / m.duration, 3)) : fixed(p.run.wallS / m.duration, 3), 12)
              << pad(QString::number(p.shown) + (p.shownDerived ? QStringLiteral("*") : QString()), 8)
              << pad(isFloor ? QStringLiteral("-") : QString::number(p.dropped), 9)
              << pad(isFloor ? QStringLiteral("-") : fixed(100.0 * double(p.dropped) / double(m.frames), 1), 8)
              << pad(mib(p.run.maxRssKiB), 10)
              << pad(p.run.xServerS >= 0.0 ? fixed(p.run.xServerS / m.duration, 3) : QStringLiteral("-"), 20) << "\n";
    };
    if (f.ours)
        row(*f.ours);
    if (f.mpv)
        row(*f.mpv);
    if (f.ffplay)
        row(*f.ffplay);
    for (const PlayResult &p : f.floors)
        row(p);
    out() << "  (* = pictures in the file minus dropped; floor: decoding as fast as possible, wall/media in brackets)\n";
    for (const std::optional<PlayResult> *p : {&f.ours, &f.mpv, &f.ffplay})
        if (*p && (*p)->everyCpu.size() > 1)
            out() << "  " << (*p)->player << ", every play (the row above is the median by CPU): CPU s/media s "
                  << (*p)->everyCpu.join(QStringLiteral(" ")) << "; dropped " << (*p)->everyDropped.join(QStringLiteral(" "))
                  << "\n";

    if (f.ours && f.ours->ok) {
        const PlayResult &o = *f.ours;
        const auto &x = o.extra;
        out() << "  ours: distinct pictures painted " << x.value(QStringLiteral("painted")) << " of "
              << o.shown << " delivered (" << x.value(QStringLiteral("paints")) << " paints); shown + dropped = "
              << (o.shown + o.dropped) << " of " << m.frames << " in the file\n";
        out() << "        play() to natural end " << fixed(x.value(QStringLiteral("play_s")).toDouble(), 3) << " s for "
              << fixed(m.duration, 3) << " s of media; openFile " << fixed(x.value(QStringLiteral("open_ms")).toDouble(), 1)
              << " ms, first picture painted " << fixed(x.value(QStringLiteral("first_paint_ms")).toDouble(), 1)
              << " ms after openFile was called\n";
        if (x.contains(QStringLiteral("paint_drift_ms_per_s")))
            out() << "        paint time - pts: drift " << fixed(x.value(QStringLiteral("paint_drift_ms_per_s")).toDouble(), 2)
                  << " ms per s (the sound device's clock against the wall clock); around that line: 1st percentile "
                  << fixed(x.value(QStringLiteral("paint_offset_p1_ms")).toDouble(), 1) << " ms, 99th "
                  << fixed(x.value(QStringLiteral("paint_offset_p99_ms")).toDouble(), 1) << " ms, max "
                  << fixed(x.value(QStringLiteral("paint_offset_max_ms")).toDouble(), 1) << " ms; painted over one picture period ("
                  << fixed(x.value(QStringLiteral("period_ms")).toDouble(), 1) << " ms) late: "
                  << x.value(QStringLiteral("paint_late_over_period")) << "\n";
    }
    if (f.mpv && f.mpv->ok)
        out() << "  mpv: last status at " << f.mpv->extra.value(QStringLiteral("last_pos")) << " s; vo drops "
              << f.mpv->extra.value(QStringLiteral("vo_drop")) << ", decoder drops " << f.mpv->extra.value(QStringLiteral("dec_drop"))
              << ", delayed " << f.mpv->extra.value(QStringLiteral("delayed")) << "\n";
    if (f.ffplay && f.ffplay->ok)
        out() << "  ffplay: last status at " << f.ffplay->extra.value(QStringLiteral("last_pos")) << " s\n";
    for (const PlayResult &p : f.floors)
        if (p.ok)
            out() << "  " << p.player << ": " << p.extra.value(QStringLiteral("frames")) << " pictures in "
                  << fixed(p.extra.value(QStringLiteral("wall_s")).toDouble(), 2) << " s ("
                  << fixed(p.extra.value(QStringLiteral("frames")).toDouble() / p.extra.value(QStringLiteral("wall_s")).toDouble(), 0)
                  << " fps), conversion to " << p.extra.value(QStringLiteral("out")) << " "
                  << fixed(p.extra.value(QStringLiteral("convert_s")).toDouble(), 2) << " s of it ("
                  << fixed(p.extra.value(QStringLiteral("convert_s")).toDouble() * 1000.0 / std::max(1.0, p.extra.value(QStringLiteral("frames")).toDouble()), 2)
                  << " ms per picture)\n";

    if (f.convert.contains(QStringLiteral("convert_bicubic_ms"))) {
        QStringList each;
        for (const char *name : {"bicubic", "bilinear", "fast_bilinear", "area", "point"}) {
            const double ms = f.convert.value(QStringLiteral("convert_%1_ms").arg(QLatin1String(name))).toDouble();
            each << QStringLiteral("%1 %2 ms (%3 CPU s/media s)").arg(QLatin1String(name), fixed(ms, 2), fixed(ms * m.fps / 1000.0, 3));
        }
        out() << "  conversion alone to " << f.convert.value(QStringLiteral("convert_out")) << " RGB32, one thread, CPU per picture: "
              << each.join(QStringLiteral(", ")) << "\n";
    }
    if (f.ours && f.ours->ok) {
        QStringList ratios;
        auto ratio = [&](const std::optional<PlayResult> &anchor, const QString &name) {
            if (anchor && anchor->ok && anchor->run.cpuS() > 0)
                ratios << QStringLiteral("ours/%1 %2").arg(name, fixed(f.ours->run.cpuS() / anchor->run.cpuS(), 2));
        };
        ratio(f.mpv, QStringLiteral("mpv"));
        ratio(f.ffplay, QStringLiteral("ffplay"));
        for (const PlayResult &p : f.floors)
            if (p.ok && p.run.cpuS() > 0)
                ratios << QStringLiteral("ours/%1 %2").arg(p.player, fixed(f.ours->run.cpuS() / p.run.cpuS(), 2));
        if (!ratios.isEmpty())
            out() << "  CPU ratios: " << ratios.join(QStringLiteral(", ")) << "\n";
    }
}

void printSeeks(const QString &who, const SeekTimes &t)
{
    if (t.count == 0) {
        out() << "    " << pad(who, 6, false) << " failed: " << t.note << " " << t.misses.join(QStringLiteral("; ")) << "\n";
        return;
    }
    out() << "    " << pad(who, 6, false) << " " << t.count << " seeks, picture for t delivered: mean "
          << fixed(t.delivered.mean(), 1) << " ms, median " << fixed(t.delivered.median(), 1) << ", min "
          << fixed(t.delivered.min(), 1) << ", max " << fixed(t.delivered.max(), 1);
    if (!t.painted.empty())
        out() << "; painted: mean " << fixed(t.painted.mean(), 1) << " ms, median " << fixed(t.painted.median(), 1)
              << ", max " << fixed(t.painted.max(), 1);
    out() << "; exact " << t.exact << "/" << t.count;
    if (!t.misses.isEmpty())
        out() << " WRONG: " << t.misses.join(QStringLiteral("; "));
    if (!t.note.isEmpty())
        out() << " (" << t.note << ")";
    out() << "\n";
}

int childMain(int argc, char **argv)
{
    const std::string mode = argc > 2 ? argv[2] : "";
    if (mode == "play" && argc > 3)
        return runEnginePlay(argc, argv, argv[3]);
    if (mode == "first-frame" && argc > 4)
        return runEngineFirstFrame(argc, argv, argv[3], std::atoi(argv[4]));
    if (mode == "seek" && argc > 4)
        return runEngineSeeks(argc, argv, argv[3], argv[4]);
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
        "CPU, wall time, dropped pictures and memory; times the engine's first picture and paused seeks. "
        "Run under xvfb-run (bench/playback/run.sh)."));
    parser.addHelpOption();
    const QCommandLineOption dirOpt(QStringLiteral("dir"), QStringLiteral("Scratch folder for the recordings and logs."),
                                    QStringLiteral("path"), QStringLiteral("/tmp/velmora_bench_playback"));
    const QCommandLineOption filesOpt(QStringLiteral("files"), QStringLiteral("Recordings: 1080p30,1080p60,2160p30."),
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
                                                     "engine's first picture), seek (paused seeks)."),
                                      QStringLiteral("list"), QStringLiteral("play,first,seek"));
    const QCommandLineOption repsOpt(QStringLiteral("reps"),
                                     QStringLiteral("Plays per player and file, interleaved; the median by CPU is shown."),
                                     QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption regenOpt(QStringLiteral("regenerate"), QStringLiteral("Encode the recordings again."));
    const QCommandLineOption genOnlyOpt(QStringLiteral("generate-only"), QStringLiteral("Only make the recordings."));
    parser.addOptions({dirOpt, filesOpt, playersOpt, partsOpt, scalersOpt, seeksOpt, seedOpt, firstOpt, repsOpt, regenOpt,
                       genOnlyOpt});
    parser.process(app);

    Setup s;
    s.dir = parser.value(dirOpt);
    s.self = QCoreApplication::applicationFilePath();
    s.seeks = parser.value(seeksOpt).toInt();
    s.seed = parser.value(seedOpt).toUInt();
    s.firstFrameReps = parser.value(firstOpt).toInt();
    s.reps = std::max(1, parser.value(repsOpt).toInt());
    s.floorScalers = parser.value(scalersOpt).split(QLatin1Char(','), Qt::SkipEmptyParts);
    const QStringList wantedFiles = parser.value(filesOpt).split(QLatin1Char(','), Qt::SkipEmptyParts);
    const QStringList players = parser.value(playersOpt).split(QLatin1Char(','), Qt::SkipEmptyParts);
    const QStringList parts = parser.value(partsOpt).split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString &p : parts) {
        if (!QStringList{QStringLiteral("play"), QStringLiteral("first"), QStringLiteral("seek")}.contains(p)) {
            out() << "unknown part " << p << "\n";
            return 2;
        }
    }
    if (!parts.contains(QStringLiteral("first")))
        s.firstFrameReps = 0;
    if (!parts.contains(QStringLiteral("seek")))
        s.seeks = 0;
    const bool doPlay = parts.contains(QStringLiteral("play"));
    for (const QString &p : players) {
        if (!QStringList{QStringLiteral("ours"), QStringLiteral("mpv"), QStringLiteral("ffplay"), QStringLiteral("floor")}.contains(p)) {
            out() << "unknown player " << p << "\n";
            return 2;
        }
    }
    std::vector<Recording> chosen;
    for (const QString &key : wantedFiles) {
        auto it = std::find_if(recordings().begin(), recordings().end(), [&](const Recording &r) { return r.key == key; });
        if (it == recordings().end()) {
            out() << "unknown recording " << key << "\n";
            return 2;
        }
        chosen.push_back(*it);
    }
    if (!QDir().mkpath(s.dir)) {
        out() << "cannot create " << s.dir << "\n";
        return 2;
    }
    s.logDir = QDir(s.dir).filePath(QStringLiteral("logs"));
    QDir().mkpath(s.logDir);
    av_log_set_level(AV_LOG_ERROR);
    gXServer = findXServer();

    const bool needDisplay = !parser.isSet(genOnlyOpt)
                             && (players.contains(QStringLiteral("ours")) || players.contains(QStringLiteral("mpv"))
                                 || players.contains(QStringLiteral("ffplay")) || s.seeks > 0 || s.firstFrameReps > 0);
    if (needDisplay && qEnvironmentVariableIsEmpty("DISPLAY")) {
        out() << "no DISPLAY: run under xvfb-run (bench/playback/run.sh)\n";
        return 2;
    }

    out() << "velmora_bench_playback, " << QDateTime::currentDateTime().toString(Qt::ISODate) << ", "
          << std::thread::hardware_concurrency() << " cores, " << QSysInfo::prettyProductName() << ", kernel "
          << QSysInfo::kernelVersion() << ", libavcodec " << LIBAVCODEC_IDENT << "\n";
    out() << "X server: " << (gXServer ? QStringLiteral("pid %1").arg(gXServer) : QStringLiteral("not found")) << "\n";
    out() << "scratch folder " << s.dir << " (child logs in " << s.logDir << "); load average " << loadAverage() << "\n";
    out() << "recordings:" << Qt::endl;
    for (const Recording &r : chosen)
        if (!generate(s.dir, s.logDir, r, parser.isSet(regenOpt)))
            return 1;
    if (parser.isSet(genOnlyOpt))
        return 0;

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
              << fixed(m.fps, 2) << " fps " << m.videoCodec << " " << m.profile << " (" << r.codec << " " << kPreset
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
        out() << "   load average after: " << loadAverage() << Qt::endl;
        summaries.push_back(f);
    }

    // --- Targets --------------------------------------------------------------------
    out() << "\n== Summary" << (doPlay ? " (CPU s per media s; ratios of ours to each anchor)" : "") << "\n";
    if (doPlay) {
        out() << "  " << pad(QStringLiteral("file"), 9, false) << pad(QStringLiteral("ours"), 8) << pad(QStringLiteral("mpv"), 8)
              << pad(QStringLiteral("ffplay"), 8) << pad(QStringLiteral("floor*"), 8) << pad(QStringLiteral("ours/mpv"), 10)
              << pad(QStringLiteral("ours/ffplay"), 13) << pad(QStringLiteral("ours/floor"), 12)
              << "   dropped ours/mpv/ffplay (most in one play)\n";
    }
    bool allMet = true;
    QStringList verdicts;
    if (doPlay)
        verdicts << QStringLiteral("(floor* = decoding + bicubic conversion to 1280x720, as fast as possible, as the engine converts)");
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
