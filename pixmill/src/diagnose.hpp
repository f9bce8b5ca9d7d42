// Why a picture cannot be loaded, in plain words for the operator.
//
// The exports answer a refused picture with one code (12 for most reasons);
// this tells the program which reason it was, for the details of its error
// message.  Internal C++, linked statically from pixmill_core: not exported
// from the shared library and installed nowhere.  This header needs nothing
// but the standard library.
#pragma once

#include <string>

namespace pixmill {

enum class Reason {
    Accepted,      // a bitmap the program can load: nothing in the file stops it
    Missing,       // no such file, or a folder on the way is missing
    NoPermission,  // the file may not be read
    NotAFile,      // a folder, FIFO, device or socket
    InUse,         // another program holds the file's lock
    Unreadable,    // the file could not be read (an input/output error)
    Empty,         // 0 bytes
    NotBmp,        // does not start with "BM": another format, or not a picture at all
    Truncated,     // shorter than its header says
    Malformed,     // header fields that contradict each other
    TooLarge,      // wider or taller than 65535 pixels
    NoPixels,      // width or height 0
    Os2Header,     // an OS/2 bitmap header
    Compressed,    // RLE, bit fields, or a JPEG or PNG inside
    BitDepth,      // 16 or 32 bits per pixel, or another depth besides 1, 4, 8 and 24
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
