#!/usr/bin/env bash
# Installs the Debian packages Sondrel needs (only the missing ones), then configures and
# builds it with CMake. Safe to run again: nothing is installed twice, the build is incremental.
#   scripts/setup.sh [--tests] [--package] [--viewer] [--preset NAME] [--target NAME]
#   --tests   also what the tests need; --package also what making the Debian package needs;
#   --viewer  also a CHM viewer, so that F1 shows the help; --target builds only that target
set -euo pipefail
cd "$(dirname "$0")/.."

preset=default
with_tests=0
with_package=0
with_viewer=0
target=()
while [ $# -gt 0 ]; do
  case "$1" in
    --tests) with_tests=1 ;;
    --package) with_package=1 ;;
    --viewer) with_viewer=1 ;;
    --preset) preset="$2"; shift ;;
    --target) target=(--target "$2"); shift ;;
    *) echo "unknown argument: $1" >&2; exit 2 ;;
  esac
  shift
done

build_pkgs=(cmake ninja-build g++ pkg-config fonts-dejavu-core
  qt6-base-dev qt6-multimedia-dev qt6-image-formats-plugins
  libavformat-dev libavcodec-dev libavutil-dev libswresample-dev
  libvorbis-dev libmp3lame-dev libtag1-dev libebur128-dev libxcb1-dev
  pulseaudio)
# ffprobe is the tests' independent oracle, with LAME's, oggdec's and SoX's own decoders and
# resampler as second opinions on the engine's files; PulseAudio gives them a real (null) sound sink;
# Xvfb and ImageMagick run the on-screen smoke test, which also opens the help with F1 in
# xchm; desktop-file-validate checks the installed menu entry, appstreamcli the software-centre
# entry, man (with groff) the manual page; dbus-daemon gives the notification tests a private
# session bus; metaflac (flac) writes the cue sheets the cue sheet tests find inside FLAC files.
test_pkgs=(ffmpeg lame vorbis-tools sox pulseaudio-utils xvfb xauth x11-apps imagemagick xdotool
  xchm xdg-utils desktop-file-utils appstream man-db dbus-daemon flac)
# dpkg-shlibdeps finds the package's dependencies.
package_pkgs=(dpkg-dev)
# The help viewer F1 opens, through the desktop's default handler (xdg-open).
viewer_pkgs=(xchm xdg-utils)

pkgs=("${build_pkgs[@]}")
[ "$with_tests" = 1 ] && pkgs+=("${test_pkgs[@]}")
[ "$with_package" = 1 ] && pkgs+=("${package_pkgs[@]}")
[ "$with_viewer" = 1 ] && pkgs+=("${viewer_pkgs[@]}")

missing=()
for p in "${pkgs[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
apt_updated=0
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  "${sudo[@]}" apt-get update -qq
  apt_updated=1
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The help compiler chmcmd. Debian ships it in fp-utils-3.2.2 as a standalone binary that
# needs only libc; installing that package would pull the whole Free Pascal toolchain
# (about 250 MB), so when no chmcmd is installed, only the binary is taken out of the
# package into .tools/bin, where the build looks for it.
if ! command -v chmcmd >/dev/null 2>&1 && ! [ -x .tools/bin/chmcmd ]; then
  echo "Fetching chmcmd from the Debian package fp-utils-3.2.2 into .tools/bin"
  tmp=$(mktemp -d)
  trap 'rm -rf "$tmp"' EXIT
  if ! (cd "$tmp" && apt-get download -qq fp-utils-3.2.2 2>/dev/null); then
    [ "$apt_updated" = 1 ] || "${sudo[@]}" apt-get update -qq
    (cd "$tmp" && apt-get download -qq fp-utils-3.2.2)
  fi
  dpkg-deb --fsys-tarfile "$tmp"/fp-utils-3.2.2_*.deb | tar -x -C "$tmp" ./usr/bin/chmcmd-3.2.2
  mkdir -p .tools/bin
  install -m 755 "$tmp/usr/bin/chmcmd-3.2.2" .tools/bin/chmcmd.new
  mv .tools/bin/chmcmd.new .tools/bin/chmcmd
  rm -rf "$tmp"
  trap - EXIT
fi

cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" "${target[@]}"
