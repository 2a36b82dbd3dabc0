#pragma once

// The scenarios of velmora_bench, and the child modes they run: FILE is a
// recording, US,US,... positions in µs.

#include "bench.h"

namespace bench {

extern const Scenario kPlayback, kOpen, kGpsPass, kFileList, kTelemetry;

int childPlay(int argc, char **argv, const QStringList &args);            // FILE [pace]
int childSeeks(int argc, char **argv, const QStringList &args);           // FILE US,US,...
int childIdle(int argc, char **argv, const QStringList &args);            // FILE PLAY_MS IDLE_MS
int childScreen(int argc, char **argv, const QStringList &args);          // where the screen is lit
int childDecodeFloor(int argc, char **argv, const QStringList &args);     // FILE SCALER
int childOpenSteps(int argc, char **argv, const QStringList &args);       // FILE REPS
int childSeekFloor(int argc, char **argv, const QStringList &args);       // FILE US,US,...
int childWindowOpen(int argc, char **argv, const QStringList &args);      // FILE GPS_WAIT_S [NEXT_FILE]
int childTelemetryWindow(int argc, char **argv, const QStringList &args); // FILE W H PAUSED_MS map|nomap

} // namespace bench
