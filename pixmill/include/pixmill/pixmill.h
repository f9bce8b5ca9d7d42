/*
 * pixmill.h - the Pixmill image library.
 *
 * Pixmill does every pixel operation of Rastiv: it checks, converts, edits and
 * encodes Windows bitmap (BMP) files for two-colour thermal receipt printers,
 * and reads and writes batch recording files.
 *
 * Conventions shared by every export:
 *  - Files are named by NUL-terminated 8-bit paths.  Each export opens its
 *    files, does its work and closes everything before it returns; the
 *    library keeps no state between calls.
 *  - Inputs must be regular files: a folder, FIFO, device or socket is
 *    refused at once (never waited on).  They are opened exclusively (an
 *    advisory flock; NumColors shares it with other readers), so a file that
 *    a cooperating user holds makes an export fail with PIXMILL_E_OPEN (or 0
 *    for the Boolean checks).  An export that only reads its input opens it
 *    read-only when it may not write it; the editing exports need write
 *    permission.
 *  - Inputs are read into memory.  A file that another program cuts short
 *    during a call gives PIXMILL_E_MAP, never a crash.
 *  - Edits in place are written back when the export returns; only the bytes
 *    that changed are written.
 *  - Outputs are complete or absent: an export writes a temporary file beside
 *    the destination and renames it over the destination only on success.
 *    On any other result the destination is exactly as before (still absent,
 *    or its old bytes) and no temporary file remains.  A symbolic link as the
 *    destination is followed: its target is replaced.  A replaced file keeps
 *    its permissions; a new one gets those of any new file (the umask).  A
 *    destination that cannot be written gives the export's "cannot be
 *    created" code: its folder is missing or read-only, it is a folder or
 *    another non-regular file, it is read-only, or another user holds it.
 *  - Colours are 32-bit values: blue in bits 31-24, green in 23-16, red in
 *    15-8; the low byte is ignored.  Black 0x00000000, white 0xFFFFFF00,
 *    pure red 0x0000FF00, pure blue 0xFF000000.
 *  - Paper kind: a PixmillPaper (below), 1 = red highlight paper, 2 = blue
 *    highlight paper; a few exports also take 0, black only.
 *  - The fourth byte of a palette entry is the final-colour flag: 1 marks an
 *    entry that already holds a printer colour (set by ColorSwap and
 *    DitheredColorSwap, cleared by CleanBMP).
 *  - Accepted bitmaps: "BM", a Windows information header (40 bytes or
 *    more), uncompressed, 1, 4 or 8 bits per pixel (24 for the true-colour
 *    functions), at most 65535 pixels a side.  A file whose header, palette or
 *    pixel rows would run past its end is refused with PIXMILL_E_FORMAT before
 *    any pixel is read.
 *  - No export except the batch functions shows a message.
 *
 * Three codes have the same meaning wherever they are listed for an input:
 *   10  the input cannot be opened: missing, not a regular file, no
 *       permission, or held by another user;
 *   11  the input is empty, or it could not be read into memory (not enough
 *       memory, or it shrank while it was read);
 *   12  the input is not a bitmap the export accepts (see above), or is
 *       damaged (fields that contradict each other, rows past its end).
 * 14 from an export that writes a destination also covers a finished file
 * that could not be flushed to the disk or renamed into place.  After 10, 13
 * or 14 errno holds the system's reason (ENOSPC, EFBIG, EACCES...).  15 means
 * that memory for a working buffer could not be allocated.
 *
 * Not thread-safe: call the exports from one thread.
 */
#ifndef PIXMILL_PIXMILL_H
#define PIXMILL_PIXMILL_H

#include <stdint.h>

/* The library's version.  The major number is the one in the library's
   file name (libpixmill.so.1): it changes only when existing callers would
   break.  The minor number grows when a contract changes compatibly, such as
   a refusal that used to go unreported. */
#define PIXMILL_VERSION_MAJOR 1
#define PIXMILL_VERSION_MINOR 4
#define PIXMILL_VERSION_PATCH 0

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
    PIXMILL_E_OPEN = 10,        /* a file could not be opened, or a destination created */
    PIXMILL_E_MAP = 11,         /* the input is empty or could not be read into memory */
    PIXMILL_E_FORMAT = 12,      /* not a bitmap this export accepts, damaged, or a picture the output cannot hold */
    PIXMILL_E_CREATE = 13,      /* the output could not be created (Convert24to8Bits, StretchBitmap, MakeMMBitmap) */
    PIXMILL_E_IO = 14,          /* a write (SaveBMP: also a read) failed */
    PIXMILL_E_NOMEM = 15,       /* out of memory, or an output too large to write */
    PIXMILL_E_NOBUFFER = 16,    /* internal pixel buffer missing (StretchBitmap; not returned by this version) */
    PIXMILL_E_NOTHING = 17,     /* nothing to do: colour not in the palette, unknown code, no free entry, zero size */
    PIXMILL_E_RANK = 18,        /* fewer colours than the requested rank */
    PIXMILL_E_STOPPED = 19      /* the caller's callback asked to stop (TranslateColors, TranslateColorsShown) */
};

/* The paper in the printer, which decides the highlight colour.  Arguments
   named paperKind take these values; they stay int32_t in the prototypes so
   that the interface is the same to every caller. */
enum PixmillPaper {
    PIXMILL_PAPER_BLACK_ONLY = 0, /* no highlight ink (EncodeGfxRow and the separation only) */
    PIXMILL_PAPER_RED = 1,        /* red highlight paper: the highlight colour is pure red */
    PIXMILL_PAPER_BLUE = 2        /* blue highlight paper: the highlight colour is pure blue */
};

/* RotateBitmap's direction: a quarter turn either way. */
enum PixmillDirection {
    PIXMILL_TURN_ANTICLOCKWISE = 1, /* the top edge becomes the left edge */
    PIXMILL_TURN_CLOCKWISE = 2      /* the top edge becomes the right edge */
};

/* The eleven ways the printer renders a colour.  The dithered ones are 8 x 8
   patterns of ink on paper, the percentage being the share of inked dots;
   DitheredColorSwap takes those.  The solid ones are plain colours a caller
   gives with ColorSwap (black 0x00000000, white 0xFFFFFF00, the paper's
   highlight colour). */
enum PixmillRendering {
    PIXMILL_RENDER_BLACK = 1,         /* solid black */
    PIXMILL_RENDER_BLACK_75 = 2,      /* black, 75 % dithered */
    PIXMILL_RENDER_BLACK_50 = 3,      /* black, 50 % dithered */
    PIXMILL_RENDER_BLACK_25 = 4,      /* black, 25 % dithered */
    PIXMILL_RENDER_WHITE = 5,         /* solid white: no ink */
    PIXMILL_RENDER_HIGHLIGHT = 6,     /* solid highlight colour */
    PIXMILL_RENDER_HIGHLIGHT_75 = 7,  /* highlight, 75 % dithered */
    PIXMILL_RENDER_HIGHLIGHT_50 = 8,  /* highlight, 50 % dithered */
    PIXMILL_RENDER_HIGHLIGHT_25 = 9,  /* highlight, 25 % dithered */
    PIXMILL_RENDER_HIGHLIGHT_37 = 10, /* highlight, 37.5 % dithered */
    PIXMILL_RENDER_BLACK_37 = 11      /* black, 37.5 % dithered */
};

/* ---- Checks and copies -------------------------------------------------- */

/* 1 when the file opens (exclusively; read-write where permitted) and starts
   with "BM"; else 0.  Nothing else is checked. */
PIXMILL_API int32_t IsBitmap(const char* path);
/* 1 when the file is an uncompressed 24-bit "BM" bitmap whose rows lie
   within the file (any header of 40 bytes or more, either row order); else
   0, also when it cannot be opened or read. */
PIXMILL_API int32_t Is24BitsPerPixel(const char* path);
/* Zeroes the colours-used and important-colours fields of a 1/4/8-bit
   bitmap that it can open for writing; always returns 0. */
PIXMILL_API int32_t IsRBWBitmap(const char* path);
/* Copies any file byte for byte (the header is not checked; an empty file
   gives an empty copy): 0; 10 the source cannot be opened or the destination
   cannot be created; 14 a read or a write failed, or the copy could not be
   flushed to the disk or renamed into place; 15. */
PIXMILL_API int32_t SaveBMP(const char* source, const char* destination);
/* Clears the final-colour flag of every palette entry: 0; 10 (also: the
   file is read-only); 11; 12; 14 the change could not be written back. */
PIXMILL_API int32_t CleanBMP(const char* path);

/* ---- True-colour conversion --------------------------------------------- */

/* Converts a 24-bit bitmap into an 8-bit bitmap of at most 250 colours,
   most frequent first: 0; 10; 11; 12 (also zero width or height); 13 the
   destination cannot be created (also: it is the source); 14 a write failed;
   15. */
PIXMILL_API int32_t Convert24to8Bits(const char* source, const char* destination);

/* ---- Colour census and merging ------------------------------------------ */

/* Number of distinct colours the pixels use (white and/or black left out on
   request), or -1 for any failure (the cases of 10, 11 and 12). */
PIXMILL_API int32_t NumColors(const char* path, int32_t ignoreWhite, int32_t ignoreBlack);
/* The rank-th most frequent colour (1-based) and its share of all pixels in
   whole percent: 0; 10; 11; 12; 17 rank outside 1..256; 18 fewer colours than
   the rank.  The out-arguments are written only on success (a null one is
   skipped). */
PIXMILL_API int32_t FindMajorColor(const char* path, int32_t rank, int32_t ignoreWhite,
                                   int32_t ignoreBlack, uint32_t* colour, int32_t* percent);
/* Gives every pixel of a colour nearer than the threshold (squared distance,
   threshold read as unsigned) the given colour's index: 0; 10 (also
   read-only); 11; 12; 14 the changes could not be written back; 17 the colour
   is not in the palette (the colour-count fields are zeroed all the same). */
PIXMILL_API int32_t MergeColors(const char* path, uint32_t colour, int32_t threshold);
/* Folds duplicate white and duplicate black entries onto one index each:
   0; 10 (also read-only); 11; 12; 14 the changes could not be written back. */
PIXMILL_API int32_t MergeBandW(const char* path);
/* Automatic colour translation in one call.  The file ends exactly as this
   sequence of calls leaves it: passes with threshold = speed, 2 x speed, ...;
   each pass, for rank = 1, 2, ...: stop when NumColors(path, 1, 1) <=
   maxColours; end the pass when FindMajorColor(path, rank, 1, 1) finds no
   such rank; stop when threshold > limit; else MergeColors(path, colour,
   threshold).  The picture is read and counted once and written once; a
   pass that could move no pixel is skipped without a call of step, so the
   cost follows the merges made, not the number of passes.  step, when not
   null, is called with the rank and threshold before each look at the
   colour count; a non-zero answer stops the run there.  Unlike the calls,
   a picture of 256 colours gets a next pass after rank 256 rather than 17.
   Results: 0; 10 (also read-only); 11; 12; 14 the changes could not be
   written back; 15; 17 maxColours below 0 or speed below 1 (nothing is
   opened); 19 stopped by step (the merges made so far are written). */
typedef int32_t (*PixmillTranslationStep)(int32_t rank, int32_t threshold, void* user);
PIXMILL_API int32_t TranslateColors(const char* path, int32_t maxColours, int32_t speed, int32_t limit,
                                    PixmillTranslationStep step, void* user);
/* TranslateColors for a caller that shows the picture losing its colours
   while the file is written only at the end: the same run, file and
   results, and after every merge that moved pixels, shown (when not null)
   is called with indexNow, 256 entries: the palette index that the pixels
   of each index have now, by the index they had when the call began.  A
   caller holding the picture as it was at the call shows it as it is by
   giving each index i the colour of entry indexNow[i]; the palette itself
   never changes.  indexNow is valid only during the call of shown.  step
   and shown get the same user. */
typedef void (*PixmillTranslationShown)(const uint8_t* indexNow, void* user);
PIXMILL_API int32_t TranslateColorsShown(const char* path, int32_t maxColours, int32_t speed, int32_t limit,
                                         PixmillTranslationStep step, PixmillTranslationShown shown, void* user);
/* Gives each pixel of the colour the index of its first differing neighbour:
   0; 10 (also read-only); 11; 12; 14 the changes could not be written back;
   17 the colour is not in the palette. */
PIXMILL_API int32_t MergePixels(const char* path, uint32_t colour);

/* ---- Colour swapping, dithering and flashing ---------------------------- */

/* Rewrites every unflagged entry of the source colour to the target colour and
   flags it: 0 (also when nothing matched); 10 (also read-only); 11; 12; 14
   the changes could not be written back. */
PIXMILL_API int32_t ColorSwap(const char* path, uint32_t source, uint32_t target);
/* Replaces the pixels of the source colour by an 8 x 8 dither pattern; code
   a dithered PixmillRendering (2/3/4/11 black 75/50/25/37.5 %, 7/8/9/10
   highlight 75/50/25/37.5 %); the highlight ink is pure blue on
   PIXMILL_PAPER_BLUE, else pure red: 0; 10 (also read-only); 11; 12; 14 the changes could not be written back;
   17 unknown code (the file is left as it was), colour not found, or no free
   palette entry for the ink or the paper (entries already made stay, flagged
   and unused). */
PIXMILL_API int32_t DitheredColorSwap(const char* path, uint32_t source, int32_t code, int32_t paperKind);
/* Inverts the entries of the colour (bytes below 128 become 255, others 0):
   0; 10 (also read-only); 11; 12; 14 the changes could not be written back;
   17 the colour is not in the palette. */
PIXMILL_API int32_t Flash(const char* path, uint32_t colour);

/* ---- Rotating, stretching and cropping ---------------------------------- */

/* Quarter turn, direction a PixmillDirection (1 = anticlockwise,
   2 = clockwise): 0; 10 the source cannot
   be opened or the destination cannot be created; 11; 12; 14 a write failed;
   15; 17 a direction other than 1 or 2 (nothing is written). */
PIXMILL_API int32_t RotateBitmap(const char* source, const char* destination, int32_t direction);
/* Nearest-neighbour resize to newWidth (0 = keep), proportions kept; also the
   copy into normal form (40-byte header, bottom-up rows, full palette):
   0; 10; 11; 12; 13 the destination cannot be created (also: it is the
   source); 14 a write failed; 15 no memory, or the result would be wider or
   taller than 65535 pixels (refused before the source's pixels are read or
   anything is written); 17 a negative width, or a source of width 0. */
PIXMILL_API int32_t StretchBitmap(int32_t newWidth, const char* destination, const char* source);
/* Crops a 24-bit picture to its ink and frames it with white margins as an
   8-bit two-level bitmap: 0; 10; 11; 12 (also: no ink, a margin outside
   0..65535, or a result wider or taller than 65535 pixels, refused before
   anything is written); 13 the destination cannot be created; 14 a write
   failed; 15. */
PIXMILL_API int32_t MakeMMBitmap(const char* source, const char* destination, int32_t bottomMargin,
                                 int32_t topMargin, int32_t leftMargin, int32_t rightMargin);

/* ---- Printer picture encoders ------------------------------------------- */

/* Graphics file (.gfx), one raster command per row, at most 576 pixels wide:
   0; 10 the source cannot be opened or the destination cannot be created;
   11; 12 (also: wider than 576 pixels or no rows at all, checked before any
   pixel is read, or a colour not printable on this paper); 14 a write
   failed; 15. */
PIXMILL_API int32_t SaveBMPAsGfx(const char* source, const char* destination, int32_t paperKind);
/* Logo file (.lgo), one logo definition, at most 2040 x 2040 pixels:
   0; 10 the source cannot be opened or the destination cannot be created;
   11; 12 (also: larger than 2040 x 2040, checked before any pixel is read, or
   a colour not printable on this paper); 14 a write failed; 15. */
PIXMILL_API int32_t SaveBMPAsLogo(const char* source, const char* destination, int32_t paperKind);
/* One raster-line record of a graphics file, for a caller that makes its
   rows as it goes (a print filter): the bytes SaveBMPAsGfx writes for a row
   of the same dots.  inks holds width ink codes, one a dot from the left: 0
   paper, 1 black, 2 highlight.  paperKind 1 or 2 gives the two-colour
   record (1D 83, 146 bytes), 0 the black-only record (1D 82, 74 bytes); out
   needs room for 146 bytes, and *length is set to the record's length.
   0; 17 width outside 1..576, a paper kind outside 0..2, a code other than
   0, 1 and 2 (or 2 with paper kind 0), or a null pointer. */
PIXMILL_API int32_t EncodeGfxRow(const unsigned char* inks, int32_t width, int32_t paperKind, unsigned char* out,
                                 int32_t* length);

/* ---- Tone-preserving separation ----------------------------------------- */

/* How the tones of a picture become dots of paper white, black and the
   highlight ink. */
enum PixmillSeparation {
    PIXMILL_SEPARATE_DIFFUSION = 1, /* serpentine error diffusion in a perceptual colour space (photos) */
    PIXMILL_SEPARATE_ORDERED = 2,   /* ordered (clustered or Bayer) dither: line art; identical from run to run */
    PIXMILL_SEPARATE_NEAREST = 3    /* each pixel its nearest ink, no dither (graphics, text) */
};
/* Ink codes written by the streaming separator, one byte a pixel. */
enum PixmillInk { PIXMILL_INK_PAPER = 0, PIXMILL_INK_BLACK = 1, PIXMILL_INK_HIGHLIGHT = 2 };

/* The arguments the separation functions share:
     paperKind   1 red paper, 2 blue paper, 0 black only (no highlight ink);
     method      a PixmillSeparation;
     brightness  -100..100, 0 = unchanged (lightness moved up or down);
     contrast    -100..100, 0 = unchanged (tones spread from or drawn to
                 the middle grey);
     gamma       hundredths, 10..1000, 100 = unchanged (above 100 lightens
                 the middle tones, below darkens them);
     sharpen     0..100, 0 = none (strength of an unsharp mask applied to
                 lightness before the dither).
   The tone controls act on lightness only: hue decides between black and
   the highlight ink.  Any argument out of range gives 17 before a file is
   opened.  The same pixels and arguments always give the same dots. */

/* Separates a picture, file to file: a 1, 4, 8 or 24-bit bitmap in, an
   8-bit bitmap of the same size out whose used pixels are only white,
   black and the paper's highlight colour (pure red or pure blue), each
   palette entry flagged final, so that SaveBMPAsGfx and SaveBMPAsLogo
   accept it.  Results: 0; 10; 11; 12 (also zero width or height); 13 the
   destination cannot be created (also: it is the source); 14 a write
   failed; 15 (also: a result too large for a bitmap file, refused before
   the pixels are read); 17 an argument out of range (nothing is opened). */
PIXMILL_API int32_t SeparateBitmap(const char* source, const char* destination, int32_t paperKind,
                                   int32_t method, int32_t brightness, int32_t contrast, int32_t gamma,
                                   int32_t sharpen);

/* The separator behind SeparateBitmap, row by row, for pages that do not
   fit in memory (a print filter).  Rows go in top row first, as RGB byte
   triplets (red first), width pixels a row; ink codes (PixmillInk) come
   out, width bytes a row.  SeparateBitmap feeds a picture's rows to the
   same separator top row first, so the file and a streaming caller get the
   same dots for the same pixels.  A separator's memory grows with its
   width, never with the number of rows. */
typedef struct PixmillSeparator PixmillSeparator;
/* Makes a separator for rows of width pixels (1..65535) and stores it in
   *separator (left untouched on failure): 0; 15; 17 a null pointer or an
   argument out of range. */
PIXMILL_API int32_t SeparatorOpen(PixmillSeparator** separator, int32_t width, int32_t paperKind,
                                  int32_t method, int32_t brightness, int32_t contrast, int32_t gamma,
                                  int32_t sharpen);
/* Feeds one row of width RGB triplets and sets *ready to 1 when a finished
   row was written to inks (width bytes), else 0: sharpening holds one row
   back, so with sharpen above 0 the first row gives 0 and each later one
   gives the row before it.  0; 17 a null pointer, or a row after
   SeparatorFlush (*ready is then 0 when it could be set). */
PIXMILL_API int32_t SeparatorPushRow(PixmillSeparator* separator, const unsigned char* rgb,
                                     unsigned char* inks, int32_t* ready);
/* Ends the page: writes the row still held back, if any, to inks and sets
   *ready to 1, else to 0.  0; 17 a null pointer, or a second flush. */
PIXMILL_API int32_t SeparatorFlush(PixmillSeparator* separator, unsigned char* inks, int32_t* ready);
/* Frees the separator; NULL is ignored. */
PIXMILL_API void SeparatorClose(PixmillSeparator* separator);

/* ---- Load diagnosis ----------------------------------------------------- */

/* Why a file would be refused as a picture.  The exports answer most
   refusals with one code (12); this names the reason, for the details of a
   caller's error message. */
enum PixmillReason {
    PIXMILL_REASON_ACCEPTED = 0,       /* nothing in the file stops it from loading */
    PIXMILL_REASON_MISSING = 1,        /* no such file, or a folder on the way is missing */
    PIXMILL_REASON_NO_PERMISSION = 2,  /* the file may not be read */
    PIXMILL_REASON_NOT_A_FILE = 3,     /* a folder, FIFO, device or socket */
    PIXMILL_REASON_IN_USE = 4,         /* another program holds the file's lock */
    PIXMILL_REASON_UNREADABLE = 5,     /* the file could not be read (an input/output error) */
    PIXMILL_REASON_EMPTY = 6,          /* 0 bytes */
    PIXMILL_REASON_NOT_BMP = 7,        /* does not start with "BM" */
    PIXMILL_REASON_TRUNCATED = 8,      /* shorter than its header says */
    PIXMILL_REASON_MALFORMED = 9,      /* header fields that contradict each other */
    PIXMILL_REASON_TOO_LARGE = 10,     /* wider or taller than 65535 pixels */
    PIXMILL_REASON_NO_PIXELS = 11,     /* width 0, or a 24-bit picture of height 0 */
    PIXMILL_REASON_OS2_HEADER = 12,    /* an OS/2 bitmap header */
    PIXMILL_REASON_COMPRESSED = 13,    /* RLE, bit fields, or a JPEG or PNG inside */
    PIXMILL_REASON_BIT_DEPTH = 14      /* a depth besides 1, 4, 8 and 24 bits per pixel */
};
/* Room that always holds DiagnoseBitmap's text whole, its NUL included. */
#define PIXMILL_DIAGNOSIS_TEXT_SIZE 256

/* Looks at a file the way a caller that loads pictures takes it (a 1, 4 or
   8-bit bitmap through StretchBitmap, a 24-bit one through
   Convert24to8Bits; larger headers and top-down rows are fine) and says why
   it would be refused: *reason is set to a PixmillReason, and text gets one
   or two sentences for the operator in ASCII, naming the numbers that
   matter ("The bitmap has 16 bits per pixel; ..."), NUL-terminated and cut
   to size - 1 bytes (text may be null when size is 0).  Reads at most the
   file's first 54 bytes, writes nothing, never waits on a FIFO, and holds a
   shared lock only while it looks.  0, for a refused file too; 15; 17 a
   null path or reason, a negative size, or a null text with a size above 0
   (nothing is looked at).  The out-arguments are written only on success. */
PIXMILL_API int32_t DiagnoseBitmap(const char* path, int32_t* reason, char* text, int32_t size);

/* ---- Batch recording files ---------------------------------------------- */

/* File handle, or -1 after a message naming the system's error number (a
   path that is not a regular file gives 21 for a folder, else 22; a FIFO
   without a reader gives 6 when opened for writing).  Opening for writing
   creates the file or empties it; no lock is taken. */
PIXMILL_API int32_t BatchOpenForWrite(const char* path);
PIXMILL_API int32_t BatchOpenForRead(const char* path);
/* 1 when all count bytes were written; 0 after a message: a failed or short
   write, a negative count, or a null buffer with a count above 0 (22).  A
   null buffer with count 0 writes nothing and succeeds on a good handle. */
PIXMILL_API int32_t BatchWrite(int32_t handle, const unsigned char* buffer, int32_t count);
/* Reads up to *count bytes.  1: data, or one pause (*pause = 1, *count = 31,
   the buffer zeroed); 0: end of file (no message), or after a message a read
   error, a negative *count or a null pointer among the arguments (22).
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
