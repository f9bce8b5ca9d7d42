#include "bmp.hpp"

namespace pixmill {

BmpProblem readLayout(Bytes head, uint64_t fileSize, Accept accept, BmpLayout& out) {
    if (!BmpView::hasSignature(head)) return BmpProblem::NotBmp;
    // 12 and 16 are OS/2 headers with 16-bit fields in other places.  Told
    // apart before the length check: such files are often shorter than the
    // 54 bytes a Windows header needs.
    if (std::optional<uint32_t> size = le32(head, off::headerSize); size && *size < kInfoHeaderSize)
        return BmpProblem::UnsupportedHeader;
    // The 14-byte file header and the first 40 bytes of the information header.
    if (head.size() < kNormalPaletteOffset || fileSize < kNormalPaletteOffset) return BmpProblem::Truncated;

    const uint32_t headerSize = *le32(head, off::headerSize);
    if (!fits(fileSize, kFileHeaderSize, headerSize)) return BmpProblem::Truncated;

    if (*le32(head, off::compression) != 0) return BmpProblem::UnsupportedCompression;
    const uint32_t bits = *le16(head, off::bitCount);
    const bool paletteBits = bits == 1 || bits == 4 || bits == 8;
    if (!((accept.palette && paletteBits) || (accept.trueColour && bits == 24))) return BmpProblem::UnsupportedDepth;

    const int32_t width = static_cast<int32_t>(*le32(head, off::width));
    const int32_t height = static_cast<int32_t>(*le32(head, off::height));
    if (width < 0 || height == INT32_MIN) return BmpProblem::Malformed;
    const bool topDown = height < 0;
    if (topDown && !accept.topDown) return BmpProblem::UnsupportedTopDown;
    const uint32_t h = static_cast<uint32_t>(topDown ? -height : height);
    const uint32_t w = static_cast<uint32_t>(width);
    if (w > kMaxDimension || h > kMaxDimension) return BmpProblem::TooLarge;

    const size_t paletteOffset = kFileHeaderSize + headerSize;
    const size_t pixelOffset = *le32(head, off::pixelOffset);
    // Pixel rows that start inside the header would alias header fields.
    if (pixelOffset < paletteOffset) return BmpProblem::Malformed;
    if (pixelOffset > fileSize) return BmpProblem::Truncated;

    uint32_t paletteCount = 0;
    if (paletteBits) {
        // A short palette ends where the pixels begin; never read pixel bytes as colours.
        const size_t room = (pixelOffset - paletteOffset) / 4;
        paletteCount = room < fullPaletteSize(bits) ? static_cast<uint32_t>(room) : fullPaletteSize(bits);
    }

    const uint64_t stride = strideFor(w, bits);
    const uint64_t area = stride * h;  // < 2^16 * 2^16 * 4: no overflow
    if (!fits(fileSize, pixelOffset, area)) return BmpProblem::Truncated;

    out.width = w;
    out.height = h;
    out.bits = bits;
    out.topDown = topDown;
    out.stride = static_cast<size_t>(stride);
    out.headerSize = headerSize;
    out.paletteOffset = paletteOffset;
    out.pixelOffset = pixelOffset;
    out.paletteCount = paletteCount;
    return BmpProblem::None;
}

}  // namespace pixmill
