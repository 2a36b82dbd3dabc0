#!/usr/bin/env bash
# Builds the playback benchmark and runs it on a virtual 1920x1080 X display.
# Arguments go to the program, e.g.
#   bench/playback/run.sh --files 1080p60 --players ours,mpv --seeks 0
# (see --help). BUILD_DIR picks the build tree (default: build/ at the top of
# the repository); NO_BUILD=1 runs what is already built.
set -euo pipefail
top="$(cd "$(dirname "$0")/../.." && pwd)"
build="${BUILD_DIR:-$top/build}"
if [ "${NO_BUILD:-0}" != 1 ]; then
    cmake -S "$top" -B "$build" -G Ninja >/dev/null
    ninja -C "$build" velmora_bench_playback
fi
# The main window's map page runs Chromium, which refuses root without this.
if [ "$(id -u)" = 0 ]; then export QTWEBENGINE_CHROMIUM_FLAGS="${QTWEBENGINE_CHROMIUM_FLAGS:---no-sandbox}"; fi
# The telemetry part needs a taller screen: the main window that shows a
# 1280x720 picture is about 1600x1110 pixels.
screen=1920x1080x24
case " $* " in *telemetry*) screen=1920x1200x24 ;; esac
exec xvfb-run -a -s "-screen 0 $screen" "$build/bench/playback/velmora_bench_playback" "$@"
