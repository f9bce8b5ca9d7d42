#include <algorithm>
#include <cstring>
#include <new>

#include "ops.hpp"

namespace pixmill {

namespace {

// Block size for writing edits back: a picture whose colours changed but
// whose pixels did not is written back as a few palette blocks.
constexpr size_t kWriteBackBlock = 4096;

Access accessFor(Open mode) { return mode == Open::Inspect ? Access::PreferReadWrite : Access::Read; }

// Opens, reads the first bytes and checks the layout: 0, 10, 11 or 12.
int32_t readHead(LoadedFile& in, const char* path, Access access, Share share, Accept accept) {
    if (in.file.openExisting(path, access, share) != OpenProblem::None) return kOpen;
    in.size = in.file.size();
    // An empty file holds nothing to read: 11, the code it always had.
    if (in.size <= 0) return kMap;
    uint8_t head[kLayoutBytes];
    const size_t n = static_cast<size_t>(std::min<long long>(in.size, kLayoutBytes));
    if (!in.file.readAt(0, head, n)) return kMap;
    in.problem = readLayout({head, n}, static_cast<uint64_t>(in.size), accept, in.layout);
    return in.problem == BmpProblem::None ? kOk : kFormat;
}

// Reads everything the picture uses.  A file cut short since its size was
// taken fails here with 11 instead of handing out missing bytes.
int32_t readPicture(LoadedFile& in) {
    const size_t extent = in.layout.extent();
    if (!in.bytes.allocate(extent)) return kMap;
    return in.file.readAt(0, in.bytes.data.get(), extent) ? kOk : kMap;
}

}  // namespace

bool Buffer::allocate(size_t n) {
    data.reset(new (std::nothrow) uint8_t[std::max<size_t>(n, 1)]);
    size = data ? n : 0;
    return data != nullptr;
}

RowReader::RowReader(const LoadedFile& in, uint32_t maxRows)
    : in_(in), height_(in.layout.height), stride_(in.layout.stride), topDown_(in.layout.topDown),
      buffer_(stride_ * std::max<uint32_t>(maxRows, 1)) {}

bool RowReader::read(uint32_t y0, uint32_t n) {
    // The band's rows lie together in the file whichever way they are stored.
    first_ = topDown_ ? height_ - y0 - n : y0;
    const size_t bytes = stride_ * n;
    if (bytes > buffer_.size()) return false;
    return in_.file.readAt(in_.layout.pixelOffset + static_cast<uint64_t>(first_) * stride_, buffer_.data(), bytes);
}

int32_t openHeader(const char* path, Open mode, Accept accept, Bitmap& out) {
    return readHead(out.in, path, accessFor(mode), mode == Open::ReadShared ? Share::Read : Share::None, accept);
}

int32_t loadPixels(Bitmap& bmp) {
    if (int32_t r = readPicture(bmp.in); r != kOk) return r;
    bmp.view = BmpView(bmp.in.layout, bmp.in.bytes.bytes());
    return kOk;
}

int32_t openBitmap(const char* path, Open mode, Accept accept, Bitmap& out) {
    if (int32_t r = openHeader(path, mode, accept, out); r != kOk) return r;
    return loadPixels(out);
}

int32_t openForEdit(const char* path, Accept accept, EditBitmap& out) {
    if (int32_t r = readHead(out.in, path, Access::ReadWrite, Share::None, accept); r != kOk) return r;
    if (int32_t r = readPicture(out.in); r != kOk) return r;
    if (!out.original_.allocate(out.in.bytes.size)) return kMap;
    std::memcpy(out.original_.data.get(), out.in.bytes.data.get(), out.in.bytes.size);
    out.view = MutableBmpView(out.in.layout, out.in.bytes.mutableBytes());
    return kOk;
}

bool EditBitmap::writeBack() {
    saved_ = true;
    const Buffer& now = in.bytes;
    if (original_.size != now.size || now.size == 0) return true;  // nothing was loaded, so nothing changed
    bool checked = false;
    for (size_t at = 0; at < now.size;) {
        size_t n = std::min(kWriteBackBlock, now.size - at);
        if (std::memcmp(original_.data.get() + at, now.data.get() + at, n) == 0) {
            at += n;
            continue;
        }
        // Writing past the end of a file that another program cut short
        // would grow it again around a hole: refuse instead.
        if (!checked && in.file.size() < static_cast<long long>(now.size)) return false;
        checked = true;
        // One write for a run of changed blocks.
        size_t end = at + n;
        while (end < now.size) {
            size_t m = std::min(kWriteBackBlock, now.size - end);
            if (std::memcmp(original_.data.get() + end, now.data.get() + end, m) == 0) break;
            end += m;
        }
        if (!in.file.writeAt(at, now.data.get() + at, end - at)) return false;
        std::memcpy(original_.data.get() + at, now.data.get() + at, end - at);
        at = end;
    }
    return true;
}

int32_t EditBitmap::save(int32_t result) { return writeBack() ? result : kIo; }

EditBitmap::~EditBitmap() {
    // Every edit lands in the file, even on a path that forgot save();
    // only the report of a failed write is lost then.
    if (!saved_) writeBack();
}

bool outputFits(uint64_t width, uint64_t height, uint32_t bits, uint64_t pixelOffset) {
    if (width > kMaxDimension || height > kMaxDimension) return false;
    // At most 65535 x 65535 x 4 bytes: no overflow in 64 bits.
    return pixelOffset + strideFor(width, bits) * height <= UINT32_MAX;
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

void zeroColourCounts(const MutableBmpView& v) {
    // Storing a zero over a zero would still make the header differ from
    // nothing, but the write-back compares bytes; skipping it keeps the
    // header block out of the write-back whenever the fields are zero already.
    for (size_t field : {off::colorsUsed, off::colorsImportant})
        if (*le32(v.bytesView(), field) != 0) put32(v.mutableBase() + field, 0);
}

void writeFileHeader(Writer& w, uint32_t fileSize, uint32_t reserved, uint32_t pixelOffset) {
    w.byte('B');
    w.byte('M');
    w.le32(fileSize);
    w.le32(reserved);
    w.le32(pixelOffset);
}

}  // namespace pixmill
