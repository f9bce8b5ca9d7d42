#!/usr/bin/env bash
# Installs what is missing, builds Rastiv and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DRASTIV_TESTS=OFF >/dev/null
cmake --build build-release
exec build-release/bin/rastiv "$@"
