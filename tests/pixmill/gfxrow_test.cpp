// One graphics-file record at a time, for a filter that makes its rows as
// it goes: the same bytes as the file.
#include <gtest/gtest.h>

#include "bmp_builder.hpp"
#include "pixmill/pixmill.h"

using namespace testing_support;

namespace {

TEST(EncodeGfxRow, RowsMakeTheGraphicsFileAndBadRowsAreRefused) {
    // Irregular dots of both inks; the file is scrubbed of real-time command pairs, and so is each row.
    const int w = 100, h = 6;
    auto ink = [](uint32_t x, uint32_t y) { return (x * 7 + y * 3) % 11 < 4 ? 1u : (x + y) % 5 == 0 ? 2u : 0u; };
    TempDir tmp;
    BmpBuilder(w, h, 8).colours({kWhite, kBlack, kRed}).each(ink).write(tmp.path("p.bmp"));
    ASSERT_EQ(SaveBMPAsGfx(tmp.path("p.bmp").c_str(), tmp.path("p.gfx").c_str(), 1), 0);
    ByteVec rows;
    unsigned char inks[577] = {}, out[146];
    int32_t length = 0;
    for (int y = h - 1; y >= 0; --y) {  // the file's top row is the last stored
        for (int x = 0; x < w; ++x) inks[x] = static_cast<unsigned char>(ink(uint32_t(x), uint32_t(y)));
        ASSERT_EQ(EncodeGfxRow(inks, w, 1, out, &length), 0);
        rows.insert(rows.end(), out, out + length);
    }
    EXPECT_EQ(rows, readFile(tmp.path("p.gfx")));
    EXPECT_TRUE(EncodeGfxRow(inks, 2, 0, out, &length) == 0 && length == 74);  // black only: one plane
    // Too wide, empty, highlight on black-only paper, no such paper, no such ink, no row.
    for (auto [width, paper, code] : {std::tuple{577, 1, 0}, {0, 1, 0}, {3, 0, 2}, {2, 3, 0}, {3, 1, 3}}) {
        inks[2] = static_cast<unsigned char>(code);
        EXPECT_EQ(EncodeGfxRow(inks, width, paper, out, &length), PIXMILL_E_NOTHING) << width << " " << paper;
    }
    EXPECT_EQ(EncodeGfxRow(nullptr, 1, 1, out, &length), PIXMILL_E_NOTHING);
}

}  // namespace
