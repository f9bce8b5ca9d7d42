// Little-endian field access with the bounds check in the accessor, so that no
// caller can read past the end of a mapping whatever a header claims.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace pixmill {

using Bytes = std::span<const uint8_t>;
using MutableBytes = std::span<uint8_t>;

// `off <= size && size - off >= n` cannot overflow, unlike `off + n <= size`.
inline bool fits(size_t size, size_t off, size_t n) { return off <= size && size - off >= n; }

inline std::optional<uint16_t> le16(Bytes b, size_t off) {
    if (!fits(b.size(), off, 2)) return std::nullopt;
    return static_cast<uint16_t>(b[off] | (b[off + 1] << 8));
}

inline std::optional<uint32_t> le32(Bytes b, size_t off) {
    if (!fits(b.size(), off, 4)) return std::nullopt;
    return static_cast<uint32_t>(b[off]) | (static_cast<uint32_t>(b[off + 1]) << 8) |
           (static_cast<uint32_t>(b[off + 2]) << 16) | (static_cast<uint32_t>(b[off + 3]) << 24);
}

inline void put16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

inline void put32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

}  // namespace pixmill
