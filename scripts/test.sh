#!/usr/bin/env bash
# Installs what is missing, builds Sondrel with its tests and runs every test headless.
#   scripts/test.sh [--preset asan] [extra ctest arguments]
set -euo pipefail
cd "$(dirname "$0")/.."

preset=default
if [ "${1:-}" = "--preset" ]; then preset="$2"; shift 2; fi

scripts/setup.sh --tests --preset "$preset"
source scripts/sound-server.sh
start_null_sink

export QT_QPA_PLATFORM=offscreen
ctest --preset "$preset" -j2 "$@"
