// Rotation both ways, stretching to a width of 0..600, and cropping with margins of 0..15.
// Params: width (2 bytes), bottom/top margins (nibbles), left/right margins (nibbles).
// Build: CC=clang-14 CXX=clang++-14 cmake -S fuzz -B build-fuzz -G Ninja && ninja -C build-fuzz fuzz_geometry
// Run:   build-fuzz/fuzz_geometry -max_len=65536 -timeout=10 build-fuzz/corpus-geometry   (all targets: fuzz/run.sh)
#include "fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input x;
    if (!fuzz::Input::split(data, size, 4, x)) return -1;
    std::string in = fuzz::writeScratch("in.bmp", x.file, x.fileSize);
    std::string out = fuzz::path("out.bmp");
    RotateBitmap(in.c_str(), out.c_str(), 1);
    RotateBitmap(in.c_str(), out.c_str(), 2);
    const int32_t width = ((x.params[0] << 8) | x.params[1]) % 601;
    // Tall thin pictures stretch into hundreds of megabytes: slow, not interesting.
    const uint32_t w = x.le32(18), h = x.le32(22) & 0x7FFFFFFF;
    if (w != 0 && uint64_t(h) * uint64_t(width) / w * uint64_t(width) <= (1u << 22))
        StretchBitmap(width, out.c_str(), in.c_str());
    MakeMMBitmap(in.c_str(), out.c_str(), x.params[2] & 15, x.params[2] >> 4, x.params[3] & 15, x.params[3] >> 4);
    return 0;
}
