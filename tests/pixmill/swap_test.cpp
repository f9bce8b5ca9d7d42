// Swapping colours for printer colours, dithering them, and flashing them.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "bmp_builder.hpp"
#include "pixmill/pixmill.h"

using namespace testing_support;

namespace {

constexpr uint32_t kGrey = rgb(128, 128, 128);
constexpr uint32_t kGreen = rgb(0, 200, 0);
constexpr uint32_t kCyan = rgb(0, 255, 255);

class Swap : public InTempDir {
protected:

    static std::array<uint8_t, 4> entry(const std::string& path, uint32_t i) { return decode(readFile(path)).entry(i); }
    static std::array<uint8_t, 4> final(uint32_t colour) {
        return {uint8_t(colour >> 24), uint8_t(colour >> 16), uint8_t(colour >> 8), 1};
    }
    static std::array<uint8_t, 4> plain(uint32_t colour) {
        return {uint8_t(colour >> 24), uint8_t(colour >> 16), uint8_t(colour >> 8), 0};
    }
    static ByteVec withCountsZeroed(ByteVec v) {
        put32(v, 46, 0);
        put32(v, 50, 0);
        return v;
    }
};

// The ink layouts, written out as the printer documentation draws them:
// [stored row mod 8][column mod 8], stored row 0 at the bottom.
using Table = std::array<const char*, 8>;
const Table k75 = {"XX.XXX.X", ".XXX.XXX", "XXX.XXX.", "X.XXX.XX", "XX.XXX.X", ".XXX.XXX", "XXX.XXX.", "X.XXX.XX"};
const Table k50 = {".X.X.X.X", "X.X.X.X.", ".X.X.X.X", "X.X.X.X.", ".X.X.X.X", "X.X.X.X.", ".X.X.X.X", "X.X.X.X."};
const Table k25 = {"..X...X.", "X...X...", "...X...X", ".X...X..", "..X...X.", "X...X...", "...X...X", ".X...X.."};
const Table k37 = {"..X..X.X", "X..X..X.", ".XX..X..", "..X.X..X", "X...X.X.", "XX....X.", "...X.X.X", "X.X.X..."};

TEST_F(Swap, ColorSwapRewritesUnflaggedEntriesOnceAndLeavesPixelsAlone) {
    BmpBuilder b(3, 2, 8);
    for (uint32_t i = 4; i < 256; ++i) b.entry(i, kGreen);
    b.colours({kRed, kBlack, kWhite}).entry(3, kRed, 2).colorsUsed(3);
    b.each([](uint32_t x, uint32_t y) { return x + y; }).write(p("c.bmp"));
    const std::string c = p("c.bmp");
    ByteVec expected = readFile(c);
    put32(expected, 50, 3);
    writeFile(c, expected);

    // Absent: only the two colour-count fields change.
    ASSERT_EQ(ColorSwap(c.c_str(), kBlue, kWhite), 0);
    expected = withCountsZeroed(expected);
    EXPECT_EQ(readFile(c), expected);

    // A flag other than 1 is no flag.
    ASSERT_EQ(ColorSwap(c.c_str(), kRed, kBlack), 0);
    ASSERT_EQ(ColorSwap(c.c_str(), kBlack, kWhite), 0);
    EXPECT_EQ(entry(c, 0), final(kBlack));  // mapped once, never again
    EXPECT_EQ(entry(c, 1), final(kWhite));
    EXPECT_EQ(entry(c, 2), plain(kWhite));
    EXPECT_EQ(entry(c, 3), final(kBlack));
    // Apart from those four entries, nothing changed.
    ByteVec after = readFile(c);
    after.erase(after.begin() + 54, after.begin() + 70);
    expected.erase(expected.begin() + 54, expected.begin() + 70);
    EXPECT_EQ(after, expected);
}

TEST_F(Swap, FlashInvertsEveryEntryOfTheColourWhateverItsFlagAndTwiceRestores) {
    BmpBuilder b(2, 2, 4);
    b.colours({kGreen, kRed, rgb(100, 128, 200)}).entry(3, kRed, 1).colorsUsed(4).fill(1);
    b.write(p("f.bmp"));
    const std::string f = p("f.bmp");
    const ByteVec original = readFile(f);
    ASSERT_EQ(Flash(f.c_str(), kRed), 0);
    EXPECT_EQ(entry(f, 1), plain(kCyan));
    EXPECT_EQ(entry(f, 3), final(kCyan));
    EXPECT_EQ(entry(f, 0), plain(kGreen));
    ASSERT_EQ(Flash(f.c_str(), kCyan), 0);
    EXPECT_EQ(readFile(f), original);  // header fields too

    // 128 and above go to 0, below to 255.
    ASSERT_EQ(Flash(f.c_str(), rgb(100, 128, 200)), 0);
    EXPECT_EQ(entry(f, 2), plain(rgb(255, 0, 0)));
    EXPECT_EQ(Flash(f.c_str(), kBlue), PIXMILL_E_NOTHING);
    EXPECT_EQ(Flash(p("missing.bmp").c_str(), kRed), PIXMILL_E_OPEN);
}

TEST_F(Swap, EachPatternMatchesItsTableWithBlackOrThePaperKindsHighlight) {
    struct Case { int32_t code; const Table* table; bool highlight; };
    const Case cases[] = {{2, &k75, false}, {3, &k50, false}, {4, &k25, false}, {11, &k37, false},
                          {7, &k75, true},  {8, &k50, true},  {9, &k25, true},  {10, &k37, true}};
    for (const Case& c : cases) {
        for (int32_t paper : {1, 2, 0, 7}) {
            SCOPED_TRACE("code " + std::to_string(c.code) + ", paper " + std::to_string(paper));
            // The right-hand column keeps another colour; flagged white and
            // ink entries at 5 and 6 are found, not made again.
            BmpBuilder b(17, 16, 8);
            for (uint32_t i = 0; i < 256; ++i) b.entry(i, kGreen);
            const uint32_t ink = !c.highlight ? kBlack : paper == 2 ? kBlue : kRed;
            b.entry(0, kGrey).entry(1, kWhite).entry(5, kWhite, 1).entry(6, ink, 1);
            b.each([](uint32_t x, uint32_t) { return x == 16 ? 1u : 0u; }).write(p("t.bmp"));
            ASSERT_EQ(DitheredColorSwap(p("t.bmp").c_str(), kGrey, c.code, paper), 0);
            Decoded out = decode(readFile(p("t.bmp")));
            EXPECT_EQ(out.entry(2), plain(kGreen));  // nothing made
            for (uint32_t y = 0; y < 16; ++y) {
                for (uint32_t x = 0; x < 17; ++x) {
                    uint32_t want = x == 16 ? 1u : (*c.table)[y % 8][x % 8] == 'X' ? 6u : 5u;
                    ASSERT_EQ(out.at(x, y), want) << x << "," << y;
                }
            }
        }
    }
    // A made highlight entry has the paper's colour.
    for (int32_t paper : {2, 1}) {
        BmpBuilder(4, 4, 4).colours({kGrey, kGreen, kGreen, kGreen}).fill(0).write(p("h.bmp"));
        ASSERT_EQ(DitheredColorSwap(p("h.bmp").c_str(), kGrey, 8, paper), 0);
        EXPECT_EQ(entry(p("h.bmp"), 1), final(kWhite));
        EXPECT_EQ(entry(p("h.bmp"), 2), final(paper == 2 ? kBlue : kRed));
    }
}

// Refusals that come before any pixel changes leave the file as it was.
TEST_F(Swap, RefusalsLeaveTheFileAsItWas) {
    BmpBuilder unknown(4, 2, 8), full(16, 16, 8);
    for (uint32_t i = 0; i < 256; ++i) unknown.entry(i, kGreen), full.entry(i, rgb(uint8_t(i), 0, 0));
    unknown.entry(0, kGrey).colorsUsed(1).fill(0);
    const struct {
        const char* name;
        ByteVec picture;
        uint32_t colour;
        std::vector<int32_t> codes;
    } cases[] = {
        {"unknown codes", unknown.build(), kGrey, {5, 6, 1, 0, 12, -3}},
        {"every entry used, none white", full.each([](uint32_t x, uint32_t y) { return y * 16 + x; }).build(),
         rgb(5, 0, 0), {3}},
        {"a flagged white, but no room for the highlight",
         BmpBuilder(4, 4, 4).colours({kGrey, kWhite}).entry(1, kWhite, 1)
             .each([](uint32_t x, uint32_t y) { return (y * 4 + x) % 16; }).build(), kGrey, {8}},
        {"both entries of a 1-bit picture used",
         BmpBuilder(9, 2, 1).colours({kBlack, kWhite}).each([](uint32_t x, uint32_t) { return x % 2; }).build(),
         kBlack, {3}},
    };
    for (const auto& c : cases)
        for (int32_t code : c.codes) {
            writeFile(p("t.bmp"), c.picture);
            EXPECT_EQ(DitheredColorSwap(p("t.bmp").c_str(), c.colour, code, 1), PIXMILL_E_NOTHING) << c.name << code;
            EXPECT_EQ(readFile(p("t.bmp")), c.picture) << c.name << ", code " << code;
        }
    EXPECT_EQ(DitheredColorSwap(p("missing.bmp").c_str(), kGrey, 3, 1), PIXMILL_E_OPEN);

    // Code 3 also makes black before it finds no grey left to dither.
    unknown.write(p("u.bmp"));
    EXPECT_EQ(DitheredColorSwap(p("u.bmp").c_str(), kBlue, 3, 1), PIXMILL_E_NOTHING);
    EXPECT_EQ(entry(p("u.bmp"), 1), final(kWhite));
    EXPECT_EQ(entry(p("u.bmp"), 2), final(kBlack));
    // An unused 1-bit entry may become white, but a third entry for the ink does not exist.
    BmpBuilder(9, 2, 1).colours({kRed, kGrey}).fill(0).write(p("r.bmp"));
    EXPECT_EQ(DitheredColorSwap(p("r.bmp").c_str(), kRed, 4, 1), PIXMILL_E_NOTHING);
    Decoded out = decode(readFile(p("r.bmp")));
    EXPECT_EQ(out.entry(0), plain(kRed));
    EXPECT_EQ(out.entry(1), final(kWhite));
    for (uint32_t x = 0; x < 9; ++x) EXPECT_EQ(out.at(x, 0), 0u);
}

// The made white and black take the checkerboard, white at the bottom left.
TEST_F(Swap, FourBitOddWidthRewritesOnlyItsOwnNibbles) {
    BmpBuilder b(5, 3, 4);
    b.colours({kGrey, kGreen, kGreen, kGreen}).colorsUsed(4);
    b.each([](uint32_t x, uint32_t y) { return x == 2 && y == 1 ? 1u : 0u; });
    ByteVec v = b.build();
    const uint32_t pixels = get32(v, 10);
    for (uint32_t y = 0; y < 3; ++y) v[pixels + 4 * y + 2] |= 0x0F;  // padding nibble after the fifth pixel
    writeFile(p("n.bmp"), v);
    ASSERT_EQ(DitheredColorSwap(p("n.bmp").c_str(), kGrey, 3, 1), 0);
    Decoded out = decode(readFile(p("n.bmp")));
    EXPECT_EQ(out.entry(2), final(kWhite));  // entry 1 is used by a pixel
    EXPECT_EQ(out.entry(3), final(kBlack));
    for (uint32_t y = 0; y < 3; ++y) {
        for (uint32_t x = 0; x < 5; ++x)
            EXPECT_EQ(out.at(x, y), x == 2 && y == 1 ? 1u : (x + y) % 2 ? 3u : 2u) << x << "," << y;
        EXPECT_EQ(out.bytes[pixels + 4 * y + 2] & 0x0F, 0x0F);
    }
    EXPECT_EQ(out.entry(0), plain(kGrey));  // the source entry keeps its colour
    EXPECT_EQ(get32(out.bytes, 46), 0u);
    // Nothing is left to match: the entry's pixels are gone, but it is still unflagged grey.
    EXPECT_EQ(DitheredColorSwap(p("n.bmp").c_str(), kGrey, 3, 1), 0);
    EXPECT_EQ(readFile(p("n.bmp")), out.bytes);
}

TEST_F(Swap, ShortPaletteIsNeverWrittenOverPixels) {
    // Two of 256 entries stored, both used; pixel bytes follow at once and
    // index 200 has no entry (it shows as black).
    const uint32_t rows[2][4] = {{0, 1, 200, 0}, {200, 0, 1, 200}};
    auto pixel = [&](uint32_t x, uint32_t y) { return rows[y][x]; };
    BmpBuilder b(4, 2, 8);
    b.colours({kGrey, kRed}).storedEntries(2).colorsUsed(2).each(pixel).write(p("s.bmp"));
    const std::string s = p("s.bmp");
    const ByteVec original = readFile(s);
    EXPECT_EQ(DitheredColorSwap(s.c_str(), kGrey, 3, 1), PIXMILL_E_NOTHING);
    EXPECT_EQ(readFile(s), original);
    EXPECT_EQ(Flash(s.c_str(), kBlack), PIXMILL_E_NOTHING);
    EXPECT_EQ(readFile(s), original);
    ASSERT_EQ(ColorSwap(s.c_str(), kBlack, kWhite), 0);
    EXPECT_EQ(readFile(s), withCountsZeroed(original));

    // With two spare stored entries, white and black go there; the pixels of
    // index 200 are black to the eye and are dithered as black.
    BmpBuilder b4(4, 2, 8);
    b4.colours({kGrey, kRed, kGreen, kGreen}).storedEntries(4);
    b4.each(pixel).write(p("s4.bmp"));
    const std::string s4 = p("s4.bmp");
    const size_t size = readFile(s4).size();
    ASSERT_EQ(DitheredColorSwap(s4.c_str(), kGrey, 3, 1), 0);
    ASSERT_EQ(DitheredColorSwap(s4.c_str(), kBlack, 4, 1), 0);
    Decoded out = decode(readFile(s4));
    EXPECT_EQ(out.bytes.size(), size);
    EXPECT_EQ(out.entry(2), final(kWhite));
    EXPECT_EQ(out.entry(3), final(kBlack));
    // Grey took the checkerboard, index 200 the 25 % layout; red stays.
    const uint32_t dithered[2][4] = {{2, 1, 3, 3}, {3, 2, 1, 2}};
    for (uint32_t y = 0; y < 2; ++y)
        for (uint32_t x = 0; x < 4; ++x) EXPECT_EQ(out.at(x, y), dithered[y][x]) << x << "," << y;
    // No pixel shows an unstored index any more, and the stored black is flagged.
    EXPECT_EQ(DitheredColorSwap(s4.c_str(), kBlack, 4, 1), PIXMILL_E_NOTHING);
}

}  // namespace
