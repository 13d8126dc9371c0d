#!/usr/bin/env bash
# Builds Velmora and the device simulator and runs Velmora against the demo fleet,
# inside two private network namespaces (scripts/netns-run.sh): a search multicasts on
# every running interface, and here that is only the link to the simulated devices.
# With a display the window opens; without one it runs under Xvfb: "Network" and "Search" are
# pressed for you, a screenshot of the listed fleet is saved and the script says where.
#
#   scripts/demo.sh --batch  without a display, also upgrades the fleet's ZR410 encoders with
#                           the sample images through the batch form and saves three more
#                           screenshots: during the upgrade, with the summary, and a
#                           decoder's System Info tab.
#   scripts/demo.sh --single  without a display, switches to single-device mode, opens an
#                           encoder's own form and upgrades its first module with the sample
#                           image; screenshots during the upgrade and after it.
#   scripts/demo.sh --lang ch  the same in Chinese (combine with --batch or --single).
#
#   scripts/demo.sh --cli   the console program instead: discover, info and a batch upgrade
#                           of the demo fleet's ZR410 encoders, with the results printed.
#   scripts/demo.sh --serial  the serial window and a simulated microcontroller on a
#                           pseudo-terminal (no network involved); without a display the window
#                           is driven through an upgrade under Xvfb and a screenshot is saved.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD

scripts/setup-deps.sh

CLI=0
if [ "${1:-}" = "--cli" ]; then
  CLI=1
  shift
fi
BATCH=0
SINGLE=0
LANG_CHOICE=en
while [ "$CLI" -eq 0 ] && [ $# -gt 0 ]; do
  case "$1" in
    --batch) BATCH=1; shift ;;
    --single) SINGLE=1; shift ;;
    --lang) LANG_CHOICE=${2:-en}; shift 2 ;;
    *) break ;;
  esac
done
SERIAL=0
if [ "${1:-}" = "--serial" ]; then
  SERIAL=1
  shift
fi

BUILD=${VELMORA_DEMO_BUILD:-$ROOT/build-demo}
BENCH=OFF
[ "$SERIAL" -eq 0 ] || BENCH=ON # the serial window's driver lives with its benchmark
[ -n "${DISPLAY:-}" ] || [ "$CLI" -eq 1 ] || BENCH=ON # so does the network window's
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_TESTS=OFF -DVELMORA_BENCH=$BENCH >/dev/null
if [ "$SERIAL" -eq 1 ]; then
  cmake --build "$BUILD" -j "$(nproc)" --target velmora velmora-devsim bench_serial_window velmora-cli
elif [ "$CLI" -eq 1 ]; then
  cmake --build "$BUILD" -j "$(nproc)" --target velmora-cli velmora-devsim
elif [ -n "${DISPLAY:-}" ]; then
  cmake --build "$BUILD" -j "$(nproc)" --target velmora velmora-devsim
else
  cmake --build "$BUILD" -j "$(nproc)" --target velmora velmora-devsim bench_window
fi

APP=$BUILD/bin/velmora
FLEET=${VELMORA_DEMO_FLEET:-$ROOT/tools/devsim/fleets/demo.json}
RUN=(scripts/netns-run.sh --devsim "$BUILD/bin/velmora-devsim" --fleet "$FLEET" --)

refused() {
  echo "demo: Velmora runs here only inside private network namespaces, never on the machine's" >&2
  echo "demo: own network; run the demo as root or where user namespaces are allowed." >&2
  exit 1
}

if [ "$SERIAL" -eq 1 ]; then
  if [ -z "${DISPLAY:-}" ]; then
    SHOT=${VELMORA_DEMO_SHOT:-$ROOT/demo-serial-screenshot.png}
    xvfb-run -a -s "-screen 0 1280x800x24" "$BUILD/bin/bench_serial_window" --kib 64 --baud 115200 --shot "$SHOT"
    echo "demo: no display, drove the serial window through an upgrade of the simulated controller"
    echo "demo: under Xvfb; screenshot saved to $SHOT"
    exit 0
  fi
  dir=$(mktemp -d)
  sim=
  trap '[ -z "$sim" ] || kill "$sim" 2>/dev/null || true 2>/dev/null || true; rm -rf "$dir"' EXIT
  printf '{"devices":[{"hostname":"Atmel_MCU","addr":"127.0.0.1","channel":"serial","version":"MCU-2.4.1",%s}]}\n' \
    "\"knobs\":{\"serial_link\":\"$dir/ttyMCU\",\"serial_baud\":115200,\"serial_version_after\":\"MCU-2.5.0\"}" >"$dir/fleet.json"
  head -c 65536 /dev/urandom >"$dir/mcu-2.5.0.bin"
  "$BUILD/bin/velmora-devsim" --fleet "$dir/fleet.json" --services serial & sim=$!
  sleep 1
  echo "demo: choose Serial, type $dir/ttyMCU into the port field and press Enter;"
  echo "demo: an image to try: $dir/mcu-2.5.0.bin (the console: $BUILD/bin/velmora-cli serial --port $dir/ttyMCU --baud 115200 version)"
  "$APP" "$@"
  exit 0
fi

if [ "$CLI" -eq 1 ]; then
  rc=0
  "${RUN[@]}" bash -c '
    cli=$1
    samples=$(dirname "$cli")/samples
    set -x
    "$cli" discover
    "$cli" info ZR410-A1B20A
    "$cli" upgrade --type "ZR410 Encoder" --module main="$samples/main.bin" --module fpga="$samples/fpga.bin"
  ' _ "$BUILD/bin/velmora-cli" || rc=$?
  [ "$rc" -ne 77 ] || refused
  exit "$rc"
fi

if [ -n "${DISPLAY:-}" ]; then
  # The namespace has no TCP route to an X server: a local display (":0") is needed.
  rc=0
  "${RUN[@]}" "$APP" "$@" || rc=$?
  [ "$rc" -ne 77 ] || refused
  exit "$rc"
fi

SUFFIX=
[ "$LANG_CHOICE" = en ] || SUFFIX=-$LANG_CHOICE
SHOT=${VELMORA_DEMO_SHOT:-$ROOT/demo-screenshot$SUFFIX.png}
DRIVER=("$BUILD/bin/bench_window" --demo --lang "$LANG_CHOICE" --shot "$SHOT")
if [ "$BATCH" -eq 1 ]; then
  DURING=${SHOT%.png}-upgrading.png
  SUMMARY=${SHOT%.png}-summary.png
  INFO=${SHOT%.png}-sysinfo.png
  DRIVER+=(--during-shot "$DURING" --batch-shot "$SUMMARY" --info-shot "$INFO")
fi
if [ "$SINGLE" -eq 1 ]; then
  SINGLE_DURING=${SHOT%.png}-single-upgrading.png
  SINGLE_SHOT=${SHOT%.png}-single.png
  DRIVER+=(--single-during-shot "$SINGLE_DURING" --single-shot "$SINGLE_SHOT")
fi
rc=0
"${RUN[@]}" xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
  echo "demo: simulated devices answering on $VELMORA_NETNS_DEVICE_LINK of $VELMORA_NETNS_DEVICE"
  "$@"
' _ "${DRIVER[@]}" || rc=$?
[ "$rc" -ne 77 ] || refused
[ "$rc" -eq 0 ] || exit "$rc"
echo "demo: no display, ran under Xvfb inside private network namespaces with the demo fleet;"
echo "demo: pressed Network and Search; screenshot of the device list (with the boxes' own"
echo "demo: names in the Alias column) saved to $SHOT"
if [ "$SINGLE" -eq 1 ]; then
  echo "demo: upgraded one encoder's first module through its own form; screenshots saved to"
  echo "demo: $SINGLE_DURING (during the upgrade) and $SINGLE_SHOT (after it)"
fi
if [ "$BATCH" -eq 1 ]; then
  echo "demo: upgraded the ZR410 encoders through the batch form; screenshots saved to"
  echo "demo: $DURING (during the upgrade) and $SUMMARY (the summary);"
  echo "demo: a decoder's system information: $INFO"
fi
