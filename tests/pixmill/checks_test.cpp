// Opening, checking, copying and cleaning bitmaps.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "bmp_builder.hpp"
#include "pixmill/pixmill.h"

using namespace testing_support;

namespace {

class Checks : public InTempDir {};

TEST_F(Checks, SignatureAloneMakesABitmapButCompressionIsRefusedElsewhere) {
    BmpBuilder(4, 4, 8).compression(1).write(p("rle.bmp"));
    EXPECT_EQ(IsBitmap(p("rle.bmp").c_str()), 1);
    EXPECT_EQ(CleanBMP(p("rle.bmp").c_str()), PIXMILL_E_FORMAT);
    writeFile(p("text.bmp"), ByteVec{'B', 'M'});
    EXPECT_EQ(IsBitmap(p("text.bmp").c_str()), 1);
    writeFile(p("png.bmp"), ByteVec{0x89, 'P', 'N', 'G'});
    EXPECT_EQ(IsBitmap(p("png.bmp").c_str()), 0);
    EXPECT_EQ(IsBitmap(p("missing.bmp").c_str()), 0);
    writeFile(p("empty.bmp"), {});
    EXPECT_EQ(IsBitmap(p("empty.bmp").c_str()), 0);
    EXPECT_EQ(CleanBMP(p("empty.bmp").c_str()), PIXMILL_E_MAP);
}

TEST_F(Checks, Is24BitsAcceptsLargeHeadersAndTopDownButNotPalettes) {
    BmpBuilder(3, 2, 24).write(p("plain.bmp"));
    BmpBuilder(3, 2, 24).headerSize(124).topDown().write(p("v5.bmp"));
    BmpBuilder(3, 2, 8).write(p("pal.bmp"));
    BmpBuilder(3, 2, 24).compression(3).write(p("bitfields.bmp"));
    EXPECT_EQ(Is24BitsPerPixel(p("plain.bmp").c_str()), 1);
    EXPECT_EQ(Is24BitsPerPixel(p("v5.bmp").c_str()), 1);
    EXPECT_EQ(Is24BitsPerPixel(p("pal.bmp").c_str()), 0);
    EXPECT_EQ(Is24BitsPerPixel(p("bitfields.bmp").c_str()), 0);
}

TEST_F(Checks, AFileHeldByAnotherUserIsRefused) {
    BmpBuilder(2, 2, 24).write(p("a.bmp"));
    BmpBuilder(2, 2, 8).write(p("b.bmp"));
    HeldOpen holdA(p("a.bmp"));
    HeldOpen holdB(p("b.bmp"));
    EXPECT_EQ(IsBitmap(p("a.bmp").c_str()), 0);
    EXPECT_EQ(Is24BitsPerPixel(p("a.bmp").c_str()), 0);
    EXPECT_EQ(CleanBMP(p("b.bmp").c_str()), PIXMILL_E_OPEN);
    EXPECT_EQ(SaveBMP(p("b.bmp").c_str(), p("c.bmp").c_str()), PIXMILL_E_OPEN);
}

TEST_F(Checks, SaveBmpCopiesAnyFileExactly) {
    ByteVec big(25003);
    for (size_t i = 0; i < big.size(); ++i) big[i] = uint8_t(i * 7);
    writeFile(p("big.bin"), big);
    writeFile(p("empty.bin"), {});
    writeFile(p("old.bin"), ByteVec(50000, 1));
    EXPECT_EQ(SaveBMP(p("big.bin").c_str(), p("old.bin").c_str()), 0);
    EXPECT_EQ(readFile(p("old.bin")), big);  // replaced, not overwritten in part
    EXPECT_EQ(SaveBMP(p("empty.bin").c_str(), p("copy.bin").c_str()), 0);
    EXPECT_TRUE(readFile(p("copy.bin")).empty());
    EXPECT_EQ(SaveBMP(p("missing.bin").c_str(), p("x.bin").c_str()), PIXMILL_E_OPEN);
}

TEST_F(Checks, CleanBmpClearsEveryFlagAndNothingElse) {
    BmpBuilder b(5, 3, 4);
    for (uint32_t i = 0; i < 16; ++i) b.entry(i, rgb(uint8_t(i), 2, 3), 1);
    b.each([](uint32_t x, uint32_t y) { return (x + y) % 16; }).write(p("f.bmp"));
    ByteVec before = readFile(p("f.bmp"));
    ASSERT_EQ(CleanBMP(p("f.bmp").c_str()), 0);
    ByteVec after = readFile(p("f.bmp"));
    for (size_t i = 0; i < 16; ++i) before[54 + 4 * i + 3] = 0;
    EXPECT_EQ(after, before);

    BmpBuilder(2, 2, 24).write(p("t.bmp"));
    ByteVec t = readFile(p("t.bmp"));
    EXPECT_EQ(CleanBMP(p("t.bmp").c_str()), PIXMILL_E_FORMAT);
    EXPECT_EQ(readFile(p("t.bmp")), t);
}

TEST_F(Checks, ShortPaletteIsNeverWrittenOverPixels) {
    // Two of 256 entries stored, pixels right behind them.
    BmpBuilder(4, 1, 8).entry(0, kBlack, 1).entry(1, kWhite, 1).storedEntries(2).fill(0x77).write(p("s.bmp"));
    ByteVec before = readFile(p("s.bmp"));
    ASSERT_EQ(CleanBMP(p("s.bmp").c_str()), 0);
    ByteVec after = readFile(p("s.bmp"));
    EXPECT_EQ(after.size(), before.size());
    EXPECT_EQ(after[57], 0);
    EXPECT_EQ(after[61], 0);
    EXPECT_EQ(ByteVec(after.begin() + 62, after.end()), ByteVec(before.begin() + 62, before.end()));
}

TEST_F(Checks, IsRbwBitmapZeroesTheColourCountsAndAnswersZero) {
    BmpBuilder(2, 2, 1).colours({kBlack, rgb(0, 200, 0)}).colorsUsed(2).fill(1).write(p("g.bmp"));
    ByteVec v = readFile(p("g.bmp"));
    put32(v, 50, 2);
    writeFile(p("g.bmp"), v);
    EXPECT_EQ(IsRBWBitmap(p("g.bmp").c_str()), 0);
    ByteVec after = readFile(p("g.bmp"));
    EXPECT_EQ(get32(after, 46), 0u);
    EXPECT_EQ(get32(after, 50), 0u);
}

// Further lies (a header past the end, pixels inside it, odd depths) are
// told apart by the diagnosis, through the same reader.
TEST_F(Checks, HeadersThatLieAboutTheirSizeAreRefusedWithoutReadingPastTheEnd) {
    const ByteVec good = BmpBuilder(16, 16, 8).build();
    struct Case { const char* name; size_t at; uint32_t value; };
    const Case cases[] = {
        {"pixel offset beyond the end", 10, 0x7FFFFFF0},
        {"width overflows the stride", 18, 0x7FFFFFFF},
        {"height past the data", 22, 17},
        {"absurd height", 22, 0x40000000},
    };
    for (const Case& c : cases) {
        ByteVec v = good;
        put32(v, c.at, c.value);
        writeFile(p("bad.bmp"), v);
        EXPECT_EQ(CleanBMP(p("bad.bmp").c_str()), PIXMILL_E_FORMAT) << c.name;
    }
}

}  // namespace
