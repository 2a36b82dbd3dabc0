#include "bench.h"

#include <QCoreApplication>
#include <QRegularExpression>

namespace bench {

QProcessEnvironment environment(const Values &env)
{
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    for (auto it = env.begin(); it != env.end(); ++it)
        e.insert(it.key(), it.value());
    return e;
}

QString readText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
}

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

double msBetween(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double, std::milli>(b - a).count(); }
double msSince(Clock::time_point start) { return msBetween(start, Clock::now()); }
QString fixed(double value, int decimals) { return QString::number(value, 'f', decimals); }
QString sizeText(const QSize &s) { return "%1x%2"_s.arg(s.width()).arg(s.height()); }
QString verdict(bool met) { return met ? "met" : "MISSED"; }
QString loadAverage() { return readText("/proc/loadavg").section(' ', 0, 2); }

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
    if (file.open(QIODevice::ReadOnly))
        while (file.read(chunk.data(), chunk.size()) > 0) {
        }
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

bool Options::parse(const QStringList &args, const std::vector<Option> &known, QString *error)
{
    for (const Option &o : known)
        if (o.value)
            values.insert(QLatin1String(o.name), QLatin1String(o.value));
    for (int i = 0; i < args.size(); ++i) {
        const auto it =
            std::find_if(known.begin(), known.end(), [&](const Option &o) { return args[i] == "--" + QLatin1String(o.name); });
        if (it == known.end() || (it->value && i + 1 >= args.size())) {
            *error = "unknown option or missing value: " + args[i];
            return false;
        }
        values.insert(QLatin1String(it->name), it->value ? args[++i] : QString());
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
    const double xBefore = processCpuS(xServer());
    const QString timeout = QString::number(timeoutS);
    process.start("time", QStringList{"-f", "%e %U %S %M", "-o", logBase + ".time", "timeout", "-s", "KILL", timeout} + args);
    const bool finished = process.waitForFinished(-1);
    ChildRun run;
    const QStringList usage = readText(logBase + ".time").trimmed().split('\n').last().split(' ');
    run.exitCode = finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() < 128 ? process.exitCode() : -1;
    run.wallS = usage.value(0).toDouble();
    run.cpuS = usage.value(1).toDouble() + usage.value(2).toDouble();
    run.maxRssKiB = usage.value(3).toLongLong();
    run.xServerS = xBefore >= 0.0 ? processCpuS(xServer()) - xBefore : -1.0;
    run.stdoutText = readText(logBase + ".out");
    run.stderrText = readText(logBase + ".err");
    return run;
}

ChildRun runSelf(const QString &logDir, const QString &log, const QStringList &args, double timeoutS, const Values &env)
{
    const QStringList self{QCoreApplication::applicationFilePath(), "--child"};
    return runChild(self + args, env, QDir(logDir).filePath(log), timeoutS);
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

const Values &engineEnv()
{
    static const Values env{{"SDL_AUDIODRIVER", "dummy"}};
    return env;
}

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

} // namespace bench
