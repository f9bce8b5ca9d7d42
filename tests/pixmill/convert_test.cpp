// Conversion of 24-bit pictures to 8-bit palette pictures.
#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <cstdlib>

#include <gtest/gtest.h>

#include "bmp_builder.hpp"
#include "corpus.hpp"
#include "pixmill/pixmill.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

class Convert : public InTempDir {
protected:
    int32_t convert(const std::string& from, const std::string& to) {
        return Convert24to8Bits(p(from).c_str(), p(to).c_str());
    }
};

uint32_t distance2(uint32_t a, uint32_t b) {
    int db = int(a >> 24) - int(b >> 24), dg = int((a >> 16) & 255) - int((b >> 16) & 255),
        dr = int((a >> 8) & 255) - int((b >> 8) & 255);
    return uint32_t(db * db + dg * dg + dr * dr);
}

std::vector<uint32_t> paletteOf(const Decoded& d, uint32_t n) {
    std::vector<uint32_t> colours;
    for (uint32_t i = 0; i < n; ++i) colours.push_back(d.colourOf(i));
    return colours;
}

// The first palette entry with the smallest distance.
uint32_t bruteNearest(const std::vector<uint32_t>& palette, uint32_t colour) {
    uint32_t best = UINT32_MAX, at = 0;
    for (uint32_t i = 0; i < palette.size(); ++i) {
        uint32_t dist = distance2(palette[i], colour);
        if (dist < best) {
            best = dist;
            at = i;
        }
    }
    return at;
}

// The pixels of any 24-bit file the library accepts, read the plain way:
// pixel offset honoured, rows bottom-up whatever the storage order.
struct TrueColour {
    uint32_t width = 0, height = 0;
    std::vector<uint32_t> px;
    uint32_t at(uint32_t x, uint32_t y) const { return px[size_t(y) * width + x]; }
};
TrueColour readTrueColour(const ByteVec& v) {
    TrueColour t;
    int32_t h = int32_t(get32(v, 22));
    t.width = get32(v, 18);
    t.height = uint32_t(h < 0 ? -h : h);
    size_t stride = ((size_t(t.width) * 24 + 31) / 32) * 4, offset = get32(v, 10);
    for (uint32_t y = 0; y < t.height; ++y) {
        size_t row = offset + stride * (h < 0 ? t.height - 1 - y : y);
        for (uint32_t x = 0; x < t.width; ++x)
            t.px.push_back((uint32_t(v.at(row + 3 * x)) << 24) | (uint32_t(v.at(row + 3 * x + 1)) << 16) |
                           (uint32_t(v.at(row + 3 * x + 2)) << 8));
    }
    return t;
}

// Colours from `levels` levels per channel, drawn by a 64-bit LCG pixel by
// pixel from the bottom row up.  The expected outputs below were computed for
// these pictures by an independent implementation of the conversion rules.
ByteVec lcgPicture(int32_t w, int32_t h, uint32_t levels, uint64_t seed) {
    BmpBuilder b(w, h, 24);
    uint64_t s = seed;
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            s = s * 6364136223846793005ull + 1442695040888963407ull;
            uint32_t v = uint32_t(s >> 33), L = levels;
            b.pixel(uint32_t(x), uint32_t(y),
                    rgb(uint8_t((v / L / L) % L * 255 / (L - 1)), uint8_t((v / L) % L * 255 / (L - 1)),
                        uint8_t(v % L * 255 / (L - 1))));
        }
    return b.build();
}

TEST_F(Convert, WritesHeaderPaletteAndPixelsFieldByField) {
    // 10 x 10 is sampled at every pixel; three colours, most frequent first.
    // Junk in the source's row padding is neither read as a pixel nor copied.
    const uint32_t a = rgb(200, 10, 10), b = rgb(10, 200, 10), c = rgb(10, 10, 200);
    ByteVec src = BmpBuilder(10, 10, 24)
                      .each([&](uint32_t x, uint32_t y) { return y < 2 ? a : (x < 3 ? c : b); })
                      .colorsUsed(7)
                      .build();
    put32(src, 38, 1234);  // resolution travels with the picture
    put32(src, 42, 5678);
    put32(src, 50, 9);
    for (size_t y = 0; y < 10; ++y) src[54 + 32 * y + 30] = src[54 + 32 * y + 31] = 0xAB;
    writeFile(p("in.bmp"), src);
    ASSERT_EQ(convert("in.bmp", "out.bmp"), 0);

    // The other header fields are pinned by the digests below.
    ByteVec out = readFile(p("out.bmp"));
    ASSERT_EQ(out.size(), 1078u + 12 * 10);
    EXPECT_EQ(get32(out, 38), 1234u);
    EXPECT_EQ(get32(out, 42), 5678u);
    EXPECT_EQ(get32(out, 46), 0u);
    EXPECT_EQ(get32(out, 50), 0u);

    Decoded d = decode(out);
    EXPECT_EQ(paletteOf(d, 3), (std::vector<uint32_t>{b, c, a}));  // 56, 24 and 20 pixels
    for (uint32_t i = 0; i < 3; ++i) EXPECT_EQ(d.entry(i)[3], 0) << i;
    EXPECT_TRUE(std::all_of(out.begin() + 54 + 12, out.begin() + 1078, [](uint8_t v) { return v == 0; }));
    for (uint32_t y = 0; y < 10; ++y)
        for (uint32_t x = 0; x < 12; ++x) {
            uint32_t want = x >= 10 ? 0 : y < 2 ? 2 : x < 3 ? 1 : 0;
            EXPECT_EQ(out[1078 + 12 * y + x], want) << x << "," << y;
        }
}

TEST_F(Convert, NearestColourSearchEqualsBruteForceIncludingTies) {
    // Sampled pixels (even x and y of 200 x 200) carry the palette; the other
    // 30000 are the queries, checked against a search over all entries.
    std::mt19937 rng(20240607);
    auto any = [&](uint32_t lo, uint32_t hi) { return std::uniform_int_distribution<uint32_t>(lo, hi)(rng); };
    auto colour = [](uint32_t b, uint32_t g, uint32_t r) { return rgb(uint8_t(r), uint8_t(g), uint8_t(b)); };
    struct Kind {
        const char* name;
        uint32_t n;
        std::function<uint32_t()> paletteColour, query;
    };
    const Kind kinds[] = {
        {"uniform", 250, [&] { return colour(any(0, 255), any(0, 255), any(0, 255)); },
         [&] { return colour(any(0, 255), any(0, 255), any(0, 255)); }},
        // Every query far from a tight cluster: long candidate lists.
        {"clustered", 250, [&] { return colour(any(120, 136), any(60, 76), any(200, 216)); },
         [&] { return colour(any(0, 255), any(0, 255), any(0, 255)); }},
        // Lattice entries and half-way queries: ties everywhere.
        {"lattice ties", 200, [&] { return colour(32 * any(0, 7), 32 * any(0, 7), 32 * any(0, 7)); },
         [&] { return colour(16 * any(0, 15), 16 * any(0, 15), 16 * any(0, 15)); }},
        {"greys and extremes", 60, [&] { uint32_t v = any(0, 255); return colour(v, v, v); },
         [&] { return colour(255 * any(0, 1), 255 * any(0, 1), any(0, 255)); }},
        {"two colours", 2, [&] { return colour(any(0, 255), any(0, 255), any(0, 255)); },
         [&] { return colour(any(0, 255), any(0, 255), any(0, 255)); }},
        {"one colour", 1, [&] { return colour(any(0, 255), any(0, 255), any(0, 255)); },
         [&] { return colour(any(0, 255), any(0, 255), any(0, 255)); }},
    };
    for (const Kind& k : kinds) {
        SCOPED_TRACE(k.name);
        std::vector<uint32_t> palette;
        while (palette.size() < k.n) {
            uint32_t c = k.paletteColour();
            if (std::find(palette.begin(), palette.end(), c) == palette.end()) palette.push_back(c);
        }
        BmpBuilder b(200, 200, 24);
        for (uint32_t y = 0; y < 200; ++y)
            for (uint32_t x = 0; x < 200; ++x)
                b.pixel(x, y, x % 2 == 0 && y % 2 == 0 ? palette[(y / 2 * 100 + x / 2) % k.n] : k.query());
        b.write(p("in.bmp"));
        ASSERT_EQ(convert("in.bmp", "out.bmp"), 0);
        ByteVec out = readFile(p("out.bmp"));
        Decoded d = decode(out);
        TrueColour src = readTrueColour(readFile(p("in.bmp")));
        std::vector<uint32_t> got = paletteOf(d, k.n), want = palette;
        std::sort(got.begin(), got.end());
        std::sort(want.begin(), want.end());
        ASSERT_EQ(got, want);
        const std::vector<uint32_t> order = paletteOf(d, k.n);
        int wrong = 0;
        for (uint32_t y = 0; y < 200; ++y)
            for (uint32_t x = 0; x < 200; ++x)
                if (d.at(x, y) != bruteNearest(order, src.at(x, y)) && ++wrong <= 5)
                    ADD_FAILURE() << "pixel " << x << "," << y << " colour " << std::hex << src.at(x, y);
        EXPECT_EQ(wrong, 0);
    }
}

TEST_F(Convert, ReducesManyColoursExactlyAsTheRulesGive) {
    // Pictures with hundreds to thousands of sampled colours and many equal
    // counts: the census order, the periodic re-sorts, the folding and the
    // mapping all show in the bytes.
    struct Case {
        int32_t w, h;
        uint32_t levels;
        uint64_t seed, sourceHash, outputHash;
    };
    const Case cases[] = {
        {120, 90, 12, 1, 0xf8bcd1a782a74275ull, 0x8c45b2aeb6e13df1ull},  // step 1, 1728 colours
        {640, 480, 16, 2, 0x6264948b9ffed3d9ull, 0x8b82ece1fdf7ff8cull},  // step 5, unsampled pixels
        {37, 29, 5, 3, 0xe0950a9960dd58c8ull, 0x60fa364a7f13d21dull},    // 125 colours: no folding
    };
    for (const Case& c : cases) {
        ByteVec src = lcgPicture(c.w, c.h, c.levels, c.seed);
        ASSERT_EQ(fnv1a(src), c.sourceHash) << "the test picture itself changed";
        writeFile(p("in.bmp"), src);
        ASSERT_EQ(convert("in.bmp", "out.bmp"), 0);
        EXPECT_EQ(fnv1a(readFile(p("out.bmp"))), c.outputHash) << c.w << " x " << c.h;
    }
}

TEST_F(Convert, LargeHeadersAndTopDownRowsGiveThePlainFormsOutput) {
    ByteVec plain = lcgPicture(33, 21, 4, 9);
    writeFile(p("plain.bmp"), plain);
    ASSERT_EQ(convert("plain.bmp", "plain8.bmp"), 0);
    ByteVec want = readFile(p("plain8.bmp"));

    TrueColour pic = readTrueColour(plain);
    struct Form {
        uint32_t headerSize;
        bool topDown;
    };
    for (Form f : {Form{40, true}, Form{108, false}, Form{124, false}, Form{124, true}}) {
        BmpBuilder b(33, 21, 24);
        b.headerSize(f.headerSize).topDown(f.topDown).each([&](uint32_t x, uint32_t y) { return pic.at(x, y); });
        b.write(p("form.bmp"));
        ASSERT_EQ(convert("form.bmp", "form8.bmp"), 0);
        EXPECT_EQ(readFile(p("form8.bmp")), want) << f.headerSize << (f.topDown ? " top-down" : " bottom-up");
    }
}

TEST_F(Convert, RefusalsWriteNoDestination) {
    struct Case {
        const char* name;
        ByteVec file;
        int32_t code;
    };
    // Other layouts are refused by the reader every export shares.
    const Case cases[] = {
        {"8-bit", BmpBuilder(4, 4, 8).build(), PIXMILL_E_FORMAT},
        {"zero width", BmpBuilder(0, 5, 24).build(), PIXMILL_E_FORMAT},
        {"zero height", BmpBuilder(5, 0, 24).build(), PIXMILL_E_FORMAT},
        {"empty", ByteVec{}, PIXMILL_E_MAP},
    };
    for (const Case& c : cases) {
        writeFile(p("in.bmp"), c.file);
        EXPECT_EQ(convert("in.bmp", "out.bmp"), c.code) << c.name;
        EXPECT_FALSE(fs::exists(p("out.bmp"))) << c.name;
        EXPECT_EQ(readFile(p("in.bmp")), c.file) << c.name;
    }
    EXPECT_EQ(convert("missing.bmp", "out.bmp"), PIXMILL_E_OPEN);
    EXPECT_FALSE(fs::exists(p("out.bmp")));
}

// Every file of the public BMP corpus: converted exactly when it is a 24-bit
// picture with pixels, else refused with a code and no destination.
TEST_F(Convert, CorpusFilesAreConvertedOrRefused) {
    const auto files = corpusFiles();
    REQUIRE_CORPUS(files);
    int converted = 0, refused = 0;
    for (const fs::path& f : files) {
        SCOPED_TRACE(f.string());
        // A private copy: the conversion opens its source for writing.
        ByteVec bytes = readFile(f.string());
        writeFile(p("in.bmp"), bytes);
        std::filesystem::remove(p("out.bmp"));
        bool is24 = Is24BitsPerPixel(p("in.bmp").c_str()) == 1;
        int32_t code = convert("in.bmp", "out.bmp");
        if (code != 0) {
            EXPECT_TRUE(code == PIXMILL_E_FORMAT || code == PIXMILL_E_MAP) << "code " << code;
            EXPECT_FALSE(fs::exists(p("out.bmp")));
            EXPECT_FALSE(is24 && get32(bytes, 18) != 0 && get32(bytes, 22) != 0) << "a 24-bit file refused";
            ++refused;
            continue;
        }
        ++converted;
        EXPECT_TRUE(is24);
        const Decoded d = decode(readFile(p("out.bmp")));
        EXPECT_EQ(d.width, get32(bytes, 18));
        EXPECT_EQ(int32_t(d.height), std::abs(int32_t(get32(bytes, 22))));
    }
    EXPECT_GT(converted, 0);
    EXPECT_GT(refused, 0);

    // The photographs against the output of an independent implementation:
    // a 108-byte header, odd widths, up to 25351 colours to fold.
    const std::map<std::string, uint64_t> expected = {
        {"kodim23.bmp", 0x05ddc0595fa9a821ull},
        {"shira_bird8.bmp", 0x501df827fe35d72aull},
        {"vgl_6434_0018a.bmp", 0x3ec57b3cf6d81f43ull},
    };
    for (const auto& [name, hash] : expected) {
        writeFile(p("in.bmp"), readFile((fs::path(RASTIV_TESTDATA) / "realworld" / name).string()));
        ASSERT_EQ(convert("in.bmp", "out.bmp"), 0) << name;
        EXPECT_EQ(fnv1a(readFile(p("out.bmp"))), hash) << name;
    }
}

}  // namespace
