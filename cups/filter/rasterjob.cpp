// rastertotintarex's pages: each page is separated line by line into paper,
// black and the highlight ink with Pixmill's streaming separator, and each
// line of dots becomes one raster-line command through the encoder that
// writes graphics files.  Runs of blank lines become paper feeds; the cut and
// the cash drawer follow the job's choices.
//
// Memory does not grow with the page: one line of the page, one line of
// dots and one record are all it holds.  The header is a claim made by
// whoever sent the raster (any user who may print): the line is sized and
// read by one reading of it, and a page whose fields disagree is refused.
#include "rasterjob.hpp"

#include <pixmill/pixmill.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

namespace tintarex {

namespace {

// ---- What the filter sends besides the picture ----
// ESC J n: feed n dots.
constexpr unsigned char kFeed = 0x4A;
constexpr int kMaxFeedDots = 255;
// ESC J 255, then 19h: past the tear bar, as Rastiv ends a print it cancelled.
constexpr unsigned char kCancelFeed[] = {0x1B, 0x4A, 0xFF, 0x19};
// ESC m: cut the paper.
constexpr unsigned char kCut[] = {0x1B, 0x6D};
// ESC p 0 t1 t2: a pulse on the drawer's pin 2, 50 ms on and 500 ms off.
constexpr unsigned char kDrawerKick[] = {0x1B, 0x70, 0x00, 0x19, 0xFA};

constexpr int kLineDots = 576;  // one printer line
constexpr int kDotsPerInch = 203;
constexpr int kRecordMax = 146;  // 1D 83, ink plane, black plane

// ---- The job's choices, from the page header (see tintarex.drv) ----
enum class Highlight { Photo = 0, Graphics = 1, BlackOnly = 2 };
enum class Drawer { Never = 0, Before = 1, After = 2 };

struct Choices {
    int paperKind = PIXMILL_PAPER_RED;
    int method = PIXMILL_SEPARATE_DIFFUSION;
    int brightness = 0;
    int feedDots = 0;  // after each page
    Drawer drawer = Drawer::Never;
    bool printBlankEdges = false;  // the blank start and end of a page
    cups_cut_t cut = CUPS_CUT_NONE;
};

// The header's enumerations hold whatever the sender wrote: they are read
// as numbers, never loaded as the enumeration they claim to be.
template <typename Enum>
unsigned number(const Enum& field) {
    static_assert(sizeof(Enum) == sizeof(unsigned));
    unsigned value;
    std::memcpy(&value, &field, sizeof value);
    return value;
}

Choices choicesOf(const cups_page_header2_t& h) {
    Choices c;
    c.paperKind = h.cupsMediaType == 2   ? PIXMILL_PAPER_BLUE
                  : h.cupsMediaType == 3 ? PIXMILL_PAPER_BLACK_ONLY
                                         : PIXMILL_PAPER_RED;
    switch (Highlight(h.cupsInteger[0])) {
        case Highlight::Graphics: c.method = PIXMILL_SEPARATE_NEAREST; break;
        case Highlight::BlackOnly: c.paperKind = PIXMILL_PAPER_BLACK_ONLY; break;
        default: break;
    }
    // Each step of darkness is a step of brightness down: more dots.
    const int darkness = std::clamp(int(int32_t(h.cupsInteger[1])), -2, 2);
    c.brightness = -15 * darkness;
    const int feedMm = std::clamp(int(h.cupsInteger[2]), 0, 100);
    c.feedDots = (feedMm * kDotsPerInch * 10 + 127) / 254;
    c.drawer = h.cupsInteger[3] <= 2 ? Drawer(h.cupsInteger[3]) : Drawer::Never;
    c.printBlankEdges = h.cupsInteger[4] != 0;
    const unsigned cut = number(h.CutMedia);
    c.cut = cut <= CUPS_CUT_PAGE ? cups_cut_t(cut) : CUPS_CUT_NONE;
    return c;
}

// ---- Output: whole commands or nothing ----
class Printer {
public:
    explicit Printer(Output& out) : out_(out) {}
    bool write(const unsigned char* bytes, size_t size) { return ok_ = ok_ && out_.write(bytes, size); }
    template <size_t N>
    bool write(const unsigned char (&command)[N]) {
        return write(command, N);
    }
    bool feed(int dots) {
        for (; dots > 0 && ok_; dots -= kMaxFeedDots) {
            const unsigned char command[] = {0x1B, kFeed, static_cast<unsigned char>(std::min(dots, kMaxFeedDots))};
            write(command);
        }
        return ok_;
    }
    bool ok() const { return ok_; }

private:
    Output& out_;
    bool ok_ = true;
};

// ---- One page ----
enum class PageEnd { Done, Cancelled, Failed };

// The page's lines as 576 RGB dots: a wider page gives its middle (the
// printable width sits in the middle of the paper), a narrower one is
// centred on white.  Only the layout is believed, never another field.
class LineReader {
public:
    LineReader(cups_raster_t* raster, const Layout& layout)
        : raster_(raster), layout_(layout), line_(layout.bytesPerLine), rgb_(kLineDots * 3, 0xFF) {
        const unsigned width = layout.width;
        skip_ = width > kLineDots ? (width - kLineDots) / 2 : 0;
        pad_ = width < kLineDots ? (kLineDots - width) / 2 : 0;
        count_ = std::min(width, unsigned(kLineDots));  // skip_ + count_ <= width: inside the line
    }
    // The next line, or null when the raster ends early.
    const unsigned char* next() {
        const auto bytes = unsigned(layout_.bytesPerLine);
        if (cupsRasterReadPixels(raster_, line_.data(), bytes) != bytes) return nullptr;
        unsigned char* out = rgb_.data() + size_t(pad_) * 3;
        if (layout_.channels == 1) {
            for (unsigned x = 0; x < count_; ++x, out += 3) out[0] = out[1] = out[2] = line_[skip_ + x];
        } else {
            std::memcpy(out, line_.data() + size_t(skip_) * 3, size_t(count_) * 3);
        }
        return rgb_.data();
    }

private:
    cups_raster_t* raster_;
    Layout layout_;
    std::vector<unsigned char> line_, rgb_;
    unsigned skip_ = 0, pad_ = 0, count_ = 0;
};

// Blank lines wait as a count until something prints after them.  A roll
// has no page edges: the blank lines before the first printed one are
// dropped like those after the last, unless the job asks for both.
class LineWriter {
public:
    LineWriter(Printer& printer, int paperKind, bool keepBlankStart, std::FILE* log)
        : printer_(printer), paperKind_(paperKind), started_(keepBlankStart), log_(log) {}
    bool line(const unsigned char* inks) {
        if (std::all_of(inks, inks + kLineDots, [](unsigned char ink) { return ink == PIXMILL_INK_PAPER; })) {
            ++blank_;
            return true;
        }
        unsigned char record[kRecordMax];
        int32_t length = 0;
        if (EncodeGfxRow(inks, kLineDots, paperKind_, record, &length) != 0) {
            std::fputs("ERROR: The separated line could not be encoded.\n", log_);
            return false;
        }
        const int before = takeBlank();
        return printer_.feed(std::exchange(started_, true) ? before : 0) && printer_.write(record, size_t(length));
    }
    int takeBlank() { return std::exchange(blank_, 0); }

private:
    Printer& printer_;
    int paperKind_;
    bool started_;
    std::FILE* log_;
    int blank_ = 0;
};

PageEnd printPage(cups_raster_t* raster, const Layout& layout, const Choices& c, Printer& printer,
                  const volatile sig_atomic_t& cancelled, std::FILE* log) {
    PixmillSeparator* separator = nullptr;
    if (int32_t r = SeparatorOpen(&separator, kLineDots, c.paperKind, c.method, c.brightness, 0, 100, 0); r != 0) {
        std::fprintf(log, "ERROR: The page could not be separated into inks (Error # %d).\n", int(r));
        return PageEnd::Failed;
    }
    LineReader reader(raster, layout);
    LineWriter writer(printer, c.paperKind, c.printBlankEdges, log);
    std::vector<unsigned char> inks(kLineDots);
    int32_t ready = 0;
    PageEnd end = PageEnd::Done;
    for (unsigned y = 0; y < layout.lines && end == PageEnd::Done; ++y) {
        if (cancelled) {
            end = PageEnd::Cancelled;
            break;
        }
        const unsigned char* rgb = reader.next();
        if (!rgb && cancelled) {
            end = PageEnd::Cancelled;  // the filter before us was cancelled too
        } else if (!rgb) {
            std::fprintf(log, "ERROR: The page ended after %u of its %u lines.\n", y, layout.lines);
            end = PageEnd::Failed;
        } else if (SeparatorPushRow(separator, rgb, inks.data(), &ready) != 0 || (ready && !writer.line(inks.data()))) {
            end = PageEnd::Failed;
        }
    }
    if (end == PageEnd::Done && SeparatorFlush(separator, inks.data(), &ready) == 0 && ready &&
        !writer.line(inks.data()))
        end = PageEnd::Failed;
    SeparatorClose(separator);
    if (end != PageEnd::Done) return end;
    const int blankEnd = writer.takeBlank();
    if (c.printBlankEdges) printer.feed(blankEnd);
    printer.feed(c.feedDots);
    if (c.cut == CUPS_CUT_PAGE) printer.write(kCut);
    return printer.ok() ? PageEnd::Done : PageEnd::Failed;
}

}  // namespace

CheckedPage pageLayout(const cups_page_header2_t& h, const Limits& limits) {
    CheckedPage page;
    char why[200];
    const auto refuse = [&](Refusal refusal) {
        page.refusal = refusal;
        page.why = why;
        return page;
    };
    const unsigned space = number(h.cupsColorSpace), order = number(h.cupsColorOrder);
    const bool rgb = space == CUPS_CSPACE_RGB || space == CUPS_CSPACE_SRGB || space == CUPS_CSPACE_ADOBERGB;
    const bool grey = space == CUPS_CSPACE_W || space == CUPS_CSPACE_SW;
    const unsigned channels = rgb ? 3 : 1;
    // A format the filter does not take, however consistent.
    if (!rgb && !grey) {
        std::snprintf(why, sizeof why, "is in colour space %u, not RGB or grey", space);
        return refuse(Refusal::Unsupported);
    }
    if (h.cupsBitsPerColor != 8 || order != CUPS_ORDER_CHUNKED) {
        std::snprintf(why, sizeof why, "has %u bits a colour in colour order %u, not 8 bits chunked",
                      h.cupsBitsPerColor, order);
        return refuse(Refusal::Unsupported);
    }
    // Fields that must agree with the colour space, or the line is read by
    // one of them and sized by another.
    if (h.cupsNumColors != channels || h.cupsBitsPerPixel != 8 * channels) {
        std::snprintf(why, sizeof why, "says %u colours and %u bits a dot in a colour space of %u colours",
                      h.cupsNumColors, h.cupsBitsPerPixel, channels);
        return refuse(Refusal::Malformed);
    }
    if (h.cupsWidth == 0 || h.cupsHeight == 0) {
        std::snprintf(why, sizeof why, "is %u by %u dots", h.cupsWidth, h.cupsHeight);
        return refuse(Refusal::Malformed);
    }
    if (h.cupsWidth > limits.maxWidth || h.cupsHeight > limits.maxLines) {
        std::snprintf(why, sizeof why, "is %u by %u dots, more than the %u by %u the printer is sent", h.cupsWidth,
                      h.cupsHeight, limits.maxWidth, limits.maxLines);
        return refuse(Refusal::TooLarge);
    }
    // Width is bounded above: the product cannot overflow.
    if (h.cupsBytesPerLine != size_t(h.cupsWidth) * channels) {
        std::snprintf(why, sizeof why, "says %u bytes a line for %u dots of %u bytes", h.cupsBytesPerLine,
                      h.cupsWidth, channels);
        return refuse(Refusal::Malformed);
    }
    page.layout = Layout{h.cupsWidth, h.cupsHeight, channels, h.cupsBytesPerLine};
    return page;
}

int printRaster(cups_raster_t* raster, Output& out, const Limits& limits, const volatile sig_atomic_t& cancelled,
                std::FILE* log) {
    Printer printer(out);
    cups_page_header2_t header;
    Choices job;
    int pages = 0;
    PageEnd end = PageEnd::Done;
    while (end == PageEnd::Done && !cancelled && cupsRasterReadHeader2(raster, &header)) {
        const CheckedPage page = pageLayout(header, limits);
        if (!page.layout) {
            std::fprintf(log, "ERROR: Page %d %s%s.\n", pages + 1, page.why.c_str(),
                         page.refusal == Refusal::Unsupported ? "; print it with the Tintarex driver's PPD"
                         : page.refusal == Refusal::Malformed ? ": its header contradicts itself"
                                                              : "");
            end = PageEnd::Failed;
            break;
        }
        if (header.HWResolution[0] != kDotsPerInch || header.HWResolution[1] != kDotsPerInch)
            std::fprintf(log, "WARNING: The page is at %ux%u dpi; the printer prints 203 dpi, so it changes size.\n",
                         header.HWResolution[0], header.HWResolution[1]);
        job = choicesOf(header);
        if (pages == 0 && job.drawer == Drawer::Before) printer.write(kDrawerKick);
        ++pages;
        std::fprintf(log, "INFO: Printing page %d\n", pages);
        std::fprintf(log, "PAGE: %d 1\n", pages);
        end = printPage(raster, *page.layout, job, printer, cancelled, log);
    }
    if (cancelled || end == PageEnd::Cancelled) {
        printer.write(kCancelFeed);
        std::fputs("INFO: Cancelled: the printer finished its line and fed the paper.\n", log);
    } else if (end == PageEnd::Done && pages > 0) {
        if (job.cut == CUPS_CUT_JOB || job.cut == CUPS_CUT_SET) printer.write(kCut);
        if (job.drawer == Drawer::After) printer.write(kDrawerKick);
        std::fprintf(log, "INFO: Printed %d page%s.\n", pages, pages == 1 ? "" : "s");
    } else if (end == PageEnd::Done) {
        std::fputs("ERROR: The job held no raster page.\n", log);
        end = PageEnd::Failed;
    }
    return end == PageEnd::Failed || !printer.ok() ? 1 : 0;
}

}  // namespace tintarex
