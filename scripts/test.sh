#!/usr/bin/env bash
# Installs what is missing, builds everything with sanitizers and runs every test.
# Usage: scripts/test.sh [ctest arguments...]   e.g. scripts/test.sh -L unit
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD

scripts/setup-deps.sh

JOBS=$(nproc)
BUILD=${VELMORA_TEST_BUILD:-$ROOT/build-test}
RELEASE_BUILD=${VELMORA_RELEASE_BUILD:-$ROOT/build-release}
FUZZ_BUILD=${VELMORA_FUZZ_BUILD:-$ROOT/build-fuzz}

cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Debug -DVELMORA_SANITIZE=ON >/dev/null
cmake --build "$BUILD" -j "$JOBS"

# The build users run: optimised, no sanitizers. ASan keeps freed memory intact and Qt's
# own code is not instrumented, so a socket freed while Qt still emits from it passes the
# sanitizer run and crashes here.
cmake -S . -B "$RELEASE_BUILD" -DCMAKE_BUILD_TYPE=Release -DVELMORA_SANITIZE=OFF -DVELMORA_BENCH=OFF >/dev/null
cmake --build "$RELEASE_BUILD" -j "$JOBS"

# The parsers of device bytes are fuzzed with libFuzzer, which needs clang.
cmake -S . -B "$FUZZ_BUILD" -DCMAKE_BUILD_TYPE=Debug -DVELMORA_FUZZ=ON \
  -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$FUZZ_BUILD" -j "$JOBS"

export QT_QPA_PLATFORM=offscreen
# Freed memory is filled, so code (ours or Qt's) that reads an object after its delete
# reads garbage and fails instead of finding the old values still in place.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0:max_free_fill_size=4096:free_fill_byte=190}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$ROOT/tests/lsan.supp:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

status=0
(cd "$BUILD" && ctest --output-on-failure -j "$JOBS" "$@") || status=1
echo "== the same tests in the optimised build"
(cd "$RELEASE_BUILD" && ctest --output-on-failure -j "$JOBS" "$@") || status=1
(cd "$FUZZ_BUILD" && ctest --output-on-failure -j "$JOBS" "$@") || status=1
exit $status
