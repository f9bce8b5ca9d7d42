#pragma once

#include <cstdint>

#include "pixmill/pixmill.h"

namespace pixmill {

// The public result codes under the names internal code speaks in; the
// header holds the numbers.
enum Code : int32_t {
    kOk = PIXMILL_OK,
    kOpen = PIXMILL_E_OPEN,
    kMap = PIXMILL_E_MAP,
    kFormat = PIXMILL_E_FORMAT,
    kCreate = PIXMILL_E_CREATE,
    kIo = PIXMILL_E_IO,
    kNoMem = PIXMILL_E_NOMEM,
    kNoBuffer = PIXMILL_E_NOBUFFER,
    kNothing = PIXMILL_E_NOTHING,
    kRank = PIXMILL_E_RANK,
    kStopped = PIXMILL_E_STOPPED,
};

}  // namespace pixmill
