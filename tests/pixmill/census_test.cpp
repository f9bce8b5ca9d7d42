// Counting, ranking and merging the colours of palette bitmaps.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "bmp_builder.hpp"
#include "pixmill/pixmill.h"

using namespace testing_support;

namespace {

class Census : public InTempDir {
protected:

    // Stored rows of an 8-bit (or 4-bit) picture, bottom row first.
    static std::vector<std::vector<uint32_t>> rowsOf(const std::string& path) {
        Decoded d = decode(readFile(path));
        std::vector<std::vector<uint32_t>> rows(d.height, std::vector<uint32_t>(d.width));
        for (uint32_t y = 0; y < d.height; ++y)
            for (uint32_t x = 0; x < d.width; ++x) rows[y][x] = d.at(x, y);
        return rows;
    }
};

constexpr uint32_t kGreen = rgb(0, 200, 0);

// A picture whose pixels all have one index has one colour, whichever index it
// is, at every depth, in whole bytes and in a row's last bits alike.
TEST_F(Census, AllPixelsOfOneIndexAreOneColour) {
    for (uint16_t bits : {1, 4, 8})
        for (uint32_t index : {0u, (1u << bits) - 1})
            for (int32_t width : {16, 19}) {
                BmpBuilder b(width, 3, bits);
                for (uint32_t i = 0; i < (1u << bits); ++i) b.entry(i, rgb(uint8_t(i), uint8_t(255 - i), 7));
                b.each([&](uint32_t, uint32_t) { return index; }).write(p("one.bmp"));
                EXPECT_EQ(NumColors(p("one.bmp").c_str(), 0, 0), 1) << bits << " bits, index " << index << ", " << width;
            }
}

TEST_F(Census, DuplicateEntriesAreOneColourAndRanksFollowTheExchangeSort) {
    // 10 x 10: red stored twice (30 + 20 pixels), black 25, white 25.
    BmpBuilder b(10, 10, 8);
    b.entry(0, kBlack).entry(1, kRed).entry(2, kWhite).entry(3, kRed).entry(4, kGreen);
    b.each([](uint32_t x, uint32_t y) {
        uint32_t n = y * 10 + x;
        return n < 30 ? 1u : n < 50 ? 3u : n < 75 ? 0u : 2u;
    });
    b.write(p("a.bmp"));
    const std::string a = p("a.bmp");
    EXPECT_EQ(NumColors(a.c_str(), 0, 0), 3);
    EXPECT_EQ(NumColors(a.c_str(), 1, 0), 2);
    EXPECT_EQ(NumColors(a.c_str(), 0, 1), 2);
    EXPECT_EQ(NumColors(a.c_str(), 1, 1), 1);

    uint32_t colour = 1;
    int32_t percent = -1;
    ASSERT_EQ(FindMajorColor(a.c_str(), 1, 0, 0, &colour, &percent), 0);
    EXPECT_EQ(colour, kRed);
    EXPECT_EQ(percent, 50);
    // Black and white have equal counts: the lower index ranks first.
    ASSERT_EQ(FindMajorColor(a.c_str(), 2, 0, 0, &colour, &percent), 0);
    EXPECT_EQ(colour, kBlack);
    EXPECT_EQ(percent, 25);
    ASSERT_EQ(FindMajorColor(a.c_str(), 3, 0, 0, &colour, &percent), 0);
    EXPECT_EQ(colour, kWhite);
    ASSERT_EQ(FindMajorColor(a.c_str(), 2, 1, 0, &colour, &percent), 0);
    EXPECT_EQ(colour, kBlack);

    // Counts 5 (index 0), 5 (index 1), 10 (index 2): the first exchange
    // carries index 0 behind index 1, and equal counts are not exchanged back.
    BmpBuilder(4, 5, 8).colours({kGreen, kRed, kBlue})
        .each([](uint32_t x, uint32_t y) {
            uint32_t n = y * 4 + x;
            return n < 10 ? 2u : n % 2 ? 0u : 1u;
        })
        .write(p("tie.bmp"));
    ASSERT_EQ(FindMajorColor(p("tie.bmp").c_str(), 1, 0, 0, &colour, &percent), 0);
    EXPECT_EQ(colour, kBlue);
    ASSERT_EQ(FindMajorColor(p("tie.bmp").c_str(), 2, 0, 0, &colour, &percent), 0);
    EXPECT_EQ(colour, kRed);
    ASSERT_EQ(FindMajorColor(p("tie.bmp").c_str(), 3, 0, 0, &colour, &percent), 0);
    EXPECT_EQ(colour, kGreen);
    EXPECT_EQ(percent, 25);
}

TEST_F(Census, IgnoredColoursAndRanksBeyondTheColoursAreRefusedWithoutTouchingTheOutArguments) {
    BmpBuilder(9, 3, 1).colours({kWhite, kBlack}).each([](uint32_t x, uint32_t) { return x % 2; }).write(p("bw.bmp"));
    const std::string bw = p("bw.bmp");
    const ByteVec before = readFile(bw);
    EXPECT_EQ(NumColors(bw.c_str(), 1, 1), 0);
    uint32_t colour = 0x12345678;
    int32_t percent = 77;
    EXPECT_EQ(FindMajorColor(bw.c_str(), 1, 1, 1, &colour, &percent), PIXMILL_E_RANK);
    EXPECT_EQ(FindMajorColor(bw.c_str(), 3, 0, 0, &colour, &percent), PIXMILL_E_RANK);
    EXPECT_EQ(FindMajorColor(bw.c_str(), 256, 0, 0, &colour, &percent), PIXMILL_E_RANK);
    EXPECT_EQ(FindMajorColor(bw.c_str(), 0, 0, 0, &colour, &percent), PIXMILL_E_NOTHING);
    EXPECT_EQ(FindMajorColor(bw.c_str(), 257, 0, 0, &colour, &percent), PIXMILL_E_NOTHING);
    EXPECT_EQ(FindMajorColor(bw.c_str(), -1, 0, 0, &colour, &percent), PIXMILL_E_NOTHING);
    EXPECT_EQ(colour, 0x12345678u);
    EXPECT_EQ(percent, 77);
    EXPECT_EQ(readFile(bw), before);

    // Missing out-arguments are simply not written.
    EXPECT_EQ(FindMajorColor(bw.c_str(), 2, 0, 0, nullptr, nullptr), 0);
    EXPECT_EQ(FindMajorColor(bw.c_str(), 1, 0, 0, &colour, nullptr), 0);
    EXPECT_EQ(colour, kWhite);  // 15 white (even columns) against 12 black

    EXPECT_EQ(NumColors(p("missing.bmp").c_str(), 0, 0), -1);
    EXPECT_EQ(FindMajorColor(p("missing.bmp").c_str(), 1, 0, 0, &colour, &percent), PIXMILL_E_OPEN);
    BmpBuilder(2, 2, 24).write(p("true.bmp"));
    EXPECT_EQ(NumColors(p("true.bmp").c_str(), 0, 0), -1);
    EXPECT_EQ(FindMajorColor(p("true.bmp").c_str(), 1, 0, 0, &colour, &percent), PIXMILL_E_FORMAT);
    EXPECT_EQ(colour, kWhite);
}

TEST_F(Census, PercentageIsTruncatedOverEveryPixelEvenWhenWhiteIsIgnored) {
    BmpBuilder(100, 100, 8).colours({kWhite, kGreen})
        .each([](uint32_t x, uint32_t y) { return y * 100 + x < 3333 ? 1u : 0u; })
        .write(p("g.bmp"));
    uint32_t colour = 0;
    int32_t percent = 0;
    ASSERT_EQ(FindMajorColor(p("g.bmp").c_str(), 1, 1, 0, &colour, &percent), 0);
    EXPECT_EQ(colour, kGreen);
    EXPECT_EQ(percent, 33);
    ASSERT_EQ(FindMajorColor(p("g.bmp").c_str(), 1, 0, 0, &colour, &percent), 0);
    EXPECT_EQ(colour, kWhite);
    EXPECT_EQ(percent, 66);

    // 4 bits with an odd width: the last pixel of each row is a high nibble.
    BmpBuilder(5, 2, 4).colours({kWhite, kGreen, kRed})
        .each([](uint32_t x, uint32_t) { return x == 4 ? 2u : x % 2; })
        .write(p("odd.bmp"));
    ASSERT_EQ(FindMajorColor(p("odd.bmp").c_str(), 3, 0, 0, &colour, &percent), 0);
    EXPECT_EQ(colour, kRed);
    EXPECT_EQ(percent, 20);
}

TEST_F(Census, MergeColorsFoldsEntriesStrictlyNearerThanTheThreshold) {
    const uint32_t near = rgb(250, 0, 0);  // 25 from red
    const uint32_t far = rgb(240, 0, 0);   // 225 from red
    BmpBuilder b(6, 2, 8);
    b.colours({kBlack, kWhite, kRed, near, far, rgb(250, 5, 5), kRed}).colorsUsed(7);
    // Row 0: black white red near far (250,5,5); row 1: red(6) near far red far near.
    const uint32_t rows[2][6] = {{0, 1, 2, 3, 4, 5}, {6, 3, 4, 2, 4, 3}};
    b.each([&](uint32_t x, uint32_t y) { return rows[y][x]; });
    b.write(p("m.bmp"));
    const ByteVec original = readFile(p("m.bmp"));
    const std::string m = p("m.bmp");

    // Nothing is below a threshold of 0, but the colour is there.
    ASSERT_EQ(MergeColors(m.c_str(), kRed, 0), 0);
    ByteVec expected = original;
    put32(expected, 46, 0);
    EXPECT_EQ(readFile(m), expected);
    // 25 keeps the entry exactly 25 away, but takes the second red (0 away).  From 26 on, red being stored
    // twice, index 2 absorbs the near colours and index 6, then index 6 everything index 2 holds by then.
    // However near, and whatever the threshold (a negative one reads as huge), white and black keep their pixels.
    const struct {
        uint32_t colour;
        int32_t threshold;
        std::vector<std::vector<uint32_t>> rows;
    } cases[] = {
        {kRed, 25, {{0, 1, 6, 3, 4, 5}, {6, 3, 4, 6, 4, 3}}},
        {kRed, 26, {{0, 1, 6, 6, 4, 5}, {6, 6, 4, 6, 4, 6}}},
        {kRed, 226, {{0, 1, 6, 6, 6, 6}, {6, 6, 6, 6, 6, 6}}},
        {near, -1, {{0, 1, 3, 3, 3, 3}, {3, 3, 3, 3, 3, 3}}},
    };
    for (const auto& c : cases) {
        writeFile(m, original);
        ASSERT_EQ(MergeColors(m.c_str(), c.colour, c.threshold), 0);
        EXPECT_EQ(rowsOf(m), c.rows) << c.threshold;
    }
    EXPECT_EQ(MergeColors(m.c_str(), rgb(250, 250, 250), -1), PIXMILL_E_NOTHING);

    // An absent colour is refused after the two header fields were cleared.
    writeFile(m, original);
    EXPECT_EQ(MergeColors(m.c_str(), kBlue, 1000), PIXMILL_E_NOTHING);
    EXPECT_EQ(readFile(m), expected);
    EXPECT_EQ(MergeColors(p("missing.bmp").c_str(), kRed, 10), PIXMILL_E_OPEN);
}

TEST_F(Census, MergeBandWFoldsDuplicatesOntoTheHighestWhiteAndBlackIndex) {
    BmpBuilder b(7, 1, 8);
    for (uint32_t i = 7; i < 256; ++i) b.entry(i, rgb(9, 9, 9));  // unset entries would be black
    b.colours({kWhite, kBlack, kWhite, kRed, kBlack, kWhite, kGreen}).colorsUsed(7);
    b.each([](uint32_t x, uint32_t) { return x; }).write(p("bw.bmp"));
    ByteVec expected = readFile(p("bw.bmp"));
    ASSERT_EQ(MergeBandW(p("bw.bmp").c_str()), 0);
    Decoded d = decode(expected);
    const uint32_t folded[7] = {5, 4, 5, 3, 4, 5, 6};
    for (uint32_t x = 0; x < 7; ++x) expected[d.pixelOffset + x] = uint8_t(folded[x]);
    EXPECT_EQ(readFile(p("bw.bmp")), expected);  // header and palette untouched

    // Only black present: white pixels have nowhere to go; 1-bit duplicates fold too.
    BmpBuilder(9, 2, 1).colours({kBlack, kBlack}).each([](uint32_t x, uint32_t) { return x % 2; }).write(p("1.bmp"));
    ASSERT_EQ(MergeBandW(p("1.bmp").c_str()), 0);
    for (const auto& row : rowsOf(p("1.bmp"))) EXPECT_EQ(row, std::vector<uint32_t>(9, 1));
    BmpBuilder(3, 1, 4).colours({kRed, kGreen}).each([](uint32_t x, uint32_t) { return x % 2; }).write(p("4.bmp"));
    ByteVec none = readFile(p("4.bmp"));
    ASSERT_EQ(MergeBandW(p("4.bmp").c_str()), 0);
    EXPECT_EQ(readFile(p("4.bmp")), none);
}

TEST_F(Census, MergePixelsTakesTheFirstDifferingNeighbourColumnByColumnInPlace) {
    // Stored rows, bottom first.  Index 1 is the colour; the bottom-left pixel
    // has only index-1 neighbours and keeps it.  The middle pixel of row 1
    // sees its left neighbour's new index, not the original one.
    const uint32_t grid[3][4] = {{1, 1, 3, 1}, {1, 1, 1, 1}, {2, 1, 1, 1}};
    BmpBuilder b(4, 3, 8);
    b.colours({kBlack, kRed, kGreen, kBlue}).each([&](uint32_t x, uint32_t y) { return grid[y][x]; });
    b.write(p("n.bmp"));
    ASSERT_EQ(MergePixels(p("n.bmp").c_str(), kRed), 0);
    EXPECT_EQ(rowsOf(p("n.bmp")), (std::vector<std::vector<uint32_t>>{{1, 3, 3, 3}, {2, 2, 3, 3}, {2, 2, 2, 3}}));

    // Same on 4 bits.
    BmpBuilder b4(4, 3, 4);
    b4.colours({kBlack, kRed, kGreen, kBlue}).each([&](uint32_t x, uint32_t y) { return grid[y][x]; });
    b4.write(p("n4.bmp"));
    ASSERT_EQ(MergePixels(p("n4.bmp").c_str(), kRed), 0);
    EXPECT_EQ(rowsOf(p("n4.bmp")), rowsOf(p("n.bmp")));

    BmpBuilder(5, 4, 8).colours({kBlack, kRed}).fill(1).write(p("same.bmp"));
    ByteVec same = readFile(p("same.bmp"));
    ASSERT_EQ(MergePixels(p("same.bmp").c_str(), kRed), 0);
    EXPECT_EQ(readFile(p("same.bmp")), same);
    EXPECT_EQ(MergePixels(p("same.bmp").c_str(), kGreen), PIXMILL_E_NOTHING);
    EXPECT_EQ(readFile(p("same.bmp")), same);
}

TEST_F(Census, ShortPaletteCountsUnstoredIndicesAsBlackAndNeverMovesPixelsOntoThem) {
    // Four of 256 entries stored, the pixels right behind them; index 200 has
    // no entry and shows as black.
    BmpBuilder b(4, 2, 8);
    b.colours({kWhite, kRed, kBlack, kRed}).storedEntries(4);
    const uint32_t rows[2][4] = {{0, 1, 200, 3}, {200, 2, 1, 0}};
    b.each([&](uint32_t x, uint32_t y) { return rows[y][x]; }).write(p("s.bmp"));
    const std::string s = p("s.bmp");
    const ByteVec original = readFile(s);
    EXPECT_EQ(NumColors(s.c_str(), 0, 0), 3);
    uint32_t colour = 1;
    int32_t percent = 0;
    ASSERT_EQ(FindMajorColor(s.c_str(), 1, 0, 0, &colour, &percent), 0);
    EXPECT_EQ(colour, kRed);
    ASSERT_EQ(FindMajorColor(s.c_str(), 2, 0, 0, &colour, &percent), 0);
    EXPECT_EQ(colour, kBlack);  // one stored black pixel and two of index 200
    EXPECT_EQ(percent, 37);

    ASSERT_EQ(MergeBandW(s.c_str()), 0);
    EXPECT_EQ(rowsOf(s), (std::vector<std::vector<uint32_t>>{{0, 1, 2, 3}, {2, 2, 1, 0}}));
    writeFile(s, original);
    EXPECT_EQ(MergeColors(s.c_str(), kBlack, 100), 0);  // black is never merged into
    ASSERT_EQ(MergeColors(s.c_str(), kRed, 100), 0);
    EXPECT_EQ(rowsOf(s), (std::vector<std::vector<uint32_t>>{{0, 3, 200, 3}, {200, 2, 3, 0}}));
    writeFile(s, original);
    ASSERT_EQ(MergePixels(s.c_str(), kBlack), 0);
    EXPECT_EQ(rowsOf(s), (std::vector<std::vector<uint32_t>>{{0, 1, 1, 3}, {0, 0, 1, 0}}));
    // The palette bytes stay exactly as stored.
    const ByteVec after = readFile(s);
    EXPECT_EQ(ByteVec(after.begin() + 54, after.begin() + 70), ByteVec(original.begin() + 54, original.begin() + 70));

    // Black stored once: near-black pixels go to it, not to the unstored
    // indices that also read as black.
    BmpBuilder(4, 1, 8).colours({kBlack, rgb(4, 4, 4), kWhite}).storedEntries(3)
        .each([](uint32_t x, uint32_t) { return x == 2 ? 2u : x % 2; }).write(p("k.bmp"));
    ASSERT_EQ(MergeColors(p("k.bmp").c_str(), kBlack, 100), 0);
    EXPECT_EQ(rowsOf(p("k.bmp")), (std::vector<std::vector<uint32_t>>{{0, 0, 2, 0}}));
    // No black stored and no pixel showing an unstored index: no black at all.
    BmpBuilder(4, 1, 8).colours({rgb(4, 4, 4), kWhite}).storedEntries(2)
        .each([](uint32_t x, uint32_t) { return x % 2; }).write(p("nk.bmp"));
    EXPECT_EQ(MergePixels(p("nk.bmp").c_str(), kBlack), PIXMILL_E_NOTHING);
    EXPECT_EQ(MergeColors(p("nk.bmp").c_str(), kBlack, 100), PIXMILL_E_NOTHING);
}

}  // namespace
