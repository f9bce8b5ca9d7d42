// CUPS raster streams, any header and any data, through the filter's page
// code as the scheduler would pipe them in: no crash, no read outside a
// line, and no more printer bytes than the pages may give.  The page is
// capped at 640 x 64 dots so that a run takes milliseconds.
// Build: CC=clang-14 CXX=clang++-14 cmake -S fuzz -B build-fuzz -G Ninja && ninja -C build-fuzz fuzz_raster
// Run:   ASAN_OPTIONS=max_allocation_size_mb=64:allocator_may_return_null=1 build-fuzz/fuzz_raster -max_len=8192
//        build-fuzz/corpus-raster   (all targets: fuzz/run.sh)
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "rasterjob.hpp"

namespace {
struct Memory {
    const uint8_t* data;
    size_t left;
};
ssize_t readMemory(void* context, unsigned char* buffer, size_t bytes) {
    auto* m = static_cast<Memory*>(context);
    bytes = std::min(bytes, m->left);
    std::memcpy(buffer, m->data, bytes);
    m->data += bytes, m->left -= bytes;
    return ssize_t(bytes);
}
struct Count final : tintarex::Output {
    size_t bytes = 0;
    bool write(const unsigned char*, size_t size) override { return bytes += size, true; }
};
// A page header takes 1796 bytes; a page of 64 lines gives at most a record
// of 146 bytes a line, its feeds, a cut and the drawer's pulses.
constexpr tintarex::Limits kCap{640, 64};
constexpr size_t kMostAPage = 64 * (146 + 3) + 64;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::FILE* log = std::fopen("/dev/null", "w");
    static const volatile sig_atomic_t never = 0;
    Memory memory{data, size};
    cups_raster_t* raster = cupsRasterOpenIO(readMemory, &memory, CUPS_RASTER_READ);
    Count printer;
    tintarex::printRaster(raster, printer, kCap, never, log);
    cupsRasterClose(raster);
    if (printer.bytes > (size / 1796 + 1) * kMostAPage) std::abort();
    return 0;
}
