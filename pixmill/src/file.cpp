#include "file.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <random>
#include <utility>

namespace pixmill {

namespace {

bool lockNow(int fd, int how) {
    int r;
    do {
        r = ::flock(fd, how | LOCK_NB);
    } while (r != 0 && errno == EINTR);
    return r == 0;
}

void closeKeepingErrno(int fd) {
    const int e = errno;
    ::close(fd);
    errno = e;
}

// Errors after which an input that is only read is opened read only instead.
bool writingRefused(int error) { return error == EACCES || error == EPERM || error == EROFS || error == ETXTBSY; }

OpenProblem problemFor(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR: return OpenProblem::Missing;
        case EACCES:
        case EPERM:
        case EROFS: return OpenProblem::Denied;
        case EISDIR:
        case EINVAL:
        case ENXIO: return OpenProblem::NotRegular;
        default: return OpenProblem::Failed;
    }
}

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file a path finally names: symbolic links followed one by one (a
// dangling link names the file it points to).  Outputs replace that file;
// replacing the link instead would cut it off from its target.
bool followLinks(std::string path, std::string& out) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st{};
        if (::lstat(path.c_str(), &st) != 0) {
            if (errno != ENOENT) return false;
            out = std::move(path);
            return true;
        }
        if (!S_ISLNK(st.st_mode)) {
            out = std::move(path);
            return true;
        }
        std::string link(PATH_MAX, '\0');
        const ssize_t n = ::readlink(path.c_str(), link.data(), link.size());
        if (n <= 0 || static_cast<size_t>(n) >= link.size()) return false;
        link.resize(static_cast<size_t>(n));
        path = link.front() == '/' ? link : folderOf(path) + "/" + link;
    }
    errno = ELOOP;
    return false;
}

// The temporary file of an output is ".NAME.pixmill-PID-XXXXXX" beside it:
// hidden, short enough for NAME_MAX whatever the destination's name, and
// saying which process writes it, so that one left by a writer that was
// killed can be told from one still being written.
std::string tempStem(const std::string& folder, const std::string& name) {
    return folder + "/." + name.substr(0, 200) + ".pixmill-";
}

// A new file with a name nobody else has, in `folder`.  Created like any
// new file (mode 0666 less the umask, the folder's default ACL), which
// mkstemp's fixed 0600 would not give.
int createUnique(const std::string& folder, const std::string& name, std::string& path) {
    static constexpr char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device random;
    const std::string stem = tempStem(folder, name) + std::to_string(::getpid()) + "-";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = stem;
        for (int k = 0; k < 6; ++k) candidate += kChars[random() % (sizeof kChars - 1)];
        int fd;
        do {
            fd = ::open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
        } while (fd < 0 && errno == EINTR);
        if (fd >= 0) {
            path = std::move(candidate);
            return fd;
        }
        if (errno != EEXIST) return -1;
    }
    return -1;
}

// Removes the temporary files that writers of the same destination left
// when they were killed: ours by name, this user's, of a process that no
// longer runs, and held by nobody.  A library installs no signal handlers of
// its host's, so this is where a file cut short by a signal goes.
void removeAbandoned(const std::string& folder, const std::string& name) {
    const std::string stem = tempStem(folder, name);
    const size_t slash = stem.rfind('/');
    const std::string prefix = stem.substr(slash + 1);
    DIR* d = ::opendir(folder.c_str());
    if (d == nullptr) return;
    while (const dirent* e = ::readdir(d)) {
        const std::string entry = e->d_name;
        if (entry.compare(0, prefix.size(), prefix) != 0) continue;
        // PID, a dash, six characters and nothing else.
        const std::string rest = entry.substr(prefix.size());
        const size_t dash = rest.find('-');
        if (dash == 0 || dash == std::string::npos || rest.size() != dash + 7 ||
            rest.find_first_not_of("0123456789") != dash)
            continue;
        const long pid = std::strtol(rest.c_str(), nullptr, 10);
        if (pid <= 0 || pid == ::getpid() || ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
        const std::string path = folder + "/" + entry;
        const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd < 0) continue;
        struct stat st{};
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() && lockNow(fd, LOCK_EX))
            ::unlink(path.c_str());
        ::close(fd);
    }
    ::closedir(d);
}

}  // namespace

int openRegular(const char* path, int flags, mode_t mode) {
    if (path == nullptr) {
        errno = EFAULT;
        return -1;
    }
    int fd;
    do {
        fd = ::open(path, flags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, mode);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return -1;
    struct stat st{};
    if (::fstat(fd, &st) != 0) {
        closeKeepingErrno(fd);
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        return -1;
    }
    const int status = ::fcntl(fd, F_GETFL);
    if (status < 0 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0) {
        closeKeepingErrno(fd);
        return -1;
    }
    return fd;
}

// The clean-up on the way out keeps errno as the failure left it, so that a
// caller can still name the system's reason for a 10, 13 or 14.
File::~File() {
    const int why = errno;
    close();
    errno = why;
}

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

OpenProblem File::openExisting(const char* path, Access access, Share share) {
    close();
    int fd = openRegular(path, access == Access::Read ? O_RDONLY : O_RDWR);
    if (fd < 0 && access == Access::PreferReadWrite && writingRefused(errno)) fd = openRegular(path, O_RDONLY);
    if (fd < 0) return problemFor(errno);
    if (!lockNow(fd, share == Share::Read ? LOCK_SH : LOCK_EX)) {
        ::close(fd);
        return OpenProblem::Busy;
    }
    fd_ = fd;
    return OpenProblem::None;
}

long long File::size() const {
    struct stat st{};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) return -1;
    return static_cast<long long>(st.st_size);
}

bool File::readAt(uint64_t offset, uint8_t* to, size_t n) const {
    while (n > 0) {
        const ssize_t got = ::pread(fd_, to, n, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        to += got;
        offset += static_cast<uint64_t>(got);
        n -= static_cast<size_t>(got);
    }
    return true;
}

bool File::writeAt(uint64_t offset, const uint8_t* from, size_t n) const {
    while (n > 0) {
        const ssize_t put = ::pwrite(fd_, from, n, static_cast<off_t>(offset));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        from += put;
        offset += static_cast<uint64_t>(put);
        n -= static_cast<size_t>(put);
    }
    return true;
}

OutputFile::~OutputFile() {
    const int why = errno;
    if (temp_.isOpen() && !committed_) ::unlink(tempPath_.c_str());
    errno = why;
}

bool OutputFile::create(const char* destination) {
    if (destination == nullptr || !followLinks(destination, target_)) return false;
    const std::string name = nameOf(target_);
    if (name.empty()) return false;

    // The file we replace is opened for writing and locked like any file we
    // write: a destination we may not write, or one another user holds, is
    // refused as it always was, even though the rename would not need it.
    const int fd = openRegular(target_.c_str(), O_RDWR);
    if (fd >= 0) {
        held_.fd_ = fd;
        struct stat st{};
        if (!lockNow(fd, LOCK_EX) || ::fstat(fd, &st) != 0) return false;
        replacing_ = true;
        mode_ = st.st_mode;
        uid_ = st.st_uid;
        gid_ = st.st_gid;
    } else if (errno != ENOENT) {
        return false;
    }

    removeAbandoned(folderOf(target_), name);
    const int temp = createUnique(folderOf(target_), name, tempPath_);
    if (temp < 0) return false;
    temp_.fd_ = temp;
    lockNow(temp, LOCK_EX);  // a file nobody else can have opened yet: cannot fail
    return true;
}

bool OutputFile::commit() {
    if (!temp_.isOpen() || committed_) return false;
    if (replacing_) {
        // Root replacing a user's file hands it back to the user; others
        // cannot give files away, and the file then stays theirs.
        if (uid_ != ::geteuid() || gid_ != ::getegid()) (void)::fchown(temp_.fd(), uid_, gid_);
        if (::fchmod(temp_.fd(), mode_ & 0777) != 0) return false;
    }
    // The data reaches the disk before the name does: after a crash the
    // destination holds either the old bytes or all of the new ones.
    if (::fsync(temp_.fd()) != 0) return false;
    if (::rename(tempPath_.c_str(), target_.c_str()) != 0) return false;
    committed_ = true;
    const int folder = ::open(folderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        (void)::fsync(folder);  // the rename itself; the new bytes are already safe
        ::close(folder);
    }
    return true;
}

bool Writer::flush() {
    if (memory_ != nullptr) {
        memory_->insert(memory_->end(), buf_.begin(), buf_.end());
        buf_.clear();
        return ok_;
    }
    writeOut(buf_.data(), buf_.size());
    buf_.clear();
    return ok_;
}

void Writer::writeOut(const uint8_t* p, size_t n) {
    while (ok_ && n > 0) {
        const ssize_t put = ::write(fd_, p, n);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            ok_ = false;
            break;
        }
        p += put;
        n -= static_cast<size_t>(put);
    }
}

void Writer::put(const uint8_t* p, size_t n) {
    // A block as large as the buffer goes out as it is, not copied through it.
    if (memory_ == nullptr && n >= kBufferSize) {
        flush();
        writeOut(p, n);
        return;
    }
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
