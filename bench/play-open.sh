#!/usr/bin/env bash
# Play in the real window on a 60-minute Vorbis-in-Matroska file, whose length only a full
# decode tells: how long Play takes to return, the time from Play to the first samples
# written to the sound device, and the longest GUI stall from Play until a second into the
# sound; the open with the length counted (what Play used to wait for) is timed beside it.
# The sound goes to a PulseAudio null sink (started when no sound server answers).
# Figures only; nothing passes or fails here.
#
#   bench/play-open.sh [--bench PATH] [--work DIR] [--runs N] [--minutes M]
set -euo pipefail
cd "$(dirname "$0")/.."

bench=build/bin/sondrel-bench
work=/tmp/sondrel-play-open
runs=5
minutes=60
while [ $# -gt 0 ]; do
  case "$1" in
    --bench) bench="$2"; shift ;;
    --work) work="$2"; shift ;;
    --runs) runs="$2"; shift ;;
    --minutes) minutes="$2"; shift ;;
    *) echo "unknown argument: $1" >&2; exit 2 ;;
  esac
  shift
done

if ! command -v ffmpeg >/dev/null 2>&1 || ! command -v pactl >/dev/null 2>&1; then
  sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
    ffmpeg pulseaudio pulseaudio-utils
fi
[ -x "$bench" ] || { echo "build sondrel-bench first" >&2; exit 2; }
bench=$(realpath "$bench")
# shellcheck source=../scripts/sound-server.sh
source scripts/sound-server.sh
start_null_sink
mkdir -p "$work"

file="$work/long-$minutes.mka"
if [ ! -s "$file" ]; then
  echo "Making $minutes minutes of Vorbis in Matroska in $file ..."
  ffmpeg -v error -y -f lavfi -i "sine=frequency=220:sample_rate=44100:duration=$((minutes * 60))" \
    -f lavfi -i "sine=frequency=330:sample_rate=44100:duration=$((minutes * 60))" \
    -filter_complex "[0:a][1:a]amerge=inputs=2[a]" -map "[a]" -c:a libvorbis -q:a 3 "$file"
fi
echo "\$ sondrel-bench play-window --runs $runs $file"
"$bench" play-window --runs "$runs" "$file"
