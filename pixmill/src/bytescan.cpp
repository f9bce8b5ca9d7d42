#include "bytescan.hpp"

#include <cassert>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define PIXMILL_SSSE3_SCAN 1
#endif

namespace pixmill {
namespace {

size_t findFirstInPlain(const uint8_t* p, size_t n, const ByteSet& set) {
    for (size_t i = 0; i < n; ++i)
        if (set.contains(p[i])) return i;
    return n;
}

#ifdef PIXMILL_SSSE3_SCAN
// Sixteen bytes at a time: the low nibble of each byte picks its entry in the
// row of its top bit, and the other three bits of its high nibble pick the
// bit in that entry.  SSSE3 is checked for at run time, not assumed.
__attribute__((target("ssse3"))) size_t findFirstInSsse3(const uint8_t* p, size_t n, const ByteSet& set) {
    const __m128i lowRow = _mm_load_si128(reinterpret_cast<const __m128i*>(set.lowRow()));
    const __m128i highRow = _mm_load_si128(reinterpret_cast<const __m128i*>(set.highRow()));
    const __m128i bitOf = _mm_setr_epi8(1, 2, 4, 8, 16, 32, 64, -128, 1, 2, 4, 8, 16, 32, 64, -128);
    const __m128i nibble = _mm_set1_epi8(0x0F);
    const __m128i zero = _mm_setzero_si128();
    size_t i = 0;
    for (; n - i >= 16; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const __m128i low = _mm_and_si128(v, nibble);
        const __m128i high = _mm_and_si128(_mm_srli_epi16(v, 4), nibble);
        const __m128i topBit = _mm_cmplt_epi8(v, zero);
        const __m128i entry = _mm_or_si128(_mm_and_si128(topBit, _mm_shuffle_epi8(highRow, low)),
                                           _mm_andnot_si128(topBit, _mm_shuffle_epi8(lowRow, low)));
        const __m128i absent = _mm_cmpeq_epi8(_mm_and_si128(entry, _mm_shuffle_epi8(bitOf, high)), zero);
        const unsigned present = ~static_cast<unsigned>(_mm_movemask_epi8(absent)) & 0xFFFFu;
        if (present != 0) return i + static_cast<size_t>(__builtin_ctz(present));
    }
    return i + findFirstInPlain(p + i, n - i, set);
}
#endif

}  // namespace

size_t findFirstIn(const uint8_t* p, size_t n, const ByteSet& set) {
#ifdef PIXMILL_SSSE3_SCAN
    if (__builtin_cpu_supports("ssse3")) {
        const size_t at = findFirstInSsse3(p, n, set);
        // Debug builds (the sanitizer run among them) hold the vector search
        // to the plain one on every call.
        assert(at == findFirstInPlain(p, n, set));
        return at;
    }
#endif
    return findFirstInPlain(p, n, set);
}

}  // namespace pixmill
