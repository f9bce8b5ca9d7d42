// The raster filter as CUPS runs it: raster pages made here go in, and what
// comes out is read back as the printer would take it.
#include <cups/raster.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

// A page: its length in lines and the colour of each dot, from the left of
// the 640-dot raster line of 80 mm paper (the printer's 576 dots begin at 32).
struct Page {
    unsigned lines = 100;
    std::function<std::array<uint8_t, 3>(unsigned x, unsigned y)> colour = [](unsigned, unsigned) {
        return std::array<uint8_t, 3>{255, 255, 255};
    };
    unsigned mediaType = 1, highlight = 1, feedMm = 0, drawer = 0, printBlankEnd = 0;
    cups_cut_t cut = CUPS_CUT_NONE;
};

constexpr unsigned kRasterWidth = 640;

std::string raster(const std::vector<Page>& pages) {
    int fds[2];
    EXPECT_EQ(::pipe(fds), 0);
    std::string bytes;
    const pid_t writer = ::fork();
    if (writer == 0) {
        ::close(fds[0]);
        cups_raster_t* r = cupsRasterOpen(fds[1], CUPS_RASTER_WRITE);
        for (const Page& p : pages) {
            cups_page_header2_t h{};
            h.HWResolution[0] = h.HWResolution[1] = 203;
            h.cupsWidth = kRasterWidth;
            h.cupsHeight = p.lines;
            h.cupsBitsPerColor = 8;
            h.cupsBitsPerPixel = 24;
            h.cupsBytesPerLine = kRasterWidth * 3;
            h.cupsColorSpace = CUPS_CSPACE_RGB;
            h.cupsNumColors = 3;
            h.cupsMediaType = p.mediaType;
            h.CutMedia = p.cut;
            h.cupsInteger[0] = p.highlight;
            h.cupsInteger[2] = p.feedMm;
            h.cupsInteger[3] = p.drawer;
            h.cupsInteger[4] = p.printBlankEnd;
            cupsRasterWriteHeader2(r, &h);
            std::vector<uint8_t> line(h.cupsBytesPerLine);
            for (unsigned y = 0; y < p.lines; ++y) {
                for (unsigned x = 0; x < kRasterWidth; ++x) std::memcpy(&line[x * 3], p.colour(x, y).data(), 3);
                cupsRasterWritePixels(r, line.data(), h.cupsBytesPerLine);
            }
        }
        cupsRasterClose(r);
        ::_exit(0);
    }
    ::close(fds[1]);
    char buffer[65536];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) bytes.append(buffer, size_t(n));
    ::close(fds[0]);
    ::waitpid(writer, nullptr, 0);
    return bytes;
}

// Runs the filter on `input` as CUPS would, and returns what it printed.
std::string filter(const std::string& input) {
    int in[2], out[2];
    EXPECT_TRUE(::pipe(in) == 0 && ::pipe(out) == 0);
    if (::fork() == 0) {
        ::dup2(in[0], 0), ::dup2(out[1], 1), ::close(in[1]), ::close(out[0]);
        ::execl(RASTERTOTINTAREX, "rastertotintarex", "1", "user", "title", "1", "", nullptr);
        ::_exit(127);
    }
    ::close(in[0]), ::close(out[1]);
    std::thread feeder([&] {
        for (size_t done = 0; done < input.size();) {
            const ssize_t n = ::write(in[1], input.data() + done, input.size() - done);
            if (n <= 0) break;
            done += size_t(n);
        }
        ::close(in[1]);
    });
    std::string printed;
    char buffer[65536];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;) printed.append(buffer, size_t(n));
    ::close(out[0]), feeder.join(), ::wait(nullptr);
    return printed;
}

// The printer's view: one word a command ("row", "feed 30", "cut",
// "drawer"), and the dots of the rows (0 paper, 1 black, 2 highlight) in
// order.  A command cut short or unknown fails the test.
struct Printout {
    std::vector<std::string> commands;
    std::vector<std::array<uint8_t, 576>> rows;
    std::string twoColour;  // "83" / "82" per row
};

Printout read(const std::string& s) {
    Printout p;
    auto at = [&](size_t i) { return uint8_t(s[i]); };
    for (size_t i = 0; i < s.size();) {
        const size_t left = s.size() - i;
        if (left >= 146 && at(i) == 0x1D && at(i + 1) == 0x83) {
            std::array<uint8_t, 576> dots{};
            for (int x = 0; x < 576; ++x) {
                const bool ink = at(i + 2 + x / 8) & (0x80 >> (x % 8)), black = at(i + 74 + x / 8) & (0x80 >> (x % 8));
                dots[x] = black ? 1 : ink ? 2 : 0;
            }
            p.rows.push_back(dots), p.commands.push_back("row"), p.twoColour += '3', i += 146;
        } else if (left >= 74 && at(i) == 0x1D && at(i + 1) == 0x82) {
            std::array<uint8_t, 576> dots{};
            for (int x = 0; x < 576; ++x) dots[x] = at(i + 2 + x / 8) & (0x80 >> (x % 8)) ? 1 : 0;
            p.rows.push_back(dots), p.commands.push_back("row"), p.twoColour += '2', i += 74;
        } else if (left >= 3 && at(i) == 0x1B && at(i + 1) == 0x4A) {
            p.commands.push_back("feed " + std::to_string(at(i + 2))), i += 3;
        } else if (left >= 2 && s.compare(i, 2, "\x1B\x6D") == 0) {
            p.commands.push_back("cut"), i += 2;
        } else if (left >= 5 && s.compare(i, 5, std::string("\x1B\x70\x00\x19\xFA", 5)) == 0) {
            p.commands.push_back("drawer"), i += 5;
        } else {
            ADD_FAILURE() << "no command at byte " << i << " of " << s.size();
            break;
        }
    }
    return p;
}

std::string join(const std::vector<std::string>& words) {
    std::string s;
    for (const auto& w : words) s += (s.empty() ? "" : ", ") + w;
    return s;
}

// Ink in lines [from, to) and dots [32, 32 + width) of the raster: the
// first `width` dots of the printer's line.
Page inkBand(unsigned lines, unsigned from, unsigned to, std::array<uint8_t, 3> ink = {0, 0, 0}, unsigned width = 8) {
    Page p;
    p.lines = lines;
    p.colour = [=](unsigned x, unsigned y) {
        return y >= from && y < to && x >= 32 && x < 32 + width ? ink : std::array<uint8_t, 3>{255, 255, 255};
    };
    return p;
}

TEST(RasterFilter, BlankLinesBecomeFeedsAndTheChoicesFollowThePage) {
    struct Case {
        const char* name;
        std::vector<Page> pages;
        std::string expected;
    };
    Page tail = inkBand(400, 300, 302);
    tail.printBlankEnd = 1;
    Page fed = inkBand(10, 0, 2);
    fed.feedMm = 10, fed.cut = CUPS_CUT_PAGE, fed.drawer = 1;
    Page jobCut = inkBand(10, 0, 1);
    jobCut.cut = CUPS_CUT_JOB, jobCut.drawer = 2;
    const Case cases[] = {
        {"a blank end is left off", {inkBand(100, 0, 2)}, "row, row"},
        {"a blank run is fed, 255 dots a feed", {inkBand(400, 300, 302)}, "feed 255, feed 45, row, row"},
        {"a blank end fed on request", {tail}, "feed 255, feed 45, row, row, feed 98"},
        {"drawer before, feed and cut each page", {fed, fed},
         "drawer, row, row, feed 80, cut, row, row, feed 80, cut"},
        {"cut and drawer after the job", {jobCut, jobCut}, "row, row, cut, drawer"},
        {"an empty page prints nothing", {inkBand(50, 0, 0)}, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(join(read(filter(raster(c.pages))).commands), c.expected) << c.name;
}

TEST(RasterFilter, DotsLandOnThePrintersLineInTheirInks) {
    // Graphics: each dot its nearest ink.  Red on red paper is the highlight;
    // on black-only paper, or with black only chosen, it is black; the
    // records are then the black-only kind.
    struct Case {
        unsigned mediaType, highlight;
        std::array<uint8_t, 3> ink;
        uint8_t dot;
        char record;
    };
    const Case cases[] = {
        {1, 1, {255, 0, 0}, 2, '3'},  {2, 1, {0, 0, 255}, 2, '3'}, {1, 1, {0, 0, 0}, 1, '3'},
        {3, 1, {0, 0, 0}, 1, '2'},    {1, 2, {0, 0, 0}, 1, '2'},
    };
    for (const Case& c : cases) {
        Page p = inkBand(20, 5, 7, c.ink, 576);
        p.mediaType = c.mediaType, p.highlight = c.highlight;
        const Printout out = read(filter(raster({p})));
        ASSERT_EQ(out.rows.size(), 2u) << c.mediaType << " " << c.highlight;
        for (const auto& row : out.rows)
            EXPECT_TRUE(std::all_of(row.begin(), row.end(), [&](uint8_t d) { return d == c.dot; }));
        EXPECT_EQ(out.twoColour, std::string(2, c.record));
    }
}

}  // namespace
