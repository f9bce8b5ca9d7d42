#pragma once

#include <cstdint>

namespace pixmill {

// Mirrors the public result codes; internal code speaks in these names.
enum Code : int32_t {
    kOk = 0,
    kOpen = 10,
    kMap = 11,
    kFormat = 12,
    kCreate = 13,
    kIo = 14,
    kNoMem = 15,
    kNoBuffer = 16,
    kNothing = 17,
    kRank = 18,
    kStopped = 19,
};

}  // namespace pixmill
