#!/usr/bin/env bash
# Builds and runs the file list benchmark. Arguments go to the program
# (--count, --seconds, --reps, --dir; see --help).
# BUILD_DIR picks the build tree (default: build/ at the top of the repository).
set -euo pipefail
top="$(cd "$(dirname "$0")/../.." && pwd)"
build="${BUILD_DIR:-$top/build}"
cmake -S "$top" -B "$build" -G Ninja >/dev/null
ninja -C "$build" velmora_bench_filelist
exec "$build/bench/filelist/velmora_bench_filelist" "$@"
