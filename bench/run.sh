#!/usr/bin/env bash
# bench/run.sh SCENARIO [options]: configures, builds velmora_bench and runs
# the scenario (on a virtual X display when it shows players). BUILD_DIR
# picks the build tree (default build/), NO_BUILD=1 runs what is built.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$top/build}"
if [ "${NO_BUILD:-0}" != 1 ]; then
    cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    ninja -C "$build" velmora_bench
fi
bench="$build/bench/velmora_bench"
case "${1:-}" in
gps_pass | filelist | "") exec "$bench" "$@" ;;
esac
# The main window's map page runs Chromium, which refuses root without this.
if [ "$(id -u)" = 0 ]; then export QTWEBENGINE_CHROMIUM_FLAGS="${QTWEBENGINE_CHROMIUM_FLAGS:---no-sandbox}"; fi
# The main window that shows a 1280x720 picture is about 1600x1110 pixels.
screen=1920x1080x24
[ "$1" = telemetry ] && screen=1920x1200x24
exec xvfb-run -a -s "-screen 0 $screen" "$bench" "$@"
