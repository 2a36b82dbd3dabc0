#pragma once

// The programs the playback benchmark runs as child processes of itself, so
// that each one's CPU time and peak memory can be read from wait4() alone.
// Each prints its results on stdout as "RESULT key=value ..." lines. The
// first-picture child is bench::runFirstPictureChild (enginewindow.h).

// A 1280x720 window holding the video surface, the engine playing FILE from
// openFile to its natural end. Prints frames shown/dropped/painted, the time
// from openFile to the first painted picture and how evenly pictures were
// painted (pacing.h); with pacing, a thread also notes every buffer the sound
// device takes, for the pictures' lateness against the playback clock.
int runEnginePlay(int argc, char **argv, const char *path, bool pacing);

// Opens FILE, then makes paused seeks (setIsMove(true); seek(t)) to the given
// positions (µs) and prints, for each, the time until the picture for t was
// delivered and until it was painted, and the picture's timestamp.
int runEngineSeeks(int argc, char **argv, const char *path, const char *positionsUs);

// Opens FILE, plays playMs, pauses, and prints the process's CPU seconds per
// wall second over idleMs paused, then the same stopped; also where the
// picture is on the screen while paused.
int runEngineIdle(int argc, char **argv, const char *path, int playMs, int idleMs);

// Where the screen is not black (another player's picture, say).
int runScreenRect(int argc, char **argv);

// Decodes the video of FILE as fast as it can with the engine's decoder
// settings and converts every picture to 1280x720 RGB32 with the given
// swscale flags ("bicubic", "bilinear", "fast_bilinear", "point" or "none"
// for decoding only): the floor of what any player of this file must spend.
int runDecodeFloor(const char *path, const char *scaler, int threads);

// The engine's open sequence step by step, outside the engine, `reps` times:
// SDL audio init, GPS pass, avformat_open_input, avformat_find_stream_info,
// sound decoder + audio device, video decoder open, decoding up to the first
// picture (with the engine's threading, one thread, slice threads only) and
// its conversion. Prints the time of every step.
int runOpenSteps(const char *path, int reps);

// For every position (µs): seek to the key frame before it and decode up to
// the picture for it, as the engine's paused seek does, and the same with
// the decoder skipping non-reference pictures before the target.
int runSeekFloor(const char *path, const char *positionsUs);

// Decodes the first pictures of FILE, then converts them to 1280x720 RGB32
// again and again with each swscale flag, alone on one thread, and prints
// the CPU time per picture of each (CLOCK_THREAD_CPUTIME_ID).
int runConvertCost(const char *path, int pictures);

// The application's main window (with the map page, as main() makes it, or
// without it: map false)
// resized so that its video surface is surfaceWidth x surfaceHeight (0: the
// form's 1280x800), playing FILE from slotOpenRecording(path, true) to its
// natural end; then the same file again, paused by the play button for
// pausedMs. Prints, for both, the CPU of the process, of the web engine's
// processes and of the X server (cpusnapshot.h), the CPU and wall time of
// each run of the window's 500 ms tick, and paints per second of the dials,
// the chart and the video surface.
int runTelemetryWindow(int argc, char **argv, const char *path, int surfaceWidth, int surfaceHeight, int pausedMs, bool map);
