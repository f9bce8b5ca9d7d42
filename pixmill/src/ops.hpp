// The library's internal entry points, one per export.  The C shims in
// exports.cpp check pointers, call these and turn exceptions into codes.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "bmp.hpp"
#include "file.hpp"
#include "result.hpp"
#include "separate.hpp"

namespace pixmill {

// How an export opens a bitmap that it only reads.
enum class Open {
    Read,        // read only, exclusive
    ReadShared,  // read only, others may read too
    // Exclusive, and for reading and writing where the file permits it: the
    // exports that always took their input this way keep that lock, and a
    // file the user may not write is still read.
    Inspect,
};

// Bytes in memory, left uninitialised until read into: a picture of
// hundreds of megabytes need not be cleared first.
struct Buffer {
    std::unique_ptr<uint8_t[]> data;
    size_t size = 0;
    // False when the memory cannot be had.
    bool allocate(size_t n);
    Bytes bytes() const { return {data.get(), size}; }
    MutableBytes mutableBytes() { return {data.get(), size}; }
};

// An input file and the bytes of it that the picture uses, read into memory.
struct LoadedFile {
    File file;
    long long size = 0;
    BmpLayout layout;
    BmpProblem problem = BmpProblem::None;
    Buffer bytes;  // [0, layout.extent()) once loaded
};

// An opened, checked bitmap that is only read.  Destruction closes the file.
struct Bitmap {
    LoadedFile in;
    BmpView view;  // valid once loaded
    Bitmap() = default;
    Bitmap(const Bitmap&) = delete;
    Bitmap& operator=(const Bitmap&) = delete;
};
// Opens and checks the header, then reads the picture: 0, or 10 / 11 / 12 as
// the exports report them (11: the file is empty, or it could not be read
// into memory, for instance because it shrank meanwhile).
int32_t openBitmap(const char* path, Open mode, Accept accept, Bitmap& out);
// The two halves apart, so that an export can refuse a picture by its
// header (size, depth) before reading its pixel rows.  openHeader fills
// out.in.layout; loadPixels then reads the rest and sets out.view.
int32_t openHeader(const char* path, Open mode, Accept accept, Bitmap& out);
int32_t loadPixels(Bitmap& bmp);

// Pixel rows of a bitmap opened by openHeader, read from its file a band at
// a time into one buffer that is used again for every band: a picture of
// hundreds of megabytes is never held whole, and the buffer's pages, touched
// once, serve every band (fresh pages cost a fault each, which on a large
// picture took as long as the conversion itself).
class RowReader {
public:
    // At most `maxRows` rows a band.  Throws std::bad_alloc.
    RowReader(const LoadedFile& in, uint32_t maxRows);
    // Rows y0 .. y0 + n - 1 in bottom-up numbering (y0 + n <= height,
    // n <= maxRows): false when the file no longer holds them.
    bool read(uint32_t y0, uint32_t n);
    // Row y of the band last read.
    const uint8_t* row(uint32_t y) const {
        const uint32_t stored = topDown_ ? height_ - 1 - y : y;
        return buffer_.data() + static_cast<size_t>(stored - first_) * stride_;
    }

private:
    const LoadedFile& in_;
    uint32_t height_;
    size_t stride_;
    bool topDown_;
    uint32_t first_ = 0;  // stored index of the buffer's first row
    std::vector<uint8_t> buffer_;
};

// A bitmap edited in place: the changes are made in memory and written back
// by save(), byte ranges that did not change are never written.
struct EditBitmap {
    LoadedFile in;
    MutableBmpView view;
    EditBitmap() = default;
    ~EditBitmap();
    EditBitmap(const EditBitmap&) = delete;
    EditBitmap& operator=(const EditBitmap&) = delete;
    // Writes the changes back and returns `result`, or 14 when they could not
    // be written.  Changes go to the file whatever the result: an export that
    // refuses after a partial edit leaves that edit, as it always has.
    int32_t save(int32_t result);

private:
    friend int32_t openForEdit(const char* path, Accept accept, EditBitmap& out);
    bool writeBack();
    Buffer original_;
    bool saved_ = false;
};
// Opens read-write and exclusive, checks and reads: 0, or 10 / 11 / 12.
int32_t openForEdit(const char* path, Accept accept, EditBitmap& out);

// Output dimensions the library writes: at most kMaxDimension a side (what
// it reads back), with a file size that fits the header's 32-bit fields.
bool outputFits(uint64_t width, uint64_t height, uint32_t bits, uint64_t pixelOffset);

// Builds a 40-byte information header from a source's first 40 bytes with the
// size field set to 40: outputs are always in normal form.
struct InfoHeader {
    uint8_t b[kInfoHeaderSize];
    explicit InfoHeader(const uint8_t* sourceInfo);
    InfoHeader& set32(size_t fileOffset, uint32_t v);
    InfoHeader& set16(size_t fileOffset, uint32_t v);
};
// Writes 0 into the colours-used and important-colours header fields, which
// the editing exports leave stale otherwise.
void zeroColourCounts(const MutableBmpView& v);

// File header: "BM", file size, the two reserved words, pixel-data offset.
void writeFileHeader(Writer& w, uint32_t fileSize, uint32_t reserved, uint32_t pixelOffset);

// Part of the printer encoders: rewrites image byte pairs the printer would
// take for real-time commands, in an encoded file held in memory.
void scrubControlBytes(MutableBytes file);

int32_t isBitmap(const char* path);
int32_t is24BitsPerPixel(const char* path);
int32_t isRBWBitmap(const char* path);
int32_t saveBmp(const char* source, const char* destination);
int32_t cleanBmp(const char* path);

int32_t convert24to8(const char* source, const char* destination);

int32_t numColors(const char* path, int32_t ignoreWhite, int32_t ignoreBlack);
int32_t findMajorColor(const char* path, int32_t rank, int32_t ignoreWhite, int32_t ignoreBlack,
                       uint32_t* colour, int32_t* percent);
int32_t mergeColors(const char* path, uint32_t colour, uint32_t threshold);
int32_t mergeBandW(const char* path);
int32_t mergePixels(const char* path, uint32_t colour);
// Called before each look at the colour count; non-zero stops the run.
using TranslationStep = int32_t (*)(int32_t rank, int32_t threshold, void* user);
// Called after each merge that moved pixels with the index, now, of the
// pixels of every index the picture had when the run began (256 entries).
using TranslationShown = void (*)(const uint8_t* indexNow, void* user);
int32_t translateColors(const char* path, int32_t maxColours, int32_t speed, int32_t limit, TranslationStep step,
                        TranslationShown shown, void* user);

int32_t colorSwap(const char* path, uint32_t source, uint32_t target);
int32_t ditheredColorSwap(const char* path, uint32_t source, int32_t code, int32_t paperKind);
int32_t flash(const char* path, uint32_t colour);

int32_t rotateBitmap(const char* source, const char* destination, int32_t direction);
int32_t stretchBitmap(int32_t newWidth, const char* destination, const char* source);
int32_t makeMMBitmap(const char* source, const char* destination, int32_t bottom, int32_t top, int32_t left,
                     int32_t right);

int32_t saveAsGfx(const char* source, const char* destination, int32_t paperKind);
int32_t saveAsLogo(const char* source, const char* destination, int32_t paperKind);
int32_t encodeGfxRow(const uint8_t* inks, int32_t width, int32_t paperKind, uint8_t* out, int32_t* length);

int32_t separateBitmap(const char* source, const char* destination, const SeparationSettings& settings);

int32_t batchOpenForWrite(const char* path);
int32_t batchOpenForRead(const char* path);
int32_t batchWrite(int32_t handle, const unsigned char* buffer, int32_t count);
int32_t batchRead(int32_t handle, unsigned char* buffer, int32_t* count, int32_t* pause);
int32_t batchClose(int32_t handle);
void setMessageHook(void (*hook)(const char*, const char*, void*), void* user);

}  // namespace pixmill
