// The raster filter as CUPS runs it: raster pages made here go in, and what
// comes out is read back as the printer would take it.
#include <cups/raster.h>
#include <gtest/gtest.h>
#include <pixmill/pixmill.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <functional>
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
    bool grey = false;  // one byte a dot, the ink's first value
    std::function<void(cups_page_header2_t&)> craft = nullptr;  // a header as anyone may send it
};

struct FilterRun {
    std::string printed, log;
    int status = 0;
};

// Writes `pages` as CUPS raster into a file and runs the filter on it.
FilterRun run(const std::vector<Page>& pages) {
    char path[] = "/tmp/filter_test-XXXXXX";
    const int fd = ::mkstemp(path);
    cups_raster_t* r = cupsRasterOpen(fd, CUPS_RASTER_WRITE);
    for (const Page& p : pages) {
        cups_page_header2_t h{};
        const unsigned channels = p.grey ? 1 : 3;
        h.cupsWidth = p.width, h.cupsHeight = p.lines, h.cupsBitsPerColor = 8, h.cupsBitsPerPixel = 8 * channels;
        h.cupsBytesPerLine = p.width * channels, h.cupsNumColors = channels;
        h.cupsColorSpace = p.grey ? CUPS_CSPACE_W : CUPS_CSPACE_RGB;
        h.cupsMediaType = p.mediaType, h.CutMedia = p.cut, h.cupsInteger[0] = p.highlight;
        h.cupsInteger[1] = unsigned(p.darkness), h.cupsInteger[2] = p.feedMm, h.cupsInteger[3] = p.drawer;
        h.cupsInteger[4] = p.printBlankEnd;
        if (p.craft) p.craft(h);
        cupsRasterWriteHeader2(r, &h);
        for (unsigned y = 0; y < std::min(h.cupsHeight, p.lines); ++y) {
            std::vector<uint8_t> line(std::min(h.cupsBytesPerLine, 1u << 20), 0xFF);
            const unsigned dots = std::min({p.left + p.dots, p.width, unsigned(line.size()) / channels});
            for (unsigned x = p.left; y >= p.from && y < p.to && x < dots; ++x)
                std::copy(p.ink.begin(), p.ink.begin() + channels, &line[x * channels]);
            cupsRasterWritePixels(r, line.data(), unsigned(line.size()));
        }
    }
    cupsRasterClose(r);
    ::close(fd);
    FilterRun result;
    const std::string log = std::string(path) + ".log";
    FILE* pipe = ::popen((std::string(RASTERTOTINTAREX) + " 1 user title 1 '' " + path + " 2>" + log).c_str(), "r");
    for (int c; (c = std::fgetc(pipe)) != EOF;) result.printed += char(c);
    result.status = ::pclose(pipe);
    if (FILE* f = std::fopen(log.c_str(), "r")) {
        for (int c; (c = std::fgetc(f)) != EOF;) result.log += char(c);
        std::fclose(f);
    }
    ::unlink(path);
    ::unlink(log.c_str());
    return result;
}

// What the filter printed from pages it takes.
std::string filter(const std::vector<Page>& pages) {
    const FilterRun r = run(pages);
    EXPECT_EQ(r.status, 0) << r.log;
    return r.printed;
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
    const std::string dot = line(1, 0, 1);
    const std::pair<std::vector<Page>, std::string> cases[] = {
        {{{.to = 2}}, two},                                                          // the blank end is left off
        {{{.lines = 400, .from = 300, .to = 302}}, two},                             // and so is the blank start
        {{{.lines = 400, .from = 300, .to = 302, .dots = 1}, {.from = 5, .to = 7}}, dot + dot + two},  // on each page
        {{{.lines = 400, .from = 300, .to = 302, .printBlankEnd = 1}}, feed(255) + feed(45) + two + feed(98)},
        {{fed, fed}, kDrawer + page + page},
        {{jobCut, jobCut}, two + kCut + kDrawer},
        {{Page{}}, ""},
        {{{.to = 2, .craft = [](cups_page_header2_t& h) { std::memset(&h.CutMedia, 0xEE, 4); }}}, two},  // no cut
    };
    for (const auto& [pages, expected] : cases) EXPECT_EQ(filter(pages), expected);
}

TEST(RasterFilter, DotsLandOnThePrintersLineInTheirInks) {
    // Graphics: each dot its nearest ink; red on red paper and blue on blue
    // paper are the highlight, a middle grey black once darkened and paper
    // once lightened.  Black-only paper, or black only chosen, gives the
    // black-only records.  A page wider than 80 mm, up to the widest one
    // believed, gives the printer its middle; a narrower one is centred.
    struct Case { unsigned mediaType, highlight, width, left; Rgb ink; int darkness; uint8_t dot; int paperKind; };
    const Case cases[] = {{1, 1, 640, 32, {255, 0, 0}, 0, 2, 1},   {2, 1, 640, 32, {0, 0, 255}, 0, 2, 2},
                          {1, 1, 640, 32, {0, 0, 0}, 0, 1, 1},     {3, 1, 640, 32, {0, 0, 0}, 0, 1, 0},
                          {1, 2, 640, 32, {0, 0, 0}, 0, 1, 0},     {1, 1, 384, 0, {0, 0, 0}, 0, 1, 1},
                          {1, 1, 800, 112, {0, 0, 0}, 0, 1, 1},    {1, 1, 640, 32, {128, 128, 128}, 2, 1, 1},
                          {1, 1, 640, 32, {128, 128, 128}, -2, 0, 1}, {1, 1, 8192, 3808, {0, 0, 0}, 0, 1, 1}};
    for (const Case& c : cases) {
        const unsigned margin = c.width < 576 ? (576 - c.width) / 2 : 0;  // of the printer's line on each side
        const std::string row = line(c.dot, margin, 576 - margin, c.paperKind);
        EXPECT_EQ(filter({{.lines = 20, .from = 5, .to = 7, .ink = c.ink, .left = c.left, .dots = 576, .width = c.width,
                           .mediaType = c.mediaType, .highlight = c.highlight, .darkness = c.darkness}}),
                  c.dot ? row + row : "")
            << c.mediaType << c.highlight << c.width << c.darkness;
    }
}

TEST(RasterFilter, AGreyPagePrintsAsTheSameGreysInRgb) {
    for (const uint8_t grey : {0, 90, 128, 200}) {
        const Page page{.lines = 12, .from = 3, .to = 9, .ink = {grey, grey, grey}, .dots = 300, .highlight = 0};
        Page greyPage = page;
        greyPage.grey = true;
        EXPECT_EQ(filter({greyPage}), filter({page})) << int(grey);
    }
}

// A header is whatever the sender wrote: fields that disagree, or a page
// larger than believed, end the job with a reason in its log and no byte
// for the printer, whatever came before (a drawer to open before the job).
TEST(RasterFilter, APageWhoseHeaderDisagreesIsRefusedUnread) {
    using H = cups_page_header2_t&;
    const std::function<void(H)> crafts[] = {
        [](H h) { h.cupsColorSpace = CUPS_CSPACE_W, h.cupsBitsPerPixel = 8, h.cupsBytesPerLine = h.cupsWidth; },
        [](H h) { h.cupsNumColors = 1; },
        [](H h) { h.cupsBitsPerPixel = 8, h.cupsBytesPerLine = h.cupsWidth; },
        [](H h) { h.cupsBitsPerPixel = 32; },
        [](H h) { h.cupsBytesPerLine -= 3; },
        [](H h) { h.cupsBytesPerLine += 3; },
        [](H h) { h.cupsWidth = 1u << 20, h.cupsBytesPerLine = 3u << 20; },
        [](H h) { h.cupsWidth = 0x55555556, h.cupsBytesPerLine = 2; },  // width * 3 wraps to 2
        [](H h) { h.cupsHeight = 0x7FFFFFFF; },
        [](H h) { h.cupsColorSpace = CUPS_CSPACE_CMYK, h.cupsNumColors = 4, h.cupsBitsPerPixel = 32; },
        [](H h) { h.cupsColorOrder = CUPS_ORDER_PLANAR; },
    };
    for (size_t row = 0; row < std::size(crafts); ++row) {
        const FilterRun r = run({{.lines = 4, .to = 4, .drawer = 1, .craft = crafts[row]}});
        EXPECT_NE(r.status, 0) << row;
        EXPECT_EQ(r.printed, "") << row;
        EXPECT_NE(r.log.find("ERROR: "), std::string::npos) << row << r.log;
    }
}

}  // namespace
