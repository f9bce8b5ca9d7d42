#include <cstring>

#include "ops.hpp"

namespace pixmill {

int32_t openBitmap(const char* path, Open mode, Accept accept, Bitmap& out) {
    bool writable = mode == Open::Edit || mode == Open::EditMapRead;
    Share share = mode == Open::ReadShared ? Share::Read : Share::None;
    if (int32_t r = out.in.open(path, writable, share, mode == Open::Edit); r != kOk) return r;
    out.problem = BmpView::parse(out.in.map.bytes(), accept, out.view);
    return out.problem == BmpProblem::None ? kOk : kFormat;
}

InfoHeader::InfoHeader(const uint8_t* sourceInfo) {
    std::memcpy(b, sourceInfo, sizeof b);
    set32(off::headerSize, kInfoHeaderSize);
}

InfoHeader& InfoHeader::set32(size_t fileOffset, uint32_t v) {
    put32(b + (fileOffset - kFileHeaderSize), v);
    return *this;
}

InfoHeader& InfoHeader::set16(size_t fileOffset, uint32_t v) {
    put16(b + (fileOffset - kFileHeaderSize), v);
    return *this;
}

void zeroColourCounts(const BmpView& v) {
    // Storing a zero over a zero would still dirty the header's page, and the
    // whole page would be written back to the file for nothing.
    for (size_t field : {off::colorsUsed, off::colorsImportant})
        if (*le32(v.bytesView(), field) != 0) put32(v.base() + field, 0);
}

void writeFileHeader(Writer& w, uint32_t fileSize, uint32_t reserved, uint32_t pixelOffset) {
    w.byte('B');
    w.byte('M');
    w.le32(fileSize);
    w.le32(reserved);
    w.le32(pixelOffset);
}

}  // namespace pixmill
