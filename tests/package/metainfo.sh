#!/usr/bin/env bash
# The software-centre entry as installed: `cmake --install` into a temporary prefix, then
# appstreamcli validates the entry without the network, and its launchable is the menu entry
# installed beside it.
#   tests/package/metainfo.sh <cmake> <build folder>
set -uo pipefail
[ $# -eq 2 ] || { echo "usage: $0 <cmake> <build folder>" >&2; exit 2; }
cmake=$1 build=$2
command -v appstreamcli >/dev/null || { echo "SKIP: appstreamcli is not installed"; exit 77; }
prefix=$(mktemp -d "${TMPDIR:-/tmp}/sondrel-metainfo.XXXXXX")
trap 'rm -rf "$prefix"' EXIT
timeout 120 "$cmake" --install "$build" --prefix "$prefix" >"$prefix/install.log" 2>&1 \
  || { cat "$prefix/install.log" >&2; exit 1; }

entries=("$prefix"/share/metainfo/*.metainfo.xml)
[ ${#entries[@]} = 1 ] && [ -f "${entries[0]}" ] \
  || { echo "FAIL: not one entry in $prefix/share/metainfo" >&2; exit 1; }
entry=${entries[0]}
timeout 60 appstreamcli validate --no-net --pedantic "$entry" || exit 1

id=$(sed -n 's:.*<id>\(.*\)</id>.*:\1:p' "$entry")
[ "$(basename "$entry")" = "$id.metainfo.xml" ] || { echo "FAIL: $entry is not named after its id $id" >&2; exit 1; }
launchable=$(sed -n 's:.*<launchable type="desktop-id">\(.*\)</launchable>.*:\1:p' "$entry")
[ -n "$launchable" ] && [ -f "$prefix/share/applications/$launchable" ] \
  || { echo "FAIL: the launchable '$launchable' is not an installed menu entry" >&2; exit 1; }
binary=$(sed -n 's:.*<binary>\(.*\)</binary>.*:\1:p' "$entry")
[ -n "$binary" ] && [ -x "$prefix/bin/$binary" ] \
  || { echo "FAIL: the binary '$binary' it provides is not in $prefix/bin" >&2; exit 1; }
echo "PASS: $(basename "$entry") launches $launchable and provides $binary"
