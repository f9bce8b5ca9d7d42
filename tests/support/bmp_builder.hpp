// Test pictures built in memory, and a small independent reader for the
// library's normal-form outputs.  Tests never carry binary fixtures they can build.
#pragma once

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace testing_support {

using ByteVec = std::vector<uint8_t>;

// Library colour values (blue 31-24, green 23-16, red 15-8).
inline constexpr uint32_t kBlack = 0x00000000;
inline constexpr uint32_t kWhite = 0xFFFFFF00;
inline constexpr uint32_t kRed = 0x0000FF00;
inline constexpr uint32_t kBlue = 0xFF000000;
inline constexpr uint32_t rgb(uint8_t r, uint8_t g, uint8_t b) {
    return (uint32_t(b) << 24) | (uint32_t(g) << 16) | (uint32_t(r) << 8);
}

inline void put16(ByteVec& v, size_t at, uint32_t x) {
    v[at] = uint8_t(x);
    v[at + 1] = uint8_t(x >> 8);
}
inline void put32(ByteVec& v, size_t at, uint32_t x) {
    for (int i = 0; i < 4; ++i) v[at + i] = uint8_t(x >> (8 * i));
}
inline uint32_t get16(const ByteVec& v, size_t at) { return v.at(at) | (v.at(at + 1) << 8); }
inline uint32_t get32(const ByteVec& v, size_t at) {
    return v.at(at) | (v.at(at + 1) << 8) | (v.at(at + 2) << 16) | (uint32_t(v.at(at + 3)) << 24);
}

class BmpBuilder {
public:
    // bits: 1, 4, 8 or 24 (any other value is written as given, for refusal tests).
    BmpBuilder(int32_t width, int32_t height, uint16_t bits) : w_(width), h_(height), bits_(bits) {
        uint32_t n = bits <= 8 ? (1u << bits) : 0;
        palette_.assign(n, {0, 0, 0, 0});
        pixels_.assign(size_t(height < 0 ? -height : height), std::vector<uint32_t>(size_t(width), 0));
    }

    // Palette entry i from a library colour value, with its final-colour flag.
    BmpBuilder& entry(uint32_t i, uint32_t colour, uint8_t flag = 0) {
        palette_.at(i) = {uint8_t(colour >> 24), uint8_t(colour >> 16), uint8_t(colour >> 8), flag};
        return *this;
    }
    BmpBuilder& colours(std::initializer_list<uint32_t> cs) {
        uint32_t i = 0;
        for (uint32_t c : cs) entry(i++, c);
        return *this;
    }
    // Pixel at column x of stored row y (y = 0 is the bottom row): a palette
    // index, or for 24 bits a library colour value.
    BmpBuilder& pixel(uint32_t x, uint32_t y, uint32_t v) {
        pixels_.at(y).at(x) = v;
        return *this;
    }
    BmpBuilder& fill(uint32_t v) {
        for (auto& row : pixels_)
            for (auto& p : row) p = v;
        return *this;
    }
    template <typename F>
    BmpBuilder& each(F f) {  // f(x, y) -> value
        for (size_t y = 0; y < pixels_.size(); ++y)
            for (size_t x = 0; x < pixels_[y].size(); ++x) pixels_[y][x] = f(uint32_t(x), uint32_t(y));
        return *this;
    }

    BmpBuilder& headerSize(uint32_t s) { headerSize_ = s; return *this; }
    BmpBuilder& compression(uint32_t c) { compression_ = c; return *this; }
    BmpBuilder& colorsUsed(uint32_t c) { colorsUsed_ = c; return *this; }
    // Stores only the first n palette entries; the pixels follow at once.
    BmpBuilder& storedEntries(uint32_t n) { stored_ = int(n); return *this; }
    // Rows stored top row first, height written negative.
    BmpBuilder& topDown(bool t = true) { topDown_ = t; return *this; }

    ByteVec build() const {
        uint32_t n = stored_ >= 0 ? uint32_t(stored_) : uint32_t(palette_.size());
        uint32_t absH = uint32_t(pixels_.size());
        uint32_t stride = ((uint32_t(w_) * bits_ + 31) / 32) * 4;
        uint32_t palOff = 14 + headerSize_;
        uint32_t pixOff = palOff + 4 * n;
        ByteVec v(pixOff + stride * absH, 0);
        v[0] = 'B';
        v[1] = 'M';
        put32(v, 2, uint32_t(v.size()));
        put32(v, 10, pixOff);
        put32(v, 14, headerSize_);
        put32(v, 18, uint32_t(w_));
        put32(v, 22, uint32_t(topDown_ ? -int32_t(absH) : h_));
        put16(v, 26, 1);
        put16(v, 28, bits_);
        put32(v, 30, compression_);
        put32(v, 34, stride * absH);
        put32(v, 38, 2835);
        put32(v, 42, 2835);
        put32(v, 46, colorsUsed_);
        for (uint32_t i = 0; i < n; ++i)
            for (int k = 0; k < 4; ++k) v[palOff + 4 * i + k] = palette_[i][k];
        for (uint32_t y = 0; y < absH; ++y) {
            uint32_t stored = topDown_ ? absH - 1 - y : y;
            uint8_t* row = v.data() + pixOff + size_t(stored) * stride;
            for (uint32_t x = 0; x < uint32_t(w_); ++x) setPixel(row, x, pixels_[y][x]);
        }
        return v;
    }

    void write(const std::string& path) const;

private:
    void setPixel(uint8_t* row, uint32_t x, uint32_t p) const {
        switch (bits_) {
            case 1: if (p & 1) row[x / 8] |= uint8_t(0x80 >> (x % 8)); break;
            case 4: row[x / 2] |= uint8_t((x % 2) ? (p & 15) : ((p & 15) << 4)); break;
            case 8: row[x] = uint8_t(p); break;
            case 24:
                row[3 * x] = uint8_t(p >> 24);
                row[3 * x + 1] = uint8_t(p >> 16);
                row[3 * x + 2] = uint8_t(p >> 8);
                break;
            default: break;
        }
    }

    int32_t w_, h_;
    uint16_t bits_;
    uint32_t headerSize_ = 40;
    uint32_t compression_ = 0;
    uint32_t colorsUsed_ = 0;
    int stored_ = -1;
    bool topDown_ = false;
    std::vector<std::array<uint8_t, 4>> palette_;
    std::vector<std::vector<uint32_t>> pixels_;
};

inline ByteVec readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return ByteVec(std::istreambuf_iterator<char>(f), {});
}
inline void writeFile(const std::string& path, const ByteVec& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}
inline void BmpBuilder::write(const std::string& path) const { writeFile(path, build()); }

// A fresh directory per test, removed afterwards.
class TempDir {
public:
    TempDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "pixmill-test-XXXXXX").string();
        dir_ = ::mkdtemp(tmpl.data()) ? tmpl : std::string();
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    std::string path(const std::string& name) const { return dir_ + "/" + name; }
    const std::string& dir() const { return dir_; }

private:
    std::string dir_;
};

// The fixture of tests that work in a fresh directory.
class InTempDir : public ::testing::Test {
protected:
    TempDir tmp;
    std::string p(const std::string& name) const { return tmp.path(name); }
};

inline uint64_t fnv1a(const ByteVec& bytes) {
    uint64_t h = 0xcbf29ce484222325u;
    for (uint8_t c : bytes) h = (h ^ c) * 0x100000001b3u;
    return h;
}

// Holds an exclusive lock on a file the way another Pixmill user would
// (read-only files included: a lock needs no write access).
struct HeldOpen {
    int fd;
    explicit HeldOpen(const std::string& path) : fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
        ::flock(fd, LOCK_EX);
    }
    ~HeldOpen() { ::close(fd); }
    HeldOpen(const HeldOpen&) = delete;
    HeldOpen& operator=(const HeldOpen&) = delete;
};

// Reads a normal-form bitmap (40-byte header, bottom-up, uncompressed) the
// simple way, independently of the library, to check what it wrote.
struct Decoded {
    uint32_t width = 0, height = 0, bits = 0, stride = 0, pixelOffset = 0;
    ByteVec bytes;
    std::array<uint8_t, 4> entry(uint32_t i) const {
        size_t at = 54 + 4 * size_t(i);
        return {bytes.at(at), bytes.at(at + 1), bytes.at(at + 2), bytes.at(at + 3)};
    }
    uint32_t colourOf(uint32_t i) const {
        auto e = entry(i);
        return (uint32_t(e[0]) << 24) | (uint32_t(e[1]) << 16) | (uint32_t(e[2]) << 8);
    }
    // Index (or, for 24 bits, library colour value) at column x of stored row y.
    uint32_t at(uint32_t x, uint32_t y) const {
        const uint8_t* row = bytes.data() + pixelOffset + size_t(y) * stride;
        switch (bits) {
            case 1: return (row[x / 8] >> (7 - x % 8)) & 1;
            case 4: return (x % 2) ? (row[x / 2] & 15) : (row[x / 2] >> 4);
            case 8: return row[x];
            default: return (uint32_t(row[3 * x]) << 24) | (uint32_t(row[3 * x + 1]) << 16) | (uint32_t(row[3 * x + 2]) << 8);
        }
    }
};
inline Decoded decode(const ByteVec& bytes) {
    Decoded d;
    d.bytes = bytes;
    if (bytes.size() < 54) return d;
    d.width = get32(bytes, 18);
    d.height = get32(bytes, 22);
    d.bits = get16(bytes, 28);
    d.pixelOffset = get32(bytes, 10);
    d.stride = ((d.width * d.bits + 31) / 32) * 4;
    return d;
}

// A 2 x 1 one-bit bitmap with a 12-byte OS/2 header, whose width, height,
// planes and bits are 16-bit fields: valid, but of a kind not read.
inline ByteVec os2Bitmap() {
    ByteVec v(36, 0);
    v[0] = 'B';
    v[1] = 'M';
    for (auto [at, x] : {std::pair{2, 36}, {10, 32}, {14, 12}}) put32(v, at, x);
    for (auto [at, x] : {std::pair{18, 2}, {20, 1}, {22, 1}, {24, 1}}) put16(v, at, x);
    return v;
}

}  // namespace testing_support
