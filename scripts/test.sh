#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test:
#  1. everything (Pixmill, the program and all their tests: the offscreen
#     dialogs, the termios layer and its deferred deletes, the link tests)
#     with AddressSanitizer and UndefinedBehaviorSanitizer, the desktop smoke
#     test left out (it needs the accessibility bus, not the sanitizers);
#  2. the fuzz targets for a bounded time each (FUZZ_SECONDS, default 60; 0 skips);
#  3. the whole suite (library, program, offscreen dialogs, desktop smoke tests).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

jobs=$(nproc)
werror=ON

echo "== Everything with sanitizers"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DRASTIV_PIXMILL_ONLY=OFF -DRASTIV_SANITIZE=ON \
      -DRASTIV_WERROR=$werror >/dev/null
# Listing the tests runs each test program once during the build; leaks are
# looked for when the tests themselves run.
ASAN_OPTIONS=detect_leaks=0 cmake --build build-asan -j "$jobs"
# LeakSanitizer ignores only what tests/lsan.supp names, all of it Qt's own.
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs" --timeout 300 -E "^rastiv_smoke\$"

if [ -x fuzz/run.sh ] && [ "${FUZZ_SECONDS:-60}" != 0 ]; then
  echo "== Fuzzing, ${FUZZ_SECONDS:-60} s a target"
  fuzz/run.sh "${FUZZ_SECONDS:-60}"
fi

echo "== Build and test"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Debug -DRASTIV_WERROR=$werror >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs" --timeout 300
