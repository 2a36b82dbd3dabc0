// The analysis behind the playback benchmark's "painted late" figures.
//
// Against a straight line: paint time − pts per picture, less the straight
// line through them (its slope is the playback clock's rate against the wall
// clock); a picture more than one picture period above the line was painted
// late. The line is rigid, so it also counts the wander of the playback
// clock itself: pictures are timed by the sound device, and SDL's dummy
// device (21 ms sleeps after each 21.33 ms buffer) keeps no steady time.
//
// Against the playback clock: the clock is rebuilt from the device's buffer
// steps as the video thread computes it (end of decoded sound − one buffer
// + the wall time since the step, at most one buffer); a picture is late
// when painted more than one period after the clock reached its pts. That
// is the engine's own lateness: its waits, conversion, the event queue and
// painting.

#include "pacing.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

struct Line
{
    double intercept = 0.0;
    double slope = 0.0; // per unit of x
};

Line fit(const std::vector<double> &x, const std::vector<double> &y)
{
    const double n = double(x.size());
    double sx = 0.0, sy = 0.0, sxx = 0.0, sxy = 0.0;
    for (size_t i = 0; i < x.size(); ++i) {
        sx += x[i];
        sy += y[i];
        sxx += x[i] * x[i];
        sxy += x[i] * y[i];
    }
    Line line;
    line.slope = (n * sxy - sx * sy) / std::max(1e-9, n * sxx - sx * sx);
    line.intercept = (sy - line.slope * sx) / std::max(1.0, n);
    return line;
}

double quantile(std::vector<double> v, double q)
{
    if (v.empty())
        return NAN;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(q * double(v.size())))];
}

// Residuals of y around the straight line through (x, y).
std::vector<double> residuals(const std::vector<double> &x, const std::vector<double> &y, Line *line)
{
    const Line l = fit(x, y);
    if (line)
        *line = l;
    std::vector<double> r;
    for (size_t i = 0; i < x.size(); ++i)
        r.push_back(y[i] - (l.intercept + l.slope * x[i]));
    return r;
}

long countOver(const std::vector<double> &v, double limit)
{
    return long(std::count_if(v.begin(), v.end(), [limit](double d) { return d > limit; }));
}

// When the rebuilt playback clock reached pts (ms after play()), or NaN.
double clockReached(const std::vector<SoundStep> &sound, double chunk, double pts)
{
    const auto it = std::lower_bound(sound.begin(), sound.end(), pts,
                                     [](const SoundStep &s, double value) { return s.clock < value; });
    if (it == sound.end())
        return NAN;
    // Over this step the clock runs from clock − chunk to clock.
    return it->wall + std::max(0.0, pts - (it->clock - chunk));
}

} // namespace

void printPacing(const std::vector<PictureTimes> &pictures, const std::vector<SoundStep> &sound)
{
    std::vector<double> pts, paintOffset, deliverOffset;
    for (const PictureTimes &p : pictures) {
        if (p.painted < 0 || p.delivered < 0)
            continue;
        pts.push_back(p.pts);
        paintOffset.push_back(p.painted - p.pts);
        deliverOffset.push_back(p.delivered - p.pts);
    }
    if (pts.size() < 3)
        return;
    std::vector<double> steps;
    for (size_t i = 1; i < pts.size(); ++i)
        if (pts[i] > pts[i - 1])
            steps.push_back(pts[i] - pts[i - 1]);
    const double period = quantile(steps, 0.5);

    Line paintLine;
    const std::vector<double> paintRes = residuals(pts, paintOffset, &paintLine);
    const std::vector<double> deliverRes = residuals(pts, deliverOffset, nullptr);
    std::printf("RESULT paint_drift_ms_per_s=%.3f paint_offset_p1_ms=%.3f paint_offset_p99_ms=%.3f paint_offset_max_ms=%.3f "
                "paint_late_over_period=%ld deliver_late_over_period=%ld period_ms=%.3f pictures_timed=%zu\n",
                paintLine.slope * 1000.0, quantile(paintRes, 0.01), quantile(paintRes, 0.99), quantile(paintRes, 1.0),
                countOver(paintRes, period), countOver(deliverRes, period), period, pts.size());

    // Each stage on its own: the event queue and the paint.
    std::vector<double> queue, paint;
    for (const PictureTimes &p : pictures) {
        if (p.arrived >= 0 && p.delivered >= 0)
            queue.push_back(p.arrived - p.delivered);
        if (p.painted >= 0 && p.arrived >= 0)
            paint.push_back(p.painted - p.arrived);
    }
    std::printf("RESULT queue_p50_ms=%.3f queue_p99_ms=%.3f queue_max_ms=%.3f paint_p50_ms=%.3f paint_p99_ms=%.3f "
                "paint_max_ms=%.3f\n",
                quantile(queue, 0.5), quantile(queue, 0.99), quantile(queue, 1.0), quantile(paint, 0.5), quantile(paint, 0.99),
                quantile(paint, 1.0));

    if (sound.size() < 3) {
        std::printf("RESULT sound_steps=0\n");
        return;
    }
    // The playback clock itself against the wall clock.
    std::vector<double> wall, lag, gaps, clockSteps;
    for (size_t i = 0; i < sound.size(); ++i) {
        wall.push_back(sound[i].wall);
        lag.push_back(sound[i].wall - sound[i].clock);
        if (i > 0) {
            gaps.push_back(sound[i].wall - sound[i - 1].wall);
            clockSteps.push_back(sound[i].clock - sound[i - 1].clock);
        }
    }
    Line clockLine;
    const std::vector<double> clockRes = residuals(wall, lag, &clockLine);
    const double chunk = quantile(clockSteps, 0.5);
    std::printf("RESULT sound_steps=%zu sound_chunk_ms=%.3f sound_gap_p50_ms=%.3f sound_gap_p99_ms=%.3f sound_gap_max_ms=%.3f "
                "clock_wander_min_ms=%.3f clock_wander_max_ms=%.3f clock_drift_ms_per_s=%.3f\n",
                sound.size(), chunk, quantile(gaps, 0.5), quantile(gaps, 0.99), quantile(gaps, 1.0), quantile(clockRes, 0.0),
                quantile(clockRes, 1.0), -clockLine.slope * 1000.0);

    // Each picture against the moment the playback clock reached it.
    std::vector<double> vsClockDelivered, vsClockPainted;
    for (const PictureTimes &p : pictures) {
        const double reached = clockReached(sound, chunk, p.pts);
        if (std::isnan(reached) || p.painted < 0 || p.delivered < 0)
            continue;
        vsClockDelivered.push_back(p.delivered - reached);
        vsClockPainted.push_back(p.painted - reached);
    }
    std::printf("RESULT vs_clock_pictures=%zu vs_clock_deliver_p50_ms=%.3f vs_clock_deliver_p99_ms=%.3f "
                "vs_clock_paint_p50_ms=%.3f vs_clock_paint_p99_ms=%.3f vs_clock_paint_max_ms=%.3f vs_clock_late=%ld\n",
                vsClockPainted.size(), quantile(vsClockDelivered, 0.5), quantile(vsClockDelivered, 0.99),
                quantile(vsClockPainted, 0.5), quantile(vsClockPainted, 0.99), quantile(vsClockPainted, 1.0),
                countOver(vsClockPainted, period));
}

void writePacingTrace(const QString &path, const std::vector<PictureTimes> &pictures, const std::vector<SoundStep> &sound)
{
    if (FILE *f = std::fopen(path.toLocal8Bit().constData(), "w")) {
        std::fprintf(f, "pts_ms,delivered_ms,arrived_ms,painted_ms\n");
        for (const PictureTimes &p : pictures)
            std::fprintf(f, "%.3f,%.3f,%.3f,%.3f\n", p.pts, p.delivered, p.arrived, p.painted);
        std::fclose(f);
    }
    if (FILE *f = std::fopen((path + QStringLiteral(".sound.csv")).toLocal8Bit().constData(), "w")) {
        std::fprintf(f, "wall_ms,clock_ms\n");
        for (const SoundStep &s : sound)
            std::fprintf(f, "%.3f,%.3f\n", s.wall, s.clock);
        std::fclose(f);
    }
}
