// The colour census and merging exports against plain renderings of their
// documented algorithms (every pixel visited, every pair of entries compared,
// the whole exchange sort run), on generated pictures full of duplicate
// entries, near colours, equal counts and padding bits; and automatic colour
// translation runs pinned to the results the library has always given.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <numeric>
#include <filesystem>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "bmp_builder.hpp"
#include "pixmill/pixmill.h"

using namespace testing_support;

namespace {

// A palette picture as the algorithms describe it.
struct Picture {
    uint32_t bits = 8, width = 1, height = 1, stored = 0;
    std::vector<uint32_t> palette;             // 2^bits colours
    std::vector<std::vector<uint32_t>> pixels;  // [stored row][x], row 0 at the bottom

    uint32_t entries() const { return uint32_t(palette.size()); }
    uint32_t colourOf(uint32_t i) const { return i < stored ? palette[i] : kBlack; }  // unstored read as black
    uint32_t pixelCount(uint32_t i) const {
        uint32_t n = 0;
        for (const auto& row : pixels)
            for (uint32_t p : row) n += p == i;
        return n;
    }
};

std::vector<uint32_t> census(const Picture& pic, bool ignoreWhite, bool ignoreBlack) {
    const uint32_t n = pic.entries();
    std::vector<uint32_t> c(n);
    for (const auto& row : pic.pixels)
        for (uint32_t p : row) ++c[p];
    for (uint32_t i = 0; i < n; ++i)
        for (uint32_t j = i + 1; j < n; ++j)
            if (pic.colourOf(j) == pic.colourOf(i)) c[i] += std::exchange(c[j], 0);
    for (uint32_t i = 0; i < n; ++i)
        if ((ignoreWhite && pic.colourOf(i) == kWhite) || (ignoreBlack && pic.colourOf(i) == kBlack)) c[i] = 0;
    return c;
}

int32_t numColors(const Picture& pic, bool ignoreWhite, bool ignoreBlack) {
    int32_t n = 0;
    for (uint32_t c : census(pic, ignoreWhite, ignoreBlack)) n += c != 0;
    return n;
}

// `c` is the census with the flags asked for.
int32_t findMajorColor(const Picture& pic, std::vector<uint32_t> c, int32_t rank, uint32_t& colour, int32_t& percent) {
    if (rank < 1 || rank > 256) return PIXMILL_E_NOTHING;
    if (std::count_if(c.begin(), c.end(), [](uint32_t n) { return n != 0; }) < rank) return PIXMILL_E_RANK;
    std::vector<uint32_t> index(c.size());
    for (uint32_t i = 0; i < c.size(); ++i) index[i] = i;
    for (uint32_t i = 0; i < uint32_t(rank); ++i)
        for (uint32_t j = i; j < c.size(); ++j)
            if (c[i] < c[j]) std::swap(c[i], c[j]), std::swap(index[i], index[j]);
    colour = pic.colourOf(index[rank - 1]);
    percent = int32_t(uint64_t(c[rank - 1]) * 100 / (uint64_t(pic.width) * pic.height));
    return 0;
}

void recolour(Picture& pic, uint32_t from, uint32_t to) {
    for (auto& row : pic.pixels)
        for (uint32_t& p : row)
            if (p == from) p = to;
}

int32_t mergeColors(Picture& pic, uint32_t colour, uint32_t threshold) {
    auto channel = [](uint32_t c, int shift) { return double((c >> shift) & 0xFF); };
    auto square = [](double d) { return d * d; };
    bool found = false;
    for (uint32_t m = 0; m < pic.stored; ++m) {
        if (pic.palette[m] >> 8 != colour >> 8) continue;
        found = true;
        for (uint32_t i = 0; i < pic.entries(); ++i) {
            const uint32_t near = pic.colourOf(i);
            if (i == m || near == kWhite || near == kBlack) continue;
            double d = 0;
            for (int shift : {24, 16, 8}) d += square(channel(near, shift) - channel(colour, shift));
            if (double(threshold) > d) recolour(pic, i, m);
        }
    }
    return found ? 0 : PIXMILL_E_NOTHING;
}

void mergeBandW(Picture& pic) {
    int64_t white = -1, black = -1;
    for (uint32_t i = 0; i < pic.stored; ++i) {
        if (pic.palette[i] == kWhite) white = i;
        if (pic.palette[i] == kBlack) black = i;
    }
    for (auto& row : pic.pixels)
        for (uint32_t& p : row) {
            if (white >= 0 && p != white && pic.colourOf(p) == kWhite) p = uint32_t(white);
            else if (black >= 0 && p != black && pic.colourOf(p) == kBlack) p = uint32_t(black);
        }
}

int32_t mergePixels(Picture& pic, uint32_t colour) {
    bool found = false;
    for (uint32_t i = 0; i < pic.entries(); ++i) {
        if (pic.colourOf(i) != (colour & 0xFFFFFF00) || (i >= pic.stored && pic.pixelCount(i) == 0)) continue;
        found = true;
        for (uint32_t y = 0; y < pic.height; ++y)
            for (uint32_t x = 0; x < pic.width; ++x) {
                if (pic.pixels[y][x] != i) continue;
                for (uint32_t nx = x ? x - 1 : 0, done = 0; !done && nx <= x + 1 && nx < pic.width; ++nx)
                    for (uint32_t ny = y ? y - 1 : 0; !done && ny <= y + 1 && ny < pic.height; ++ny)
                        if (pic.pixels[ny][nx] != i) pic.pixels[y][x] = pic.pixels[ny][nx], done = 1;
            }
    }
    return found ? 0 : PIXMILL_E_NOTHING;
}

// The file the library should leave: `original` with the model's pixels
// written in, bit by bit, so padding stays as it was.
ByteVec fileOf(const Picture& pic, ByteVec original) {
    const Decoded d = decode(original);
    for (uint32_t y = 0; y < pic.height; ++y)
        for (uint32_t x = 0; x < pic.width; ++x) {
            uint8_t* row = original.data() + d.pixelOffset + size_t(y) * d.stride;
            const uint32_t p = pic.pixels[y][x];
            if (pic.bits == 8) row[x] = uint8_t(p);
            else if (pic.bits == 4) row[x / 2] = uint8_t(x % 2 ? (row[x / 2] & 0xF0) | p : (row[x / 2] & 0xF) | p << 4);
            else row[x / 8] = uint8_t((row[x / 8] & ~(0x80 >> x % 8)) | (p ? 0x80 >> x % 8 : 0));
        }
    return original;
}

// Colours drawn from a small pool, so that entries repeat, sit near each
// other, and are often white or black; pixels in short runs of few indices,
// so that counts tie; padding bits random, so that they must be skipped.
struct Generated {
    Picture pic;
    ByteVec file;
};
Generated generate(uint32_t bits, uint32_t width, uint32_t height, uint32_t stored, uint32_t seed) {
    std::mt19937 rng(seed);
    const uint32_t pool[] = {kBlack, kWhite, kRed, rgb(250, 0, 0), rgb(240, 0, 0), rgb(250, 5, 5), rgb(0, 200, 0),
                             kBlue, rgb(10, 10, 10), rgb(245, 245, 245)};
    Picture pic;
    pic.bits = bits, pic.width = width, pic.height = height, pic.stored = stored;
    for (uint32_t i = 0; i < (1u << bits); ++i) pic.palette.push_back(pool[rng() % std::size(pool)]);
    std::vector<uint32_t> inks(1 + rng() % 6);
    for (uint32_t& ink : inks) ink = rng() % (1u << bits);
    pic.pixels.assign(height, std::vector<uint32_t>(width));
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x)
            pic.pixels[y][x] = x > 0 && rng() % 3 ? pic.pixels[y][x - 1] : inks[rng() % inks.size()];
    BmpBuilder b{int32_t(width), int32_t(height), uint16_t(bits)};
    for (uint32_t i = 0; i < pic.entries(); ++i) b.entry(i, pic.palette[i]);
    b.each([&](uint32_t x, uint32_t y) { return pic.pixels[y][x]; }).colorsUsed(7);
    if (stored < pic.entries()) b.storedEntries(stored);
    ByteVec file = b.build();
    const Decoded d = decode(file);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t bit = width * bits; bit < d.stride * 8; ++bit)
            if (rng() % 2) file[d.pixelOffset + y * d.stride + bit / 8] |= uint8_t(0x80 >> bit % 8);
    return {pic, file};
}

struct Shape {
    uint32_t bits, width, height, stored;
};
const Shape kShapes[] = {
    {1, 1, 3, 2},  {1, 9, 4, 2},   {1, 16, 2, 2},  {1, 21, 3, 1},  {4, 1, 5, 16},   {4, 3, 4, 16},
    {4, 8, 3, 16}, {4, 13, 5, 6},  {8, 1, 6, 256}, {8, 5, 4, 256}, {8, 24, 5, 256}, {8, 19, 7, 12},
};

class CensusReference : public ::testing::TestWithParam<Shape> {
protected:
    TempDir tmp;
    const std::string path = tmp.path("p.bmp");
    // A new file each time: rewriting one in place makes the file system
    // flush it first, which costs far more than the exports under test.
    void reset(const ByteVec& bytes) {
        std::filesystem::remove(path);
        writeFile(path, bytes);
    }
};

TEST_P(CensusReference, EveryExportMatchesItsPlainAlgorithm) {
    const Shape s = GetParam();
    for (uint32_t seed = 0; seed < 24; ++seed) {
        SCOPED_TRACE(::testing::Message() << "seed " << seed);
        const Generated g = generate(s.bits, s.width, s.height, s.stored, seed);
        reset(g.file);
        for (int32_t flags = 0; flags < 4; ++flags) {
            const bool white = flags & 1, black = flags & 2;
            const int32_t n = numColors(g.pic, white, black);
            ASSERT_EQ(NumColors(path.c_str(), white, black), n);
            const std::vector<uint32_t> counts = census(g.pic, white, black);
            for (int32_t rank = 0; rank <= 257; rank = rank <= n ? rank + 1 : rank + 127) {
                uint32_t colour = 1, expectedColour = 1;
                int32_t percent = -1, expectedPercent = -1;
                ASSERT_EQ(FindMajorColor(path.c_str(), rank, white, black, &colour, &percent),
                          findMajorColor(g.pic, counts, rank, expectedColour, expectedPercent))
                    << "rank " << rank;
                EXPECT_EQ(colour, expectedColour) << "rank " << rank;
                EXPECT_EQ(percent, expectedPercent) << "rank " << rank;
            }
        }
        ASSERT_EQ(readFile(path), g.file);

        // Each merge on a fresh copy, with colours of the palette and one absent.
        const uint32_t colours[] = {g.pic.palette[0], g.pic.palette[g.pic.entries() - 1], kRed, kBlack, rgb(1, 2, 3)};
        for (uint32_t colour : colours) {
            for (uint32_t threshold : {0u, 26u, 226u, 70000u, 0xFFFFFFFFu}) {
                reset(g.file);
                Picture pic = g.pic;
                ByteVec expected = g.file;
                put32(expected, 46, 0);
                ASSERT_EQ(MergeColors(path.c_str(), colour, int32_t(threshold)), mergeColors(pic, colour, threshold));
                ASSERT_EQ(readFile(path), fileOf(pic, expected)) << std::hex << colour << std::dec << " " << threshold;
            }
            reset(g.file);
            Picture pic = g.pic;
            ASSERT_EQ(MergePixels(path.c_str(), colour), mergePixels(pic, colour));
            ASSERT_EQ(readFile(path), fileOf(pic, g.file)) << std::hex << colour;
        }
        reset(g.file);
        Picture pic = g.pic;
        ASSERT_EQ(MergeBandW(path.c_str()), 0);
        mergeBandW(pic);
        ASSERT_EQ(readFile(path), fileOf(pic, g.file));
    }
}

INSTANTIATE_TEST_SUITE_P(Shapes, CensusReference, ::testing::ValuesIn(kShapes), [](const auto& info) {
    const Shape& s = info.param;
    return std::to_string(s.bits) + "bit" + std::to_string(s.width) + "x" + std::to_string(s.height) + "of" +
           std::to_string(s.stored);
});

// ---- Automatic colour translation runs ----

// A photo-like 8-bit picture as loading makes one (a smooth field plus noise,
// colours on a ramp, white, black and some colours stored twice), or a 4-bit
// one of odd width.
ByteVec photo(uint32_t bits, uint32_t width, uint32_t height, uint32_t seed) {
    std::mt19937 rng(seed);
    const uint32_t n = 1u << bits;
    std::vector<uint32_t> palette;
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t t = i * 255 / (n - 1);
        auto ramp = [&] { return rgb(uint8_t(t), uint8_t(255 - t), uint8_t(rng() % 64 + (t > 128 ? 128 : 0))); };
        palette.push_back(i % 37 == 5 ? palette[i / 2] : ramp());
    }
    palette[1] = kWhite, palette[2] = kBlack, palette[n - 2] = kWhite;
    BmpBuilder b{int32_t(width), int32_t(height), uint16_t(bits)};
    for (uint32_t i = 0; i < n; ++i) b.entry(i, palette[i]);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) {
            const uint32_t smooth =
                (x * x + 3 * x * y + 2 * y * y) * (n - 1) / (width * width + 3 * width * height + 2 * height * height);
            b.pixel(x, y, std::min(n - 1, smooth + uint32_t(rng() % (n / 8 + 2))));
        }
    return b.build();
}

uint64_t fnv1a(const ByteVec& bytes) {
    uint64_t h = 0xcbf29ce484222325u;
    for (uint8_t c : bytes) h = (h ^ c) * 0x100000001b3u;
    return h;
}

struct Translation {
    int32_t calls = 0, error = 0;
    std::vector<uint32_t> colours;
    std::vector<int32_t> percents;
};

// The dialog's loop: fold duplicate white and black; then passes, each from
// rank 1, merging every major colour in turn into the colours nearer than the
// threshold, until at most `wanted` colours besides white and black remain
// (NumColors) or the threshold passes 30000; a pass ends when FindMajorColor
// runs out of ranks (18) and the threshold grows by the speed.  Then the
// colours are collected, white and black included.
Translation translate(const std::string& path, int32_t wanted, int32_t speed) {
    const char* p = path.c_str();
    Translation t;
    auto counted = [&](int32_t result) { return ++t.calls, result; };
    uint32_t colour = 0;
    int32_t percent = 0;
    if ((t.error = counted(MergeBandW(p))) != 0) return t;
    for (int32_t threshold = speed, collect = 0; !collect; threshold += speed) {
        for (int32_t rank = 1;; ++rank) {
            const int32_t n = counted(NumColors(p, 1, 1));
            if (n < 0) return t.error = n, t;
            if ((collect = n <= wanted)) break;
            const int32_t r = counted(FindMajorColor(p, rank, 1, 1, &colour, &percent));
            if (r == PIXMILL_E_RANK) break;
            if (r != 0) return t.error = r, t;
            if ((collect = threshold > 30000)) break;
            if ((t.error = counted(MergeColors(p, colour, threshold))) != 0) return t;
        }
    }
    for (int32_t k = 1; (t.error = counted(FindMajorColor(p, k, 0, 0, &colour, &percent))) == 0; ++k)
        t.colours.push_back(colour), t.percents.push_back(percent);
    if (t.error == PIXMILL_E_RANK) t.error = 0;
    return t;
}

struct TranslationCase {
    uint32_t bits, width, height, seed;
    int32_t wanted, speed;
    // As the library has always translated this picture.
    int32_t calls;
    uint64_t fileHash;
    std::vector<uint32_t> colours;
    std::vector<int32_t> percents;
};

TEST(CensusTranslation, EndsWithTheFileCallsAndColoursItAlwaysHad) {
    const TranslationCase cases[] = {
        {8, 61, 40, 1, 5, 300, 408, 0xffe85e718b238a99,
         {0x20d82700, 0x179c6300, 0x9855aa00, 0xb724db00, 0xb100ff00, 0x00000000, 0xffffff00},
         {54, 23, 18, 2, 0, 0, 0}},
        {8, 48, 33, 2, 3, 200, 843, 0x7e57b02cce8bfdda, {0x2eae5100, 0xba5ea100, 0x8b24db00, 0x00000000},
         {78, 19, 1, 0}},
        {4, 45, 31, 3, 2, 500, 491, 0x73be8f861dbd4624, {0x38bb4400, 0x9355aa00, 0x00000000, 0xffffff00},
         {59, 20, 11, 8}},
    };
    TempDir tmp;
    const std::string path = tmp.path("tmpfile.bmp");
    for (const TranslationCase& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.bits << " bits, " << c.width << " x " << c.height << ", speed "
                                          << c.speed);
        std::filesystem::remove(path);
        writeFile(path, photo(c.bits, c.width, c.height, c.seed));
        const Translation t = translate(path, c.wanted, c.speed);
        ASSERT_EQ(t.error, 0);
        EXPECT_EQ(t.calls, c.calls);
        EXPECT_EQ(fnv1a(readFile(path)), c.fileHash);
        EXPECT_EQ(t.colours, c.colours);
        EXPECT_EQ(t.percents, c.percents);
    }
}

// The one-call translation leaves the file the calls leave, whatever the
// depth, speed and colours wanted (so does the shown run, whose last report
// draws the result from the picture as it began); a non-zero step stops it with 19.
TEST(CensusTranslation, TheOneCallRunLeavesTheFileTheCallsLeave) {
    TempDir tmp;
    const std::string calls = tmp.path("calls.bmp"), one = tmp.path("one.bmp"), shown = tmp.path("shown.bmp");
    for (uint32_t seed = 1; seed <= 4; ++seed)
        for (const auto& [wanted, speed] : {std::pair{0, 3000}, {1, 900}, {3, 300}, {9, 40}, {2, 10000}}) {
            const ByteVec picture = photo(seed % 2 ? 8 : 4, 40 + seed, 30, seed);
            writeFile(calls, picture);
            writeFile(one, picture);
            SCOPED_TRACE(::testing::Message() << "seed " << seed << ", " << wanted << " colours, speed " << speed);
            ASSERT_EQ(translate(calls, wanted, speed).error, 0);
            int32_t steps = 0;
            const auto count = [](int32_t, int32_t, void* n) { return ++*static_cast<int32_t*>(n), 0; };
            ASSERT_EQ(MergeBandW(one.c_str()), 0);
            ASSERT_EQ(TranslateColors(one.c_str(), wanted, speed, 30000, count, &steps), 0);
            EXPECT_EQ(readFile(one), readFile(calls));
            EXPECT_GT(steps, 0);

            writeFile(shown, picture);
            ASSERT_EQ(MergeBandW(shown.c_str()), 0);
            const Decoded before = decode(readFile(shown));
            std::array<uint8_t, 256> now{};  // never heard: no pixel moved
            std::iota(now.begin(), now.end(), 0);
            const auto hear = [](const uint8_t* n, void* to) { std::copy(n, n + 256, static_cast<uint8_t*>(to)); };
            ASSERT_EQ(TranslateColorsShown(shown.c_str(), wanted, speed, 30000, nullptr, hear, now.data()), 0);
            const Decoded after = decode(readFile(shown));
            EXPECT_EQ(after.bytes, readFile(calls));
            for (uint32_t y = 0; y < after.height; ++y)
                for (uint32_t x = 0; x < after.width; ++x)
                    ASSERT_EQ(now[before.at(x, y)], after.at(x, y)) << x << ", " << y;
        }
    writeFile(one, photo(8, 40, 30, 1));
    const auto stop = [](int32_t, int32_t, void*) { return int32_t{1}; };
    EXPECT_EQ(TranslateColors(one.c_str(), 1, 1, 30000, stop, nullptr), PIXMILL_E_STOPPED);
    EXPECT_EQ(TranslateColors(one.c_str(), 1, 0, 30000, nullptr, nullptr), PIXMILL_E_NOTHING);
}

// Calls make 257 ranks of 256 colours that no pass folds, and the 257th is
// out of range (17); the one-call run goes on to its next pass.
TEST(CensusTranslation, AllTwoHundredFiftySixColoursStillGetANextPass) {
    BmpBuilder b{16, 16, 8};
    for (uint32_t i = 0; i < 256; ++i) b.entry(i, rgb(uint8_t(i), uint8_t(255 - i), 99)).pixel(i % 16, i / 16, i);
    TempDir tmp;
    const std::string path = tmp.path("p.bmp");
    writeFile(path, b.build());
    EXPECT_EQ(TranslateColors(path.c_str(), 9, 1, 30000, nullptr, nullptr), 0);
    EXPECT_EQ(NumColors(path.c_str(), 1, 1), 9);
}

}  // namespace
