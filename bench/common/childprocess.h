#pragma once

// Child processes of the benchmarks: each program measured runs alone in a
// process of its own, so that its CPU time and peak memory come from
// wait4() and nothing of the benchmark itself is counted. Children of the
// benchmark's own binary print their figures as "RESULT key=value ..." lines.

#include <QMap>
#include <QString>
#include <QStringList>

#include <sys/types.h>

#include <vector>

namespace bench {

struct ChildRun
{
    bool started = false;
    bool timedOut = false;
    int exitCode = -1;      // -1: killed by a signal
    double userS = 0.0;
    double sysS = 0.0;
    double wallS = 0.0;
    qint64 maxRssKiB = 0;
    double xServerS = -1.0; // CPU the X server spent meanwhile (-1: not watched)
    QString stdoutText;
    QString stderrText;
    double cpuS() const { return userS + sysS; }
};

// Starts args (PATH searched) with env added to this process's environment,
// stdin from /dev/null and stdout/stderr into logBase.out/.err (or
// /dev/null when logBase is empty); waits, killing it after timeoutS.
ChildRun runChild(const QStringList &args, const QMap<QString, QString> &env, const QString &logBase, double timeoutS);

// The same, without waiting: the process id, or 0 when it did not start.
pid_t startChild(const QStringList &args, const QMap<QString, QString> &env, const QString &logBase);
// Sends sig (unless 0), waits for the process and returns its exit code (-1: killed).
int endChild(pid_t pid, int sig);

// key=value pairs of every "RESULT" line, in order; all of them merged.
std::vector<QMap<QString, QString>> resultLines(const QString &text);
QMap<QString, QString> mergedResults(const QString &text);
// The child's "ERROR" lines, or the end of its stderr.
QString errorLines(const ChildRun &run);

// user + system CPU seconds of a running process from /proc/PID/stat, in
// clock ticks (10 ms); -1 if unknown.
double processCpuS(pid_t pid);
// CPU time in ns of every thread a process has now, from the scheduler's
// own accounting (/proc/PID/task/*/schedstat): exact where clock ticks are
// too coarse for an idle process. -1 if unknown; 0 for the calling process
// is allowed (pid 0 = this process).
qint64 processCpuNs(pid_t pid);

// CPU time in ns of each thread a process has now, by thread id, with the
// thread's name.
struct ThreadCpu
{
    QString name;
    qint64 ns = 0;
};
QMap<qint64, ThreadCpu> threadCpuNs(pid_t pid);

// The X server of $DISPLAY (Xvfb, Xorg), 0 when not found; runChild reports
// its CPU around each child once watchXServer was given it.
pid_t findXServer();
void watchXServer(pid_t pid);

} // namespace bench
