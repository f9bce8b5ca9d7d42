// Files, locks and mappings as RAII objects.  Members are declared so that
// destruction releases them in reverse order: view, then file (with its lock).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace pixmill {

// How an input is shared while an export holds it.  Windows "no sharing"
// becomes an exclusive advisory lock; "read sharing" a shared one.
enum class Share { None, Read };

class File {
public:
    File() = default;
    ~File();
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Existing file only.  False when it cannot be opened or locked.
    bool openExisting(const char* path, bool writable, Share share);
    // Created anew (emptied only once the lock is held).  False on failure.
    bool create(const char* path);

    int fd() const { return fd_; }
    bool isOpen() const { return fd_ >= 0; }
    // Size in bytes, or -1.
    long long size() const;
    void close();

private:
    int fd_ = -1;
};

// A whole-file shared mapping.  An empty file cannot be mapped.
class Mapping {
public:
    Mapping() = default;
    ~Mapping();
    Mapping(const Mapping&) = delete;
    Mapping& operator=(const Mapping&) = delete;

    bool map(const File& file, bool writable);
    uint8_t* data() const { return data_; }
    size_t size() const { return size_; }
    std::span<const uint8_t> bytes() const { return {data_, size_}; }
    std::span<uint8_t> mutableBytes() const { return {data_, size_}; }

private:
    uint8_t* data_ = nullptr;
    size_t size_ = 0;
};

// A mapped input: opened, locked and mapped in one step, with the codes the
// exports report for each failure (10 open, 11 map).
struct MappedInput {
    File file;
    Mapping map;
    int32_t open(const char* path, bool writable, Share share = Share::None, bool mapWritable = true);
};

// Output written front to back through a buffer.  Remembers the first
// failure so that callers check once, at the end or at a convenient point.
class Writer {
public:
    explicit Writer(File& file) : file_(file) { buf_.reserve(kBufferSize); }
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
    static constexpr size_t kBufferSize = 1 << 16;
    File& file_;
    std::vector<uint8_t> buf_;
    bool ok_ = true;
};

}  // namespace pixmill
