#include "ops.hpp"
namespace pixmill {
int32_t colorSwap(const char*, uint32_t, uint32_t) { return kFormat; }
int32_t ditheredColorSwap(const char*, uint32_t, int32_t, int32_t) { return kFormat; }
int32_t flash(const char*, uint32_t) { return kFormat; }
}
