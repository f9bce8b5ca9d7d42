#!/usr/bin/env bash
# Times Convert24to8Bits against ImageMagick's reduction to a 250-colour
# uncompressed 8-bit BMP, on a reproducible photo-like 4000 x 3000 picture.
#
#   bench/convert_bench.sh [RUNS]          (RUNS defaults to 5)
#
# Environment: BENCH_DIR  where the pictures and outputs go (/tmp/pixmill-bench)
#              BUILD_DIR  the Release build of the library (<repo>/build-bench)
#              CONVERT    ImageMagick's convert (convert)
# Both sides are timed the same way, as whole processes, and the medians are
# compared.  A benchmark, not a test: nothing here fails on a slow machine.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(dirname "$here")
runs=${1:-5}
work=${BENCH_DIR:-/tmp/pixmill-bench}
build=${BUILD_DIR:-$repo/build-bench}
im=${CONVERT:-convert}
mkdir -p "$work"

# A seeded plasma is noisy and smooth at once, like a photograph, and nearly
# every sampled pixel has its own colour: the hard case for the census and the
# reduction.  ImageMagick 6.9.11 writes the same bytes on every run
# (MD5 12dab258376c49f0a1269c6c95b13027).
pic=$work/plasma_4000x3000.bmp
if [ ! -s "$pic" ]; then
    echo "making $pic"
    "$im" -size 4000x3000 -seed 42 plasma:fractal -alpha off -type TrueColor "BMP3:$pic"
fi
md5=$(md5sum "$pic" | cut -d' ' -f1)
[ "$md5" = 12dab258376c49f0a1269c6c95b13027 ] || echo "note: $pic has MD5 $md5 (another ImageMagick version?)"

cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DRASTIV_PIXMILL_ONLY=ON -DRASTIV_TESTS=OFF >/dev/null
ninja -C "$build" -j2 convert_bench >/dev/null
driver=$build/bin/convert_bench

# Milliseconds of wall time of one command.
wall() {
    local t0 t1
    t0=$(date +%s%N)
    "$@" >/dev/null
    t1=$(date +%s%N)
    echo $(((t1 - t0) / 1000000))
}
median() { tr ' ' '\n' | grep . | sort -n | sed -n "$(((runs + 1) / 2))p"; }

ours=() theirs=()
for ((i = 0; i < runs; i++)); do
    ours+=("$(wall "$driver" "$pic" "$work/pixmill_8bit.bmp" 1)")
    theirs+=("$(wall "$im" "$pic" -colors 250 -type Palette -compress None "BMP3:$work/imagemagick_8bit.bmp")")
done
ours_med=$(echo "${ours[*]}" | median)
theirs_med=$(echo "${theirs[*]}" | median)

# Both outputs must be uncompressed 8-bit files for the comparison to hold.
for f in "$work/pixmill_8bit.bmp" "$work/imagemagick_8bit.bmp"; do
    bits=$(od -An -tu2 -j28 -N2 "$f" | tr -d ' ')
    comp=$(od -An -tu4 -j30 -N4 "$f" | tr -d ' ')
    [ "$bits" = 8 ] && [ "$comp" = 0 ] || echo "warning: $f is $bits bits, compression $comp"
done

echo "4000 x 3000 x 24-bit plasma, $runs runs each, wall time per process"
printf '%-12s %8s   %s\n' "" "median" "runs (ms)"
printf '%-12s %5s ms   %s\n' "Pixmill" "$ours_med" "${ours[*]}"
printf '%-12s %5s ms   %s\n' "ImageMagick" "$theirs_med" "${theirs[*]}"
awk -v a="$ours_med" -v b="$theirs_med" 'BEGIN { printf "%-12s %7.1fx faster\n", "ratio", (a > 0 ? b / a : 0) }'
