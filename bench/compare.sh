#!/usr/bin/env bash
# Speed and memory of Sondrel's engine against the command-line tools on the same inputs,
# in the same run:
#   - transcoding a 10-minute WAV to MP3, OGG (managed bit rate and quality mode), WMA and
#     WAV: sondrel-bench transcode vs ffmpeg with the same encoder and settings, and vs
#     lame / oggenc at the same quality;
#   - decoding 10-minute MP3, OGG and WMA files: sondrel-bench decode vs ffmpeg;
#   - probing 1,000 MP3 files in one process vs running ffprobe once per file;
#   - peak memory converting a 60-minute file vs a 1-minute file.
# Figures are printed (hyperfine means and minimums, /usr/bin/time -v peak RSS); nothing
# passes or fails here.
#
#   bench/compare.sh [--bench PATH] [--work DIR] [--runs N] [--quick] [--skip-memory]
#                    [--only transcode,decode,probe,memory]
#
# --bench   the sondrel-bench executable (default: build/bin/sondrel-bench)
# --work    folder for the generated inputs and outputs (default: /tmp/sondrel-compare)
# --runs    timed runs per command after one warm-up (default 3)
# --quick   1-minute input instead of 10, 100 probe files instead of 1,000, no memory part
# --only    run only these parts
set -euo pipefail
cd "$(dirname "$0")/.."

bench=build/bin/sondrel-bench
work=/tmp/sondrel-compare
runs=3
quick=0
memory=1
only=transcode,decode,probe,memory
while [ $# -gt 0 ]; do
  case "$1" in
    --bench) bench="$2"; shift ;;
    --work) work="$2"; shift ;;
    --runs) runs="$2"; shift ;;
    --quick) quick=1; memory=0 ;;
    --skip-memory) memory=0 ;;
    --only) only="$2"; shift ;;
    *) echo "unknown argument: $1" >&2; exit 2 ;;
  esac
  shift
done

# --- tools -------------------------------------------------------------------------------
need=()
for pair in hyperfine:hyperfine lame:lame oggenc:vorbis-tools sox:sox ffmpeg:ffmpeg ffprobe:ffmpeg; do
  command -v "${pair%%:*}" >/dev/null 2>&1 || need+=("${pair#*:}")
done
[ -x /usr/bin/time ] || need+=(time)
if [ ${#need[@]} -gt 0 ]; then
  sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  echo "Installing: ${need[*]}"
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${need[@]}"
fi
if [ ! -x "$bench" ]; then
  echo "no sondrel-bench at $bench: build it first (cmake --build --preset default --target sondrel-bench)" >&2
  exit 2
fi
bench=$(realpath "$bench")

mkdir -p "$work"
cd "$work"
out="$work/out"
mkdir -p "$out"

# --- inputs --------------------------------------------------------------------------------
minutes=10
probes=1000
if [ "$quick" = 1 ]; then minutes=1; probes=100; fi
src="src-${minutes}min.wav"

# A test signal with music's spread of frequencies: a slow sweep on the left, pink noise
# on the right, both with a tremolo. 44.1 kHz, stereo, 16-bit.
make_wav() { # name seconds
  [ -s "$1" ] || sox -n -r 44100 -c 2 -b 16 "$1" synth "$2" sine 110-3520 pinknoise tremolo 3 40 vol 0.5
}
echo "Preparing inputs in $work ..."
make_wav "$src" $((minutes * 60))
for fmt in mp3 ogg wma; do
  f="src-${minutes}min.$fmt"
  [ -s "$f" ] && continue
  case $fmt in
    mp3) ffmpeg -v error -y -i "$src" -c:a libmp3lame -b:a 128k "$f" ;;
    ogg) ffmpeg -v error -y -i "$src" -c:a libvorbis -b:a 128k -minrate 128k -maxrate 128k "$f" ;;
    wma) ffmpeg -v error -y -i "$src" -c:a wmav2 -b:a 128k "$f" ;;
  esac
done

# Probe set: ten kinds of MP3 (CBR and VBR with a Xing header, CBR without one so that the
# length must be counted from the packets, MPEG-2 mono, with and without tags), copied to
# reach the number of files.
if [ ! -d "probe-$probes" ]; then
  mkdir -p probe-kinds "probe-$probes"
  make_wav probe-src.wav 20
  i=0
  for spec in "-b:a 128k" "-b:a 192k" "-q:a 2" "-q:a 6" "-b:a 128k -write_xing 0" "-b:a 64k -write_xing 0" \
              "-b:a 32k -ar 22050 -ac 1" "-q:a 4 -ar 24000" "-b:a 320k" "-b:a 96k -write_xing 0 -ac 1"; do
    # shellcheck disable=SC2086
    ffmpeg -v error -y -i probe-src.wav -t $((5 + i)) -c:a libmp3lame $spec \
      -metadata title="Probe $i" -metadata artist="Artist $i" -metadata album="Album" \
      -metadata genre="Rock" -metadata date="2001" -metadata track="$((i + 1))/10" "probe-kinds/k$i.mp3"
    i=$((i + 1))
  done
  for n in $(seq 0 $((probes - 1))); do
    cp "probe-kinds/k$((n % 10)).mp3" "probe-$probes/$(printf 'p%04d' "$n").mp3"
  done
fi

part() { [[ ",$only," == *",$1,"* ]]; }

# --- helpers -------------------------------------------------------------------------------
# hyperfine over named commands; prints "name mean min" per command. The commands take
# turns (one warm-up round, then $runs rounds of one run each), so that load from other
# programs on the machine falls on all of them alike rather than on one.
time_these() { # label name1 cmd1 name2 cmd2 ...
  local label=$1; shift
  local args=() round
  while [ $# -gt 0 ]; do args+=(-n "$1" "$2"); shift 2; done
  rm -f "$work/$label".round*.csv
  for round in $(seq 0 "$runs"); do
    hyperfine --style none --runs 1 --export-csv "$work/$label.round$round.csv" "${args[@]}" >/dev/null \
      2>>"$work/hyperfine-warnings.log"
  done
  rm -f "$work/$label.round0.csv" # the warm-up
  awk -F, 'FNR > 1 { if (!($1 in n)) order[++k] = $1; n[$1]++; sum[$1] += $2
                     if (!($1 in min) || $2 < min[$1]) min[$1] = $2 }
           END { for (i = 1; i <= k; i++) printf "%s %.4f %.4f\n", order[i], sum[order[i]] / n[order[i]], min[order[i]] }' \
    "$work/$label".round*.csv
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else printf "-" }'; }
row() { printf '%-8s %-26s %-10s %9s %9s %7s %7s\n' "$@"; }

# Compares sondrel with one or two other commands: ours first, then the others.
compare() { # section what ours_cmd other1_name other1_cmd [other2_name other2_cmd]
  local section=$1 what=$2 ours=$3; shift 3
  local names=("sondrel") cmds=("$ours")
  while [ $# -gt 0 ]; do names+=("$1"); cmds+=("$2"); shift 2; done
  local args=()
  for k in "${!names[@]}"; do args+=("${names[$k]}" "${cmds[$k]}"); done
  local result
  result=$(time_these "$section-$(echo "$what" | tr -c 'A-Za-z0-9' _)" "${args[@]}")
  local our_mean our_min
  read -r _ our_mean our_min <<<"$(echo "$result" | head -1)"
  row "$section" "$what" sondrel "$our_mean" "$our_min" "" ""
  echo "$result" | tail -n +2 | while read -r name mean min; do
    row "" "" "$name" "$mean" "$min" "$(ratio "$our_mean" "$mean")" "$(ratio "$our_min" "$min")"
  done
}

ini() { # file section key=value...
  local f=$1 section=$2; shift 2
  { echo "[$section]"; for kv in "$@"; do echo "$kv"; done; } >"$f"
}

echo
echo "Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
echo "Tools: $(ffmpeg -version | head -1 | cut -d' ' -f1-3), $(lame --version | head -1 | cut -d' ' -f1-4)," \
     "$(oggenc --version), $(hyperfine --version)"
echo "Each figure: hyperfine, one warm-up round and $runs timed rounds, the commands taking turns;"
echo "ratio = sondrel / other (below 1: sondrel faster)."
echo

# --- transcoding ---------------------------------------------------------------------------
if part transcode; then
echo "== Transcoding a ${minutes}-minute WAV (44.1 kHz stereo 16-bit) =="
row section what tool "mean s" "min s" "mean x" "min x"
ini "$work/ogg-quality.ini" ogg "enable quality=1" "quality=300"

compare mp3 "CBR 128k, quality 9" \
  "$bench transcode --format mp3 --out $out $src" \
  ffmpeg "ffmpeg -v error -y -i $src -c:a libmp3lame -b:a 128k -compression_level 9 -ar 44100 -ac 2 $out/ff.mp3" \
  lame "lame --silent -b 128 --cbr -q 9 $src $out/lame.mp3"
compare ogg "managed 128k (min=max=128k)" \
  "$bench transcode --format ogg --out $out $src" \
  ffmpeg "ffmpeg -v error -y -i $src -c:a libvorbis -b:a 128k -minrate 128k -maxrate 128k -ar 44100 -ac 2 $out/ff.ogg" \
  oggenc "oggenc -Q --managed -b 128 -m 128 -M 128 -o $out/oggenc.ogg $src"
# Quality 300 of 0..1000 is Vorbis quality 1.0 - 1.1 * 0.3 = 0.67, oggenc's -q 6.7.
compare ogg "quality 300 (Vorbis q 6.7)" \
  "$bench transcode --format ogg --settings $work/ogg-quality.ini --out $out $src" \
  ffmpeg "ffmpeg -v error -y -i $src -c:a libvorbis -q:a 6.7 -ar 44100 -ac 2 $out/ffq.ogg" \
  oggenc "oggenc -Q -q 6.7 -o $out/oggencq.ogg $src"
compare wma "profile 10 (44.1k 128k)" \
  "$bench transcode --format wma --out $out $src" \
  ffmpeg "ffmpeg -v error -y -i $src -c:a wmav2 -b:a 128k -ar 44100 -ac 2 $out/ff.wma"
compare wav "CD quality (44.1k 16-bit)" \
  "$bench transcode --format wav --out $out $src" \
  ffmpeg "ffmpeg -v error -y -i $src -c:a pcm_s16le -ar 44100 -ac 2 $out/ff.wav"
echo
fi

# --- decoding ------------------------------------------------------------------------------
if part decode; then
echo "== Decoding ${minutes}-minute files to float samples =="
row section what tool "mean s" "min s" "mean x" "min x"
for fmt in mp3 ogg wma; do
  f="src-${minutes}min.$fmt"
  compare decode "$fmt 128k" "$bench decode $f" \
    ffmpeg "ffmpeg -v error -i $f -map 0:a:0 -f f32le -y /dev/null"
done
echo
fi

# --- probing -------------------------------------------------------------------------------
if part probe; then
echo "== Probing $probes MP3 files (open, stream info, exact length, tags) =="
files="probe-$probes/*.mp3"
$bench probe $files >"$work/probe.tsv"
tail -1 "$work/probe.tsv" | awk -F'\t' '{ printf "one run: %d files, %.3f s inside the process, peak RSS %d KiB\n", $2, $3, $4 }'
ours=$(time_these probe-ours sondrel "$bench probe $files" | awk '{ print $2, $3 }')
read -r ours_mean ours_min <<<"$ours"
# ffprobe once per file: timed on the first 100 files, scaled to all of them.
all=(probe-$probes/*.mp3)
first100="${all[*]:0:100}"
theirs=$(runs=1 time_these probe-ffprobe ffprobe \
  "for f in $first100; do ffprobe -v error -show_format -show_streams \$f >/dev/null; done" | awk '{ print $2 }')
per_file_theirs=$(awk -v t="$theirs" 'BEGIN { printf "%.2f", t / 100 * 1000 }')
all_theirs=$(awk -v t="$theirs" -v n="$probes" 'BEGIN { printf "%.2f", t / 100 * n }')
printf 'sondrel-bench probe: %.3f s mean, %.3f s min for %d files (%.3f ms a file)\n' \
  "$ours_mean" "$ours_min" "$probes" "$(awk -v t="$ours_mean" -v n="$probes" 'BEGIN { print t / n * 1000 }')"
printf 'ffprobe per file:    %s ms a file (100 files timed), %s s for %d files\n' "$per_file_theirs" "$all_theirs" "$probes"
printf 'speed-up:            %sx\n' "$(ratio "$all_theirs" "$ours_mean")"
echo
fi

# --- memory --------------------------------------------------------------------------------
if [ "$memory" = 1 ] && part memory; then
  echo "== Peak memory: converting a 60-minute vs a 1-minute WAV (/usr/bin/time -v) =="
  make_wav src-1min.wav 60
  make_wav src-60min.wav 3600
  printf '%-6s %12s %12s %7s\n' format "1 min KiB" "60 min KiB" ratio
  for fmt in mp3 ogg wma wav; do
    rss=()
    for len in 1 60; do
      /usr/bin/time -v "$bench" transcode --format "$fmt" --out "$out" "src-${len}min.wav" >/dev/null 2>"$work/time.txt"
      rss+=("$(awk -F: '/Maximum resident set size/ { gsub(/ /, "", $2); print $2 }' "$work/time.txt")")
    done
    printf '%-6s %12s %12s %7s\n' "$fmt" "${rss[0]}" "${rss[1]}" "$(ratio "${rss[1]}" "${rss[0]}")"
  done
  rm -f "$out"/src-60min.*
  echo
fi
echo "Raw hyperfine results: $work/*.round*.csv (warnings: $work/hyperfine-warnings.log)"
