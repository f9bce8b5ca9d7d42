// Quarter turns, resizing and cropping.
#include <filesystem>
#include <functional>

#include <gtest/gtest.h>

#include "bmp_builder.hpp"
#include "child.hpp"
#include "pixmill/pixmill.h"

using namespace testing_support;

namespace {

class Geometry : public InTempDir {
protected:
    Decoded load(const char* name) { return decode(readFile(p(name))); }
};

TEST_F(Geometry, RotatingBothWaysGivesBackTheSourceAndTurnsTheRightWay) {
    // 3 x 2, pixel values name their position: 10*y + x (y = stored row).
    BmpBuilder b(3, 2, 8);
    b.each([](uint32_t x, uint32_t y) { return 10 * y + x; }).write(p("src.bmp"));
    ASSERT_EQ(RotateBitmap(p("src.bmp").c_str(), p("left.bmp").c_str(), 1), 0);
    Decoded left = load("left.bmp");
    ASSERT_EQ(left.width, 2u);
    ASSERT_EQ(left.height, 3u);
    // Anticlockwise: the top row (y = 1) becomes the left column, read bottom-up.
    EXPECT_EQ(left.at(0, 0), 10u);
    EXPECT_EQ(left.at(0, 2), 12u);
    EXPECT_EQ(left.at(1, 0), 0u);
    ASSERT_EQ(RotateBitmap(p("left.bmp").c_str(), p("back.bmp").c_str(), 2), 0);
    EXPECT_EQ(readFile(p("back.bmp")), readFile(p("src.bmp")));

    ASSERT_EQ(RotateBitmap(p("src.bmp").c_str(), p("right.bmp").c_str(), 2), 0);
    Decoded right = load("right.bmp");
    // Clockwise: the top row becomes the right column, read top-down.
    EXPECT_EQ(right.at(1, 2), 10u);
    EXPECT_EQ(right.at(1, 0), 12u);
    EXPECT_EQ(right.at(0, 0), 2u);
}

TEST_F(Geometry, UnknownDirectionIsRefusedAndWritesNothing) {
    BmpBuilder(4, 4, 8).write(p("s.bmp"));
    for (int32_t direction : {0, 3, -1, 256}) {
        EXPECT_EQ(RotateBitmap(p("s.bmp").c_str(), p("d.bmp").c_str(), direction), PIXMILL_E_NOTHING) << direction;
        EXPECT_FALSE(std::filesystem::exists(p("d.bmp"))) << direction;
    }
    // The source's own problems come first, as they always did.
    EXPECT_EQ(RotateBitmap(p("missing.bmp").c_str(), p("d.bmp").c_str(), 3), PIXMILL_E_OPEN);
    EXPECT_EQ(RotateBitmap(p("missing.bmp").c_str(), p("d.bmp").c_str(), 1), PIXMILL_E_OPEN);
    BmpBuilder(4, 4, 24).write(p("t.bmp"));
    EXPECT_EQ(RotateBitmap(p("t.bmp").c_str(), p("d2.bmp").c_str(), 1), PIXMILL_E_FORMAT);
}

// Results past 65535 pixels a side (what the library reads back) are refused
// before a byte is written; up to that limit they are written and say so.
TEST_F(Geometry, OutputsBeyondWhatTheLibraryReadsAreRefusedBeforeAnythingIsWritten) {
    BmpBuilder(1, 1, 24).fill(kBlack).write(p("dot.bmp"));  // 58 bytes
    BmpBuilder(1, 1, 8).write(p("one.bmp"));
    BmpBuilder(1, 2, 8).write(p("tall.bmp"));
    const std::string dot = p("dot.bmp"), one = p("one.bmp"), tall = p("tall.bmp"), out = p("out.bmp");
    struct Case {
        const char* name;
        std::function<int32_t()> call;
        int32_t code;
        uint32_t width, height;  // of the picture written, on success
    };
    const Case cases[] = {
        {"frame 131071 wide, 32769 high", [&] { return MakeMMBitmap(dot.c_str(), out.c_str(), 0, 32768, 65535, 65535); },
         PIXMILL_E_FORMAT, 0, 0},
        {"frame 65536 wide", [&] { return MakeMMBitmap(dot.c_str(), out.c_str(), 0, 0, 65535, 0); }, PIXMILL_E_FORMAT,
         0, 0},
        {"frame 65536 high", [&] { return MakeMMBitmap(dot.c_str(), out.c_str(), 65535, 0, 0, 0); }, PIXMILL_E_FORMAT,
         0, 0},
        {"frame 65535 wide", [&] { return MakeMMBitmap(dot.c_str(), out.c_str(), 0, 0, 30000, 35534); }, 0, 65535, 1},
        {"frame 65535 high", [&] { return MakeMMBitmap(dot.c_str(), out.c_str(), 65534, 0, 0, 0); }, 0, 1, 65535},
        {"stretch to 65536 wide", [&] { return StretchBitmap(65536, out.c_str(), one.c_str()); }, PIXMILL_E_NOMEM, 0, 0},
        {"stretch to 65536 high", [&] { return StretchBitmap(32768, out.c_str(), tall.c_str()); }, PIXMILL_E_NOMEM, 0,
         0},
    };
    for (const Case& c : cases) {
        std::filesystem::remove(out);
        // Room for the pictures at the limit (at most 263 kB), none for the
        // gigabytes an unchecked frame would take.
        ChildOutcome r = runInChild(c.call, {.fileSizeLimit = rlim_t{16} << 20});
        EXPECT_TRUE(r.finished && r.value == c.code) << c.name << ": " << describe(r);
        if (c.code != 0) {
            EXPECT_FALSE(std::filesystem::exists(out)) << c.name;
            continue;
        }
        ByteVec written = readFile(out);
        Decoded d = decode(written);
        EXPECT_EQ(d.width, c.width) << c.name;
        EXPECT_EQ(d.height, c.height) << c.name;
        EXPECT_EQ(get32(written, 2), written.size()) << c.name;
        EXPECT_EQ(get32(written, 34), written.size() - d.pixelOffset) << c.name;
    }
}

TEST_F(Geometry, StretchKeepsProportionsByNearestNeighbour) {
    BmpBuilder(100, 51, 8).each([](uint32_t x, uint32_t y) { return (x * 7 + y * 3) % 256; }).write(p("s.bmp"));
    ASSERT_EQ(StretchBitmap(50, p("half.bmp").c_str(), p("s.bmp").c_str()), 0);
    Decoded h = load("half.bmp");
    ASSERT_EQ(h.width, 50u);
    ASSERT_EQ(h.height, 25u);  // 25.5 truncated
    for (uint32_t y = 0; y < 25; ++y)
        for (uint32_t x = 0; x < 50; ++x) ASSERT_EQ(h.at(x, y), (2 * x * 7 + 2 * y * 3) % 256);
}

TEST_F(Geometry, StretchWidthZeroCopiesIntoNormalForm) {
    BmpBuilder src(5, 4, 4);
    src.colours({kBlack, kWhite, kRed}).each([](uint32_t x, uint32_t y) { return (x + 2 * y) % 3; });
    src.write(p("plain.bmp"));
    ASSERT_EQ(StretchBitmap(0, p("copy.bmp").c_str(), p("plain.bmp").c_str()), 0);
    ByteVec plain = readFile(p("plain.bmp")), copy = readFile(p("copy.bmp"));
    put32(plain, 46, 16);  // the copy states its palette size
    EXPECT_EQ(copy, plain);

    // A 124-byte header, top-down rows and a three-entry palette read as the same picture.
    BmpBuilder odd = src;
    odd.headerSize(124).topDown().storedEntries(3).write(p("odd.bmp"));
    ASSERT_EQ(StretchBitmap(0, p("odd-copy.bmp").c_str(), p("odd.bmp").c_str()), 0);
    EXPECT_EQ(readFile(p("odd-copy.bmp")), copy);
}

TEST_F(Geometry, StretchRefusals) {
    BmpBuilder(0, 4, 8).write(p("empty.bmp"));
    EXPECT_EQ(StretchBitmap(10, p("d.bmp").c_str(), p("empty.bmp").c_str()), PIXMILL_E_NOTHING);
    BmpBuilder(4, 4, 8).write(p("s.bmp"));
    EXPECT_EQ(StretchBitmap(-5, p("d.bmp").c_str(), p("s.bmp").c_str()), PIXMILL_E_NOTHING);
    EXPECT_EQ(StretchBitmap(10, p("d.bmp").c_str(), p("missing.bmp").c_str()), PIXMILL_E_OPEN);
    // Height would pass any reader's limit: refused, nothing allocated.
    BmpBuilder(1, 60000, 8).write(p("tall.bmp"));
    EXPECT_EQ(StretchBitmap(500, p("d.bmp").c_str(), p("tall.bmp").c_str()), PIXMILL_E_NOMEM);
}

TEST_F(Geometry, MakeMmCropsToTheInkAndAddsMargins) {
    BmpBuilder(20, 10, 24).fill(kWhite).pixel(7, 3, kBlack).write(p("one.bmp"));
    ASSERT_EQ(MakeMMBitmap(p("one.bmp").c_str(), p("mm.bmp").c_str(), 2, 3, 4, 5), 0);
    Decoded d = load("mm.bmp");
    ASSERT_EQ(d.width, 10u);
    ASSERT_EQ(d.height, 6u);
    EXPECT_EQ(d.bits, 8u);
    EXPECT_EQ(d.colourOf(0), kWhite);
    EXPECT_EQ(d.colourOf(1), kBlack);
    EXPECT_EQ(d.colourOf(255), kBlack);
    for (uint32_t y = 0; y < 6; ++y)
        for (uint32_t x = 0; x < 10; ++x) EXPECT_EQ(d.at(x, y), (x == 4 && y == 2) ? 1u : 0u);

    BmpBuilder(5, 5, 24).fill(kWhite).write(p("white.bmp"));
    EXPECT_EQ(MakeMMBitmap(p("white.bmp").c_str(), p("w.bmp").c_str(), 0, 0, 0, 0), PIXMILL_E_FORMAT);
    EXPECT_EQ(MakeMMBitmap(p("one.bmp").c_str(), p("w.bmp").c_str(), -1, 0, 0, 0), PIXMILL_E_FORMAT);
}

}  // namespace
