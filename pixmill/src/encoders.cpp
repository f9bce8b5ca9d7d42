#include "ops.hpp"
namespace pixmill {
void scrubControlBytes(const char*) {}
int32_t saveAsGfx(const char*, const char*, int32_t) { return kFormat; }
int32_t saveAsLogo(const char*, const char*, int32_t) { return kFormat; }
}
