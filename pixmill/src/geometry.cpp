// Quarter turns, nearest-neighbour resizing (also the copy into normal form)
// and cropping a true-colour picture to its ink.
#include <algorithm>
#include <vector>

#include "ops.hpp"

namespace pixmill {

namespace {

// Accepts what a user's own file may be: larger information headers and
// top-down rows are read through the view; outputs are always bottom-up.
constexpr Accept kPaletteAnyOrder{true, false, true};

// Packs indices into a row the way the pixels are read: most significant bit
// (or high nibble) first.
class RowPacker {
public:
    RowPacker(uint8_t* row, uint32_t bits) : row_(row), bits_(bits) {}
    void push(uint32_t v) { setIndex(row_, x_++, bits_, v); }

private:
    uint8_t* row_;
    uint32_t bits_;
    uint32_t x_ = 0;
};

void writePalette(Writer& w, const BmpView& v) {
    for (uint32_t i = 0; i < v.paletteSize(); ++i) w.put(v.entry(i), 4);
}

}  // namespace

int32_t rotateBitmap(const char* source, const char* destination, int32_t direction) {
    Bitmap src;
    if (int32_t r = openBitmap(source, Open::Read, kPaletteAnyOrder, src); r != kOk) return r;
    const BmpView& v = src.view;
    // Any other direction used to give a file of headers without pixels, one
    // that no reader (this library included) accepts.
    if (direction != PIXMILL_TURN_ANTICLOCKWISE && direction != PIXMILL_TURN_CLOCKWISE) return kNothing;
    OutputFile out;
    if (!out.create(destination)) return kOpen;

    const uint32_t W = v.width(), H = v.height(), n = v.paletteSize();
    const size_t stride = static_cast<size_t>(strideFor(H, v.bits()));
    const uint32_t pixelOffset = static_cast<uint32_t>(kNormalPaletteOffset + 4 * n);
    const uint64_t pixelBytes = static_cast<uint64_t>(stride) * W;

    Writer w(out);
    // The source's file header keeps its reserved words; the pixel-data
    // offset is where this file's pixels really start.
    writeFileHeader(w, static_cast<uint32_t>(pixelOffset + pixelBytes), *le32(v.bytesView(), 6), pixelOffset);
    InfoHeader info(v.base() + kFileHeaderSize);
    info.set32(off::width, H).set32(off::height, W).set32(off::imageSize, static_cast<uint32_t>(pixelBytes));
    w.put(info.b, sizeof info.b);
    writePalette(w, v);

    std::vector<uint8_t> row(stride);
    for (uint32_t r = 0; r < W; ++r) {
        std::fill(row.begin(), row.end(), 0);
        RowPacker pack(row.data(), v.bits());
        if (direction == PIXMILL_TURN_ANTICLOCKWISE) {
            // Anticlockwise: the top edge becomes the left edge.
            for (uint32_t y = H; y-- > 0;) pack.push(getIndex(v.row(y), r, v.bits()));
        } else {
            // Clockwise: the top edge becomes the right edge.
            for (uint32_t y = 0; y < H; ++y) pack.push(getIndex(v.row(y), W - 1 - r, v.bits()));
        }
        w.put(row);
    }
    // A full disk must not pass for a rotated picture.
    return w.flush() && out.commit() ? kOk : kIo;
}

int32_t stretchBitmap(int32_t newWidth, const char* destination, const char* source) {
    Bitmap src;
    if (int32_t r = openHeader(source, Open::Inspect, kPaletteAnyOrder, src); r != kOk) return r;
    const BmpLayout& layout = src.in.layout;
    const uint32_t W = layout.width, H = layout.height, bits = layout.bits, n = layout.paletteSize();
    if (newWidth < 0) return kNothing;
    const uint32_t W2 = newWidth == 0 ? W : static_cast<uint32_t>(newWidth);
    if (W == 0 || W2 == 0) return kNothing;

    const double factor = static_cast<double>(W2) / static_cast<double>(W);
    const double h2 = factor * static_cast<double>(H);
    const uint32_t pixelOffset = static_cast<uint32_t>(kNormalPaletteOffset + 4 * n);
    // Beyond what any reader accepts: refuse before reading the source's
    // pixels or allocating gigabytes.
    if (h2 >= static_cast<double>(kMaxDimension) + 1 || !outputFits(W2, static_cast<uint64_t>(h2), bits, pixelOffset))
        return kNoMem;
    const uint32_t H2 = static_cast<uint32_t>(h2);
    const size_t stride2 = static_cast<size_t>(strideFor(W2, bits));
    const size_t pixelBytes = stride2 * H2;
    if (int32_t r = loadPixels(src); r != kOk) return r;
    const BmpView& v = src.view;

    std::vector<uint8_t> buffer(pixelBytes, 0);
    // Source column per destination column, computed once for all rows.
    std::vector<uint32_t> column(W2);
    for (uint32_t j = 0; j < W2; ++j)
        column[j] = std::min(static_cast<uint32_t>(static_cast<double>(j) / factor), W - 1);
    for (uint32_t i = 0; i < H2; ++i) {
        const uint8_t* from = v.row(std::min(static_cast<uint32_t>(static_cast<double>(i) / factor), H - 1));
        uint8_t* to = buffer.data() + static_cast<size_t>(i) * stride2;
        if (bits == 8) {
            for (uint32_t j = 0; j < W2; ++j) to[j] = from[column[j]];
        } else {
            for (uint32_t j = 0; j < W2; ++j) setIndex(to, j, bits, getIndex(from, column[j], bits));
        }
    }

    OutputFile out;
    if (!out.create(destination)) return kCreate;
    Writer w(out);
    writeFileHeader(w, static_cast<uint32_t>(pixelBytes + pixelOffset), 0, pixelOffset);
    InfoHeader info(v.base() + kFileHeaderSize);
    info.set32(off::width, W2)
        .set32(off::height, H2)
        .set32(off::imageSize, static_cast<uint32_t>(pixelBytes))
        .set32(off::colorsUsed, n)
        .set32(off::colorsImportant, 0);
    w.put(info.b, sizeof info.b);
    writePalette(w, v);
    w.put(buffer);
    return w.flush() && out.commit() ? kOk : kIo;
}

int32_t makeMMBitmap(const char* source, const char* destination, int32_t bottom, int32_t top, int32_t left,
                     int32_t right) {
    Bitmap src;
    if (int32_t r = openBitmap(source, Open::Read, Accept{false, true, true}, src); r != kOk) return r;
    const BmpView& v = src.view;
    // Margins make the output's size: negative or absurd ones describe no picture.
    for (int32_t m : {bottom, top, left, right})
        if (m < 0 || static_cast<uint32_t>(m) > kMaxDimension) return kFormat;

    auto ink = [&](uint32_t x, uint32_t y) {
        const uint8_t* p = v.row(y) + 3 * static_cast<size_t>(x);
        return !(p[0] == 255 && p[1] == 255 && p[2] == 255);
    };
    uint32_t x0 = UINT32_MAX, x1 = 0, y0 = UINT32_MAX, y1 = 0;
    for (uint32_t y = 0; y < v.height(); ++y)
        for (uint32_t x = 0; x < v.width(); ++x)
            if (ink(x, y)) {
                x0 = std::min(x0, x);
                x1 = std::max(x1, x);
                y0 = std::min(y0, y);
                y1 = std::max(y1, y);
            }
    if (x0 == UINT32_MAX) return kFormat;

    // Up to three times 65535 a side in 64 bits: a frame wider than any
    // picture we read, or a file past the header's 32-bit size fields, is
    // refused before anything is written.
    const uint32_t pixelOffset = 1078;
    const uint64_t wide = uint64_t{x1 - x0 + 1} + static_cast<uint64_t>(left) + static_cast<uint64_t>(right);
    const uint64_t tall = uint64_t{y1 - y0 + 1} + static_cast<uint64_t>(bottom) + static_cast<uint64_t>(top);
    if (!outputFits(wide, tall, 8, pixelOffset)) return kFormat;
    const uint32_t width = static_cast<uint32_t>(wide);
    const uint32_t height = static_cast<uint32_t>(tall);
    const size_t stride = static_cast<size_t>(strideFor(width, 8));
    const uint64_t pixelBytes = static_cast<uint64_t>(stride) * height;

    OutputFile out;
    if (!out.create(destination)) return kCreate;

    Writer w(out);
    writeFileHeader(w, static_cast<uint32_t>(pixelOffset + pixelBytes), 0, pixelOffset);
    InfoHeader info(v.base() + kFileHeaderSize);
    info.set32(off::width, width)
        .set32(off::height, height)
        .set16(off::bitCount, 8)
        .set32(off::imageSize, static_cast<uint32_t>(pixelBytes))
        .set32(off::colorsUsed, 0)
        .set32(off::colorsImportant, 0);
    w.put(info.b, sizeof info.b);
    const uint8_t white[4] = {255, 255, 255, 0};
    w.put(white, 4);
    w.zeros(4 * 255);

    w.zeros(stride * static_cast<size_t>(bottom));
    std::vector<uint8_t> row(stride);
    for (uint32_t y = y0; y <= y1; ++y) {
        std::fill(row.begin(), row.end(), 0);
        for (uint32_t x = x0; x <= x1; ++x) row[static_cast<size_t>(left) + (x - x0)] = ink(x, y) ? 1 : 0;
        w.put(row);
    }
    w.zeros(stride * static_cast<size_t>(top));
    return w.flush() && out.commit() ? kOk : kIo;
}

}  // namespace pixmill
