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
exec xvfb-run -a -s "-screen 0 1920x1080x24" "$build/bench/playback/velmora_bench_playback" "$@"
