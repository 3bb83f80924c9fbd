#!/bin/bash
# Resource bounds: shows that the program's peak memory follows the longest
# line, the nicks and the days of a log, not its size, and that adding nicks
# stays near n log n.
#
#   1. Peak RSS for generated logs of 10 MB and 200 MB (bench/gen_log), with
#      one classifying thread and with the default.
#   2. Peak RSS for a log that is one line of 64 MiB.
#   3. Whole runs over logs of 25,000 to 200,000 distinct nicks (one line
#      each): wall time, time per nick and peak RSS.
#
# Environment: MEMORY_SIZES (MB, default "10 200"), JOBS (default 2).
# Builds a Release binary in build-memory/; generated logs go to
# build-memory/data/. Not a test: the figures are for reading.
set -euo pipefail

ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"
BUILD="$ROOT/build-memory"
DATA="$BUILD/data"
SIZES="${MEMORY_SIZES:-10 200}"
JOBS="${JOBS:-2}"
FORMAT="$ROOT/bench/bench-format.txt"
[ -f "$FORMAT" ] || FORMAT="$ROOT/examples/demo/format.txt"

if [ ! -x /usr/bin/time ]; then
  echo "/usr/bin/time is missing: install the Debian package 'time'" >&2
  exit 1
fi

echo "Building (Release) in $BUILD" >&2
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DTALLYWICK_TESTS=OFF >/dev/null
cmake --build "$BUILD" -j "$JOBS" >/dev/null
PROGRAM="$BUILD/tallywick"
mkdir -p "$DATA"
export SOURCE_DATE_EPOCH=1700000000 TZ=UTC

# measure LOG [ENV...]: prints "wall_s peak_rss_mb" of one whole run.
measure() {
  local log="$1"
  shift
  local stats
  stats="$(mktemp)"
  env "$@" /usr/bin/time -v -o "$stats" "$PROGRAM" -p "$FORMAT" -o "$BUILD/page.html" "$log" \
    >/dev/null 2>"$stats.err" || { echo "run failed on $log:" >&2; cat "$stats.err" >&2; exit 1; }
  awk -F': ' '/Elapsed \(wall clock\)/ { n = split($2, t, ":"); s = 0
                                          for (i = 1; i <= n; i++) s = s * 60 + t[i] }
              /Maximum resident set size/ { kb = $2 }
              END { printf "%.2f %.1f\n", s, kb / 1024 }' "$stats"
  rm -f "$stats" "$stats.err"
}

# The page's own counts: days in the reporting period and visitors.
page_counts() {
  grep -o 'During this [0-9-]*-day reporting period a total of [0-9]* persons' "$BUILD/page.html" |
    awk '{ sub("-day", "", $3); print $3, $(NF - 1) }'
}

echo
echo "Peak memory against the size of the log ($(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg))"
echo
echo "| log       | bytes       | days  | nicks | threads | wall s | peak RSS MB |"
echo "|-----------|-------------|-------|-------|---------|--------|-------------|"
if [ -f bench/gen_log.cpp ]; then
  g++ -std=c++20 -O2 -o "$BUILD/gen_log" bench/gen_log.cpp
  for size in $SIZES; do
    log="$DATA/log-$size.log"
    [ -f "$log" ] && [ "$log" -nt bench/gen_log.cpp ] || "$BUILD/gen_log" "$size" -o "$log"
    bytes="$(stat -c %s "$log")"
    for threads in 1 default; do
      if [ "$threads" = default ]; then result="$(measure "$log")"
      else result="$(measure "$log" TALLYWICK_THREADS="$threads")"; fi
      read -r days nicks <<<"$(page_counts)"
      printf "| %6s MB | %11s | %5s | %5s | %7s | %6s | %11s |\n" "$size" "$bytes" "$days" \
        "$nicks" "$threads" $result
    done
  done
else
  echo "(bench/gen_log.cpp is missing: no generated logs)"
fi

# One line of 64 MiB: the line buffer and the matcher's work for that line
# are the only things that grow.
long="$DATA/one-long-line.log"
if [ ! -f "$long" ]; then
  { printf -- '--- Day changed Mon Mar 04 2024\n10:00 <giant> '
    head -c $((64 * 1024 * 1024)) /dev/zero | tr '\0' 'x'
    printf '\n10:01 <small> after the giant\n'; } >"$long"
fi
read -r wall rss <<<"$(measure "$long" TALLYWICK_THREADS=1)"
printf "| one line  | %11s | %5s | %5s | %7s | %6s | %11s |\n" "$(stat -c %s "$long")" 1 2 1 \
  "$wall" "$rss"

echo
echo "Adding nicks: one line per distinct nick, one thread"
echo
echo "| nicks   | bytes      | wall s | us per nick | peak RSS MB |"
echo "|---------|------------|--------|-------------|-------------|"
for n in 25000 50000 100000 200000; do
  log="$DATA/nicks-$n.log"
  [ -f "$log" ] || awk -v n="$n" 'BEGIN {
      print "--- Day changed Mon Mar 04 2024"
      for (i = 0; i < n; i++) printf "10:00 <n%dx> hello there\n", (i * 7919) % n }' >"$log"
  read -r wall rss <<<"$(measure "$log" TALLYWICK_THREADS=1)"
  read -r days nicks <<<"$(page_counts)"
  [ "$nicks" = "$n" ] || { echo "the page counts $nicks nicks, not $n" >&2; exit 1; }
  awk -v n="$n" -v b="$(stat -c %s "$log")" -v w="$wall" -v r="$rss" \
    'BEGIN { printf "| %7d | %10d | %6.2f | %11.2f | %11s |\n", n, b, w, w * 1e6 / n, r }'
done
