#!/usr/bin/env bash
# The smoke test on the installed program: `cmake --install` into a temporary prefix, then
# smoke.sh on <prefix>/bin/sondrel, the link the menu entry starts. The program must find
# its skin and help through that link.
#   tests/smoke/smoke_installed.sh <cmake> <build folder> <screenshot folder> [main window title]
set -uo pipefail
[ $# -ge 3 ] || { echo "usage: $0 <cmake> <build folder> <screenshot folder> [title]" >&2; exit 2; }
cmake=$1 build=$2 shots=$3
prefix=$(mktemp -d "${TMPDIR:-/tmp}/sondrel-prefix.XXXXXX")
trap 'rm -rf "$prefix"' EXIT
"$cmake" --install "$build" --prefix "$prefix" >"$prefix.log" 2>&1 || { cat "$prefix.log" >&2; rm -f "$prefix.log"; exit 1; }
rm -f "$prefix.log"
[ -L "$prefix/bin/sondrel" ] || { echo "FAIL: $prefix/bin/sondrel is not a link" >&2; exit 1; }
SONDREL_SMOKE_EXPECT_TITLE=${4:-} bash "$(dirname "$0")/smoke.sh" "$prefix/bin/sondrel" "$shots"
