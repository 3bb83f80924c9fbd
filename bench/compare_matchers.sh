#!/bin/bash
# Runs tallywick twice on each log, once with its own matcher and once with
# TALLYWICK_MATCHER=libc (regexec for everything), at one and two threads,
# and compares page, messages and exit status byte for byte:
#   - every bundled sample with its format (examples/),
#   - every real log of ../shared/real-logs/<client>/ with formats/<client>.txt
#     when both are there (skipped when the folder is absent),
#   - the generated 100 MB log of bench/ when it exists (bench/data/log-100.log,
#     written by make bench) or BENCH_LOG names another.
# Usage: bench/compare_matchers.sh [PROGRAM]   (default build/tallywick)
set -uo pipefail

ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"
PROGRAM="${1:-$ROOT/build/tallywick}"
REAL="$ROOT/../shared/real-logs"
BIG="${BENCH_LOG:-$ROOT/bench/data/log-100.log}"
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
export SOURCE_DATE_EPOCH=1700000000
compared=0
differing=0

# compare LABEL FORMAT LOG...: both matchers, both thread counts.
compare() {
  local label="$1" format="$2"
  shift 2
  for threads in 1 2; do
    for matcher in own libc; do
      TALLYWICK_THREADS=$threads TALLYWICK_MATCHER=$matcher "$PROGRAM" -v -v -p "$format" \
        -o "$WORK/$matcher.html" "$@" >"$WORK/$matcher.out" 2>"$WORK/$matcher.err"
      echo "status $?" >>"$WORK/$matcher.out"
    done
    compared=$((compared + 1))
    if ! cmp -s "$WORK/own.html" "$WORK/libc.html" || ! cmp -s "$WORK/own.out" "$WORK/libc.out" ||
       ! cmp -s "$WORK/own.err" "$WORK/libc.err"; then
      echo "DIFFERENT: $label, $threads thread(s)"
      differing=$((differing + 1))
    fi
  done
}

compare demo examples/demo/format.txt examples/demo/channel.log
for format in formats/*.txt; do
  client="$(basename "$format" .txt)"
  if [ -f "examples/$client.log" ]; then
    compare "sample $client" "$format" "examples/$client.log"
  elif [ -d "examples/$client" ]; then  # clients that write a file a day
    compare "sample $client" "$format" "examples/$client"/*
  fi
done
if [ -d "$REAL" ]; then
  for folder in "$REAL"/*/; do
    client="$(basename "$folder")"
    [ -f "formats/$client.txt" ] || { echo "no format for real logs of $client"; continue; }
    for log in "$folder"*; do
      case "$log" in *SOURCE.txt) continue ;; esac
      compare "real $client $(basename "$log")" "formats/$client.txt" "$log"
    done
  done
else
  echo "no real logs at $REAL: skipped"
fi
if [ -f "$BIG" ]; then
  compare "generated $(basename "$BIG")" bench/bench-format.txt "$BIG"
else
  echo "no generated log at $BIG: skipped (make bench writes it)"
fi
echo "$compared comparisons, $differing different"
[ "$differing" = 0 ]
