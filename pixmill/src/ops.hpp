// The library's internal entry points, one per export.  The C shims in
// exports.cpp check pointers, call these and turn exceptions into codes.
#pragma once

#include <cstdint>

#include "bmp.hpp"
#include "file.hpp"
#include "result.hpp"

namespace pixmill {

// How an export opens its bitmap input.
enum class Open {
    Edit,        // read-write, exclusive, writable mapping: edits land in the file
    Read,        // read-only, exclusive
    ReadShared,  // read-only, others may read too
    EditMapRead, // read-write, exclusive, read-only mapping (StretchBitmap)
};

// An opened, mapped and checked bitmap.  Destruction unmaps, then closes.
struct Bitmap {
    MappedInput in;
    BmpView view;
    BmpProblem problem = BmpProblem::None;
};
// 0, or 10 / 11 / 12 as the exports report them.
int32_t openBitmap(const char* path, Open mode, Accept accept, Bitmap& out);

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
void zeroColourCounts(const BmpView& v);

// File header: "BM", file size, the two reserved words, pixel-data offset.
void writeFileHeader(Writer& w, uint32_t fileSize, uint32_t reserved, uint32_t pixelOffset);

// Part of the printer encoders, also run by RotateBitmap when asked: rewrites
// image byte pairs the printer would take for real-time commands.
void scrubControlBytes(const char* path);

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

int32_t colorSwap(const char* path, uint32_t source, uint32_t target);
int32_t ditheredColorSwap(const char* path, uint32_t source, int32_t code, int32_t paperKind);
int32_t flash(const char* path, uint32_t colour);

int32_t rotateBitmap(const char* source, const char* destination, int32_t direction);
int32_t stretchBitmap(int32_t newWidth, const char* destination, const char* source);
int32_t makeMMBitmap(const char* source, const char* destination, int32_t bottom, int32_t top, int32_t left,
                     int32_t right);

int32_t saveAsGfx(const char* source, const char* destination, int32_t paperKind);
int32_t saveAsLogo(const char* source, const char* destination, int32_t paperKind);

int32_t batchOpenForWrite(const char* path);
int32_t batchOpenForRead(const char* path);
int32_t batchWrite(int32_t handle, const unsigned char* buffer, int32_t count);
int32_t batchRead(int32_t handle, unsigned char* buffer, int32_t* count, int32_t* pause);
int32_t batchClose(int32_t handle);
void setMessageHook(void (*hook)(const char*, const char*, void*), void* user);

}  // namespace pixmill
