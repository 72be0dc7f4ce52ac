#!/usr/bin/env bash
# Installs what is missing, builds Sondrel with its tests and runs every test headless; with
# the default preset it then makes the Debian package, installs it (as root) and runs the
# installed program (scripts/check-package.sh).
#   scripts/test.sh [--preset asan] [extra ctest arguments]
set -euo pipefail
cd "$(dirname "$0")/.."

preset=default
if [ "${1:-}" = "--preset" ]; then preset="$2"; shift 2; fi

package=()
[ "$preset" = default ] && package=(--package)
scripts/setup.sh --tests "${package[@]}" --preset "$preset"
source scripts/sound-server.sh
start_null_sink

export QT_QPA_PLATFORM=offscreen
ctest --preset "$preset" -j2 "$@"

if [ "$preset" = default ]; then
  echo "== The Debian package"
  deb=$(scripts/package.sh | tail -n 1)
  scripts/check-package.sh "$deb"
fi
