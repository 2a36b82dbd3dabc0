#pragma once

// CPU taken by a child of the benchmark between two moments of its own
// choosing (the open and the natural end of a play), read by the child
// itself: its own threads, every process it started (the web engine's
// renderer, GPU and zygote processes are separate processes, not in the
// child's own figure) and the X server.

#include <QMap>
#include <QString>

#include <sys/types.h>

struct ProcessCpu
{
    QString kind;       // the web engine's --type= (renderer, gpu-process, zygote, utility), else the command
    double cpuS = 0.0;  // user + system, its own and its waited-for children's
};

struct CpuSnapshot
{
    double selfS = 0.0;                // this process, every thread (getrusage)
    QMap<pid_t, ProcessCpu> offspring; // every process below this one
    double xServerS = -1.0;            // -1: no X server found
};

// pid of the X server to include, 0 for none (bench::findXServer()). The
// renderer is forked from the web engine's zygote and keeps its command
// line: it is told by its pid (QWebEnginePage::renderProcessPid()), 0: none.
CpuSnapshot takeCpuSnapshot(pid_t xServer, pid_t renderer = 0);

// What the processes below this one took between two snapshots, by kind
// ("renderer", ...); a process that started in between counts from zero.
QMap<QString, double> offspringCpuS(const CpuSnapshot &before, const CpuSnapshot &after);

// "RESULT <prefix>_self_s=... <prefix>_renderer_s=... <prefix>_web_other_s=...
// <prefix>_x_s=... <prefix>_processes=kind:pid,..." for the span between two snapshots.
void printCpuSpan(const char *prefix, const CpuSnapshot &before, const CpuSnapshot &after);
