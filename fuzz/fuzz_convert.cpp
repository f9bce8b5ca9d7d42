// True-colour conversion on arbitrary files, then a check of what it wrote.
// Build: CC=clang-14 CXX=clang++-14 cmake -S fuzz -B build-fuzz -G Ninja && ninja -C build-fuzz fuzz_convert
// Run:   build-fuzz/fuzz_convert -max_len=8192 -timeout=10 build-fuzz/corpus-convert   (all targets: fuzz/run.sh)
#include "fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string in = fuzz::writeScratch("in.bmp", data, size);
    std::string out = fuzz::path("out.bmp");
    std::filesystem::remove(out);
    // A converted picture is an 8-bit palette bitmap that the census accepts.
    if (Convert24to8Bits(in.c_str(), out.c_str()) == PIXMILL_OK) {
        if (IsBitmap(out.c_str()) != 1 || Is24BitsPerPixel(out.c_str()) != 0) __builtin_trap();
        if (NumColors(out.c_str(), 0, 0) < 0) __builtin_trap();
    }
    return 0;
}
