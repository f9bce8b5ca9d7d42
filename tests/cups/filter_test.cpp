// The raster filter as CUPS runs it: raster pages made here go in, and what
// comes out is read back as the printer would take it.
#include <cups/raster.h>
#include <gtest/gtest.h>
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
        h.HWResolution[0] = h.HWResolution[1] = 203;
        h.cupsWidth = p.width, h.cupsHeight = p.lines, h.cupsBitsPerColor = 8, h.cupsBitsPerPixel = 24;
        h.cupsBytesPerLine = p.width * 3, h.cupsColorSpace = CUPS_CSPACE_RGB, h.cupsNumColors = 3;
        h.cupsMediaType = p.mediaType, h.CutMedia = p.cut, h.cupsInteger[0] = p.highlight;
        h.cupsInteger[1] = unsigned(p.darkness), h.cupsInteger[2] = p.feedMm, h.cupsInteger[3] = p.drawer;
        h.cupsInteger[4] = p.printBlankEnd;
        cupsRasterWriteHeader2(r, &h);
        for (unsigned y = 0; y < p.lines; ++y) {
            std::vector<uint8_t> line(h.cupsBytesPerLine, 0xFF);
            for (unsigned x = p.left; y >= p.from && y < p.to && x < p.left + p.dots; ++x)
                std::copy(p.ink.begin(), p.ink.end(), &line[x * 3]);
            cupsRasterWritePixels(r, line.data(), h.cupsBytesPerLine);
        }
    }
    cupsRasterClose(r);
    ::close(fd);
    FILE* pipe = ::popen((std::string(RASTERTOTINTAREX) + " 1 user title 1 '' " + path + " 2>/dev/null").c_str(), "r");
    std::string printed;
    char buffer[65536];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) printed.append(buffer, n);
    EXPECT_EQ(::pclose(pipe), 0);
    ::unlink(path);
    return printed;
}

// The printer's view: one word a command ("83" or "82" for a raster line,
// "feed 30", "cut", "drawer"), and each raster line's dots as a string of
// 576 digits (0 paper, 1 black, 2 highlight).  A command cut short or
// unknown fails the test.
struct Printout {
    std::string commands;
    std::vector<std::string> rows;
};

Printout read(const std::string& s) {
    Printout p;
    auto say = [&](const std::string& word) { p.commands += (p.commands.empty() ? "" : ", ") + word; };
    auto bit = [&](size_t at, int x) { return (uint8_t(s[at + size_t(x / 8)]) >> (7 - x % 8)) & 1; };
    for (size_t i = 0; i < s.size();) {
        const size_t left = s.size() - i;
        const bool two = s.compare(i, 2, "\x1D\x83") == 0 && left >= 146;
        if (two || (s.compare(i, 2, "\x1D\x82") == 0 && left >= 74)) {
            std::string dots(576, '0');
            for (int x = 0; x < 576; ++x)  // two-colour: the ink plane, then the black plane
                dots[size_t(x)] = char('0' + (two && bit(i + 74, x) ? 1 : bit(i + 2, x) ? (two ? 2 : 1) : 0));
            p.rows.push_back(dots), say(two ? "83" : "82"), i += two ? 146 : 74;
        } else if (s.compare(i, 2, "\x1B\x4A") == 0 && left >= 3) {
            say("feed " + std::to_string(uint8_t(s[i + 2]))), i += 3;
        } else if (s.compare(i, 2, "\x1B\x6D") == 0) {
            say("cut"), i += 2;
        } else if (s.compare(i, 5, std::string("\x1B\x70\x00\x19\xFA", 5)) == 0) {
            say("drawer"), i += 5;
        } else {
            ADD_FAILURE() << "no command at byte " << i << " of " << s.size();
            break;
        }
    }
    return p;
}

TEST(RasterFilter, BlankLinesBecomeFeedsAndTheChoicesFollowThePage) {
    const Page band{.lines = 400, .from = 300, .to = 302};
    Page tail = band, fed{.lines = 10, .to = 2}, jobCut{.lines = 10, .to = 1};
    tail.printBlankEnd = 1;
    fed.feedMm = 10, fed.cut = CUPS_CUT_PAGE, fed.drawer = 1;
    jobCut.cut = CUPS_CUT_JOB, jobCut.drawer = 2;
    const std::pair<std::vector<Page>, const char*> cases[] = {
        {{{.to = 2}}, "83, 83"},                                             // the blank end is left off
        {{band}, "feed 255, feed 45, 83, 83"},                               // at most 255 dots a feed
        {{tail}, "feed 255, feed 45, 83, 83, feed 98"},                      // the blank end fed on request
        {{fed, fed}, "drawer, 83, 83, feed 80, cut, 83, 83, feed 80, cut"},  // 10 mm at 203 dpi
        {{jobCut, jobCut}, "83, 83, cut, drawer"},
        {{Page{}}, ""},
    };
    for (const auto& [pages, expected] : cases) EXPECT_EQ(read(filter(pages)).commands, expected);
}

TEST(RasterFilter, DotsLandOnThePrintersLineInTheirInks) {
    // Graphics: each dot its nearest ink; red on red paper and blue on blue
    // paper are the highlight.  Black-only paper, or black only chosen,
    // gives the black-only records.  A page wider than 80 mm gives the
    // printer its middle; a narrower one is centred.
    struct Case {
        unsigned mediaType, highlight, width, left;
        Rgb ink;
        char dot, record;
        unsigned from, to;  // the inked dots of the printer's line
    };
    const Case cases[] = {
        {1, 1, 640, 32, {255, 0, 0}, '2', '3', 0, 576}, {2, 1, 640, 32, {0, 0, 255}, '2', '3', 0, 576},
        {1, 1, 640, 32, {0, 0, 0}, '1', '3', 0, 576},   {3, 1, 640, 32, {0, 0, 0}, '1', '2', 0, 576},
        {1, 2, 640, 32, {0, 0, 0}, '1', '2', 0, 576},   {1, 1, 384, 0, {0, 0, 0}, '1', '3', 96, 480},
        {1, 1, 800, 112, {0, 0, 0}, '1', '3', 0, 576},
    };
    for (const Case& c : cases) {
        const Page p{.lines = 20, .from = 5, .to = 7, .ink = c.ink, .left = c.left, .dots = std::min(c.width, 576u),
                     .width = c.width, .mediaType = c.mediaType, .highlight = c.highlight};
        const Printout out = read(filter({p}));
        EXPECT_EQ(out.commands, std::string("feed 5, 8") + c.record + ", 8" + c.record) << c.mediaType << c.highlight;
        const std::string expected =
            std::string(c.from, '0') + std::string(c.to - c.from, c.dot) + std::string(576 - c.to, '0');
        for (const std::string& row : out.rows) EXPECT_EQ(row, expected) << c.width;
    }
}

TEST(RasterFilter, EachStepOfDarknessPrintsMoreDotsOfATone) {
    size_t previous = 0;
    for (int darkness = -2; darkness <= 2; ++darkness) {
        const Page grey{.lines = 40, .to = 40, .ink = {150, 150, 150}, .dots = 576, .highlight = 0, .darkness = darkness};
        size_t dots = 0;
        for (const std::string& row : read(filter({grey})).rows) dots += size_t(std::count(row.begin(), row.end(), '1'));
        EXPECT_GT(dots, previous) << darkness;
        previous = dots;
    }
}

}  // namespace
