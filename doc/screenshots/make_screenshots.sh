#!/bin/bash
# Remakes the README's screenshots of the two page layouts from the demo
# pages, with headless Chromium (Debian's chromium). Run from anywhere.
set -euo pipefail
cd "$(dirname "$0")/../.."
export SOURCE_DATE_EPOCH=1000000000 TZ=UTC
make demo >/dev/null
profile=$(mktemp -d)
trap 'rm -rf "$profile"' EXIT
shoot() {  # page, picture, width,height
  chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --hide-scrollbars --user-data-dir="$profile/$2" --window-size="$3" \
    --screenshot="$PWD/doc/screenshots/$2.png" "file://$PWD/demo/$1" 2>/dev/null
}
shoot index.html classic 1024,1000
shoot modern.html modern 1024,1000
shoot modern.html modern-phone 390,1500
ls -l doc/screenshots/*.png
