#!/usr/bin/env bash
# Screenshots of the window on a private X server of 1600x1000: the first start (no stored
# size) and a conversion run in a window 1600 px wide, during the run and at its end.
#   scripts/screenshots.sh [program] [folder]    (default: build/bin/sondrel build/screenshots-1600)
set -euo pipefail
cd "$(dirname "$0")/.."
program=$(readlink -f "${1:-build/bin/sondrel}")
shots=${2:-build/screenshots-1600}
for tool in xvfb-run xdotool xwd xwininfo convert sox; do
  command -v "$tool" >/dev/null || { echo "needs $tool (scripts/setup.sh installs it)" >&2; exit 2; }
done
if [ -z "${SONDREL_SHOTS_IN_XVFB:-}" ]; then
  export SONDREL_SHOTS_IN_XVFB=1
  exec xvfb-run -a -s "-screen 0 1600x1000x24" bash "$0" "$program" "$shots"
fi
mkdir -p "$shots"
shots=$(readlink -f "$shots")
work=$(mktemp -d "${TMPDIR:-/tmp}/sondrel-shots.XXXXXX")
pid=""
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config"
mkdir -p "$XDG_CONFIG_HOME" "$HOME/Music" "$work/Album"
for n in 1 2 3 4 5 6; do
  sox -n -r 44100 -c 2 -b 16 "$work/Album/0$n Song number $n.wav" synth 300 sine 110-3520 vol 0.4
done

window() { # waits up to 20 s for the main window and prints its id
  for _ in $(seq 200); do
    id=$(xdotool search --onlyvisible --pid "$pid" --name '^(Velkin|Sondrel|fm_main)$' 2>/dev/null | head -1 || true)
    [ -n "$id" ] && { echo "$id"; return; }
    sleep 0.1
  done
  echo "the window did not open" >&2; exit 1
}
shot() { sleep "${3:-1}"; xwd -id "$1" -silent | convert xwd:- "png:$shots/$2"; echo "saved $shots/$2 ($(xwininfo -id "$1" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w "x" h}'))"; }

# The first start: nothing stored.
"$program" "$work/Album" >/dev/null 2>&1 & pid=$!
id=$(window); shot "$id" first-start.png 2
kill "$pid"; wait "$pid" 2>/dev/null || true

# A run in a window 1600 px wide, into MP3.
printf '[basic]\nformat=0\noutput directory=%s\nkeep folders=1\n[window]\nleft=0\ntop=0\nwidth=1600\nheight=900\n' \
  "$HOME/Music" > "$XDG_CONFIG_HOME/trevalon.ini"
"$program" "$work/Album" >/dev/null 2>&1 & pid=$!
id=$(window); shot "$id" list-1600.png 2
xdotool windowfocus --sync "$id" key ctrl+Return
shot "$id" run-1600.png 3
for _ in $(seq 600); do
  [ "$(find "$HOME/Music" -name '*.mp3' | wc -l)" -ge 6 ] && ! find "$HOME/Music" -name '.sondrel-*' | grep -q . && break
  sleep 0.1
done
shot "$id" run-ended-1600.png 2
kill "$pid"; wait "$pid" 2>/dev/null || true
