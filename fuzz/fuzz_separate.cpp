// Separation into paper, black and highlight dots: the file export on the
// bytes as a bitmap, and the streaming separator on the same bytes as RGB rows.
// Params: paper kind, method, brightness, contrast, gamma, sharpen, row width (out-of-range values included).
// Build: CC=clang-14 CXX=clang++-14 cmake -S fuzz -B build-fuzz -G Ninja && ninja -C build-fuzz fuzz_separate
// Run:   build-fuzz/fuzz_separate -max_len=65536 -timeout=10 build-fuzz/corpus-separate   (all targets: fuzz/run.sh)
#include <algorithm>
#include <vector>

#include "fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input x;
    if (!fuzz::Input::split(data, size, 7, x)) return -1;
    const uint8_t* p = x.params;
    const int32_t paper = p[0] % 4, method = p[1] % 5, brightness = int8_t(p[2]), contrast = int8_t(p[3]),
                  gamma = p[4] * 4, sharpen = p[5] % 128, width = 1 + p[6] % 64;
    std::string in = fuzz::writeScratch("in.bmp", x.file, x.fileSize), out = fuzz::path("out.bmp");
    SeparateBitmap(in.c_str(), out.c_str(), paper, method, brightness, contrast, gamma, sharpen);
    PixmillSeparator* s = nullptr;
    if (SeparatorOpen(&s, width, paper, method, brightness, contrast, gamma, sharpen) != 0) return 0;
    std::vector<uint8_t> inks(size_t(width), 0);
    int32_t ready = 0;
    const auto check = [&](int32_t r) {  // every finished row holds ink codes of this paper only
        if (r != 0 || (ready && *std::max_element(inks.begin(), inks.end()) > (paper == 0 ? 1 : 2))) std::abort();
    };
    for (size_t at = 0; at + 3 * size_t(width) <= x.fileSize; at += 3 * size_t(width))
        check(SeparatorPushRow(s, x.file + at, inks.data(), &ready));
    check(SeparatorFlush(s, inks.data(), &ready));
    SeparatorClose(s);
    return 0;
}
