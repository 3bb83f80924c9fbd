#!/bin/bash
# Daily files: the same bytes as many small files and as one file, with one
# and more classifying threads. Shows what a file costs beyond its bytes
# (opening it, its first batch, the pool's hand-over) and that more threads
# never make many small files slower.
#
#   For each count in MANY_FILES_COUNTS (default "2000 20000"): a generated
#   log of count / 200 MB (bench/gen_log, 5 KB a file) split at line ends
#   into that many files, and the same log whole; median wall time of
#   MANY_FILES_RUNS runs (default 3) at each of MANY_FILES_THREADS (default
#   "1 2 4") threads, and peak RSS.
#
# Environment: also JOBS (build jobs, default 2) and MANY_FILES_PROGRAM (a
# built program to measure instead of building one, to compare with an
# older build). Builds a Release binary in build-bench/; the files go to
# bench/data/. Not a test: the figures are for reading.
source "$(dirname "$0")/common.sh"

BUILD="$ROOT/build-bench"
DATA="$ROOT/bench/data"
FORMAT="$ROOT/bench/bench-format.txt"
COUNTS="${MANY_FILES_COUNTS:-2000 20000}"
RUNS="${MANY_FILES_RUNS:-3}"
THREADS="${MANY_FILES_THREADS:-1 2 4}"

require_gnu_time
if [ -n "${MANY_FILES_PROGRAM:-}" ]; then
  PROGRAM="$MANY_FILES_PROGRAM"
else
  build_release "$BUILD" tallywick
  PROGRAM="$BUILD/tallywick"
fi
mkdir -p "$BUILD/bench" "$DATA"
g++ -std=c++20 -O2 -Wall -Wextra -Werror -o "$BUILD/bench/gen_log" bench/gen_log.cpp
export SOURCE_DATE_EPOCH=1700000000


echo
echo "many files, $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
echo
echo "| run                          | median s  | peak MB  |"
echo "|------------------------------|-----------|----------|"
for count in $COUNTS; do
  size=$((count / 200))
  folder="$DATA/daily-$count"
  whole="$DATA/daily-$count.log"
  if [ ! -f "$whole" ] || [ bench/gen_log.cpp -nt "$whole" ]; then
    "$BUILD/bench/gen_log" "$size" -o "$whole"
    rm -rf "$folder"
  fi
  if [ ! -d "$folder" ]; then
    mkdir -p "$folder"
    (cd "$folder" && split -a 5 -d -n "l/$count" "$whole" day-)
  fi
  cat "$whole" "$folder"/* >/dev/null
  for threads in $THREADS; do
    measure "$count files, T$threads" env TALLYWICK_THREADS="$threads" \
      "$PROGRAM" -p "$FORMAT" -o /dev/null "$folder"/day-*
  done
  for threads in $THREADS; do
    measure "one file of $size MB, T$threads" env TALLYWICK_THREADS="$threads" \
      "$PROGRAM" -p "$FORMAT" -o /dev/null "$whole"
  done
done
echo
