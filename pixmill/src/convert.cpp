// Conversion of a true-colour picture into an 8-bit palette picture of at most
// 250 colours, most frequent first.
//
// The census, the reduction and the sorts decide which colours survive and in
// which order they stand in the palette; every later colour tool (and the
// user's choices there) sees that order, so they keep their historical rules
// step by step, ties included, odd partition and all.  Only the per-pixel
// nearest-colour search is organised differently, and it gives the same
// answers as the search over every entry in index order.
#include <algorithm>
#include <cmath>
#include <exception>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "ops.hpp"

namespace pixmill {
namespace {

constexpr size_t kKeptColours = 250;
constexpr size_t kTableGrowth = 10000;
constexpr int kMaxSortDepth = 20;
constexpr uint32_t kPaletteEntries = 256;
constexpr uint32_t kPixelOffset = kNormalPaletteOffset + 4 * kPaletteEntries;  // 1078

// One colour of the census: blue, green, red, 0 as they stand in a palette
// entry, and how often the sampled pixels had it.
struct Entry {
    uint8_t b, g, r, zero;
    uint32_t count;
};
using Table = std::vector<Entry>;

inline uint32_t distance2(int b1, int g1, int r1, int b2, int g2, int r2) {
    int db = b1 - b2, dg = g1 - g2, dr = r1 - r2;
    return static_cast<uint32_t>(db * db + dg * dg + dr * dr);
}

// About 10000 samples whatever the picture's size.  The product is formed in
// integers and scaled in floating point: the truncation at exact squares
// (576 x 400 gives 4) depends on that order.
uint32_t samplingStep(uint32_t width, uint32_t height) {
    double scaled = static_cast<double>(static_cast<uint64_t>(width) * height) * 0.0001;
    auto step = static_cast<uint32_t>(std::sqrt(scaled));
    return step == 0 ? 1 : step;
}

// The distinct sampled colours in the order first met.  The hash only finds
// an existing entry faster; the table comes out as a search from entry 0
// upwards builds it.  Only the sampled rows are read.  False when the file
// no longer holds them.
bool census(RowReader& rows, uint32_t width, uint32_t height, uint32_t step, Table& table) {
    table.reserve(kTableGrowth);
    std::unordered_map<uint32_t, uint32_t> where;
    where.reserve(2 * kTableGrowth);
    for (uint32_t y = 0; y < height; y += step) {
        if (!rows.read(y, 1)) return false;
        const uint8_t* row = rows.row(y);
        for (uint32_t x = 0; x < width; x += step) {
            const uint8_t* p = row + 3 * static_cast<size_t>(x);
            uint32_t key = p[0] | (p[1] << 8) | (p[2] << 16);
            auto [it, fresh] = where.try_emplace(key, static_cast<uint32_t>(table.size()));
            if (!fresh) {
                ++table[it->second].count;
                continue;
            }
            if (table.size() == table.capacity()) table.reserve(table.capacity() + kTableGrowth);
            table.push_back({p[0], p[1], p[2], 0, 1});
        }
    }
    return true;
}

// Bubble sort, largest count first; equal counts keep their order.
void exchangeSort(Entry* t, int lo, int hi) {
    for (int b = hi; b >= lo + 1; --b)
        for (int k = lo; k <= b - 1; ++k)
            if (t[k].count < t[k + 1].count) std::swap(t[k], t[k + 1]);
}

// Largest count first over lo..hi inclusive, mostly: the first scan never
// weighs the entry where it stops, so eleven counts of 1 followed by a 2 stay
// as they are.  Deep or small ranges go to the exchange sort.  The palette
// order this gives, ties included, is the one users have always got, so the
// steps are kept exactly.  `depth` counts the nesting, 1 for the outer call;
// it travels as an argument because the library, opened at run time, keeps
// no thread-local state: such a block is allocated on each thread's first use,
// and GCC 12's leak checker misreads it now and then and crashes at exit.
void sortByCount(Entry* t, int lo, int hi, int depth = 1) {
    if (lo >= hi) return;
    if (hi == lo + 1) {
        if (t[lo].count < t[hi].count) std::swap(t[lo], t[hi]);
        return;
    }
    if (depth > kMaxSortDepth || hi - lo < 10) {
        exchangeSort(t, lo, hi);
        return;
    }
    std::swap(t[lo], t[(lo + hi) / 2]);
    const uint32_t pivot = t[lo].count;
    int i = lo;
    int j = hi;
    for (;;) {
        while (i < j && t[i].count >= pivot) ++i;
        bool met = false;
        while (t[j].count <= pivot) {
            if (j <= i) {
                met = true;
                break;
            }
            --j;
        }
        if (met || i >= j) break;
        std::swap(t[i], t[j]);
    }
    // i > lo here: the first scan always passes the pivot, whose count is P.
    std::swap(t[i - 1], t[lo]);
    sortByCount(t, lo, i - 1, depth + 1);
    sortByCount(t, j, hi, depth + 1);
}

// The entries below some index, ordered along the channel on which they
// spread most.  The nearest search walks outwards from the colour's own
// level and stops once the distance along that channel alone exceeds the
// best found: the same entry as a scan of every index, in far fewer steps.
class ChannelOrder {
public:
    // Entries 0..count-1 of t.
    void load(const Table& t, size_t count) {
        double sum[3] = {}, squares[3] = {};
        for (size_t i = 0; i < count; ++i)
            for (int c = 0; c < 3; ++c) {
                double v = channel(t[i], c);
                sum[c] += v;
                squares[c] += v * v;
            }
        channel_ = 0;
        for (int c = 1; c < 3; ++c)
            if (squares[c] - sum[c] * sum[c] / count > squares[channel_] - sum[channel_] * sum[channel_] / count)
                channel_ = c;
        keys_.resize(count);
        for (size_t i = 0; i < count; ++i) keys_[i] = static_cast<uint64_t>(channel(t[i], channel_)) << 32 | i;
        std::sort(keys_.begin(), keys_.end());
        loaded_ = count;
    }

    // First entry among 0..last-1 with the smallest distance to entry `last`.
    size_t nearest(const Table& t, size_t last) {
        // Entries at or past `last` are folded away; drop them once they
        // are most of what a walk would step over.
        if (2 * last < loaded_) load(t, last);
        const Entry& q = t[last];
        const int level = channel(q, channel_);
        auto from = std::lower_bound(keys_.begin(), keys_.end(), static_cast<uint64_t>(level) << 32);
        uint32_t best = UINT32_MAX;
        size_t at = 0;
        auto consider = [&](uint64_t key) {
            const int along = static_cast<int>(key >> 32) - level;
            if (static_cast<uint32_t>(along * along) > best) return false;
            const size_t i = static_cast<uint32_t>(key);
            if (i < last) {
                const uint32_t d = distance2(t[i].b, t[i].g, t[i].r, q.b, q.g, q.r);
                if (d < best || (d == best && i < at)) {
                    best = d;
                    at = i;
                }
            }
            return true;
        };
        for (auto k = from; k != keys_.end(); ++k)
            if (!consider(*k)) break;
        for (auto k = from; k != keys_.begin(); --k)
            if (!consider(*(k - 1))) break;
        return at;
    }

private:
    static int channel(const Entry& e, int c) { return c == 0 ? e.b : c == 1 ? e.g : e.r; }

    int channel_ = 0;
    size_t loaded_ = 0;
    std::vector<uint64_t> keys_;  // level << 32 | index
};

// Folds the last entry into its nearest one until 250 remain.  The table is
// re-sorted only every tenth of the way, so in between the entry folded is
// simply the last one, rare or not.
void reduce(Table& t) {
    size_t n = t.size();
    if (n <= kKeptColours) return;
    const size_t period = n / 10;
    size_t merges = period;  // the first pass sorts
    ChannelOrder order;
    while (n > kKeptColours) {
        if (merges >= period) {
            uint32_t least = UINT32_MAX;
            for (size_t i = 0; i < n; ++i) least = std::min(least, t[i].count);
            // The rarest colours go to the back, where they are folded first;
            // the rest is put in order of count.
            size_t k = 0;
            size_t j = n - 1;
            while (k < j) {
                if (t[k].count == least) {
                    std::swap(t[k], t[j]);
                    --j;
                } else {
                    ++k;
                }
            }
            sortByCount(t.data(), 0, static_cast<int>(k));
            merges = 0;
            order.load(t, n - 1);
        }
        const size_t last = n - 1;
        Entry& into = t[order.nearest(t, last)];
        into.count += t[last].count;
        t[last].count = 0;
        --n;
        ++merges;
    }
    t.erase(t.begin() + static_cast<std::ptrdiff_t>(n), t.end());
}

// Runs work(begin, end) over 0..count split into one band per core.  The
// bands are independent, so the result does not depend on the split; bands
// that no thread could be started for run on the caller's thread.  A failure
// in any band is raised again here, after every thread has ended.
template <typename Work>
void inBands(size_t count, size_t minPerBand, const Work& work) {
    size_t bands = std::clamp<size_t>(std::thread::hardware_concurrency(), 1, 8);
    bands = std::min(bands, std::max<size_t>(1, count / std::max<size_t>(1, minPerBand)));
    std::vector<std::exception_ptr> failures(bands);
    auto run = [&](size_t band, size_t from, size_t to) {
        try {
            work(from, to);
        } catch (...) {
            failures[band] = std::current_exception();
        }
    };
    std::vector<std::thread> helpers;
    size_t started = 0;
    try {
        helpers.reserve(bands - 1);
        for (size_t k = 1; k < bands; ++k) {
            helpers.emplace_back(run, k, count * k / bands, count * (k + 1) / bands);
            started = k;
        }
    } catch (const std::exception&) {
    }
    run(0, 0, count / bands);
    if (started + 1 < bands) run(0, count * (started + 1) / bands, count);
    for (auto& h : helpers) h.join();
    for (auto& f : failures)
        if (f) std::rethrow_exception(f);
}

// Per channel and cell coordinate, with cells of 2^cellBits levels a side:
// each palette entry's least and greatest squared distance along that
// channel to the levels of the cell.
class ChannelSpans {
public:
    ChannelSpans(const std::vector<uint32_t>& packed, int cellBits) : n_(packed.size()) {
        const int cells = 256 >> cellBits;
        for (int axis = 0; axis < 3; ++axis) {
            least_[axis].resize(cells * n_);
            most_[axis].resize(cells * n_);
            for (int c = 0; c < cells; ++c) {
                const int lo = c << cellBits, hi = lo + (1 << cellBits) - 1;
                for (size_t e = 0; e < n_; ++e) {
                    const int v = (packed[e] >> (8 * axis)) & 0xFF;
                    const int near = v < lo ? lo - v : v > hi ? v - hi : 0;
                    const int far = std::max(v - lo, hi - v);
                    least_[axis][c * n_ + e] = static_cast<uint32_t>(near * near);
                    most_[axis][c * n_ + e] = static_cast<uint32_t>(far * far);
                }
            }
        }
    }

    // Appends to `out` the entries of `from` that can be nearest to some
    // colour of cell (cb, cg, cr), keeping their order.  Every colour of the
    // cell lies within `bound` of some entry, so an entry that cannot come
    // that close is nearest to none of them.  `from` must hold every entry
    // that can be nearest to a colour of the cell.
    template <typename Index>
    void candidates(int cb, int cg, int cr, const Index* from, size_t count, std::vector<uint8_t>& out) const {
        const uint32_t* mb = &most_[0][cb * n_];
        const uint32_t* mg = &most_[1][cg * n_];
        const uint32_t* mr = &most_[2][cr * n_];
        uint32_t bound = UINT32_MAX;
        for (size_t k = 0; k < count; ++k) bound = std::min(bound, mb[from[k]] + mg[from[k]] + mr[from[k]]);
        const uint32_t* lb = &least_[0][cb * n_];
        const uint32_t* lg = &least_[1][cg * n_];
        const uint32_t* lr = &least_[2][cr * n_];
        for (size_t k = 0; k < count; ++k)
            if (lb[from[k]] + lg[from[k]] + lr[from[k]] <= bound) out.push_back(static_cast<uint8_t>(from[k]));
    }

private:
    size_t n_;
    std::vector<uint32_t> least_[3], most_[3];
};

// Nearest palette entry of any colour: the smallest squared distance, the
// lowest index among equals, exactly what a search over all entries in order
// finds.  The colour cube is cut into 64 x 64 x 64 cells of 4 levels a side;
// each cell lists only the entries that can be nearest to some colour in it
// (two or three for a photograph), so a pixel costs a few distances.
class NearestColour {
public:
    // `pixels`: how many colours will be looked up.  The cell lists cost the
    // same for any picture, about a million distances; a picture that needs
    // fewer than that is matched against the whole palette instead, with the
    // same result.
    NearestColour(const Table& palette, uint64_t pixels);
    uint8_t find(uint8_t b, uint8_t g, uint8_t r) const {
        // Distance and index in one key: the smallest key is the nearest
        // entry, and among equal distances the lowest index.
        const auto key = [&](uint32_t e) {
            const uint32_t c = packed_[e];
            return (distance2(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF, b, g, r) << 8) | e;
        };
        if (four_.empty()) {  // no cell lists: the whole palette
            uint32_t best = UINT32_MAX;
            for (uint32_t e = 0; e < packed_.size(); ++e) best = std::min(best, key(e));
            return static_cast<uint8_t>(best);
        }
        const size_t cell = (static_cast<size_t>(b >> kFineBits) << (2 * kFineAxisBits)) |
                            (static_cast<size_t>(g >> kFineBits) << kFineAxisBits) | (r >> kFineBits);
        const uint32_t q = four_[cell];
        if ((q & 0xFF) != kMany) {
            // Always four, without a loop or a jump: which candidate wins
            // changes from pixel to pixel, and a mispredicted jump costs more
            // than the arithmetic.
            const uint32_t k0 = std::min(key(q & 0xFF), key((q >> 8) & 0xFF));
            const uint32_t k1 = std::min(key((q >> 16) & 0xFF), key(q >> 24));
            return static_cast<uint8_t>(std::min(k0, k1));
        }
        uint32_t best = UINT32_MAX;
        for (uint32_t k = start_[cell]; k < start_[cell + 1]; ++k) best = std::min(best, key(candidates_[k]));
        return static_cast<uint8_t>(best);
    }

private:
    static constexpr int kCoarseBits = 4;
    static constexpr int kFineBits = 2;
    static constexpr int kFineAxisBits = 8 - kFineBits;
    static constexpr size_t kFineCells = size_t{1} << (3 * kFineAxisBits);

    static constexpr uint8_t kMany = 0xFF;  // palettes hold at most 250 entries
    std::vector<uint32_t> packed_;     // entry -> blue | green << 8 | red << 16
    // Fine cell -> the indices of its (at most four) candidates, one a byte,
    // the first repeated to fill the four; kMany in the low byte when the
    // cell has more, which are then listed from start_ in candidates_.
    std::vector<uint32_t> four_;
    std::vector<uint32_t> start_;
    std::vector<uint8_t> candidates_;
};

NearestColour::NearestColour(const Table& palette, uint64_t pixels) {
    if (pixels * palette.size() <= uint64_t{4} * kFineCells) {
        for (const Entry& p : palette) packed_.push_back(p.b | (p.g << 8) | (p.r << 16));
        return;
    }
    std::vector<uint32_t> packed;
    for (size_t e = 0; e < palette.size(); ++e) {
        const Entry& p = palette[e];
        packed.push_back(p.b | (p.g << 8) | (p.r << 16) | static_cast<uint32_t>(e) << 24);
    }
    // Each level's lists come from those of the level above, whose cells
    // hold eight of its own: the whole palette is searched only for the
    // 16 x 16 x 16 cells of the first level.
    std::vector<uint32_t> listStart{0, static_cast<uint32_t>(packed.size())};
    std::vector<uint8_t> lists(packed.size());
    for (size_t e = 0; e < packed.size(); ++e) lists[e] = static_cast<uint8_t>(e);
    for (int bits = kCoarseBits; bits >= kFineBits; --bits) {
        const ChannelSpans spans(packed, bits);
        const int cells = 256 >> bits;
        const int split = bits == kCoarseBits ? 8 - bits : 1;  // the first level has one parent: everything
        // Each slab of equal blue cells on its own core, then laid end to end.
        const size_t perSlab = static_cast<size_t>(cells) * cells;
        std::vector<std::vector<uint8_t>> slabLists(static_cast<size_t>(cells));
        std::vector<uint32_t> nextStart(perSlab * cells + 1);
        inBands(static_cast<size_t>(cells), 1, [&](size_t from, size_t to) {
            for (size_t cb = from; cb < to; ++cb) {
                std::vector<uint8_t>& slab = slabLists[cb];
                size_t cell = cb * perSlab;
                for (int cg = 0; cg < cells; ++cg)
                    for (int cr = 0; cr < cells; ++cr, ++cell) {
                        const int pc = cells >> split;
                        const size_t up =
                            (static_cast<size_t>(cb >> split) * pc + (cg >> split)) * pc + (cr >> split);
                        nextStart[cell] = static_cast<uint32_t>(slab.size());  // within the slab for now
                        spans.candidates(static_cast<int>(cb), cg, cr, lists.data() + listStart[up],
                                         listStart[up + 1] - listStart[up], slab);
                    }
            }
        });
        std::vector<uint8_t> next;
        for (size_t cb = 0; cb < slabLists.size(); ++cb) {
            const auto offset = static_cast<uint32_t>(next.size());
            for (size_t cell = cb * perSlab; cell < (cb + 1) * perSlab; ++cell) nextStart[cell] += offset;
            next.insert(next.end(), slabLists[cb].begin(), slabLists[cb].end());
        }
        nextStart.back() = static_cast<uint32_t>(next.size());
        lists.swap(next);
        listStart.swap(nextStart);
    }
    start_ = std::move(listStart);
    candidates_ = std::move(lists);
    packed_.resize(packed.size());
    for (size_t e = 0; e < packed.size(); ++e) packed_[e] = packed[e] & 0xFFFFFF;
    // Nearly every cell of a photograph has four candidates or fewer.
    four_.resize(kFineCells);
    for (size_t cell = 0; cell < kFineCells; ++cell) {
        const uint32_t from = start_[cell], n = start_[cell + 1] - from;
        uint32_t q = kMany;
        if (n <= 4) {
            q = 0;
            for (uint32_t k = 0; k < 4; ++k) q |= uint32_t{candidates_[from + (k < n ? k : 0)]} << (8 * k);
        }
        four_[cell] = q;
    }
}

// The band of rows last read, in bottom-up order from y0, each padded with zeros.
void mapRows(const RowReader& in, uint32_t width, const NearestColour& nearest, uint32_t y0, uint32_t rows,
             size_t stride, uint8_t* out) {
    inBands(rows, 16, [&](size_t from, size_t to) {
        for (size_t k = from; k < to; ++k) {
            const uint8_t* p = in.row(y0 + static_cast<uint32_t>(k));
            uint8_t* o = out + k * stride;
            for (uint32_t x = 0; x < width; ++x, p += 3) o[x] = nearest.find(p[0], p[1], p[2]);
        }
    });
}

}  // namespace

int32_t convert24to8(const char* source, const char* destination) {
    Bitmap src;
    if (int32_t r = openHeader(source, Open::Inspect, Accept{false, true, true}, src); r != kOk) return r;
    const BmpLayout& layout = src.in.layout;
    const uint32_t width = layout.width, height = layout.height;
    // Nothing to sample, so no palette to build.
    if (width == 0 || height == 0) return kFormat;
    uint8_t sourceInfo[kInfoHeaderSize];
    if (!src.in.file.readAt(kFileHeaderSize, sourceInfo, sizeof sourceInfo)) return kMap;

    // Source rows a band at a time: about 2 MB, enough for every core to
    // have work, little enough to stay in the caches.
    const size_t stride = static_cast<size_t>(strideFor(width, 8));
    const uint32_t chunkRows =
        static_cast<uint32_t>(std::clamp<size_t>((size_t{2} << 20) / layout.stride, 1, height));
    // An allocation failure from here on surfaces as 15 (the export's guard),
    // before the destination exists.
    RowReader in(src.in, chunkRows);
    Table table;
    if (!census(in, width, height, samplingStep(width, height), table)) return kMap;
    reduce(table);
    sortByCount(table.data(), 0, static_cast<int>(table.size()) - 1);

    const uint64_t imageSize = static_cast<uint64_t>(stride) * height;  // < 2^32 - 1078 at 65535 x 65535
    const NearestColour nearest(table, uint64_t{width} * height);
    std::vector<uint8_t> rows(stride * chunkRows, 0);

    OutputFile out;
    if (!out.create(destination)) return kCreate;
    Writer w(out);
    writeFileHeader(w, static_cast<uint32_t>(kPixelOffset + imageSize), 0, kPixelOffset);
    // A plain 40-byte header whatever the source had, since the palette
    // follows at 54; the rows are written bottom-up, so the height is positive.
    InfoHeader info(sourceInfo);
    info.set32(off::height, height)
        .set16(off::bitCount, 8)
        .set32(off::imageSize, static_cast<uint32_t>(imageSize))
        .set32(off::colorsUsed, 0)
        .set32(off::colorsImportant, 0);
    w.put(info.b, sizeof info.b);
    for (const Entry& e : table) {
        const uint8_t bytes[4] = {e.b, e.g, e.r, 0};
        w.put(bytes, 4);
    }
    w.zeros(4 * (kPaletteEntries - table.size()));

    for (uint32_t y = 0; y < height && w.ok(); y += chunkRows) {
        const uint32_t n = std::min(chunkRows, height - y);
        // A file cut short meanwhile leaves no destination behind.
        if (!in.read(y, n)) return kMap;
        mapRows(in, width, nearest, y, n, stride, rows.data());
        w.put(rows.data(), stride * n);
    }
    return w.flush() && out.commit() ? kOk : kIo;
}

}  // namespace pixmill
