#include "benchtext.h"

#include <QFile>

#include <algorithm>
#include <cstdio>

namespace bench {

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double msBetween(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double, std::milli>(b - a).count();
}

QString fixed(double value, int decimals)
{
    return QString::number(value, 'f', decimals);
}

QString pad(const QString &text, int width, bool right)
{
    return right ? text.rightJustified(width) : text.leftJustified(width);
}

QString sizeText(qint64 bytes)
{
    QString digits = QString::number(bytes);
    for (int at = digits.size() - 3; at > 0; at -= 3)
        digits.insert(at, QLatin1Char(' '));
    return QStringLiteral("%1 bytes (%2 GB)").arg(digits).arg(double(bytes) / 1e9, 0, 'f', 2);
}

QString loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("?");
    return QString::fromLatin1(file.readAll()).section(QLatin1Char(' '), 0, 2);
}

double loadAverage1()
{
    bool ok = false;
    const double value = loadAverage().section(QLatin1Char(' '), 0, 0).toDouble(&ok);
    return ok ? value : -1.0;
}

qint64 parseRate(QString text)
{
    text = text.trimmed();
    qint64 scale = 1;
    if (text.endsWith(QLatin1Char('M'), Qt::CaseInsensitive))
        scale = 1000000;
    else if (text.endsWith(QLatin1Char('k'), Qt::CaseInsensitive))
        scale = 1000;
    if (scale != 1)
        text.chop(1);
    bool ok = false;
    const double value = text.toDouble(&ok);
    return ok && value > 0 ? qint64(value * double(scale)) : 0;
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
    std::vector<double> v = values;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n == 0 ? 0.0 : (n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0);
}

double Stats::min() const
{
    return values.empty() ? 0.0 : *std::min_element(values.begin(), values.end());
}

double Stats::max() const
{
    return values.empty() ? 0.0 : *std::max_element(values.begin(), values.end());
}

double Stats::quantile(double q) const
{
    if (values.empty())
        return 0.0;
    std::vector<double> v = values;
    std::sort(v.begin(), v.end());
    const size_t at = std::min(v.size() - 1, size_t(std::max(0.0, q) * double(v.size())));
    return v[at];
}

} // namespace bench
