#!/bin/bash
# Throughput benchmark: builds an optimised tallywick, the log generator and
# the regex floor, generates logs of 10, 100 and 500 MB once (bench/data/),
# and prints for each log the median wall time, MB/s, lines/s and peak RSS of
#   cat LOG >/dev/null                  what reading the file costs
#   regex_floor FORMAT LOG              classification alone, one thread
#   tallywick -p FORMAT -o /dev/null LOG  the whole run
# and the program's throughput as a share of the floor's.
#
# Environment:
#   BENCH_SIZES      sizes in MB (1 MB = 1000000 bytes), default "10 100 500"
#   BENCH_RUNS       runs per measurement, default 5 (the median is shown)
#   BENCH_RUNS_500   runs for the 500 MB log, default BENCH_RUNS
#   BENCH_THREADS    worker counts to run the program with, one row each
#                    (e.g. "1 2 4"); unset, the program picks its default
#   JOBS             parallel build jobs, default 2
source "$(dirname "$0")/common.sh"

BUILD="$ROOT/build-bench"
DATA="$ROOT/bench/data"
FORMAT="$ROOT/bench/bench-format.txt"
SIZES="${BENCH_SIZES:-10 100 500}"
RUNS="${BENCH_RUNS:-5}"
RUNS_500="${BENCH_RUNS_500:-$RUNS}"
CXXFLAGS_BENCH="-std=c++20 -O2 -Wall -Wextra -Werror"

require_gnu_time
build_release "$BUILD"
mkdir -p "$BUILD/bench"
g++ $CXXFLAGS_BENCH -o "$BUILD/bench/gen_log" bench/gen_log.cpp
# Compiled right after the library so both see the same headers.
g++ $CXXFLAGS_BENCH -Isrc -o "$BUILD/bench/regex_floor" bench/regex_floor.cpp \
  "$BUILD/libtallywick_core.a" -pthread

PROGRAM="$BUILD/tallywick"
FLOOR="$BUILD/bench/regex_floor"
export SOURCE_DATE_EPOCH=1700000000  # a fixed page date: runs differ only in time

mkdir -p "$DATA"
for size in $SIZES; do
  log="$DATA/log-$size.log"
  # Generated once; again only when the generator has changed since.
  if [ ! -f "$log" ] || [ bench/gen_log.cpp -nt "$log" ]; then
    echo "Generating $log" >&2
    "$BUILD/bench/gen_log" "$size" -o "$log.tmp"
    mv "$log.tmp" "$log"
    wc -l <"$log" >"$log.lines"
  fi
  [ -f "$log.lines" ] || wc -l <"$log" >"$log.lines"
done

# run_once LABEL COMMAND...: runs COMMAND once under /usr/bin/time -v with
# its output thrown away, and adds its wall seconds, its user + system
# seconds and its maximum RSS to WALL[LABEL], CPU[LABEL] and PEAK_KB[LABEL].
declare -A WALL CPU PEAK_KB
run_once() {
  local label="$1"
  shift
  local stats status start end kb
  stats="$(mktemp)"
  start=$EPOCHREALTIME
  status=0
  /usr/bin/time -v -o "$stats" "$@" >/dev/null 2>"$stats.err" || status=$?
  end=$EPOCHREALTIME
  if [ "$status" != 0 ]; then
    echo "FAILED (status $status): $*" >&2
    head -5 "$stats.err" >&2
    rm -f "$stats" "$stats.err"
    exit 1
  fi
  WALL[$label]+=" $(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.6f", b - a }')"
  CPU[$label]+=" $(awk -F': ' '/User time|System time/ { t += $2 } END { printf "%.2f", t }' "$stats")"
  kb="$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$stats")"
  if ((kb > ${PEAK_KB[$label]:-0})); then PEAK_KB[$label]=$kb; fi
  rm -f "$stats" "$stats.err"
}

median() {
  printf '%s\n' $1 | sort -g | awk '{ v[NR] = $1 }
    END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.6f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

smallest() { printf '%s\n' $1 | sort -g | head -1; }

row() {  # row SIZE LABEL BYTES LINES RUNS
  awk -v size="$1" -v what="$2" -v bytes="$3" -v lines="$4" -v runs="$5" \
    -v t="$(median "${WALL[$2]}")" -v best="$(smallest "${WALL[$2]}")" \
    -v cpu="$(median "${CPU[$2]}")" -v kb="${PEAK_KB[$2]}" 'BEGIN {
      printf "| %4s MB | %-13s | %4d | %9.3f | %8.1f | %10.0f | %11.1f | %7.2f | %8.3f |\n",
        size, what, runs, t, bytes / 1e6 / t, lines / t, kb / 1024, cpu, best }'
}

echo
echo "tallywick benchmark, $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, $(git rev-parse --short HEAD 2>/dev/null || echo '?')$(git diff --quiet HEAD -- src 2>/dev/null || echo ' (src modified)')"
echo "Load average before the runs: $(cut -d' ' -f1-3 /proc/loadavg). Wall times mean something only on an"
echo "otherwise idle machine; the runs of each log are interleaved so that a changing load hits every command"
echo "alike. MB/s and lines/s are from the median wall time; cpu s is the median user + system time."
echo
echo "| log     | run           | runs | median s  | MB/s     | lines/s    | peak RSS MB | cpu s   | best s   |"
echo "|---------|---------------|------|-----------|----------|------------|-------------|---------|----------|"
summary=()
for size in $SIZES; do
  log="$DATA/log-$size.log"
  bytes="$(stat -c %s "$log")"
  lines="$(cat "$log.lines")"
  runs="$RUNS"
  [ "$size" = 500 ] && runs="$RUNS_500"
  cat "$log" >/dev/null  # warm the page cache
  WALL=() CPU=() PEAK_KB=()
  labels=("cat" "regex floor")
  for threads in ${BENCH_THREADS:-default}; do
    if [ "$threads" = default ]; then labels+=("tallywick"); else labels+=("tallywick T$threads"); fi
  done
  for ((i = 0; i < runs; i++)); do
    run_once "cat" cat "$log"
    run_once "regex floor" "$FLOOR" "$FORMAT" "$log"
    for threads in ${BENCH_THREADS:-default}; do
      if [ "$threads" = default ]; then
        run_once "tallywick" "$PROGRAM" -p "$FORMAT" -o /dev/null "$log"
      else
        run_once "tallywick T$threads" env "TALLYWICK_THREADS=$threads" \
          "$PROGRAM" -p "$FORMAT" -o /dev/null "$log"
      fi
    done
  done
  floor="$(median "${WALL[regex floor]}")"
  for label in "${labels[@]}"; do
    row "$size" "$label" "$bytes" "$lines" "$runs"
    case "$label" in
      tallywick*)
        summary+=("$(awk -v size="$size" -v what="$label" -v p="$(median "${WALL[$label]}")" -v f="$floor" 'BEGIN {
          printf "%4s MB, %s: program/floor time %.2f; %.0f%% of the floor throughput",
            size, what, p / f, 100 * f / p }')")
        ;;
    esac
  done
done
echo
printf '%s\n' "${summary[@]}"
echo
echo "Line types of the first log (regex floor):"
"$FLOOR" "$FORMAT" "$DATA/log-$(set -- $SIZES; echo "$1").log"
