# Shared by the bench scripts: `measure LABEL COMMAND...` runs COMMAND $runs times in the
# current folder (a fresh ./out before each run) and prints the median wall time and the
# median peak memory, measured by /usr/bin/time.

median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }

measure() { # label, command...
  local label="$1"; shift
  local secs=() kibs=()
  for r in $(seq 1 "$runs"); do
    rm -rf out; mkdir -p out
    /usr/bin/time -f "%e %M" "$@" >/dev/null 2>time.txt
    read -r s k < <(tail -1 time.txt)
    secs+=("$s"); kibs+=("$k")
  done
  printf '%-34s median %7.2f s   peak %7d KiB\n' "$label" \
    "$(printf '%s\n' "${secs[@]}" | median)" "$(printf '%s\n' "${kibs[@]}" | median)"
}
