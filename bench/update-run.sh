#!/usr/bin/env bash
# A library kept converted: 10,000 short MP3s in 100 album folders are converted once with
# `sondrel --convert --existing update --keep-folders`, then the same command runs again with
# nothing changed (every file "up to date"): its whole-process time and peak memory are the
# figure. Then one album is touched and the run converts just its files. For comparison, the
# time `find -newer` takes to list the same tree. Figures only; nothing passes or fails here.
#
#   bench/update-run.sh [--program PATH] [--work DIR] [--files N] [--runs N]
set -euo pipefail
cd "$(dirname "$0")/.."

program=build/bin/sondrel
work=/tmp/sondrel-update-run
files=10000
runs=5
while [ $# -gt 0 ]; do
  case "$1" in
    --program) program="$2"; shift ;;
    --work) work="$2"; shift ;;
    --files) files="$2"; shift ;;
    --runs) runs="$2"; shift ;;
    *) echo "unknown argument: $1" >&2; exit 2 ;;
  esac
  shift
done
for tool in ffmpeg; do command -v "$tool" >/dev/null || { echo "needs $tool" >&2; exit 2; }; done
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (package time)" >&2; exit 2; }
[ -x "$program" ] || { echo "build the program first" >&2; exit 2; }
program=$(realpath "$program")
mkdir -p "$work"
cd "$work"
# The bench's own settings file, so that the user's is neither read nor changed.
export XDG_CONFIG_HOME="$work/config"
mkdir -p "$XDG_CONFIG_HOME"

albums=100
per=$(( files / albums ))
if [ ! -d "library-$files" ]; then
  echo "Preparing $files files in $albums folders ..."
  ffmpeg -v error -y -f lavfi -i "sine=frequency=440:duration=0.2" -ac 2 -ar 44100 -c:a libmp3lame -b:a 128k seed.mp3
  for a in $(seq 1 "$albums"); do
    mkdir -p "library-$files/Album $a"
    for t in $(seq 1 "$per"); do cp seed.mp3 "library-$files/Album $a/$(printf '%02d' "$t") track.mp3"; done
  done
fi
rm -rf out
convert=("$program" --convert --format mp3 --existing update --keep-folders --out out "library-$files")

echo "First run (converts every file) ..."
/usr/bin/time -f "%e s, %M KiB" "${convert[@]}" >/dev/null 2>time-first.txt || true
echo "  first run: $(tail -1 time-first.txt)"

echo "Runs with nothing changed ($runs):"
times=()
for r in $(seq 1 "$runs"); do
  /usr/bin/time -f "%e %M" "${convert[@]}" >out-update.txt 2>time-update.txt
  read -r secs kib < <(tail -1 time-update.txt)
  times+=("$secs")
  echo "  run $r: $secs s, peak $kib KiB, $(grep -c $'\tup to date\t' out-update.txt) up to date"
done
median=$(printf '%s\n' "${times[@]}" | sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }')
echo "  median: $median s for $files files"

touch "library-$files/Album 1/"*.mp3
/usr/bin/time -f "%e s" "${convert[@]}" >out-touched.txt 2>time-touched.txt
echo "One album touched: $(grep -c $'\tconverted\t' out-touched.txt) converted, $(tail -1 time-touched.txt)"

/usr/bin/time -f "%e" find "library-$files" -newer "out" -type f >/dev/null 2>time-find.txt
echo "For comparison, find -newer over the same tree: $(tail -1 time-find.txt) s"
