#!/usr/bin/env bash
# Checks that every include between the program's layers points downwards:
#   engine   -> engine
#   core     -> core
#   filelist, convert, player -> themselves, core, engine
#   ui       -> everything but app
#   app      -> everything
# A header is known by its file name; names are unique across src/.
#   check_layers.sh SRC_DIR
set -euo pipefail
src="$1"

declare -A layer_of
while IFS= read -r h; do
    rel="${h#"$src"/}"
    layer_of["$(basename "$h")"]="${rel%%/*}"
done < <(find "$src" -name '*.h')

allowed() { # from to
    case "$1" in
        engine) [[ "$2" == engine ]] ;;
        core) [[ "$2" == core ]] ;;
        filelist|convert|player) [[ "$2" == "$1" || "$2" == core || "$2" == engine ]] ;;
        ui) [[ "$2" != app ]] ;;
        app) true ;;
        *) false ;;
    esac
}

bad=0
while IFS= read -r f; do
    rel="${f#"$src"/}"
    from="${rel%%/*}"
    while IFS= read -r inc; do
        to="${layer_of[$inc]:-}"
        [[ -z "$to" ]] && continue
        if ! allowed "$from" "$to"; then
            echo "$rel includes $inc ($to): $from may not use $to"
            bad=1
        fi
    done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$f" | xargs -r -n1 basename)
done < <(find "$src" \( -name '*.cpp' -o -name '*.h' \))

[[ $bad == 0 ]] && echo "layers: every include points downwards"
exit $bad
