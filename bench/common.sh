# Sourced by the bench scripts: works from the checkout's root, sets JOBS
# (parallel build jobs, default 2) and offers what several scripts need.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"
JOBS="${JOBS:-2}"

# require_gnu_time: makes sure /usr/bin/time is there, installing the Debian
# package 'time' when running as root with apt, otherwise ending the script.
require_gnu_time() {
  [ -x /usr/bin/time ] && return 0
  if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null; then
    echo "Installing the Debian package 'time' for /usr/bin/time" >&2
    DEBIAN_FRONTEND=noninteractive apt-get install -y time >/dev/null
  else
    echo "/usr/bin/time is missing: install the Debian package 'time'" >&2
    exit 1
  fi
}

# build_release FOLDER [TARGET]: an optimised build without the tests in
# FOLDER, of every target or of TARGET alone.
build_release() {
  echo "Building (Release) in $1" >&2
  cmake -S . -B "$1" -DCMAKE_BUILD_TYPE=Release -DTALLYWICK_TESTS=OFF >/dev/null
  cmake --build "$1" -j "$JOBS" ${2:+--target "$2"} >/dev/null
}

# measure LABEL COMMAND...: prints a table row of LABEL (padded to
# LABEL_WIDTH, default 28), the median wall seconds and the peak RSS (MB)
# of RUNS runs of COMMAND, its output thrown away.
measure() {
  local label="$1" times=() peak=0 kb start end stats
  shift
  stats="$(mktemp)"
  for ((i = 0; i < RUNS; i++)); do
    start=$EPOCHREALTIME
    /usr/bin/time -f '%M' -o "$stats" "$@" >/dev/null 2>&1 || { echo "FAILED: $*" >&2; exit 1; }
    end=$EPOCHREALTIME
    times+=("$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')")
    kb="$(tail -1 "$stats")"
    ((kb > peak)) && peak=$kb
  done
  rm -f "$stats"
  printf "| %-${LABEL_WIDTH:-28}s | %9s | %8.1f |\n" "$label" \
    "$(printf '%s\n' "${times[@]}" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }')" \
    "$(awk -v kb="$peak" 'BEGIN { print kb / 1024 }')"
}
