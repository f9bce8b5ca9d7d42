// Shared by the fuzz targets: a private scratch directory per process, the
// split of an input into parameter bytes and file bytes, and silence for the
// batch messages (a fuzzer must not stop to show a box).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "pixmill/pixmill.h"

namespace fuzz {

// libFuzzer's -fork and -jobs run several processes: each gets its own
// folder.  A plain array, so that it outlives the exit handler that removes it.
// In memory where there is a tmpfs: every output is flushed to the disk
// before it is renamed into place, which costs milliseconds on a real disk
// and nothing there.
inline const char* scratchDir() {
    static char dir[] = "/dev/shm/pixmill-fuzz-XXXXXX";
    static const bool made = [] {
        if (::mkdtemp(dir) == nullptr) {
            std::strcpy(dir, "/tmp/pixmill-fuzz-XXXXXX");
            if (::mkdtemp(dir) == nullptr) std::abort();
        }
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(dir, ec);
        });
        PixmillSetMessageHook([](const char*, const char*, void*) {}, nullptr);
        return true;
    }();
    (void)made;
    return dir;
}

inline std::string path(const char* name) { return std::string(scratchDir()) + "/" + name; }

// Rewrites the named scratch file with the given bytes; returns its path.
inline std::string writeScratch(const char* name, const uint8_t* data, size_t size) {
    std::string p = path(name);
    FILE* f = std::fopen(p.c_str(), "wb");
    if (f == nullptr || (size > 0 && std::fwrite(data, 1, size, f) != size) || std::fclose(f) != 0) std::abort();
    return p;
}

// The first `n` bytes choose parameters; the rest becomes the file.
struct Input {
    const uint8_t* params;
    const uint8_t* file;
    size_t fileSize;
    static bool split(const uint8_t* data, size_t size, size_t n, Input& out) {
        if (size < n) return false;
        out = {data, data + n, size - n};
        return true;
    }
    // Colour of palette entry i when the file holds it, so that swaps and
    // merges meet real entries; else a colour made of the index itself.
    uint32_t entryColour(uint8_t i) const {
        size_t at = 54 + 4 * size_t(i);
        if (at + 3 > fileSize) return uint32_t(i) * 0x01010100u;
        return (uint32_t(file[at]) << 24) | (uint32_t(file[at + 1]) << 16) | (uint32_t(file[at + 2]) << 8);
    }
    uint32_t le32(size_t at) const {
        if (at + 4 > fileSize) return 0;
        return file[at] | (file[at + 1] << 8) | (file[at + 2] << 16) | (uint32_t(file[at + 3]) << 24);
    }
};

}  // namespace fuzz
