// Batch recording files: raw descriptors that the caller keeps between calls,
// and the chunked reader that cuts playback at every pause marker.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "ops.hpp"

namespace pixmill {

namespace {

// Written by the recorder where playback must wait for the printer.
constexpr char kMarker[] = "Morvex<PaUsE-pAuSe-PaUsE>xevroM";
constexpr size_t kMarkerSize = sizeof kMarker - 1;
static_assert(kMarkerSize == 31);

constexpr const char* kOpenWriteTitle = "BatchMode Open for Write";
constexpr const char* kOpenReadTitle = "BatchMode Open for Read";
constexpr const char* kWriteTitle = "BatchMode Write";
constexpr const char* kReadTitle = "BatchMode Read";

// The host's message sink.  The batch exports are the only ones that speak
// to the operator, and a library must not pop up windows of its own.
using MessageHook = void (*)(const char* text, const char* title, void* user);
MessageHook gHook = nullptr;
void* gHookUser = nullptr;

void report(const char* title, const char* text) {
    if (gHook != nullptr)
        gHook(text, title, gHookUser);
    else
        std::fprintf(stderr, "%s: %s\n", title, text);
}

void reportError(const char* title, int error) {
    char text[32];
    std::snprintf(text, sizeof text, "Error #%ld", static_cast<long>(error));
    report(title, text);
}

// Only regular files: a FIFO would block the program until someone opened
// its other end, and neither a FIFO nor a device can give bytes back to the
// reader that cuts at pause markers.
int openReporting(const char* path, int flags, const char* title) {
    int fd = openRegular(path, flags, 0666);
    if (fd < 0) reportError(title, errno);
    return fd;
}

// Where the first whole marker ends, or else how many bytes of a marker's
// beginning the chunk ends in.  A byte that breaks a match is not tried again
// as the first marker byte: recorded files depend on exactly this reading
// (a marker right behind an "M" is data).
struct Scan {
    bool found = false;
    size_t end = 0;      // one past the marker's last byte, when found
    size_t partial = 0;  // trailing partial match, when not found
};

Scan scanForMarker(const unsigned char* p, size_t n) {
    size_t k = 0;
    for (size_t i = 0; i < n; ++i) {
        if (p[i] == static_cast<unsigned char>(kMarker[k])) {
            if (++k == kMarkerSize) return {true, i + 1, 0};
        } else {
            k = 0;
        }
    }
    return {false, n, k};
}

// Gives back the last n bytes read so that the next call reads them again.
bool unread(int fd, size_t n) {
    return n == 0 || ::lseek(fd, -static_cast<off_t>(n), SEEK_CUR) != static_cast<off_t>(-1);
}

}  // namespace

void setMessageHook(MessageHook hook, void* user) {
    gHook = hook;
    gHookUser = user;
}

int32_t batchOpenForWrite(const char* path) {
    // No lock: the recorder's file stays open for a whole session and others may look at it.
    // Emptied only once it is known to be a regular file.
    int fd = openReporting(path, O_WRONLY | O_CREAT, kOpenWriteTitle);
    if (fd >= 0 && ::ftruncate(fd, 0) != 0) {
        reportError(kOpenWriteTitle, errno);
        ::close(fd);
        return -1;
    }
    return fd;
}

int32_t batchOpenForRead(const char* path) { return openReporting(path, O_RDONLY, kOpenReadTitle); }

int32_t batchWrite(int32_t handle, const unsigned char* buffer, int32_t count) {
    if (count < 0 || (buffer == nullptr && count != 0)) {
        reportError(kWriteTitle, EINVAL);
        return 0;
    }
    static const unsigned char kNothing = 0;
    // Even a zero-byte write goes to the kernel, which then still refuses a
    // bad or read-only handle.
    const unsigned char* from = buffer != nullptr ? buffer : &kNothing;
    ssize_t written;
    do {
        written = ::write(handle, from, static_cast<size_t>(count));
    } while (written < 0 && errno == EINTR);
    if (written < 0) {
        reportError(kWriteTitle, errno);
        return 0;
    }
    // A short write is a full disk or a size limit; the recording is then
    // incomplete, and continuing would only hide that from the operator.
    if (written != count) {
        char text[64];
        std::snprintf(text, sizeof text, "Error: Only wrote %ld of %ld bytes", static_cast<long>(written),
                      static_cast<long>(count));
        report(kWriteTitle, text);
        return 0;
    }
    return 1;
}

int32_t batchRead(int32_t handle, unsigned char* buffer, int32_t* count, int32_t* pause) {
    if (buffer == nullptr || count == nullptr || pause == nullptr) {
        reportError(kReadTitle, EINVAL);
        return 0;
    }
    *pause = 0;
    const int32_t asked = *count;
    *count = 0;  // nothing delivered unless we say otherwise
    if (asked < 0) {
        reportError(kReadTitle, EINVAL);
        return 0;
    }
    ssize_t got;
    do {
        got = ::read(handle, buffer, static_cast<size_t>(asked));
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        reportError(kReadTitle, errno);
        return 0;
    }
    if (got == 0) return 0;
    const size_t m = static_cast<size_t>(got);

    size_t deliver = m;
    size_t giveBack = 0;
    bool isPause = false;
    Scan s = scanForMarker(buffer, m);
    if (s.found && s.end == kMarkerSize) {
        isPause = true;
        deliver = kMarkerSize;
        giveBack = m - kMarkerSize;
    } else if (s.found) {
        deliver = s.end - kMarkerSize;  // the data before the marker; the marker comes next call
        giveBack = m - deliver;
    } else if (s.partial > 0 && m == static_cast<size_t>(asked) && s.partial < m) {
        // A marker may continue in the next read.  A buffer too small to hold
        // a marker can be all partial match; giving all of it back would make
        // no progress, so it goes out as data (such a reader never sees pauses).
        deliver = m - s.partial;
        giveBack = s.partial;
    }
    if (!unread(handle, giveBack)) {
        // A pipe cannot give bytes back: delivering them cut would lose data.
        reportError(kReadTitle, errno);
        return 0;
    }
    if (isPause) {
        std::memset(buffer, 0, kMarkerSize);
        *pause = 1;
    }
    *count = static_cast<int32_t>(deliver);
    return 1;
}

int32_t batchClose(int32_t handle) {
    if (handle < 0) return 0;
    // Linux releases the descriptor even when close reports EINTR; retrying
    // could close a descriptor someone else has just been given.
    return ::close(handle) == 0 || errno == EINTR ? 1 : 0;
}

}  // namespace pixmill
