#include "ops.hpp"
namespace pixmill {
int32_t numColors(const char*, int32_t, int32_t) { return -1; }
int32_t findMajorColor(const char*, int32_t, int32_t, int32_t, uint32_t*, int32_t*) { return kFormat; }
int32_t mergeColors(const char*, uint32_t, uint32_t) { return kFormat; }
int32_t mergeBandW(const char*) { return kFormat; }
int32_t mergePixels(const char*, uint32_t) { return kFormat; }
}
