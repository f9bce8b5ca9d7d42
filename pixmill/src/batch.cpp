#include "ops.hpp"
namespace pixmill {
int32_t batchOpenForWrite(const char*) { return -1; }
int32_t batchOpenForRead(const char*) { return -1; }
int32_t batchWrite(int32_t, const unsigned char*, int32_t) { return 0; }
int32_t batchRead(int32_t, unsigned char*, int32_t*, int32_t*) { return 0; }
int32_t batchClose(int32_t) { return 0; }
void setMessageHook(void (*)(const char*, const char*, void*), void*) {}
}
