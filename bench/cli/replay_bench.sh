#!/bin/sh
# Builds and runs the replay benchmark and the link's per-SendData benchmark.
# Usage: bench/cli/replay_bench.sh [build dir, default build] [runs, default 3]
set -e
build=${1:-build}
runs=${2:-3}
cmake --build "$build" --target replay_bench link_bench -- -j2
"$build/bin/replay_bench" "$runs"
"$build/bin/link_bench" "$runs"
