// Separating pictures into paper, black and highlight dots.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <random>
#include <vector>

#include "bmp_builder.hpp"
#include "pixmill/pixmill.h"

using namespace testing_support;

namespace {

constexpr int32_t kMethods[] = {PIXMILL_SEPARATE_DIFFUSION, PIXMILL_SEPARATE_ORDERED, PIXMILL_SEPARATE_NEAREST};

struct Tone {
    int32_t brightness = 0, contrast = 0, gamma = 100, sharpen = 0;
};

class Separate : public InTempDir {
protected:

    int32_t separate(const std::string& in, const std::string& out, int32_t paper, int32_t method, Tone t = {}) {
        return SeparateBitmap(in.c_str(), out.c_str(), paper, method, t.brightness, t.contrast, t.gamma, t.sharpen);
    }
    // Share of the picture's pixels printed with each ink (paper, black, highlight).
    static std::array<double, 3> shares(const Decoded& d) {
        std::array<double, 3> n{};
        for (uint32_t y = 0; y < d.height; ++y)
            for (uint32_t x = 0; x < d.width; ++x) n.at(d.at(x, y)) += 1;
        for (double& v : n) v /= double(d.width * d.height);
        return n;
    }
    // A 24-bit picture of one colour.
    std::string solid(const char* name, uint32_t colour, int32_t w = 48, int32_t h = 40) {
        BmpBuilder(w, h, 24).fill(colour).write(p(name));
        return p(name);
    }
};

// A palette picture's dots are those of the same colours stored in 24 bits.
TEST_F(Separate, APalettePictureGivesTheDotsOfItsColours) {
    const uint32_t colours[] = {kRed, kBlue, rgb(10, 200, 30), rgb(240, 220, 20), kWhite, kBlack, rgb(128, 128, 128)};
    auto at = [](uint32_t x, uint32_t y) { return (x + y) % 7; };
    BmpBuilder palette(37, 9, 4);
    for (uint32_t i = 0; i < 7; ++i) palette.entry(i, colours[i]);
    palette.each(at).topDown().write(p("palette.bmp"));
    BmpBuilder(37, 9, 24).each([&](uint32_t x, uint32_t y) { return colours[at(x, y)]; }).write(p("true.bmp"));
    for (int32_t paper : {0, 1, 2})
        for (int32_t method : kMethods) {
            ASSERT_EQ(separate(p("palette.bmp"), p("a.bmp"), paper, method, {10, 20, 120, 40}), 0);
            ASSERT_EQ(separate(p("true.bmp"), p("b.bmp"), paper, method, {10, 20, 120, 40}), 0);
            EXPECT_EQ(readFile(p("a.bmp")), readFile(p("b.bmp"))) << "paper " << paper << " method " << method;
        }
}

// A flat grey prints as much light as it holds: its paper dots take the
// grey's share of linear light (black and the paper being the only inks a grey
// gets), on every paper, in the rows the diffusion scans from the left and in
// those it scans from the right alike.
TEST(SeparateGrey, FlatGreysPrintTheirShareOfLightInBothScanDirections) {
    constexpr uint32_t w = 96, h = 96;
    for (int32_t paper : {0, 1, 2})
        for (int grey : {40, 96, 128, 192, 245}) {
            const double c = grey / 255.0, light = c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
            PixmillSeparator* s = nullptr;
            ASSERT_EQ(SeparatorOpen(&s, w, paper, PIXMILL_SEPARATE_DIFFUSION, 0, 0, 100, 0), 0);
            const std::vector<uint8_t> row(3 * w, uint8_t(grey));
            std::vector<uint8_t> inks(w);
            double paperDots[2] = {};  // rows scanned rightward, leftward
            for (uint32_t y = 0; y < h; ++y) {
                int32_t ready = 0;
                ASSERT_EQ(SeparatorPushRow(s, row.data(), inks.data(), &ready), 0);
                for (uint8_t ink : inks) {
                    ASSERT_LT(ink, 2) << "a grey printed with the highlight";
                    paperDots[y % 2] += ink == 0;
                }
            }
            SeparatorClose(s);
            for (int d : {0, 1})
                EXPECT_NEAR(paperDots[d] / (w * h / 2), light, 0.01)
                    << "grey " << grey << " paper " << paper << (d ? " leftward" : " rightward");
        }
}

TEST_F(Separate, PureHighlightColourPrintsAsHighlightNotBlack) {
    for (int32_t paper : {1, 2}) {
        const std::string in = solid("ink.bmp", paper == 1 ? kRed : kBlue);
        for (int32_t method : kMethods) {
            ASSERT_EQ(separate(in, p("out.bmp"), paper, method), 0);
            EXPECT_EQ(shares(decode(readFile(p("out.bmp"))))[2], 1.0) << "paper " << paper << " method " << method;
        }
    }
    // Black only: the highlight colour becomes a dotted shade, never solid.
    ASSERT_EQ(separate(solid("red.bmp", kRed), p("out.bmp"), 0, PIXMILL_SEPARATE_DIFFUSION), 0);
    const auto s = shares(decode(readFile(p("out.bmp"))));
    EXPECT_GT(s[0], 0.1);
    EXPECT_GT(s[1], 0.1);
}

TEST_F(Separate, ToneControlsMoveLightnessTheRightWay) {
    struct Case {
        uint8_t grey;
        Tone lighter, darker;
    };
    const Case cases[] = {
        {128, {50, 0, 100, 0}, {-50, 0, 100, 0}},  // brightness
        {128, {0, 0, 200, 0}, {0, 0, 50, 0}},      // gamma above 100 lightens the middle
        {170, {0, 60, 100, 0}, {0, -60, 100, 0}},  // contrast spreads a light grey towards white
        {80, {0, -60, 100, 0}, {0, 60, 100, 0}},   // ... and a dark one towards black
    };
    for (const Case& c : cases)
        for (int32_t method : {PIXMILL_SEPARATE_DIFFUSION, PIXMILL_SEPARATE_ORDERED}) {
            const std::string in = solid("grey.bmp", rgb(c.grey, c.grey, c.grey), 64, 64);
            ASSERT_EQ(separate(in, p("plain.bmp"), 1, method), 0);
            ASSERT_EQ(separate(in, p("light.bmp"), 1, method, c.lighter), 0);
            ASSERT_EQ(separate(in, p("dark.bmp"), 1, method, c.darker), 0);
            const double plain = shares(decode(readFile(p("plain.bmp"))))[0];
            EXPECT_GT(shares(decode(readFile(p("light.bmp"))))[0], plain + 0.05) << int(c.grey) << " method " << method;
            EXPECT_LT(shares(decode(readFile(p("dark.bmp"))))[0], plain - 0.05) << int(c.grey) << " method " << method;
        }
}

TEST_F(Separate, BadArgumentsAndFilesAreRefused) {
    const std::string good = solid("good.bmp", rgb(90, 120, 200), 5, 4);
    for (const Tone& t : {Tone{101, 0, 100, 0}, Tone{-101, 0, 100, 0}, Tone{0, 101, 100, 0}, Tone{0, -101, 100, 0},
                          Tone{0, 0, 9, 0}, Tone{0, 0, 1001, 0}, Tone{0, 0, 100, -1}, Tone{0, 0, 100, 101}, Tone{}})
        for (auto [paper, method] : {std::pair{3, 1}, {-1, 1}, {1, 0}, {1, 4}, {1, 1}}) {
            if (paper == 1 && method == 1 && t.brightness == 0 && t.gamma == 100 && t.sharpen == 0 && t.contrast == 0)
                continue;  // the one good set
            // Arguments are looked at first: even a missing source gives 17.
            EXPECT_EQ(separate(p("missing.bmp"), p("out.bmp"), paper, method, t), 17);
            EXPECT_EQ(separate(good, p("out.bmp"), paper, method, t), 17);
            PixmillSeparator* s = nullptr;
            EXPECT_EQ(SeparatorOpen(&s, 10, paper, method, t.brightness, t.contrast, t.gamma, t.sharpen), 17);
            EXPECT_EQ(s, nullptr);
        }

    writeFile(p("empty.bmp"), {});
    writeFile(p("text.bmp"), ByteVec{'h', 'e', 'l', 'l', 'o', '\n'});
    BmpBuilder(4, 0, 24).write(p("flat.bmp"));
    BmpBuilder(4, 4, 16).write(p("deep.bmp"));
    ByteVec cut = readFile(good);
    cut.resize(cut.size() - 3);
    writeFile(p("cut.bmp"), cut);
    for (auto [source, code] : {std::pair{p("missing.bmp"), 10}, {tmp.dir(), 10}, {p("empty.bmp"), 11},
                                {p("text.bmp"), 12}, {p("flat.bmp"), 12}, {p("deep.bmp"), 12}, {p("cut.bmp"), 12}}) {
        EXPECT_EQ(separate(source, p("out.bmp"), 1, PIXMILL_SEPARATE_DIFFUSION), code) << source;
        EXPECT_FALSE(std::filesystem::exists(p("out.bmp")));
    }
    EXPECT_EQ(SeparateBitmap(nullptr, p("out.bmp").c_str(), 1, 1, 0, 0, 100, 0), 10);
    EXPECT_EQ(SeparateBitmap(good.c_str(), nullptr, 1, 1, 0, 0, 100, 0), 13);
}

TEST_F(Separate, FileExportGivesTheDotsOfStreamingTheSameRows) {
    std::mt19937 random(11);
    const uint32_t w = 29, h = 17;
    BmpBuilder(w, h, 24)
        .each([&](uint32_t x, uint32_t y) { return rgb(uint8_t(x * 8), uint8_t(y * 15), uint8_t(random())); })
        .topDown()
        .write(p("in.bmp"));
    const Decoded in = decode(readFile(p("in.bmp")));  // top-down: stored row y is picture row y
    for (int32_t paper : {0, 1, 2})
        for (int32_t method : kMethods)
            for (Tone t : {Tone{}, Tone{-20, 30, 80, 60}}) {
                SCOPED_TRACE("paper " + std::to_string(paper) + " method " + std::to_string(method) + " sharpen " +
                             std::to_string(t.sharpen));
                ASSERT_EQ(separate(p("in.bmp"), p("out.bmp"), paper, method, t), 0);
                const Decoded file = decode(readFile(p("out.bmp")));
                // The inks' palette entries, flagged as printer colours, and a file the printer formats take.
                EXPECT_EQ(file.bytes.size(), 1078u + file.stride * h);
                const uint32_t entries[] = {kWhite, kBlack, paper == 2 ? kBlue : kRed};
                for (uint32_t i = 0; i < (paper == 0 ? 2u : 3u); ++i) {
                    EXPECT_EQ(file.colourOf(i), entries[i]);
                    EXPECT_EQ(file.entry(i)[3], 1);
                }
                EXPECT_EQ(SaveBMPAsGfx(p("out.bmp").c_str(), p("out.gfx").c_str(), paper == 0 ? 1 : paper), 0);
                EXPECT_EQ(SaveBMPAsLogo(p("out.bmp").c_str(), p("out.lgo").c_str(), paper == 0 ? 1 : paper), 0);

                PixmillSeparator* s = nullptr;
                ASSERT_EQ(
                    SeparatorOpen(&s, int32_t(w), paper, method, t.brightness, t.contrast, t.gamma, t.sharpen), 0);
                std::vector<std::vector<uint8_t>> rows;
                std::vector<uint8_t> rgbRow(3 * w), inks(w);
                int32_t ready = -1;
                for (uint32_t y = 0; y < h; ++y) {
                    for (uint32_t x = 0; x < w; ++x) {
                        const uint32_t c = in.at(x, y);
                        rgbRow[3 * x] = uint8_t(c >> 8);
                        rgbRow[3 * x + 1] = uint8_t(c >> 16);
                        rgbRow[3 * x + 2] = uint8_t(c >> 24);
                    }
                    ASSERT_EQ(SeparatorPushRow(s, rgbRow.data(), inks.data(), &ready), 0);
                    // Sharpening needs the row below, so it holds one row back.
                    EXPECT_EQ(ready, t.sharpen > 0 && y == 0 ? 0 : 1);
                    if (ready) rows.push_back(inks);
                }
                ASSERT_EQ(SeparatorFlush(s, inks.data(), &ready), 0);
                EXPECT_EQ(ready, t.sharpen > 0 ? 1 : 0);
                if (ready) rows.push_back(inks);
                EXPECT_EQ(SeparatorFlush(s, inks.data(), &ready), 17);
                EXPECT_EQ(SeparatorPushRow(s, rgbRow.data(), inks.data(), &ready), 17);
                EXPECT_EQ(ready, 0);
                SeparatorClose(s);

                ASSERT_EQ(rows.size(), h);
                for (uint32_t y = 0; y < h; ++y)
                    for (uint32_t x = 0; x < w; ++x) ASSERT_EQ(file.at(x, h - 1 - y), rows[y][x]) << x << "," << y;
            }

    PixmillSeparator* s = nullptr;
    int32_t ready = 0;
    uint8_t buffer[3] = {};
    EXPECT_EQ(SeparatorOpen(nullptr, 1, 1, 1, 0, 0, 100, 0), 17);
    EXPECT_EQ(SeparatorOpen(&s, 0, 1, 1, 0, 0, 100, 0), 17);
    EXPECT_EQ(SeparatorOpen(&s, 65536, 1, 1, 0, 0, 100, 0), 17);
    ASSERT_EQ(SeparatorOpen(&s, 1, 1, 1, 0, 0, 100, 0), 0);
    EXPECT_EQ(SeparatorPushRow(nullptr, buffer, buffer, &ready), 17);
    EXPECT_EQ(SeparatorPushRow(s, nullptr, buffer, &ready), 17);
    EXPECT_EQ(SeparatorPushRow(s, buffer, nullptr, &ready), 17);
    EXPECT_EQ(SeparatorPushRow(s, buffer, buffer, nullptr), 17);
    EXPECT_EQ(SeparatorFlush(s, buffer, nullptr), 17);
    SeparatorClose(s);
    SeparatorClose(nullptr);
}

// The dots of a picture with white bands between its parts (after black, which leaves no error; after a photo,
// which does; at the top and the bottom), every paper, method and tone, as one FNV-1a digest.
uint64_t whiteBandsDigest() {
    constexpr int32_t w = 61;  // odd: the serpentine's turn shows
    constexpr int kBands[][4] = {{7, 255, 255, 255}, {3, 0, 0, 0},   {5, 255, 255, 255}, {9, -1},
                                 {11, 255, 255, 255}, {2, 255, 0, 0}, {3, 255, 255, 255}, {4, -1}};  // -1: a photo
    std::mt19937 random(29);
    std::vector<uint8_t> rgbRow(3 * w), inks(w);
    uint64_t digest = 0xcbf29ce484222325u;
    for (int32_t paperKind : {0, 1, 2})
        for (int32_t method : kMethods)
            for (int32_t brightness : {-20, 0, 20}) {
                PixmillSeparator* s = nullptr;
                if (SeparatorOpen(&s, w, paperKind, method, brightness, 0, 100, 0) != 0) return 0;
                for (const auto& band : kBands)
                    for (int y = 0, ready = 0; y < band[0]; ++y) {
                        for (size_t i = 0; i < rgbRow.size(); ++i)
                            rgbRow[i] = uint8_t(band[1] < 0 ? random() : band[1 + i % 3]);
                        if (SeparatorPushRow(s, rgbRow.data(), inks.data(), &ready) != 0 || !ready) return 0;
                        for (uint8_t ink : inks) digest = (digest ^ ink) * 0x100000001b3u;
                    }
                SeparatorClose(s);
            }
    return digest;
}

// White rows take a short way through the separator; the dots are those the library gave before it had one
// (the digest was taken from that library).
TEST(SeparatorWhite, WhiteBandsGiveTheDotsTheyAlwaysGave) { EXPECT_EQ(whiteBandsDigest(), 0x1516418636e0e8b2u); }

}  // namespace
