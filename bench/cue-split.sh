#!/usr/bin/env bash
# Splitting an album image by its cue sheet: a 60-minute 44.1 kHz stereo FLAC image of twelve
# five-minute tracks, converted track by track to FLAC and to MP3 by the program, against the
# ffmpeg command cutting the same twelve ranges one after the other (seeking the input with -ss,
# then -t 300). Prints whole-process medians and peak memory.
#   bench/cue-split.sh [--program build/bin/sondrel] [--runs 3] [--jobs 0] [--work DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
bench=$(pwd)/bench

program=build/bin/sondrel
work=/tmp/sondrel-cue-split
runs=3
jobs=0
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
mkdir -p "$work"
cd "$work"
export XDG_CONFIG_HOME="$work/config"
mkdir -p "$XDG_CONFIG_HOME"

[ -f album.flac ] || ffmpeg -v error -y -f lavfi -i "sine=frequency=440:duration=3600" \
  -f lavfi -i "anoisesrc=d=3600:a=0.05" -filter_complex amix=inputs=2 -ac 2 -ar 44100 -sample_fmt s16 album.flac
{
  echo 'PERFORMER "Bench"'
  echo 'TITLE "Twelve Tracks"'
  echo 'FILE "album.flac" WAVE'
  for t in $(seq 1 12); do
    printf '  TRACK %02d AUDIO\n    TITLE "Track %d"\n    INDEX 01 %02d:00:00\n' "$t" "$t" $(( (t - 1) * 5 ))
  done
} > album.cue

source "$bench/measure.sh"

ffmpeg_split() { # codec args...
  local ext="$1"; shift
  for t in $(seq 1 12); do
    local from=$(( (t - 1) * 300 ))
    ffmpeg -v error -y -ss "$from" -i album.flac -t 300 "$@" "out/$t.$ext" || return 1
  done
}
export -f ffmpeg_split

echo "A 60-minute FLAC image cut into 12 tracks, $runs runs each, --jobs $jobs:"
measure "sondrel, tracks to FLAC" "$program" --convert --format flac --out out --existing overwrite --jobs "$jobs" album.cue
measure "ffmpeg command, tracks to FLAC" bash -c 'ffmpeg_split flac -c:a flac'
measure "sondrel, tracks to MP3" "$program" --convert --format mp3 --out out --existing overwrite --jobs "$jobs" album.cue
measure "ffmpeg command, tracks to MP3" bash -c 'ffmpeg_split mp3 -c:a libmp3lame -q:a 4'
