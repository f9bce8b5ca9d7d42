// The small checks and copies on arbitrary files.
// Build: CC=clang-14 CXX=clang++-14 cmake -S fuzz -B build-fuzz -G Ninja && ninja -C build-fuzz fuzz_checks
// Run:   build-fuzz/fuzz_checks -max_len=65536 -timeout=10 build-fuzz/corpus-checks   (all targets: fuzz/run.sh)
#include "fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string in = fuzz::writeScratch("in.bmp", data, size);
    std::string copy = fuzz::path("copy.bmp");
    IsBitmap(in.c_str());
    Is24BitsPerPixel(in.c_str());
    IsRBWBitmap(in.c_str());
    CleanBMP(in.c_str());
    // The copy must hold exactly what the edits above left in the source.
    if (SaveBMP(in.c_str(), copy.c_str()) != PIXMILL_OK) __builtin_trap();
    if (std::filesystem::file_size(in) != std::filesystem::file_size(copy)) __builtin_trap();
    return 0;
}
