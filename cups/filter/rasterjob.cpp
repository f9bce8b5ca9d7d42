// rastertotintarex's pages: the header of each page is checked, its lines
// read as the header gives them and handed to the page writer that the
// printer application uses too (pageout), which separates them into inks and
// writes the printer's raster-line commands, feeds, cuts and drawer pulses.
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
#include <vector>

#include "pageout/pageout.hpp"

namespace tintarex {

namespace {

// ---- The job's choices, from the page header (see tintarex.drv) ----
enum class Highlight { Photo = 0, Graphics = 1, BlackOnly = 2 };

// The header's enumerations hold whatever the sender wrote: they are read
// as numbers, never loaded as the enumeration they claim to be.
template <typename Enum>
unsigned number(const Enum& field) {
    static_assert(sizeof(Enum) == sizeof(unsigned));
    unsigned value;
    std::memcpy(&value, &field, sizeof value);
    return value;
}

pageout::Choices choicesOf(const cups_page_header2_t& h) {
    pageout::Choices c;
    c.paperKind = h.cupsMediaType == 2   ? PIXMILL_PAPER_BLUE
                  : h.cupsMediaType == 3 ? PIXMILL_PAPER_BLACK_ONLY
                                         : PIXMILL_PAPER_RED;
    switch (Highlight(h.cupsInteger[0])) {
        case Highlight::Graphics: c.separation.method = rastiv::SeparationMethod::Nearest; break;
        case Highlight::BlackOnly: c.paperKind = PIXMILL_PAPER_BLACK_ONLY; break;
        default: break;
    }
    c.separation.brightness = pageout::brightnessForDarkness(int(int32_t(h.cupsInteger[1])));
    c.feedDots = pageout::dotsForMillimetres(int(h.cupsInteger[2]));
    c.drawer = h.cupsInteger[3] <= 2 ? pageout::Drawer(h.cupsInteger[3]) : pageout::Drawer::Never;
    // A roll has no page edges: the blank start and end of a page are left
    // off, unless the job asks for both.
    c.printBlankEnd = h.cupsInteger[4] != 0;
    c.skipBlankStart = !c.printBlankEnd;
    const unsigned cut = number(h.CutMedia);
    c.cut = cut == CUPS_CUT_PAGE                         ? pageout::Cut::Page
            : cut == CUPS_CUT_JOB || cut == CUPS_CUT_SET ? pageout::Cut::Job
                                                         : pageout::Cut::None;
    return c;
}

// The printer's bytes, whole commands, to the filter's output.
class ToOutput final : public pageout::Sink {
public:
    explicit ToOutput(Output& out) : out_(out) {}
    bool write(const unsigned char* bytes, size_t size) override { return out_.write(bytes, size); }

private:
    Output& out_;
};

enum class PageEnd { Done, Cancelled, Failed };

// The page's lines as its layout gives them: only the layout is believed,
// never another field.
PageEnd printPage(cups_raster_t* raster, const Layout& layout, const pageout::Choices& choices,
                  pageout::JobWriter& writer, const volatile sig_atomic_t& cancelled, std::FILE* log) {
    if (!writer.startPage(choices, int(layout.width), int(layout.channels))) return PageEnd::Failed;
    std::vector<unsigned char> line(layout.bytesPerLine);
    const auto bytes = unsigned(layout.bytesPerLine);
    for (unsigned y = 0; y < layout.lines; ++y) {
        if (cancelled) return PageEnd::Cancelled;
        if (cupsRasterReadPixels(raster, line.data(), bytes) != bytes) {
            if (cancelled) return PageEnd::Cancelled;  // the filter before us was cancelled too
            std::fprintf(log, "ERROR: The page ended after %u of its %u lines.\n", y, layout.lines);
            return PageEnd::Failed;
        }
        if (!writer.line(line.data())) return PageEnd::Failed;
    }
    return writer.endPage() ? PageEnd::Done : PageEnd::Failed;
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
    ToOutput sink(out);
    pageout::JobWriter writer(sink);
    cups_page_header2_t header;
    PageEnd end = PageEnd::Done;
    while (end == PageEnd::Done && !cancelled && cupsRasterReadHeader2(raster, &header)) {
        const CheckedPage page = pageLayout(header, limits);
        if (!page.layout) {
            std::fprintf(log, "ERROR: Page %d %s%s.\n", writer.pages() + 1, page.why.c_str(),
                         page.refusal == Refusal::Unsupported ? "; print it with the Tintarex driver's PPD"
                         : page.refusal == Refusal::Malformed ? ": its header contradicts itself"
                                                              : "");
            end = PageEnd::Failed;
            break;
        }
        if (header.HWResolution[0] != pageout::kDotsPerInch || header.HWResolution[1] != pageout::kDotsPerInch)
            std::fprintf(log, "WARNING: The page is at %ux%u dpi; the printer prints 203 dpi, so it changes size.\n",
                         header.HWResolution[0], header.HWResolution[1]);
        std::fprintf(log, "INFO: Printing page %d\n", writer.pages() + 1);
        std::fprintf(log, "PAGE: %d 1\n", writer.pages() + 1);
        end = printPage(raster, *page.layout, choicesOf(header), writer, cancelled, log);
    }
    if (cancelled || end == PageEnd::Cancelled) {
        writer.cancel();
        std::fputs("INFO: Cancelled: the printer finished its line and fed the paper.\n", log);
    } else if (end == PageEnd::Done && writer.pages() > 0) {
        writer.endJob();
        std::fprintf(log, "INFO: Printed %d page%s.\n", writer.pages(), writer.pages() == 1 ? "" : "s");
    } else if (end == PageEnd::Done) {
        std::fputs("ERROR: The job held no raster page.\n", log);
        end = PageEnd::Failed;
    }
    if (!writer.ok()) std::fprintf(log, "ERROR: %s\n", writer.error().c_str());
    return end == PageEnd::Failed || !writer.ok() ? 1 : 0;
}

}  // namespace tintarex
