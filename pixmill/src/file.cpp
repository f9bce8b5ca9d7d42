#include "file.hpp"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <utility>

namespace pixmill {

File::~File() { close(); }

File::File(File&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

void File::close() {
    if (fd_ >= 0) {
        ::close(fd_);  // releases the flock with the last descriptor
        fd_ = -1;
    }
}

static bool lockNow(int fd, int how) {
    int r;
    do {
        r = ::flock(fd, how | LOCK_NB);
    } while (r != 0 && errno == EINTR);
    return r == 0;
}

bool File::openExisting(const char* path, bool writable, Share share) {
    close();
    if (path == nullptr) return false;
    int fd = ::open(path, (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return false;
    struct stat st{};
    // Only regular files: a FIFO or device would block or map strangely.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        !lockNow(fd, share == Share::Read ? LOCK_SH : LOCK_EX)) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

bool File::create(const char* path) {
    close();
    if (path == nullptr) return false;
    // Not O_TRUNC: a file that someone else holds must not be emptied under them.
    int fd = ::open(path, O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) return false;
    struct stat st{};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || !lockNow(fd, LOCK_EX) ||
        ::ftruncate(fd, 0) != 0) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

long long File::size() const {
    struct stat st{};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) return -1;
    return static_cast<long long>(st.st_size);
}

Mapping::~Mapping() {
    if (data_ != nullptr) ::munmap(data_, size_);
}

bool Mapping::map(const File& file, bool writable) {
    long long size = file.size();
    if (size <= 0 || static_cast<unsigned long long>(size) > SIZE_MAX) return false;
    void* p = ::mmap(nullptr, static_cast<size_t>(size), writable ? PROT_READ | PROT_WRITE : PROT_READ,
                     MAP_SHARED, file.fd(), 0);
    if (p == MAP_FAILED) return false;
    data_ = static_cast<uint8_t*>(p);
    size_ = static_cast<size_t>(size);
    return true;
}

int32_t MappedInput::open(const char* path, bool writable, Share share, bool mapWritable) {
    if (!file.openExisting(path, writable, share)) return 10;
    if (!map.map(file, writable && mapWritable)) return 11;
    return 0;
}

bool Writer::flush() {
    size_t done = 0;
    while (ok_ && done < buf_.size()) {
        ssize_t n = ::write(file_.fd(), buf_.data() + done, buf_.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok_ = false;
            break;
        }
        done += static_cast<size_t>(n);
    }
    buf_.clear();
    return ok_;
}

void Writer::put(const uint8_t* p, size_t n) {
    while (n > 0) {
        if (buf_.size() == kBufferSize) flush();
        size_t take = std::min(n, kBufferSize - buf_.size());
        buf_.insert(buf_.end(), p, p + take);
        p += take;
        n -= take;
    }
}

void Writer::zeros(size_t n) {
    while (n > 0) {
        if (buf_.size() == kBufferSize) flush();
        size_t take = std::min(n, kBufferSize - buf_.size());
        buf_.insert(buf_.end(), take, 0);
        n -= take;
    }
}

void Writer::le16(uint32_t v) {
    byte(static_cast<uint8_t>(v));
    byte(static_cast<uint8_t>(v >> 8));
}

void Writer::le32(uint32_t v) {
    le16(v & 0xFFFF);
    le16(v >> 16);
}

}  // namespace pixmill
