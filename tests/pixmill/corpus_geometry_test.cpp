// The public BMP corpus through every export: no crash, a code for every
// refusal, and copies and turns that decode (with Qt's own reader) to exactly
// the input's pixels.
#include <gtest/gtest.h>

#include <algorithm>
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

TEST(Corpus, EveryFileThroughEveryExportGetsACodeAndNoCrash) {
    auto files = corpusFiles();
    REQUIRE_CORPUS(files);
    TempDir tmp;
    const std::set<int> rotateCodes{0, 10, 11, 12}, stretchCodes{0, 10, 11, 12, 13, 14, 15, 16, 17},
        encodeCodes{0, 10, 11, 12, 14, 15}, mmCodes{0, 10, 11, 12, 13, 14}, refusals{10, 11, 12};
    int accepted = 0, edited = 0;
    for (const fs::path& f : files) {
        SCOPED_TRACE(f.string());
        // Always a private copy: the exports edit in place, and they lock what they read, which would make
        // them fail while a test run of another work tree holds the shared corpus file.
        const std::string in = tmp.path("in.bmp");
        fs::copy_file(f, in, fs::copy_options::overwrite_existing);
        const ByteVec original = readFile(in);
        EXPECT_EQ(IsBitmap(in.c_str()), 1);
        int is24 = Is24BitsPerPixel(in.c_str());
        EXPECT_TRUE(is24 == 0 || is24 == 1);
        EXPECT_EQ(SaveBMP(in.c_str(), tmp.path("copy.bmp").c_str()), 0);
        EXPECT_EQ(readFile(tmp.path("copy.bmp")), original);
        EXPECT_TRUE(rotateCodes.count(RotateBitmap(in.c_str(), tmp.path("r1.bmp").c_str(), 1)));
        EXPECT_TRUE(rotateCodes.count(RotateBitmap(in.c_str(), tmp.path("r2.bmp").c_str(), 2)));
        EXPECT_TRUE(stretchCodes.count(StretchBitmap(0, tmp.path("s0.bmp").c_str(), in.c_str())));
        EXPECT_TRUE(stretchCodes.count(StretchBitmap(37, tmp.path("s37.bmp").c_str(), in.c_str())));
        EXPECT_TRUE(mmCodes.count(MakeMMBitmap(in.c_str(), tmp.path("mm.bmp").c_str(), 1, 2, 3, 4)));
        EXPECT_TRUE(encodeCodes.count(SaveBMPAsGfx(in.c_str(), tmp.path("o.gfx").c_str(), 1)));
        EXPECT_TRUE(encodeCodes.count(SaveBMPAsLogo(in.c_str(), tmp.path("o.lgo").c_str(), 2)));

        // The colour exports refuse a file exactly when NumColors does.
        const int32_t n = NumColors(in.c_str(), 0, 0);
        EXPECT_TRUE(n >= -1 && n <= 256) << n;
        auto check = [&](const char* what, int32_t code, std::set<int> ok) {
            EXPECT_TRUE((n == -1 ? refusals : ok).count(code)) << what << ": " << code;
        };
        uint32_t colour = 0;
        int32_t percent = -1;
        check("FindMajorColor", FindMajorColor(in.c_str(), 1, 0, 0, &colour, &percent), {0, PIXMILL_E_RANK});
        EXPECT_TRUE(n <= 0 || (percent >= 0 && percent <= 100)) << percent;
        check("FindMajorColor white", FindMajorColor(in.c_str(), 2, 1, 1, &colour, &percent), {0, PIXMILL_E_RANK});
        check("MergeBandW", MergeBandW(in.c_str()), {0});
        check("MergeColors", MergeColors(in.c_str(), colour, 3000), {0, PIXMILL_E_NOTHING});
        check("MergePixels", MergePixels(in.c_str(), colour), {0, PIXMILL_E_NOTHING});
        check("Flash", Flash(in.c_str(), colour), {0, PIXMILL_E_NOTHING});
        check("Flash red", Flash(in.c_str(), kRed), {0, PIXMILL_E_NOTHING});
        check("ColorSwap", ColorSwap(in.c_str(), kWhite, kBlack), {0});
        for (int32_t code : {3, 7, 10, 5})
            check("DitheredColorSwap", DitheredColorSwap(in.c_str(), colour, code, 2), {0, PIXMILL_E_NOTHING});
        const ByteVec after = readFile(in);
        EXPECT_EQ(after.size(), original.size());
        // Only the two colour-count fields of the headers may change.
        EXPECT_TRUE(n == -1 ? after == original : std::equal(original.begin(), original.begin() + 46, after.begin()));
        edited += n != -1;

        EXPECT_EQ(IsRBWBitmap(in.c_str()), 0);
        int clean = CleanBMP(in.c_str());
        EXPECT_TRUE(clean == 0 || clean == 11 || clean == 12);
        accepted += clean == 0;
    }
    EXPECT_GT(accepted, 10);
    EXPECT_GT(edited, 10);
}

#ifdef PIXMILL_TESTS_WITH_QT
TEST(Corpus, CopiesAndQuarterTurnsKeepEveryPixel) {
    auto files = corpusFiles();
    REQUIRE_CORPUS(files);
    TempDir tmp;
    int compared = 0;
    for (const fs::path& f : files) {
        SCOPED_TRACE(f.string());
        const std::string in = tmp.path("in.bmp");
        fs::copy_file(f, in, fs::copy_options::overwrite_existing);
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
#endif

}  // namespace
