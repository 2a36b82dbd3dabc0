#pragma once

// What every scenario of velmora_bench shares: output and statistics,
// options, child processes and their CPU, and mpv as an anchor.

#include <QJsonArray>
#include <QJsonObject>
#include <QLocalSocket>
#include <QMap>
#include <QProcess>
#include <QStringList>
#include <QTextStream>

#include <chrono>
#include <functional>
#include <optional>
#include <vector>

#include <sys/types.h>

namespace bench {

// Qt 6's "..."_s for Qt 5: a QString from a literal.
inline QString operator""_s(const char *text, size_t size) { return QString::fromUtf8(text, int(size)); }

using Clock = std::chrono::steady_clock;
using Values = QMap<QString, QString>; // a child's "RESULT key=value ..." lines, and what its parent measured
using Env = QMap<QString, QString>;

QTextStream &out();
double secondsSince(Clock::time_point start);
double msBetween(Clock::time_point a, Clock::time_point b);
QString fixed(double value, int decimals);
QString loadAverage();                  // 1, 5 and 15 minutes
qint64 parseRate(QString text);         // "8M", "2500k": per second; 0 when unreadable
void readFileInto(const QString &path); // the page cache: timed reads then find it there
double num(const Values &v, const QString &key, double otherwise = -1.0);
// "  title: key value, key value" for the keys given (all when none).
void printValues(const QString &title, const Values &v, const QStringList &keys = {});
// Rows under a header, columns aligned.
void printTable(const QStringList &header, const std::vector<QStringList> &rows);

struct Stats
{
    std::vector<double> values;
    void add(double v) { values.push_back(v); }
    bool empty() const { return values.empty(); }
    size_t size() const { return values.size(); }
    double mean() const;
    double median() const;
    double min() const { return quantile(0.0); }
    double max() const { return quantile(1.0); }
    double quantile(double q) const;      // q in 0..1; 0 when empty
    QString text(int decimals = 1) const; // "median (min-max)"
};

struct Option
{
    const char *name;
    const char *value; // the default; nullptr: a flag
    const char *help;
};

class Options
{
public:
    bool parse(const QStringList &args, const std::vector<Option> &known, QString *error);
    QString str(const char *name) const { return mValues.value(QLatin1String(name)); }
    int integer(const char *name) const { return str(name).toInt(); }
    double real(const char *name) const { return str(name).toDouble(); }
    bool flag(const char *name) const { return mValues.contains(QLatin1String(name)); }
    QStringList list(const char *name) const { return str(name).split(',', Qt::SkipEmptyParts); }

private:
    QMap<QString, QString> mValues;
};

enum class Display { None, Offscreen, X }; // X: players in windows, run.sh starts Xvfb

struct Scenario
{
    const char *name;
    const char *what;
    std::vector<Option> options;
    int (*run)(const Options &); // 0: every target met, 1: one missed, more: failed
    Display display;
};

struct ChildRun
{
    int exitCode = -1; // -1: killed, or never started
    double cpuS = 0.0; // user + system of its threads and waited-for children (wait4), s
    double wallS = 0.0;
    qint64 maxRssKiB = 0;
    double xServerS = -1.0; // the X server's CPU meanwhile
    QString stdoutText, stderrText;
    Values results() const;  // the RESULT lines merged
    QString failure() const; // empty when it exited 0; else its ERROR lines or the end of stderr
};

// args (PATH searched) with env added, output into logBase.out/.err, killed after timeoutS.
ChildRun runChild(const QStringList &args, const Env &env, const QString &logBase, double timeoutS);
// This program in a child mode (velmora_bench --child KIND ...), logged under logDir.
ChildRun runSelf(const QString &logDir, const QString &log, const QStringList &args, double timeoutS, const Env &env = {});
std::vector<Values> resultLines(const QString &text);
const Env &engineEnv(); // the sound device the engine's children open: no sound card here

double processCpuS(pid_t pid); // from /proc/PID/stat, clock ticks; -1 unknown
// ns on the CPU of each thread (the scheduler's own accounting), by "name#tid"; pid 0: this process.
QMap<QString, qint64> threadCpuNs(pid_t pid);
qint64 processCpuNs(pid_t pid);
pid_t findXServer();        // of $DISPLAY
void watchXServer(pid_t x); // runChild then reports its CPU

// CPU a child spends between two moments of its choosing: its own, the
// processes it started (the web engine's) by kind, the X server's.
struct CpuSnapshot
{
    double selfS = 0.0;
    QMap<pid_t, QPair<QString, double>> offspring; // kind, CPU s
    double xServerS = -1.0;
};
CpuSnapshot cpuSnapshot();
QString cpuSpan(const char *prefix, const CpuSnapshot &a, const CpuSnapshot &b); // P_self_s P_renderer_s P_web_other_s P_x_s

// mpv without user configuration, X11 output, no sound device, software
// decoding, a 1280x720 window; driven over its JSON IPC.
QStringList mpvArgs();

class Mpv
{
public:
    bool start(const QStringList &extra, const QString &socket, const Env &env, const QString &logBase);
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

} // namespace bench
