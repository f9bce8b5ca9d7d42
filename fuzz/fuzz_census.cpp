// Colour census and merging, chained on one file as the colour translation does,
// then the translation in one call.
// Params: rank, flags (1 ignore white, 2 ignore black, 4 negative threshold), entry index, threshold root.
// Build: CC=clang-14 CXX=clang++-14 cmake -S fuzz -B build-fuzz -G Ninja && ninja -C build-fuzz fuzz_census
// Run:   build-fuzz/fuzz_census -max_len=65536 -timeout=10 build-fuzz/corpus-census   (all targets: fuzz/run.sh)
#include "fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input x;
    if (!fuzz::Input::split(data, size, 4, x)) return -1;
    std::string in = fuzz::writeScratch("in.bmp", x.file, x.fileSize);
    const int32_t rank = int32_t(x.params[0]) - 1, white = x.params[1] & 1, black = (x.params[1] >> 1) & 1;
    const uint32_t colour = x.entryColour(x.params[2]);
    const int32_t threshold = (x.params[1] & 4) ? -1 : int32_t(x.params[3]) * x.params[3] * 3;
    int32_t n = NumColors(in.c_str(), white, black);
    uint32_t found = 0;
    int32_t percent = -1;
    int32_t r = FindMajorColor(in.c_str(), rank, white, black, &found, &percent);
    if (r == PIXMILL_OK && (percent < 0 || percent > 100 || rank > n)) __builtin_trap();
    MergeColors(in.c_str(), colour, threshold);
    MergeBandW(in.c_str());
    MergePixels(in.c_str(), colour);
    // The whole translation in one call, on what the chain above left; the
    // limit keeps a run short whatever the speed.
    const int32_t speed = int32_t(x.params[3] % 64) + 1, limit = speed * 64;
    if (TranslateColors(in.c_str(), x.params[0] % 16, speed, limit, nullptr, nullptr) == PIXMILL_OK &&
        NumColors(in.c_str(), 1, 1) < 0)
        __builtin_trap();
    return 0;
}
