// Files, locks and replaced outputs as RAII objects.  Members are declared so
// that destruction releases them in reverse order.
//
// Inputs are read into memory rather than mapped: another program may cut a
// file short while we work on it (our lock is only advisory), and a short
// read is an error code where a touched page of a mapping past the new end
// would kill the host with SIGBUS.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace pixmill {

// How an input is shared while an export holds it.  Windows "no sharing"
// becomes an exclusive advisory lock; "read sharing" a shared one.
enum class Share { None, Read };

enum class Access {
    Read,             // read only
    ReadWrite,        // read and write: the file is edited in place
    PreferReadWrite,  // read and write where permitted, else read only (see openExisting)
};

// Why an existing file could not be opened.  The exports report all of them
// as one code; the load diagnosis tells them apart.
enum class OpenProblem {
    None,
    Missing,     // no such file or folder
    Denied,      // no permission (or a read-only file system, for writing)
    NotRegular,  // a folder, FIFO, device or socket
    Busy,        // another user holds the lock
    Failed,      // anything else
};

// Opens `path` with `flags` (O_CLOEXEC and O_NOCTTY added) without waiting:
// a FIFO with nobody at the other end would otherwise block the caller for
// good.  Keeps the descriptor only for a regular file, with O_NONBLOCK
// cleared again.  -1 with errno set on failure: EISDIR for a folder, EINVAL
// for any other file that is not a regular file.
int openRegular(const char* path, int flags, mode_t mode = 0);

class File {
public:
    File() = default;
    ~File();
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Existing regular file only, locked as `share` says.  PreferReadWrite
    // falls back to read only when writing is not permitted: an input that
    // is only read need not be writable, and keeps the same lock either way.
    OpenProblem openExisting(const char* path, Access access, Share share);

    int fd() const { return fd_; }
    bool isOpen() const { return fd_ >= 0; }
    // Size in bytes, or -1.
    long long size() const;
    // Exactly n bytes from `offset`, or false: a file that has shrunk since
    // its size was taken ends the read early.
    bool readAt(uint64_t offset, uint8_t* to, size_t n) const;
    bool writeAt(uint64_t offset, const uint8_t* from, size_t n) const;
    void close();

private:
    friend class OutputFile;
    int fd_ = -1;
};

// A destination written completely or not at all.  create() makes a
// temporary file beside the destination; commit() flushes it to the disk and
// renames it over the destination.  Until then the destination keeps its old
// bytes (or stays absent), and an output that is never committed is removed
// with its temporary file, whatever path the export leaves by.
class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // False when the destination cannot be written: its folder is missing or
    // read only, it is a folder or another kind of non-regular file, we may
    // not write it, or another user holds its lock.  A symbolic link is
    // followed: its target is replaced, the link stays.
    bool create(const char* destination);
    int fd() const { return temp_.fd(); }
    // True once the new bytes stand under the destination's name.  The
    // replaced file's permissions are kept; a new file gets what the umask
    // gives any freshly created file.
    bool commit();

private:
    File held_;  // the file being replaced, locked until it is gone
    File temp_;  // locked too, so the new file is ours until we return
    std::string target_;
    std::string tempPath_;
    bool replacing_ = false;
    mode_t mode_ = 0;
    uid_t uid_ = 0;
    gid_t gid_ = 0;
    bool committed_ = false;
};

// Output written front to back through a buffer, into a file descriptor or
// into memory.  Remembers the first failure so that callers check once, at
// the end or at a convenient point.
class Writer {
public:
    explicit Writer(const OutputFile& file) : fd_(file.fd()) { buf_.reserve(kBufferSize); }
    explicit Writer(std::vector<uint8_t>& memory) : memory_(&memory) { buf_.reserve(kBufferSize); }
    ~Writer() { flush(); }
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    void put(const uint8_t* p, size_t n);
    void put(std::span<const uint8_t> s) { put(s.data(), s.size()); }
    void byte(uint8_t b) {
        if (buf_.size() == kBufferSize) flush();
        buf_.push_back(b);
    }
    void zeros(size_t n);
    void le16(uint32_t v);
    void le32(uint32_t v);
    // Writes what is buffered; false once any write has failed.
    bool flush();
    bool ok() const { return ok_; }

private:
    void writeOut(const uint8_t* p, size_t n);

    static constexpr size_t kBufferSize = 1 << 16;
    int fd_ = -1;
    std::vector<uint8_t>* memory_ = nullptr;
    std::vector<uint8_t> buf_;
    bool ok_ = true;
};

}  // namespace pixmill
