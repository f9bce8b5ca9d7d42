// Finding bytes of a set in a run of pixel bytes: the scan behind the colour
// census's cheaper questions (which indices do pixels use, does any pixel
// move).  Where the processor has SSSE3 the search looks up 16 bytes at a
// time; elsewhere it goes byte by byte, with the same answers.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace pixmill {

// A set of byte values, laid out for the 16-way table look-up: value b is bit
// (b >> 4) & 7 of row b >> 7, entry b & 15.
class ByteSet {
public:
    void insert(uint8_t b) { rows_[b >> 7][b & 15] |= bit(b); }
    void erase(uint8_t b) { rows_[b >> 7][b & 15] &= static_cast<uint8_t>(~bit(b)); }
    bool contains(uint8_t b) const { return (rows_[b >> 7][b & 15] & bit(b)) != 0; }
    bool empty() const { return rows_ == Rows{}; }
    // Values 0-127, then 128-255.
    const uint8_t* lowRow() const { return rows_[0].data(); }
    const uint8_t* highRow() const { return rows_[1].data(); }

private:
    using Rows = std::array<std::array<uint8_t, 16>, 2>;
    static uint8_t bit(uint8_t b) { return static_cast<uint8_t>(1u << ((b >> 4) & 7)); }
    alignas(16) Rows rows_{};
};

// Offset of the first byte of p[0..n) that is in `set`; n when none is.
size_t findFirstIn(const uint8_t* p, size_t n, const ByteSet& set);

}  // namespace pixmill
