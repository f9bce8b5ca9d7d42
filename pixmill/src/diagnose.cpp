#include "diagnose.hpp"

#include <algorithm>

#include "bmp.hpp"
#include "file.hpp"

namespace pixmill {

namespace {

// What the program's load path reads: palette pictures directly, 24-bit
// ones through the conversion, both in any row order.
constexpr Accept kLoadable{true, true, true};

std::string n(uint64_t v) { return std::to_string(v); }

const char* compressionName(uint32_t c) {
    switch (c) {
        case 1: return "RLE8 compressed";
        case 2: return "RLE4 compressed";
        case 3:
        case 6: return "stored with bit fields";
        case 4: return "a JPEG picture inside a bitmap header";
        case 5: return "a PNG picture inside a bitmap header";
        default: return "compressed";
    }
}

Diagnosis opened(OpenProblem p) {
    switch (p) {
        case OpenProblem::Missing: return {Reason::Missing, "The file does not exist (or a folder in its path is missing)."};
        case OpenProblem::Denied: return {Reason::NoPermission, "You do not have permission to read the file."};
        case OpenProblem::NotRegular:
            return {Reason::NotAFile, "This is not an ordinary file (it is a folder, a pipe or a device)."};
        case OpenProblem::Busy: return {Reason::InUse, "Another program is using the file. Close it there and try again."};
        default: return {Reason::Unreadable, "The file could not be opened."};
    }
}

Diagnosis refused(BmpProblem p, Bytes head, uint64_t size) {
    const uint32_t bits = le16(head, off::bitCount).value_or(0);
    const int32_t width = static_cast<int32_t>(le32(head, off::width).value_or(0));
    const int32_t height = static_cast<int32_t>(le32(head, off::height).value_or(0));
    switch (p) {
        case BmpProblem::NotBmp:
            return {Reason::NotBmp, "The file is not a BMP bitmap: it does not start with \"BM\"."};
        case BmpProblem::Truncated:
            return {Reason::Truncated, "The file is incomplete: it ends after " + n(size) +
                                           " bytes, before the end of the picture its header describes."};
        case BmpProblem::TooLarge:
            return {Reason::TooLarge, "The picture is " + std::to_string(width) + " x " +
                                          std::to_string(height < 0 ? -static_cast<int64_t>(height) : height) +
                                          " pixels; at most 65535 pixels a side can be loaded."};
        case BmpProblem::UnsupportedHeader:
            return {Reason::Os2Header,
                    "The bitmap has an OS/2 header; only Windows bitmaps (40-byte header or larger) can be loaded."};
        case BmpProblem::UnsupportedCompression:
            return {Reason::Compressed, std::string("The bitmap is ") +
                                            compressionName(le32(head, off::compression).value_or(0)) +
                                            "; only uncompressed bitmaps can be loaded."};
        case BmpProblem::UnsupportedDepth:
            return {Reason::BitDepth, "The bitmap has " + n(bits) +
                                          " bits per pixel; only 1, 4, 8 and 24 bits per pixel can be loaded."};
        default:
            return {Reason::Malformed, "The bitmap's header is damaged: its fields contradict each other."};
    }
}

}  // namespace

Diagnosis diagnose(const std::string& path) {
    File file;
    if (OpenProblem p = file.openExisting(path.c_str(), Access::Read, Share::Read); p != OpenProblem::None)
        return opened(p);
    const long long size = file.size();
    if (size < 0) return {Reason::Unreadable, "The file could not be read."};
    if (size == 0) return {Reason::Empty, "The file is empty (0 bytes)."};
    uint8_t head[kLayoutBytes];
    const size_t got = static_cast<size_t>(std::min<long long>(size, kLayoutBytes));
    if (!file.readAt(0, head, got)) return {Reason::Unreadable, "The file could not be read."};
    BmpLayout layout;
    const BmpProblem p = readLayout({head, got}, static_cast<uint64_t>(size), kLoadable, layout);
    if (p != BmpProblem::None) return refused(p, {head, got}, static_cast<uint64_t>(size));
    // A palette picture of no rows loads, as an empty picture; without a
    // column, or true-colour without a row, nothing can be made of it.
    if (layout.width == 0 || (layout.height == 0 && layout.bits == 24))
        return {Reason::NoPixels, "The picture has no pixels: its width or height is 0."};
    return {Reason::Accepted, "Nothing in the file stops it from loading."};
}

}  // namespace pixmill
