#!/usr/bin/env bash
# Builds the fuzz targets (Pixmill's exports, the printer's command splitter,
# the receipt renderer, the emulated printer and the CUPS raster filter), seeds their corpora and runs them.
#   fuzz/run.sh [seconds-per-target]      each target in turn (default 60; CI's short run)
#   fuzz/run.sh --long SECONDS            each target for SECONDS, two at a time (a long run by hand)
# FUZZ_TARGETS="receipt splitter" runs only those.
# Each target's line gives its runs and runs per second.  Corpora grow in
# build-fuzz/corpus-<target> from run to run.  Exits 1 when a target crashes,
# leaks, hangs past 10 s or runs out of memory, after printing the input that
# did it (kept in build-fuzz/crashes-<target>/).
set -euo pipefail

parallel=1
if [ "${1:-}" = --long ]; then
    [ -n "${2:-}" ] || { echo "usage: fuzz/run.sh --long SECONDS" >&2; exit 2; }
    parallel=2
    shift
fi
seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-fuzz
testdata=${RASTIV_TESTDATA:-$root/../shared/testdata}

CC=clang-14 CXX=clang++-14 cmake -S "$root/fuzz" -B "$build" -G Ninja >/dev/null
# The build speaks only when it fails, and then in full.
if ! ninja -j2 -C "$build" >"$build/build.log" 2>&1; then
    tail -n 60 "$build/build.log"
    echo "fuzz targets: build FAILED (log: $build/build.log)"
    exit 1
fi

samples=()
if [ -d "$testdata" ]; then
    mapfile -t samples < <(find "$testdata" -type f -name '*.bmp' | sort)
else
    echo "note: $testdata not found; seeding with generated files only"
fi

# target:parameter-bytes:largest-input.  A run should take a few
# milliseconds: the pictures a true-colour conversion is fuzzed with are kept
# small, since its cost grows with the pixels and not with what they hold; so
# are the raster streams, a few pages each.
targets="checks:0:8192 convert:0:8192 census:4:65536 swap:4:65536 geometry:4:65536 encoders:1:65536
batch:4:262144 separate:7:65536 splitter:0:65536 receipt:0:65536 printer:0:65536 raster:0:8192"

# Small CUPS raster pages as the filter takes them: RGB and grey, uncompressed (RaS3) and compressed
# (RaS2, where each line is one run of a colour), with the header fields at their offsets.
raster_seeds() {
    python3 - "$1" <<'EOF'
import struct, sys
for channels, space in ((3, 1), (1, 0)):
    for sync in (b"3SaR", b"2SaR"):
        header = bytearray(1796)
        struct.pack_into("<2I", header, 276, 203, 203)
        struct.pack_into("<9I", header, 372, 64, 8, 1, 8, 8 * channels, 64 * channels, 0, space, 0)
        struct.pack_into("<I", header, 420, channels)
        line = bytes(range(64 * channels)) if sync == b"3SaR" else b"\x00\x3f" + bytes(range(channels))
        with open("%s/seed-%d-%s" % (sys.argv[1], channels, sync[0:1].decode()), "wb") as f:
            f.write(sync + bytes(header) + line * 8)
EOF
}

# Seeds one target's corpus and runs it; prints one line and returns 1 on a finding.
fuzz_one() {
    local name=$1 params=$2 maxlen=$3
    local corpus=$build/corpus-$name crashes=$build/crashes-$name log=$build/log-$name.txt kind=bmp
    local sanitizer=${ASAN_OPTIONS:-}
    [ "$name" = batch ] && kind=batch
    # libcups allocates a compressed page's line by the header's bytes a line (up to 4 GiB) before the filter
    # sees the header.  Untouched, that costs a real run nothing, but AddressSanitizer maps and poisons the
    # shadow of each such line, seconds a page: it refuses them instead, and libcups ends the stream as it
    # does when memory runs out.
    [ "$name" = raster ] && sanitizer=max_allocation_size_mb=64:allocator_may_return_null=1${sanitizer:+:$sanitizer}
    mkdir -p "$corpus" "$crashes"
    case $name in
        splitter|receipt|printer) cp "$root"/tests/receipt/data/*.bin "$corpus"/ ;;  # receipts the tests draw
        raster) raster_seeds "$corpus" ;;
        *) "$build/make_seeds" "$kind" "$corpus" "$params" ${samples[@]+"${samples[@]}"} ;;
    esac
    if ASAN_OPTIONS=$sanitizer "$build/fuzz_$name" -max_len="$maxlen" -timeout=10 -max_total_time="$seconds" \
        -print_final_stats=1 -artifact_prefix="$crashes/" "$corpus" >"$log" 2>&1; then
        local runs rate cov
        runs=$(grep -o 'number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo '?')
        rate=$(grep -o 'average_exec_per_sec: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo '?')
        cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 || true)
        echo "fuzz_$name: ok, $runs runs in ${seconds} s ($rate/s), $cov, corpus $(find "$corpus" -type f | wc -l) files"
    else
        echo "fuzz_$name: FAILED (log: $log)"
        grep -E '^(==[0-9]+==)?ERROR|SUMMARY|runtime error|Test unit written to' "$log" | head -n 8 || true
        return 1
    fi
}

failed=0
running=0
for entry in $targets; do
    IFS=: read -r name params maxlen <<<"$entry"
    case " ${FUZZ_TARGETS:-$name} " in *" $name "*) ;; *) continue ;; esac
    if [ "$parallel" = 1 ]; then
        fuzz_one "$name" "$params" "$maxlen" || failed=1
        continue
    fi
    if [ "$running" -ge "$parallel" ]; then
        wait -n || failed=1
        running=$((running - 1))
    fi
    fuzz_one "$name" "$params" "$maxlen" &
    running=$((running + 1))
done
while [ "$running" -gt 0 ]; do
    wait -n || failed=1
    running=$((running - 1))
done
exit $failed
