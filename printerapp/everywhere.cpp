#include "everywhere.hpp"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

#include "pageout/pageout.hpp"

namespace everywhere {
namespace {

// ESC B n t: sound the buzzer n times for t × 50 ms.  The family has no
// display or light a host can reach, so a sound is how it is found.
constexpr unsigned char kBeep[] = {0x1B, 0x42, 2, 3};

void identify(pappl_printer_t* printer, pappl_identify_actions_t actions, const char*) {
    if (!(actions & PAPPL_IDENTIFY_ACTIONS_SOUND)) return;
    // Null while a job holds the device: the printer is then easy to find.
    pappl_device_t* device = papplPrinterOpenDevice(printer);
    if (!device) return;
    if (papplDeviceWrite(device, kBeep, sizeof kBeep) != ssize_t(sizeof kBeep))
        papplLogPrinter(printer, PAPPL_LOGLEVEL_WARN, "The identify beep did not reach the printer.");
    papplDeviceFlush(device);
    papplPrinterCloseDevice(printer);
}

// The sample: bars in black, then in the highlight ink, the two side by
// side, a tone from paper through the highlight to black (where the
// separator shows what it does between inks), and a checkerboard of both.
void sampleLine(int y, unsigned char* rgb) {
    const int w = pageout::kLineDots;
    for (int x = 0; x < w; ++x, rgb += 3) {
        unsigned char r = 255, g = 255, b = 255;
        const int band = y / 48;
        if (band == 0 && (x / 48) % 2 == 0) r = g = b = 0;
        if (band == 1 && (x / 48) % 2 == 1) g = b = 0;
        if (band == 2) g = b = 0, r = x < w / 2 ? 255 : 0;
        if (band == 3 || band == 4) {
            const int t = x * 510 / (w - 1);  // 0..255 paper to highlight, 255..510 highlight to black
            if (t <= 255) g = b = 255 - t;
            else r = 510 - t, g = b = 0;
        }
        if (band == 5 && ((x / 24 + y / 24) % 2 == 0)) {
            if ((x / 48) % 2 == 0) g = b = 0;
            else r = g = b = 0;
        }
        rgb[0] = r, rgb[1] = g, rgb[2] = b;
    }
}

// The test page callback: a fresh file for each request (PAPPL takes it
// into the job), made with mkstemp in PAPPL's temporary folder so that no
// one can put a file of theirs in its place.
const char* testPage(pappl_printer_t* printer, char* buffer, size_t size) {
    std::string name = std::string(papplGetTempDir()) + "/rastiv-testpage-XXXXXX";
    const int fd = mkstemp(name.data());
    if (fd < 0) return nullptr;
    const bool ok = writeSample(fd);
    if (close(fd) != 0 || !ok || name.size() >= size) {
        unlink(name.c_str());
        papplLogPrinter(printer, PAPPL_LOGLEVEL_ERROR, "The test page could not be written.");
        return nullptr;
    }
    std::snprintf(buffer, size, "%s", name.c_str());
    return buffer;
}

}  // namespace

bool writeSample(int fd) {
    cups_raster_t* raster = cupsRasterOpen(fd, CUPS_RASTER_WRITE_PWG);
    if (!raster) return false;
    const int w = pageout::kLineDots, dpi = pageout::kDotsPerInch;
    cups_page_header2_t h;
    // The page is the printable width and the sample's length, so that the
    // roll's driver prints it dot for dot whatever it is given.
    pwg_media_t* media = pwgMediaForSize(w * 2540 / dpi, kSampleLines * 2540 / dpi);
    bool ok = media && cupsRasterInitPWGHeader(&h, media, "srgb_8", dpi, dpi, "one-sided", nullptr);
    if (ok) {
        h.cupsWidth = unsigned(w);
        h.cupsHeight = unsigned(kSampleLines);
        h.cupsBytesPerLine = unsigned(3 * w);
        h.cupsInteger[CUPS_RASTER_PWG_TotalPageCount] = 1;
        ok = cupsRasterWriteHeader2(raster, &h);
    }
    std::vector<unsigned char> line(size_t(3 * w));
    for (int y = 0; ok && y < kSampleLines; ++y) {
        sampleLine(y, line.data());
        ok = cupsRasterWritePixels(raster, line.data(), unsigned(line.size())) == line.size();
    }
    cupsRasterClose(raster);
    return ok;
}

void describe(pappl_pr_driver_data_t* d, ipp_t** attrs) {
    d->identify_cb = identify;
    d->identify_supported = PAPPL_IDENTIFY_ACTIONS_SOUND;
    d->identify_default = PAPPL_IDENTIFY_ACTIONS_SOUND;
    d->testpage_cb = testPage;
    d->has_supplies = true;
    if (!*attrs) *attrs = ippNew();
    // A job has one document, and no page of it may ask for other settings:
    // an override may name its pages but change nothing, which is what
    // printing the job as a whole does.
    static const char* const kOverrides[] = {"document-number", "pages"};
    ippAddStrings(*attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "overrides-supported", 2, nullptr, kOverrides);
}

void printerCreated(pappl_printer_t* printer, bool twoColour) {
    // The paper is the only supply: its coating holds both colours (there is
    // no ink).  The printer reports only empty or not, so its level is unknown.
    pappl_supply_t paper{};
    paper.color = twoColour ? PAPPL_SUPPLY_COLOR_MULTIPLE : PAPPL_SUPPLY_COLOR_BLACK;
    std::snprintf(paper.description, sizeof paper.description, "%s", "Thermal paper roll");
    paper.is_consumed = true;
    paper.level = -1;
    paper.type = PAPPL_SUPPLY_TYPE_OTHER;
    papplPrinterSetSupplies(printer, 1, &paper);
}

}  // namespace everywhere
