#!/usr/bin/env bash
# Builds the opening benchmark and runs it on a virtual 1920x1080 X display.
# Arguments go to the program (see --help). BUILD_DIR picks the build tree
# (default: build/ at the top of the repository); NO_BUILD=1 runs what is
# already built.
set -euo pipefail
top="$(cd "$(dirname "$0")/../.." && pwd)"
build="${BUILD_DIR:-$top/build}"
if [ "${NO_BUILD:-0}" != 1 ]; then
    cmake -S "$top" -B "$build" -G Ninja >/dev/null
    ninja -C "$build" velmora_bench_open
fi
exec xvfb-run -a -s "-screen 0 1920x1080x24" "$build/bench/open/velmora_bench_open" "$@"
