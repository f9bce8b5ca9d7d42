#include "bmp.hpp"

namespace pixmill {

BmpProblem BmpView::parse(Bytes file, Accept accept, BmpView& out) {
    if (!hasSignature(file)) return BmpProblem::NotBmp;
    // The 14-byte file header and the first 40 bytes of the information header.
    if (file.size() < kNormalPaletteOffset) return BmpProblem::Truncated;

    uint32_t headerSize = *le32(file, off::headerSize);
    // 12 and 16 are OS/2 headers with 16-bit fields in other places.
    if (headerSize < kInfoHeaderSize) return BmpProblem::Unsupported;
    if (!fits(file.size(), kFileHeaderSize, headerSize)) return BmpProblem::Truncated;

    uint32_t compression = *le32(file, off::compression);
    if (compression != 0) return BmpProblem::Unsupported;
    uint32_t bits = *le16(file, off::bitCount);
    bool paletteBits = bits == 1 || bits == 4 || bits == 8;
    if (!((accept.palette && paletteBits) || (accept.trueColour && bits == 24))) return BmpProblem::Unsupported;

    int32_t width = static_cast<int32_t>(*le32(file, off::width));
    int32_t height = static_cast<int32_t>(*le32(file, off::height));
    if (width < 0 || height == INT32_MIN) return BmpProblem::Malformed;
    bool topDown = height < 0;
    if (topDown && !accept.topDown) return BmpProblem::Unsupported;
    uint32_t h = static_cast<uint32_t>(topDown ? -height : height);
    uint32_t w = static_cast<uint32_t>(width);
    if (w > kMaxDimension || h > kMaxDimension) return BmpProblem::Malformed;

    size_t paletteOffset = kFileHeaderSize + headerSize;
    size_t pixelOffset = *le32(file, off::pixelOffset);
    // Pixel rows that start inside the header would alias header fields.
    if (pixelOffset < paletteOffset) return BmpProblem::Malformed;
    if (pixelOffset > file.size()) return BmpProblem::Truncated;

    uint32_t paletteCount = 0;
    if (paletteBits) {
        // A short palette ends where the pixels begin; never read pixel bytes as colours.
        size_t room = (pixelOffset - paletteOffset) / 4;
        paletteCount = room < fullPaletteSize(bits) ? static_cast<uint32_t>(room) : fullPaletteSize(bits);
    }

    uint64_t stride = strideFor(w, bits);
    uint64_t area = stride * h;  // < 2^16 * 2^16 * 4: no overflow
    if (!fits(file.size(), pixelOffset, area)) return BmpProblem::Truncated;

    // The view writes only through mappings opened writable; read-only
    // callers never use the mutable accessors.
    out.base_ = const_cast<uint8_t*>(file.data());
    out.fileSize_ = file.size();
    out.width_ = w;
    out.height_ = h;
    out.bits_ = bits;
    out.topDown_ = topDown;
    out.stride_ = static_cast<size_t>(stride);
    out.headerSize_ = headerSize;
    out.pixelOffset_ = pixelOffset;
    out.paletteOffset_ = paletteOffset;
    out.paletteCount_ = paletteCount;
    return BmpProblem::None;
}

}  // namespace pixmill
