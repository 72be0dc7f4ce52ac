#!/usr/bin/env bash
# On-screen smoke test: starts the built program on a private X server (Xvfb, the xcb
# platform, no window manager), opens each of its windows the way a user does (menu bar,
# keys, the file dialog), saves a PNG of each, closes each dialog with its own button and
# converts with Ctrl+Return, makes the window larger, and closes the program with Esc, which
# must end it with exit status 0. Then it starts the program again with a file named on its
# command line (a relative name) and converts that with the keyboard alone.
#   tests/smoke/smoke.sh <program> <screenshot folder>
# SONDREL_SMOKE_EXPECT_TITLE, when set, is the title the main window must show (the skinned
# window's title proves the skin file was found).
# Screenshots: main-window.png, settings.png (and settings-flac/-opus/-aac.png), tag-editor.png,
# folder-picker.png, about-box.png, main-window-large.png (after a conversion started with
# Ctrl+Return and a resize), main-window-command-line.png (started with a file), and
# help-viewer.png when a CHM viewer is installed. Every wait is bounded;
# exit 77 means a needed tool is missing (CTest reports the test as skipped).
set -uo pipefail

if [ $# -ne 2 ]; then
  echo "usage: $0 <program> <screenshot folder>" >&2
  exit 2
fi
# Absolute, but a link stays a link: the program must find its files through it.
program=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
shots=$2
step_timeout=${SONDREL_SMOKE_STEP_TIMEOUT:-20}

for tool in xvfb-run Xvfb xauth xdotool xwd xwininfo xprop convert ffmpeg; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIPPED: $tool is not installed (scripts/setup.sh --tests installs it)"
    exit 77
  fi
done
if [ ! -x "$program" ]; then
  echo "FAIL: $program is not an executable" >&2
  exit 1
fi

# Always a private X server of our own, also on a desktop: the user's screen is not touched.
if [ -z "${SONDREL_SMOKE_IN_XVFB:-}" ]; then
  export SONDREL_SMOKE_IN_XVFB=1
  exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$@"
fi

mkdir -p "$shots"
shots=$(readlink -f "$shots")
rm -f "$shots"/*.png
work=$(mktemp -d "${TMPDIR:-/tmp}/sondrel-smoke.XXXXXX")
pid=""
viewer_pid=""

cleanup() {
  for p in $viewer_pid $pid; do
    if kill -0 "$p" 2>/dev/null; then
      kill "$p" 2>/dev/null
      for _ in $(seq 20); do kill -0 "$p" 2>/dev/null || break; sleep 0.1; done
      kill -9 "$p" 2>/dev/null
    fi
  done
  [ -n "${SMOKE_KEEP:-}" ] || rm -rf "$work"
}
trap cleanup EXIT

say() { echo "[$(date +%T)] $*"; }

fail() {
  echo "FAIL: $*" >&2
  xwd -root -silent 2>/dev/null | convert xwd:- "png:$shots/failure.png" 2>/dev/null \
    && echo "The screen at the failure: $shots/failure.png" >&2
  if [ -s "$work/sondrel.log" ]; then
    echo "--- program output ---" >&2
    cat "$work/sondrel.log" >&2
  fi
  exit 1
}

# A home, configuration and runtime folder of its own, so the user's settings stay untouched.
export HOME="$work/home"
export XDG_CONFIG_HOME="$HOME/.config" XDG_DATA_HOME="$HOME/.local/share" XDG_CACHE_HOME="$HOME/.cache"
export XDG_RUNTIME_DIR="$work/runtime"
export QT_QPA_PLATFORM=xcb
unset SESSION_MANAGER QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$HOME/Music"
# The Add File(s) dialog opens in the folder it was last used in: the test's music folder,
# so only a bare file name needs typing there.
printf '[basic]\nfile path=%s\n' "$work/music" > "$XDG_CONFIG_HOME/trevalon.ini"
mkdir -m 700 -p "$XDG_RUNTIME_DIR"

# A short tagged MP3, added through the program's own file dialog.
song="$work/music/morning-light.mp3"
mkdir -p "$work/music"
ffmpeg -v error -y -f lavfi -i "sine=frequency=440:duration=4" \
  -metadata title="Morning Light" -metadata artist="The Examples" -metadata album="Test Pressing" \
  -metadata date=2021 -metadata track=3 -metadata genre=Jazz \
  -c:a libmp3lame -b:a 128k "$song" || fail "ffmpeg could not make the test file"

# --- helpers -----------------------------------------------------------------------------

deadline() { echo $(( $(date +%s) + ${1:-$step_timeout} )); }

program_alive() { kill -0 "$pid" 2>/dev/null; }

# The first visible window of the program whose title matches the regular expression.
wait_window() {
  local id
  program_alive || fail "the program ended while waiting for the window \"$1\""
  # Polled rather than "search --sync": a window closing during a search (a menu, say) makes
  # xdotool give up at once.
  local end
  end=$(deadline)
  while :; do
    id=$(timeout 5 xdotool search --all --onlyvisible --pid "$pid" --name "$1" 2>/dev/null | head -1)
    [ -n "$id" ] && break
    [ "$(date +%s)" -lt "$end" ] || fail "no window titled $1 appeared within ${step_timeout}s"
    program_alive || fail "the program ended while waiting for the window \"$1\""
    sleep 0.1
  done
  echo "$id"
}

visible_count() { xdotool search --all --onlyvisible --pid "$pid" --name '' 2>/dev/null | wc -l; }

# Waits until the program shows more windows than before (a popup menu opened).
wait_more_windows() {
  local before=$1 end
  end=$(deadline)
  while [ "$(visible_count)" -le "$before" ]; do
    [ "$(date +%s)" -lt "$end" ] || fail "$2 did not open within ${step_timeout}s"
    program_alive || fail "the program ended while waiting for $2"
    sleep 0.05
  done
}

wait_gone() {
  local end
  end=$(deadline)
  while xwininfo -id "$1" 2>/dev/null | grep -q 'IsViewable'; do
    [ "$(date +%s)" -lt "$end" ] || fail "$2 did not close within ${step_timeout}s"
    sleep 0.05
  done
}

size_of() { xwininfo -id "$1" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w "x" h}'; }

capture() { xwd -id "$1" -silent 2>/dev/null | convert xwd:- "png:$2" 2>/dev/null; }

# Saves a window once it is painted: two captures in a row alike and not blank.
shoot() {
  local id=$1 file=$2 end prev="$work/shot-a.png" cur="$work/shot-b.png" mean
  end=$(deadline)
  capture "$id" "$prev" || fail "cannot capture window $id"
  while :; do
    sleep 0.15
    capture "$id" "$cur" || fail "cannot capture window $id"
    mean=$(convert "$cur" -colorspace gray -format '%[fx:mean]' info: 2>/dev/null || echo 0)
    if cmp -s "$prev" "$cur" && awk -v m="$mean" 'BEGIN { exit !(m > 0.05) }'; then
      break
    fi
    [ "$(date +%s)" -lt "$end" ] || fail "window $id did not settle for its screenshot ($file)"
    mv "$cur" "$prev"
  done
  mv "$cur" "$shots/$file"
  say "saved $shots/$file ($(size_of "$id"))"
}

# xdotool with a time limit: a request the X server never answers fails the test.
xdo() { timeout 10 xdotool "$@" || fail "xdotool $* failed"; }

click() { xdo mousemove --sync --window "$1" "$2" "$3" click 1; }

# Bounding box (w h x y) of what differs between two pictures, "0 0 ..." when nothing does.
diff_box() {
  convert "$1" "$2" -compose difference -composite -colorspace gray -threshold 10% \
    -format '%@' info: 2>/dev/null | sed 's/[x+]/ /g'
}

# Checks a dialog's size against its known layout: a different size means the button
# positions below are not where this test clicks.
expect_size() {
  local got
  got=$(size_of "$1")
  [ "$got" = "$2" ] || fail "$3 is $got, expected $2: its layout changed"
}

# Converts the list with Ctrl+Return and waits until <name>.mp3 stands finished in the Music
# folder (no temporary file of a run left beside it).
convert_with_keys() { # name failure-text
  timeout 5 xdotool windowfocus --sync "$main" || fail "cannot give the main window the focus"
  say "Ctrl+Return"
  xdo key ctrl+Return
  local end
  end=$(deadline)
  until [ -s "$HOME/Music/$1.mp3" ] && ! ls -A "$HOME/Music" | grep -q '^\.sondrel-'; do
    [ "$(date +%s)" -lt "$end" ] || fail "$2 within ${step_timeout}s"
    sleep 0.1
  done
}

# --- start --------------------------------------------------------------------------------

say "starting $program"
"$program" >"$work/sondrel.log" 2>&1 &
pid=$!
main=$(wait_window '^(Velkin|Sondrel|fm_main)$') || exit 1
if [ -n "${SONDREL_SMOKE_EXPECT_TITLE:-}" ]; then
  end=$(deadline)
  until [ "$(xdotool getwindowname "$main")" = "$SONDREL_SMOKE_EXPECT_TITLE" ]; do
    [ "$(date +%s)" -lt "$end" ] || fail "the main window's title is \"$(xdotool getwindowname "$main")\", expected \"$SONDREL_SMOKE_EXPECT_TITLE\""
    sleep 0.05
  done
fi
read -r main_w main_h < <(size_of "$main" | tr x ' ')
# The first start opens at 900x560, never more than 80% of the screen (1024x768 here).
say "first start: ${main_w}x${main_h}"
[ "$main_w" -eq 819 ] && [ "$main_h" -eq 560 ] || fail "the first start is ${main_w}x${main_h}, expected 819x560"
shoot "$main" first-start.png
# The rest goes by the designed layout: the window at its smallest size, which its size
# hints state.
read -r min_w min_h < <(xprop -id "$main" WM_NORMAL_HINTS | awk '/minimum size/ { print $5, $7 }')
xdo windowsize --sync "$main" "$min_w" "$min_h"
end=$(deadline)
until [ "$(size_of "$main")" = "${min_w}x${min_h}" ]; do
  [ "$(date +%s)" -lt "$end" ] || fail "the main window did not take its smallest size ${min_w}x${min_h}"
  sleep 0.05
done
read -r main_w main_h < <(size_of "$main" | tr x ' ')
menubar_h=$(( main_h - 388 ))
say "main window $main: ${main_w}x${main_h}, menu bar ${menubar_h} px"
[ "$main_w" -eq 481 ] || fail "the main window is $main_w px wide, expected a client area of 481"
[ "$menubar_h" -ge 10 ] && [ "$menubar_h" -le 60 ] || fail "no menu bar above the 388 px client area"
menu_y=$(( menubar_h / 2 ))
shoot "$main" main-window.png

# --- find the menu bar's titles ----------------------------------------------------------
# The titles' positions depend on the fonts. Opening
# "File" and stepping right with the arrow keys highlights one title after another; what
# changes in the menu bar each time is where that title is.
capture "$main" "$work/main.png"
convert "$work/main.png" -crop "${main_w}x${menubar_h}+0+0" +repage "$work/bar-idle.png"
before=$(visible_count)
click "$main" 12 "$menu_y"
wait_more_windows "$before" "the File menu"
xdo mousemove --sync --window "$main" 4 $(( main_h - 4 ))
declare -a title_x
prev_box=""
for k in 1 2 3 4; do
  xdo key Right
  end=$(deadline)
  while :; do
    capture "$main" "$work/main.png"
    convert "$work/main.png" -crop "${main_w}x${menubar_h}+0+0" +repage "$work/bar.png"
    box=$(diff_box "$work/bar-idle.png" "$work/bar.png")
    read -r bw bh bx by <<<"$box"
    if [ "${bw:-0}" -gt 0 ] && [ "$box" != "$prev_box" ]; then break; fi
    [ "$(date +%s)" -lt "$end" ] || fail "menu title $k was not highlighted"
    sleep 0.05
  done
  prev_box=$box
  title_x[k]=$(( bx + bw / 2 ))
done
say "menu titles at x: Action ${title_x[1]}, Options ${title_x[2]}, ID3 Tag ${title_x[3]}, Help ${title_x[4]}"
# The Help menu is open now; a click on the empty end of the menu bar closes it.
click "$main" $(( main_w - 4 )) "$menu_y"
end=$(deadline)
while [ "$(visible_count)" -gt "$before" ]; do
  [ "$(date +%s)" -lt "$end" ] || fail "the Help menu did not close"
  sleep 0.05
done

# --- the settings dialog ------------------------------------------------------------------
say "Options"
click "$main" "${title_x[2]}" "$menu_y"
dlg=$(wait_window '^Settings$') || exit 1
shoot "$dlg" settings.png
expect_size "$dlg" 391x349 "the settings dialog"
# The pages of the newer formats: Tab three times from OK puts the focus on the tabs, then
# each Right shows the next page. Each key waits until the dialog shows its effect, so none
# is lost while the dialog is drawn.
press_and_wait() {
  capture "$dlg" "$work/page-before.png"
  xdo key "$1"
  local end
  end=$(deadline)
  while :; do
    capture "$dlg" "$work/page-after.png"
    cmp -s "$work/page-before.png" "$work/page-after.png" || break
    [ "$(date +%s)" -lt "$end" ] || fail "the settings dialog did not answer the key $1"
    sleep 0.05
  done
}
for key in Tab Tab Tab Right Right Right Right; do press_and_wait $key; done
shoot "$dlg" settings-flac.png
press_and_wait Right
shoot "$dlg" settings-opus.png
press_and_wait Right
shoot "$dlg" settings-aac.png
press_and_wait Right
shoot "$dlg" settings-general.png
press_and_wait Right
shoot "$dlg" settings-naming.png
click "$dlg" $(( 285 + 37 )) $(( 314 + 12 ))          # Cancel
wait_gone "$dlg" "the settings dialog"

# --- a file through the keyboard alone (Ctrl+O, a typed name, Enter), then the tag editor ---
say "Ctrl+O: Add File(s)"
list_top=$(( menubar_h + 73 ))
capture "$main" "$work/main.png"
convert "$work/main.png" -crop "469x247+6+${list_top}" +repage "$work/list-empty.png"
timeout 5 xdotool windowfocus --sync "$main" || fail "cannot give the main window the focus"
xdo key ctrl+o
dlg=$(wait_window '^Open$') || exit 1
# Type only once the dialog has the keyboard (its file name field has the focus).
end=$(deadline)
until [ "$(xdotool getwindowfocus 2>/dev/null)" = "$dlg" ]; do
  [ "$(date +%s)" -lt "$end" ] || fail "the file dialog never took the keyboard"
  xdotool windowfocus "$dlg" 2>/dev/null || true
  sleep 0.1
done
sleep 0.3
xdo type --delay 20 "$(basename "$song")"
sleep 0.3
xdo key Return
wait_gone "$dlg" "the file dialog"
end=$(deadline)
while :; do
  capture "$main" "$work/main.png"
  convert "$work/main.png" -crop "469x247+6+${list_top}" +repage "$work/list.png"
  read -r bw bh bx by <<<"$(diff_box "$work/list-empty.png" "$work/list.png")"
  # The first row appears right under the headers; a change lower down is something else
  # (the closing dialog's remains, say).
  [ "${bw:-0}" -gt 0 ] && [ "${by:-99}" -lt 40 ] && break
  [ "$(date +%s)" -lt "$end" ] || fail "the file was not added to the list"
  sleep 0.1
done
# The new row is what changed in the list; a click near its top edge selects it. Should the
# list not have taken the click yet (the program was still busy), ID3 Tag answers with its
# "select a file" message: dismiss it and try again.
for attempt in 1 2 3 4 5; do
  xdotool windowfocus "$main" 2>/dev/null || true
  # Row 0 lies just under the column headers (about 18 px), whatever the font.
  click "$main" 60 $(( list_top + 26 ))
  sleep 0.3
  say "ID3 Tag"
  click "$main" "${title_x[3]}" "$menu_y"
  dlg=$(wait_window '^(ID3|Information)$') || exit 1
  [ "$(xdotool getwindowname "$dlg")" = ID3 ] && break
  say "the row was not selected yet (attempt $attempt)"
  xdo windowfocus "$dlg"
  sleep 0.2
  xdo key Return
  wait_gone "$dlg" "the message"
  [ "$attempt" -lt 5 ] || fail "the tag editor did not open: the row could not be selected"
done
shoot "$dlg" tag-editor.png
expect_size "$dlg" 428x255 "the tag editor"
click "$dlg" $(( 271 + 34 )) $(( 212 + 12 ))          # Cancel
wait_gone "$dlg" "the tag editor"

# --- the folder picker: File > Add Path ---------------------------------------------------
say "File > Add Path"
before=$(visible_count)
click "$main" 12 "$menu_y"
wait_more_windows "$before" "the File menu"
xdo key Down Down Return
dlg=$(wait_window '^Open Folder$') || exit 1
shoot "$dlg" folder-picker.png
expect_size "$dlg" 302x284 "the folder picker"
click "$dlg" $(( 169 + 37 )) $(( 246 + 12 ))          # Cancel
wait_gone "$dlg" "the folder picker"

# --- the about box: Help > About ----------------------------------------------------------
say "Help > About"
before=$(visible_count)
click "$main" "${title_x[4]}" "$menu_y"
wait_more_windows "$before" "the Help menu"
xdo key Up Return                                  # the last item: About
dlg=$(wait_window '^About$') || exit 1
shoot "$dlg" about-box.png
expect_size "$dlg" 314x208 "the about box"
click "$dlg" $(( 221 + 37 )) $(( 170 + 12 ))          # Close
wait_gone "$dlg" "the about box"

# --- F1 opens the help file in the desktop's CHM viewer, where one is installed ------------
timeout 5 xdotool windowfocus --sync "$main" || fail "cannot give the main window the focus"
if command -v xdg-open >/dev/null && [ -n "$(xdg-mime query default application/vnd.ms-htmlhelp 2>/dev/null)" ]; then
  say "F1"
  xdo key F1
  # The viewer shows the help file's title, "Sondrel Help".
  viewer=$(timeout "$step_timeout" xdotool search --sync --onlyvisible --name 'Sondrel Help' 2>/dev/null | head -1)
  [ -n "$viewer" ] || fail "F1 opened no help viewer showing \"Sondrel Help\" within ${step_timeout}s"
  viewer_pid=$(xdotool getwindowpid "$viewer" 2>/dev/null || true)
  shoot "$viewer" help-viewer.png
  # F1 again, from the main window: the viewer comes to the front, no second one starts.
  timeout 5 xdotool windowfocus --sync "$main" || fail "cannot give the main window the focus"
  xdo key F1
  end=$(deadline)
  until [ "$(xdotool getwindowfocus 2>/dev/null)" = "$viewer" ]; do
    [ "$(date +%s)" -lt "$end" ] || fail "a second F1 did not bring the help viewer to the front"
    sleep 0.1
  done
  sleep 1
  viewers=$(xdotool search --onlyvisible --name 'Sondrel Help' 2>/dev/null | wc -l)
  [ "$viewers" -eq 1 ] || fail "a second F1 left $viewers help viewers"
  if [ -n "$viewer_pid" ]; then
    kill "$viewer_pid" 2>/dev/null
    end=$(deadline)
    while kill -0 "$viewer_pid" 2>/dev/null; do
      [ "$(date +%s)" -lt "$end" ] || break
      sleep 0.1
    done
  fi
  timeout 5 xdotool windowfocus --sync "$main" || fail "cannot give the main window the focus"
else
  say "no CHM viewer installed (scripts/run.sh installs xchm): F1 not checked on screen"
fi

# --- the keyboard alone converts: Ctrl+Return, into the Music folder as MP3 ---------------
convert_with_keys morning-light "Ctrl+Return converted nothing into $HOME/Music"

# --- a larger window: the list takes the room ---------------------------------------------
say "resize"
xdo windowsize "$main" 760 560
end=$(deadline)
until [ "$(size_of "$main")" = "760x560" ]; do
  [ "$(date +%s)" -lt "$end" ] || fail "the main window is $(size_of "$main") after resizing, expected 760x560"
  sleep 0.1
done
sleep 0.3
shoot "$main" main-window-large.png

# --- Esc in the main window ends the program ---------------------------------------------
say "Esc"
xdo key Escape
end=$(deadline)
while program_alive; do
  [ "$(date +%s)" -lt "$end" ] || fail "the program did not end within ${step_timeout}s of Esc"
  sleep 0.1
done
wait "$pid"
status=$?
pid=""
[ "$status" -eq 0 ] || fail "the program ended with status $status"

# --- a file named on the command line, converted with the keyboard alone -----------------
# Started from the music folder with a relative name: the file is in the list when the window
# shows, and Ctrl+Return converts it into the Music folder.
second="$work/music/evening-tide.wav"
ffmpeg -v error -y -f lavfi -i "sine=frequency=330:duration=3" -metadata title="Evening Tide" "$second" \
  || fail "ffmpeg could not make the second test file"
say "starting $program $(basename "$second") in $work/music"
(cd "$work/music" && exec "$program" "$(basename "$second")") >"$work/sondrel.log" 2>&1 &
pid=$!
main=$(wait_window '^(Velkin|Sondrel|fm_main)$') || exit 1
read -r main_w main_h < <(size_of "$main" | tr x ' ')
# The first row lies just under the column headers: once it holds text, the file is listed.
row_top=$(( menubar_h + 73 + 20 ))
end=$(deadline)
while :; do
  capture "$main" "$work/main.png"
  spread=$(convert "$work/main.png" -crop "200x12+10+${row_top}" +repage -colorspace gray \
           -format '%[fx:standard_deviation]' info: 2>/dev/null || echo 0)
  awk -v s="$spread" 'BEGIN { exit !(s > 0.02) }' && break
  [ "$(date +%s)" -lt "$end" ] || fail "the file named on the command line was not listed within ${step_timeout}s"
  program_alive || fail "the program ended while adding the file named on the command line"
  sleep 0.1
done
shoot "$main" main-window-command-line.png
convert_with_keys evening-tide "Ctrl+Return did not convert the file named on the command line"
say "Esc"
xdo key Escape
end=$(deadline)
while program_alive; do
  [ "$(date +%s)" -lt "$end" ] || fail "the program did not end within ${step_timeout}s of Esc"
  sleep 0.1
done
wait "$pid"
status=$?
pid=""
[ "$status" -eq 0 ] || fail "the program started with a file ended with status $status"

for f in main-window settings settings-flac settings-opus settings-aac settings-general settings-naming tag-editor folder-picker about-box \
         main-window-large main-window-command-line; do
  [ -s "$shots/$f.png" ] || fail "$shots/$f.png is missing"
done
say "program ended with status 0; screenshots in $shots"
