#include "everywhere.hpp"

#include <cstdio>
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

}  // namespace

void describe(pappl_pr_driver_data_t* d, ipp_t** attrs) {
    d->identify_cb = identify;
    d->identify_supported = PAPPL_IDENTIFY_ACTIONS_SOUND;
    d->identify_default = PAPPL_IDENTIFY_ACTIONS_SOUND;
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
