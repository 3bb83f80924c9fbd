#!/bin/bash
# Resource bounds: shows that the program's peak memory follows the longest
# line, the nicks and the days of a log, not its size, and that adding nicks
# stays near n log n.
#
#   1. Peak RSS for generated logs of 10 MB and 200 MB (bench/gen_log), with
#      one classifying thread and with the default.
#   2. Peak RSS for a log that is one line of 64 MiB.
#   3. Whole runs over logs of 25,000 to 200,000 distinct nicks (one line
#      each): wall time, time per nick and peak RSS; the same with nicks made
#      to collide in an unkeyed hash (bench/colliding_nicks.h); and 50,000 of
#      100,000 nicks removed by an exclusion file.
#   4. Long lines on many threads: eight lines of 16 MiB with one and with
#      eight classifying threads.
#   5. A format of about 49,000 pieces, with one and with 64 threads.
#   6. Zero bytes: a line of 256 MiB of zero bytes, and /dev/zero as the log
#      and as the exclusion file for MEMORY_ZERO_SECONDS (default 10) seconds.
#
# Environment: MEMORY_SIZES (MB, default "10 200"), JOBS (default 2),
# MEMORY_PROGRAM (a built program to measure instead of building one, to
# compare with an older build), MEMORY_SECTIONS (default "1 2 3 4 5 6").
# Builds a Release binary in build-memory/; generated logs go to
# build-memory/data/. Not a test: the figures are for reading.
source "$(dirname "$0")/common.sh"

BUILD="$ROOT/build-memory"
DATA="$BUILD/data"
SIZES="${MEMORY_SIZES:-10 200}"
FORMAT="$ROOT/bench/bench-format.txt"
[ -f "$FORMAT" ] || FORMAT="$ROOT/examples/demo/format.txt"

require_gnu_time

SECTIONS="${MEMORY_SECTIONS:-1 2 3 4 5 6}"
ZERO_SECONDS="${MEMORY_ZERO_SECONDS:-10}"
section() { [[ " $SECTIONS " == *" $1 "* ]]; }

if [ -n "${MEMORY_PROGRAM:-}" ]; then
  PROGRAM="$MEMORY_PROGRAM"
else
  build_release "$BUILD"
  PROGRAM="$BUILD/tallywick"
fi
mkdir -p "$DATA"
small="$DATA/small.log"
printf -- '--- Day changed Mon Mar 04 2024\n10:00 <alice> hello\n10:01 <bob> hi\n' >"$small"
export SOURCE_DATE_EPOCH=1700000000 TZ=UTC

# wall_and_peak STATS: "wall_s peak_rss_mb" from the report of /usr/bin/time -v.
wall_and_peak() {
  awk -F': ' '/Elapsed \(wall clock\)/ { n = split($2, t, ":"); s = 0
                                          for (i = 1; i <= n; i++) s = s * 60 + t[i] }
              /Maximum resident set size/ { kb = $2 }
              END { printf "%.2f %.1f", s, kb / 1024 }' "$1"
}

# measure LOG [ENV...]: prints "wall_s peak_rss_mb" of one whole run.
measure() {
  local log="$1"
  shift
  local stats
  stats="$(mktemp)"
  env "$@" /usr/bin/time -v -o "$stats" "$PROGRAM" -p "$FORMAT" -o "$BUILD/page.html" "$log" \
    >/dev/null 2>"$stats.err" || { echo "run failed on $log:" >&2; cat "$stats.err" >&2; exit 1; }
  echo "$(wall_and_peak "$stats")"
  rm -f "$stats" "$stats.err"
}

# measure_run SECONDS ENV -- ARGS...: "wall_s peak_rss_mb status" of one run
# of the program with ARGS, stopped with SIGINT after SECONDS (0: never).
measure_run() {
  local seconds="$1" environment="$2"
  shift 3
  local stats status=0
  stats="$(mktemp)"
  local stopper=()
  [ "$seconds" = 0 ] || stopper=(timeout -s INT "$seconds")
  env $environment /usr/bin/time -v -o "$stats" "${stopper[@]}" "$PROGRAM" "$@" \
    >/dev/null 2>"$stats.err" || status=$?
  echo "$(wall_and_peak "$stats") $status"
  rm -f "$stats" "$stats.err"
}

# thread_rows FORMAT LOG THREADS...: a table row of one run for each number
# of classifying threads.
thread_rows() {
  local format="$1" log="$2" threads wall rss status
  shift 2
  for threads in "$@"; do
    read -r wall rss status <<<"$(measure_run 0 TALLYWICK_THREADS="$threads" -- -p "$format" -o "$BUILD/page.html" "$log")"
    printf "| %7s | %6s | %11s |\n" "$threads" "$wall" "$rss"
  done
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
if ! section 1; then
  echo "(not measured)"
elif [ -f bench/gen_log.cpp ]; then
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
if section 2 && [ ! -f "$long" ]; then
  { printf -- '--- Day changed Mon Mar 04 2024\n10:00 <giant> '
    head -c $((64 * 1024 * 1024)) /dev/zero | tr '\0' 'x'
    printf '\n10:01 <small> after the giant\n'; } >"$long"
fi
if section 2; then
  read -r wall rss <<<"$(measure "$long" TALLYWICK_THREADS=1)"
  printf "| one line  | %11s | %5s | %5s | %7s | %6s | %11s |\n" "$(stat -c %s "$long")" 1 2 1 \
    "$wall" "$rss"
fi

if section 3; then
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

# The same number of nicks made to collide in the unkeyed hash the index
# once used, and an exclusion file that names every second ordinary nick.
g++ -std=c++20 -O2 -I"$ROOT" -x c++ -o "$BUILD/colliding_nicks" - <<'CPP'
#include <cstdio>
#include <cstdlib>
#include "bench/colliding_nicks.h"
int main(int argc, char** argv) {
  size_t count = std::strtoul(argv[1], nullptr, 10);
  int bits = 4;
  while ((size_t{1} << bits) < count * 2 + 2) ++bits;
  for (const std::string& nick : colliding_nicks::FnvCollidingNicks(count, bits)) {
    std::printf("10:00 <%s> hello there\n", nick.c_str());
  }
}
CPP
echo
echo "| nicks             | wall s | us per nick | peak RSS MB |"
echo "|-------------------|--------|-------------|-------------|"
for n in 100000; do
  crafted="$DATA/crafted-$n.log"
  [ -f "$crafted" ] || "$BUILD/colliding_nicks" "$n" >"$crafted"
  read -r wall rss status <<<"$(measure_run 0 TALLYWICK_THREADS=1 -- -p "$FORMAT" -o "$BUILD/page.html" "$crafted")"
  awk -v n="$n" -v w="$wall" -v r="$rss" \
    'BEGIN { printf "| %7d crafted   | %6.2f | %11.2f | %11s |\n", n, w, w * 1e6 / n, r }'
  half="$DATA/exclude-half-$n.txt"
  [ -f "$half" ] || awk -v n="$n" 'BEGIN { for (i = 0; i < n; i += 2) printf "n%dx\n", i }' >"$half"
  read -r wall rss status <<<"$(measure_run 0 TALLYWICK_THREADS=1 -- -p "$FORMAT" -b "$half" -o "$BUILD/page.html" "$DATA/nicks-$n.log")"
  read -r days nicks <<<"$(page_counts)"
  [ "$nicks" = $((n / 2)) ] || { echo "the page counts $nicks nicks, not $((n / 2))" >&2; exit 1; }
  awk -v n="$n" -v w="$wall" -v r="$rss" \
    'BEGIN { printf "| %7d, half out | %6.2f | %11.2f | %11s |\n", n, w, w * 1e6 / n, r }'
done
fi

if section 4; then
  echo
  echo "Long lines on many threads: eight lines of 16 MiB among short ones"
  echo
  echo "| threads | wall s | peak RSS MB |"
  echo "|---------|--------|-------------|"
  eight="$DATA/eight-long-lines.log"
  if [ ! -f "$eight" ]; then
    { printf -- '--- Day changed Mon Mar 04 2024\n'
      for i in 1 2 3 4 5 6 7 8; do
        printf '10:00 <giant%d> ' "$i"
        head -c $((16 * 1024 * 1024)) /dev/zero | tr '\0' 'x'
        printf '\n10:01 <small> between the giants\n'
      done; } >"$eight"
  fi
  thread_rows "$FORMAT" "$eight" 1 8
fi

if section 5; then
  echo
  echo "A format of about 49,000 pieces (a text type with z{30000}z{18000})"
  echo
  echo "| threads | wall s | peak RSS MB |"
  echo "|---------|--------|-------------|"
  large="$BUILD/large-format.txt"
  sed 's/^text=^/text=^(z{30000}z{18000})?/' "$FORMAT" >"$large"
  thread_rows "$large" "$small" 1 64
fi

if section 6; then
  echo
  echo "Zero bytes; /dev/zero runs are stopped with SIGINT after $ZERO_SECONDS s"
  echo
  echo "| input                           | wall s | peak RSS MB |"
  echo "|---------------------------------|--------|-------------|"
  zeros="$DATA/zero-run.log"
  if [ ! -f "$zeros" ]; then
    { printf '10:00 <zero> '; head -c $((256 * 1024 * 1024)) /dev/zero
      printf '\n10:01 <after> the zeros\n'; } >"$zeros"
  fi
  read -r wall rss status <<<"$(measure_run 0 "" -- -p "$FORMAT" -o "$BUILD/page.html" "$zeros")"
  printf "| %-31s | %6s | %11s |\n" "a line of 256 MiB of zero bytes" "$wall" "$rss"
  read -r wall rss status <<<"$(measure_run "$ZERO_SECONDS" "" -- -p "$FORMAT" -o "$BUILD/page.html" /dev/zero)"
  printf "| %-31s | %6s | %11s |\n" "/dev/zero as the log" "$wall" "$rss"
  read -r wall rss status <<<"$(measure_run "$ZERO_SECONDS" "" -- -p "$FORMAT" -b /dev/zero -o "$BUILD/page.html" "$small")"
  printf "| %-31s | %6s | %11s |\n" "/dev/zero as the exclusion file" "$wall" "$rss"
fi
