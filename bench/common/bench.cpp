// Output, statistics, child processes and their CPU, mpv over its JSON IPC.

#include "bench.h"

#include <QJsonDocument>
#include <QRegularExpression>

#include <csignal>
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

pid_t xServer() // of $DISPLAY, 0 when none
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

double xServerCpuS()
{
    const QStringList f = xServer() > 0 ? statFields(xServer()) : QStringList();
    return f.size() > 12 ? ticksToS(f, 11, 12) : -1.0;
}

QProcessEnvironment environment(const Values &env) // this process's, env added
{
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    for (auto it = env.begin(); it != env.end(); ++it)
        e.insert(it.key(), it.value());
    return e;
}

} // namespace

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

QString readText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
}

QString loadAverage() { return readText("/proc/loadavg").section(' ', 0, 2); }

qint64 parseRate(QString text)
{
    const qint64 scale = text.endsWith('M') ? 1000000 : text.endsWith('k') ? 1000 : 1;
    text.chop(scale == 1 ? 0 : 1);
    return qint64(std::max(0.0, text.toDouble()) * double(scale));
}

double num(const Values &v, const QString &key, double otherwise)
{
    bool ok = false;
    const double value = v.value(key).toDouble(&ok);
    return ok ? value : otherwise;
}

void result(const Values &v)
{
    QStringList pairs;
    for (auto it = v.begin(); it != v.end(); ++it)
        pairs << it.key() + '=' + (it.value().isEmpty() ? "none" : QString(it.value()).replace(' ', '_'));
    out() << "RESULT " << pairs.join(' ') << Qt::endl;
}

int childError(const QString &what, int code)
{
    out() << "ERROR " << what << Qt::endl;
    return code;
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

QString largest(std::vector<std::pair<double, QString>> items, size_t n, int decimals)
{
    std::sort(items.rbegin(), items.rend());
    QStringList text;
    for (size_t i = 0; i < items.size() && i < n; ++i)
        text << items[i].second + ':' + fixed(items[i].first, decimals);
    return text.join(',');
}

double Stats::mean() const
{
    double sum = 0.0;
    for (double v : values)
        sum += v;
    return values.empty() ? NAN : sum / double(values.size());
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
    return v.empty() ? NAN : v[std::min(v.size() - 1, size_t(std::max(0.0, q) * double(v.size())))];
}

QString Stats::text(int decimals) const
{
    return "%1 (%2-%3)"_s.arg(fixed(median(), decimals), fixed(min(), decimals), fixed(max(), decimals));
}

void Stats::addTo(Values &v, const QString &name, int decimals) const
{
    v.insert(name + "_p50", fixed(quantile(0.5), decimals));
    v.insert(name + "_p99", fixed(quantile(0.99), decimals));
    v.insert(name + "_max", fixed(max(), decimals));
}

std::vector<Values> ChildRun::lines() const
{
    std::vector<Values> lines;
    for (const QString &line : stdoutText.split('\n').filter(QRegularExpression("^RESULT "))) {
        lines.emplace_back();
        for (const QString &pair : line.mid(7).split(' ', Qt::SkipEmptyParts))
            lines.back().insert(pair.section('=', 0, 0), pair.section('=', 1));
    }
    return lines;
}

Values ChildRun::results() const
{
    Values all;
    for (const Values &line : lines())
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

Values ChildRun::measured() const
{
    Values v = results();
    v.insert({{"cpu_s", fixed(cpuS, 3)},
              {"wall_s", fixed(wallS, 3)},
              {"rss_mib", fixed(maxRssKiB / 1024.0, 0)},
              {"x_s", fixed(xServerS, 3)}});
    if (exitCode != 0)
        v.insert("note", failure());
    return v;
}

ChildRun runChild(const QStringList &args, const Values &env, const QString &logBase, double timeoutS)
{
    // GNU time reports what wait4() gives, of timeout and so of the program it waits for.
    QProcess process;
    process.setProcessEnvironment(environment(env));
    process.setStandardOutputFile(logBase + ".out");
    process.setStandardErrorFile(logBase + ".err");
    const double xBefore = xServerCpuS();
    const QString timeout = QString::number(timeoutS);
    process.start("time", QStringList{"-f", "%e %U %S %M", "-o", logBase + ".time", "timeout", "-s", "KILL", timeout} + args);
    const bool finished = process.waitForFinished(-1);
    ChildRun run;
    const QStringList usage = readText(logBase + ".time").trimmed().split('\n').last().split(' ');
    run.exitCode = finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() < 128 ? process.exitCode() : -1;
    run.wallS = usage.value(0).toDouble();
    run.cpuS = usage.value(1).toDouble() + usage.value(2).toDouble();
    run.maxRssKiB = usage.value(3).toLongLong();
    run.xServerS = xBefore >= 0.0 ? xServerCpuS() - xBefore : -1.0;
    run.stdoutText = readText(logBase + ".out");
    run.stderrText = readText(logBase + ".err");
    return run;
}

ChildRun runSelf(const QString &logDir, const QString &log, const QStringList &args, double timeoutS, const Values &env)
{
    const QStringList self{QCoreApplication::applicationFilePath(), "--child"};
    return runChild(self + args, env, QDir(logDir).filePath(log), timeoutS);
}

const Values kEngineEnv{{"SDL_AUDIODRIVER", "dummy"}};

Values medianRun(std::vector<Values> runs, const std::function<double(const Values &)> &cost)
{
    const auto ok = [](const Values &v) { return !v.contains("note"); };
    std::sort(runs.begin(), runs.end(),
              [&](const Values &a, const Values &b) { return ok(a) != ok(b) ? ok(a) : cost(a) < cost(b); });
    QStringList every;
    for (const Values &v : runs)
        every << (ok(v) ? fixed(cost(v), 3) : "failed");
    const long good = std::count_if(runs.begin(), runs.end(), ok);
    Values chosen = runs.empty() ? Values{{"note", "no run"}} : runs[size_t(std::max(0L, good - 1) / 2)];
    chosen.insert("every_cost", every.join(' '));
    return chosen;
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

CpuSnapshot cpuSnapshot()
{
    CpuSnapshot snap;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    snap.selfS =
        double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    snap.xServerS = xServerCpuS();
    // Parents come before their children: a renderer is told by its parent.
    for (const pid_t pid : processTree(getpid())) {
        const QStringList f = statFields(pid);
        if (pid == getpid() || f.size() <= 14)
            continue;
        QString kind = readText("/proc/%1/comm"_s.arg(pid)).trimmed();
        for (const QByteArray &arg : commandLine(pid))
            kind = arg.startsWith("--type=") ? QString::fromLatin1(arg.mid(7)) : kind;
        // The renderer is forked from the zygote and keeps its command line.
        if (kind == "zygote" && snap.offspring.value(pid_t(f[1].toInt())).first == "zygote")
            kind = "renderer";
        snap.offspring.insert(pid, {kind, ticksToS(f, 11, 14)}); // CPU with waited-for children
    }
    return snap;
}

void addCpuSpan(Values &v, const QString &prefix, const CpuSnapshot &a, const CpuSnapshot &b)
{
    double renderer = 0.0, other = 0.0;
    for (auto it = b.offspring.begin(); it != b.offspring.end(); ++it)
        (it->first == "renderer" ? renderer : other) += it->second - a.offspring.value(it.key()).second;
    v.insert({{prefix + "_self_s", fixed(b.selfS - a.selfS, 3)},
              {prefix + "_renderer_s", fixed(renderer, 3)},
              {prefix + "_web_other_s", fixed(other, 3)},
              {prefix + "_x_s", fixed(b.xServerS - a.xServerS, 3)}});
}

QStringList mpvArgs(const QSize &window)
{
    return {"mpv", "--no-config", "--vo=x11", "--ao=null", "--hwdec=no", "--geometry=" + sizeText(window)};
}

std::vector<pid_t> processTree(pid_t root)
{
    QMultiMap<pid_t, pid_t> children;
    for (const pid_t pid : processes())
        children.insert(pid_t(statFields(pid).value(1).toInt()), pid);
    std::vector<pid_t> tree{root};
    for (size_t i = 0; i < tree.size(); ++i)
        for (const pid_t child : children.values(tree[i]))
            tree.push_back(child);
    return tree;
}

double treeCpuS(pid_t root)
{
    double sum = 0.0;
    for (const pid_t pid : processTree(root))
        if (const QStringList f = statFields(pid); f.size() > 14)
            sum += ticksToS(f, 11, 14);
    return sum;
}

qint64 pssKiB(pid_t pid)
{
    const QString text = readText("/proc/%1/smaps_rollup"_s.arg(pid));
    const QRegularExpressionMatch m = QRegularExpression("^Pss:\\s+(\\d+) kB", QRegularExpression::MultilineOption).match(text);
    return m.captured(1).toLongLong();
}

qint64 treePssKiB(pid_t root)
{
    qint64 sum = 0;
    for (const pid_t pid : processTree(root))
        sum += pssKiB(pid);
    return sum;
}

QString viewerPath() { return QStringLiteral(VELMORA_VIEWER_EXECUTABLE); }

Values viewerEnv(const QString &profile)
{
    // Settings, file list and instance socket apart from any other viewer; the web engine's cache shared between runs.
    const QString runtime = QDir(profile).filePath("runtime");
    QDir(profile).removeRecursively();
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    Values env = kEngineEnv;
    env.insert({{"XDG_CONFIG_HOME", QDir(profile).filePath("config")},
                {"XDG_DATA_HOME", QDir(profile).filePath("data")},
                {"XDG_CACHE_HOME", QDir(profile).filePath("../viewer_cache")},
                {"XDG_RUNTIME_DIR", runtime},
                {"QT_LOGGING_RULES", "velmora.surface.debug=true;velmora.window.debug=true"}});
    return env;
}

bool Launch::start(const QStringList &args, const Values &env)
{
    mProcess.setProcessEnvironment(environment(env));
    mProcess.setProcessChannelMode(QProcess::MergedChannels);
    started = Clock::now();
    mProcess.start(args.value(0), args.mid(1));
    return mProcess.waitForStarted();
}

void Launch::read()
{
    const double at = msSince(started);
    mPartial += QString::fromLocal8Bit(mProcess.readAll());
    for (int end; (end = mPartial.indexOf('\n')) >= 0; mPartial.remove(0, end + 1))
        mLines.emplace_back(at, mPartial.left(end));
}

double Launch::lineMs(const QString &text, int timeoutMs)
{
    for (size_t seen = 0;;) {
        for (; seen < mLines.size(); ++seen)
            if (mLines[seen].second.contains(text))
                return mLines[seen].first;
        const int left = timeoutMs - int(msSince(started));
        if (left <= 0 || !running())
            return -1.0;
        mProcess.waitForReadyRead(std::min(left, 100));
        read();
    }
}

void Launch::wait(int ms)
{
    for (const Clock::time_point begin = Clock::now(); msSince(begin) < ms;) {
        if (!running() || !mProcess.waitForReadyRead(std::max(1, std::min(100, ms - int(msSince(begin))))))
            sleepMs(std::min(100, std::max(0, ms - int(msSince(begin)))));
        read();
    }
}

int Launch::count(const QString &text) const
{
    return int(std::count_if(mLines.begin(), mLines.end(), [&](const auto &line) { return line.second.contains(text); }));
}

bool Launch::xdotool(const QStringList &args)
{
    QProcess x;
    x.start("xdotool", args);
    return x.waitForFinished(10000) && x.exitCode() == 0;
}

QString Launch::window()
{
    QProcess search;
    search.start("xdotool", {"search", "--onlyvisible", "--pid", QString::number(pid())});
    search.waitForFinished(10000);
    QString best;
    qint64 bestArea = -1;
    for (const QString &id : QString::fromLatin1(search.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts)) {
        QProcess geometry;
        geometry.start("xdotool", {"getwindowgeometry", "--shell", id});
        geometry.waitForFinished(10000);
        const QString text = QString::fromLatin1(geometry.readAllStandardOutput());
        const auto field = [&](const char *name) {
            return QRegularExpression("%1=(\\d+)"_s.arg(QLatin1String(name))).match(text).captured(1).toLongLong();
        };
        if (field("WIDTH") * field("HEIGHT") > bestArea)
            best = id, bestArea = field("WIDTH") * field("HEIGHT");
    }
    return best;
}

void Launch::stop()
{
    if (mProcess.state() == QProcess::NotRunning)
        return;
    read();
    const std::vector<pid_t> tree = processTree(pid());
    for (auto it = tree.rbegin(); it != tree.rend(); ++it)
        kill(*it, SIGKILL);
    mProcess.waitForFinished(10000);
    QFile log(mLogBase + ".log");
    if (log.open(QIODevice::WriteOnly | QIODevice::Truncate))
        for (const auto &line : mLines)
            log.write(QString("[%1] %2\n").arg(fixed(line.first, 1), line.second).toLocal8Bit());
}

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
        sleepMs(kMpvPollMs);
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
    for (const Clock::time_point begin = Clock::now(); msSince(begin) < kMpvTimeoutMs; sleepMs(kMpvPollMs)) {
        const auto reply = request({"get_property", "time-pos"});
        if (!reply || reply->value("error").toString() == "success")
            return reply.has_value();
    }
    return false;
}

void Mpv::quit()
{
    send({"quit"});
    mProcess.waitForFinished(kMpvTimeoutMs);
}

} // namespace bench
