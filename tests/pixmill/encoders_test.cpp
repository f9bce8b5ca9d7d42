// Graphics and logo files, and the control-byte scrub.
#include <filesystem>

#include <gtest/gtest.h>

#include "bmp_builder.hpp"
#include "pixmill/pixmill.h"
#include "read_faults.hpp"

using namespace testing_support;

namespace {

class Encoders : public InTempDir {};

// Black | red | white thirds, the bottom stored row all red.
BmpBuilder thirds(int32_t w, int32_t h, uint32_t highlight) {
    BmpBuilder b(w, h, 8);
    b.colours({kBlack, highlight, kWhite, rgb(1, 2, 3)});
    b.each([w](uint32_t x, uint32_t y) { return y == 0 ? 1u : (x * 3 / uint32_t(w)); });
    return b;
}

bool bit(const ByteVec& v, size_t at, uint32_t x) { return (v[at + x / 8] >> (7 - x % 8)) & 1; }

// Graphics records and logo rows hold the ink plane, then the black plane;
// the logo is padded with zero rows to whole bands of 8.
TEST_F(Encoders, TwoColourPicturesGiveInkThenBlackPlanes) {
    for (uint32_t highlight : {kRed, kBlue}) {
        const int32_t paper = highlight == kRed ? 1 : 2;
        thirds(100, 10, highlight).write(p("s.bmp"));
        ASSERT_EQ(SaveBMPAsGfx(p("s.bmp").c_str(), p("s.gfx").c_str(), paper), 0);
        ASSERT_EQ(SaveBMPAsLogo(p("s.bmp").c_str(), p("s.lgo").c_str(), paper), 0);
        const ByteVec g = readFile(p("s.gfx")), l = readFile(p("s.lgo"));
        ASSERT_EQ(g.size(), 10u * 146);
        ASSERT_EQ(l.size(), 5u + 13 * 2 * 16);
        EXPECT_EQ(ByteVec(l.begin(), l.begin() + 5), (ByteVec{0x1D, 0x84, 2, 13, 2}));
        for (uint32_t row = 0; row < 16; ++row) {  // rows go top first
            const size_t rec = row * 146, lrow = 5 + row * 26;
            if (row < 10) {
                EXPECT_EQ(g[rec], 0x1D);
                EXPECT_EQ(g[rec + 1], 0x83);
            }
            for (uint32_t x = 0; x < (row < 10 ? 576u : 104u); ++x) {
                const bool real = row < 10 && x < 100, bottom = row == 9, black = real && !bottom && x * 3 / 100 == 0;
                const bool ink = real && (bottom || x * 3 / 100 < 2);
                if (row < 10) {
                    EXPECT_EQ(bit(g, rec + 2, x), ink) << row << "," << x;
                    EXPECT_EQ(bit(g, rec + 74, x), black) << row << "," << x;
                }
                if (x < 104) {
                    EXPECT_EQ(bit(l, lrow, x), ink) << row << "," << x;
                    EXPECT_EQ(bit(l, lrow + 13, x), black) << row << "," << x;
                }
            }
        }
    }
}

TEST_F(Encoders, UnusedColourEntriesDoNotMakeAPictureTwoColour) {
    BmpBuilder(9, 2, 4).colours({kRed, kBlack, kBlue, kWhite, rgb(9, 9, 9)})
        .each([](uint32_t x, uint32_t) { return x % 2 ? 1u : 3u; }).write(p("m.bmp"));
    ASSERT_EQ(SaveBMPAsGfx(p("m.bmp").c_str(), p("m.gfx").c_str(), 2), 0);
    ByteVec g = readFile(p("m.gfx"));
    ASSERT_EQ(g.size(), 2u * 74);
    EXPECT_EQ(g[1], 0x82);
    EXPECT_EQ(g[2], 0x55);  // black at odd columns
    EXPECT_EQ(g[3], 0x00);  // pixel 8 is white
    ASSERT_EQ(SaveBMPAsLogo(p("m.bmp").c_str(), p("m.lgo").c_str(), 1), 0);
    ByteVec l = readFile(p("m.lgo"));
    EXPECT_EQ(ByteVec(l.begin(), l.begin() + 5), (ByteVec{0x1D, 0x84, 1, 2, 1}));
    EXPECT_EQ(l.size(), 5u + 2 * 8);
}

TEST_F(Encoders, HighlightMustMatchThePaperAndOtherColoursAreRefused) {
    thirds(16, 4, kRed).write(p("red.bmp"));
    EXPECT_EQ(SaveBMPAsGfx(p("red.bmp").c_str(), p("a.gfx").c_str(), 1), 0);
    EXPECT_EQ(SaveBMPAsGfx(p("red.bmp").c_str(), p("b.gfx").c_str(), 2), PIXMILL_E_FORMAT);
    EXPECT_FALSE(std::filesystem::exists(p("b.gfx")));  // refused: nothing written
    EXPECT_EQ(SaveBMPAsLogo(p("red.bmp").c_str(), p("c.lgo").c_str(), 3), PIXMILL_E_FORMAT);
    BmpBuilder(4, 1, 8).colours({kBlack, rgb(0, 128, 0)}).fill(1).write(p("green.bmp"));
    EXPECT_EQ(SaveBMPAsLogo(p("green.bmp").c_str(), p("d.lgo").c_str(), 1), PIXMILL_E_FORMAT);
    BmpBuilder(4, 1, 24).write(p("true.bmp"));
    EXPECT_EQ(SaveBMPAsGfx(p("true.bmp").c_str(), p("e.gfx").c_str(), 1), PIXMILL_E_FORMAT);
}

TEST_F(Encoders, PicturesAtThePrinterLimitsAreTaken) {
    BmpBuilder(576, 1, 1).colours({kBlack, kWhite}).write(p("576.bmp"));
    EXPECT_EQ(SaveBMPAsGfx(p("576.bmp").c_str(), p("a.gfx").c_str(), 1), 0);
    EXPECT_EQ(readFile(p("a.gfx")).size(), 74u);
    BmpBuilder(2040, 2, 1).write(p("2040.bmp"));
    EXPECT_EQ(SaveBMPAsLogo(p("2040.bmp").c_str(), p("a.lgo").c_str(), 1), 0);
    EXPECT_EQ(readFile(p("a.lgo"))[3], 255);
}

// A picture too large for the format is refused by its header, before a
// pixel is read: the width check used to wait for a scan of every pixel (35 s
// for 60000 x 60000).  The codes are those of the old order in every case.
TEST_F(Encoders, APictureTooLargeIsRefusedBeforeItsPixelsAreRead) {
    auto printable = [](int32_t w, int32_t h) { return BmpBuilder(w, h, 8).colours({kBlack, kWhite}).fill(1); };
    auto unprintable = [](int32_t w, int32_t h) { return BmpBuilder(w, h, 8).colours({kBlack, rgb(0, 99, 0)}).fill(1); };
    struct Case {
        const char* name;
        BmpBuilder picture;
        bool logo;
        const char* destination;
        int32_t code;
    };
    const Case cases[] = {
        {"graphics, 577 wide", printable(577, 300), false, "out.gfx", PIXMILL_E_FORMAT},
        {"graphics, no rows", printable(8, 0), false, "out.gfx", PIXMILL_E_FORMAT},
        {"graphics, 600 wide, unprintable", unprintable(600, 300), false, "out.gfx", PIXMILL_E_FORMAT},
        {"graphics, 600 wide, no folder", unprintable(600, 300), false, "nodir/out.gfx", PIXMILL_E_OPEN},
        {"logo, 2041 wide", printable(2041, 40), true, "out.lgo", PIXMILL_E_FORMAT},
        {"logo, 2041 high", printable(8, 2041), true, "out.lgo", PIXMILL_E_FORMAT},
        {"logo, 2041 high, unprintable", unprintable(8, 2041), true, "out.lgo", PIXMILL_E_FORMAT},
        {"logo, 2041 high, no folder", unprintable(8, 2041), true, "nodir/out.lgo", PIXMILL_E_OPEN},
    };
    for (const Case& c : cases) {
        c.picture.write(p("big.bmp"));
        ReadFaults::arm(p("big.bmp"), -1);
        const int32_t r = c.logo ? SaveBMPAsLogo(p("big.bmp").c_str(), p(c.destination).c_str(), 1)
                                 : SaveBMPAsGfx(p("big.bmp").c_str(), p(c.destination).c_str(), 1);
        const size_t fetched = ReadFaults::fetched();
        ReadFaults::disarm();
        EXPECT_EQ(r, c.code) << c.name;
        EXPECT_GT(fetched, 0u) << c.name << ": the header is read";
        EXPECT_LE(fetched, 54u) << c.name << ": read more than the header";
        EXPECT_FALSE(std::filesystem::exists(p(c.destination))) << c.name;
    }
}

TEST_F(Encoders, ScrubRewritesRealTimeCommandPairsInsidePictureData) {
    // Black plane bytes 10 04 and 1D 05 appear in the data of a monochrome picture:
    // pixel patterns chosen so the packed bytes are exactly those values.
    auto row = [](std::initializer_list<uint8_t> bytes) {
        std::vector<uint32_t> bits;
        for (uint8_t b : bytes)
            for (int k = 7; k >= 0; --k) bits.push_back((b >> k) & 1);
        return bits;
    };
    std::vector<uint32_t> px = row({0x10, 0x04, 0x1D, 0x05, 0x1D, 0x83, 0x10, 0x06});
    BmpBuilder b(int32_t(px.size()), 1, 1);
    b.colours({kWhite, kBlack}).each([&](uint32_t x, uint32_t) { return px[x]; }).write(p("s.bmp"));
    ASSERT_EQ(SaveBMPAsGfx(p("s.bmp").c_str(), p("s.gfx").c_str(), 1), 0);
    ByteVec g = readFile(p("s.gfx"));
    EXPECT_EQ(ByteVec(g.begin(), g.begin() + 10), (ByteVec{0x1D, 0x82, 0x30, 0x04, 0x3D, 0x05, 0x1D, 0x83, 0x10, 0x06}));
    ASSERT_EQ(SaveBMPAsLogo(p("s.bmp").c_str(), p("s.lgo").c_str(), 1), 0);
    ByteVec l = readFile(p("s.lgo"));
    EXPECT_EQ(ByteVec(l.begin(), l.begin() + 13),
              (ByteVec{0x1D, 0x84, 1, 8, 1, 0x30, 0x04, 0x3D, 0x05, 0x1D, 0x83, 0x10, 0x06}));
    // A two-colour logo holds two planes a row: the scrub reaches the end of both.
    BmpBuilder(int32_t(px.size()), 8, 4)
        .colours({kWhite, kBlack, kRed})
        .each([&](uint32_t x, uint32_t y) { return x == 63 && y == 0 ? 2u : px[x]; })
        .write(p("two.bmp"));
    ASSERT_EQ(SaveBMPAsLogo(p("two.bmp").c_str(), p("two.lgo").c_str(), 1), 0);
    l = readFile(p("two.lgo"));
    ASSERT_EQ(l.size(), 5u + 8 * 8 * 2);
    for (size_t i = 5; i + 1 < l.size(); ++i)
        EXPECT_FALSE((l[i] == 0x10 && (l[i + 1] == 4 || l[i + 1] == 5)) || (l[i] == 0x1D && l[i + 1] == 5)) << i;
}

TEST_F(Encoders, ShortPaletteIndicesWithoutEntriesEncodeAsBlack) {
    // Two stored entries; index 5 has none and reads as black, never as whatever follows.
    BmpBuilder(8, 1, 8).colours({kWhite, kBlack}).storedEntries(2)
        .each([](uint32_t x, uint32_t) { return x == 0 ? 5u : 0u; }).write(p("s.bmp"));
    ASSERT_EQ(SaveBMPAsGfx(p("s.bmp").c_str(), p("s.gfx").c_str(), 1), 0);
    ByteVec g = readFile(p("s.gfx"));
    EXPECT_EQ(g[1], 0x82);
    EXPECT_EQ(g[2], 0x80);
}

}  // namespace
