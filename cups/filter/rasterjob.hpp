// The page code of rastertotintarex: CUPS raster pages in, the printer's
// commands out.  Apart from main() so that a fuzz target can run any raster
// stream through it, with a smaller cap on the page.
#pragma once

#include <cups/raster.h>
#include <signal.h>

#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>

namespace tintarex {

// Where the printer's bytes go: the backend's pipe, or a fuzz target's counter.
class Output {
public:
    virtual ~Output() = default;
    // The whole command or false: the reader has gone.
    virtual bool write(const unsigned char* bytes, size_t size) = 0;
};

// The largest page believed.  Nothing is allocated by the height, but a
// compressed raster repeats lines cheaply: the cap bounds the work a few
// bytes can ask for.  8192 dots are 80 mm paper at 2600 dpi, 2^17 lines
// 16 m at 203 dpi.
struct Limits {
    unsigned maxWidth = 8192;
    unsigned maxLines = 1u << 17;
};

// A page's lines as one consistent reading of its header gives them.
struct Layout {
    unsigned width = 0, lines = 0, channels = 0;
    size_t bytesPerLine = 0;
};

// Why a page is not printed: its header contradicts itself (malformed), it
// is consistent but in a format the filter does not take (unsupported), or
// it is larger than the filter believes.
enum class Refusal { Malformed, Unsupported, TooLarge };

struct CheckedPage {
    std::optional<Layout> layout;
    Refusal refusal = Refusal::Malformed;
    std::string why;  // for the job's log, when refused
};

CheckedPage pageLayout(const cups_page_header2_t& h, const Limits& limits);

// Prints every page of `raster` through `out`, with messages for the job's
// log (stderr in CUPS) on `log`; `cancelled` becomes non-zero on SIGTERM.
// Returns the exit status of the filter: 0 printed, 1 failed or refused.
int printRaster(cups_raster_t* raster, Output& out, const Limits& limits, const volatile sig_atomic_t& cancelled,
                std::FILE* log);

}  // namespace tintarex
