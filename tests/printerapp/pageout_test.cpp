// The page-to-printer module writes the CUPS filter's bytes for the same page
// and choices (a roll's trimming is checked end to end in printerapp_test.py).
#include <cups/raster.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "pageout/pageout.hpp"

namespace {

struct Bytes : pageout::Sink {
    bool write(const unsigned char* b, size_t n) override { return text.append(reinterpret_cast<const char*>(b), n), true; }
    std::string text;
};

// A white page of `width` RGB pixels with a photo-like band on lines [from, to).
std::vector<std::vector<unsigned char>> page(int width, int lines, int from, int to) {
    std::vector<std::vector<unsigned char>> rows(size_t(lines), std::vector<unsigned char>(size_t(width) * 3, 0xFF));
    for (int y = from; y < to; ++y)
        for (int x = 0; x < width; ++x)
            rows[size_t(y)][size_t(x) * 3 + 1] = rows[size_t(y)][size_t(x) * 3 + 2] = (unsigned char)((x * 7 + y * 3) % 256);
    return rows;
}

std::string printed(const std::vector<std::vector<unsigned char>>& rows, const pageout::Choices& c, int width) {
    Bytes out;
    pageout::JobWriter writer(out);
    EXPECT_TRUE(writer.startPage(c, width, 3));
    for (const auto& row : rows) writer.line(row.data());
    EXPECT_TRUE(writer.endPage() && writer.endJob()) << writer.error();
    return out.text;
}

// The same page and choices through rastertotintarex.
std::string filtered(const std::vector<std::vector<unsigned char>>& rows, int width, unsigned highlight, int darkness,
                     unsigned feedMm, unsigned drawer, bool blankEnd, cups_cut_t cut) {
    char path[] = "/tmp/pageout_test-XXXXXX";
    const int fd = ::mkstemp(path);
    cups_raster_t* r = cupsRasterOpen(fd, CUPS_RASTER_WRITE);
    cups_page_header2_t h{};
    h.cupsWidth = unsigned(width), h.cupsHeight = unsigned(rows.size()), h.cupsBitsPerColor = 8;
    h.cupsBitsPerPixel = 24, h.cupsBytesPerLine = unsigned(width) * 3, h.cupsColorSpace = CUPS_CSPACE_RGB;
    h.cupsNumColors = 3, h.cupsMediaType = 1, h.CutMedia = cut, h.cupsInteger[0] = highlight;
    h.cupsInteger[1] = unsigned(darkness), h.cupsInteger[2] = feedMm, h.cupsInteger[3] = drawer;
    h.cupsInteger[4] = blankEnd, h.HWResolution[0] = h.HWResolution[1] = 203;
    cupsRasterWriteHeader2(r, &h);
    for (const auto& row : rows) cupsRasterWritePixels(r, const_cast<unsigned char*>(row.data()), h.cupsBytesPerLine);
    cupsRasterClose(r);
    ::close(fd);
    FILE* pipe = ::popen((std::string(RASTERTOTINTAREX) + " 1 u t 1 '' " + path + " 2>/dev/null").c_str(), "r");
    std::string out;
    for (int ch; (ch = std::fgetc(pipe)) != EOF;) out += char(ch);
    ::pclose(pipe);
    ::unlink(path);
    return out;
}

TEST(Pageout, WritesWhatTheFilterWritesForTheSameChoices) {
    struct Case {
        int width, darkness;
        unsigned highlight, feedMm, drawer;
        bool blankEnd;
        cups_cut_t cut;
    };
    for (const Case& k : {Case{640, 0, 0, 0, 0, false, CUPS_CUT_JOB}, Case{500, 2, 1, 5, 1, true, CUPS_CUT_PAGE},
                          Case{576, -1, 2, 0, 2, false, CUPS_CUT_NONE}}) {
        const auto rows = page(k.width, 60, 10, 40);
        pageout::Choices c;
        c.method = k.highlight == 1 ? PIXMILL_SEPARATE_NEAREST : PIXMILL_SEPARATE_DIFFUSION;
        c.paperKind = k.highlight == 2 ? PIXMILL_PAPER_BLACK_ONLY : PIXMILL_PAPER_RED;
        c.brightness = pageout::brightnessForDarkness(k.darkness);
        c.feedDots = pageout::dotsForMillimetres(int(k.feedMm));
        c.drawer = pageout::Drawer(k.drawer);
        c.printBlankEnd = k.blankEnd;
        c.cut = k.cut == CUPS_CUT_PAGE ? pageout::Cut::Page : k.cut == CUPS_CUT_JOB ? pageout::Cut::Job : pageout::Cut::None;
        EXPECT_EQ(printed(rows, c, k.width), filtered(rows, k.width, k.highlight, k.darkness, k.feedMm, k.drawer,
                                                      k.blankEnd, k.cut))
            << "width " << k.width << ", highlight " << k.highlight;
    }
}

}  // namespace
