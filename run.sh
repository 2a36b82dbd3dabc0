#!/usr/bin/env bash
# Installs the dependencies, builds and starts the viewer.
set -euo pipefail
cd "$(dirname "$0")"
./tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target velmora_viewer
exec ./build/app/velmora_viewer "$@"
