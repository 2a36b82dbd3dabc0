#!/usr/bin/env bash
# Builds and runs the GPS pass benchmark. Arguments go to the program
# (e.g. --reps 7, --bitrate 4M, --dir /path, --gps-version 1; see --help).
# BUILD_DIR picks the build tree (default: build/ at the top of the repository).
set -euo pipefail
top="$(cd "$(dirname "$0")/../.." && pwd)"
build="${BUILD_DIR:-$top/build}"
cmake -S "$top" -B "$build" -G Ninja >/dev/null
ninja -C "$build" velmora_bench_gps_pass
exec "$build/bench/gps_pass/velmora_bench_gps_pass" "$@"
