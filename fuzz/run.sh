#!/usr/bin/env bash
# Builds the fuzz targets (Pixmill's exports, the printer's command splitter,
# the receipt renderer and the CUPS raster filter), seeds their corpora and runs each in turn.
#   fuzz/run.sh [seconds-per-target]        (default 60)
# Corpora grow in build-fuzz/corpus-<target> from run to run.  Exits 1 when a
# target crashes, leaks, hangs past 10 s or runs out of memory, after printing
# the input that did it (kept in build-fuzz/crashes-<target>/).
set -euo pipefail

seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-fuzz
testdata=${RASTIV_TESTDATA:-$root/../shared/testdata}

CC=clang-14 CXX=clang++-14 cmake -S "$root/fuzz" -B "$build" -G Ninja >/dev/null
ninja -j2 -C "$build" >/dev/null

samples=()
if [ -d "$testdata" ]; then
    mapfile -t samples < <(find "$testdata" -type f -name '*.bmp' | sort)
else
    echo "note: $testdata not found; seeding with generated files only"
fi

failed=0
# target:parameter-bytes, as each target splits its input
for entry in checks:0 convert:0 census:4 swap:4 geometry:4 encoders:1 batch:4 separate:7 splitter:0 receipt:0 raster:0; do
    name=${entry%%:*}
    params=${entry##*:}
    corpus=$build/corpus-$name
    crashes=$build/crashes-$name
    log=$build/log-$name.txt
    kind=bmp maxlen=65536 extra=()
    # libcups allocates a compressed page's line by the header's bytes a line (up to 4 GiB, mapped but never
    # touched for a page the filter refuses) before the filter sees the header: only memory used counts.
    if [ "$name" = raster ]; then extra=(-malloc_limit_mb=4200); fi
    if [ "$name" = batch ]; then kind=batch maxlen=262144; fi
    mkdir -p "$corpus" "$crashes"
    if [ "$name" = splitter ] || [ "$name" = receipt ]; then
        # Printer byte streams: the receipts the receipt tests draw.
        cp "$root"/tests/receipt/data/*.bin "$corpus"/
    elif [ "$name" = raster ]; then
        # Small CUPS raster pages as the filter takes them: RGB and grey, uncompressed (RaS3) and compressed
        # (RaS2, where each line is one run of a colour), with the header fields at their offsets.
        python3 - "$corpus" <<'EOF'
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
    else
        "$build/make_seeds" "$kind" "$corpus" "$params" ${samples[@]+"${samples[@]}"}
    fi
    if "$build/fuzz_$name" ${extra[@]+"${extra[@]}"} -max_len="$maxlen" -timeout=10 -max_total_time="$seconds" \
        -print_final_stats=1 -artifact_prefix="$crashes/" "$corpus" >"$log" 2>&1; then
        runs=$(grep -o 'number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo '?')
        cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 || true)
        echo "fuzz_$name: ok, $runs runs, $cov, corpus $(find "$corpus" -type f | wc -l) files"
    else
        failed=1
        echo "fuzz_$name: FAILED (log: $log)"
        grep -E '^(==[0-9]+==)?ERROR|SUMMARY|runtime error|Test unit written to' "$log" | head -n 8 || true
    fi
done
exit $failed
