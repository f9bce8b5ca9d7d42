// The automatic choice of printer colours and the map files that choose by hand.
#include <gtest/gtest.h>

#include "cli/colourmatch.hpp"

using namespace rastiv;
using namespace rastiv::cli;

namespace {

uint32_t rgb(int r, int g, int b) { return uint32_t(b) << 24 | uint32_t(g) << 16 | uint32_t(r) << 8; }

TEST(Cielab, KnownColoursLandOnTheirPublishedValues) {
    const struct {
        int r, g, b;
        double L, a, bb;
    } rows[] = {
        {255, 255, 255, 100.0, 0.0, 0.0},    {0, 0, 0, 0.0, 0.0, 0.0},          {255, 0, 0, 53.24, 80.09, 67.20},
        {0, 0, 255, 32.30, 79.19, -107.86},  {0, 255, 0, 87.73, -86.18, 83.18}, {128, 128, 128, 53.59, 0.0, 0.0},
        {255, 255, 0, 97.14, -21.55, 94.48},
    };
    for (const auto& r : rows) {
        const Lab lab = labFromSrgb(r.r, r.g, r.b);
        EXPECT_NEAR(lab.L, r.L, 0.01) << r.r << "," << r.g << "," << r.b;
        EXPECT_NEAR(lab.a, r.a, 0.01) << r.r << "," << r.g << "," << r.b;
        EXPECT_NEAR(lab.b, r.bb, 0.01) << r.r << "," << r.g << "," << r.b;
    }
}

TEST(NearestRendering, EachColourGetsTheRenderingThatLooksNearest) {
    const struct {
        uint32_t colour;
        Highlight h;
        int32_t code;
    } rows[] = {
        {rgb(0, 0, 0), Highlight::Red, 1},
        {rgb(255, 255, 255), Highlight::Red, 5},
        {rgb(255, 0, 0), Highlight::Red, 6},
        {rgb(0, 0, 255), Highlight::Blue, 6},
        {rgb(128, 128, 128), Highlight::Red, 2},
        {rgb(188, 188, 188), Highlight::Red, 3},
        {rgb(210, 210, 210), Highlight::Red, 11},
        {rgb(224, 224, 224), Highlight::Blue, 4},
        {rgb(64, 0, 0), Highlight::Red, 1},
        {rgb(255, 128, 128), Highlight::Red, 7},
        {rgb(255, 192, 192), Highlight::Red, 8},
        {rgb(128, 128, 255), Highlight::Blue, 7},
        // Red on blue paper, and blue on red paper, can only be a grey.
        {rgb(255, 0, 0), Highlight::Blue, 2},
        {rgb(0, 0, 255), Highlight::Red, 2},
        {rgb(255, 192, 192), Highlight::Blue, 11},
        {rgb(255, 255, 0), Highlight::Red, 9},
    };
    for (const auto& r : rows)
        EXPECT_EQ(nearestRendering(r.colour, r.h), r.code)
            << hexOf(r.colour).toStdString() << (r.h == Highlight::Red ? " red" : " blue");
}

TEST(NearestRendering, TheLowByteOfAColourValueIsIgnored) {
    EXPECT_EQ(nearestRendering(rgb(255, 0, 0) | 0x01, Highlight::Red), 6);
}

TEST(MapFile, HexAndColourValuesTurnIntoEachOther) {
    EXPECT_EQ(hexOf(rgb(0x12, 0x34, 0x56)), QStringLiteral("123456"));
    EXPECT_EQ(colourOfHex(u"123456"), rgb(0x12, 0x34, 0x56));
    EXPECT_EQ(colourOfHex(u"c83c3c"), rgb(0xC8, 0x3C, 0x3C));
    for (const char16_t* bad : {u"12345", u"1234567", u"+12345", u"0x1234", u"12345G", u""})
        EXPECT_FALSE(colourOfHex(bad).has_value()) << QString::fromUtf16(bad).toStdString();
}

TEST(MapFile, LinesGiveColoursTheirCodesOrTheFileIsRefused) {
    const struct {
        const char* text;
        bool ok;
        std::vector<MapLine> lines;
        const char* problem;
    } rows[] = {
        {"000000 1\nFF0000 6\n", true, {{rgb(0, 0, 0), 1}, {rgb(255, 0, 0), 6}}, ""},
        {"# picture of a cup\n\n  808080\t2   # grey\r\nffffff 5",
         true,
         {{rgb(128, 128, 128), 2}, {rgb(255, 255, 255), 5}},
         ""},
        {"", true, {}, ""},
        {"000000 0\n", false, {}, "line 1: \"0\" is not a printer rendering code"},
        {"000000 1\n000000 12\n", false, {}, "line 2: \"12\" is not a printer rendering code"},
        {"000000 1\nFFFFFF 5\n000000 1\n", false, {}, "line 3: the colour 000000 was given a code before"},
        {"00000 1\n", false, {}, "line 1: \"00000\" is not a colour"},
        {"#000000 1\n000000\n", false, {}, "line 2 is not a colour and a code"},
        {"000000 1 2\n", false, {}, "line 1 is not a colour and a code"},
        {"000000 one\n", false, {}, "\"one\" is not a printer rendering code"},
    };
    for (const auto& r : rows) {
        std::vector<MapLine> lines;
        QString problem;
        const bool ok = parseMapFile(QByteArray(r.text), lines, problem);
        EXPECT_EQ(ok, r.ok) << r.text << ": " << problem.toStdString();
        if (!r.ok) {
            EXPECT_TRUE(problem.contains(QString::fromLatin1(r.problem))) << problem.toStdString();
            continue;
        }
        ASSERT_EQ(lines.size(), r.lines.size()) << r.text;
        for (size_t i = 0; i < lines.size(); ++i) {
            EXPECT_EQ(lines[i].colour, r.lines[i].colour) << r.text;
            EXPECT_EQ(lines[i].code, r.lines[i].code) << r.text;
        }
    }
}

TEST(MapFile, APrintedLineReadsBackAsTheSameChoice) {
    const QString line = mapFileLine({rgb(0xC8, 0x3C, 0x3C), 0}, 7);
    EXPECT_EQ(line, QStringLiteral("C83C3C  7  # <1% of the picture: 75% Color (2x2 Dithered)"));
    std::vector<MapLine> lines;
    QString problem;
    ASSERT_TRUE(parseMapFile(line.toLatin1(), lines, problem)) << problem.toStdString();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].colour, rgb(0xC8, 0x3C, 0x3C));
    EXPECT_EQ(lines[0].code, 7);
}

}  // namespace
