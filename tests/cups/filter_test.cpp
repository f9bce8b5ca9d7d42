// The raster filter as CUPS runs it: raster pages made here go in, and what
// comes out is read back as the printer would take it.
#include <cups/raster.h>
#include <gtest/gtest.h>
#include <pixmill/pixmill.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using Rgb = std::array<uint8_t, 3>;

// A white page with one band of ink: lines [from, to), dots [left, left +
// dots).  The 640 dots of 80 mm paper hold the printer's 576 in their
// middle, from dot 32.
struct Page {
    unsigned lines = 100, from = 0, to = 0;
    Rgb ink = {0, 0, 0};
    unsigned left = 32, dots = 8, width = 640;
    unsigned mediaType = 1, highlight = 1, feedMm = 0, drawer = 0, printBlankEnd = 0;
    int darkness = 0;
    cups_cut_t cut = CUPS_CUT_NONE;
};

// Writes `pages` as CUPS raster into a file and returns what the filter
// printed from it.
std::string filter(const std::vector<Page>& pages) {
    char path[] = "/tmp/filter_test-XXXXXX";
    const int fd = ::mkstemp(path);
    cups_raster_t* r = cupsRasterOpen(fd, CUPS_RASTER_WRITE);
    for (const Page& p : pages) {
        cups_page_header2_t h{};
        h.cupsWidth = p.width, h.cupsHeight = p.lines, h.cupsBitsPerColor = 8, h.cupsBitsPerPixel = 24;
        h.cupsBytesPerLine = p.width * 3, h.cupsColorSpace = CUPS_CSPACE_RGB, h.cupsNumColors = 3;
        h.cupsMediaType = p.mediaType, h.CutMedia = p.cut, h.cupsInteger[0] = p.highlight;
        h.cupsInteger[1] = unsigned(p.darkness), h.cupsInteger[2] = p.feedMm, h.cupsInteger[3] = p.drawer;
        h.cupsInteger[4] = p.printBlankEnd;
        cupsRasterWriteHeader2(r, &h);
        for (unsigned y = 0; y < p.lines; ++y) {
            std::vector<uint8_t> line(h.cupsBytesPerLine, 0xFF);
            for (unsigned x = p.left; y >= p.from && y < p.to && x < std::min(p.left + p.dots, p.width); ++x)
                std::copy(p.ink.begin(), p.ink.end(), &line[x * 3]);
            cupsRasterWritePixels(r, line.data(), h.cupsBytesPerLine);
        }
    }
    cupsRasterClose(r);
    ::close(fd);
    FILE* pipe = ::popen((std::string(RASTERTOTINTAREX) + " 1 user title 1 '' " + path + " 2>/dev/null").c_str(), "r");
    std::string printed;
    for (int c; (c = std::fgetc(pipe)) != EOF;) printed += char(c);
    EXPECT_EQ(::pclose(pipe), 0);
    ::unlink(path);
    return printed;
}

// What the printer is sent: paper feeds, the cut, the drawer pulse, and raster lines as EncodeGfxRow
// writes them, here with `ink` (1 black, 2 highlight) in the printer's dots [from, to).
std::string feed(int dots) { return {0x1B, 0x4A, char(dots)}; }
const std::string kCut = "\x1B\x6D", kDrawer("\x1B\x70\x00\x19\xFA", 5);
std::string line(uint8_t ink, unsigned from, unsigned to, int paperKind = 1) {
    std::array<uint8_t, 576> inks{};
    std::fill(inks.begin() + from, inks.begin() + to, ink);
    char out[146];
    int32_t length = 0;
    EXPECT_EQ(EncodeGfxRow(inks.data(), 576, paperKind, reinterpret_cast<unsigned char*>(out), &length), 0);
    return std::string(out, size_t(length));
}

TEST(RasterFilter, BlankLinesBecomeFeedsAndTheChoicesFollowThePage) {
    const Page fed{.lines = 10, .to = 2, .feedMm = 10, .drawer = 1, .cut = CUPS_CUT_PAGE};
    const Page jobCut{.lines = 10, .to = 1, .drawer = 2, .cut = CUPS_CUT_JOB};
    const std::string two = line(1, 0, 8) + line(1, 0, 8), page = two + feed(80) + kCut;  // 10 mm at 203 dpi
    const std::pair<std::vector<Page>, std::string> cases[] = {
        {{{.to = 2}}, two},                                                          // the blank end is left off
        {{{.lines = 400, .from = 300, .to = 302}}, feed(255) + feed(45) + two},      // at most 255 dots a feed
        {{{.lines = 400, .from = 300, .to = 302, .printBlankEnd = 1}}, feed(255) + feed(45) + two + feed(98)},
        {{fed, fed}, kDrawer + page + page},
        {{jobCut, jobCut}, two + kCut + kDrawer},
        {{Page{}}, ""},
    };
    for (const auto& [pages, expected] : cases) EXPECT_EQ(filter(pages), expected);
}

TEST(RasterFilter, DotsLandOnThePrintersLineInTheirInks) {
    // Graphics: each dot its nearest ink; red on red paper and blue on blue
    // paper are the highlight, a middle grey black once darkened and paper
    // once lightened.  Black-only paper, or black only chosen, gives the
    // black-only records.  A page wider than 80 mm gives the printer its
    // middle; a narrower one is centred.
    struct Case { unsigned mediaType, highlight, width, left; Rgb ink; int darkness; uint8_t dot; int paperKind; };
    const Case cases[] = {{1, 1, 640, 32, {255, 0, 0}, 0, 2, 1},   {2, 1, 640, 32, {0, 0, 255}, 0, 2, 2},
                          {1, 1, 640, 32, {0, 0, 0}, 0, 1, 1},     {3, 1, 640, 32, {0, 0, 0}, 0, 1, 0},
                          {1, 2, 640, 32, {0, 0, 0}, 0, 1, 0},     {1, 1, 384, 0, {0, 0, 0}, 0, 1, 1},
                          {1, 1, 800, 112, {0, 0, 0}, 0, 1, 1},    {1, 1, 640, 32, {128, 128, 128}, 2, 1, 1},
                          {1, 1, 640, 32, {128, 128, 128}, -2, 0, 1}};
    for (const Case& c : cases) {
        const unsigned margin = c.width < 576 ? (576 - c.width) / 2 : 0;  // of the printer's line on each side
        const std::string row = line(c.dot, margin, 576 - margin, c.paperKind);
        EXPECT_EQ(filter({{.lines = 20, .from = 5, .to = 7, .ink = c.ink, .left = c.left, .dots = 576, .width = c.width,
                           .mediaType = c.mediaType, .highlight = c.highlight, .darkness = c.darkness}}),
                  c.dot ? feed(5) + row + row : "")
            << c.mediaType << c.highlight << c.width << c.darkness;
    }
}

}  // namespace
