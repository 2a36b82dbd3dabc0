#pragma once

// Output, formatting and small statistics shared by the benchmarks.

#include <QString>
#include <QTextStream>

#include <chrono>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

// Standard output as a text stream (one per process).
QTextStream &out();

double secondsSince(Clock::time_point start);
double msBetween(Clock::time_point a, Clock::time_point b);

QString fixed(double value, int decimals);
// Right-justified (or left-justified) to width characters.
QString pad(const QString &text, int width, bool right = true);
// "1 891 938 000 bytes (1.89 GB)"
QString sizeText(qint64 bytes);

// The 1, 5 and 15 minute load averages as /proc/loadavg gives them.
QString loadAverage();
// The 1-minute load average alone; -1 when unknown.
double loadAverage1();

// "8M", "8000k", "8000000" -> bits per second; 0 when unreadable.
qint64 parseRate(QString text);

struct Stats
{
    std::vector<double> values;
    void add(double v) { values.push_back(v); }
    bool empty() const { return values.empty(); }
    size_t size() const { return values.size(); }
    double mean() const;
    double median() const;
    double min() const;
    double max() const;
    // The value below which a share q (0..1) of the values lie.
    double quantile(double q) const;
};

} // namespace bench
