// The graphics and logo encoders for both papers, and for one paper kind from the input.
// Params: one extra paper kind (signed byte; most values are invalid).
// Build: CC=clang-14 CXX=clang++-14 cmake -S fuzz -B build-fuzz -G Ninja && ninja -C build-fuzz fuzz_encoders
// Run:   build-fuzz/fuzz_encoders -max_len=65536 -timeout=10 build-fuzz/corpus-encoders   (all targets: fuzz/run.sh)
#include "fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input x;
    if (!fuzz::Input::split(data, size, 1, x)) return -1;
    std::string in = fuzz::writeScratch("in.bmp", x.file, x.fileSize);
    std::string gfx = fuzz::path("out.gfx"), lgo = fuzz::path("out.lgo");
    for (int32_t paper : {1, 2, int32_t(int8_t(x.params[0]))}) {
        SaveBMPAsGfx(in.c_str(), gfx.c_str(), paper);
        SaveBMPAsLogo(in.c_str(), lgo.c_str(), paper);
    }
    return 0;
}
