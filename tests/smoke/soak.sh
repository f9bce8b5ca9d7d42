#!/usr/bin/env bash
# The desktop smoke test many times in a row, the last runs with every core kept
# busy: the counts and how long the runs took.  Not part of ctest (minutes).
# Processes of a run that outlive it are reported, counted as a failure and ended.
#
# Usage: tests/smoke/soak.sh [path/to/rastiv] [runs (40)] [loaded-runs (10)]
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
rastiv=$(realpath "${1:-$source_dir/build/bin/rastiv}")
runs=${2:-40}
loaded=${3:-10}
if [ ! -x "$rastiv" ]; then
  echo "soak: no program at $rastiv: build it first or pass its path" >&2
  exit 2
fi
[ "$loaded" -gt "$runs" ] && loaded=$runs

# Each run's temporary folders live under this one: a leftover is told by its environment.
work=$(mktemp -d "${TMPDIR:-/tmp}/rastiv-soak.XXXXXX")
hogs=()
stop_hogs() {
  local p
  for p in "${hogs[@]}"; do
    kill "$p" 2>/dev/null
    wait "$p" 2>/dev/null
  done
  hogs=()
}
trap 'stop_hogs; rm -rf "$work"' EXIT
trap 'exit 130' INT TERM

# Live processes (not zombies) whose environment names $work.
leftovers() {
  local d state
  for d in /proc/[0-9]*; do
    grep -qzx "TMPDIR=$work" "$d/environ" 2>/dev/null || continue
    state=$(sed 's/.*) //' "$d/stat" 2>/dev/null | cut -d' ' -f1)
    [ -n "$state" ] && [ "$state" != Z ] && echo "${d#/proc/}"
  done
}

pass=0
fail=0
: >"$work/durations"
for i in $(seq 1 "$runs"); do
  if [ $((runs - i)) -lt "$loaded" ] && [ ${#hogs[@]} -eq 0 ]; then
    for _ in $(seq 1 "$(nproc)"); do
      sh -c 'while :; do :; done' &
      hogs+=($!)
    done
    echo "-- the remaining runs with ${#hogs[@]} busy loops keeping the cores busy"
  fi
  start=$(date +%s.%N)
  env -u DISPLAY -u WAYLAND_DISPLAY -u DBUS_SESSION_BUS_ADDRESS -u AT_SPI_BUS_ADDRESS TMPDIR="$work" \
    /usr/bin/python3 "$here/smoke_test.py" --skip-code 77 "$rastiv" >"$work/out" 2>&1
  rc=$?
  end=$(date +%s.%N)
  seconds=$(echo "$end - $start" | bc)
  echo "$seconds" >>"$work/durations"
  # The daemons the test stopped get a few seconds to go before they count as leftovers.
  for _ in $(seq 1 50); do
    left=$(leftovers | tr '\n' ' ')
    [ -z "$left" ] && break
    sleep 0.1
  done
  verdict=pass
  [ $rc -eq 77 ] && verdict="skipped: $(grep '^SKIP' "$work/out")"
  [ $rc -ne 0 ] && [ $rc -ne 77 ] && verdict="FAIL (exit code $rc)"
  if [ -n "$left" ]; then
    verdict="$verdict, LEFT PROCESSES BEHIND: $left"
    # shellcheck disable=SC2086
    kill $left 2>/dev/null
  fi
  printf 'run %2d: %6.1f s  %s\n' "$i" "$seconds" "$verdict"
  [ "$verdict" = pass ] && pass=$((pass + 1)) || { fail=$((fail + 1)); sed 's/^/    /' "$work/out"; }
done
stop_hogs

sort -n "$work/durations" | awk -v pass="$pass" -v fail="$fail" '
  { d[NR] = $1 }
  END {
    median = (NR % 2) ? d[(NR + 1) / 2] : (d[NR / 2] + d[NR / 2 + 1]) / 2
    printf "%d passed, %d failed; seconds a run: min %.1f, median %.1f, max %.1f\n", pass, fail, d[1], median, d[NR]
  }'
[ "$fail" -eq 0 ]
