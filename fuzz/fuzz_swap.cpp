// Colour swapping, dithering and flashing on one file.
// Params: source entry index, target entry index, mapping code (0..12), paper kind (0..3).
// Build: CC=clang-14 CXX=clang++-14 cmake -S fuzz -B build-fuzz -G Ninja && ninja -C build-fuzz fuzz_swap
// Run:   build-fuzz/fuzz_swap -max_len=65536 -timeout=10 build-fuzz/corpus-swap   (all targets: fuzz/run.sh)
#include "fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input x;
    if (!fuzz::Input::split(data, size, 4, x)) return -1;
    std::string in = fuzz::writeScratch("in.bmp", x.file, x.fileSize);
    const uint32_t source = x.entryColour(x.params[0]), target = x.entryColour(x.params[1]);
    const int32_t code = x.params[2] % 13, paper = x.params[3] % 4;
    DitheredColorSwap(in.c_str(), source, code, paper);
    ColorSwap(in.c_str(), source, target);
    Flash(in.c_str(), target);
    CleanBMP(in.c_str());
    DitheredColorSwap(in.c_str(), target, code, paper);
    return 0;
}
