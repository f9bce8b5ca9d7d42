/*
 * pixmill.h - the Pixmill image library.
 *
 * Pixmill does every pixel operation of Rastiv: it checks, converts, edits and
 * encodes Windows bitmap (BMP) files for two-colour thermal receipt printers,
 * and reads and writes batch recording files.
 *
 * Conventions shared by every export:
 *  - Files are named by NUL-terminated 8-bit paths.  Each export opens its
 *    files, works through a memory mapping and closes everything before it
 *    returns; the library keeps no state between calls.  Files are opened
 *    exclusively (an advisory flock), so a file that a cooperating user holds
 *    makes an export fail with PIXMILL_E_OPEN (or 0 for the Boolean checks).
 *  - Colours are 32-bit values: blue in bits 31-24, green in 23-16, red in
 *    15-8; the low byte is ignored.  Black 0x00000000, white 0xFFFFFF00,
 *    pure red 0x0000FF00, pure blue 0xFF000000.
 *  - Paper kind: 1 = red highlight paper, 2 = blue highlight paper.
 *  - The fourth byte of a palette entry is the final-colour flag: 1 marks an
 *    entry that already holds a printer colour (set by ColorSwap and
 *    DitheredColorSwap, cleared by CleanBMP).
 *  - Accepted bitmaps: "BM", uncompressed, 1, 4 or 8 bits per pixel (24 for the
 *    true-colour functions).  A file whose header, palette or pixel rows would
 *    run past its end is refused with PIXMILL_E_FORMAT before any pixel is read.
 *  - No export except the batch functions shows a message.
 *
 * Not thread-safe: call the exports from one thread.
 */
#ifndef PIXMILL_PIXMILL_H
#define PIXMILL_PIXMILL_H

#include <stdint.h>

#if defined(PIXMILL_BUILDING)
#define PIXMILL_API __attribute__((visibility("default")))
#else
#define PIXMILL_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Result codes of the exports that return a code. */
enum PixmillResult {
    PIXMILL_OK = 0,
    PIXMILL_E_OPEN = 10,        /* a file could not be opened or created */
    PIXMILL_E_MAP = 11,         /* the input could not be mapped (an empty file cannot) */
    PIXMILL_E_FORMAT = 12,      /* not a bitmap this export accepts, malformed, or a colour the printer cannot print */
    PIXMILL_E_CREATE = 13,      /* the output could not be created (true-colour readers, StretchBitmap) */
    PIXMILL_E_IO = 14,          /* a write (SaveBMP: also a read) failed */
    PIXMILL_E_NOMEM = 15,       /* out of memory */
    PIXMILL_E_NOBUFFER = 16,    /* internal pixel buffer missing (StretchBitmap) */
    PIXMILL_E_NOTHING = 17,     /* nothing to do: colour not in the palette, unknown code, no free entry, zero size */
    PIXMILL_E_RANK = 18         /* fewer colours than the requested rank */
};

/* ---- Checks and copies -------------------------------------------------- */

/* 1 when the file opens read-write, maps and starts with "BM"; else 0. */
PIXMILL_API int32_t IsBitmap(const char* path);
/* 1 when the file is an uncompressed 24-bit "BM" bitmap; else 0. */
PIXMILL_API int32_t Is24BitsPerPixel(const char* path);
/* Zeroes the colours-used and important-colours fields of a 1/4/8-bit
   bitmap; always returns 0. */
PIXMILL_API int32_t IsRBWBitmap(const char* path);
/* Copies any file byte for byte: 0; 10 source or destination cannot be
   opened; 14 a read or write failed; 15 no buffer. */
PIXMILL_API int32_t SaveBMP(const char* source, const char* destination);
/* Clears the final-colour flag of every palette entry: 0; 10; 11; 12. */
PIXMILL_API int32_t CleanBMP(const char* path);

/* ---- True-colour conversion --------------------------------------------- */

/* Converts a 24-bit bitmap into an 8-bit bitmap of at most 250 colours,
   most frequent first: 0; 10; 11; 12 (also zero width or height, and then no
   destination is written); 13 destination cannot be created; 14; 15. */
PIXMILL_API int32_t Convert24to8Bits(const char* source, const char* destination);

/* ---- Colour census and merging ------------------------------------------ */

/* Number of distinct colours the pixels use (white and/or black left out on
   request), or -1 for any failure. */
PIXMILL_API int32_t NumColors(const char* path, int32_t ignoreWhite, int32_t ignoreBlack);
/* The rank-th most frequent colour (1-based) and its share of all pixels in
   whole percent: 0; 10; 11; 12; 17 rank outside 1..256; 18 fewer colours than
   the rank.  The out-arguments are written only on success. */
PIXMILL_API int32_t FindMajorColor(const char* path, int32_t rank, int32_t ignoreWhite,
                                   int32_t ignoreBlack, uint32_t* colour, int32_t* percent);
/* Gives every pixel of a colour nearer than the threshold (squared distance,
   threshold read as unsigned) the given colour's index: 0; 10; 11; 12; 17
   the colour is not in the palette. */
PIXMILL_API int32_t MergeColors(const char* path, uint32_t colour, int32_t threshold);
/* Folds duplicate white and duplicate black entries onto one index each: 0; 10; 11; 12. */
PIXMILL_API int32_t MergeBandW(const char* path);
/* Gives each pixel of the colour the index of its first differing neighbour:
   0; 10; 11; 12; 17 the colour is not in the palette. */
PIXMILL_API int32_t MergePixels(const char* path, uint32_t colour);

/* ---- Colour swapping, dithering and flashing ---------------------------- */

/* Rewrites every unflagged entry of the source colour to the target colour and
   flags it: 0 (also when nothing matched); 10; 11; 12. */
PIXMILL_API int32_t ColorSwap(const char* path, uint32_t source, uint32_t target);
/* Replaces the pixels of the source colour by an 8 x 8 dither pattern; code
   2/3/4/11 black 75/50/25/37.5 %, 7/8/9/10 highlight 75/50/25/37.5 %:
   0; 10; 11; 12; 17 unknown code, colour not found or no free palette entry. */
PIXMILL_API int32_t DitheredColorSwap(const char* path, uint32_t source, int32_t code, int32_t paperKind);
/* Inverts the entries of the colour (bytes below 128 become 255, others 0):
   0; 10; 11; 12; 17 the colour is not in the palette. */
PIXMILL_API int32_t Flash(const char* path, uint32_t colour);

/* ---- Rotating, stretching and cropping ---------------------------------- */

/* Quarter turn, 1 = anticlockwise, 2 = clockwise: 0; 10; 11; 12. */
PIXMILL_API int32_t RotateBitmap(const char* source, const char* destination, int32_t direction);
/* Nearest-neighbour resize to newWidth (0 = keep), proportions kept; also the
   copy into normal form (40-byte header, bottom-up rows, full palette):
   0; 10; 11; 12; 13; 14; 15; 16; 17 zero width. */
PIXMILL_API int32_t StretchBitmap(int32_t newWidth, const char* destination, const char* source);
/* Crops a 24-bit picture to its ink and frames it with white margins as an
   8-bit two-level bitmap: 0; 10; 11; 12 (also no ink); 13; 14. */
PIXMILL_API int32_t MakeMMBitmap(const char* source, const char* destination, int32_t bottomMargin,
                                 int32_t topMargin, int32_t leftMargin, int32_t rightMargin);

/* ---- Printer picture encoders ------------------------------------------- */

/* Graphics file (.gfx), one raster command per row, at most 576 pixels wide:
   0; 10; 11; 12 (also a colour not printable on this paper, or too wide); 14; 15. */
PIXMILL_API int32_t SaveBMPAsGfx(const char* source, const char* destination, int32_t paperKind);
/* Logo file (.lgo), one logo definition, at most 2040 x 2040 pixels:
   0; 10; 11; 12 (also a colour not printable, or too large); 14; 15. */
PIXMILL_API int32_t SaveBMPAsLogo(const char* source, const char* destination, int32_t paperKind);

/* ---- Batch recording files ---------------------------------------------- */

/* File handle, or -1 after a message. */
PIXMILL_API int32_t BatchOpenForWrite(const char* path);
PIXMILL_API int32_t BatchOpenForRead(const char* path);
/* 1 when all count bytes were written; 0 after a message. */
PIXMILL_API int32_t BatchWrite(int32_t handle, const unsigned char* buffer, int32_t count);
/* Reads up to *count bytes.  1: data, or one pause (*pause = 1, *count = 31,
   the buffer zeroed); 0: end of file, or a read error after a message.
   Matching restarts after a differing byte without looking at it again, so a
   marker directly behind the start of another (a lone "M") is returned as
   data; buffers under 31 bytes never see pauses. */
PIXMILL_API int32_t BatchRead(int32_t handle, unsigned char* buffer, int32_t* count, int32_t* pause);
/* 1 when closed, else 0. */
PIXMILL_API int32_t BatchClose(int32_t handle);

/* The batch functions report failures through this hook: text such as
   "Error #2" and a title naming the operation.  With no hook set, the
   message goes to standard error.  Pass NULL to remove the hook. */
typedef void (*PixmillMessageHook)(const char* text, const char* title, void* user);
PIXMILL_API void PixmillSetMessageHook(PixmillMessageHook hook, void* user);

#ifdef __cplusplus
}
#endif

#endif /* PIXMILL_PIXMILL_H */
