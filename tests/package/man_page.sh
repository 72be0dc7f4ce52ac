#!/usr/bin/env bash
# The manual page against the program: every option and output format that `--help` lists
# is an item of OPTIONS (and OPTIONS has no option `--help` does not list), every exit status
# it names is an item of EXIT STATUS, and the page renders without a warning.
#   tests/package/man_page.sh <program> <manual page>
set -uo pipefail
[ $# -eq 2 ] || { echo "usage: $0 <program> <manual page>" >&2; exit 2; }
program=$1 page=$2
status=0
fail() { echo "FAIL: $*" >&2; status=1; }

help=$(timeout 30 "$program" --help) || { echo "FAIL: $program --help did not succeed" >&2; exit 1; }

# The page's text with roff's dashes and font changes undone.
plain() { sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' -e 's/\\~/ /g' "$page"; }
# The first lines of the items (.TP) of one section.
items() {
  plain | awk -v section="$1" '
    /^\.SH / { inside = ($0 == ".SH " section); next }
    inside && head { print; head = 0 }
    inside && /^\.TP/ { head = 1 }'
}

help_options=$(grep -oE -- '--[a-z][a-z-]*' <<<"$help" | sort -u)
page_options=$(items OPTIONS | grep -oE -- '--[a-z][a-z-]*' | sort -u)
[ -n "$help_options" ] || fail "--help lists no options"
for o in $help_options; do
  grep -qxF -- "$o" <<<"$page_options" || fail "$o is in --help but not an item of OPTIONS"
done
for o in $page_options; do
  grep -qxF -- "$o" <<<"$help_options" || fail "$o is an item of OPTIONS but not in --help"
done

# The formats, as --help lists them after --format: each named in the --format item's text.
formats=$(grep -oE -- '--format [a-z0-9|]+' <<<"$help" | head -1 | cut -d' ' -f2 | tr '|' ' ')
[ -n "$formats" ] || fail "--help names no formats after --format"
format_text=$(plain | awk '/^\.TP/ { inside = 0 } inside { print } /^\.BI --format / { inside = 1 }')
for f in $formats; do
  grep -qE "^\.B[R]? $f( |,|$)" <<<"$format_text" || fail "format $f is not named under --format"
done

# The exit statuses --help names.
statuses=$(sed -n '/^Exit status:/,$p' <<<"$help" | grep -oE '\b[0-9]{1,3}\b' | sort -un)
[ -n "$statuses" ] || fail "--help names no exit statuses"
page_statuses=$(items "EXIT STATUS" | grep -oE '\b[0-9]{1,3}\b' | sort -un)
for s in $statuses; do
  grep -qxF "$s" <<<"$page_statuses" || fail "exit status $s is not an item of EXIT STATUS"
done

# Rendering: man-db's own warnings, else groff's, and mandoc's lint where it is installed.
renderers=0
if command -v man >/dev/null && man --help 2>&1 | grep -q -- '--warnings'; then
  renderers=$((renderers + 1))
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 timeout 60 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man -l warns: $warnings"
elif command -v groff >/dev/null; then
  renderers=$((renderers + 1))
  warnings=$(timeout 60 groff -man -Tutf8 -ww -z "$page" 2>&1)
  [ -z "$warnings" ] || fail "groff warns: $warnings"
fi
if command -v mandoc >/dev/null; then
  renderers=$((renderers + 1))
  warnings=$(timeout 60 mandoc -T lint -W warning "$page" 2>&1)
  [ -z "$warnings" ] || fail "mandoc warns: $warnings"
fi
if [ "$renderers" = 0 ]; then
  echo "SKIP: neither man, groff nor mandoc is installed to render the page"
  [ "$status" = 0 ] && exit 77
fi
exit "$status"
