#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test:
#  1. Pixmill and its tests with AddressSanitizer and UndefinedBehaviorSanitizer;
#  2. the fuzz targets for a bounded time each (FUZZ_SECONDS, default 60; 0 skips);
#  3. the whole suite (library, program, offscreen dialogs, desktop smoke tests).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

jobs=$(nproc)
werror=ON

echo "== Pixmill with sanitizers"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DRASTIV_PIXMILL_ONLY=ON -DRASTIV_SANITIZE=ON \
      -DRASTIV_WERROR=$werror >/dev/null
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs" --timeout 300

if [ -x fuzz/run.sh ] && [ "${FUZZ_SECONDS:-60}" != 0 ]; then
  echo "== Fuzzing, ${FUZZ_SECONDS:-60} s a target"
  fuzz/run.sh "${FUZZ_SECONDS:-60}"
fi

echo "== Build and test"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Debug -DRASTIV_WERROR=$werror >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs" --timeout 300
