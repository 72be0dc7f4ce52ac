#!/usr/bin/env bash
# Installs what is missing, builds Sondrel and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
exec build/bin/sondrel "$@"
