#include "cpusnapshot.h"

#include "childprocess.h"

#include <QDir>
#include <QFile>
#include <QStringList>

#include <cstdio>

#include <sys/resource.h>
#include <unistd.h>

namespace {

struct StatLine
{
    pid_t ppid = 0;
    double cpuS = 0.0; // utime + stime + cutime + cstime
};

bool readStat(pid_t pid, StatLine &line)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = file.readAll();
    // After the command: state, ppid, ..., utime (12th), stime, cutime, cstime.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 15)
        return false;
    const double ticks = double(sysconf(_SC_CLK_TCK));
    line.ppid = pid_t(fields.at(1).toInt());
    line.cpuS = (fields.at(11).toDouble() + fields.at(12).toDouble() + fields.at(13).toDouble() + fields.at(14).toDouble()) / ticks;
    return true;
}

QString processKind(pid_t pid)
{
    QFile file(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("?");
    const QList<QByteArray> args = file.readAll().split('\0');
    for (const QByteArray &arg : args)
        if (arg.startsWith("--type="))
            return QString::fromLatin1(arg.mid(7));
    const QByteArray program = args.value(0);
    return QString::fromLocal8Bit(program.mid(program.lastIndexOf('/') + 1));
}

double seconds(const timeval &t)
{
    return double(t.tv_sec) + double(t.tv_usec) / 1e6;
}

} // namespace

CpuSnapshot takeCpuSnapshot(pid_t xServer, pid_t renderer)
{
    CpuSnapshot snap;
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    snap.selfS = seconds(usage.ru_utime) + seconds(usage.ru_stime);

    QMap<pid_t, StatLine> all;
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool isPid = false;
        const pid_t pid = pid_t(entry.toInt(&isPid));
        StatLine line;
        if (isPid && readStat(pid, line))
            all.insert(pid, line);
    }
    QList<pid_t> parents{getpid()};
    while (!parents.isEmpty()) {
        const pid_t parent = parents.takeFirst();
        for (auto it = all.begin(); it != all.end(); ++it) {
            if (it->ppid != parent)
                continue;
            const QString kind = it.key() == renderer ? QStringLiteral("renderer") : processKind(it.key());
            snap.offspring.insert(it.key(), {kind, it->cpuS});
            parents.append(it.key());
        }
    }
    if (xServer > 0)
        snap.xServerS = bench::processCpuS(xServer);
    return snap;
}

QMap<QString, double> offspringCpuS(const CpuSnapshot &before, const CpuSnapshot &after)
{
    QMap<QString, double> byKind;
    for (auto it = after.offspring.begin(); it != after.offspring.end(); ++it)
        byKind[it->kind] += it->cpuS - before.offspring.value(it.key()).cpuS;
    return byKind;
}

void printCpuSpan(const char *prefix, const CpuSnapshot &before, const CpuSnapshot &after)
{
    const QMap<QString, double> byKind = offspringCpuS(before, after);
    double renderer = 0.0;
    double other = 0.0;
    QStringList each;
    for (auto it = byKind.begin(); it != byKind.end(); ++it) {
        (it.key() == QLatin1String("renderer") ? renderer : other) += it.value();
        each << QStringLiteral("%1:%2").arg(it.key()).arg(it.value(), 0, 'f', 2);
    }
    QStringList processes;
    for (auto it = after.offspring.begin(); it != after.offspring.end(); ++it)
        processes << QStringLiteral("%1:%2").arg(it->kind).arg(it.key());
    const double x = before.xServerS >= 0.0 && after.xServerS >= 0.0 ? after.xServerS - before.xServerS : -1.0;
    std::printf("RESULT %s_self_s=%.3f %s_renderer_s=%.3f %s_web_other_s=%.3f %s_x_s=%.3f %s_by_kind=%s %s_processes=%s\n",
                prefix, after.selfS - before.selfS, prefix, renderer, prefix, other, prefix, x, prefix,
                qPrintable(each.isEmpty() ? QStringLiteral("none") : each.join(QLatin1Char(','))), prefix,
                qPrintable(processes.isEmpty() ? QStringLiteral("none") : processes.join(QLatin1Char(','))));
    std::fflush(stdout);
}
