// What IPP Everywhere clients ask of a printer and PAPPL 1.3 leaves to its
// driver: a way to identify the printer, its supplies, the test page the web
// page prints, and the printer attributes PAPPL does not add itself.  Each
// says only what is true of the family.
#pragma once

#include <pappl/pappl.h>

#include <cstddef>

namespace everywhere {

// The driver's share: the identify and test page callbacks, supplies to
// report, and the extra attributes (added to *attrs, created if null).
void describe(pappl_pr_driver_data_t* d, ipp_t** attrs);

// A new printer, or one loaded from the state file: its paper as its supply.
void printerCreated(pappl_printer_t* printer, bool twoColour);

// The two-colour sample as a PWG raster page (576 × kSampleLines, sRGB 8),
// written to fd; false when a write failed.
constexpr int kSampleLines = 288;
bool writeSample(int fd);

}  // namespace everywhere
