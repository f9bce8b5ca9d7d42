// Why a picture cannot be loaded, in plain words for the operator.
//
// The exports answer a refused picture with one code (12 for most reasons);
// this tells the caller which reason it was, for the details of its error
// message.  DiagnoseBitmap hands it across the C interface.
#pragma once

#include <string>

#include "pixmill/pixmill.h"

namespace pixmill {

// The header's reasons (see PixmillReason) under internal names.
enum class Reason : int32_t {
    Accepted = PIXMILL_REASON_ACCEPTED,
    Missing = PIXMILL_REASON_MISSING,
    NoPermission = PIXMILL_REASON_NO_PERMISSION,
    NotAFile = PIXMILL_REASON_NOT_A_FILE,
    InUse = PIXMILL_REASON_IN_USE,
    Unreadable = PIXMILL_REASON_UNREADABLE,
    Empty = PIXMILL_REASON_EMPTY,
    NotBmp = PIXMILL_REASON_NOT_BMP,
    Truncated = PIXMILL_REASON_TRUNCATED,
    Malformed = PIXMILL_REASON_MALFORMED,
    TooLarge = PIXMILL_REASON_TOO_LARGE,
    NoPixels = PIXMILL_REASON_NO_PIXELS,
    Os2Header = PIXMILL_REASON_OS2_HEADER,
    Compressed = PIXMILL_REASON_COMPRESSED,
    BitDepth = PIXMILL_REASON_BIT_DEPTH,
};

struct Diagnosis {
    Reason reason = Reason::Accepted;
    // One or two sentences for the operator, naming the numbers that matter
    // ("The bitmap has 16 bits per pixel; ..."); never empty.
    std::string plainWords;
};

// Looks at the file the way the program's load path takes it (a 1, 4 or 8
// bit bitmap, or a 24-bit one to convert; larger headers and top-down rows
// are fine) and says why it would be refused.  Reads at most the file's
// first 54 bytes, writes nothing, never waits on a FIFO, and holds a shared
// lock only while it looks.  Never throws except std::bad_alloc.
Diagnosis diagnose(const std::string& path);

}  // namespace pixmill
