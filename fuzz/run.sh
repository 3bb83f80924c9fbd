#!/bin/bash
# Builds the fuzz harnesses with clang (libFuzzer, ASan, UBSan) in
# build-fuzz/ and runs each for FUZZ_SECONDS seconds.
#
# Environment:
#   FUZZ_SECONDS    seconds per harness, default 60; 0 only builds them
#   FUZZ_HARNESSES  harnesses to run, default all six
#   FUZZ_BUILD      build folder, default build-fuzz
#   CXX_FUZZ        the compiler, default clang++
#   JOBS            parallel compile jobs, default 2
#   FUZZ_SEED       libFuzzer's random seed, default 0 (a new one each run)
#
# Each harness starts from its seeds in fuzz/corpus/<harness>/ (read only)
# and keeps what it finds new in $FUZZ_BUILD/corpus/<harness>/; a crashing
# input lands in $FUZZ_BUILD/findings/<harness>/ and fails the run.
set -euo pipefail

ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"
SECONDS_EACH="${FUZZ_SECONDS:-60}"
BUILD="${FUZZ_BUILD:-$ROOT/build-fuzz}"
CXX="${CXX_FUZZ:-clang++}"
JOBS="${JOBS:-2}"
ALL="format_file settings log_reader render_text whole_run regex"
HARNESSES="${FUZZ_HARNESSES:-$ALL}"

# Inputs stay small: a long input only slows the search, and a user's
# format can make the matcher slow on long lines (see the README).
declare -A MAX_LEN=([format_file]=4096 [settings]=4096 [log_reader]=16384
                    [render_text]=4096 [whole_run]=8192 [regex]=2048)

if ! command -v "$CXX" >/dev/null; then
  echo "$CXX is missing: install Debian's clang and libclang-rt-14-dev" >&2
  exit 1
fi

FLAGS=(-std=c++20 -O1 -g -fno-omit-frame-pointer -Wall -Wextra -Werror
       -fsanitize=address,undefined -fno-sanitize-recover=all -I"$ROOT/src" -I"$ROOT"
       -DFUZZ_SOURCE_DIR="\"$ROOT\"")
# The compression libraries that are installed, as CMake would find them,
# so that the whole run's harness reaches the decoders too.
LIBS=()
[ -f /usr/include/zlib.h ] && FLAGS+=(-DTALLYWICK_HAVE_ZLIB) && LIBS+=(-lz)
[ -f /usr/include/bzlib.h ] && FLAGS+=(-DTALLYWICK_HAVE_BZIP2) && LIBS+=(-lbz2)
[ -f /usr/include/lzma.h ] && FLAGS+=(-DTALLYWICK_HAVE_LZMA) && LIBS+=(-llzma)
[ -f /usr/include/zstd.h ] && FLAGS+=(-DTALLYWICK_HAVE_ZSTD) && LIBS+=(-lzstd)

# The program's own sources, compiled once with coverage for the fuzzer.
mkdir -p "$BUILD/obj"
sources=(src/driver/*.cpp src/logformat/*.cpp src/regex/*.cpp src/stats/*.cpp src/report/*.cpp)
objects=()
pids=()
for source in "${sources[@]}"; do
  object="$BUILD/obj/$(echo "${source%.cpp}" | tr / _).o"
  objects+=("$object")
  if [ ! -f "$object" ] || [ "$source" -nt "$object" ] || \
     [ -n "$(find src -name '*.h' -newer "$object" -print -quit)" ]; then
    "$CXX" "${FLAGS[@]}" -fsanitize=fuzzer-no-link -c "$source" -o "$object" &
    pids+=($!)
    if [ ${#pids[@]} -ge "$JOBS" ]; then wait "${pids[0]}"; pids=("${pids[@]:1}"); fi
  fi
done
for pid in "${pids[@]}"; do wait "$pid"; done

for harness in $HARNESSES; do
  binary="$BUILD/${harness}_fuzz"
  echo "Building $binary" >&2
  "$CXX" "${FLAGS[@]}" -fsanitize=fuzzer -o "$binary.new" "fuzz/${harness}_fuzz.cpp" \
    "${objects[@]}" "${LIBS[@]}" -pthread
  mv -f "$binary.new" "$binary"  # a harness that is running keeps its old file
done
[ "$SECONDS_EACH" = 0 ] && exit 0

status=0
for harness in $HARNESSES; do
  corpus="$BUILD/corpus/$harness"
  findings="$BUILD/findings/$harness"
  mkdir -p "$corpus" "$findings"
  echo "Fuzzing $harness for ${SECONDS_EACH}s" >&2
  # -close_fd_mask=3 silences the program's own messages; libFuzzer's and the
  # sanitizers' reports still come through.
  if ! ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=1" \
       UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
       "$BUILD/${harness}_fuzz" -max_total_time="$SECONDS_EACH" -timeout=25 -seed="${FUZZ_SEED:-0}" \
         -rss_limit_mb=4096 -max_len="${MAX_LEN[$harness]}" -close_fd_mask=3 \
         -print_final_stats=1 -artifact_prefix="$findings/" \
         "$corpus" "fuzz/corpus/$harness" 2>"$BUILD/$harness.log"; then
    echo "FINDING in $harness: see $BUILD/$harness.log and $findings/" >&2
    tail -n 60 "$BUILD/$harness.log" >&2
    status=1
  else
    grep -E '^stat::(number_of_executed_units|new_units_added|peak_rss_mb)' \
      "$BUILD/$harness.log" | sed "s/^/  $harness /" >&2
  fi
done
exit $status
