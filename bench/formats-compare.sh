#!/usr/bin/env bash
# FLAC, Opus and M4A (AAC) against the ffmpeg command on the same work:
#   - transcoding a 10-minute WAV (44.1 kHz stereo 16-bit) to FLAC level 5, Opus 128 kbps
#     and AAC 192 kbps: sondrel-bench transcode vs ffmpeg with the same encoder and settings;
#   - six one-minute FLACs to MP3 through the real window, two at a time (sondrel-bench
#     convert --jobs 2) vs two ffmpeg processes side by side (xargs -P2);
#   - decoding the 10-minute FLAC: sondrel-bench decode vs ffmpeg -f null.
# The two commands take turns, one run each per round (hyperfine --runs 1), so that load
# from other programs on a shared machine falls on both alike; after one warm-up round,
# each figure is the median wall time over the rounds, and the ratio the median of the
# rounds' sondrel / ffmpeg (below 1: sondrel faster). Figures only; nothing passes or fails.
#
#   bench/formats-compare.sh [--bench PATH] [--work DIR] [--runs N]
set -euo pipefail
cd "$(dirname "$0")/.."

bench=build/bin/sondrel-bench
work=/tmp/sondrel-formats-compare
runs=5
while [ $# -gt 0 ]; do
  case "$1" in
    --bench) bench="$2"; shift ;;
    --work) work="$2"; shift ;;
    --runs) runs="$2"; shift ;;
    *) echo "unknown argument: $1" >&2; exit 2 ;;
  esac
  shift
done

need=()
for pair in hyperfine:hyperfine sox:sox ffmpeg:ffmpeg; do
  command -v "${pair%%:*}" >/dev/null 2>&1 || need+=("${pair#*:}")
done
if [ ${#need[@]} -gt 0 ]; then
  sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${need[@]}"
fi
[ -x "$bench" ] || { echo "build sondrel-bench first (cmake --build --preset default --target sondrel-bench)" >&2; exit 2; }
bench=$(realpath "$bench")
mkdir -p "$work/out" "$work/six" "$work/window" "$work/ffmpeg-six"
cd "$work"

# A test signal with music's spread of frequencies: a sweep on the left, pink noise on the
# right, both with a tremolo.
make_wav() { # name seconds [lowest sweep Hz]
  [ -s "$1" ] || sox -n -r 44100 -c 2 -b 16 "$1" synth "$2" sine "${3:-110}"-3520 pinknoise tremolo 3 40 vol 0.5
}
echo "Preparing inputs in $work ..."
make_wav src-10min.wav 600
[ -s src-10min.flac ] || ffmpeg -v error -y -i src-10min.wav -c:a flac src-10min.flac
for i in 1 2 3 4 5 6; do
  if [ ! -s "six/s$i.flac" ]; then
    make_wav "six/s$i.wav" 60 $((100 * i))
    ffmpeg -v error -y -i "six/s$i.wav" -c:a flac "six/s$i.flac"
    rm -f "six/s$i.wav"
  fi
done

echo
echo "Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
echo "Tools: $(ffmpeg -version | head -1 | cut -d' ' -f1-3), $(hyperfine --version)"
echo "Each figure: the median wall time of $runs rounds (the two commands taking turns) after one"
echo "warm-up round; ratio = median of the rounds' sondrel / ffmpeg."
echo
printf '%-34s %12s %12s %7s\n' what "sondrel s" "ffmpeg s" ratio

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

compare() { # label ours theirs
  local base round ours theirs
  base="$work/$(echo "$1" | tr -c 'A-Za-z0-9' _)"
  : >"$base.rounds"
  for round in $(seq 0 "$runs"); do
    # hyperfine's CSV: command,mean,...; one run each, in turns.
    hyperfine --style none --runs 1 --export-csv "$base.csv" -n sondrel "$2" -n ffmpeg "$3" >/dev/null
    [ "$round" -eq 0 ] && continue # the warm-up
    awk -F, 'FNR > 1 { t[$1] = $2 } END { print t["sondrel"], t["ffmpeg"], t["sondrel"] / t["ffmpeg"] }' \
      "$base.csv" >>"$base.rounds"
  done
  ours=$(awk '{ print $1 }' "$base.rounds" | median)
  theirs=$(awk '{ print $2 }' "$base.rounds" | median)
  printf '%-34s %12.3f %12.3f %7.2f\n' "$1" "$ours" "$theirs" "$(awk '{ print $3 }' "$base.rounds" | median)"
}

compare "10-min WAV to FLAC level 5" \
  "$bench transcode --format flac --out out src-10min.wav" \
  "ffmpeg -v error -y -i src-10min.wav -c:a flac -compression_level 5 out/ff.flac"
compare "10-min WAV to Opus 128 kbps" \
  "$bench transcode --format opus --out out src-10min.wav" \
  "ffmpeg -v error -y -i src-10min.wav -c:a libopus -b:a 128k out/ff.opus"
compare "10-min WAV to AAC 192 kbps (M4A)" \
  "$bench transcode --format m4a --out out src-10min.wav" \
  "ffmpeg -v error -y -i src-10min.wav -c:a aac -b:a 192k out/ff.m4a"
# The window's MP3 defaults: 128 kbps CBR, LAME quality 9.
compare "6 x 1-min FLAC to MP3, 2 at a time" \
  "$bench convert --format mp3 --jobs 2 --out window six" \
  "sh -c 'ls six/*.flac | xargs -P2 -I{} sh -c \"ffmpeg -v error -y -i {} -c:a libmp3lame -b:a 128k -compression_level 9 ffmpeg-six/\\\$(basename {} .flac).mp3\"'"
compare "decoding the 10-min FLAC" \
  "$bench decode src-10min.flac" \
  "ffmpeg -v error -i src-10min.flac -map 0:a:0 -f null -"
echo
echo "Each round's seconds (sondrel, ffmpeg, ratio): $work/*.rounds"
