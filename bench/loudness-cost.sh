#!/usr/bin/env bash
# What ReplayGain costs a conversion: six one-minute 44.1 kHz stereo WAVs converted to MP3 by
# `sondrel --convert`, without loudness tags, with track and album tags, and normalized (which
# measures each source before converting it); each command several times, the medians of the
# whole-process time and the peak memory printed, and the same work by the ffmpeg command
# (libmp3lame, one file after the other) for scale. Figures only; nothing passes or fails here.
#
#   bench/loudness-cost.sh [--program PATH] [--work DIR] [--runs N] [--jobs N]
set -euo pipefail
cd "$(dirname "$0")/.."
bench=$(pwd)/bench

program=build/bin/sondrel
work=/tmp/sondrel-loudness-cost
runs=5
jobs=1
while [ $# -gt 0 ]; do
  case "$1" in
    --program) program="$2"; shift ;;
    --work) work="$2"; shift ;;
    --runs) runs="$2"; shift ;;
    --jobs) jobs="$2"; shift ;;
    *) echo "unknown argument: $1" >&2; exit 2 ;;
  esac
  shift
done
command -v ffmpeg >/dev/null || { echo "needs ffmpeg" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (package time)" >&2; exit 2; }
[ -x "$program" ] || { echo "build the program first" >&2; exit 2; }
program=$(realpath "$program")
mkdir -p "$work/src"
cd "$work"
export XDG_CONFIG_HOME="$work/config"
mkdir -p "$XDG_CONFIG_HOME"
for i in 1 2 3 4 5 6; do
  [ -f "src/s$i.wav" ] || ffmpeg -v error -y -f lavfi -i "sine=frequency=$((200 * i)):duration=60,volume=-$((3 * i))dB" \
    -f lavfi -i "anoisesrc=d=60:a=0.02" -filter_complex amix=inputs=2 -ac 2 -ar 44100 "src/s$i.wav"
done

# Median of the numbers on standard input.
source "$bench/measure.sh"

base=("$program" --convert --format mp3 --out out --existing overwrite --jobs "$jobs")
echo "Six one-minute WAVs to MP3, $runs runs each, --jobs $jobs:"
measure "no loudness tags" "${base[@]}" --replaygain off src
measure "track tags" "${base[@]}" --replaygain track src
measure "track and album tags" "${base[@]}" --replaygain album src
measure "normalized, album tags" "${base[@]}" --replaygain album --normalize src
measure "ffmpeg -c:a libmp3lame" sh -c 'for f in src/*.wav; do ffmpeg -v error -y -i "$f" -c:a libmp3lame -q:a 2 "out/$(basename "$f" .wav).mp3"; done'
