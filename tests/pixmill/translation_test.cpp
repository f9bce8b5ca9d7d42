// Automatic colour translation runs, by calls and in one call, pinned to the
// results the library has always given.
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
