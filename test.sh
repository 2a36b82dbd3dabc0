#!/usr/bin/env bash
# Installs the dependencies, builds and runs the whole test suite headless.
# VELMORA_SANITIZE=address (ASan+UBSan) or thread (TSan) builds into its own tree.
set -euo pipefail
cd "$(dirname "$0")"
./tools/install-deps.sh

sanitize="${VELMORA_SANITIZE:-}"
build="build${sanitize:+-$sanitize}"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_SANITIZE="$sanitize" >/dev/null
cmake --build "$build"

export QT_QPA_PLATFORM=offscreen QT_QUICK_BACKEND=software SDL_AUDIODRIVER=dummy
export QTWEBENGINE_CHROMIUM_FLAGS=--no-sandbox
cd "$build"
ctest --output-on-failure -j "$(nproc)" "$@"
