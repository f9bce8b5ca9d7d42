// The public BMP corpus through the checks, geometry and encoder exports:
// no crash, a code for every refusal, and the pictures written decode (with
// Qt's own reader) to exactly the input's pixels.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <vector>

#include "bmp_builder.hpp"
#include "corpus.hpp"
#include "pixmill/pixmill.h"

#ifdef PIXMILL_TESTS_WITH_QT
#include <QImage>
#include <QTransform>
#endif

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

#ifdef PIXMILL_TESTS_WITH_QT
QImage readQt(const std::string& path) {
    QImage img(QString::fromStdString(path), "BMP");
    return img.isNull() ? img : img.convertToFormat(QImage::Format_RGB32);
}

// First differing pixel as text, or empty when the two pictures are equal in RGB.
std::string difference(const QImage& expected, const QImage& actual) {
    if (expected.size() != actual.size())
        return "size " + std::to_string(actual.width()) + "x" + std::to_string(actual.height()) + " instead of " +
               std::to_string(expected.width()) + "x" + std::to_string(expected.height());
    for (int y = 0; y < expected.height(); ++y)
        for (int x = 0; x < expected.width(); ++x)
            if ((expected.pixel(x, y) & 0xFFFFFF) != (actual.pixel(x, y) & 0xFFFFFF))
                return "pixel " + std::to_string(x) + "," + std::to_string(y);
    return {};
}
#endif

TEST(Corpus, EveryFileThroughChecksGeometryAndEncodersGetsACodeAndNoCrash) {
    auto files = corpusFiles();
    REQUIRE_CORPUS(files);
    TempDir tmp;
    const std::set<int> rotateCodes{0, 10, 11, 12}, stretchCodes{0, 10, 11, 12, 13, 14, 15, 16, 17},
        encodeCodes{0, 10, 11, 12, 14, 15}, mmCodes{0, 10, 11, 12, 13, 14};
    int accepted = 0;
    for (const fs::path& f : files) {
        SCOPED_TRACE(f.string());
        const std::string in = tmp.path("in.bmp");
        fs::copy_file(f, in, fs::copy_options::overwrite_existing);
        const std::string src = f.string();
        EXPECT_EQ(IsBitmap(in.c_str()), 1);
        int is24 = Is24BitsPerPixel(in.c_str());
        EXPECT_TRUE(is24 == 0 || is24 == 1);
        EXPECT_EQ(SaveBMP(src.c_str(), tmp.path("copy.bmp").c_str()), 0);
        EXPECT_EQ(readFile(tmp.path("copy.bmp")), readFile(src));
        EXPECT_TRUE(rotateCodes.count(RotateBitmap(in.c_str(), tmp.path("r1.bmp").c_str(), 1)));
        EXPECT_TRUE(rotateCodes.count(RotateBitmap(in.c_str(), tmp.path("r2.bmp").c_str(), 2)));
        EXPECT_TRUE(stretchCodes.count(StretchBitmap(0, tmp.path("s0.bmp").c_str(), in.c_str())));
        EXPECT_TRUE(stretchCodes.count(StretchBitmap(37, tmp.path("s37.bmp").c_str(), in.c_str())));
        EXPECT_TRUE(mmCodes.count(MakeMMBitmap(in.c_str(), tmp.path("mm.bmp").c_str(), 1, 2, 3, 4)));
        EXPECT_TRUE(encodeCodes.count(SaveBMPAsGfx(in.c_str(), tmp.path("o.gfx").c_str(), 1)));
        EXPECT_TRUE(encodeCodes.count(SaveBMPAsLogo(in.c_str(), tmp.path("o.lgo").c_str(), 2)));
        EXPECT_EQ(IsRBWBitmap(in.c_str()), 0);
        int clean = CleanBMP(in.c_str());
        EXPECT_TRUE(clean == 0 || clean == 11 || clean == 12);
        accepted += clean == 0;
    }
    EXPECT_GT(accepted, 10);
}

#ifdef PIXMILL_TESTS_WITH_QT
TEST(Corpus, CopiesAndQuarterTurnsKeepEveryPixel) {
    auto files = corpusFiles();
    REQUIRE_CORPUS(files);
    TempDir tmp;
    int compared = 0;
    for (const fs::path& f : files) {
        SCOPED_TRACE(f.string());
        const std::string in = f.string();
        const std::string copy = tmp.path("copy.bmp"), left = tmp.path("left.bmp"), right = tmp.path("right.bmp");
        if (StretchBitmap(0, copy.c_str(), in.c_str()) != 0) continue;
        QImage original = readQt(in);
        if (original.isNull()) continue;  // Qt cannot read it either: nothing to compare with
        ++compared;
        EXPECT_EQ(difference(original, readQt(copy)), "");
        ASSERT_EQ(RotateBitmap(copy.c_str(), left.c_str(), 1), 0);
        ASSERT_EQ(RotateBitmap(copy.c_str(), right.c_str(), 2), 0);
        EXPECT_EQ(difference(original.transformed(QTransform().rotate(-90)), readQt(left)), "");
        EXPECT_EQ(difference(original.transformed(QTransform().rotate(90)), readQt(right)), "");
        if (StretchBitmap(original.width() * 2, tmp.path("double.bmp").c_str(), in.c_str()) == 0) {
            QImage twice = readQt(tmp.path("double.bmp"));
            EXPECT_EQ(difference(original.scaled(original.size() * 2), twice), "");
        }
    }
    EXPECT_GT(compared, 10);
}

// Decodes graphics records back into a picture: black where both planes are
// set, highlight where only the ink plane is.
TEST(Corpus, EncodedPlanesDecodeBackToTheBlackAndHighlightPixels) {
    auto files = corpusFiles();
    REQUIRE_CORPUS(files);
    TempDir tmp;
    int encoded = 0;
    for (const fs::path& f : files) {
        SCOPED_TRACE(f.string());
        const std::string norm = tmp.path("norm.bmp"), gfx = tmp.path("o.gfx"), lgo = tmp.path("o.lgo");
        if (StretchBitmap(0, norm.c_str(), f.string().c_str()) != 0) continue;
        QImage img = readQt(norm);
        if (img.isNull() || img.width() > 576) continue;
        for (int paper : {1, 2}) {
            if (SaveBMPAsGfx(norm.c_str(), gfx.c_str(), paper) != 0) continue;
            ASSERT_EQ(SaveBMPAsLogo(norm.c_str(), lgo.c_str(), paper), 0);
            ++encoded;
            ByteVec g = readFile(gfx), l = readFile(lgo);
            bool two = g.size() == size_t(img.height()) * 146;
            ASSERT_EQ(g.size(), size_t(img.height()) * (two ? 146 : 74));
            ASSERT_GE(l.size(), 5u);
            const uint32_t X = l[3];
            const QRgb highlight = paper == 1 ? qRgb(255, 0, 0) : qRgb(0, 0, 255);
            for (int y = 0; y < img.height(); ++y) {
                size_t rec = size_t(y) * (two ? 146 : 74) + 2;
                size_t lrow = 5 + size_t(y) * X * (two ? 2 : 1);
                for (int x = 0; x < img.width(); ++x) {
                    QRgb c = img.pixel(x, y) & 0xFFFFFF;
                    bool black = c == 0, ink = black || (two && c == (highlight & 0xFFFFFF));
                    // The scrub may add a dot where picture bytes spelled a command: skip the bytes it rewrote.
                    auto check = [x](const ByteVec& v, size_t o, bool want) {
                        uint8_t b = v[o + size_t(x) / 8];
                        if (b == 0x30 || b == 0x3D) return;
                        EXPECT_EQ(bool((b >> (7 - x % 8)) & 1), want) << "x " << x;
                    };
                    if (two) {
                        check(g, rec, ink);
                        check(g, rec + 72, black);
                        check(l, lrow, ink);
                        check(l, lrow + X, black);
                    } else {
                        check(g, rec, black);
                        check(l, lrow, black);
                    }
                }
            }
        }
    }
    EXPECT_GT(encoded, 0);
}
#endif

}  // namespace
