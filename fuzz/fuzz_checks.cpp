// The small checks and copies on arbitrary files, and the load diagnosis
// against what loading really does.
// Build: CC=clang-14 CXX=clang++-14 cmake -S fuzz -B build-fuzz -G Ninja && ninja -C build-fuzz fuzz_checks
// Run:   build-fuzz/fuzz_checks -max_len=8192 -timeout=10 build-fuzz/corpus-checks   (all targets: fuzz/run.sh)
#include "fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string in = fuzz::writeScratch("in.bmp", data, size);
    std::string copy = fuzz::path("copy.bmp");
    IsBitmap(in.c_str());
    // The diagnosis accepts exactly the files that the program's load path
    // (conversion of 24-bit pictures, else the copy into normal form) loads.
    int32_t reason = -1;
    char words[PIXMILL_DIAGNOSIS_TEXT_SIZE] = "";
    if (DiagnoseBitmap(in.c_str(), &reason, words, sizeof words) != PIXMILL_OK || words[0] == 0) __builtin_trap();
    const int32_t loaded = Is24BitsPerPixel(in.c_str()) == 1 ? Convert24to8Bits(in.c_str(), copy.c_str())
                                                             : StretchBitmap(0, copy.c_str(), in.c_str());
    if ((reason == PIXMILL_REASON_ACCEPTED) != (loaded == PIXMILL_OK)) __builtin_trap();
    IsRBWBitmap(in.c_str());
    CleanBMP(in.c_str());
    // The copy must hold exactly what the edits above left in the source.
    if (SaveBMP(in.c_str(), copy.c_str()) != PIXMILL_OK) __builtin_trap();
    if (std::filesystem::file_size(in) != std::filesystem::file_size(copy)) __builtin_trap();
    return 0;
}
