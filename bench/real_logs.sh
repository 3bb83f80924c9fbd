#!/bin/bash
# How well each bundled format reads what its client really writes: runs
# bench/real_logs over the real logs in ../shared/real-logs/<client>/ (the
# folder beside the checkout), when they are there, with the client's format
# file, the files in the order a shell glob gives them. Prints per client
# the lines, the unparsed share, the lines of each type, the share of text
# and action lines on a dated day, the first and last day and the five most
# active nicks, then a summary table.
#
# Environment:
#   REAL_LOGS   the folder of client folders, default ../shared/real-logs
#   JOBS        parallel build jobs, default 2
source "$(dirname "$0")/common.sh"

LOGS="${REAL_LOGS:-$ROOT/../shared/real-logs}"
BUILD="$ROOT/build-bench"

if [ ! -d "$LOGS" ]; then
  echo "No real logs at $LOGS: nothing to check (set REAL_LOGS to their folder)"
  exit 0
fi

build_release "$BUILD" tallywick_core
mkdir -p "$BUILD/bench"
g++ -std=c++20 -O2 -Wall -Wextra -Werror -Isrc -o "$BUILD/bench/real_logs" bench/real_logs.cpp \
  "$BUILD/libtallywick_core.a" -pthread

summary=""
for dir in "$LOGS"/*/; do
  client="$(basename "$dir")"
  format="formats/$client.txt"
  if [ ! -f "$format" ]; then
    echo "$client: no bundled format ($format), skipped"
    echo
    continue
  fi
  files=()
  for file in "$dir"*; do
    case "$(basename "$file")" in SOURCE.txt|README.md|SHA256SUMS) continue ;; esac
    [ -f "$file" ] && files+=("$file")
  done
  if [ "${#files[@]}" -eq 0 ]; then
    echo "$client: no log files, skipped"
    continue
  fi
  output="$("$BUILD/bench/real_logs" "$client" "$format" "${files[@]}")"
  grep -v '^SUMMARY' <<<"$output" | sed "s|$LOGS/||g"
  echo
  summary+="$(grep '^SUMMARY' <<<"$output" | sed 's/^SUMMARY //')"$'\n'
done

echo "client        lines unparsed    dated  coded  period"
printf '%s' "$summary"
