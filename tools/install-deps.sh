#!/usr/bin/env bash
# Installs the Debian packages needed to build, run and test the viewer.
# The last line: the icon renderer, cpack's DEB dependencies (dpkg-shlibdeps,
# file) and the launcher and metadata checkers of the tests.
# Quick no-op when everything is already present.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config
  qtbase5-dev qtwebengine5-dev libqt5webchannel5-dev libqt5sql5-sqlite
  qttools5-dev-tools qttools5-dev libqcustomplot-dev libjs-leaflet
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev libavfilter-dev
  ffmpeg libsdl2-dev libssl-dev
  xvfb xauth fonts-wqy-microhei qttranslations5-l10n
  librsvg2-bin dpkg-dev file desktop-file-utils appstream
)
# Benchmarks compare against other players; only installed on request.
if [ "${VELMORA_BENCH_DEPS:-0}" = 1 ]; then
  packages+=(mpv time xdotool)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "need root or sudo to install packages" >&2; exit 1; }
  SUDO=sudo
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
