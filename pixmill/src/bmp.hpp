// Bitmap layout and views.  readLayout() validates the header, then the
// palette, then the whole pixel area against the file size before any pixel
// is read; after that, row() and the pixel helpers need no further checks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "bytes.hpp"

namespace pixmill {

// Why a file was refused.  Every reason surfaces as result code 12; they are
// kept apart so tests, readers and the program's error details can tell a
// broken file from one we chose not to support.
enum class BmpProblem {
    None,
    NotBmp,                  // signature is not "BM"
    Truncated,               // header, palette or pixel rows run past the end of the file
    Malformed,               // fields that contradict each other
    TooLarge,                // width or height beyond kMaxDimension
    UnsupportedHeader,       // an OS/2 core header: 16-bit fields in other places
    UnsupportedCompression,  // RLE, bit fields, embedded JPEG or PNG
    UnsupportedDepth,        // bits per pixel outside what this export reads (16 and 32 among them)
    UnsupportedTopDown,      // negative height where the export wants bottom-up rows
};

// A valid BMP outside our subset, as opposed to a broken file.
inline bool isUnsupported(BmpProblem p) {
    return p == BmpProblem::UnsupportedHeader || p == BmpProblem::UnsupportedCompression ||
           p == BmpProblem::UnsupportedDepth || p == BmpProblem::UnsupportedTopDown;
}

// What an export is willing to read.
struct Accept {
    bool palette = true;     // 1, 4 and 8 bits per pixel
    bool trueColour = false; // 24 bits per pixel
    bool topDown = false;    // negative height (rows stored top row first)
};

inline constexpr Accept kPaletteOnly{true, false, false};
inline constexpr Accept kTrueColourOnly{false, true, false};

// Largest width or height we read.  Far beyond any receipt picture or camera
// photo, small enough that stride x height cannot overflow 64 bits.
inline constexpr uint32_t kMaxDimension = 65535;

inline constexpr size_t kFileHeaderSize = 14;
inline constexpr size_t kInfoHeaderSize = 40;
inline constexpr size_t kNormalPaletteOffset = kFileHeaderSize + kInfoHeaderSize;  // 54

// Field offsets of the file and 40-byte information headers.
namespace off {
inline constexpr size_t fileSize = 2;
inline constexpr size_t pixelOffset = 10;
inline constexpr size_t headerSize = 14;
inline constexpr size_t width = 18;
inline constexpr size_t height = 22;
inline constexpr size_t planes = 26;
inline constexpr size_t bitCount = 28;
inline constexpr size_t compression = 30;
inline constexpr size_t imageSize = 34;
inline constexpr size_t xPels = 38;
inline constexpr size_t yPels = 42;
inline constexpr size_t colorsUsed = 46;
inline constexpr size_t colorsImportant = 50;
}  // namespace off

// Stride of a row: ((width x bits + 31) / 32) x 4, computed in 64 bits.
inline uint64_t strideFor(uint64_t width, uint32_t bits) { return ((width * bits + 31) / 32) * 4; }

// Palette entries for a bit depth: 2, 16, 256, or 0 for true colour.
inline uint32_t fullPaletteSize(uint32_t bits) { return bits <= 8 ? (1u << bits) : 0; }

// Where everything a picture uses lies in its file, checked against the
// file's size.  The first kLayoutBytes of a file are enough to work it out,
// so a picture can be refused for its header or its dimensions before its
// pixel rows are read.
struct BmpLayout {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t bits = 0;
    bool topDown = false;
    size_t stride = 0;
    size_t headerSize = 0;
    size_t paletteOffset = 0;
    size_t pixelOffset = 0;
    uint32_t paletteCount = 0;  // entries the file really holds (a short palette ends where the pixels start)

    // 2, 16 or 256 for palette pictures.
    uint32_t paletteSize() const { return fullPaletteSize(bits); }
    // Bytes from the start of the file up to the end of the last pixel row:
    // all that the picture uses.  Trailing bytes after it are never read.
    size_t extent() const { return pixelOffset + stride * height; }
};

// The file header and the part of the information header that we read.
inline constexpr size_t kLayoutBytes = kNormalPaletteOffset;

// Checks `head` (the file's first bytes, kLayoutBytes or all of a shorter
// file) as a bitmap that `accept` allows, for a file of `fileSize` bytes.
BmpProblem readLayout(Bytes head, uint64_t fileSize, Accept accept, BmpLayout& out);

// A checked bitmap in memory, read only.  Row and pixel access need no
// further checks: readLayout proved the whole pixel area inside the file.
class BmpView {
public:
    BmpView() = default;
    // `file` holds at least layout.extent() bytes from the start of the file.
    BmpView(const BmpLayout& layout, Bytes file) : layout_(layout), base_(file.data()), size_(file.size()) {}

    // Only the signature: what IsBitmap asks.
    static bool hasSignature(Bytes file) { return file.size() >= 2 && file[0] == 'B' && file[1] == 'M'; }

    uint32_t width() const { return layout_.width; }
    uint32_t height() const { return layout_.height; }
    uint32_t bits() const { return layout_.bits; }
    bool topDown() const { return layout_.topDown; }
    size_t stride() const { return layout_.stride; }
    size_t headerSize() const { return layout_.headerSize; }
    size_t pixelOffset() const { return layout_.pixelOffset; }
    size_t paletteOffset() const { return layout_.paletteOffset; }
    // 2, 16 or 256 for palette pictures.
    uint32_t paletteSize() const { return layout_.paletteSize(); }
    // Entries the file really holds (a short palette ends where the pixels start).
    uint32_t paletteCount() const { return layout_.paletteCount; }

    // Row y in bottom-up order (0 = bottom row of the picture), whatever the
    // storage order.  y < height().
    const uint8_t* row(uint32_t y) const { return base_ + rowOffset(y); }

    // Palette entry i as blue, green, red, flag; entries the file does not
    // hold read as zeros (black, unflagged).
    const uint8_t* entry(uint32_t i) const {
        static constexpr uint8_t kZero[4] = {0, 0, 0, 0};
        return i < paletteCount() ? base_ + entryOffset(i) : kZero;
    }
    const uint8_t* base() const { return base_; }
    // The bytes in memory, for header fields outside the view's own.
    Bytes bytesView() const { return {base_, size_}; }

protected:
    size_t rowOffset(uint32_t y) const {
        uint32_t stored = layout_.topDown ? layout_.height - 1 - y : y;
        return layout_.pixelOffset + static_cast<size_t>(stored) * layout_.stride;
    }
    size_t entryOffset(uint32_t i) const { return layout_.paletteOffset + 4 * static_cast<size_t>(i); }

private:
    BmpLayout layout_;
    const uint8_t* base_ = nullptr;
    size_t size_ = 0;
};

// The same view over bytes an export may change: only the editing exports
// get one, so a reading export has no way to write a pixel.
class MutableBmpView : public BmpView {
public:
    MutableBmpView() = default;
    MutableBmpView(const BmpLayout& layout, MutableBytes file) : BmpView(layout, file), mutableBase_(file.data()) {}

    uint8_t* mutableRow(uint32_t y) const { return mutableBase_ + rowOffset(y); }
    // Writable entry, or nullptr for one the file does not hold: never
    // write palette entries over pixel bytes.
    uint8_t* mutableEntry(uint32_t i) const { return i < paletteCount() ? mutableBase_ + entryOffset(i) : nullptr; }
    uint8_t* mutableBase() const { return mutableBase_; }

private:
    uint8_t* mutableBase_ = nullptr;
};

// Pixel index at column x of a packed row (1, 4 or 8 bits per pixel).
inline uint32_t getIndex(const uint8_t* row, uint32_t x, uint32_t bits) {
    switch (bits) {
        case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1u;
        case 4: return (x & 1) ? (row[x >> 1] & 0x0Fu) : (row[x >> 1] >> 4);
        default: return row[x];
    }
}

// Sets only the pixel's own bit, nibble or byte.
inline void setIndex(uint8_t* row, uint32_t x, uint32_t bits, uint32_t v) {
    switch (bits) {
        case 1: {
            uint8_t mask = static_cast<uint8_t>(0x80u >> (x & 7));
            row[x >> 3] = static_cast<uint8_t>((row[x >> 3] & ~mask) | ((v & 1u) ? mask : 0));
            break;
        }
        case 4:
            if (x & 1)
                row[x >> 1] = static_cast<uint8_t>((row[x >> 1] & 0xF0u) | (v & 0x0Fu));
            else
                row[x >> 1] = static_cast<uint8_t>((row[x >> 1] & 0x0Fu) | ((v & 0x0Fu) << 4));
            break;
        default: row[x] = static_cast<uint8_t>(v);
    }
}

// Hands f the bit depth (1, 4 or 8) as a compile-time constant so that
// getIndex and setIndex lose their per-pixel switch in pixel loops: a
// converted camera photo has millions of pixels.
template <typename F>
void withBits(uint32_t bits, F&& f) {
    switch (bits) {
        case 1: f(std::integral_constant<uint32_t, 1>{}); break;
        case 4: f(std::integral_constant<uint32_t, 4>{}); break;
        default: f(std::integral_constant<uint32_t, 8>{}); break;
    }
}

// ---- Library colour values: blue in bits 31-24, green 23-16, red 15-8. ----
struct Bgr {
    uint8_t b, g, r;
    bool operator==(const Bgr&) const = default;
};
inline Bgr fromColour(uint32_t v) {
    return {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8)};
}
inline uint32_t toColour(Bgr c) {
    return (static_cast<uint32_t>(c.b) << 24) | (static_cast<uint32_t>(c.g) << 16) | (static_cast<uint32_t>(c.r) << 8);
}
inline Bgr bgrOf(const uint8_t* entry) { return {entry[0], entry[1], entry[2]}; }
inline constexpr Bgr kBlack{0, 0, 0};
inline constexpr Bgr kWhite{255, 255, 255};
inline constexpr Bgr kPureRed{0, 0, 255};
inline constexpr Bgr kPureBlue{255, 0, 0};

}  // namespace pixmill
