#include "ops.hpp"
namespace pixmill {
int32_t convert24to8(const char*, const char*) { return kFormat; }
}
