// Records the input through BatchWrite, then plays it back with read sizes of 1..4096.
// Params: a seed for the write and read sizes.  Checks: every call makes progress within its
// buffer; a pause is 31 zero bytes standing for a marker in the file; data never
// holds a marker that the reader's own rule would see; the calls rebuild the file.
// Build: CC=clang-14 CXX=clang++-14 cmake -S fuzz -B build-fuzz -G Ninja && ninja -C build-fuzz fuzz_batch
// Run:   build-fuzz/fuzz_batch -max_len=262144 -timeout=10 build-fuzz/corpus-batch   (all targets: fuzz/run.sh)
#include <algorithm>
#include <cstring>
#include <vector>

#include "fuzz_support.hpp"

static const char kMarker[] = "Morvex<PaUsE-pAuSe-PaUsE>xevroM";

// The reader's rule: a byte that breaks a match is not tried as a first byte.
static bool holdsMarker(const uint8_t* p, size_t n) {
    size_t k = 0;
    for (size_t i = 0; i < n && k < 31; ++i) k = p[i] == uint8_t(kMarker[k]) ? k + 1 : 0;
    return k == 31;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input x;
    if (!fuzz::Input::split(data, size, 4, x)) return -1;
    uint32_t seed;
    std::memcpy(&seed, x.params, 4);
    // One run in two uses buffers of at most 64 bytes, where markers barely fit or cannot.
    const uint32_t limit = (seed & 1) ? 64 : 4096;
    auto nextSize = [&] { return int32_t(((seed = seed * 1103515245u + 12345u) >> 16) % limit) + 1; };
    std::string path = fuzz::path("rec.cpb");
    int32_t h = BatchOpenForWrite(path.c_str());
    for (size_t done = 0; done < x.fileSize;) {
        size_t n = std::min<size_t>(size_t(nextSize()), x.fileSize - done);
        if (BatchWrite(h, x.file + done, int32_t(n)) != 1) __builtin_trap();
        done += n;
    }
    if (BatchClose(h) != 1 || (h = BatchOpenForRead(path.c_str())) < 0) __builtin_trap();
    std::vector<uint8_t> buf(4096), rebuilt;
    for (;;) {
        const int32_t asked = nextSize();
        int32_t count = asked, pause = 0;
        if (BatchRead(h, buf.data(), &count, &pause) != 1) break;
        if (count < 1 || count > asked || rebuilt.size() + size_t(count) > x.fileSize) __builtin_trap();
        const uint8_t* got = pause ? reinterpret_cast<const uint8_t*>(kMarker) : buf.data();
        if (pause && (count != 31 || std::count(buf.begin(), buf.begin() + 31, 0) != 31)) __builtin_trap();
        if (!pause && holdsMarker(got, size_t(count))) __builtin_trap();
        rebuilt.insert(rebuilt.end(), got, got + count);
    }
    if (BatchClose(h) != 1 || rebuilt.size() != x.fileSize ||
        (x.fileSize > 0 && std::memcmp(rebuilt.data(), x.file, x.fileSize) != 0))
        __builtin_trap();
    return 0;
}
