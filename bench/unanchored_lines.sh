#!/bin/bash
# Expressions and lines chosen to be hard for the matcher, each run with the
# own matcher and with TALLYWICK_MATCHER=libc (every line by regexec), one
# thread; median wall time of UNANCHORED_RUNS runs (default 3), peak RSS.
#
#   1. Unanchored search: a "text" type without "^" (x.*y, which nearly
#      matches from every position) over one line of x of 50, 200 and 800
#      KB (UNANCHORED_SIZES): the time should grow with the line, not with
#      its square. regexec, which does grow with the square, only at the
#      sizes of UNANCHORED_LIBC_SIZES (default 50).
#   2. Memory of the parts search: every type "^L(a|a|...|a|X)+$" (100
#      branches) over 550 KB of lines of 50,000 "a", at one and four threads.
#   3. A thrashing automaton: "(a|b)*a(a|b){11}" needs 4,096 states, twice
#      what the cache holds, over UNANCHORED_LINES (default 200) lines of
#      4,000 random a and b.
#   4. A program near the step limit ("^[ab]{255}" 15 times, "[ab]{174}c":
#      3,999 steps) over UNANCHORED_LINES lines of 4,000 a and b, each
#      position a state of its own.
#
# Environment: UNANCHORED_SECTIONS (default "1 2 3 4"), JOBS (build jobs,
# default 2), UNANCHORED_PROGRAM (a built program to measure instead of
# building one). Builds a Release binary in build-bench/; the inputs go to
# bench/data/crafted/. Not a test: the figures are for reading.
source "$(dirname "$0")/common.sh"

BUILD="$ROOT/build-bench"
DATA="$ROOT/bench/data/crafted"
RUNS="${UNANCHORED_RUNS:-3}"
SIZES="${UNANCHORED_SIZES:-50 200 800}"
LIBC_SIZES="${UNANCHORED_LIBC_SIZES:-50}"
CRAFTED_LINES="${UNANCHORED_LINES:-200}"
SECTIONS="${UNANCHORED_SECTIONS:-1 2 3 4}"
section() { [[ " $SECTIONS " == *" $1 "* ]]; }

require_gnu_time
if [ -n "${UNANCHORED_PROGRAM:-}" ]; then
  PROGRAM="$UNANCHORED_PROGRAM"
else
  build_release "$BUILD" tallywick
  PROGRAM="$BUILD/tallywick"
fi
mkdir -p "$DATA"
export SOURCE_DATE_EPOCH=1700000000

# A format with TEXT-EXPRESSION for "text" and OTHERS-EXPRESSION for the
# other types, its "L" replaced by a letter of each type's own (B to K), so
# that a line beginning with A is a text line only.
# format FILE TEXT-EXPRESSION [OTHERS-EXPRESSION]
format() {
  local file="$1" text="$2" others="${3:-^L#never# (.*)$}" letters=(B C D E F G H I J K) i=0
  {
    echo "text=$text,nick"
    for type in act join part quit kick topic nick mode date_stamp channel; do
      echo "$type=${others//L/${letters[i]}},nick"
      i=$((i + 1))
    done
  } >"$file"
}

LABEL_WIDTH=40  # the width of the table's first column (see measure in common.sh)

# both LABEL THREADS FORMAT LOG: the own matcher, then regexec alone.
both() {
  measure "$1, own" env TALLYWICK_THREADS="$2" "$PROGRAM" -p "$3" -o /dev/null "$4"
  measure "$1, libc" env TALLYWICK_THREADS="$2" TALLYWICK_MATCHER=libc \
    "$PROGRAM" -p "$3" -o /dev/null "$4"
}

echo
echo "crafted expressions, $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
echo
echo "| run                                      | median s  | peak MB  |"
echo "|------------------------------------------|-----------|----------|"

if section 1; then
  format "$DATA/unanchored.txt" 'x.*y'
  for kb in $SIZES; do
    head -c $((kb * 1000)) /dev/zero | tr '\0' x >"$DATA/unanchored-$kb.log"
    echo >>"$DATA/unanchored-$kb.log"
    measure "x.*y, one line of $kb KB, own" env TALLYWICK_THREADS=1 \
      "$PROGRAM" -p "$DATA/unanchored.txt" -o /dev/null "$DATA/unanchored-$kb.log"
    # regexec's time grows with the square of the line: minutes at 200 KB.
    if [[ " $LIBC_SIZES " == *" $kb "* ]]; then
      measure "x.*y, one line of $kb KB, libc" env TALLYWICK_THREADS=1 TALLYWICK_MATCHER=libc \
        "$PROGRAM" -p "$DATA/unanchored.txt" -o /dev/null "$DATA/unanchored-$kb.log"
    fi
  done
fi

if section 2; then
  branches="$(printf 'a|%.0s' $(seq 99))X"
  format "$DATA/branches.txt" "^A($branches)+\$" "^L($branches)+\$"
  awk 'BEGIN { line = ""; for (i = 0; i < 50000; i++) line = line "a";
               for (i = 0; i < 11; i++) printf "%c%s\n", 65 + i % 10, line }' >"$DATA/branches.log"
  both "100 branches, 550 KB, T1" 1 "$DATA/branches.txt" "$DATA/branches.log"
  both "100 branches, 550 KB, T4" 4 "$DATA/branches.txt" "$DATA/branches.log"
fi

if section 3; then
  format "$DATA/thrash.txt" '(a|b)*a(a|b)(a|b)(a|b)(a|b)(a|b)(a|b)(a|b)(a|b)(a|b)(a|b)(a|b)c'
  awk -v lines="$CRAFTED_LINES" 'BEGIN { srand(7); for (l = 0; l < lines; l++) { s = "";
               for (i = 0; i < 4000; i++) s = s (rand() < 0.5 ? "a" : "b"); print s } }' \
    >"$DATA/thrash.log"
  both "4096 states, $CRAFTED_LINES lines of 4000 B" 1 "$DATA/thrash.txt" "$DATA/thrash.log"
fi

if section 4; then
  steps="$(printf '[ab]{255}%.0s' $(seq 15))[ab]{174}c"
  format "$DATA/steps.txt" "^$steps"
  awk -v lines="$CRAFTED_LINES" 'BEGIN { srand(11); for (l = 0; l < lines; l++) { s = "";
               for (i = 0; i < 4000; i++) s = s (rand() < 0.5 ? "a" : "b"); print s } }' \
    >"$DATA/steps.log"
  both "~4000 steps, $CRAFTED_LINES lines of 4000 B" 1 "$DATA/steps.txt" "$DATA/steps.log"
fi
echo
