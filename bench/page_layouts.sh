#!/bin/bash
# The two page layouts on the generated 100 MB log (bench/data, made by
# bench/run.sh or here): the bytes of each page, the median wall time of
# whole runs, and how long the page itself takes, from the temporary page's
# creation to its rename (as strace's timestamps show it; the tables are
# sorted and the facts gathered in that time too).
#
# Environment: BENCH_SIZE (MB, default 100), BENCH_RUNS (default 5), JOBS.
source "$(dirname "$0")/common.sh"

BUILD="$ROOT/build-bench"
DATA="$ROOT/bench/data"
FORMAT="$ROOT/bench/bench-format.txt"
SIZE="${BENCH_SIZE:-100}"
RUNS="${BENCH_RUNS:-5}"
export SOURCE_DATE_EPOCH=1700000000

require_gnu_time
build_release "$BUILD" tallywick
log="$DATA/log-$SIZE.log"
if [ ! -f "$log" ]; then
  mkdir -p "$DATA" "$BUILD/bench"
  g++ -std=c++20 -O2 -o "$BUILD/bench/gen_log" bench/gen_log.cpp
  "$BUILD/bench/gen_log" "$SIZE" -o "$log.tmp" && mv "$log.tmp" "$log"
fi
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
printf 'page_layout=classic\n' >"$work/classic.conf"
printf 'page_layout=modern\n' >"$work/modern.conf"
cat "$log" >/dev/null

# page_seconds LAYOUT: the seconds from the temporary page's creation to its rename.
page_seconds() {
  strace -f -ttt -e trace=openat,rename -o "$work/trace" "$BUILD/tallywick" -p "$FORMAT" \
    -r "$work/$1.conf" -o "$work/$1.html" "$log"
  awk '/tallywick-page/ && /openat/ && !start { start = $2 } /rename\(/ { end = $2 }
       END { printf "%.4f", end - start }' "$work/trace"
}

declare -A WALLS
for ((i = 0; i < RUNS; i++)); do
  for layout in classic modern; do
    /usr/bin/time -f '%e' -o "$work/wall" "$BUILD/tallywick" -p "$FORMAT" \
      -r "$work/$layout.conf" -o "$work/$layout.html" "$log" >/dev/null 2>&1
    WALLS[$layout]+="$(cat "$work/wall") "
  done
done
echo "| layout  | page bytes | median run s | page s (strace) |"
echo "|---------|------------|--------------|-----------------|"
for layout in classic modern; do
  median="$(tr ' ' '\n' <<<"${WALLS[$layout]}" | grep . | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }')"
  page="n/a (no strace)"
  command -v strace >/dev/null && page="$(page_seconds "$layout")"
  printf '| %-7s | %10d | %12s | %15s |\n' "$layout" "$(stat -c %s "$work/$layout.html")" \
    "$median" "$page"
done
