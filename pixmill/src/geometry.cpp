#include "ops.hpp"
namespace pixmill {
int32_t rotateBitmap(const char*, const char*, int32_t) { return kFormat; }
int32_t stretchBitmap(int32_t, const char*, const char*) { return kFormat; }
int32_t makeMMBitmap(const char*, const char*, int32_t, int32_t, int32_t, int32_t) { return kFormat; }
}
