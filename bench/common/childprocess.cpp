#include "childprocess.h"

#include "benchtext.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <string>
#include <thread>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace bench {

namespace {

constexpr int kWaitPollMs = 2; // wait4() is polled this often so that a timeout can kill

pid_t gXServer = 0;

struct Spawn
{
    std::vector<std::string> argStorage;
    std::vector<char *> argv;
    std::vector<std::string> envStorage;
    std::vector<char *> envp;
    QByteArray outPath;
    QByteArray errPath;

    Spawn(const QStringList &args, const QMap<QString, QString> &env, const QString &logBase)
    {
        for (const QString &a : args)
            argStorage.push_back(QFile::encodeName(a).toStdString());
        for (std::string &s : argStorage)
            argv.push_back(s.data());
        argv.push_back(nullptr);
        for (char **e = environ; *e; ++e) {
            const QString entry = QString::fromLocal8Bit(*e);
            if (!env.contains(entry.section(QLatin1Char('='), 0, 0)))
                envStorage.push_back(*e);
        }
        for (auto it = env.begin(); it != env.end(); ++it)
            envStorage.push_back((it.key() + QLatin1Char('=') + it.value()).toStdString());
        for (std::string &s : envStorage)
            envp.push_back(s.data());
        envp.push_back(nullptr);
        outPath = logBase.isEmpty() ? QByteArray("/dev/null") : QFile::encodeName(logBase + QStringLiteral(".out"));
        errPath = logBase.isEmpty() ? QByteArray("/dev/null") : QFile::encodeName(logBase + QStringLiteral(".err"));
    }

    pid_t start()
    {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, outPath.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, errPath.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        pid_t pid = 0;
        const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0) {
            out() << "cannot start " << argv[0] << ": " << std::strerror(rc) << "\n";
            return 0;
        }
        return pid;
    }
};

QString readText(const QByteArray &path)
{
    if (path == "/dev/null")
        return QString();
    QFile file(QString::fromLocal8Bit(path));
    return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
}

} // namespace

ChildRun runChild(const QStringList &args, const QMap<QString, QString> &env, const QString &logBase, double timeoutS)
{
    ChildRun run;
    Spawn spawn(args, env, logBase);
    const double xBefore = processCpuS(gXServer);
    const Clock::time_point start = Clock::now();
    const pid_t pid = spawn.start();
    if (pid == 0)
        return run;
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
        std::this_thread::sleep_for(std::chrono::milliseconds(kWaitPollMs));
    }
    run.wallS = secondsSince(start);
    const double xAfter = processCpuS(gXServer);
    if (xBefore >= 0.0 && xAfter >= 0.0)
        run.xServerS = xAfter - xBefore;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.userS = double(usage.ru_utime.tv_sec) + double(usage.ru_utime.tv_usec) / 1e6;
    run.sysS = double(usage.ru_stime.tv_sec) + double(usage.ru_stime.tv_usec) / 1e6;
    run.maxRssKiB = usage.ru_maxrss;
    run.stdoutText = readText(spawn.outPath);
    run.stderrText = readText(spawn.errPath);
    return run;
}

pid_t startChild(const QStringList &args, const QMap<QString, QString> &env, const QString &logBase)
{
    Spawn spawn(args, env, logBase);
    return spawn.start();
}

int endChild(pid_t pid, int sig)
{
    if (pid <= 0)
        return -1;
    if (sig)
        kill(pid, sig);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

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

QMap<qint64, ThreadCpu> threadCpuNs(pid_t pid)
{
    const QString base = pid > 0 ? QStringLiteral("/proc/%1/task").arg(pid) : QStringLiteral("/proc/self/task");
    QMap<qint64, ThreadCpu> threads;
    for (const QString &task : QDir(base).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat(base + QLatin1Char('/') + task + QStringLiteral("/schedstat"));
        QFile comm(base + QLatin1Char('/') + task + QStringLiteral("/comm"));
        if (!stat.open(QIODevice::ReadOnly))
            continue; // the thread ended meanwhile
        ThreadCpu t;
        // "ns on the CPU, ns waiting for it, time slices"
        t.ns = QString::fromLatin1(stat.readAll()).section(QLatin1Char(' '), 0, 0).toLongLong();
        if (comm.open(QIODevice::ReadOnly))
            t.name = QString::fromLocal8Bit(comm.readAll()).trimmed();
        threads.insert(task.toLongLong(), t);
    }
    return threads;
}

qint64 processCpuNs(pid_t pid)
{
    const QMap<qint64, ThreadCpu> threads = threadCpuNs(pid);
    if (threads.isEmpty())
        return -1;
    qint64 total = 0;
    for (const ThreadCpu &t : threads)
        total += t.ns;
    return total;
}

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

void watchXServer(pid_t pid)
{
    gXServer = pid;
}

} // namespace bench
