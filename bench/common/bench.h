#pragma once

// What the scenarios share: output, statistics, options, child processes and
// their CPU, mpv as an anchor, the recordings, and the children's windows.

#include "gpsfixture.h"
#include "myframe.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QLocalSocket>
#include <QProcess>
#include <QTextStream>
#include <QTimer>

#include <chrono>
#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

class MainWindow;

namespace bench {

// Qt 6's "..."_s for Qt 5.
inline QString operator""_s(const char *text, size_t size) { return QString::fromUtf8(text, int(size)); }

using Clock = std::chrono::steady_clock;
using Values = QMap<QString, QString>;                  // a child's "RESULT key=value" figures; also an environment
constexpr double kPtsTolerance = 0.001;                 // s: the picture for t carries t
constexpr int kWindowWidth = 1280, kWindowHeight = 720; // ours, mpv's and ffplay's

QTextStream &out();
QString readText(const QString &path);
inline double msBetween(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double, std::milli>(b - a).count();
}
inline double msSince(Clock::time_point start) { return msBetween(start, Clock::now()); }
inline void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
inline QString fixed(double value, int decimals) { return QString::number(value, 'f', decimals); }
inline QString sizeText(const QSize &s) { return "%1x%2"_s.arg(s.width()).arg(s.height()); }
inline QString verdict(bool met) { return met ? "met" : "MISSED"; }
QString loadAverage();
qint64 parseRate(QString text); // "8M", "2500k": per second
double num(const Values &v, const QString &key, double otherwise = -1.0);
void result(const Values &v);                                                          // a child's "RESULT key=value ..." line
int childError(const QString &what, int code);                                         // its "ERROR ..." line
void printValues(const QString &title, const Values &v, const QStringList &keys = {}); // all keys when none given
void printTable(const QStringList &header, const std::vector<QStringList> &rows);
QString largest(std::vector<std::pair<double, QString>> items, size_t n, int decimals); // "name:value,..." of the n largest

struct Stats
{
    std::vector<double> values;
    void add(double v) { values.push_back(v); }
    bool empty() const { return values.empty(); }
    size_t size() const { return values.size(); }
    double mean() const;
    double median() const;
    double quantile(double q) const; // NaN when empty
    double min() const { return quantile(0.0); }
    double max() const { return quantile(1.0); }
    QString text(int decimals = 1) const;                               // "median (min-max)"
    void addTo(Values &v, const QString &name, int decimals = 1) const; // NAME_p50, NAME_p99, NAME_max
};

struct Option
{
    const char *name;
    const char *value; // the default; nullptr: a flag
    const char *help;
};

struct Options
{
    Values values;
    QString str(const char *name) const { return values.value(QLatin1String(name)); }
    int integer(const char *name) const { return std::max(1, str(name).toInt()); } // counts: at least one
    bool flag(const char *name) const { return values.contains(QLatin1String(name)); }
    QStringList list(const char *name) const { return str(name).split(',', Qt::SkipEmptyParts); }
};

enum class Display { None, Offscreen, X }; // X: windows on the display run.sh starts

struct Scenario
{
    const char *name, *what;
    const char *dir; // /tmp/velmora_bench_DIR: the recordings and child logs, reused; --dir, --regenerate
    std::vector<Option> options;
    int (*run)(const Options &); // 0: every target met, 1: one missed, more: failed
    Display display;
};

extern const Scenario kPlayback, kOpen, kGpsPass, kFileList, kTelemetry, kDrive, kLean, kLaunch;

// Child modes, velmora_bench --child KIND FILE ... (US,US,...: positions in µs).
int childEngine(const QStringList &args);          // FILE first N | play [pace] | seek US,... | idle PLAY_MS IDLE_MS
int childFloor(const QStringList &args);           // FILE decode SCALER | open REPS | seek US,...
int childWindowOpen(const QStringList &args);      // FILE GPS_WAIT_S [NEXT_FILE]
int childTelemetryWindow(const QStringList &args); // FILE W H PAUSED_MS map|nomap
int childDrive(const QStringList &args);           // DATA_DIR PART0 PART1 PART2 SECONDS,...
int childLayout(const QStringList &args);          // FILE DATA_DIR
int childDrops(const QStringList &args);           // FILE DATA_DIR

struct ChildRun
{
    int exitCode = -1; // -1: killed, or never started
    double cpuS = 0.0; // user + system of it and what it waited for (wait4)
    double wallS = 0.0;
    qint64 maxRssKiB = 0;
    double xServerS = -1.0; // the X server's CPU meanwhile
    QString stdoutText, stderrText;
    std::vector<Values> lines() const; // its RESULT lines
    Values results() const;            // merged
    QString failure() const;           // empty when it exited 0
    Values measured() const;           // results() with cpu_s, wall_s, rss_mib, x_s, and a note when it failed
};

// args (PATH searched) with env added, output into logBase.out/.err, killed after timeoutS.
ChildRun runChild(const QStringList &args, const Values &env, const QString &logBase, double timeoutS);
ChildRun runSelf(const QString &logDir, const QString &log, const QStringList &args, double timeoutS, const Values &env);
extern const Values kEngineEnv; // no sound card here: SDL's dummy device
// Of several runs, the one of median cost among those without a note, with every_cost added.
Values medianRun(std::vector<Values> runs, const std::function<double(const Values &)> &cost);

QMap<QString, qint64> threadCpuNs(pid_t pid); // the scheduler's accounting by "name#tid"; pid 0: this process

// CPU between two moments of a child's choosing: its own, that of the
// processes it started (the web engine's) by kind, the X server's.
struct CpuSnapshot
{
    double selfS = 0.0;
    QMap<pid_t, QPair<QString, double>> offspring; // kind, CPU s
    double xServerS = -1.0;
};
CpuSnapshot cpuSnapshot();
void addCpuSpan(Values &v, const QString &prefix, const CpuSnapshot &a, const CpuSnapshot &b); // PREFIX_self_s ...

// mpv without user configuration, X11 output, no sound device, software decoding, a 1280x720 window.
QStringList mpvArgs(const QSize &window = QSize(kWindowWidth, kWindowHeight));

// A process tree seen from outside through /proc: the root, then everything it started.
std::vector<pid_t> processTree(pid_t root);
double treeCpuS(pid_t root);           // user + system of each, with what each reaped
qint64 pssKiB(pid_t pid);              // smaps_rollup; 0 when gone
qint64 treePssKiB(pid_t root);

// The viewer as a user starts it (build/app/velmora_viewer), with a profile
// of its own, sound to SDL's dummy device and its first-picture line on.
QString viewerPath();
Values viewerEnv(const QString &profile);
// Its default window with FILE open (childLayout): window, surface, surface_w, surface_h, picture, stop_x, stop_y.
Values viewerLayout(const QString &logDir, const QString &file);

// A program left running while measured from outside; its output read as
// it comes, each line stamped on arrival.
class Launch
{
public:
    explicit Launch(const QString &logBase) : mLogBase(logBase) {}
    ~Launch() { stop(); }
    bool start(const QStringList &args, const Values &env); // PATH searched
    double lineMs(const QString &text, int timeoutMs); // from the spawn to a line holding text; -1: none
    void wait(int ms);                                 // reading its output meanwhile
    int count(const QString &text) const;              // lines holding text so far
    bool running() const { return mProcess.state() == QProcess::Running; }
    pid_t pid() const { return pid_t(mProcess.processId()); }
    QString window(); // its largest X window (xdotool), empty when none
    bool xdotool(const QStringList &args);
    void stop(); // it and everything it started, by their ids
    Clock::time_point started;

private:
    void read();
    QString mLogBase;
    QProcess mProcess;
    std::vector<std::pair<double, QString>> mLines; // ms after the spawn
    QString mPartial;
};

class Mpv // driven over its JSON IPC
{
public:
    bool start(const QStringList &extra, const QString &dir, const QString &log, const Values &env = {});
    void send(const QJsonArray &command);
    std::optional<QJsonObject> request(const QJsonArray &command);
    bool waitEvent(const char *name);
    bool waitLoaded(); // once its position is known
    void quit();
    pid_t pid() const { return pid_t(mProcess.processId()); }

private:
    std::optional<QJsonObject> waitFor(const std::function<bool(const QJsonObject &)> &match);
    QProcess mProcess; // killed, if still running, when destroyed
    QLocalSocket mSocket;
    int mNextId = 0;
};

// The fixture's noisy picture and a 440 Hz AAC sine, encoded as a dash
// camera's constant-rate encoder writes: a key frame every second and a
// one-second rate buffer (without it x264 spends several times the rate on
// the first second).
struct Clip
{
    QString key;
    int width, height, fps;
    double seconds;
    QString codec, bitrate; // ffmpeg encoder, video bits per second ("8M")
    int bframes;            // -1: the preset's
    QString picturesOf;     // non-empty: that clip's pictures alone
};
const Clip *findClip(const QString &key); // 1080p30, 1080p60, 2160p30, 1080p60-nosound
QString clipPath(const QString &dir, const Clip &c);
// Makes path through a temporary file, unless it exists.
bool writeAs(const QString &path, bool regenerate, const std::function<bool(const QString &)> &make);
bool makeClip(const QString &dir, const Clip &c, bool regenerate);
bool addGpsTrack(const QString &in, const QString &out, const QVector<fixture::CameraRecord> &drive, bool regenerate);
// The clip with a GPS record a second: a "gps " box in an MP4, PID 0x300 in a TS; empty when it failed.
QString trackedClip(const QString &dir, const QString &key, bool ts, bool regenerate);

// A long 1080p30 recording with GPS as the camera writes it: a PID 0x300
// stream in a TS (payload version 0: the GPS pass reads the whole file), a
// "gps " box in an MP4.
struct LongRecording
{
    QString dir;
    qint64 bitrate = 8000000; // video, bits per second
    int seconds = 1800;
    bool regenerate = false;
    QString path(const char *suffix) const;       // ".ts", ".mp4"
    QVector<fixture::CameraRecord> drive() const; // one record a second
};
bool makeLongRecording(const LongRecording &r, bool ts, bool mp4);

struct MediaInfo
{
    double duration = 0.0; // s
    qint64 frames = 0;     // video packets, counted
    double fps = 0.0;
    QString text; // "1920x1080 30.00 fps h264 High 8.00 Mbit/s, aac 48000 Hz 2 ch, 60.000 s, 1800 pictures"
};
MediaInfo probe(const QString &path);

// Runs the event loop until done() or the timeout (false); paints and
// wakeWaiter() look at done() at once, a timer every few ms.
bool spinUntil(const std::function<bool()> &done, int timeoutMs);
void spinFor(int ms);
void wakeWaiter();
bool exposed(QWidget &window);
void quietLogs();                     // the engine's debug log off, libav* errors only
double imagePts(const QImage &image); // s, the engine's "pts" text; NaN when none
QString litScreen();                  // where the screen is not black, "WxH@X,Y"
// The main window's video surface once the window is exposed (and its map page loaded); null otherwise.
MyFrame *showMainWindow(MainWindow &window, bool waitForMap);
// The main window as the viewer's main() makes and places it, with its
// files in dataDir (emptied first); not shown yet.
std::unique_ptr<MainWindow> viewerWindow(const QString &dataDir);

// Calls onPainted with the surface's picture after each paint of it that shows one.
struct PaintWatch : QObject
{
    explicit PaintWatch(MyFrame *surface);
    std::function<void(const QImage &)> onPainted;
    bool eventFilter(QObject *, QEvent *event) override;

private:
    MyFrame *mSurface;
    bool mInside = false;
};

// Ticks a timer on the GUI thread: the longest gap between ticks is its
// longest stall. Long gaps keep the thread's time on the CPU and waiting
// for one meanwhile: work on the GUI thread, or a CPU taken by others.
class Heartbeat
{
public:
    explicit Heartbeat(int tickMs);
    void restart() { mLongest = 0.0, mGaps.clear(); } // a new span from the last tick
    double longestMs() const { return mLongest; }
    QString gaps(Clock::time_point since) const; // "length@end/run/wait" ms of the longest
    std::function<void()> onTick;

private:
    struct Gap
    {
        double ms;
        Clock::time_point end;
        double runMs, waitMs;
    };
    QTimer mTimer;
    Clock::time_point mLast;
    qint64 mTicks = 0, mLastRun = 0, mLastWait = 0;
    double mLongest = 0.0;
    std::vector<Gap> mGaps;
};

} // namespace bench
