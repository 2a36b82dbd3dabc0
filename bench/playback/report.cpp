// The report of velmora_bench_playback.

#include "playback.h"

#include <algorithm>

using namespace bench;

namespace {

QString mib(qint64 kib)
{
    return QStringLiteral("%1 MiB").arg(double(kib) / 1024.0, 0, 'f', 0);
}

} // namespace

double cpuPerMedia(const PlayResult &p, const MediaInfo &m)
{
    return p.run.cpuS() / m.duration;
}

bool realTime(const PlayResult &p, const MediaInfo &m)
{
    const qint64 dropped = p.maxDropped >= 0 ? p.maxDropped : p.dropped;
    const double wall = p.maxWallPerMedia > 0.0 ? p.maxWallPerMedia : p.run.wallS / m.duration;
    return p.ok && p.failures == 0 && dropped == 0 && wall <= kRealTimeSlack;
}

void printPlayTable(const FileSummary &f)
{
    const MediaInfo &m = f.media;
    out() << "\n  " << pad(QStringLiteral("player"), 20, false) << pad(QStringLiteral("CPU s/media s"), 14)
          << pad(QStringLiteral("user+sys s"), 12) << pad(QStringLiteral("wall/media"), 12)
          << pad(QStringLiteral("shown"), 8) << pad(QStringLiteral("dropped"), 9) << pad(QStringLiteral("drop %"), 8)
          << pad(QStringLiteral("peak RSS"), 10) << pad(QStringLiteral("X server s/media s"), 20) << "\n";
    auto row = [&](const PlayResult &p) {
        if (!p.ok) {
            out() << "  " << pad(p.player, 20, false) << "  " << p.note << "\n";
            return;
        }
        const bool isFloor = p.player.startsWith(QLatin1String("floor"));
        out() << "  " << pad(p.player, 20, false) << pad(fixed(cpuPerMedia(p, m), 3), 14)
              << pad(fixed(p.run.cpuS(), 2), 12)
              << pad(isFloor ? QStringLiteral("(%1)").arg(fixed(p.run.wallS / m.duration, 3)) : fixed(p.run.wallS / m.duration, 3), 12)
              << pad(QString::number(p.shown) + (p.shownDerived ? QStringLiteral("*") : QString()), 8)
              << pad(isFloor ? QStringLiteral("-") : QString::number(p.dropped), 9)
              << pad(isFloor ? QStringLiteral("-") : fixed(100.0 * double(p.dropped) / double(m.frames), 1), 8)
              << pad(mib(p.run.maxRssKiB), 10)
              << pad(p.run.xServerS >= 0.0 ? fixed(p.run.xServerS / m.duration, 3) : QStringLiteral("-"), 20) << "\n";
    };
    if (f.ours)
        row(*f.ours);
    if (f.mpv)
        row(*f.mpv);
    if (f.ffplay)
        row(*f.ffplay);
    for (const PlayResult &p : f.floors)
        row(p);
    out() << "  (* = pictures in the file minus dropped; floor: decoding as fast as possible, wall/media in brackets)\n";
    for (const std::optional<PlayResult> *p : {&f.ours, &f.mpv, &f.ffplay})
        if (*p && (*p)->everyCpu.size() > 1)
            out() << "  " << (*p)->player << ", every play (the row above is the median by CPU): CPU s/media s "
                  << (*p)->everyCpu.join(QStringLiteral(" ")) << "; dropped " << (*p)->everyDropped.join(QStringLiteral(" "))
                  << "\n";

    if (f.ours && f.ours->ok) {
        const PlayResult &o = *f.ours;
        const auto &x = o.extra;
        out() << "  ours: distinct pictures painted " << x.value(QStringLiteral("painted")) << " of "
              << o.shown << " delivered (" << x.value(QStringLiteral("paints")) << " paints); shown + dropped = "
              << (o.shown + o.dropped) << " of " << m.frames << " in the file\n";
        out() << "        play() to natural end " << fixed(x.value(QStringLiteral("play_s")).toDouble(), 3) << " s for "
              << fixed(m.duration, 3) << " s of media; openFile " << fixed(x.value(QStringLiteral("open_ms")).toDouble(), 1)
              << " ms, first picture painted " << fixed(x.value(QStringLiteral("first_paint_ms")).toDouble(), 1)
              << " ms after openFile was called\n";
        if (x.contains(QStringLiteral("paint_drift_ms_per_s"))) {
            const auto v = [&](const char *key, int decimals = 1) { return fixed(x.value(QLatin1String(key)).toDouble(), decimals); };
            out() << "        paint time - pts: drift " << v("paint_drift_ms_per_s", 2)
                  << " ms per s (the sound device's clock against the wall clock); around that line: 1st percentile "
                  << v("paint_offset_p1_ms") << " ms, 99th " << v("paint_offset_p99_ms") << " ms, max " << v("paint_offset_max_ms")
                  << " ms; painted over one picture period (" << v("period_ms") << " ms) late: "
                  << x.value(QStringLiteral("paint_late_over_period")) << " (delivered late by the same line: "
                  << x.value(QStringLiteral("deliver_late_over_period")) << ")\n"
                  << "        video thread to the surface's slot: median " << v("queue_p50_ms") << " ms, 99th percentile "
                  << v("queue_p99_ms") << ", max " << v("queue_max_ms") << "; slot to paint: median " << v("paint_p50_ms")
                  << " ms, 99th " << v("paint_p99_ms") << ", max " << v("paint_max_ms") << "\n";
        }
    }
    if (f.mpv && f.mpv->ok)
        out() << "  mpv: last status at " << f.mpv->extra.value(QStringLiteral("last_pos")) << " s; vo drops "
              << f.mpv->extra.value(QStringLiteral("vo_drop")) << ", decoder drops " << f.mpv->extra.value(QStringLiteral("dec_drop"))
              << ", delayed " << f.mpv->extra.value(QStringLiteral("delayed")) << "\n";
    if (f.ffplay && f.ffplay->ok)
        out() << "  ffplay: last status at " << f.ffplay->extra.value(QStringLiteral("last_pos")) << " s\n";
    for (const PlayResult &p : f.floors)
        if (p.ok)
            out() << "  " << p.player << ": " << p.extra.value(QStringLiteral("frames")) << " pictures in "
                  << fixed(p.extra.value(QStringLiteral("wall_s")).toDouble(), 2) << " s ("
                  << fixed(p.extra.value(QStringLiteral("frames")).toDouble() / p.extra.value(QStringLiteral("wall_s")).toDouble(), 0)
                  << " fps), conversion to " << p.extra.value(QStringLiteral("out")) << " "
                  << fixed(p.extra.value(QStringLiteral("convert_s")).toDouble(), 2) << " s of it ("
                  << fixed(p.extra.value(QStringLiteral("convert_s")).toDouble() * 1000.0 / std::max(1.0, p.extra.value(QStringLiteral("frames")).toDouble()), 2)
                  << " ms per picture)\n";

    if (f.convert.contains(QStringLiteral("convert_bicubic_ms"))) {
        QStringList each;
        for (const char *name : {"bicubic", "bilinear", "fast_bilinear", "area", "point"}) {
            const double ms = f.convert.value(QStringLiteral("convert_%1_ms").arg(QLatin1String(name))).toDouble();
            each << QStringLiteral("%1 %2 ms (%3 CPU s/media s)").arg(QLatin1String(name), fixed(ms, 2), fixed(ms * m.fps / 1000.0, 3));
        }
        out() << "  conversion alone to " << f.convert.value(QStringLiteral("convert_out")) << " RGB32, one thread, CPU per picture: "
              << each.join(QStringLiteral(", ")) << "\n";
    }
    if (f.ours && f.ours->ok) {
        QStringList ratios;
        auto ratio = [&](const std::optional<PlayResult> &anchor, const QString &name) {
            if (anchor && anchor->ok && anchor->run.cpuS() > 0)
                ratios << QStringLiteral("ours/%1 %2").arg(name, fixed(f.ours->run.cpuS() / anchor->run.cpuS(), 2));
        };
        ratio(f.mpv, QStringLiteral("mpv"));
        ratio(f.ffplay, QStringLiteral("ffplay"));
        for (const PlayResult &p : f.floors)
            if (p.ok && p.run.cpuS() > 0)
                ratios << QStringLiteral("ours/%1 %2").arg(p.player, fixed(f.ours->run.cpuS() / p.run.cpuS(), 2));
        if (!ratios.isEmpty())
            out() << "  CPU ratios: " << ratios.join(QStringLiteral(", ")) << "\n";
    }
}

void printSeeks(const QString &who, const SeekTimes &t)
{
    if (t.count == 0) {
        out() << "    " << pad(who, 6, false) << " failed: " << t.note << " " << t.misses.join(QStringLiteral("; ")) << "\n";
        return;
    }
    out() << "    " << pad(who, 6, false) << " " << t.count << " seeks, picture for t delivered: mean "
          << fixed(t.delivered.mean(), 1) << " ms, median " << fixed(t.delivered.median(), 1) << ", min "
          << fixed(t.delivered.min(), 1) << ", max " << fixed(t.delivered.max(), 1);
    if (!t.painted.empty())
        out() << "; painted: mean " << fixed(t.painted.mean(), 1) << " ms, median " << fixed(t.painted.median(), 1)
              << ", max " << fixed(t.painted.max(), 1);
    out() << "; exact " << t.exact << "/" << t.count;
    if (!t.misses.isEmpty())
        out() << " WRONG: " << t.misses.join(QStringLiteral("; "));
    if (!t.note.isEmpty())
        out() << " (" << t.note << ")";
    out() << "\n";
}

void printFirstPicture(const FirstPicture &fp)
{
    if (!fp.paint.empty()) {
        QStringList each;
        for (double v : fp.paint.values)
            each << fixed(v, 1);
        out() << "    openFile to first picture painted: process's first open " << fixed(fp.coldMs, 1) << " ms, median "
              << fixed(fp.paint.median(), 1) << " ms, min " << fixed(fp.paint.min(), 1) << ", max " << fixed(fp.paint.max(), 1)
              << " (each: " << each.join(QStringLiteral(" ")) << ")\n";
        out() << "    openFile returned after: median " << fixed(fp.open.median(), 1) << " ms, min " << fixed(fp.open.min(), 1)
              << ", max " << fixed(fp.open.max(), 1) << "\n";
    }
    if (!fp.note.isEmpty())
        out() << "    failed: " << fp.note << "\n";
    const auto &x = fp.steps;
    if (x.contains(QStringLiteral("stream_info_ms"))) {
        auto v = [&](const char *key) { return fixed(x.value(QLatin1String(key)).toDouble(), 1); };
        out() << "    the open sequence step by step (medians, outside the engine): SDL audio init " << v("sdl_init_ms")
              << " ms, GPS pass " << v("gps_pass_ms") << ", avformat_open_input " << v("open_input_ms")
              << ", avformat_find_stream_info " << v("stream_info_ms") << ", sound decoder + device " << v("audio_open_ms")
              << ", video decoder open " << v("video_open_ms") << ", decoding to the first picture " << v("first_picture_ms")
              << " (" << x.value(QStringLiteral("packets")) << " packets, frame+slice threads), conversion " << v("convert_ms")
              << " ms\n";
        out() << "      first picture with one decoder thread " << v("first_picture_1thread_ms") << " ms ("
              << x.value(QStringLiteral("packets_1thread")) << " packets), with slice threads only " << v("first_picture_slice_ms")
              << " ms (" << x.value(QStringLiteral("packets_slice")) << " packets), the key packet alone (slice threads, then drained) "
              << v("first_picture_lowdelay_ms") << " ms (" << x.value(QStringLiteral("packets_lowdelay"))
              << " packet; -1: not the first picture)\n";
        out() << "      without avformat_find_stream_info: open + video decoder + first picture " << v("no_info_total_ms")
              << " ms (" << x.value(QStringLiteral("packets_no_info")) << " packets, container length "
              << x.value(QStringLiteral("no_info_duration_us")) << QStringLiteral(" µs); conversion with SWS_FAST_BILINEAR ")
              << v("convert_fast_bilinear_ms") << " ms\n";
    }
}

// The decoding alone of a paused seek, outside the engine: key frame before
// t up to the picture for t, then the same with non-reference pictures before
// t left out by the decoder.

void printPacingReport(const QString &key, const PlayResult &p)
{
    const auto &x = p.extra;
    const auto v = [&](const char *name, int decimals = 1) { return fixed(x.value(QLatin1String(name)).toDouble(), decimals); };
    if (!p.ok || !x.contains(QStringLiteral("paint_late_over_period"))) {
        out() << "  " << key << " pacing: failed " << p.note << "\n";
        return;
    }
    out() << "  " << key << " pacing (" << x.value(QStringLiteral("pictures_timed")) << " pictures, period " << v("period_ms")
          << " ms; dropped " << p.dropped << "):\n"
          << "    against a straight line through paint time - pts: " << x.value(QStringLiteral("paint_late_over_period"))
          << " painted over a period late, " << x.value(QStringLiteral("deliver_late_over_period"))
          << " delivered late (1st..99th percentile " << v("paint_offset_p1_ms") << ".." << v("paint_offset_p99_ms") << " ms, max "
          << v("paint_offset_max_ms") << ")\n"
          << "    stages: video thread to the surface's slot median " << v("queue_p50_ms") << " ms, 99th " << v("queue_p99_ms")
          << ", max " << v("queue_max_ms") << "; slot to paint median " << v("paint_p50_ms") << " ms, 99th "
          << v("paint_p99_ms") << ", max " << v("paint_max_ms") << "\n";
    if (x.value(QStringLiteral("sound_steps")) == QLatin1String("0")) {
        out() << "    no sound: the engine keeps the wall clock, the straight line is its clock\n";
        return;
    }
    out() << "    the playback clock (sound device, " << x.value(QStringLiteral("sound_steps")) << " buffers of " << v("sound_chunk_ms", 2)
          << " ms, taken every " << v("sound_gap_p50_ms", 2) << " ms median, 99th " << v("sound_gap_p99_ms") << ", max "
          << v("sound_gap_max_ms") << "): around its own straight line against the wall clock " << v("clock_wander_min_ms")
          << ".." << v("clock_wander_max_ms") << " ms, drift " << v("clock_drift_ms_per_s", 2) << " ms per s\n"
          << "    against the playback clock (paint time - when the clock reached the pts): median " << v("vs_clock_paint_p50_ms")
          << " ms, 99th " << v("vs_clock_paint_p99_ms") << ", max " << v("vs_clock_paint_max_ms") << "; over a period late: "
          << x.value(QStringLiteral("vs_clock_late")) << " of " << x.value(QStringLiteral("vs_clock_pictures"))
          << " (delivery alone: median " << v("vs_clock_deliver_p50_ms") << " ms, 99th " << v("vs_clock_deliver_p99_ms") << ")\n";
}

void printIdle(const IdleCost &ours, const IdleCost &mpv)
{
    const auto cost = [](double v) { return v < 0.0 ? QStringLiteral("-") : fixed(v, 5); };
    out() << "    CPU s per wall s:  paused " << cost(ours.paused) << " (ours)  " << cost(mpv.paused) << " (mpv);  stopped "
          << cost(ours.stopped) << " (ours)  " << cost(mpv.stopped) << " (mpv)\n";
    if (ours.ok)
        out() << "    ours: player and video loop rounds per s: paused " << fixed(ours.pausedRounds, 1) << ", stopped "
              << fixed(ours.stoppedRounds, 1) << QStringLiteral("; costliest threads (µs per s) paused ") << ours.pausedThreads << ", stopped "
              << ours.stoppedThreads << "\n";
    out() << "    picture on the screen while paused (lit part of the screen): ours " << ours.screen << " (the engine delivered "
          << ours.picture << "), mpv " << mpv.screen << "\n";
    if (!ours.note.isEmpty() || !mpv.note.isEmpty())
        out() << "    failed: " << ours.note << " " << mpv.note << "\n";
}
