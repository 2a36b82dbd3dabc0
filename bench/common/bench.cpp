#include "bench.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>

#include <algorithm>
#include <thread>

#include <sys/resource.h>
#include <unistd.h>

namespace bench {

namespace {

constexpr int kMpvTimeoutMs = 60000; // any answer of mpv, through a throttled card included
constexpr int kMpvPollMs = 20;       // mpv makes its socket, and loads a file, a little after asked

pid_t gXServer = 0;

QString readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
}

// The fields of /proc/PID/stat after the command: [1] ppid, [11] utime, [12] stime, [13] cutime, [14] cstime.
QStringList statFields(qint64 pid)
{
    const QString text = readAll("/proc/%1/stat"_s.arg(pid));
    return text.mid(text.lastIndexOf(')') + 2).split(' ');
}

QProcessEnvironment environment(const Env &env)
{
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    for (auto it = env.begin(); it != env.end(); ++it)
        e.insert(it.key(), it.value());
    return e;
}

double seconds(const timeval &user, const timeval &system)
{
    return double(user.tv_sec + system.tv_sec) + double(user.tv_usec + system.tv_usec) / 1e6;
}

} // namespace

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }
double msBetween(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double, std::milli>(b - a).count(); }
QString fixed(double value, int decimals) { return QString::number(value, 'f', decimals); }
QString loadAverage() { return readAll("/proc/loadavg").section(' ', 0, 2); }

qint64 parseRate(QString text)
{
    const qint64 scale = text.endsWith('M') ? 1000000 : text.endsWith('k') ? 1000 : 1;
    text.chop(scale == 1 ? 0 : 1);
    return qint64(std::max(0.0, text.toDouble()) * double(scale));
}

void readFileInto(const QString &path)
{
    QFile file(path);
    QByteArray chunk(4 << 20, Qt::Uninitialized);
    while (file.isOpen() || file.open(QIODevice::ReadOnly))
        if (file.read(chunk.data(), chunk.size()) <= 0)
            break;
}

double num(const Values &v, const QString &key, double otherwise)
{
    bool ok = false;
    const double value = v.value(key).toDouble(&ok);
    return ok ? value : otherwise;
}

void printValues(const QString &title, const Values &v, const QStringList &keys)
{
    QStringList items;
    for (const QString &key : keys.isEmpty() ? QStringList(v.keys()) : keys)
        items << key + ' ' + v.value(key, "-");
    out() << "  " << title << ": " << items.join(", ") << Qt::endl;
}

void printTable(const QStringList &header, const std::vector<QStringList> &rows)
{
    std::vector<QStringList> all{header};
    all.insert(all.end(), rows.begin(), rows.end());
    std::vector<int> width(size_t(header.size()));
    for (const QStringList &row : all)
        for (int i = 0; i < header.size(); ++i)
            width[size_t(i)] = std::max(width[size_t(i)], int(row.value(i).size()));
    for (const QStringList &row : all) {
        out() << "  " << row.value(0).leftJustified(width[0]);
        for (int i = 1; i < header.size(); ++i)
            out() << "  " << row.value(i).rightJustified(width[size_t(i)]);
        out() << "\n";
    }
    out().flush();
}

double Stats::mean() const
{
    double sum = 0.0;
    for (double v : values)
        sum += v;
    return values.empty() ? 0.0 : sum / double(values.size());
}

double Stats::median() const
{
    const size_t n = values.size();
    return n % 2 ? quantile(0.5) : (quantile(0.5 - 0.5 / double(n)) + quantile(0.5)) / 2.0;
}

double Stats::quantile(double q) const
{
    std::vector<double> v = values;
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[std::min(v.size() - 1, size_t(std::max(0.0, q) * double(v.size())))];
}

QString Stats::text(int decimals) const
{
    return "%1 (%2-%3)"_s.arg(fixed(median(), decimals), fixed(min(), decimals), fixed(max(), decimals));
}

bool Options::parse(const QStringList &args, const std::vector<Option> &known, QString *error)
{
    for (const Option &o : known)
        if (o.value)
            mValues.insert(QLatin1String(o.name), QLatin1String(o.value));
    for (int i = 0; i < args.size(); ++i) {
        const auto it =
            std::find_if(known.begin(), known.end(), [&](const Option &o) { return args[i] == "--" + QLatin1String(o.name); });
        if (it == known.end() || (it->value && i + 1 >= args.size())) {
            *error = "unknown option or missing value: " + args[i];
            return false;
        }
        mValues.insert(QLatin1String(it->name), it->value ? args[++i] : QString());
    }
    return true;
}

Values ChildRun::results() const
{
    Values all;
    for (const Values &line : resultLines(stdoutText))
        all.insert(line);
    return all;
}

QString ChildRun::failure() const
{
    if (exitCode == 0)
        return QString();
    const QStringList errors = stdoutText.split('\n').filter(QRegularExpression("^ERROR"));
    return "exit %1: %2"_s.arg(exitCode).arg(errors.isEmpty() ? stderrText.right(300).trimmed() : errors.join("; "));
}

ChildRun runChild(const QStringList &args, const Env &env, const QString &logBase, double timeoutS)
{
    // GNU time reports what wait4() gives, of timeout and so of the program it waits for.
    QProcess process;
    process.setProcessEnvironment(environment(env));
    process.setStandardOutputFile(logBase + ".out");
    process.setStandardErrorFile(logBase + ".err");
    const double xBefore = processCpuS(gXServer);
    process.start("time",
                  QStringList{"-f", "%e %U %S %M", "-o", logBase + ".time", "timeout", "-s", "KILL", QString::number(timeoutS)}
                      + args);
    const bool finished = process.waitForFinished(-1);
    ChildRun run;
    const QStringList usage = readAll(logBase + ".time").trimmed().split('\n').last().split(' ');
    run.exitCode = finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() < 128 ? process.exitCode() : -1;
    run.wallS = usage.value(0).toDouble();
    run.cpuS = usage.value(1).toDouble() + usage.value(2).toDouble();
    run.maxRssKiB = usage.value(3).toLongLong();
    run.xServerS = xBefore >= 0.0 ? processCpuS(gXServer) - xBefore : -1.0;
    run.stdoutText = readAll(logBase + ".out");
    run.stderrText = readAll(logBase + ".err");
    return run;
}

ChildRun runSelf(const QString &logDir, const QString &log, const QStringList &args, double timeoutS, const Env &env)
{
    return runChild(QStringList{QCoreApplication::applicationFilePath(), "--child"} + args, env, QDir(logDir).filePath(log),
                    timeoutS);
}

std::vector<Values> resultLines(const QString &text)
{
    std::vector<Values> lines;
    for (const QString &line : text.split('\n').filter(QRegularExpression("^RESULT "))) {
        lines.emplace_back();
        for (const QString &pair : line.mid(7).split(' ', Qt::SkipEmptyParts))
            lines.back().insert(pair.section('=', 0, 0), pair.section('=', 1));
    }
    return lines;
}

const Env &engineEnv()
{
    static const Env env{{"SDL_AUDIODRIVER", "dummy"}};
    return env;
}

double processCpuS(pid_t pid)
{
    const QStringList f = pid > 0 ? statFields(pid) : QStringList();
    return f.size() > 12 ? (f[11].toDouble() + f[12].toDouble()) / double(sysconf(_SC_CLK_TCK)) : -1.0;
}

QMap<QString, qint64> threadCpuNs(pid_t pid)
{
    const QString base = pid > 0 ? "/proc/%1/task/"_s.arg(pid) : "/proc/self/task/";
    QMap<QString, qint64> threads;
    // schedstat: ns on the CPU, ns waiting for it, time slices
    for (const QString &task : QDir(base).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        threads.insert(readAll(base + task + "/comm").simplified().replace(' ', '_') + '#' + task,
                       readAll(base + task + "/schedstat").section(' ', 0, 0).toLongLong());
    return threads;
}

qint64 processCpuNs(pid_t pid)
{
    qint64 total = 0;
    for (qint64 ns : threadCpuNs(pid))
        total += ns;
    return total;
}

pid_t findXServer()
{
    const QByteArray display = qgetenv("DISPLAY").split('.').value(0);
    for (const QString &entry : QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile file("/proc/%1/cmdline"_s.arg(entry));
        const QList<QByteArray> args =
            entry.toInt() > 0 && file.open(QIODevice::ReadOnly) ? file.readAll().split('\0') : QList<QByteArray>();
        const QByteArray program = args.value(0).mid(args.value(0).lastIndexOf('/') + 1);
        if (!display.isEmpty() && (program == "Xvfb" || program == "Xorg") && args.contains(display))
            return pid_t(entry.toInt());
    }
    return 0;
}

void watchXServer(pid_t x) { gXServer = x; }

CpuSnapshot cpuSnapshot()
{
    static const pid_t xServer = findXServer();
    CpuSnapshot snap;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    snap.selfS = seconds(usage.ru_utime, usage.ru_stime);
    snap.xServerS = processCpuS(xServer);
    QMap<pid_t, QPair<pid_t, double>> all; // parent, CPU with waited-for children
    for (const QString &entry : QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QStringList f = entry.toInt() > 0 ? statFields(entry.toInt()) : QStringList();
        if (f.size() > 14)
            all.insert(entry.toInt(), {f[1].toInt(), (f[11].toDouble() + f[12].toDouble() + f[13].toDouble() + f[14].toDouble())
                                                         / double(sysconf(_SC_CLK_TCK))});
    }
    for (QList<pid_t> parents{getpid()}; !parents.isEmpty();) {
        const pid_t parent = parents.takeFirst();
        for (auto it = all.begin(); it != all.end(); ++it) {
            if (it->first != parent)
                continue;
            QString kind = readAll("/proc/%1/comm"_s.arg(it.key())).trimmed();
            QFile cmdline("/proc/%1/cmdline"_s.arg(it.key()));
            for (const QByteArray &arg : cmdline.open(QIODevice::ReadOnly) ? cmdline.readAll().split('\0') : QList<QByteArray>())
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

QString cpuSpan(const char *prefix, const CpuSnapshot &a, const CpuSnapshot &b)
{
    double renderer = 0.0, other = 0.0;
    for (auto it = b.offspring.begin(); it != b.offspring.end(); ++it)
        (it->first == "renderer" ? renderer : other) += it->second - a.offspring.value(it.key()).second;
    return "%1_self_s=%2 %1_renderer_s=%3 %1_web_other_s=%4 %1_x_s=%5"_s.arg(QLatin1String(prefix), fixed(b.selfS - a.selfS, 3),
                                                                             fixed(renderer, 3), fixed(other, 3),
                                                                             fixed(b.xServerS - a.xServerS, 3));
}

QStringList mpvArgs() { return {"mpv", "--no-config", "--vo=x11", "--ao=null", "--hwdec=no", "--geometry=1280x720"}; }

bool Mpv::start(const QStringList &extra, const QString &socket, const Env &env, const QString &logBase)
{
    QFile::remove(socket);
    mProcess.setProcessEnvironment(environment(env));
    mProcess.setStandardOutputFile(logBase + ".out");
    mProcess.setStandardErrorFile(logBase + ".err");
    mProcess.start("mpv", mpvArgs().mid(1) << extra << "--input-ipc-server=" + socket);
    for (const Clock::time_point begin = Clock::now();
         mProcess.waitForStarted() && secondsSince(begin) * 1000.0 < kMpvTimeoutMs;) {
        mSocket.connectToServer(socket);
        if (mSocket.waitForConnected(kMpvPollMs))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(kMpvPollMs));
    }
    return false;
}

void Mpv::send(const QJsonArray &command)
{
    mSocket.write(QJsonDocument(QJsonObject{{"command", command}, {"request_id", ++mNextId}}).toJson(QJsonDocument::Compact)
                  + '\n');
    mSocket.waitForBytesWritten(kMpvTimeoutMs);
}

std::optional<QJsonObject> Mpv::waitFor(const std::function<bool(const QJsonObject &)> &match)
{
    const Clock::time_point begin = Clock::now();
    for (;;) {
        while (mSocket.canReadLine())
            if (const QJsonObject o = QJsonDocument::fromJson(mSocket.readLine()).object(); match(o))
                return o;
        const int left = kMpvTimeoutMs - int(secondsSince(begin) * 1000.0);
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
    for (const Clock::time_point begin = Clock::now(); secondsSince(begin) * 1000.0 < kMpvTimeoutMs;) {
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
