#!/usr/bin/env bash
# Checks the Debian package: what it holds and declares, that apt can install it on a Debian
# with nothing installed, then installs it (as root; otherwise it is only unpacked into a
# temporary folder) and runs the installed program: --version, a conversion of a generated
# WAV without a window, the window itself for a few seconds, and its manual page.
#   scripts/check-package.sh build/sondrel_<version>_<arch>.deb
set -uo pipefail
[ $# -eq 1 ] || { echo "usage: $0 <package>" >&2; exit 2; }
deb=$(realpath "$1")
status=0
fail() { echo "FAIL: $*" >&2; status=1; }
pass() { echo "ok: $*"; }

work=$(mktemp -d "${TMPDIR:-/tmp}/sondrel-package.XXXXXX")
trap 'rm -rf "$work"' EXIT

# What it holds: the program and its data under /usr, nothing of the tests or the bench.
contents=$(dpkg-deb -c "$deb" | awk '{ print $6 }') || { echo "FAIL: $deb is not a package" >&2; exit 1; }
for f in ./usr/bin/sondrel ./usr/lib/sondrel/sondrel ./usr/share/applications/sondrel.desktop \
         ./usr/share/man/man1/sondrel.1.gz ./usr/share/icons/hicolor/48x48/apps/sondrel.png; do
  grep -qxF -- "$f" <<<"$contents" || fail "$f is not in the package"
done
grep -qE '^\./usr/share/metainfo/.+\.metainfo\.xml$' <<<"$contents" || fail "no software-centre entry in the package"
strays=$(grep -vE '^\./usr/(bin|lib/sondrel|share/(applications|icons|man|metainfo|doc))(/|$)|^\./(usr/((lib|share)/)?)?$' <<<"$contents")
[ -z "$strays" ] || fail "the package holds more than the program and its data: $strays"
grep -iE 'test|bench' <<<"$contents" && fail "the package holds tests or the bench"
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 libqt6multimedia6 libavcodec libtag1v5 libmp3lame0 libvorbisenc2 libebur128-1; do
  grep -q "$lib" <<<"$depends" || fail "Depends does not name $lib: $depends"
done
[ "$status" = 0 ] && pass "$(basename "$deb") holds the program and its data and depends on $(tr ',' '\n' <<<"$depends" | wc -l) packages"

# A Debian with nothing installed: apt must find every dependency (from the package lists
# apt-get update fetched).
if compgen -G "/var/lib/apt/lists/*_Packages*" >/dev/null; then
  if apt-get -s -o Dir::State::status=/dev/null install "$deb" >"$work/simulate.log" 2>&1; then
    pass "apt resolves its dependencies on an empty system ($(grep -c '^Inst ' "$work/simulate.log") packages)"
  else
    cat "$work/simulate.log" >&2
    fail "apt cannot install the package on an empty system"
  fi
else
  echo "skipped: the apt-get install simulation on an empty system (no package lists: run apt-get update)"
fi

# Install it (again when this version is installed already: the build may have changed it),
# or unpack it when not root.
if [ "$(id -u)" -eq 0 ]; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --reinstall "$deb" >"$work/install.log" 2>&1 \
    || { cat "$work/install.log" >&2; echo "FAIL: apt-get install $deb" >&2; exit 1; }
  root=""
  pass "installed with apt-get install"
else
  echo "skipped: installing the package needs root (sudo apt-get install $deb); running it unpacked instead"
  dpkg-deb -x "$deb" "$work/root" || { echo "FAIL: dpkg-deb -x $deb" >&2; exit 1; }
  root="$work/root"
fi
sondrel="$root/usr/bin/sondrel"

missing=$(ldd "$root/usr/lib/sondrel/sondrel" | grep 'not found')
[ -z "$missing" ] || fail "libraries not found: $missing"

version=$(timeout 30 "$sondrel" --version) && [[ "$version" == "sondrel "* ]] \
  && pass "$version" || fail "sondrel --version: $version"

# A conversion without a window, with the factory settings (a home folder of its own).
export HOME="$work/home"
unset XDG_CONFIG_HOME
mkdir -p "$HOME"
if command -v sox >/dev/null; then
  sox -n -r 44100 -c 2 -b 16 "$work/tone.wav" synth 2 sine 440 || fail "sox could not make the WAV"
  out=$(timeout 120 "$sondrel" --convert --format mp3 --out "$work/out" "$work/tone.wav" </dev/null 2>"$work/convert.err")
  rc=$?
  if [ $rc = 0 ] && [[ "$out" == "$work/tone.wav"$'\t'converted$'\t'* ]] && [ -s "$work/out/tone.mp3" ]; then
    seconds=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$work/out/tone.mp3" 2>/dev/null)
    pass "sondrel --convert made tone.mp3 (${seconds:-?} s)"
  else
    fail "sondrel --convert exited $rc: $out $(cat "$work/convert.err")"
  fi
else
  echo "skipped: the conversion (sox is not installed to make the WAV)"
fi

# The window starts and keeps running until it is told to stop.
QT_QPA_PLATFORM=offscreen timeout 5 "$sondrel" >"$work/window.log" 2>&1
rc=$?
[ $rc = 124 ] && pass "the window starts" || fail "the window ended by itself with $rc: $(cat "$work/window.log")"

if [ -z "$root" ] && grep -qs '^path-exclude.*/usr/share/man' /etc/dpkg/dpkg.cfg.d/*; then
  echo "skipped: man sondrel (dpkg is set to leave manual pages out on this system)"
elif [ -z "$root" ]; then
  page=$(man -w sondrel 2>/dev/null)
  [ "$page" = /usr/share/man/man1/sondrel.1.gz ] && pass "man sondrel shows $page" || fail "man -w sondrel: '$page'"
fi
exit "$status"
