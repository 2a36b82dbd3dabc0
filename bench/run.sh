#!/usr/bin/env bash
# bench/run.sh SCENARIO [options]: builds velmora_bench and runs the scenario,
# on a virtual X display where it shows windows. BUILD_DIR picks the build
# tree (default build/), NO_BUILD=1 runs what is built.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$top/build}"
if [ "${NO_BUILD:-0}" != 1 ]; then
    cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    ninja -C "$build" velmora_bench
fi
case "${1:-}" in gps_pass | filelist | "") exec "$build/bench/velmora_bench" "$@" ;; esac
# The map page runs Chromium, which refuses root without this.
[ "$(id -u)" != 0 ] || export QTWEBENGINE_CHROMIUM_FLAGS="${QTWEBENGINE_CHROMIUM_FLAGS:---no-sandbox}"
# The main window around a 1280x720 surface is about 1600x1110.
screen=1920x1080x24
[ "$1" != telemetry ] || screen=1920x1200x24
exec xvfb-run -a -s "-screen 0 $screen" "$build/bench/velmora_bench" "$@"
