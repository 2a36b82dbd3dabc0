// The report of the telemetry part: CPU of the bare engine and of the main
// window while playing, the window's tick and its repaints.

#include "telemetry.h"

#include <functional>

using namespace bench;

namespace {

constexpr int kLabelWidth = 44;
constexpr int kColumnWidth = 14;

QString perMedia(double seconds, double media)
{
    return seconds < 0.0 ? QStringLiteral("-") : fixed(seconds / media, 3);
}

// Megapixels the engine converted and painted over the play.
double megapixels(const TelemetrySpan &s)
{
    const QString picture = s.v.value(QStringLiteral("picture"));
    return s.value(QStringLiteral("shown")) * picture.section(QLatin1Char('x'), 0, 0).toDouble()
           * picture.section(QLatin1Char('x'), 1, 1).toDouble() / 1e6;
}

void printTicks(const TelemetrySpan &b, const char *phase, const QString &title)
{
    const auto v = [&](const char *key, int decimals = 3) {
        return fixed(b.value(QStringLiteral("%1_%2").arg(QLatin1String(phase), QLatin1String(key))), decimals);
    };
    out() << "    " << title << ": " << v("ticks", 0) << " ticks; CPU median " << v("tick_cpu_p50_ms") << " ms, 99th "
          << v("tick_cpu_p99_ms") << ", max " << v("tick_cpu_max_ms") << "; wall median " << v("tick_wall_p50_ms") << " ms, 99th "
          << v("tick_wall_p99_ms") << ", max " << v("tick_wall_max_ms") << "; over 2 ms of CPU: " << v("ticks_over_2ms", 0) << "\n";
    out() << "      paints per s: gauge " << v("gauge_paints_per_s", 2) << ", compass " << v("compass_paints_per_s", 2) << ", chart "
          << v("chart_paints_per_s", 2) << ", video surface " << v("video_paints_per_s", 2) << "; needle steps per s: gauge "
          << v("gauge_steps_per_s", 2) << ", compass " << v("compass_steps_per_s", 2) << "; map calls per s "
          << v("map_calls_per_s", 2) << "\n";
}

void printWindow(const QString &title, const TelemetrySpan &b)
{
    const auto key = [&](const char *k) { return b.value(QLatin1String(k)); };
    const auto text = [&](const char *k) { return b.v.value(QLatin1String(k)); };
    out() << "\n  " << title << ": window " << text("window") << " on a " << text("screen") << " screen, video surface "
          << text("surface") << "; "
          << (text("map") != QLatin1String("1")
                  ? QStringLiteral("no map page")
                  : QStringLiteral("map page %1, web view drawn by %2")
                        .arg(text("map_loaded") == QLatin1String("1")
                                 ? QStringLiteral("loaded after %1 ms (tiles unreachable offline)").arg(text("map_load_ms"))
                                 : QStringLiteral("NOT loaded"),
                             text("scene_graph") == QLatin1String("software") ? QStringLiteral("Qt Quick's software renderer")
                                                                             : QStringLiteral("OpenGL")))
          << "; GPS track " << text("gps_count") << " records, valid " << text("gps_valid") << "\n";
    out() << "    processes started while playing, CPU s by kind: " << text("play_by_kind") << " (" << text("play_processes")
          << "); at exit the process had " << fixed(key("exit_self_s"), 2) << " s of its own and " << fixed(key("exit_children_s"), 2)
          << " s of its waited-for children (what wait4() adds)\n";
    out() << "    the 500 ms tick on the GUI thread (slotTimerTimeOut, through the timer's event):\n";
    printTicks(b, "play", QStringLiteral("playing"));
    printTicks(b, "paused", QStringLiteral("paused (needles standing)"));
    const double pausedWall = key("paused_wall_s");
    out() << "    paused " << fixed(pausedWall, 1) << " s (needles still " << fixed(key("needles_still_after_ms"), 0)
          << " ms after the pause), CPU s per wall s: process " << fixed(key("paused_self_s") / pausedWall, 5) << ", renderer "
          << fixed(key("paused_renderer_s") / pausedWall, 5) << ", other web engine processes "
          << fixed(key("paused_web_other_s") / pausedWall, 5) << ", X server " << fixed(key("paused_x_s") / pausedWall, 5) << "\n";
}

} // namespace

const TelemetrySpan &medianSpan(std::vector<TelemetrySpan> &spans)
{
    std::sort(spans.begin(), spans.end(), [](const TelemetrySpan &a, const TelemetrySpan &b) {
        return a.ok != b.ok ? a.ok : a.total() < b.total();
    });
    const auto good = std::count_if(spans.begin(), spans.end(), [](const TelemetrySpan &x) { return x.ok; });
    return spans[size_t(std::max<long>(0, long(good) - 1) / 2)];
}

void printTelemetryReport(const std::vector<TelemetryColumn> &columns, const MediaInfo &m)
{
    std::vector<TelemetryColumn> shown;
    for (const TelemetryColumn &c : columns) {
        if (!c.median)
            continue;
        if (!c.median->ok) {
            out() << "  " << c.title << " failed: " << c.median->note << "\n";
            return;
        }
        shown.push_back(c);
    }
    const TelemetrySpan &a = *shown.front().median;
    const double media = m.duration;
    // A row: the figure of every column, then each one's ratio to the engine's.
    const auto row = [&](const QString &label, const std::function<QString(const TelemetrySpan &)> &cell,
                         const std::function<double(const TelemetrySpan &)> &ratioOf = nullptr) {
        out() << "    " << pad(label, kLabelWidth, false);
        for (const TelemetryColumn &c : shown)
            out() << pad(cell(*c.median), kColumnWidth);
        for (size_t i = 1; ratioOf && i < shown.size(); ++i)
            out() << pad(fixed(ratioOf(*shown[i].median) / ratioOf(a), 2), kColumnWidth);
        out() << "\n";
    };
    const auto seconds = [&](const char *k) {
        return [k, media](const TelemetrySpan &s) { return perMedia(s.value(QLatin1String(k)), media); };
    };
    const auto value = [](const char *k) { return [k](const TelemetrySpan &s) { return s.value(QLatin1String(k)); }; };
    const auto withX = [](const TelemetrySpan &s) { return s.total() + s.value(QStringLiteral("play_x_s")); };

    out() << "\n  CPU s per media s from the open to the natural end (" << fixed(media, 3) << " s of media; of each, the median play of "
          << shown.front().all->size() << " by total CPU):\n";
    out() << "    " << pad(QString(), kLabelWidth, false);
    for (const TelemetryColumn &c : shown)
        out() << pad(c.title, kColumnWidth);
    for (size_t i = 1; i < shown.size(); ++i)
        out() << pad(QStringLiteral("%1/(a)").arg(shown[i].title.section(QLatin1Char(' '), -1)), kColumnWidth);
    out() << "\n";
    row(QStringLiteral("the process, every thread"), seconds("play_self_s"), value("play_self_s"));
    row(QStringLiteral("web engine renderer process"), seconds("play_renderer_s"));
    row(QStringLiteral("other web engine processes"), seconds("play_web_other_s"));
    row(QStringLiteral("total"), [&](const TelemetrySpan &s) { return perMedia(s.total(), media); },
        [](const TelemetrySpan &s) { return s.total(); });
    row(QStringLiteral("X server"), seconds("play_x_s"));
    row(QStringLiteral("total + X server"), [&](const TelemetrySpan &s) { return perMedia(withX(s), media); }, withX);
    row(QStringLiteral("picture shown"), [](const TelemetrySpan &s) { return s.v.value(QStringLiteral("picture")); });
    row(QStringLiteral("total CPU ms per megapixel shown"),
        [](const TelemetrySpan &s) { return fixed(s.total() * 1e3 / megapixels(s), 3); },
        [](const TelemetrySpan &s) { return s.total() / megapixels(s); });
    row(QStringLiteral("pictures shown / dropped"), [](const TelemetrySpan &s) {
        return QStringLiteral("%1 / %2").arg(s.v.value(QStringLiteral("shown")), s.v.value(QStringLiteral("dropped")));
    });
    row(QStringLiteral("start to exit, wait4(): CPU s per media s"),
        [&](const TelemetrySpan &s) { return perMedia(s.run.cpuS(), media); });
    row(QStringLiteral("start to exit: wall s, X server s"), [](const TelemetrySpan &s) {
        return QStringLiteral("%1, %2").arg(fixed(s.run.wallS, 1), fixed(s.run.xServerS, 2));
    });
    for (const TelemetryColumn &c : shown) {
        QStringList each;
        for (const TelemetrySpan &s : *c.all)
            each << (s.ok ? fixed(s.total() / media, 3) : QStringLiteral("failed"));
        out() << "    " << c.title << ", every play, total CPU s per media s: " << each.join(QLatin1Char(' ')) << "\n";
    }
    for (size_t i = 1; i < shown.size(); ++i)
        printWindow(shown[i].title, *shown[i].median);
}
