#!/usr/bin/env bash
# Installs the Debian packages Sondrel needs (only the missing ones), then configures and
# builds it with CMake. Safe to run again: nothing is installed twice, the build is incremental.
#   scripts/setup.sh [--tests] [--preset NAME]
set -euo pipefail
cd "$(dirname "$0")/.."

preset=default
with_tests=0
while [ $# -gt 0 ]; do
  case "$1" in
    --tests) with_tests=1 ;;
    --preset) preset="$2"; shift ;;
    *) echo "unknown argument: $1" >&2; exit 2 ;;
  esac
  shift
done

build_pkgs=(cmake ninja-build g++ pkg-config fonts-dejavu-core
  qt6-base-dev qt6-multimedia-dev qt6-image-formats-plugins
  libavformat-dev libavcodec-dev libavutil-dev libswresample-dev
  libvorbis-dev libmp3lame-dev libtag1-dev
  pulseaudio)
# ffprobe is the tests' independent oracle; PulseAudio gives them a real (null) sound sink;
# Xvfb and ImageMagick run the on-screen smoke test.
test_pkgs=(ffmpeg pulseaudio-utils xvfb xauth x11-apps imagemagick xdotool)

pkgs=("${build_pkgs[@]}")
[ "$with_tests" = 1 ] && pkgs+=("${test_pkgs[@]}")

missing=()
for p in "${pkgs[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  echo "Installing: ${missing[*]}"
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
