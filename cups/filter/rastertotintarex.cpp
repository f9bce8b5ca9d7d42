// rastertotintarex: the CUPS filter of the Tintarex receipt printers.  It
// reads CUPS raster (8-bit RGB or grey, as tintarex.ppd asks for), separates
// each page line by line into paper, black and the highlight ink with
// Pixmill's streaming separator, and writes one raster-line command per line
// of dots through the encoder that writes graphics files.  Runs of blank
// lines become paper feeds; the cut and the cash drawer follow the job's
// choices.
//
// Memory does not grow with the page: one line of the page, one line of
// dots and one record are all it holds.
//
// A cancelled job (SIGTERM) ends on a whole line followed by the paper feed
// that ends a cancelled print in Rastiv, so the printer is never left inside
// a command.
//
//   rastertotintarex job user title copies options [file]
#include <cups/cups.h>
#include <cups/raster.h>
#include <fcntl.h>
#include <pixmill/pixmill.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

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
    bool printBlankEnd = false;
    cups_cut_t cut = CUPS_CUT_NONE;
};

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
    c.printBlankEnd = h.cupsInteger[4] != 0;
    c.cut = h.CutMedia;
    return c;
}

// ---- Cancelling ----
volatile sig_atomic_t gCancelled = 0;

void onTerm(int) { gCancelled = 1; }

// ---- Output: whole commands or nothing ----
class Printer {
public:
    // A command is written completely even when a signal interrupts the
    // write; false once the backend has gone.
    bool write(const unsigned char* bytes, size_t size) {
        while (size > 0 && ok_) {
            const ssize_t n = ::write(STDOUT_FILENO, bytes, size);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                std::fprintf(stderr, "ERROR: Unable to send print data to the backend: %s\n", std::strerror(errno));
                ok_ = false;
                break;
            }
            bytes += n;
            size -= size_t(n);
        }
        return ok_;
    }
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
    bool ok_ = true;
};

// ---- One page ----
enum class PageEnd { Done, Cancelled, Failed };

// The page's lines as 576 RGB dots: a wider page gives its middle (the
// printable width sits in the middle of the paper), a narrower one is
// centred on white.
class LineReader {
public:
    LineReader(cups_raster_t* raster, const cups_page_header2_t& h)
        : raster_(raster), header_(h), line_(h.cupsBytesPerLine), rgb_(kLineDots * 3, 0xFF) {
        const int width = int(h.cupsWidth);
        skip_ = width > kLineDots ? (width - kLineDots) / 2 : 0;
        pad_ = width < kLineDots ? (kLineDots - width) / 2 : 0;
        count_ = std::min(width, kLineDots);
        grey_ = h.cupsNumColors == 1;
    }
    // The next line, or null when the raster ends early.
    const unsigned char* next() {
        if (cupsRasterReadPixels(raster_, line_.data(), header_.cupsBytesPerLine) != header_.cupsBytesPerLine)
            return nullptr;
        unsigned char* out = rgb_.data() + pad_ * 3;
        if (grey_) {
            for (int x = 0; x < count_; ++x, out += 3) out[0] = out[1] = out[2] = line_[size_t(skip_ + x)];
        } else {
            std::memcpy(out, line_.data() + size_t(skip_) * 3, size_t(count_) * 3);
        }
        return rgb_.data();
    }

private:
    cups_raster_t* raster_;
    const cups_page_header2_t& header_;
    std::vector<unsigned char> line_, rgb_;
    int skip_ = 0, pad_ = 0, count_ = 0;
    bool grey_ = false;
};

// Blank lines wait as a count until something prints after them.
class LineWriter {
public:
    LineWriter(Printer& printer, int paperKind) : printer_(printer), paperKind_(paperKind) {}
    bool line(const unsigned char* inks) {
        if (std::all_of(inks, inks + kLineDots, [](unsigned char ink) { return ink == PIXMILL_INK_PAPER; })) {
            ++blank_;
            return true;
        }
        unsigned char record[kRecordMax];
        int32_t length = 0;
        if (EncodeGfxRow(inks, kLineDots, paperKind_, record, &length) != 0) {
            std::fputs("ERROR: The separated line could not be encoded.\n", stderr);
            return false;
        }
        return printer_.feed(takeBlank()) && printer_.write(record, size_t(length));
    }
    int takeBlank() { return std::exchange(blank_, 0); }

private:
    Printer& printer_;
    int paperKind_;
    int blank_ = 0;
};

PageEnd printPage(cups_raster_t* raster, const cups_page_header2_t& h, const Choices& c, Printer& printer) {
    PixmillSeparator* separator = nullptr;
    if (int32_t r = SeparatorOpen(&separator, kLineDots, c.paperKind, c.method, c.brightness, 0, 100, 0); r != 0) {
        std::fprintf(stderr, "ERROR: The page could not be separated into inks (Error # %d).\n", int(r));
        return PageEnd::Failed;
    }
    LineReader reader(raster, h);
    LineWriter writer(printer, c.paperKind);
    std::vector<unsigned char> inks(kLineDots);
    int32_t ready = 0;
    PageEnd end = PageEnd::Done;
    for (unsigned y = 0; y < h.cupsHeight && end == PageEnd::Done; ++y) {
        if (gCancelled) {
            end = PageEnd::Cancelled;
            break;
        }
        const unsigned char* rgb = reader.next();
        if (!rgb && gCancelled) {
            end = PageEnd::Cancelled;  // the filter before us was cancelled too
        } else if (!rgb) {
            std::fprintf(stderr, "ERROR: The page ended after %u of its %u lines.\n", y, h.cupsHeight);
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
    if (c.printBlankEnd) printer.feed(blankEnd);
    printer.feed(c.feedDots);
    if (c.cut == CUPS_CUT_PAGE) printer.write(kCut);
    return printer.ok() ? PageEnd::Done : PageEnd::Failed;
}

// The page formats the filter takes: 8 bits a colour, one plane, RGB or grey.
bool acceptable(const cups_page_header2_t& h) {
    const bool rgb = h.cupsColorSpace == CUPS_CSPACE_RGB || h.cupsColorSpace == CUPS_CSPACE_SRGB ||
                     h.cupsColorSpace == CUPS_CSPACE_ADOBERGB;
    const bool grey = h.cupsColorSpace == CUPS_CSPACE_W || h.cupsColorSpace == CUPS_CSPACE_SW;
    const unsigned channels = rgb ? 3 : 1;
    return (rgb || grey) && h.cupsBitsPerColor == 8 && h.cupsColorOrder == CUPS_ORDER_CHUNKED && h.cupsWidth > 0 &&
           h.cupsBytesPerLine / channels >= h.cupsWidth && h.cupsBytesPerLine <= 64 * 1024 * 1024;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 6 || argc > 7) {
        std::fprintf(stderr, "Usage: %s job-id user title copies options [file]\n", argv[0]);
        return 1;
    }
    int fd = STDIN_FILENO;
    if (argc == 7 && (fd = ::open(argv[6], O_RDONLY | O_CLOEXEC)) < 0) {
        std::fprintf(stderr, "ERROR: Unable to open the raster file \"%s\": %s\n", argv[6], std::strerror(errno));
        return 1;
    }
    // The backend may stop reading (its printer gone): a failed write says so.
    ::signal(SIGPIPE, SIG_IGN);
    struct sigaction term {};
    term.sa_handler = onTerm;
    term.sa_flags = SA_RESTART;  // a line being written is finished
    sigemptyset(&term.sa_mask);
    sigaction(SIGTERM, &term, nullptr);

    cups_raster_t* raster = cupsRasterOpen(fd, CUPS_RASTER_READ);
    Printer printer;
    cups_page_header2_t header;
    Choices job;
    int pages = 0;
    PageEnd end = PageEnd::Done;
    while (end == PageEnd::Done && !gCancelled && cupsRasterReadHeader2(raster, &header)) {
        if (!acceptable(header)) {
            std::fprintf(stderr,
                         "ERROR: Page %d is not 8-bit RGB or grey raster (colour space %u, %u bits); "
                         "print it with the Tintarex driver's PPD.\n",
                         pages + 1, header.cupsColorSpace, header.cupsBitsPerColor);
            end = PageEnd::Failed;
            break;
        }
        if (header.HWResolution[0] != kDotsPerInch || header.HWResolution[1] != kDotsPerInch)
            std::fprintf(stderr, "WARNING: The page is at %ux%u dpi; the printer prints 203 dpi, so it changes size.\n",
                         header.HWResolution[0], header.HWResolution[1]);
        job = choicesOf(header);
        if (pages == 0 && job.drawer == Drawer::Before) printer.write(kDrawerKick);
        ++pages;
        std::fprintf(stderr, "INFO: Printing page %d\n", pages);
        std::fprintf(stderr, "PAGE: %d 1\n", pages);
        end = printPage(raster, header, job, printer);
    }
    if (gCancelled || end == PageEnd::Cancelled) {
        printer.write(kCancelFeed);
        std::fputs("INFO: Cancelled: the printer finished its line and fed the paper.\n", stderr);
    } else if (end == PageEnd::Done && pages > 0) {
        if (job.cut == CUPS_CUT_JOB || job.cut == CUPS_CUT_SET) printer.write(kCut);
        if (job.drawer == Drawer::After) printer.write(kDrawerKick);
        std::fprintf(stderr, "INFO: Printed %d page%s.\n", pages, pages == 1 ? "" : "s");
    } else if (end == PageEnd::Done) {
        std::fputs("ERROR: The job held no raster page.\n", stderr);
        end = PageEnd::Failed;
    }
    cupsRasterClose(raster);
    if (fd != STDIN_FILENO) ::close(fd);
    return end == PageEnd::Failed || !printer.ok() ? 1 : 0;
}
