#!/usr/bin/env bash
# Builds Velmora and runs it. With a display the window opens; without one it
# runs under Xvfb, takes a screenshot and says where it is.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD

scripts/setup-deps.sh

BUILD=${VELMORA_DEMO_BUILD:-$ROOT/build-demo}
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_TESTS=OFF -DVELMORA_BENCH=OFF >/dev/null
cmake --build "$BUILD" -j "$(nproc)" --target velmora

APP=$BUILD/bin/velmora
if [ -n "${DISPLAY:-}" ]; then
  exec "$APP" "$@"
fi

SHOT=${VELMORA_DEMO_SHOT:-$ROOT/demo-screenshot.png}
xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
  "$1" & pid=$!
  sleep 3
  import -window root "$2"
  kill $pid 2>/dev/null || true
  wait $pid 2>/dev/null || true
' _ "$APP" "$SHOT"
echo "demo: no display, ran under Xvfb; screenshot saved to $SHOT"
