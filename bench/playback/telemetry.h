#pragma once

// The telemetry part of velmora_bench_playback (telemetry.cpp, the report
// in telemetry_report.cpp; the window's child in children_telemetry.cpp).

#include "playback.h"

#include <algorithm>
#include <vector>

// One play of either child (the bare engine, the main window): its RESULT
// figures, CPU from the open to the natural end (cpusnapshot.h).
struct TelemetrySpan
{
    bool ok = false;
    QString note;
    bench::ChildRun run;
    QMap<QString, QString> v;
    double value(const QString &key) const { return v.value(key, QStringLiteral("-1")).toDouble(); }
    // The web engine's processes (renderer and the others), s.
    double web() const
    {
        return std::max(0.0, value(QStringLiteral("play_renderer_s"))) + std::max(0.0, value(QStringLiteral("play_web_other_s")));
    }
    // The process and everything it started, s.
    double total() const { return value(QStringLiteral("play_self_s")) + web(); }
};

// Makes the recording (once), plays it with both children --reps times,
// prints the report and adds the verdicts; true when every target is met.
// surface: the main window's video surface, "WxH" or "form" (the form's
// 1280x800 window); withoutMap: the window also plays without its map page.
bool runTelemetryPart(const Setup &s, bool regenerate, const QString &surface, bool withoutMap, QStringList &verdicts);

// The play with the median total CPU of those that succeeded (sorts spans).
const TelemetrySpan &medianSpan(std::vector<TelemetrySpan> &spans);

// One child's plays: the median one (null: not run) and all of them.
struct TelemetryColumn
{
    QString title;
    const TelemetrySpan *median;
    const std::vector<TelemetrySpan> *all;
};

// The first column is the bare engine, the others are set beside it.
void printTelemetryReport(const std::vector<TelemetryColumn> &columns, const MediaInfo &m);
