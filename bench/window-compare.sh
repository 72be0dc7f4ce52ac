#!/usr/bin/env bash
# Figures of the window-level commands, run on the real main window (offscreen), against the
# command-line tools on the same inputs:
#   - adding 1,000 MP3 files (probe, tags, row, one pump per file) vs ffprobe once per file;
#   - adding a folder of 10,000 files: time, rows, and the longest GUI stall;
#     memory with 1,000 and 10,000 rows;
#   - adding a tree of 100,000 short MP3s in 1,000 folders (hard links): time, peak memory,
#     the longest GUI stall;
#   - converting six one-minute files to MP3 one at a time (jobs 1) vs ffmpeg with the same
#     encoder settings on each file in turn, and two at a time (jobs 2) vs two ffmpeg
#     processes side by side; the longest GUI stall, CPU seconds and peak memory of each;
#   - peak memory converting a 60-minute file vs a 1-minute file.
# Figures only; nothing passes or fails here.
#
#   bench/window-compare.sh [--bench PATH] [--work DIR] [--runs N] [--quick]
set -euo pipefail
cd "$(dirname "$0")/.."

bench=build/bin/sondrel-bench
work=/tmp/sondrel-window-compare
runs=3
quick=0
while [ $# -gt 0 ]; do
  case "$1" in
    --bench) bench="$2"; shift ;;
    --work) work="$2"; shift ;;
    --runs) runs="$2"; shift ;;
    --quick) quick=1 ;;
    *) echo "unknown argument: $1" >&2; exit 2 ;;
  esac
  shift
done

need=()
for pair in hyperfine:hyperfine sox:sox ffmpeg:ffmpeg ffprobe:ffmpeg; do
  command -v "${pair%%:*}" >/dev/null 2>&1 || need+=("${pair#*:}")
done
[ -x /usr/bin/time ] || need+=(time)
if [ ${#need[@]} -gt 0 ]; then
  sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${need[@]}"
fi
[ -x "$bench" ] || { echo "build sondrel-bench first" >&2; exit 2; }
bench=$(realpath "$bench")
mkdir -p "$work"
cd "$work"

files=1000; folder=10000; tree=1000; batch=6; batch_seconds=60; long_minutes=60
if [ "$quick" = 1 ]; then files=100; folder=1000; tree=20; batch=4; batch_seconds=30; long_minutes=5; fi

make_wav() { # name seconds
  [ -s "$1" ] || sox -n -r 44100 -c 2 -b 16 "$1" synth "$2" sine 110-3520 pinknoise tremolo 3 40 vol 0.5
}
echo "Preparing inputs in $work ..."
if [ ! -d "mp3-$files" ]; then
  mkdir -p "mp3-$files"
  make_wav seed.wav 8
  ffmpeg -v error -y -i seed.wav -c:a libmp3lame -b:a 128k -metadata title=Seed -metadata artist=Bench \
    -metadata album=Figures -metadata track=3 -metadata date=2026 seed.mp3
  for n in $(seq 0 $((files - 1))); do cp seed.mp3 "mp3-$files/$(printf 'f%05d' "$n").mp3"; done
fi
if [ ! -d "folder-$folder" ]; then
  # Ten sub-folders; small WAV files, since the scan's own cost is what is measured here.
  make_wav tiny.wav 1
  for d in $(seq 0 9); do
    mkdir -p "folder-$folder/d$d"
    for n in $(seq 0 $((folder / 10 - 1))); do cp tiny.wav "folder-$folder/d$d/$(printf 't%05d' "$n").wav"; done
  done
fi
if [ ! -d "tree-$tree" ]; then
  # 100 links a folder; a file system allows some 65,000 links to one file, so each group of
  # 500 folders links to a copy of its own.
  for d in $(seq 0 $((tree - 1))); do
    seed="seed-$((d / 500)).mp3"
    [ -s "$seed" ] || cp seed.mp3 "$seed"
    mkdir -p "tree-$tree/folder $d"
    for n in $(seq 0 99); do ln "$seed" "tree-$tree/folder $d/track $n.mp3"; done
  done
fi
mkdir -p batch
for n in $(seq 1 "$batch"); do make_wav "batch/song$n.wav" "$batch_seconds"; done
make_wav one-minute.wav 60
make_wav "long-$long_minutes.wav" $((long_minutes * 60))

mean_of() { awk -F, 'NR == 2 { printf "%.3f", $2 }' "$1"; }

echo
echo "== Adding $files MP3 files through the window"
hyperfine --style none --warmup 1 --runs "$runs" --export-csv add.csv \
  "$bench add mp3-$files/*.mp3" >/dev/null
ours=$(mean_of add.csv)
# ffprobe once per file, timed on 100 files and scaled.
hyperfine --style none --warmup 1 --runs "$runs" --export-csv ffprobe.csv \
  "sh -c 'for f in mp3-$files/f000[0-9][0-9].mp3; do ffprobe -v error -show_format -show_streams \"\$f\" >/dev/null; done'" >/dev/null
per100=$(mean_of ffprobe.csv)
scaled=$(awk -v t="$per100" -v n="$files" 'BEGIN { printf "%.3f", t * n / 100 }')
"$bench" add mp3-"$files"/*.mp3 2>/dev/null | grep -E '^(longest GUI stall|total)' | sed 's/^/  /'
printf '  sondrel add: %s s (whole process)   ffprobe per file: %s s   ratio %s\n' "$ours" "$scaled" \
  "$(awk -v a="$ours" -v b="$scaled" 'BEGIN { printf "%.3f", a / b }')"

echo
echo "== Adding a folder of $folder files (Add Path with sub-folders)"
/usr/bin/time -v "$bench" scan "folder-$folder" 2>time-scan.txt | grep -E '^(longest GUI stall|total)' | sed 's/^/  /'
echo "  peak RSS $(awk -F: '/Maximum resident/ { gsub(/ /, "", $2); print $2 }' time-scan.txt) KiB with $folder rows"
/usr/bin/time -v "$bench" scan "folder-$folder/d0" 2>time-scan1.txt | grep -E '^total' | sed 's/^/  /'
echo "  peak RSS $(awk -F: '/Maximum resident/ { gsub(/ /, "", $2); print $2 }' time-scan1.txt) KiB with $((folder / 10)) rows"

echo
echo "== Adding a tree of $((tree * 100)) MP3 files in $tree folders (Add Path with sub-folders)"
/usr/bin/time -v "$bench" scan "tree-$tree" 2>time-tree.txt | grep -E '^(longest GUI stall|total)' | sed 's/^/  /'
echo "  peak RSS $(awk -F: '/Maximum resident/ { gsub(/ /, "", $2); print $2 }' time-tree.txt) KiB," \
  "CPU $(awk -F: '/User time|System time/ { s += $2 } END { print s }' time-tree.txt) s"

echo
echo "== Converting $batch files of $batch_seconds s to MP3 (default settings: 128 kbps CBR, LAME quality 9)"
# The same work for ffmpeg: one file after the other, and two processes side by side.
cat > ffmpeg-one.sh <<'ONE'
exec ffmpeg -nostdin -v error -y -i "$1" -c:a libmp3lame -b:a 128k -compression_level 9 "out-ffmpeg/$(basename "$1" .wav).mp3"
ONE
mkdir -p out-ffmpeg
for jobs in 1 2; do
  if [ "$jobs" = 1 ]; then
    theirs="sh -c 'for f in batch/*.wav; do sh ffmpeg-one.sh \$f; done'"
    label="ffmpeg on one file after the other"
  else
    theirs="sh -c 'ls batch/*.wav | xargs -P2 -n1 sh ffmpeg-one.sh'"
    label="two ffmpeg processes side by side (xargs -P2)"
  fi
  hyperfine --style none --warmup 1 --runs "$runs" --export-csv "convert$jobs.csv" \
    -n "sondrel jobs $jobs" "$bench convert --format mp3 --jobs $jobs --out out-sondrel batch/*.wav" \
    -n ffmpeg "$theirs" >/dev/null
  echo "  jobs $jobs, against $label:"
  awk -F, 'NR > 1 { printf "    %-16s mean %.3f s  min %.3f s\n", $1, $2, $7 }' "convert$jobs.csv"
  awk -F, 'NR == 2 { a = $2 } NR == 3 { b = $2 } END { printf "    ratio sondrel/ffmpeg %.3f\n", a / b }' "convert$jobs.csv"
  /usr/bin/time -v "$bench" convert --format mp3 --jobs "$jobs" --out out-sondrel batch/*.wav 2>time-conv.txt \
    | grep -E '^(longest GUI stall|cpu seconds)' | sed 's/^/    /'
  echo "    peak RSS $(awk -F: '/Maximum resident/ { gsub(/ /, "", $2); print $2 }' time-conv.txt) KiB"
done

echo
echo "== Peak memory converting 1 minute vs $long_minutes minutes (OGG, quality mode)"
printf '[ogg]\nenable quality=1\nquality=300\n' > ogg.ini
for f in one-minute.wav "long-$long_minutes.wav"; do
  /usr/bin/time -v "$bench" convert --format ogg --settings ogg.ini --out out-mem "$f" >/dev/null 2>time-mem.txt
  echo "  $f: peak RSS $(awk -F: '/Maximum resident/ { gsub(/ /, "", $2); print $2 }' time-mem.txt) KiB"
done
