// Colour census and merging: counting the colours a palette picture really
// uses, ranking them by frequency, and folding near or duplicate colours into
// one palette index.
//
// Pixel indices beyond the palette the file stores read as black (that is
// what BmpView::entry gives them), so such pixels count and merge as black;
// but no pixel is ever moved onto an index the file holds no entry for.
#include <array>
#include <numeric>
#include <type_traits>

#include "ops.hpp"

namespace pixmill {
namespace {

// One counter per palette index.  Indices of 8-bit pixels reach 255 at most,
// so every pixel has a counter even when the file stores a short palette.
// 32 bits suffice: a picture has at most 65535 x 65535 < 2^32 pixels.
using Counts = std::array<uint32_t, 256>;

// Where the pixels of each index go; identity where nothing moves.
using Remap = std::array<uint8_t, 256>;

Counts countPixels(const BmpView& v) {
    Counts c{};
    withBits(v.bits(), [&](auto bits) {
        for (uint32_t y = 0; y < v.height(); ++y) {
            const uint8_t* row = v.row(y);
            for (uint32_t x = 0; x < v.width(); ++x) ++c[getIndex(row, x, bits)];
        }
    });
    return c;
}

// Pixels per colour: duplicate entries give their pixels to the first entry of
// their colour, so that a colour stored twice is still one colour; then the
// ignored colours are dropped.
Counts census(const BmpView& v, bool ignoreWhite, bool ignoreBlack) {
    Counts c = countPixels(v);
    const uint32_t n = v.paletteSize();
    for (uint32_t i = 0; i < n; ++i) {
        Bgr colour = bgrOf(v.entry(i));
        for (uint32_t j = i + 1; j < n; ++j) {
            if (c[j] != 0 && bgrOf(v.entry(j)) == colour) {
                c[i] += c[j];
                c[j] = 0;
            }
        }
    }
    for (uint32_t i = 0; i < n; ++i) {
        Bgr colour = bgrOf(v.entry(i));
        if ((ignoreWhite && colour == kWhite) || (ignoreBlack && colour == kBlack)) c[i] = 0;
    }
    return c;
}

uint32_t coloursIn(const Counts& c) {
    uint32_t n = 0;
    for (uint32_t count : c) n += count != 0 ? 1 : 0;
    return n;
}

Remap identity() {
    Remap r;
    std::iota(r.begin(), r.end(), uint8_t{0});
    return r;
}

// One pass over the pixels, writing only those that move: an untouched page of
// the mapping is never written back to the file.
void remapPixels(const MutableBmpView& v, const Remap& to) {
    if (to == identity()) return;
    withBits(v.bits(), [&](auto bits) {
        for (uint32_t y = 0; y < v.height(); ++y) {
            uint8_t* row = v.mutableRow(y);
            for (uint32_t x = 0; x < v.width(); ++x) {
                uint32_t was = getIndex(row, x, bits);
                if (to[was] != was) setIndex(row, x, bits, to[was]);
            }
        }
    });
}


}  // namespace

int32_t numColors(const char* path, int32_t ignoreWhite, int32_t ignoreBlack) {
    Bitmap bmp;
    if (openBitmap(path, Open::ReadShared, kPaletteOnly, bmp) != kOk) return -1;
    return static_cast<int32_t>(coloursIn(census(bmp.view, ignoreWhite != 0, ignoreBlack != 0)));
}

int32_t findMajorColor(const char* path, int32_t rank, int32_t ignoreWhite, int32_t ignoreBlack,
                       uint32_t* colour, int32_t* percent) {
    Bitmap bmp;
    if (int32_t r = openBitmap(path, Open::Inspect, kPaletteOnly, bmp); r != kOk) return r;
    if (rank < 1 || rank > 256) return kNothing;
    const auto wanted = static_cast<uint32_t>(rank);
    const BmpView& v = bmp.view;
    Counts counts = census(v, ignoreWhite != 0, ignoreBlack != 0);
    if (coloursIn(counts) < wanted) return kRank;

    // A partial exchange sort, not a stable one: an exchange can carry a
    // colour past another of equal count, and callers see ranks in exactly
    // this order (equal counters themselves are never exchanged).
    const uint32_t n = v.paletteSize();
    std::array<uint32_t, 256> index{};
    std::iota(index.begin(), index.begin() + n, 0u);
    for (uint32_t i = 0; i < wanted; ++i) {
        for (uint32_t j = i; j < n; ++j) {
            if (counts[i] < counts[j]) {
                std::swap(counts[i], counts[j]);
                std::swap(index[i], index[j]);
            }
        }
    }

    // The counter is non-zero (there are at least `rank` colours), so the
    // picture has pixels and the division is safe.  64 bits keep count x 100
    // exact on pictures beyond 42 million pixels.
    const uint64_t pixels = static_cast<uint64_t>(v.width()) * v.height();
    const uint64_t share = static_cast<uint64_t>(counts[wanted - 1]) * 100 / pixels;
    if (colour) *colour = toColour(bgrOf(v.entry(index[wanted - 1])));
    if (percent) *percent = static_cast<int32_t>(share);
    return kOk;
}

int32_t mergeColors(const char* path, uint32_t colour, uint32_t threshold) {
    EditBitmap bmp;
    if (int32_t r = openForEdit(path, kPaletteOnly, bmp); r != kOk) return r;
    const MutableBmpView& v = bmp.view;
    zeroColourCounts(v);

    // Each near entry's pixels move to the matching entry m, entry by entry in
    // index order.  Tracking where every original index has gone by now gives
    // the same pixels as rescanning the picture per entry, in one pass: a
    // colour stored twice ends with the later entry holding the pixels that
    // the earlier one absorbed.
    const Bgr target = fromColour(colour);
    const double limit = static_cast<double>(threshold);
    const uint32_t n = v.paletteSize();
    Remap to = identity();
    bool found = false;
    for (uint32_t m = 0; m < v.paletteCount(); ++m) {
        if (bgrOf(v.entry(m)) != target) continue;
        found = true;
        for (uint32_t i = 0; i < n; ++i) {
            Bgr near = bgrOf(v.entry(i));
            if (i == m || near == kWhite || near == kBlack) continue;
            double db = near.b - target.b, dg = near.g - target.g, dr = near.r - target.r;
            if (!(limit > db * db + dg * dg + dr * dr)) continue;
            for (uint32_t p = 0; p < n; ++p)
                if (to[p] == i) to[p] = static_cast<uint8_t>(m);
        }
    }
    if (!found) return bmp.save(kNothing);
    remapPixels(v, to);
    return bmp.save(kOk);
}

int32_t mergeBandW(const char* path) {
    EditBitmap bmp;
    if (int32_t r = openForEdit(path, kPaletteOnly, bmp); r != kOk) return r;
    const MutableBmpView& v = bmp.view;

    // Only stored entries can receive pixels.
    int32_t white = -1;
    int32_t black = -1;
    for (uint32_t i = 0; i < v.paletteCount(); ++i) {
        Bgr c = bgrOf(v.entry(i));
        if (c == kWhite) white = static_cast<int32_t>(i);
        if (c == kBlack) black = static_cast<int32_t>(i);
    }
    Remap to = identity();
    for (uint32_t i = 0; i < v.paletteSize(); ++i) {
        Bgr c = bgrOf(v.entry(i));
        if (white >= 0 && c == kWhite) to[i] = static_cast<uint8_t>(white);
        else if (black >= 0 && c == kBlack) to[i] = static_cast<uint8_t>(black);
    }
    remapPixels(v, to);
    return bmp.save(kOk);
}

int32_t mergePixels(const char* path, uint32_t colour) {
    EditBitmap bmp;
    if (int32_t r = openForEdit(path, kPaletteOnly, bmp); r != kOk) return r;
    const MutableBmpView& v = bmp.view;
    const Bgr target = fromColour(colour);
    const uint32_t w = v.width();
    const uint32_t h = v.height();

    // Kept up to date as pixels change, so that entries no pixel has (any
    // more) skip their scan of the picture without changing the outcome.
    Counts counts = countPixels(v);
    bool found = false;
    withBits(v.bits(), [&](auto bits) {
        // First neighbour, columns left to right outside, rows bottom to top
        // inside, whose index differs from `i`; `i` itself when there is none.
        auto neighbourOf = [&](uint32_t x, uint32_t y, uint32_t i) {
            for (uint32_t nx = x == 0 ? 0 : x - 1; nx <= x + 1 && nx < w; ++nx) {
                for (uint32_t ny = y == 0 ? 0 : y - 1; ny <= y + 1 && ny < h; ++ny) {
                    uint32_t k = getIndex(v.row(ny), nx, bits);
                    if (k != i) return k;
                }
            }
            return i;
        };
        for (uint32_t i = 0; i < v.paletteSize(); ++i) {
            if (bgrOf(v.entry(i)) != target) continue;
            // An index the file holds no entry for is a colour only where pixels use it.
            if (i >= v.paletteCount() && counts[i] == 0) continue;
            found = true;
            for (uint32_t y = 0; y < h && counts[i] != 0; ++y) {
                uint8_t* row = v.mutableRow(y);
                for (uint32_t x = 0; x < w; ++x) {
                    if (getIndex(row, x, bits) != i) continue;
                    uint32_t k = neighbourOf(x, y, i);
                    if (k == i) continue;
                    // Changed in place: later pixels see this one's new index.
                    setIndex(row, x, bits, k);
                    --counts[i];
                    ++counts[k];
                }
            }
        }
    });
    return bmp.save(found ? kOk : kNothing);
}

}  // namespace pixmill
