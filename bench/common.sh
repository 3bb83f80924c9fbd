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
