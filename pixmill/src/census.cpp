// Colour census and merging: counting the colours a palette picture really
// uses, ranking them by frequency, and folding near or duplicate colours into
// one palette index.
//
// Automatic colour translation calls these exports thousands of times on one
// picture, and the library keeps no state between calls, so every call takes
// its census afresh.  The pixel work of a call is therefore one pass over the
// pixel bytes (a byte histogram, or a remap that writes only what changes);
// everything else works on the 256 counters.
//
// Pixel indices beyond the palette the file stores read as black (that is
// what BmpView::entry gives them), so such pixels count and merge as black;
// but no pixel is ever moved onto an index the file holds no entry for.
#include <algorithm>
#include <array>
#include <bit>
#include <functional>
#include <numeric>
#include <type_traits>
#include <vector>

#include "bytescan.hpp"
#include "ops.hpp"

namespace pixmill {
namespace {

// One counter per palette index.  Indices of 8-bit pixels reach 255 at most,
// so every pixel has a counter even when the file stores a short palette.
// 32 bits suffice: a picture has at most 65535 x 65535 < 2^32 pixels.
using Counts = std::array<uint32_t, 256>;

// Where the pixels of each index go; identity where nothing moves.
using Remap = std::array<uint8_t, 256>;

Remap identity() {
    Remap r;
    std::iota(r.begin(), r.end(), uint8_t{0});
    return r;
}

// A row's bytes that hold only pixels, and the first pixel that shares its
// byte with padding (a 4-bit row of odd width, a 1-bit row not a multiple of
// 8 wide).  Whole bytes can be counted and rewritten as bytes; the few pixels
// from tailStart on go one by one.
struct RowBytes {
    size_t whole;
    uint32_t tailStart;
};
RowBytes rowBytes(uint32_t width, uint32_t bits) {
    const size_t whole = static_cast<size_t>(width) * bits / 8;
    return {whole, static_cast<uint32_t>(whole * 8 / bits)};
}

// Counters per byte value, eight tables used in turn: neighbouring pixels
// often share an index, and an increment of a counter that one of the last
// few bytes incremented has to wait for that increment to land.  With fewer
// tables, pictures of few colours count markedly slower.
using ByteCounts = std::array<std::array<uint32_t, 256>, 8>;

void countBytes(const uint8_t* p, size_t n, ByteCounts& t) {
    size_t i = 0;
    for (; n - i >= 8; i += 8)
        for (size_t k = 0; k < 8; ++k) ++t[k][p[i + k]];
    for (; i < n; ++i) ++t[0][p[i]];
}

Counts countPixels(const BmpView& v) {
    const RowBytes rb = rowBytes(v.width(), v.bits());
    ByteCounts t{};
    for (uint32_t y = 0; y < v.height(); ++y) countBytes(v.row(y), rb.whole, t);

    Counts c{};
    withBits(v.bits(), [&](auto bits) {
        for (uint32_t b = 0; b < 256; ++b) {
            uint32_t k = 0;
            for (const auto& table : t) k += table[b];
            if (k == 0) continue;
            if constexpr (bits == 8) {
                c[b] += k;
            } else if constexpr (bits == 4) {
                c[b >> 4] += k;
                c[b & 0x0F] += k;
            } else {
                const auto ones = static_cast<uint32_t>(std::popcount(b));
                c[1] += k * ones;
                c[0] += k * (8 - ones);
            }
        }
        for (uint32_t y = 0; y < v.height(); ++y) {
            const uint8_t* row = v.row(y);
            for (uint32_t x = rb.tailStart; x < v.width(); ++x) ++c[getIndex(row, x, bits)];
        }
    });
    return c;
}

// Which indices some pixel has.  Cheaper than counting them: only the first
// byte of each value met stops the search for bytes not met yet.
using Used = std::array<bool, 256>;

Used usedIndices(const BmpView& v) {
    const RowBytes rb = rowBytes(v.width(), v.bits());
    ByteSet unseen;
    for (uint32_t b = 0; b < 256; ++b) unseen.insert(static_cast<uint8_t>(b));
    for (uint32_t y = 0; y < v.height() && !unseen.empty(); ++y) {
        const uint8_t* row = v.row(y);
        for (size_t i = findFirstIn(row, rb.whole, unseen); i < rb.whole;
             i += 1 + findFirstIn(row + i + 1, rb.whole - i - 1, unseen))
            unseen.erase(row[i]);
    }

    Used used{};
    withBits(v.bits(), [&](auto bits) {
        for (uint32_t b = 0; b < 256; ++b) {
            if (unseen.contains(static_cast<uint8_t>(b))) continue;
            if constexpr (bits == 8) {
                used[b] = true;
            } else if constexpr (bits == 4) {
                used[b >> 4] = used[b & 0x0F] = true;
            } else {
                used[0] = used[0] || b != 0xFF;
                used[1] = used[1] || b != 0;
            }
        }
        for (uint32_t y = 0; y < v.height(); ++y) {
            const uint8_t* row = v.row(y);
            for (uint32_t x = rb.tailStart; x < v.width(); ++x) used[getIndex(row, x, bits)] = true;
        }
    });
    return used;
}

// For every palette index, the lowest index whose entry has the same colour.
// One look-up per entry in a small open-addressed table, instead of comparing
// every pair of entries on every call.
Remap firstOfColour(const BmpView& v) {
    constexpr uint32_t kSlots = 512;  // twice the entries at most: short probes
    constexpr uint32_t kEmpty = 0xFFFFFFFF;  // colours are 24 bits: never a colour
    std::array<uint32_t, kSlots> colourAt;
    std::array<uint8_t, kSlots> indexAt{};
    colourAt.fill(kEmpty);
    Remap first{};
    for (uint32_t i = 0; i < v.paletteSize(); ++i) {
        const uint32_t colour = toColour(bgrOf(v.entry(i))) >> 8;
        uint32_t s = (colour * 0x9E3779B1u) >> 23;  // top 9 bits
        while (colourAt[s] != kEmpty && colourAt[s] != colour) s = (s + 1) % kSlots;
        if (colourAt[s] == kEmpty) {
            colourAt[s] = colour;
            indexAt[s] = static_cast<uint8_t>(i);
        }
        first[i] = indexAt[s];
    }
    return first;
}

// Pixels per colour: duplicate entries give their pixels to the first entry of
// their colour, so that a colour stored twice is still one colour; then the
// ignored colours are dropped.
Counts census(const BmpView& v, Counts c, bool ignoreWhite, bool ignoreBlack) {
    const uint32_t n = v.paletteSize();
    const Remap first = firstOfColour(v);
    for (uint32_t j = 0; j < n; ++j) {
        if (first[j] != j && c[j] != 0) {
            c[first[j]] += c[j];
            c[j] = 0;
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

// The index that stands at position rank - 1 (rank >= 1, and at least `rank`
// counters non-zero) after `rank` passes of the sort that ranks colours: pass
// i exchanges position i with each later position, in order, that holds a
// larger counter than position i holds by then.  The sort is not stable (an
// exchange can carry a colour past another of equal count) and callers see
// ranks in exactly its order, so it is followed exactly, but on less:
//  - A pass moves only the chain of ever larger counters that starts at
//    position i, each one step along the chain.  A counter below the
//    rank-th largest (the cutoff) never reaches the first `rank` positions,
//    and being smaller than all the others it never changes how those move:
//    the sort runs on the others alone.
//  - The position ends up holding the cutoff; when one entry alone has it,
//    that entry is the answer.
//  - Once the entries above the cutoff stand in front, all that follow are
//    equal and further passes exchange nothing.
uint32_t entryAtRank(const Counts& counts, uint32_t n, uint32_t rank) {
    Counts largest = counts;
    std::nth_element(largest.begin(), largest.begin() + (rank - 1), largest.begin() + n, std::greater<>());
    const uint32_t cutoff = largest[rank - 1];

    std::array<uint64_t, 256> ranked;  // count in the high half, index in the low
    uint32_t m = 0, above = 0, tied = 0, lastTied = 0;
    for (uint32_t i = 0; i < n; ++i) {
        if (counts[i] < cutoff) continue;
        ranked[m++] = static_cast<uint64_t>(counts[i]) << 32 | i;
        if (counts[i] > cutoff) {
            ++above;
        } else {
            ++tied;
            lastTied = i;
        }
    }
    if (tied == 1) return lastTied;
    for (uint32_t i = 0; i < above; ++i) {
        uint64_t held = ranked[i];  // position i's entry during the pass
        for (uint32_t j = i + 1; j < m; ++j) {
            const uint64_t other = ranked[j];
            const bool exchange = (held >> 32) < (other >> 32);
            ranked[j] = exchange ? held : other;
            held = exchange ? other : held;
        }
        ranked[i] = held;
    }
    return static_cast<uint32_t>(ranked[rank - 1]);
}

// One pass over the pixels, writing only bytes that change: the write-back
// compares with what was read, and untouched blocks are never written.
void remapPixels(const MutableBmpView& v, const Remap& to) {
    if (to == identity()) return;
    withBits(v.bits(), [&](auto bits) {
        // What each whole byte becomes, and the bytes that change at all.
        std::array<uint8_t, 256> byteTo;
        ByteSet moves;
        for (uint32_t b = 0; b < 256; ++b) {
            const uint8_t was = static_cast<uint8_t>(b);
            uint8_t now = was;
            for (uint32_t x = 0; x < 8 / bits; ++x) setIndex(&now, x, bits, to[getIndex(&was, x, bits)]);
            byteTo[b] = now;
            if (now != was) moves.insert(was);
        }
        const RowBytes rb = rowBytes(v.width(), bits);
        for (uint32_t y = 0; y < v.height(); ++y) {
            uint8_t* row = v.mutableRow(y);
            // In most calls most rows have no byte that changes: the search
            // skips to the next one that does.  The bytes right after it
            // often change too, and go one by one before the search resumes.
            for (size_t i = findFirstIn(row, rb.whole, moves); i < rb.whole;) {
                for (const size_t end = std::min(i + 16, rb.whole); i < end; ++i)
                    if (byteTo[row[i]] != row[i]) row[i] = byteTo[row[i]];
                i += findFirstIn(row + i, rb.whole - i, moves);
            }
            for (uint32_t x = rb.tailStart; x < v.width(); ++x) {
                uint32_t was = getIndex(row, x, bits);
                if (to[was] != was) setIndex(row, x, bits, to[was]);
            }
        }
    });
}

// The census's non-zero counters, without counting: a colour counts when
// any of its entries has pixels, unless it is an ignored one.
int32_t coloursAmong(const BmpView& v, const Used& used, bool ignoreWhite, bool ignoreBlack) {
    const Remap first = firstOfColour(v);
    std::array<bool, 256> counted{};
    int32_t colours = 0;
    for (uint32_t i = 0; i < v.paletteSize(); ++i) {
        const Bgr colour = bgrOf(v.entry(i));
        if (!used[i] || counted[first[i]]) continue;
        if ((ignoreWhite && colour == kWhite) || (ignoreBlack && colour == kBlack)) continue;
        counted[first[i]] = true;
        ++colours;
    }
    return colours;
}

// Where a merge of the colour at the threshold sends each index: the entries
// nearer than the threshold (other than white and black) go to the last
// stored entry of the colour.  False when no stored entry has the colour.
bool mergeRemap(const BmpView& v, Bgr target, uint32_t threshold, Remap& to) {
    const double limit = static_cast<double>(threshold);
    const uint32_t n = v.paletteSize();
    std::array<bool, 256> near{};
    for (uint32_t i = 0; i < n; ++i) {
        Bgr c = bgrOf(v.entry(i));
        if (c == kWhite || c == kBlack) continue;
        double db = c.b - target.b, dg = c.g - target.g, dr = c.r - target.r;
        near[i] = limit > db * db + dg * dg + dr * dr;
    }

    // Each near entry's pixels move to the matching entry m, entry by entry in
    // index order.  Tracking where every original index has gone by now gives
    // the same pixels as rescanning the picture per entry, in one pass: a
    // colour stored twice ends with the later entry holding the pixels that
    // the earlier one absorbed.  Within one m the order of the near entries
    // does not matter, since m itself is never one of those it takes from.
    to = identity();
    bool found = false;
    for (uint32_t m = 0; m < v.paletteCount(); ++m) {
        if (bgrOf(v.entry(m)) != target) continue;
        found = true;
        for (uint32_t p = 0; p < n; ++p)
            if (to[p] != m && near[to[p]]) to[p] = static_cast<uint8_t>(m);
    }
    return found;
}

}  // namespace

int32_t numColors(const char* path, int32_t ignoreWhite, int32_t ignoreBlack) {
    Bitmap bmp;
    if (openBitmap(path, Open::ReadShared, kPaletteOnly, bmp) != kOk) return -1;
    return coloursAmong(bmp.view, usedIndices(bmp.view), ignoreWhite != 0, ignoreBlack != 0);
}

int32_t findMajorColor(const char* path, int32_t rank, int32_t ignoreWhite, int32_t ignoreBlack,
                       uint32_t* colour, int32_t* percent) {
    Bitmap bmp;
    if (int32_t r = openBitmap(path, Open::Inspect, kPaletteOnly, bmp); r != kOk) return r;
    if (rank < 1 || rank > 256) return kNothing;
    const auto wanted = static_cast<uint32_t>(rank);
    const BmpView& v = bmp.view;
    const Counts counts = census(v, countPixels(v), ignoreWhite != 0, ignoreBlack != 0);
    if (coloursIn(counts) < wanted) return kRank;

    const uint32_t index = entryAtRank(counts, v.paletteSize(), wanted);

    // The counter is non-zero, so the picture has pixels and the division is
    // safe.  64 bits keep count x 100 exact on pictures beyond 42 million
    // pixels.
    const uint64_t pixels = static_cast<uint64_t>(v.width()) * v.height();
    const uint64_t share = static_cast<uint64_t>(counts[index]) * 100 / pixels;
    if (colour) *colour = toColour(bgrOf(v.entry(index)));
    if (percent) *percent = static_cast<int32_t>(share);
    return kOk;
}

int32_t mergeColors(const char* path, uint32_t colour, uint32_t threshold) {
    EditBitmap bmp;
    if (int32_t r = openForEdit(path, kPaletteOnly, bmp); r != kOk) return r;
    const MutableBmpView& v = bmp.view;
    zeroColourCounts(v);

    Remap to;
    const bool found = mergeRemap(v, fromColour(colour), threshold, to);
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

    // A pixel only ever takes an index some other pixel has, so an index no
    // pixel has now never gains any: only the indices of the colour that
    // pixels use need a sweep, in ascending order.  An index the file holds
    // no entry for is a colour only where pixels use it.
    const Counts counts = countPixels(v);
    std::vector<uint32_t> indices;
    bool found = false;
    for (uint32_t i = 0; i < v.paletteSize(); ++i) {
        if (bgrOf(v.entry(i)) != target) continue;
        found = found || i < v.paletteCount() || counts[i] != 0;
        if (counts[i] != 0) indices.push_back(i);
    }
    if (!found) return kNothing;
    if (indices.empty()) return kOk;

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
        // The pixels of index i take a neighbour's index, changed in place:
        // later pixels see this one's new index.
        auto sweepRow = [&](uint32_t y, uint32_t i) {
            uint8_t* row = v.mutableRow(y);
            for (uint32_t x = 0; x < w; ++x) {
                if (getIndex(row, x, bits) != i) continue;
                uint32_t k = neighbourOf(x, y, i);
                if (k != i) setIndex(row, x, bits, k);
            }
        };
        // The result is that of one full sweep of the picture per index, in
        // index order, but all sweeps go together, each a row behind the one
        // before it.  Sweep s at row y reads rows y - 1 to y + 1: sweep s - 1
        // has just finished row y + 1 and will not touch rows up to y + 1
        // again, and sweep s + 1 has not yet reached row y - 1.
        const auto sweeps = static_cast<uint32_t>(indices.size());
        for (uint32_t step = 0; step < h + sweeps - 1; ++step) {
            for (uint32_t s = 0; s < sweeps && s <= step; ++s)
                if (step - s < h) sweepRow(step - s, indices[s]);
        }
    });
    return bmp.save(kOk);
}

namespace {

// The indices in rank order: the whole of the exchange sort that
// entryAtRank follows pass by pass (position r - 1 is final after pass r).
// Empty counters are left out, as they never move a counted one.
std::array<uint8_t, 256> rankOrder(const Counts& counts, uint32_t n) {
    std::array<uint64_t, 256> ranked;  // count in the high half, index in the low
    uint32_t m = 0;
    for (uint32_t i = 0; i < n; ++i)
        if (counts[i] != 0) ranked[m++] = static_cast<uint64_t>(counts[i]) << 32 | i;
    std::array<uint8_t, 256> order{};
    for (uint32_t i = 0; i < m; ++i) {
        uint64_t held = ranked[i];
        for (uint32_t j = i + 1; j < m; ++j) {
            const uint64_t other = ranked[j];
            const bool exchange = (held >> 32) < (other >> 32);
            ranked[j] = exchange ? held : other;
            held = exchange ? other : held;
        }
        order[i] = static_cast<uint8_t>(held);
    }
    return order;
}

// The palette as the passes look at it, worked out once: a translation
// never changes the palette, only which entries the pixels use.
struct PaletteFacts {
    explicit PaletteFacts(const BmpView& v) : size(v.paletteSize()) {
        for (uint32_t i = 0; i < size; ++i) {
            colour[i] = bgrOf(v.entry(i));
            plain[i] = colour[i] != kWhite && colour[i] != kBlack;
            fills[i] = -1;
            for (uint32_t m = 0; m < v.paletteCount(); ++m)
                if (bgrOf(v.entry(m)) == colour[i]) fills[i] = static_cast<int32_t>(m);
        }
    }
    uint32_t size;
    std::array<Bgr, 256> colour;
    std::array<bool, 256> plain;    // neither white nor black: merged and merging
    std::array<int32_t, 256> fills;  // the stored entry a merge of entry i's colour gives pixels to
};

// The greatest threshold at which a whole pass moves no pixel: the least
// squared distance from a counted colour to any other used entry that its
// merge would take (a second entry of the same colour is at distance 0).
int64_t stillUpTo(const PaletteFacts& f, const Counts& pixels) {
    std::array<uint8_t, 256> used;
    uint32_t k = 0;
    for (uint32_t i = 0; i < f.size; ++i)
        if (pixels[i] != 0 && f.plain[i]) used[k++] = static_cast<uint8_t>(i);
    int64_t least = INT64_MAX;
    for (uint32_t a = 0; a < k; ++a) {
        const Bgr c = f.colour[used[a]];
        for (uint32_t b = 0; b < k; ++b) {
            if (static_cast<int32_t>(used[b]) == f.fills[used[a]]) continue;
            const Bgr o = f.colour[used[b]];
            const int64_t db = o.b - c.b, dg = o.g - c.g, dr = o.r - c.r;
            least = std::min(least, db * db + dg * dg + dr * dr);
        }
    }
    return least;
}

}  // namespace

// The dialog's passes over the pixel counts instead of the file: the picture
// is read and counted once, each merge moves counters and is remembered as a
// remap of the original indices, and the pixels are rewritten once at the
// end.  A pass that can move nothing leaves everything as it was, so such
// passes are skipped: what a run costs follows the merges it makes, not the
// number of thresholds it steps through.
int32_t translateColors(const char* path, int32_t maxColours, int32_t speed, int32_t limit, TranslationStep step,
                        TranslationShown shown, void* user) {
    if (maxColours < 0 || speed < 1) return kNothing;
    EditBitmap bmp;
    if (int32_t r = openForEdit(path, kPaletteOnly, bmp); r != kOk) return r;
    const MutableBmpView& v = bmp.view;
    const uint32_t n = v.paletteSize();
    const PaletteFacts facts(v);

    Counts pixels = countPixels(v);
    Remap where = identity();  // original index -> index now
    bool merged = false;
    bool stale = true;
    int32_t colours = 0;
    std::array<uint8_t, 256> order{};
    const auto look = [&] {
        if (!stale) return;
        Used used{};
        for (uint32_t i = 0; i < 256; ++i) used[i] = pixels[i] != 0;
        colours = coloursAmong(v, used, true, true);
        order = rankOrder(census(v, pixels, true, true), n);
        stale = false;
    };

    int32_t result = kOk;
    int64_t threshold = speed;
    for (bool done = false; !done;) {
        look();
        if (colours > maxColours && threshold <= limit) {
            const int64_t upTo = std::min<int64_t>(stillUpTo(facts, pixels), limit);
            if (threshold <= upTo) threshold += (upTo - threshold) / speed * speed + speed;
        }
        for (int32_t rank = 1;; ++rank) {
            if (step && step(rank, static_cast<int32_t>(std::min<int64_t>(threshold, INT32_MAX)), user) != 0) {
                result = kStopped;
                done = true;
                break;
            }
            look();
            if ((done = colours <= maxColours || (rank <= colours && threshold > limit))) break;
            if (rank > colours) {
                threshold += speed;
                break;
            }
            merged = true;
            Remap to;
            if (!mergeRemap(v, facts.colour[order[rank - 1]], static_cast<uint32_t>(threshold), to)) {
                result = kNothing;
                done = true;
                break;
            }
            Counts next{};
            for (uint32_t i = 0; i < 256; ++i) next[to[i]] += pixels[i];
            for (uint8_t& w : where) w = to[w];
            if (next != pixels) {
                pixels = next;
                stale = true;
                // Only a merge that moved pixels changes what the picture looks like.
                if (shown) shown(where.data(), user);
            }
        }
    }
    if (merged) {
        zeroColourCounts(v);
        remapPixels(v, where);
    }
    return bmp.save(result);
}

}  // namespace pixmill
