// Other processes: their CPU, the X server, mpv over its JSON IPC.

#include "bench.h"

#include <QJsonDocument>

#include <sys/resource.h>
#include <unistd.h>

namespace bench {

namespace {

constexpr int kMpvTimeoutMs = 60000; // any answer of mpv, through a throttled card included
constexpr int kMpvPollMs = 20;       // mpv makes its socket, and loads a file, a little after asked

QList<QByteArray> commandLine(qint64 pid)
{
    QFile file("/proc/%1/cmdline"_s.arg(pid));
    return file.open(QIODevice::ReadOnly) ? file.readAll().split('\0') : QList<QByteArray>();
}

// The fields of /proc/PID/stat after the command: [1] ppid, [11] utime, [12] stime, [13] cutime, [14] cstime.
QStringList statFields(qint64 pid)
{
    const QString text = readText("/proc/%1/stat"_s.arg(pid));
    return text.mid(text.lastIndexOf(')') + 2).split(' ');
}

double ticksToS(const QStringList &f, int from, int to)
{
    double sum = 0.0;
    for (int i = from; i <= to; ++i)
        sum += f.value(i).toDouble();
    return sum / double(sysconf(_SC_CLK_TCK));
}

QList<pid_t> processes()
{
    QList<pid_t> all;
    for (const QString &entry : QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        if (entry.toInt() > 0)
            all << pid_t(entry.toInt());
    return all;
}

} // namespace

pid_t xServer()
{
    static const pid_t found = [] {
        const QByteArray display = qgetenv("DISPLAY").split('.').value(0);
        for (const pid_t pid : display.isEmpty() ? QList<pid_t>() : processes()) {
            const QList<QByteArray> args = commandLine(pid);
            const QByteArray program = args.value(0).mid(args.value(0).lastIndexOf('/') + 1);
            if ((program == "Xvfb" || program == "Xorg") && args.contains(display))
                return pid;
        }
        return pid_t(0);
    }();
    return found;
}

double processCpuS(pid_t pid)
{
    const QStringList f = pid > 0 ? statFields(pid) : QStringList();
    return f.size() > 12 ? ticksToS(f, 11, 12) : -1.0;
}

QMap<QString, qint64> threadCpuNs(pid_t pid)
{
    const QString base = pid > 0 ? "/proc/%1/task/"_s.arg(pid) : "/proc/self/task/";
    QMap<QString, qint64> threads;
    // schedstat: ns on the CPU, ns waiting for it, time slices
    for (const QString &task : QDir(base).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        threads.insert(readText(base + task + "/comm").simplified().replace(' ', '_') + '#' + task,
                       readText(base + task + "/schedstat").section(' ', 0, 0).toLongLong());
    return threads;
}

qint64 processCpuNs(pid_t pid)
{
    qint64 total = 0;
    for (qint64 ns : threadCpuNs(pid))
        total += ns;
    return total;
}

CpuSnapshot cpuSnapshot()
{
    CpuSnapshot snap;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    snap.selfS =
        double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    snap.xServerS = processCpuS(xServer());
    QMap<pid_t, QPair<pid_t, double>> all; // parent, CPU with waited-for children
    for (const pid_t pid : processes()) {
        const QStringList f = statFields(pid);
        if (f.size() > 14)
            all.insert(pid, {f[1].toInt(), ticksToS(f, 11, 14)});
    }
    for (QList<pid_t> parents{getpid()}; !parents.isEmpty();) {
        const pid_t parent = parents.takeFirst();
        for (auto it = all.begin(); it != all.end(); ++it) {
            if (it->first != parent)
                continue;
            QString kind = readText("/proc/%1/comm"_s.arg(it.key())).trimmed();
            for (const QByteArray &arg : commandLine(it.key()))
                kind = arg.startsWith("--type=") ? QString::fromLatin1(arg.mid(7)) : kind;
            // The renderer is forked from the zygote and keeps its command line.
            if (kind == "zygote" && snap.offspring.value(parent).first == "zygote")
                kind = "renderer";
            snap.offspring.insert(it.key(), {kind, it->second});
            parents.append(it.key());
        }
    }
    return snap;
}

void addCpuSpan(Values &v, const QString &prefix, const CpuSnapshot &a, const CpuSnapshot &b)
{
    double renderer = 0.0, other = 0.0;
    for (auto it = b.offspring.begin(); it != b.offspring.end(); ++it)
        (it->first == "renderer" ? renderer : other) += it->second - a.offspring.value(it.key()).second;
    v.insert(prefix + "_self_s", fixed(b.selfS - a.selfS, 3));
    v.insert(prefix + "_renderer_s", fixed(renderer, 3));
    v.insert(prefix + "_web_other_s", fixed(other, 3));
    v.insert(prefix + "_x_s", fixed(b.xServerS - a.xServerS, 3));
}

QStringList mpvArgs() { return {"mpv", "--no-config", "--vo=x11", "--ao=null", "--hwdec=no", "--geometry=1280x720"}; }

bool Mpv::start(const QStringList &extra, const QString &dir, const QString &log, const Values &env)
{
    const QString socket = QDir(dir).filePath("mpv-%1.sock"_s.arg(getpid()));
    QFile::remove(socket);
    mProcess.setProcessEnvironment(environment(env));
    mProcess.setStandardOutputFile(QDir(dir).filePath(log + ".out"));
    mProcess.setStandardErrorFile(QDir(dir).filePath(log + ".err"));
    mProcess.start("mpv", mpvArgs().mid(1) << extra << "--input-ipc-server=" + socket);
    for (const Clock::time_point begin = Clock::now(); mProcess.waitForStarted() && msSince(begin) < kMpvTimeoutMs;) {
        mSocket.connectToServer(socket);
        if (mSocket.waitForConnected(kMpvPollMs))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(kMpvPollMs));
    }
    return false;
}

void Mpv::send(const QJsonArray &command)
{
    const QJsonObject message{{"command", command}, {"request_id", ++mNextId}};
    mSocket.write(QJsonDocument(message).toJson(QJsonDocument::Compact) + '\n');
    mSocket.waitForBytesWritten(kMpvTimeoutMs);
}

std::optional<QJsonObject> Mpv::waitFor(const std::function<bool(const QJsonObject &)> &match)
{
    for (const Clock::time_point begin = Clock::now();;) {
        while (mSocket.canReadLine())
            if (const QJsonObject o = QJsonDocument::fromJson(mSocket.readLine()).object(); match(o))
                return o;
        const int left = kMpvTimeoutMs - int(msSince(begin));
        if (left <= 0 || !mSocket.waitForReadyRead(left))
            return std::nullopt;
    }
}

std::optional<QJsonObject> Mpv::request(const QJsonArray &command)
{
    send(command);
    return waitFor([id = mNextId](const QJsonObject &o) { return o.value("request_id").toInt() == id; });
}

bool Mpv::waitEvent(const char *name)
{
    return waitFor([name](const QJsonObject &o) { return o.value("event").toString() == QLatin1String(name); }).has_value();
}

bool Mpv::waitLoaded()
{
    for (const Clock::time_point begin = Clock::now(); msSince(begin) < kMpvTimeoutMs;) {
        const auto reply = request({"get_property", "time-pos"});
        if (!reply || reply->value("error").toString() == "success")
            return reply.has_value();
        std::this_thread::sleep_for(std::chrono::milliseconds(kMpvPollMs));
    }
    return false;
}

void Mpv::quit()
{
    send({"quit"});
    mProcess.waitForFinished(kMpvTimeoutMs);
}

} // namespace bench
