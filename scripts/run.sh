#!/usr/bin/env bash
# Installs what is missing (and a CHM viewer, so that F1 shows the help), builds Sondrel
# and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --viewer
exec build/bin/sondrel "$@"
