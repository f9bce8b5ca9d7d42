// The pread and mmap that the library under test reaches first: see
// read_faults.hpp.  Each passes the call on to the next definition (the C
// library's, or a sanitizer's in front of it).
#include "read_faults.hpp"

#include <dlfcn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace testing_support {
namespace {

struct Watch {
    bool armed = false;
    dev_t dev = 0;
    ino_t ino = 0;
    std::string path;
    off_t keep = -1;
    int cutBefore = 0;
    int reads = 0;
    bool cut = false;
    size_t fetched = 0;
} watch;

bool watched(int fd) {
    struct stat st{};
    return watch.armed && fd >= 0 && ::fstat(fd, &st) == 0 && st.st_dev == watch.dev && st.st_ino == watch.ino;
}

void cutIfDue(bool mapping) {
    if (watch.keep < 0 || watch.cut) return;
    if (mapping || watch.reads == watch.cutBefore) {
        watch.cut = ::truncate(watch.path.c_str(), watch.keep) == 0;
    }
}

}  // namespace

void ReadFaults::arm(const std::string& path, off_t keepBytes, int cutBeforeRead) {
    struct stat st{};
    watch = Watch{};
    if (::stat(path.c_str(), &st) != 0) return;
    watch.armed = true;
    watch.dev = st.st_dev;
    watch.ino = st.st_ino;
    watch.path = path;
    watch.keep = keepBytes;
    watch.cutBefore = cutBeforeRead;
}

void ReadFaults::disarm() { watch.armed = false; }

size_t ReadFaults::fetched() { return watch.fetched; }

}  // namespace testing_support

using testing_support::watch;
using testing_support::watched;

extern "C" ssize_t pread(int fd, void* buf, size_t n, off_t offset) {
    using Pread = ssize_t (*)(int, void*, size_t, off_t);
    static const Pread next = reinterpret_cast<Pread>(::dlsym(RTLD_NEXT, "pread"));
    const bool ours = watched(fd);
    if (ours) testing_support::cutIfDue(false);
    const ssize_t got = next(fd, buf, n, offset);
    if (ours) {
        ++watch.reads;
        if (got > 0) watch.fetched += static_cast<size_t>(got);
    }
    return got;
}

extern "C" void* mmap(void* addr, size_t length, int prot, int flags, int fd, off_t offset) {
    using Mmap = void* (*)(void*, size_t, int, int, int, off_t);
    static const Mmap next = reinterpret_cast<Mmap>(::dlsym(RTLD_NEXT, "mmap"));
    void* p = next(addr, length, prot, flags, fd, offset);
    if (p != MAP_FAILED && watched(fd)) {
        watch.fetched += length;
        testing_support::cutIfDue(true);
    }
    return p;
}
